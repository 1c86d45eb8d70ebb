#include "core/win32.h"

#include "object3d/object_state.h"
#include "object3d/static_boxes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

class StaticBoxes : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteStaticCollisionBoxes();
        g_Object3D.universeCollision.valid = 0;
    }
    void TearDown() override { DeleteStaticCollisionBoxes(); }
};

void ExpectVector(const D3DXVECTOR3& v, float x, float y, float z) {
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
}

// A line of sight along +x from the origin to (10, 0, 0) with a probe of width 0.5.
std::int32_t SightAlongX(float accuracy, D3DXVECTOR3* point) {
    return GetStaticLineOfSight(0, 0, 0, 10, 0, 0, 0.5f, accuracy, point);
}

// A box from x to x + 1, two units high and deep, on the x axis.
void BoxOnXAxis(float x) {
    MakeStaticCollisionBox(x, -1, -1, x + 1, 1, 1);
}

} // namespace

TEST_F(StaticBoxes, AnEmptyListNeitherHitsNorBlocksAndDeletingEmptiesIt) {
    D3DXVECTOR3 correction(5, 5, 5), point(5, 5, 5);
    const D3DXVECTOR3 low(0, 0, 0), high(1, 1, 1);
    EXPECT_EQ(GetStaticCollisionHit(low, high, low, high, &correction), 0);
    ExpectVector(correction, 0, 0, 0);
    EXPECT_EQ(StaticLineOfSightCmd(1, 2, 3, 20, 2, 3, 1, 1), 0);
    EXPECT_FLOAT_EQ(GetStaticLineOfSightXCmd(), 1);
    EXPECT_FLOAT_EQ(GetStaticLineOfSightZCmd(), 3);
    EXPECT_EQ(MakeStaticCollisionBoxCmd(1, 2, 3, 4, 5, 6), 1);
    DeleteStaticCollisionBoxesCmd();
    EXPECT_EQ(GetStaticBoxList().first, nullptr);
    MakeStaticCollisionBox(1, 2, 3, 4, 5, 6); // taken again after emptying, in order
    MakeStaticCollisionBox(7, 8, 9, 10, 11, 12);
    ASSERT_NE(GetStaticBoxList().first, nullptr);
    EXPECT_EQ(GetStaticBoxList().first->x1, 1);
    EXPECT_EQ(GetStaticBoxList().first->next->z2, 12);
}

TEST_F(StaticBoxes, MovingBoxHitsTheLowerXFaceButNotTheUpper) {
    MakeStaticCollisionBox(0, 0, 0, 10, 10, 10);
    D3DXVECTOR3 c;
    // Resting on the upper x face is outside; on the lower one, inside.
    EXPECT_EQ(GetStaticCollisionHit({10, 2, 2}, {12, 4, 4}, {10, 2, 2}, {12, 4, 4}, &c), 0);
    EXPECT_EQ(GetStaticCollisionHit({-2, 2, 2}, {0, 4, 4}, {-2, 2, 2}, {0, 4, 4}, &c), 1);
    // Moved in from the low x side by 0.5: pushed back by exactly that on x. The getters give
    // the universe's movement only until this test runs.
    g_Object3D.universeCollision.valid = 1;
    g_Object3D.universeCollision.movement = D3DXVECTOR3(7, 8, 9);
    EXPECT_FLOAT_EQ(GetStaticCollisionXCmd(), 7);
    EXPECT_EQ(GetStaticCollisionHitCmd(-3, 2, 2, -1, 4, 4, -1.5f, 2, 2, 0.5f, 4, 4), 1);
    EXPECT_FLOAT_EQ(GetStaticCollisionXCmd(), 0.5f);
    EXPECT_FLOAT_EQ(GetStaticCollisionYCmd(), 0);
    EXPECT_FLOAT_EQ(GetStaticCollisionZCmd(), 0);
    // From above: the correction is on y and negative, so that subtracting it lifts the box.
    EXPECT_EQ(GetStaticCollisionHit({2, 11, 2}, {4, 13, 4}, {2, 9, 2}, {4, 11, 4}, &c), 1);
    ExpectVector(c, 0, -1, 0);
}

