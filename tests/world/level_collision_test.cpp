// Spheres and ellipsoids swept through small levels built in engine units: stopping short of a
// wall, sliding, corners and the depth limit, ellipsoid space, shaders that let bodies through,
// curved patches, the one-ellipsoid test, and damaged level data that slipped past loading.
#include "core/win32.h"

#include "world/level_builder.h"
#include "world/level_collision.h"
#include "world/shader_table.h"
#include "world/world_level.h"
#include "world/world_state.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr float kNear = 0.0005f;

class LevelCollision : public ::testing::Test {
protected:
    void TearDown() override {
        FreeLevelData();
        FreeWorldTable();
        g_World.flags = 0;
    }
    // A wall across x = 10 facing back towards the origin.
    void LoadWall() {
        builder.Wall(D3DXVECTOR3(10, 0, 0), D3DXVECTOR3(-1, 0, 0), 50);
        ASSERT_EQ(LoadBuiltLevel(builder.Bytes()), 1);
    }
    D3DXVECTOR3 Sweep(const D3DXVECTOR3& from, const D3DXVECTOR3& to, const D3DXVECTOR3& radii,
                      std::int32_t* contact = nullptr, std::int32_t depth = kLevelSlideDepth) {
        D3DXVECTOR3 out(-99, -99, -99);
        const std::int32_t hit = CollideWithLevel(from, to, radii, &out, depth);
        if (contact) *contact = hit;
        return out;
    }
    LevelBuilder builder;
};

TEST_F(LevelCollision, AMoveUnderTheSmallestStaysWhereItIs) {
    LoadWall();
    std::int32_t contact = -1;
    const D3DXVECTOR3 at = Sweep(D3DXVECTOR3(8.9985f, 0, 0), D3DXVECTOR3(9.0005f, 0, 0),
                                 D3DXVECTOR3(1, 1, 1), &contact);
    EXPECT_EQ(contact, 0);
    EXPECT_FLOAT_EQ(at.x, 8.9985f);
    // Far from the wall a free move ends just short of where it was sent.
    const D3DXVECTOR3 free =
        Sweep(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(-5, 0, 0), D3DXVECTOR3(1, 1, 1), &contact);
    EXPECT_EQ(contact, 0);
    EXPECT_NEAR(free.x, -5 + kLevelContactGap, kNear);
}

TEST_F(LevelCollision, ASphereStopsShortOfAWallAndSlidesAlongIt) {
    LoadWall();
    std::int32_t contact = 0;
    D3DXVECTOR3 at =
        Sweep(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(20, 0, 0), D3DXVECTOR3(1, 1, 1), &contact);
    EXPECT_EQ(contact, 1);
    EXPECT_NEAR(at.x, 10 - 1 - kLevelContactGap, kNear);
    EXPECT_NEAR(at.y, 0, kNear);
    EXPECT_NEAR(at.z, 0, kNear);
    // Diagonally it keeps its way along the wall.
    at = Sweep(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(20, 0, 10), D3DXVECTOR3(1, 1, 1), &contact);
    EXPECT_EQ(contact, 1);
    EXPECT_LT(at.x, 9.0f);
    EXPECT_GT(at.x, 8.99f);
    EXPECT_GT(at.z, 9.0f);
    EXPECT_NEAR(at.y, 0, kNear);
    // Moving away from the wall touches nothing.
    at = Sweep(D3DXVECTOR3(8, 0, 0), D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 1, 1), &contact);
    EXPECT_EQ(contact, 0);
}

