#include "core/win32.h"

#include "object3d/collision_commands.h"
#include "object3d/collision_state.h"
#include "object3d/positioning.h"
#include "support/object_scene.h"

#include <gtest/gtest.h>

TEST_F(ObjectTables, TheSegmentTestGivesOnlyHitsWithinTheSegment) {
    BuildBox(1, 1.0f, false);
    ASSERT_TRUE(PositionObject(1, 0, 0, 10)); // its front face at z 9
    EXPECT_FLOAT_EQ(IntersectObjectCmd(1, 0, 0, 0, 0, 0, 9.5f), 9.0f);
    EXPECT_EQ(IntersectObjectCmd(1, 0, 0, 0, 0, 0, 5), 0.0f); // the line's hit lies beyond the end
    EXPECT_FLOAT_EQ(IntersectObjectRecord(g_Object3D.objects[1], 0, 0, 0, 0, 0, 5), 9.0f);
    EXPECT_EQ(IntersectObjectCmd(1, 5, 5, 0, 5, 5, 20), 0.0f); // beside it
    ASSERT_TRUE(PositionObject(1, 0, 0, 4));                   // moved since its last world matrix
    EXPECT_FLOAT_EQ(IntersectObjectCmd(1, 0, 0, 0, 0, 0, 5), 3.0f);
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_EQ(IntersectObjectCmd(22000001, 0, 0, 0, 0, 0, 1), 0.0f);
    EXPECT_EQ(errors.Last(), 7006);
    errors.Clear();
    SetObjectRadius(2, 3.0f);
    EXPECT_EQ(errors.Last(), 7008);
    MakeInstance(3, 1); // instances fail the check silently
    errors.Clear();
    EXPECT_EQ(ObjectCollisionRadius(3), 0.0f);
    EXPECT_EQ(errors.Last(), 0);
    SetGlobalCollisionOff();
    EXPECT_EQ(g_Collision.checksEnabled, 0);
    SetGlobalCollisionOn();
    EXPECT_EQ(g_Collision.checksEnabled, 1);
}
