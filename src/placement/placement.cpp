#include "core/win32.h"

#include "placement/placement.h"
#include "core/core.h"
#include "core/error_numbers.h"
#include "core/item_lookup.h"
#include "object3d/object3d.h"

#include <cstring>
#include <limits>

namespace {

constexpr ItemNumbers kItemNumbers{1, 22000000, kObjectNumberIllegal, kObjectMissing};
constexpr float kDegreesToRadians = 0.017453292f;

D3DXVECTOR3 Vec(const float v[3]) {
    return D3DXVECTOR3(v[0], v[1], v[2]);
}

void Store(float out[3], const D3DXVECTOR3& v) {
    out[0] = v.x, out[1] = v.y, out[2] = v.z;
}

void StoreMatrix(float out[16], const D3DXMATRIX& m) {
    std::memcpy(out, static_cast<const float*>(m), 16 * sizeof(float));
}

// RotationX x RotationY x RotationZ: x first.
D3DXMATRIX EulerRotation(const float degrees[3]) {
    D3DXMATRIX x, y, z;
    D3DXMatrixRotationX(&x, degrees[0] * kDegreesToRadians);
    D3DXMatrixRotationY(&y, degrees[1] * kDegreesToRadians);
    D3DXMatrixRotationZ(&z, degrees[2] * kDegreesToRadians);
    return x * y * z;
}

// Turns a and b about the axis (taken as it is now) by the angle.
void TurnAbout(D3DXVECTOR3 axis, float degrees, D3DXVECTOR3& a, D3DXVECTOR3& b) {
    D3DXMATRIX turn;
    D3DXMatrixRotationAxis(&turn, &axis, degrees * kDegreesToRadians);
    D3DXVec3TransformCoord(&a, &a, &turn);
    D3DXVec3TransformCoord(&b, &b, &turn);
}

bool SameRotation(const TransformRecord& t) {
    for (int i = 0; i < 3; ++i)
        if (t.rotation[i] != t.lastRotation[i]) return false;
    return true;
}

// Look, up and right from the Euler angles, worked out again only when they changed.
void DeriveEulerDirections(TransformRecord& t) {
    if (SameRotation(t)) return;
    std::memcpy(t.lastRotation, t.rotation, sizeof t.rotation);
    D3DXVECTOR3 look(0, 0, 1), up(0, 1, 0), right(1, 0, 0);
    TurnAbout(right, t.rotation[0], look, up);
    TurnAbout(D3DXVECTOR3(0, 1, 0), t.rotation[1], look, right);
    TurnAbout(look, t.rotation[2], right, up);
    Store(t.look, look), Store(t.up, up), Store(t.right, right);
}

// Look, up and right turned from the starting directions by the free-flight rotation; turned from
// where they stand, every rebuild would add the whole rotation once more.
void DeriveFreeFlightDirections(TransformRecord& t, const D3DXMATRIX& rotation) {
    D3DXVECTOR3 look(0, 0, 1), up(0, 1, 0), right(1, 0, 0);
    D3DXVec3TransformCoord(&look, &look, &rotation);
    D3DXVec3TransformCoord(&up, &up, &rotation);
    D3DXVec3TransformCoord(&right, &right, &rotation);
    Store(t.look, look), Store(t.up, up), Store(t.right, right);
    // The directions no longer follow any Euler rotation: the next Euler rebuild derives them
    // again even when its angles equal the last ones.
    const float none = std::numeric_limits<float>::quiet_NaN();
    t.lastRotation[0] = t.lastRotation[1] = t.lastRotation[2] = none;
}

} // namespace

namespace placement {

TransformRecord* Checked(std::int32_t n, SelectFn select) {
    return CheckedItem(n, kItemNumbers, select);
}

void Rebuild(TransformRecord* t) {
    if (!t) return;
    D3DXMATRIX scale, translation, rotation;
    D3DXMatrixScaling(&scale, t->scale[0], t->scale[1], t->scale[2]);
    D3DXMatrixTranslation(&translation, t->position[0], t->position[1], t->position[2]);
    if (t->freeFlightOn == 1)
        D3DXMatrixRotationYawPitchRoll(&rotation, t->freeFlight[0] * kDegreesToRadians,
                                       t->freeFlight[1] * kDegreesToRadians,
                                       t->freeFlight[2] * kDegreesToRadians);
    else
        rotation = EulerRotation(t->rotation);
    if (t->pivotOn) rotation = EulerRotation(t->pivot) * rotation;
    const D3DXMATRIX scaleRotation = scale * rotation;
    StoreMatrix(t->scaleRotation, scaleRotation);
    StoreMatrix(t->world, scaleRotation * translation);
    if (t->freeFlightOn == 1)
        DeriveFreeFlightDirections(*t, rotation);
    else
        DeriveEulerDirections(*t);
    t->rebuildPending = 0;
}

void Position(TransformRecord* t, float x, float y, float z) {
    if (!t) return;
    Store(t->position, D3DXVECTOR3(x, y, z));
    t->moved = 1;
    Rebuild(t);
}

void Scale(TransformRecord* t, float x, float y, float z) {
    if (!t) return;
    Store(t->scale, D3DXVECTOR3(x * 0.01f, y * 0.01f, z * 0.01f));
    Rebuild(t);
}

void Rotate(TransformRecord* t, float x, float y, float z) {
    if (!t) return;
    Store(t->rotation, D3DXVECTOR3(x, y, z));
    t->freeFlightOn = 0;
    Rebuild(t);
}

void RotateAxis(TransformRecord* t, int axis, float angle) {
    if (!t) return;
    t->rotation[axis] = angle;
    t->freeFlightOn = 0;
    Rebuild(t);
}

void Point(TransformRecord* t, float x, float y, float z) {
    if (!t) return;
    const D3DXVECTOR3 from = Vec(t->position), to(x, y, z);
    D3DXVECTOR3 angles;
    GetAnglesToPoint(&from, &to, &angles);
    Store(t->rotation, angles);
    Rebuild(t);
}

void Move(TransformRecord* t, const float* direction, float distance) {
    if (!t) return;
    Store(t->position, Vec(t->position) + Vec(direction) * distance);
    t->moved = 1;
    Rebuild(t);
}

void Turn(TransformRecord* t, int angle, float degrees) {
    if (!t) return;
    t->freeFlight[angle] += degrees;
    t->freeFlightOn = 1;
    Rebuild(t);
}

void SetLook(TransformRecord* t, float x, float y, float z) {
    if (t) Store(t->look, D3DXVECTOR3(x, y, z));
}

float Read(const TransformRecord* t, Field field, int i) {
    return t ? (t->*field)[i] : 0.0f;
}

void CopyOut(const TransformRecord* t, Field field, float* out) {
    if (t && out) std::memcpy(out, t->*field, 3 * sizeof(float));
}

} // namespace placement
