// The image module's records and state, shared by its source files only.
#pragma once

#include "core/com_ptr.h"
#include "core/core_data.h"
#include "core/idlist.h"
#include "core/item_lookup.h"
#include "core/error_numbers.h"

#include <cstdint>
#include <utility>
#include <vector>

struct ImageRecord {
    ComPtr<IDirect3DBaseTexture9> texture; // a cube texture when cube is set
    std::int32_t offsetX = 0, offsetY = 0;
    std::int32_t width = 0, height = 0; // the picture, not the texture
    std::int32_t depth = 0;
    bool locked = false;
    bool cube = false;
    float uScale = 1.0f, vScale = 1.0f; // the part of the texture the picture covers
    std::int32_t lockedPitch = 0;
    std::uint8_t* lockedBits = nullptr;
    std::int32_t lockedWidth = 0, lockedHeight = 0; // level 0, for bounds checks
    char name[256] = {};
};

constexpr std::size_t kKnownFormatKinds = 64;

using SpritePasteFn = void (*)(std::int32_t image, std::int32_t x, std::int32_t y, float uScale,
                               float vScale, std::int32_t transparency);
using SpriteRefreshFn = void (*)();

// Written only by the image module, on the main thread. A device reset (RefreshD3D 0) runs the
// Destructor: every image is deleted, not rebuilt; RefreshD3D 1 runs the Constructor and
// PassCoreData again, so the program loads its images anew.
struct ImageState {
    // Gone with the device: the images and the device's interfaces.
    IdList images; // number -> ImageRecord
    ImageRecord* current = nullptr; // the last lookup's record
    IDirect3DDevice9* device = nullptr;
    ComPtr<IDirect3D9> d3d;
    // Chosen again by PassCoreData after every reset.
    D3DFORMAT format = D3DFMT_A8R8G8B8; // of the textures the module makes
    void (*clearTextureReference)(IDirect3DTexture9*) = nullptr;
    std::int32_t settingWord = 9; // back to 9 by every Constructor
    // Survive a reset: kept by RefreshD3D (paste, refresh) or never reset by the entries.
    CoreData* core = nullptr;
    D3DCOLOR colorKey = 0xFF000000;             // set by the start sequence and SetImageColorKey
    std::int32_t lastWidth = 0, lastHeight = 0; // the size of the last load, for mode 1
    SpritePasteFn paste = nullptr;              // handed over by ImageLinkSpriteFunctions
    SpriteRefreshFn refresh = nullptr;
    std::uint8_t loadOption = 1;
    std::int32_t memoryMode = 0;
    // The format the platform's decoder gave for each kind of picture header (PictureHeader's
    // kind), so that a single-level load need not probe the file before decoding it.
    std::vector<std::pair<std::uint64_t, D3DFORMAT>> decodedFormats;
};

extern ImageState g_Image;

constexpr ItemNumbers kImageNumbers{1, 22000000, kImageNumberIllegal, kImageMissing};

bool ValidImageNumber(std::int32_t n);
// Looks n up and makes it the current image.
ImageRecord* FindImage(std::int32_t n);
// FindImage after the number checks: null after raising 501 or 502.
ImageRecord* CheckedImage(std::int32_t n);
IDirect3DTexture9* Texture2D(const ImageRecord* r);
std::int32_t FormatDepth(D3DFORMAT format);
// Puts a whole new record under n. An image already there is replaced where it stands, which needs
// no memory: its keepers learn old -> new (Remade), then the old record and texture go. False, with
// the record not taken, only when a number without an image gets no list entry.
bool PlaceImage(std::int32_t n, ImageRecord* record);
// Deletes image n; its keepers are told before its texture goes.
void RemoveImage(std::int32_t n);
// picture size / level-0 size, never above 1.
void SetScales(ImageRecord& r);
void RefreshSprites();
// Whether the device makes a texture of width x height texels without cutting it (its largest
// texture's sides); false without a device.
bool TextureSizeFits(std::int64_t width, std::int64_t height);
// A new one-level image under n (which must be free). A side above the device's largest texture
// raises 504 and makes nothing; so does a level 0 smaller than asked.
IDirect3DTexture9* CreateImage(std::int32_t n, std::int32_t width, std::int32_t height,
                               std::int32_t usage, D3DFORMAT format);
// Loads the file into a texture; nullptr when it cannot. Leaves the picture size in lastWidth,
// lastHeight, and what the decoder said of the file in *fileInfo when given.
IDirect3DBaseTexture9* LoadImageTexture(const char* fileName, bool oneLevel, std::int32_t cube,
                                        std::int32_t divisor, D3DXIMAGE_INFO* fileInfo = nullptr);
// Fills a new record from a file (mode as LoadImage's); nullptr when the file cannot be loaded, or
// when the record cannot be had (*outOfMemory set).
ImageRecord* LoadImageRecord(const char* fileName, std::int32_t mode, std::int32_t divisor,
                             bool* outOfMemory = nullptr);
