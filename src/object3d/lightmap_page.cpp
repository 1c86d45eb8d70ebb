#include "core/win32.h"

#include "core/com_ptr.h"
#include "core/core.h"
#include "core/error_numbers.h"
#include "core/media.h"
#include "object3d/lightmapper.h"
#include "object3d/object_state.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Blocks no larger than this have their dark texels smoothed as they are placed.
constexpr std::int32_t kLargestSmoothedTile = 32;
constexpr std::uint32_t kDarkLevel = 0x20;

bool Dark(std::uint32_t texel) {
    return ((texel >> 16) & 0xFF) < kDarkLevel && ((texel >> 8) & 0xFF) < kDarkLevel &&
           (texel & 0xFF) < kDarkLevel;
}

// FNV-1a over the block's texels.
std::uint64_t HashBlock(const std::uint32_t* block, std::size_t texels) {
    std::uint64_t hash = 14695981039346656037ull;
    for (std::size_t k = 0; k < texels; ++k) {
        hash ^= block[k];
        hash *= 1099511628211ull;
    }
    return hash;
}

// The average of the texels of the 3 x 3 neighbourhood of (x, y) inside the tile, and whether
// one of them is dark.
std::uint32_t NeighbourhoodAverage(const std::vector<std::uint32_t>& source, std::int32_t w,
                                   std::int32_t h, std::int32_t x, std::int32_t y, bool* dark) {
    std::uint32_t sum[3] = {}, count = 0;
    *dark = false;
    for (std::int32_t j = std::max(y - 1, 0); j <= std::min(y + 1, h - 1); ++j) {
        for (std::int32_t i = std::max(x - 1, 0); i <= std::min(x + 1, w - 1); ++i) {
            const std::uint32_t texel = source[static_cast<std::size_t>(j) * w + i];
            *dark = *dark || Dark(texel);
            sum[0] += (texel >> 16) & 0xFF;
            sum[1] += (texel >> 8) & 0xFF;
            sum[2] += texel & 0xFF;
            ++count;
        }
    }
    auto channel = [&](int c) { return std::min<std::uint32_t>(sum[c] / count, 255); };
    return 0xFF000000u | channel(0) << 16 | channel(1) << 8 | channel(2);
}

template <typename T> void Release(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

} // namespace

void SmoothDarkTexels(std::uint32_t* block, std::int32_t w, std::int32_t h) {
    if (!block || w <= 0 || h <= 0) return;
    const std::vector<std::uint32_t> source(block, block + static_cast<std::size_t>(w) * h);
    for (std::int32_t y = 0; y < h; ++y) {
        for (std::int32_t x = 0; x < w; ++x) {
            bool dark = false;
            const std::uint32_t average = NeighbourhoodAverage(source, w, h, x, y, &dark);
            if (dark) block[static_cast<std::size_t>(y) * w + x] = average;
        }
    }
}

LightmapPage::~LightmapPage() {
    if (colourTexture && bits) colourTexture->UnlockRect(0);
    Release(colourTexture);
    Release(compressedTexture);
}

bool LightmapPage::Reset(std::int32_t w, std::int32_t h) {
    if (w < kSmallestLightmapTile || w > kLargestLightmapTile || h < kSmallestLightmapTile ||
        h > kLargestLightmapTile)
        return false;
    if (colourTexture && bits) colourTexture->UnlockRect(0);
    bits = nullptr;
    Release(colourTexture);
    Release(compressedTexture);
    tileWidth = w;
    tileHeight = h;
    size = kLightmapPageSize;
    used = 0;
    pitch = width = height = 0;
    mesh = nullptr;
    fileName[0] = '\0';
    compressed = false;
    slots.clear();
    slotsByHash_.clear();
    blocks.assign(static_cast<std::size_t>(Capacity()) * w * h, 0);
    return true;
}

std::int32_t LightmapPage::Capacity() const {
    return (size / tileWidth) * (size / tileHeight);
}

void LightmapPage::BeginMesh(MeshRecord* placed) {
    mesh = placed;
}

bool LightmapPage::PlaceTriangle(const std::uint32_t* block, std::uint8_t shadow,
                                 LightmapTriangle& t) {
    if (shadow == 0) {
        const std::int32_t slot = FindIdenticalBlock(block);
        if (slot >= 0) {
            SetTriangleUV(t, slot);
            return true;
        }
    }
    return PlaceBlock(block, t) != 0;
}

std::int32_t LightmapPage::FindIdenticalBlock(const std::uint32_t* block) const {
    const std::size_t texels = static_cast<std::size_t>(tileWidth) * tileHeight;
    const auto found = slotsByHash_.find(HashBlock(block, texels));
    if (found == slotsByHash_.end()) return -1;
    for (std::int32_t slot : found->second)
        if (std::equal(block, block + texels, blocks.begin() + slot * texels)) return slot;
    return -1;
}

LightmapSlot LightmapPage::NextSlotPosition() const {
    if (used == 0 || slots.empty()) return {0, 0, tileWidth, tileHeight};
    const LightmapSlot& last = slots.back();
    std::int32_t x = last.x, y = last.y + tileHeight;
    if (y > size - tileHeight) {
        x += tileWidth;
        y = 0;
    }
    return {x, y, tileWidth, y + tileHeight};
}

