#include "core/win32.h"

#include "object3d/collision.h"
#include "core/checklist.h"
#include "core/core.h"
#include "object3d/box_collision.h"
#include "object3d/collision_state.h"
#include "object3d/frame_hierarchy.h"
#include "object3d/mesh_convert.h"
#include "object3d/object3d.h"
#include "object3d/object_state.h"
#include "object3d/object_world.h"
#include "core/error_numbers.h"

#include <cmath>
#include <cstdio>
#include <cstring>

CollisionState g_Collision;

namespace {

// The camera body's box is this much taller than wide, standing for a player's height.
constexpr float kCameraBodyHeight = 3.3f;
// Stands for the camera body where a pair test needs a positive number for the second object.
constexpr std::int32_t kCameraBodyNumber = kLargestItemNumber + 1;

ObjectRecord g_CameraBody;

bool Takes(const ObjectRecord* object) {
    return object && object->collision.enabled && !object->collision.excluded;
}

D3DXVECTOR3 CentreOf(ObjectRecord* object) {
    UpdateObjectCentre(object);
    return object->collision.centreOffset + object->position.position;
}

float SphereRadius(const ObjectRecord* object) {
    const D3DXVECTOR3& s = object->position.scale;
    // Rounded to a float as stored: x87 registers would carry the product's extra bits into the
    // test of spheres that only touch.
    volatile float radius = object->collision.cullingRadius * (s.x + s.y + s.z) * 0.33333334f;
    return radius;
}

float Length(const D3DXVECTOR3& v) {
    return D3DXVec3Length(&v);
}

// Five line probes through the second object's position, each against the first object's
// triangles; a hit within the probe's length counts.
bool ProbesHit(ObjectRecord* polygons, const ObjectRecord* other) {
    const D3DXVECTOR3 p = other->position.position;
    const float r = other->collision.cullingRadius;
    const float d = 0.6f * r;
    const struct {
        D3DXVECTOR3 from, to;
        float length;
    } probes[5] = {
        {p - D3DXVECTOR3(0, r, 0), p + D3DXVECTOR3(0, r, 0), 2 * r},
        {p - D3DXVECTOR3(0, 0, r), p + D3DXVECTOR3(0, 0, r), 2 * r},
        {p - D3DXVECTOR3(r, 0, 0), p + D3DXVECTOR3(r, 0, 0), 2 * r},
        {p - D3DXVECTOR3(d, d, d), p + D3DXVECTOR3(d, d, d), 2 * d},
        {p + D3DXVECTOR3(-d, -d, d), p + D3DXVECTOR3(d, d, -d), 2 * d},
    };
    for (const auto& probe : probes) {
        float distance = 0;
        if (IntersectObjectRay(polygons, probe.from.x, probe.from.y, probe.from.z, probe.to.x,
                               probe.to.y, probe.to.z, &distance) &&
            distance <= probe.length)
            return true;
    }
    return false;
}

// The frames an object draws: an instance borrows its source's.
const ObjectRecord* FrameOwner(const ObjectRecord* object) {
    return object->instanceSource ? object->instanceSource : object;
}

D3DXVECTOR3 VertexPosition(const MeshRecord* mesh, std::int32_t i) {
    D3DXVECTOR3 v;
    std::memcpy(&v, mesh->vertices + static_cast<std::size_t>(i) * mesh->vertexSize, sizeof v);
    return v;
}

std::int32_t BoneFrameOf(const MeshRecord* mesh, std::uint32_t vertex) {
    for (std::int32_t b = 0; mesh->bones && b < mesh->boneCount; ++b) {
        const BoneRecord& bone = mesh->bones[b];
        for (std::uint32_t k = 0; bone.vertices && k < bone.influenceCount; ++k) {
            if (bone.vertices[k] != vertex) continue;
            const FrameRecord* frame =
                bone.frame ? bone.frame : (mesh->boneFrames ? mesh->boneFrames[b] : nullptr);
            return frame ? frame->index : -1;
        }
    }
    return -1;
}

struct RayHit {
    float nearest = 0;
    std::int32_t frame = 0;
    const MeshRecord* mesh = nullptr;
    std::int32_t vertex[3] = {};
    D3DXVECTOR3 position[3];
};

// One frame's triangles against the segment, the distances scaled back to world units.
void IntersectFrame(ObjectRecord* object, FrameRecord* frame, std::int32_t index,
                    const D3DXVECTOR3& start, const D3DXVECTOR3& end, RayHit* hit) {
    MeshRecord* mesh = frame->mesh;
    ConvertStripToList(mesh);
    if (!mesh->vertices || mesh->vertexSize < sizeof(D3DXVECTOR3)) return;
    CopyGlueMatrices(object, frame, mesh);
    D3DXMATRIX inverse;
    if (!D3DXMatrixInverse(&inverse, nullptr, &frame->worldMatrix)) return;
    D3DXVECTOR3 localStart, localEnd;
    D3DXVec3TransformCoord(&localStart, &start, &inverse);
    D3DXVec3TransformCoord(&localEnd, &end, &inverse);
    const D3DXVECTOR3 localSpan = localEnd - localStart;
    const float localLength = Length(localSpan);
    if (!(localLength > 0)) return;
    const D3DXVECTOR3 direction = localSpan / localLength;
    const float scale = Length(end - start) / localLength;

    const bool indexed = mesh->indices && mesh->indexCount > 0;
    const std::int32_t triangles = (indexed ? mesh->indexCount : mesh->vertexCount) / 3;
    for (std::int32_t t = 0; t < triangles; ++t) {
        std::int32_t v[3];
        bool inside = true;
        for (int k = 0; k < 3; ++k) {
            v[k] = indexed ? mesh->indices[3 * t + k] : 3 * t + k;
            inside = inside && v[k] < mesh->vertexCount;
        }
        if (!inside) continue;
        const D3DXVECTOR3 p[3] = {VertexPosition(mesh, v[0]), VertexPosition(mesh, v[1]),
                                  VertexPosition(mesh, v[2])};
        float u = 0, w = 0, distance = 0;
        if (!D3DXIntersectTri(&p[0], &p[1], &p[2], &localStart, &direction, &u, &w, &distance))
            continue;
        distance *= scale;
        // Hits behind the start are not on the segment's way.
        if (!(distance >= 0)) continue;
        if (hit->nearest != 0 && !(distance > 0 && distance < hit->nearest)) continue;
        hit->nearest = distance;
        hit->frame = index;
        hit->mesh = mesh;
        for (int k = 0; k < 3; ++k) {
            hit->vertex[k] = v[k];
            hit->position[k] = p[k];
        }
    }
}

// Merges a response into the running one, axis by axis, keeping the larger push.
void MergeResponse(D3DXVECTOR3* merged, const D3DXVECTOR3& response) {
    for (int axis = 0; axis < 3; ++axis)
        if (std::fabs(response[axis]) > std::fabs((*merged)[axis]))
            (*merged)[axis] = response[axis];
}

bool CameraPosition(D3DXVECTOR3* position) {
    const CameraBridge& c = g_Object3D.cameras;
    CameraRecord* camera = c.getInternalData ? c.getInternalData(g_Collision.camera) : nullptr;
    if (!camera) return false;
    *position = camera->position;
    return true;
}

// The camera body placed at the camera, unturned.
void PlaceCameraBody(const D3DXVECTOR3& position) {
    ObjectPosition& p = g_CameraBody.position;
    p.position = position;
    p.matWorld._41 = position.x;
    p.matWorld._42 = position.y;
    p.matWorld._43 = position.z;
    p.angle = D3DXVECTOR3(0, 0, 0);
}

bool Responds(const ObjectRecord* object) {
    return object && object->collision.enabled && object->collision.responseMode > 0;
}

// The objects of one automatic-collision pass: index -1 is the camera body, which takes part
// only once a camera is bound to it.
template <typename Fn> void ForEachCollider(Fn&& fn) {
    if (g_Collision.cameraBound) fn(-1, &g_CameraBody);
    const Object3DState& s = g_Object3D;
    for (std::int32_t i = 0; s.usedNumbers && i < s.usedCount; ++i) {
        const std::int32_t n = s.usedNumbers[i];
        if (ObjectRecord* object = ObjectAt(n)) fn(n, object);
    }
}

void PutBack(std::int32_t number, ObjectRecord* mover) {
    ObjectPosition& p = mover->position;
    if (g_Collision.pairResponseValid == 1 && mover->collision.responseMode == 1)
        p.position -= g_Collision.response;
    else
        p.position = p.oldPosition;
    const D3DXVECTOR3 turn = p.angle - p.oldAngle;
    if (std::fabs(turn.x) + std::fabs(turn.y) + std::fabs(turn.z) > 0 &&
        mover->collision.type != 1) {
        p.angle = p.oldAngle;
        p.matFreeFlight = p.oldFreeFlight;
        UpdateObjectLookVectors(mover);
        mover->collision.centreFixed = 0;
    }
    g_Collision.pairResponseValid = 1;
    if (number == -1) {
        PlaceCameraBody(p.position);
        const CameraBridge& c = g_Object3D.cameras;
        if (c.position) c.position(g_Collision.camera, p.position.x, p.position.y, p.position.z);
    } else {
        // Later tests this frame read the world translation.
        UpdateObjectWorld(mover);
    }
}

} // namespace

