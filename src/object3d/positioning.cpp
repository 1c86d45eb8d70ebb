#include "core/win32.h"

#include "object3d/positioning.h"
#include "object3d/object3d.h"
#include "object3d/object_state.h"
#include "object3d/object_world.h"

namespace {

ObjectRecord* Checked(std::int32_t n) {
    return ConfirmObjectInstance(n) ? g_Object3D.objects[n] : nullptr;
}

} // namespace

bool PositionObject(std::int32_t n, float x, float y, float z) {
    ObjectRecord* object = Checked(n);
    if (!object) return false;
    object->position.oldPosition = object->position.position;
    object->position.position = D3DXVECTOR3(x, y, z);
    object->collision.moved = 1;
    UpdateObjectWorld(object);
    return true;
}

bool RotateObject(std::int32_t n, float x, float y, float z) {
    ObjectRecord* object = Checked(n);
    if (!object) return false;
    SetObjectMatrixMode(object, 0);
    object->position.angle = D3DXVECTOR3(x, y, z);
    UpdateObjectLookVectors(object);
    object->collision.moved = 1;
    object->collision.centreFixed = 0;
    UpdateObjectWorld(object);
    return true;
}

bool ScaleObject(std::int32_t n, float x, float y, float z) {
    ObjectRecord* object = Checked(n);
    if (!object) return false;
    object->position.scale = D3DXVECTOR3(x, y, z) * 0.01f;
    const D3DXVECTOR3& s = object->position.scale;
    float largest = s.x > s.y ? s.x : s.y;
    if (s.z > largest) largest = s.z;
    CollisionBlock& c = object->collision;
    c.scaledRadius = largest * c.radius;
    if (c.cullingRadius > 0)
        c.cullingRadius = object->largeRadius ? c.poseRadius + 3000.0f : largest * c.poseRadius;
    c.moved = 1;
    c.centreFixed = 0;
    UpdateObjectWorld(object);
    return true;
}
