#include "core/win32.h"

#include "object3d/object_world.h"
#include "object3d/frame_hierarchy.h"
#include "object3d/keyframes.h"
#include "object3d/object_records.h"
#include "object3d/object_state.h"
#include "object3d/skinning.h"
#include "object3d/vertex_layout.h"

#include <cmath>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace {

constexpr float kDegreesToRadians = 0.017453292f;
constexpr float kBoundsStart = 1e6f;
// A glue chain longer than this is a loop (an object glued, through others, to itself).
constexpr int kLongestGlueChain = 64;

void SetTranslationRow(D3DXMATRIX& m, float x, float y, float z) {
    m._41 = x;
    m._42 = y;
    m._43 = z;
}

// CalculateObjectWorld with the glue target's frame matrix given directly.
bool CalculateWorldGluedTo(ObjectRecord* object, const D3DXMATRIX* glueMatrix) {
    ObjectPosition& p = object->position;
    if (p.matrixLocked) return true;
    D3DXMatrixScaling(&p.matScale, p.scale.x, p.scale.y, p.scale.z);
    D3DXMatrixTranslation(&p.matTranslation, p.position.x, p.position.y, p.position.z);
    UpdateObjectRotation(object);
    if (p.pivot) p.matRotation = Multiply(p.matPivot, p.matRotation);
    // S is diagonal and T a translation: their products need no full multiplication.
    p.matRotationScale = p.matRotation;
    const float scale[3] = {p.scale.x, p.scale.y, p.scale.z};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            p.matRotationScale.m[i][j] *= scale[i];
    p.matWorld = p.matRotationScale;
    for (int i = 0; i < 4; ++i) {
        const float w = p.matRotationScale.m[i][3];
        p.matWorld.m[i][0] += w * p.position.x;
        p.matWorld.m[i][1] += w * p.position.y;
        p.matWorld.m[i][2] += w * p.position.z;
    }
    if (p.glued && glueMatrix) {
        p.matWorld = Multiply(p.matWorld, *glueMatrix);
        p.matRotationScale = p.matWorld;
        SetTranslationRow(p.matRotationScale, 0, 0, 0);
    }
    WalkFrameTree(object->rootFrame, [](FrameRecord* f) { f->computed = 0; });
    return true;
}

bool UpdateWorldChain(ObjectRecord* object, int depth) {
    ObjectPosition& p = object->position;
    ObjectRecord* glue = p.glueObject ? ObjectAt(p.glueObject) : nullptr;
    const std::int32_t limb = p.glueLimb < 0 ? -p.glueLimb : p.glueLimb;
    // A glue to an object that is gone, to a limb it lacks, or round a loop counts as none.
    if (!HasData(glue) || glue == object || depth >= kLongestGlueChain || !glue->frames ||
        limb >= (glue->frameCount < 0 ? -glue->frameCount : glue->frameCount) ||
        !glue->frames[limb])
        return CalculateWorldGluedTo(object, nullptr);
    UpdateWorldChain(glue, depth + 1);
    FrameRecord* frame = glue->frames[limb];
    D3DXMATRIX combined = frame->combinedMatrix;
    if (p.glueLimb < 0) {
        // Position only: the limb's rotation is left out of this object's copy, never out of the
        // limb itself, which its own object still draws with.
        const D3DXMATRIX full = combined;
        D3DXMatrixIdentity(&combined);
        SetTranslationRow(combined, full._41, full._42, full._43);
    }
    const D3DXMATRIX glueWorld = frame->mesh && frame->mesh->boneCount > 0
                                     ? glue->position.matWorld
                                     : Multiply(combined, glue->position.matWorld);
    return CalculateWorldGluedTo(object, &glueWorld);
}

