#include "core/win32.h"

#include "camera/camera.h"
#include "core/frame_loop.h"
#include "object3d/collision.h"
#include "object3d/collision_state.h"
#include "object3d/positioning.h"
#include "object3d/primitive_makers.h"
#include "support/object_scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

ObjectRecord* Object(std::int32_t n) {
    return g_Object3D.objects[n];
}

// A cube of the given size with an explicit collision radius.
ObjectRecord* Cube(std::int32_t n, float size, float radius, float x, float y, float z) {
    MakeObjectBox(n, size);
    PositionObject(n, x, y, z);
    SetCollisionRadius(Object(n), radius);
    return Object(n);
}

class CollisionTables : public ObjectTables {
protected:
    void SetUp() override {
        ObjectTables::SetUp();
        g_Collision = CollisionState{};
    }
    void TearDown() override {
        g_Collision = CollisionState{};
        ObjectTables::TearDown();
    }
};

std::string Row(std::int32_t row) {
    return g_CoreData->checklistRows[row].string;
}

float RowFloat(std::int32_t row, int k) {
    float f;
    std::memcpy(&f, &g_CoreData->checklistRows[row].values[4 + k], sizeof f);
    return f;
}

} // namespace

TEST_F(CollisionTables, PairTypesPickTheTest) {
    ObjectRecord* a = Cube(1, 2, 3, 0, 0, 0);
    ObjectRecord* b = Cube(2, 2, 4, 3, 0, -4); // centres 5 apart, radii 3 + 4: 2 deep
    a->collision.type = 1;
    b->collision.type = 0;
    EXPECT_EQ(CheckObjectPairCollision(1, a, 2, b), 2);
    EXPECT_NEAR(GetPolygonCollisionX(), 1.2f, 1e-5);
    EXPECT_NEAR(GetPolygonCollisionZ(), -1.6f, 1e-5);
    EXPECT_EQ(g_Collision.pairResponseValid, 1);
    // The first object's type decides below type 2.
    EXPECT_EQ(CheckObjectPairCollision(2, b, 1, a), 0);
    a->collision.type = 7;
    EXPECT_EQ(CheckObjectPairCollision(1, a, 2, b), 0);

    // Spheres that only touch do not collide; a scale grows the sphere.
    a->collision.type = 1;
    SetCollisionRadius(a, 1);
    EXPECT_EQ(CheckObjectPairCollision(1, a, 2, b), 0);
    ScaleObject(1, 110, 110, 110);
    EXPECT_EQ(CheckObjectPairCollision(1, a, 2, b), 2);
    EXPECT_FLOAT_EQ(SphereOverlapDepth(0, 0, 0, 1, 2, 0, 0, 1), 0.0f);
    EXPECT_FLOAT_EQ(SphereOverlapDepth(0, 0, 0, 1, 1.5f, 0, 0, 1), 0.5f);
}

TEST_F(CollisionTables, AProbeHitAtExactlyItsLengthCounts) {
    BuildBox(1, 1); // top face at y = 1
    SetCollisionToPolygons(Object(1));
    // Probe 0 runs from y = 0 to y = 1: the face lies exactly at its end.
    ObjectRecord* b = Cube(2, 0.5f, 0.5f, 0, 0.5f, 0);
    SetCollisionRadiusBox(b, 0.25f);
    EXPECT_EQ(CheckObjectPairCollision(2, b, 1, Object(1)), 1);
    EXPECT_FLOAT_EQ(g_Collision.ray.hit.y, 1.0f);
    // Just short of the face: no probe reaches a triangle.
    SetCollisionRadius(b, 0.49f);
    SetCollisionRadiusBox(b, 0.25f);
    PositionObject(2, 0, 0.5f, 0);
    EXPECT_EQ(CheckObjectPairCollision(2, b, 1, Object(1)), 0);
}

