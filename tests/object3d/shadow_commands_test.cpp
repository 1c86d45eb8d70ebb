#include "core/win32.h"

#include "core/frame_loop.h"
#include "draw2d/draw2d.h"
#include "object3d/positioning.h"
#include "object3d/shadow_commands.h"
#include "support/object_scene.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr std::uint32_t kClear = 0xFF204060;

ObjectRecord* Object(std::int32_t n) {
    return g_Object3D.objects[n];
}

MeshRecord* ShadowOf(std::int32_t n) {
    return Object(n)->rootFrame->shadowMesh;
}

class ShadowCommands : public ObjectScene {
protected:
    void TearDown() override {
        g_CoreData->stencilMode = g_CoreData->shadowCount = g_CoreData->reflectionCount = 0;
        g_CoreData->renderPassCount = 1;
        SetShadowPosition(-1, 0, 0, 0);
        ObjectScene::TearDown();
    }
};

} // namespace

TEST_F(ObjectTables, ShadowSettingsAreClampedPackedAndKept) {
    SetShadowShades(0);
    EXPECT_EQ(GetShadowColourSettings().shades, 1);
    SetShadowShades(100);
    EXPECT_EQ(GetShadowColourSettings().shades, 64);
    SetShadowColorARGB(0x12, 0x34, 0x56, 0x78);
    EXPECT_EQ(GetShadowColourSettings().argb, 0x78123456u);
    SetShadowPosition(2, 7, 8, 9); // a device light: the kept position stays
    EXPECT_EQ(g_Object3D.shadowLightIndex, 2);
    EXPECT_EQ(g_Object3D.shadowLightPosition, D3DXVECTOR3(0, 0, 0));
    SetShadowPosition(-1, 0, 0, 0);

    BuildBox(1, 1.0f);
    SetShadowShadingOn(1, 3, -1.0f, 0); // a mesh item that does not exist
    EXPECT_EQ(errors.Last(), 7003);
    SetShadowShadingOn(1); // no device, no stencil buffer: no shadow
    EXPECT_EQ(Object(1)->castsShadow, 0);
}

TEST_F(ShadowCommands, TheShortFormBuildsAVolumeRebuiltFromTheLight) {
    BuildBox(1, 1.0f);
    Object(1)->collision.cullingRadius = 2.0f;
    SetShadowShadingOn(1);
    ASSERT_NE(ShadowOf(1), nullptr);
    EXPECT_EQ(ShadowOf(1)->shadowRange, -1.0f);
    EXPECT_EQ(ShadowOf(1)->shadowLightRange, -1.0f);
    EXPECT_FLOAT_EQ(Object(1)->collision.cullingRadius, Object(1)->collision.poseRadius + 3000);
    SetShadowShadingOn(1); // again: rebuilt, counted once
    EXPECT_EQ(g_CoreData->shadowCount, 1);
    EXPECT_EQ(g_CoreData->stencilMode, 1);
    SetShadingOff(1);
    EXPECT_EQ(ShadowOf(1), nullptr);
    EXPECT_EQ(Object(1)->largeRadius, 0);
    EXPECT_EQ(g_CoreData->shadowCount, 0);
    EXPECT_EQ(g_CoreData->stencilMode, 0);
}

TEST_F(ShadowCommands, AShaderVolumeReachesItsRangeAndResumesWithANewOne) {
    BuildBox(1, 1.0f);
    SetShadowShadingOn(1, 0, -1.0f, 1);
    MeshRecord* volume = ShadowOf(1);
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(volume->shadowLightRange, 1000.0f);
    // Without an effect compiler the volume falls back to being moved on the processor.
    if (!volume->effect) {
        EXPECT_EQ(volume->shadowRange, -1.0f);
    }

    PauseObjectShadow(1);
    EXPECT_EQ(Object(1)->noShadowVolume, 1);
    SetShadowShadingOn(1, 0, 50.0f, 1);
    EXPECT_EQ(Object(1)->noShadowVolume, 0);
    EXPECT_EQ(ShadowOf(1), volume); // resumed, not rebuilt
    EXPECT_EQ(volume->shadowRange, 50.0f);
    EXPECT_EQ(volume->shadowLightRange, 50.0f);

    // A paused shadow that was ended is built anew rather than resumed.
    PauseObjectShadow(1);
    SetShadingOff(1);
    SetShadowShadingOn(1);
    EXPECT_NE(ShadowOf(1), nullptr);
}

