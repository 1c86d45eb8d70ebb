// The world's textures: those its shaders and faces name, loaded from the level's archives
// (".tga" first, then ".jpg"), the level's lightmaps, the names known to be missing, and the
// colour keys of the texture options file. Faces and shaders hold indices into these tables.
#pragma once

#include "core/win32.h"

#include "core/com_ptr.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The colour key that the options file's "ColorKey" gives: opaque magenta.
constexpr std::uint32_t kOptionsColorKey = 0xFFFF00FF;
// Entries of the options file kept; the lines after them are not read.
constexpr std::int32_t kMostTextureOptions = 1024;
// The longest options line read; the rest of a longer line is passed over.
constexpr std::size_t kLongestOptionsLine = 1024;

struct WorldTexture {
    std::string name;
    std::uint32_t colorKey = 0; // 0 none
    ComPtr<IDirect3DTexture9> texture;
    std::vector<std::uint8_t> bytes; // a texture made from memory keeps its file, to be remade
};

struct WorldLightmap {
    std::string name;
    ComPtr<IDirect3DTexture9> texture;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint8_t fromFolderTree = 0; // made from a file, not from pixels
};

struct TextureOption {
    std::string name;
    std::uint32_t colorKey = 0;
};

// One growable array: entries' size is its capacity, the first count in use. Asking for more than
// the capacity makes it n + 10; more than 10 to spare releases the entries beyond n.
template <typename Entry> struct WorldTextureArray {
    std::int32_t count = 0;
    std::vector<Entry> entries;
};

struct WorldTextureTable {
    WorldTextureArray<WorldTexture> textures; // the index is the texture number faces use
    WorldTextureArray<WorldLightmap> lightmaps;
    WorldTextureArray<std::string> missing; // names looked for and not found
    WorldTextureArray<TextureOption> options;
};

// The module's table, alive for the run.
WorldTextureTable& WorldTextures();

// The loaded texture named exactly name; else -2 when onlyLoaded, else -1 when the name is known
// to be missing and -2 when it is not.
std::int32_t FindTextureIndex(const char* name, int onlyLoaded);
// As FindTextureIndex, but a ".tga" name also finds its ".jpg" twin and the other way round, and
// a name without either finds it with either added; the missing names are searched for the name,
// and for it with ".tga" and with ".jpg".
std::int32_t FindTextureFile(const char* name, int onlyLoaded);
// The texture's index, loaded from the first archive of the world's list that holds it when it is
// not loaded yet; -1 when none does (the name is then remembered as missing) or it cannot be made.
std::int32_t LoadTextureFromArchives(const char* name, int onlyLoaded);
// LoadTextureFromArchives for a level's texture; a name that fails is remembered as missing.
std::int32_t LoadLevelTextures(const char* name);
// The texture of that name, or a new one made from an image file's bytes, texels of the colour key
// (0 none) made transparent; -1 for an empty name or bytes that make no texture.
std::int32_t AddTextureFromMemory(std::uint32_t colorKey, const std::uint8_t* bytes,
                                  std::size_t size, const char* name, int onlyLoaded);
// A lightmap texture of width x height pixels of bits (8, 16, 24 or 32) from size bytes; its
// index, or -1 when the pixels do not fill it or no texture can be made.
std::int32_t CreateLightmapTextures(std::int32_t width, std::int32_t height, std::int32_t bits,
                                    const std::uint8_t* pixels, std::size_t size);
// The stored names; an empty text for an index outside the table.
const char* GetTextureName(std::int32_t index);
const char* GetLightmapName(std::int32_t index);
// Releases every texture and lightmap, the missing names and the arrays (not the colour keys).
void ClearWorldTextures();

// Around a mode change, whose new device cannot use what the old one made: releases the device
// objects of every texture and lightmap, keeping the entries, so that every index stays valid.
void ReleaseWorldTextureObjects();
// Makes them again on the current device, each from where it came: the world's archives, the
// file kept for a texture made from memory, the folder tree. Lightmaps made from pixels are
// remade by their owner with RemakeLightmapTexture. An entry whose source is gone stays empty.
void RemakeWorldTextureObjects();
// Makes lightmap index's texture again from pixels, as CreateLightmapTextures made it; false
// when the index or the pixels do not fit or no texture can be made.
bool RemakeLightmapTexture(std::int32_t index, std::int32_t width, std::int32_t height,
                           std::int32_t bits, const std::uint8_t* pixels, std::size_t size);
// A lightmap-table entry of that name, or one made from the first file of that name in the
// folder tree below the current folder; -1 when there is none, or for a name that is absolute or
// climbs out of the tree.
std::int32_t LoadTextureFromFolderTree(const char* name);
// path relative to base ("\" read as "/", one trailing "/" dropped from each): empty for equal
// texts, the rest of path after base and a separator; 0 when path does not lie under base.
int MakeRelativePath(const char* path, const char* base, std::string& relative);

// The folder whose "Textures\options.ini" holds the colour keys: empty for the root of the
// current drive. Setting it forgets the keys read, so that the next query reads the new file.
void SetTextureOptionsFolder(const char* folder);
// Reads the options file into the colour-key list (emptied first); 1 when it could be opened.
int ReadTextureColorKey();
// The colour key of a texture name ("/" and "\" alike; the last line naming it wins), reading
// the options file first when no key is known; 0 when no line names it.
std::uint32_t GetTextureColorKey(const char* name);
