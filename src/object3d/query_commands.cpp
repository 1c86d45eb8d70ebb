#include "core/win32.h"

#include "object3d/query_commands.h"
#include "object3d/collision.h"
#include "object3d/object3d.h"
#include "object3d/object_commands.h"
#include "object3d/object_state.h"
#include "object3d/object_world.h"
#include "object3d/vertex_editing.h"
#include "universe/universe.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace {

constexpr float kThirdOfScale = 0.33333334f;
// The on-screen test looks for a sphere this many times the scaled radius.
constexpr float kScreenReachFactor = 2.5f;
// A pick ray runs this many times the distance to the far plane.
constexpr float kPickRayReach = 3000.0f;
constexpr float kFarthestPick = 999999.875f;

// What the last pick found. Written by PickObject (on a hit) and PickScreen; lives as long as
// the program, across module restarts.
struct PickResults {
    std::int32_t object = 0;
    float distance = 0;
    D3DXVECTOR3 vector{0, 0, 0};
};
PickResults g_Pick;

const CameraRecord* CurrentCamera() {
    const CameraBridge& c = g_Object3D.cameras;
    const CoreData* core = g_Object3D.core;
    return c.getInternalData ? c.getInternalData(core ? core->currentCamera : 0) : nullptr;
}

float Component(const D3DXVECTOR3& v, std::int32_t axis) {
    return static_cast<const float*>(v)[axis];
}

// A pixel position from a float that may be huge or not a number (a point in the camera plane).
std::int32_t ToPixel(double value) {
    if (!(value == value)) return 0;
    constexpr double kMost = std::numeric_limits<std::int32_t>::max();
    constexpr double kLeast = std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(std::clamp(value, kLeast, kMost));
}

float SizeOnAxis(std::int32_t n, std::int32_t axis, std::uint8_t scaled) {
    const ObjectRecord* object = GetObjectPointerInstance(n);
    if (!object) return 0;
    const ObjectRecord* owner = object->instanceSource ? object->instanceSource : object;
    const D3DXVECTOR3 extent = owner->collision.maximum - owner->collision.minimum;
    float size = std::fabs(GetPivotedComponent(object, axis, extent.x, extent.y, extent.z));
    if (scaled == 1) size *= Component(object->position.scale, axis);
    return size;
}

// The object's position seen through a camera: x and y from -1 to 1 across the view, the depth
// in front of the camera, and how far the on-screen test's sphere reaches on each axis.
struct ScreenProjection {
    float x, y, depth, reachX, reachY;
};

ScreenProjection ProjectObject(const ObjectRecord& object, const CameraRecord& camera) {
    D3DXVECTOR3 view, centre, edge;
    D3DXVec3TransformCoord(&view, &object.position.position, &camera.view);
    const float reach = kScreenReachFactor * object.collision.scaledRadius;
    const D3DXVECTOR3 offset = view + D3DXVECTOR3(reach, reach, 0);
    D3DXVec3TransformCoord(&centre, &view, &camera.projection);
    D3DXVec3TransformCoord(&edge, &offset, &camera.projection);
    return {centre.x, centre.y, view.z, std::fabs(edge.x - centre.x), std::fabs(edge.y - centre.y)};
}

// A view coordinate (from 0 to 2 across) in pixels of the display, carried over to the camera's
// viewport. Without a display size the viewport's own size stands in.
std::int32_t ToViewport(float across, std::int32_t display, DWORD start, DWORD size) {
    const double full = display > 0 ? display : static_cast<double>(size);
    if (full <= 0) return ToPixel(start);
    const float pixel = std::trunc(static_cast<float>(full) * 0.5f * across);
    return ToPixel(static_cast<double>(pixel) * size / full + start);
}

// Object n through the current camera; false when either is missing.
bool ProjectChecked(std::int32_t n, ScreenProjection* out, const CameraRecord** camera) {
    const ObjectRecord* object = GetObjectPointerInstance(n);
    *camera = object ? CurrentCamera() : nullptr;
    if (!*camera) return false;
    *out = ProjectObject(*object, **camera);
    return true;
}

