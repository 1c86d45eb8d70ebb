#include "core/win32.h"

#include "support/object_scene.h"
#include "object3d/sliding_collision.h"
#include "universe/universe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace {

using V = CollisionVector;

// The module with a world of the test's own; its triangles are in the space the universe's
// divisor makes, as the world stores them.
class SlidingCollision : public ObjectTables {
protected:
    void SetUp() override {
        ObjectTables::SetUp();
        made_ = std::exchange(g_Object3D.universe, &world);
        SetCollisionBackFaceCull(0);
    }
    void TearDown() override {
        g_Object3D.universe = made_; // ours: the Destructor must not delete it
        SetCollisionTriangles(0, nullptr, 0);
        ObjectTables::TearDown();
    }
    // The square centre +- u +- v as two triangles facing along u x v.
    void AddQuad(const V& c, const V& u, const V& v, std::int32_t tag) {
        const V corners[6] = {c - u - v, c + u - v, c + u + v, c - u - v, c + u + v, c - u + v};
        for (int t = 0; t < 2; ++t) {
            float floats[9];
            for (int k = 0; k < 3; ++k) {
                const V& p = corners[3 * t + k];
                floats[3 * k] = p.x, floats[3 * k + 1] = p.y, floats[3 * k + 2] = p.z;
            }
            world.AppendTriangle(floats, tag);
        }
    }
    void ClearWorld() { world.triangleFloats = 0; }
    void AddFloor(std::int32_t tag = 1) { AddQuad({0, 0, 0}, {0, 0, 10}, {10, 0, 0}, tag); }
    // The unit sphere with the world's settings.
    const SlideResult& Slide(const V& from, const V& velocity) {
        PrepareUniverseCollision();
        SetCollisionEllipsoidRadius({1, 1, 1});
        return *CollideAndSlide(from, velocity);
    }
    Universe world;
    Universe* made_ = nullptr;
};

void ExpectVector(const V& v, float x, float y, float z, float within = 1e-4f) {
    EXPECT_NEAR(v.x, x, within);
    EXPECT_NEAR(v.y, y, within);
    EXPECT_NEAR(v.z, z, within);
}

// The fields of the universe block that a slide writes, and the valid byte it leaves alone.
void ExpectSameBlock(const CollisionResult& a, const CollisionResult& b) {
    EXPECT_TRUE(a.endPosition == b.endPosition);
    EXPECT_TRUE(a.movement == b.movement);
    EXPECT_EQ(a.count, b.count);
    EXPECT_EQ(a.index, b.index);
    EXPECT_EQ(a.ground, b.ground);
    EXPECT_EQ(a.valid, b.valid);
}

CollisionPacket Packet(const V& base, const V& velocity) {
    CollisionPacket p;
    p.basePoint = base;
    p.velocity = velocity;
    p.normalizedVelocity = velocity;
    p.normalizedVelocity.Normalize();
    p.velocityLength = velocity.Length();
    p.nearestDistance = 1e7f;
    return p;
}

} // namespace

TEST_F(SlidingCollision, FreeMoveEndsAtTargetAndLeavesTheBlock) {
    AddQuad({0, 0, 50}, {0, 10, 0}, {10, 0, 0}, 7); // far beyond the move
    const SlideResult& r = Slide({1, 2, 3}, {4, -5, 6});
    EXPECT_EQ(r.hit, 0);
    ExpectVector(r.finalPosition, 5, -3, 9);

    std::memset(static_cast<void*>(&g_Object3D.universeCollision), 0xAB,
                sizeof g_Object3D.universeCollision);
    const CollisionResult before = g_Object3D.universeCollision;
    PrepareUniverseCollision();
    EXPECT_EQ(SlideAgainstUniverse(0, 0, 0, 30, 60, -20, 10, 30, 10, 1), 0);
    g_Object3D.universe = nullptr;
    PrepareUniverseCollision();
    EXPECT_EQ(SlideAgainstUniverse(0, 0, 0, 0, 0, 600, 10, 30, 10, 1), 0);
    ExpectSameBlock(before, g_Object3D.universeCollision);
}

