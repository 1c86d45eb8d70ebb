#include "core/win32.h"

#include "object3d/collision_commands.h"
#include "object3d/collision.h"
#include "object3d/object3d.h"
#include "object3d/object_world.h"

#include <cmath>

namespace {

// Runs fn on object n's record when the object check passes.
template <typename Fn> void WithObject(std::int32_t n, Fn&& fn) {
    if (ObjectRecord* object = GetObjectPointer(n)) fn(object);
}

// fn's value for object n's record; 0 when the check fails.
template <typename Fn> float ObjectValue(std::int32_t n, Fn&& fn) {
    ObjectRecord* object = GetObjectPointer(n);
    return object ? fn(object) : 0.0f;
}

} // namespace

void SetObjectCollisionOn(std::int32_t n) {
    WithObject(n, EnableObjectCollision);
}

void SetObjectCollisionOff(std::int32_t n) {
    WithObject(n, DisableObjectCollision);
}

void MakeObjectCollisionBox(std::int32_t n, float x1, float y1, float z1, float x2, float y2,
                            float z2, std::int32_t flag) {
    WithObject(n, [&](ObjectRecord* o) { SetCollisionBoxData(o, x1, y1, z1, x2, y2, z2, flag); });
}

void DeleteObjectCollisionBox(std::int32_t n) {
    WithObject(n, ClearCollisionBoxData);
}

void SetObjectCollisionToBoxes(std::int32_t n) {
    WithObject(n, SetCollisionToBoxes);
}

void SetObjectCollisionToSpheres(std::int32_t n) {
    WithObject(n, SetCollisionToSpheres);
}

void SetObjectCollisionToPolygons(std::int32_t n) {
    WithObject(n, SetCollisionToPolygons);
}

void SetObjectRadius(std::int32_t n, float radius) {
    WithObject(n, [radius](ObjectRecord* o) { SetCollisionRadius(o, radius); });
}

void SetGlobalCollisionOn() {
    EnableCollisionChecks();
}

void SetGlobalCollisionOff() {
    DisableCollisionChecks();
}

float IntersectObjectRecord(ObjectRecord* object, float x1, float y1, float z1, float x2, float y2,
                            float z2) {
    if (!object) return 0.0f;
    UpdateObjectWorld(object);
    return IntersectObject(object, x1, y1, z1, x2, y2, z2);
}

float IntersectObjectCmd(std::int32_t n, float x1, float y1, float z1, float x2, float y2,
                         float z2) {
    return ObjectValue(n, [&](ObjectRecord* o) {
        const float distance = IntersectObjectRecord(o, x1, y1, z1, x2, y2, z2);
        const float dx = x2 - x1, dy = y2 - y1, dz = z2 - z1;
        return distance <= std::sqrt(dx * dx + dy * dy + dz * dz) ? distance : 0.0f;
    });
}

void AutomaticObjectCollision(std::int32_t n, float radius, std::int32_t response) {
    WithObject(n, [&](ObjectRecord* o) { SetAutomaticCollision(o, radius, response); });
}

void AutomaticCameraCollision(std::int32_t camera, float radius, std::int32_t response) {
    SetAutoCameraCollisionSimple(camera, radius, response);
}

void AutomaticCameraCollision(std::int32_t camera, float radius, std::int32_t response,
                              std::int32_t flag) {
    SetAutoCameraCollision(camera, radius, response, flag);
}

void UpdateCameraCollisionCmd() {
    UpdateAutomaticCameraCollision(0);
}

float ObjectCollisionRadius(std::int32_t n) {
    return ObjectValue(n, GetCollisionRecordRadius);
}

float ObjectCollisionCentreX(std::int32_t n) {
    return ObjectValue(n, GetObjectCentreX);
}

float ObjectCollisionCentreY(std::int32_t n) {
    return ObjectValue(n, GetObjectCentreY);
}

float ObjectCollisionCentreZ(std::int32_t n) {
    return ObjectValue(n, GetObjectCentreZ);
}