// Settings.

void SetCollisionRadiusBox(ObjectRecord* object, float radius) {
    if (!object) return;
    CollisionBlock& c = object->collision;
    c.minimum = D3DXVECTOR3(-radius, -radius, -radius);
    c.maximum = D3DXVECTOR3(radius, radius, radius);
    c.centre = D3DXVECTOR3(0, 0, 0);
    c.centreFixed = 0;
}

void SetCollisionRadius(ObjectRecord* object, float radius) {
    if (!object) return;
    object->collision.cullingRadius = radius;
    if (radius > 0)
        SetCollisionRadiusBox(object, radius);
    else
        object->collision.secondRadius = radius;
}

void EnableObjectCollision(ObjectRecord* object) {
    if (object) object->collision.enabled = 1;
}

void DisableObjectCollision(ObjectRecord* object) {
    if (!object) return;
    object->collision.enabled = 0;
    object->collision.responseMode = 0;
}

void SetCollisionRecord(ObjectRecord* object, const D3DXVECTOR3& minimum,
                        const D3DXVECTOR3& maximum, std::int32_t flag) {
    if (!object) return;
    CollisionBlock& c = object->collision;
    c.customBox = 1;
    c.minimum = minimum;
    c.maximum = maximum;
    c.boxUse = c.responseFlag = flag != 1 ? 1 : 0;
    c.centreFixed = 0;
}

