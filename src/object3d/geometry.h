// Builders that fill a mesh with generated or copied geometry.
#pragma once

#include "core/win32.h"

#include <cstdint>

struct MeshRecord;

// A box from (x1, y1, z1) to (x2, y2, z2): 24 vertices and 36 indices in the FVF, each face's
// four corners with its normal. With setUp the mesh is set up first (7002 when it cannot be);
// without it its arrays must already have those sizes.
bool MakeMeshBox(std::int32_t setUp, MeshRecord* mesh, float x1, float y1, float z1, float x2,
                 float y2, float z2, std::uint32_t fvf, D3DCOLOR diffuse);
// A UV sphere of (rings + 1) x (segments + 1) vertices drawn as one strip (7029 when it cannot
// be set up).
bool MakeMeshSphere(std::int32_t setUp, MeshRecord* mesh, float cx, float cy, float cz,
                    float radius, std::int32_t rings, std::int32_t segments, std::uint32_t fvf,
                    D3DCOLOR diffuse);
// The mesh becomes a copy of the template, its positions and normals turned and scaled by the
// matrix (its translation is ignored; null is the identity). False when it cannot be made.
bool MakeMeshFromFormat(MeshRecord* mesh, const MeshRecord* source, const D3DXMATRIX* matrix);
