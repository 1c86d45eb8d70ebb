// Direct access to one mesh's vertices and indices: a single lock held on a limb's mesh or on a
// mesh item, getters and setters on the locked data, and append / cut of whole meshes. Without a
// lock every command does nothing and every getter gives 0; vertex and index numbers outside the
// locked mesh are ignored (getters then give 0).
#pragma once

#include "core/win32.h"

#include <cstdint>

struct ObjectRecord;
struct MeshRecord;

// Drops the vertex-data lock when it is held on this object (object non-null) or on this mesh
// (mesh non-null), without writing anything back: called before either is freed or replaced.
void ForgetVertexDataLock(const ObjectRecord* object, const MeshRecord* mesh);

// The mesh open for vertex-data editing, the object it belongs to (null for a mesh item) and the
// lock's mode; all empty without a lock.
struct VertexDataTarget {
    ObjectRecord* object = nullptr;
    MeshRecord* mesh = nullptr;
    std::int32_t mode = 0;
};
VertexDataTarget GetVertexDataTarget();

// Locks the limb's mesh (nothing when the limb has none). What the unlock does depends on the
// mode: 2 takes a new vertex backup and refreshes the vertices, 1 refreshes the vertices, any
// other mode rebuilds the object's buffers (needed once counts changed). A new lock replaces the
// old one without closing it.
void LockVertexDataForLimb(std::int32_t object, std::int32_t limb, std::int32_t mode = 1);
// Locks a mesh item; its unlock only releases it.
void LockVertexDataForMesh(std::int32_t mesh);
void UnlockVertexData();

void SetVertexDataPosition(std::int32_t vertex, float x, float y, float z);
void SetVertexDataNormals(std::int32_t vertex, float x, float y, float z);
void SetVertexDataDiffuse(std::int32_t vertex, D3DCOLOR colour);
void SetVertexDataUV(std::int32_t vertex, float u, float v);
// Texture set 0 to 7; a mesh with fewer sets is first widened to set + 1 of them.
void SetVertexDataUVOfSet(std::int32_t vertex, std::int32_t set, float u, float v);
// The point size, when the format carries one.
void SetVertexDataSize(std::int32_t vertex, float size);
// Index entry = value; a value that names no vertex of the mesh is refused.
void SetIndexData(std::int32_t index, std::int32_t value);
// Mesh item mesh appended behind the locked mesh's vertices and indices, in its format.
void AddMeshToVertexData(std::int32_t mesh);
// Cuts vertices [firstVertex, endVertex) and indices [firstIndex, endIndex) out.
void DeleteMeshFromVertexData(std::int32_t firstVertex, std::int32_t endVertex,
                              std::int32_t firstIndex, std::int32_t endIndex);

std::int32_t GetVertexDataVertexCount();
std::int32_t GetVertexDataIndexCount();
float GetVertexDataPositionX(std::int32_t vertex);
float GetVertexDataPositionY(std::int32_t vertex);
float GetVertexDataPositionZ(std::int32_t vertex);
float GetVertexDataNormalsX(std::int32_t vertex);
float GetVertexDataNormalsY(std::int32_t vertex);
float GetVertexDataNormalsZ(std::int32_t vertex);
D3DCOLOR GetVertexDataDiffuse(std::int32_t vertex);
float GetVertexDataU(std::int32_t vertex);
float GetVertexDataV(std::int32_t vertex);
float GetVertexDataUOfSet(std::int32_t vertex, std::int32_t set);
float GetVertexDataVOfSet(std::int32_t vertex, std::int32_t set);
// The 16-bit index, 0 outside 0 .. index count - 1.
std::int32_t GetIndexData(std::int32_t index);
