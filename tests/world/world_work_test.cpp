// What a level lets its frames and sweeps do, charged or bounded at its load: small crafted files
// that would make a frame or a collision call take seconds or minutes are refused before any
// frame is drawn, and a level's passes and texture modifiers are charged as the figures say.
#include "core/win32.h"

#include "core/error_numbers.h"
#include "core/frame_loop.h"
#include "core/load_budget.h"
#include "support/object_scene.h"
#include "support/temp_folder.h"
#include "world/archive_fixtures.h"
#include "world/crafted_levels.h"
#include "world/level_collision.h"
#include "world/pk3_archive.h"
#include "world/shader_table.h"
#include "world/world.h"
#include "world/world_level.h"
#include "world/world_state.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// Each a few KB to a few hundred KB as an archive: the level deflated over its records, beside
// the wall's shader script when it has stages (each with that many rotations).
struct CraftedKind {
    const char* name;
    std::function<std::string()> level;
    std::vector<std::size_t> distances;
    int stages = 0, rotations = 0;
};

const CraftedKind kCraftedKinds[] = {
    // 200,000 nodes over one leaf of 200,000 faces: a sweep walks 4 * 10^10 of them.
    {"shared leaf", [] { return SharedLeafLevel(200000, 200000); }, {36, 4}},
    {"leaf of two nodes", [] { return SharedLeafLevel(2, 1); }, {}},
    // A fan of 65,536 vertices through 16 stages of 255 rotations: 267 million a frame.
    {"modifiers", [] { return FacesLevel(1, 65536); }, {44}, 16, 255},
    // 65,536 triangles, each drawn in 16 passes: a million draw calls a frame.
    {"draw calls", [] { return FacesLevel(65536); }, {104, 4}, 16},
    // 16 fans of 65,536 vertices: a sweep tests a million triangles.
    {"swept triangles", [] { return FacesLevel(16, 65536); }, {44, 104, 4}},
};

class WorldWork : public ObjectScene {
protected:
    void TearDown() override {
        FreeWorld();
        ObjectScene::TearDown();
    }
    // Outlives the module's stop, which lets go of the archives.
    TempFolder folder;
};

// Each refused with the load's error, keeping no archive; then a frame is drawn and a camera's
// sweep runs as a program would, which before took seconds to minutes for the loaded level.
TEST_F(WorldWork, CraftedLevelsAreRefusedBeforeAnyFrameOrSweep) {
    const int open = OpenZipArchiveCount();
    for (const CraftedKind& kind : kCraftedKinds) {
        SCOPED_TRACE(kind.name);
        std::vector<TestMember> members{DeflatedMember("maps/x.bsp", kind.level(), kind.distances)};
        const std::string rotations = Repeated("  tcmod rotate 30\n", std::size_t(kind.rotations));
        if (kind.stages)
            members.push_back(
                DeflatedMember("scripts/x.shader", WallShader(kind.stages, rotations), {17}));
        const std::string path = folder.Write(std::string(kind.name) + "\\x.pk3", ZipOf(members));
        cell.number = 0;
        LoadWorld(path.c_str(), "maps/x.bsp");
        EXPECT_EQ(cell.number, kWorldLoadFailed);
        EXPECT_EQ(GetWorldKind(), kWorldNone);
        EXPECT_FALSE(WorldLevelLoaded());
        EXPECT_EQ(OpenZipArchiveCount(), open);
        Sync();
        D3DXVECTOR3 reached;
        for (int call = 0; call < 2; ++call)
            CollideWithLevel(D3DXVECTOR3(0.1f, 0.1f, 0), D3DXVECTOR3(0.1f, 0.1f, 10),
                             D3DXVECTOR3(0.5f, 0.5f, 0.5f), &reached, kLevelSlideDepth);
    }
}

// The wall level read within a load of its own, drawn through the shader of that script: what
// the load charged. The shader table is read outside the load, as a level's scripts are before it.
class LevelCharges : public ::testing::Test {
protected:
    void TearDown() override {
        FreeLevelData();
        FreeWorldTable();
        ClearArchiveFileList(WorldLevelFiles());
    }
    static std::uint64_t Charged(const std::string& level, const std::string& script) {
        FreeWorldTable();
        ClearArchiveFileList(WorldLevelFiles()); // the script joins them each time
        ParseShaderHeader(reinterpret_cast<const std::uint8_t*>(script.data()), script.size(),
                          "a.pk3", "scripts/x.shader");
        LoadScope load(0);
        EXPECT_EQ(LoadBSPData(reinterpret_cast<const std::uint8_t*>(level.data()), level.size()),
                  1);
        return LoadCharged();
    }
};

// The wall's face, four vertices and six indices, against one plain stage: each further stage
// hands them over again and is one more draw call; each modifier (or environment mapping) takes
// the four vertices through once more in its stage.
TEST_F(LevelCharges, EachStageChargesAPassAndEachModifierItsVertices) {
    const std::string wall = WallLevel();
    const std::uint64_t pass = 4 * sizeof(WorldVertex) + 6 * 2 + kDrawCallCharge;
    const std::uint64_t base = Charged(wall, WallShader(1));
    const struct {
        const char* stage;
        int stages;
        std::uint64_t more;
    } kRows[] = {
        {"", 2, pass},
        {"", 16, 15 * pass},
        {"  tcmod rotate 30\n  tcmod scroll 1 0\n  tcmod scale 2 2\n", 1, 3 * 4 * 32},
        {"  tcmod rotate 30\n  tcmod scroll 1 0\n  tcmod scale 2 2\n", 16,
         15 * pass + 16 * 3 * 4 * 32},
        {"  tcgen environment\n", 2, pass + 2 * 4 * 32},
    };
    for (const auto& row : kRows)
        EXPECT_EQ(Charged(wall, WallShader(row.stages, row.stage)) - base, row.more)
            << row.stages << " of " << row.stage;
}

// Every leaf's faces are walked by each frame and by a sweep: a thousand more cost their record
// and the walk's charge.
TEST_F(LevelCharges, EachLeafFaceChargesItsWalk) {
    const std::string script = WallShader(1);
    EXPECT_EQ(Charged(SharedLeafLevel(1, 1001), script) - Charged(SharedLeafLevel(1, 1), script),
              1000 * (4 + kLeafFaceWalkCharge));
}

} // namespace
