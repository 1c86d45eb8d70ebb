// Image module: numbered pictures held as Direct3D textures, loaded through D3DX, and the
// operations other modules reach them by (see image/image_bridge.h).
#pragma once

#include "core/core_data.h"

#include <cstdint>

// Start entry: the core's start sequence readies the module with it, once.
void ImageConstructor(HMODULE display);
// Stop entry: releases everything the module holds.
void ImageDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void ImageSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData.
void ImagePassCoreData(CoreData* core);
// 0 deletes every image (they belong to the old device); 1 starts the module again.
void ImageRefreshD3D(std::int32_t mode);
// Takes the sprite module's paste and refresh functions.
void ImageLinkSpriteFunctions(HMODULE sprite);
// Takes a clearer, called with a texture just before it is freed or replaced so that no mesh keeps
// it; null unlinks. Kept over a device reset. Modules that keep images' textures are told through
// the image owner's keepers instead (core/item_keepers.h): number, before = the old texture (an
// IDirect3DBaseTexture9*), and for Remade after = the new IDirect3DTexture9*, null when the number
// now names a cube map. The old texture is released only after every keeper was told.
void ImageLinkTextureClearer(void (*clearer)(IDirect3DTexture9* texture));
// The colour that loads make transparent (alpha 0); the start sequence sets black.
void SetImageColorKey(std::int32_t red, std::int32_t green, std::int32_t blue);

// Commands: image numbers 1 to 22000000 (501 otherwise, before anything else).
// Mode 1 keeps the picture at its own size in one texture level; mode 2 loads a cube map; any
// other mode makes a mip chain. A positive divisor shrinks the texture (16384: 1 x 1).
void LoadImage(const char* fileName, std::int32_t image, std::int32_t mode = 0,
               std::int32_t divisor = 0);
// Writes level 0 as BMP, DDS, DIB, JPG or PNG by the name's ending; an existing file is replaced
// only by a whole one (500 on failure, the old file kept).
void SaveImage(const char* fileName, std::int32_t image, std::int32_t compression = 0);
// Draws the image at once through the sprite module (502 when it is missing).
void PasteImage(std::int32_t image, std::int32_t x, std::int32_t y, std::int32_t transparency = 0);
// Frees the image and its texture (502 when it is missing).
void DeleteImage(std::int32_t image);
// Copies a rectangle of the current render target into an image.
void GrabImage(std::int32_t image, std::int32_t left, std::int32_t top, std::int32_t right,
               std::int32_t bottom, std::int32_t mode = 0);
// Entries that do not exist in this engine (error 116), and one that does nothing.
void ImageNotAvailable();
// A table entry that does nothing.
void ImageEmptyEntry();

// Operations other modules reach through the bridge; n may be negative for module textures.
IDirect3DTexture9* GetImagePointer(std::int32_t n);
// The texture of any kind (cube maps too), null when there is none.
IDirect3DBaseTexture9* GetImageBaseTexture(std::int32_t n);
// The picture's width, -1 when the image is missing.
std::int32_t GetImageWidth(std::int32_t n);
// The picture's height, -1 when the image is missing.
std::int32_t GetImageHeight(std::int32_t n);
// The part of the texture's width the picture covers (1 when missing).
float GetImageUScale(std::int32_t n);
// The part of the texture's height the picture covers (1 when missing).
float GetImageVScale(std::int32_t n);
// Whether the image exists, after the number check (501).
bool ImageExistChecked(std::int32_t n);
// Whether the image exists; any number, no error.
bool ImageExist(std::int32_t n);
// The file name the image was loaded from, null when missing.
const char* GetImageName(std::int32_t n);
// The offset the sprite module draws the image at.
void SetImageOffset(std::int32_t n, std::int32_t x, std::int32_t y);
// Reads the image's draw offset.
void GetImageOffset(std::int32_t n, std::int32_t* x, std::int32_t* y);
// Makes an empty managed texture under n in the module's format; null on failure.
IDirect3DTexture9* CreateManagedImage(std::int32_t n, std::int32_t width, std::int32_t height);
// The same with a usage (a non-zero usage puts it in the default pool).
IDirect3DTexture9* CreateImageDefaultFormat(std::int32_t n, std::int32_t width, std::int32_t height,
                                            std::int32_t usage);