TEST_F(SlidingCollision, StraightIntoAWallStopsShortWithoutSideways) {
    AddQuad({0, 0, 5}, {0, 10, 0}, {10, 0, 0}, 7);
    const SlideResult& r = Slide({-2, 3, 0}, {0, 0, 20});
    EXPECT_EQ(r.hit, 1);
    ExpectVector(r.finalPosition, -2, 3, 3.99f);
    EXPECT_EQ(r.groundContact, 0);
    EXPECT_EQ(r.triangle, 0);
    SetCollisionUnitsPerMetre(2000); // the stop distance follows the scale
    ExpectVector(CollideAndSlide({-2, 3, 0}, {0, 0, 20})->finalPosition, -2, 3, 3.9f);

    // Through the universe: world units scaled by the divisor, the touched triangle's tag.
    PrepareUniverseCollision();
    ASSERT_EQ(SlideAgainstUniverse(-20, 90, 0, -20, 90, 200, 10, 30, 10, 1), 1);
    const CollisionResult& block = g_Object3D.universeCollision;
    EXPECT_NEAR(block.endPosition.z, 39.9f, 1e-3);
    EXPECT_NEAR(block.endPosition.y, 90, 1e-3);
    EXPECT_NEAR(block.movement.z, 39.9f, 1e-3);
    EXPECT_NEAR(block.movement.x, 0, 1e-3);
    EXPECT_EQ(block.count, 18);
    EXPECT_EQ(block.index, 7);
    EXPECT_EQ(block.ground, 0);
}

TEST_F(SlidingCollision, DiagonalMovesSlideAndOnlyFloorsAreGround) {
    AddFloor();
    const SlideResult& onFloor = Slide({0, 2, 0}, {4, -4, 0});
    EXPECT_EQ(onFloor.hit, 1);
    EXPECT_EQ(onFloor.groundContact, 1);
    EXPECT_NEAR(onFloor.finalPosition.x, 4, 1e-3);
    EXPECT_NEAR(onFloor.finalPosition.y, 1.00707f, 1e-3);

    SetCollisionSliding(0); // stops at the first contact instead
    ExpectVector(CollideAndSlide({0, 2, 0}, {4, -4, 0})->finalPosition, 0.99293f, 1.00707f, 0);

    ClearWorld();
    AddQuad({5, 0, 0}, {0, 0, 10}, {0, 10, 0}, 2); // a wall at x = 5 facing -x
    const SlideResult& onWall = Slide({0, 0, 0}, {8, 0, 8});
    EXPECT_EQ(onWall.hit, 1);
    EXPECT_EQ(onWall.groundContact, 0);
    ExpectVector(onWall.finalPosition, 3.99293f, 0, 8, 1e-3f);
}

TEST_F(SlidingCollision, NearestContactNamesTheTriangleWhateverTheOrder) {
    for (bool floorFirst : {true, false}) {
        ClearWorld();
        if (floorFirst) AddFloor(1);
        AddQuad({2, 0, 0}, {0, 0, 10}, {0, 10, 0}, 2); // wall at x = 2, met before the floor
        if (!floorFirst) AddFloor(1);
        g_Object3D.universeCollision = CollisionResult{};
        PrepareUniverseCollision();
        ASSERT_EQ(SlideAgainstUniverse(0, 90, 0, 40, -30, 0, 10, 30, 10, 1), 1) << floorFirst;
        EXPECT_EQ(g_Object3D.universeCollision.index, 2) << floorFirst;
        EXPECT_EQ(g_Object3D.universeCollision.ground, 0) << floorFirst;
    }
}

TEST_F(SlidingCollision, FacesEdgesAndCornersAreFound) {
    const V a{0, 0, 0}, b{10, 0, 0}, c{0, 10, 0};
    struct Case {
        V base;
        float distance; // along the velocity (0, 0, 10)
        V contact;
    } cases[] = {
        {{2, 2, -5}, 4, {2, 2, 0}},                            // face
        {{5, -0.6f, -5}, 4.2f, {5, 0, 0}},                     // edge a-b
        {{-0.6f, -0.6f, -5}, 5 - std::sqrt(0.28f), {0, 0, 0}}, // corner a
        {{2, 2, 0.5f}, 0, {2, 2, -0.5f}},                      // embedded: a contact at t = 0
    };
    for (const Case& k : cases) {
        CollisionPacket p = Packet(k.base, {0, 0, 10});
        SweepSphereTriangle(p, a, b, c);
        ASSERT_EQ(p.foundCollision, 1) << k.base.x << "," << k.base.y;
        EXPECT_NEAR(p.nearestDistance, k.distance, 1e-4);
        ExpectVector(p.intersectionPoint, k.contact.x, k.contact.y, k.contact.z);
        EXPECT_EQ(p.triangle, -2);
    }
    CollisionPacket miss = Packet({-0.8f, -0.8f, -5}, {0, 0, 10}); // passes the corner by 0.13
    SweepSphereTriangle(miss, a, b, c);
    EXPECT_EQ(miss.foundCollision, 0);
    EXPECT_EQ(miss.triangle, -1);

    // An embedded start stays put and counts as a hit at distance 0.
    AddFloor();
    const SlideResult& r = Slide({2, 0.5f, 3}, {0, -5, 0});
    EXPECT_EQ(r.hit, 1);
    EXPECT_EQ(r.distance, 0);
    ExpectVector(r.finalPosition, 2, 0.5f, 3);
}

