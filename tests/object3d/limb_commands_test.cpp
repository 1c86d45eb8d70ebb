#include "core/win32.h"

#include "object3d/limb_commands.h"
#include "core/core.h"
#include "object3d/frame_hierarchy.h"
#include "object3d/object_commands.h"
#include "object3d/object_copies.h"
#include "object3d/object_lists.h"
#include "object3d/positioning.h"
#include "support/guarded_bytes.h"
#include "support/object_scene.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

namespace {

constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kBlack = 0xFF000000;

ObjectRecord* Object(std::int32_t n) {
    return g_Object3D.objects[n];
}

// Object n: `limbs` limbs, each the child of the one before, named "chain", "limb1", ...,
// each carrying a box of half-size h about its origin.
void BuildChain(std::int32_t n, std::int32_t limbs, float h = 1.0f) {
    ASSERT_TRUE(CreateNewObjectWithLimbs(n, "chain", limbs));
    std::int32_t i = 0;
    for (FrameRecord* f = Object(n)->rootFrame; f; f = f->child, ++i) {
        if (i > 0) std::snprintf(f->name, sizeof f->name, "limb%d", i);
        ASSERT_TRUE(FillBoxMesh(f->mesh, D3DXVECTOR3(-h, -h, -h), D3DXVECTOR3(h, h, h)));
    }
    ASSERT_TRUE(SetupNewObject(n, -1.0f));
}

// Mesh item m: a box of half-size h.
void BuildMeshItem(std::int32_t m, float h) {
    ASSERT_TRUE(ResizeMeshArray(m));
    g_Object3D.meshes[m] = new MeshRecord;
    ASSERT_TRUE(FillBoxMesh(g_Object3D.meshes[m], D3DXVECTOR3(-h, -h, -h), D3DXVECTOR3(h, h, h)));
}

// A text result as a string; the result is freed.
std::string Take(char* text) {
    const std::string s = text ? text : "<null>";
    ResizeModuleString(g_CoreData, &text, 0);
    return s;
}

// Checklist row i: its name, then the limb's parent, next sibling and first child.
void ExpectRow(std::int32_t i, const char* name, std::int32_t parent, std::int32_t sibling,
               std::int32_t child) {
    const ChecklistEntry& row = g_CoreData->checklistRows[i];
    EXPECT_STREQ(row.string, name);
    EXPECT_EQ(row.values[0], i);
    EXPECT_EQ(row.values[1], parent) << "row " << i;
    EXPECT_EQ(row.values[2], sibling) << "row " << i;
    EXPECT_EQ(row.values[3], child) << "row " << i;
}

} // namespace

TEST_F(ObjectTables, AddLimbAlwaysAppendsAndRemoveLimbKeepsTheRoot) {
    BuildChain(1, 3);
    BuildMeshItem(5, 2.0f);
    AddLimb(1, 5, 5);
    EXPECT_EQ(errors.Last(), 7026);
    ASSERT_EQ(GetLimbCount(1), 4);
    EXPECT_EQ(Take(LimbName(nullptr, 1, 3)), "new limb");
    EXPECT_NE(Object(1)->frames[3]->mesh, g_Object3D.meshes[5]); // a copy of the item
    errors.Clear();
    AddLimb(1, 4, 5);
    AddLimb(1, -1, 5);
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_EQ(GetLimbCount(1), 6);

    RemoveLimb(1, 0);
    EXPECT_EQ(errors.Last(), 7021);
    EXPECT_EQ(GetLimbCount(1), 6);
    errors.Clear();
    RemoveLimb(1, 1); // limb 2 lies below it and goes too
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_EQ(GetLimbCount(1), 4);
    EXPECT_EQ(Object(1)->rootFrame->child, nullptr);
}