TEST_F(LevelCollision, InACornerTheSlidesStopAtTheDepthLimit) {
    builder.Wall(D3DXVECTOR3(10, 0, 0), D3DXVECTOR3(-1, 0, 0), 50);
    builder.Wall(D3DXVECTOR3(0, 0, 10), D3DXVECTOR3(0, 0, -1), 50);
    ASSERT_EQ(LoadBuiltLevel(builder.Bytes()), 1);
    std::int32_t contact = 0;
    const D3DXVECTOR3 from(0, 0, 0), to(30, 0, 40);
    // One sweep: stopped at the first contact on the way in.
    const D3DXVECTOR3 first = Sweep(from, to, D3DXVECTOR3(1, 1, 1), &contact, 1);
    EXPECT_EQ(contact, 1);
    EXPECT_NEAR(first.x / first.z, 30.0f / 40.0f, 0.001f);
    // Two: one slide along the first wall met.
    const D3DXVECTOR3 slid = Sweep(from, to, D3DXVECTOR3(1, 1, 1), &contact, 2);
    EXPECT_GT(slid.x, first.x + 0.5f);
    // Five: wedged in the corner, short of both walls; more sweeps find no way further.
    const D3DXVECTOR3 wedged = Sweep(from, to, D3DXVECTOR3(1, 1, 1), &contact, 5);
    EXPECT_EQ(contact, 1);
    const D3DXVECTOR3 further = Sweep(from, to, D3DXVECTOR3(1, 1, 1), &contact, 50);
    for (const D3DXVECTOR3& at : {wedged, further}) {
        EXPECT_GT(at.x, 8.9f);
        EXPECT_LE(at.x, 10 - 1 - kLevelContactGap + 0.0001f);
        EXPECT_GT(at.z, 8.9f);
        EXPECT_LE(at.z, 10 - 1 - kLevelContactGap + 0.0001f);
    }
    EXPECT_FLOAT_EQ(wedged.z, further.z);
    // No limit of zero or less moves anything.
    const D3DXVECTOR3 none = Sweep(from, to, D3DXVECTOR3(1, 1, 1), &contact, 0);
    EXPECT_EQ(contact, 0);
    EXPECT_FLOAT_EQ(none.x, 0);
}

TEST_F(LevelCollision, EllipsoidsReachAsFarAsTheirRadii) {
    builder.Wall(D3DXVECTOR3(10, 0, 0), D3DXVECTOR3(-1, 0, 0), 50);
    builder.Wall(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 1, 0), 50); // a floor at y = 0
    ASSERT_EQ(LoadBuiltLevel(builder.Bytes()), 1);
    // Equal radii are a sphere of that radius.
    D3DXVECTOR3 at =
        Sweep(D3DXVECTOR3(0, 5, 0), D3DXVECTOR3(20, 5, 0), D3DXVECTOR3(1.5f, 1.5f, 1.5f));
    EXPECT_NEAR(at.x, 10 - 1.5f - kLevelContactGap, kNear);
    // Along x an ellipsoid (1.5, 3, 1.5) reaches as far as the sphere (its gap is in its own
    // space, so 1.5 times as wide).
    at = Sweep(D3DXVECTOR3(0, 5, 0), D3DXVECTOR3(20, 5, 0), D3DXVECTOR3(1.5f, 3, 1.5f));
    EXPECT_NEAR(at.x, 10 - 1.5f - 1.5f * kLevelContactGap, kNear);
    // Falling onto the floor: radii (1, 2, 1) stop twice as high as a unit sphere.
    const D3DXVECTOR3 sphere =
        Sweep(D3DXVECTOR3(0, 10, 0), D3DXVECTOR3(0, -10, 0), D3DXVECTOR3(1, 1, 1));
    const D3DXVECTOR3 tall =
        Sweep(D3DXVECTOR3(0, 10, 0), D3DXVECTOR3(0, -10, 0), D3DXVECTOR3(1, 2, 1));
    EXPECT_NEAR(sphere.y, 1 + kLevelContactGap, kNear);
    EXPECT_NEAR(tall.y, 2 * (1 + kLevelContactGap), kNear);
}

