#include "core/win32.h"

#include "object3d/object_commands.h"
#include "object3d/object_copies.h"
#include "object3d/positioning.h"
#include "object3d/primitive_makers.h"
#include "object3d/vertex_layout.h"
#include "support/object_scene.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

namespace {

std::vector<std::pair<std::int32_t, std::int32_t>> g_Called;

void RecordCall(std::int32_t object, std::int32_t value) {
    g_Called.emplace_back(object, value);
}

ObjectRecord* Object(std::int32_t n) {
    return g_Object3D.objects[n];
}

D3DXVECTOR3 Position(const MeshRecord* mesh, std::int32_t v) {
    D3DXVECTOR3 p;
    std::memcpy(&p, mesh->vertices + static_cast<std::size_t>(v) * mesh->vertexSize, sizeof p);
    return p;
}

void ExpectNear(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    EXPECT_NEAR(a.x, b.x, 1e-4);
    EXPECT_NEAR(a.y, b.y, 1e-4);
    EXPECT_NEAR(a.z, b.z, 1e-4);
}

void ExpectNear(const D3DXMATRIX& a, const D3DXMATRIX& b) {
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a[i], b[i], 1e-4) << i;
}

AnimationRecord* KeyedAnimation(const char* name, float value) {
    auto* a = new AnimationRecord;
    std::strcpy(a->name, name);
    a->matrixKeyCount = 2;
    a->matrixKeys = new MatrixKey[2]{{0, kIdentityMatrix, kZeroMatrix}, {10, kIdentityMatrix, {}}};
    a->matrixKeys[1].value._41 = value;
    return a;
}

void GiveBones(MeshRecord* mesh, std::vector<const char*> names) {
    mesh->bones = new BoneRecord[names.size()];
    mesh->boneCount = static_cast<std::int32_t>(names.size());
    for (std::size_t b = 0; b < names.size(); ++b) {
        BoneRecord& bone = mesh->bones[b];
        std::strcpy(bone.name, names[b]);
        bone.influenceCount = 2;
        bone.vertices = new std::uint32_t[2]{0, 1};
        bone.weights = new float[2]{0.25f, 0.75f};
        bone.offsetMatrix = kIdentityMatrix;
    }
}

// Object n: frames "root", "arm" and "hand", each the child of the one before, with boxes on
// root (36 vertices) and hand (24) and, when armMesh, on arm (24); the arm's mesh has bones
// following "hand" and "root"; each frame has an animation.
void BuildArm(std::int32_t n, bool armMesh) {
    ASSERT_TRUE(CreateNewObjectWithLimbs(n, "root", 3));
    FrameRecord* root = Object(n)->rootFrame;
    FrameRecord* arm = root->child;
    FrameRecord* hand = arm->child;
    std::strcpy(arm->name, "arm");
    std::strcpy(hand->name, "hand");
    arm->offset = D3DXVECTOR3(1, 2, 3);
    arm->initialMatrix._42 = 4;
    ASSERT_TRUE(FillBoxMesh(root->mesh, {-2, -2, -2}, {2, 2, 2}, false));
    ASSERT_TRUE(FillBoxMesh(hand->mesh, {-1, -1, -1}, {1, 1, 1}));
    if (armMesh) {
        ASSERT_TRUE(FillBoxMesh(arm->mesh, {-1, -1, -1}, {1, 1, 1}));
        GiveBones(arm->mesh, {"hand", "root"});
    }
    auto* set = new AnimationSetRecord;
    set->length = 10;
    set->animation = KeyedAnimation("root", 1);
    set->animation->next = KeyedAnimation("arm", 2);
    set->animation->next->next = KeyedAnimation("hand", 3);
    Object(n)->animationSet = set;
    ASSERT_TRUE(SetupNewObject(n, -1.0f));
}

std::vector<std::string> AnimationNames(const ObjectRecord* object) {
    std::vector<std::string> names;
    for (const AnimationRecord* a = object->animationSet ? object->animationSet->animation
                                                         : nullptr;
         a; a = a->next)
        names.emplace_back(a->name);
    return names;
}

} // namespace

TEST_F(ObjectTables, TheTwentySixthDeleteCallbackIsIgnored) {
    BuildBox(1, 1);
    g_Called.clear();
    for (std::int32_t i = 0; i < 26; ++i)
        AddObjectDeleteCallback(1, RecordCall, i);
    EXPECT_EQ(Object(1)->deleteCallbackCount, 25);
    DeleteObjectCmd(1);
    ASSERT_EQ(g_Called.size(), 25u);
    for (std::int32_t i = 0; i < 25; ++i)
        EXPECT_EQ(g_Called[i], std::make_pair(1, i));
    EXPECT_FALSE(ObjectExists(1));

    AddObjectDeleteCallback(1, RecordCall, 0);
    EXPECT_EQ(errors.Last(), 7008);
}

