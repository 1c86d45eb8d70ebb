#include "core/win32.h"

#include "support/object_scene.h"
#include "object3d/frame_hierarchy.h"
#include "object3d/object_lists.h"
#include "object3d/vertex_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

FrameRecord* Named(const char* name) {
    auto* frame = new FrameRecord;
    std::strcpy(frame->name, name);
    return frame;
}

// root with child A (which has child B), and C beside root at the top level; A and C carry
// meshes when asked.
struct Tree {
    ObjectRecord object;
    FrameRecord *root, *a, *b, *c;
    explicit Tree(bool meshes = true) {
        root = object.rootFrame = Named("root");
        a = Named("A");
        b = Named("B");
        c = Named("C");
        AddChildFrame(root, a);
        AddChildFrame(a, b);
        root->sibling = c;
        if (meshes) {
            a->mesh = new MeshRecord;
            c->mesh = new MeshRecord;
        }
    }
    // An animation for every frame, bound by name.
    void Animate() {
        object.animationSet = new AnimationSetRecord;
        AnimationRecord** tail = &object.animationSet->animation;
        for (FrameRecord* f : {root, a, b, c}) {
            *tail = new AnimationRecord;
            std::strcpy((*tail)->name, f->name);
            tail = &(*tail)->next;
        }
        LinkAnimationsToFrames(&object);
    }
    std::vector<std::string> Animated() const {
        std::vector<std::string> names;
        for (AnimationRecord* x = object.animationSet->animation; x; x = x->next)
            names.push_back(x->name);
        return names;
    }
};

std::vector<std::string> Listed(const ObjectRecord& object) {
    std::vector<std::string> names;
    for (std::int32_t i = 0; i < object.frameCount; ++i)
        names.push_back(object.frames[i]->name);
    return names;
}

} // namespace

TEST(FrameTree, ListsRunInPreOrderAndNumberTheFrames) {
    Tree tree;
    ASSERT_TRUE(BuildFrameAndMeshLists(&tree.object));
    EXPECT_EQ(Listed(tree.object), (std::vector<std::string>{"root", "A", "B", "C"}));
    for (std::int32_t i = 0; i < 4; ++i)
        EXPECT_EQ(tree.object.frames[i]->index, i);
    ASSERT_EQ(tree.object.meshCount, 2);
    EXPECT_EQ(tree.object.meshes[0], tree.a->mesh);
    EXPECT_EQ(tree.object.meshes[1], tree.c->mesh);
    EXPECT_EQ(tree.object.noMesh, 0);

    // A negative count marks a list already in place: it is kept as it is.
    FrameRecord** kept = tree.object.frames;
    tree.object.frameCount = -4;
    ASSERT_TRUE(BuildFrameAndMeshLists(&tree.object));
    EXPECT_EQ(tree.object.frames, kept);
    EXPECT_EQ(tree.object.frameCount, 4);

    EXPECT_EQ(FindFrameByName("B", tree.root), tree.b);
    EXPECT_EQ(FindFrameByName("C", tree.root), tree.c);
    EXPECT_EQ(FindFrameByName("b", tree.root), nullptr); // names match exactly
    EXPECT_EQ(FindFrameByName(nullptr, tree.a), tree.a);

    // A bone follows the last frame of its name in the tree's order; only the first bone of a
    // name in a mesh follows one.
    std::strcpy(tree.b->name, "C");
    MeshRecord* skinned = tree.a->mesh;
    skinned->boneCount = 4;
    skinned->bones = new BoneRecord[4];
    for (int i = 0; i < 4; ++i)
        std::strcpy(skinned->bones[i].name, (const char*[]){"C", "C", "A", "x"}[i]);
    ASSERT_TRUE(AllocateBoneArrays(tree.object.meshes, tree.object.meshCount));
    ASSERT_TRUE(MatchBonesToFrames(tree.object.meshes, tree.root, tree.object.meshCount));
    EXPECT_EQ(skinned->boneFrames[0], tree.c);
    EXPECT_EQ(skinned->boneMatrices[0], &tree.c->combinedMatrix);
    EXPECT_EQ(skinned->boneFrames[1], nullptr);
    EXPECT_EQ(skinned->boneFrames[2], tree.a);
    EXPECT_EQ(skinned->boneFrames[3], nullptr);

    Tree bare(false);
    ASSERT_TRUE(BuildFrameAndMeshLists(&bare.object));
    EXPECT_EQ(bare.object.meshCount, 0);
    EXPECT_EQ(bare.object.meshes, nullptr);
    EXPECT_EQ(bare.object.noMesh, 1);
}

