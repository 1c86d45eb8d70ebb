// The bitmap module's record and state, shared by its source files only.
#pragma once

#include "core/com_ptr.h"
#include "core/core_data.h"
#include "core/idlist.h"
#include "core/item_lookup.h"
#include "core/error_numbers.h"

#include <cstdint>

struct BitmapRecord {
    ComPtr<IDirect3DSurface9> surface;      // null for bitmap 0 (the back buffer)
    ComPtr<IDirect3DSurface9> depthSurface; // null for bitmap 0 or when none fits
    std::int32_t width = 0, height = 0;
    std::int32_t depth = 0; // bits per pixel: the surface's, or those of the block it came from
    std::int32_t mirrored = 0;
    std::int32_t flipped = 0;
};

// Everything here is rebuilt with the device (RefreshD3D 0 and 1) except core.
struct BitmapState {
    ItemStore<BitmapRecord> bitmaps;
    BitmapRecord* current = nullptr; // the record of the last lookup
    std::int32_t currentNumber = 0;  // the bitmap that drawing goes to
    IDirect3DDevice9* device = nullptr;
    ComPtr<IDirect3D9> d3d; // a reference of our own
    D3DFORMAT format = D3DFMT_UNKNOWN;
    D3DFORMAT depthFormat = D3DFMT_UNKNOWN; // UNKNOWN when no depth format fits
    std::int32_t bits = 0, bytesPerPixel = 0;
    CoreData* core = nullptr;
};

extern BitmapState g_Bitmap;

constexpr std::int32_t kBitmapMaxNumber = 22000000;
// Bitmap 0 is the screen.
constexpr ItemNumbers kBitmapNumbers{0, kBitmapMaxNumber, kBitmapNumberIllegal, kBitmapMissing};
// The error of a bitmap that could not be made: a picture that did not load, a size that the
// device or the process cannot hold, surfaces that the device would not make.
constexpr std::int32_t kBitmapNotMade = kBitmapLoadFailed;
// What one bitmap's surfaces (colour and depth) may take of a 32-bit process, whose largest
// allocation here is about 530 MB; the platform keeps a copy of a lockable target besides.
constexpr std::int64_t kLargestBitmapBytes = std::int64_t{512} << 20;

// 0..22000000, else error 1001.
bool ValidBitmapNumber(std::int32_t n);
// Looks n up (after the range check) and makes it the current record; null after the error.
BitmapRecord* FindBitmap(std::int32_t n);
// The surface that holds bitmap n's pixels: the saved back buffer for 0.
IDirect3DSurface9* BitmapSurface(std::int32_t n, const BitmapRecord* r);
// Whether the device makes surfaces of width x height and the process can hold the bitmap's two.
bool BitmapSizeFits(std::int64_t width, std::int64_t height);
// Makes the surfaces and the record of n, then replaces any record of n (as RemoveBitmap does);
// null, with any record of n kept, when the size does not fit or the device makes no surface.
BitmapRecord* MakeBitmapRecord(std::int32_t n, std::int32_t width, std::int32_t height,
                               D3DFORMAT format);
// Releases and removes bitmap n, after drawing has gone back to the screen and the keepers of its
// surface were told.
void RemoveBitmap(std::int32_t n);
// Points the device and CoreData at bitmap n, which must exist.
void PointDrawingAt(std::int32_t n);
IDirect3DSurface9* MakeLockableTarget(std::int32_t width, std::int32_t height, D3DFORMAT format);
