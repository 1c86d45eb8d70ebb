// Commands that play an object's keyframe animation and read its state back, append animation
// from another file, glue an object to a limb of another, copy orientations from objects, limbs
// and the camera, choose the rotation order and set or read world matrices.
//
// Each checks the object number first with ConfirmObject (those that say so accept instances) and
// does nothing more when that fails; getters then return 0. Frame and percentage arguments that
// arrive as whole numbers are taken as floats.
#pragma once

#include <cstdint>

// Playing: the frame runs from start (0 in the short form) to the end frame, once.
void PlayObject(std::int32_t n);
// A start beyond the end frame plays on to the animation's last frame.
void PlayObject(std::int32_t n, std::int32_t start);
void PlayObject(std::int32_t n, std::int32_t start, std::int32_t end);
// Looping: from the end frame back to the loop start.
void LoopObject(std::int32_t n);
void LoopObject(std::int32_t n, std::int32_t start);
void LoopObject(std::int32_t n, std::int32_t start, std::int32_t end);
void StopObject(std::int32_t n);
// Frames per update in percent: 100 is one frame each update.
void SetObjectSpeed(std::int32_t n, std::int32_t percent);
// Moves to a frame; a stopped object blends there when its interpolation is not 100. Bounds mode
// 1 makes the bounds follow the animation, 2 stops that; both have them computed again.
void SetObjectFrame(std::int32_t n, float frame, std::int32_t boundsMode = 0);
void SetObjectFrame(std::int32_t n, std::int32_t frame);
// How far a blend to a new frame goes per update, in percent; exactly 100 ends a running blend.
void SetObjectInterpolation(std::int32_t n, std::int32_t percent);
// Appends the animation of the file's frames that carry the object's frame names, from frame
// start on; start may be the animation's length or one more (7606 below, 7602 above, 7602 without
// animation, 7605 when nothing could be appended). 1 when appended, else 0.
std::int32_t AppendObject(const char* fileName, std::int32_t n, std::int32_t start);

bool ObjectPlaying(std::int32_t n);
bool ObjectLooping(std::int32_t n);
float ObjectFrame(std::int32_t n);
float ObjectSpeed(std::int32_t n);         // percent
float ObjectInterpolation(std::int32_t n); // percent
std::int32_t TotalObjectFrames(std::int32_t n);

// Glue: the object follows limb `limb` of target. Mode 1 follows the limb's position only; mode 2
// also puts the object at the limb's origin.
void GlueObjectToLimb(std::int32_t n, std::int32_t target, std::int32_t limb,
                      std::int32_t mode = 0);
// Leaves the object where the limb it was glued to is; an object that is not glued stays as it is.
void UnglueObject(std::int32_t n);

// Rotation orders (instances accepted): X, then Y, then Z; or Z, then Y, then X.
void SetObjectRotationXYZ(std::int32_t n);
void SetObjectRotationZYX(std::int32_t n);
// The source's orientation; mode 1 takes its pivot too.
void SetObjectToObjectOrientation(std::int32_t n, std::int32_t source);
void SetObjectToObjectOrientation(std::int32_t n, std::int32_t source, std::int32_t mode);
// Limb -1 is the forms above; any other limb gives the orientation of that limb of the source, in
// the source's own space (mode unused). The form with a limb and no mode is this one with mode 0:
// three numbers cannot name both it and the form with a mode.
void SetObjectToObjectOrientation(std::int32_t n, std::int32_t source, std::int32_t limb,
                                  std::int32_t mode);
// The current camera's orientation (instances accepted).
void SetObjectToCameraOrientation(std::int32_t n);

// A world matrix set here stays: the object's placement no longer rebuilds it.
void SetObjectWorldMatrix(std::int32_t n, const float* matrix);
// The limb's world matrix (16 floats) into out, the object's world matrix brought up to date first.
void GetLimbWorldMatrix(std::int32_t n, std::int32_t limb, float* out);

// The angles as float results, for the entries that take them that way.
float GetObjectAngleXFloat(std::int32_t n);
float GetObjectAngleYFloat(std::int32_t n);
float GetObjectAngleZFloat(std::int32_t n);
