#include "core/win32.h"

#include "object3d/collision.h"
#include "object3d/object_records.h"

void SetCollisionToBoxes(ObjectRecord* object) {
    if (!object) return;
    object->collision.type = 1;
    object->collision.boxUse = 1;
}

// Stand-in until object collision is built: no object has automatic collision yet.
void RunAutomaticCollision() {}
void UpdateAutomaticCameraCollision(std::int32_t, std::int32_t) {}