void SetCollisionBoxData(ObjectRecord* object, float x1, float y1, float z1, float x2, float y2,
                         float z2, std::int32_t flag) {
    SetCollisionRecord(object, D3DXVECTOR3(x1, y1, z1), D3DXVECTOR3(x2, y2, z2), flag);
}

void ClearCollisionBoxData(ObjectRecord* object) {
    if (object) object->collision.customBox = 0;
}

void SetCollisionToBoxes(ObjectRecord* object) {
    if (!object) return;
    object->collision.type = 1;
    object->collision.boxUse = 1;
}

void SetCollisionToSpheres(ObjectRecord* object) {
    if (!object) return;
    object->collision.type = 2;
    object->collision.boxUse = 0;
}

void SetCollisionToPolygons(ObjectRecord* object) {
    if (!object) return;
    object->collision.type = 3;
    object->collision.boxUse = 0;
}

void EnableCollisionChecks() {
    g_Collision.checksEnabled = 1;
}

void DisableCollisionChecks() {
    g_Collision.checksEnabled = 0;
}

std::uint8_t CollisionChecksEnabled() {
    return g_Collision.checksEnabled;
}

std::int32_t IsCollisionCheckActive() {
    return g_Object3D.universeCollision.ground == 1 ? 1 : 0;
}

void SetAutomaticCollision(ObjectRecord* object, float radius, std::int32_t mode) {
    if (!object) return;
    if (radius > 0) {
        object->collision.cullingRadius = radius;
        SetCollisionRadiusBox(object, radius);
    }
    object->collision.responseMode = mode + 1;
    object->collision.responseFlag = 1;
    object->position.oldPosition = object->position.position;
}

