#include "core/win32.h"

#include "core/core_state.h"
#include "file/file.h"
#include "file/file_state.h"
#include "game/game.h"
#include "game/game_app.h"
#include "game/menu.h"
#include "image/image.h"
#include "image/image_state.h"
#include "input/input.h"
#include "sound/sound.h"
#include "sound/sound_state.h"
#include "draw2d/draw2d.h"
#include "support/engine_fixture.h"
#include "support/temp_folder.h"
#include "support/wave_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace {

// The build folder's game/ holds the generated Data beside the executable.
std::string GameFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.rfind('\\')) + "\\game";
}

class GameStart : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        start = CurrentDirectory();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
    }
    void TearDown() override {
        SetCurrentDirectoryA(start.c_str());
        EngineFixture::TearDown();
    }
    std::string start;
};

// The colour of a fully opaque, bright pixel of image n.
std::uint32_t OpaquePixel(std::int32_t n, int& atX, int& atY) {
    LockImage(n);
    const ImageRecord* r = FindImage(n);
    std::uint32_t colour = 0;
    for (int y = 0; r && y < r->height && !colour; ++y) {
        const auto* row =
            reinterpret_cast<const std::uint32_t*>(r->lockedBits + y * r->lockedPitch);
        for (int x = 0; x < r->width && !colour; ++x) {
            const std::uint32_t p = row[x];
            if ((p >> 24) == 0xFF && ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF) > 200) {
                colour = p;
                atX = x;
                atY = y;
            }
        }
    }
    UnlockImage(n);
    return colour;
}

} // namespace

TEST_F(GameStart, LoadsEverythingEndsInDataAndDrawsThePointerLast) {
    ASSERT_TRUE(SetCurrentDirectoryA(GameFolder().c_str())) << GameFolder();
    const std::uint32_t before = g_FrameLoop.lastFrameTime;
    App().Init(0);
    EXPECT_EQ(cell.number, 0);
    for (std::int32_t n = 1; n <= 128; ++n)
        EXPECT_TRUE(ImageExist(n)) << "image " << n;
    EXPECT_TRUE(SoundReady() || !AudioDevicePromised()) << "no sound device, yet one was set up";
    if (SoundReady()) {
        for (std::int32_t n = 1; n <= 12; ++n)
            EXPECT_EQ(SoundExist(n), 1) << "sound " << n;
    }
    EXPECT_EQ(CurrentDirectory(), GameFolder() + "\\Data");
    EXPECT_NE(g_FrameLoop.lastFrameTime, before);

    // The pointer is drawn last on both screens.
    int dx = 0, dy = 0;
    const std::uint32_t pointer = OpaquePixel(60, dx, dy);
    ASSERT_NE(pointer, 0u);
    g_CoreData->mouseX = 500;
    g_CoreData->mouseY = 400;
    for (std::int32_t screen : {0, 1}) {
        App().screen = screen;
        if (screen == 1) InGameStart();
        ClearScreen(0);
        App().Render();
        EXPECT_EQ(GetPixelColour(500 + dx, 400 + dy), pointer) << "screen " << screen;
    }
}

TEST_F(GameStart, WithoutDataTheGameStillRuns) {
    TempFolder empty;
    ASSERT_TRUE(SetCurrentDirectoryA(empty.Path().c_str()));
    App().Init(0);
    EXPECT_NE(cell.number, 0); // the loads failed, and said so
    EXPECT_FALSE(ImageExist(60));
    Menu().Open();
    for (int frame = 0; frame < 3; ++frame) {
        ClearScreen(0);
        App().Tick(); // no crash, no hang
    }
}

// Started from another folder (a shortcut, a file manager), the game loads everything from the
// Data folder beside its executable and keeps "records.bin" there.
TEST_F(GameStart, FromAnotherFolderLoadsTheDataBesideTheProgram) {
    char saved[kCorePathLength];
    std::memcpy(saved, g_CoreData->programPath, sizeof saved);
    std::snprintf(g_CoreData->programPath, kCorePathLength, "%s\\Zarvolin.exe",
                  GameFolder().c_str());
    TempFolder elsewhere;
    ASSERT_TRUE(SetCurrentDirectoryA(elsewhere.Path().c_str()));
    App().Init(0);
    std::memcpy(g_CoreData->programPath, saved, sizeof saved);
    EXPECT_EQ(cell.number, 0);
    for (std::int32_t n = 1; n <= 128; ++n)
        EXPECT_TRUE(ImageExist(n)) << "image " << n;
    if (SoundReady()) {
        for (std::int32_t n = 1; n <= 12; ++n)
            EXPECT_EQ(SoundExist(n), 1) << "sound " << n;
    }
    EXPECT_EQ(CurrentDirectory(), GameFolder() + "\\Data");
}

// Escape held when the game loop begins: it ends before a frame is drawn.
class GameStartSerial : public GameStart {};

TEST_F(GameStartSerial, EscapeHeldAtStartEndsBeforeTheFirstFrame) {
    ASSERT_TRUE(RunXdotool("windowfocus " + std::to_string(XWindowOf(g_CoreData->window))));
    ASSERT_TRUE(PumpUntil([] { return GetFocus() == g_CoreData->window; }));
    PumpFor(200);
    g_CoreData->escapeExit = 0; // the game's own test, not the window's
    ASSERT_TRUE(RunXdotool("keydown Escape"));
    ASSERT_TRUE(PumpUntil([] { return IsEscapeKeyDown() == 1; }));
    EXPECT_EQ(RunGameLoop(), 0);
    RunXdotool("keyup Escape");
    PumpUntil([] { return IsEscapeKeyDown() == 0; });
}