TEST(FrameTree, CombinedMatricesAndCachedWorldData) {
    Tree tree;
    tree.a->transformMatrix = kZeroMatrix;
    ASSERT_TRUE(UpdateFrameMatrices(tree.root, &kIdentityMatrix));
    EXPECT_EQ(tree.a->combinedMatrix._44, 1.0f); // never a w of 0
    SetFrameOffset(tree.a, 1, 2, 3);
    SetFrameOffset(tree.b, 10, 0, 0);
    RebuildFrameTransforms(tree.root);
    UpdateFrameMatrices(tree.root, &kIdentityMatrix);
    EXPECT_EQ(tree.b->combinedMatrix._41, 11);
    EXPECT_EQ(tree.b->combinedMatrix._42, 2);

    // World data is computed once, until the transforms are rebuilt.
    ObjectRecord& o = tree.object;
    D3DXMatrixTranslation(&o.position.matWorld, 100, 0, 0);
    CalculateFrameWorldData(&o, tree.b);
    EXPECT_EQ(tree.b->worldPosition, D3DXVECTOR3(111, 2, 3));
    D3DXMatrixTranslation(&o.position.matWorld, 200, 0, 0);
    CalculateFrameWorldData(&o, tree.b);
    EXPECT_EQ(tree.b->worldPosition.x, 111);
    RebuildFrameTransforms(tree.root);
    CalculateFrameWorldData(&o, tree.b);
    EXPECT_EQ(tree.b->worldPosition.x, 211);

    // Scale does not reach the angles; a matrix without scale has none to give.
    D3DXMATRIX scale, turn;
    D3DXMatrixScaling(&scale, 2, 2, 2);
    D3DXMatrixRotationY(&turn, D3DXToRadian(30));
    o.position.matWorld = scale * turn;
    tree.c->computed = 0;
    CalculateFrameWorldData(&o, tree.c);
    EXPECT_NEAR(tree.c->worldAngle.x, 0, 1e-3);
    EXPECT_NEAR(tree.c->worldAngle.y, 30, 1e-3);
    D3DXMatrixScaling(&o.position.matWorld, 0, 0, 0);
    tree.c->computed = 0;
    CalculateFrameWorldData(&o, tree.c);
    EXPECT_EQ(tree.c->worldAngle, D3DXVECTOR3(0, 0, 0));

    // A child's offset is turned by its parent's rotation: (10, 0, 0) about z onto (0, 10, 0).
    SetFrameRotation(tree.a, 0, 0, 90);
    RebuildFrameTransforms(tree.root);
    UpdateFrameMatrices(tree.root, &kIdentityMatrix);
    EXPECT_NEAR(tree.b->combinedMatrix._41, 1, 1e-4);
    EXPECT_NEAR(tree.b->combinedMatrix._42, 12, 1e-4);
    EXPECT_NEAR(tree.b->combinedMatrix._43, 3, 1e-4);
}

