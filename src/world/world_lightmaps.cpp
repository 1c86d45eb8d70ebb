#include "core/win32.h"

#include "world/world_textures.h"
#include "display/display.h"
#include "image/picture_check.h"
#include "world/archive_files.h"
#include "world/world_texture_state.h"
#include "core/load_budget.h"

#include <cstdio>
#include <cstring>

namespace {

D3DFORMAT LightmapFormat(std::int32_t bits) {
    switch (bits) {
    case 8:
        return D3DFMT_L8;
    case 16:
        return D3DFMT_R5G6B5;
    case 24: // the device refuses R8G8B8 textures: such pixels are widened
        return D3DFMT_X8R8G8B8;
    default:
        return D3DFMT_A8R8G8B8;
    }
}

// One row into the texture: 24-bit R, G, B become B, G, R, 255; 32-bit pixels have their four
// bytes reversed; 8 and 16 bits are copied as they are.
void CopyLightmapRow(const std::uint8_t* from, std::uint8_t* to, std::int32_t width,
                     std::int32_t bits) {
    if (bits == 24) {
        for (std::int32_t x = 0; x < width; ++x, from += 3, to += 4) {
            to[0] = from[2];
            to[1] = from[1];
            to[2] = from[0];
            to[3] = 0xFF;
        }
    } else if (bits == 32) {
        for (std::int32_t x = 0; x < width; ++x, from += 4, to += 4) {
            to[0] = from[3];
            to[1] = from[2];
            to[2] = from[1];
            to[3] = from[0];
        }
    } else {
        std::memcpy(to, from, static_cast<std::size_t>(width) * static_cast<std::size_t>(bits / 8));
    }
}

// Fills level 0 row by row: the texture's pitch may be wider than a row of pixels.
bool FillLightmap(IDirect3DTexture9* texture, std::int32_t width, std::int32_t height,
                  std::int32_t bits, const std::uint8_t* pixels) {
    D3DLOCKED_RECT locked{};
    if (FAILED(texture->LockRect(0, &locked, nullptr, 0))) return false;
    const std::size_t rowBytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(bits / 8);
    auto* to = static_cast<std::uint8_t*>(locked.pBits);
    for (std::int32_t y = 0; y < height; ++y)
        CopyLightmapRow(pixels + static_cast<std::size_t>(y) * rowBytes, to + y * locked.Pitch,
                        width, bits);
    texture->UnlockRect(0);
    return true;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// A name that stays inside the tree it is looked for in: not absolute, no drive, no "..".
bool StaysBelow(const std::string& name) {
    if (name.empty() || IsSeparator(name[0]) || name.find(':') != std::string::npos) return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = start;
        while (end < name.size() && !IsSeparator(name[end]))
            ++end;
        if (name.compare(start, end - start, "..") == 0) return false;
        start = end + 1;
    }
    return true;
}

bool IsFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The sub-folders of folder, in the order the platform lists them; linked folders are not
// followed, as a link back up would repeat the walk.
std::vector<std::string> Subfolders(const std::string& folder) {
    std::vector<std::string> below;
    WIN32_FIND_DATAA found;
    const HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return below;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
            std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0)
            below.push_back(folder + "\\" + found.cFileName);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return below;
}

// The first folder/name that is a file, depth first from the current folder.
bool FindInFolderTree(const std::string& name, std::string& path) {
    char start[MAX_PATH];
    const DWORD length = GetFullPathNameA(".", MAX_PATH, start, nullptr);
    if (length == 0 || length >= MAX_PATH) return false;
    std::vector<std::pair<std::string, int>> pending{{start, 0}};
    while (!pending.empty()) {
        const auto [folder, depth] = pending.back();
        pending.pop_back();
        const std::string candidate = folder + "/" + name;
        if (IsFile(candidate)) {
            path = candidate;
            return true;
        }
        if (depth >= kDeepestArchiveFolder) continue;
        const std::vector<std::string> below = Subfolders(folder);
        for (auto it = below.rbegin(); it != below.rend(); ++it)
            pending.emplace_back(*it, depth + 1);
    }
    return false;
}

std::string Normalised(const char* path) {
    std::string text(path);
    for (char& c : text)
        if (c == '\\') c = '/';
    if (!text.empty() && text.back() == '/') text.pop_back();
    return text;
}

