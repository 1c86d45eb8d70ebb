#include "core/win32.h"

#include "object3d/lightmap_commands.h"
#include "object3d/lightmapper.h"
#include "support/object_scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

namespace {

constexpr std::uint32_t kBlack = 0xFF000000;

class Lightmapper : public ObjectTables {
protected:
    void SetUp() override {
        ObjectTables::SetUp();
        ModuleLightMapper().Reset();
    }
    void TearDown() override {
        ModuleLightMapper().Reset();
        ObjectTables::TearDown();
    }
};

// A triangle over three corners of its own.
struct Corners {
    LightmapVertex v[3] = {};
    LightmapTriangle t;
    Corners(D3DXVECTOR3 a, D3DXVECTOR3 b, D3DXVECTOR3 c) {
        v[0].position = a;
        v[1].position = b;
        v[2].position = c;
        SetupTriangle(t, &v[0], &v[1], &v[2]);
        NormalizeTriangleUV(t);
        SetupLumelPlane(t);
    }
};

// The triangle (0,0,0), (4,0,0), (0,4,0): its normal is +z, its rectangle 4 x 4.
Corners Floor() {
    return Corners(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(4, 0, 0), D3DXVECTOR3(0, 4, 0));
}

LightmapLight Light(D3DXVECTOR3 at, float range, float level, std::uint8_t shadows = 0) {
    LightmapLight l;
    l.position = at;
    l.range = range;
    l.colour = D3DXVECTOR3(level, level, level);
    l.castsShadows = shadows;
    return l;
}

// Lights the triangle at quality w with one light; the lumels and the shadow result.
// The light reaching the triangle through no portal, with nothing between.
LightmapMeshLight Reaching(const LightmapLight& light) {
    return LightmapMeshLight{&light, {}, {}};
}

std::vector<std::uint32_t> Lumels(const LightmapTriangle& t, const LightmapMeshLight& light,
                                  std::int32_t w, std::int32_t step = 0,
                                  std::uint8_t* shadow = nullptr) {
    std::vector<std::uint32_t> lumels(static_cast<std::size_t>(w) * w, 0x12345678);
    const std::uint8_t s = LightTriangle(t, {light}, w, w, step, lumels.data());
    if (shadow) *shadow = s;
    return lumels;
}

std::vector<std::uint32_t> Block(std::int32_t w, std::uint32_t colour) {
    return std::vector<std::uint32_t>(static_cast<std::size_t>(w) * w, colour);
}

} // namespace

TEST_F(Lightmapper, QualityAndColourStepAreHeldInTheirRanges) {
    LightMapper& mapper = ModuleLightMapper();
    mapper.Build(2, -5, nullptr);
    EXPECT_EQ(mapper.TileWidth(), 4);
    EXPECT_EQ(mapper.ColourStep(), 0);
    mapper.Build(200, 300, "");
    EXPECT_EQ(mapper.TileWidth(), 128);
    EXPECT_EQ(mapper.ColourStep(), 255);
    EXPECT_EQ(mapper.PageNumber(), 0); // no folder: no page is named
    EXPECT_EQ(g_CoreData->loadProgress, 19002);
}

TEST_F(Lightmapper, APageFillsColumnByColumnUpToItsBlockCount) {
    LightmapPage page;
    EXPECT_FALSE(page.Reset(2, 2));
    ASSERT_TRUE(page.Reset(4, 4));
    EXPECT_EQ(page.Capacity(), 16384);
    Corners c = Floor();
    for (std::uint32_t i = 0; i < 16384; ++i)
        ASSERT_EQ(page.PlaceBlock(Block(4, 0xFF000000 | i << 4).data(), c.t), 1) << i;
    EXPECT_EQ(page.slots[127].y, 508);
    EXPECT_EQ(page.slots[128].x, 4); // the next column
    EXPECT_EQ(page.slots[128].y, 0);
    EXPECT_EQ(page.slots.back().x, 508);
    EXPECT_EQ(page.PlaceBlock(Block(4, 0xFFFFFFFF).data(), c.t), 0);
    EXPECT_EQ(page.used, 16384);

    ASSERT_TRUE(page.Reset(128, 128));
    EXPECT_EQ(page.Capacity(), 16);
    for (std::uint32_t i = 0; i < 16; ++i)
        ASSERT_EQ(page.PlaceBlock(Block(128, 0xFF000000 | i).data(), c.t), 1);
    EXPECT_FALSE(page.PlaceTriangle(Block(128, 0xFFFFFFFF).data(), 0, c.t));
}

