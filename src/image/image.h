// Image module: numbered pictures held as Direct3D textures, loaded through D3DX, and the
// operations other modules reach them by (see image/image_bridge.h).
#pragma once

#include "core/core_data.h"

#include <cstdint>

void ImageConstructor(HMODULE display);
void ImageDestructor();
void ImageSetErrorHandler(RuntimeErrorRecord* cell);
void ImagePassCoreData(CoreData* core);
// 0 deletes every image (they belong to the old device); 1 starts the module again.
void ImageRefreshD3D(std::int32_t mode);
// Takes the sprite module's paste and refresh functions.
void ImageLinkSpriteFunctions(HMODULE sprite);
void SetImageColorKey(std::int32_t red, std::int32_t green, std::int32_t blue);

// Commands: image numbers 1 to 22000000 (501 otherwise, before anything else).
// Mode 1 keeps the picture at its own size in one texture level; mode 2 loads a cube map; any
// other mode makes a mip chain. A positive divisor shrinks the texture (16384: 1 x 1).
void LoadImage(const char* fileName, std::int32_t image, std::int32_t mode = 0,
               std::int32_t divisor = 0);
void SaveImage(const char* fileName, std::int32_t image, std::int32_t compression = 0);
void PasteImage(std::int32_t image, std::int32_t x, std::int32_t y, std::int32_t transparency = 0);
void DeleteImage(std::int32_t image);
// Copies a rectangle of the current render target into an image.
void GrabImage(std::int32_t image, std::int32_t left, std::int32_t top, std::int32_t right,
               std::int32_t bottom, std::int32_t mode = 0);
// Entries that do not exist in this engine (error 116), and one that does nothing.
void ImageNotAvailable();
void ImageEmptyEntry();

// Operations other modules reach through the bridge; n may be negative for module textures.
IDirect3DTexture9* GetImagePointer(std::int32_t n);
IDirect3DBaseTexture9* GetImageBaseTexture(std::int32_t n);
std::int32_t GetImageWidth(std::int32_t n);
std::int32_t GetImageHeight(std::int32_t n);
float GetImageUScale(std::int32_t n);
float GetImageVScale(std::int32_t n);
bool ImageExistChecked(std::int32_t n);
bool ImageExist(std::int32_t n);
const char* GetImageName(std::int32_t n);
void SetImageOffset(std::int32_t n, std::int32_t x, std::int32_t y);
void GetImageOffset(std::int32_t n, std::int32_t* x, std::int32_t* y);
IDirect3DTexture9* CreateManagedImage(std::int32_t n, std::int32_t width, std::int32_t height);
IDirect3DTexture9* CreateImageDefaultFormat(std::int32_t n, std::int32_t width, std::int32_t height,
                                            std::int32_t usage);
IDirect3DTexture9* CreateImageWithUsage(std::int32_t n, std::int32_t width, std::int32_t height,
                                        std::int32_t usage);
IDirect3DTexture9* CreateRenderTargetImage(std::int32_t n, std::int32_t width, std::int32_t height);
bool LoadImageMode1(const char* fileName, std::int32_t n);
bool LoadImageWithMode(const char* fileName, std::int32_t n, std::int32_t mode);
std::int32_t LoadTextureForModule(const char* fileName);
std::int32_t LoadTextureForModuleWithMode(const char* fileName, std::int32_t divisor);
void LockImage(std::int32_t n);
void UnlockImage(std::int32_t n);
void WriteImageData(std::int32_t n, std::int32_t y, std::int32_t x, std::int32_t alpha,
                    std::int32_t red, std::int32_t green, std::int32_t blue);
void GetImageData(std::int32_t n, std::int32_t y, std::int32_t x, std::int32_t* red,
                  std::int32_t* green, std::int32_t* blue);
void SetImageAlpha(std::int32_t n, std::int32_t alpha);
void SetTextureSmoothing(std::int32_t flag);
void SetTextureFilterMode(std::int32_t mode);
void SetMipmapLodBias(float value);
void SetImageMemoryMode(std::int32_t mode);
void SetImageLoadOption(std::uint8_t option);
void SetImageSettingWord(std::int32_t value);
void MakeImagePowerOfTwo(std::int32_t n, std::int32_t width, std::int32_t height);
// produce 1: a copy of the picture's rows for a memory block (free it with produce 0).
void MakeMemblockFromImage(std::int32_t produce, std::int32_t n, std::uint32_t* width,
                           std::uint32_t* height, std::uint32_t* depth, std::uint8_t** data,
                           std::uint32_t* size);
// False, with nothing read, when the block of size bytes holds fewer pixels than the header says.
bool MakeImageFromMemblock(std::int32_t n, std::int32_t width, std::int32_t height,
                           std::int32_t depth, const std::uint8_t* pixels, std::uint32_t size);
HICON LoadImageIcon(const char* fileName);
void FreeImageIcon(HICON icon);
