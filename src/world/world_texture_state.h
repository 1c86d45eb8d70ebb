// What the world texture files share inside the module: the arrays' growth and the one way a
// texture is made from a picture file's bytes.
#pragma once

#include "world/growable_table.h"
#include "world/world_textures.h"

constexpr std::int32_t kSpareWorldEntries = 10;

// Grows the array by one entry and gives it, fresh, counted.
template <typename Entry> Entry& AppendWorldEntry(WorldTextureArray<Entry>& array) {
    ResizeGrowableTable(array.entries, array.count, array.count + 1, kSpareWorldEntries);
    Entry& entry = array.entries[static_cast<std::size_t>(array.count++)];
    entry = Entry{};
    return entry;
}

// Releases every entry and the array itself.
template <typename Entry> void ClearWorldArray(WorldTextureArray<Entry>& array) {
    ResizeGrowableTable(array.entries, array.count, 0, kSpareWorldEntries);
    array.entries.clear();
    array.entries.shrink_to_fit();
    array.count = 0;
}

// How D3DX makes a world texture: the managed pool, the picture's own size.
struct WorldTextureLoad {
    UINT mipLevels = D3DX_DEFAULT;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    DWORD filter = D3DX_DEFAULT;
    D3DCOLOR colorKey = 0;
};

// A texture from a picture file's bytes, their header checked first; null when they make none or
// there is no device. name's ending tells a TGA.
IDirect3DTexture9* MakeWorldTexture(const std::string& name, const std::uint8_t* bytes,
                                    std::size_t size, const WorldTextureLoad& load,
                                    D3DXIMAGE_INFO* info);
// Remembers a name as missing (once).
void AddMissingTexture(const std::string& name);
// The lightmaps made from files, made again from the folder tree.
void RemakeFolderTreeLightmaps();
