#include "core/win32.h"

#include "support/temp_folder.h"
#include "world/archive_fixtures.h"
#include "world/pk3_archive.h"
#include "world/shader_fixtures.h"
#include "world/shader_script.h"

#include <cfloat>
#include <vector>

namespace {

const char* const kWall = "textures/wall\n"
                          "{\n"
                          "\t{\n"
                          "\t\tmap $lightmap\n"
                          "\t}\n"
                          "\t{\n"
                          "\t\tmap textures/wall.tga\n"
                          "\t\tblendFunc GL_DST_COLOR GL_ZERO\n"
                          "\t}\n"
                          "}\n";

// A script of one shader with one stage holding the lines given.
std::string OneStage(const std::string& name, const std::string& lines) {
    return name + "\n{\n\t{\n" + lines + "\t}\n}\n";
}

} // namespace

TEST_F(Shaders, TheWallExampleGivesTwoStagesExactly) {
    Parse(kWall);
    ASSERT_EQ(WorldShaderTable().count, 1);
    const ShaderRecord& wall = Shader("textures/wall");
    EXPECT_EQ(wall.name, "textures/wall");
    EXPECT_EQ(wall.archive, "test.pk3");
    EXPECT_EQ(wall.script, "scripts/test.shader");
    EXPECT_EQ(wall.cullMode, 3);
    ASSERT_EQ(wall.stageCount, 2);
    ASSERT_EQ(wall.stages.size(), 2u);

    const ShaderStage& light = wall.stages[0];
    ASSERT_EQ(light.frameCount, 1);
    EXPECT_EQ(light.frameNames[0], "$lightmap");
    EXPECT_EQ(light.textureCoordinates, 1);
    EXPECT_EQ(light.sourceBlend, 2);
    EXPECT_EQ(light.destinationBlend, 1);
    EXPECT_EQ(light.depthWrite, 1);
    EXPECT_EQ(light.frameTextures[0], -1);

    const ShaderStage& base = wall.stages[1];
    ASSERT_EQ(base.frameCount, 1);
    EXPECT_EQ(base.frameNames[0], "textures/wall.tga");
    EXPECT_EQ(base.textureCoordinates, 0);
    EXPECT_EQ(base.sourceBlend, 9);
    EXPECT_EQ(base.destinationBlend, 1);
    EXPECT_EQ(base.depthWrite, 0);
    EXPECT_EQ(base.depthFunction, 4);
    EXPECT_EQ(base.alphaFunction, 8);
}

TEST_F(Shaders, ShaderLevelKeywords) {
    Parse("a\n{\ncull none\n}\n"
          "b\n{\ncull disable\n}\n"
          "c\n{\nsurfaceparm sky\nsurfaceparm NONSOLID\nsurfaceparm playerClip\n}\n"
          "d\n{\ncull front\nsurfaceparm trans\n}\n"
          "e\n{\ncull front\ncull back\n}\n"
          "f\n{\ncull sideways\n}\n");
    EXPECT_EQ(Shader("a").cullMode, 1);
    EXPECT_EQ(Shader("b").cullMode, 1);
    EXPECT_EQ(Shader("c").cullMode, 3);
    EXPECT_EQ(Shader("d").cullMode, 2);
    EXPECT_EQ(Shader("e").cullMode, 3);
    EXPECT_EQ(Shader("f").cullMode, 3);
    EXPECT_EQ(Shader("c").sky, 1);
    EXPECT_EQ(Shader("c").nonsolid, 1);
    EXPECT_EQ(Shader("c").playerclip, 1);
    EXPECT_EQ(Shader("d").sky + Shader("d").nonsolid + Shader("d").playerclip, 0);
    EXPECT_EQ(Shader("a").stageCount, 0);
}

