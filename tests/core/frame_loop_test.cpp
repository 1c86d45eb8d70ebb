#include "core/win32.h"

#include "core/core_state.h"
#include "core/frame_loop.h"
#include "core/module_link.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<std::string> calls;
std::vector<std::int32_t> cameraOrder; // what the fake camera module walks through
std::size_t cameraAt = 0;

std::ptrdiff_t Count(const char* name) {
    return std::count(calls.begin(), calls.end(), name);
}

// Every hook of the frame loop records its name; the camera module walks cameraOrder.
void RecordFrameHooks() {
    ModuleLinkTableRecord& t = ModuleLinkTable;
    t = ModuleLinkTableRecord{};
#define RECORD(slot, name) t.slot = [] { calls.push_back(name); }
    RECORD(music.update, "music");
    RECORD(sound.update, "sound");
    RECORD(animation.update, "animation");
    RECORD(input.update, "input");
    RECORD(world.collisionUpdate, "worldCollisionUpdate");
    RECORD(basic3D.updateAutomaticCameraCollision, "cameraCollision");
    RECORD(sprite.saveBackground, "spriteSave");
    RECORD(sprite.update, "sprites");
    RECORD(sprite.restoreBackground, "spriteRestore");
    RECORD(display.endScene, "endScene");
    RECORD(display.present, "present");
    RECORD(display.beginScene, "beginScene");
    RECORD(basic3D.beginStencilShadows, "stencilBegin");
    RECORD(world.update, "world");
    RECORD(camera.update, "camera");
    RECORD(reservedPass1, "reserved1");
    RECORD(terrainMatrix.renderPass0, "terrain0");
    RECORD(basic3D.update, "objects");
    RECORD(particles.update, "particles");
    RECORD(reservedPass2, "reserved2");
    RECORD(basic3D.drawStencilShadowQuad, "shadowQuad");
    RECORD(terrainMatrix.renderPass1, "terrain1");
    RECORD(basic3D.renderLayerFour, "layerFour");
    RECORD(world.collisionStart, "worldCollisionStart");
    RECORD(basic3D.runAutomaticCollision, "autoCollision");
#undef RECORD
    t.camera.renderFirstPass = [](std::int32_t skipClear) {
        cameraAt = 0;
        calls.push_back("firstPass" + std::to_string(skipClear));
    };
    t.camera.getCurrentRenderCamera = [] {
        return cameraAt < cameraOrder.size() ? cameraOrder[cameraAt] : std::int32_t{-1};
    };
    t.camera.nextRenderPass = [] {
        calls.push_back("next");
        ++cameraAt;
        return std::int32_t{cameraAt < cameraOrder.size() ? 0 : 1};
    };
}

const std::vector<std::string> kOnePass = {"stencilBegin", "world",    "camera",    "reserved1",
                                           "terrain0",     "objects",  "particles", "reserved2",
                                           "shadowQuad",   "terrain1", "layerFour"};

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

class FrameLoop : public ::testing::Test {
protected:
    void SetUp() override {
        ResetCoreLoopState();
        LinkModules();
        RecordFrameHooks();
        g_FrameLoop.frameReady = 1;
        cameraOrder = {0};
        calls.clear();
    }
    void TearDown() override { ResetCoreLoopState(); }
};

} // namespace

TEST(SyncRate, WaitsAndIntervalsAtTheirLimits) {
    ResetCoreLoopState();
    SetSyncRate(60);
    EXPECT_EQ(g_FrameLoop.frameWait, 15u);
    SetSyncRate(1000); // too fast to wait for
    EXPECT_EQ(g_FrameLoop.frameWait, 0u);
    SetSyncRate(INT32_MIN);
    EXPECT_EQ(g_FrameLoop.minimumInterval, 0x80000000u);
    SetSyncRate(0); // clears both
    EXPECT_EQ(g_FrameLoop.frameWait, 0u);
    EXPECT_EQ(g_FrameLoop.minimumInterval, 0u);
}

TEST_F(FrameLoop, SyncRunsHooksPassesAndSwapInOrder) {
    SetSyncRate(1000); // no wait: the update hooks also run inside the frame
    Sync();
    const std::vector<std::string> prologue = {
        "music",           "sound",      "animation", "input", "worldCollisionUpdate",
        "cameraCollision", "spriteSave", "sprites"};
    const std::vector<std::string> epilogue = {
        "next", "worldCollisionStart", "autoCollision", "music", "sound", "animation"};
    // The first frame has no scene to end yet.
    EXPECT_EQ(calls,
              Join({prologue, {"beginScene", "spriteRestore", "firstPass0"}, kOnePass, epilogue}));
    calls.clear();
    Sync();
    EXPECT_EQ(calls, Join({prologue,
                           {"endScene", "present", "beginScene", "spriteRestore", "firstPass0"},
                           kOnePass,
                           epilogue}));

    // With a frame wait, the update hooks run only once, after the frame.
    calls.clear();
    SetSyncRate(60);
    Sync();
    EXPECT_EQ(Count("music"), 1);
    EXPECT_EQ(calls.front(), "input");
}

