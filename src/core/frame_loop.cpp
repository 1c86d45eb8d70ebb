#include "core/win32.h"

#include "core/frame_loop.h"
#include "core/core.h"
#include "core/core_state.h"
#include "core/module_link.h"

FrameLoopState g_FrameLoop;

namespace {

constexpr std::int32_t kCameraBits = 32;
// More than a frame's input ever brings; the rest waits for the next pump.
constexpr int kMaxMessagesPerPump = 1000;

void Call(HookFn hook) {
    if (hook) hook();
}

// Waits out the frame time from the end of the last frame's wait, keeping the queue pumped all
// along. False when a quit arrives meanwhile.
bool WaitForFrameTime() {
    const FrameLoopState& f = g_FrameLoop;
    for (;;) {
        const std::uint32_t elapsed = timeGetTime() - f.lastFrameTime;
        if (elapsed >= f.frameWait) return true;
        if (PumpMessages() == 1) return false;
        // Most of a long wait goes back to the system; the last 2 ms spin, for even frames.
        if (f.frameWait - elapsed > 2) Sleep(1);
    }
}

// Ends and presents the scene begun by the last swap, then begins the next one.
void SwapScene() {
    FrameLoopState& f = g_FrameLoop;
    const ModuleLinkTableRecord& t = ModuleLinkTable;
    if (f.sceneBegun) {
        Call(t.display.endScene);
        if (f.presentEnabled) Call(t.display.present);
    }
    f.sceneBegun = 1;
    Call(t.display.beginScene);
    Call(t.sprite.restoreBackground);
}

// Cameras 0 to 31 follow the mask; numbers above are always drawn, -1 (none) never.
bool CameraIsRendered(std::int32_t camera) {
    if (camera >= kCameraBits) return true;
    if (camera < 0) return false;
    return (g_FrameLoop.cameraMask >> camera) & 1u;
}

void RenderCameraPasses() {
    CoreData& core = *g_CoreData;
    const ModuleLinkTableRecord& t = ModuleLinkTable;
    for (core.renderPassIndex = 0; core.renderPassIndex < core.renderPassCount;
         ++core.renderPassIndex) {
        Call(t.basic3D.beginStencilShadows);
        Call(t.world.update);
        Call(t.camera.update);
        Call(t.reservedPass1);
        Call(t.terrainMatrix.renderPass0);
        Call(t.basic3D.update);
        Call(t.particles.update);
        Call(t.reservedPass2);
        Call(t.basic3D.drawStencilShadowQuad);
        Call(t.terrainMatrix.renderPass1);
        Call(t.basic3D.renderLayerFour);
    }
}

void RenderCameras(bool cameraZeroActive) {
    const ModuleLinkTableRecord& t = ModuleLinkTable;
    if (!t.camera.renderFirstPass) return;
    g_CoreData->drawnPolygons = 0;
    g_CoreData->drawCalls = 0;
    t.camera.renderFirstPass(cameraZeroActive ? 0 : 1);
    do {
        const std::int32_t camera =
            t.camera.getCurrentRenderCamera ? t.camera.getCurrentRenderCamera() : -1;
        if (CameraIsRendered(camera)) RenderCameraPasses();
    } while (t.camera.nextRenderPass && t.camera.nextRenderPass() == 0);
}

} // namespace

void RenderFrame() {
    FrameLoopState& f = g_FrameLoop;
    const ModuleLinkTableRecord& t = ModuleLinkTable;
    if (f.frameSkip) return;
    if (f.minimumInterval > 0 && timeGetTime() - f.lastFrameTime < f.minimumInterval) return;
    if (f.frameWait > 0) {
        if (!WaitForFrameTime()) return;
    } else {
        RunModuleUpdateHooks();
    }
    Call(t.input.update);
    f.lastFrameTime = timeGetTime();
    if (!f.frameReady) return;

    const bool cameraZeroActive = f.cameraMask & 1u;
    if (cameraZeroActive) {
        Call(t.world.collisionUpdate);
        Call(t.basic3D.updateAutomaticCameraCollision);
        Call(t.sprite.saveBackground);
        if (!f.spritesFirst) Call(t.sprite.update);
        if (f.sceneSwapAtStart) SwapScene();
        if (f.spritesFirst) Call(t.sprite.update);
    }
    RenderCameras(cameraZeroActive);
    if (!cameraZeroActive) return; // nothing is presented this frame
    if (!f.sceneSwapAtStart) SwapScene();
    Call(t.world.collisionStart);
    Call(t.basic3D.runAutomaticCollision);
}

