#include "core/win32.h"

#include "universe/universe_scene.h"
#include "universe/crafted_levels.h"
#include "camera/camera.h"
#include "core/error_numbers.h"
#include "universe/universe_collision.h"
#include "universe/universe_commands.h"

#include <functional>

namespace {

// A level pair made to make later calls walk far, and what those calls must still answer.
struct CraftedLevel {
    const char* name;
    std::function<std::vector<MeshRecord*>()> meshes;
    std::function<StructureWords()> structure;
    std::function<void()> calls;
};

// Areas of the box about the origin, each with `holders` batches of mesh 0 and `portals` wide
// portals into each other area.
StructureWords PortalMesh(std::int32_t areas, std::int32_t portals, std::int32_t holders) {
    StructureWords s(areas);
    for (std::int32_t a = 0; a < areas; ++a) {
        s.Box({-100, -100, -100}, {100, 100, 100}).List(holders).List(0).List(0);
        s.Int(portals * (areas - 1));
        for (std::int32_t b = 0; b < areas; ++b)
            for (std::int32_t p = 0; b != a && p < portals; ++p)
                s.WidePortal(b);
    }
    return s.Int(0); // no cells
}

const CraftedLevel kLevels[] = {
    // Tested once a holder, the mesh's triangles would be walked 2.4 million times a ray.
    {"a ray through a mesh that many batches of many areas hold",
     [] { return std::vector<MeshRecord*>{CrossingMesh(20000)}; },
     [] {
         StructureWords s(4);
         for (int a = 0; a < 4; ++a)
             s.Box({-10, -10, -10}, {10, 10, 10}).List(600000).List(0).List(0).Int(0);
         return s.Int(0);
     },
     [] { EXPECT_EQ(UniverseRayCommand(-5, 0, 0, 5, 0, 0), 5); }},
    // Gathered once a link, the cell's triangles would fill the buffer 27 times over.
    {"a volume query in a cell that each of its links names",
     [] { return std::vector<MeshRecord*>{CrossingMesh(1)}; },
     [] {
         return StructureWords(0).Int(1).LinkedCell({0, 0, 0}, 0, 100000, -0.1f);
     },
     [] {
         EXPECT_EQ(UniverseVolumeCommand(0, 10, 0, 0, -5, 0, 1), 1);
         EXPECT_EQ(World().triangleFloats, 9u * 100000);
         EXPECT_EQ(World().statistics[2], 100000);
     }},
    // Every area entered looked at 30,000 portals: seconds a query, and a light asks many.
    {"visibility through areas of many parallel portals",
     [] { return std::vector<MeshRecord*>{CrossingMesh(1)}; },
     [] { return PortalMesh(3, 15000, 0); },
     [] {
         const D3DXVECTOR3 eye(0, 0, 0);
         for (int query = 0; query < 30; ++query)
             EXPECT_FALSE(World().IsBoxVisibleFromArea(1, &eye, {0, 0, 500}, {1, 1, 1}));
         EXPECT_TRUE(World().IsBoxVisibleFromArea(2, &eye, {0, 0, 0}, {1, 1, 1}));
     }},
    // Every entry of an area walked its 300,000 batches, and looked at its 6,000 portals.
    {"frames through dense portals into areas of many batches",
     [] { return std::vector<MeshRecord*>{CrossingMesh(1)}; },
     [] { return PortalMesh(3, 3000, 300000); },
     [] {
         PositionCamera(0, 0, 0, 0);
         for (int frame = 0; frame < 80; ++frame) {
             ASSERT_TRUE(World().Render());
             EXPECT_EQ(World().textureMeshes[0]->frameStamp, World().frame);
             for (const auto& area : World().areas)
                 EXPECT_EQ(area->drawn, 1);
         }
     }},
};

// The triangles a file lets each later call test are charged at load: past the budget the
// level is refused and nothing of it is kept.
const CraftedLevel kRefused[] = {
    // 2.6 million triangles of strips (two bytes each) for every ray to test.
    {"strips of bare indices",
     [] {
         std::vector<MeshRecord*> meshes;
         for (int m = 0; m < 40; ++m)
             meshes.push_back(CrossingMesh(65533, 0, true));
         return meshes;
     },
     [] {
         return StructureWords(1).Box({-10, -10, -10}, {10, 10, 10}).List(40).Int(0, 3).Int(0);
     },
     [] { EXPECT_EQ(UniverseRayCommand(-5, 0, 0, 5, 0, 0), 0); }},
    // 260,000 triangles in one mesh, each tested once for every corner of a decal on it.
    {"one mesh of plain triangles",
     [] {
         auto* mesh = new MeshRecord;
         EXPECT_TRUE(SetupMeshFVFData(mesh, D3DFVF_XYZ, 780000, 0));
         const D3DXVECTOR3 corners[3] = {{0, -1, -1}, {0, 1, -1}, {0, 0, 1}};
         for (std::int32_t v = 0; v < mesh->vertexCount; ++v)
             reinterpret_cast<D3DXVECTOR3*>(mesh->vertices)[v] = corners[v % 3];
         mesh->primitiveType = D3DPT_TRIANGLELIST;
         mesh->drawPrimitiveCount = mesh->vertexCount / 3;
         return std::vector<MeshRecord*>{mesh};
     },
     [] {
         return StructureWords(1).Box({-10, -10, -10}, {10, 10, 10}).List(1).Int(0, 3).Int(0);
     },
     [] { EXPECT_EQ(UniverseRayCommand(-5, 0, 0, 5, 0, 0), 0); }},
    // 20,000 areas in a 1 MB file: a frame of debug drawing draws each one's box and six faces.
    {"more areas than a frame of debug drawing can draw",
     [] { return std::vector<MeshRecord*>{CrossingMesh(1)}; },
     [] {
         StructureWords s(20000);
         for (int a = 0; a < 20000; ++a)
             s.Box({-100, -100, -100}, {100, 100, 100}).Int(0, 4);
         return s.Int(1).LinkedCell({0, 0, 0}, -1, 0, 0);
     },
     [] {
         SetUniverseDebugOn();
         EXPECT_FALSE(World().Render()); // nothing kept to draw
     }},
};

} // namespace

TEST_F(UniverseScene, CraftedLevelsKeepEveryLaterCallShort) {
    for (const CraftedLevel& level : kLevels) {
        SCOPED_TRACE(level.name);
        TempFolder folder;
        const std::string name = WriteCraftedLevel(folder, level.meshes(), level.structure());
        ASSERT_EQ(LoadUniverse(name.c_str(), 0), 1);
        level.calls();
        DeleteUniverse();
    }
}

TEST_F(UniverseScene, CraftedLevelsWhoseCallsWouldWalkPastTheirBudgetAreRefused) {
    for (const CraftedLevel& level : kRefused) {
        SCOPED_TRACE(level.name);
        TempFolder folder;
        const std::string name = WriteCraftedLevel(folder, level.meshes(), level.structure());
        ASSERT_LT(TempFolder::Read(name).size() + 4 * level.structure().Words().size(), 10u << 20);
        cell.number = 0;
        EXPECT_EQ(LoadUniverse(name.c_str(), 0), 0);
        EXPECT_EQ(cell.number, kObjectNotLoaded);
        ASSERT_NE(UniversePointer(), nullptr);
        EXPECT_EQ(World().created, 0);
        EXPECT_TRUE(World().textureMeshes.empty());
        EXPECT_TRUE(World().areas.empty());
        level.calls();
    }
}