// Running bounds of one kind, reset to their starting values.
struct Bounds {
    D3DXVECTOR3 minimum{kBoundsStart, kBoundsStart, kBoundsStart};
    D3DXVECTOR3 maximum{-kBoundsStart, -kBoundsStart, -kBoundsStart};
    D3DXVECTOR3 centre{0, 0, 0};
    float radius = 0;
};

D3DXVECTOR3 Midpoint(const D3DXVECTOR3& minimum, const D3DXVECTOR3& maximum) {
    return minimum + (maximum - minimum) * 0.5f;
}

std::int32_t ListedCount(std::int32_t count) {
    return count < 0 ? -count : count;
}

} // namespace

void CalculateObjectRotation(ObjectRecord* object) {
    ObjectPosition& p = object->position;
    D3DXMatrixRotationX(&p.matRotateX, p.angle.x * kDegreesToRadians);
    D3DXMatrixRotationY(&p.matRotateY, p.angle.y * kDegreesToRadians);
    D3DXMatrixRotationZ(&p.matRotateZ, p.angle.z * kDegreesToRadians);
    if (p.rotationOrder == 0)
        p.matRotation = Multiply(Multiply(p.matRotateX, p.matRotateY), p.matRotateZ);
    else if (p.rotationOrder == 1)
        p.matRotation = Multiply(Multiply(p.matRotateZ, p.matRotateY), p.matRotateX);
}

void UpdateObjectRotation(ObjectRecord* object) {
    if (object->position.matrixMode)
        object->position.matRotation = object->position.matFreeFlight;
    else
        CalculateObjectRotation(object);
}

bool CalculateObjectWorld(ObjectRecord* object, FrameRecord* glueFrame) {
    if (!object) return false;
    return CalculateWorldGluedTo(object, glueFrame ? &glueFrame->worldMatrix : nullptr);
}

bool UpdateObjectWorld(ObjectRecord* object) {
    if (!object) return false;
    if (object->position.glueObject == 0) return CalculateObjectWorld(object, nullptr);
    return UpdateWorldChain(object, 0);
}

void CopyGlueMatrices(ObjectRecord* object, FrameRecord* frame, MeshRecord* mesh) {
    if (!object || !frame) return;
    // A skinned mesh applies its frame matrices itself.
    if (mesh && mesh->boneCount > 0)
        frame->worldMatrix = object->position.matWorld;
    else
        frame->worldMatrix = Multiply(frame->combinedMatrix, object->position.matWorld);
}

bool DeleteObjectRecord(ObjectRecord** object) {
    if (!object) return true;
    delete *object;
    *object = nullptr;
    return true;
}

bool UpdateObjectCentre(ObjectRecord* object) {
    if (!object) return false;
    CollisionBlock& c = object->collision;
    if (object->recalculate) {
        object->recalculate = 0;
        CalculateObjectWorld(object, nullptr);
        CalculateObjectBounds(object);
    }
    if (c.centreFixed) return true;
    c.centreOffset = c.centre;
    c.centreFixed = 1;
    UpdateObjectWorld(object);
    D3DXVec3TransformCoord(&c.centreOffset, &c.centreOffset, &object->position.matRotationScale);
    return true;
}

float GetObjectCentreWorldX(ObjectRecord* object) {
    return UpdateObjectCentre(object) ? object->collision.centreOffset.x : 0.0f;
}
float GetObjectCentreWorldY(ObjectRecord* object) {
    return UpdateObjectCentre(object) ? object->collision.centreOffset.y : 0.0f;
}
float GetObjectCentreWorldZ(ObjectRecord* object) {
    return UpdateObjectCentre(object) ? object->collision.centreOffset.z : 0.0f;
}
float GetObjectCentrePositionX(ObjectRecord* object) {
    return object ? object->position.position.x + GetObjectCentreWorldX(object) : 0.0f;
}
float GetObjectCentrePositionY(ObjectRecord* object) {
    return object ? object->position.position.y + GetObjectCentreWorldY(object) : 0.0f;
}
float GetObjectCentrePositionZ(ObjectRecord* object) {
    return object ? object->position.position.z + GetObjectCentreWorldZ(object) : 0.0f;
}

