// The image operations that other modules keep as function pointers from their start-up on.
#pragma once

#include "core/core_data.h"
#include "core/item_keepers.h"

#include <cstdint>

struct ImageBridge {
    IDirect3DTexture9* (*getPointer)(std::int32_t n);
    std::int32_t (*getWidth)(std::int32_t n);
    std::int32_t (*getHeight)(std::int32_t n);
    float (*getUScale)(std::int32_t n);
    float (*getVScale)(std::int32_t n);
    bool (*existChecked)(std::int32_t n);
    bool (*exist)(std::int32_t n);
    const char* (*getName)(std::int32_t n);
    void (*setOffset)(std::int32_t n, std::int32_t x, std::int32_t y);
    void (*getOffset)(std::int32_t n, std::int32_t* x, std::int32_t* y);
    void (*deleteImage)(std::int32_t n);
    IDirect3DTexture9* (*createManaged)(std::int32_t n, std::int32_t width, std::int32_t height);
    IDirect3DTexture9* (*createDefaultFormat)(std::int32_t n, std::int32_t width,
                                              std::int32_t height, std::int32_t usage);
    IDirect3DTexture9* (*createWithUsage)(std::int32_t n, std::int32_t width, std::int32_t height,
                                          std::int32_t usage);
    IDirect3DTexture9* (*createRenderTarget)(std::int32_t n, std::int32_t width,
                                             std::int32_t height);
    bool (*loadMode1)(const char* fileName, std::int32_t n);
    bool (*loadWithMode)(const char* fileName, std::int32_t n, std::int32_t mode);
    std::int32_t (*loadForModule)(const char* fileName);
    std::int32_t (*loadForModuleWithMode)(const char* fileName, std::int32_t divisor);
    void (*lock)(std::int32_t n);
    void (*unlock)(std::int32_t n);
    void (*writeData)(std::int32_t n, std::int32_t y, std::int32_t x, std::int32_t alpha,
                      std::int32_t red, std::int32_t green, std::int32_t blue);
    void (*getData)(std::int32_t n, std::int32_t y, std::int32_t x, std::int32_t* red,
                    std::int32_t* green, std::int32_t* blue);
    void (*setAlpha)(std::int32_t n, std::int32_t alpha);
    void (*setSmoothing)(std::int32_t flag);
    void (*setFilterMode)(std::int32_t mode);
    void (*setMipmapLodBias)(float value);
    void (*setColorKey)(std::int32_t red, std::int32_t green, std::int32_t blue);
    void (*setMemoryMode)(std::int32_t mode);
    void (*setLoadOption)(std::uint8_t option);
    void (*setSettingWord)(std::int32_t value);
    void (*makePowerOfTwo)(std::int32_t n, std::int32_t width, std::int32_t height);
    void (*makeMemblock)(std::int32_t produce, std::int32_t n, std::uint32_t* width,
                         std::uint32_t* height, std::uint32_t* depth, std::uint8_t** data,
                         std::uint32_t* size);
    bool (*makeFromMemblock)(std::int32_t n, std::int32_t width, std::int32_t height,
                             std::int32_t depth, const std::uint8_t* pixels, std::uint32_t size);
    void (*constructor)(HMODULE display);
    void (*destructor)();
    IDirect3DBaseTexture9* (*getBaseTexture)(std::int32_t n); // cube maps too
    void (*deleteModuleImage)(std::int32_t n); // negative numbers only: deleteImage refuses them
};

// Every pointer filled; a module copies it when it starts.
ImageBridge GetImageBridge();

// For a keeper of the image owner that holds its own reference on an image's texture: when the
// notice remakes the texture held, the holder takes the new one (a reference of its own) in its
// place and lets go of the old. A deleted image's texture stays held.
inline void TakeRemadeTexture(IDirect3DTexture9*& held, const ItemNotice& notice) {
    if (notice.change != ItemChange::Remade || !held || static_cast<void*>(held) != notice.before)
        return;
    auto* after = static_cast<IDirect3DTexture9*>(notice.after);
    if (after) after->AddRef();
    held->Release();
    held = after;
}
