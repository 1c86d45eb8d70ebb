// The frame (limb) tree of an object: per-frame transformations and the matrices derived down the
// tree, world data on demand, linking, unlinking, adding and removing frames (with their
// animations), and the meshes hung on a frame (shadow volume, bound box and sphere).
#pragma once

#include "core/win32.h"

#include <cstdint>
#include <unordered_set>

struct AnimationRecord;
struct FrameRecord;
struct MeshRecord;
struct ObjectRecord;

// combined = transformation x parent, for the frame, its descendants and its following siblings;
// false when either argument is null.
bool UpdateFrameMatrices(FrameRecord* frame, const D3DXMATRIX* parent);
// transformation = user matrix x local matrix for the frame, its following siblings and all their
// descendants; clears their world-data flags.
void RebuildFrameTransforms(FrameRecord* frame);
// The frame's world matrix, position and angles, unless they are current.
void CalculateFrameWorldData(ObjectRecord* object, FrameRecord* frame);
// The user matrix from the frame's offset, rotation and scale.
void BuildFrameUserMatrix(FrameRecord* frame);
void SetFrameOffset(FrameRecord* frame, float x, float y, float z);
void SetFrameRotation(FrameRecord* frame, float x, float y, float z);
void SetFrameScale(FrameRecord* frame, float x, float y, float z);

// Links and unlinks.
void AddChildFrame(FrameRecord* parent, FrameRecord* frame);
void UnlinkFrame(FrameRecord* previous, FrameRecord*& head, FrameRecord* frame);
// false once it found and unlinked the frame; true when the frame is not in this part of the tree.
bool DetachFrameFromTree(ObjectRecord* object, FrameRecord*& head, FrameRecord* frame);
// The frame moved under a new parent; false, changing nothing, when the parent lies in the frame's
// own subtree or the frame is not in the object's tree.
bool ReparentFrame(ObjectRecord* object, FrameRecord* frame, FrameRecord* parent);
// A new top-level frame, last of the list, carrying the mesh, with an animation record; false,
// nothing changed and the mesh still the caller's, when the records cannot be had.
bool AddFrameWithMesh(ObjectRecord* object, MeshRecord* mesh, const char* name);
bool AddAnimationForFrame(ObjectRecord* object, FrameRecord* frame);
// false once it removed the frame's animation; true when none matched.
bool RemoveAnimationOfFrame(ObjectRecord* object, AnimationRecord*& head, FrameRecord* frame);
bool RemoveFrameAnimation(ObjectRecord* object, FrameRecord* frame);
// The animations of the frame, its following siblings and all their descendants.
bool RemoveFrameTreeAnimations(ObjectRecord* object, FrameRecord* frame);
// Every animation of the object that drives one of the frames, in one pass over the chain.
void RemoveAnimationsOfFrames(ObjectRecord* object,
                              const std::unordered_set<const FrameRecord*>& going);
// Removes the frame with its descendants, their meshes and their animations; the object's lists
// are built again, and bones of other meshes that followed them follow none. Out of memory it
// throws std::bad_alloc before anything changes.
bool RemoveFrame(ObjectRecord* object, FrameRecord* frame);
// The frame's mesh replaced by a new one; false, changing nothing, without a mesh.
bool RemoveFrameMesh(FrameRecord* frame, MeshRecord* mesh);

// The meshes hung on a frame.
bool CreateFrameShadow(FrameRecord* frame, std::int32_t shadowKind);
// Rebuilds the frame's shadow volume for a light; false without a mesh or a shadow mesh.
bool UpdateFrameShadow(FrameRecord* frame, std::int32_t shadowArgument, std::int32_t lightIndex,
                       float x, float y, float z);
bool CreateFrameBoundsBox(FrameRecord* frame);
bool UpdateFrameBoundsBox(FrameRecord* frame);
bool CreateFrameBoundSphere(FrameRecord* frame);
bool UpdateFrameBoundSphere(FrameRecord* frame);
