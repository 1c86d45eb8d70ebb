// Level pairs written by the tests (an object file of meshes made in code, and beside it a
// structure file written word by word) that would make later calls walk far.
#include "core/win32.h"

#include "universe/universe_scene.h"
#include "camera/camera.h"
#include "core/error_numbers.h"
#include "core/load_budget.h"
#include "object3d/model_files.h"
#include "object3d/vertex_layout.h"
#include "support/temp_folder.h"
#include "universe/universe_collision.h"
#include "universe/universe_commands.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace {

// A structure file: root half extents of 100; `areas` areas of the box about the origin 200 wide,
// each with `holders` batches of mesh 0 and `portals` portals into each other area (through side
// 0, their quads 2000 wide at z = 50 and their boxes larger still, as WidePortal makes them); then
// unless cellTriangles is negative one cell at the origin 100 wide, whose six links all name
// cellLink, holding that many copies of a triangle lying flat in the scaled space at y = -0.1.
struct LevelShape {
    std::int32_t areas, holders, portals = 0, cellTriangles = -1, cellLink = -1;

    std::vector<std::int32_t> Words() const {
        std::vector<std::int32_t> w{100, 100, 100, areas};
        const auto put = [&w](std::initializer_list<float> floats) {
            for (float f : floats)
                w.push_back(std::bit_cast<std::int32_t>(f));
        };
        for (std::int32_t a = 0; a < areas; ++a) {
            put({-100, -100, -100, 100, 100, 100, 0, 0, 0}); // box and centre
            w.push_back(holders);
            w.insert(w.end(), static_cast<std::size_t>(holders) + 2, 0); // none second or shared
            w.push_back(portals * (areas - 1));
            for (std::int32_t b = 0; b < areas; ++b)
                for (std::int32_t p = 0; b != a && p < portals; ++p) {
                    w.insert(w.end(), {b, kSideMinusZ, 0}); // neighbour, side, strength
                    // Box, centre, half extents and quad in the order of side 0's corners.
                    put({-1000, -1000, 50, 1000,  1000, 50, 0,     0,     50, 1000, 1000,  1000,
                         1000,  1000,  50, -1000, 1000, 50, -1000, -1000, 50, 1000, -1000, 50});
                }
        }
        w.push_back(cellTriangles < 0 ? 0 : 1);
        if (cellTriangles < 0) return w;
        put({0, 0, 0, 50, 50, 50});
        w.insert(w.end(), kUniverseSides, cellLink);
        w.push_back(cellTriangles);
        for (std::int32_t i = 0; i < cellTriangles; ++i) {
            put({-1, -0.1f, -1, 1, -0.1f, -1, 0, -0.1f, 1});
            w.push_back(i + 1);
        }
        return w;
    }
};

enum class Listing { kIndexed, kStrip, kPlain };

// A triangle across the x axis listed `triangles` times: by its indices (as a strip: each index
// after the second makes another triangle) or as plain vertices.
MeshRecord* CrossingMesh(std::int32_t triangles, Listing listing) {
    auto* mesh = new MeshRecord;
    const bool plain = listing == Listing::kPlain;
    const std::int32_t count = listing == Listing::kStrip ? triangles + 2 : 3 * triangles;
    EXPECT_TRUE(SetupMeshFVFData(mesh, D3DFVF_XYZ, plain ? count : 3, plain ? 0 : count));
    const D3DXVECTOR3 corners[3] = {{0, -1, -1}, {0, 1, -1}, {0, 0, 1}};
    for (std::int32_t i = 0; i < count; ++i) {
        reinterpret_cast<D3DXVECTOR3*>(mesh->vertices)[i % mesh->vertexCount] = corners[i % 3];
        if (!plain) mesh->indices[i] = static_cast<std::uint16_t>(i % 3);
    }
    mesh->primitiveType = listing == Listing::kStrip ? D3DPT_TRIANGLESTRIP : D3DPT_TRIANGLELIST;
    mesh->drawVertexCount = plain ? 0 : 3;
    mesh->drawPrimitiveCount = triangles;
    CalculateMeshBounds(mesh);
    return mesh;
}

// A level pair made to make later calls walk far: its structure, what those calls must still
// answer, and its object file of `copies` crossing meshes of `triangles` each.
struct CraftedLevel {
    const char* name;
    LevelShape shape;
    std::function<void()> calls;
    std::int32_t triangles = 1;
    Listing listing = Listing::kIndexed;
    int copies = 1;
    std::size_t structureBytes = SIZE_MAX; // what is kept of the structure file

    // Writes level.tlo (a chain of sibling frames, each showing a mesh) and level.tlu beside it;
    // the object file's name.
    std::string Write(const TempFolder& folder) const {
        ObjectRecord object;
        FrameRecord** next = &object.rootFrame;
        for (int i = 0; i < copies; ++i, next = &(*next)->sibling) {
            *next = new FrameRecord;
            (*next)->mesh = CrossingMesh(triangles, listing);
        }
        const std::string level = folder.File("level.tlo");
        EXPECT_TRUE(SaveObjectFile(level.c_str(), &object));
        const std::vector<std::int32_t> words = shape.Words();
        folder.Write("level.tlu", std::string(reinterpret_cast<const char*>(words.data()),
                                              std::min(4 * words.size(), structureBytes)));
        return level;
    }
};

