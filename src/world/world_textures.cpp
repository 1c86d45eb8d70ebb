#include "core/win32.h"

#include "world/world_textures.h"
#include "display/display.h"
#include "image/picture_check.h"
#include "world/archive_files.h"
#include "world/growable_table.h"
#include "world/pk3_archive.h"
#include "world/world_texture_state.h"
#include "core/load_budget.h"

#include <cstdio>
#include <cstring>

namespace {

WorldTextureTable table;

bool EndsWithNoCase(const std::string& text, const char* ending) {
    const std::size_t n = std::strlen(ending);
    return text.size() >= n && _stricmp(text.c_str() + text.size() - n, ending) == 0;
}

bool IsTwinExtension(const std::string& name) {
    return EndsWithNoCase(name, ".tga") || EndsWithNoCase(name, ".jpg");
}

// A loaded name that stands for the same picture as the one asked for: ".tga" and ".jpg" are
// twins, and a name without either stands for both.
bool IsTwinOf(const std::string& loaded, const std::string& asked) {
    if (loaded == asked) return true;
    if (!IsTwinExtension(loaded)) return false;
    const std::string loadedStem = loaded.substr(0, loaded.size() - 4);
    if (IsTwinExtension(asked)) return loadedStem == asked.substr(0, asked.size() - 4);
    return loadedStem == asked;
}

bool IsMissing(const std::string& name) {
    for (std::int32_t i = 0; i < table.missing.count; ++i)
        if (table.missing.entries[static_cast<std::size_t>(i)] == name) return true;
    return false;
}

std::int32_t FindLoaded(const std::string& name, bool twins) {
    for (std::int32_t i = 0; i < table.textures.count; ++i) {
        const std::string& loaded = table.textures.entries[static_cast<std::size_t>(i)].name;
        if (twins ? IsTwinOf(loaded, name) : loaded == name) return i;
    }
    return -1;
}

// The name with ".tga" first, then with its last four characters made ".jpg" (none when it is
// too short for that, or that is the same name).
void ArchiveNames(const char* name, std::string& tga, std::string& jpg) {
    tga = name;
    if (PathHasNoExtension(name)) tga += ".tga";
    jpg = tga.size() >= 4 ? tga.substr(0, tga.size() - 4) + ".jpg" : std::string();
    if (jpg == tga) jpg.clear();
}

// The first archive of the world's list that holds the tga name, or else the jpg name, in that
// order archive by archive: the bytes and the name found.
bool FindInArchives(const std::string& tga, const std::string& jpg,
                    std::vector<std::uint8_t>& bytes, std::uint32_t& size, std::string& found) {
    const ArchiveFileList& archives = WorldArchiveFiles();
    for (std::int32_t i = 0; i < archives.count; ++i) {
        const char* archive = archives.entries[static_cast<std::size_t>(i)].path.c_str();
        for (const std::string* tried : {&tga, &jpg}) {
            if (tried->empty() || !FindFileInZip(archive, tried->c_str(), bytes, size)) continue;
            found = *tried;
            return true;
        }
    }
    return false;
}

// How a texture made from memory is read: two levels, and with a colour key a format with alpha.
WorldTextureLoad MemoryLoad(std::uint32_t colorKey) {
    WorldTextureLoad load;
    load.mipLevels = 2;
    load.format = colorKey ? D3DFMT_A8R8G8B8 : D3DFMT_UNKNOWN;
    load.colorKey = colorKey;
    return load;
}

// The texture of an entry made again from where it came.
IDirect3DTexture9* RemakeTexture(const WorldTexture& entry) {
    if (!entry.bytes.empty())
        return MakeWorldTexture(entry.name, entry.bytes.data(), entry.bytes.size(),
                                MemoryLoad(entry.colorKey), nullptr);
    std::vector<std::uint8_t> bytes;
    std::uint32_t size = 0;
    std::string found;
    if (!FindInArchives(entry.name, std::string(), bytes, size, found)) return nullptr;
    return MakeWorldTexture(found, bytes.data(), size, WorldTextureLoad{}, nullptr);
}

} // namespace

WorldTextureTable& WorldTextures() {
    return table;
}