TEST_F(ObjectTables, RemoveLimbLeavesNoBoneFollowingAGoneFrame) {
    ASSERT_TRUE(CreateNewObjectWithLimbs(1, "chain", 3));
    FrameRecord* root = Object(1)->rootFrame;
    std::strcpy(root->child->child->name, "hand");
    ASSERT_TRUE(FillBoxMesh(root->mesh, D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1)));
    root->mesh->boneCount = 2;
    root->mesh->bones = new BoneRecord[2];
    std::strcpy(root->mesh->bones[0].name, "hand");
    std::strcpy(root->mesh->bones[1].name, "chain");
    ASSERT_TRUE(SetupNewObject(1, -1.0f));
    RemoveLimb(1, 1);
    EXPECT_EQ(root->mesh->boneFrames[0], nullptr);
    EXPECT_EQ(root->mesh->boneMatrices[0], nullptr);
    EXPECT_EQ(root->mesh->boneFrames[1], root);
}

TEST_F(ObjectTables, LinkLimbRefusesLoopsAndMovesSubtrees) {
    BuildChain(1, 3);
    FrameRecord* limb1 = Object(1)->frames[1];
    LinkLimb(1, 2, 2);
    EXPECT_EQ(errors.Last(), 7021);
    errors.Clear();
    LinkLimb(1, 2, 1); // limb 2 lies below limb 1
    EXPECT_EQ(errors.Last(), 7021);
    EXPECT_EQ(Object(1)->frames[2]->parent, limb1);

    // Limb 2 follows limb 1's offset until it moves under the root.
    OffsetLimb(1, 1, 5, 0, 0);
    EXPECT_FLOAT_EQ(LimbPositionX(1, 2), 5.0f);
    errors.Clear();
    LinkLimb(1, 0, 2);
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_FLOAT_EQ(LimbPositionX(1, 2), 0.0f);
    PerformChecklistForObjectLimbs(1);
    ASSERT_EQ(g_CoreData->checklistRowsInUse, 3);
    ExpectRow(0, "chain", -1, -1, 1);
    ExpectRow(1, "limb1", 0, 2, -1);
    ExpectRow(2, "limb2", 0, -1, -1);
}

TEST_F(ObjectTables, LimbChecklistOfASingleMesh) {
    BuildBox(1, 1.0f);
    PerformChecklistForObjectLimbs(1);
    ASSERT_EQ(g_CoreData->checklistRowsInUse, 1);
    ExpectRow(0, "box", -1, -1, -1);
    EXPECT_EQ(g_CoreData->checklistMade, 1);
    // A name that fills its whole field is listed whole and no further.
    std::memset(Object(1)->rootFrame->name, 'n', kRecordNameLength);
    PerformChecklistForObjectLimbs(1);
    EXPECT_EQ(std::strlen(g_CoreData->checklistRows[0].string), std::size_t{kRecordNameLength});
}

TEST_F(ObjectTables, LimbTexturesAndNamesStayInsideTheirSlots) {
    BuildBox(1, 1.0f);
    SetSortKey(1, 7);
    std::strcpy(FirstMesh(1)->textures[0].fileName, "stone.png");
    EXPECT_EQ(LimbTexture(1, 0), 7);
    EXPECT_EQ(LimbTexture(1, 0, 5), 0);
    EXPECT_EQ(LimbTexture(1, 0, -1), 0);
    EXPECT_EQ(Take(LimbTextureName(1, 0)), "stone.png");
    EXPECT_EQ(Take(LimbTextureName(nullptr, 1, 0, 5)), "");
    char* previous = LimbName(nullptr, 1, 0);
    EXPECT_EQ(Take(LimbName(previous, 1, 0)), "box");
    EXPECT_EQ(Take(LimbName(nullptr, 1, 4)), "");
    EXPECT_EQ(errors.Last(), 7023);

    // Materials answer for their own stages, the slots for the rest.
    MeshRecord* mesh = FirstMesh(1);
    mesh->multiMaterials = new MultiMaterialRecord[1]{};
    mesh->multiMaterialCount = 1;
    std::memset(mesh->multiMaterials[0].name, 'm', kRecordNameLength);
    EXPECT_EQ(Take(LimbTextureName(nullptr, 1, 0, 0)).size(), std::size_t{kRecordNameLength});
}

