// openarena's maps, beside its pak0.pk3, loaded through LoadWorld: the counts a second reader
// (level_reference.py) finds, every map of the package, and a real level's textures carried to
// the new device of a mode change.
#include "core/win32.h"

#include "display/display.h"
#include "support/engine_fixture.h"
#include "support/error_cell.h"
#include "world/archive_fixtures.h"
#include "world/level_fixtures.h"
#include "world/world.h"
#include "world/world_level.h"
#include "world/world_state.h"
#include "world/world_textures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Row = std::vector<std::string>;

std::vector<Row> Maps() {
    return ManifestFileRows(LevelPath("maps-manifest.txt"));
}

// The manifest row of a map; empty when the build found no maps.
Row MapRow(const std::string& name) {
    for (const Row& row : Maps())
        if (!row.empty() && row[0] == name) return row;
    return {};
}

// The loaded level against the reader's row: version, faces, vertices, lightmaps, mesh indices,
// textures, patches built and clusters (-1 without visibility).
void ExpectCounts(const Row& row) {
    ASSERT_EQ(row.size(), 9u) << row[0];
    const WorldLevel& level = WorldLevelData();
    const BspFile& file = level.file;
    EXPECT_EQ(std::to_string(file.version), row[1]) << row[0];
    EXPECT_EQ(std::to_string(file.faces.size()), row[2]) << row[0];
    EXPECT_EQ(std::to_string(file.vertices.size()), row[3]) << row[0];
    EXPECT_EQ(std::to_string(file.LightmapCount()), row[4]) << row[0];
    EXPECT_EQ(std::to_string(file.meshIndices.size()), row[5]) << row[0];
    EXPECT_EQ(std::to_string(file.textures.size()), row[6]) << row[0];
    EXPECT_EQ(std::to_string(level.patches.size()), row[7]) << row[0];
    EXPECT_EQ(std::to_string(file.visibilityPresent ? file.visibility.clusterCount : -1), row[8])
        << row[0];
    EXPECT_EQ(level.vertices.size(), file.vertices.size());
    EXPECT_EQ(level.faces.size(), file.faces.size());
    for (const PatchRecord& patch : level.patches) {
        ASSERT_LE(patch.vertexCount, kMostPatchVertices);
        for (std::uint16_t index : patch.indices)
            ASSERT_LT(index, patch.vertexCount) << row[0];
    }
}

class WorldMaps : public EngineFixture {
protected:
    void SetUp() override {
        if (!RealMapsPresent()) GTEST_SKIP() << "openarena-081-maps is not installed";
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        ASSERT_NE(GetDirect3DDevice(), nullptr);
    }
    void TearDown() override {
        if (RealMapsPresent()) EngineFixture::TearDown();
    }
};

TEST_F(WorldMaps, OaDm1LoadsWithTheCountsOfASecondReader) {
    const Row row = MapRow("maps/oa_dm1.bsp");
    ASSERT_FALSE(row.empty());
    LoadWorld(RealMapsArchive().c_str(), "maps/oa_dm1.bsp");
    ASSERT_EQ(cell.number, 0);
    ASSERT_EQ(GetWorldKind(), kWorldBsp);
    ASSERT_TRUE(WorldLevelLoaded());
    ExpectCounts(row);
    const WorldLevel& level = WorldLevelData();
    for (std::int32_t handle : level.lightmapTextures)
        EXPECT_GE(handle, 0);
    // Its textures come from pak0.pk3 beside the maps, some through shaders.
    std::size_t textured = 0, shaded = 0;
    for (const WorldFaceRecord& face : level.faces) {
        textured += face.texture >= 0;
        shaded += face.shader >= 0;
    }
    EXPECT_GT(textured, level.faces.size() / 4);
    EXPECT_GT(shaded, 0u);
    EXPECT_GT(g_World.levelFiles.count, 1);
}

TEST_F(WorldMaps, AfterAModeChangeTheLevelsTexturesLiveOnTheNewDevice) {
    LoadWorld(RealMapsArchive().c_str(), "maps/oa_dm1.bsp");
    ASSERT_EQ(GetWorldKind(), kWorldBsp);
    const WorldTextureTable& t = WorldTextures();
    std::vector<std::string> names;
    for (std::int32_t i = 0; i < t.textures.count; ++i)
        names.push_back(GetTextureName(i));
    ASSERT_GT(names.size(), 10u);
    const std::int32_t lightmaps = t.lightmaps.count;
    SetDisplayMode(800, 600, 32);
    ASSERT_EQ(cell.number, 0);
    // A new device, which may take the old one's address: nothing made on the old one is left.
    IDirect3DDevice9* device = GetDirect3DDevice();
    ASSERT_EQ(t.textures.count, static_cast<std::int32_t>(names.size()));
    for (std::int32_t i = 0; i < t.textures.count; ++i) {
        EXPECT_EQ(GetTextureName(i), names[static_cast<std::size_t>(i)]);
        EXPECT_TRUE(OnDevice(t.textures.entries[static_cast<std::size_t>(i)].texture, device))
            << names[static_cast<std::size_t>(i)];
    }
    ASSERT_EQ(t.lightmaps.count, lightmaps);
    for (std::int32_t i = 0; i < lightmaps; ++i)
        EXPECT_TRUE(OnDevice(t.lightmaps.entries[static_cast<std::size_t>(i)].texture, device));
}

// Every map of the package, a fifth per case, without a device: textures are looked for and
// not made, everything else is loaded as with one.
class EveryMap : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        if (!RealMapsPresent()) GTEST_SKIP() << "openarena-081-maps is not installed";
        WorldConstructor(nullptr, nullptr, nullptr, nullptr);
        WorldPassCoreData(&core);
    }
    void TearDown() override { WorldDestructor(); }
    ErrorCellScope errors;
    CoreData core{};
};

constexpr int kShards = 5;

TEST_P(EveryMap, LoadsWithTheCountsOfASecondReader) {
    const std::vector<Row> maps = Maps();
    ASSERT_EQ(maps.size(), 50u);
    for (std::size_t i = static_cast<std::size_t>(GetParam()); i < maps.size(); i += kShards) {
        const Row& row = maps[i];
        ASSERT_NE(row[1], "refused") << row[0] << ": " << row[2];
        errors.Clear();
        LoadWorld(RealMapsArchive().c_str(), row[0].c_str());
        ASSERT_EQ(errors.Last(), 0) << row[0];
        ASSERT_EQ(GetWorldKind(), kWorldBsp) << row[0];
        ExpectCounts(row);
    }
}

INSTANTIATE_TEST_SUITE_P(Shards, EveryMap, ::testing::Range(0, kShards));

} // namespace
