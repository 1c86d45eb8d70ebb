#include "core/win32.h"

#include "support/object_scene.h"
#include "object3d/object_lists.h"
#include "object3d/object_world.h"
#include "object3d/positioning.h"
#include "object3d/vertex_layout.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

D3DXVECTOR3 Through(const D3DXMATRIX& m, const D3DXVECTOR3& p) {
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &p, &m);
    return out;
}

void ExpectNear(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    EXPECT_NEAR(a.x, b.x, 1e-4);
    EXPECT_NEAR(a.y, b.y, 1e-4);
    EXPECT_NEAR(a.z, b.z, 1e-4);
}

bool Equal(const D3DXMATRIX& a, const D3DXMATRIX& b) {
    for (int i = 0; i < 16; ++i)
        if (std::abs(a[i] - b[i]) > 1e-5f) return false;
    return true;
}

// Object 1: a box of half-size 1 whose root frame slides 10 units along x per animation frame,
// over frames 0 to 4.
ObjectRecord* SlidingBox(bool firstAndLastOnly) {
    EXPECT_TRUE(CreateNewObject(1, "slider"));
    ObjectRecord* o = g_Object3D.objects[1];
    EXPECT_TRUE(FillBoxMesh(o->rootFrame->mesh, {-1, -1, -1}, {1, 1, 1}));
    o->animationSet = new AnimationSetRecord;
    o->animationSet->length = 4;
    o->animationSet->frameCount = 5;
    AnimationRecord* a = o->animationSet->animation = new AnimationRecord;
    std::strcpy(a->name, o->rootFrame->name);
    a->positionKeyCount = 2;
    a->positionKeys = new PositionKey[2]{{0, {0, 0, 0}, {}}, {4, {40, 0, 0}, {}}};
    o->firstLastBoundsOnly = firstAndLastOnly ? 1 : 0;
    EXPECT_TRUE(SetupNewObject(1, -1.0f));
    return o;
}

} // namespace

TEST_F(ObjectTables, WorldMatricesFromAnglesFreeFlightPivotAndScale) {
    BuildBox(1, 1);
    ObjectRecord* o = g_Object3D.objects[1];
    ObjectPosition& p = o->position;
    auto rotation = [&](float x, float y, int order) {
        p.angle = D3DXVECTOR3(x, y, 0);
        p.rotationOrder = order;
        CalculateObjectRotation(o);
        return p.matRotation;
    };
    // One turn reads the same in either order; two turns do not commute.
    EXPECT_TRUE(Equal(rotation(90, 0, 0), rotation(90, 0, 1)));
    EXPECT_FALSE(Equal(rotation(90, 90, 0), rotation(90, 90, 1)));
    const D3DXMATRIX kept = rotation(90, 90, 1);
    EXPECT_EQ(rotation(0, 0, 2), kept); // an unknown order leaves R as it was
    p.rotationOrder = 0;

    ASSERT_TRUE(PositionObject(1, 10, 0, 0));
    ASSERT_TRUE(RotateObject(1, 0, 0, 0));
    ASSERT_TRUE(ScaleObject(1, 200, 200, 200));
    ExpectNear(Through(p.matWorld, {1, 0, 0}), {12, 0, 0});
    EXPECT_EQ(p.matRotationScale._41, 0);
    // Scaled along the object's own axes, then turned: x grows 2 and swings onto -z.
    ASSERT_TRUE(ScaleObject(1, 200, 100, 300));
    ASSERT_TRUE(RotateObject(1, 0, 90, 0));
    ExpectNear(Through(p.matWorld, {1, 0, 0}), {10, 0, -2});
    ExpectNear(Through(p.matWorld, {0, 0, 1}), {13, 0, 0});
    ExpectNear(Through(p.matRotationScale, {0, 0, 1}), {3, 0, 0});
    ASSERT_TRUE(ScaleObject(1, 200, 200, 200));
    ASSERT_TRUE(RotateObject(1, 0, 0, 0));

    // Free flight ignores the angles; the pivot turns the object before its rotation.
    D3DXMatrixRotationY(&p.matFreeFlight, D3DX_PI / 2);
    p.matrixMode = 1;
    p.angle = D3DXVECTOR3(45, 45, 45);
    UpdateObjectWorld(o);
    ExpectNear(Through(p.matWorld, {1, 0, 0}), {10, 0, -2});
    p.pivot = 1;
    D3DXMatrixRotationY(&p.matPivot, D3DX_PI / 2);
    UpdateObjectWorld(o);
    ExpectNear(Through(p.matWorld, {1, 0, 0}), {8, 0, 0});

    // A locked matrix is left alone.
    p.matrixLocked = 1;
    const D3DXMATRIX locked = p.matWorld;
    p.position = D3DXVECTOR3(0, 0, 0);
    UpdateObjectWorld(o);
    EXPECT_EQ(p.matWorld, locked);
}

