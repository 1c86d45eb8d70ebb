#include "core/win32.h"

#include "camera/camera.h"
#include "display/display.h"
#include "object3d/appearance.h"
#include "object3d/collision_state.h"
#include "object3d/positioning.h"
#include "object3d/query_commands.h"
#include "support/object_scene.h"
#include "universe/universe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

ObjectRecord* Object(std::int32_t n) {
    return g_Object3D.objects[n];
}

// Object n: one mesh, the box from low to high.
void BuildBoxBetween(std::int32_t n, const D3DXVECTOR3& low, const D3DXVECTOR3& high) {
    ASSERT_TRUE(CreateNewObject(n, "box"));
    ASSERT_TRUE(FillBoxMesh(FirstMesh(n), low, high));
    ASSERT_TRUE(SetupNewObject(n, -1.0f));
}

// The engine on a 1024 x 768 display, camera 0 at the origin looking along +z.
class QueryScene : public ObjectScene {
protected:
    void SetUp() override {
        ObjectScene::SetUp();
        if (HasFatalFailure()) return;
        SetDisplayMode(1024, 768, 32);
        ASSERT_EQ(cell.number, 0);
        AutoCamOff();
        ASSERT_EQ(g_CoreData->displayWidth, 1024);
        ASSERT_EQ(g_CoreData->displayHeight, 768);
    }
    // Cameras other than 0 outlive the engine's restart; one left behind would draw over the
    // next tests' frames.
    void TearDown() override {
        if (GetCameraInternalData(1)) DeleteCamera(1);
        ObjectScene::TearDown();
    }
};

} // namespace

TEST_F(ObjectTables, SizesFollowScaleAndPivot) {
    BuildBoxBetween(1, D3DXVECTOR3(-1, -2, -3), D3DXVECTOR3(1, 2, 3));
    const float radius = ObjectRadius(1);
    ScaleObject(1, 100, 200, 300);
    EXPECT_FLOAT_EQ(ObjectSize(1, 1), 2 * radius);
    EXPECT_FLOAT_EQ(ObjectSize(1, 0), radius);
    EXPECT_FLOAT_EQ(ObjectSizeX(1), 2.0f);
    EXPECT_FLOAT_EQ(ObjectSizeZ(1, 1), 18.0f);
    // A quarter turn about z swaps x and y; the sizes stay positive.
    Object(1)->position.pivot = 1;
    D3DXMatrixRotationZ(&Object(1)->position.matPivot, D3DX_PI / 2);
    EXPECT_NEAR(ObjectSizeX(1), 4.0f, 1e-5f);
    EXPECT_NEAR(GetPivotedComponent(Object(1), 0, 2, 4, 6), -4.0f, 1e-5f);
    EXPECT_EQ(GetPivotedComponent(Object(1), 3, 2, 4, 6), 0.0f);
    EXPECT_EQ(GetPivotedComponent(nullptr, 2, 2, 4, 6), 6.0f);

    // Radius and size refuse instances without an error; the rest take them, with the source's
    // box.
    MakeInstance(2, 1);
    EXPECT_EQ(ObjectRadius(2), 0.0f);
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_FLOAT_EQ(ObjectSizeZ(2), 6.0f);
    EXPECT_TRUE(ObjectVisible(2));
    Object(2)->universeVisible = 0; // the world put it in an unseen area
    EXPECT_FALSE(ObjectVisible(2));
    Object(1)->visible = 0;
    EXPECT_FALSE(ObjectVisible(1));
    EXPECT_EQ(ObjectSize(9, 1), 0.0f);
    EXPECT_EQ(errors.Last(), 7008);
}

TEST_F(ObjectTables, ContainsBoxLooksAtEveryMesh) {
    ASSERT_TRUE(CreateNewObjectWithLimbs(1, "limbs", 2));
    FrameRecord* root = Object(1)->rootFrame;
    ASSERT_TRUE(root->child);
    ASSERT_TRUE(FillBoxMesh(root->mesh, D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1)));
    ASSERT_TRUE(FillBoxMesh(root->child->mesh, D3DXVECTOR3(10, 10, 10), D3DXVECTOR3(14, 14, 14)));
    ASSERT_TRUE(SetupNewObject(1, -1.0f));
    EXPECT_EQ(ObjectContainsBox(1, 11, 11, 11, 13, 13, 13), 1); // the second limb's box
    EXPECT_EQ(ObjectContainsBox(1, 10, 10, 10, 14, 14, 14), 1); // the edges count as inside
    EXPECT_EQ(ObjectContainsBox(1, 0, 0, 0, 12, 12, 12), 0);    // across both, in neither
}

TEST_F(ObjectTables, StatisticsByCode) {
    g_CoreData->drawnPolygons = 123;
    g_CoreData->drawCalls = 7;
    g_Universe.areaCount = 6;
    g_Universe.currentArea = 2;
    EXPECT_EQ(GetStatistic(1), 123);
    EXPECT_EQ(GetStatistic(3), 2);
    EXPECT_EQ(GetStatistic(4), 6);
    EXPECT_EQ(GetStatistic(5), 7);
    EXPECT_EQ(GetStatistic(10), 0);
    DeleteUniverse();
    EXPECT_EQ(GetStatistic(8), 0); // no world
    CreateUniverse(1000, 1000, 1000);
    ASSERT_NE(g_Object3D.universe, nullptr);
    EXPECT_EQ(GetStatistic(4), 0); // a new world starts without areas
    g_Object3D.universe->statistics[1] = 22;
    g_Object3D.universe->statistics[2] = 33;
    EXPECT_EQ(GetStatistic(7), 22);
    EXPECT_EQ(GetStatistic(7), 22);
    EXPECT_EQ(GetStatistic(8), 33);
    EXPECT_EQ(GetStatistic(8), 0);
}

