// Keyframe animation: sampling an object's animation keys into its frames' transformations, at
// one time or as a blend of two, and appending the animation of another object file.
#pragma once

#include "core/win32.h"

#include <cstdint>

struct AnimationRecord;
struct ObjectRecord;

// Rebuilds the frame transformations and samples every animation of the set at time (or at the
// object's two blend times when its blend flag is set); false for a null object.
bool AnimateObject(ObjectRecord* object, float time);
// The frame's transformation := user matrix, then the animation's keys applied at time; false
// when the animation drives no frame.
bool SampleAnimation(AnimationRecord* animation, float time);
bool SampleBlendedAnimation(AnimationRecord* animation, float time1, float time2, float factor);

// One key kind applied to matrix; false, the matrix unchanged, without keys of that kind.
bool ApplyScaleKeys(AnimationRecord* animation, D3DXMATRIX* matrix, float time);
bool ApplyRotationKeys(AnimationRecord* animation, D3DXMATRIX* matrix, float time);
bool ApplyPositionKeys(AnimationRecord* animation, D3DXMATRIX* matrix, float time);
bool ApplyMatrixKeys(AnimationRecord* animation, D3DXMATRIX* matrix, float time);
bool ApplyBlendedScaleKeys(AnimationRecord* animation, D3DXMATRIX* matrix, float time1, float time2,
                           float factor);
bool ApplyBlendedRotationKeys(AnimationRecord* animation, D3DXMATRIX* matrix, float time1,
                              float time2, float factor);
bool ApplyBlendedPositionKeys(AnimationRecord* animation, D3DXMATRIX* matrix, float time1,
                              float time2, float factor);
bool ApplyBlendedMatrixKeys(AnimationRecord* animation, D3DXMATRIX* matrix, float time1,
                            float time2, float factor);

// Samplers; each leaves out untouched when the animation has no keys of its kind.
void InterpolatePositionKeys(D3DXVECTOR3* out, const AnimationRecord* animation, float time);
void InterpolateScaleKeys(D3DXVECTOR3* out, const AnimationRecord* animation, float time);
void SmoothPositionKeys(D3DXVECTOR3* out, const AnimationRecord* animation, float time);
void InterpolateRotationKeys(D3DXQUATERNION* out, const AnimationRecord* animation, float time);
void InterpolateMatrixKeys(D3DXMATRIX* out, const AnimationRecord* animation, float time);

// Merges the animations of source whose names match the object's (without regard to case) onto
// the end of the object's keys, source's times moved on by offset; source's set length is added.
// False, the object unchanged, when nothing matched. Source is left to the caller.
bool AppendAnimationOf(ObjectRecord* object, ObjectRecord* source, std::uint32_t offset);
// The same with the animation of an object file, which is freed afterwards; on success the
// object's end frame becomes the set's new length.
bool AppendAnimationFromFile(ObjectRecord* object, const char* fileName, std::uint32_t offset);
