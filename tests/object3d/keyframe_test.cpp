#include "core/win32.h"

#include "support/object_scene.h"
#include "object3d/frame_hierarchy.h"
#include "object3d/keyframes.h"
#include "object3d/object_lists.h"
#include "object3d/positioning.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

void SetPositionKeys(AnimationRecord* a, const std::vector<PositionKey>& keys) {
    delete[] a->positionKeys;
    a->positionKeyCount = static_cast<std::uint32_t>(keys.size());
    a->positionKeys = new PositionKey[keys.size()];
    std::copy(keys.begin(), keys.end(), a->positionKeys);
}

void SetRotationKeys(AnimationRecord* a, const std::vector<RotationKey>& keys) {
    delete[] a->rotationKeys;
    a->rotationKeyCount = static_cast<std::uint32_t>(keys.size());
    a->rotationKeys = new RotationKey[keys.size()];
    std::copy(keys.begin(), keys.end(), a->rotationKeys);
}

PositionKey At(std::uint32_t time, float x, float y = 0, float z = 0) {
    return {time, {x, y, z}, {0, 0, 0}};
}

D3DXQUATERNION AboutY(float degrees) {
    D3DXQUATERNION q;
    const D3DXVECTOR3 y(0, 1, 0);
    return *D3DXQuaternionRotationAxis(&q, &y, D3DXToRadian(degrees));
}

D3DXVECTOR3 Position(const AnimationRecord* a, float t) {
    D3DXVECTOR3 p(-99, -99, -99);
    InterpolatePositionKeys(&p, a, t);
    return p;
}

void ExpectNear(const D3DXMATRIX& a, const D3DXMATRIX& b) {
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a[i], b[i], 1e-5) << "element " << i;
}

} // namespace

TEST(Keyframes, KeysSortByTimeAndLearnTheirChange) {
    AnimationRecord a;
    SetPositionKeys(&a, {At(10, 10), At(0, 0), At(20, 30)});
    ASSERT_TRUE(PreparePositionKeys(&a));
    EXPECT_EQ(a.positionKeys[0].time, 0u);
    EXPECT_EQ(a.positionKeys[1].time, 10u);
    EXPECT_EQ(a.positionKeys[2].time, 20u);
    EXPECT_EQ(a.positionKeys[0].delta.x, 1);
    EXPECT_EQ(a.positionKeys[1].delta.x, 2);
    EXPECT_EQ(a.positionKeys[2].delta.x, 0); // the last keeps what it had

    // Two keys at one time change over one frame rather than dividing by zero.
    SetPositionKeys(&a, {At(5, 1), At(5, 4)});
    PrepareAnimationKeys(&a);
    EXPECT_EQ(a.positionKeys[0].delta.x, 3);
    EXPECT_FALSE(PrepareScaleKeys(&a));
    EXPECT_FALSE(PrepareRotationKeys(&a));
}

TEST(Keyframes, LinearSamplesHitKeysHoldTheLastAndExtrapolateTheFirst) {
    AnimationRecord a;
    SetPositionKeys(&a, {At(10, 10), At(20, 10, 20), At(30, 0, 20)});
    PreparePositionKeys(&a);
    EXPECT_EQ(Position(&a, 20), D3DXVECTOR3(10, 20, 0));
    EXPECT_EQ(Position(&a, 15), D3DXVECTOR3(10, 10, 0));
    EXPECT_EQ(Position(&a, 30), D3DXVECTOR3(0, 20, 0));
    EXPECT_EQ(Position(&a, 1000), D3DXVECTOR3(0, 20, 0));
    EXPECT_EQ(Position(&a, 5), D3DXVECTOR3(10, -10, 0)); // back along the first change

    // The Catmull-Rom form passes through the keys and also holds the last.
    a.linear = 0;
    D3DXVECTOR3 p;
    for (float t : {10.0f, 20.0f, 30.0f, 45.0f}) {
        SmoothPositionKeys(&p, &a, t);
        EXPECT_EQ(p, Position(&a, t)) << t;
    }
    SmoothPositionKeys(&p, &a, 25);
    EXPECT_NEAR(p.x, 5, 1e-5);
    EXPECT_NEAR(p.y, 21.25f, 1e-5); // the curve overshoots where the straight line holds 20

    // Rotations: slerp between keys, the key itself at its time, the last beyond.
    SetRotationKeys(&a, {{0, AboutY(0)}, {10, AboutY(90)}});
    D3DXQUATERNION q;
    InterpolateRotationKeys(&q, &a, 5);
    EXPECT_NEAR(q.y, AboutY(45).y, 1e-6);
    InterpolateRotationKeys(&q, &a, 50);
    EXPECT_EQ(q, AboutY(90));
    // Two keys at one time, sampled before them: the first key, not a NaN.
    SetRotationKeys(&a, {{5, AboutY(20)}, {5, AboutY(40)}});
    InterpolateRotationKeys(&q, &a, 0);
    EXPECT_FALSE(std::isnan(q.x) || std::isnan(q.w));
    EXPECT_NEAR(q.y, AboutY(20).y, 1e-6);
}

