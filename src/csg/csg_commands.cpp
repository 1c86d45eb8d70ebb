// The CSG commands: object and mesh checks, world placement of every mesh pair, and the redraw.
#include "core/win32.h"

#include "csg/csg.h"
#include "csg/csg_mesh.h"
#include "object3d/object3d.h"
#include "object3d/object_state.h"
#include "object3d/object_world.h"
#include "object3d/vertex_data_commands.h"

#include <utility>

namespace {

// The matrix a mesh of the object is drawn with: its frame's, or the object's own for a mesh
// that no frame carries.
D3DXMATRIX MeshWorldMatrix(ObjectRecord* object, MeshRecord* mesh) {
    const std::int32_t frames = object->frameCount < 0 ? -object->frameCount : object->frameCount;
    for (std::int32_t f = 0; object->frames && f < frames; ++f) {
        FrameRecord* frame = object->frames[f];
        if (!frame || frame->mesh != mesh) continue;
        CopyGlueMatrices(object, frame, mesh);
        return frame->worldMatrix;
    }
    return object->position.matWorld;
}

void RunMeshOperation(std::int32_t mode, MeshRecord* a, const D3DXMATRIX& matrixA, MeshRecord* b,
                      const D3DXMATRIX& matrixB) {
    switch (mode) {
    case kCsgUnion:
        CsgUnion(a, matrixA, b, matrixB);
        break;
    case kCsgDifference:
        CsgSubtract(a, matrixA, b, matrixB);
        break;
    case kCsgClip:
        CsgClip(a, matrixA, b, matrixB);
        break;
    case kCsgBoxRemoval:
        CsgRemoveInsideBox(a, matrixA, b, matrixB);
        break;
    default:
        break;
    }
}

} // namespace

void PerformCsgOperation(std::int32_t a, std::int32_t b, std::int32_t mode) {
    if (!ConfirmObject(a) || !ConfirmObject(b)) return;
    ObjectRecord* objectA = ObjectAt(a);
    ObjectRecord* objectB = ObjectAt(b);
    UpdateObjectWorld(objectA);
    UpdateObjectWorld(objectB);
    // One pair out of memory puts back what the pairs before it made: all or nothing.
    CsgJournal journal;
    if (!journal.Reserve(static_cast<std::size_t>(ListedMeshCount(objectA)))) return;
    ForEachObjectMesh(objectA, [&](MeshRecord* meshA) {
        const D3DXMATRIX matrixA = MeshWorldMatrix(objectA, meshA);
        ForEachObjectMesh(objectB, [&](MeshRecord* meshB) {
            if (!meshB->visible || journal.Failed()) return;
            RunMeshOperation(mode, meshA, matrixA, meshB, MeshWorldMatrix(objectB, meshB));
            delete[] std::exchange(meshA->backupVertices, nullptr);
        });
    });
    if (journal.Failed()) journal.Undo();
    g_Object3D.manager.MarkObjectChanged(objectA);
}

void PerformCsgOnMesh(std::int32_t n, std::int32_t mode) {
    if (!ConfirmMesh(n)) return;
    const VertexDataTarget target = GetVertexDataTarget();
    if (target.mesh) {
        if (mode != kCsgBoxRemoval)
            RunMeshOperation(mode, target.mesh, kIdentityMatrix, g_Object3D.meshes[n],
                             kIdentityMatrix);
        delete[] std::exchange(target.mesh->backupVertices, nullptr);
    }
    if (target.object) g_Object3D.manager.RefreshIfMeshChanged(target.object);
}

void PerformCsgUnion(std::int32_t a, std::int32_t b) {
    PerformCsgOperation(a, b, kCsgUnion);
}

void PerformCsgDifference(std::int32_t a, std::int32_t b) {
    PerformCsgOperation(a, b, kCsgDifference);
}

void PerformCsgClip(std::int32_t a, std::int32_t b) {
    PerformCsgOperation(a, b, kCsgClip);
}

void PerformCsgBoxRemoval(std::int32_t a, std::int32_t b) {
    PerformCsgOperation(a, b, kCsgBoxRemoval);
}

void PerformCsgUnionOnMesh(std::int32_t mesh) {
    PerformCsgOnMesh(mesh, kCsgUnion);
}

void PerformCsgDifferenceOnMesh(std::int32_t mesh) {
    PerformCsgOnMesh(mesh, kCsgDifference);
}

void PerformCsgClipOnMesh(std::int32_t mesh) {
    PerformCsgOnMesh(mesh, kCsgClip);
}

void PerformCsgUnionExport(std::int32_t a, std::int32_t b) {
    PerformCsgUnion(a, b);
}

void PerformCsgDifferenceExport(std::int32_t a, std::int32_t b) {
    PerformCsgDifference(a, b);
}

void PerformCsgClipExport(std::int32_t a, std::int32_t b) {
    PerformCsgClip(a, b);
}

void PerformCsgBoxRemovalExport(std::int32_t a, std::int32_t b) {
    PerformCsgBoxRemoval(a, b);
}

void PerformCsgUnionOnMeshExport(std::int32_t mesh) {
    PerformCsgUnionOnMesh(mesh);
}

void PerformCsgDifferenceOnMeshExport(std::int32_t mesh) {
    PerformCsgDifferenceOnMesh(mesh);
}

void PerformCsgClipOnMeshExport(std::int32_t mesh) {
    PerformCsgClipOnMesh(mesh);
}
