#include "core/win32.h"

#include "camera/camera.h"
#include "camera/camera_state.h"
#include "core/frame_loop.h"
#include "display/display.h"
#include "draw2d/draw2d.h"
#include "image/image.h"
#include "object3d/positioning.h"
#include "support/object_scene.h"
#include "support/recording_device.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

namespace {

constexpr std::uint32_t kClear = 0xFF204060;
constexpr int kLitFront = 132; // light 0 and the ambient light on a face towards the camera

// The engine as a program starts it: camera 0 as the camera module makes it.
class Cameras : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        AutoCamOn();
        SyncOn();
        SetSyncRate(0);
    }
    void TearDown() override {
        // Camera records outlive a shut-down engine; the next case starts without them.
        for (std::int32_t n : {1, 3, 4, 7})
            DeleteCamera(n);
        cell.number = 0;
        EngineFixture::TearDown();
    }
};

// Cameras drawing a scene: camera 0 at the origin clearing depth only.
class CameraScene : public ObjectScene {
protected:
    void TearDown() override {
        for (std::int32_t n : {1, 3, 4, 7})
            DeleteCamera(n);
        ObjectScene::TearDown();
    }
};

// The pixel of a render-target image's texture.
std::uint32_t TargetTexel(std::int32_t image, int x, int y) {
    IDirect3DTexture9* texture = GetImagePointer(image);
    IDirect3DDevice9* device = GetDirect3DDevice();
    if (!texture || !device) return 0;
    ComPtr<IDirect3DSurface9> level, copy;
    D3DSURFACE_DESC desc{};
    texture->GetSurfaceLevel(0, level.PutAddress());
    level->GetDesc(&desc);
    device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                        copy.PutAddress(), nullptr);
    // A render target is read back; a texture of the image module's own is read in place.
    if (FAILED(device->GetRenderTargetData(level, copy)))
        D3DXLoadSurfaceFromSurface(copy, nullptr, nullptr, level, nullptr, nullptr,
                                   D3DX_FILTER_NONE, 0);
    D3DLOCKED_RECT locked{};
    if (FAILED(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY))) return 0;
    const auto* row = static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch;
    const std::uint32_t pixel = reinterpret_cast<const std::uint32_t*>(row)[x];
    copy->UnlockRect();
    return pixel;
}

} // namespace

TEST_F(Cameras, CameraZeroAtStartAndTheFirstFocus) {
    const CameraRecord* c = GetCameraInternalData(0);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->position, D3DXVECTOR3(0, 0, 0));
    EXPECT_NEAR(c->look.z, 1, 1e-6);
    EXPECT_EQ(c->fov, 61.962135f);
    EXPECT_EQ(c->nearRange, 1.0f);
    EXPECT_EQ(c->farRange, 3000.0f);
    EXPECT_NEAR(c->aspect, 4.0f / 3.0f, 1e-6);
    EXPECT_EQ(c->backdropOn, 0);
    EXPECT_EQ(c->backdropColour, 0xFF000080u);
    EXPECT_EQ(c->fullViewport.Width, 640u);  // the display's, not the larger back buffer's
    EXPECT_EQ(GetCurrentRenderCamera(), -1); // after the frames of start-up

    AutoCameraFocus(0, 0, 0, 10);
    EXPECT_EQ(c->backdropOn, 1);
    EXPECT_NEAR(c->position.y, 5, 1e-5);
    EXPECT_NEAR(c->position.z, -30, 1e-5);
    D3DXVECTOR3 toOrigin = -c->position;
    D3DXVec3Normalize(&toOrigin, &toOrigin);
    EXPECT_NEAR(D3DXVec3Dot(&toOrigin, &c->look), 1, 1e-5); // facing the origin
    AutoCameraFocus(0, 0, 0, 0.1f);
    EXPECT_EQ(c->position.z, -2.0f); // not -0.3
    AutoCamOff();
    AutoCameraFocus(5, 5, 5, 10);
    EXPECT_EQ(c->position.z, -2.0f);
}