TEST(Keyframes, MatrixKeysStartWhereTheSearchLeftOff) {
    AnimationRecord a;
    a.matrixKeyCount = 3;
    a.matrixKeys = new MatrixKey[3];
    for (std::uint32_t k = 0; k < 3; ++k) {
        a.matrixKeys[k].time = 10 * k;
        D3DXMatrixTranslation(&a.matrixKeys[k].value, static_cast<float>(k), 0, 0);
        D3DXMatrixTranslation(&a.matrixKeys[k].delta, 0.1f, 0, 0);
        a.matrixKeys[k].delta._11 = a.matrixKeys[k].delta._22 = a.matrixKeys[k].delta._33 =
            a.matrixKeys[k].delta._44 = 0;
    }
    D3DXMATRIX m;
    a.matrixSearchStart = 2; // later than the time: the scan starts over
    InterpolateMatrixKeys(&m, &a, 15);
    EXPECT_NEAR(m._41, 1.5f, 1e-6);
    a.matrixSearchStart = 7; // past the keys
    InterpolateMatrixKeys(&m, &a, 25);
    EXPECT_EQ(m._41, 2);

    // Another animation borrows these keys; they go before what is already there.
    AnimationRecord borrower;
    borrower.keySource = &a;
    D3DXMATRIX scale;
    D3DXMatrixScaling(&scale, 2, 2, 2);
    m = scale;
    ASSERT_TRUE(ApplyMatrixKeys(&borrower, &m, 20));
    EXPECT_EQ(m._41, 4); // (translation 2) x (scale 2)
    AnimationRecord none;
    EXPECT_FALSE(ApplyMatrixKeys(&none, &m, 20));
}

TEST(Keyframes, SamplingPosesTheFrameFromItsUserMatrix) {
    ObjectRecord object;
    FrameRecord* frame = object.rootFrame = new FrameRecord;
    std::strcpy(frame->name, "Arm");
    SetFrameOffset(frame, 1, 0, 0);
    D3DXMatrixTranslation(&frame->initialMatrix, 0, 100, 0); // not used once animated
    object.animationSet = new AnimationSetRecord;
    AnimationRecord* a = object.animationSet->animation = new AnimationRecord;
    std::strcpy(a->name, "arm");
    // No frame of that exact name: sampling skips it.
    LinkAnimationsToFrames(&object);
    EXPECT_FALSE(SampleAnimation(a, 0));
    std::strcpy(a->name, "Arm");
    LinkAnimationsToFrames(&object);
    ASSERT_EQ(a->frame, frame);

    // No keys at all: the user matrix.
    ASSERT_TRUE(AnimateObject(&object, 3));
    EXPECT_EQ(frame->transformMatrix, frame->userMatrix);

    // user x scale x rotation x translation.
    a->scaleKeyCount = 1;
    a->scaleKeys = new ScaleKey[1]{At(0, 2, 2, 2)};
    SetRotationKeys(a, {{0, AboutY(90)}});
    SetPositionKeys(a, {At(0, 0, 5, 0)});
    AnimateObject(&object, 0);
    D3DXVECTOR3 p(0, 0, 0), out;
    D3DXVec3TransformCoord(&out, &p, &frame->transformMatrix);
    EXPECT_NEAR(out.x, 0, 1e-5);
    EXPECT_NEAR(out.y, 5, 1e-5);
    EXPECT_NEAR(out.z, -2, 1e-5); // (1, 0, 0) scaled to 2, turned onto -z, raised 5
    // A move off the turning axis is not turned: it comes after the rotation.
    SetPositionKeys(a, {At(0, 4, 5, 0)});
    AnimateObject(&object, 0);
    D3DXVec3TransformCoord(&out, &p, &frame->transformMatrix);
    EXPECT_NEAR(out.x, 4, 1e-5);
    EXPECT_NEAR(out.y, 5, 1e-5);
    EXPECT_NEAR(out.z, -2, 1e-5);

    // Blending at 0.5 averages positions and quaternion components, without renormalising.
    SetPositionKeys(a, {At(0, 0), At(10, 10, 20)});
    SetRotationKeys(a, {{0, AboutY(0)}, {10, AboutY(90)}});
    PrepareAnimationKeys(a);
    D3DXMATRIX blended = kIdentityMatrix;
    ASSERT_TRUE(ApplyBlendedRotationKeys(a, &blended, 0, 10, 0.5f));
    D3DXQUATERNION average = (AboutY(0) + AboutY(90)) * 0.5f;
    D3DXMATRIX expected;
    ExpectNear(blended, *D3DXMatrixRotationQuaternion(&expected, &average));
    blended = kIdentityMatrix;
    ASSERT_TRUE(ApplyBlendedPositionKeys(a, &blended, 0, 10, 0.5f));
    EXPECT_EQ(blended._41, 5);
    EXPECT_EQ(blended._42, 10);

    object.blendFlag = 1;
    object.blendTimes[0] = 0;
    object.blendTimes[1] = 10;
    object.blendFactor = 1; // all the way to the second time
    AnimateObject(&object, 0);
    EXPECT_NEAR(frame->transformMatrix._41, 10 + 2 * 0, 1e-4);
    EXPECT_NEAR(frame->transformMatrix._42, 20, 1e-4);
    EXPECT_FALSE(AnimateObject(nullptr, 0));
}