TEST_F(ObjectTables, ALimbMeshIsCopiedAsTheSourceShowsItWithoutItsPlace) {
    BuildBox(1, 1);
    SetSortKey(1, 7);
    PositionObject(1, 5, 0, 0);
    ScaleObject(1, 200, 200, 200);
    YRotateObject(1, 90);
    MakeObjectFromLimb(2, 1, 0);
    ASSERT_TRUE(ObjectExists(2));
    EXPECT_STREQ(Object(2)->rootFrame->name, "limbmesh");
    const MeshRecord* copy = FirstMesh(2);
    const MeshRecord* source = FirstMesh(1);
    ASSERT_EQ(copy->vertexCount, source->vertexCount);
    D3DXMATRIX scale, turn;
    D3DXMatrixScaling(&scale, 2, 2, 2);
    D3DXMatrixRotationY(&turn, D3DX_PI / 2);
    const D3DXMATRIX expected = Multiply(scale, turn);
    for (std::int32_t v = 0; v < source->vertexCount; ++v) {
        D3DXVECTOR3 p;
        const D3DXVECTOR3 original = Position(source, v);
        D3DXVec3TransformCoord(&p, &original, &expected);
        ExpectNear(Position(copy, v), p);
    }
    ASSERT_GE(copy->textureCount, 1);
    EXPECT_EQ(copy->textures[0].imageNumber, 7);

    MakeObjectFromLimb(2, 1, 0);
    EXPECT_EQ(errors.Last(), 7007);
}

TEST_F(ObjectTables, ALimbWithNothingToCopyMakesNoObject) {
    ASSERT_TRUE(CreateNewObjectWithLimbs(1, "empty", 2));
    ASSERT_TRUE(SetupNewObject(1, 1.0f));
    for (std::int32_t mode : {0, 1}) {
        errors.Clear();
        MakeObjectFromLimb(2, 1, 1, mode);
        EXPECT_EQ(errors.Last(), 7023);
        EXPECT_FALSE(ObjectExists(2));
    }
    MakeObjectFromLimb(2, 1, 5);
    EXPECT_EQ(errors.Last(), 7023); // no such limb

    // An instance's limbs are its source's: one beyond them is refused, one within is copied.
    BuildBox(3, 1);
    MakeInstance(4, 3);
    errors.Clear();
    MakeObjectFromLimb(5, 4, 3);
    EXPECT_EQ(errors.Last(), 7023);
    EXPECT_FALSE(ObjectExists(5));
    MakeObjectFromLimb(5, 4, 0);
    ASSERT_TRUE(ObjectExists(5));
    EXPECT_EQ(FirstMesh(5)->vertexCount, FirstMesh(3)->vertexCount);
}

TEST_F(ObjectTables, ALimbsHierarchyTakesItsFramesBonesAndKeys) {
    BuildArm(1, true);
    MakeObjectFromLimb(2, 1, 1, 1);
    ASSERT_TRUE(ObjectExists(2));
    const ObjectRecord* copy = Object(2);
    ASSERT_EQ(copy->frameCount, 2);
    ASSERT_EQ(copy->meshCount, 2);
    EXPECT_STREQ(copy->frames[0]->name, "arm");
    EXPECT_STREQ(copy->frames[1]->name, "hand");
    EXPECT_EQ(copy->frames[1]->parent, copy->frames[0]);
    EXPECT_EQ(copy->frames[0]->offset, D3DXVECTOR3(1, 2, 3));
    EXPECT_EQ(copy->frames[0]->initialMatrix._42, 4.0f);
    EXPECT_EQ(copy->frames[0]->mesh->vertexCount, 24); // the limb's own mesh

    // Only the bone whose frame came along, with its influences; it follows the copy's frame.
    const MeshRecord* arm = copy->frames[0]->mesh;
    ASSERT_EQ(arm->boneCount, 1);
    EXPECT_STREQ(arm->bones[0].name, "hand");
    ASSERT_EQ(arm->bones[0].influenceCount, 2u);
    EXPECT_EQ(arm->bones[0].vertices[1], 1u);
    EXPECT_EQ(arm->bones[0].weights[1], 0.75f);
    ASSERT_NE(arm->boneFrames, nullptr);
    EXPECT_EQ(arm->boneFrames[0], copy->frames[1]);

    EXPECT_EQ(AnimationNames(copy), (std::vector<std::string>{"arm", "hand"}));
    const AnimationRecord* keys = copy->animationSet->animation;
    ASSERT_EQ(keys->matrixKeyCount, 2u);
    EXPECT_EQ(keys->matrixKeys[1].value._41, 2.0f);
    EXPECT_EQ(keys->frame, copy->frames[0]);
    EXPECT_EQ(Object(1)->frameCount, 3); // the source keeps everything
    EXPECT_EQ(AnimationNames(Object(1)).size(), 3u);
}

