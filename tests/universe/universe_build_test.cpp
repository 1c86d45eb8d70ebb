#include "core/win32.h"

#include "universe/universe_scene.h"
#include "object3d/geometry.h"
#include "object3d/mesh_convert.h"
#include "object3d/static_boxes.h"

#include <cmath>

namespace {

void ExpectVector(const D3DXVECTOR3& v, float x, float y, float z) {
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
}

// The grid coordinates of a centre.
UniverseNode* CellAtCentre(float x, float y, float z) {
    const Universe& u = World();
    return u.CellAt(u.GridCoordinate(0, x), u.GridCoordinate(1, y), u.GridCoordinate(2, z));
}

// A panel of two bars with a gap between them: rays through the grid find it partly solid.
MeshRecord* Grille(float x, float y, float z) {
    MeshRecord* bars[2] = {
        BoxMesh(D3DXVECTOR3(x - 50, y - 50, z - 0.5f), D3DXVECTOR3(x + 50, y - 10, z + 0.5f)),
        BoxMesh(D3DXVECTOR3(x - 50, y + 10, z - 0.5f), D3DXVECTOR3(x + 50, y + 50, z + 0.5f))};
    auto* grille = new MeshRecord;
    EXPECT_TRUE(MakeMeshFromData(grille, bars[0], nullptr, 72, 48));
    CopyMeshVerticesAt(grille, bars[1], 24, 24);
    CopyMeshIndicesAt(grille, bars[1], 36, 36);
    OffsetMeshIndices(grille, 36, 36, 24);
    CopyMeshTextureSlots(grille, bars[0]);
    CalculateMeshBounds(grille);
    delete bars[0];
    delete bars[1];
    return grille;
}

} // namespace

TEST_F(UniverseTables, StartingCreatingAndDeletingTheWorld) {
    ASSERT_NE(g_Object3D.universe, nullptr);
    ExpectVector(World().root->halfExtents, 3000, 3000, 3000);
    EXPECT_EQ(World().created, 1);
    EXPECT_EQ(World().built, 0);
    EXPECT_EQ(World().cellCount, 0);
    EXPECT_TRUE(World().cells.empty());
    EXPECT_FALSE(World().CreateRootNode(5, 5, 5)); // made once
    ExpectVector(World().root->halfExtents, 3000, 3000, 3000);

    MakeStaticCollisionBox(0, 0, 0, 1, 1, 1);
    World().Build();
    g_Universe.currentArea = 1;
    CreateUniverse(1000, 500, 200);
    ExpectVector(World().root->halfExtents, 1000, 500, 200);
    EXPECT_EQ(World().built, 0);
    EXPECT_TRUE((GetStaticBoxList().first == nullptr));
    EXPECT_EQ(g_Universe.areaCount, 0);
    EXPECT_EQ(g_Universe.currentArea, 0);

    DeleteUniverse();
    EXPECT_EQ(g_Object3D.universe, nullptr);
    MakeStaticCollisionBox(0, 0, 0, 1, 1, 1);
    DeleteUniverse(); // no world: the boxes go all the same
    EXPECT_TRUE((GetStaticBoxList().first == nullptr));
}

TEST_F(UniverseTables, AModeChangeLeavesAFreshEmptyWorld) {
    BuildDoorwayLevel();
    ASSERT_EQ(g_Universe.areaCount, 2);
    Basic3DRefreshD3D(0);
    EXPECT_EQ(g_Object3D.universe, nullptr);
    Basic3DRefreshD3D(1);
    ASSERT_NE(g_Object3D.universe, nullptr);
    ExpectVector(World().root->halfExtents, 3000, 3000, 3000);
    EXPECT_TRUE(World().areas.empty());
    EXPECT_TRUE(World().levelMeshes.empty());
    EXPECT_EQ(g_Universe.areaCount, 0);
}