std::int32_t LightmapPage::PlaceBlock(const std::uint32_t* block, LightmapTriangle& t) {
    if (used >= Capacity()) return 0;
    const LightmapSlot slot = NextSlotPosition();
    const std::size_t texels = static_cast<std::size_t>(tileWidth) * tileHeight;
    std::uint32_t* stored = blocks.data() + used * texels;
    std::copy(block, block + texels, stored);
    if (tileWidth <= kLargestSmoothedTile && tileHeight <= kLargestSmoothedTile)
        SmoothDarkTexels(stored, tileWidth, tileHeight);
    WriteBlock(stored, slot);
    slots.push_back(slot);
    slotsByHash_[HashBlock(stored, texels)].push_back(used);
    ++used;
    SetTriangleUV(t, used - 1);
    return 1;
}

void LightmapPage::SetTriangleUV(LightmapTriangle& t, std::int32_t slot) const {
    if (slot < 0 || slot >= static_cast<std::int32_t>(slots.size())) return;
    const float w = static_cast<float>(tileWidth), h = static_cast<float>(tileHeight);
    const float page = static_cast<float>(size);
    const float x = static_cast<float>(slots[slot].x), y = static_cast<float>(slots[slot].y);
    for (int k = 0; k < 3; ++k) {
        if (!t.vertices[k]) continue;
        t.vertices[k]->lightU = (t.uv[k][0] * (w - 2) / w + 1 / w) * w / page + x / page;
        t.vertices[k]->lightV = (t.uv[k][1] * (h - 2) / h + 1 / h) * h / page + y / page;
    }
}

void LightmapPage::WriteBlock(const std::uint32_t* block, const LightmapSlot& slot) {
    if (!bits || slot.x + tileWidth > width || slot.bottom > height) return;
    for (std::int32_t row = 0; row < tileHeight; ++row)
        std::memcpy(bits + static_cast<std::size_t>(slot.y + row) * pitch +
                        static_cast<std::size_t>(slot.x) * 4,
                    block + static_cast<std::size_t>(row) * tileWidth,
                    static_cast<std::size_t>(tileWidth) * 4);
}

void LightMapper::CreatePage(LightmapPage& page, std::int32_t w, std::int32_t h,
                             std::int32_t& pageNumber) {
    if (!page.Reset(w, h)) return;
    page.SetFolder(folder_);
    if (IDirect3DDevice9* device = g_Object3D.device) {
        D3DXCreateTexture(device, kLightmapPageSize, kLightmapPageSize, 1, 0, D3DFMT_A8R8G8B8,
                          D3DPOOL_MANAGED, &page.colourTexture);
        D3DXCreateTexture(device, kLightmapPageSize, kLightmapPageSize, 1, 0, D3DFMT_DXT1,
                          D3DPOOL_MANAGED, &page.compressedTexture);
    }
    D3DSURFACE_DESC description{};
    D3DLOCKED_RECT locked{};
    if (page.colourTexture && SUCCEEDED(page.colourTexture->GetLevelDesc(0, &description)) &&
        SUCCEEDED(page.colourTexture->LockRect(0, &locked, nullptr, 0)) && locked.pBits) {
        page.bits = static_cast<std::uint8_t*>(locked.pBits);
        page.pitch = locked.Pitch;
        page.width = static_cast<std::int32_t>(description.Width);
        page.height = static_cast<std::int32_t>(description.Height);
        // What no block covers is black rather than whatever the memory held.
        for (std::int32_t row = 0; row < page.height; ++row)
            std::memset(page.bits + static_cast<std::size_t>(row) * page.pitch, 0,
                        static_cast<std::size_t>(page.width) * 4);
    }
    if (page.folder.empty()) return;
    char name[sizeof page.fileName];
    const int length =
        std::snprintf(name, sizeof name, "%s\\%d.dds", page.folder.c_str(), pageNumber);
    if (length > 0 && length < static_cast<int>(sizeof name))
        std::memcpy(page.fileName, name, static_cast<std::size_t>(length) + 1);
    ++pageNumber;
}

void LightMapper::SavePage(LightmapPage& page) {
    FinishPage(page);
    WritePage(page);
}

void LightMapper::FinishPage(LightmapPage& page) {
    // Only a locked colour texture took the blocks as they were placed.
    bool made = page.colourTexture && page.bits;
    if (made) page.colourTexture->UnlockRect(0);
    page.bits = nullptr;
    ComPtr<IDirect3DSurface9> source, target;
    page.compressed = made && page.compressedTexture &&
                      SUCCEEDED(page.colourTexture->GetSurfaceLevel(0, source.PutAddress())) &&
                      SUCCEEDED(page.compressedTexture->GetSurfaceLevel(0, target.PutAddress())) &&
                      SUCCEEDED(D3DXLoadSurfaceFromSurface(target, nullptr, nullptr, source,
                                                           nullptr, nullptr, D3DX_DEFAULT, 0));
    std::vector<std::uint32_t>().swap(page.blocks);
    Release(page.colourTexture);
}

void LightMapper::WritePage(LightmapPage& page) {
    if (page.used <= 0) return;
    // A page without its texture, or without the name its folder asks for, is lost: it says so as
    // a failed write does.
    const bool named = page.fileName[0] || page.folder.empty();
    bool written = page.compressed && named;
    if (written && page.fileName[0]) {
        // Made in memory and written whole, so a page that fails leaves an older one as it was.
        ComPtr<ID3DXBuffer> bytes;
        written =
            SUCCEEDED(D3DXSaveTextureToFileInMemory(bytes.PutAddress(), D3DXIFF_DDS,
                                                    page.compressedTexture, nullptr)) &&
            CoreWriteWholeFile(page.fileName, bytes->GetBufferPointer(), bytes->GetBufferSize());
    }
    if (!written) RaiseRuntimeError(kFileWriteFailed);
}
