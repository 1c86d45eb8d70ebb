// The object commands that reach object collision: per-object collision settings and boxes, the
// global switch, the segment test, automatic object and camera collision and the collision
// values. Each checks the object first (an instance fails that check silently) and forwards to
// object3d/collision.h. The plain pair, hit, static-box and result commands are in
// object3d/collision.h and object3d/static_boxes.h themselves.
#pragma once

#include <cstdint>

struct ObjectRecord;

void SetObjectCollisionOn(std::int32_t n);
void SetObjectCollisionOff(std::int32_t n);
// The object's own box, in object space; flag 1 turns the axis-aligned push-out off.
void MakeObjectCollisionBox(std::int32_t n, float x1, float y1, float z1, float x2, float y2,
                            float z2, std::int32_t flag);
void DeleteObjectCollisionBox(std::int32_t n);
void SetObjectCollisionToBoxes(std::int32_t n);
void SetObjectCollisionToSpheres(std::int32_t n);
void SetObjectCollisionToPolygons(std::int32_t n);
void SetObjectRadius(std::int32_t n, float radius);
void SetGlobalCollisionOn();
void SetGlobalCollisionOff();

// The distance along the segment from (x1, y1, z1) to (x2, y2, z2) to the nearest triangle of
// the object its line meets; 0 when there is none within the segment.
float IntersectObjectCmd(std::int32_t n, float x1, float y1, float z1, float x2, float y2,
                         float z2);
// The same on a record, for other modules: no check, and a hit beyond the segment's end is
// returned as it is.
float IntersectObjectRecord(ObjectRecord* object, float x1, float y1, float z1, float x2, float y2,
                            float z2);

// response 0 slides the object out along the response; other values put it back.
void AutomaticObjectCollision(std::int32_t n, float radius, std::int32_t response);
void AutomaticCameraCollision(std::int32_t camera, float radius, std::int32_t response);
void AutomaticCameraCollision(std::int32_t camera, float radius, std::int32_t response,
                              std::int32_t flag);
void UpdateCameraCollisionCmd();

float ObjectCollisionRadius(std::int32_t n);
float ObjectCollisionCentreX(std::int32_t n);
float ObjectCollisionCentreY(std::int32_t n);
float ObjectCollisionCentreZ(std::int32_t n);
