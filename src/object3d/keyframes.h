// Keyframe animation: sampling an object's animation keys into its frames' transformations.
#pragma once

struct ObjectRecord;

// Rebuilds the frame transformations and samples every animation of the set at time; false for
// a null object.
bool AnimateObject(ObjectRecord* object, float time);