TEST_F(ObjectTables, GluesToThemselvesOrMissingLimbsCountAsNone) {
    BuildBox(1, 1);
    ObjectRecord* o = g_Object3D.objects[1];
    ASSERT_TRUE(PositionObject(1, 3, 4, 5));
    o->position.glued = 1;
    o->position.glueObject = 1; // itself
    ASSERT_TRUE(UpdateObjectWorld(o));
    EXPECT_EQ(o->position.matWorld._41, 3);

    BuildBox(2, 1);
    ObjectRecord* other = g_Object3D.objects[2];
    ASSERT_TRUE(PositionObject(2, 100, 0, 0));
    o->position.glueObject = 2;
    o->position.glueLimb = 5; // the other object has one limb
    ASSERT_TRUE(UpdateObjectWorld(o));
    EXPECT_EQ(o->position.matWorld._41, 3);
    o->position.glueLimb = 0;
    ASSERT_TRUE(UpdateObjectWorld(o));
    EXPECT_EQ(o->position.matWorld._41, 103);
    other->position.glued = 1;
    other->position.glueObject = 1; // a loop of two
    EXPECT_TRUE(UpdateObjectWorld(o));
    EXPECT_TRUE(UpdateObjectWorld(other));

    ObjectRecord* record = new ObjectRecord;
    EXPECT_TRUE(DeleteObjectRecord(&record));
    EXPECT_EQ(record, nullptr);
    EXPECT_TRUE(DeleteObjectRecord(&record));
}

TEST_F(ObjectTables, BoundsOfMeshesCentresAndAnimationFrames) {
    MeshRecord normalsOnly;
    ASSERT_TRUE(SetupMeshFVFData(&normalsOnly, D3DFVF_NORMAL, 3, 0));
    ASSERT_TRUE(CalculateMeshBounds(&normalsOnly));
    EXPECT_EQ(normalsOnly.bounds.minimum, D3DXVECTOR3(1e6f, 1e6f, 1e6f));
    EXPECT_EQ(normalsOnly.bounds.maximum, D3DXVECTOR3(-1e6f, -1e6f, -1e6f));
    EXPECT_EQ(normalsOnly.bounds.radius, 0);

    // The world centre is the bounds centre turned and scaled with the object.
    ASSERT_TRUE(CreateNewObject(2, "offset"));
    ASSERT_TRUE(FillBoxMesh(FirstMesh(2), {0, 0, 0}, {2, 2, 2}));
    ASSERT_TRUE(SetupNewObject(2, -1.0f));
    ObjectRecord* box = g_Object3D.objects[2];
    ExpectNear(box->collision.centre, {1, 1, 1});
    ASSERT_TRUE(ScaleObject(2, 200, 200, 200));
    EXPECT_NEAR(GetObjectCentreWorldX(box), 2, 1e-5);
    SetObjectCentrePosition(box, 10, 10, 10);
    ExpectNear(box->position.position, {8, 8, 8});
}

TEST_F(ObjectTables, AnimationFramesGetTheirOwnBounds) {
    ObjectRecord* o = SlidingBox(false);
    const AnimationSetRecord* set = o->animationSet;
    for (int k = 0; k < 5; ++k) {
        EXPECT_NEAR(set->boundsMinimum[k].x, 10.0f * k - 1, 1e-4) << k;
        EXPECT_NEAR(set->boundsCentre[k].x, 10.0f * k, 1e-4) << k;
        EXPECT_NEAR(set->boundsRadius[k], std::sqrt(3.0f), 1e-4) << k;
    }
    EXPECT_EQ(o->currentFrame, 0); // measured, then put back as it was
    o->currentFrame = 3.7f;
    ASSERT_TRUE(CalculateObjectBounds(o));
    EXPECT_NEAR(o->collision.centre.x, 30, 1e-4);
    EXPECT_NEAR(FirstMesh(1)->bounds.centre.x, 30, 1e-4);
    EXPECT_EQ(o->currentFrame, 3.7f);
    o->currentFrame = 1e20f; // far beyond: the last frame's
    ASSERT_TRUE(CalculateObjectBounds(o));
    EXPECT_NEAR(o->collision.centre.x, 40, 1e-4);
    ASSERT_TRUE(DeleteObject(1));

    // First and last only: frames 1 to 3 take the object's own bounds.
    o = SlidingBox(true);
    set = o->animationSet;
    EXPECT_NEAR(set->boundsMinimum[0].x, -1, 1e-4);
    EXPECT_NEAR(set->boundsMinimum[4].x, 39, 1e-4);
    for (int k = 1; k < 4; ++k) {
        EXPECT_EQ(set->boundsMinimum[k], o->collision.minimum) << k;
        EXPECT_EQ(set->boundsRadius[k], o->collision.radius) << k;
    }
}
