#include "core/win32.h"

#include "particles_fixture.h"
#include "camera/camera.h"
#include "core/frame_loop.h"
#include "display/display.h"
#include "draw2d/draw2d.h"
#include "image/image.h"

#include <gtest/gtest.h>

namespace {

// The last value stage 0 was sent for a state; fallback when none was.
DWORD LastStageState(const RecordingDevice& d, D3DTEXTURESTAGESTATETYPE type, DWORD fallback) {
    for (auto s = d.stageStates.rbegin(); s != d.stageStates.rend(); ++s)
        if (s->stage == 0 && s->type == static_cast<DWORD>(type)) return s->value;
    return fallback;
}

// A point emitter 6 units ahead of camera 0 whose particles stay at its origin: no time passes
// for them, so they neither move nor fade.
void StillEmitter(std::int32_t id, std::int32_t image) {
    MakePointParticles(id, image, 100, 20.0f);
    PositionParticles(id, 0.0f, 0.0f, 6.0f);
    SetParticleTimeStep(id, 0.0f);
    SetParticleVelocity(id, 0.0f);
    SetParticleGroundBurst(id, 0);
}

// Deletes a camera at the end of the scope, after a failed assertion too: cameras other than 0
// outlive the engine's restart and would draw over the next cases' frames.
class CameraGuard {
public:
    explicit CameraGuard(std::int32_t n) : n_(n) {}
    ~CameraGuard() {
        if (GetCameraInternalData(n_)) DeleteCamera(n_);
    }
    CameraGuard(const CameraGuard&) = delete;
    CameraGuard& operator=(const CameraGuard&) = delete;

private:
    std::int32_t n_;
};

int CountColour(const std::vector<std::uint32_t>& pixels, std::uint32_t colour) {
    int n = 0;
    for (std::uint32_t p : pixels)
        n += p == colour;
    return n;
}

} // namespace

TEST_F(ParticleScene, AnUntexturedEmitterDrawsInItsDiffuseColour) {
    StillEmitter(1, 0);
    GhostParticlesOff(1);
    SetParticleColour(1, 255, 0, 0);
    const std::uint32_t centre = SyncAndReadCentre(kClear);
    EXPECT_GE(Red(centre), 250);
    EXPECT_LE(Green(centre), 4);
    EXPECT_LE(Blue(centre), 4);
    EXPECT_EQ(GetPixelColour(40, 40) & 0xFFFFFF, kClear & 0xFFFFFF);
    EXPECT_EQ(GetPixelColour(600, 440) & 0xFFFFFF, kClear & 0xFFFFFF);
}

TEST_F(ParticleScene, ATexturedEmitterLightsThePixelsAroundIt) {
    LoadPlain(1, 0x00FF00);
    StillEmitter(1, 1);
    ClearScreen(kClear);
    Sync();
    // Blend mode -1 adds the green to what is behind it.
    for (auto [dx, dy] : {std::pair{0, 0}, {-6, -6}, {6, 6}, {6, -6}}) {
        const std::uint32_t lit = GetPixelColour(320 + dx, 240 + dy);
        EXPECT_GE(Green(lit), 250) << dx << " " << dy;
        EXPECT_NEAR(Red(lit), 0x20, 3);
        EXPECT_NEAR(Blue(lit), 0x60, 3);
    }
    EXPECT_EQ(GetPixelColour(40, 40) & 0xFFFFFF, kClear & 0xFFFFFF);

    // The emitter holds its texture: deleting the image leaves it drawing green.
    DeleteImage(1);
    GetDirect3DDevice()->SetTexture(0, nullptr);
    ClearScreen(kClear);
    Sync();
    EXPECT_GE(Green(GetPixelColour(320, 240)), 250);
}

TEST_F(ParticleScene, APointEmitterDrawsTheImageMadeAgainUnderItsNumber) {
    LoadPlain(1, 0x00FF00);
    StillEmitter(1, 1);
    IDirect3DTexture9* old = GetImagePointer(1);
    old->AddRef(); // the case's own: an emitter still holding it would show in its count
    LoadPlain(1, 0xFF0000);
    EXPECT_EQ(Emitter(1)->texture, GetImagePointer(1));
    EXPECT_EQ(old->Release(), 0u);
    EXPECT_GE(Red(SyncAndReadCentre(kClear)), 250);
}

TEST_F(ParticleScene, BoxEmittersRainTexturedQuads) {
    LoadPlain(1, 0xFF0000);
    MakeParticles(1, 1, 3000, 0.0f, 0.0f, 6.0f, 4.0f, 4.0f, 0.5f);
    ASSERT_EQ(cell.number, 0);
    const std::vector<std::uint32_t> grid = SyncAndReadGrid(kClear);
    EXPECT_GT(CountColour(grid, 0xFF0000), 20);
    EXPECT_GT(CountColour(grid, kClear & 0xFFFFFF), 3000);
    EXPECT_EQ(CountColour(grid, 0xFF0000) + CountColour(grid, kClear & 0xFFFFFF),
              static_cast<int>(grid.size()));
    EXPECT_GE(g_CoreData->drawnPolygons, 2 * 2900);
}