TEST_F(Shaders, ScrollRatesWrapIntoPlusMinusOneHundred) {
    Parse(OneStage("s", "tcmod scroll 250 -130\n"
                        "tcMod scroll 100 -100\n"
                        "tcmod scroll 200 -200\n"
                        "tcmod scroll 10000000000 -10000000000\n"
                        "tcmod scroll 1" +
                            std::string(400, '0') + " 0.5\ntcmod rotate 30\ntcmod scale 2 -0.5\n"));
    const ShaderStage& stage = Stage("s", 0);
    ASSERT_EQ(stage.modifierCount, 7);
    ASSERT_EQ(stage.modifiers.size(), 7u);
    EXPECT_FLOAT_EQ(stage.modifiers[0].scrollS, 50.0f);
    EXPECT_FLOAT_EQ(stage.modifiers[0].scrollT, -30.0f);
    EXPECT_FLOAT_EQ(stage.modifiers[1].scrollS, 100.0f);
    EXPECT_FLOAT_EQ(stage.modifiers[1].scrollT, -100.0f);
    EXPECT_FLOAT_EQ(stage.modifiers[2].scrollS, 100.0f);
    EXPECT_FLOAT_EQ(stage.modifiers[2].scrollT, -100.0f);
    EXPECT_FLOAT_EQ(stage.modifiers[3].scrollS, 100.0f);
    EXPECT_FLOAT_EQ(stage.modifiers[3].scrollT, -100.0f);
    // Beyond the float range: the largest float, wrapped like any other.
    EXPECT_GT(stage.modifiers[4].scrollS, 0.0f);
    EXPECT_LE(stage.modifiers[4].scrollS, 100.0f);
    EXPECT_FLOAT_EQ(stage.modifiers[4].scrollT, 0.5f);
    EXPECT_FLOAT_EQ(stage.modifiers[0].rotation + stage.modifiers[0].scaleS, 0.0f);
    EXPECT_FLOAT_EQ(stage.modifiers[5].rotation, 30.0f);
    EXPECT_FLOAT_EQ(stage.modifiers[6].scaleT, -0.5f);
    EXPECT_FLOAT_EQ(stage.modifiers[6].rotation + stage.modifiers[5].scaleS, 0.0f);
}

TEST_F(Shaders, AnimMapKeepsAtMostThirtyTwoFrames) {
    std::string forty;
    for (int i = 0; i < 40; ++i)
        forty += " f" + std::to_string(i) + ".tga";
    Parse("three\n{\n{\nanimMap 2 a.tga b.tga\tc.tga\n}\n}\n"
          "forty\n{\n{\nanimmap 0.5" +
          forty +
          "\nblendfunc add\n}\n}\n"
          "commented\n{\n{\nanimmap 4 x.tga y.tga // z.tga\n}\n}\n");
    const ShaderStage& three = Stage("three", 0);
    EXPECT_FLOAT_EQ(three.animationFrequency, 2.0f);
    ASSERT_EQ(three.frameCount, 3);
    EXPECT_EQ(three.frameNames[2], "c.tga");
    const ShaderStage& many = Stage("forty", 0);
    EXPECT_FLOAT_EQ(many.animationFrequency, 0.5f);
    ASSERT_EQ(many.frameCount, 32);
    ASSERT_EQ(many.frameNames.size(), 32u);
    EXPECT_EQ(many.frameNames[31], "f31.tga");
    // The names past the 32nd are passed over, and the next line is read as a line.
    EXPECT_EQ(many.sourceBlend, 2);
    EXPECT_EQ(many.destinationBlend, 2);
    EXPECT_EQ(Stage("commented", 0).frameCount, 2);
}