const auto kRayMisses = [] { EXPECT_EQ(UniverseRayCommand(-5, 0, 0, 5, 0, 0), 0); };

const CraftedLevel kLevels[] = {
    // Tested once a holder, the mesh's triangles would be walked 2.4 million times a ray.
    {"a ray through a mesh that many batches of many areas hold",
     {4, 600000},
     [] { EXPECT_EQ(UniverseRayCommand(-5, 0, 0, 5, 0, 0), 5); },
     20000},
    // Gathered once a link, the cell's triangles would fill the buffer 27 times over.
    {"a volume query in a cell that each of its links names",
     {0, 0, 0, 100000, 0},
     [] {
         EXPECT_EQ(UniverseVolumeCommand(0, 10, 0, 0, -5, 0, 1), 1);
         EXPECT_EQ(World().triangleFloats, 9u * 100000);
         EXPECT_EQ(World().statistics[2], 100000);
     }},
    // Every area entered looked at 30,000 portals: seconds a query, and a light asks many.
    {"visibility through areas of many parallel portals",
     {3, 0, 15000},
     [] {
         const D3DXVECTOR3 eye(0, 0, 0);
         for (int query = 0; query < 30; ++query)
             EXPECT_FALSE(World().IsBoxVisibleFromArea(1, &eye, {0, 0, 500}, {1, 1, 1}));
         EXPECT_TRUE(World().IsBoxVisibleFromArea(2, &eye, {0, 0, 0}, {1, 1, 1}));
     }},
    // Every entry of an area walked its 300,000 batches, and looked at its 6,000 portals.
    {"frames through dense portals into areas of many batches",
     {3, 300000, 3000},
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

// A level whose structure file keeps only its first bytes.
CraftedLevel Cut(const char* name, LevelShape shape, std::size_t bytes) {
    return {.name = name, .shape = shape, .calls = kRayMisses, .structureBytes = bytes};
}

// The triangles a file lets each later call test are charged at load: past the budget the
// level is refused and nothing of it is kept. So is a level whose structure file is there but cut
// short.
const CraftedLevel kRefused[] = {
    // 2.6 million triangles of strips (two bytes each) for every ray to test.
    {"strips of bare indices", {1, 40}, kRayMisses, 65533, Listing::kStrip, 40},
    // 260,000 triangles in one mesh, each tested once for every corner of a decal on it.
    {"one mesh of plain triangles", {1, 1}, kRayMisses, 260000, Listing::kPlain},
    // 20,000 areas in a 1 MB file: a frame of debug drawing draws each one's box and six faces.
    {"more areas than a frame of debug drawing can draw",
     {20000, 0, 0, 0},
     [] {
         SetUniverseDebugOn();
         EXPECT_FALSE(World().Render()); // nothing kept to draw
     }},
    Cut("a structure file cut inside its header", {1, 1}, 10),
    Cut("a structure file cut inside its first area", {2, 3, 1}, 60),
    Cut("a structure file cut to half, inside its second area", {2, 3, 1, 2}, 248),
    Cut("a structure file cut inside its last triangle", {2, 3, 1, 2}, 492),
};

} // namespace

TEST_F(UniverseScene, CraftedLevelsKeepEveryLaterCallShort) {
    for (const CraftedLevel& level : kLevels) {
        SCOPED_TRACE(level.name);
        TempFolder folder;
        ASSERT_EQ(LoadUniverse(level.Write(folder).c_str(), 0), 1);
        level.calls();
        DeleteUniverse();
    }
}

TEST_F(UniverseScene, CraftedLevelsPastTheirBudgetOrCutShortAreRefused) {
    for (const CraftedLevel& level : kRefused) {
        SCOPED_TRACE(level.name);
        TempFolder folder;
        const std::string name = level.Write(folder);
        ASSERT_LT(TempFolder::Read(name).size() + TempFolder::Read(folder.File("level.tlu")).size(),
                  10u << 20);
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

TEST_F(UniverseTables, ALevelPairsBudgetCountsBothItsFiles) {
    // Sizes small enough that each sum lands between the floor and the ceiling, where a budget
    // set by either file alone would be another figure.
    for (const bool withStructure : {true, false}) {
        SCOPED_TRACE(withStructure);
        TempFolder folder;
        const std::string level = CraftedLevel{"", {1, 10000}, {}, 3000}.Write(folder);
        if (!withStructure) DeleteFileA(folder.File("level.tlu").c_str());
        const std::uint64_t objectBytes = TempFolder::Read(level).size();
        const std::uint64_t budget =
            LoadBudgetFor(objectBytes + TempFolder::Read(folder.File("level.tlu")).size());
        ASSERT_GT(objectBytes, 16000u);
        ASSERT_LT(budget, kLoadBudgetCeiling);
        ASSERT_EQ(LoadUniverse(level.c_str(), 0), 1);
        EXPECT_EQ(World().areas.size(), withStructure ? 1u : 0u);
        EXPECT_EQ(LastLoadLimit(), budget);
    }
}
