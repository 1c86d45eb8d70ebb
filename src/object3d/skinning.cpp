#include "core/win32.h"

#include "object3d/skinning.h"
#include "object3d/object_records.h"

// Stand-in until vertex animation is built: meshes keep the vertices they were given.
bool UpdateFrameMesh(ObjectRecord* object, FrameRecord* frame) {
    return UpdateFrameMeshVertices(object, frame, frame ? frame->mesh : nullptr);
}

bool UpdateFrameMeshVertices(ObjectRecord*, FrameRecord*, MeshRecord*) {
    return true;
}
