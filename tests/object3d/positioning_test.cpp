#include "core/win32.h"

#include "support/object_scene.h"
#include "object3d/object_world.h"
#include "object3d/positioning.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

ObjectRecord* Object(std::int32_t n) {
    return g_Object3D.objects[n];
}

float FromBits(std::int32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

void ExpectVector(const D3DXVECTOR3& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-4);
    EXPECT_NEAR(v.y, y, 1e-4);
    EXPECT_NEAR(v.z, z, 1e-4);
}

} // namespace

TEST_F(ObjectTables, ScaleSetsFactorsAndRadii) {
    BuildBox(1, 1);
    CollisionBlock& c = Object(1)->collision;
    c.cullingRadius = c.poseRadius;
    ASSERT_TRUE(ScaleObject(1, 100, 200, 50));
    ExpectVector(Object(1)->position.scale, 1, 2, 0.5f);
    EXPECT_FLOAT_EQ(c.scaledRadius, 2 * c.radius);
    EXPECT_FLOAT_EQ(c.cullingRadius, 2 * c.poseRadius);
    EXPECT_NEAR(Object(1)->position.matWorld._22, 2, 1e-6); // rebuilt at once

    // A mirrored axis counts by its size; scaling to nothing keeps the object tested.
    ASSERT_TRUE(ScaleObject(1, -300, 100, 100));
    EXPECT_FLOAT_EQ(c.scaledRadius, 3 * c.radius);
    ASSERT_TRUE(ScaleObject(1, 0, 0, 0));
    ASSERT_TRUE(ScaleObject(1, 100, 100, 100));
    EXPECT_FLOAT_EQ(c.cullingRadius, c.poseRadius);
    Object(1)->largeRadius = 1;
    ASSERT_TRUE(ScaleObject(1, 50, 50, 50));
    EXPECT_FLOAT_EQ(c.cullingRadius, c.poseRadius + 3000);
}

TEST_F(ObjectTables, FreeFlightTurnsAreAboutTheObjectsOwnAxes) {
    BuildBox(1, 1);
    ObjectPosition& p = Object(1)->position;
    ASSERT_TRUE(TurnObjectRight(1, 90));
    EXPECT_EQ(p.matrixMode, 1);
    ExpectVector(p.look, 1, 0, 0);
    EXPECT_NEAR(ObjectAngleY(1), 90, 1e-3); // read back after the turn, not before it
    p.angle = D3DXVECTOR3(0, 0, 0);         // no longer drives the rotation
    ASSERT_TRUE(UpdateObjectWorld(Object(1)));
    EXPECT_NEAR(p.matWorld._31, 1, 1e-5);

    ASSERT_TRUE(PitchObjectDown(1, 90)); // about its own x axis, now the world's -z
    ExpectVector(p.look, 0, -1, 0);
    ASSERT_TRUE(PitchObjectUp(1, 90));
    ASSERT_TRUE(RollObjectLeft(1, 90));
    ExpectVector(p.up, 0, 0, 1);
    ASSERT_TRUE(RollObjectRight(1, 90));
    ASSERT_TRUE(TurnObjectLeft(1, 45));

    ASSERT_TRUE(RotateObject(1, 0, 0, 0));
    EXPECT_EQ(p.matrixMode, 0);
    EXPECT_NEAR(p.matWorld._11, 1, 1e-6);
    ExpectVector(p.look, 0, 0, 1);
}

TEST_F(ObjectTables, MovesFollowTheObjectsAxes) {
    BuildBox(1, 1);
    ObjectPosition& p = Object(1)->position;
    CollisionBlock& c = Object(1)->collision;
    ASSERT_TRUE(ZRotateObject(1, 30));
    ASSERT_TRUE(PointObject(1, 10, 0, 0)); // from the origin: a quarter turn right, no roll
    ExpectVector(p.angle, 0, 90, 0);

    ASSERT_TRUE(PositionObject(1, 1, 2, 3));
    c.centreFixed = 1;
    c.moved = 0;
    ASSERT_TRUE(MoveObject(1, 5)); // along look, now +x
    EXPECT_EQ(c.moved, 1);
    EXPECT_EQ(c.centreFixed, 1); // a move keeps the centre offset
    ExpectVector(p.position, 6, 2, 3);
    ExpectVector(p.oldPosition, 1, 2, 3);
    ASSERT_TRUE(MoveObjectLeft(1, 2)); // right is -z
    ASSERT_TRUE(MoveObjectUp(1, 1));
    ExpectVector(p.position, 6, 3, 5);
    ExpectVector(p.oldPosition, 1, 2, 3); // only PositionObject and MoveObject keep it
    ASSERT_TRUE(MoveObjectRight(1, 2));
    ASSERT_TRUE(MoveObjectDown(1, 3));
    EXPECT_NEAR(p.matWorld._42, 0, 1e-5);
    EXPECT_NEAR(p.matWorld._43, 3, 1e-5);
    ASSERT_TRUE(YRotateObject(1, 0));
    EXPECT_EQ(c.centreFixed, 0); // a turn moves the centre about the position
}

TEST_F(ObjectTables, PositioningChecksTheNumberFirst) {
    EXPECT_EQ(ObjectPositionX(0), 0);
    EXPECT_EQ(errors.Last(), 7006);
    EXPECT_EQ(ObjectPositionX(5), 0);
    EXPECT_EQ(errors.Last(), 7008);
    errors.Clear();
    EXPECT_FALSE(MoveObject(5, 1));
    EXPECT_EQ(errors.Last(), 7008);
    float v[3] = {9, 9, 9};
    EXPECT_EQ(GetObjectAngleVector(v, 5), v);
    EXPECT_EQ(v[0] + v[1] + v[2], 0);

    BuildBox(1, 1);
    MakeInstance(2, 1);
    PositionObjectExport(2, 4, 0, 0); // instances have their own place
    EXPECT_FLOAT_EQ(GetObjectPositionVector(v, 2)[0], 4);
    EXPECT_EQ(ObjectPositionX(1), 0);
}

TEST_F(ObjectTables, WorldPositionOfAGluedObjectIsTheLimbs) {
    ASSERT_TRUE(CreateNewObjectWithLimbs(1, "arm", 2));
    ASSERT_TRUE(SetupNewObject(1, -1.0f));
    ObjectRecord* arm = Object(1);
    D3DXMatrixRotationY(&arm->frames[1]->combinedMatrix, D3DX_PI / 2);
    arm->frames[1]->combinedMatrix._41 = 5; // the hand: turned, and 5 along x
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));
    BuildBox(2, 1);
    ASSERT_TRUE(PositionObject(2, 0, 0, 2));
    EXPECT_FLOAT_EQ(FromBits(ObjectWorldPositionX(2)), 0); // unglued: its position

    ObjectPosition& ring = Object(2)->position;
    ring.glued = 1;
    ring.glueObject = 1;
    ring.glueLimb = 1;
    EXPECT_NEAR(FromBits(ObjectWorldPositionX(2)), 7, 1e-5); // 2 along z, turned to x, plus 5
    EXPECT_NEAR(GetObjectWorldPositionZ(2), 10, 1e-5);
    arm->position.position.z = 20; // no command since: the getter brings both up to date
    EXPECT_NEAR(FromBits(ObjectWorldPositionZ(2)), 20, 1e-5);
    EXPECT_FLOAT_EQ(ObjectPositionX(2), 0);
}
