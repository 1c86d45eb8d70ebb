// Reading and changing one mesh's vertices and indices in place: per-vertex getters and setters,
// whole-mesh colour, texture-coordinate scrolling and scaling, normals, joining two meshes,
// cutting ranges out, and a containment test that samples the mesh with a grid of rays. Every
// component is found through the mesh's offset map; a vertex number outside the mesh reads 0 and
// writes nothing.
#pragma once

#include "core/win32.h"

#include <cstdint>

struct MeshRecord;

// Setters; each marks the vertex data changed, also when the format lacks the component.
void SetVertexPosition(MeshRecord* mesh, std::int32_t vertex, float x, float y, float z);
void SetVertexNormal(MeshRecord* mesh, std::int32_t vertex, float nx, float ny, float nz);
void SetVertexDiffuse(MeshRecord* mesh, std::int32_t vertex, D3DCOLOR colour);
// Texture set 0; only when the FVF has an odd number of texture sets.
void SetVertexUV(MeshRecord* mesh, std::int32_t vertex, float u, float v);

// Getters; 0 when the mesh lacks the component.
float GetVertexPositionX(MeshRecord* mesh, std::int32_t vertex);
float GetVertexPositionY(MeshRecord* mesh, std::int32_t vertex);
float GetVertexPositionZ(MeshRecord* mesh, std::int32_t vertex);
float GetVertexNormalX(MeshRecord* mesh, std::int32_t vertex);
float GetVertexNormalY(MeshRecord* mesh, std::int32_t vertex);
float GetVertexNormalZ(MeshRecord* mesh, std::int32_t vertex);
D3DCOLOR GetVertexDiffuse(MeshRecord* mesh, std::int32_t vertex);
float GetVertexU(MeshRecord* mesh, std::int32_t vertex);
float GetVertexV(MeshRecord* mesh, std::int32_t vertex);
float GetVertexUOfSet(MeshRecord* mesh, std::int32_t vertex, std::int32_t set);
float GetVertexVOfSet(MeshRecord* mesh, std::int32_t vertex, std::int32_t set);
std::int32_t GetMeshVertexCount(MeshRecord* mesh);
std::int32_t GetMeshIndexCount(MeshRecord* mesh);

// Whole-mesh operations.
void SetMeshDiffuse(MeshRecord* mesh, D3DCOLOR colour);
// A brightness of 0 to 1 into the vertex colours, or into the material without them.
void SetMeshColour(MeshRecord* mesh, float level);
// Moves or scales texture set 0, 1 or 2 of every vertex; only sets the FVF has (of at most 3).
void ScrollMeshUV(MeshRecord* mesh, std::int32_t set, float du, float dv);
void ScaleMeshUV(MeshRecord* mesh, std::int32_t set, float su, float sv);
void ScrollMeshTextureUV(MeshRecord* mesh, float du, float dv);
void ScaleMeshTextureUV(MeshRecord* mesh, float su, float sv);
// The platform's normals for a mesh that has positions and normals; false, the mesh as it was,
// when its new arrays cannot be made (old, when given, takes its old shape as in mesh_convert.h).
bool RecomputeMeshNormals(MeshRecord* mesh, MeshRecord* old = nullptr);
// The source's vertices and indices behind the target's, in the target's format; false, the
// target unchanged, when they cannot be joined (more than 65,535 vertices among them).
bool AppendMeshToMesh(MeshRecord* target, MeshRecord* source);
// Removes vertices [firstVertex, endVertex) and indices [firstIndex, endIndex), and every triangle
// left that named a removed vertex; false, nothing changed, for ranges outside the mesh.
bool RemoveMeshRange(MeshRecord* mesh, std::int32_t firstVertex, std::int32_t endVertex,
                     std::int32_t firstIndex, std::int32_t endIndex);
// Whether the box from (x1, y1, z1) to (x2, y2, z2) lies within the mesh's bounds and the mesh is
// solid enough there to be hit by rays.
bool IsPointInMeshBounds(MeshRecord* mesh, float x1, float y1, float z1, float x2, float y2,
                         float z2);
// Rays through a grid over the mesh's bounds: 2 when more than 95 percent hit, 1 when some do,
// 0 when none do (or a count above 50 is asked for).
std::int32_t SampleMeshGrid(MeshRecord* mesh, std::int32_t nx, std::int32_t ny, std::int32_t nz);
