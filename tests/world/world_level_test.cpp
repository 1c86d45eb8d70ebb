// The synthetic level loaded through LoadWorld on the Xvfb device: face records with their
// shaders, textures and lightmaps, converted vertices, patches, groups, the level's files, and
// its textures carried across a display-mode change.
#include "core/win32.h"

#include "display/display.h"
#include "support/engine_fixture.h"
#include "support/temp_folder.h"
#include "world/archive_fixtures.h"
#include "world/level_fixtures.h"
#include "world/pk3_archive.h"
#include "world/shader_table.h"
#include "world/world.h"
#include "world/world_level.h"
#include "world/world_state.h"
#include "world/world_textures.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class WorldLevelTest : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        ASSERT_NE(GetDirect3DDevice(), nullptr);
    }
    void LoadSynthetic() {
        cell.number = 0;
        LoadWorld(SyntheticArchive().c_str(), "maps/synthetic.bsp");
        ASSERT_EQ(cell.number, 0);
        ASSERT_EQ(GetWorldKind(), kWorldBsp);
        ASSERT_TRUE(WorldLevelLoaded());
    }
    // Outlives the engine's stop: the world keeps the archives it read open until then, and an
    // open file would keep the folder from being removed.
    TempFolder folder;
};

// Texel (0, 0) of a 32-bit texture's top level as 0xAARRGGBB.
std::uint32_t FirstTexel(IDirect3DTexture9* texture) {
    D3DLOCKED_RECT locked{};
    if (!texture || FAILED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) return 0;
    const std::uint32_t texel = *static_cast<const std::uint32_t*>(locked.pBits);
    texture->UnlockRect(0);
    return texel;
}

IDirect3DTexture9* Lightmap(std::int32_t handle) {
    const WorldTextureTable& t = WorldTextures();
    return handle >= 0 && handle < t.lightmaps.count
               ? t.lightmaps.entries[static_cast<std::size_t>(handle)].texture.Get()
               : nullptr;
}

TEST(LightmapScale, OverBrightTexelsKeepTheirRatios) {
    std::uint8_t texels[] = {200, 100, 50, 100, 50, 0, 0, 0, 0, 77};
    ScaleLightmapColours(texels, sizeof texels, 2.5f);
    // 1.96, 0.98 and 0.49 of full: scaled by 1 / 1.96, not clipped to (255, 250, 125).
    EXPECT_GE(texels[0], 254);
    EXPECT_EQ(texels[1], 127);
    EXPECT_EQ(texels[2], 63);
    // Not over-bright: simply 2.5 times.
    EXPECT_EQ(texels[3], 250);
    EXPECT_EQ(texels[4], 125);
    EXPECT_EQ(texels[5], 0);
    EXPECT_EQ(texels[6], 0);
    EXPECT_EQ(texels[9], 77); // the byte after the last whole texel
}

TEST_F(WorldLevelTest, FacesGetTheirShadersTexturesAndLightmaps) {
    LoadSynthetic();
    const WorldLevel& level = WorldLevelData();
    ASSERT_EQ(level.faces.size(), std::size_t{kSyntheticFaces});
    // A plain texture, found as its ".tga".
    const WorldFaceRecord& red = level.faces[0];
    EXPECT_EQ(red.shader, -1);
    ASSERT_GE(red.texture, 0);
    EXPECT_STREQ(GetTextureName(red.texture), "textures/test/red.tga");
    EXPECT_EQ(level.faces[3].texture, red.texture);
    // "Textures/Test/SHADED" names the shader "textures/test/shaded".
    const std::int32_t s = FindShader("textures/test/shaded");
    ASSERT_GE(s, 0);
    EXPECT_EQ(level.faces[1].shader, s);
    EXPECT_EQ(level.faces[1].texture, -2 - s);
    const ShaderRecord& shader = WorldShaderTable().records[static_cast<std::size_t>(s)];
    EXPECT_EQ(shader.texturesLoaded, 1);
    ASSERT_EQ(shader.stageCount, 2);
    EXPECT_EQ(shader.stages[0].frameTextures[0], -1); // "$lightmap" loads nothing
    EXPECT_STREQ(GetTextureName(shader.stages[1].frameTextures[0]), "textures/test/blue.tga");
    // A name nothing holds: no texture.
    EXPECT_EQ(level.faces[2].texture, -1);
    EXPECT_EQ(level.faces[2].shader, -1);
    // Lightmaps 0 and 1 exist; index -1 and index 2 (the count) give none.
    ASSERT_EQ(level.lightmapTextures.size(), std::size_t{kSyntheticLightmaps});
    EXPECT_GE(level.lightmapTextures[0], 0);
    EXPECT_EQ(level.faces[0].lightmap, level.lightmapTextures[0]);
    EXPECT_EQ(level.faces[1].lightmap, level.lightmapTextures[1]);
    EXPECT_EQ(level.faces[2].lightmap, -1);
    EXPECT_EQ(level.faces[3].lightmap, -1);
}