TEST_F(FrameLoop, SpritesFirstAndSwapAtEnd) {
    SetSyncRate(60);
    g_FrameLoop.sceneBegun = 1;
    DrawSpritesFirst();
    SetSceneSwapAtSyncEnd();
    RenderFrame();
    EXPECT_EQ(calls, Join({{"input", "worldCollisionUpdate", "cameraCollision", "spriteSave",
                            "sprites", "firstPass0"},
                           kOnePass,
                           {"next", "endScene", "present", "beginScene", "spriteRestore",
                            "worldCollisionStart", "autoCollision"}}));
    calls.clear();
    SetSceneSwapAtSyncStart();
    g_FrameLoop.lastFrameTime = 0;
    RenderFrame();
    // Sprites first: drawn into the new scene, after its start.
    EXPECT_EQ(std::vector<std::string>(calls.begin() + 4, calls.begin() + 9),
              (std::vector<std::string>{"endScene", "present", "beginScene", "spriteRestore",
                                        "sprites"}));
}

TEST_F(FrameLoop, ManualModeSkipsThePresentOfTheSceneBegunBefore) {
    SetSyncRate(0);
    g_FrameLoop.sceneBegun = 1;
    SyncOn();
    Sync(); // ends the old scene unseen
    EXPECT_EQ(Count("endScene"), 1);
    EXPECT_EQ(Count("present"), 0);
    calls.clear();
    Sync();
    EXPECT_EQ(Count("present"), 1);
}

TEST_F(FrameLoop, CameraMaskAndCameraWalk) {
    cameraOrder = {0, 3, 40, 7};
    SetCameraMask(~(1u << 3)); // camera 3 off; 40 is beyond the mask and always drawn
    g_CoreData->renderPassCount = 2;
    g_CoreData->drawnPolygons = 99;
    g_CoreData->drawCalls = 9;
    ModuleLinkTable.basic3D.update = [] {
        calls.push_back("objects" + std::to_string(g_CoreData->renderPassIndex));
        g_CoreData->drawnPolygons += 2;
    };
    RenderFrame();
    EXPECT_EQ(Count("objects0"), 3); // cameras 0, 40 and 7
    EXPECT_EQ(Count("objects1"), 3);
    EXPECT_EQ(Count("next"), 4);
    EXPECT_EQ(g_CoreData->drawnPolygons, 12); // cleared before the passes
    EXPECT_EQ(g_CoreData->drawCalls, 0);
}

TEST_F(FrameLoop, NoCameraNoPassesOrNoCameraModuleDrawNothingButStillSwap) {
    cameraOrder = {-1};
    RenderFrame();
    EXPECT_EQ(Count("camera"), 0);
    EXPECT_EQ(Count("next"), 1);

    calls.clear();
    cameraOrder = {0, 5};
    g_CoreData->renderPassCount = 0;
    RenderFrame();
    EXPECT_EQ(Count("camera"), 0);
    EXPECT_EQ(Count("next"), 2);

    calls.clear();
    g_CoreData->renderPassCount = 1;
    ModuleLinkTable.camera = CameraLinks{};
    RenderFrame();
    EXPECT_EQ(Count("present"), 1);
    EXPECT_EQ(Count("stencilBegin"), 0);
}

TEST_F(FrameLoop, CameraZeroOffDrawsOtherCamerasButNeverPresents) {
    cameraOrder = {0, 1};
    g_FrameLoop.sceneBegun = 1;
    SetSyncRate(60);
    SetCameraMask(~1u);
    RenderFrame();
    // Camera 0 itself is skipped; camera 1 is drawn.
    EXPECT_EQ(calls, Join({{"input", "firstPass1", "next"}, kOnePass, {"next"}}));
}

TEST_F(FrameLoop, NegativeRateSkipsFramesThatComeTooSoon) {
    SetSyncRate(-20);
    RenderFrame();
    ASSERT_EQ(Count("input"), 1);
    RenderFrame(); // well within 20 ms of the last: skipped whole
    EXPECT_EQ(Count("input"), 1);
    Sleep(30);
    RenderFrame();
    EXPECT_EQ(Count("input"), 2);
}

