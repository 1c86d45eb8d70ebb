// openarena's oa_dm1 tried as a program would: loaded, the camera stood at a spawn point and a
// frame drawn, then a collision slot walked around it in random steps.
#include "core/win32.h"

#include "camera/camera.h"
#include "support/object_scene.h"
#include "world/level_fixtures.h"
#include "world/world.h"
#include "world/world_level.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <sstream>

namespace {

// The origin of the level's first deathmatch spawn point, level units.
bool FirstSpawn(const std::string& entities, D3DXVECTOR3& origin) {
    const std::size_t spawn = entities.find("\"info_player_deathmatch\"");
    if (spawn == std::string::npos) return false;
    const std::size_t open = entities.rfind('{', spawn), close = entities.find('}', spawn);
    const std::string block = entities.substr(open, close - open);
    const std::size_t key = block.find("\"origin\"");
    if (key == std::string::npos) return false;
    std::istringstream values(block.substr(block.find('"', key + 8) + 1));
    return static_cast<bool>(values >> origin.x >> origin.y >> origin.z);
}

class WorldMapPlay : public ObjectScene {
protected:
    void SetUp() override {
        if (!RealMapsPresent()) GTEST_SKIP() << "openarena-081-maps is not installed";
        ObjectScene::SetUp();
        if (HasFatalFailure()) return;
        LoadWorld(RealMapsArchive().c_str(), "maps/oa_dm1.bsp");
        ASSERT_EQ(cell.number, 0);
        ASSERT_TRUE(WorldLevelLoaded());
        D3DXVECTOR3 spawn;
        ASSERT_TRUE(FirstSpawn(WorldLevelData().file.entities, spawn));
        // Standing at eye height above the spawn point.
        eye = LevelToEnginePoint(spawn.x, spawn.y, spawn.z + 30);
        PositionCamera(0, eye.x, eye.y, eye.z);
        SetCameraRange(0, 0.05f, 400);
    }
    void TearDown() override {
        if (!RealMapsPresent()) return;
        FreeWorld();
        ObjectScene::TearDown();
    }
    // The cluster of the leaf that holds camera 0.
    std::int32_t CameraCluster() {
        const D3DXVECTOR3 at =
            EngineToLevelPoint(CameraPositionX(0), CameraPositionY(0), CameraPositionZ(0));
        const BspFile& file = WorldLevelData().file;
        const std::int32_t leaf = FindBspLeaf(file, at);
        return leaf < 0 ? -1 : file.leaves[static_cast<std::size_t>(leaf)].cluster;
    }
    D3DXVECTOR3 eye{0, 0, 0};
};

TEST_F(WorldMapPlay, AFrameFromInsideIsLitAndTextured) {
    ASSERT_GE(CameraCluster(), 0);
    const std::vector<std::uint32_t> pixels = SyncAndReadGrid(0);
    EXPECT_GT(g_CoreData->drawnPolygons, 100);
    std::size_t covered = 0;
    std::set<std::uint32_t> colours;
    for (std::uint32_t c : pixels) {
        if (c != 0) ++covered;
        colours.insert(c);
    }
    EXPECT_GT(covered, pixels.size() * 3 / 4);
    EXPECT_GT(colours.size(), 50u);
    EXPECT_EQ(cell.number, 0);
}

TEST_F(WorldMapPlay, RandomStepsOfASlotCameraStayInsideTheLevel) {
    SetWorldCollisionSphere(1, 0, 0.5f, 0);
    std::mt19937 random(47);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f), length(0.0f, 5.0f);
    std::int32_t hits = 0;
    for (int step = 0; step < 200; ++step) {
        D3DXVECTOR3 way(unit(random), unit(random), unit(random));
        D3DXVec3Normalize(&way, &way);
        way *= length(random);
        PositionCamera(0, CameraPositionX(0) + way.x, CameraPositionY(0) + way.y,
                       CameraPositionZ(0) + way.z);
        Sync();
        hits += WorldCollisionHit(1);
        ASSERT_GE(CameraCluster(), 0) << "step " << step;
    }
    // Within 5 units of a room's walls, the walls were met.
    EXPECT_GT(hits, 10);
    EXPECT_EQ(cell.number, 0);
}

} // namespace