TEST_F(WorldLevelTest, RecordsVerticesAndPatchesAreConverted) {
    LoadSynthetic();
    const WorldLevel& level = WorldLevelData();
    ASSERT_EQ(level.vertices.size(), std::size_t{kSyntheticVertices});
    // Colour bytes (10, 20, 30, 40): alpha 40, red 10, green 20, blue 30.
    EXPECT_EQ(level.vertices[0].colour, 0x280A141Eu);
    // Level (64, 0, 0) and (0, 0, 100) in engine units, y and z swapped.
    EXPECT_FLOAT_EQ(level.vertices[1].position.x, 64 * 0.029f);
    EXPECT_FLOAT_EQ(level.vertices[4].position.y, 100 * 0.029f);
    EXPECT_FLOAT_EQ(level.vertices[4].position.z, 0.0f);
    EXPECT_FLOAT_EQ(level.vertices[0].normal.y, 1.0f); // level normal z
    EXPECT_FLOAT_EQ(level.vertices[2].u, 1.0f);
    EXPECT_FLOAT_EQ(level.vertices[2].lightmapV, 0.5f);
    ASSERT_EQ(level.indices.size(), 42u);
    EXPECT_EQ(level.indices[2], 2);

    const WorldFaceRecord& polygon = level.faces[1];
    EXPECT_EQ(polygon.type, kFacePolygon);
    EXPECT_EQ(polygon.firstVertex, 4);
    EXPECT_EQ(polygon.vertexCount, 4);
    EXPECT_EQ(polygon.meshIndexCount, 0); // polygons are fans of their vertices
    EXPECT_FLOAT_EQ(polygon.distance, 100.0f);
    EXPECT_FLOAT_EQ(polygon.origin[2], 100.0f);
    const WorldFaceRecord& mesh = level.faces[kSyntheticMeshFace];
    EXPECT_EQ(mesh.firstVertex, 33);
    EXPECT_EQ(mesh.firstMeshIndex, 36);
    EXPECT_EQ(mesh.meshIndexCount, 6);
    EXPECT_FLOAT_EQ(mesh.distance, -50.0f);
    const WorldFaceRecord& patch = level.faces[kSyntheticPatchFace];
    EXPECT_EQ(patch.vertexCount, 0);
    ASSERT_EQ(patch.patch, 0);
    ASSERT_EQ(level.patches.size(), 1u);
    EXPECT_EQ(level.patches[0].vertexCount, 9);
    EXPECT_EQ(level.patches[0].indexCount, 24);
    EXPECT_EQ(level.faceVisible.size(), std::size_t{kSyntheticFaces});
}

TEST_F(WorldLevelTest, FacesAreGroupedByAscendingTextureHandle) {
    LoadSynthetic();
    const WorldLevel& level = WorldLevelData();
    std::vector<std::int32_t> seen;
    for (std::size_t g = 0; g < level.groups.size(); ++g) {
        const WorldFaceGroup& group = level.groups[g];
        if (g > 0) {
            EXPECT_LT(level.groups[g - 1].texture, group.texture);
        }
        EXPECT_TRUE(std::is_sorted(group.faces.begin(), group.faces.end()));
        for (std::int32_t face : group.faces) {
            EXPECT_EQ(level.faces[static_cast<std::size_t>(face)].texture, group.texture);
            seen.push_back(face);
        }
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6, 7}));
    // Shader faces first (most negative), then no texture, then textures.
    ASSERT_EQ(level.groups.size(), 3u);
    EXPECT_EQ(level.groups[0].faces, (std::vector<std::int32_t>{1, 4, 7}));
    EXPECT_EQ(level.groups[1].faces, (std::vector<std::int32_t>{2}));
    EXPECT_EQ(level.groups[2].faces, (std::vector<std::int32_t>{0, 3, 5, 6}));
}