IDirect3DTexture9* MakeWorldTexture(const std::string& name, const std::uint8_t* bytes,
                                    std::size_t size, const WorldTextureLoad& load,
                                    D3DXIMAGE_INFO* info) {
    IDirect3DDevice9* device = GetDirect3DDevice();
    if (!device || !bytes || size == 0 || size > 0x7FFFFFFF) return nullptr;
    // The decoders trust header sizes; a picture's header is checked before they see it. A TGA
    // has no magic, so bytes of no known format are read as one.
    const ByteSpan span{bytes, size};
    if (!CheckPictureBytes(name.c_str(), span, size) && !CheckTgaHeader(span, size)) return nullptr;
    // The decoded picture, 4 bytes a texel, and its smaller levels (a third more), charged before
    // they are made.
    D3DXIMAGE_INFO header{};
    if (LoadRunning() &&
        (FAILED(D3DXGetImageInfoFromFileInMemory(bytes, static_cast<UINT>(size), &header)) ||
         !ChargeLoad(std::uint64_t{header.Width} * header.Height, 6)))
        return nullptr;
    IDirect3DTexture9* texture = nullptr;
    const HRESULT hr = D3DXCreateTextureFromFileInMemoryEx(
        device, bytes, static_cast<UINT>(size), D3DX_DEFAULT, D3DX_DEFAULT, load.mipLevels, 0,
        load.format, D3DPOOL_MANAGED, load.filter, D3DX_DEFAULT, load.colorKey, info, nullptr,
        &texture);
    return SUCCEEDED(hr) ? texture : nullptr;
}

void AddMissingTexture(const std::string& name) {
    if (IsMissing(name)) return;
    AppendWorldEntry(table.missing) = name;
}

std::int32_t FindTextureIndex(const char* name, int onlyLoaded) {
    if (!name) return -2;
    const std::int32_t loaded = FindLoaded(name, false);
    if (loaded >= 0) return loaded;
    if (onlyLoaded) return -2;
    return IsMissing(name) ? -1 : -2;
}

std::int32_t FindTextureFile(const char* name, int onlyLoaded) {
    if (!name) return -2;
    const std::string asked(name);
    const std::int32_t loaded = FindLoaded(asked, true);
    if (loaded >= 0) return loaded;
    if (onlyLoaded) return -2;
    return IsMissing(asked) || IsMissing(asked + ".tga") || IsMissing(asked + ".jpg") ? -1 : -2;
}

std::int32_t LoadTextureFromArchives(const char* name, int onlyLoaded) {
    if (!name || !*name) return -1;
    const std::int32_t known = FindTextureFile(name, onlyLoaded);
    if (known != -2) return known;
    std::string tga, jpg, found;
    ArchiveNames(name, tga, jpg);
    std::vector<std::uint8_t> bytes;
    std::uint32_t size = 0;
    if (!FindInArchives(tga, jpg, bytes, size, found)) {
        AddMissingTexture(name);
        return -1;
    }
    ComPtr<IDirect3DTexture9> texture(
        MakeWorldTexture(found, bytes.data(), size, WorldTextureLoad{}, nullptr));
    if (!texture) return -1;
    WorldTexture& entry = AppendWorldEntry(table.textures);
    entry.name = found;
    entry.texture = std::move(texture);
    return table.textures.count - 1;
}

std::int32_t LoadLevelTextures(const char* name) {
    // The texture folder plays no part in reading archives: the process's current folder is left
    // as it is, so that relative archive paths keep resolving where they were registered.
    const std::int32_t index = LoadTextureFromArchives(name, 0);
    if (index == -1 && name && *name) AddMissingTexture(name);
    return index;
}

std::int32_t AddTextureFromMemory(std::uint32_t colorKey, const std::uint8_t* bytes,
                                  std::size_t size, const char* name, int onlyLoaded) {
    if (!name || !*name) return -1;
    const std::int32_t known = FindTextureIndex(name, onlyLoaded);
    if (known != -2) return known;
    ComPtr<IDirect3DTexture9> texture(
        MakeWorldTexture(name, bytes, size, MemoryLoad(colorKey), nullptr));
    if (!texture) return -1;
    WorldTexture& entry = AppendWorldEntry(table.textures);
    entry.name = name;
    entry.colorKey = colorKey;
    entry.texture = std::move(texture);
    entry.bytes.assign(bytes, bytes + size);
    return table.textures.count - 1;
}

const char* GetTextureName(std::int32_t index) {
    if (index < 0 || index >= table.textures.count) return "";
    return table.textures.entries[static_cast<std::size_t>(index)].name.c_str();
}

const char* GetLightmapName(std::int32_t index) {
    if (index < 0 || index >= table.lightmaps.count) return "";
    return table.lightmaps.entries[static_cast<std::size_t>(index)].name.c_str();
}

void ClearWorldTextures() {
    ClearWorldArray(table.textures);
    ClearWorldArray(table.lightmaps);
    ClearWorldArray(table.missing);
}

void ReleaseWorldTextureObjects() {
    for (std::int32_t i = 0; i < table.textures.count; ++i)
        table.textures.entries[static_cast<std::size_t>(i)].texture.Reset();
    for (std::int32_t i = 0; i < table.lightmaps.count; ++i)
        table.lightmaps.entries[static_cast<std::size_t>(i)].texture.Reset();
}

void RemakeWorldTextureObjects() {
    for (std::int32_t i = 0; i < table.textures.count; ++i) {
        WorldTexture& entry = table.textures.entries[static_cast<std::size_t>(i)];
        entry.texture.Reset(RemakeTexture(entry));
    }
    RemakeFolderTreeLightmaps();
}
