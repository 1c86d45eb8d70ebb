#include "core/win32.h"

#include "object3d/object_lists.h"
#include "object3d/frame_hierarchy.h"
#include "object3d/object_records.h"
#include "object3d/skinning.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

// One list of the object: kept when its count is negative (already built), else rebuilt.
template <typename T, typename Count, typename List>
bool RebuildList(std::int32_t& count, T**& list, FrameRecord* root, Count countFn, List listFn) {
    if (count < 0) {
        count = -count;
        return true;
    }
    countFn(root, &count);
    delete[] std::exchange(list, nullptr);
    list = new (std::nothrow) T*[count > 0 ? count : 1]();
    if (!list) {
        count = 0;
        return false;
    }
    count = 0;
    listFn(list, root, &count);
    return true;
}

// A record's name up to its first zero or the end of its field.
std::string_view NameOf(const char* name) {
    return std::string_view(name, strnlen(name, kRecordNameLength));
}

// Ascending by time. A stable sort: keys at one time keep their order, and a long track sorts in
// n log n rather than in the square of its length.
template <typename Key> void SortKeys(Key* keys, std::uint32_t count) {
    std::stable_sort(keys, keys + count,
                     [](const Key& a, const Key& b) { return a.time < b.time; });
}

// A fresh array holding count keys of source; the counts stay 0 when there are none.
template <typename Key>
bool CopyKeys(Key*& keys, std::uint32_t& count, const Key* source, std::uint32_t sourceCount) {
    if (!source || sourceCount == 0) return true;
    keys = new (std::nothrow) Key[sourceCount];
    if (!keys) return false;
    std::memcpy(keys, source, sourceCount * sizeof(Key));
    count = sourceCount;
    return true;
}

} // namespace

bool CreateObjectFromXMesh(ObjectRecord** object, const char* name) {
    if (!object) return false;
    auto* record = new (std::nothrow) ObjectRecord;
    auto* frame = new (std::nothrow) FrameRecord;
    auto* mesh = new (std::nothrow) MeshRecord;
    if (!record || !frame || !mesh) {
        delete record;
        delete frame;
        delete mesh;
        return false;
    }
    if (name && std::strlen(name) < kRecordNameLength) std::strcpy(frame->name, name);
    frame->mesh = mesh;
    record->rootFrame = frame;
    *object = record;
    return true;
}

bool CountFrames(FrameRecord* frame, std::int32_t* count) {
    if (!frame || !count) return false;
    WalkFrameTree(frame, [count](FrameRecord*) { ++*count; });
    return true;
}

bool ListFrames(FrameRecord** list, FrameRecord* frame, std::int32_t* n) {
    if (!list || !frame || !n) return false;
    WalkFrameTree(frame, [list, n](FrameRecord* f) {
        f->index = *n;
        list[(*n)++] = f;
    });
    return true;
}

bool CountMeshes(FrameRecord* frame, std::int32_t* count) {
    if (!frame || !count) return false;
    WalkFrameTree(frame, [count](FrameRecord* f) {
        if (f->mesh) ++*count;
    });
    return true;
}

bool ListMeshes(MeshRecord** list, FrameRecord* frame, std::int32_t* n) {
    if (!list || !frame || !n) return false;
    WalkFrameTree(frame, [list, n](FrameRecord* f) {
        if (!f->mesh) return;
        f->index = *n;
        list[(*n)++] = f->mesh;
    });
    return true;
}

bool BuildFrameAndMeshLists(ObjectRecord* object) {
    if (!object) return false;
    if (!RebuildList(object->meshCount, object->meshes, object->rootFrame, CountMeshes,
                     ListMeshes) ||
        !RebuildList(object->frameCount, object->frames, object->rootFrame, CountFrames,
                     ListFrames))
        return false;
    if (object->meshCount != 0) {
        object->noMesh = 0;
    } else {
        delete[] std::exchange(object->meshes, nullptr);
        object->noMesh = 1;
    }
    return true;
}

bool ReserveObjectLists(ObjectListRoom& room, ObjectRecord* object, std::int32_t more) {
    std::int32_t frames = more, meshes = more;
    if (object && object->rootFrame) {
        CountFrames(object->rootFrame, &frames);
        CountMeshes(object->rootFrame, &meshes);
    }
    frames = std::max(frames, 1);
    meshes = std::max(meshes, 1);
    room.frames.reset(new (std::nothrow) FrameRecord*[frames]());
    room.meshes.reset(new (std::nothrow) MeshRecord*[meshes]());
    room.frameRoom = room.frames ? frames : 0;
    room.meshRoom = room.meshes ? meshes : 0;
    return room.frames && room.meshes;
}

