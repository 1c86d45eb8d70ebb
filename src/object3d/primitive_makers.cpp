#include "core/win32.h"

#include "object3d/primitive_makers.h"
#include "object3d/appearance.h"
#include "object3d/collision.h"
#include "core/core.h"
#include "object3d/geometry.h"
#include "object3d/object3d.h"
#include "object3d/object_guard.h"
#include "object3d/object_state.h"
#include "object3d/positioning.h"
#include "object3d/vertex_layout.h"
#include "core/error_numbers.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace {

constexpr std::uint32_t kPlainFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1; // 0x112
constexpr std::uint32_t kColouredFormat = kPlainFormat | D3DFVF_DIFFUSE;         // 0x152
constexpr D3DCOLOR kWhite = 0xFFFFFFFF;
constexpr std::int32_t kCylinderSteps = 30;
constexpr float kCylinderStep = 0.20943952f; // 2 pi / 30
constexpr std::int32_t kConeSteps = 11;
constexpr float kConeStep = 0.5711987f; // 2 pi / 11
constexpr float kDegreesPerRadian = 57.295776f;
// A cone's height is twice its radius whatever its size.
constexpr float kConeHeightOverRadius = 2.0f;
// What 16-bit indices can name: the most vertices an empty mesh is made with, so that a count
// passed by mistake cannot have the command zero and measure millions of them.
constexpr std::int32_t kMostEmptyMeshVertices = 0xFFFF;

// Object n made with one empty mesh, which is returned; null when it cannot be made.
MeshRecord* NewObjectMesh(std::int32_t n, const char* name) {
    return CreateNewObject(n, name) ? g_Object3D.objects[n]->rootFrame->mesh : nullptr;
}

// Frames, bounds and transform, then the image; null when the object could not be set up.
ObjectRecord* FinishObject(std::int32_t n, float radius, std::int32_t image = 0) {
    if (!SetupNewObject(n, radius)) return nullptr;
    TextureObject(n, image);
    return g_Object3D.objects[n];
}

// Runs the make of object n: one that fails leaves no half-made object behind and raises 7002
// unless a check raised its own error first.
template <typename Body> void Make(std::int32_t n, Body&& body) {
    GuardObjectMake(n, kObjectNotMade, static_cast<Body&&>(body));
}

void WriteVertex(MeshRecord* mesh, std::int32_t i, const D3DXVECTOR3& p, const D3DXVECTOR3& n,
                 float u, float v) {
    SetMeshVertexData(mesh, reinterpret_cast<float*>(mesh->vertices), i, p.x, p.y, p.z, n.x, n.y,
                      n.z, kWhite, u, v);
}

void FinishList(MeshRecord* mesh, std::int32_t primitiveType, std::int32_t primitives) {
    mesh->primitiveType = primitiveType;
    mesh->drawVertexCount = mesh->vertexCount;
    mesh->drawPrimitiveCount = primitives;
}

void MakePlane(std::int32_t n, float width, float height, bool facingNegativeZ) {
    Make(n, [&] {
        MeshRecord* mesh = NewObjectMesh(n, "plane");
        const float w = width * 0.5f, h = height * 0.5f;
        if (!mesh || !(facingNegativeZ ? MakeMeshPlaneFacingNegativeZ(mesh, w, h)
                                       : MakeMeshPlaneFacingPositiveZ(mesh, w, h)))
            return false;
        ObjectRecord* object = FinishObject(n, (w + h) * 0.5f);
        if (!object) return false;
        if (!facingNegativeZ) YRotateObject(n, 180.0f);
        SetCollisionToSpheres(object);
        SetObjectCull(n, 0);
        return true;
    });
}

void WriteCone(MeshRecord* mesh, float r) {
    // The side's tilt from upright as a fraction of a right angle.
    const float ny = (90.0f - std::atan(kConeHeightOverRadius) * kDegreesPerRadian) * 0.011111111f;
    for (std::int32_t i = 0; i <= kConeSteps; ++i) {
        const float a = static_cast<float>(i) * kConeStep;
        const float u = 1.0f - static_cast<float>(i) * 0.09090909f;
        // The slope is taken against a unit circle, so every size gets the same normals.
        D3DXVECTOR3 normal, slope(std::sin(a), ny, std::cos(a));
        D3DXVec3Normalize(&normal, &slope);
        const D3DXVECTOR3 rim(std::sin(a) * r, -r, std::cos(a) * r);
        if (i == kConeSteps) {
            WriteVertex(mesh, 2 * i, rim, normal, 0, 1);
            break;
        }
        WriteVertex(mesh, 2 * i, D3DXVECTOR3(0, r, 0), normal, u, 0);
        WriteVertex(mesh, 2 * i + 1, rim, normal, u, 1);
        // The next rim point; the last one closes the ring without an apex after it.
        const auto apex = static_cast<std::uint16_t>(2 * i);
        const auto next = static_cast<std::uint16_t>(i + 1 == kConeSteps ? apex + 2 : apex + 3);
        const std::uint16_t triangle[3] = {apex, std::uint16_t(apex + 1), next};
        std::memcpy(mesh->indices + 3 * i, triangle, sizeof triangle);
    }
}

