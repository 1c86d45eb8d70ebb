// Where each component lies inside a vertex of any layout, and the set-up of a mesh's vertex
// format and arrays.
#pragma once

#include "core/win32.h"

#include <cstdint>

struct MeshRecord;

// Word offsets of the components of one vertex layout; 0 = absent. Presence is tested on a slot
// that cannot be 0 when present (position Z, normal NZ, a texture set's V).
struct VertexOffsetMap {
    std::uint32_t StrideDwords;
    std::uint32_t StrideBytes;
    std::uint32_t reserved0;
    std::uint32_t X, Y, Z;
    std::uint32_t Rhw;
    std::uint32_t reserved1[3];
    std::uint32_t NX, NY, NZ;
    std::uint32_t PointSize;
    std::uint32_t Diffuse;
    std::uint32_t Specular;
    std::uint32_t TexU[8];
    std::uint32_t TexV[8];
    std::uint32_t TexZ[8];
    std::uint32_t TexW[8];
};
static_assert(sizeof(VertexOffsetMap) == 48 * 4);

// Fills the map from an FVF code; false for a null map or a code whose decoded size differs from
// the platform's size of it.
bool GetFVFOffsetMap(std::uint32_t fvf, VertexOffsetMap* map);
// The mesh's vertices as the given FVF, copied from data (sourceStride bytes a vertex, at most
// the FVF's size) into a new array; no index list, drawn as primitiveType. False, with the mesh's
// arrays freed, when the array cannot be made.
bool SetMeshFromRawVertices(MeshRecord* mesh, std::uint32_t fvf, std::uint32_t sourceStride,
                            const void* data, std::int32_t vertexCount, std::int32_t primitiveType);
