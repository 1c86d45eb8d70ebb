#include "core/win32.h"

#include "mesh_item_box.h"
#include "support/object_scene.h"
#include "object3d/frame_hierarchy.h"
#include "object3d/mesh_item_commands.h"
#include "object3d/object_commands.h"
#include "object3d/positioning.h"
#include "object3d/vertex_data_commands.h"

#include "modelfile/object_block.h"
#include "support/guarded_bytes.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// A file of one frame whose mesh has three 8-byte vertices: one float read as the position and
// one as the tangent (which the map spreads over four words).
std::string OneFloatLayoutFile(const TempFolder& folder) {
    ObjectRecord object;
    object.rootFrame = new FrameRecord;
    MeshRecord* mesh = object.rootFrame->mesh = new MeshRecord;
    mesh->vertexSize = 8;
    mesh->vertexCount = 3;
    mesh->vertices = new std::uint8_t[24]();
    mesh->declaration[0] = {0, 0, D3DDECLTYPE_FLOAT1, 0, D3DDECLUSAGE_POSITION, 0};
    mesh->declaration[1] = {0, 4, D3DDECLTYPE_FLOAT1, 0, D3DDECLUSAGE_TANGENT, 0};
    mesh->declaration[2] = D3DDECL_END();
    mesh->primitiveType = D3DPT_TRIANGLELIST;
    mesh->drawVertexCount = 3;
    mesh->drawPrimitiveCount = 1;
    TLOBlock block;
    if (!WriteObjectToBlock(&object, block.Out(), block.OutSize())) return {};
    return folder.Write("odd.tlo",
                        std::string(reinterpret_cast<char*>(block.Data()), block.Size()));
}

} // namespace

TEST_F(ObjectTables, AnOddLayoutKeepsTheVertexDataCommandsInsideItsVertices) {
    TempFolder folder;
    LoadObject(OneFloatLayoutFile(folder).c_str(), 1);
    ASSERT_TRUE(ObjectExists(1)) << errors.Last();
    // The vertices end where readable memory ends: a write past the last one crashes.
    MeshRecord* mesh = FirstMesh(1);
    GuardedBytes guarded(std::string(reinterpret_cast<char*>(mesh->vertices), 24));
    std::uint8_t* own = std::exchange(mesh->vertices, guarded.Writable());
    LockVertexDataForLimb(1, 0);
    SetVertexDataPosition(2, 1, 2, 3);
    SetVertexDataNormals(2, 1, 2, 3);
    SetVertexDataUVOfSet(2, 1, 0.25f, 0.5f);
    EXPECT_EQ(GetVertexDataPositionX(2), 0.0f); // no room for three words: no position
    EXPECT_EQ(GetVertexDataUOfSet(2, 1), 0.25f);
    EXPECT_EQ(GetVertexDataVOfSet(2, 1), 0.0f);
    UnlockVertexData();
    mesh->vertices = own;
}