TEST_F(WorldLevelTest, LevelFilesNameTheLevelAndItsScripts) {
    LoadSynthetic();
    const ArchiveFileList& files = g_World.levelFiles;
    ASSERT_EQ(files.count, 2);
    EXPECT_EQ(files.entries[0].name, "maps/synthetic.bsp");
    EXPECT_EQ(files.entries[0].folder, SyntheticArchive());
    EXPECT_EQ(files.entries[1].name, "scripts/test.shader");
}

TEST_F(WorldLevelTest, LightmapsAreBrightenedOnceAndSurviveAModeChange) {
    LoadSynthetic();
    const WorldLevel& level = WorldLevelData();
    const std::uint8_t* kept = level.file.lightmaps.data();
    EXPECT_GE(kept[0], 254);
    EXPECT_EQ(kept[1], 127);
    EXPECT_EQ(kept[2], 63);
    EXPECT_EQ(kept[3], 160); // 64 x 2.5
    const std::int32_t handle = level.lightmapTextures[0];
    const std::uint32_t before = FirstTexel(Lightmap(handle));
    EXPECT_EQ(before & 0x00FFFFFFu, 0x007F3Fu | (std::uint32_t{kept[0]} << 16));

    const WorldTextureTable& t = WorldTextures();
    const std::int32_t textures = t.textures.count, lightmaps = t.lightmaps.count;
    SetDisplayMode(800, 600, 32);
    ASSERT_EQ(cell.number, 0);
    // A new device, which may take the old one's address: nothing made on the old one is left.
    IDirect3DDevice9* device = GetDirect3DDevice();
    // The same entries in the same places, each made again on the new device.
    ASSERT_EQ(t.textures.count, textures);
    ASSERT_EQ(t.lightmaps.count, lightmaps);
    for (std::int32_t i = 0; i < textures; ++i)
        EXPECT_TRUE(OnDevice(t.textures.entries[static_cast<std::size_t>(i)].texture, device))
            << GetTextureName(i);
    for (std::int32_t i = 0; i < lightmaps; ++i)
        EXPECT_TRUE(OnDevice(t.lightmaps.entries[static_cast<std::size_t>(i)].texture, device));
    EXPECT_STREQ(GetTextureName(level.faces[0].texture), "textures/test/red.tga");
    // Remade from the kept lump, not brightened a second time.
    EXPECT_EQ(FirstTexel(Lightmap(handle)), before);
    EXPECT_EQ(kept[3], 160);
}

TEST_F(WorldLevelTest, ABadLevelLeavesNoWorldAndNothingOfThePreviousOne) {
    LoadSynthetic();
    std::string level = SyntheticLevel();
    PutInt(level, 4, 45);
    const std::string archive =
        folder.Write("old.pk3", ZipOf({StoredMember("maps/old.bsp", level)}));
    LoadWorld(archive.c_str(), "maps/old.bsp");
    EXPECT_EQ(cell.number, kWorldLoadFailed);
    EXPECT_EQ(GetWorldKind(), kWorldNone);
    EXPECT_FALSE(WorldLevelLoaded());
    EXPECT_TRUE(WorldLevelData().faces.empty());
    EXPECT_EQ(WorldTextures().textures.count, 0);
    EXPECT_EQ(WorldShaderTable().count, 0);
    EXPECT_EQ(g_World.levelFiles.count, 0);
    // The level loads again afterwards, as the first time.
    LoadSynthetic();
    EXPECT_EQ(WorldLevelData().faces.size(), std::size_t{kSyntheticFaces});
}

} // namespace
