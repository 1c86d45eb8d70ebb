#include "core/win32.h"

#include "object3d/object3d.h"
#include "core/core.h"
#include "object3d/collision.h"
#include "object3d/mesh_convert.h"
#include "object3d/object_lists.h"
#include "object3d/object_state.h"
#include "object3d/object_world.h"
#include "object3d/positioning.h"
#include "object3d/vertex_data_commands.h"
#include "universe/universe.h"
#include "core/error_numbers.h"

#include <algorithm>
#include <new>
#include <utility>

namespace {

constexpr std::int32_t kObjectGrowth = 50;

// Clears the object's slot and takes its number out of the draw list.
void ForgetObject(std::int32_t n) {
    g_Object3D.objects[n] = nullptr;
    RemoveObjectFromDrawList(n);
}

} // namespace

bool ResizeObjectArrays(std::int32_t n) {
    Object3DState& s = g_Object3D;
    if (n < 0 || n > kLargestItemNumber) return false;
    std::int32_t capacity = s.objectCapacity + kObjectGrowth;
    if (capacity <= n) capacity = n + 5;
    auto* objects = new (std::nothrow) ObjectRecord*[capacity]();
    auto* used = new (std::nothrow) std::int32_t[capacity]();
    if (!objects || !used) {
        delete[] objects;
        delete[] used;
        RaiseRuntimeError(kObjectTablesFailed);
        return false;
    }
    if (s.objects) std::copy_n(s.objects, s.objectCapacity, objects);
    if (s.usedNumbers) std::copy_n(s.usedNumbers, s.usedCount, used);
    delete[] std::exchange(s.objects, objects);
    delete[] std::exchange(s.usedNumbers, used);
    s.objectCapacity = capacity;
    return true;
}

bool ResizeMeshArray(std::int32_t n) {
    Object3DState& s = g_Object3D;
    if (n < 0 || n > kLargestItemNumber) return false;
    if (s.meshes && s.meshCapacity > n) return true;
    const std::int32_t capacity = n + 5;
    auto* meshes = new (std::nothrow) MeshRecord*[capacity]();
    if (!meshes) {
        RaiseRuntimeError(kObjectTablesFailed);
        return false;
    }
    if (s.meshes) std::copy_n(s.meshes, s.meshCapacity, meshes);
    delete[] std::exchange(s.meshes, meshes);
    s.meshCapacity = capacity;
    return true;
}

bool AddObjectToDrawList(std::int32_t n) {
    Object3DState& s = g_Object3D;
    if (!s.usedNumbers) return false;
    if (std::find(s.usedNumbers, s.usedNumbers + s.usedCount, n) != s.usedNumbers + s.usedCount)
        return true;
    // The manager's lists take the object before it is listed: a listed object always has room.
    if (!s.manager.ReserveLists(s.usedCount + 1)) {
        RaiseRuntimeError(kObjectTablesFailed);
        return false;
    }
    s.usedNumbers[s.usedCount++] = n;
    return true;
}

void RemoveObjectFromDrawList(std::int32_t n) {
    Object3DState& s = g_Object3D;
    std::int32_t* end = s.usedNumbers + s.usedCount;
    std::int32_t* at = s.usedNumbers ? std::find(s.usedNumbers, end, n) : end;
    if (at == end) return;
    std::copy(at + 1, end, at);
    --s.usedCount;
    s.manager.MarkListDirty();
}

bool CreateNewObject(std::int32_t n, const char* source) {
    Object3DState& s = g_Object3D;
    if (!ConfirmNewObject(n)) return false;
    // An instance under this number would be lost with its slot.
    if (IsInstance(ObjectAt(n))) DeleteObject(n);
    if (n >= s.objectCapacity && !ResizeObjectArrays(n)) return false;
    if (!CreateObjectFromXMesh(&s.objects[n], source)) return false;
    if (AddObjectToDrawList(n)) return true;
    DiscardObject(n);
    return false;
}