// A format the engine can give vertices to: known to the platform, with a position.
bool UsableFormat(std::uint32_t fvf, std::int32_t vertexCount, std::int32_t indexCount) {
    VertexOffsetMap map;
    return GetFVFOffsetMap(fvf, &map) && map.StrideBytes > 0 && (fvf & D3DFVF_POSITION_MASK) != 0 &&
           vertexCount >= 0 && vertexCount <= kMostEmptyMeshVertices && indexCount >= 0;
}

// A frame carrying one mesh set up in the FVF with zeroed arrays; null when it cannot be made.
std::unique_ptr<FrameRecord> EmptyMeshFrame(std::uint32_t fvf, std::int32_t vertexCount,
                                            std::int32_t indexCount) {
    std::unique_ptr<FrameRecord> frame(new (std::nothrow) FrameRecord);
    if (!frame || !UsableFormat(fvf, vertexCount, indexCount)) return nullptr;
    MeshRecord* mesh = frame->mesh = new (std::nothrow) MeshRecord;
    if (!mesh || !SetupMeshFVFData(mesh, fvf, vertexCount, indexCount)) return nullptr;
    std::memset(mesh->vertices, 0, static_cast<std::size_t>(vertexCount) * mesh->vertexSize);
    if (mesh->indices) std::memset(mesh->indices, 0, sizeof(std::uint16_t) * indexCount);
    // Without indices the vertices themselves are the list.
    FinishList(mesh, D3DPT_TRIANGLELIST, (indexCount > 0 ? indexCount : vertexCount) / 3);
    return frame;
}

// The object's frames, meshes and lists go, with its shadow and its place in the shared buffers;
// the frame takes their place.
void ReplaceFrames(ObjectRecord* object, FrameRecord* frame) {
    ObjectManager& manager = g_Object3D.manager;
    manager.RemoveObject(object);
    manager.DeleteObjectShadow(object);
    // A spare record frees the old tree and lists as an object's destructor does. The animations
    // go with them: they point at the old frames.
    ObjectRecord old;
    old.animationSet = std::exchange(object->animationSet, nullptr);
    old.rootFrame = std::exchange(object->rootFrame, frame);
    old.meshes = std::exchange(object->meshes, nullptr);
    old.meshCount = std::exchange(object->meshCount, 0);
    old.frames = std::exchange(object->frames, nullptr);
    old.frameCount = std::exchange(object->frameCount, 0);
}

} // namespace

void MakeObjectFromMesh(std::int32_t n, std::int32_t mesh, std::int32_t image) {
    if (!ConfirmMesh(mesh)) return;
    // A number refused by the object's checks raises 7002 too.
    Make(n, [&] {
        MeshRecord* target = NewObjectMesh(n, "mesh");
        if (!target) RaiseRuntimeError(kObjectNotMade);
        return target && MakeMeshFromFormat(target, g_Object3D.meshes[mesh], &kIdentityMatrix) &&
               FinishObject(n, -1.0f, image);
    });
}

void MakeObjectSphere(std::int32_t n, float size, std::int32_t rings, std::int32_t segments) {
    Make(n, [&] {
        MeshRecord* mesh = NewObjectMesh(n, "sphere");
        return mesh &&
               MakeMeshSphere(1, mesh, 0, 0, 0, size * 0.5f, rings, segments, kPlainFormat,
                              kWhite) &&
               FinishObject(n, size * 0.5f);
    });
}

void MakeObjectPlane(std::int32_t n, float width, float height) {
    MakePlane(n, width, height, false);
}

void MakeObjectPlane(std::int32_t n, std::int32_t size) {
    MakePlane(n, static_cast<float>(size), static_cast<float>(size), false);
}

void MakeObjectPlaneFacingNegativeZ(std::int32_t n, float width, float height) {
    MakePlane(n, width, height, true);
}

