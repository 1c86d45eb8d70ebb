#include "core/win32.h"

#include "object3d/frame_hierarchy.h"
#include "object3d/builtin_effects.h"
#include "object3d/geometry.h"
#include "object3d/object3d.h"
#include "object3d/object_lists.h"
#include "object3d/object_records.h"
#include "object3d/object_state.h"
#include "object3d/skinning.h"
#include "object3d/vertex_data_commands.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace {

constexpr float kDegreesToRadians = 0.017453292f;
constexpr float kBoundsGrowth = 1.01f;
constexpr std::int32_t kBoundSphereRings = 5, kBoundSphereSegments = 8;

void CopyName(char* to, const char* from) {
    if (!from) from = "";
    std::strncpy(to, from, kRecordNameLength - 1);
    to[kRecordNameLength - 1] = 0;
}

// Whether target is frame itself or lies below it.
bool InSubtree(FrameRecord* frame, const FrameRecord* target) {
    return frame == target ||
           FindFrame(frame->child, [target](const FrameRecord* f) { return f == target; });
}

bool MakeBoundsBox(FrameRecord* frame, std::int32_t setUp) {
    const CollisionBlock& b = frame->mesh->bounds;
    return MakeMeshBox(setUp, frame->boundBoxMesh, b.minimum.x * kBoundsGrowth,
                       b.minimum.y * kBoundsGrowth, b.minimum.z * kBoundsGrowth,
                       b.maximum.x * kBoundsGrowth, b.maximum.y * kBoundsGrowth,
                       b.maximum.z * kBoundsGrowth, D3DFVF_XYZ, 0);
}

bool MakeBoundSphere(FrameRecord* frame, std::int32_t setUp) {
    const CollisionBlock& b = frame->mesh->bounds;
    return MakeMeshSphere(setUp, frame->boundSphereMesh, b.centre.x, b.centre.y, b.centre.z,
                          b.radius * kBoundsGrowth, kBoundSphereRings, kBoundSphereSegments,
                          D3DFVF_XYZ, 0);
}

// A wire mesh, unlit and seen from both sides.
void MarkWire(MeshRecord* mesh) {
    mesh->wireframe = 1;
    mesh->lighting = 0;
    mesh->culling = 0;
    mesh->verticesChanged = 1;
}

} // namespace

bool UpdateFrameMatrices(FrameRecord* frame, const D3DXMATRIX* parent) {
    if (!frame || !parent) return false;
    // Each chain of siblings shares its parent's combined matrix; children wait on a stack with
    // a pointer to theirs, so only the tree's breadth is held, never its depth in calls.
    SmallStack<std::pair<FrameRecord*, const D3DXMATRIX*>, 32> pending;
    pending.Push({frame, parent});
    while (!pending.Empty()) {
        auto [f, above] = pending.Pop();
        for (; f; f = f->sibling) {
            f->combinedMatrix = Multiply(f->transformMatrix, *above);
            if (f->combinedMatrix._44 == 0.0f) f->combinedMatrix._44 = 1.0f;
            if (f->child) pending.Push({f->child, &f->combinedMatrix});
        }
    }
    return true;
}

void RebuildFrameTransforms(FrameRecord* frame) {
    WalkFrameTree(frame, [](FrameRecord* f) {
        f->transformMatrix = Multiply(f->userMatrix, f->initialMatrix);
        f->computed = 0;
    });
}

void CalculateFrameWorldData(ObjectRecord* object, FrameRecord* frame) {
    if (!object || !frame || frame->computed) return;
    const D3DXMATRIX w = Multiply(frame->combinedMatrix, object->position.matWorld);
    frame->worldMatrix = w;
    frame->worldPosition = D3DXVECTOR3(w._41, w._42, w._43);
    D3DXMATRIX m = w;
    m._41 = m._42 = m._43 = 0;
    D3DXVECTOR3 axis(1, 0, 0);
    D3DXVec3TransformCoord(&axis, &axis, &m);
    const float length = D3DXVec3Length(&axis);
    // A matrix without scale has no rotation to read: its angles stay 0.
    if (length > 0 && std::isfinite(length)) {
        const float s = 1.0f / length;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                m.m[i][j] *= s;
        MatrixToEulerAngles(&m, &frame->worldAngle);
    } else {
        frame->worldAngle = D3DXVECTOR3(0, 0, 0);
    }
    frame->computed = 1;
}