TEST_F(LevelCollision, NonsolidShadersLetBodiesThroughUnlessTheyClipPlayers) {
    const char script[] =
        "textures/test/ghost\n{\n surfaceparm nonsolid\n}\n"
        "textures/test/clip\n{\n surfaceparm nonsolid\n surfaceparm playerclip\n}\n";
    ParseShaderHeader(reinterpret_cast<const std::uint8_t*>(script), std::strlen(script), "a.pk3",
                      "scripts/t.shader");
    builder.Wall(D3DXVECTOR3(10, 0, 0), D3DXVECTOR3(-1, 0, 0), 50, "textures/test/ghost");
    builder.Wall(D3DXVECTOR3(-10, 0, 0), D3DXVECTOR3(1, 0, 0), 50, "textures/test/clip");
    ASSERT_EQ(LoadBuiltLevel(builder.Bytes()), 1);
    std::int32_t contact = 1;
    D3DXVECTOR3 at =
        Sweep(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(20, 0, 0), D3DXVECTOR3(1, 1, 1), &contact);
    EXPECT_EQ(contact, 0);
    EXPECT_GT(at.x, 19.9f);
    at = Sweep(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(-20, 0, 0), D3DXVECTOR3(1, 1, 1), &contact);
    EXPECT_EQ(contact, 1);
    EXPECT_NEAR(at.x, -10 + 1 + kLevelContactGap, kNear);
}

// A polygon whose vertices are no fan (as merged polygons in level files are) collides through
// the triangles the file lists for it.
TEST_F(LevelCollision, APolygonCollidesThroughItsListedTriangles) {
    LoadWall();
    WorldLevel& level = WorldLevelData();
    ASSERT_EQ(level.faces[0].triangleIndexCount, 6);
    std::swap(level.vertices[1], level.vertices[2]);
    const std::uint16_t listed[6] = {0, 2, 1, 0, 1, 3};
    std::copy(listed, listed + 6, level.indices.begin() + level.faces[0].firstTriangleIndex);
    // Where the fan over the reordered corners leaves a hole.
    std::int32_t contact = 0;
    const D3DXVECTOR3 at =
        Sweep(D3DXVECTOR3(0, 0, 25), D3DXVECTOR3(20, 0, 25), D3DXVECTOR3(1, 1, 1), &contact);
    EXPECT_EQ(contact, 1);
    EXPECT_NEAR(at.x, 10 - 1 - kLevelContactGap, kNear);
    // The fan alone would have let the body through there.
    level.faces[0].triangleIndexCount = 0;
    Sweep(D3DXVECTOR3(0, 0, 25), D3DXVECTOR3(20, 0, 25), D3DXVECTOR3(1, 1, 1), &contact);
    EXPECT_EQ(contact, 0);
}

TEST_F(LevelCollision, CurvedPatchesBlockLikePolygons) {
    builder.FlatPatch(D3DXVECTOR3(-20, 0, -20), D3DXVECTOR3(40, 0, 0), D3DXVECTOR3(0, 0, 40),
                      D3DXVECTOR3(0, 1, 0), "textures/test/floor");
    ASSERT_EQ(LoadBuiltLevel(builder.Bytes()), 1);
    ASSERT_EQ(WorldLevelData().patches.size(), 1u);
    std::int32_t contact = 0;
    const D3DXVECTOR3 at =
        Sweep(D3DXVECTOR3(3, 10, 4), D3DXVECTOR3(3, -10, 4), D3DXVECTOR3(1, 1, 1), &contact);
    EXPECT_EQ(contact, 1);
    EXPECT_NEAR(at.y, 1 + kLevelContactGap, kNear);
    // From below, the side its normals turn away from, the patch lets the body through.
    Sweep(D3DXVECTOR3(3, -10, 4), D3DXVECTOR3(3, 10, 4), D3DXVECTOR3(1, 1, 1), &contact);
    EXPECT_EQ(contact, 0);
}

