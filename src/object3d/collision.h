// Object collision: per-object settings, pair and all-object tests, new-hit reports, limb and ray
// tests, the camera's collision body and the two per-frame passes of the automatic response.
#pragma once

#include "core/win32.h"

#include <cstdint>

struct ObjectRecord;

// Settings. The record is given; the command layer has checked the number.
void SetCollisionRadiusBox(ObjectRecord* object, float radius);
// A radius of 0 or less keeps the box and is also kept in the second radius word.
void SetCollisionRadius(ObjectRecord* object, float radius);
void EnableObjectCollision(ObjectRecord* object);
void DisableObjectCollision(ObjectRecord* object); // also ends any automatic response
void SetCollisionRecord(ObjectRecord* object, const D3DXVECTOR3& minimum,
                        const D3DXVECTOR3& maximum, std::int32_t flag);
// The object's own box, always tested as a box; flag 1 turns the axis-aligned push-out off.
void SetCollisionBoxData(ObjectRecord* object, float x1, float y1, float z1, float x2, float y2,
                         float z2, std::int32_t flag);
void ClearCollisionBoxData(ObjectRecord* object);
void SetCollisionToBoxes(ObjectRecord* object);    // type 1: spheres about the box centres
void SetCollisionToSpheres(ObjectRecord* object);  // type 2: boxes
void SetCollisionToPolygons(ObjectRecord* object); // type 3: boxes, then triangle probes
void EnableCollisionChecks();
void DisableCollisionChecks();
std::uint8_t CollisionChecksEnabled();
// 1 when the last world slide ended on the ground.
std::int32_t IsCollisionCheckActive();
// mode 0 slides the object out along the response; other modes put it back where it was.
void SetAutomaticCollision(ObjectRecord* object, float radius, std::int32_t mode);
// Camera collision through a body of its own, 3.3 times taller than wide. moveRule 1 tests moving
// objects only against objects that stayed still this frame.
void SetAutoCameraCollision(std::int32_t camera, float radius, std::int32_t mode,
                            std::int32_t moveRule);
void SetAutoCameraCollisionSimple(std::int32_t camera, float radius, std::int32_t mode);
// The camera's collision body: a record in no object table.
ObjectRecord* CameraCollisionBody();

// Tests. The pair and one-or-all tests take the numbers with the records; object2 null means
// against every object.
std::int32_t CheckObjectPairCollision(std::int32_t number1, ObjectRecord* object1,
                                      std::int32_t number2, ObjectRecord* object2);
std::int32_t CheckObjectCollision(std::int32_t number1, ObjectRecord* object1, std::int32_t number2,
                                  ObjectRecord* object2);
std::int32_t ObjectCollisionById(std::int32_t a, std::int32_t b); // numbers unchecked
std::int32_t ObjectCollision(std::int32_t a, std::int32_t b);     // b 0: against all
// An ongoing collision reported once; again only after the objects have separated.
std::int32_t ObjectHit(std::int32_t a, std::int32_t b);
// Limb-level box test: limbA -1 any limb of a; limbB -1 returns the limb of b hit, a limb of b
// returns 1 when that limb is hit. -1 when nothing is hit.
std::int32_t GetObjectCollisionWith(std::int32_t a, std::int32_t limbA, std::int32_t b,
                                    std::int32_t limbB);
std::int32_t GetObjectHitWith(std::int32_t a, std::int32_t limbA, std::int32_t b,
                              std::int32_t limbB);
// The nearest triangle the world-space segment's line meets; fills the ray result block and the
// checklist on a hit and leaves both alone on a miss.
bool IntersectObjectRay(ObjectRecord* object, float x1, float y1, float z1, float x2, float y2,
                        float z2, float* distance);
float IntersectObject(ObjectRecord* object, float x1, float y1, float z1, float x2, float y2,
                      float z2); // 0 when nothing is hit
void FillCollisionChecklist();

// Values.
float GetCollisionRecordRadius(ObjectRecord* object);
float GetCollisionRadius(ObjectRecord* object);
float GetCollisionCentreX(ObjectRecord* object);
float GetCollisionCentreY(ObjectRecord* object);
float GetCollisionCentreZ(ObjectRecord* object);
float GetObjectCentreX(ObjectRecord* object);
float GetObjectCentreY(ObjectRecord* object);
float GetObjectCentreZ(ObjectRecord* object);
std::int32_t IsVector3Different(const D3DXVECTOR3* a, const D3DXVECTOR3* b);
float SphereOverlapDepth(float x1, float y1, float z1, float r1, float x2, float y2, float z2,
                         float r2);
bool CollisionBoxesOverlap(const D3DXVECTOR3& position1, const D3DXVECTOR3& minimum1,
                           const D3DXVECTOR3& maximum1, const D3DXVECTOR3& position2,
                           const D3DXVECTOR3& minimum2, const D3DXVECTOR3& maximum2);
// The response vector of the last pair test.
float GetPolygonCollisionX();
float GetPolygonCollisionY();
float GetPolygonCollisionZ();
float GetPolygonCollisionXCmd();
float GetPolygonCollisionYCmd();
float GetPolygonCollisionZCmd();
// The world collision block: its first seven floats, its count and index words.
float GetCollisionResultA();
float GetCollisionResultB();
float GetCollisionResultC();
float GetCollisionResultD();
float GetCollisionResultE();
float GetCollisionResultF();
float GetCollisionResultG();
std::int32_t GetCollisionResultCount();
std::int32_t GetCollisionResultIndex();

// The per-frame passes, in this order: the snapshot before the frame's moves, then the response.
void RunAutomaticCollision();
void UpdateAutomaticCameraCollision(std::int32_t unused = 0);