void BuildFrameUserMatrix(FrameRecord* frame) {
    if (!frame) return;
    D3DXMATRIX scale, x, y, z, translation;
    D3DXMatrixScaling(&scale, frame->scale.x, frame->scale.y, frame->scale.z);
    D3DXMatrixRotationX(&x, frame->rotation.x * kDegreesToRadians);
    D3DXMatrixRotationY(&y, frame->rotation.y * kDegreesToRadians);
    D3DXMatrixRotationZ(&z, frame->rotation.z * kDegreesToRadians);
    D3DXMatrixTranslation(&translation, frame->offset.x, frame->offset.y, frame->offset.z);
    frame->userMatrix = scale * x * y * z * translation;
}

void SetFrameOffset(FrameRecord* frame, float x, float y, float z) {
    if (!frame) return;
    frame->offset = D3DXVECTOR3(x, y, z);
    BuildFrameUserMatrix(frame);
}

void SetFrameRotation(FrameRecord* frame, float x, float y, float z) {
    if (!frame) return;
    frame->rotation = D3DXVECTOR3(x, y, z);
    BuildFrameUserMatrix(frame);
}

void SetFrameScale(FrameRecord* frame, float x, float y, float z) {
    if (!frame) return;
    frame->scale = D3DXVECTOR3(x, y, z);
    BuildFrameUserMatrix(frame);
}

void AddChildFrame(FrameRecord* parent, FrameRecord* frame) {
    if (!parent || !frame) return;
    FrameRecord** tail = &parent->child;
    while (*tail)
        tail = &(*tail)->sibling;
    *tail = frame;
    frame->parent = parent;
}

void UnlinkFrame(FrameRecord* previous, FrameRecord*& head, FrameRecord* frame) {
    if (!frame) return;
    FrameRecord* parent = std::exchange(frame->parent, nullptr);
    FrameRecord* next = std::exchange(frame->sibling, nullptr);
    if (previous) {
        previous->sibling = next;
    } else if (!parent) {
        head = next;
    } else {
        if (next) next->parent = parent;
        parent->child = next;
    }
}

bool DetachFrameFromTree(ObjectRecord*, FrameRecord*& head, FrameRecord* frame) {
    // Every sibling list of the tree, each by the link that heads it.
    SmallStack<FrameRecord**, 32> lists;
    lists.Push(&head);
    while (!lists.Empty()) {
        FrameRecord** list = lists.Pop();
        FrameRecord* previous = nullptr;
        for (FrameRecord* f = *list; f; previous = f, f = f->sibling) {
            if (f == frame) {
                UnlinkFrame(previous, *list, frame);
                return false;
            }
            if (f->child) lists.Push(&f->child);
        }
    }
    return true;
}

bool ReparentFrame(ObjectRecord* object, FrameRecord* frame, FrameRecord* parent) {
    // Under itself or a descendant the frame would be cut off from the tree in a loop.
    if (!object || !frame || !parent || InSubtree(frame, parent)) return false;
    if (DetachFrameFromTree(object, object->rootFrame, frame)) return false; // not in this tree
    AddChildFrame(parent, frame);
    return true;
}

bool AddFrameWithMesh(ObjectRecord* object, MeshRecord* mesh, const char* name) {
    if (!object || !object->rootFrame) return false;
    // Both records are had before the tree changes.
    std::unique_ptr<FrameRecord> frame(new (std::nothrow) FrameRecord);
    std::unique_ptr<AnimationRecord> animation;
    const bool animated = object->animationSet && object->animationSet->animation;
    if (animated) animation.reset(new (std::nothrow) AnimationRecord);
    if (!frame || (animated && !animation)) return false;
    FrameRecord* last = object->rootFrame;
    while (last->sibling)
        last = last->sibling;
    last->sibling = frame.get();
    CopyName(frame->name, name);
    frame->mesh = mesh;
    if (animated) {
        AnimationRecord* tail = object->animationSet->animation;
        while (tail->next)
            tail = tail->next;
        std::memcpy(animation->name, frame->name, sizeof animation->name);
        animation->frame = frame.get();
        tail->next = animation.release();
    }
    frame.release();
    return true;
}

