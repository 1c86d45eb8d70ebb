// Builders that fill a mesh with generated or copied geometry: planes, boxes, a pyramid, a UV
// sphere, single box faces, copies of a template under a matrix, normal smoothing, a progressive
// reduction with skirts and a box approximation of a mesh's volume. Vertices go through the mesh's
// offset map, so every builder works for any format the caller chose; components the format lacks
// are skipped. Indices are 16-bit.
#pragma once

#include "core/win32.h"

#include <cstdint>
#include <vector>

struct MeshRecord;

// Two triangles (FVF 0x112, 6 vertices, no indices) of half width w and half height h in the
// plane z = 0, with the normal (0, 0, 1) or (0, 0, -1); 7002 when the mesh cannot be set up.
bool MakeMeshPlaneFacingPositiveZ(MeshRecord* mesh, float w, float h);
bool MakeMeshPlaneFacingNegativeZ(MeshRecord* mesh, float w, float h);
// A box from (x1, y1, z1) to (x2, y2, z2): 24 vertices and 36 indices in the FVF, each face's
// four corners with its normal. With setUp the mesh is set up first (7002 when it cannot be);
// without it its arrays must already have those sizes.
bool MakeMeshBox(std::int32_t setUp, MeshRecord* mesh, float x1, float y1, float z1, float x2,
                 float y2, float z2, std::uint32_t fvf, D3DCOLOR diffuse);
// The box layout with the upper corners drawn into the apex (0, s, 0) over the base at y = -s.
bool MakeMeshPyramid(std::int32_t setUp, MeshRecord* mesh, float s, std::uint32_t fvf,
                     D3DCOLOR diffuse);
// A UV sphere of (rings + 1) x (segments + 1) vertices drawn as one strip; 7029 when it cannot be
// set up or has fewer than 1 ring or 3 segments.
bool MakeMeshSphere(std::int32_t setUp, MeshRecord* mesh, float cx, float cy, float cz,
                    float radius, std::int32_t rings, std::int32_t segments, std::uint32_t fvf,
                    D3DCOLOR diffuse);
// The enabled faces of a box (in the order front, back, top, bottom, right, left) written at the
// cursors, which move on by 4 vertices and 6 indices a face. False, nothing written, when the
// faces do not fit the mesh's arrays.
bool BuildBoxFaces(MeshRecord* mesh, std::int32_t* vertexCursor, std::int32_t* indexCursor,
                   float x1, float y1, float z1, float x2, float y2, float z2, D3DCOLOR diffuse,
                   bool left, bool right, bool bottom, bool top, bool back, bool front);

// The mesh becomes a copy of the template in its format, with room for the counts given (at least
// the template's own), its positions and normals turned and scaled by the matrix (its translation
// is ignored; null is the identity), its bounds recomputed. False when it cannot be made.
bool MakeMeshFromData(MeshRecord* mesh, const MeshRecord* source, const D3DXMATRIX* matrix,
                      std::int32_t indexCount, std::int32_t vertexCount);
bool MakeMeshFromFormat(MeshRecord* mesh, const MeshRecord* source, const D3DXMATRIX* matrix);
// Each normal becomes the mean of itself and the normals of the vertices at exactly its position
// (at most 32 of them) that differ from it by at most the threshold (0 to 1, as the mean absolute
// difference of the components). False for a mesh without positions or normals.
bool SmoothMeshNormals(MeshRecord* mesh, float threshold);
// The same in two steps, so that several meshes change together or not at all: the normals the
// smoothing gives, one a vertex, with the mesh untouched (false as above; std::bad_alloc when
// they cannot be had), then written.
bool SmoothedNormals(MeshRecord* mesh, float threshold, std::vector<D3DXVECTOR3>& smoothed);
void WriteMeshNormals(MeshRecord* mesh, const std::vector<D3DXVECTOR3>& normals);

// A progressively reduced copy of the source with about vertexTarget vertices, handed back through
// newMesh (the source is left as it was), its border closed by skirts down to y = -1. Windows
// only: under Wine it gives false before any D3DX step, whose mesh simplifier is a stub there.
bool ReduceMesh(MeshRecord* source, MeshRecord** newMesh, std::int32_t vertexTarget);
// ReduceMesh's last step: the vertices within 0.25 of each side of the mesh's x-z rectangle (at
// most 199 a side) are joined, side by side, to copies of themselves at y = -1. False, the mesh
// unchanged, when it has no position or the result would not fit 16-bit indices.
bool AddMeshSkirts(MeshRecord* mesh);
// The mesh's geometry replaced by axis-aligned boxes that fill its volume on an nx x ny x nz grid
// (nx and nz at least 3, ny at least 1, none above 50), each box with only its open sides. False,
// the mesh as it was, when a count is above 50, the mesh has no triangles or the boxes do not fit.
// outOfMemory, when given, tells a false that came of memory that could not be had.
bool BuildBoxApproximationMesh(MeshRecord* mesh, std::int32_t nx, std::int32_t ny, std::int32_t nz,
                               bool* outOfMemory = nullptr);