TEST(Keyframes, CopiesAndLookupsByName) {
    AnimationRecord first;
    std::strcpy(first.name, "Hip");
    first.next = new AnimationRecord;
    SetPositionKeys(&first, {At(0, 1), At(4, 2)});
    first.linear = 0;
    AnimationRecord* copy = CopyAnimation(&first, "Knee");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(first.next->next, copy); // at the end of the chain
    EXPECT_STREQ(copy->name, "Knee");
    EXPECT_EQ(copy->frame, nullptr);
    EXPECT_EQ(copy->linear, 0u);
    ASSERT_EQ(copy->positionKeyCount, 2u);
    EXPECT_NE(copy->positionKeys, first.positionKeys);
    EXPECT_EQ(copy->positionKeys[1].value.x, 2);
    EXPECT_EQ(copy->rotationKeys, nullptr);

    ObjectRecord object;
    EXPECT_EQ(FindAnimationByName(&object, "hip"), nullptr);
    object.animationSet = new AnimationSetRecord;
    object.animationSet->animation = copy;
    EXPECT_EQ(FindAnimationByName(&object, "KNEE"), copy);
    EXPECT_EQ(FindAnimationByName(&object, "Hip"), nullptr);
    object.animationSet->animation = nullptr;
}

TEST_F(ObjectTables, AppendedAnimationRunsOnFromTheOffset) {
    ASSERT_TRUE(CreateNewObjectWithLimbs(1, "walker", 2));
    ObjectRecord* o = g_Object3D.objects[1];
    std::strcpy(o->rootFrame->name, "Body");
    o->animationSet = new AnimationSetRecord;
    o->animationSet->length = 99;
    AnimationRecord* own = o->animationSet->animation = new AnimationRecord;
    std::strcpy(own->name, "Body");
    SetPositionKeys(own, {At(0, 0), At(99, 99)});
    ASSERT_TRUE(SetupNewObject(1, -1.0f));

    ObjectRecord other;
    other.animationSet = new AnimationSetRecord;
    other.animationSet->length = 50;
    AnimationRecord* unmatched = other.animationSet->animation = new AnimationRecord;
    std::strcpy(unmatched->name, "Tail");
    SetPositionKeys(unmatched, {At(0, 7)});
    EXPECT_FALSE(AppendAnimationOf(o, &other, 100));
    EXPECT_EQ(own->positionKeyCount, 2u); // nothing matched, nothing changed
    EXPECT_EQ(o->animationSet->length, 99u);

    AnimationRecord* matched = unmatched->next = new AnimationRecord;
    std::strcpy(matched->name, "BODY");
    SetPositionKeys(matched, {At(0, 200), At(50, 300)});
    ASSERT_TRUE(AppendAnimationOf(o, &other, 100));
    ASSERT_EQ(own->positionKeyCount, 4u);
    EXPECT_EQ(own->positionKeys[2].time, 100u);
    EXPECT_EQ(own->positionKeys[3].time, 150u);
    EXPECT_EQ(own->positionKeys[1].delta.x, 101); // towards the first appended key
    EXPECT_EQ(o->animationSet->length, 149u);
    EXPECT_EQ(o->endFrame, 149);
    EXPECT_EQ(Position(own, 125).x, 250);
    EXPECT_FALSE(AppendAnimationFromFile(o, "missing.x", 0));
}

TEST_F(ObjectScene, ABoxTurnedByItsRotationKeysDrawsTurned) {
    // A block reaching out to the right of its origin misses the view's centre; a quarter turn
    // about y swings it round to point at the camera, across the centre.
    ASSERT_TRUE(CreateNewObject(1, "block"));
    ASSERT_TRUE(FillBoxMesh(FirstMesh(1), {0.5f, -0.5f, -0.5f}, {3, 0.5f, 0.5f}));
    ObjectRecord* o = g_Object3D.objects[1];
    o->animationSet = new AnimationSetRecord;
    o->animationSet->length = 5;
    AnimationRecord* a = o->animationSet->animation = new AnimationRecord;
    std::strcpy(a->name, o->rootFrame->name);
    SetRotationKeys(a, {{0, AboutY(0)}, {5, AboutY(90)}});
    ASSERT_TRUE(SetupNewObject(1, -1.0f));
    ASSERT_EQ(a->frame, o->rootFrame);
    PositionObject(1, 0, 0, 6);

    o->currentFrame = 0;
    EXPECT_EQ(SyncAndReadCentre(0xFF000000), 0xFF000000u);
    o->currentFrame = 5;
    EXPECT_NE(SyncAndReadCentre(0xFF000000), 0xFF000000u);
}
