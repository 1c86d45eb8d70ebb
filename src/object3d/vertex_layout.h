// Where each component lies inside a vertex of any layout (an FVF code, or the mesh's vertex
// declaration when its FVF is 0), and the functions that give a mesh its vertex format and its
// vertex and index arrays. Every piece of code that reads or writes vertices goes through the map.
#pragma once

#include "core/win32.h"

#include <cstdint>

struct MeshRecord;

// Word offsets of the components of one vertex layout; 0 = absent. Presence is tested on a slot
// that cannot be 0 when present (position Z, normal NZ, a texture set's V). Tangents take the
// slots of texture set 1, binormals those of set 2.
struct VertexOffsetMap {
    std::uint32_t StrideDwords;
    std::uint32_t StrideBytes;
    std::uint32_t reserved0;
    std::uint32_t X, Y, Z;
    std::uint32_t Rhw; // the fourth position word (rhw, w, or the first blend weight)
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

// Reads and writes a three-word component at the given word offsets of one vertex.
inline D3DXVECTOR3 ReadTriple(const float* vertex, std::uint32_t x, std::uint32_t y,
                              std::uint32_t z) {
    return D3DXVECTOR3(vertex[x], vertex[y], vertex[z]);
}
inline void WriteTriple(float* vertex, std::uint32_t x, std::uint32_t y, std::uint32_t z,
                        const D3DXVECTOR3& value) {
    vertex[x] = value.x, vertex[y] = value.y, vertex[z] = value.z;
}

// Fills the map from an FVF code; false for a null map or a code whose decoded size differs from
// the platform's size of it.
bool GetFVFOffsetMap(std::uint32_t fvf, VertexOffsetMap* map);
// From the mesh's FVF, or from its declaration when the FVF is 0 (always true then). A declared
// element gets slots only on stream 0 and within the mesh's vertex size by its type's size; a slot
// that would still lie past the vertex (the third word of a one-float position) stays absent.
bool GetMeshOffsetMap(const MeshRecord* mesh, VertexOffsetMap* map);
// Bytes of one declaration element of the type; 0 for D3DDECLTYPE_UNUSED and unknown types.
std::uint32_t DeclarationTypeSize(std::uint32_t type);
// Whether every element up to the end marker is on stream 0, of a known type, and inside a
// vertex of vertexSize bytes.
bool DeclarationFitsVertex(const D3DVERTEXELEMENT9* declaration, std::uint32_t vertexSize);
// Whether the 3D module has a device.
bool IsDevicePresent();

// New vertex and index arrays (contents not cleared); an index count above 65535 fails and
// changes nothing; 0 indices leave no index list.
bool AllocateMeshData(MeshRecord* mesh, std::int32_t vertexCount, std::int32_t indexCount);
// The mesh described by a declaration (its own copy and a declaration object), then its arrays.
bool SetupMeshDeclarationData(MeshRecord* mesh, const D3DVERTEXELEMENT9* declaration,
                              std::uint32_t vertexSize, std::int32_t vertexCount,
                              std::int32_t indexCount);
// The mesh in an FVF, then its arrays.
bool SetupMeshFVFData(MeshRecord* mesh, std::uint32_t fvf, std::int32_t vertexCount,
                      std::int32_t indexCount);
// The mesh in the template's format, with at least the template's counts, and the template's
// vertices, indices, primitive type and draw counts copied in.
bool SetupMeshFromFormat(MeshRecord* mesh, const MeshRecord* source, std::int32_t indexCount,
                         std::int32_t vertexCount);
bool SetupMeshFromTemplate(MeshRecord* mesh, const MeshRecord* source);
// The mesh's vertices as the given FVF, copied vertex by vertex from data (sourceStride bytes a
// vertex, at most the FVF's size); no index list, drawn as primitiveType. False, with the mesh
// unchanged, for a stride above the vertex size; with its arrays freed when they cannot be made.
bool SetMeshFromRawVertices(MeshRecord* mesh, std::uint32_t fvf, std::uint32_t sourceStride,
                            const void* data, std::int32_t vertexCount, std::int32_t primitiveType);

// Vertex writers over an array of 32-bit words; false only for a null array.
bool SetVertexPositionNormal(std::uint32_t fvf, float* vertices, std::int32_t i, float x, float y,
                             float z, float u, float v);
bool SetVertexData(std::uint32_t fvf, float* vertices, std::int32_t i, float x, float y, float z,
                   float nx, float ny, float nz, D3DCOLOR diffuse, float u, float v);
bool SetMeshVertexData(const MeshRecord* mesh, float* vertices, std::int32_t i, float x, float y,
                       float z, float nx, float ny, float nz, D3DCOLOR diffuse, float u, float v);

// Exchanges two 32-bit entries.
bool SwapDwords(std::int32_t* array, std::int32_t i, std::int32_t j);
// Sorts array[low..high] (inclusive) ascending.
bool SortIndexRange(std::int32_t* array, std::int32_t low, std::int32_t high);