TEST(FrameTree, ReparentingKeepsOneTreeAndRefusesCycles) {
    Tree tree;
    // Under itself or its own descendant the frame would leave the tree in a loop.
    EXPECT_FALSE(ReparentFrame(&tree.object, tree.a, tree.a));
    EXPECT_FALSE(ReparentFrame(&tree.object, tree.a, tree.b));
    EXPECT_FALSE(ReparentFrame(&tree.object, tree.root, tree.b));
    FrameRecord* stray = Named("stray"); // in no tree of this object
    EXPECT_FALSE(ReparentFrame(&tree.object, stray, tree.c));
    EXPECT_EQ(tree.c->child, nullptr);
    delete stray;
    ASSERT_TRUE(BuildFrameAndMeshLists(&tree.object));
    EXPECT_EQ(Listed(tree.object), (std::vector<std::string>{"root", "A", "B", "C"}));

    // The first top-level frame moved under its sibling leaves the sibling as the root.
    ASSERT_TRUE(ReparentFrame(&tree.object, tree.root, tree.c));
    EXPECT_EQ(tree.object.rootFrame, tree.c);
    EXPECT_EQ(tree.c->child, tree.root);
    EXPECT_EQ(tree.root->parent, tree.c);
    EXPECT_EQ(tree.root->sibling, nullptr);
    tree.object.frameCount = 0;
    ASSERT_TRUE(BuildFrameAndMeshLists(&tree.object));
    EXPECT_EQ(Listed(tree.object), (std::vector<std::string>{"C", "root", "A", "B"}));

    // A first child unlinked hands the parent link on to its sibling.
    FrameRecord* d = Named("D");
    AddChildFrame(tree.a, d);
    ASSERT_FALSE(DetachFrameFromTree(&tree.object, tree.object.rootFrame, tree.b));
    EXPECT_EQ(tree.a->child, d);
    EXPECT_EQ(d->parent, tree.a);
    delete tree.b;
}

TEST_F(ObjectTables, RemovingAFrameTakesItsSubtreesAnimationsOnly) {
    Tree tree;
    tree.Animate();
    ASSERT_TRUE(BuildFrameAndMeshLists(&tree.object));
    ASSERT_TRUE(RemoveFrame(&tree.object, tree.a));
    EXPECT_EQ(tree.Animated(), (std::vector<std::string>{"root", "C"}));
    EXPECT_EQ(Listed(tree.object), (std::vector<std::string>{"root", "C"}));
    EXPECT_EQ(tree.object.meshCount, 1);
    EXPECT_EQ(tree.root->child, nullptr);

    // A frame added at the top level gets an animation of its own name.
    ASSERT_TRUE(AddFrameWithMesh(&tree.object, new MeshRecord, "E"));
    EXPECT_EQ(tree.Animated(), (std::vector<std::string>{"root", "C", "E"}));
    EXPECT_EQ(tree.c->sibling->name, std::string("E"));
    EXPECT_EQ(FindAnimationByName(&tree.object, "e")->frame, tree.c->sibling);
}

TEST(FrameTree, BoundMeshesGrowOnePercentAroundTheMesh) {
    FrameRecord frame;
    frame.mesh = new MeshRecord;
    frame.mesh->bounds.minimum = D3DXVECTOR3(-1, -1, -1);
    frame.mesh->bounds.maximum = D3DXVECTOR3(1, 1, 1);
    frame.mesh->bounds.centre = D3DXVECTOR3(0, 0, 0);
    frame.mesh->bounds.radius = 2;
    ASSERT_TRUE(CreateFrameBoundsBox(&frame));
    ASSERT_TRUE(CreateFrameBoundSphere(&frame));
    const MeshRecord* box = frame.boundBoxMesh;
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->wireframe && !box->lighting && !box->culling);
    auto extremes = [](const MeshRecord* mesh) {
        float low = 1e9f, high = -1e9f, furthest = 0;
        for (std::int32_t v = 0; v < mesh->vertexCount; ++v) {
            const auto* p = reinterpret_cast<const float*>(mesh->vertices + v * mesh->vertexSize);
            for (int k = 0; k < 3; ++k)
                low = std::min(low, p[k]), high = std::max(high, p[k]);
            furthest = std::max(furthest, std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]));
        }
        return std::vector<float>{low, high, furthest};
    };
    EXPECT_EQ(box->vertexCount, 24);
    EXPECT_NEAR(extremes(box)[0], -1.01f, 1e-6);
    EXPECT_NEAR(extremes(box)[1], 1.01f, 1e-6);
    EXPECT_NEAR(extremes(frame.boundSphereMesh)[2], 2.02f, 1e-5);

    // The meshes follow the frame mesh's bounds when refreshed.
    frame.mesh->bounds.maximum = D3DXVECTOR3(3, 3, 3);
    UpdateFrameBoundsBox(&frame);
    EXPECT_NEAR(extremes(box)[1], 3.03f, 1e-5);
    EXPECT_TRUE(box->verticesChanged);
}