bool BuildFrameAndMeshLists(ObjectRecord* object, ObjectListRoom& room) {
    if (!object || !room.frames || !room.meshes) return false;
    std::int32_t frames = 0, meshes = 0;
    if (object->rootFrame) {
        CountFrames(object->rootFrame, &frames);
        CountMeshes(object->rootFrame, &meshes);
    }
    if (frames > room.frameRoom || meshes > room.meshRoom) return false;
    frames = meshes = 0;
    if (object->rootFrame) {
        // As the lists are built one by one: the frame's index ends as its limb number.
        ListMeshes(room.meshes.get(), object->rootFrame, &meshes);
        ListFrames(room.frames.get(), object->rootFrame, &frames);
    }
    delete[] std::exchange(object->frames, room.frames.release());
    delete[] std::exchange(object->meshes, room.meshes.release());
    object->frameCount = frames;
    object->meshCount = meshes;
    object->noMesh = meshes == 0 ? 1 : 0;
    if (meshes == 0) delete[] std::exchange(object->meshes, nullptr);
    return true;
}

bool SetupObjectLists(ObjectRecord* object) {
    if (!object || !object->rootFrame) return false;
    if (!BuildFrameAndMeshLists(object)) return false;
    for (std::int32_t i = 0; i < object->frameCount; ++i)
        BuildFrameUserMatrix(object->frames[i]);
    RebuildFrameTransforms(object->rootFrame);
    UpdateFrameMatrices(object->rootFrame, &kIdentityMatrix);
    return true;
}

void AllocateMeshBoneArrays(MeshRecord* mesh) {
    if (!mesh) return;
    delete[] std::exchange(mesh->boneFrames, nullptr);
    delete[] std::exchange(mesh->boneMatrices, nullptr);
    if (mesh->boneCount <= 0) return;
    mesh->boneFrames = new (std::nothrow) FrameRecord*[mesh->boneCount]();
    mesh->boneMatrices = new (std::nothrow) D3DXMATRIX*[mesh->boneCount]();
}

bool AllocateBoneArrays(MeshRecord** meshes, std::int32_t count) {
    if (!meshes) return false;
    for (std::int32_t i = 0; i < count; ++i)
        if (meshes[i] && meshes[i]->boneCount > 0) AllocateMeshBoneArrays(meshes[i]);
    return true;
}

bool MatchBonesToFrames(MeshRecord** meshes, FrameRecord* frame, std::int32_t meshCount) {
    if (!meshes || !frame) return false;
    // Meshes without bones need no map of the tree: a mesh linked alone (a level-of-detail
    // copy, one of thousands) then costs nothing per frame of the object.
    const bool anyBones = std::any_of(meshes, meshes + std::max(meshCount, 0), [](MeshRecord* m) {
        return m && m->boneCount > 0 && m->bones && m->boneFrames && m->boneMatrices;
    });
    if (!anyBones) return true;
    // Through a map of names: a walk of every frame for every mesh grows with the square of a
    // model's size. As that walk did, the last frame of a name in the tree's order is the one a
    // bone follows, and only the first bone of a name in each mesh follows it.
    std::unordered_map<std::string_view, FrameRecord*> frames;
    WalkFrameTree(frame, [&](FrameRecord* f) { frames[NameOf(f->name)] = f; });
    std::unordered_set<std::string_view> seen;
    for (std::int32_t m = 0; m < meshCount; ++m) {
        MeshRecord* mesh = meshes[m];
        if (!mesh || mesh->boneCount <= 0 || !mesh->bones || !mesh->boneFrames ||
            !mesh->boneMatrices)
            continue;
        seen.clear();
        for (std::int32_t b = 0; b < mesh->boneCount; ++b) {
            const std::string_view name = NameOf(mesh->bones[b].name);
            if (!seen.insert(name).second) continue;
            const auto found = frames.find(name);
            if (found == frames.end()) continue;
            mesh->boneFrames[b] = found->second;
            mesh->boneMatrices[b] = &found->second->combinedMatrix;
        }
    }
    return true;
}

bool LinkMeshBonesToFrames(MeshRecord* mesh, FrameRecord* frame) {
    MatchBonesToFrames(&mesh, frame, 1);
    return true;
}

FrameRecord* FindFrameByName(const char* name, FrameRecord* frame) {
    if (!name) return frame;
    return FindFrame(frame, [name](const FrameRecord* f) {
        return std::strncmp(f->name, name, kRecordNameLength) == 0;
    });
}

AnimationRecord* FindAnimationByName(ObjectRecord* object, const char* name) {
    if (!object || !object->animationSet || !name) return nullptr;
    for (AnimationRecord* a = object->animationSet->animation; a; a = a->next)
        if (_strnicmp(a->name, name, kRecordNameLength) == 0) return a;
    return nullptr;
}

void UpdateVectorKeyDeltas(PositionKey* keys, std::uint32_t count) {
    for (std::uint32_t i = 0; keys && i + 1 < count; ++i) {
        const std::uint32_t span = keys[i + 1].time - keys[i].time;
        keys[i].delta = (keys[i + 1].value - keys[i].value) / static_cast<float>(span ? span : 1);
    }
}