std::int32_t Sync() {
    RenderFrame();
    const std::int32_t quit = PumpMessages();
    RunModuleUpdateHooks();
    g_FrameLoop.presentEnabled = 1;
    return quit;
}

void FastSync() {
    RenderFrame();
    g_FrameLoop.presentEnabled = 1;
}

void SyncOn() {
    FrameLoopState& f = g_FrameLoop;
    f.autoSync = f.pumpSleep = f.presentEnabled = 0;
}

void SyncOff() {
    FrameLoopState& f = g_FrameLoop;
    f.autoSync = f.pumpSleep = f.presentEnabled = 1;
}

void SetSyncRate(std::int32_t rate) {
    FrameLoopState& f = g_FrameLoop;
    if (rate > 0) {
        f.frameWait = 900u / static_cast<std::uint32_t>(rate);
        f.minimumInterval = 0;
    } else if (rate == 0) {
        f.frameWait = f.minimumInterval = 0;
    } else {
        f.frameWait = 0;
        f.minimumInterval = 0u - static_cast<std::uint32_t>(rate);
    }
}

std::int32_t PumpMessages() {
    FrameLoopState& f = g_FrameLoop;
    if (f.quitSeen) return 1;
    MSG msg;
    // Bounded: a window that never validates its WM_PAINT gets it again at every peek.
    for (int n = 0; n < kMaxMessagesPerPump && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
        if (msg.message == WM_QUIT) {
            f.quitSeen = 1;
            return 1;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (f.pumpSleep) Sleep(1);
    return 0;
}

std::int32_t ProcessMessages() {
    const std::int32_t quit = PumpMessages();
    RunModuleUpdateHooks();
    if (g_FrameLoop.windowReady) AutoSyncFrame();
    return quit;
}

void AutoSyncFrame() {
    if (g_FrameLoop.autoSync) RenderFrame();
}

std::int32_t ProcessMessagesOrBreak(std::uint32_t value) {
    std::int32_t* request = g_FrameLoop.breakRequest;
    if (request && *request == 1) {
        *request = static_cast<std::int32_t>(value);
        return 1;
    }
    return ProcessMessages();
}

void SetBreakRequestPointer(std::int32_t* pointer) {
    g_FrameLoop.breakRequest = pointer;
}

void RunModuleUpdateHooks() {
    const ModuleLinkTableRecord& t = ModuleLinkTable;
    Call(t.music.update);
    Call(t.sound.update);
    Call(t.animation.update);
}

bool EngineLoopActive() {
    if (!g_CoreWindow.quitFlag) return true;
    PostQuitMessage(0);
    return false;
}

void SetSceneSwapAtSyncStart() {
    g_FrameLoop.sceneSwapAtStart = 1;
}
void SetSceneSwapAtSyncEnd() {
    g_FrameLoop.sceneSwapAtStart = 0;
}
void DrawSpritesFirst() {
    g_FrameLoop.spritesFirst = 1;
}
void DrawSpritesLast() {
    g_FrameLoop.spritesFirst = 0;
}
void SetCameraMask(std::uint32_t mask) {
    g_FrameLoop.cameraMask = mask;
}

void SetCoreFlagResumeFrames() {
    g_FrameLoop.resumeFlag = 1;
    g_FrameLoop.frameSkip = 0;
}

void ClearResumeFramesFlag() {
    g_FrameLoop.resumeFlag = 0;
}