TEST_F(CameraScene, CamerasAreDrawnInListOrderEachInItsView) {
    MakeCamera(3);
    MakeCamera(7);
    SetCameraView(3, 0, 0, 100, 100);
    SetCameraView(7, 200, 0, 300, 100);
    CameraRenderFirstPass(0);
    EXPECT_EQ(GetCurrentRenderCamera(), 0);
    EXPECT_EQ(NextCameraRenderPass(), 0);
    EXPECT_EQ(GetCurrentRenderCamera(), 3);
    EXPECT_EQ(NextCameraRenderPass(), 0);
    EXPECT_EQ(GetCurrentRenderCamera(), 7);
    EXPECT_EQ(NextCameraRenderPass(), 1);
    EXPECT_EQ(GetCurrentRenderCamera(), -1);
    D3DVIEWPORT9 viewport{};
    g_Object3D.device->GetViewport(&viewport);
    EXPECT_EQ(viewport.Width, 640u); // the full viewport back after the last

    SyncAndReadCentre(kClear);
    EXPECT_EQ(GetPixelColour(50, 50), 0xFF008000u); // cameras 3 and 7 clear to green
    EXPECT_EQ(GetPixelColour(250, 50), 0xFF008000u);
    EXPECT_EQ(GetPixelColour(150, 50), kClear);

    // A viewport larger than the surface is cut to it at each pass, and kept as it was set.
    SetCameraView(3, 0, 0, 5000, 5000);
    Sync();
    EXPECT_EQ(GetCameraInternalData(3)->viewport.Width, 5000u);

    // A new display mode keeps the cameras: they go on being drawn.
    SetDisplayMode(640, 480, 32);
    SetCameraView(3, 0, 0, 100, 100);
    SyncAndReadCentre(kClear);
    EXPECT_EQ(GetPixelColour(50, 50), 0xFF008000u);
    EXPECT_EQ(GetPixelColour(250, 50), 0xFF008000u);
    EXPECT_EQ(GetCameraInternalData(0)->backdropColour, 0xFF000080u);
}

TEST_F(CameraScene, AnimationsAdvanceOnceAFrameHoweverManyCamerasDrawIt) {
    MakeCamera(3);
    MakeCamera(7);
    BuildBox(1, 1.0f);
    ObjectRecord* box = g_Object3D.objects[1];
    box->animationPlaying = 1;
    box->endFrame = 100;
    Sync();
    const float before = box->currentFrame;
    Sync();
    EXPECT_EQ(box->currentFrame, before + 1);
}

TEST_F(CameraScene, ImageTargetsHoldTheCamerasView) {
    MakeCamera(3);
    SetCameraToImage(3, 5, 100, 64);
    EXPECT_EQ(cell.number, 504);
    SetCameraToImage(3, 0, 64, 64);
    EXPECT_EQ(cell.number, 501);
    cell.number = 0;
    BuildBox(1, 2.0f);
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));
    PointCamera(0, 0, 0, -10); // camera 0 looks away from the box
    SetCameraToImage(3, 5, 256, 256);
    EXPECT_EQ(GetCameraInternalData(3)->targetImage, 5);
    ClearScreen(kClear);
    Sync();
    EXPECT_EQ(GetPixelColour(320, 240), kClear); // camera 3 drew into the image only
    EXPECT_NEAR(Red(TargetTexel(5, 128, 128)), kLitFront, 3);
    EXPECT_EQ(TargetTexel(5, 2, 2) & 0xFFFFFF, 0x008000u); // its backdrop

    // Copy mode: the image shows what the camera drew the frame before.
    MakeCamera(4);
    SetCameraToImage(4, 6, 256, 256, 1);
    ASSERT_EQ(GetCameraInternalData(4)->targetImage, 6);
    Sync();
    EXPECT_NE(Red(TargetTexel(6, 128, 128)), kLitFront);
    Sync();
    EXPECT_NEAR(Red(TargetTexel(6, 128, 128)), kLitFront, 3);

    // A new display mode loses the images; the camera makes its target again.
    SetDisplayMode(640, 480, 32);
    AutoCamOff();
    BuildBox(1, 2.0f);
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));
    Sync();
    EXPECT_EQ(GetCameraInternalData(3)->targetImage, 5);
    EXPECT_NEAR(Red(TargetTexel(5, 128, 128)), kLitFront, 3);
}

