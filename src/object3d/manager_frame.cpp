#include "core/win32.h"

#include "object3d/object_manager.h"
#include "display/display.h"
#include "object3d/frame_hierarchy.h"
#include "object3d/frustum.h"
#include "object3d/keyframes.h"
#include "object3d/object_lists.h"
#include "object3d/object_records.h"
#include "object3d/object_state.h"
#include "object3d/object_world.h"

#include <algorithm>
#include <new>
#include <utility>

namespace {

constexpr std::int32_t kSortBufferStart = 256;

// The image number an object is sorted by: its (source's) first mesh's first texture slot.
std::int32_t SortKey(const ObjectRecord* object) {
    const ObjectRecord* source = object->instanceSource ? object->instanceSource : object;
    if (!source->meshes || source->meshCount <= 0 || !source->meshes[0]) return 0;
    const MeshRecord* mesh = source->meshes[0];
    return mesh->textures && mesh->textureCount > 0 ? mesh->textures[0].imageNumber : 0;
}

// Clears a glue to an object that is gone; true when the object is glued to one that exists.
bool KeepLiveGlue(ObjectRecord* object) {
    ObjectPosition& p = object->position;
    if (!p.glued) return false;
    const ObjectRecord* target = ObjectAt(p.glueObject);
    if (HasData(target) || IsInstance(target)) return true;
    p.glued = 0;
    p.glueObject = 0;
    p.glueLimb = 0;
    return false;
}

// Whether the object's bounding sphere can be seen; objects without a culling radius always can.
bool InView(ObjectRecord* object) {
    const ObjectRecord* source = object->instanceSource ? object->instanceSource : object;
    const float radius = source->collision.cullingRadius;
    if (radius <= 0) return true;
    UpdateObjectCentre(object);
    D3DXVECTOR3 centre = object->collision.centreOffset + object->position.position;
    if (source->frames && source->frameCount > 0 && source->frames[0]) {
        const D3DXMATRIX& user = source->frames[0]->userMatrix;
        centre += D3DXVECTOR3(user._41, user._42, user._43);
    }
    return object->noCulling == 1 || CheckSphereInFrustum(centre.x, centre.y, centre.z, radius);
}

} // namespace

ObjectManager::ObjectManager()
    : mirrorSavedView(kIdentityMatrix), currentWorld(kIdentityMatrix), savedView(kIdentityMatrix) {
    sortBuffer.assign(kSortBufferStart, nullptr);
}

ObjectManager::~ObjectManager() {
    Free();
}

void ObjectManager::Construct() {
    // A manager made anew in its own place: every field back to its initial value.
    this->~ObjectManager();
    new (this) ObjectManager();
}

void ObjectManager::Free() {
    if (quadBuffer) std::exchange(quadBuffer, nullptr)->Release();
    ReleaseBufferChains();
    sortKeys = {};
    sortedList = {};
    visibleList = {};
    sortBuffer = {};
    listCapacity = sortedCount = visibleCount = lastObjectCount = 0;
}

bool ObjectManager::ReserveLists(std::int32_t count) {
    if (count < listCapacity) return true;
    // Grown by half again at least, so that making objects one by one does not copy the lists
    // each time.
    const std::int32_t capacity = std::max(count, listCapacity + listCapacity / 2);
    // Made whole before the old lists go: a refusal leaves them as they were.
    std::vector<std::int32_t> keys;
    std::vector<ObjectRecord*> sorted, visible;
    try {
        keys.assign(capacity, 0);
        sorted.assign(capacity, nullptr);
        visible.assign(capacity, nullptr);
    } catch (const std::bad_alloc&) {
        return false;
    }
    sortKeys.swap(keys);
    sortedList.swap(sorted);
    visibleList.swap(visible);
    listCapacity = capacity;
    sortedCount = visibleCount = 0;
    listDirty = 1;
    return true;
}

