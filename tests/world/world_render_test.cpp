// What the world's pass draws: faces picked by leaf, cluster, view plane and cull mode on the
// synthetic level, plain and shader groups through a recording device, animated frames and
// scrolled coordinates on a held clock, and the coordinates back after each stage.
#include "core/win32.h"

#include "camera/camera.h"
#include "support/image_files.h"
#include "support/object_scene.h"
#include "world/crafted_levels.h"
#include "world/level_builder.h"
#include "world/level_fixtures.h"
#include "world/shader_table.h"
#include "world/world.h"
#include "world/world_clock.h"
#include "world/world_level.h"
#include "world/world_render.h"
#include "world/world_state.h"
#include "world/world_textures.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>

namespace {

void ParseShaders(const char* text) {
    ParseShaderHeader(reinterpret_cast<const std::uint8_t*>(text), std::strlen(text), "a.pk3",
                      "scripts/t.shader");
}

std::vector<int> VisibleFaces() {
    std::vector<int> faces;
    const WorldLevel& level = WorldLevelData();
    for (std::size_t f = 0; f < level.faceVisible.size(); ++f)
        if (level.faceVisible[f]) faces.push_back(static_cast<int>(f));
    return faces;
}

// The synthetic level with its shader "cull none", read without a device: polygons 0 to 5 at
// level heights 0 to 500 facing +z, a patch (6) and a mesh (7); faces 1, 4 and 7 are shaded,
// face 2's texture is missing. Leaves: x < 32 is cluster 2 (faces 6, 7), x >= 32 and y >= 32
// cluster 0 (faces 0-2), else cluster 1 (faces 3-5); cluster 2 sees 0 and 2.
class WorldVisibility : public ::testing::Test {
protected:
    void SetUp() override {
        ParseShaders("textures/test/shaded\n{\n cull none\n {\n map $lightmap\n }\n}\n");
        const std::string level = SyntheticLevel();
        ASSERT_EQ(LoadBuiltLevel(level), 1);
        WorldRenderData().viewPlane = D3DXPLANE(0, 0, 0, 1); // everything in front
    }
    void TearDown() override {
        FreeLevelData();
        FreeWorldTable();
        g_World.flags = 0;
    }
    std::vector<int> From(float x, float y, float z) {
        MarkVisibleFaces(WorldLevelData(), D3DXVECTOR3(x, y, z));
        return VisibleFaces();
    }
};

TEST_F(WorldVisibility, ClustersAndCullModesChooseTheFaces) {
    // Cluster 0 sees every leaf; above z = 50 only polygons below the eye face it, and the
    // shaded ones show from both sides.
    EXPECT_EQ(From(40, 40, 50), (std::vector<int>{0, 1, 4, 6, 7}));
    // Cluster 2 does not see cluster 1's leaf (faces 3 to 5).
    EXPECT_EQ(From(0, 0, 1000), (std::vector<int>{0, 1, 2, 6, 7}));
    // Without visibility rows every leaf counts.
    WorldLevelData().file.visibilityPresent = 0;
    EXPECT_EQ(From(0, 0, 1000), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    // A face without a shader shows only on the side its normal points to.
    EXPECT_EQ(From(0, 0, -1), (std::vector<int>{1, 4, 6, 7}));
}

TEST_F(WorldVisibility, SkyHidesInsideAndEverythingShowsFromOutside) {
    WorldShaderTable().records[0].sky = 1;
    EXPECT_EQ(From(40, 40, 1000), (std::vector<int>{0, 2, 3, 5, 6}));
    // The eye's leaf outside the level: every face, sky and back faces too.
    WorldLevelData().file.leaves[0].cluster = -1;
    EXPECT_EQ(From(40, 40, -1000), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    WorldRenderData().viewPlane = D3DXPLANE(0, 0, 0, -1);
    EXPECT_EQ(From(40, 40, -1000).size(), 8u);
}

TEST_F(WorldVisibility, LeavesWhollyBehindTheViewPlaneDropOut) {
    WorldLevelData().file.visibilityPresent = 0;
    WorldRenderData().viewPlane = D3DXPLANE(0, 0, 0, -1); // everything behind
    EXPECT_TRUE(From(0, 0, 1000).empty());
    // In front where engine x > 0 (level x > 0): a box across x = 0 stays, one below it goes.
    WorldRenderData().viewPlane = D3DXPLANE(1, 0, 0, 0);
    EXPECT_FALSE(BoxOutsideView({-10, 0, 0, 10, 5, 5}));
    EXPECT_TRUE(BoxOutsideView({-10, -50, -50, -1, 50, 50}));
    WorldLevelData().file.leaves[1].maxs[0] = -1; // cluster 1's leaf behind
    // The patch (6) keeps an empty box at x = 0, on the plane: behind it too.
    EXPECT_EQ(From(0, 0, 1000), (std::vector<int>{0, 1, 2, 7}));
}

TEST(WorldClockTest, AnimatedFramesFollowTheClock) {
    ShaderStage stage;
    stage.frameCount = 4;
    stage.animationFrequency = 10.0f;
    for (double t : {0.0, 0.2, 0.25, 0.6, 0.99, 1.0, 1.3, 1000000.8})
        EXPECT_EQ(ShaderStageFrame(stage, t), static_cast<int>(std::fmod(std::trunc(4 * t), 4)))
            << t;
    stage.animationFrequency = 0;
    EXPECT_EQ(ShaderStageFrame(stage, 3.7), 0);
    stage.animationFrequency = INFINITY;
    EXPECT_EQ(ShaderStageFrame(stage, 3.7), 0);
    // The clock's seconds never turn negative, and the wrapped clock restarts every 100 s.
    HoldWorldClock(0xFFFFFFF0u);
    EXPECT_GT(WorldSeconds(), 4.0e6);
    HoldWorldClock(100500);
    EXPECT_NEAR(WrappedWorldSeconds(), 0.5, 1e-9);
    ReleaseWorldClock();
}

// The pass on the real device, through a recording one.
class WorldDrawing : public ObjectScene {
protected:
    void SetUp() override {
        ObjectScene::SetUp();
        if (HasFatalFailure()) return;
        recorder = std::make_unique<RecordingDevice>(g_World.device);
        kept = g_World.device;
    }
    void TearDown() override {
        ReleaseWorldClock();
        g_World.device = kept;
        ObjectScene::TearDown();
    }
    // One pass drawn on the recorder, as UpdateWorld runs it.
    void DrawPass() {
        recorder->Clear();
        g_World.device = recorder.get();
        BeginWorldRenderStates();
        RenderWorld();
        EndWorldRenderStates();
        g_World.device = kept;
    }
    // A texture of one colour in the world's texture list.
    std::int32_t ColourTexture(std::uint32_t colour, const char* name) {
        const std::string tga = TgaBytes(4, 4, [colour](int, int) { return colour; });
        return AddTextureFromMemory(0, reinterpret_cast<const std::uint8_t*>(tga.data()),
                                    tga.size(), name, 0);
    }
    float FirstU(const RecordedUserDraw& draw) {
        float u = 0;
        std::memcpy(&u, draw.firstVertex.data() + offsetof(WorldVertex, u), 4);
        return u;
    }
    std::unique_ptr<RecordingDevice> recorder;
    IDirect3DDevice9* kept = nullptr;
};

TEST_F(WorldDrawing, EveryGroupDrawsItsVisibleFacesAndCountsThem) {
    LoadWorld(SyntheticArchive().c_str(), "maps/synthetic.bsp");
    ASSERT_EQ(cell.number, 0);
    ASSERT_TRUE(WorldLevelLoaded());
    WorldLevel& level = WorldLevelData();
    for (BspLeaf& leaf : level.file.leaves)
        leaf.cluster = -1; // the eye outside: every face
    g_CoreData->drawnPolygons = 0;
    DrawPass();
    // Red: polygons 0, 3, 5 and the patch; the shader's two stages over faces 1, 4 and 7; face
    // 2 has no texture.
    EXPECT_EQ(recorder->userDraws.size(), 4u + 2 * 3u);
    std::int32_t primitives = 0;
    for (const RecordedUserDraw& draw : recorder->userDraws) {
        EXPECT_NE(draw.vertices, &level.vertices[8]);
        primitives += static_cast<std::int32_t>(draw.primitives);
    }
    EXPECT_EQ(g_CoreData->drawnPolygons, primitives);
    EXPECT_GT(primitives, 0);
    // Drawn in the level's vertex format with no vertex shader; stages 1 and 2 end disabled.
    EXPECT_GE(recorder->formats, 1);
    EXPECT_EQ(recorder->LastRenderState(D3DRS_FOGENABLE, 1), 0u);
    // Before any level the pass sets its states and draws nothing.
    FreeWorld();
    DrawPass();
    EXPECT_TRUE(recorder->userDraws.empty());
    EXPECT_GT(recorder->RenderStateCount(D3DRS_LIGHTING), 0);
}

TEST_F(WorldDrawing, StagesAnimateAndScrollOnTheClockAndPutCoordinatesBack) {
    ParseShaders("textures/test/anim\n{\n {\n animmap 10 f0 f1 f2 f3\n tcmod scroll 0.5 0\n }\n}\n"
                 "textures/test/env\n{\n {\n map f0\n tcgen environment\n tcmod rotate 30\n"
                 " tcmod scale 2 3\n }\n}\n");
    LevelBuilder builder;
    builder.Wall(D3DXVECTOR3(0, 0, 5), D3DXVECTOR3(0, 0, -1), 1, "textures/test/anim");
    builder.Wall(D3DXVECTOR3(3, 0, 5), D3DXVECTOR3(0, 0, -1), 1, "textures/test/env");
    ASSERT_EQ(LoadBuiltLevel(builder.Bytes()), 1);
    ShaderStage& anim = WorldShaderTable().records[0].stages[0];
    for (int k = 0; k < 4; ++k)
        anim.frameTextures[static_cast<std::size_t>(k)] =
            ColourTexture(0xFF000000u | (0x40u << (8 * (k % 3))),
                          ("memory/frame" + std::to_string(k) + ".tga").c_str());
    for (int k = 0; k < 4; ++k)
        ASSERT_GE(anim.frameTextures[static_cast<std::size_t>(k)], 0);
    WorldShaderTable().records[1].stages[0].frameTextures[0] = anim.frameTextures[0];
    const std::vector<WorldVertex> before = WorldLevelData().vertices;
    for (std::uint32_t ms : {0u, 1000u, 1300u, 3000u, 100500u}) {
        HoldWorldClock(ms);
        DrawPass();
        ASSERT_EQ(recorder->userDraws.size(), 2u) << ms;
        const RecordedUserDraw& draw = recorder->userDraws[0]; // the groups run backwards
        const double t = ms * 0.001, wrapped = (ms % 100000) * 0.001;
        const std::int32_t frame = static_cast<std::int32_t>(std::trunc(4 * t)) % 4;
        const std::int32_t handle = anim.frameTextures[static_cast<std::size_t>(frame)];
        EXPECT_EQ(draw.stageZero, WorldTextures().textures.entries[handle].texture.Get()) << ms;
        double scroll = 0.5 * wrapped;
        while (scroll > 1)
            scroll -= 1;
        EXPECT_NEAR(FirstU(draw), scroll, 1e-5) << ms;
        // The environment stage changed its face's coordinates while it drew.
        EXPECT_NE(FirstU(recorder->userDraws[1]), 0.0f) << ms;
        const std::vector<WorldVertex>& after = WorldLevelData().vertices;
        for (std::size_t v = 0; v < before.size(); ++v) {
            EXPECT_EQ(after[v].u, before[v].u) << ms;
            EXPECT_EQ(after[v].v, before[v].v) << ms;
        }
    }
}

TEST_F(WorldDrawing, ALargePatchGetsItsCoordinatesBackWhole) {
    ParseShaders("textures/test/flow\n{\n {\n map f0\n tcmod scroll 0.5 0.25\n }\n}\n");
    LevelBuilder builder;
    builder.FlatPatch(D3DXVECTOR3(-2, -2, 5), D3DXVECTOR3(4, 0, 0), D3DXVECTOR3(0, 4, 0),
                      D3DXVECTOR3(0, 0, -1), "textures/test/flow", 200000.0f);
    ASSERT_EQ(LoadBuiltLevel(builder.Bytes()), 1);
    ASSERT_EQ(WorldLevelData().patches.size(), 1u);
    const std::vector<WorldVertex> before = WorldLevelData().patches[0].vertices;
    ASSERT_GT(before.size(), 2048u);
    HoldWorldClock(1000);
    DrawPass();
    ASSERT_EQ(recorder->userDraws.size(), 1u);
    EXPECT_NEAR(FirstU(recorder->userDraws[0]), before[0].u + 0.5f, 1e-5);
    const std::vector<WorldVertex>& after = WorldLevelData().patches[0].vertices;
    for (std::size_t v = 0; v < before.size(); ++v) {
        ASSERT_EQ(after[v].u, before[v].u) << v;
        ASSERT_EQ(after[v].v, before[v].v) << v;
    }
}

TEST_F(WorldDrawing, AShaderWhoseFirstStageDrawsNothingDrawsNoOtherStage) {
    ParseShaders("textures/test/two\n{\n {\n map f0\n blendfunc add\n }\n"
                 " {\n map f0\n blendfunc filter\n }\n}\n");
    LevelBuilder builder;
    builder.Wall(D3DXVECTOR3(0, 0, 5), D3DXVECTOR3(0, 0, -1), 1, "textures/test/two");
    ASSERT_EQ(LoadBuiltLevel(builder.Bytes()), 1);
    DrawPass();
    EXPECT_EQ(recorder->userDraws.size(), 2u);
    EXPECT_EQ(recorder->LastRenderState(D3DRS_SRCBLEND, 0), D3DBLEND_ONE); // closing state
    bool filterSent = false;
    for (const RecordedState& s : recorder->renderStates)
        filterSent |= s.type == D3DRS_SRCBLEND && s.value == D3DBLEND_DESTCOLOR;
    EXPECT_TRUE(filterSent);
    // The eye behind the wall (its shader culls back faces): nothing of the second stage is set.
    PositionCamera(0, 0, 0, 10);
    DrawPass();
    EXPECT_TRUE(recorder->userDraws.empty());
    for (const RecordedState& s : recorder->renderStates)
        EXPECT_FALSE(s.type == D3DRS_SRCBLEND && s.value == D3DBLEND_DESTCOLOR);
}

// A value a coordinate may hold for the next modifier and the device: 0 or a normal float.
bool NormalNumber(float x) {
    return x == 0.0f || (std::isfinite(x) && std::fabs(x) >= FLT_MIN);
}

// Modifier chains that leave their coordinates no numbers when taken as written: 255 rotations
// square them (infinite after 9, not numbers after 10), two huge scales overflow, two tiny ones
// sink below the normal floats, a rotation rate past the float range turns the angle infinite;
// a patch is scaled the same. Such values become 0; the rest stay normal numbers.
class StageCoordinates : public ::testing::Test {
protected:
    void TearDown() override {
        ReleaseWorldClock();
        FreeLevelData();
        FreeWorldTable();
    }
};

TEST_F(StageCoordinates, ModifiersLeaveOnlyNormalNumbers) {
    const std::string huge = "1" + std::string(30, '0'), tiny = "0." + std::string(29, '0') + "1";
    const std::string stages[] = {
        Repeated(" tcmod rotate 45\n", kMostShaderTexMods),
        " tcmod scale " + huge + " 3\n tcmod scale " + huge + " " + huge + "\n tcmod scroll 1 0\n",
        " tcmod scale " + tiny + " " + tiny + "\n tcmod scale 0.00000000001 1\n",
        " tcmod rotate 100000000000000000000000000000000000000\n tcmod rotate 1\n",
    };
    std::string script = "textures/test/wall\n{\n";
    for (const std::string& stage : stages)
        script += " {\n  map f0\n" + stage + " }\n";
    ParseShaders((script + "}\n").c_str());
    LevelBuilder builder;
    builder.Wall(D3DXVECTOR3(0, 0, 5), D3DXVECTOR3(0, 0, -1), 1);
    builder.FlatPatch(D3DXVECTOR3(-2, -2, 5), D3DXVECTOR3(4, 0, 0), D3DXVECTOR3(0, 4, 0),
                      D3DXVECTOR3(0, 0, -1), "textures/test/wall");
    ASSERT_EQ(LoadBuiltLevel(builder.Bytes()), 1);
    HoldWorldClock(10000);
    const ShaderRecord& shader = WorldShaderTable().records[0];
    ASSERT_EQ(shader.stageCount, 4);
    WorldLevel& level = WorldLevelData();
    for (std::int32_t face : {0, 1})
        for (const ShaderStage& stage : shader.stages) {
            UpdateShaderStages(face, shader, stage);
            for (const std::vector<WorldVertex>* run :
                 {&level.vertices, &level.patches[0].vertices})
                for (const WorldVertex& v : *run)
                    ASSERT_TRUE(NormalNumber(v.u) && NormalNumber(v.v))
                        << "face " << face << " stage " << (&stage - shader.stages.data()) << ": "
                        << v.u << " " << v.v;
            RestoreFaceTexCoords(face);
        }
}

} // namespace