TEST_F(CollisionTables, AgainstAllMergesTheLargestPushPerAxis) {
    ObjectRecord* mover = Cube(1, 2, 3, 0, 0, 0);
    mover->collision.type = 1;
    Cube(2, 2, 4, 3, 0, -4)->collision.type = 1; // response (1.2, 0, -1.6)
    Cube(3, 2, 4, -4, 0, 3)->collision.type = 1; // response (-1.6, 0, 1.2)
    Cube(4, 2, 1, 50, 0, 0)->collision.type = 1; // far away
    EXPECT_EQ(ObjectCollision(1, 0), 3);
    EXPECT_NEAR(GetPolygonCollisionX(), -1.6f, 1e-5);
    EXPECT_NEAR(GetPolygonCollisionY(), 0.0f, 1e-6);
    EXPECT_NEAR(GetPolygonCollisionZ(), -1.6f, 1e-5);
    EXPECT_EQ(ObjectCollision(1, 2), 1);
    EXPECT_EQ(ObjectCollision(1, 4), 0);

    // Excluded, disabled or switched off: nothing.
    Object(3)->collision.excluded = 1;
    EXPECT_EQ(ObjectCollision(1, 0), 2);
    DisableObjectCollision(Object(2));
    EXPECT_EQ(ObjectCollision(1, 0), 0);
    EXPECT_FLOAT_EQ(GetPolygonCollisionX(), 0.0f);
    EnableObjectCollision(Object(2));
    DisableCollisionChecks();
    EXPECT_EQ(ObjectCollision(1, 2), 0);
    EnableCollisionChecks();
    EXPECT_EQ(ObjectCollision(1, 99), 0);
    EXPECT_EQ(errors.Last(), 7008);
}

TEST_F(CollisionTables, ObjectHitReportsOnceUntilTheObjectsSeparate) {
    Cube(1, 2, 1, 0, 0, 0);
    Cube(2, 2, 1, 1, 0, 0);
    EXPECT_EQ(ObjectHit(1, 2), 1);
    EXPECT_EQ(Object(1)->collision.lastHit, 2);
    EXPECT_EQ(ObjectHit(1, 2), 0);
    PositionObject(2, 10, 0, 0);
    EXPECT_EQ(ObjectHit(1, 2), 0);
    EXPECT_EQ(Object(1)->collision.lastHit, 0);
    PositionObject(2, 1, 0, 0);
    EXPECT_EQ(ObjectHit(1, 2), 1);
    // Against all: the number hit is kept.
    Object(1)->collision.lastHit = 0;
    EXPECT_EQ(ObjectHit(1, 0), 2);
    EXPECT_EQ(ObjectHit(1, 0), 0);
}

TEST_F(CollisionTables, SettingsKeepTheirWords) {
    ObjectRecord* a = Cube(1, 2, 3, 0, 0, 0);
    SetCollisionRadius(a, 0);
    EXPECT_EQ(a->collision.cullingRadius, 0.0f);
    EXPECT_EQ(a->collision.secondRadius, 0.0f);
    EXPECT_EQ(a->collision.maximum, D3DXVECTOR3(3, 3, 3)); // the box stays
    SetCollisionRadius(a, -2);
    EXPECT_EQ(a->collision.secondRadius, -2.0f);

    SetCollisionBoxData(a, -1, -2, -3, 1, 2, 3, 1);
    EXPECT_EQ(a->collision.customBox, 1);
    EXPECT_EQ(a->collision.boxUse, 0);
    EXPECT_EQ(a->collision.responseFlag, 0);
    SetCollisionBoxData(a, -1, -2, -3, 1, 2, 3, 0);
    EXPECT_EQ(a->collision.boxUse, 1);
    EXPECT_EQ(a->collision.responseFlag, 1);
    ClearCollisionBoxData(a);
    EXPECT_EQ(a->collision.customBox, 0);

    SetAutomaticCollision(a, 0, 1);
    EXPECT_EQ(a->collision.responseMode, 2);
    DisableObjectCollision(a);
    EXPECT_EQ(a->collision.responseMode, 0);

    g_Object3D.universeCollision.ground = 1;
    EXPECT_EQ(IsCollisionCheckActive(), 1);
    g_Object3D.universeCollision.ground = 0;
    EXPECT_EQ(IsCollisionCheckActive(), 0);
}

