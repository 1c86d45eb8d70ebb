#include "core/win32.h"

#include "core/core_state.h"
#include "core/engine.h"
#include "core/frame_loop.h"
#include "core/window.h"
#include "display/display.h"
#include "display/display_state.h"
#include "support/child_program.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

class EngineWindow : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0);
        window = g_CoreData->window;
        ASSERT_NE(window, nullptr);
    }
    void Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        SendMessageA(window, message, wParam, lParam);
    }
    std::string Entry() const { return g_CoreData->entryBuffer ? g_CoreData->entryBuffer : ""; }
    HWND window = nullptr;
};

} // namespace

TEST_F(EngineWindow, EntryBufferGrowsAndKeepsItsText) {
    std::string typed;
    for (int i = 0; i < 40; ++i) {
        const char c = static_cast<char>('a' + i % 26);
        Send(WM_CHAR, static_cast<unsigned char>(c));
        typed += c;
        // The length 29 is above 32 - 4, so the 30th character doubles the buffer.
        ASSERT_EQ(g_CoreWindow.entryCapacity, i < 29 ? 32u : 64u) << "after " << i + 1;
    }
    EXPECT_EQ(Entry(), typed);

    // A consumer empties the buffer by writing 0 into its first byte.
    g_CoreData->entryBuffer[0] = 0;
    Send(WM_CHAR, 'x');
    EXPECT_EQ(Entry(), "x");
    Send(WM_CHAR, '\r'); // control characters are kept too
    EXPECT_EQ(Entry(), "x\r");
}

TEST_F(EngineWindow, ParentTextNamesTheHostWindow) {
    Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>("PARENT|"));
    EXPECT_EQ(g_CoreData->hostWindow, nullptr);
    Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>("My title"));
    EXPECT_EQ(g_CoreData->hostWindow, nullptr);
    char title[64] = {};
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "My title");

    Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>("PARENT|123"));
    EXPECT_EQ(g_CoreData->hostWindow, reinterpret_cast<HWND>(123));
    // Once hosted, a second PARENT text does not move the host.
    Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>("PARENT|456"));
    EXPECT_EQ(g_CoreData->hostWindow, reinterpret_cast<HWND>(123));
    g_CoreData->hostWindow = nullptr;

    // A very long text is read only as far as the protocol needs.
    std::string longText = "PARENT|77" + std::string(100000, '9');
    Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(longText.c_str()));
    EXPECT_NE(g_CoreData->hostWindow, nullptr);
    g_CoreData->hostWindow = nullptr;
}

TEST_F(EngineWindow, EscapeQuitsOnlyWhileTheExitByteIsSet) {
    std::int32_t breakCell = 0;
    SetBreakCellPointer(&breakCell);
    g_CoreData->escapeExit = 0;
    Send(WM_KEYDOWN, VK_ESCAPE);
    EXPECT_EQ(breakCell, 1);
    EXPECT_EQ(g_CoreWindow.quitFlag, 0u);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_TRUE(EngineLoopActive());
    EXPECT_EQ(g_CoreWindow.lastKeyCode, VK_ESCAPE);
    Send(WM_KEYUP, VK_ESCAPE);
    EXPECT_EQ(g_CoreWindow.lastKeyCode, 0);

    g_CoreData->escapeExit = 1;
    Send(WM_KEYDOWN, VK_ESCAPE);
    EXPECT_EQ(g_CoreWindow.quitFlag, 1u);
    EXPECT_FALSE(EngineLoopActive());
    EXPECT_EQ(PumpMessages(), 1);
    EXPECT_EQ(PumpMessages(), 1); // the quit stays seen
}

TEST_F(EngineWindow, CloseSetsTheQuitFlagWithoutDestroying) {
    Send(WM_CLOSE);
    EXPECT_EQ(g_CoreWindow.quitFlag, 1u);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(EngineLoopActive());
}

TEST_F(EngineWindow, MousePositionIsScaledToTheDisplay) {
    // A client of 800 x 600 showing a 400 x 300 display: client coordinates halve.
    RECT frame{0, 0, 800, 600};
    AdjustWindowRect(&frame, GetWindowLongA(window, GWL_STYLE), FALSE);
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOZORDER | SWP_NOMOVE);
    RECT client{};
    GetClientRect(window, &client);
    ASSERT_EQ(client.right, 800);
    ASSERT_EQ(client.bottom, 600);
    g_CoreData->windowWidth = 400;
    g_CoreData->windowHeight = 300;
    Send(WM_MOUSEMOVE, 0, MAKELPARAM(320, 101));
    EXPECT_EQ(g_CoreData->mouseX, 160);
    EXPECT_EQ(g_CoreData->mouseY, 50); // truncated towards zero
    // The other way round: a display twice the client.
    g_CoreData->windowWidth = 1600;
    g_CoreData->windowHeight = 1200;
    Send(WM_MOUSEMOVE, 0, MAKELPARAM(3, 7));
    EXPECT_EQ(g_CoreData->mouseX, 6);
    EXPECT_EQ(g_CoreData->mouseY, 14);

    // A minimised window may have an empty client: positions then pass unscaled.
    ShowWindow(window, SW_MINIMIZE);
    PumpUntil([&] { return IsIconic(window) != 0; });
    GetClientRect(window, &client);
    Send(WM_MOUSEMOVE, 0, MAKELPARAM(12, 34));
    if (client.right == 0) {
        EXPECT_EQ(g_CoreData->mouseX, 12);
        EXPECT_EQ(g_CoreData->mouseY, 34);
    }
}

