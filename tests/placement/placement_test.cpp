#include "core/win32.h"

#include "object3d/object3d.h"
#include "placement/placement.h"
#include "support/error_cell.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A module of two item numbers, 1 and 2, of which only 1 exists.
TransformRecord g_Item;
TransformRecord* g_Current = nullptr;

TransformRecord* Select(std::int32_t n) {
    if (n != 1) return nullptr;
    g_Current = &g_Item;
    return g_Current;
}
TransformRecord* Current() {
    return g_Current;
}
using Items = ItemPlacement<Select, Current>;

class Placement : public ::testing::Test {
protected:
    void SetUp() override {
        g_Item = TransformRecord{};
        g_Current = nullptr;
        InitTransformRecord(&g_Item);
        Items::ScaleItem(1, 100, 100, 100);
        Items::PositionItem(1, 0, 0, 0);
        Items::RotateItem(1, 0, 0, 0);
    }
    ErrorCellScope errors;
};

void ExpectVector(const float* v, float x, float y, float z) {
    EXPECT_NEAR(v[0], x, 1e-5);
    EXPECT_NEAR(v[1], y, 1e-5);
    EXPECT_NEAR(v[2], z, 1e-5);
}

D3DXVECTOR3 ThroughWorld(const D3DXVECTOR3& p) {
    D3DXMATRIX world(g_Item.world);
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &p, &world);
    return out;
}

} // namespace

TEST_F(Placement, ScaleRotationAndPositionMakeTheWorldInThatOrder) {
    Items::ScaleItem(1, 50, 200, 100);
    ExpectVector(g_Item.scale, 0.5f, 2, 1);
    Items::ScaleItem(1, 200, 200, 200);
    Items::YRotateItem(1, 90);
    Items::PositionItem(1, 1, 2, 3);
    EXPECT_EQ(g_Item.moved, 1);
    const D3DXVECTOR3 p = ThroughWorld(D3DXVECTOR3(1, 0, 0));
    ExpectVector(p, 1, 2, 1); // scaled to 2, turned onto -z, then moved
    EXPECT_EQ(g_Item.rebuildPending, 0);
    // The scale-rotation part is the world without its translation.
    EXPECT_NEAR(g_Item.scaleRotation[2], -2, 1e-5);
    EXPECT_EQ(g_Item.scaleRotation[12], 0);
}

TEST_F(Placement, EulerTurnsDeriveTheDirections) {
    Items::RotateItem(1, 90, 0, 0); // as a terrain matrix lies
    ExpectVector(g_Item.look, 0, -1, 0);
    ExpectVector(g_Item.up, 0, 0, 1);
    ExpectVector(g_Item.right, 1, 0, 0);
    Items::RotateItem(1, 0, 0, 0);
    Items::YRotateItem(1, 90);
    Items::MoveItem(1, 10);
    ExpectVector(g_Item.position, 10, 0, 0);
    Items::MoveItemRight(1, 2); // right is now -z
    Items::MoveItemUp(1, 3);
    ExpectVector(g_Item.position, 10, 3, -2);
    Items::MoveItemLeft(1, 2);
    Items::MoveItemDown(1, 3);
    ExpectVector(g_Item.position, 10, 0, 0);
    Items::ZRotateItem(1, 90); // rolls right and up about the turned look, now +x
    ExpectVector(g_Item.up, 0, 0, 1);
    ExpectVector(g_Item.right, 0, 1, 0);

    // The same angles again derive nothing: a look set by hand survives them.
    Items::SetItemLookVector(1, 5, 5, 5);
    Items::RotateItem(1, 0, 90, 90);
    ExpectVector(g_Item.look, 5, 5, 5);
    Items::XRotateItem(1, 0.5f);
    EXPECT_NEAR(g_Item.look[0], 1, 1e-4);
}