TEST(FrameTree, DetailLevelsFollowTheCameraDistance) {
    ObjectRecord o;
    auto level = [&o](float closest, float furthest, float distance) {
        o.detailDistances[0] = closest;
        o.detailDistances[1] = furthest;
        o.position.distance = distance;
        SelectObjectDetailLevel(&o);
        return o.detailLevel;
    };
    EXPECT_EQ(level(0, 0, 1e6f), 0);
    EXPECT_EQ(level(100, 0, 150), 1);
    EXPECT_EQ(level(100, 200, 50), 0);
    EXPECT_EQ(level(100, 200, 150), 1);
    EXPECT_EQ(level(100, 200, 250), 2);
}

TEST(FrameTree, BonesAndAnimationsFindTheirFramesByName) {
    // B and C both named D: an animation follows the first of them in the tree's order.
    Tree tree;
    std::strcpy(tree.b->name, "D");
    std::strcpy(tree.c->name, "D");
    tree.Animate();
    EXPECT_EQ(tree.object.animationSet->animation->next->next->frame, tree.b);
    EXPECT_EQ(tree.object.animationSet->animation->next->next->next->frame, tree.b);

    // Many frames, bones and animations, most naming no frame: each linked through one table of
    // the names, where a walk of the frames or bones for each would take minutes.
    constexpr int kFrames = 20000, kBones = 200000;
    auto name = [](int k) { return "the_bone_of_the_left_hand_" + std::to_string(k); };
    for (int f = 0; f < kFrames; ++f) {
        FrameRecord* frame = Named(name(f).c_str());
        frame->parent = tree.b;
        frame->sibling = std::exchange(tree.b->child, frame);
    }
    // Bone b names frame b - (kBones - kFrames): only the last kFrames bones find one.
    MeshRecord* many = tree.c->mesh;
    many->bones = new BoneRecord[kBones];
    many->boneCount = kBones;
    for (int b = 0; b < kBones; ++b)
        std::strcpy(many->bones[b].name, name(b - (kBones - kFrames)).c_str());
    AllocateMeshBoneArrays(many);
    ASSERT_TRUE(LinkMeshBonesToFrames(many, tree.root));
    EXPECT_EQ(many->boneFrames[0], nullptr);
    EXPECT_EQ(many->boneFrames[kBones - kFrames]->name, name(0));
    EXPECT_EQ(many->boneFrames[kBones - 1]->name, name(kFrames - 1));
    AnimationRecord** tail = &tree.object.animationSet->animation;
    while (*tail)
        tail = &(*tail)->next;
    AnimationRecord** added = tail;
    for (int k = 0; k < kBones; ++k) {
        *tail = new AnimationRecord;
        std::strcpy((*tail)->name, name(k - (kBones - kFrames)).c_str());
        tail = &(*tail)->next;
    }
    LinkAnimationsToFrames(&tree.object);
    std::vector<const FrameRecord*> linked;
    for (const AnimationRecord* a = *added; a; a = a->next)
        linked.push_back(a->frame);
    EXPECT_EQ(linked[kBones - 1]->name, name(kFrames - 1));
    EXPECT_EQ(std::count(linked.begin(), linked.end(), nullptr), kBones - kFrames);
}