TEST_F(CameraScene, ATargetThatCannotBeMadeLeavesTheBackBuffer) {
    MakeCamera(3);
    SetCameraView(3, 0, 0, 100, 100);
    RecordingDevice recorder(g_Camera.device);
    recorder.failSurfacesAbove = 4096;
    g_Camera.device = &recorder;
    cell.number = 0;
    SetCameraToImage(3, 5, 8192, 8192, 1);
    g_Camera.device = GetDirect3DDevice();
    const CameraRecord* c = GetCameraInternalData(3);
    EXPECT_EQ(c->targetImage, 0);
    EXPECT_EQ(c->targetSurface, nullptr);
    EXPECT_EQ(cell.number, 7204);
    EXPECT_FALSE(ImageExist(5)) << "no image claims the size nothing draws into";
    SyncAndReadCentre(kClear);
    EXPECT_EQ(GetPixelColour(50, 50), 0xFF008000u); // still drawn, into the back buffer
}

// Targets above the largest texture, each side sound alone: 7204, the camera stays on the back
// buffer and image 5 keeps its own size. The largest fits; a camera with a target keeps it.
TEST_F(Cameras, TargetsAboveTheLargestTextureRaiseAndKeepTheImage) {
    D3DCAPS9 caps{};
    GetDirect3DDevice()->GetDeviceCaps(&caps);
    const auto wide = static_cast<std::int32_t>(caps.MaxTextureWidth);
    const auto tall = static_cast<std::int32_t>(caps.MaxTextureHeight);
    const std::int32_t rows[][3] = {
        {46341, 46341, 0}, {65536, 65536, 1}, {40000, 1, 0}, {wide + 1, 1, 1}, {1, tall + 1, 0}};
    MakeCamera(3);
    for (const auto& [w, h, copy] : rows) {
        ASSERT_NE(CreateManagedImage(5, 8, 6), nullptr);
        IDirect3DTexture9* const old = GetImagePointer(5);
        cell.number = 0;
        SetCameraToImage(3, 5, w, h, copy);
        EXPECT_EQ(cell.number, 7204) << w << " x " << h;
        EXPECT_EQ(GetCameraInternalData(3)->targetSurface, nullptr) << w << " x " << h;
        EXPECT_EQ(GetImagePointer(5), old) << w << " x " << h;
        EXPECT_EQ(GetImageWidth(5), 8) << w << " x " << h;
        DeleteImage(5);
    }
    cell.number = 0;
    SetCameraToImage(3, 5, wide, 1);
    EXPECT_EQ(GetImageWidth(5), wide);
    SetCameraToImage(3, 6, 65536, 65536);
    EXPECT_EQ(cell.number, 0);
    EXPECT_EQ(GetCameraInternalData(3)->targetImage, 5);
    EXPECT_FALSE(ImageExist(6));
}

TEST_F(Cameras, PointingTurningAndFollowing) {
    MakeCamera(1);
    PointCamera(1, 0, 0, 10);
    EXPECT_EQ(CameraAngleX(1), 0);
    EXPECT_EQ(CameraAngleY(1), 0);
    PointCamera(1, 10, 0, 0);
    EXPECT_NEAR(CameraAngleY(1), 90, 1e-4);
    PointCamera(1, 0, 10, 10);
    EXPECT_NEAR(CameraAngleX(1), 315, 1e-4);

    RotateCamera(1, 0, 0, 0);
    YRotateCamera(1, 90);
    EXPECT_NEAR(CameraLookX(1), 1.0f, 1e-6);
    TurnCameraLeft(1, 90);
    EXPECT_EQ(GetCameraInternalData(1)->matrixMode, 1);
    EXPECT_NEAR(CameraLookZ(1), 1.0f, 1e-5); // turned back to +z about its own y axis
    EXPECT_NEAR(CameraAngleY(1), 0, 1e-3);   // the angles follow the matrix
    RotateCamera(1, 0, 45, 0);
    EXPECT_EQ(GetCameraInternalData(1)->matrixMode, 0);
    EXPECT_NEAR(CameraLookX(1), std::sqrt(0.5f), 1e-5);

    // Following: smoothing 1 reaches the point behind the target, 2 goes halfway, 0 is taken as 1.
    PositionCamera(1, 0, 0, 0);
    SetCameraToFollow(1, 0, 0, 100, 0, 10, 5, 1);
    EXPECT_NEAR(CameraPositionZ(1), 90, 1e-4);
    EXPECT_NEAR(CameraPositionY(1), 5, 1e-4);
    PositionCamera(1, 0, 0, 0);
    SetCameraToFollow(1, 0, 0, 100, 0, 10, 5, 2);
    EXPECT_NEAR(CameraPositionZ(1), 45, 1e-4);
    EXPECT_NEAR(CameraPositionY(1), 2.5f, 1e-4);
    SetCameraToFollow(1, 0, 0, 100, 0, 10, 5, 0);
    EXPECT_NEAR(CameraPositionZ(1), 90, 1e-4);
    EXPECT_EQ(cell.number, 0);
}