// The camera's position and the world point under the screen point on its far plane; false
// when there is no camera, its viewport is empty or its matrices have no inverse.
bool UnprojectScreenPoint(std::int32_t x, std::int32_t y, D3DXVECTOR3* from, D3DXVECTOR3* through) {
    const CameraRecord* camera = CurrentCamera();
    if (!camera) return false;
    const D3DVIEWPORT9& v = camera->viewport;
    if (v.Width == 0 || v.Height == 0) return false;
    D3DXMATRIX inverseProjection, inverseView;
    if (!D3DXMatrixInverse(&inverseProjection, nullptr, &camera->projection) ||
        !D3DXMatrixInverse(&inverseView, nullptr, &camera->view))
        return false;
    const double halfWidth = v.Width * 0.5, halfHeight = v.Height * 0.5;
    const double dx = std::trunc(static_cast<double>(x) - v.X - halfWidth);
    const double dy = std::trunc(halfHeight - (static_cast<double>(y) - v.Y));
    const D3DXVECTOR3 screen(static_cast<float>(dx / halfWidth),
                             static_cast<float>(dy / halfHeight), 1.0f);
    D3DXVECTOR3 inView;
    D3DXVec3TransformCoord(&inView, &screen, &inverseProjection);
    D3DXVec3TransformCoord(through, &inView, &inverseView);
    *from = camera->position;
    return true;
}

D3DXVECTOR3 Towards(const D3DXVECTOR3& from, const D3DXVECTOR3& to, float length) {
    const D3DXVECTOR3 offset = to - from;
    D3DXVECTOR3 direction;
    D3DXVec3Normalize(&direction, &offset);
    return direction * length;
}

float RayDistance(ObjectRecord* object, const D3DXVECTOR3& from, const D3DXVECTOR3& to) {
    return IntersectObject(object, from.x, from.y, from.z, to.x, to.y, to.z);
}

void CopyCameraVector(float* buffer, D3DXVECTOR3 CameraRecord::*vector) {
    if (!buffer) return;
    const CameraRecord* camera = CurrentCamera();
    const D3DXVECTOR3 v = camera ? camera->*vector : D3DXVECTOR3(0, 0, 0);
    buffer[0] = v.x, buffer[1] = v.y, buffer[2] = v.z;
}

} // namespace

bool ObjectVisible(std::int32_t n) {
    const ObjectRecord* object = GetObjectPointerInstance(n);
    return object && object->universeVisible == 1 && object->visible == 1;
}

float ObjectRadius(std::int32_t n) {
    const ObjectRecord* object = GetObjectPointer(n);
    return object ? object->collision.radius : 0.0f;
}

float ObjectSize(std::int32_t n, std::uint8_t scaled) {
    const ObjectRecord* object = GetObjectPointer(n);
    if (!object) return 0;
    const D3DXVECTOR3& s = object->position.scale;
    const float factor = scaled == 1 ? (s.x + s.y + s.z) * kThirdOfScale : 1.0f;
    return object->collision.radius * factor;
}

float ObjectSizeX(std::int32_t n, std::uint8_t scaled) {
    return SizeOnAxis(n, 0, scaled);
}

float ObjectSizeY(std::int32_t n, std::uint8_t scaled) {
    return SizeOnAxis(n, 1, scaled);
}

float ObjectSizeZ(std::int32_t n, std::uint8_t scaled) {
    return SizeOnAxis(n, 2, scaled);
}

std::int32_t ObjectScreenX(std::int32_t n) {
    ScreenProjection p;
    const CameraRecord* camera;
    if (!ProjectChecked(n, &p, &camera)) return 0;
    const std::int32_t display = g_Object3D.core ? g_Object3D.core->displayWidth : 0;
    return ToViewport(1.0f + p.x, display, camera->viewport.X, camera->viewport.Width);
}

std::int32_t ObjectScreenY(std::int32_t n) {
    ScreenProjection p;
    const CameraRecord* camera;
    if (!ProjectChecked(n, &p, &camera)) return 0;
    const std::int32_t display = g_Object3D.core ? g_Object3D.core->displayHeight : 0;
    return ToViewport(1.0f - p.y, display, camera->viewport.Y, camera->viewport.Height);
}

std::int32_t ObjectInScreen(std::int32_t n) {
    ScreenProjection p;
    const CameraRecord* camera;
    if (!ProjectChecked(n, &p, &camera)) return 0;
    // A position in the camera plane has no place on screen.
    if (!(p.depth > 0) || p.depth > camera->farRange) return 0;
    const bool off =
        p.x + p.reachX < -1 || p.x - p.reachX > 1 || p.y + p.reachY < -1 || p.y - p.reachY > 1;
    return off ? 0 : 1;
}

