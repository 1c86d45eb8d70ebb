// A mesh's triangles by number, whatever its primitive type and indexing: the lightmapper, the
// world's collision triangles and its ray tests all read meshes this way.
#pragma once

#include "core/win32.h"

#include <cstdint>

struct MeshRecord;
struct VertexOffsetMap;

// Triangles of a list, strip or fan; 0 for other primitive types.
std::int32_t MeshTriangleCount(const MeshRecord* mesh);
// The vertex number of corner k (0 to 2) of triangle f, or -1 when it names no vertex.
std::int32_t MeshTriangleCorner(const MeshRecord* mesh, std::int32_t f, std::int32_t k);
// The position of vertex v through the map (which must have one).
D3DXVECTOR3 MeshVertexPosition(const MeshRecord* mesh, const VertexOffsetMap& map, std::int32_t v);
// The three corners of triangle f; false when one names no vertex.
bool MeshTrianglePositions(const MeshRecord* mesh, const VertexOffsetMap& map, std::int32_t f,
                           D3DXVECTOR3 corners[3]);
