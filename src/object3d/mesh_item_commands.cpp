#include "core/win32.h"

#include "object3d/mesh_item_commands.h"
#include "core/com_ptr.h"
#include "core/core.h"
#include "core/no_throw.h"
#include "core/media.h"
#include "object3d/geometry.h"
#include "object3d/mesh_convert.h"
#include "object3d/object3d.h"
#include "object3d/object_guard.h"
#include "object3d/object_state.h"
#include "object3d/object_world.h"
#include "object3d/vertex_data_commands.h"
#include "object3d/vertex_layout.h"
#include "core/error_numbers.h"

#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

// Mesh file names pass through the media redirect in a buffer of this size.
constexpr std::size_t kMeshNameBuffer = 256;
// A joined mesh larger than this is not attempted: its byte size must stay a valid int32.
constexpr std::uint64_t kLargestJoinedBytes = 0x7FFFFFFF;

using MeshPtr = std::unique_ptr<MeshRecord>;

// Mesh n replaced by made (the old one freed through ConfirmNewMesh, which drops a lock on it);
// made is freed when the table cannot take it.
bool StoreMesh(std::int32_t n, MeshPtr made) {
    if (!ConfirmNewMesh(n) || !ResizeMeshArray(n)) return false;
    g_Object3D.meshes[n] = made.release();
    return true;
}

bool IsTriangleMesh(const MeshRecord* mesh) {
    return mesh && mesh->vertices && mesh->vertexCount > 0 && mesh->drawPrimitiveCount > 0 &&
           (mesh->primitiveType == D3DPT_TRIANGLELIST ||
            mesh->primitiveType == D3DPT_TRIANGLESTRIP || mesh->primitiveType == D3DPT_TRIANGLEFAN);
}

struct PlacedMesh {
    MeshRecord* mesh;
    D3DXMATRIX world;
};

// The object's meshes with triangles, in mesh-list order, each with the world matrix it is drawn
// with: its frame's (the object's own for a skinned mesh or one no frame carries).
std::vector<PlacedMesh> PlaceObjectMeshes(ObjectRecord* object) {
    std::unordered_map<const MeshRecord*, FrameRecord*> frameOf;
    const std::int32_t frames = object->frameCount < 0 ? -object->frameCount : object->frameCount;
    for (std::int32_t f = 0; object->frames && f < frames; ++f)
        if (FrameRecord* frame = object->frames[f]; frame && frame->mesh)
            frameOf.emplace(frame->mesh, frame);
    std::vector<PlacedMesh> placed;
    ForEachObjectMesh(object, [&](MeshRecord* mesh) {
        if (!IsTriangleMesh(mesh)) return;
        D3DXMATRIX world = object->position.matWorld;
        if (mesh->worldSpace) {
            world = kIdentityMatrix;
        } else if (const auto found = frameOf.find(mesh); found != frameOf.end()) {
            FrameRecord* frame = found->second;
            CopyGlueMatrices(object, frame, mesh);
            world = frame->ownMatrix ? frame->alternativeMatrix : frame->worldMatrix;
        }
        placed.push_back({mesh, world});
    });
    return placed;
}

// Positions and normals of every vertex moved by the matrix.
void TransformVertices(MeshRecord* mesh, const D3DXMATRIX& world) {
    VertexOffsetMap map;
    if (!GetMeshOffsetMap(mesh, &map) || map.StrideDwords == 0 || !mesh->vertices) return;
    auto* words = reinterpret_cast<float*>(mesh->vertices);
    for (std::int32_t v = 0; v < mesh->vertexCount; ++v) {
        float* p = words + static_cast<std::size_t>(v) * map.StrideDwords;
        if (map.Z) {
            D3DXVECTOR3 position(p[map.X], p[map.Y], p[map.Z]);
            D3DXVec3TransformCoord(&position, &position, &world);
            p[map.X] = position.x, p[map.Y] = position.y, p[map.Z] = position.z;
        }
        if (map.NZ) {
            D3DXVECTOR3 normal(p[map.NX], p[map.NY], p[map.NZ]);
            D3DXVec3TransformNormal(&normal, &normal, &world);
            D3DXVec3Normalize(&normal, &normal);
            p[map.NX] = normal.x, p[map.NY] = normal.y, p[map.NZ] = normal.z;
        }
    }
}

// A copy of the mesh in the format of `format`, as a plain triangle list placed in the world;
// null when the platform cannot bring it to that format. Out of memory, it throws std::bad_alloc.
MeshPtr PlacedCopy(const PlacedMesh& placed, const MeshRecord* format) {
    MeshPtr copy(new MeshRecord);
    if (!SetupMeshFromTemplate(copy.get(), placed.mesh)) throw std::bad_alloc();
    ComPtr<ID3DXMesh> dx(
        MakeDXMeshFromMesh(copy.get(), format->fvf ? nullptr : format->declaration, format->fvf));
    if (!dx) return nullptr;
    if (!UpdateMeshFromDXMesh(copy.get(), dx)) throw std::bad_alloc();
    if (copy->fvf != format->fvf || copy->vertexSize != format->vertexSize || !copy->vertices)
        return nullptr;
    ExpandMeshIndices(copy.get());
    TransformVertices(copy.get(), placed.world);
    return copy;
}