TEST_F(Shaders, ARedefinedShaderIsSkippedToItsBrace) {
    Parse(kWall, "scripts/first.shader");
    Parse("TEXTURES/WALL\n{\ncull none\n{\nmap other.tga\n}\n{\n}\n{\n}\n}\n"
          "textures/after\n{\n{\nmap after.tga\n}\n}\n",
          "scripts/second.shader");
    ASSERT_EQ(WorldShaderTable().count, 2);
    const ShaderRecord& wall = Shader("textures/wall");
    EXPECT_EQ(wall.script, "scripts/first.shader");
    EXPECT_EQ(wall.stageCount, 2);
    EXPECT_EQ(wall.cullMode, 3);
    EXPECT_EQ(wall.stages[0].frameNames[0], "$lightmap");
    EXPECT_EQ(Shader("textures/after").script, "scripts/second.shader");
    EXPECT_EQ(Stage("textures/after", 0).frameNames[0], "after.tga");
    // A name repeated within one script keeps its first block too.
    Parse("twice\n{\n{\nmap a.tga\n}\n}\ntwice\n{\n{\nmap b.tga\n}\n{\nmap c.tga\n}\n}\n");
    EXPECT_EQ(Shader("twice").stageCount, 1);
}

TEST_F(Shaders, LinesAfterASkippedBlockNeverReachAnEarlierShader) {
    Parse("a\n{\n}\n", "scripts/first.shader");
    // The stray "}" leaves the depth below zero; two "{" then bring the next lines to depth 1.
    Parse("a\n}\nx\n{\n{\ncull none\n}\n}\n", "scripts/second.shader");
    EXPECT_EQ(Shader("a").cullMode, 3);
}

TEST_F(Shaders, CommentsAnywhereAndCapitals) {
    Parse("// leading comment\n"
          "textures/c // after the name\n"
          "{ // after a brace\n"
          "  // a line of its own\n"
          "  CULL NONE\n"
          "  {\n"
          "    // inside a stage\n"
          "    MAP Textures/C.TGA\n"
          "    BLENDFUNC ADD // after a value\n"
          "    DepthWrite\n"
          "    ALPHAFUNC ge128\n"
          "  }\n"
          "}\n"
          "// trailing comment without a line end");
    ASSERT_EQ(WorldShaderTable().count, 1);
    EXPECT_EQ(Shader("TEXTURES/C").cullMode, 1);
    const ShaderStage& stage = Stage("textures/c", 0);
    EXPECT_EQ(stage.frameNames[0], "Textures/C.TGA");
    EXPECT_EQ(stage.sourceBlend, 2);
    EXPECT_EQ(stage.destinationBlend, 2);
    EXPECT_EQ(stage.depthWrite, 1); // "depthwrite" after the blend
    EXPECT_EQ(stage.alphaTest, 1);
    EXPECT_EQ(stage.alphaReference, 128);
    EXPECT_EQ(stage.alphaFunction, 7);
}

TEST_F(Shaders, BlendFunctionsAndTheDepthWriteRule) {
    Parse("one\n{\n{\nblendfunc GL_ONE GL_ZERO\n}\n"
          "{\nblendfunc blend\n}\n"
          "{\nblendfunc filter\n}\n"
          "{\ndepthwrite\nblendfunc add\n}\n"
          "{\nblendfunc GL_SRC_COLOR GL_ONE\n}\n"
          "{\nblendfunc GL_SRC_ALPHA GL_DST_COLOR\n}\n"
          "{\nblendfunc gl_one_minus_dst_color gl_one_minus_src_color\n}\n"
          "{\nblendfunc\n}\n}\n");
    struct Expected {
        int source, destination, depthWrite;
    };
    const Expected expected[] = {{2, 1, 1}, {5, 6, 0}, {9, 1, 0},  {2, 2, 0},
                                 {2, 1, 1}, {5, 1, 0}, {10, 4, 0}, {2, 1, 1}};
    ASSERT_EQ(Shader("one").stageCount, 8);
    for (std::size_t i = 0; i < 8; ++i) {
        const ShaderStage& stage = Stage("one", i);
        EXPECT_EQ(stage.sourceBlend, expected[i].source) << i;
        EXPECT_EQ(stage.destinationBlend, expected[i].destination) << i;
        EXPECT_EQ(stage.depthWrite, expected[i].depthWrite) << i;
    }
}