void SetAutoCameraCollision(std::int32_t camera, float radius, std::int32_t mode,
                            std::int32_t moveRule) {
    if (camera < 0 || camera > kLargestItemNumber) return RaiseRuntimeError(kCameraNumberIllegal);
    const CameraBridge& c = g_Object3D.cameras;
    if (!c.getInternalData) return;
    CameraRecord* record = c.getInternalData(camera);
    if (!record) return RaiseRuntimeError(kCameraMissing);

    g_Collision.cameraMoveRule = moveRule;
    g_Collision.camera = camera;
    g_Collision.cameraBound = 1;
    ObjectRecord& body = g_CameraBody;
    CollisionBlock& b = body.collision;
    b.cullingRadius = radius;
    SetCollisionRadiusBox(&body, radius);
    b.minimum.y *= kCameraBodyHeight;
    b.maximum.y *= kCameraBodyHeight;
    b.enabled = 1;
    b.boxUse = 1;
    b.type = 2;
    b.responseMode = mode + 1;
    b.customBox = 0;
    // The body's rotation and scale are fixed; its translation follows the camera.
    body.position.angle = D3DXVECTOR3(0, 0, 0);
    CalculateObjectWorld(&body, nullptr);
    PlaceCameraBody(record->position);
    body.position.oldPosition = record->position;
    g_Collision.cameraSnapshot = record->position;
}

void SetAutoCameraCollisionSimple(std::int32_t camera, float radius, std::int32_t mode) {
    SetAutoCameraCollision(camera, radius, mode, 0);
}

ObjectRecord* CameraCollisionBody() {
    return &g_CameraBody;
}

// Tests.

std::int32_t CheckObjectPairCollision(std::int32_t number1, ObjectRecord* object1,
                                      std::int32_t number2, ObjectRecord* object2) {
    (void)number1;
    if (!object1 || !object2) return 0;
    const std::int32_t type1 = object1->collision.type, type2 = object2->collision.type;
    std::int32_t type = type1;
    if (type1 == 3 || type2 == 3)
        type = 3;
    else if (type1 == 2 || type2 == 2)
        type = 2;
    ObjectRecord* first = object1;
    ObjectRecord* second = object2;
    if (type == 3 && type1 != 3) std::swap(first, second);

    switch (type) {
    case 1: {
        const D3DXVECTOR3 c1 = CentreOf(first), c2 = CentreOf(second);
        const float depth = SphereOverlapDepth(c1.x, c1.y, c1.z, SphereRadius(first), c2.x, c2.y,
                                               c2.z, SphereRadius(second));
        if (!(depth > 0)) return 0;
        const D3DXVECTOR3 apart = c2 - c1;
        const float distance = Length(apart);
        // Coincident centres have no direction to push along.
        g_Collision.response = distance > 0 ? apart * (depth / distance) : D3DXVECTOR3(0, 0, 0);
        g_Collision.pairResponseValid = 1;
        return number2;
    }
    case 2:
        g_Collision.pairResponseValid = 1;
        return CheckObjectPolygonCollision(first, second) != 0 ? number2 : 0;
    case 3:
        if (CheckObjectPolygonCollision(first, second) == 0) return 0;
        return ProbesHit(first, second) ? number2 : 0;
    default:
        return 0;
    }
}

std::int32_t CheckObjectCollision(std::int32_t number1, ObjectRecord* object1, std::int32_t number2,
                                  ObjectRecord* object2) {
    if (!Takes(object1)) return 0;
    if (object2) {
        if (!Takes(object2)) return 0;
        g_Collision.pairResponseValid = object1->collision.customBox;
        const std::int32_t result =
            object1->collision.customBox
                ? CheckObjectPolygonCollision(object1, object2)
                : CheckObjectPairCollision(number1, object1, number2, object2);
        return result > 0 ? 1 : result;
    }

    D3DXVECTOR3 merged(0, 0, 0);
    std::int32_t found = 0;
    const Object3DState& s = g_Object3D;
    for (std::int32_t i = 0; s.usedNumbers && i < s.usedCount; ++i) {
        const std::int32_t n = s.usedNumbers[i];
        ObjectRecord* other = ObjectAt(n);
        if (!Takes(other) || other == object1) continue;
        std::int32_t result;
        if (object1->collision.customBox) {
            g_Collision.pairResponseValid = 1;
            result = CheckObjectPolygonCollision(object1, other);
            if (result >= 1) found = n;
        } else {
            g_Collision.pairResponseValid = 0;
            result = CheckObjectPairCollision(number1, object1, n, other);
            if (result >= 1) found = result;
        }
        if (result != 0) MergeResponse(&merged, g_Collision.response);
    }
    g_Collision.response = merged;
    return found;
}

std::int32_t ObjectCollisionById(std::int32_t a, std::int32_t b) {
    if (!g_Collision.checksEnabled) return 0;
    return CheckObjectCollision(a, ObjectAt(a), b, b != 0 ? ObjectAt(b) : nullptr);
}

