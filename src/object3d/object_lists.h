// An object's flat lists of frames and meshes, its empty shell, bone links and level of detail.
#pragma once

#include <cstdint>

struct ObjectRecord;
struct FrameRecord;
struct MeshRecord;

// A new object with a root frame named name (when it fits) carrying one empty mesh.
bool CreateObjectFromXMesh(ObjectRecord** object, const char* name);
// Counting and listing in pre-order: a frame, its child subtree, then its sibling subtree.
bool CountFrames(FrameRecord* frame, std::int32_t* count);
bool ListFrames(FrameRecord** list, FrameRecord* frame, std::int32_t* n);
bool CountMeshes(FrameRecord* frame, std::int32_t* count);
bool ListMeshes(MeshRecord** list, FrameRecord* frame, std::int32_t* n);
// The object's mesh and frame lists; limb numbers end up in the frames' index fields.
bool BuildFrameAndMeshLists(ObjectRecord* object);
// The lists, then every frame's user matrix, transformation and combined matrix.
bool SetupObjectLists(ObjectRecord* object);
// A frame and a matrix entry per bone, all null.
void AllocateMeshBoneArrays(MeshRecord* mesh);
bool AllocateBoneArrays(MeshRecord** meshes, std::int32_t count);
// Links each bone of the first meshCount meshes to the frame of its name.
bool MatchBonesToFrames(MeshRecord** meshes, FrameRecord* frame, std::int32_t meshCount);
// Level 0, 1 or 2 from the camera distance and the two detail distances.
void SelectObjectDetailLevel(ObjectRecord* object);
// The object's animated meshes brought to its current frame.
void UpdateObjectAnimationFrame(ObjectRecord* object);
