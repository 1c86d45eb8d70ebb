#include "core/win32.h"

#include "universe/universe_scene.h"
#include "object3d/object_commands.h"
#include "object3d/vertex_layout.h"

#include <numeric>

namespace {

// A triangle-list mesh of n vertices (FVF 0x112) whose first corner lies at `at`, indexed by
// {0, 1, 2} unless plain, with one texture slot.
MeshRecord* CountedMesh(std::int32_t n, const char* texture, const D3DXVECTOR3& at,
                        bool indexed = true) {
    auto* mesh = new MeshRecord;
    EXPECT_TRUE(
        SetupMeshFVFData(mesh, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, n, indexed ? 3 : 0));
    std::fill(mesh->vertices, mesh->vertices + static_cast<std::size_t>(n) * mesh->vertexSize, 0);
    std::memcpy(mesh->vertices, &at, sizeof at);
    for (std::int32_t i = 0; indexed && i < 3; ++i)
        mesh->indices[i] = static_cast<std::uint16_t>(i);
    EXPECT_TRUE(EnsureMeshTextureCount(mesh, 0));
    std::strncpy(mesh->textures[0].fileName, texture, kRecordNameLength - 1);
    CalculateMeshBounds(mesh);
    return mesh;
}

UniverseArea* AddArea() {
    World().areas.push_back(std::make_unique<UniverseArea>());
    return World().areas.back().get();
}

std::int32_t VertexSum(const std::vector<MeshRecord*>& meshes) {
    return std::accumulate(meshes.begin(), meshes.end(), 0,
                           [](std::int32_t n, const MeshRecord* m) { return n + m->vertexCount; });
}

} // namespace

TEST_F(UniverseTables, BatchesMergeBelowTheVertexLimit) {
    UniverseArea* area = AddArea();
    std::unique_ptr<MeshRecord> big[2] = {
        std::unique_ptr<MeshRecord>(CountedMesh(30000, "a.png", {0, 0, 0})),
        std::unique_ptr<MeshRecord>(CountedMesh(30000, "a.png", {0, 0, 0}))};
    EXPECT_NE(World().MergeMeshIntoArea(area, big[0].get(), nullptr),
              World().MergeMeshIntoArea(area, big[1].get(), nullptr));
    EXPECT_EQ(area->batches.size(), 2u);

    UniverseArea* second = AddArea();
    std::unique_ptr<MeshRecord> a(CountedMesh(20000, "a.png", {-1, 0, 0}));
    std::unique_ptr<MeshRecord> b(CountedMesh(20000, "a.png", {10, 20, 30}));
    UniverseBatch* first = World().MergeMeshIntoArea(second, a.get(), nullptr);
    EXPECT_EQ(World().MergeMeshIntoArea(second, b.get(), nullptr), first);
    ASSERT_EQ(second->batches.size(), 1u);
    const MeshRecord* merged = first->mesh;
    EXPECT_NE(merged, a.get());
    EXPECT_EQ(merged->vertexCount, 40000);
    EXPECT_EQ(merged->drawVertexCount, 40000);
    ASSERT_EQ(merged->indexCount, 6);
    EXPECT_EQ(merged->drawPrimitiveCount, 2);
    const std::uint16_t expected[6] = {0, 1, 2, 20000, 20001, 20002};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(merged->indices[i], expected[i]) << i;
    EXPECT_EQ(merged->needsRebuild, 1);
    // The batch's box covers both meshes, not only the last one merged.
    EXPECT_FLOAT_EQ(merged->bounds.minimum.x, -1);
    EXPECT_FLOAT_EQ(merged->bounds.maximum.z, 30);
    ASSERT_EQ(merged->textureCount, 1);
    EXPECT_STREQ(merged->textures[0].fileName, "a.png");

    // Other textures, strips and meshes without slot arrays start batches of their own.
    std::unique_ptr<MeshRecord> other(CountedMesh(3, "b.png", {0, 0, 0}));
    std::unique_ptr<MeshRecord> strip(CountedMesh(3, "a.png", {0, 0, 0}));
    strip->primitiveType = D3DPT_TRIANGLESTRIP;
    EXPECT_NE(World().MergeMeshIntoArea(second, other.get(), nullptr), first);
    EXPECT_NE(World().MergeMeshIntoArea(second, strip.get(), nullptr), first);
    EXPECT_EQ(second->batches.size(), 3u);
    EXPECT_FALSE(CompareMeshTextureLists(a.get(), other.get()));
    MeshRecord bare, bare2;
    EXPECT_FALSE(CompareMeshTextureLists(&bare, &bare2));
    EXPECT_FALSE(CopyMeshRenderSettings(nullptr, &bare));
}

