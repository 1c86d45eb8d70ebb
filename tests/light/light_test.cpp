#include "core/win32.h"

#include "core/frame_loop.h"
#include "display/display.h"
#include "light/light.h"
#include "maths/maths.h"
#include "object3d/positioning.h"
#include "support/object_scene.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr std::uint32_t kClear = 0xFF204060;
constexpr int kLightZero = 69; // 0.272 x 255: light 0 on a face towards the camera
constexpr int kAmbient = 63;   // a quarter of white

class Lights : public ObjectScene {
protected:
    void TearDown() override {
        DeleteLight(5);
        ObjectScene::TearDown();
    }
    static D3DLIGHT9 DeviceLight(DWORD n) {
        D3DLIGHT9 light{};
        g_Object3D.device->GetLight(n, &light);
        return light;
    }
    static DWORD State(D3DRENDERSTATETYPE state) {
        DWORD value = 0;
        GetDirect3DDevice()->GetRenderState(state, &value);
        return value;
    }
    std::uint32_t BoxCentre() {
        BuildBox(1, 2.0f);
        PositionObject(1, 0, 0, 10);
        return SyncAndReadCentre(kClear);
    }
};

} // namespace

TEST_F(Lights, LightZeroIsAWhiteDirectionalLight) {
    const D3DLIGHT9 zero = DeviceLight(0);
    EXPECT_EQ(zero.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_FLOAT_EQ(zero.Direction.x, 0.1f);
    EXPECT_FLOAT_EQ(zero.Direction.y, -0.7f);
    EXPECT_FLOAT_EQ(zero.Direction.z, 0.2f);
    EXPECT_EQ(zero.Diffuse.r, 1.0f);
    EXPECT_EQ(zero.Diffuse.b, 1.0f);
    EXPECT_EQ(zero.Specular.r, 0.0f);
    EXPECT_EQ(zero.Range, 5000.0f);
    EXPECT_EQ(LightRange(0), 1000.0f); // the record's range, not the light's
    EXPECT_EQ(LightType(0), 1);
    EXPECT_EQ(LightVisible(0), 1);
    EXPECT_EQ(State(D3DRS_AMBIENT), 0xFF3F3F3Fu);

    const std::uint32_t lit = BoxCentre();
    EXPECT_NEAR(Red(lit), kLightZero + kAmbient, 3);
    EXPECT_NEAR(Blue(lit), kLightZero + kAmbient, 3);
    ColorLight(0, 255, 0, 0);
    const std::uint32_t red = SyncAndReadCentre(kClear);
    EXPECT_NEAR(Red(red), kLightZero + kAmbient, 3);
    EXPECT_NEAR(Green(red), kAmbient, 3);
    EXPECT_NEAR(Blue(red), kAmbient, 3);
    HideLight(0);
    EXPECT_NEAR(Red(SyncAndReadCentre(kClear)), kAmbient, 3);
    EXPECT_EQ(LightVisible(0), 0);
    ShowLight(0);
    SetDirectionalLight(0, 0.1f, -0.7f, 0.2f); // white again
    SetAmbientLight(50);
    EXPECT_NEAR(Green(SyncAndReadCentre(kClear)), kLightZero + 127, 3); // from the next frame on
}

TEST_F(Lights, MadeLightsAndTheirKinds) {
    MakeLight(5);
    const D3DLIGHT9 point = DeviceLight(5);
    EXPECT_EQ(point.Type, D3DLIGHT_POINT);
    EXPECT_FLOAT_EQ(point.Attenuation2, 1.0f / (333.33334f * 333.33334f));
    EXPECT_EQ(point.Range, 1000.0f);
    EXPECT_EQ(LightType(5), 2);
    BOOL enabled = FALSE;
    g_Object3D.device->GetLightEnable(5, &enabled);
    EXPECT_TRUE(enabled);

    SetLightRange(5, 600);
    SetSpotLight(5, 10, 30);
    const D3DLIGHT9 spot = DeviceLight(5);
    EXPECT_EQ(spot.Type, D3DLIGHT_SPOT);
    EXPECT_EQ(spot.Range, 600.0f);
    EXPECT_NEAR(spot.Theta, 10 * D3DX_PI / 180, 1e-6);
    EXPECT_NEAR(spot.Phi, 30 * D3DX_PI / 180, 1e-6);
    EXPECT_EQ(spot.Direction.y, -1.0f);
    EXPECT_EQ(LightType(5), 3);

    ColorLight(5, 255, 0, 0);
    SetPointLight(5, 1, 2, 3); // a new kind is white again
    EXPECT_EQ(DeviceLight(5).Diffuse.g, 1.0f);
    EXPECT_EQ(LightPositionZ(5), 3.0f);
    SetLightSpecular(5, 1, 0.5f, 0.5f, 0.5f); // the record only, until the light is sent again
    EXPECT_EQ(DeviceLight(5).Specular.r, 1.0f);
    ApplyLight(5);
    EXPECT_EQ(DeviceLight(5).Specular.r, 0.5f);

    SetLightRange(5, 0); // no division by zero: no fall-off
    EXPECT_EQ(DeviceLight(5).Attenuation2, 0.0f);
    PointLight(5, 1, 2, 13);
    EXPECT_FLOAT_EQ(LightDirectionZ(5), 1.0f);
    RotateLight(5, 0, 90, 0);
    EXPECT_NEAR(LightDirectionX(5), 1.0f, 1e-6);
    MakeVector3(77);
    SetVector3ToLightDirection(77, 5);
    float v[3];
    GetVector3(v, 77);
    EXPECT_NEAR(v[0], 1.0f, 1e-6);
    DeleteVector3(77);
    // Turned about x, then y, then z: x takes forward to -y, y leaves it, z swings it by 30.
    RotateLight(5, 90, 90, 30);
    EXPECT_NEAR(LightDirectionX(5), 0.5f, 1e-6);
    EXPECT_NEAR(LightDirectionY(5), -std::sqrt(0.75f), 1e-6);
    EXPECT_NEAR(LightDirectionZ(5), 0.0f, 1e-6);
    EXPECT_EQ(cell.number, 0);
}

TEST_F(Lights, NumberChecks) {
    MakeLight(0);
    EXPECT_EQ(cell.number, 7305);
    DeleteLight(0);
    EXPECT_EQ(cell.number, 7305);
    MakeLight(-1);
    EXPECT_EQ(cell.number, 7301);
    cell.number = 0;
    EXPECT_EQ(LightExist(7), 0);
    EXPECT_EQ(cell.number, 0); // a missing light is no error here
    EXPECT_EQ(LightExist(-1), 0);
    EXPECT_EQ(cell.number, 7301);
    EXPECT_EQ(LightType(7), -1);
    EXPECT_EQ(cell.number, 7303);
    MakeLight(5);
    cell.number = 0;
    PositionLight(5, 9, 9, 9);
    MakeLight(5);
    EXPECT_EQ(cell.number, 7302);
    EXPECT_EQ(LightPositionX(5), 9.0f); // left as it was
    PositionLightToVector(5, 404);
    EXPECT_EQ(cell.number, 7801);
    EXPECT_EQ(PowerInt(2, 10), 1024.0f);
    EXPECT_EQ(PowerInt(2, -2), 0.25f);
    EXPECT_EQ(PowerInt(7, 0), 1.0f);
}

TEST_F(Lights, FogAndAModeChange) {
    FogColor(255, 128, 0);
    FogOff();
    FogOn();
    EXPECT_EQ(State(D3DRS_FOGCOLOR), 0x00FF8000u);
    EXPECT_EQ(g_CoreData->fogEnabled, 1);
    FogColorPacked(0x00123456);
    EXPECT_EQ(State(D3DRS_FOGCOLOR), 0x00123456u);
    FogOn();
    EXPECT_EQ(State(D3DRS_FOGCOLOR), 0x00FF8000u); // the packed colour does not survive
    FogDistance(10, 500);
    FogDistance(700);
    EXPECT_EQ(State(D3DRS_FOGSTART), FloatBits(10.0f)); // the last start is kept
    EXPECT_EQ(State(D3DRS_FOGEND), FloatBits(700.0f));

    MakeLight(5);
    SetAmbientLight(80);
    SetDisplayMode(640, 480, 32);
    EXPECT_EQ(LightExist(5), 0);
    EXPECT_EQ(LightExist(0), 1);
    EXPECT_EQ(State(D3DRS_AMBIENT), 0xFF3F3F3Fu);
    EXPECT_EQ(State(D3DRS_FOGENABLE), 0u);
    EXPECT_EQ(g_CoreData->fogEnabled, 0);
}