// One plain triangle list of the parts' vertices, in the format of the first.
MeshPtr JoinPlainLists(const std::vector<MeshPtr>& parts) {
    const MeshRecord* first = parts.front().get();
    std::uint64_t total = 0;
    for (const MeshPtr& part : parts)
        total += static_cast<std::uint64_t>(part->vertexCount);
    if (total * first->vertexSize > kLargestJoinedBytes) return nullptr;
    const auto count = static_cast<std::int32_t>(total);
    MeshPtr joined(new MeshRecord);
    const bool made = first->fvf ? SetupMeshFVFData(joined.get(), first->fvf, count, 0)
                                 : SetupMeshDeclarationData(joined.get(), first->declaration,
                                                            first->vertexSize, count, 0);
    if (!made || !joined->vertices) throw std::bad_alloc();
    std::uint8_t* at = joined->vertices;
    for (const MeshPtr& part : parts) {
        const std::size_t bytes = static_cast<std::size_t>(part->vertexCount) * part->vertexSize;
        std::memcpy(at, part->vertices, bytes);
        at += bytes;
    }
    joined->savedFVF = joined->fvf;
    joined->primitiveType = D3DPT_TRIANGLELIST;
    joined->drawVertexCount = count;
    joined->drawPrimitiveCount = count / 3;
    CalculateMeshBounds(joined.get());
    return joined;
}

} // namespace

void LoadMesh(const char* fileName, std::int32_t n) {
    Object3DState& s = g_Object3D;
    // The old mesh n goes first: a load that fails leaves the slot empty, out of memory or not.
    if (!ConfirmNewMesh(n)) return;
    // The name hooks work on a buffer of 256 bytes: a longer name is refused, never cut short.
    if (!fileName || std::strlen(fileName) >= kMeshNameBuffer) {
        RaiseRuntimeError(kMeshMissing);
        return;
    }
    ScopedMediaName name(s.core, fileName);
    GuardChange(kMeshMissing, [&] {
        MeshRecord* loaded = nullptr;
        return name.Ok() && LoadXMesh(name.Text(), &loaded) && loaded &&
               StoreMesh(n, MeshPtr(loaded));
    });
}

void DeleteMeshCmd(std::int32_t n) {
    if (!ConfirmMesh(n)) return;
    MeshRecord*& slot = g_Object3D.meshes[n];
    ForgetVertexDataLock(nullptr, slot);
    if (DeleteMesh(slot)) slot = nullptr;
}

void SaveMesh(const char* fileName, std::int32_t n) {
    if (!ConfirmMesh(n)) return;
    if (!fileName || !*fileName || !SaveXMesh(fileName, g_Object3D.meshes[n]))
        RaiseRuntimeError(kFileWriteFailed);
}

void ConvertMeshToVertexList(std::int32_t n) {
    if (ConfirmMesh(n)) ExpandMeshIndices(g_Object3D.meshes[n]);
}

void MakeMeshFromObject(std::int32_t n, std::int32_t objectNumber) {
    if (!ConfirmObject(objectNumber)) return;
    // The number's old mesh stays until the new one is whole (StoreMesh replaces it).
    if (n < 1 || n > kLargestItemNumber) return RaiseRuntimeError(kMeshNumberIllegal);
    ObjectRecord* object = ObjectAt(objectNumber);
    UpdateObjectWorld(object);
    // The new mesh is whole before it takes its number; out of memory, nothing is made.
    NoThrow(kObjectNotMade, [&] {
        const std::vector<PlacedMesh> placed = PlaceObjectMeshes(object);
        if (placed.empty()) return;
        std::vector<MeshPtr> parts;
        for (const PlacedMesh& p : placed) {
            parts.push_back(PlacedCopy(p, placed.front().mesh));
            if (!parts.back()) return;
        }
        // A number the table cannot reach raises the table's own error.
        if (MeshPtr joined = JoinPlainLists(parts)) StoreMesh(n, std::move(joined));
    });
}

void ReduceMeshCmd(std::int32_t source, std::int32_t newMesh, std::int32_t vertexTarget) {
    if (!ConfirmMesh(source)) return;
    // Reduced into its own number, the source is replaced only once the reduced copy exists.
    if (newMesh != source && !ConfirmNewMesh(newMesh)) return;
    MeshRecord* reduced = nullptr;
    if (ReduceMesh(g_Object3D.meshes[source], &reduced, vertexTarget) && reduced)
        StoreMesh(newMesh, MeshPtr(reduced));
}

void MakeMeshBoxApproximation(std::int32_t n, std::int32_t, std::int32_t, std::int32_t nx,
                              std::int32_t ny, std::int32_t nz) {
    // The mesh is replaced whole or not at all; out of memory it stays and 101 is raised.
    if (!ConfirmMesh(n)) return;
    GuardChange(kStringNoMemory, [&] {
        bool outOfMemory = false;
        BuildBoxApproximationMesh(g_Object3D.meshes[n], nx, ny, nz, &outOfMemory);
        return !outOfMemory;
    });
}

bool MeshExist(std::int32_t n) {
    const Object3DState& s = g_Object3D;
    return n >= 1 && n < s.meshCapacity && s.meshes && s.meshes[n];
}