std::int32_t ObjectCollision(std::int32_t a, std::int32_t b) {
    if (!ConfirmObjectInstance(a)) return 0;
    if (b != 0 && !ConfirmObjectInstance(b)) return 0;
    return ObjectCollisionById(a, b);
}

std::int32_t ObjectHit(std::int32_t a, std::int32_t b) {
    if (!ConfirmObject(a)) return 0;
    if (b != 0 && !ConfirmObject(b)) return 0;
    const std::int32_t result = ObjectCollisionById(a, b);
    std::int32_t& last = ObjectAt(a)->collision.lastHit;
    if (last == 0 || last == -1) {
        if (result > 0) last = b >= 1 ? b : result;
        return result > 0 ? result : 0;
    }
    if ((b == 0 || b == last) && result == 0) last = 0;
    return 0;
}

std::int32_t GetObjectCollisionWith(std::int32_t a, std::int32_t limbA, std::int32_t b,
                                    std::int32_t limbB) {
    if (!ConfirmObjectInstance(a) || !ConfirmObjectInstance(b)) return 0;
    ObjectRecord* objectA = ObjectAt(a);
    ObjectRecord* objectB = ObjectAt(b);
    const ObjectRecord* ownerA = FrameOwner(objectA);
    const ObjectRecord* ownerB = FrameOwner(objectB);
    if (!ownerA->frames || ownerA->frameCount <= 0) return -1;
    for (std::int32_t i = 0; i < ownerA->frameCount; ++i) {
        FrameRecord* frameA = ownerA->frames[i];
        if (!frameA || !frameA->mesh || (limbA != -1 && limbA != i)) continue;
        for (std::int32_t j = 0; ownerB->frames && j < ownerB->frameCount; ++j) {
            FrameRecord* frameB = ownerB->frames[j];
            if (!frameB || !frameB->mesh) continue;
            CalculateFrameWorldData(objectA, frameA);
            CopyGlueMatrices(objectA, frameA, frameA->mesh);
            CalculateFrameWorldData(objectB, frameB);
            CopyGlueMatrices(objectB, frameB, frameB->mesh);
            const D3DXMATRIX& worldA = frameA->worldMatrix;
            const D3DXMATRIX& worldB = frameB->worldMatrix;
            if (!CheckMeshTriangleCollision(
                    D3DXVECTOR3(worldA._41, worldA._42, worldA._43), worldA, frameA->mesh->bounds,
                    D3DXVECTOR3(worldB._41, worldB._42, worldB._43), worldB, frameB->mesh->bounds))
                continue;
            if (limbB == -1) return j;
            if (limbB == j) return 1;
        }
    }
    return -1;
}

std::int32_t GetObjectHitWith(std::int32_t a, std::int32_t limbA, std::int32_t b,
                              std::int32_t limbB) {
    if (!ConfirmObject(a)) return -1;
    const std::int32_t result = GetObjectCollisionWith(a, limbA, b, limbB);
    std::int32_t& stored = ObjectAt(a)->collision.lastHit;
    const bool fresh = result != -1 && (stored == -1 || result != stored);
    stored = result;
    return fresh ? result : -1;
}

bool IntersectObjectRay(ObjectRecord* object, float x1, float y1, float z1, float x2, float y2,
                        float z2, float* distance) {
    if (distance) *distance = 0;
    if (!object) return false;
    const ObjectRecord* owner = FrameOwner(object);
    const D3DXVECTOR3 start(x1, y1, z1), end(x2, y2, z2);
    RayHit hit;
    for (std::int32_t i = 0; owner->frames && i < owner->frameCount; ++i) {
        FrameRecord* frame = owner->frames[i];
        if (!frame || !frame->mesh) continue;
        if (object->instanceData && i < object->instanceDataLength && object->instanceData[i] == 0)
            continue;
        IntersectFrame(object, frame, i, start, end, &hit);
    }
    if (distance) *distance = hit.nearest;
    if (!(hit.nearest > 0)) return false;

    CollisionRayResult& r = g_Collision.ray;
    r.frame = hit.frame;
    r.boneFrame = BoneFrameOf(hit.mesh, static_cast<std::uint32_t>(hit.vertex[0]));
    for (int k = 0; k < 3; ++k) {
        r.vertex[k] = hit.vertex[k];
        r.vertexPosition[k] = hit.position[k];
    }
    D3DXVECTOR3 direction = end - start;
    D3DXVec3Normalize(&direction, &direction);
    r.hit = start + direction * hit.nearest;
    r.further[0] = r.further[1] = D3DXVECTOR3(0, 0, 0);
    FillCollisionChecklist();
    return true;
}