TEST_F(UniverseTables, AnUnindexedMeshJoinsAnIndexedBatchWithIndicesOfItsOwn) {
    UniverseArea* area = AddArea();
    std::unique_ptr<MeshRecord> indexed(CountedMesh(3, "a.png", {0, 0, 0}));
    std::unique_ptr<MeshRecord> plain(CountedMesh(6, "a.png", {0, 0, 0}, false));
    UniverseBatch* holder = World().MergeMeshIntoArea(area, indexed.get(), nullptr);
    ASSERT_EQ(World().MergeMeshIntoArea(area, plain.get(), nullptr), holder);
    ASSERT_EQ(holder->mesh->indexCount, 9);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(holder->mesh->indices[i], i) << i; // 0, 1, 2, then the plain mesh's 3 to 8
    EXPECT_EQ(holder->mesh->drawPrimitiveCount, 3);
}

TEST_F(UniverseTables, AssemblyPlacesEveryLevelMeshOnceAndSharesWhatCrossesAPortal) {
    BuildDoorwayLevel();
    // A floor in room B and a pillar centred in room A that reaches through the doorway.
    AddLevelMesh(BoxMesh({-150, -50, -150}, {150, -49, 49}, "floor.png"), 0);
    AddLevelMesh(BoxMesh({-40, -40, 20}, {-20, 40, 90}, "pillar.png"), 0);
    World().Build();
    World().BuildAreaMeshLists();
    std::vector<MeshRecord*> batches;
    World().GatherAreaBatchMeshes(batches);
    EXPECT_EQ(VertexSum(batches), VertexSum(World().levelMeshes));

    const UniverseArea& a = *World().areas[0];
    const UniverseArea& b = *World().areas[1];
    EXPECT_EQ(a.batches.size(), 1u); // the four wall panels, one texture
    ASSERT_EQ(a.secondBatches.size(), 1u);
    EXPECT_EQ(b.batches.size(), 1u);
    ASSERT_EQ(b.sharedMeshes.size(), 1u);
    EXPECT_EQ(b.sharedMeshes[0], a.secondBatches[0].get());
    EXPECT_STREQ(a.secondBatches[0]->mesh->textures[0].fileName, "pillar.png");

    // The object command and a second assembly see the same meshes, none twice.
    std::vector<MeshRecord*> entries;
    GatherUniverseAreaEntries(&entries);
    EXPECT_EQ(entries, batches);
    World().BuildAreaMeshLists();
    batches.clear();
    World().GatherAreaBatchMeshes(batches);
    EXPECT_EQ(VertexSum(batches), VertexSum(World().levelMeshes));
}

TEST_F(UniverseTables, QueriesFindMeshesByCellAndByBox) {
    BuildDoorwayLevel();
    std::vector<MeshRecord*> cellMeshes;
    World().GatherCellMeshes(cellMeshes);
    std::size_t listed = 0;
    for (std::int32_t c = 0; c < World().cellCount; ++c)
        listed += World().cells[c].meshes.size();
    EXPECT_EQ(cellMeshes.size(), listed);

    // Corners in any order span the same box: around the lower left panel only.
    MeshRecord* panel = World().levelMeshes[1]; // x = -100, y = 100
    World().GatherMeshesInBox({-60, 160, 60}, {-140, 60, 40});
    ASSERT_FALSE(World().queryMeshes.empty());
    for (MeshRecord* m : World().queryMeshes)
        EXPECT_EQ(m, panel);
    const std::vector<MeshRecord*> found = World().queryMeshes;
    World().GatherMeshesInBox({-140, 60, 40}, {-60, 160, 60});
    EXPECT_EQ(World().queryMeshes, found);
    World().GatherMeshesInBox({500, 500, 500}, {600, 600, 600});
    EXPECT_TRUE(World().queryMeshes.empty());
}

TEST_F(UniverseTables, AMeshAcrossManyCellsIsFoundOnceByABoxQuery) {
    // A floor under 3,600 cells and a box on it: a box query over the floor listed the floor once
    // for every cell it covers, and a light's occluders with it.
    CreateUniverse(3050, 3050, 3050);
    MeshRecord* floor = AddLevelMesh(BoxMesh({-3000, -50, -3000}, {3000, -49, 3000}), 0);
    MeshRecord* box = AddLevelMesh(BoxMesh({-10, -49, -10}, {10, 0, 10}), 0);
    World().Build();
    World().GatherMeshesInBox({-2900, -60, -2900}, {2900, 10, 2900});
    EXPECT_EQ(World().queryMeshes, (std::vector<MeshRecord*>{floor, box}));
    // Only what reaches into the box.
    World().GatherMeshesInBox({100, -60, 100}, {200, 10, 200});
    EXPECT_EQ(World().queryMeshes, std::vector<MeshRecord*>{floor});
}

