#include "core/win32.h"

#include "object3d/vertex_data_commands.h"
#include "object3d/mesh_convert.h"
#include "object3d/object3d.h"
#include "object3d/object_state.h"
#include "object3d/vertex_editing.h"
#include "object3d/vertex_layout.h"

#include <cstring>
#include <utility>

namespace {

constexpr std::int32_t kTextureSets = 8;

// The one open mesh. Written only by the commands here and cleared by ForgetVertexDataLock
// before its object or mesh is freed, so the pointers are live whenever mesh is set.
struct VertexDataLock {
    MeshRecord* mesh = nullptr;
    ObjectRecord* object = nullptr; // null for a mesh item
    std::int32_t mode = 0;
};
VertexDataLock lock;

MeshRecord* Locked() {
    return lock.mesh;
}

bool IsLockedVertex(std::int32_t vertex) {
    return lock.mesh && vertex >= 0 && vertex < lock.mesh->vertexCount && lock.mesh->vertices;
}

// The words of a vertex of the locked mesh and its offset map; null outside the mesh.
float* LockedVertexWords(std::int32_t vertex, VertexOffsetMap& map) {
    MeshRecord* mesh = lock.mesh;
    if (!IsLockedVertex(vertex) || !GetMeshOffsetMap(mesh, &map) || map.StrideDwords == 0 ||
        map.StrideBytes > mesh->vertexSize)
        return nullptr;
    return reinterpret_cast<float*>(mesh->vertices) +
           static_cast<std::size_t>(vertex) * map.StrideDwords;
}

std::uint32_t FVFTextureSets(std::uint32_t fvf) {
    return (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
}

// After an append, a cut or a change of format the locked object's changed meshes go into its
// buffers again.
void RefreshLockedObject() {
    if (lock.object) g_Object3D.manager.RefreshIfMeshChanged(lock.object);
}

// The locked mesh in its FVF with `sets` texture sets (the conversion gives its vertex backup the
// new layout); a limb mesh must be placed in the buffers again in its new format.
void WidenTextureSets(MeshRecord* mesh, std::uint32_t sets) {
    const std::uint32_t fvf = (mesh->fvf & ~static_cast<std::uint32_t>(D3DFVF_TEXCOUNT_MASK)) |
                              (sets << D3DFVF_TEXCOUNT_SHIFT);
    ConvertMeshToFVF(mesh, fvf);
    if (mesh->fvf != fvf) return; // the platform could not convert it: written nowhere
    mesh->needsRebuild = 1;
    RefreshLockedObject();
}

} // namespace

void ForgetVertexDataLock(const ObjectRecord* object, const MeshRecord* mesh) {
    if (!lock.mesh) return;
    if ((object && lock.object == object) || (mesh && lock.mesh == mesh)) lock = VertexDataLock{};
}

VertexDataTarget GetVertexDataTarget() {
    return VertexDataTarget{lock.object, lock.mesh, lock.mode};
}

void LockVertexDataForLimb(std::int32_t object, std::int32_t limb, std::int32_t mode) {
    if (!ConfirmObjectAndLimb(object, limb)) return;
    ObjectRecord* record = ObjectAt(object);
    MeshRecord* mesh = record->frames[limb]->mesh;
    if (mesh) lock = VertexDataLock{mesh, record, mode};
}

void LockVertexDataForMesh(std::int32_t mesh) {
    if (!ConfirmMesh(mesh)) return;
    lock = VertexDataLock{g_Object3D.meshes[mesh], nullptr, 0};
}

void UnlockVertexData() {
    MeshRecord* mesh = lock.mesh;
    if (mesh && lock.object) {
        if (lock.mode == 2) {
            delete[] std::exchange(mesh->backupVertices, nullptr);
            BackupMeshVertices(mesh);
            mesh->verticesChanged = 1;
        } else if (lock.mode == 1) {
            mesh->verticesChanged = 1;
        } else {
            g_Object3D.manager.MarkObjectChanged(lock.object);
        }
    }
    lock = VertexDataLock{};
}

void SetVertexDataPosition(std::int32_t vertex, float x, float y, float z) {
    if (IsLockedVertex(vertex)) SetVertexPosition(Locked(), vertex, x, y, z);
}

void SetVertexDataNormals(std::int32_t vertex, float x, float y, float z) {
    if (IsLockedVertex(vertex)) SetVertexNormal(Locked(), vertex, x, y, z);
}

void SetVertexDataDiffuse(std::int32_t vertex, D3DCOLOR colour) {
    if (IsLockedVertex(vertex)) SetVertexDiffuse(Locked(), vertex, colour);
}

void SetVertexDataUV(std::int32_t vertex, float u, float v) {
    if (IsLockedVertex(vertex)) SetVertexUV(Locked(), vertex, u, v);
}

void SetVertexDataUVOfSet(std::int32_t vertex, std::int32_t set, float u, float v) {
    MeshRecord* mesh = Locked();
    if (!IsLockedVertex(vertex) || set < 0 || set >= kTextureSets) return;
    // A declaration has no texture count to raise: it is written only where it has the set.
    const auto wanted = static_cast<std::uint32_t>(set + 1);
    if (mesh->fvf != 0 && FVFTextureSets(mesh->fvf) < wanted) WidenTextureSets(mesh, wanted);
    VertexOffsetMap map;
    if (float* p = LockedVertexWords(vertex, map); p && map.TexU[set]) {
        p[map.TexU[set]] = u;
        if (map.TexV[set]) p[map.TexV[set]] = v;
    }
    mesh->verticesChanged = 1;
}

void SetVertexDataSize(std::int32_t vertex, float size) {
    MeshRecord* mesh = Locked();
    if (!mesh) return;
    VertexOffsetMap map;
    if (float* p = LockedVertexWords(vertex, map); p && (mesh->fvf & D3DFVF_PSIZE) && map.PointSize)
        p[map.PointSize] = size;
    mesh->verticesChanged = 1;
}

void SetIndexData(std::int32_t index, std::int32_t value) {
    MeshRecord* mesh = Locked();
    // An index past the vertices would have the device and every mesh tool read beyond them.
    if (!mesh || !mesh->indices || index < 0 || index >= mesh->indexCount || value < 0 ||
        value >= mesh->vertexCount || value > 0xFFFF)
        return;
    mesh->indices[index] = static_cast<std::uint16_t>(value);
}

void AddMeshToVertexData(std::int32_t mesh) {
    if (!ConfirmMesh(mesh) || !Locked()) return;
    AppendMeshToMesh(Locked(), g_Object3D.meshes[mesh]);
    RefreshLockedObject();
}

void DeleteMeshFromVertexData(std::int32_t firstVertex, std::int32_t endVertex,
                              std::int32_t firstIndex, std::int32_t endIndex) {
    if (!Locked()) return;
    RemoveMeshRange(Locked(), firstVertex, endVertex, firstIndex, endIndex);
    RefreshLockedObject();
}

std::int32_t GetVertexDataVertexCount() {
    return GetMeshVertexCount(Locked());
}

std::int32_t GetVertexDataIndexCount() {
    return GetMeshIndexCount(Locked());
}

float GetVertexDataPositionX(std::int32_t vertex) {
    return GetVertexPositionX(Locked(), vertex);
}
float GetVertexDataPositionY(std::int32_t vertex) {
    return GetVertexPositionY(Locked(), vertex);
}
float GetVertexDataPositionZ(std::int32_t vertex) {
    return GetVertexPositionZ(Locked(), vertex);
}
float GetVertexDataNormalsX(std::int32_t vertex) {
    return GetVertexNormalX(Locked(), vertex);
}
float GetVertexDataNormalsY(std::int32_t vertex) {
    return GetVertexNormalY(Locked(), vertex);
}
float GetVertexDataNormalsZ(std::int32_t vertex) {
    return GetVertexNormalZ(Locked(), vertex);
}
D3DCOLOR GetVertexDataDiffuse(std::int32_t vertex) {
    return GetVertexDiffuse(Locked(), vertex);
}
float GetVertexDataU(std::int32_t vertex) {
    return GetVertexU(Locked(), vertex);
}
float GetVertexDataV(std::int32_t vertex) {
    return GetVertexV(Locked(), vertex);
}
float GetVertexDataUOfSet(std::int32_t vertex, std::int32_t set) {
    return GetVertexUOfSet(Locked(), vertex, set);
}
float GetVertexDataVOfSet(std::int32_t vertex, std::int32_t set) {
    return GetVertexVOfSet(Locked(), vertex, set);
}

std::int32_t GetIndexData(std::int32_t index) {
    const MeshRecord* mesh = Locked();
    if (!mesh || !mesh->indices || index < 0 || index >= mesh->indexCount) return 0;
    return mesh->indices[index];
}