TEST_F(StaticBoxes, EqualDistancesPickTheEarlierFaceAndLaterBoxesOverwriteTheirAxisOnly) {
    MakeStaticCollisionBox(0, 0, 0, 10, 10, 10);
    D3DXVECTOR3 c;
    // One unit from both the low x and the low y face: x wins.
    ASSERT_EQ(GetStaticCollisionHit({-3, -3, 2}, {-1, -1, 8}, {-2, -2, 2}, {1, 1, 8}, &c), 1);
    ExpectVector(c, 1, 0, 0);
    // Nearer the low y face: y wins.
    ASSERT_EQ(GetStaticCollisionHit({-3, -3, 2}, {-1.5f, -1, 8}, {-2, -2, 2}, {1, 1, 8}, &c), 1);
    ExpectVector(c, 0, 1, 0);
    // A second box met on z adds its z correction and keeps the first box's y.
    MakeStaticCollisionBox(-5, -5, 9, 5, 5, 20);
    ASSERT_EQ(GetStaticCollisionHit({-3, -3, 2}, {-1.5f, -1, 8}, {-2, -2, 2}, {1, 1, 9.5f}, &c), 1);
    ExpectVector(c, 0, 1, 0.5f);
}

TEST_F(StaticBoxes, LineOfSightStopsOneStepBeforeTheNearestBox) {
    BoxOnXAxis(7);
    BoxOnXAxis(3); // made later but nearer: it decides
    D3DXVECTOR3 point;
    EXPECT_EQ(SightAlongX(1, &point), 1);
    ExpectVector(point, 2, 0, 0);
    EXPECT_EQ(StaticLineOfSightCmd(0, 0, 0, 10, 0, 0, 0.5f, 1), 1);
    EXPECT_FLOAT_EQ(GetStaticLineOfSightXCmd(), 2);
    EXPECT_FLOAT_EQ(GetStaticLineOfSightYCmd(), 0);
    // Backwards and diagonally, from (10, 0, 10) towards the origin, with a thin probe.
    DeleteStaticCollisionBoxes();
    MakeStaticCollisionBox(4, -1, 4, 5, 1, 5);
    EXPECT_EQ(GetStaticLineOfSight(10, 0, 10, 0, 0, 0, 0, 1, &point), 1);
    ExpectVector(point, 6, 0, 6);
    // Rising over the same box: the y of each step counts as well.
    EXPECT_EQ(GetStaticLineOfSight(0, 0, 0, 10, 10, 10, 0, 1, &point), 0);
}

TEST_F(StaticBoxes, AccuracyDividesTheStepsNotTheirLength) {
    BoxOnXAxis(7);
    D3DXVECTOR3 point;
    EXPECT_EQ(SightAlongX(0, &point), 1); // 0 or less means 1
    ExpectVector(point, 6, 0, 0);
    EXPECT_EQ(SightAlongX(2, &point), 0); // five steps: the box lies beyond them
    ExpectVector(point, 0, 0, 0);
    DeleteStaticCollisionBoxes();
    BoxOnXAxis(15);
    EXPECT_EQ(SightAlongX(1, &point), 0);
    EXPECT_EQ(SightAlongX(0.5f, &point), 1); // twenty steps: past the end of the line
    ExpectVector(point, 14, 0, 0);
    // Far past it, with far more steps than could be walked one by one.
    EXPECT_EQ(GetStaticLineOfSight(0, 0, 0, 10, 0, 0, 0, 1e-14f, &point), 1);
    ExpectVector(point, 14, 0, 0);
}

TEST_F(StaticBoxes, ABoxAroundTheFirstStepDoesNotBlock) {
    MakeStaticCollisionBox(-1, -1, -1, 1, 1, 1);
    D3DXVECTOR3 point;
    EXPECT_EQ(SightAlongX(1, &point), 0);
    ExpectVector(point, 0, 0, 0);
    // Another box still blocks, in either order; the line began inside, so the last free point
    // is its start.
    BoxOnXAxis(7);
    EXPECT_EQ(SightAlongX(1, &point), 1);
    ExpectVector(point, 0, 0, 0);
    DeleteStaticCollisionBoxes();
    BoxOnXAxis(7);
    MakeStaticCollisionBox(-1, -1, -1, 1, 1, 1);
    EXPECT_EQ(SightAlongX(1, &point), 1);
    ExpectVector(point, 0, 0, 0);
}

TEST_F(StaticBoxes, LinesWithoutHorizontalRunAreNeverBlocked) {
    MakeStaticCollisionBox(-5, -5, -5, 5, 5, 5);
    D3DXVECTOR3 point;
    EXPECT_EQ(GetStaticLineOfSight(0, -20, 0, 0, 20, 0, 1, 1, &point), 0);
    ExpectVector(point, 0, -20, 0);
    EXPECT_EQ(GetStaticLineOfSight(-9, 0, 0, -8.5f, 0, 0, 1, 1, &point), 0); // under a unit
    EXPECT_EQ(GetStaticLineOfSight(-9, 0, 0, 9, 0, 0, std::nanf(""), 1, &point), 0);
}