void SetObjectCentrePosition(ObjectRecord* object, float x, float y, float z) {
    if (!object) return;
    object->collision.moved = 1;
    UpdateObjectCentre(object);
    const D3DXVECTOR3& offset = object->collision.centreOffset;
    object->position.position = D3DXVECTOR3(x, y, z) - offset;
}

void AccumulateBounds(std::int32_t pass, float x, float y, float z, D3DXVECTOR3* minimum,
                      D3DXVECTOR3* maximum, D3DXVECTOR3* centre, float* radius) {
    if (pass <= 1) {
        if (x < minimum->x) minimum->x = x;
        if (y < minimum->y) minimum->y = y;
        if (z < minimum->z) minimum->z = z;
        if (x > maximum->x) maximum->x = x;
        if (y > maximum->y) maximum->y = y;
        if (z > maximum->z) maximum->z = z;
    }
    if (pass == 0) {
        *centre += D3DXVECTOR3(x, y, z);
        return;
    }
    const D3DXVECTOR3 d = D3DXVECTOR3(x, y, z) - *centre;
    const float squared = D3DXVec3LengthSq(&d);
    if (squared > *radius) *radius = squared;
}

bool CalculateMeshBounds(MeshRecord* mesh) {
    if (!mesh) return false;
    CollisionBlock& b = mesh->bounds;
    b.minimum = D3DXVECTOR3(kBoundsStart, kBoundsStart, kBoundsStart);
    b.maximum = -b.minimum;
    b.centre = D3DXVECTOR3(0, 0, 0);
    b.radius = 0;
    if (!GetVertexBounds(0, mesh, &kIdentityMatrix, &b.minimum, &b.maximum, &b.centre, &b.radius))
        return true;
    b.centre = Midpoint(b.minimum, b.maximum);
    GetVertexBounds(1, mesh, &kIdentityMatrix, &b.minimum, &b.maximum, &b.centre, &b.radius);
    b.radius = std::sqrt(b.radius);
    return true;
}

bool GetVertexBounds(std::int32_t pass, MeshRecord* mesh, const D3DXMATRIX* matrix,
                     D3DXVECTOR3* minimum, D3DXVECTOR3* maximum, D3DXVECTOR3* centre,
                     float* radius) {
    if (!mesh || !mesh->vertices) return false;
    // Through the mesh's own map and stride: padding past the format, or a declaration that puts
    // the position elsewhere, is never read as a position.
    VertexOffsetMap map{};
    GetMeshOffsetMap(mesh, &map);
    if (map.Z == 0 || map.StrideBytes > mesh->vertexSize || map.Z >= map.StrideDwords)
        return false; // no position, or one the vertex does not hold
    const std::uint32_t stride = map.StrideDwords, x = map.X, y = map.Y, z = map.Z;
    const auto* words = reinterpret_cast<const float*>(mesh->vertices);
    for (std::int32_t i = 0; i < mesh->vertexCount; ++i) {
        const float* v = words + static_cast<std::size_t>(i) * stride;
        D3DXVECTOR3 p(v[x], v[y], v[z]);
        D3DXVec3TransformCoord(&p, &p, matrix);
        AccumulateBounds(pass, p.x, p.y, p.z, minimum, maximum, centre, radius);
    }
    return true;
}

