// Conversions of a mesh's geometry: primitive layouts, copies to and from device buffers, the
// vertex backup, and deleting meshes.
#pragma once

#include "core/win32.h"

#include <cstdint>
#include <vector>

struct MeshRecord;

// For each vertex of the mesh last expanded by ExpandMeshIndices: the new number of the last
// corner that used it.
extern std::vector<std::uint32_t> ExpandedVertexRemap;

// Strips and fans become indexed triangle lists; true when something was converted.
bool ConvertStripToList(MeshRecord* mesh);
// An indexed triangle list becomes a plain list, one vertex per index.
void ExpandMeshIndices(MeshRecord* mesh);
// Copies the mesh's indices into the buffer from entry startIndex; false when the lock fails.
bool CopyIndicesToIndexBuffer16(MeshRecord* mesh, IDirect3DIndexBuffer9* buffer,
                                std::uint32_t startIndex);
// Copies the mesh's vertices into the buffer from start, counted in 32-bit words.
bool CopyVerticesToVertexBuffer(MeshRecord* mesh, IDirect3DVertexBuffer9* buffer,
                                std::uint32_t start);
// Makes the vertex backup once (no effect when it exists).
void BackupMeshVertices(MeshRecord* mesh);
// Destroys and frees a mesh; true.
bool DeleteMesh(MeshRecord* mesh);