// The same as CreateImageDefaultFormat.
IDirect3DTexture9* CreateImageWithUsage(std::int32_t n, std::int32_t width, std::int32_t height,
                                        std::int32_t usage);
// An image that can be drawn into (default pool, lost with the device).
IDirect3DTexture9* CreateRenderTargetImage(std::int32_t n, std::int32_t width, std::int32_t height);
// Loads at the picture's own size without errors; true when it worked.
bool LoadImageMode1(const char* fileName, std::int32_t n);
// LoadImage with a mode; true when the image exists afterwards.
bool LoadImageWithMode(const char* fileName, std::int32_t n, std::int32_t mode);
// A texture for a mesh: an image of that file name is loaded once and its number shared.
std::int32_t LoadTextureForModule(const char* fileName);
// The same with a size divisor.
std::int32_t LoadTextureForModuleWithMode(const char* fileName, std::int32_t divisor);
// Deletes an image made by LoadTextureForModule (a negative number); other numbers are ignored.
void DeleteModuleImage(std::int32_t n);
// Locks level 0 for WriteImageData and GetImageData.
void LockImage(std::int32_t n);
// Unlocks a locked image.
void UnlockImage(std::int32_t n);
// Writes one pixel of a locked image (bounds checked).
void WriteImageData(std::int32_t n, std::int32_t y, std::int32_t x, std::int32_t alpha,
                    std::int32_t red, std::int32_t green, std::int32_t blue);
// Reads one pixel of a locked image (bounds checked).
void GetImageData(std::int32_t n, std::int32_t y, std::int32_t x, std::int32_t* red,
                  std::int32_t* green, std::int32_t* blue);
// Sets every pixel's alpha of a 32-bit image.
void SetImageAlpha(std::int32_t n, std::int32_t alpha);
// Linear filtering on (flag set) or off for stage 0.
void SetTextureSmoothing(std::int32_t flag);
// Stage 0's filters: 0 none, 1 point, 2 linear.
void SetTextureFilterMode(std::int32_t mode);
// Stage 0's mip-map level-of-detail bias.
void SetMipmapLodBias(float value);
// Stored only: nothing in this engine reads it.
void SetImageMemoryMode(std::int32_t mode);
// Stored only: nothing in this engine reads it.
void SetImageLoadOption(std::uint8_t option);
// Stored only (the link table offers it to other modules); 9 after every Constructor.
void SetImageSettingWord(std::int32_t value);
// Copies the picture into a texture of the given power-of-two size.
void MakeImagePowerOfTwo(std::int32_t n, std::int32_t width, std::int32_t height);
// produce 1: a copy of the picture's rows for a memory block (free it with produce 0). No data
// with a size of 1: the image exists but cannot be read (locked, or its texture refused); 5104
// besides when there is no memory for the copy.
void MakeMemblockFromImage(std::int32_t produce, std::int32_t n, std::uint32_t* width,
                           std::uint32_t* height, std::uint32_t* depth, std::uint8_t** data,
                           std::uint32_t* size);
// Makes image n from a memory block's pixel rows (16 or 32 bits); false, with nothing read, when
// the block of size bytes holds fewer pixels than the header says.
bool MakeImageFromMemblock(std::int32_t n, std::int32_t width, std::int32_t height,
                           std::int32_t depth, const std::uint8_t* pixels, std::uint32_t size);
// A 48 x 48 icon from an .ico file; null when it cannot be read.
HICON LoadImageIcon(const char* fileName);
// Frees an icon of LoadImageIcon.
void FreeImageIcon(HICON icon);