TEST_F(UniverseTables, AnEmptyWorldStillHasTheCellsAroundTheOrigin) {
    ASSERT_TRUE(World().Build());
    EXPECT_EQ(World().built, 1);
    ExpectVector(World().boundsMin, -100, 0, -100);
    ExpectVector(World().boundsMax, 100, 100, 100);
    // Centres +-50 in x and z, 50 in y: four cells, a spare record after them.
    EXPECT_EQ(World().cellCount, 4);
    EXPECT_EQ(World().cells.size(), 5u);
    ExpectVector(World().cellCentroid, 0, 50, 0);
    for (std::int32_t i = 0; i < 4; ++i) {
        ExpectVector(World().cells[i].halfExtents, 50, 50, 50);
        EXPECT_EQ(World().FindNodeIndex(&World().cells[i]), i);
    }
    UniverseNode stranger;
    EXPECT_EQ(World().FindNodeIndex(&stranger), 0);
    EXPECT_EQ(World().FindNodeIndex(nullptr), 0);
}

TEST_F(UniverseTables, GridCoordinatesTruncateTowardsZero) {
    CreateUniverse(1000, 1000, 1000);
    World().Build();
    EXPECT_EQ(World().gridX, 20);
    EXPECT_EQ(World().halfGridX, 10);
    EXPECT_EQ(World().gridSlots, 8000u);
    EXPECT_EQ(World().GridCoordinate(0, 50), 10);
    EXPECT_EQ(World().GridCoordinate(0, -50), 10);
    EXPECT_EQ(World().GridCoordinate(0, 950), 19);
    EXPECT_EQ(World().GridCoordinate(0, -950), 1);
    // The cell visited later (lower centre) holds the shared slot.
    ASSERT_NE(CellAtCentre(-50, 50, -50), nullptr);
    ExpectVector(CellAtCentre(50, 50, 50)->centre, -50, 50, -50);

    // Coordinates at or past the grid's size name no cell, nor do negative ones or bad sides.
    EXPECT_TRUE(World().GetCellSideFlag(0, 10, 10, 10));
    for (std::int32_t beyond : {-1, 20, 21, 1 << 30}) {
        EXPECT_FALSE(World().GetCellSideFlag(0, beyond, 10, 10)) << beyond;
        EXPECT_FALSE(World().GetCellSideFlag(0, 10, beyond, 10)) << beyond;
        EXPECT_FALSE(World().GetCellSideFlag(0, 10, 10, beyond)) << beyond;
    }
    EXPECT_FALSE(World().GetCellSideFlag(6, 10, 10, 10));
    EXPECT_FALSE(World().GetCellSideFlag(-1, 10, 10, 10));
}

TEST_F(UniverseTables, RootsTooLargeOrUnusableMakeNoGrid) {
    for (float h : {1.0e7f, -200.0f, std::nanf("")}) {
        CreateUniverse(h, h, h);
        ASSERT_TRUE(World().Build());
        EXPECT_EQ(World().cellCount, 0) << h;
        EXPECT_TRUE(World().cellGrid.empty()) << h;
        EXPECT_EQ(World().areas.size(), 0u) << h;
    }
    // A level far longer than the cells a build may hold.
    CreateUniverse(1.0e7f, 60, 60);
    AddLevelMesh(BoxMesh({-1.0e7f, 0, 0}, {1.0e7f, 1, 1}), 0);
    ASSERT_TRUE(World().Build());
    EXPECT_EQ(World().cellCount, 0);
    EXPECT_EQ(World().cells.size(), 1u);
}