TEST_F(ShadowCommands, ACasterDarkensThePlaneBelowItOnly) {
    BuildBox(1, 50.0f); // the plane: its top at y -6, from z 10 to 110
    ASSERT_TRUE(PositionObject(1, 0, -56, 60));
    BuildBox(2, 5.0f); // the caster, 3 above the plane
    ASSERT_TRUE(PositionObject(2, 0, 2, 60));
    SetShadowPosition(-1, 0, 100, 0);
    SyncAndReadCentre(kClear);
    const std::uint32_t lit = GetPixelColour(320, 281);
    SetShadowShadingOn(2);
    SyncAndReadCentre(kClear);
    const std::uint32_t shadowed = GetPixelColour(320, 281);
    EXPECT_NEAR(Red(shadowed), Red(lit) * 0.75, 3);
    EXPECT_NEAR(Green(shadowed), Green(lit) * 0.75, 3);
    EXPECT_EQ(GetPixelColour(320 + 80, 281), lit); // beside the shadow
    EXPECT_EQ(GetPixelColour(320, 300), lit);      // before it
}

TEST_F(ShadowCommands, AReflectivePlaneMirrorsABoxAndEndsWithItsShading) {
    BuildBox(3, 10.0f); // the mirror: its plane through its centre, z 51
    ASSERT_TRUE(PositionObject(3, 0, 0, 51));
    ASSERT_TRUE(RotateObject(3, 0, 180, 0)); // its look vector faces the camera: nothing clipped
    BuildBox(1, 1.0f);                       // to the right, in front of it
    ASSERT_TRUE(PositionObject(1, 3, 0, 10));
    SetShadowShadingOn(3); // a caster turned mirror loses its shadow
    SetReflectionShadingOn(3);
    SetReflectionShadingOn(3); // counted once
    EXPECT_EQ(g_CoreData->shadowCount, 0);
    EXPECT_EQ(g_CoreData->reflectionCount, 1);
    EXPECT_EQ(g_CoreData->renderPassCount, 2u);

    SyncAndReadCentre(kClear);
    EXPECT_NEAR(Red(GetPixelColour(333, 240)), 63 * 0.75, 4); // the box's back, tinted
    const std::uint32_t glass = GetPixelColour(260, 200);     // the mirror's fill, tinted
    EXPECT_NEAR(Blue(glass), 0x88 * 0.75, 3);
    EXPECT_EQ(Red(glass), 0);

    SetShadingOff(3);
    EXPECT_EQ(g_CoreData->stencilMode, 0);
    EXPECT_EQ(g_CoreData->renderPassCount, 1u);
}

TEST_F(ShadowCommands, BoundsAreWireBoxesAPercentLargerShownAndHidden) {
    BuildBox(1, 1.0f);
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));
    FirstMesh(1)->visible = 0; // only the bounds show
    ShowObjectBounds(1);
    FrameRecord* frame = Object(1)->rootFrame;
    ASSERT_NE(frame->boundSphereMesh, nullptr);
    ShowObjectBounds(1, 1); // boxes only: the sphere goes
    EXPECT_EQ(frame->boundSphereMesh, nullptr);
    MeshRecord* box = frame->boundBoxMesh;
    ASSERT_NE(box, nullptr);
    D3DXVECTOR3 high(-1e9f, -1e9f, -1e9f);
    for (std::int32_t v = 0; v < box->vertexCount; ++v) {
        D3DXVECTOR3 p;
        std::memcpy(&p, box->vertices + static_cast<std::size_t>(v) * box->vertexSize, sizeof p);
        D3DXVec3Maximize(&high, &high, &p);
    }
    EXPECT_FLOAT_EQ(high.y, FirstMesh(1)->bounds.maximum.y * 1.01f);
    // The box's top front edge lies 1.01 / 8.99 above the view's centre, near row 195.
    auto wireShown = [this] {
        SyncAndReadCentre(kClear);
        bool wire = false;
        for (int y = 185; y < 206; ++y)
            wire = wire || GetPixelColour(320, y) != kClear;
        return wire;
    };
    EXPECT_TRUE(wireShown());
    HideObjectBounds(1);
    EXPECT_FALSE(wireShown());
    ShowLimbBounds(1, -1); // no such limb: the object's boxes show, no limb's is touched
    EXPECT_TRUE(wireShown());
    HideObjectBounds(1);
    ShowLimbBounds(1, 0); // shown by the limb's own flag
    EXPECT_EQ(Object(1)->showBounds, 0);
    EXPECT_TRUE(wireShown());
}
