#include "core/win32.h"

#include "support/object_scene.h"
#include "object3d/box_collision.h"
#include "object3d/collision_state.h"
#include "object3d/positioning.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

class BoxCollision : public ObjectTables {
protected:
    void SetUp() override {
        ObjectTables::SetUp();
        g_Collision.response = D3DXVECTOR3(9, 9, 9);
    }
    // Object n: a cube of the half-size standing at the point since the last snapshot, tested
    // with turned boxes.
    ObjectRecord* Cube(std::int32_t n, float half, const D3DXVECTOR3& at) {
        BuildBox(n, half);
        ObjectRecord* o = g_Object3D.objects[n];
        o->collision.type = 2, o->collision.boxUse = 0;
        Move(n, at, at);
        return o;
    }
    // Object n moved from one point to another this frame.
    static void Move(std::int32_t n, const D3DXVECTOR3& from, const D3DXVECTOR3& to) {
        PositionObject(n, to.x, to.y, to.z);
        g_Object3D.objects[n]->position.oldPosition = from;
    }
};

void ExpectVector(const D3DXVECTOR3& v, const D3DXVECTOR3& expected) {
    EXPECT_NEAR(v.x, expected.x, 1e-4);
    EXPECT_NEAR(v.y, expected.y, 1e-4);
    EXPECT_NEAR(v.z, expected.z, 1e-4);
}

CollisionBlock Bounds(const D3DXVECTOR3& low, const D3DXVECTOR3& high) {
    CollisionBlock box;
    box.minimum = low, box.maximum = high;
    return box;
}

} // namespace

TEST_F(BoxCollision, AlignedBoxesSharingAFaceMissOrientedOnesTouch) {
    ObjectRecord* a = Cube(1, 1, {0, 0, 0});
    ObjectRecord* b = Cube(2, 1, {2, 0, 0});
    ExpectVector(b->collision.maximum, {1, 1, 1});
    a->collision.boxUse = b->collision.boxUse = 1;
    EXPECT_EQ(CheckObjectPolygonCollision(a, b), 0);
    a->collision.boxUse = 0;
    EXPECT_GT(CheckObjectPolygonCollision(a, b), 0);
    PositionObject(2, 2.01f, 0, 0);
    EXPECT_EQ(CheckObjectPolygonCollision(a, b), 0);
}

TEST_F(BoxCollision, AlignedResponseIsTheOverlapOnTheAxisMovedAlong) {
    ObjectRecord* a = Cube(1, 1, {-2.5f, 0, 0});
    ObjectRecord* b = Cube(2, 1, {0, 0, 0});
    a->collision.boxUse = b->collision.boxUse = 1;
    Move(1, {-2.5f, 0, 0}, {-1.5f, 0, 0});
    EXPECT_EQ(CheckObjectPolygonCollision(a, b), 1);
    ExpectVector(g_Collision.response, {0.5f, 0, 0});
    Move(1, {2.5f, 0, 0}, {1.5f, 0, 0}); // in from the right instead
    EXPECT_EQ(CheckObjectPolygonCollision(a, b), 1);
    ExpectVector(g_Collision.response, {-0.5f, 0, 0});
    b->collision.responseFlag = 0; // still a collision, but nothing to slide by
    EXPECT_EQ(CheckObjectPolygonCollision(a, b), 1);
    ExpectVector(g_Collision.response, {0, 0, 0});
    // A mirrored scale sizes the box as the plain one does.
    Move(1, {-2.5f, 0, 0}, {-2.5f, 0, 0});
    EXPECT_EQ(CheckObjectPolygonCollision(a, b), 0);
    ScaleObject(1, -200, 100, 100);
    EXPECT_EQ(CheckObjectPolygonCollision(a, b), 1);
}

TEST_F(BoxCollision, ATurnedObjectIsTestedWithItsTurnedBox) {
    ObjectRecord* a = Cube(1, 1, {0, 0, 0});
    ObjectRecord* b = Cube(2, 1, {2.3f, 0, 0});
    RotateObject(2, 0, 45, 0); // its corner now reaches x = 0.89
    EXPECT_EQ(CheckObjectPolygonCollision(a, b), 1);
    a->collision.boxUse = b->collision.boxUse = 1;
    EXPECT_EQ(CheckObjectPolygonCollision(a, b), 0);
    a->collision.boxUse = 0, a->collision.type = 1;
    EXPECT_EQ(CheckObjectPolygonCollision(a, b), 0);
    // In free flight the matrix turns the box, not the angles.
    a->collision.type = 2;
    RotateObject(2, 0, 0, 0);
    TurnObjectRight(2, 45);
    b->position.angle = D3DXVECTOR3(0, 0, 0);
    EXPECT_EQ(CheckObjectPolygonCollision(a, b), 1);
}