float GetPivotedComponent(const ObjectRecord* object, std::int32_t component, float x, float y,
                          float z) {
    if (component < 0 || component > 2) return 0;
    D3DXVECTOR3 v(x, y, z);
    if (object && object->position.pivot) {
        const D3DXVECTOR3 in = v;
        D3DXVec3TransformCoord(&v, &in, &object->position.matPivot);
    }
    return Component(v, component);
}

std::int32_t ObjectContainsBox(std::int32_t n, float x1, float y1, float z1, float x2, float y2,
                               float z2) {
    ObjectRecord* object = GetObjectPointer(n);
    if (!object) return 0;
    const std::int32_t count = ListedMeshCount(object);
    for (std::int32_t i = 0; i < count; ++i)
        if (IsPointInMeshBounds(object->meshes[i], x1, y1, z1, x2, y2, z2)) return 1;
    return 0;
}

std::int32_t PickObject(std::int32_t x, std::int32_t y, std::int32_t first, std::int32_t last) {
    D3DXVECTOR3 from, through;
    if (first > last || !UnprojectScreenPoint(x, y, &from, &through)) return 0;
    const D3DXVECTOR3 to = from + (through - from) * kPickRayReach;
    const Object3DState& s = g_Object3D;
    std::int32_t picked = 0, lastHit = 0;
    float nearest = 0;
    for (std::int32_t i = 0; i < s.usedCount; ++i) {
        const std::int32_t n = s.usedNumbers[i];
        ObjectRecord* object = n >= first && n <= last ? ObjectAt(n) : nullptr;
        if (!object || !object->visible) continue;
        UpdateObjectWorld(object);
        const float distance = RayDistance(object, from, to);
        if (distance > 0) lastHit = n;
        if (distance > 0 && distance < kFarthestPick && (!picked || distance < nearest))
            picked = n, nearest = distance;
    }
    if (!picked) return 0;
    // Each hit rewrites the ray result and checklist; they are to describe the picked object.
    if (lastHit != picked) RayDistance(ObjectAt(picked), from, to);
    g_Pick = {picked, nearest, Towards(from, to, nearest)};
    return picked;
}

void PickScreen(std::int32_t x, std::int32_t y, float distance) {
    D3DXVECTOR3 from, through;
    if (!UnprojectScreenPoint(x, y, &from, &through)) return;
    g_Pick = {0, distance, Towards(from, through, distance)};
}

float GetPickDistance() {
    return g_Pick.distance;
}

float GetPickVectorX() {
    return g_Pick.vector.x;
}

float GetPickVectorY() {
    return g_Pick.vector.y;
}

float GetPickVectorZ() {
    return g_Pick.vector.z;
}

void GetCameraLookVector(float* buffer) {
    CopyCameraVector(buffer, &CameraRecord::look);
}

void GetCameraUpVector(float* buffer) {
    CopyCameraVector(buffer, &CameraRecord::up);
}

void GetCameraRightVector(float* buffer) {
    CopyCameraVector(buffer, &CameraRecord::right);
}

void GetCameraPositionVector(float* buffer) {
    CopyCameraVector(buffer, &CameraRecord::position);
}

void GetCameraViewMatrix(float* buffer) {
    if (!buffer) return;
    const CameraRecord* camera = CurrentCamera();
    const D3DXMATRIX& view = camera ? camera->view : kIdentityMatrix;
    std::memcpy(buffer, static_cast<const float*>(view), sizeof(D3DXMATRIX));
}

std::int32_t GetStatistic(std::int32_t code) {
    const Object3DState& s = g_Object3D;
    Universe* world = s.universe;
    switch (code) {
    case 1:
        return s.core ? s.core->drawnPolygons : 0;
    case 2:
        return DeviceSupportsStencil() ? 1 : 0;
    case 3:
        return g_Universe.currentArea;
    case 4:
        return g_Universe.areaCount;
    case 5:
        return s.core ? s.core->drawCalls : 0;
    case 6:
    case 7:
        return world ? world->statistics[code - 6] : 0;
    case 8:
    case 9:
        return world ? std::exchange(world->statistics[code - 6], 0) : 0;
    default:
        return 0;
    }
}