TEST_F(ObjectTables, InstanceVisibilityIsTheInstancesOwnAndStaysInItsBytes) {
    BuildChain(1, 1);
    BuildMeshItem(5, 1.0f);
    InstanceObject(2, 1);
    HideLimb(2, 0);
    EXPECT_FALSE(LimbVisible(2, 0));
    EXPECT_TRUE(LimbVisible(1, 0));
    HideLimb(2, 3); // a limb the source lacks
    EXPECT_FALSE(LimbVisible(2, 3));

    // A limb added later is shown, and the renderer finds a byte for it.
    AddLimb(1, -1, 5);
    EXPECT_EQ(Object(2)->instanceDataLength, 2);
    EXPECT_TRUE(LimbVisible(2, 1));

    // Bytes kept from before a limb came are read no further than they go.
    ASSERT_TRUE(AddFrameWithMesh(Object(1), nullptr, "late"));
    ASSERT_TRUE(BuildFrameAndMeshLists(Object(1)));
    GuardedBytes shortData(std::string(2, '\0'));
    std::uint8_t* own = std::exchange(Object(2)->instanceData, shortData.Writable());
    EXPECT_TRUE(LimbVisible(2, 2));
    Object(2)->instanceData = own;
    HideLimb(2, 2);
    EXPECT_EQ(Object(2)->instanceDataLength, 3);
    EXPECT_FALSE(LimbVisible(2, 2));
    EXPECT_FALSE(LimbVisible(2, 0));
}

TEST_F(ObjectTables, LimbTransformsReachChildLimbsBoundsAndInstances) {
    BuildChain(1, 3);
    ASSERT_TRUE(PositionObject(1, 10, 0, 0));
    OffsetLimb(1, 1, 1, 2, 3);
    EXPECT_FLOAT_EQ(LimbOffsetZ(1, 1), 3.0f);
    EXPECT_FLOAT_EQ(LimbPositionX(1, 1), 11.0f);
    EXPECT_FLOAT_EQ(LimbPositionY(1, 2), 2.0f);
    RotateLimb(1, 1, 0, 30, 0);
    EXPECT_NEAR(LimbDirectionY(1, 2), 30.0f, 1e-3);
    ScaleLimb(1, 2, 200, 50, 100);
    EXPECT_NEAR(LimbScaleX(1, 2), 200.0f, 1e-3);

    // With the bounds flag the object's box takes the moved limb in at once.
    RotateLimb(1, 1, 0, 0, 0);
    ScaleLimb(1, 2, 100, 100, 100);
    OffsetLimb(1, 2, 5, 0, 0, 1);
    EXPECT_NEAR(Object(1)->collision.maximum.x, 7.0f, 1e-4);

    // An instance places the source's limbs without leaving its place in the source's.
    InstanceObject(2, 1);
    ASSERT_TRUE(PositionObject(2, 0, 0, 20));
    EXPECT_FLOAT_EQ(LimbPositionZ(2, 1), 23.0f);
    EXPECT_FLOAT_EQ(LimbPositionZ(1, 1), 3.0f);
}

TEST_F(ObjectTables, ChangeLimbMeshKeepsTexturesAndMaterial) {
    BuildChain(1, 2);
    BuildMeshItem(5, 3.0f);
    ColorLimb(1, 0, kRed);
    SetSortKey(1, 7);
    const D3DMATERIAL9 material = FirstMesh(1)->material;
    ChangeLimbMesh(9, 0, 6);
    EXPECT_EQ(errors.Last(), 7003); // the mesh is checked first
    errors.Clear();
    ChangeLimbMesh(1, 0, 5);
    EXPECT_EQ(errors.Last(), 0);
    MeshRecord* copy = FirstMesh(1);
    ASSERT_EQ(copy->textureCount, 1);
    EXPECT_EQ(copy->textures[0].imageNumber, 7);
    EXPECT_EQ(std::memcmp(&copy->material, &material, sizeof material), 0);
    EXPECT_NEAR(Object(1)->collision.maximum.x, 3.0f, 1e-4);

    FrameRecord* limb1 = Object(1)->frames[1];
    delete std::exchange(limb1->mesh, nullptr);
    ASSERT_TRUE(BuildFrameAndMeshLists(Object(1)));
    ChangeLimbMesh(1, 1, 5);
    EXPECT_EQ(errors.Last(), 7032);
    EXPECT_EQ(limb1->mesh, nullptr);
}