TEST_F(Cameras, RollsPitchesAndSidewaysMovesFollowTheCamerasOwnAxes) {
    const auto expectNear = [](const D3DXVECTOR3& v, float x, float y, float z) {
        EXPECT_NEAR(v.x, x, 1e-5);
        EXPECT_NEAR(v.y, y, 1e-5);
        EXPECT_NEAR(v.z, z, 1e-5);
    };
    MakeCamera(1);
    const CameraRecord* c = GetCameraInternalData(1);
    YRotateCamera(1, 90);  // looking along +x, right along -z
    RollCameraLeft(1, 90); // the top tips to the left: up is the old left, right the old up
    expectNear(c->look, 1, 0, 0);
    expectNear(c->up, 0, 0, 1);
    expectNear(c->right, 0, 1, 0);
    MoveCameraRight(1, 2);
    MoveCameraUp(1, 3);
    MoveCameraLeft(1, 5);
    MoveCameraDown(1, 7);
    expectNear(c->position, 0, 2 - 5, 3 - 7);
    RollCameraRight(1, 90);
    expectNear(c->up, 0, 1, 0);
    expectNear(c->right, 0, 0, -1);
    PitchCameraUp(1, 90); // the look rises to the old up
    expectNear(c->look, 0, 1, 0);
    expectNear(c->up, -1, 0, 0);
    PitchCameraDown(1, 45);
    expectNear(c->look, std::sqrt(0.5f), std::sqrt(0.5f), 0);
    expectNear(c->right, 0, 0, -1);
    EXPECT_EQ(cell.number, 0);
}

TEST_F(Cameras, ProjectionSettingsReachTheDeviceOnlyForTheCurrentCamera) {
    const auto deviceProjection = [] {
        D3DXMATRIX m;
        g_Camera.device->GetTransform(D3DTS_PROJECTION, &m);
        return m;
    };
    MakeCamera(3);
    const CameraRecord* c = GetCameraInternalData(3);
    const D3DXMATRIX before = deviceProjection();
    SetCameraRange(3, 2, 500);
    SetCameraFOV(3, 90);
    SetCameraAspect(3, 2);
    EXPECT_EQ(deviceProjection(), before);
    // Kept for the camera's own pass: cot(45) over the aspect, and depth from 2 to 500.
    EXPECT_NEAR(c->projection._11, 0.5f, 1e-5);
    EXPECT_NEAR(c->projection._22, 1.0f, 1e-5);
    EXPECT_NEAR(c->projection._33, 500.0f / 498, 1e-5);
    EXPECT_NEAR(c->projection._43, -1000.0f / 498, 1e-4);

    SetCurrentCamera(3);
    SetCameraRange(3, 4, 20);
    EXPECT_NEAR(deviceProjection()._33, 20.0f / 16, 1e-5);
    EXPECT_NEAR(deviceProjection()._43, -80.0f / 16, 1e-5);
    SetCameraFOV(3, 60);
    EXPECT_NEAR(deviceProjection()._22, std::sqrt(3.0f), 1e-5);
    SetCameraAspect(3, 4);
    EXPECT_NEAR(deviceProjection()._11, std::sqrt(3.0f) / 4, 1e-5);
    SetCurrentCamera(0);
    EXPECT_EQ(cell.number, 0);
}