TEST_F(EngineWindow, ButtonBitsAndActivationFollowTheirMessages) {
    Send(WM_LBUTTONUP);
    EXPECT_EQ(g_CoreData->mouseButtons, 0u);
    Send(WM_LBUTTONDOWN);
    Send(WM_RBUTTONDOWN);
    EXPECT_EQ(g_CoreData->mouseButtons, 3u);
    Send(WM_LBUTTONUP);
    EXPECT_EQ(g_CoreData->mouseButtons, 2u);
    Send(WM_RBUTTONUP);
    EXPECT_EQ(g_CoreData->mouseButtons, 0u);

    g_CoreData->windowActive = 0;
    Send(WM_ACTIVATE, WA_INACTIVE);
    EXPECT_EQ(g_CoreData->windowActive, 0);
    Send(WM_ACTIVATE, WA_CLICKACTIVE);
    EXPECT_EQ(g_CoreData->windowActive, 1);
}

namespace {

// A 32 x 32 monochrome cursor file: a black square with its hot spot at 3, 4.
void WriteCursorFile(const std::string& path) {
    unsigned char file[326] = {};
    const unsigned char header[] = {0,  0,  2, 0, 1,  0,                    // cursor, one image
                                    32, 32, 2, 0, 3,  0, 4, 0,              // size, hot spot
                                    48, 1,  0, 0, 22, 0, 0, 0,              // 304 bytes at 22
                                    40, 0,  0, 0, 32, 0, 0, 0, 64, 0, 0, 0, // bitmap header
                                    1,  0,  1, 0};
    std::memcpy(file, header, sizeof header);
    file[70 - 4] = 0xFF; // second palette entry white
    file[70 - 3] = 0xFF;
    file[70 - 2] = 0xFF;
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(file, 1, sizeof file, f);
    std::fclose(f);
}

std::string BesideTestProgram(const char* name) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    *(std::strrchr(path, '\\') + 1) = 0;
    return std::string(path) + name;
}

} // namespace

TEST(EngineCursors, NumberedCursorsComeFromFilesBesideTheProgram) {
    const std::string path = BesideTestProgram("pointer29.cur");
    WriteCursorFile(path);
    ResetCoreLoopState();
    LinkModules();
    RuntimeErrorRecord cell;
    SetCoreErrorHandler(&cell);
    ASSERT_EQ(CreateEngineWindow(1, 640, 480, 32, GetModuleHandleA(nullptr), ""), 0);
    DeleteFileA(path.c_str());
    CoreWindowState& w = g_CoreWindow;
    EXPECT_NE(w.arrowCursor, nullptr); // the platform's arrow without "arrow.cur"
    EXPECT_NE(w.hourglassCursor, nullptr);
    EXPECT_EQ(w.currentCursor, w.arrowCursor);

    ChooseCoreCursor(29);
    EXPECT_NE(w.currentCursor, nullptr);
    EXPECT_NE(w.currentCursor, w.arrowCursor);
    ChooseCoreCursor(1);
    EXPECT_EQ(w.currentCursor, w.hourglassCursor);
    ChooseCoreCursor(5); // no file: no cursor
    EXPECT_EQ(w.currentCursor, nullptr);
    ChooseCoreCursor(32); // not a cursor number: nothing changes
    ChooseCoreCursor(-1);
    EXPECT_EQ(w.currentCursor, nullptr);
    ShutdownEngine();
}

namespace {

struct ModeCase {
    std::int32_t mode;
    bool visible;
    bool popup;
};

class EngineWindowModes : public EngineFixture, public ::testing::WithParamInterface<ModeCase> {};

} // namespace

TEST_P(EngineWindowModes, SizeStyleAndVisibility) {
    const ModeCase c = GetParam();
    ASSERT_EQ(StartEngine(c.mode), 0);
    const HWND window = g_CoreData->window;
    const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(IsWindowVisible(window) != 0, c.visible);
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_EQ((style & WS_POPUP) != 0, c.popup);
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    switch (c.mode) {
    case 0:
        EXPECT_EQ(g_CoreData->windowWidth, 640);
        break;
    case 1:
        EXPECT_EQ(g_CoreData->windowX, (screenW - 640) / 2);
        EXPECT_EQ(g_CoreData->windowY, (screenH - 480) / 2);
        EXPECT_TRUE(style & WS_CAPTION);
        break;
    case 2:
        EXPECT_EQ(g_CoreData->windowWidth, work.right - work.left);
        EXPECT_EQ(g_CoreData->windowHeight, work.bottom - work.top);
        break;
    default: // 3, 4 and any other value: the whole screen
        EXPECT_EQ(g_CoreData->windowWidth, screenW);
        EXPECT_EQ(g_CoreData->windowHeight, screenH);
    }
    // The display size stays what was asked; the display module fits it later.
    EXPECT_EQ(g_CoreData->displayWidth, 640);
}