TEST_F(ObjectTables, AHierarchyWhoseLimbHasNoMeshTakesTheLargest) {
    BuildArm(1, false);
    MakeObjectFromLimb(2, 1, 1, 1);
    ASSERT_TRUE(ObjectExists(2));
    const ObjectRecord* copy = Object(2);
    ASSERT_EQ(copy->frameCount, 2);
    ASSERT_NE(copy->frames[0]->mesh, nullptr);
    EXPECT_EQ(copy->frames[0]->mesh->vertexCount, 36); // the root's plain-list box
    EXPECT_EQ(copy->frames[1]->mesh->vertexCount, 24);
    EXPECT_EQ(copy->meshCount, 2);
}

TEST_F(ObjectTables, DetailMeshesComeFromFramesOfTheSameName) {
    BuildBox(1, 2);
    BuildBox(2, 1, false);
    std::strcpy(Object(2)->rootFrame->name, "BOX");
    SetSortKey(1, 9);
    AddObjectLevelOfDetail(1, 2, 1, 50);
    const ObjectRecord* object = Object(1);
    EXPECT_EQ(object->detailOn, 1);
    EXPECT_EQ(object->detailDistances[1], 50.0f);
    EXPECT_EQ(object->detailLevel, 0);
    MeshRecord* detail = object->rootFrame->detailMeshes[1];
    ASSERT_NE(detail, nullptr);
    EXPECT_EQ(object->rootFrame->detailMeshes[0], nullptr);
    EXPECT_EQ(detail->vertexCount, 36);
    EXPECT_NE(detail->backupVertices, nullptr);
    ASSERT_EQ(detail->textureCount, 1);
    EXPECT_EQ(detail->textures[0].imageNumber, 9); // the object's own texture

    // A frame that has its level keeps it; a slot outside 0 and 1 is refused.
    AddObjectLevelOfDetail(1, 1, 1, 60);
    EXPECT_EQ(object->rootFrame->detailMeshes[1], detail);
    errors.Clear();
    AddObjectLevelOfDetail(1, 2, 2, 10);
    EXPECT_EQ(errors.Last(), 7801);
    std::strcpy(Object(2)->rootFrame->name, "other");
    AddObjectLevelOfDetail(1, 2, 0, 10);
    EXPECT_EQ(object->rootFrame->detailMeshes[0], nullptr);
}

TEST_F(ObjectTables, BakingTheRotationKeepsTheLookAndIsIdempotent) {
    BuildBox(1, 1);
    RotateObject(1, 30, 45, 0);
    const D3DXMATRIX before = Object(1)->position.matWorld;
    BakeObjectRotationIntoPivot(1);
    const ObjectPosition& p = Object(1)->position;
    EXPECT_EQ(p.pivot, 1);
    EXPECT_EQ(p.angle, D3DXVECTOR3(0, 0, 0));
    ExpectNear(p.matWorld, before);
    const D3DXMATRIX pivot = p.matPivot;
    BakeObjectRotationIntoPivot(1);
    EXPECT_TRUE(SameMatrix(p.matPivot, pivot));

    // A later turn folds in after the first: the object still looks as it did.
    YRotateObject(1, 20);
    XRotateObject(1, 10);
    const D3DXMATRIX turned = p.matWorld;
    BakeObjectRotationIntoPivot(1);
    ExpectNear(p.matWorld, turned);

    // A free-flight turn is folded in and free flight ends.
    TurnObjectLeft(1, 15);
    const D3DXMATRIX flown = p.matWorld;
    BakeObjectRotationIntoPivot(1);
    EXPECT_EQ(p.matrixMode, 0);
    ExpectNear(p.matWorld, flown);
}

TEST_F(ObjectTables, AnObjectEmptiedForEditingDropsItsAnimations) {
    BuildArm(1, true);
    ASSERT_NE(Object(1)->animationSet, nullptr);
    ReplaceObjectWithEmptyMesh(1, D3DFVF_XYZ, 3, 0);
    EXPECT_EQ(Object(1)->animationSet, nullptr); // its keys drove frames that are gone
    EXPECT_EQ(Object(1)->frameCount, 1);
    EXPECT_EQ(FirstMesh(1)->vertexCount, 3);
}