TEST_F(FrameLoop, SkippedOrUnreadyFramesDrawNothing) {
    g_FrameLoop.frameSkip = 1;
    RenderFrame();
    EXPECT_TRUE(calls.empty());
    SetCoreFlagResumeFrames();
    g_FrameLoop.frameReady = 0; // resumed, but only updates and input until the frame is ready
    RenderFrame();
    EXPECT_EQ(calls, (std::vector<std::string>{"music", "sound", "animation", "input"}));
}

namespace {

int pumpedMessages = 0;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER + 7) ++pumpedMessages;
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeCountingWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = CountingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "FrameLoopCounter";
    RegisterClassA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance,
                           nullptr);
}

} // namespace

TEST_F(FrameLoop, FrameWaitPumpsTheQueueAndEndsUndrawnAtAQuit) {
    const HWND counter = MakeCountingWindow();
    ASSERT_NE(counter, nullptr);
    SetSyncRate(9); // a 100 ms wait, long enough to be waited even on a loaded machine
    pumpedMessages = 0;
    PostMessageA(counter, WM_USER + 7, 0, 0);
    g_FrameLoop.lastFrameTime = timeGetTime();
    RenderFrame();
    EXPECT_EQ(pumpedMessages, 1);
    EXPECT_EQ(calls.front(), "input");

    // A quit during the wait ends the frame undrawn.
    calls.clear();
    g_FrameLoop.lastFrameTime = timeGetTime();
    PostQuitMessage(0);
    RenderFrame();
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(g_FrameLoop.quitSeen, 1);
    // Later pumps report the quit without touching the queue.
    pumpedMessages = 0;
    PostMessageA(counter, WM_USER + 7, 0, 0);
    EXPECT_EQ(PumpMessages(), 1);
    EXPECT_EQ(pumpedMessages, 0);
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, counter, WM_USER + 7, WM_USER + 7, PM_NOREMOVE));
    // Once the wait has passed, the frame is drawn all the same.
    g_FrameLoop.lastFrameTime = timeGetTime() - 200;
    RenderFrame();
    EXPECT_EQ(calls.front(), "input");
    DestroyWindow(counter);
}

TEST_F(FrameLoop, ProcessMessagesRendersOnlyInAutomaticMode) {
    g_FrameLoop.windowReady = 1;
    ProcessMessages();
    EXPECT_EQ(Count("input"), 1);
    SyncOn();
    calls.clear();
    ProcessMessages();
    EXPECT_EQ(calls, (std::vector<std::string>{"music", "sound", "animation"}));

    std::int32_t request = 1;
    SetBreakRequestPointer(&request);
    EXPECT_EQ(ProcessMessagesOrBreak(5), 1);
    EXPECT_EQ(request, 5);
    SetBreakRequestPointer(nullptr);
}

namespace {

int paints = 0;

// A host window whose procedure never paints: Wine hands out its WM_PAINT at every peek.
LRESULT CALLBACK UnpaintedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        ++paints;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Should a drain spin on the window's paint, validates the window after a while from another
// thread, so that the case fails instead of hanging.
struct Rescuer {
    explicit Rescuer(HWND w) : window(w) {
        thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~Rescuer() {
        SetEvent(done);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        CloseHandle(done);
    }
    static DWORD WINAPI Run(void* self) {
        auto* r = static_cast<Rescuer*>(self);
        if (WaitForSingleObject(r->done, 20000) != WAIT_TIMEOUT) return 0;
        r->rescued = true;
        ValidateRect(r->window, nullptr);
        return 0;
    }
    HWND window;
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = nullptr;
    volatile bool rescued = false;
};

} // namespace

TEST(MessageDrains, EndWhileAHostWindowWaitsToBePainted) {
    ResetCoreLoopState();
    WNDCLASSA wc{};
    wc.lpfnWndProc = UnpaintedProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "UnpaintedHost";
    RegisterClassA(&wc);
    const HWND host = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP | WS_VISIBLE, 0, 0, 40, 40,
                                      nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(host, nullptr);
    InvalidateRect(host, nullptr, FALSE);
    {
        Rescuer rescuer(host);
        // The fixture's reset takes a quit left behind, and nothing else.
        PostQuitMessage(0);
        ResetCoreLoopState();
        MSG msg;
        EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
        // The engine's pump hands the paint to the window and comes back all the same.
        paints = 0;
        EXPECT_EQ(PumpMessages(), 0);
        EXPECT_GT(paints, 0);
        EXPECT_FALSE(rescuer.rescued) << "a drain spun on the unpainted window";
    }
    DestroyWindow(host);
    ResetCoreLoopState();
}