TEST_F(UniverseTables, WallsCloseFacesAndGrillesLeaveThemOpen) {
    CreateUniverse(1050, 1050, 1050);
    MeshRecord* wall = AddLevelMesh(
        BoxMesh(D3DXVECTOR3(-50, -50, 49.5f), D3DXVECTOR3(50, 50, 50.5f), "wall.png"), 2);
    MeshRecord* grille = AddLevelMesh(Grille(100, 0, 50), 1);
    AddLevelMesh(BoxMesh(D3DXVECTOR3(-150, -50, -50), D3DXVECTOR3(-50, -49, 50)), 2);
    World().Build();
    EXPECT_EQ(wall->universeStrength, 2);
    EXPECT_EQ(grille->universeStrength, 1);

    const UniverseNode* below = CellAtCentre(0, 0, 0);
    const UniverseNode* above = CellAtCentre(0, 0, 100);
    ASSERT_TRUE(below && above);
    EXPECT_EQ(below->neighbours[kSidePlusZ], above);
    EXPECT_EQ(above->neighbours[kSideMinusZ], below);
    EXPECT_EQ(below->sides[kSidePlusZ].open, 0);
    EXPECT_EQ(below->sides[kSidePlusZ].mesh, wall);
    EXPECT_EQ(above->sides[kSideMinusZ].open, 0);
    EXPECT_EQ(above->sides[kSideMinusZ].strength, 2);
    EXPECT_EQ(below->sides[kSideMinusZ].open, 1);
    EXPECT_EQ(below->sides[kSideMinusZ].mesh, nullptr);

    const UniverseNode* gBelow = CellAtCentre(100, 0, 0);
    const UniverseNode* gAbove = CellAtCentre(100, 0, 100);
    ASSERT_TRUE(gBelow && gAbove);
    EXPECT_EQ(gBelow->sides[kSidePlusZ].open, 1);
    EXPECT_EQ(gBelow->sides[kSidePlusZ].mesh, grille);
    EXPECT_EQ(gAbove->sides[kSideMinusZ].open, 1);
    EXPECT_EQ(gAbove->sides[kSideMinusZ].strength, 1);

    // A floor slab spanning x and z lies on the bottom face, with its top height.
    const UniverseNode* floorCell = CellAtCentre(-100, 0, 0);
    ASSERT_NE(floorCell, nullptr);
    EXPECT_FLOAT_EQ(floorCell->sides[kSideMinusY].topHeight, -49);
}

TEST_F(UniverseTables, TwoRoomsThroughADoorwayMakeTwoAreasAndAPortalEachWay) {
    BuildDoorwayLevel();
    ASSERT_EQ(World().areas.size(), 2u);
    EXPECT_EQ(g_Universe.areaCount, 2);
    const UniverseArea& a = *World().areas[0];
    const UniverseArea& b = *World().areas[1];
    ExpectVector(a.minimum, -150, -50, 50);
    ExpectVector(a.maximum, 150, 150, 150);
    ExpectVector(b.minimum, -150, -50, -150);
    ExpectVector(b.maximum, 150, 150, 50);
    EXPECT_EQ(a.cells.size(), 6u);
    EXPECT_EQ(b.cells.size(), 12u);
    EXPECT_EQ(a.cornerCount, 48);
    ExpectVector(a.centre, 0, 50, 100);
    ASSERT_TRUE(a.box);
    ExpectVector(a.box->halfExtents, 150, 100, 50);

    ASSERT_EQ(a.portals.size(), 1u);
    ASSERT_EQ(b.portals.size(), 1u);
    const UniversePortal& ab = *a.portals[0];
    const UniversePortal& ba = *b.portals[0];
    EXPECT_EQ(ab.neighbour, 1);
    EXPECT_EQ(ab.side, kSidePlusZ);
    EXPECT_EQ(ba.neighbour, 0);
    EXPECT_EQ(ba.side, kSideMinusZ);
    for (const UniversePortal* p : {&ab, &ba}) {
        ExpectVector(p->minimum, -50, -50, 50);
        ExpectVector(p->maximum, 50, 150, 50);
        ExpectVector(p->centre, 0, 50, 50);
        ExpectVector(p->halfExtents, 50, 100, 0);
        ASSERT_TRUE(p->box);
        EXPECT_EQ(p->box->sides[0].quad[0].colour, D3DCOLOR_ARGB(64, 128, 0, 0));
    }
    // Corners in the order of each side's table row.
    const float abCorners[4][3] = {{-50, 150, 50}, {50, 150, 50}, {50, -50, 50}, {-50, -50, 50}};
    const float baCorners[4][3] = {{50, 150, 50}, {-50, 150, 50}, {-50, -50, 50}, {50, -50, 50}};
    for (int k = 0; k < 4; ++k) {
        ExpectVector(ab.corners[k], abCorners[k][0], abCorners[k][1], abCorners[k][2]);
        ExpectVector(ba.corners[k], baCorners[k][0], baCorners[k][1], baCorners[k][2]);
    }
}

