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
    std::int32_t depth = 0; // bits per pixel
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

// 0..22000000, else error 1001.
bool ValidBitmapNumber(std::int32_t n);
// Looks n up (after the range check) and makes it the current record; null after the error.
BitmapRecord* FindBitmap(std::int32_t n);
// The surface that holds bitmap n's pixels: the saved back buffer for 0.
IDirect3DSurface9* BitmapSurface(std::int32_t n, const BitmapRecord* r);
// Makes the surfaces and the record of n, replacing any record of n; null on failure.
BitmapRecord* MakeBitmapRecord(std::int32_t n, std::int32_t width, std::int32_t height,
                               D3DFORMAT format);
// Releases and removes bitmap n; drawing goes back to the screen.
void RemoveBitmap(std::int32_t n);
// Points the device and CoreData at bitmap n, which must exist.
void PointDrawingAt(std::int32_t n);
IDirect3DSurface9* MakeLockableTarget(std::int32_t width, std::int32_t height, D3DFORMAT format);