TEST_F(LevelCollision, OneEllipsoidBlocksOnlyAMoveThatCrossesIt) {
    const D3DXVECTOR3 centre(0, 0, 0), radii(2, 1, 1);
    D3DXVECTOR3 out;
    // The ellipsoid sits 10 above the point given.
    EXPECT_EQ(
        MoveThroughEllipsoid(D3DXVECTOR3(-5, 10, 0), D3DXVECTOR3(5, 10, 0), centre, radii, &out),
        1);
    EXPECT_FLOAT_EQ(out.x, -5);
    EXPECT_EQ(
        MoveThroughEllipsoid(D3DXVECTOR3(-5, 0, 0), D3DXVECTOR3(5, 0, 0), centre, radii, &out), 0);
    EXPECT_FLOAT_EQ(out.x, 5);
    // Short of it: only the forward probe meets it.
    EXPECT_EQ(
        MoveThroughEllipsoid(D3DXVECTOR3(-9, 10, 0), D3DXVECTOR3(-5, 10, 0), centre, radii, &out),
        0);
    EXPECT_FLOAT_EQ(out.x, -5);
    // x radius 2: a move at x = 1.5 crosses it, at 2.5 passes beside it.
    EXPECT_EQ(MoveThroughEllipsoid(D3DXVECTOR3(1.5f, 10, -5), D3DXVECTOR3(1.5f, 10, 5), centre,
                                   radii, &out),
              1);
    EXPECT_EQ(MoveThroughEllipsoid(D3DXVECTOR3(2.5f, 10, -5), D3DXVECTOR3(2.5f, 10, 5), centre,
                                   radii, &out),
              0);
    EXPECT_EQ(MoveThroughEllipsoid(D3DXVECTOR3(-5, 10, 0), D3DXVECTOR3(5, 10, 0), centre,
                                   D3DXVECTOR3(0, 1, 1), &out),
              0);
}

TEST_F(LevelCollision, NoLevelOrNoShapeMovesFreely) {
    std::int32_t contact = 1;
    D3DXVECTOR3 at =
        Sweep(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(20, 0, 0), D3DXVECTOR3(1, 1, 1), &contact);
    EXPECT_EQ(contact, 0);
    EXPECT_FLOAT_EQ(at.x, 20);
    LoadWall();
    for (const D3DXVECTOR3& radii :
         {D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, -1, 1), D3DXVECTOR3(1, NAN, 1)}) {
        at = Sweep(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(20, 0, 0), radii, &contact);
        EXPECT_EQ(contact, 0);
        EXPECT_FLOAT_EQ(at.x, 20);
    }
    at = Sweep(D3DXVECTOR3(NAN, 0, 0), D3DXVECTOR3(20, 0, 0), D3DXVECTOR3(1, 1, 1), &contact);
    EXPECT_EQ(contact, 0);
}

// Level data damaged after loading (as by a loader fault): the walk meets a node cycle, leaf
// faces and faces that point outside their arrays, and still ends.
TEST_F(LevelCollision, DamagedLevelDataEndsTheWalkWithoutReadingOutside) {
    builder.Wall(D3DXVECTOR3(10, 0, 0), D3DXVECTOR3(-1, 0, 0), 50);
    builder.FlatPatch(D3DXVECTOR3(-20, 0, -20), D3DXVECTOR3(40, 0, 0), D3DXVECTOR3(0, 0, 40),
                      D3DXVECTOR3(0, 1, 0), "textures/test/floor");
    ASSERT_EQ(LoadBuiltLevel(builder.Bytes()), 1);
    WorldLevel& level = WorldLevelData();
    level.file.nodes[0].children[0] = 0; // node 0 is its own child
    level.file.nodes[0].children[1] = -1000;
    level.file.leafFaces.push_back(1 << 30);
    level.file.leaves[0].leafFaceCount += 5;
    level.faces[0].vertexCount = 1 << 20;
    level.faces[1].patch = 77;
    std::int32_t contact = 1;
    Sweep(D3DXVECTOR3(0, 5, 0), D3DXVECTOR3(20, 5, 0), D3DXVECTOR3(1, 1, 1), &contact);
    EXPECT_EQ(contact, 0);
}

} // namespace