TEST_F(CollisionTables, ARayHitsTheNearFaceAndFillsTheChecklist) {
    BuildBox(1, 1);
    // Through the centre, crossing the front face at (0.05, 0.02) inside its first triangle.
    const float distance = IntersectObject(Object(1), 0.5f, 0.2f, -10, -0.5f, -0.2f, 10);
    const float length = std::sqrt(1.0f + 0.16f + 400.0f);
    EXPECT_NEAR(distance, length * 9 / 20, 1e-3);
    const CollisionRayResult& r = g_Collision.ray;
    EXPECT_EQ(r.frame, 0);
    EXPECT_EQ(r.boneFrame, -1);
    EXPECT_EQ(r.vertex[0], 0);
    EXPECT_EQ(r.vertex[1], 1);
    EXPECT_EQ(r.vertex[2], 2);
    EXPECT_EQ(r.vertexPosition[1], D3DXVECTOR3(1, 1, -1));
    EXPECT_NEAR(r.hit.x, 0.05f, 1e-4);
    EXPECT_NEAR(r.hit.y, 0.02f, 1e-4);
    EXPECT_NEAR(r.hit.z, -1.0f, 1e-4);

    EXPECT_EQ(g_CoreData->checklistRowsInUse, 9);
    EXPECT_EQ(Row(0), "0,-1");
    EXPECT_EQ(Row(1), "0,1,2");
    EXPECT_EQ(g_CoreData->checklistRows[1].values[2], 2);
    EXPECT_EQ(Row(3), "1.000000,1.000000,-1.000000");
    EXPECT_NEAR(RowFloat(5, 2), -1.0f, 1e-4);
    EXPECT_EQ(Row(8), Row(6));

    // A miss leaves the block and the checklist as they were.
    const std::string hitRow = Row(5);
    EXPECT_EQ(IntersectObject(Object(1), 5, 5, -10, 5, 5, 10), 0.0f);
    EXPECT_NEAR(g_Collision.ray.hit.x, 0.05f, 1e-4);
    EXPECT_EQ(Row(5), hitRow);

    // Moved and turned, the object is hit where it now stands.
    PositionObject(1, 0, 0, 20);
    YRotateObject(1, 90);
    EXPECT_NEAR(IntersectObject(Object(1), 0, 0, 0, 0, 0, 40), 19.0f, 1e-3);

    // A triangle naming a vertex outside the mesh is skipped.
    PositionObject(1, 0, 0, 0);
    YRotateObject(1, 0);
    FirstMesh(1)->indices[0] = 999;
    EXPECT_EQ(IntersectObject(Object(1), 0.5f, 0.2f, -10, -0.5f, -0.2f, 10) > 9.5f, true);
}

TEST_F(CollisionTables, AnObjectPushedIntoABoxSlidesAlongIt) {
    MakeObjectBox(1, 2, 2, 20); // a wall from x = -1 to 1, z = -10 to 10
    Cube(2, 1, 0.5f, -3, 0, -1);
    SetAutomaticCollision(Object(2), 0, 0);
    float z = -1;
    for (int frame = 0; frame < 12; ++frame) {
        RunAutomaticCollision();
        z += 0.25f;
        PositionObject(2, ObjectPositionX(2) + 0.25f, 0, z);
        UpdateAutomaticCameraCollision();
    }
    // Stopped against the face at x = -1, carried on along z.
    EXPECT_LE(ObjectPositionX(2), -1.5f + 1e-3f);
    EXPECT_GT(ObjectPositionX(2), -2.0f);
    EXPECT_NEAR(ObjectPositionZ(2), 2.0f, 1e-3);

    // Mode 1 returns to where the frame began.
    SetAutomaticCollision(Object(2), 0, 1);
    PositionObject(2, -1.6f, 0, 0);
    RunAutomaticCollision();
    PositionObject(2, -1.2f, 0, 0);
    UpdateAutomaticCameraCollision();
    EXPECT_FLOAT_EQ(ObjectPositionX(2), -1.6f);
    // Without a snapshot the response pass does nothing.
    PositionObject(2, -1.2f, 0, 0);
    UpdateAutomaticCameraCollision();
    EXPECT_FLOAT_EQ(ObjectPositionX(2), -1.2f);
}

class CameraCollision : public ObjectScene {
protected:
    void SetUp() override {
        ObjectScene::SetUp();
        g_Collision = CollisionState{};
    }
    void TearDown() override {
        g_Collision = CollisionState{};
        ObjectScene::TearDown();
    }
};

TEST_F(CameraCollision, TheCameraBodyIsCheckedAndPutBack) {
    SetAutoCameraCollision(-1, 1, 0, 0);
    EXPECT_EQ(cell.number, 7201);
    cell.number = 0;
    SetAutoCameraCollisionSimple(5, 1, 0);
    EXPECT_EQ(cell.number, 7203);
    cell.number = 0;

    SetAutoCameraCollisionSimple(0, 2, 0);
    const CollisionBlock& body = CameraCollisionBody()->collision;
    EXPECT_FLOAT_EQ(body.maximum.x, 2.0f);
    EXPECT_FLOAT_EQ(body.maximum.y, 6.6f);
    EXPECT_FLOAT_EQ(body.minimum.y, -6.6f);
    EXPECT_EQ(body.responseMode, 1);

    MakeObjectBox(1, 10);
    PositionObject(1, 0, 0, 20); // front face at z = 15
    Sync();
    PositionCamera(0, 0, 0, 16);
    Sync();
    EXPECT_LE(CameraPositionZ(0), 13.0f + 1e-3f);
    EXPECT_EQ(cell.number, 0);
    // Moving freely is left alone.
    PositionCamera(0, 0, 0, 5);
    Sync();
    EXPECT_FLOAT_EQ(CameraPositionZ(0), 5.0f);
}
