#include "core/win32.h"

#include "universe/universe_scene.h"
#include "object3d/vertex_layout.h"

#include <algorithm>
#include <numeric>

namespace {

// A box mesh from -1 to 1 on every axis.
std::unique_ptr<MeshRecord> UnitBox() {
    return std::unique_ptr<MeshRecord>(BoxMesh({-1, -1, -1}, {1, 1, 1}));
}

} // namespace

TEST_F(UniverseTables, TheCollisionBufferGrowsKeepingItsTriangles) {
    Universe& u = World();
    EXPECT_EQ(u.triangleCapacity, 0u);
    float corners[9];
    for (std::int32_t t = 0; t < 1023; ++t) {
        for (int k = 0; k < 9; ++k)
            corners[k] = static_cast<float>(t * 9 + k);
        u.AppendTriangle(corners, t);
    }
    EXPECT_EQ(u.triangleCapacity, 9216u);
    EXPECT_EQ(u.triangleFloats, 1023u * 9);
    u.AppendTriangle(corners, -1);
    EXPECT_EQ(u.triangleCapacity, 13824u);
    ASSERT_GE(u.triangleBuffer.size(), 13824u);
    ASSERT_GE(u.triangleWords.size(), 1536u);
    for (std::int32_t t = 0; t < 1023; ++t) {
        ASSERT_EQ(u.triangleBuffer[t * 9], static_cast<float>(t * 9)) << t;
        ASSERT_EQ(u.triangleWords[t], t) << t;
    }
    EXPECT_EQ(u.triangleWords[1023], -1);
    EXPECT_EQ(u.triangleBuffer[1023 * 9 + 8], corners[8]);

    // Emptied per query, the buffer keeps its size; a cell's triangles append in order.
    u.triangleFloats = 0;
    UniverseNode cell;
    cell.triangles.push_back({{1, 2, 3, 4, 5, 6, 7, 8, 9}, 42});
    u.AppendCellTriangles(cell);
    EXPECT_EQ(u.triangleFloats, 9u);
    EXPECT_EQ(u.triangleCapacity, 13824u);
    EXPECT_EQ(u.triangleBuffer[8], 9);
    EXPECT_EQ(u.triangleWords[0], 42);
}

TEST_F(UniverseTables, StaticObjectsKeepTheirWordsInStep) {
    ASSERT_TRUE(CreateNewObject(1, "a"));
    ASSERT_TRUE(CreateNewObject(2, "b"));
    ObjectRecord* a = g_Object3D.objects[1];
    ObjectRecord* b = g_Object3D.objects[2];
    Universe& u = World();
    EXPECT_TRUE(u.AddStaticObject(a));
    EXPECT_TRUE(u.AddStaticObject(b));
    u.staticObjectWords[1] = 9;
    a->universeVisible = 0;
    EXPECT_TRUE(u.RemoveStaticObject(a));
    ASSERT_EQ(u.staticObjects.size(), 1u);
    EXPECT_EQ(u.staticObjects[0], b);
    EXPECT_EQ(u.staticObjectWords, std::vector<std::int32_t>{9});
    EXPECT_EQ(a->staticReleased, 1);
    EXPECT_EQ(a->universeVisible, 1);
    // An object that is not static is released all the same.
    b->universeVisible = 0;
    EXPECT_TRUE(u.RemoveStaticObject(a));
    EXPECT_EQ(u.staticObjects.size(), 1u);
    // Deleting an object lets the world go of it.
    ASSERT_TRUE(DeleteObject(2));
    EXPECT_TRUE(u.staticObjects.empty());
}

