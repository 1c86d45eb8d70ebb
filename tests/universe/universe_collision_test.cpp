#include "core/win32.h"

#include "universe/universe_scene.h"
#include "universe/universe_collision.h"

#include <cmath>
#include <cstring>

namespace {

const CollisionResult& Block() {
    return g_Object3D.universeCollision;
}

// A ray straight along z at x = -100, y = 20: the doorway level's wall faces it at z = 49.5.
std::int32_t RayAlongZ(float from, float to) {
    return UniverseRayCommand(-100, 20, from, -100, 20, to);
}

// A floor slab whose top lies at y = -40, in a world of one row of cells.
void BuildFloorLevel() {
    CreateUniverse(1050, 1050, 1050);
    AddLevelMesh(BoxMesh({-150, -50, -150}, {150, -40, 150}), 0, 3);
    World().Build();
}

} // namespace

TEST_F(UniverseTables, RaysAnswerTheNearestHitWithinTheSegment) {
    BuildDoorwayLevel();
    EXPECT_EQ(UniverseRayCommand(0, 50, 0, 0, 50, 100), 0); // through the doorway
    EXPECT_EQ(World().rayTested, 1);
    EXPECT_EQ(World().rayContact.mesh, nullptr);
    EXPECT_EQ(RayAlongZ(49.1f, 60), 1);  // 0.4 away
    EXPECT_EQ(RayAlongZ(36.6f, 60), 12); // 12.9 away
    ASSERT_NE(World().rayContact.mesh, nullptr);
    EXPECT_NEAR(World().rayContact.point.z, 49.5f, 1e-3f);
    EXPECT_NEAR(World().rayContact.normal.z, -1, 1e-4f);
    const MeshRecord* wall = World().rayContact.mesh;

    // The nearest hit past the end answers nothing and moves no contact.
    EXPECT_EQ(RayAlongZ(40, 45), 0);
    EXPECT_EQ(UniverseRayCommand(-100, 40, 40, -100, 60, 45), 0);
    EXPECT_EQ(World().rayContact.mesh, wall);
    EXPECT_NEAR(World().rayContact.point.y, 20, 1e-3f);
    // From the far side the wall's back face answers.
    EXPECT_EQ(RayAlongZ(100, 0), 49);
    EXPECT_FLOAT_EQ(World().raySegment[0].z, 100);
    EXPECT_FLOAT_EQ(World().raySegment[1].z, 0);

    // The ray's contact goes with its world, and without a world there is no answer.
    CreateUniverse(100, 100, 100);
    EXPECT_EQ(World().rayContact.mesh, nullptr);
    DeleteUniverse();
    EXPECT_EQ(RayAlongZ(36.6f, 60), 0);
    EXPECT_EQ(UniverseVolumeCommand(0, 0, 0, 1, 1, 1, 1), 0);
}

TEST_F(UniverseTables, VolumesSlideShortOfWallsAndLeaveAClearedBlockElsewhere) {
    BuildDoorwayLevel();
    // Outside every cell: no collision, the block zeroed but for its first byte.
    std::memset(static_cast<void*>(&g_Object3D.universeCollision), 0x55, sizeof(Block()));
    EXPECT_EQ(UniverseVolumeCommand(0, 50, 0, 5000, 50, 0, 1), 0);
    CollisionResult cleared{};
    cleared.valid = 1;
    EXPECT_EQ(std::memcmp(&Block(), &cleared, sizeof cleared), 0);
    EXPECT_EQ(World().statistics[3], 0);

    ASSERT_EQ(UniverseVolumeCommand(-100, 50, 0, -100, 50, 60, 1), 1);
    EXPECT_LT(Block().endPosition.z, 49.5f - 9.0f); // the ellipsoid is 10 deep in z
    EXPECT_GT(Block().endPosition.z, 30.0f);
    EXPECT_EQ(Block().index, 7); // the wall's collision value
    EXPECT_EQ(World().statistics[3], 1);
    // A move near the wall that touches nothing keeps no trace of the hit before it.
    EXPECT_EQ(UniverseVolumeCommand(-100, 50, 0, -100, 50, 32, 1), 0);
    EXPECT_GT(World().triangleFloats, 0u);
    EXPECT_EQ(Block().valid, 1);
    EXPECT_EQ(Block().index, 0);
    EXPECT_EQ(World().statistics[3], 2);
    for (float bad : {std::nanf(""), INFINITY}) {
        UniverseVolumeCommand(bad, 50, 0, -100, 50, 60, bad);
        EXPECT_EQ(UniverseVolumeCommand(-100, 50, 0, bad, 50, 60, 1), 0);
    }
}

TEST_F(UniverseTables, TheModeScalesTheEllipsoidsHeightAndZeroActsAsOne) {
    BuildFloorLevel();
    // Falling from 40 to -15: 30 units tall, the ellipsoid meets the floor at -40; 15 tall, not.
    ASSERT_EQ(UniverseVolumeCommand(0, 40, 0, 0, -15, 0, 1), 1);
    const float landed = Block().endPosition.y;
    EXPECT_NEAR(landed, -10, 0.5f);
    EXPECT_EQ(UniverseVolumeCommand(0, 40, 0, 0, -15, 0, 0.5f), 0);
    EXPECT_EQ(UniverseVolumeCommand(0, 40, 0, 0, -15, 0, 0), 1);
    EXPECT_FLOAT_EQ(Block().endPosition.y, landed);
}
