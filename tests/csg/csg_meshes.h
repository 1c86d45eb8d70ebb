// Meshes for the tests of the CSG operations, and the measures they are checked by.
#pragma once

#include "core/win32.h"

#include "csg/bsp_maths.h"
#include "object3d/object_records.h"

#include <array>
#include <cstdint>
#include <vector>

using Triangle = std::array<BspVector, 3>;

// The box from low to high in format 274, faces wound so that their fan normals point out:
// indexed (24 vertices, 36 indices) or as a plain list of 36 vertices.
void BoxMesh(MeshRecord& mesh, const BspVector& low, const BspVector& high, bool indexed = true);
// The same box as one plain triangle strip, its faces joined by triangles without area.
void StripBoxMesh(MeshRecord& mesh, const BspVector& low, const BspVector& high);
// A flat indexed grid in z = 0 of n x n unit cells from the origin, two triangles a cell,
// facing +z.
void GridMesh(MeshRecord& mesh, int n);
// Every vertex's u set to the value (a mark that travels into results).
void MarkU(MeshRecord& mesh, float u);

// The mesh's triangles as drawn (indexed or plain lists), positions only.
std::vector<Triangle> Triangles(const MeshRecord& mesh);
// The volume the triangles enclose, positive for outward fan normals.
double SignedVolume(const MeshRecord& mesh);
// Whether two triangles have the same three corners (in any rotation).
bool HasRepeatedTriangle(const MeshRecord& mesh);
// The vertex bytes, to compare a mesh with itself later.
std::vector<std::uint8_t> VertexBytes(const MeshRecord& mesh);

D3DXMATRIX Translation(float x, float y, float z);