TEST_F(UniverseTables, EachStaticObjectIsReleasedAtOnceHoweverManyAreListed) {
    // Two objects made static a million times each, in turn, and the first released as often:
    // searched for and closed up after, the list would take hours.
    constexpr std::int32_t kTimes = 1000000;
    ASSERT_TRUE(CreateNewObject(1, "a") && CreateNewObject(2, "b"));
    ObjectRecord *a = g_Object3D.objects[1], *b = g_Object3D.objects[2];
    Universe& u = World();
    for (std::int32_t i = 0; i < kTimes; ++i) {
        u.AddStaticObject(a);
        u.AddStaticObject(b);
        u.staticObjectWords.back() = i;
    }
    for (std::int32_t i = 0; i < kTimes; ++i)
        u.RemoveStaticObject(a);
    // Each of b's entries is left with its own word.
    ASSERT_EQ(u.staticObjects, std::vector<ObjectRecord*>(kTimes, b));
    std::vector<std::int32_t> words = u.staticObjectWords, each(kTimes);
    std::sort(words.begin(), words.end());
    std::iota(each.begin(), each.end(), 0);
    EXPECT_EQ(words, each);
    // Releasing an object no longer listed changes nothing; deleting b lets the list go of it.
    u.RemoveStaticObject(a);
    EXPECT_EQ(u.staticObjects.size(), static_cast<std::size_t>(kTimes));
    ASSERT_TRUE(DeleteObject(2));
    EXPECT_EQ(u.staticObjects.size(), static_cast<std::size_t>(kTimes - 1));
    for (std::int32_t i = 1; i < kTimes; ++i)
        u.RemoveStaticObject(b);
    EXPECT_TRUE(u.staticObjects.empty());
    EXPECT_TRUE(u.staticObjectWords.empty());
}

TEST_F(UniverseTables, RaysMeetMeshTrianglesWithinTheirSegments) {
    std::unique_ptr<MeshRecord> box = UnitBox();
    float best = 99999.0f;
    UniverseRayContact contact;
    ASSERT_TRUE(IntersectMeshRay(box.get(), {0.2f, 0.3f, -10}, {0.2f, 0.3f, 10}, &best, &contact));
    EXPECT_NEAR(best, 9, 1e-4f);
    EXPECT_NEAR(contact.point.z, -1, 1e-4f);
    EXPECT_NEAR(std::fabs(contact.normal.z), 1, 1e-4f);
    EXPECT_EQ(contact.mesh, box.get());
    // Only a nearer hit counts.
    EXPECT_FALSE(IntersectMeshRay(box.get(), {0.2f, 0.3f, -10}, {0.2f, 0.3f, 10}, &best, nullptr));

    const Universe& u = World();
    EXPECT_TRUE(u.MeshRayHit(box.get(), {0, 0, -10}, {0, 0, 0}));
    EXPECT_FALSE(u.MeshRayHit(box.get(), {0, 0, -10}, {0, 0, -2}));   // the box lies beyond
    EXPECT_FALSE(u.MeshRayHit(box.get(), {0, 0, -1}, {0, 0, -0.5f})); // starts on its face
    EXPECT_FALSE(u.MeshRayHit(box.get(), {5, 0, -10}, {5, 0, 10}));
    EXPECT_FALSE(u.MeshRayHit(box.get(), {0, 0, 0}, {0, 0, 0}));
    EXPECT_FALSE(u.MeshRayHit(nullptr, {0, 0, -10}, {0, 0, 10}));
}

TEST_F(UniverseTables, BoxHelpersCountTouchingAsInside) {
    EXPECT_TRUE(BoxesOverlap({0, 0, 0}, {1, 1, 1}, {1, 1, 1}, {2, 2, 2}));
    EXPECT_FALSE(BoxesOverlap({0, 0, 0}, {1, 1, 1}, {1.01f, 0, 0}, {2, 2, 2}));
    std::unique_ptr<MeshRecord> box = UnitBox();
    UniverseNode node;
    node.halfExtents = D3DXVECTOR3(1, 1, 1);
    EXPECT_TRUE(MeshInsideNodeBox(&node, box.get()));
    node.centre.x = 0.5f;
    EXPECT_FALSE(MeshInsideNodeBox(&node, box.get()));
    EXPECT_FALSE(MeshInsideNodeBox(nullptr, box.get()));

    D3DXMATRIX move;
    D3DXMatrixTranslation(&move, 0.5f, 0, 0);
    TransformMeshVertexRange(box.get(), -5, 1000, move); // the range is held to the mesh
    EXPECT_TRUE(MeshInsideNodeBox(&node, box.get()));
    VertexOffsetMap map;
    ASSERT_TRUE(GetMeshOffsetMap(box.get(), &map));
    const float* first = reinterpret_cast<const float*>(box->vertices);
    EXPECT_FLOAT_EQ(std::fabs(first[map.NX]) + std::fabs(first[map.NY]) + std::fabs(first[map.NZ]),
                    1); // normals turn, never move

    std::vector<UniversePolygonVertex> polygon;
    EXPECT_TRUE(PointInsideBoxes(&polygon, box.get()));
    polygon.push_back({{1.9f, 0, 0}, {0, 0, 1}, 0, 0});
    EXPECT_TRUE(PointInsideBoxes(&polygon, box.get())); // the bounds widened by 1
    polygon.push_back({{2.1f, 0, 0}, {0, 0, 1}, 0, 0});
    EXPECT_FALSE(PointInsideBoxes(&polygon, box.get()));
    EXPECT_FALSE(PointInsideBoxes(&polygon, nullptr));
}

