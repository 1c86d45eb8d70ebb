// The numbered mesh items (1 to 22,000,000): loaded from X files, derived from objects, reduced
// or approximated by boxes, saved and deleted. Limbs and objects are then built from them. Every
// command checks its numbers first and reports failures only through run-time errors.
#pragma once

#include <cstdint>

// Mesh n from an X file; 7003, with the slot left empty, when the file cannot be loaded or its
// name is 256 characters or longer.
void LoadMesh(const char* fileName, std::int32_t n);
void DeleteMeshCmd(std::int32_t n);
// Mesh n as a text X file (where the platform has an X writer); 8212 when none is written (also
// for a null or empty name), an existing file kept.
void SaveMesh(const char* fileName, std::int32_t n);
// The indexed triangle list becomes a plain list, one vertex per corner.
void ConvertMeshToVertexList(std::int32_t n);
// Mesh n holds every triangle of the object as it stands in the world: its meshes in list order,
// each under its frame's world matrix, in the first mesh's format, as one plain triangle list.
void MakeMeshFromObject(std::int32_t n, std::int32_t object);
// Mesh newMesh becomes a copy of source reduced to about vertexTarget vertices, closed by skirts.
void ReduceMeshCmd(std::int32_t source, std::int32_t newMesh, std::int32_t vertexTarget);
// The mesh's geometry replaced by boxes filling its volume on an nx x ny x nz grid; the first two
// values are not used.
void MakeMeshBoxApproximation(std::int32_t n, std::int32_t unused1, std::int32_t unused2,
                              std::int32_t nx, std::int32_t ny, std::int32_t nz);
// Whether mesh n exists; never raises.
bool MeshExist(std::int32_t n);
