#include "core/win32.h"

#include "support/object_scene.h"
#include "support/temp_folder.h"
#include "camera/camera.h"
#include "object3d/animation_commands.h"
#include "object3d/model_files.h"
#include "object3d/positioning.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

ObjectRecord* Object(std::int32_t n) {
    return g_Object3D.objects[n];
}

void SetPositionKeys(AnimationRecord* a, const std::vector<PositionKey>& keys) {
    delete[] a->positionKeys;
    a->positionKeyCount = static_cast<std::uint32_t>(keys.size());
    a->positionKeys = new PositionKey[keys.size()];
    std::copy(keys.begin(), keys.end(), a->positionKeys);
}

PositionKey At(std::uint32_t time, float x) {
    return {time, {x, 0, 0}, {0, 0, 0}};
}

// Object n of two limbs, the first named "Body", moved by position keys (time, x) over length.
void BuildWalker(std::int32_t n, const char* animated, std::uint32_t length,
                 const std::vector<PositionKey>& keys) {
    ASSERT_TRUE(CreateNewObjectWithLimbs(n, "Body", 2));
    ObjectRecord* o = Object(n);
    o->animationSet = new AnimationSetRecord;
    o->animationSet->length = length;
    AnimationRecord* a = o->animationSet->animation = new AnimationRecord;
    std::strcpy(a->name, animated);
    SetPositionKeys(a, keys);
    ASSERT_TRUE(SetupNewObject(n, -1.0f));
}

// Object n of three limbs in a chain: limb 1 is 2 up from the root, limb 2 is 3 along x from
// limb 1 and turned a quarter about y.
void BuildArm(std::int32_t n) {
    ASSERT_TRUE(CreateNewObjectWithLimbs(n, "arm", 3));
    FrameRecord* root = Object(n)->rootFrame;
    D3DXMatrixTranslation(&root->child->initialMatrix, 0, 2, 0);
    D3DXMATRIX turn, move;
    D3DXMatrixRotationY(&turn, D3DX_PI / 2);
    D3DXMatrixTranslation(&move, 3, 0, 0);
    root->child->child->initialMatrix = turn * move;
    ASSERT_TRUE(SetupNewObject(n, -1.0f));
}

void ExpectVector(const D3DXVECTOR3& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-4);
    EXPECT_NEAR(v.y, y, 1e-4);
    EXPECT_NEAR(v.z, z, 1e-4);
}

} // namespace

TEST_F(ObjectTables, PlayLoopAndFramesSetRangeFrameAndBlend) {
    BuildWalker(1, "Body", 30, {At(0, 0), At(30, 30)});
    ObjectRecord* o = Object(1);
    EXPECT_EQ(o->endFrame, 30); // set up to play the whole animation
    o->endFrame = 10;
    PlayObject(1, 20);
    EXPECT_TRUE(ObjectPlaying(1));
    EXPECT_EQ(ObjectFrame(1), 20);
    EXPECT_EQ(o->endFrame, 30);
    PlayObject(1, 2, 8);
    PlayObject(1, 5); // within the range: the end stays
    EXPECT_EQ(o->endFrame, 8);

    o->currentFrame = 12;
    LoopObject(1, 5, 10);
    EXPECT_TRUE(ObjectLooping(1));
    EXPECT_EQ(ObjectFrame(1), 5);
    o->currentFrame = 7;
    LoopObject(1, 5, 10);
    EXPECT_EQ(ObjectFrame(1), 7);
    o->currentFrame = 2;
    LoopObject(1, 4);
    EXPECT_EQ(ObjectFrame(1), 4);

    SetObjectSpeed(1, 50);
    EXPECT_EQ(ObjectSpeed(1), 50.000004f); // read back through 100.00001
    // Playing, a new frame is taken at once; stopped, it is blended to.
    SetObjectInterpolation(1, 25);
    SetObjectFrame(1, 6);
    EXPECT_EQ(o->blending, 0);
    EXPECT_EQ(ObjectFrame(1), 6);
    StopObject(1);
    SetObjectFrame(1, 8.5f);
    EXPECT_EQ(ObjectFrame(1), 6);
    EXPECT_EQ(o->blending, 1);
    EXPECT_EQ(o->blendTarget, 8.5f);
    SetObjectInterpolation(1, 100);
    EXPECT_EQ(o->blending, 0);

    o->boundsFollow = 0;
    SetObjectFrame(1, 3.0f, 2); // not following: nothing to stop
    EXPECT_EQ(o->recalculate, 0);
    SetObjectFrame(1, 3.0f, 1);
    EXPECT_EQ(o->boundsFollow, 1);
    o->recalculate = 0;
    SetObjectFrame(1, 3.0f, 2);
    EXPECT_EQ(o->boundsFollow, 0);
    EXPECT_EQ(o->recalculate, 1);

    PlayObject(0);
    EXPECT_EQ(errors.Last(), 7006);
    EXPECT_EQ(TotalObjectFrames(2), 0);
    EXPECT_EQ(errors.Last(), 7008);
}

