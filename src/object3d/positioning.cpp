#include "core/win32.h"

#include "object3d/positioning.h"
#include "object3d/object3d.h"
#include "object3d/object_state.h"
#include "object3d/object_world.h"

#include <cmath>
#include <limits>

namespace {

constexpr float kDegreesToRadians = 0.017453292f;

ObjectRecord* Checked(std::int32_t n) {
    return ConfirmObjectInstance(n) ? g_Object3D.objects[n] : nullptr;
}

std::int32_t Bits(float f) {
    return static_cast<std::int32_t>(FloatBits(f));
}

// Moves and PositionObject leave the world centre alone: it is an offset from the position.
bool Moved(ObjectRecord* object) {
    object->collision.moved = 1;
    UpdateObjectWorld(object);
    return true;
}

// A turn moves the bounds centre about the position, so the centre is found again.
bool Turned(ObjectRecord* object) {
    UpdateObjectLookVectors(object);
    object->collision.centreFixed = 0;
    return Moved(object);
}

bool SetAngles(std::int32_t n, const float* x, const float* y, const float* z) {
    ObjectRecord* object = Checked(n);
    if (!object) return false;
    SetObjectMatrixMode(object, 0);
    D3DXVECTOR3& angle = object->position.angle;
    if (x) angle.x = *x;
    if (y) angle.y = *y;
    if (z) angle.z = *z;
    return Turned(object);
}

bool MoveAlong(std::int32_t n, const D3DXVECTOR3 ObjectPosition::*axis, float distance,
               bool keepPrevious) {
    ObjectRecord* object = Checked(n);
    if (!object) return false;
    ObjectPosition& p = object->position;
    if (keepPrevious) p.oldPosition = p.position;
    p.position += p.*axis * distance;
    return Moved(object);
}

enum class Axis { X, Y, Z };

bool FreeFlightTurn(std::int32_t n, Axis axis, float angle) {
    ObjectRecord* object = Checked(n);
    if (!object) return false;
    SetObjectMatrixMode(object, 1);
    const float radians = angle * kDegreesToRadians;
    D3DXMATRIX turn;
    switch (axis) {
    case Axis::X:
        D3DXMatrixRotationX(&turn, radians);
        break;
    case Axis::Y:
        D3DXMatrixRotationY(&turn, radians);
        break;
    case Axis::Z:
        D3DXMatrixRotationZ(&turn, radians);
        break;
    }
    ObjectPosition& p = object->position;
    // The turn first: it is about the object's own axis, not the world's.
    p.matFreeFlight = Multiply(turn, p.matFreeFlight);
    // Else the angles read back would trail by one turn.
    MatrixToEulerAngles(&p.matFreeFlight, &p.angle);
    return Turned(object);
}

// A mirrored axis has a negative factor; the sphere still grows with its size.
float LargestFactor(const D3DXVECTOR3& s) {
    const float x = std::fabs(s.x), y = std::fabs(s.y), z = std::fabs(s.z);
    const float largest = x > y ? x : y;
    return z > largest ? z : largest;
}

float WorldComponent(std::int32_t n, int i) {
    ObjectRecord* object = Checked(n);
    if (!object) return 0.0f;
    ObjectPosition& p = object->position;
    if (!p.glued) return p.position[i];
    // Resolves the glue chain, so the object it is glued to is brought up to date first.
    UpdateObjectWorld(object);
    return p.matWorld.m[3][i];
}

float* WriteVector(float* out, const ObjectRecord* object, const D3DXVECTOR3 ObjectPosition::*v) {
    if (!out) return out;
    const D3DXVECTOR3 value = object ? object->position.*v : D3DXVECTOR3(0, 0, 0);
    out[0] = value.x, out[1] = value.y, out[2] = value.z;
    return out;
}

} // namespace

bool PositionObject(std::int32_t n, float x, float y, float z) {
    ObjectRecord* object = Checked(n);
    if (!object) return false;
    object->position.oldPosition = object->position.position;
    object->position.position = D3DXVECTOR3(x, y, z);
    return Moved(object);
}

bool RotateObject(std::int32_t n, float x, float y, float z) {
    return SetAngles(n, &x, &y, &z);
}
bool XRotateObject(std::int32_t n, float angle) {
    return SetAngles(n, &angle, nullptr, nullptr);
}
bool YRotateObject(std::int32_t n, float angle) {
    return SetAngles(n, nullptr, &angle, nullptr);
}
bool ZRotateObject(std::int32_t n, float angle) {
    return SetAngles(n, nullptr, nullptr, &angle);
}

bool PointObject(std::int32_t n, float x, float y, float z) {
    ObjectRecord* object = Checked(n);
    if (!object) return false;
    SetObjectMatrixMode(object, 0);
    const D3DXVECTOR3 target(x, y, z);
    GetAnglesToPoint(&object->position.position, &target, &object->position.angle);
    return Turned(object);
}

