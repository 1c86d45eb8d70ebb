#include "core/win32.h"

#include "object3d/keyframes.h"
#include "object3d/frame_hierarchy.h"
#include "object3d/object_records.h"

// Stand-in until keyframe animation is built: frames keep their unanimated transformations.
bool AnimateObject(ObjectRecord* object, float) {
    if (!object) return false;
    RebuildFrameTransforms(object->rootFrame);
    return true;
}