TEST_F(BoxCollision, TurnsApplyXThenYThenZ) {
    ObjectRecord* a = Cube(1, 0.2f, {0, 0, -3.5f});
    ObjectRecord* b = Cube(2, 1, {0, 0, 0});
    RotateObject(2, 90, 90, 0);
    b->collision.minimum = D3DXVECTOR3(-0.5f, -0.5f, -0.5f); // an arm along x
    b->collision.maximum = D3DXVECTOR3(4, 0.5f, 0.5f);
    EXPECT_EQ(CheckObjectPolygonCollision(a, b), 1); // x turned about x stays, then about y: -z
    PositionObject(1, 0, 3.5f, 0);                   // where Y then X would have put it
    EXPECT_EQ(CheckObjectPolygonCollision(a, b), 0);
}

TEST_F(BoxCollision, LimbBoxesTurnWithTheirFrameButKeepTheirSize) {
    const CollisionBlock box = Bounds({-1, -1, -1}, {1, 1, 1});
    D3DXMATRIX scaled, turned, identity;
    D3DXMatrixScaling(&scaled, 3, 3, 3);
    D3DXMatrixRotationY(&turned, D3DX_PI / 4);
    D3DXMatrixIdentity(&identity);
    EXPECT_EQ(CheckMeshTriangleCollision({0, 0, 0}, scaled, box, {2.5f, 0, 0}, identity, box), 0);
    EXPECT_EQ(CheckMeshTriangleCollision({0, 0, 0}, turned, box, {2.3f, 0, 0}, identity, box), 1);
    // The box's own centre is placed by the frame: 0..2 scaled by 2 centres at 2 from the frame.
    D3DXMatrixScaling(&scaled, 2, 2, 2);
    const CollisionBlock offset = Bounds({0, 0, 0}, {2, 2, 2});
    const D3DXVECTOR3 at(10, 0, 0);
    EXPECT_EQ(CheckMeshTriangleCollision(at, scaled, offset, {13.5f, 2, 2}, identity, box), 1);
    EXPECT_EQ(CheckMeshTriangleCollision(at, scaled, offset, {9.5f, 2, 2}, identity, box), 0);
}

TEST_F(BoxCollision, ADiagonalMoveIntoATurnedFaceKeepsOnlyTheSlideAlongIt) {
    const float c = std::cos(D3DX_PI / 6), s = std::sin(D3DX_PI / 6);
    const D3DXVECTOR3 faceNormal(c, 0, -s), alongFace(s, 0, c); // B's x and z once turned
    auto inB = [&](float x, float z) { return faceNormal * x + alongFace * z; };
    ObjectRecord* a = Cube(1, 0.5f, inB(-2, 0));
    ObjectRecord* b = Cube(2, 1, {0, 0, 0});
    RotateObject(2, 0, 30, 0);
    const D3DXVECTOR3 to = inB(-1.4f, 0.5f);
    Move(1, inB(-2, 0), to);
    ASSERT_EQ(CheckObjectPolygonCollision(a, b), 1);
    ExpectVector(g_Collision.response, faceNormal * 0.6f);
    const D3DXVECTOR3 slid = to - g_Collision.response;
    ExpectVector(slid, inB(-2, 0.5f));
    EXPECT_EQ(CheckOrientedObjectBoxes(slid.x, slid.y, slid.z, a, b), 0);
    // Starting already inside, the slide still overlaps: the whole move is taken back.
    Move(1, inB(-1.6f, 0), inB(-1.3f, 0.5f));
    ASSERT_EQ(CheckObjectPolygonCollision(a, b), 1);
    ExpectVector(g_Collision.response, inB(0.3f, 0.5f));
}

TEST(OrientedBoxes, AxesAreUnitAndNothingBecomesNotANumber) {
    D3DXMATRIX m, turn;
    D3DXMatrixRotationY(&turn, 0.5f);
    D3DXMatrixScaling(&m, 2, 0, 4);
    m = m * turn;
    D3DXVECTOR3 axes[3];
    EXPECT_EQ(GetMatrixAxes(m, axes), 1);
    ExpectVector(axes[0], {turn._11, turn._12, turn._13});
    ExpectVector(axes[1], {0, 0, 0}); // flattened
    OrientedBox a, b;
    a.halfExtents = b.halfExtents = D3DXVECTOR3(1, 1, 1);
    b.centre = D3DXVECTOR3(std::nanf(""), 0, 0);
    EXPECT_EQ(OrientedBoxesOverlapAxes(a, b), 0);
}