TEST_F(ObjectTables, AppendObjectTakesKeysFromTheEndOfTheAnimation) {
    TempFolder folder;
    BuildWalker(2, "Body", 5, {At(0, 100), At(5, 150)});
    const std::string walk = folder.File("walk.tlo");
    ASSERT_TRUE(SaveObjectFile(walk.c_str(), Object(2)));
    BuildWalker(3, "Tail", 5, {At(0, 7)});
    const std::string tail = folder.File("tail.tlo");
    ASSERT_TRUE(SaveObjectFile(tail.c_str(), Object(3)));

    BuildWalker(1, "Body", 10, {At(0, 0), At(10, 10)});
    const AnimationRecord* own = Object(1)->animationSet->animation;
    EXPECT_EQ(AppendObject(walk.c_str(), 1, 12), 0);
    EXPECT_EQ(errors.Last(), 7602);
    EXPECT_EQ(AppendObject(walk.c_str(), 1, 9), 0);
    EXPECT_EQ(errors.Last(), 7606);
    errors.Clear();
    EXPECT_EQ(AppendObject(tail.c_str(), 1, 11), 0); // no name in common
    EXPECT_EQ(errors.Last(), 7605);
    EXPECT_EQ(AppendObject(folder.File("none.tlo").c_str(), 1, 11), 0);
    EXPECT_EQ(errors.Last(), 7605);
    ASSERT_EQ(own->positionKeyCount, 2u);
    EXPECT_EQ(Object(1)->animationSet->length, 10u);

    errors.Clear();
    ASSERT_EQ(AppendObject(walk.c_str(), 1, 11), 1);
    EXPECT_EQ(errors.Last(), 0);
    ASSERT_EQ(own->positionKeyCount, 4u);
    EXPECT_EQ(own->positionKeys[2].time, 11u);
    EXPECT_EQ(own->positionKeys[3].time, 16u);
    EXPECT_EQ(own->positionKeys[1].delta.x, 90); // towards the first appended key
    EXPECT_EQ(Object(1)->endFrame, 15);
    EXPECT_EQ(TotalObjectFrames(1), 15);

    ASSERT_TRUE(CreateNewObject(4, "still"));
    ASSERT_TRUE(SetupNewObject(4, -1.0f));
    EXPECT_EQ(AppendObject(walk.c_str(), 4, 0), 0);
    EXPECT_EQ(errors.Last(), 7602);
}

TEST_F(ObjectTables, GlueFollowsALimbAndUngluePutsTheObjectThere) {
    BuildArm(2);
    PositionObject(2, 10, 0, 0);
    RotateObject(2, 0, 90, 0);
    // Limb 2 sits at (3, 2, 0) in the arm, turned a quarter with the arm: (10, 2, -3).
    BuildBox(1, 1);
    PositionObject(1, 1, 0, 0);
    GlueObjectToLimb(1, 2, 2);
    const ObjectPosition& p = Object(1)->position;
    EXPECT_EQ(p.glueObject, 2);
    // (1, 0, 0) turned by the limb to (0, 0, -1) from it, then with the arm.
    EXPECT_NEAR(GetObjectWorldPositionX(1), 9, 1e-4);
    EXPECT_NEAR(GetObjectWorldPositionZ(1), -3, 1e-4);
    GlueObjectToLimb(1, 2, 2, 1);
    EXPECT_EQ(p.glueLimb, -2);
    // The limb's place without its turn: (1, 0, 0) from the limb, turned with the arm.
    EXPECT_NEAR(GetObjectWorldPositionX(1), 10, 1e-4);
    EXPECT_NEAR(GetObjectWorldPositionZ(1), -4, 1e-4);

    UnglueObject(1);
    EXPECT_EQ(p.glued, 0);
    EXPECT_EQ(p.glueObject, 0);
    ExpectVector(p.position, 10, 2, -3);
    ExpectVector(D3DXVECTOR3(p.matWorld._41, p.matWorld._42, p.matWorld._43), 10, 2, -3);
    UnglueObject(1);
    ExpectVector(p.position, 10, 2, -3);

    GlueObjectToLimb(1, 2, 1, 2);
    ExpectVector(p.position, 0, 0, 0);
    Object(1)->position.glueLimb = 7; // a limb since removed: the glue goes, the place stays
    UnglueObject(1);
    EXPECT_EQ(p.glued, 0);
    ExpectVector(p.position, 0, 0, 0);

    GlueObjectToLimb(1, 2, 3);
    EXPECT_EQ(errors.Last(), 7023);
    GlueObjectToLimb(1, 0, 0);
    EXPECT_EQ(errors.Last(), 7006);
}