TEST_F(Placement, PointingFacesTheTarget) {
    Items::PositionItem(1, 1, 1, 1);
    Items::PointItem(1, 1, 1, 10);
    ExpectVector(g_Item.rotation, 0, 0, 0);
    Items::PointItem(1, 9, 1, 1);
    EXPECT_NEAR(g_Item.rotation[1], 90, 1e-4);
    EXPECT_NEAR(g_Item.look[0], 1, 1e-5);
    Items::PointItem(1, 1, 9, 1); // straight up: pitched a quarter turn up
    EXPECT_NEAR(g_Item.rotation[0], 270, 1e-3);
    // Pointing keeps free flight: the world follows the turns, not the angles.
    Items::TurnItemRight(1, 45);
    Items::PointItem(1, 1, 1, 10);
    EXPECT_EQ(g_Item.freeFlightOn, 1);
    EXPECT_NEAR(g_Item.world[8], std::sin(D3DX_PI / 4), 1e-5);

    EXPECT_EQ(object3d::WrapAngle(-30), 330);
    EXPECT_EQ(object3d::WrapAngle(725), 5);
    EXPECT_EQ(object3d::WrapAngle(35999), 359);
    EXPECT_EQ(object3d::WrapAngle(36000), 0);
}

TEST_F(Placement, FreeFlightTurnsAddUpOnce) {
    Items::TurnItemRight(1, 10);
    Items::TurnItemRight(1, 10);
    EXPECT_FLOAT_EQ(g_Item.freeFlight[0], 20);
    // Look is the world's third row: the summed turn, applied once.
    ExpectVector(g_Item.look, g_Item.world[8], g_Item.world[9], g_Item.world[10]);
    EXPECT_NEAR(g_Item.look[0], std::sin(20 * D3DX_PI / 180), 1e-5);
    Items::PitchItemDown(1, 30);
    Items::PitchItemUp(1, 30);
    Items::RollItemLeft(1, 15);
    Items::RollItemRight(1, 15);
    Items::TurnItemLeft(1, 20);
    ExpectVector(g_Item.look, 0, 0, 1);
    ExpectVector(g_Item.up, 0, 1, 0);

    // Back to the Euler angles it had: the directions follow them again.
    Items::TurnItemRight(1, 30);
    Items::RotateItem(1, 0, 0, 0);
    ExpectVector(g_Item.look, 0, 0, 1);
    ExpectVector(g_Item.right, 1, 0, 0);
}

TEST_F(Placement, PivotTurnsTheItemFirst) {
    g_Item.pivotOn = 1;
    g_Item.pivot[1] = 90;
    Items::XRotateItem(1, 90);
    // (0, 0, 1) turns onto +x about y, then stays there about x.
    ExpectVector(ThroughWorld(D3DXVECTOR3(0, 0, 1)), 1, 0, 0);
}

TEST_F(Placement, NumbersAreCheckedExceptWhereTheyAreNot) {
    Items::ScaleItem(0, 50, 50, 50);
    EXPECT_EQ(errors.Last(), 7006);
    Items::RotateItem(22000001, 1, 2, 3);
    EXPECT_EQ(errors.Last(), 7006);
    Items::TurnItemRight(2, 10);
    EXPECT_EQ(errors.Last(), 7008);
    errors.Clear();
    EXPECT_EQ(Items::GetItemPositionX(2), 0.0f);
    EXPECT_EQ(errors.Last(), 7008);
    ExpectVector(g_Item.scale, 1, 1, 1);
    ExpectVector(g_Item.rotation, 0, 0, 0);

    errors.Clear();
    Items::PositionItem(2, 5, 5, 5);
    Items::PositionItem(0, 5, 5, 5);
    EXPECT_EQ(Items::GetItemPositionZ(2), 0.0f);
    EXPECT_EQ(errors.Last(), 0);

    Items::PositionItem(1, 4, 5, 6);
    Items::RotateItem(1, 7, 8, 9);
    EXPECT_EQ(Items::GetItemPositionY(1), 5);
    EXPECT_EQ(Items::GetItemAngleZ(1), 9);
    float out[3] = {};
    Items::CopyItemPosition(out);
    ExpectVector(out, 4, 5, 6);
    Items::CopyItemRotation(out);
    ExpectVector(out, 7, 8, 9);
    Items::CopyItemRotation(nullptr);
    g_Current = nullptr;
    Items::CopyItemPosition(out); // no current item: out is left alone
    ExpectVector(out, 7, 8, 9);
}
