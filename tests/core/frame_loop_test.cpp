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

template <const char* Name> void Hook() {
    calls.push_back(Name);
}

#define HOOK(n) constexpr char n[] = #n
HOOK(music);
HOOK(sound);
HOOK(animation);
HOOK(input);
HOOK(worldCollisionUpdate);
HOOK(cameraCollision);
HOOK(spriteSave);
HOOK(sprites);
HOOK(spriteRestore);
HOOK(endScene);
HOOK(present);
HOOK(beginScene);
HOOK(stencilBegin);
HOOK(world);
HOOK(camera);
HOOK(reserved1);
HOOK(terrain0);
HOOK(objects);
HOOK(particles);
HOOK(reserved2);
HOOK(shadowQuad);
HOOK(terrain1);
HOOK(layerFour);
HOOK(worldCollisionStart);
HOOK(autoCollision);
#undef HOOK

std::int32_t CurrentCamera() {
    return cameraAt < cameraOrder.size() ? cameraOrder[cameraAt] : -1;
}

// Every hook of the frame loop records its name; the camera module walks cameraOrder.
void RecordFrameHooks() {
    ModuleLinkTableRecord& t = ModuleLinkTable;
    t = ModuleLinkTableRecord{};
    t.music.update = Hook<music>;
    t.sound.update = Hook<sound>;
    t.animation.update = Hook<animation>;
    t.input.update = Hook<input>;
    t.world.collisionUpdate = Hook<worldCollisionUpdate>;
    t.basic3D.updateAutomaticCameraCollision = Hook<cameraCollision>;
    t.sprite.saveBackground = Hook<spriteSave>;
    t.sprite.update = Hook<sprites>;
    t.sprite.restoreBackground = Hook<spriteRestore>;
    t.display.endScene = Hook<endScene>;
    t.display.present = Hook<present>;
    t.display.beginScene = Hook<beginScene>;
    t.basic3D.beginStencilShadows = Hook<stencilBegin>;
    t.world.update = Hook<world>;
    t.camera.update = Hook<camera>;
    t.reservedPass1 = Hook<reserved1>;
    t.terrainMatrix.renderPass0 = Hook<terrain0>;
    t.basic3D.update = Hook<objects>;
    t.particles.update = Hook<particles>;
    t.reservedPass2 = Hook<reserved2>;
    t.basic3D.drawStencilShadowQuad = Hook<shadowQuad>;
    t.terrainMatrix.renderPass1 = Hook<terrain1>;
    t.basic3D.renderLayerFour = Hook<layerFour>;
    t.world.collisionStart = Hook<worldCollisionStart>;
    t.basic3D.runAutomaticCollision = Hook<autoCollision>;
    t.camera.renderFirstPass = [](std::int32_t skipClear) {
        cameraAt = 0;
        calls.push_back("firstPass" + std::to_string(skipClear));
    };
    t.camera.getCurrentRenderCamera = CurrentCamera;
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

TEST(SyncRate, WaitsAndIntervals) {
    ResetCoreLoopState();
    SetSyncRate(60);
    EXPECT_EQ(g_FrameLoop.frameWait, 15u);
    EXPECT_EQ(g_FrameLoop.minimumInterval, 0u);
    SetSyncRate(1000);
    EXPECT_EQ(g_FrameLoop.frameWait, 0u);
    SetSyncRate(-20);
    EXPECT_EQ(g_FrameLoop.frameWait, 0u);
    EXPECT_EQ(g_FrameLoop.minimumInterval, 20u);
    SetSyncRate(INT32_MIN);
    EXPECT_EQ(g_FrameLoop.minimumInterval, 0x80000000u);
    SetSyncRate(0);
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
}

TEST_F(FrameLoop, WithAFrameWaitTheUpdateHooksRunOncePerSync) {
    SetSyncRate(60);
    Sync();
    int music = 0;
    for (const std::string& c : calls)
        music += c == "music";
    EXPECT_EQ(music, 1);
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
    EXPECT_EQ(g_FrameLoop.autoSync, 0);
    Sync(); // ends the old scene unseen
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "endScene"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "present"), 0);
    calls.clear();
    Sync();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "present"), 1);
    SyncOff();
    EXPECT_EQ(g_FrameLoop.autoSync, 1);
    EXPECT_EQ(g_FrameLoop.pumpSleep, 1);
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
    int passes[2] = {};
    for (const std::string& c : calls) {
        if (c == "objects0") ++passes[0];
        if (c == "objects1") ++passes[1];
    }
    EXPECT_EQ(passes[0], 3); // cameras 0, 40 and 7
    EXPECT_EQ(passes[1], 3);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "next"), 4);
    EXPECT_EQ(g_CoreData->drawnPolygons, 12); // cleared before the passes
    EXPECT_EQ(g_CoreData->drawCalls, 0);
}

