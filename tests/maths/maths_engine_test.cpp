#include "core/win32.h"

#include "camera/camera.h"
#include "camera/camera_state.h"
#include "display/display.h"
#include "maths/maths.h"
#include "maths/maths_store.h"
#include "support/engine_fixture.h"

#include <cstring>

namespace {

// The engine as a program starts it: the maths module with its device and camera 0.
class MathsEngine : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
    }
};

bool SameBits(const D3DXMATRIX& a, const D3DXMATRIX& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

TEST_F(MathsEngine, ProjectionLandsOnTheDevicesViewport) {
    SetDisplayMode(1024, 768, 32);
    ASSERT_EQ(cell.number, 0);
    // The device is read again after a re-creation only.
    g_Maths.device = nullptr;
    MathsRefreshD3D(0);
    EXPECT_EQ(g_Maths.device, nullptr);
    MathsRefreshD3D(1);
    ASSERT_EQ(g_Maths.device, GetDirect3DDevice());
    D3DVIEWPORT9 viewport{};
    ASSERT_EQ(GetDirect3DDevice()->GetViewport(&viewport), D3D_OK);
    ASSERT_EQ(viewport.Width, 1024u);
    ASSERT_EQ(viewport.Height, 768u);

    MakeVector3(1);
    MakeVector3(2);
    SetVector3(2, 0, 0, 10);
    for (std::int32_t m : {3, 4, 5}) {
        MakeMatrix(m);
        SetIdentityMatrix(m);
    }
    BuildPerspectiveFovLHMatrix(3, D3DX_PI / 4, 1024.0f / 768.0f, 1.0f, 100.0f);
    ProjectVector3(1, 2, 3, 4, 5);
    EXPECT_FLOAT_EQ(GetXVector3(1), 512.0f);
    EXPECT_FLOAT_EQ(GetYVector3(1), 384.0f);
    const float z = GetZVector3(1);
    EXPECT_GT(z, 0.0f);
    EXPECT_LT(z, 1.0f);
    SetVector3(2, 1, 1, 10); // up and to the right
    ProjectVector3(1, 2, 3, 4, 5);
    EXPECT_GT(GetXVector3(1), 512.0f);
    EXPECT_LT(GetYVector3(1), 384.0f);
    EXPECT_EQ(cell.number, 0);
}

TEST_F(MathsEngine, CameraZeroMatricesAreCopied) {
    PositionCamera(0, 1, 2, 3);
    const CameraRecord* zero = GetCameraInternalData(0);
    ASSERT_NE(zero, nullptr);
    MakeMatrix(1);
    GetViewMatrix(1);
    const D3DXMATRIX view = GetMatrixExport(1);
    EXPECT_TRUE(SameBits(view, zero->view));
    EXPECT_EQ(view._41, -1.0f);
    EXPECT_EQ(view._42, -2.0f);
    EXPECT_EQ(view._43, -3.0f);
    GetProjectionMatrix(1);
    EXPECT_TRUE(SameBits(GetMatrixExport(1), zero->projection));
    EXPECT_NE(zero->projection._11, 0.0f);
    GetWorldMatrix(1);
    EXPECT_TRUE(IsIdentityMatrix(1));
    EXPECT_EQ(cell.number, 0);
}

TEST_F(MathsEngine, WithoutCameraZeroTheItemStays) {
    // Camera 0 taken out of the camera list for the case, then put back.
    CameraRecord* zero = static_cast<CameraRecord*>(g_Camera.cameras.Find(0));
    ASSERT_NE(zero, nullptr);
    g_Camera.cameras.Delete(0);
    MakeMatrix(1);
    TranslateMatrix(1, 4, 5, 6);
    GetViewMatrix(1);
    GetProjectionMatrix(1);
    g_Camera.cameras.Add(0, zero, 0, 0);
    D3DXMATRIX translation;
    D3DXMatrixTranslation(&translation, 4, 5, 6);
    EXPECT_TRUE(SameBits(GetMatrixExport(1), translation));
    EXPECT_EQ(cell.number, 0);
}