namespace {

// The room's per-frame arrays, started empty, in place of the set's.
void SwapFrameBoundsInto(BoundsRoom& room, AnimationSetRecord* set) {
    for (std::int32_t k = 0; k < set->frameCount; ++k) {
        room.minimum[k] = D3DXVECTOR3(kBoundsStart, kBoundsStart, kBoundsStart);
        room.maximum[k] = -room.minimum[k];
        room.centre[k] = D3DXVECTOR3(0, 0, 0);
        room.radius[k] = 0;
    }
    delete[] std::exchange(set->boundsMinimum, room.minimum.release());
    delete[] std::exchange(set->boundsMaximum, room.maximum.release());
    delete[] std::exchange(set->boundsCentre, room.centre.release());
    delete[] std::exchange(set->boundsRadius, room.radius.release());
}

// Poses the object at its current frame: keys sampled, frame matrices and animated vertices.
void PoseObject(ObjectRecord* object) {
    AnimateObject(object, object->currentFrame);
    UpdateFrameMatrices(object->rootFrame, &kIdentityMatrix);
    // Baked per-vertex matrices move every mesh of the object in one call: made once, not once
    // for each frame of a chain of thousands.
    const AnimationSetRecord* set = object->animationSet;
    const bool baked = set && set->animation && set->animation->keyed == 0;
    bool bakedDone = false;
    for (std::int32_t i = 0; i < ListedCount(object->frameCount); ++i) {
        FrameRecord* frame = object->frames[i];
        if (!frame || !frame->mesh) continue;
        if (baked && frame->mesh->boneCount > 0 && frame->mesh->bones) {
            if (bakedDone) continue;
            bakedDone = true;
        }
        UpdateFrameMesh(object, frame);
    }
}

// Pass 1 over every frame of the animation (or its first and last): one bounds entry each.
void SampleFrameBounds(ObjectRecord* object, AnimationSetRecord* set) {
    const float keptFrame = object->currentFrame;
    const std::uint8_t keptAnimating = object->animating;
    object->animating = 1;
    const std::int32_t n = set->frameCount;
    std::int32_t step = object->firstLastBoundsOnly ? n - 1 : 1;
    if (step < 1) step = 1;
    for (std::int32_t k = 0; k < n; k += step) {
        object->currentFrame = static_cast<float>(k);
        PoseObject(object);
        for (std::int32_t i = 0; i < ListedCount(object->frameCount); ++i) {
            FrameRecord* f = object->frames[i];
            if (f && f->mesh)
                GetVertexBounds(1, f->mesh, &f->combinedMatrix, &set->boundsMinimum[k],
                                &set->boundsMaximum[k], &set->boundsCentre[k],
                                &set->boundsRadius[k]);
        }
    }
    object->currentFrame = 0;
    object->animating = 0;
    PoseObject(object);
    object->currentFrame = keptFrame;
    object->animating = keptAnimating;
}

// Pass 1 without animation: the pose as it is, measured with the matrices from before posing.
void SamplePoseBounds(ObjectRecord* object, Bounds& b, std::vector<D3DXMATRIX>& before) {
    const std::int32_t frames = ListedCount(object->frameCount);
    for (std::int32_t i = 0; i < frames; ++i)
        if (object->frames[i]) before[i] = object->frames[i]->combinedMatrix;
    PoseObject(object);
    for (std::int32_t i = 0; i < frames; ++i) {
        FrameRecord* f = object->frames[i];
        if (f && f->mesh)
            GetVertexBounds(1, f->mesh, &before[i], &b.minimum, &b.maximum, &b.centre, &b.radius);
    }
}

// Each animation frame's own centre and radius from its box; the object takes its current one.
void FinishFrameBounds(ObjectRecord* object, AnimationSetRecord* set) {
    const std::int32_t n = set->frameCount;
    for (std::int32_t k = 0; k < n; ++k) {
        const D3DXVECTOR3 c = Midpoint(set->boundsMinimum[k], set->boundsMaximum[k]);
        const D3DXVECTOR3 low = set->boundsMinimum[k] - c, high = set->boundsMaximum[k] - c;
        const float a = D3DXVec3Length(&low), b = D3DXVec3Length(&high);
        set->boundsCentre[k] = c;
        set->boundsRadius[k] = a > b ? a : b;
    }
    const std::int32_t k = ClampedFrameIndex(object->currentFrame, n);
    CollisionBlock& o = object->collision;
    o.minimum = set->boundsMinimum[k];
    o.maximum = set->boundsMaximum[k];
    o.centre = set->boundsCentre[k];
    o.radius = set->boundsRadius[k];
    if (object->meshes && ListedCount(object->meshCount) > 0 && object->meshes[0]) {
        CollisionBlock& m = object->meshes[0]->bounds;
        m.minimum = o.minimum, m.maximum = o.maximum, m.centre = o.centre, m.radius = o.radius;
    }
}

} // namespace