bool CreateNewObjectWithLimbs(std::int32_t n, const char* source, std::int32_t limbs) {
    if (!CreateNewObject(n, source)) return false;
    FrameRecord* parent = g_Object3D.objects[n]->rootFrame;
    for (std::int32_t i = 1; i < limbs; ++i) {
        auto* frame = new (std::nothrow) FrameRecord;
        if (!frame) return false;
        frame->mesh = new (std::nothrow) MeshRecord;
        frame->parent = parent;
        parent->child = frame;
        parent = frame;
        if (!frame->mesh) return false;
    }
    return true;
}

bool SetupNewObject(std::int32_t n, float range) {
    Object3DState& s = g_Object3D;
    ObjectRecord* object = ObjectAt(n);
    if (!object) return false;
    SetupObjectLists(object);
    if (object->frameCount <= 0) {
        RaiseRuntimeError(kObjectNotLoaded);
        delete object;
        ForgetObject(n);
        return false;
    }
    AnimationSetRecord* set = object->animationSet;
    // Baked per-vertex matrices move the vertices themselves; every other mesh follows its bones.
    if ((!set || !set->animation || set->animation->keyed) && object->meshCount > 0) {
        AllocateBoneArrays(object->meshes, object->meshCount);
        MatchBonesToFrames(object->meshes, object->rootFrame, object->meshCount);
    }
    if (set && !set->animation) delete std::exchange(object->animationSet, nullptr);
    LinkAnimationsToFrames(object);
    for (std::int32_t i = 0; object->meshes && i < object->meshCount; ++i)
        BackupMeshVertices(object->meshes[i]);
    for (std::int32_t f = 0; f < object->frameCount; ++f)
        object->frames[f]->computed = 0;
    object->frameChanged = 1;
    // Playing runs through the whole animation unless a range is given.
    if (object->animationSet)
        object->totalFrames = object->endFrame = static_cast<float>(object->animationSet->length);
    if (!CalculateObjectBounds(object)) return false;
    PositionObject(n, 0, 0, 0);
    ScaleObject(n, 100, 100, 100);
    RotateObject(n, 0, 0, 0);
    SetCollisionToBoxes(object);
    if (range == -1.0f) range = object->collision.radius;
    if (s.cameras.autoFocus) s.cameras.autoFocus(0, 0, 0, range);
    object->ownBuffers = s.newObjectOwnBuffers;
    s.manager.MarkObjectChanged(object);
    return true;
}

void DiscardObject(std::int32_t n) {
    ObjectRecord* object = ObjectAt(n);
    if (!object || DeleteObject(n)) return;
    // A record the make left without frames: nothing of it was placed or drawn.
    g_Object3D.manager.RemoveObject(object);
    ForgetVertexDataLock(object, nullptr);
    DeleteObjectRecord(&g_Object3D.objects[n]);
    ForgetObject(n);
}

bool DeleteObject(std::int32_t n) {
    Object3DState& s = g_Object3D;
    if (n < 1 || n > kLargestItemNumber) return false;
    ObjectRecord* object = ObjectAt(n);
    if (!HasData(object) && !IsInstance(object)) return false;
    if (IsInstance(object)) {
        delete[] std::exchange(object->instanceData, nullptr);
    } else {
        s.manager.RemoveObject(object);
        // Instances draw this object's frames: they go first. The list closes up after each
        // deletion, so the same place is looked at again.
        for (std::int32_t i = 0; i < s.usedCount;) {
            const ObjectRecord* other = ObjectAt(s.usedNumbers[i]);
            if (!other || other->instanceSource != object || !DeleteObject(s.usedNumbers[i])) ++i;
        }
    }
    if (s.universe) s.universe->RemoveStaticObject(object);
    s.manager.DeleteObjectShadow(object);
    ForgetVertexDataLock(object, nullptr);
    if (!DeleteObjectRecord(&s.objects[n])) return false;
    ForgetObject(n);
    return true;
}