INSTANTIATE_TEST_SUITE_P(Modes, EngineWindowModes,
                         ::testing::Values(ModeCase{0, false, true}, ModeCase{1, true, false},
                                           ModeCase{2, true, true}, ModeCase{3, true, true},
                                           ModeCase{4, true, true}, ModeCase{9, true, false},
                                           ModeCase{-2, true, false}),
                         [](const ::testing::TestParamInfo<ModeCase>& info) {
                             const std::int32_t m = info.param.mode;
                             return m < 0 ? "Minus" + std::to_string(-m) : std::to_string(m);
                         });

TEST_F(EngineFixture, TitlesNameTheWindowClass) {
    ASSERT_EQ(StartEngine(1, nullptr), 0);
    char name[64] = {};
    GetClassNameA(g_CoreData->window, name, sizeof name);
    EXPECT_STREQ(name, "Tulse Application12345");
    GetWindowTextA(g_CoreData->window, name, sizeof name);
    EXPECT_STREQ(name, "Tulse Application");
    ShutdownEngine();
    LinkModules();
    SetCoreErrorHandler(&cell);
    ASSERT_EQ(StartEngine(1, ""), 0);
    GetClassNameA(g_CoreData->window, name, sizeof name);
    EXPECT_STREQ(name, "12345");
}

// A real pointer through the X server, as a player's would come.
class EngineInputSerial : public EngineWindow {};

TEST_F(EngineInputSerial, PointerMovesAndClicksReachTheWindow) {
    RECT client{};
    GetClientRect(window, &client);
    g_CoreData->windowWidth = client.right; // no stretching: display = client coordinates
    g_CoreData->windowHeight = client.bottom;
    POINT origin{0, 0}; // Xvfb has no desktop offset: screen and X root coordinates agree
    ClientToScreen(window, &origin);
    ASSERT_TRUE(RunXdotool("mousemove " + std::to_string(origin.x + 120) + " " +
                           std::to_string(origin.y + 90)));
    EXPECT_TRUE(PumpUntil([] { return g_CoreData->mouseX == 120 && g_CoreData->mouseY == 90; }))
        << g_CoreData->mouseX << "," << g_CoreData->mouseY;
    ASSERT_TRUE(RunXdotool("mousedown 1"));
    EXPECT_TRUE(PumpUntil([] { return (g_CoreData->mouseButtons & 1u) != 0; }));
    ASSERT_TRUE(RunXdotool("mouseup 1"));
    EXPECT_TRUE(PumpUntil([] { return g_CoreData->mouseButtons == 0; }));
}

namespace {

class EngineFullScreen : public EngineFixture {};

int g_releases = 0;
void CountReleases(std::int32_t mode) {
    if (mode == 0) ++g_releases;
}

} // namespace

TEST(ForegroundTaker, DISABLED_TakesTheForeground) {
    // Run by ALostFullScreenDeviceComesBackAndTheWindowKeepsItsSize in a second process.
    HWND window = CreateWindowExA(0, "STATIC", "taker", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                  200, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(window);
    MSG message;
    for (const DWORD start = timeGetTime(); timeGetTime() - start < 500; Sleep(5))
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    DestroyWindow(window);
}

// Another program's window taking the foreground loses a full-screen device (as test programs
// running side by side do): it is made again at its mode, and the window keeps the size it took
// from the screen.
TEST_F(EngineFullScreen, ALostFullScreenDeviceComesBackAndTheWindowKeepsItsSize) {
    ASSERT_EQ(StartEngine(3), 0);
    RefreshD3DFn* slot =
        std::find(std::begin(g_Display.refresh), std::end(g_Display.refresh), nullptr);
    ASSERT_NE(slot, std::end(g_Display.refresh));
    *slot = CountReleases;
    g_releases = 0;
    EXPECT_TRUE(RunThisProgram("ForegroundTaker.*", [] { Sync(); }));
    SetForegroundWindow(g_CoreData->window);
    for (int i = 0; i < 60; ++i)
        Sync();
    *slot = nullptr;
    if (g_releases == 0)
        GTEST_SKIP() << "the platform kept the device when the window lost the foreground";
    EXPECT_EQ(g_CoreData->windowWidth, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(g_CoreData->windowHeight, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(g_CoreData->displayWidth, 640);
    EXPECT_NE(GetDirect3DDevice(), nullptr);
}