TEST_F(UniverseScene, LightsMakeShadowMeshesOnce) {
    Universe& u = World();
    MeshRecord* caster = AddLevelMesh(BoxMesh({-10, 0, -10}, {10, 20, 10}), 2);
    const std::int32_t shadows = g_CoreData->shadowCount;
    u.AddShadowCaster(caster, nullptr);
    EXPECT_EQ(g_CoreData->shadowCount, shadows + 1);
    EXPECT_EQ(g_CoreData->stencilMode, 1);
    ASSERT_EQ(u.shadowCasters.size(), 1u);
    EXPECT_TRUE(IsIdentity(u.shadowCasters[0].world));

    u.SetLight(0, 1, 2, 3, 4, true);
    u.SetLight(257, 1, 2, 3, 4, true);
    EXPECT_TRUE(u.lights.empty());
    u.SetLight(3, 1, 2, 3, 4, true);
    ASSERT_EQ(u.lights.size(), 4u);
    ASSERT_EQ(u.lights[3].shadowMeshes.size(), 1u);
    EXPECT_EQ(u.lights[3].casterIndices, std::vector<std::int32_t>{0});
    MeshRecord* shadow = u.lights[3].shadowMeshes[0];
    EXPECT_NE(shadow->drawItem, nullptr);
    u.SetLight(3, 5, 6, 7, 8, true);
    ASSERT_EQ(u.lights[3].shadowMeshes.size(), 1u);
    EXPECT_EQ(u.lights[3].shadowMeshes[0], shadow);
    EXPECT_FLOAT_EQ(u.lights[3].values[0], 5);
    EXPECT_TRUE(u.lights[1].shadowMeshes.empty()); // record 0 .. n - 1 stay zeroed
    u.SetLight(256, 0, 0, 0, 0, false);
    EXPECT_EQ(u.lights.size(), 257u);
    EXPECT_TRUE(u.lights[256].shadowMeshes.empty());
    // The world goes with its shadow meshes and their buffers.
    DeleteUniverse();
}

TEST_F(UniverseScene, TheDecalRingIsMadeOnceWithUsableFrames) {
    Universe& u = World();
    u.SetDecalImage(0, 0, -3); // no frames across or down: one frame
    ASSERT_NE(u.decalMesh, nullptr);
    MeshRecord* ring = u.decalMesh;
    EXPECT_EQ(ring->vertexCount, 43688);
    EXPECT_EQ(ring->indexCount, 65535);
    EXPECT_EQ(ring->drawPrimitiveCount, 0);
    EXPECT_EQ(u.decalLastFrame, 0);
    EXPECT_FLOAT_EQ(u.decalTileWidth, 1);
    const std::uint16_t quad[6] = {4, 5, 6, 6, 5, 7};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(ring->indices[6 + i], quad[i]);
    EXPECT_EQ(ring->indices[65531], 43687);
    ASSERT_GE(ring->textureCount, 1);
    EXPECT_EQ(ring->textures[0].addressU, static_cast<std::uint32_t>(D3DTADDRESS_CLAMP));
    EXPECT_EQ(ring->textures[0].minFilter, static_cast<std::uint32_t>(D3DTEXF_LINEAR));
    EXPECT_EQ(ring->ghost, 1);
    EXPECT_EQ(ring->ghostMode, 5);
    u.SetDecalImage(0, 4, 4);
    EXPECT_EQ(u.decalMesh, ring);
    EXPECT_EQ(u.decalLastFrame, 0);
}
