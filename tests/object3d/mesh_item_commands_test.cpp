#include "core/win32.h"

#include "mesh_item_box.h"
#include "support/failing_saves.h"
#include "support/object_scene.h"
#include "support/temp_folder.h"
#include "object3d/mesh_convert.h"
#include "object3d/mesh_item_commands.h"
#include "object3d/positioning.h"

#include <gtest/gtest.h>

#include <string>

TEST_F(ObjectTables, MeshItemsAreCheckedAndReshaped) {
    for (std::int32_t n : {0, -3, 1, 22000000})
        EXPECT_FALSE(MeshExist(n)) << n;
    EXPECT_EQ(errors.Last(), 0);
    BoxMeshItem(2);
    EXPECT_TRUE(MeshExist(2));
    DeleteMeshCmd(2);
    EXPECT_FALSE(MeshExist(2));
    // The first two values change nothing; the grid follows the last three.
    BoxMeshItem(4);
    BoxMeshItem(5);
    MakeMeshBoxApproximation(4, 7, 9, 3, 1, 3);
    MakeMeshBoxApproximation(5, 0, 0, 3, 1, 3);
    EXPECT_GT(g_Object3D.meshes[4]->indexCount, 0);
    EXPECT_EQ(g_Object3D.meshes[4]->vertexCount, g_Object3D.meshes[5]->vertexCount);
    EXPECT_EQ(g_Object3D.meshes[4]->indexCount, g_Object3D.meshes[5]->indexCount);
}

TEST_F(ObjectScene, MeshFilesLoadIntoTheirSlots) {
    TempFolder folder;
    const std::string tile = folder.Write("tile.x", "xof 0303txt 0032\nMesh tile { 4; 0.0; 0.0; "
                                                    "0.0;, 2.0; 0.0; 0.0;, 2.0; 2.0; 0.0;, 0.0; "
                                                    "2.0; 0.0;; 2; 3; 0, 2, 1;, 3; 0, 3, 2;; }\n");
    BoxMeshItem(1);
    LoadMesh(tile.c_str(), 1);
    ASSERT_TRUE(MeshExist(1));
    EXPECT_EQ(g_Object3D.meshes[1]->vertexCount, 4);
    EXPECT_EQ(g_Object3D.meshes[1]->drawPrimitiveCount, 2);
    EXPECT_EQ(cell.number, 0);
    LoadMesh(folder.File("missing.x").c_str(), 1);
    EXPECT_EQ(cell.number, 7003);
    EXPECT_FALSE(MeshExist(1));
    LoadMesh(tile.c_str(), 1);
    cell.number = 0;
    // A real file whose full name is 257 characters long: refused all the same.
    const std::string longName = folder.Write(
        std::string(257 - folder.File("").size() - 2, 't') + ".x", TempFolder::Read(tile));
    ASSERT_EQ(longName.size(), 257u);
    LoadMesh(longName.c_str(), 1);
    EXPECT_EQ(cell.number, 7003);
    EXPECT_FALSE(MeshExist(1));
}

TEST_F(ObjectScene, AnObjectBecomesOneMeshInTheWorld) {
    ASSERT_TRUE(CreateNewObjectWithLimbs(1, "pair", 2));
    FrameRecord* root = g_Object3D.objects[1]->rootFrame;
    ASSERT_TRUE(FillBoxMesh(root->mesh, {-1, -1, -1}, {1, 1, 1}));
    ASSERT_TRUE(FillBoxMesh(root->child->mesh, {-1, -1, -1}, {1, 1, 1}, false));
    ConvertMeshToFVF(root->child->mesh, D3DFVF_XYZ | D3DFVF_DIFFUSE);
    root->child->offset = D3DXVECTOR3(5, 0, 0);
    ASSERT_TRUE(SetupNewObject(1, -1.0f));
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));
    MakeMeshFromObject(2, 1);
    const MeshRecord* joined = g_Object3D.meshes[2];
    ASSERT_NE(joined, nullptr);
    EXPECT_EQ(joined->fvf, static_cast<std::uint32_t>(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
    EXPECT_EQ(joined->vertexCount, 72);
    EXPECT_EQ(joined->bounds.minimum, D3DXVECTOR3(-1, -1, 9));
    EXPECT_EQ(joined->bounds.maximum, D3DXVECTOR3(6, 1, 11));
    // The root's box comes first; the limb's follows 5 units along x.
    const auto* words = reinterpret_cast<const float*>(joined->vertices);
    for (std::int32_t v = 0; v < 72; ++v)
        EXPECT_EQ(words[8 * v] > 2.0f, v >= 36) << v;
}

TEST_F(ObjectScene, ReducingIntoTheSourceKeepsItUntilTheCopyExists) {
    BoxMeshItem(1);
    ReduceMeshCmd(1, 1, 8);
    ASSERT_TRUE(MeshExist(1));
    if (RunningUnderWine())
        GTEST_SKIP() << "Wine's D3DX has no mesh simplifier or X writer (both end the process)";
    EXPECT_LT(g_Object3D.meshes[1]->vertexCount, 24 + 24); // reduced, with skirts
    TempFolder folder;
    SaveMesh(folder.File("saved.x").c_str(), 1);
    LoadMesh(folder.File("saved.x").c_str(), 3);
    ASSERT_TRUE(MeshExist(3));
    EXPECT_EQ(g_Object3D.meshes[3]->drawPrimitiveCount, g_Object3D.meshes[1]->drawPrimitiveCount);
}

// Mesh saves where they must fail: the file there stays as it was and 8212 is raised.
class MeshSavesOnTestDisks : public ObjectScene {};

TEST_F(MeshSavesOnTestDisks, FailedMeshSavesKeepTheOldFile) {
    BoxMeshItem(1);
    CheckUnnamedSaves("SaveMesh", 8212, [](const char* name) { SaveMesh(name, 1); });
    if (RunningUnderWine())
        GTEST_SKIP() << "Wine's D3DX has no X writer (its D3DXSaveMeshToXA ends the process)";
    CheckFailingSaves(
        "SaveMesh", kEverySaveFault, 8212,
        [](const std::string& target) { SaveMesh(target.c_str(), 1); }, "saved.x",
        SeededBytes(100000, 51));
}