TEST_F(ObjectTables, OrientationsComeFromObjectsAndLimbsWithoutTheirPlace) {
    BuildArm(2);
    BuildBox(1, 1);
    PositionObject(1, 4, 5, 6);
    ObjectPosition& p = Object(1)->position;
    ASSERT_TRUE(CreateNewObjectWithLimbs(3, "pair", 2));
    ASSERT_TRUE(SetupNewObject(3, -1.0f));
    errors.Clear();
    SetObjectToObjectOrientation(1, 3, 3, 0);
    EXPECT_EQ(errors.Last(), 7023);
    EXPECT_EQ(p.matrixMode, 0);

    // Limb 2 is turned a quarter about y and sits 3 along x: the object takes only the turn.
    D3DXMATRIX& limb = Object(2)->rootFrame->child->child->combinedMatrix;
    limb._11 *= 2, limb._12 *= 2, limb._13 *= 2; // a scaled limb sizes nothing
    SetObjectToObjectOrientation(1, 2, 2, 0);
    EXPECT_EQ(p.matrixMode, 1);
    ExpectVector(p.look, 1, 0, 0);
    ExpectVector(D3DXVECTOR3(p.matWorld._41, p.matWorld._42, p.matWorld._43), 4, 5, 6);
    const D3DXVECTOR3 xAxis(p.matWorld._11, p.matWorld._12, p.matWorld._13);
    EXPECT_NEAR(D3DXVec3Length(&xAxis), 1, 1e-5);

    RotateObject(2, 30, 40, 0);
    SetObjectRotationZYX(2);
    Object(2)->position.pivot = 1;
    Object(2)->position.matPivot = kIdentityMatrix;
    SetObjectToObjectOrientation(1, 2);
    EXPECT_EQ(p.matrixMode, 0);
    EXPECT_EQ(p.rotationOrder, 1);
    ExpectVector(p.angle, 30, 40, 0);
    EXPECT_EQ(p.pivot, 0);
    SetObjectToObjectOrientation(1, 2, 1);
    EXPECT_EQ(p.pivot, 1);
    EXPECT_TRUE(SameMatrix(p.matRotation, Object(2)->position.matRotation));
}

TEST_F(ObjectTables, WorldMatricesSetAndReadPerLimb) {
    BuildArm(2);
    PositionObject(2, 10, 0, 0);
    float m[16];
    GetLimbWorldMatrix(2, 2, m);
    EXPECT_NEAR(m[12], 13, 1e-5);
    EXPECT_NEAR(m[13], 2, 1e-5);
    EXPECT_NEAR(m[8], 1, 1e-5); // the limb's z axis is turned to x

    D3DXMATRIX set;
    D3DXMatrixTranslation(&set, 7, 8, 9);
    SetObjectWorldMatrix(2, set);
    SetObjectWorldMatrix(2, nullptr);
    PositionObject(2, 0, 0, 0); // a set matrix is kept
    EXPECT_TRUE(SameMatrix(Object(2)->position.matWorld, set));

    m[0] = 42;
    GetLimbWorldMatrix(2, 3, m);
    EXPECT_EQ(errors.Last(), 7023);
    EXPECT_EQ(m[0], 42);
}

TEST_F(ObjectScene, CameraOrientationTurnsTheObjectInPlace) {
    BuildBox(1, 1);
    PositionObject(1, 1, 2, 3);
    PositionCamera(0, 50, 60, 70);
    TurnCameraRight(0, 90);
    SetObjectToCameraOrientation(1);
    const ObjectPosition& p = Object(1)->position;
    EXPECT_EQ(p.matrixMode, 1); // as the turned camera
    ExpectVector(p.look, 1, 0, 0);
    ExpectVector(D3DXVECTOR3(p.matWorld._31, p.matWorld._32, p.matWorld._33), 1, 0, 0);
    ExpectVector(D3DXVECTOR3(p.matWorld._41, p.matWorld._42, p.matWorld._43), 1, 2, 3);
    EXPECT_EQ(p.rotationOrder, GetCameraInternalData(0)->rotationOrder == 0 ? 1 : 0);
}