TEST_F(ObjectTables, LimbExistChecksTheRangeAndCountsTheSourcesLimbs) {
    BuildChain(1, 3);
    InstanceObject(2, 1);
    EXPECT_TRUE(LimbExist(2, 2));
    EXPECT_FALSE(LimbExist(1, 3));
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_FALSE(LimbExist(1, -1));
    EXPECT_EQ(errors.Last(), 7021);
    EXPECT_EQ(GetLimbCount(1), 3);
}

TEST_F(ObjectTables, InstanceLimbCommandsCountTheSourcesLimbs) {
    BuildChain(1, 2);
    InstanceObject(2, 1);
    // The source's frame list ends where readable memory ends: a read past it crashes.
    ObjectRecord* source = Object(1);
    GuardedBytes frames(std::string(reinterpret_cast<char*>(source->frames), 2 * sizeof(void*)));
    FrameRecord** own =
        std::exchange(source->frames, reinterpret_cast<FrameRecord**>(frames.Writable()));
    auto shown = [] { return std::string(reinterpret_cast<char*>(Object(2)->instanceData), 2); };
    const struct {
        const char* command;
        std::function<float(std::int32_t limb)> call; // its result, or 0
    } rows[] = {
        {"HideLimb", [](std::int32_t limb) { return HideLimb(2, limb), 0.0f; }},
        {"ShowLimb", [](std::int32_t limb) { return ShowLimb(2, limb), 0.0f; }},
        {"LimbPositionX", [](std::int32_t limb) { return LimbPositionX(2, limb); }},
        {"LimbVisible", [](std::int32_t limb) { return LimbVisible(2, limb) ? 1.0f : 0.0f; }},
        {"MakeObjectFromLimb",
         [](std::int32_t limb) { return MakeObjectFromLimb(3, 2, limb, 0), 0.0f; }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        errors.Clear();
        const std::string before = shown();
        EXPECT_EQ(row.call(2), 0.0f); // one past the source's last limb
        EXPECT_EQ(errors.Last(), 7023);
        EXPECT_EQ(shown(), before);
        EXPECT_EQ(Object(2)->instanceDataLength, 2);
        EXPECT_FALSE(ObjectExists(3));
        errors.Clear();
        row.call(1); // the source's last limb
        EXPECT_EQ(errors.Last(), 0);
        DeleteObjectCmd(3);
    }
    source->frames = own;
}

TEST_F(ObjectScene, ChangedAddedAndHiddenLimbsAreDrawnSo) {
    BuildChain(1, 1, 0.05f);
    BuildMeshItem(5, 4.0f);
    ASSERT_TRUE(PositionObject(1, 3, 0, 10)); // the small box misses the centre
    ColorLimb(1, 0, kRed);
    EXPECT_EQ(SyncAndReadCentre(kBlack), kBlack);
    ChangeLimbMesh(1, 0, 5);
    const std::uint32_t changed = SyncAndReadCentre(kBlack);
    EXPECT_GT(Red(changed), 100);
    EXPECT_LT(Green(changed), Red(changed) / 2);

    HideLimb(1, 0);
    EXPECT_EQ(SyncAndReadCentre(kBlack), kBlack);
    AddLimb(1, -1, 5);
    ColorLimb(1, 1, kRed);
    EXPECT_GT(Red(SyncAndReadCentre(kBlack)), 100);
}
