#include "core/win32.h"

#include "object3d/mesh_convert.h"
#include "object3d/query_commands.h"
#include "support/object_scene.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// The caps fields the flag queries read.
constexpr DWORD D3DCAPS9::*kFlagFields[] = {
    &D3DCAPS9::Caps2,      &D3DCAPS9::DevCaps,     &D3DCAPS9::PrimitiveMiscCaps,
    &D3DCAPS9::RasterCaps, &D3DCAPS9::TextureCaps, &D3DCAPS9::LineCaps,
};

constexpr auto kFlagCount = static_cast<int>(CapabilityFlag::Count);

} // namespace

TEST(CapabilityRule, EveryFlagAnswersToOneBitOfItsOwn) {
    // Each single bit of each field sets at most one flag, and every flag answers to one.
    std::map<int, int> answered;
    for (DWORD D3DCAPS9::*field : kFlagFields)
        for (int bit = 0; bit < 32; ++bit) {
            D3DCAPS9 caps{};
            caps.*field = 1u << bit;
            int set = 0;
            for (int f = 0; f < kFlagCount; ++f)
                if (CapabilityFlagOf(caps, static_cast<CapabilityFlag>(f)) == 1)
                    ++set, ++answered[f];
            EXPECT_LE(set, 1) << bit;
        }
    EXPECT_EQ(static_cast<int>(answered.size()), kFlagCount);
    for (const auto& [flag, count] : answered)
        EXPECT_EQ(count, 1) << flag;

    EXPECT_EQ(CapabilityFlagOf(D3DCAPS9{}, CapabilityFlag::Count), 0);
}

TEST(CapabilityRule, ShaderVersionsNeedStreams) {
    D3DCAPS9 caps{};
    EXPECT_EQ(ShaderVersionOf(caps, D3DVS_VERSION(3, 0)), 0.0f);
    caps.MaxStreams = 1;
    EXPECT_FLOAT_EQ(ShaderVersionOf(caps, D3DVS_VERSION(1, 1)), 1.1f);
    EXPECT_FLOAT_EQ(ShaderVersionOf(caps, D3DPS_VERSION(2, 0)), 2.0f);
}

TEST_F(ObjectTables, CapabilityEntriesReadTheModulesCaps) {
    D3DCAPS9& caps = g_Object3D.caps;
    caps = D3DCAPS9{};
    EXPECT_EQ(AlwaysTrueQuery(), 1);
    // Flags high in their word come back as 1 in a byte.
    caps.Caps2 = 1u << 20;
    caps.RasterCaps = 1u << 22;
    EXPECT_EQ(CanCalibrateGamma(), 1);
    EXPECT_EQ(CanColorPerspective(), 1);
    EXPECT_EQ(CanFullscreenGamma(), 0);
    caps.MaxTextureHeight = 2048;
    caps.MaxVertexShaderConst = 96;
    caps.VertexShaderVersion = D3DVS_VERSION(1, 1);
    EXPECT_EQ(GetMaxTextureHeight(), 2048);
    EXPECT_EQ(GetMaxVertexShaderConstants(), 96);
    EXPECT_EQ(GetVertexShaderVersion(), 0.0f); // no streams
    caps.MaxStreams = 16;
    EXPECT_FLOAT_EQ(GetVertexShaderVersion(), 1.1f);
}

TEST_F(ObjectScene, CapabilitiesOfTheDevice) {
    if (!RunningUnderWine()) GTEST_SKIP() << "the shader versions below are Wine's device's";
    EXPECT_EQ(GetVertexShaderVersion(), 3.0f);
    EXPECT_EQ(GetPixelShaderVersion(), 3.0f);
}