float IntersectObject(ObjectRecord* object, float x1, float y1, float z1, float x2, float y2,
                      float z2) {
    if (!object) return 0;
    bool converted = false;
    const ObjectRecord* owner = FrameOwner(object);
    for (std::int32_t i = 0; owner->frames && i < owner->frameCount; ++i) {
        FrameRecord* frame = owner->frames[i];
        if (frame && frame->mesh && ConvertStripToList(frame->mesh)) converted = true;
    }
    if (converted) g_Object3D.manager.RefreshIfMeshChanged(object);
    float distance = 0;
    return IntersectObjectRay(object, x1, y1, z1, x2, y2, z2, &distance) ? distance : 0.0f;
}

void FillCollisionChecklist() {
    CoreData* core = g_Object3D.core;
    if (!core) return;
    constexpr std::int32_t kRows = 9;
    for (std::int32_t row = 0; row < kRows; ++row)
        if (!ReserveChecklistString(row, 256)) return;
    core->checklistMade = core->checklistHasValues = core->checklistHasStrings = 1;
    core->checklistRowsInUse = kRows;

    const CollisionRayResult& r = g_Collision.ray;
    auto row = [core](std::int32_t i) -> ChecklistEntry& {
        ChecklistEntry& e = core->checklistRows[i];
        std::memset(e.values, 0, sizeof e.values);
        return e;
    };
    auto text = [](ChecklistEntry& e, const char* format, auto... values) {
        std::snprintf(e.string, e.capacity + 1, format, values...);
    };
    auto triple = [&](std::int32_t i, const D3DXVECTOR3& v) {
        ChecklistEntry& e = row(i);
        text(e, "%f,%f,%f", static_cast<double>(v.x), static_cast<double>(v.y),
             static_cast<double>(v.z));
        for (int k = 0; k < 3; ++k)
            std::memcpy(&e.values[4 + k], &v[k], sizeof(float));
    };

    ChecklistEntry& frames = row(0);
    text(frames, "%d,%d", static_cast<int>(r.frame), static_cast<int>(r.boneFrame));
    frames.values[0] = r.frame;
    frames.values[1] = r.boneFrame;
    ChecklistEntry& vertices = row(1);
    text(vertices, "%d,%d,%d", static_cast<int>(r.vertex[0]), static_cast<int>(r.vertex[1]),
         static_cast<int>(r.vertex[2]));
    for (int k = 0; k < 3; ++k)
        vertices.values[k] = r.vertex[k];
    for (int k = 0; k < 3; ++k)
        triple(2 + k, r.vertexPosition[k]);
    triple(5, r.hit);
    triple(6, r.further[0]);
    triple(7, r.further[1]);
    triple(8, r.further[0]);
}

// Values.

float GetCollisionRecordRadius(ObjectRecord* object) {
    return object ? object->collision.cullingRadius : 0.0f;
}

float GetCollisionRadius(ObjectRecord* object) {
    return object ? object->collision.cullingRadius : 0.0f;
}

float GetCollisionCentreX(ObjectRecord* object) {
    return object ? object->collision.centre.x : 0.0f;
}
float GetCollisionCentreY(ObjectRecord* object) {
    return object ? object->collision.centre.y : 0.0f;
}
float GetCollisionCentreZ(ObjectRecord* object) {
    return object ? object->collision.centre.z : 0.0f;
}

float GetObjectCentreX(ObjectRecord* object) {
    return UpdateObjectCentre(object) ? object->collision.centreOffset.x : 0.0f;
}
float GetObjectCentreY(ObjectRecord* object) {
    return UpdateObjectCentre(object) ? object->collision.centreOffset.y : 0.0f;
}
float GetObjectCentreZ(ObjectRecord* object) {
    return UpdateObjectCentre(object) ? object->collision.centreOffset.z : 0.0f;
}

std::int32_t IsVector3Different(const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    return a->x != b->x || a->y != b->y || a->z != b->z ? 1 : 0;
}

