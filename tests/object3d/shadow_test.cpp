#include "core/win32.h"

#include "core/frame_loop.h"
#include "display/display.h"
#include "draw2d/draw2d.h"
#include "object3d/positioning.h"
#include "support/object_scene.h"
#include "support/recording_device.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr std::uint32_t kClear = 0xFF204060;
constexpr int kLitFront = 132; // light 0 and the ambient light on a face towards the camera

class Shadows : public ObjectScene {
protected:
    void TearDown() override {
        g_CoreData->stencilMode = g_CoreData->shadowCount = g_CoreData->reflectionCount = 0;
        g_CoreData->renderPassCount = 1;
        ObjectScene::TearDown();
    }
    // Object n casts a shadow through a hand-made closed volume from low to high, built in
    // object space.
    static void GiveVolume(std::int32_t n, D3DXVECTOR3 low, D3DXVECTOR3 high) {
        ObjectRecord* object = g_Object3D.objects[n];
        auto* volume = new MeshRecord;
        ASSERT_TRUE(FillBoxMesh(volume, low, high));
        volume->shadowRange = -1.0f;
        object->rootFrame->shadowMesh = volume;
        object->castsShadow = 1;
        g_Object3D.manager.MarkObjectChanged(object);
    }
};

} // namespace

TEST_F(Shadows, ACasterDarkensThePlaneInsideItsShadowOnly) {
    BuildBox(2, 10.0f); // the plane: a face at z 20 across the view
    ASSERT_TRUE(PositionObject(2, 0, 0, 30));
    BuildBox(1, 0.5f); // the caster, around the camera, seen from inside: nothing of it shows
    GiveVolume(1, D3DXVECTOR3(-2, -2, 15), D3DXVECTOR3(2, 2, 25));
    g_CoreData->stencilMode = 1;
    g_CoreData->shadowCount = 1;
    const std::uint32_t shadowed = SyncAndReadCentre(kClear);
    EXPECT_NEAR(Red(shadowed), kLitFront * 0.75, 3); // alpha 64 of black
    EXPECT_NEAR(Blue(shadowed), kLitFront * 0.75, 3);
    EXPECT_NEAR(Red(GetPixelColour(320 + 60, 240)), kLitFront, 3); // beside the volume
    EXPECT_NEAR(Red(GetPixelColour(320, 240 + 60)), kLitFront, 3);
    EXPECT_EQ(GetPixelColour(10, 10), kClear); // off the plane: nothing to shade

    g_Object3D.manager.DisableStencilShadows();
    EXPECT_NEAR(Red(SyncAndReadCentre(kClear)), kLitFront, 3);
    g_Object3D.manager.EnableStencilShadows();
    EXPECT_NEAR(Red(SyncAndReadCentre(kClear)), kLitFront * 0.75, 3);
}

TEST_F(Shadows, ShadowLevelsShadeEachStencilValueInTurn) {
    g_CoreData->stencilMode = 1;
    Sync(); // the quad is made

    RecordingDevice recorder(g_Object3D.device);
    g_Object3D.device = &recorder;
    g_Object3D.manager.shadowLevels = 4;
    g_Object3D.manager.shadowAlpha = 64;
    g_Object3D.manager.DrawStencilShadowQuad();
    std::vector<DWORD> references;
    for (const RecordedState& r : recorder.renderStates)
        if (r.type == D3DRS_STENCILREF) references.push_back(r.value);
    std::vector<DWORD> alphas;
    for (D3DCOLOR c : recorder.stripColours)
        alphas.push_back(c >> 24);
    EXPECT_EQ(alphas, (std::vector<DWORD>{64, 48, 32, 16, 64}));
    EXPECT_EQ(references, (std::vector<DWORD>{252u | 0xFFFFFF00u, 253u | 0xFFFFFF00u,
                                              254u | 0xFFFFFF00u, 255u | 0xFFFFFF00u, 0}));
    EXPECT_EQ(recorder.vertexBuffersMade, 0); // the quad is made once, then only recoloured

    // A level count below 1 counts as one level.
    recorder.Clear();
    g_Object3D.manager.shadowLevels = 0;
    g_Object3D.manager.DrawStencilShadowQuad();
    ASSERT_EQ(recorder.stripColours.size(), 1u);
    EXPECT_EQ(recorder.stripColours[0] >> 24, 64u);
    g_Object3D.manager.shadowLevels = 1;
    g_Object3D.device = GetDirect3DDevice();
}