TEST_F(Cameras, NumberChecks) {
    MakeCamera(1);
    MakeCamera(1);
    EXPECT_EQ(cell.number, 7202);
    MakeCamera(0);
    EXPECT_EQ(cell.number, 7205);
    DeleteCamera(0);
    EXPECT_EQ(cell.number, 7205);
    cell.number = 0;
    MakeCamera(-1);
    EXPECT_EQ(cell.number, 7201); // -1 is "no camera" to the frame loop
    EXPECT_EQ(GetCameraInternalData(-1), nullptr);
    PositionCamera(22000001, 0, 0, 0);
    EXPECT_EQ(cell.number, 7201);
    SetCurrentCamera(5);
    EXPECT_EQ(cell.number, 7203);
    EXPECT_EQ(g_Camera.currentNumber, 0);
    EXPECT_EQ(CameraPositionX(5), 0.0f);
    SetCurrentCamera(1);
    EXPECT_EQ(g_CoreData->currentCamera, 1);
    PositionCamera(2, 3, 4); // the current camera's form
    EXPECT_EQ(CameraPositionX(1), 2.0f);
    SetCurrentCamera(0);
    D3DXMATRIX view;
    EXPECT_EQ(*GetCameraViewMatrix(&view, 99), kIdentityMatrix); // no checks, no error
    cell.number = 0;
    PositionCameraToVector(1, 12345);
    EXPECT_EQ(cell.number, 7801);
}

// A viewport is unsigned to the device: a rectangle running backwards or starting before the
// surface is refused, and the camera keeps the view it had; an empty one is a view of nothing.
TEST_F(Cameras, ViewRectanglesThatRunBackwardsAreRefused) {
    MakeCamera(1);
    SetCameraView(1, 10, 20, 110, 70);
    const std::int32_t refused[][4] = {{100, 0, 50, 10},         {0, 100, 10, 50},
                                       {-1, 0, 10, 10},          {0, -1, 10, 10},
                                       {INT_MIN, 0, INT_MAX, 1}, {INT_MAX, 0, INT_MIN, 1}};
    for (const auto& r : refused) {
        cell.number = 0;
        SetCameraView(1, r[0], r[1], r[2], r[3]);
        EXPECT_EQ(cell.number, 7801) << r[0] << " " << r[1] << " " << r[2] << " " << r[3];
        const D3DVIEWPORT9& v = GetCameraInternalData(1)->viewport;
        EXPECT_EQ(v.X, 10u);
        EXPECT_EQ(v.Y, 20u);
        EXPECT_EQ(v.Width, 100u);
        EXPECT_EQ(v.Height, 50u);
    }
    cell.number = 0;
    SetCameraView(1, 0, 0, INT_MAX, 0);
    EXPECT_EQ(cell.number, 0);
    EXPECT_EQ(GetCameraInternalData(1)->viewport.Width, 2147483647u);
    SetCameraView(9, -1, 0, 0, 0); // the camera's check comes first
    EXPECT_EQ(cell.number, 7203);
    DeleteCamera(1);
}

namespace {
class CamerasSerial : public Cameras {};
} // namespace

TEST_F(CamerasSerial, AHeldUpArrowMovesAlongTheLook) {
    MakeCamera(1);
    YRotateCamera(1, 90); // looking along +x
    ASSERT_TRUE(RunXdotool("windowfocus " + std::to_string(XWindowOf(g_CoreData->window))));
    ASSERT_TRUE(PumpUntil([] { return GetFocus() == g_CoreData->window; }));
    ASSERT_TRUE(RunXdotool("keydown Up"));
    // A failed step must not leave the key held for the cases after this one.
    struct Release {
        ~Release() { RunXdotool("keyup Up"); }
    } release;
    ASSERT_TRUE(PumpUntil([] { return (GetAsyncKeyState(VK_UP) & 0x8000) != 0; }));
    ControlCameraUsingArrowKeys(1, 2.0f, 0.0f);
    ASSERT_TRUE(RunXdotool("keyup Up"));
    EXPECT_TRUE(PumpUntil([] { return GetAsyncKeyState(VK_UP) == 0; }));
    EXPECT_NEAR(CameraPositionX(1), 2.0f, 1e-5);
    EXPECT_NEAR(CameraPositionZ(1), 0.0f, 1e-5);
    ControlCameraUsingArrowKeys(1, 2.0f, 0.0f); // released: stays
    EXPECT_NEAR(CameraPositionX(1), 2.0f, 1e-5);
}
