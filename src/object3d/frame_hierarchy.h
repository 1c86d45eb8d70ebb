// The frame (limb) tree of an object: per-frame transformations and the matrices derived down
// the tree.
#pragma once

#include "core/win32.h"

#include <cstdint>

struct FrameRecord;
struct ObjectRecord;

// combined = transformation x parent, for the frame, its descendants and its following siblings;
// false when either argument is null.
bool UpdateFrameMatrices(FrameRecord* frame, const D3DXMATRIX* parent);
// transformation = user matrix x local matrix for the frame, its following siblings and all their
// descendants; clears their world-data flags.
void RebuildFrameTransforms(FrameRecord* frame);
// The user matrix from the frame's offset, rotation and scale.
void BuildFrameUserMatrix(FrameRecord* frame);
// Rebuilds the frame's shadow volume for a light; false without a mesh or a shadow mesh.
bool UpdateFrameShadow(FrameRecord* frame, std::int32_t shadowArgument, std::int32_t lightIndex,
                       float x, float y, float z);