// A lightmap texture of the pixels; null when they do not fill it or no texture can be made.
IDirect3DTexture9* MakeLightmap(std::int32_t width, std::int32_t height, std::int32_t bits,
                                const std::uint8_t* pixels, std::size_t size) {
    IDirect3DDevice9* device = GetDirect3DDevice();
    if (!device || !pixels || !MemblockPixelsFit(width, height, bits, size) ||
        width > static_cast<std::int32_t>(kLargestPictureSide) ||
        height > static_cast<std::int32_t>(kLargestPictureSide) ||
        !ChargeLoad(static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height), 4))
        return nullptr;
    // The managed pool keeps a copy the device gets back after a reset: one lock fills it.
    ComPtr<IDirect3DTexture9> texture;
    if (FAILED(device->CreateTexture(static_cast<UINT>(width), static_cast<UINT>(height), 1, 0,
                                     LightmapFormat(bits), D3DPOOL_MANAGED, texture.PutAddress(),
                                     nullptr)) ||
        !FillLightmap(texture, width, height, bits, pixels))
        return nullptr;
    return texture.Detach();
}

// A texture of a picture file found in the folder tree, as the lightmap table keeps them.
IDirect3DTexture9* MakeFolderTreeLightmap(const char* name, D3DXIMAGE_INFO& info) {
    std::string path;
    if (!StaysBelow(name) || !FindInFolderTree(name, path)) return nullptr;
    std::vector<std::uint8_t> bytes;
    std::int64_t size = 0;
    if (!ReadFileToMemory(path.c_str(), bytes, size)) return nullptr;
    WorldTextureLoad load;
    load.mipLevels = 2;
    load.filter = D3DX_FILTER_NONE;
    return MakeWorldTexture(name, bytes.data(), static_cast<std::size_t>(size), load, &info);
}

} // namespace

std::int32_t CreateLightmapTextures(std::int32_t width, std::int32_t height, std::int32_t bits,
                                    const std::uint8_t* pixels, std::size_t size) {
    ComPtr<IDirect3DTexture9> texture(MakeLightmap(width, height, bits, pixels, size));
    if (!texture) return -1;
    WorldTextureArray<WorldLightmap>& lightmaps = WorldTextures().lightmaps;
    const std::int32_t index = lightmaps.count;
    WorldLightmap& entry = AppendWorldEntry(lightmaps);
    // No "/" in the name: it would read as a folder wherever a name is taken for a path.
    char name[32];
    std::snprintf(name, sizeof name, "lightmap%d", static_cast<int>(index));
    entry.name = name;
    entry.texture = std::move(texture);
    entry.width = width;
    entry.height = height;
    return index;
}

std::int32_t LoadTextureFromFolderTree(const char* name) {
    if (!name || !*name) return -1;
    WorldTextureArray<WorldLightmap>& lightmaps = WorldTextures().lightmaps;
    for (std::int32_t i = 0; i < lightmaps.count; ++i)
        if (lightmaps.entries[static_cast<std::size_t>(i)].name == name) return i;
    D3DXIMAGE_INFO info{};
    ComPtr<IDirect3DTexture9> texture(MakeFolderTreeLightmap(name, info));
    if (!texture) return -1;
    WorldLightmap& entry = AppendWorldEntry(lightmaps);
    entry.name = name;
    entry.texture = std::move(texture);
    entry.width = static_cast<std::int32_t>(info.Width);
    entry.height = static_cast<std::int32_t>(info.Height);
    entry.fromFolderTree = 1;
    return lightmaps.count - 1;
}

int MakeRelativePath(const char* path, const char* base, std::string& relative) {
    relative.clear();
    if (!path || !base) return 0;
    const std::string p = Normalised(path), b = Normalised(base);
    if (p == b) return 1;
    // The base must end at a separator of the path: "C:/game" is no base of "C:/games/x".
    if (p.size() <= b.size() || p.compare(0, b.size(), b) != 0 || p[b.size()] != '/') return 0;
    relative = p.substr(b.size() + 1);
    return 1;
}

bool RemakeLightmapTexture(std::int32_t index, std::int32_t width, std::int32_t height,
                           std::int32_t bits, const std::uint8_t* pixels, std::size_t size) {
    WorldTextureArray<WorldLightmap>& lightmaps = WorldTextures().lightmaps;
    if (index < 0 || index >= lightmaps.count) return false;
    WorldLightmap& entry = lightmaps.entries[static_cast<std::size_t>(index)];
    entry.texture.Reset(MakeLightmap(width, height, bits, pixels, size));
    return entry.texture.Get() != nullptr;
}

void RemakeFolderTreeLightmaps() {
    WorldTextureArray<WorldLightmap>& lightmaps = WorldTextures().lightmaps;
    for (std::int32_t i = 0; i < lightmaps.count; ++i) {
        WorldLightmap& entry = lightmaps.entries[static_cast<std::size_t>(i)];
        if (!entry.fromFolderTree) continue;
        D3DXIMAGE_INFO info{};
        entry.texture.Reset(MakeFolderTreeLightmap(entry.name.c_str(), info));
    }
}