TEST_F(Lightmapper, EqualBlocksShareASlotAndCornersPointInsideTheirSlot) {
    LightmapPage page;
    ASSERT_TRUE(page.Reset(8, 8));
    Corners a = Floor(), b = Floor();
    for (std::uint32_t i = 0; i < 64; ++i) // a column of 64, each block placed twice
        ASSERT_TRUE(page.PlaceTriangle(Block(8, 0xFF808080 + i / 2).data(), 0, i % 2 ? a.t : b.t));
    EXPECT_EQ(page.used, 32);
    for (std::uint32_t i = 0; i < 32; ++i)
        ASSERT_EQ(page.PlaceBlock(Block(8, 0xFF606060 + i).data(), a.t), 1);
    Corners c(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(4, 0, 0), D3DXVECTOR3(2, 4, 0));
    const std::vector<std::uint32_t> lit = Block(8, 0xFFFFFFFF);
    ASSERT_TRUE(page.PlaceTriangle(lit.data(), 0, c.t));
    ASSERT_EQ(page.slots.back().x, 8); // the top of the second column
    const float u[3] = {0.0f, 1.0f, 0.5f};
    for (int k = 0; k < 3; ++k)
        EXPECT_FLOAT_EQ(c.v[k].lightU, (u[k] * 6 / 8 + 1.0f / 8) * 8 / 512 + 8.0f / 512) << k;
    EXPECT_FLOAT_EQ(c.v[2].lightV, (1.0f * 6 / 8 + 1.0f / 8) * 8 / 512);
    ASSERT_TRUE(page.PlaceTriangle(lit.data(), 0, a.t)); // equal and unshadowed: shared
    EXPECT_EQ(page.used, 65);
    EXPECT_FLOAT_EQ(a.v[1].lightU, c.v[1].lightU);
    ASSERT_TRUE(page.PlaceTriangle(lit.data(), 1, b.t)); // a shadowed block gets its own
    EXPECT_EQ(page.used, 66);
}

TEST_F(Lightmapper, DarkTexelsOfSmallBlocksTakeTheirNeighbourhoodsAverage) {
    std::vector<std::uint32_t> block = Block(4, 0xFF808080);
    block[0] = kBlack;
    SmoothDarkTexels(block.data(), 4, 4);
    EXPECT_EQ(block[0], 0xFF606060u);         // (0 + 3 x 128) / 4
    EXPECT_EQ(block[1 * 4 + 1], 0xFF717171u); // (8 x 128) / 9
    EXPECT_EQ(block[2 * 4 + 2], 0xFF808080u); // no dark texel near it

    LightmapPage page;
    Corners c = Floor();
    std::vector<std::uint32_t> large = Block(64, 0xFF808080);
    large[0] = kBlack;
    for (std::int32_t w : {64, 32}) {
        ASSERT_TRUE(page.Reset(w, w));
        ASSERT_EQ(page.PlaceBlock(large.data(), c.t), 1);
        EXPECT_EQ(page.blocks[0], w == 64 ? kBlack : 0xFF606060u) << w;
    }
}

TEST_F(Lightmapper, LumelsAreLitFromInFrontAndWithinRange) {
    Corners c = Floor();
    EXPECT_EQ(c.t.edgeU, D3DXVECTOR3(4, 0, 0));
    // Quality 6: lumel (i, j) lies at (i - 1, j - 1); lumel (1, 1) is the corner at the origin.
    const LightmapLight exact = Light(D3DXVECTOR3(0, 0, 5), 5.0f, 255);
    for (std::uint32_t lumel : Lumels(c.t, Reaching(exact), 6))
        EXPECT_EQ(lumel, kBlack);
    const LightmapLight reaching = Light(D3DXVECTOR3(0, 0, 5), 5.5f, 255);
    const std::vector<std::uint32_t> lit = Lumels(c.t, Reaching(reaching), 6);
    // a = 1 - 5 / 5.5 and the light straight above: 255 x 2a.
    EXPECT_EQ(lit[1 * 6 + 1], 0xFF000000u | 46u << 16 | 46u << 8 | 46u);
    EXPECT_EQ(lit[5 * 6 + 5], kBlack); // out of reach

    const LightmapLight behind = Light(D3DXVECTOR3(1, 1, -2), 50.0f, 255);
    for (std::uint32_t lumel : Lumels(c.t, Reaching(behind), 6))
        EXPECT_EQ(lumel, kBlack);
    const LightmapLight level = Light(D3DXVECTOR3(1, 1, 0.005f), 50.0f, 255); // within the slack
    for (std::uint32_t lumel : Lumels(c.t, Reaching(level), 6))
        EXPECT_EQ(lumel, kBlack);
}