TEST_F(QueryScene, ScreenPositionAndReach) {
    BuildBox(1, 1);
    PositionObject(1, 0, 0, 10);
    EXPECT_EQ(ObjectScreenX(1), 512);
    EXPECT_EQ(ObjectScreenY(1), 384);
    const float reach = 2.5f * Object(1)->collision.scaledRadius; // the on-screen sphere
    D3DXMATRIX projection;
    GetCameraProjectionMatrix(&projection, 0);
    const float w = 10 / projection._11, h = 10 / projection._22; // half the view at depth 10
    const float cases[][4] = {
        {0, 0, 10, 1},
        {w + 0.9f * reach, 0, 10, 1}, // the sphere reaches in, the centre not
        {w + 1.1f * reach, 0, 10, 0},
        {0, -h - 1.1f * reach, 10, 0},
        {0, 0, -10, 0},
        {0, 0, 2999, 1},
        {0, 0, 3001, 0},
        {0, 0, 0, 0}, // far range; the camera plane
    };
    for (const auto& c : cases) {
        PositionObject(1, c[0], c[1], c[2]);
        EXPECT_EQ(ObjectInScreen(1), c[3]) << c[0] << ", " << c[1] << ", " << c[2];
    }
    // A viewport of half the size at (100, 50): the centre lands in its middle.
    PositionObject(1, 0, 0, 10);
    SetCameraView(0, 100, 50, 612, 434);
    EXPECT_EQ(ObjectScreenX(1), 356);
    EXPECT_EQ(ObjectScreenY(1), 242);
}

TEST_F(QueryScene, PickFindsTheNearestFaceInTheRange) {
    BuildBox(1, 1);
    BuildBox(2, 1);
    PositionObject(1, 0, 0, 10);
    PositionObject(2, 0, 0, 20);
    EXPECT_EQ(PickObject(512, 384, 1, 2), 1);
    EXPECT_NEAR(GetPickDistance(), 9.0f, 1e-3f);
    EXPECT_NEAR(GetPickVectorZ(), 9.0f, 1e-3f);
    // The ray result describes the picked box, though the farther one was hit after it.
    EXPECT_NEAR(g_Collision.ray.hit.z, 9.0f, 1e-3f);
    EXPECT_EQ(PickObject(512, 384, 2, 5), 2);
    HideObject(2);
    EXPECT_EQ(PickObject(512, 384, 2, 2), 0);
    // First beyond last, a miss and an empty viewport leave the results alone.
    EXPECT_EQ(PickObject(512, 384, 2, 1), 0);
    EXPECT_EQ(PickObject(5, 5, 1, 2), 0);
    SetCameraView(0, 0, 0, 0, 0);
    EXPECT_EQ(PickObject(512, 384, 1, 2), 0);
    EXPECT_NEAR(GetPickDistance(), 19.0f, 1e-3f);
    EXPECT_NEAR(GetPickVectorZ(), 19.0f, 1e-3f);
}

TEST_F(QueryScene, PickVectorsPointUnderTheScreenPoint) {
    BuildBoxBetween(1, D3DXVECTOR3(-50, -50, -1), D3DXVECTOR3(50, 50, 1));
    PositionObject(1, 0, 0, 21); // a wall whose near face is at z = 20
    EXPECT_EQ(PickObject(900, 100, 1, 1), 1);
    EXPECT_GT(GetPickVectorX(), 0.0f);
    EXPECT_GT(GetPickVectorY(), 0.0f);
    EXPECT_NEAR(GetPickVectorZ(), 20.0f, 1e-2f);
    EXPECT_NEAR(std::hypot(GetPickVectorX(), GetPickVectorY(), GetPickVectorZ()), GetPickDistance(),
                1e-2f);
    PickScreen(0, 767, 50);
    EXPECT_EQ(GetPickDistance(), 50.0f);
    EXPECT_LT(GetPickVectorX(), 0.0f);
    EXPECT_LT(GetPickVectorY(), 0.0f);
    EXPECT_NEAR(std::hypot(GetPickVectorX(), GetPickVectorY(), GetPickVectorZ()), 50.0f, 1e-3f);
}

TEST_F(QueryScene, CameraAccessorsReadTheCurrentCamera) {
    PositionCamera(0, 1, 2, 3);
    YRotateCamera(0, 90);
    float v[3], view[16];
    GetCameraLookVector(v);
    EXPECT_NEAR(v[0], 1.0f, 1e-5f);
    GetCameraRightVector(v);
    EXPECT_NEAR(v[2], -1.0f, 1e-5f);
    GetCameraViewMatrix(view);
    D3DXMATRIX expected;
    GetCameraViewMatrix(&expected, 0);
    EXPECT_EQ(std::memcmp(view, &expected, sizeof view), 0);
    MakeCamera(1);
    SetCurrentCamera(1);
    PositionCamera(1, 7, 8, 9);
    GetCameraPositionVector(v);
    EXPECT_EQ(v[0], 7.0f);
    SetCurrentCamera(0);
    GetCameraPositionVector(v);
    EXPECT_EQ(v[0], 1.0f);
}