TEST_F(FrameLoop, NoCameraOrNoPassesStillWalksTheList) {
    cameraOrder = {-1};
    RenderFrame();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "camera"), 0);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "next"), 1);

    calls.clear();
    cameraOrder = {0, 5};
    g_CoreData->renderPassCount = 0;
    g_FrameLoop.lastFrameTime = 0;
    RenderFrame();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "camera"), 0);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "next"), 2);
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

TEST_F(FrameLoop, WithoutACameraModuleTheSceneStillSwaps) {
    ModuleLinkTable.camera = CameraLinks{};
    RenderFrame();
    RenderFrame();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "present"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "stencilBegin"), 0);
}

TEST_F(FrameLoop, NegativeRateSkipsFramesThatComeTooSoon) {
    SetSyncRate(-20);
    RenderFrame();
    ASSERT_EQ(std::count(calls.begin(), calls.end(), "input"), 1);
    RenderFrame(); // well within 20 ms of the last: skipped whole
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "input"), 1);
    Sleep(30);
    RenderFrame();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "input"), 2);
}

TEST_F(FrameLoop, FrameSkipStopsFramesUntilResumed) {
    g_FrameLoop.frameSkip = 1;
    RenderFrame();
    EXPECT_TRUE(calls.empty());
    SetCoreFlagResumeFrames();
    EXPECT_EQ(g_FrameLoop.resumeFlag, 1);
    RenderFrame();
    EXPECT_FALSE(calls.empty());
    ClearResumeFramesFlag();
    EXPECT_EQ(g_FrameLoop.resumeFlag, 0);
}

TEST_F(FrameLoop, NothingIsDrawnBeforeTheFrameIsReady) {
    g_FrameLoop.frameReady = 0;
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

TEST_F(FrameLoop, FrameWaitKeepsTheQueuePumped) {
    const HWND counter = MakeCountingWindow();
    ASSERT_NE(counter, nullptr);
    SetSyncRate(9); // a 100 ms wait, long enough to be waited even on a loaded machine
    pumpedMessages = 0;
    PostMessageA(counter, WM_USER + 7, 0, 0);
    g_FrameLoop.lastFrameTime = timeGetTime();
    RenderFrame();
    EXPECT_EQ(pumpedMessages, 1);
    EXPECT_EQ(calls.front(), "input");
    DestroyWindow(counter);
}

TEST_F(FrameLoop, QuitDuringTheWaitEndsTheFrameUndrawn) {
    SetSyncRate(60);
    g_FrameLoop.lastFrameTime = timeGetTime();
    PostQuitMessage(0);
    RenderFrame();
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(g_FrameLoop.quitSeen, 1);

    // Later pumps report the quit without touching the queue.
    const HWND counter = MakeCountingWindow();
    pumpedMessages = 0;
    PostMessageA(counter, WM_USER + 7, 0, 0);
    EXPECT_EQ(PumpMessages(), 1);
    EXPECT_EQ(pumpedMessages, 0);
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, counter, WM_USER + 7, WM_USER + 7, PM_NOREMOVE));

    // Once the wait has passed, the frame is drawn all the same.
    g_FrameLoop.lastFrameTime = timeGetTime() - 100;
    RenderFrame();
    EXPECT_EQ(calls.front(), "input");
    DestroyWindow(counter);
}

TEST_F(FrameLoop, ProcessMessagesRendersOnlyInAutomaticMode) {
    g_FrameLoop.windowReady = 1;
    ProcessMessages();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "input"), 1);
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