void MakeObjectTriangle(std::int32_t n, float x1, float y1, float z1, float x2, float y2, float z2,
                        float x3, float y3, float z3) {
    Make(n, [&] {
        MeshRecord* mesh = NewObjectMesh(n, "triangle");
        if (!mesh || !SetupMeshFVFData(mesh, kPlainFormat, 3, 0)) return false;
        const D3DXVECTOR3 normal(0, 0, -1);
        WriteVertex(mesh, 0, D3DXVECTOR3(x1, y1, z1), normal, 0, 0);
        WriteVertex(mesh, 1, D3DXVECTOR3(x2, y2, z2), normal, 1, 0);
        WriteVertex(mesh, 2, D3DXVECTOR3(x3, y3, z3), normal, 1, 1);
        FinishList(mesh, D3DPT_TRIANGLELIST, 1);
        // A radius is a size: corners given right to left still make a triangle of that width.
        ObjectRecord* object = FinishObject(n, std::fabs(x2 - x1));
        if (!object) return false;
        SetCollisionToSpheres(object);
        SetObjectCull(n, 0);
        return true;
    });
}

void MakeObjectBox(std::int32_t n, float width, float height, float depth) {
    Make(n, [&] {
        MeshRecord* mesh = NewObjectMesh(n, "box");
        const float w = width * 0.5f, h = height * 0.5f, d = depth * 0.5f;
        if (!mesh || !MakeMeshBox(1, mesh, -w, -h, -d, w, h, d, kPlainFormat, kWhite)) return false;
        ObjectRecord* object = FinishObject(n, (w + h) * 0.5f);
        if (object) SetCollisionToSpheres(object);
        return object != nullptr;
    });
}

void MakeObjectBox(std::int32_t n, float size) {
    MakeObjectBox(n, size, size, size);
}

void MakeObjectPyramid(std::int32_t n, float size) {
    Make(n, [&] {
        MeshRecord* mesh = NewObjectMesh(n, "pyramid");
        const float s = size * 0.5f;
        if (!mesh || !MakeMeshPyramid(1, mesh, s, kColouredFormat, kWhite)) return false;
        ObjectRecord* object = FinishObject(n, s);
        if (object) SetCollisionToSpheres(object);
        return object != nullptr;
    });
}

void MakeObjectCylinder(std::int32_t n, float size) {
    Make(n, [&] {
        MeshRecord* mesh = NewObjectMesh(n, "cylinder");
        const std::int32_t vertices = 2 * (kCylinderSteps + 1);
        if (!mesh || !SetupMeshFVFData(mesh, kPlainFormat, vertices, 0)) return false;
        const float r = size * 0.5f;
        for (std::int32_t i = 0; i <= kCylinderSteps; ++i) {
            const float angle = static_cast<float>(i) * kCylinderStep;
            const float x = std::sin(angle) * r, z = std::cos(angle) * r;
            const float u = 1.0f - static_cast<float>(i) * 0.033333335f;
            D3DXVECTOR3 normal, outward(x, 0, z);
            D3DXVec3Normalize(&normal, &outward);
            WriteVertex(mesh, 2 * i, D3DXVECTOR3(x, r, z), normal, u, 0);
            WriteVertex(mesh, 2 * i + 1, D3DXVECTOR3(x, -r, z), normal, u, 1);
        }
        FinishList(mesh, D3DPT_TRIANGLESTRIP, vertices - 2);
        ObjectRecord* object = FinishObject(n, size);
        if (object) SetCollisionToSpheres(object);
        return object != nullptr;
    });
}

void MakeObjectCone(std::int32_t n, float size) {
    Make(n, [&] {
        MeshRecord* mesh = NewObjectMesh(n, "cone");
        // The rim writes indices: a set-up that made the vertices but not the indices fails.
        if (!mesh || !SetupMeshFVFData(mesh, kPlainFormat, 2 * kConeSteps + 1, 3 * kConeSteps) ||
            !mesh->vertices || !mesh->indices)
            return false;
        WriteCone(mesh, size * 0.5f);
        FinishList(mesh, D3DPT_TRIANGLELIST, kConeSteps);
        return FinishObject(n, size * 0.5f) != nullptr;
    });
}

void ReplaceObjectWithEmptyMesh(std::int32_t n, std::uint32_t fvf, std::int32_t vertexCount,
                                std::int32_t indexCount) {
    if (!ConfirmObject(n)) return;
    // Made before anything is torn down, so that a refusal leaves the object as it was.
    std::unique_ptr<FrameRecord> frame;
    if (!GuardChange(kObjectNotMade, [&] {
            frame = EmptyMeshFrame(fvf, vertexCount, indexCount);
            return frame != nullptr;
        }))
        return;
    // From here the old geometry is gone: an object that cannot be set up goes with it.
    ReplaceFrames(g_Object3D.objects[n], frame.release());
    const bool done = GuardChange(kObjectNotMade, [n] {
        ObjectRecord* object = FinishObject(n, 100.0f);
        if (object) SetCollisionToSpheres(object);
        return object != nullptr;
    });
    if (!done) DiscardObject(n);
}
