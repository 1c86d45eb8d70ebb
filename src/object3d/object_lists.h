// An object's flat lists of frames and meshes, its empty shell, bone links and level of detail.
#pragma once

#include <cstdint>
#include <memory>

struct AnimationRecord;
struct ObjectRecord;
struct FrameRecord;
struct MeshRecord;
struct PositionKey;

// A new object with a root frame named name (when it fits) carrying one empty mesh.
bool CreateObjectFromXMesh(ObjectRecord** object, const char* name);
// Counting and listing in pre-order: a frame, its child subtree, then its sibling subtree.
bool CountFrames(FrameRecord* frame, std::int32_t* count);
bool ListFrames(FrameRecord** list, FrameRecord* frame, std::int32_t* n);
bool CountMeshes(FrameRecord* frame, std::int32_t* count);
bool ListMeshes(MeshRecord** list, FrameRecord* frame, std::int32_t* n);
// The object's mesh and frame lists; limb numbers end up in the frames' index fields.
bool BuildFrameAndMeshLists(ObjectRecord* object);
// Room for the lists, had before a change to the object's tree so that the lists can follow the
// change without memory.
struct ObjectListRoom {
    std::unique_ptr<FrameRecord*[]> frames;
    std::unique_ptr<MeshRecord*[]> meshes;
    std::int32_t frameRoom = 0, meshRoom = 0;
};
// Room for the frames and meshes of the object's tree and `more` of each; false when it cannot
// be had.
bool ReserveObjectLists(ObjectListRoom& room, ObjectRecord* object, std::int32_t more);
// The lists built in the room and swapped in; false, the lists as they were, when the tree holds
// more than the room.
bool BuildFrameAndMeshLists(ObjectRecord* object, ObjectListRoom& room);
// The lists, then every frame's user matrix, transformation and combined matrix.
bool SetupObjectLists(ObjectRecord* object);
// The first frame of that exact name, in list order from frame; the start frame for a null name.
FrameRecord* FindFrameByName(const char* name, FrameRecord* frame);
// The object's animation of that name, compared without regard to case.
AnimationRecord* FindAnimationByName(ObjectRecord* object, const char* name);

// Keys sorted by time, position and scale keys with their change per frame; true.
bool PrepareAnimationKeys(AnimationRecord* animation);
// Each false when the animation has no keys of its kind.
bool PreparePositionKeys(AnimationRecord* animation);
bool PrepareRotationKeys(AnimationRecord* animation);
bool PrepareScaleKeys(AnimationRecord* animation);
// The change per frame of every key but the last towards the next (two keys at one time: over 1).
void UpdateVectorKeyDeltas(PositionKey* keys, std::uint32_t count);
// A copy of source's keys under a new name, appended to the end of source's chain; null when it
// cannot be made.
AnimationRecord* CopyAnimation(AnimationRecord* source, const char* name);
// The same copy, linked to nothing.
AnimationRecord* DuplicateAnimation(const AnimationRecord* source, const char* name);
// Every animation of the set bound to the frame of its name, its keys prepared.
void LinkAnimationsToFrames(ObjectRecord* object);

// A frame and a matrix entry per bone, all null.
void AllocateMeshBoneArrays(MeshRecord* mesh);
bool AllocateBoneArrays(MeshRecord** meshes, std::int32_t count);
// Links each bone of the first meshCount meshes to the frame of its name.
bool MatchBonesToFrames(MeshRecord** meshes, FrameRecord* frame, std::int32_t meshCount);
bool LinkMeshBonesToFrames(MeshRecord* mesh, FrameRecord* frame);
// Level 0, 1 or 2 from the camera distance and the two detail distances.
void SelectObjectDetailLevel(ObjectRecord* object);
// The object's animated meshes brought to its current frame.
void UpdateObjectAnimationFrame(ObjectRecord* object);
