#include "core/win32.h"

#include "world/world_textures.h"
#include "display/display.h"
#include "image/picture_check.h"
#include "world/archive_files.h"
#include "world/growable_table.h"
#include "world/pk3_archive.h"
#include "world/world_texture_state.h"
#include "core/load_budget.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

namespace {

WorldTextureTable table;

// The table's names by hash, kept with it by the functions here that add to it and clear it, so
// that a level of thousands of texture names does not compare each with every name before it:
// the first texture of each exact name, the first of each stem that has a ".tga" or ".jpg" twin,
// and the missing names.
struct TextureNames {
    std::unordered_map<std::string, std::int32_t> exact;
    std::unordered_map<std::string, std::int32_t> stems;
    std::unordered_set<std::string> missing;
};
TextureNames names;

bool EndsWithNoCase(const std::string& text, const char* ending) {
    const std::size_t n = std::strlen(ending);
    return text.size() >= n && _stricmp(text.c_str() + text.size() - n, ending) == 0;
}

bool IsTwinExtension(const std::string& name) {
    return EndsWithNoCase(name, ".tga") || EndsWithNoCase(name, ".jpg");
}

bool IsMissing(const std::string& name) {
    return names.missing.count(name) != 0;
}

std::int32_t Lookup(const std::unordered_map<std::string, std::int32_t>& map,
                    const std::string& key) {
    const auto found = map.find(key);
    return found == map.end() ? -1 : found->second;
}

// The first loaded texture of that name or, with twins, of one that stands for the same picture:
// ".tga" and ".jpg" are twins, and a name without either stands for both.
std::int32_t FindLoaded(const std::string& name, bool twins) {
    const std::int32_t exact = Lookup(names.exact, name);
    if (!twins) return exact;
    const std::int32_t twin =
        Lookup(names.stems, IsTwinExtension(name) ? name.substr(0, name.size() - 4) : name);
    if (exact < 0 || twin < 0) return std::max(exact, twin);
    return std::min(exact, twin);
}

// A new texture entry of that name, last in the table.
WorldTexture& AppendTexture(const std::string& name) {
    RequireLoad(sizeof(WorldTexture) + 3 * name.size() + 64);
    const std::int32_t index = table.textures.count;
    WorldTexture& entry = AppendWorldEntry(table.textures);
    entry.name = name;
    names.exact.emplace(name, index);
    if (IsTwinExtension(name)) names.stems.emplace(name.substr(0, name.size() - 4), index);
    return entry;
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
    // The decoded picture and its texture with smaller levels, charged before they are made.
    if (!ChargeLoad(PictureLoadBytes(name.c_str(), span, size, 1, true))) return nullptr;
    IDirect3DTexture9* texture = nullptr;
    const HRESULT hr = D3DXCreateTextureFromFileInMemoryEx(
        device, bytes, static_cast<UINT>(size), D3DX_DEFAULT, D3DX_DEFAULT, load.mipLevels, 0,
        load.format, D3DPOOL_MANAGED, load.filter, D3DX_DEFAULT, load.colorKey, info, nullptr,
        &texture);
    return SUCCEEDED(hr) ? texture : nullptr;
}

void AddMissingTexture(const std::string& name) {
    if (IsMissing(name)) return;
    RequireLoad(2 * name.size() + 64);
    AppendWorldEntry(table.missing) = name;
    names.missing.insert(name);
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
    AppendTexture(found).texture = std::move(texture);
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
    WorldTexture& entry = AppendTexture(name);
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
    names = TextureNames{};
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