TEST_F(SlidingCollision, SettingsChangeTheSweep) {
    AddQuad({0, 0, 5}, {10, 0, 0}, {0, 10, 0}, 3); // faces +z, away from the move
    SetCollisionEllipsoidRadius({1, 1, 1});
    PrepareUniverseCollision();
    EXPECT_NEAR(CollideAndSlide({-2, 3, 0}, {0, 0, 20})->finalPosition.z, 3.99f, 1e-4);
    SetCollisionBackFaceCull(1);
    EXPECT_EQ(CollideAndSlide({-2, 3, 0}, {0, 0, 20})->hit, 0);

    ClearWorld();
    AddFloor();
    PrepareUniverseCollision();
    SetCollisionGravityPass(1);
    SetCollisionGravity({0, -5, 0});
    const SlideResult& r = *CollideAndSlide({0, 1.5f, 0}, {3, 0, 0});
    EXPECT_EQ(r.hit, 1);
    EXPECT_EQ(r.groundContact, 1);
    ExpectVector(r.finalPosition, 3, 1.01f, 0);
}

TEST_F(SlidingCollision, VertexGapSpacesCornersAndTriangles) {
    // Two triangles, two spare floats after every corner; the second is the floor.
    const float x = 99;
    const float data[] = {50, 50, 50, x, x, 51, 50, 50, x, x, 50, 51, 50, x, x,
                          -9, 0,  -9, x, x, -9, 0,  9,  x, x, 9,  0,  -9, x, x};
    PrepareUniverseCollision(); // the world's scale: stops 0.01 short
    SetCollisionEllipsoidRadius({1, 1, 1});
    SetCollisionGravityPass(0);
    SetCollisionTriangles(2, data, 2);
    const SlideResult& r = *CollideAndSlide({-1, 3, -1}, {0, -4, 0});
    EXPECT_EQ(r.hit, 1);
    EXPECT_EQ(r.triangle, 1);
    EXPECT_EQ(r.groundContact, 1);
    ExpectVector(r.finalPosition, -1, 1.01f, -1);
}

TEST_F(SlidingCollision, DegenerateInputGivesNoNaN) {
    AddFloor(4);
    PrepareUniverseCollision();
    ASSERT_EQ(SlideAgainstUniverse(0, 60, 0, 40, -60, 0, 10, 30, 10, 1), 1);
    const CollisionResult sound = g_Object3D.universeCollision;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // The world passes its command's mode as the y radius.
    for (float radius : {0.0f, -3.0f, nan}) {
        g_Object3D.universeCollision = CollisionResult{};
        PrepareUniverseCollision();
        ASSERT_EQ(SlideAgainstUniverse(0, 60, 0, 40, -60, 0, 10, 30, 10, radius), 1);
        SCOPED_TRACE(radius);
        ExpectSameBlock(sound, g_Object3D.universeCollision);
    }
    PrepareUniverseCollision(); // a divisor of 0 counts as 1 too
    ASSERT_EQ(SlideAgainstUniverse(0, 60, 0, 40, -60, 0, 10, 0, 10, 1), 1);
    EXPECT_FALSE(std::isnan(g_Object3D.universeCollision.endPosition.y));

    // An empty move goes nowhere, even embedded; so does the default zero gravity.
    const SlideResult& still = Slide({2, 0.5f, 2}, {0, 0, 0});
    EXPECT_EQ(still.hit, 0);
    ExpectVector(still.finalPosition, 2, 0.5f, 2);
    SetCollisionGravityPass(1);
    ExpectVector(CollideAndSlide({2, 5, 2}, {1, 0, 0})->finalPosition, 3, 5, 2);
    EXPECT_EQ(SlideAgainstUniverse(20, 15, 20, 20, 15, 20, 10, 30, 10, 1), 0);
}