bool ReserveObjectBounds(const ObjectRecord* object, BoundsRoom& room,
                         std::int32_t moreFrames) noexcept {
    if (!object) return false;
    const AnimationSetRecord* set = object->animationSet;
    try {
        if (set && set->frameCount > 0) {
            const std::int32_t n = set->frameCount;
            room.minimum.reset(new D3DXVECTOR3[n]);
            room.maximum.reset(new D3DXVECTOR3[n]);
            room.centre.reset(new D3DXVECTOR3[n]);
            room.radius.reset(new float[n]);
            room.animationFrames = n;
        } else {
            room.before.resize((object->frames ? ListedCount(object->frameCount) : 0) + moreFrames);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool CalculateObjectBounds(ObjectRecord* object) {
    BoundsRoom room;
    return ReserveObjectBounds(object, room) && CalculateObjectBounds(object, room);
}

bool CalculateObjectBounds(ObjectRecord* object, BoundsRoom& room) {
    if (!object) return false;
    CollisionBlock& o = object->collision;
    Bounds b;
    AnimationSetRecord* set = object->animationSet;
    const bool perFrame = set && set->frameCount > 0;
    const std::int32_t frames = object->frames ? ListedCount(object->frameCount) : 0;
    // Whatever the passes need was had before anything changes: without it the bounds stay.
    if (perFrame ? !room.radius || room.animationFrames != set->frameCount
                 : room.before.size() < static_cast<std::size_t>(frames))
        return false;
    if (perFrame) SwapFrameBoundsInto(room, set);

    for (std::int32_t i = 0; i < frames; ++i) {
        FrameRecord* f = object->frames[i];
        if (!f || !f->mesh) continue;
        CalculateMeshBounds(f->mesh);
        GetVertexBounds(0, f->mesh, &f->combinedMatrix, &b.minimum, &b.maximum, &b.centre,
                        &b.radius);
    }
    b.centre = Midpoint(b.minimum, b.maximum);
    const D3DXVECTOR3 pass0Centre = b.centre;

    if (perFrame)
        SampleFrameBounds(object, set);
    else if (frames > 0)
        SamplePoseBounds(object, b, room.before);
    o.poseRadius = std::sqrt(b.radius);
    if (o.cullingRadius > 0)
        o.cullingRadius = object->largeRadius ? o.poseRadius + 3000.0f : o.poseRadius;
    b.centre = pass0Centre;
    b.radius = 0;

    for (std::int32_t i = 0; i < frames; ++i) {
        FrameRecord* f = object->frames[i];
        if (f && f->mesh)
            GetVertexBounds(2, f->mesh, &f->combinedMatrix, &b.minimum, &b.maximum, &b.centre,
                            &b.radius);
    }
    o.minimum = b.minimum;
    o.maximum = b.maximum;
    o.centre = b.centre;
    o.radius = o.scaledRadius = std::sqrt(b.radius);

    if (perFrame) {
        for (std::int32_t k = 0; k < set->frameCount; ++k) {
            if (set->boundsRadius[k] != 0) continue;
            set->boundsMinimum[k] = o.minimum;
            set->boundsMaximum[k] = o.maximum;
            set->boundsRadius[k] = o.radius;
            set->boundsCentre[k] = o.centre;
        }
        if (!object->firstLastBoundsOnly) FinishFrameBounds(object, set);
    }
    return true;
}