TEST_F(ObjectTables, VertexDataStaysInsideTheLockedMesh) {
    BoxMeshItem(1);
    MeshRecord* mesh = g_Object3D.meshes[1];
    LockVertexDataForMesh(1);
    EXPECT_EQ(GetVertexDataIndexCount(), 36);
    EXPECT_EQ(GetIndexData(36), 0);
    SetIndexData(0, 23);
    SetIndexData(1, 24); // names no vertex
    EXPECT_EQ(GetIndexData(0), 23);
    EXPECT_EQ(GetIndexData(1), 1);
    mesh->verticesChanged = 0;
    SetVertexDataUVOfSet(0, 8, 0.5f, 0.5f);
    SetVertexDataUVOfSet(0, -1, 0.5f, 0.5f);
    EXPECT_EQ(mesh->fvf, static_cast<std::uint32_t>(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
    EXPECT_EQ(mesh->verticesChanged, 0);
    // Counted one short, the mesh keeps a spare vertex past its count: a write past the bound
    // lands where it is seen instead of beyond the array.
    auto u = [mesh](int v) {
        return reinterpret_cast<const float*>(mesh->vertices + v * mesh->vertexSize)[6];
    };
    mesh->vertexCount = 23;
    const float spare = u(23);
    SetVertexDataUVOfSet(23, 0, 0.75f, 0.75f);
    EXPECT_EQ(u(23), spare);
    EXPECT_EQ(mesh->verticesChanged, 0);
    SetVertexDataUVOfSet(22, 0, 0.75f, 0.75f);
    EXPECT_EQ(u(22), 0.75f);
    mesh->vertexCount = 24;
    UnlockVertexData();
    EXPECT_EQ(GetVertexDataVertexCount(), 0);
}

TEST_F(ObjectTables, LocksAreDroppedWithWhatTheyHold) {
    BoxMeshItem(1);
    LockVertexDataForMesh(1);
    LoadMesh("missing.x", 1); // the slot is emptied before the load fails
    EXPECT_EQ(GetVertexDataVertexCount(), 0);

    BuildBox(3, 1.0f);
    LockVertexDataForLimb(3, 0);
    EXPECT_EQ(GetVertexDataVertexCount(), 24);
    DeleteObjectCmd(3);
    EXPECT_EQ(GetVertexDataVertexCount(), 0);
    BoxMeshItem(2);
    SetVertexDataPosition(0, 1, 2, 3);
    AddMeshToVertexData(2);
    DeleteMeshFromVertexData(0, 3, 0, 3);
    UnlockVertexData();
    EXPECT_EQ(g_Object3D.meshes[2]->vertexCount, 24);

    ASSERT_TRUE(CreateNewObjectWithLimbs(5, "pair", 2));
    ASSERT_TRUE(FillBoxMesh(g_Object3D.objects[5]->rootFrame->child->mesh, {0, 0, 0}, {1, 1, 1}));
    ASSERT_TRUE(SetupNewObject(5, -1.0f));
    LockVertexDataForLimb(5, 1);
    RemoveFrame(g_Object3D.objects[5], g_Object3D.objects[5]->frames[1]);
    EXPECT_EQ(GetVertexDataVertexCount(), 0);

    LockVertexDataForMesh(2);
    Basic3DDestructor(); // frees every mesh
    Basic3DPassCoreData(g_CoreData);
    EXPECT_EQ(GetVertexDataVertexCount(), 0);
}

TEST_F(ObjectTables, DeletingAVertexRangeTakesItsTrianglesAlong) {
    BoxMeshItem(1);
    LockVertexDataForMesh(1);
    // Vertex v at x = v, so that a triangle is known by its corners' places.
    for (std::int32_t v = 0; v < 24; ++v)
        SetVertexDataPosition(v, static_cast<float>(v), 0, 0);
    using Triangles = std::vector<std::array<float, 3>>;
    const auto triangles = [] {
        Triangles found;
        for (std::int32_t i = 0; i + 2 < GetVertexDataIndexCount(); i += 3)
            found.push_back({GetVertexDataPositionX(GetIndexData(i)),
                             GetVertexDataPositionX(GetIndexData(i + 1)),
                             GetVertexDataPositionX(GetIndexData(i + 2))});
        return found;
    };
    Triangles kept;
    for (const auto& t : triangles())
        if (std::none_of(t.begin(), t.end(), [](float x) { return x >= 12 && x < 20; }))
            kept.push_back(t);
    ASSERT_EQ(kept.size(), 8u); // two of the six sides go
    DeleteMeshFromVertexData(12, 20, 0, 0);
    ASSERT_EQ(GetVertexDataVertexCount(), 16);
    EXPECT_EQ(GetVertexDataIndexCount(), 24);
    for (std::int32_t i = 0; i < GetVertexDataIndexCount(); ++i)
        EXPECT_LT(GetIndexData(i), 16) << "index " << i;
    EXPECT_EQ(triangles(), kept);
    UnlockVertexData();
}

TEST_F(ObjectScene, UnlockingALimbInModeZeroRebuildsItsBuffers) {
    BuildBox(1, 1.0f);
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));
    Sync();
    ObjectRecord* object = g_Object3D.objects[1];
    MeshRecord* mesh = FirstMesh(1);
    BoxMeshItem(2);
    LockVertexDataForLimb(1, 0, 0);
    AddMeshToVertexData(2);
    EXPECT_EQ(GetVertexDataVertexCount(), 48);
    object->rebuild = 0;
    g_Object3D.manager.rebuildNeeded = 0;
    UnlockVertexData();
    EXPECT_EQ(object->rebuild, 1);
    EXPECT_EQ(g_Object3D.manager.rebuildNeeded, 1);
    Sync();
    ASSERT_NE(mesh->drawItem, nullptr);
    EXPECT_EQ(mesh->drawItem->vertexCount, 48);
}

TEST_F(ObjectScene, ASecondTextureSetWidensTheLockedMesh) {
    BuildBox(1, 1.0f);
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));
    Sync();
    MeshRecord* mesh = FirstMesh(1);
    LockVertexDataForLimb(1, 0);
    const float u0 = GetVertexDataU(5), z0 = GetVertexDataPositionZ(5);
    SetVertexDataUVOfSet(5, 1, 0.25f, 0.5f);
    EXPECT_EQ(mesh->vertexSize, 40u);
    EXPECT_EQ(GetVertexDataUOfSet(5, 1), 0.25f);
    EXPECT_EQ(GetVertexDataVOfSet(5, 1), 0.5f);
    EXPECT_EQ(GetVertexDataU(5), u0);
    EXPECT_EQ(GetVertexDataPositionZ(5), z0);
    UnlockVertexData();
    Sync(); // the wider vertices are placed in the buffers again
    ASSERT_NE(mesh->drawItem, nullptr);
    EXPECT_EQ(mesh->drawItem->stride, 40u);
}