void ObjectManager::BuildDrawLists() {
    const Object3DState& s = g_Object3D;
    if (s.usedCount == lastObjectCount && !listDirty) return;
    sortedCount = visibleCount = 0;
    if (!ReserveLists(s.usedCount)) return;
    // Grouped by texture, ascending; objects of one texture keep their creation order. Without
    // memory for the sort nothing is drawn this frame: the old lists may hold deleted objects.
    std::vector<std::pair<std::int32_t, ObjectRecord*>> keyed;
    try {
        keyed.reserve(s.usedCount);
    } catch (const std::bad_alloc&) {
        return;
    }
    for (std::int32_t i = 0; i < s.usedCount; ++i)
        if (ObjectRecord* object = ObjectAt(s.usedNumbers[i]))
            keyed.emplace_back(SortKey(object), object);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [key, object] : keyed) {
        sortKeys[sortedCount] = key;
        sortedList[sortedCount++] = object;
    }
    lastObjectCount = s.usedCount;
    listDirty = 0;
}

void ObjectManager::CollectVisibleObjects() {
    visibleCount = 0;
    for (std::int32_t i = 0; i < sortedCount; ++i) {
        ObjectRecord* object = sortedList[i];
        if (object->hidden) continue;
        if (object->noDepth) {
            KeepLiveGlue(object);
        } else if (!object->position.glued) {
            if (!InView(object)) continue;
        } else {
            KeepLiveGlue(object);
        }
        visibleList[visibleCount++] = object;
    }
}

void ObjectManager::UpdateObjects() {
    const Object3DState& s = g_Object3D;
    for (std::int32_t i = 0; i < s.usedCount; ++i) {
        ObjectRecord* o = ObjectAt(s.usedNumbers[i]);
        if (!o) continue;
        if (o->animationPlaying) {
            o->currentFrame += o->speed;
            if (o->currentFrame >= o->endFrame) {
                if (o->animationLooping)
                    o->currentFrame = o->startFrame;
                else
                    o->animationPlaying = 0;
            }
            if (o->speed < 0 && o->currentFrame < o->startFrame) {
                if (o->animationLooping)
                    o->currentFrame = o->endFrame;
                else
                    o->animationPlaying = 0;
            }
        } else if (o->blending) {
            o->blendProgress += o->blendStep;
            if (o->blendProgress >= 1.0f) {
                o->blending = 0;
                o->currentFrame = o->blendTarget;
            }
        }
        AnimationSetRecord* set = o->animationSet;
        if (!set || set->frameCount <= 0 || !set->boundsMinimum || o->collision.frozenBounds[0] ||
            o->collision.frozenBounds[1])
            continue;
        // A frame outside the animation takes the nearest end's bounds.
        const std::int32_t k = ClampedFrameIndex(o->currentFrame, set->frameCount);
        CollisionBlock& c = o->collision;
        c.minimum = set->boundsMinimum[k];
        c.maximum = set->boundsMaximum[k];
        c.centre = set->boundsCentre[k];
        c.radius = set->boundsRadius[k];
        if (o->meshes && o->meshCount > 0 && o->meshes[0]) {
            CollisionBlock& m = o->meshes[0]->bounds;
            m.minimum = c.minimum, m.maximum = c.maximum, m.centre = c.centre, m.radius = c.radius;
        }
    }
}

void ObjectManager::UpdateAnimations() {
    for (std::int32_t i = 0; i < visibleCount; ++i) {
        ObjectRecord* object = visibleList[i];
        if (!object->visible || !object->universeVisible) continue;
        AnimateObject(object, object->currentFrame);
        if (!object->position.framesLocked)
            UpdateFrameMatrices(object->rootFrame, &kIdentityMatrix);
        ObjectRecord* owner = object->instanceSource ? object->instanceSource : object;
        SelectObjectDetailLevel(owner);
        UpdateObjectAnimationFrame(owner);
    }
}

void ObjectManager::PrepareFrame() {
    if (!g_Object3D.device) return;
    if (!statesReset) ResetRenderStates();
    ResetStateCache();
    ApplyChanges();
    // The frame's preparation runs in every camera pass and sub-pass; animations advance once a
    // frame however many cameras draw it.
    const std::uint32_t scene = GetDisplaySceneCount();
    if (!animatedScene || scene != lastAnimatedScene) {
        UpdateObjects();
        lastAnimatedScene = scene;
        animatedScene = true;
    }
    BuildViewFrustum(0.0f);
    BuildDrawLists();
    CollectVisibleObjects();
    UpdateAnimations();
    RefreshUpdatedMeshes();
}