float SphereOverlapDepth(float x1, float y1, float z1, float r1, float x2, float y2, float z2,
                         float r2) {
    const float dx = x2 - x1, dy = y2 - y1, dz = z2 - z1;
    const float depth = r1 + r2 - std::sqrt(dx * dx + dy * dy + dz * dz);
    return depth > 0 ? depth : 0.0f;
}

bool CollisionBoxesOverlap(const D3DXVECTOR3& position1, const D3DXVECTOR3& minimum1,
                           const D3DXVECTOR3& maximum1, const D3DXVECTOR3& position2,
                           const D3DXVECTOR3& minimum2, const D3DXVECTOR3& maximum2) {
    for (int axis = 0; axis < 3; ++axis) {
        const float low1 = minimum1[axis] + position1[axis];
        const float high1 = maximum1[axis] + position1[axis];
        const float low2 = minimum2[axis] + position2[axis];
        const float high2 = maximum2[axis] + position2[axis];
        if (!(low1 <= high2 && high1 >= low2)) return false;
    }
    return true;
}

float GetPolygonCollisionX() {
    return g_Collision.response.x;
}
float GetPolygonCollisionY() {
    return g_Collision.response.y;
}
float GetPolygonCollisionZ() {
    return g_Collision.response.z;
}
float GetPolygonCollisionXCmd() {
    return GetPolygonCollisionX();
}
float GetPolygonCollisionYCmd() {
    return GetPolygonCollisionY();
}
float GetPolygonCollisionZCmd() {
    return GetPolygonCollisionZ();
}

namespace {
// The block's floats in order, after its valid byte.
float ResultFloat(int i) {
    const CollisionResult& b = g_Object3D.universeCollision;
    const float floats[] = {b.endPosition.x, b.endPosition.y, b.endPosition.z, b.further1[0],
                            b.further1[1],   b.further1[2],   b.movement.x};
    return floats[i];
}
} // namespace

float GetCollisionResultA() {
    return ResultFloat(0);
}
float GetCollisionResultB() {
    return ResultFloat(1);
}
float GetCollisionResultC() {
    return ResultFloat(2);
}
float GetCollisionResultD() {
    return ResultFloat(3);
}
float GetCollisionResultE() {
    return ResultFloat(4);
}
float GetCollisionResultF() {
    return ResultFloat(5);
}
float GetCollisionResultG() {
    return ResultFloat(6);
}
std::int32_t GetCollisionResultCount() {
    return g_Object3D.universeCollision.count;
}
std::int32_t GetCollisionResultIndex() {
    return g_Object3D.universeCollision.index;
}

// The per-frame passes.

void RunAutomaticCollision() {
    if (!g_Collision.checksEnabled) return;
    ForEachCollider([](std::int32_t number, ObjectRecord* object) {
        ObjectPosition& p = object->position;
        if (Responds(object)) {
            object->collision.moved = 0;
            D3DXVECTOR3 camera;
            if (number == -1 && CameraPosition(&camera)) {
                PlaceCameraBody(camera);
                g_Collision.cameraSnapshot = camera;
            }
        }
        p.oldPosition = p.position;
        p.oldAngle = p.angle;
        p.oldFreeFlight = p.matFreeFlight;
    });
    g_Collision.snapshotTaken = 1;
}

void UpdateAutomaticCameraCollision(std::int32_t) {
    if (!g_Collision.checksEnabled || !g_Collision.snapshotTaken) return;
    g_Collision.snapshotTaken = 0;
    ForEachCollider([](std::int32_t moverNumber, ObjectRecord* mover) {
        if (!Responds(mover)) return;
        if (moverNumber == -1) {
            D3DXVECTOR3 camera;
            if (!CameraPosition(&camera)) return;
            PlaceCameraBody(camera);
            mover->collision.moved =
                IsVector3Different(&camera, &g_Collision.cameraSnapshot) ? 1 : 0;
        }
        if (mover->collision.moved != 1) return;
        const bool stillOnly = g_Collision.cameraMoveRule == 1 && moverNumber != -1;
        ForEachCollider([&](std::int32_t otherNumber, ObjectRecord* other) {
            if (other == mover || !other->collision.enabled) return;
            if (stillOnly &&
                IsVector3Different(&other->position.position, &other->position.oldPosition))
                return;
            const std::int32_t number2 = otherNumber == -1 ? kCameraBodyNumber : otherNumber;
            if (CheckObjectCollision(moverNumber, mover, number2, other) > 0)
                PutBack(moverNumber, mover);
        });
    });
}