TEST_F(Shaders, DepthTextureCoordinateAndAlphaKeywords) {
    Parse("k\n{\n{\ndepthfunc equal\ntcgen environment\nalphafunc LT128\n}\n"
          "{\ndepthfunc never\ntcgen vector\nalphafunc GE64\nclampmap $lightmap\n}\n}\n");
    const ShaderStage& known = Stage("k", 0);
    EXPECT_EQ(known.depthFunction * 100 + known.textureCoordinates * 10 + known.alphaTest, 321);
    EXPECT_EQ(known.alphaReference, 128);
    EXPECT_EQ(known.alphaFunction, 2);
    const ShaderStage& unknown = Stage("k", 1);
    EXPECT_EQ(unknown.depthFunction * 100 + unknown.textureCoordinates * 10 + unknown.alphaTest,
              400); // "clampmap" takes no lightmap coordinates
    EXPECT_EQ(unknown.frameNames[0], "$lightmap");
}

TEST_F(Shaders, AMissingValueEndsTheLineAndKeepsTheBrace) {
    Parse("a\n{\ncull\n}\nb\n{\n{\nmap\n}\n{\nblendfunc GL_SRC_ALPHA\n}\n}\nc\n{\n}\n");
    ASSERT_EQ(WorldShaderTable().count, 3);
    EXPECT_EQ(Shader("a").cullMode, 3);
    ASSERT_EQ(Shader("b").stageCount, 2);
    EXPECT_EQ(Stage("b", 0).frameCount, 0);
    EXPECT_EQ(Stage("b", 1).sourceBlend, 5);
    EXPECT_EQ(Stage("b", 1).destinationBlend, 1);
    EXPECT_EQ(Shader("c").stageCount, 0);
}

TEST_F(Shaders, LongTokensAreCutAndPassedOver) {
    const std::string longName(300, 'n');
    Parse(longName + "\n{\ncull none\n{\nmap " + std::string(1000, 'm') + "\n}\n}\nnext\n{\n}\n");
    ASSERT_EQ(WorldShaderTable().count, 2);
    const ShaderRecord& cut = WorldShaderTable().records[0];
    EXPECT_EQ(cut.name, longName.substr(0, kLongestShaderToken));
    EXPECT_EQ(cut.cullMode, 1);
    ASSERT_EQ(cut.stageCount, 1);
    EXPECT_EQ(cut.stages[0].frameNames[0], std::string(kLongestShaderToken, 'm'));
    EXPECT_EQ(WorldShaderTable().records[1].name, "next");
}

TEST_F(Shaders, StagesAndModifiersStopAtTheirLimits) {
    std::string blocks, mods;
    for (int i = 0; i < 20; ++i)
        blocks += "{\nmap s" + std::to_string(i) + ".tga\n}\n";
    for (int i = 0; i < 300; ++i)
        mods += "tcmod rotate " + std::to_string(i) + "\n";
    Parse("many\n{\n" + blocks + "}\nmods\n{\n{\n" + mods + "}\n}\nafter\n{\n}\n");
    EXPECT_EQ(Shader("many").stageCount, kMostShaderStages);
    EXPECT_EQ(Shader("many").stages.size(), static_cast<std::size_t>(kMostShaderStages));
    EXPECT_EQ(Stage("many", kMostShaderStages - 1).frameNames[0], "s15.tga");
    EXPECT_EQ(Stage("mods", 0).modifierCount, kMostShaderTexMods);
    EXPECT_EQ(Stage("mods", 0).modifiers.size(), static_cast<std::size_t>(kMostShaderTexMods));
    EXPECT_EQ(FindShader("after"), 2);
}