TEST_F(Lightmapper, AColourStepLeavesMultiplesOfItself) {
    Corners c = Floor();
    const LightmapLight light = Light(D3DXVECTOR3(1, 1, 2), 12.0f, 100);
    std::set<std::uint32_t> levels;
    for (std::uint32_t lumel : Lumels(c.t, Reaching(light), 16, 64)) {
        EXPECT_EQ((lumel >> 16 & 0xFF) % 64, 0u);
        levels.insert(lumel);
    }
    EXPECT_GE(levels.size(), 2u);
}

TEST_F(Lightmapper, ADegenerateTriangleLightsNothing) {
    // Corners on one line: no plane and no rectangle to divide by.
    Corners line(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(2, 2, 0), D3DXVECTOR3(4, 4, 0));
    EXPECT_TRUE(line.t.degenerate);
    const LightmapLight light = Light(D3DXVECTOR3(1, 1, 1), 50.0f, 255);
    LightmapPage page;
    ASSERT_TRUE(page.Reset(8, 8));
    const std::vector<std::uint32_t> lumels = Lumels(line.t, Reaching(light), 8);
    EXPECT_EQ(lumels, Block(8, kBlack));
    ASSERT_TRUE(page.PlaceTriangle(lumels.data(), 0, line.t));
    for (const LightmapVertex& v : line.v)
        EXPECT_TRUE(std::isfinite(v.lightU) && std::isfinite(v.lightV));
}

TEST_F(Lightmapper, OccludersAndPortalsKeepTheLightOff) {
    Corners c = Floor();
    MeshRecord wall; // a box between the light and the corner at the origin
    ASSERT_TRUE(FillBoxMesh(&wall, D3DXVECTOR3(-1, -1, 2), D3DXVECTOR3(1, 1, 3)));
    const LightmapLight light = Light(D3DXVECTOR3(2, 2, 5), 20.0f, 200, 1);
    LightmapMeshLight blocked{&light, {}, {&wall}};
    std::uint8_t shadow = 0;
    const std::vector<std::uint32_t> lumels = Lumels(c.t, blocked, 6, 0, &shadow);
    EXPECT_EQ(shadow, 1);
    EXPECT_EQ(lumels[1 * 6 + 1], kBlack);
    EXPECT_NE(lumels[5 * 6 + 5], kBlack);
    // A light that casts no shadows ignores what stands between.
    const LightmapLight plain = Light(D3DXVECTOR3(2, 2, 5), 20.0f, 200, 0);
    EXPECT_NE(Lumels(c.t, {&plain, {}, {&wall}}, 6, 0, &shadow)[1 * 6 + 1], kBlack);
    EXPECT_EQ(shadow, 0);

    // A portal set that leaves the triangle out: the light does not reach it.
    UniversePlaneSet set = {};
    set.planes[2] = D3DXPLANE(-1, 0, 0, -10); // x < -10 only
    LightmapMeshLight outside{&plain, {set}, {}};
    for (std::uint32_t lumel : Lumels(c.t, outside, 6))
        EXPECT_EQ(lumel, kBlack);
}

TEST_F(Lightmapper, CommandsGatherEachMeshOnceAndIgnoreNumbersOutsideTheTable) {
    BuildBox(1, 1.0f);
    LightMapper& mapper = ModuleLightMapper();
    AddLightMapObject(99999999);
    AddLightMapObject(-5);
    AddLightMapLimb(99999999, 0);
    AddLightMapLimb(1, 1);
    AddLightMapLimb(1, -1);
    AddLightMapUniverse(); // no world
    EXPECT_TRUE(mapper.Meshes().empty());
    EXPECT_EQ(errors.Last(), 0);
    AddLightMapObject(1);
    AddLightMapLimb(1, 0);
    ASSERT_EQ(mapper.Meshes().size(), 1u);

    AddLightMapLight(1, 2, 3, 40, 200, 100, 50, 50, 2);
    AddLightMapLight(0, 0, 0, 10, 255, 255, 255, 100, 1);
    ASSERT_EQ(mapper.Lights().size(), 2u);
    EXPECT_EQ(mapper.Lights()[0].castsShadows, 0); // only 1 turns shadows on
    EXPECT_EQ(mapper.Lights()[1].castsShadows, 1);
    EXPECT_FLOAT_EQ(mapper.Lights()[0].colour.z, 25.0f);
    DeleteLightMapLights();
    EXPECT_TRUE(mapper.Lights().empty());
}
