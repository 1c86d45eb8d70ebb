// Collision slots driven by the frame loop as a program drives them: camera 0 moved into a wall
// between frames, with each response, a height offset, a disabled slot and no level at all.
#include "core/win32.h"

#include "camera/camera.h"
#include "core/frame_loop.h"
#include "support/object_scene.h"
#include "world/level_builder.h"
#include "world/level_collision.h"
#include "world/world.h"
#include "world/world_level.h"
#include "world/world_state.h"

#include <gtest/gtest.h>

namespace {

constexpr float kNear = 0.0005f;

class WorldSlots : public ObjectScene {
protected:
    void SetUp() override {
        ObjectScene::SetUp();
        if (HasFatalFailure()) return;
        // A wall across x = 10 facing the origin, from y = -50 up to y = 8.3.
        const D3DXVECTOR3 corners[4] = {D3DXVECTOR3(10, -50, -50), D3DXVECTOR3(10, 8.3f, -50),
                                        D3DXVECTOR3(10, 8.3f, 50), D3DXVECTOR3(10, -50, 50)};
        builder.Quad(corners, D3DXVECTOR3(-1, 0, 0), "textures/test/wall");
        ASSERT_EQ(LoadBuiltLevel(builder.Bytes()), 1);
    }
    void TearDown() override {
        FreeWorld();
        ObjectScene::TearDown();
    }
    LevelBuilder builder;
};

TEST_F(WorldSlots, ACameraMovedIntoAWallIsPutWhereItCanBe) {
    // Moved straight after the set-up, before any frame.
    SetWorldCollisionSphere(3, 0, 1.5f, 0);
    PositionCamera(0, 20, 0, 0);
    Sync();
    EXPECT_NEAR(CameraPositionX(0), 10 - 1.5f - kLevelContactGap, kNear);
    EXPECT_NEAR(CameraPositionY(0), 0, kNear);
    EXPECT_EQ(WorldCollisionHit(3), 1);
    EXPECT_EQ(WorldCollisionHit(3), 0);
    EXPECT_NEAR(WorldCollisionX(3), 10 - 1.5f - kLevelContactGap - 20, kNear);
    EXPECT_NEAR(WorldCollisionY(3), 0, kNear);
    EXPECT_NEAR(WorldCollisionZ(3), 0, kNear);
    // The next frames leave it there: it no longer moves.
    Sync();
    EXPECT_NEAR(CameraPositionX(0), 10 - 1.5f - kLevelContactGap, kNear);
    EXPECT_EQ(WorldCollisionHit(3), 0);
    EXPECT_EQ(cell.number, 0);
}

TEST_F(WorldSlots, StopResponseGoesBackAndAnOffsetSweepsLower) {
    PositionCamera(0, 0, 0, 0);
    SetWorldCollisionSphere(4, 0, 1.5f, 1);
    Sync();
    PositionCamera(0, 20, 0, 3);
    Sync();
    EXPECT_NEAR(CameraPositionX(0), 0, kNear);
    EXPECT_NEAR(CameraPositionZ(0), 0, kNear);
    DisableWorldCollision(4);
    // At y = 10 a sphere of 1.5 passes over the wall's top (8.3); with an offset of 2 it is swept
    // at y = 8 and meets the wall, then stands at the reachable point raised by 2 again.
    SetWorldCollisionSphere(5, 0, 1.5f, 0);
    PositionCamera(0, 0, 10, 0);
    Sync();
    PositionCamera(0, 20, 10, 0);
    Sync();
    EXPECT_GT(CameraPositionX(0), 19.9f);
    EXPECT_EQ(WorldCollisionHit(5), 0);
    PositionCamera(0, 0, 10, 0);
    SetWorldCollisionOffset(5, 2);
    Sync();
    PositionCamera(0, 20, 10, 0);
    Sync();
    EXPECT_EQ(WorldCollisionHit(5), 1);
    EXPECT_NEAR(CameraPositionX(0), 10 - 1.5f - kLevelContactGap, kNear);
    EXPECT_NEAR(CameraPositionY(0), 10, kNear);
}

TEST_F(WorldSlots, BadSlotsDisabledSlotsAndNoLevel) {
    SetWorldCollisionSphere(25, 0, 1.5f, 0);
    EXPECT_EQ(cell.number, 7154);
    EXPECT_EQ(g_World.active[0], 0);
    cell.number = 0;
    SetWorldCollisionSphere(3, 0, 1.5f, 0);
    Sync();
    PositionCamera(0, 20, 0, 0);
    Sync();
    // Disabled, the slot keeps its hit until it is read, and no longer holds the camera back.
    DisableWorldCollision(3);
    EXPECT_EQ(WorldCollisionHit(3), 1);
    PositionCamera(0, 30, 0, 0);
    Sync();
    EXPECT_FLOAT_EQ(CameraPositionX(0), 30);
    // Without a level nothing moves.
    FreeWorld();
    SetWorldCollisionSphere(3, 0, 1.5f, 0);
    Sync();
    PositionCamera(0, -40, 0, 0);
    Sync();
    EXPECT_FLOAT_EQ(CameraPositionX(0), -40);
    EXPECT_EQ(WorldCollisionHit(3), 0);
    EXPECT_EQ(cell.number, 0);
}

} // namespace