TEST_F(Shadows, AMirrorShowsTheSceneReflectedAndTinted) {
    BuildBox(3, 10.0f); // the mirror: its face at z 41; its plane through its centre, z 51
    ASSERT_TRUE(PositionObject(3, 0, 0, 51));
    g_Object3D.objects[3]->reflective = 1;
    BuildBox(1, 1.0f); // to the right, in front of it
    ASSERT_TRUE(PositionObject(1, 3, 0, 10));
    g_CoreData->stencilMode = 2;
    g_CoreData->renderPassCount = 2;
    g_CoreData->reflectionCount = 1;
    SyncAndReadCentre(kClear);
    // The box's reflection lies 92 deep, near the middle; only its unlit back shows, tinted.
    const std::uint32_t reflected = GetPixelColour(333, 240);
    EXPECT_NEAR(Red(reflected), 63 * 0.75, 4);
    EXPECT_NEAR(Blue(reflected), 63 * 0.75, 4);
    const std::uint32_t glass = GetPixelColour(260, 200); // the mirror's fill, tinted
    EXPECT_NEAR(Blue(glass), 0x88 * 0.75, 3);
    EXPECT_EQ(Red(glass), 0);
    EXPECT_NEAR(Red(GetPixelColour(450, 240)), kLitFront, 3); // the box itself
    EXPECT_EQ(GetPixelColour(600, 50), kClear);               // beside the mirror
    EXPECT_EQ(g_CoreData->reflectionEye[2], 51.0f);
}

TEST_F(Shadows, DeletingCastersAndMirrorsSettlesTheStencilMode) {
    BuildBox(1, 1.0f);
    BuildBox(2, 1.0f);
    GiveVolume(1, D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1));
    g_Object3D.objects[2]->reflective = 1;
    g_CoreData->shadowCount = 1;
    g_CoreData->reflectionCount = 1;
    g_CoreData->stencilMode = 2;
    g_CoreData->renderPassCount = 2;
    Sync();
    ASSERT_TRUE(DeleteObject(1)); // the last caster, with a mirror left
    EXPECT_EQ(g_CoreData->stencilMode, 2);
    EXPECT_EQ(g_CoreData->renderPassCount, 2);
    EXPECT_EQ(g_CoreData->shadowCount, 0);
    ASSERT_TRUE(DeleteObject(2)); // the last mirror, with nothing left
    EXPECT_EQ(g_CoreData->stencilMode, 0);
    EXPECT_EQ(g_CoreData->renderPassCount, 1); // one pass: a second would draw everything twice

    BuildBox(1, 1.0f);
    BuildBox(2, 1.0f);
    GiveVolume(1, D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1));
    g_Object3D.objects[2]->reflective = 1;
    g_CoreData->shadowCount = 1;
    g_CoreData->reflectionCount = 1;
    g_CoreData->stencilMode = 2;
    g_CoreData->renderPassCount = 2;
    Sync();
    ASSERT_TRUE(DeleteObject(2)); // the last mirror, with a caster left
    EXPECT_EQ(g_CoreData->stencilMode, 1);
    EXPECT_EQ(g_CoreData->renderPassCount, 1);
    EXPECT_EQ(g_Object3D.objects[1]->rootFrame->shadowMesh->drawItem != nullptr, true);
    ASSERT_TRUE(DeleteObject(1));
    EXPECT_EQ(g_CoreData->stencilMode, 0);
}