TEST_F(Shaders, TheTableGrowsByAHundredAndFreesWhole) {
    std::string names;
    for (int i = 0; i < 102; ++i)
        names += "n" + std::to_string(i) + "\n{\n{\nmap x.tga\n}\n}\n";
    Parse("n0\n{\n}\n");
    EXPECT_EQ(WorldShaderTable().capacity, 101);
    Parse(names); // n0 is there already: 101 more
    EXPECT_EQ(WorldShaderTable().count, 102);
    EXPECT_EQ(WorldShaderTable().capacity, 202);
    EXPECT_EQ(FindShader("N101"), 101);

    WorldShaderTable().records[101].stages[0].frameTextures[0] = 7;
    WorldShaderTable().records[101].texturesLoaded = 1;
    ResetShaderTextures();
    EXPECT_EQ(WorldShaderTable().records[101].stages[0].frameTextures[0], -1);
    EXPECT_EQ(WorldShaderTable().records[101].texturesLoaded, 0);

    FreeWorldTable();
    EXPECT_EQ(WorldShaderTable().count, 0);
    EXPECT_EQ(WorldShaderTable().capacity, 0);
    EXPECT_TRUE(WorldShaderTable().records.empty());
    EXPECT_EQ(FindShader("n1"), -1);
}

TEST_F(Shaders, ArchivesScriptsAreReadInListOrder) {
    TempFolder folder;
    const std::string first = folder.Write(
        "first.pk3", ZipOf({StoredMember("scripts/one.shader", "one\n{\n}\nshared\n{\n}\n"),
                            StoredMember("maps/x.bsp", "not a script"),
                            StoredMember("scripts/two.shader.bak", "two\n{\n}\n")}));
    const std::string second = folder.Write(
        "second.pk3", ZipOf({StoredMember("scripts/three.SHADER", "shared\n{\ncull none\n}\n")}));
    CloseZipArchives();
    FreeWorldFileTable();
    ASSERT_EQ(AddArchiveFile(first.c_str()), 1);
    ASSERT_EQ(AddArchiveFile(second.c_str()), 1);
    for (int reload = 0; reload < 2; ++reload) {
        EXPECT_EQ(ReloadAllShaders(), 1);
        ASSERT_EQ(WorldShaderTable().count, 3) << "reload " << reload;
        EXPECT_EQ(Shader("two").script, "scripts/two.shader.bak");
        EXPECT_EQ(Shader("shared").archive, first);
        EXPECT_EQ(Shader("shared").cullMode, 3);
    }
    EXPECT_EQ(LoadShaderFile(folder.File("absent.pk3").c_str()), 0);
    CloseZipArchives();
    FreeWorldFileTable();
}

// Every script of the real archive against a second reader: the same shaders in the same order,
// each from the script that defines it first, with the same stages and pictures.
TEST_F(Shaders, EveryScriptOfTheRealArchiveParses) {
    const std::vector<std::vector<std::string>> expected = ManifestRows("pak0-shaders.txt");
    if (expected.empty()) GTEST_SKIP() << "openarena-data's pak0.pk3 is not installed";
    const std::string pak0 = kPak0;
    CloseZipArchives();
    ArchiveFileList scripts;
    ASSERT_EQ(ListZipMembers(pak0.c_str(), ".shader", scripts), 1);
    EXPECT_EQ(scripts.count, 57);
    ASSERT_EQ(LoadShaderFile(pak0.c_str()), 1);

    const ShaderTable& table = WorldShaderTable();
    ASSERT_EQ(table.count, static_cast<std::int32_t>(expected.size()));
    int redefinitions = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::vector<std::string>& want = expected[i];
        const ShaderRecord& got = table.records[i];
        ASSERT_GE(want.size(), 3u);
        EXPECT_EQ(got.name, want[0]);
        EXPECT_EQ(got.archive, pak0);
        EXPECT_EQ(_stricmp(got.script.c_str(), want[1].c_str()), 0) << want[0]; // stored lowercased
        ASSERT_EQ(got.stageCount, std::stoi(want[2])) << want[0];
        for (std::int32_t s = 0; s < got.stageCount; ++s) {
            const ShaderStage& stage = got.stages[static_cast<std::size_t>(s)];
            EXPECT_EQ(stage.frameCount ? stage.frameNames[0] : "", want[3 + s]) << want[0];
        }
        redefinitions += FindShader(want[0].c_str()) == static_cast<std::int32_t>(i) ? 0 : 1;
    }
    EXPECT_EQ(redefinitions, 0);
    CloseZipArchives();
}