bool ScaleObject(std::int32_t n, float x, float y, float z) {
    ObjectRecord* object = Checked(n);
    if (!object) return false;
    object->position.scale = D3DXVECTOR3(x, y, z) * 0.01f;
    const float largest = LargestFactor(object->position.scale);
    CollisionBlock& c = object->collision;
    c.scaledRadius = largest * c.radius;
    if (c.cullingRadius > 0) {
        const float radius = object->largeRadius ? c.poseRadius + 3000.0f : largest * c.poseRadius;
        // 0 means never tested; an object scaled to nothing must not turn that on for good.
        c.cullingRadius = radius > 0 ? radius : std::numeric_limits<float>::min();
    }
    c.centreFixed = 0;
    return Moved(object);
}

bool MoveObject(std::int32_t n, float distance) {
    return MoveAlong(n, &ObjectPosition::look, distance, true);
}
bool MoveObjectLeft(std::int32_t n, float distance) {
    return MoveAlong(n, &ObjectPosition::right, -distance, false);
}
bool MoveObjectRight(std::int32_t n, float distance) {
    return MoveAlong(n, &ObjectPosition::right, distance, false);
}
bool MoveObjectUp(std::int32_t n, float distance) {
    return MoveAlong(n, &ObjectPosition::up, distance, false);
}
bool MoveObjectDown(std::int32_t n, float distance) {
    return MoveAlong(n, &ObjectPosition::up, -distance, false);
}

bool TurnObjectLeft(std::int32_t n, float angle) {
    return FreeFlightTurn(n, Axis::Y, -angle);
}
bool TurnObjectRight(std::int32_t n, float angle) {
    return FreeFlightTurn(n, Axis::Y, angle);
}
bool PitchObjectUp(std::int32_t n, float angle) {
    return FreeFlightTurn(n, Axis::X, -angle);
}
bool PitchObjectDown(std::int32_t n, float angle) {
    return FreeFlightTurn(n, Axis::X, angle);
}
bool RollObjectLeft(std::int32_t n, float angle) {
    return FreeFlightTurn(n, Axis::Z, angle);
}
bool RollObjectRight(std::int32_t n, float angle) {
    return FreeFlightTurn(n, Axis::Z, -angle);
}

float ObjectPositionX(std::int32_t n) {
    const ObjectRecord* object = Checked(n);
    return object ? object->position.position.x : 0.0f;
}
float ObjectPositionY(std::int32_t n) {
    const ObjectRecord* object = Checked(n);
    return object ? object->position.position.y : 0.0f;
}
float ObjectPositionZ(std::int32_t n) {
    const ObjectRecord* object = Checked(n);
    return object ? object->position.position.z : 0.0f;
}
float ObjectAngleX(std::int32_t n) {
    const ObjectRecord* object = Checked(n);
    return object ? object->position.angle.x : 0.0f;
}
float ObjectAngleY(std::int32_t n) {
    const ObjectRecord* object = Checked(n);
    return object ? object->position.angle.y : 0.0f;
}
float ObjectAngleZ(std::int32_t n) {
    const ObjectRecord* object = Checked(n);
    return object ? object->position.angle.z : 0.0f;
}

std::int32_t ObjectWorldPositionX(std::int32_t n) {
    return Bits(WorldComponent(n, 0));
}
std::int32_t ObjectWorldPositionY(std::int32_t n) {
    return Bits(WorldComponent(n, 1));
}
std::int32_t ObjectWorldPositionZ(std::int32_t n) {
    return Bits(WorldComponent(n, 2));
}
std::int32_t ObjectAngleXInt(std::int32_t n) {
    return Bits(ObjectAngleX(n));
}
std::int32_t ObjectAngleYInt(std::int32_t n) {
    return Bits(ObjectAngleY(n));
}
std::int32_t ObjectAngleZInt(std::int32_t n) {
    return Bits(ObjectAngleZ(n));
}

float* GetObjectPositionVector(float* out, std::int32_t n) {
    return WriteVector(out, Checked(n), &ObjectPosition::position);
}
float* GetObjectAngleVector(float* out, std::int32_t n) {
    return WriteVector(out, Checked(n), &ObjectPosition::angle);
}

void PositionObjectExport(std::int32_t n, float x, float y, float z) {
    PositionObject(n, x, y, z);
}
float GetObjectWorldPositionX(std::int32_t n) {
    return WorldComponent(n, 0);
}
float GetObjectWorldPositionY(std::int32_t n) {
    return WorldComponent(n, 1);
}
float GetObjectWorldPositionZ(std::int32_t n) {
    return WorldComponent(n, 2);
}
