// The levels the build made for these tests (make_levels.py), and the means to damage a level's
// bytes field by field.
#pragma once

#include "world/bsp_file.h"

#include <cstdint>
#include <string>

// A file of the build's test levels folder ("\" separated below it).
std::string LevelPath(const std::string& name);
// The synthetic level's bytes, and the archive that holds it as maps/synthetic.bsp with its
// shader script and pictures, alone in its folder.
std::string SyntheticLevel();
std::string SyntheticArchive();
// openarena's maps archive beside its pak0.pk3, when the build could link them.
std::string RealMapsArchive();
bool RealMapsPresent();

// The synthetic level's layout, as make_levels.py writes it.
constexpr std::int32_t kSyntheticFaces = 8, kSyntheticVertices = 37, kSyntheticLightmaps = 2;
constexpr std::int32_t kSyntheticPatchFace = 6, kSyntheticMeshFace = 7;

// The directory entry of a lump.
BspLump LumpOf(const std::string& level, int lump);
void SetLump(std::string& level, int lump, std::int32_t offset, std::int32_t length);
// The byte offset of a field (its offset in the record) of record index of a lump.
std::size_t FieldAt(const std::string& level, int lump, std::size_t recordSize, std::size_t index,
                    std::size_t field);
std::int32_t GetInt(const std::string& bytes, std::size_t at);
void PutInt(std::string& bytes, std::size_t at, std::int32_t value);

// ReadBspFile over the bytes placed just before a no-access page.
BspFault ReadGuarded(const std::string& bytes, BspFile& file);

// The texture was made on that device.
bool OnDevice(IDirect3DTexture9* texture, IDirect3DDevice9* device);