TEST_F(UniverseTables, VisibilityWalksThroughTheDoorwayOnly) {
    BuildDoorwayLevel();
    Universe& u = World();
    u.visibleFrusta.resize(1);
    u.visitedAreas[0] = 77;
    const D3DXVECTOR3 eye(0, 50, -100);
    EXPECT_TRUE(u.IsBoxVisibleFromArea(0, &eye, {0, 0, 0}, {1, 1, 1}));
    EXPECT_EQ(u.visibleFrusta.size(), 1u); // nothing touched
    EXPECT_EQ(u.visitedAreas[0], 77);
    EXPECT_FALSE(u.IsBoxVisibleFromArea(3, &eye, {0, 0, 0}, {1, 1, 1}));
    EXPECT_FALSE(u.IsBoxVisibleFromArea(1 << 30, &eye, {0, 0, 0}, {1, 1, 1}));

    EXPECT_TRUE(u.IsBoxVisibleFromArea(2, &eye, {0, 50, -20}, {5, 5, 5})); // in the eye's area
    // Straight through the doorway: seen through one portal frustum.
    EXPECT_FALSE(u.IsBoxVisibleFromArea(2, &eye, {0, 50, 120}, {5, 5, 5}));
    EXPECT_EQ(u.visibleFrusta.size(), 1u);
    EXPECT_EQ(u.visitedAreas[1], 0);
    // Behind the wall beside the doorway: out of that frustum.
    EXPECT_FALSE(u.IsBoxVisibleFromArea(2, &eye, {-130, 50, 140}, {5, 5, 5}));
    EXPECT_TRUE(u.visibleFrusta.empty());
}

TEST_F(UniverseTables, DensePortalGraphsEndAtOnce) {
    // Thirty areas at one place, each with a portal into every other: every path passes every
    // test, so only the walk's own limits end it.
    CreateUniverse(1000, 1000, 1000);
    const std::int32_t count = 30;
    for (std::int32_t i = 0; i < count; ++i) {
        UniverseArea* area = AddArea();
        area->minimum = D3DXVECTOR3(-100, -100, -100);
        area->maximum = D3DXVECTOR3(100, 100, 100);
        for (std::int32_t j = 0; j < count; ++j) {
            if (j == i) continue;
            area->portals.push_back(WidePortal(j));
        }
    }
    const D3DXVECTOR3 eye(0, 0, 0);
    EXPECT_FALSE(World().IsBoxVisibleFromArea(1, &eye, {0, 0, 500}, {1, 1, 1}));
    EXPECT_LE(World().visibleFrusta.size(), 4096u);
    // A ring longer than the deepest walk ends too.
    for (std::int32_t i = 0; i < count; ++i) {
        auto& portals = World().areas[i]->portals;
        portals.resize(1);
        portals[0]->neighbour = (i + 1) % count;
    }
    EXPECT_FALSE(World().IsBoxVisibleFromArea(1, &eye, {0, 0, 5000}, {1, 1, 1}));
    EXPECT_EQ(World().visitedAreas[kUniversePortalDepths - 1], kUniversePortalDepths - 1);
}

TEST_F(UniverseTables, AnAssemblyCopiesEachMeshOnceHoweverLargeItsBatches) {
    // 12,800 small boxes of one texture in one open area: merged one at a time, every box copied
    // its batch whole again, half a minute an assembly.
    constexpr int kSide = 80;
    CreateUniverse(8050, 8050, 8050);
    for (int i = 0; i < kSide; ++i)
        for (int j = 0; j < kSide; ++j)
            for (const float h : {10.0f, 5.0f}) {
                const D3DXVECTOR3 at(100.0f * i, 0, 100.0f * j), half(h, h, h);
                AddLevelMesh(BoxMesh(at - half, at + half), 0);
            }
    World().Build();
    ASSERT_EQ(World().areas.size(), 1u);
    for (int assembly = 0; assembly < 5; ++assembly) {
        World().BuildAreaMeshLists();
        const auto& batches = World().areas[0]->batches;
        // 1,820 boxes of 24 vertices fill a batch below the limit.
        ASSERT_EQ(batches.size(), 8u);
        for (std::size_t b = 0; b < batches.size(); ++b) {
            const MeshRecord* mesh = batches[b]->mesh;
            const std::int32_t boxes = b < 7 ? 1820 : 2 * kSide * kSide - 7 * 1820;
            ASSERT_EQ(mesh->vertexCount, 24 * boxes) << b;
            ASSERT_EQ(mesh->indexCount, 36 * boxes) << b;
            EXPECT_EQ(mesh->drawPrimitiveCount, 12 * boxes) << b;
            // The last box's indices name its own vertices.
            EXPECT_EQ(mesh->indices[mesh->indexCount - 1] / 24, boxes - 1) << b;
        }
        std::vector<MeshRecord*> meshes;
        World().GatherAreaBatchMeshes(meshes);
        EXPECT_EQ(VertexSum(meshes), VertexSum(World().levelMeshes));
    }
}