bool AddAnimationForFrame(ObjectRecord* object, FrameRecord* frame) {
    if (!object || !frame || !object->animationSet || !object->animationSet->animation) return true;
    AnimationRecord* last = object->animationSet->animation;
    while (last->next)
        last = last->next;
    auto* animation = new (std::nothrow) AnimationRecord;
    if (!animation) return true;
    last->next = animation;
    std::memcpy(animation->name, frame->name, sizeof animation->name);
    animation->frame = frame;
    return true;
}

bool RemoveAnimationOfFrame(ObjectRecord*, AnimationRecord*& head, FrameRecord* frame) {
    AnimationRecord* previous = nullptr;
    for (AnimationRecord* a = head; a; previous = a, a = a->next) {
        if (a->frame != frame) continue;
        (previous ? previous->next : head) = a->next;
        a->next = nullptr; // so that its teardown frees it alone
        delete a;
        return false;
    }
    return true;
}

bool RemoveFrameAnimation(ObjectRecord* object, FrameRecord* frame) {
    if (object && object->animationSet && object->animationSet->animation)
        RemoveAnimationOfFrame(object, object->animationSet->animation, frame);
    return true;
}

bool RemoveFrameTreeAnimations(ObjectRecord* object, FrameRecord* frame) {
    std::unordered_set<const FrameRecord*> going;
    WalkFrameTree(frame, [&going](FrameRecord* f) { going.insert(f); });
    RemoveAnimationsOfFrames(object, going);
    return true;
}

void RemoveAnimationsOfFrames(ObjectRecord* object,
                              const std::unordered_set<const FrameRecord*>& going) {
    if (!object || !object->animationSet || going.empty()) return;
    // One pass over the chain, however many frames go: a walk of it for each frame would grow
    // with the square of a long chain of limbs.
    AnimationRecord** link = &object->animationSet->animation;
    while (AnimationRecord* a = *link) {
        if (!a->frame || !going.count(a->frame)) {
            link = &a->next;
            continue;
        }
        *link = a->next;
        a->next = nullptr; // so that its teardown frees it alone
        delete a;
    }
}

bool RemoveFrame(ObjectRecord* object, FrameRecord* frame) {
    if (!object || !frame) return false;
    // Everything the removal needs is had before anything changes: a std::bad_alloc leaves the
    // object as it was.
    std::unordered_set<const FrameRecord*> going{frame};
    std::vector<MeshRecord*> meshes;
    auto gather = [&going, &meshes](FrameRecord* f) {
        going.insert(f);
        for (int slot = 0; slot < kFrameMeshSlots; ++slot)
            if (MeshRecord* mesh = f->MeshSlot(slot)) meshes.push_back(mesh);
    };
    gather(frame);
    WalkFrameTree(frame->child, gather);
    ObjectListRoom room;
    const auto listed = [](std::int32_t count) { return count < 0 ? -count : count; };
    if (!ReserveObjectLists(room, object, 0)) throw std::bad_alloc();
    for (MeshRecord* mesh : meshes)
        ForgetVertexDataLock(nullptr, mesh);
    // Bones of the remaining meshes that follow a frame about to go follow none from now on,
    // rather than freed memory.
    for (std::int32_t f = 0; object->frames && f < listed(object->frameCount); ++f) {
        FrameRecord* kept = object->frames[f];
        for (int slot = 0; kept && !going.count(kept) && slot < kFrameMeshSlots; ++slot) {
            MeshRecord* mesh = kept->MeshSlot(slot);
            for (std::int32_t b = 0; mesh && mesh->boneFrames && b < mesh->boneCount; ++b) {
                if (!mesh->boneFrames[b] || !going.count(mesh->boneFrames[b])) continue;
                mesh->boneFrames[b] = nullptr;
                if (mesh->boneMatrices) mesh->boneMatrices[b] = nullptr;
            }
        }
    }
    RemoveAnimationsOfFrames(object, going);
    DetachFrameFromTree(object, object->rootFrame, frame);
    // Its meshes leave the device buffers with it, all at once, and the object's lists forget
    // it: both would otherwise point at freed records from the next frame on.
    ObjectManager& manager = g_Object3D.manager;
    manager.RemoveMeshesFromBuffers(meshes);
    delete frame;
    BuildFrameAndMeshLists(object, room);
    manager.RefreshChangedMeshBuffers();
    manager.MarkListDirty();
    return true;
}