bool PreparePositionKeys(AnimationRecord* animation) {
    if (!animation || !animation->positionKeys) return false;
    SortKeys(animation->positionKeys, animation->positionKeyCount);
    UpdateVectorKeyDeltas(animation->positionKeys, animation->positionKeyCount);
    return true;
}

bool PrepareRotationKeys(AnimationRecord* animation) {
    if (!animation || !animation->rotationKeys) return false;
    SortKeys(animation->rotationKeys, animation->rotationKeyCount);
    return true;
}

bool PrepareScaleKeys(AnimationRecord* animation) {
    if (!animation || !animation->scaleKeys) return false;
    SortKeys(animation->scaleKeys, animation->scaleKeyCount);
    UpdateVectorKeyDeltas(animation->scaleKeys, animation->scaleKeyCount);
    return true;
}

bool PrepareAnimationKeys(AnimationRecord* animation) {
    PreparePositionKeys(animation);
    PrepareRotationKeys(animation);
    PrepareScaleKeys(animation);
    return true;
}

AnimationRecord* CopyAnimation(AnimationRecord* source, const char* name) {
    AnimationRecord* copy = DuplicateAnimation(source, name);
    if (!copy) return nullptr;
    AnimationRecord* last = source;
    while (last->next)
        last = last->next;
    last->next = copy;
    return copy;
}

AnimationRecord* DuplicateAnimation(const AnimationRecord* source, const char* name) {
    if (!source) return nullptr;
    auto* copy = new (std::nothrow) AnimationRecord;
    if (!copy) return nullptr;
    if (name) std::strncpy(copy->name, name, kRecordNameLength - 1);
    copy->interpolation = source->interpolation;
    copy->linear = source->linear;
    if (!CopyKeys(copy->positionKeys, copy->positionKeyCount, source->positionKeys,
                  source->positionKeyCount) ||
        !CopyKeys(copy->rotationKeys, copy->rotationKeyCount, source->rotationKeys,
                  source->rotationKeyCount) ||
        !CopyKeys(copy->scaleKeys, copy->scaleKeyCount, source->scaleKeys, source->scaleKeyCount) ||
        !CopyKeys(copy->matrixKeys, copy->matrixKeyCount, source->matrixKeys,
                  source->matrixKeyCount)) {
        delete copy;
        return nullptr;
    }
    return copy;
}

void LinkAnimationsToFrames(ObjectRecord* object) {
    if (!object || !object->animationSet) return;
    // Through a map of names, holding the first frame of each in the tree's order, as
    // FindFrameByName gives it: a walk of the tree for each animation grows with the square.
    std::unordered_map<std::string_view, FrameRecord*> frames;
    WalkFrameTree(object->rootFrame, [&](FrameRecord* f) { frames.emplace(NameOf(f->name), f); });
    for (AnimationRecord* a = object->animationSet->animation; a; a = a->next) {
        const auto found = frames.find(NameOf(a->name));
        a->frame = found == frames.end() ? nullptr : found->second;
        PrepareAnimationKeys(a);
    }
}

void SelectObjectDetailLevel(ObjectRecord* object) {
    if (!object) return;
    const float d = object->position.distance;
    const float level1 = object->detailDistances[0], level2 = object->detailDistances[1];
    if (d < level1 || level1 == 0)
        object->detailLevel = 0;
    else if (d < level2 || level2 == 0)
        object->detailLevel = 1;
    else
        object->detailLevel = 2;
}

void UpdateObjectAnimationFrame(ObjectRecord* object) {
    if (!object || !object->frames) return;
    AnimationSetRecord* set = object->animationSet;
    if (set && set->animation && set->animation->keyed == 0) {
        if (object->frameCount > 0) UpdateFrameMesh(object, object->frames[0]);
    } else if (set) {
        for (std::int32_t i = 0; i < object->frameCount; ++i) {
            FrameRecord* f = object->frames[i];
            MeshRecord* mesh =
                object->detailLevel == 0 ? f->mesh : f->detailMeshes[object->detailLevel - 1];
            if (!mesh) continue;
            if (object->speed > 0 || object->forceVertexUpdate) {
                UpdateFrameMeshVertices(object, f, mesh);
                object->forceVertexUpdate = 0;
            }
            UpdateFrameBoundsBox(f);
            UpdateFrameBoundSphere(f);
        }
    } else if (object->frameCount > 0 && (object->animating || object->forceVertexUpdate)) {
        for (std::int32_t i = 0; i < object->frameCount; ++i)
            UpdateFrameMesh(object, object->frames[i]);
    }
    object->lastUpdatedFrame = object->currentFrame;
    object->blendTimes[0] = object->blendTimes[1];
}