TEST_F(UniverseTables, TrianglesAreStoredScaledAndBoundedInEngineUnits) {
    BuildDoorwayLevel();
    // The walls' centres lie on z = 50, the top face of the cells at z = 0.
    const UniverseNode* cell = CellAtCentre(-100, 0, 0);
    ASSERT_NE(cell, nullptr);
    ASSERT_EQ(cell->triangles.size(), 12u);
    EXPECT_TRUE(CellAtCentre(-100, 0, 100)->triangles.empty());
    for (const UniverseTriangle& t : cell->triangles) {
        EXPECT_EQ(t.value, 7);
        for (int k = 0; k < 3; ++k) {
            const float x = t.corners[3 * k], y = t.corners[3 * k + 1], z = t.corners[3 * k + 2];
            EXPECT_TRUE(std::fabs(x + 15) < 1e-4f || std::fabs(x + 5) < 1e-4f) << x;
            EXPECT_TRUE(std::fabs(y + 50.0f / 30) < 1e-4f || std::fabs(y - 50.0f / 30) < 1e-4f)
                << y;
            EXPECT_TRUE(std::fabs(z - 4.95f) < 1e-4f || std::fabs(z - 5.05f) < 1e-4f) << z;
        }
    }
    EXPECT_NEAR(cell->triangleMin.x, -150, 1e-3f);
    EXPECT_NEAR(cell->triangleMax.y, 50, 1e-3f);
    EXPECT_NEAR(cell->triangleMax.z, 50.5f, 1e-3f);
    // A cell without triangles keeps the empty bounds.
    EXPECT_FLOAT_EQ(CellAtCentre(0, 100, 100)->triangleMin.x, 999999);
}

TEST_F(UniverseTables, ASecondBuildReplacesTheFirst) {
    BuildDoorwayLevel();
    const std::size_t cells = World().cells.size();
    World().Build();
    EXPECT_EQ(World().cells.size(), cells);
    EXPECT_EQ(World().areas.size(), 2u);
    EXPECT_EQ(g_Universe.areaCount, 2);
    for (const auto& area : World().areas)
        for (const UniverseNode* cell : area->cells)
            EXPECT_EQ(World().FindNodeIndex(cell), cell - World().cells.data());
}

TEST_F(UniverseTables, ManyWallsInALargeGridBuildInTimeLinearInTheirCells) {
    // A patch of ground cells each walled on its +z and +x faces, under a pole that raises the
    // grid to some 125,000 cells. Compared pairwise (every mesh with every cell, every area with
    // every cell and every other area) one build took over a minute.
    constexpr int kSide = 80;
    CreateUniverse(8050, 8050, 8050);
    for (int i = 0; i < kSide; ++i)
        for (int j = 0; j < kSide; ++j) {
            const float x = 100.0f * i, z = 100.0f * j;
            AddLevelMesh(BoxMesh({x - 50, -50, z + 49.5f}, {x + 50, 50, z + 50.5f}), 2);
            AddLevelMesh(BoxMesh({x + 49.5f, -50, z - 50}, {x + 50.5f, 50, z + 50}), 2);
        }
    AddLevelMesh(BoxMesh({-50, -50, -50}, {-40, 1850, -40}), 0);
    for (int build = 0; build < 3; ++build) {
        World().Build();
        ASSERT_GT(World().cellCount, 120000);
        // Each walled cell is an area, and the open grid around and above them is one more.
        ASSERT_EQ(World().areas.size(), static_cast<std::size_t>(kSide * kSide + 1));
        std::size_t portals = 0;
        for (const auto& area : World().areas)
            portals += area->portals.size();
        // Each way through every ceiling, and through the open faces of the patch's first row
        // and column.
        EXPECT_EQ(portals, static_cast<std::size_t>(2 * kSide * kSide + 4 * kSide - 4));
        const UniverseNode* inside = CellAtCentre(500, 0, 500);
        ASSERT_NE(inside, nullptr);
        int holding = 0;
        for (const auto& area : World().areas)
            if (area->cells.size() == 1 && area->cells[0] == inside) {
                ++holding;
                ASSERT_EQ(area->portals.size(), 1u);
                EXPECT_EQ(area->portals[0]->side, kSidePlusY);
                EXPECT_GT(World().areas[area->portals[0]->neighbour]->cells.size(), 100000u);
            }
        EXPECT_EQ(holding, 1);
    }
}