bool RemoveFrameMesh(FrameRecord* frame, MeshRecord* mesh) {
    if (!frame || !frame->mesh) return false;
    g_Object3D.manager.RemoveMeshFromBuffers(frame->mesh);
    ForgetVertexDataLock(nullptr, frame->mesh);
    delete std::exchange(frame->mesh, mesh);
    if (mesh) mesh->verticesChanged = 1;
    g_Object3D.manager.RefreshChangedMeshBuffers();
    return true;
}

bool CreateFrameShadow(FrameRecord* frame, std::int32_t shadowKind) {
    if (!frame || !frame->mesh) return false;
    return SetShadowShading(frame->mesh, &frame->shadowMesh, shadowKind);
}

bool UpdateFrameShadow(FrameRecord* frame, std::int32_t shadowArgument, std::int32_t lightIndex,
                       float x, float y, float z) {
    if (!frame || !frame->mesh || !frame->shadowMesh) return false;
    if (frame->shadowMesh->shadowRange != -1.0f) return true; // a static volume
    D3DXVECTOR3 light(x, y, z);
    float range = frame->shadowMesh->bounds.radius;
    // A volume built without bounds would not be pushed out at all: it takes the default length.
    if (!(range > 0)) range = -1.0f;
    D3DLIGHT9 source{};
    if (lightIndex != -1 && g_Object3D.device &&
        SUCCEEDED(g_Object3D.device->GetLight(static_cast<DWORD>(lightIndex), &source))) {
        light = D3DXVECTOR3(source.Position.x, source.Position.y, source.Position.z);
        range = source.Range;
    }
    // A skinned mesh is handled in world space.
    const D3DXMATRIX* matrix = frame->mesh->boneCount > 0 ? nullptr : &frame->combinedMatrix;
    UpdateShadowVolume(&light, range, frame->mesh, frame->shadowMesh, matrix, shadowArgument);
    return true;
}

bool CreateFrameBoundsBox(FrameRecord* frame) {
    if (!frame || !frame->mesh || frame->boundBoxMesh) return true;
    frame->boundBoxMesh = new (std::nothrow) MeshRecord;
    if (!frame->boundBoxMesh) return true;
    MakeBoundsBox(frame, 1);
    MarkWire(frame->boundBoxMesh);
    return true;
}

bool UpdateFrameBoundsBox(FrameRecord* frame) {
    if (!frame || !frame->mesh || !frame->boundBoxMesh) return true;
    MakeBoundsBox(frame, 0);
    frame->boundBoxMesh->verticesChanged = 1;
    return true;
}

bool CreateFrameBoundSphere(FrameRecord* frame) {
    if (!frame || !frame->mesh || frame->boundSphereMesh) return true;
    frame->boundSphereMesh = new (std::nothrow) MeshRecord;
    if (!frame->boundSphereMesh) return true;
    MakeBoundSphere(frame, 1);
    MarkWire(frame->boundSphereMesh);
    return true;
}

bool UpdateFrameBoundSphere(FrameRecord* frame) {
    if (!frame || !frame->mesh || !frame->boundSphereMesh) return true;
    MakeBoundSphere(frame, 0);
    frame->boundSphereMesh->verticesChanged = 1;
    return true;
}