TEST_F(ParticleScene, ThePassSetsBlendingByTransparencyOrMode) {
    MakePointParticles(1, 0, 100, 1.0f);
    ParticleRecording recording;
    RecordingDevice& d = recording.device;
    const std::pair<float, DWORD> alphas[] = {{100.0f, 255}, {50.0f, 127}};
    for (auto [transparency, alpha] : alphas) {
        GhostParticlesOnAlpha(1, 0, transparency);
        d.Clear();
        Passes(1);
        ASSERT_FALSE(d.draws.empty());
        EXPECT_EQ(d.RenderStateAtDraw(0, D3DRS_TEXTUREFACTOR, 0) >> 24, alpha);
        EXPECT_EQ(d.RenderStateAtDraw(0, D3DRS_SRCBLEND, 0), DWORD{D3DBLEND_SRCALPHA});
        EXPECT_EQ(LastStageState(d, D3DTSS_ALPHAARG1, 0), DWORD{D3DTA_TFACTOR});
    }
    // A mode alone (the transparency negative) picks its factor pair.
    GhostParticlesOff(1);
    GhostParticlesOn(1, 1);
    d.Clear();
    Passes(1);
    EXPECT_EQ(d.RenderStateAtDraw(0, D3DRS_SRCBLEND, 0), DWORD{D3DBLEND_DESTCOLOR});
    EXPECT_EQ(d.RenderStateAtDraw(0, D3DRS_DESTBLEND, 0), DWORD{D3DBLEND_SRCCOLOR});
    EXPECT_EQ(LastStageState(d, D3DTSS_COLOROP, 0), DWORD{D3DTOP_SELECTARG1});
    EXPECT_EQ(LastStageState(d, D3DTSS_COLORARG1, 0), DWORD{D3DTA_DIFFUSE});
    GhostParticlesOff(1);
    d.Clear();
    Passes(1);
    EXPECT_EQ(d.RenderStateAtDraw(0, D3DRS_ALPHABLENDENABLE, 1), DWORD{FALSE});
    // After the pass: depth writing on, blending off.
    EXPECT_EQ(d.LastRenderState(D3DRS_ZWRITEENABLE, 0), DWORD{TRUE});
    EXPECT_EQ(d.LastRenderState(D3DRS_ALPHABLENDENABLE, 1), DWORD{FALSE});
}

TEST_F(ParticleScene, TheProgramsFogColourSurvivesThePass) {
    GetDirect3DDevice()->SetRenderState(D3DRS_FOGCOLOR, 0x123456);
    MakePointParticles(1, 0, 100, 1.0f);
    ParticleRecording recording;
    Passes(1);
    EXPECT_EQ(recording.device.RenderStateAtDraw(0, D3DRS_FOGCOLOR, 1), 0u);
    DWORD colour = 0;
    GetDirect3DDevice()->GetRenderState(D3DRS_FOGCOLOR, &colour);
    EXPECT_EQ(colour, 0x123456u);
}

TEST_F(ParticleScene, HiddenEmittersKeepTheirParticlesAndClock) {
    MakePointParticles(1, 0, 100, 1.0f);
    Passes(50);
    const float clock = Emitter(1)->clock;
    const std::uint32_t live = Emitter(1)->liveCount;
    const PointParticle* first = Emitter(1)->live;
    HideParticles(1);
    Passes(30);
    EXPECT_EQ(Emitter(1)->clock, clock);
    EXPECT_EQ(Emitter(1)->liveCount, live);
    EXPECT_EQ(Emitter(1)->live, first);
    ShowParticles(1);
    Passes(1);
    EXPECT_NEAR(Emitter(1)->clock, clock + 0.00503f, 1e-5f);
}

TEST_F(ParticleScene, EachRenderedCameraAdvancesEveryEmitter) {
    MakePointParticles(1, 0, 100, 1.0f);
    MakeParticles(2, 0, 10, 0, 0, 0, 1, 1, 1);
    ClearScreen(kClear);
    Sync();
    const float oneCamera = Emitter(1)->clock;
    EXPECT_NEAR(oneCamera, 0.00503f, 1e-6f);
    const CameraGuard second(1);
    MakeCamera(1);
    ASSERT_EQ(cell.number, 0);
    Sync();
    EXPECT_NEAR(Emitter(1)->clock - oneCamera, 2 * 0.00503f, 1e-6f);
}

TEST_F(ParticleScene, ADeviceResetDeletesEveryEmitter) {
    MakePointParticles(1, 0, 100, 1.0f);
    MakeParticles(2, 0, 10, 0, 0, 0, 1, 1, 1);
    ParticlesRefreshD3D(0);
    ParticlesRefreshD3D(1);
    EXPECT_EQ(g_Particles.emitters.Count(), 0);
    EXPECT_EQ(g_Particles.current, nullptr);
    EXPECT_EQ(g_Particles.device, GetDirect3DDevice());

    // Through a real mode change too, after which emitters are made and drawn again.
    MakePointParticles(3, 0, 100, 1.0f);
    SetDisplayMode(640, 480, 32);
    ASSERT_EQ(cell.number, 0);
    EXPECT_EQ(ParticlesExist(3), 0);
    EXPECT_EQ(g_Particles.device, GetDirect3DDevice());
    StillEmitter(4, 0);
    GhostParticlesOff(4);
    const std::uint32_t centre = SyncAndReadCentre(kClear);
    EXPECT_GE(Red(centre), 250);
    EXPECT_GE(Green(centre), 250);
    EXPECT_GE(Blue(centre), 250);
}
