// The level's structure file: the root extents, the areas with their mesh lists and portals, and
// the cells with their neighbour links and collision triangles, little-endian, no signature. The
// meshes travel in the level's object file; this file names them by their position in the
// world's textureMeshes list. The encoder and decoder work on bytes, so that they need no device.
#pragma once

#include "core/win32.h"

#include "core/byte_span.h"
#include "universe/universe_record.h"

#include <cstdint>
#include <string>
#include <vector>

// Stored for a missing mesh or neighbour, and read back as none, like any index out of range.
constexpr std::int32_t kNoIndex = -1;
constexpr std::size_t kPortalBytes = 108;
constexpr std::size_t kCellHeadBytes = 52; // centre, half extents, neighbours, triangle count

// The whole file for the world.
std::vector<std::uint8_t> EncodeUniverse(const Universe& world);
// Appends the file's areas and replaces the cell array with the file's cells. A record is taken
// only when read whole, and every count is checked against the bytes left first, so a damaged
// file stops at its first bad record, keeping what came before. False when anything was left
// unread; with a cut header nothing changes.
bool DecodeUniverse(Universe& world, ByteSpan bytes);
// The structure file's name beside a level file: its four-character extension replaced by
// ".tlu", or ".tlu" appended when it has none.
std::string UniverseFileName(const char* levelName);
