#include "core/win32.h"

#include "core/checklist.h"
#include "core/engine.h"
#include "display/display.h"
#include "display/display_state.h"
#include "support/engine_fixture.h"
#include "support/recording_device.h"
#include "support/screen_capture.h"
#include "support/temp_folder.h"
#include "system/system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

class Display : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        ASSERT_NE(GetDirect3DDevice(), nullptr);
    }
    // The back buffer's pixel at x, y (X8R8G8B8), read through the lockable back buffer.
    std::uint32_t BackBufferPixel(int x, int y) {
        LockBackBuffer();
        const auto* row = static_cast<const std::uint8_t*>(GetBackBufferPointer()) +
                          static_cast<std::ptrdiff_t>(y) * GetBackBufferPitch();
        const std::uint32_t pixel = reinterpret_cast<const std::uint32_t*>(row)[x] & 0xFFFFFF;
        UnlockBackBuffer();
        return pixel;
    }
};

// Swaps the display module's device for a recording one for the scope's lifetime.
class DisplayRecording {
public:
    DisplayRecording() : device(g_Display.device.Get()), real_(g_Display.device.Detach()) {
        g_Display.device.Reset(&device);
    }
    ~DisplayRecording() {
        g_Display.device.Detach();
        g_Display.device.Reset(real_);
    }
    DisplayRecording(const DisplayRecording&) = delete;
    DisplayRecording& operator=(const DisplayRecording&) = delete;
    RecordingDevice device;

private:
    IDirect3DDevice9* real_;
};

std::vector<std::int32_t> refreshCalls; // slot * 10 + mode

template <int Slot> void RecordRefresh(std::int32_t mode) {
    refreshCalls.push_back(Slot * 10 + mode);
}

template <int... Slots> void RecordEverySlot(std::integer_sequence<int, Slots...>) {
    ((g_Display.refresh[Slots] = g_Display.refresh[Slots] ? RecordRefresh<Slots> : nullptr), ...);
}

} // namespace

TEST_F(Display, StartsWindowedThenChangesToTheScreenSizeExactly) {
    EXPECT_TRUE(GetWindowedMode());
    EXPECT_NE(g_CoreData->savedDepthSurface, nullptr);
    EXPECT_EQ(GetDisplayDepth(), 32); // the desktop's depth
    RECT client{};
    GetClientRect(g_CoreData->window, &client);
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);

    SetDisplayMode(1024, 768, 32);
    EXPECT_EQ(cell.number, 0);
    ASSERT_NE(GetDirect3DDevice(), nullptr);
    EXPECT_EQ(g_Display.offsetX, 0);
    EXPECT_EQ(g_Display.offsetY, 0);
    EXPECT_EQ(GetDisplayWidth(), 1024);
    EXPECT_EQ(GetDisplayHeight(), 768);
    EXPECT_NE(g_CoreData->renderTarget, nullptr);
}

namespace {

RECT WorkArea(HWND window) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info);
    return info.rcWork;
}

void ExpectInside(const RECT& inner, const RECT& outer) {
    EXPECT_GE(inner.left, outer.left);
    EXPECT_GE(inner.top, outer.top);
    EXPECT_LE(inner.right, outer.right);
    EXPECT_LE(inner.bottom, outer.bottom);
}

} // namespace

// A mode the size of the screen cannot fit with a frame: the window goes borderless on the
// screen with a client the size of the back buffer (presents are 1:1); a smaller mode brings the
// frame back, centred on the work area.
TEST_F(Display, GrownWindowStaysOnTheWorkAreaAndPresentsOneToOne) {
    ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024) << "this program needs a 1024 x 768 screen";
    const HWND window = g_CoreData->window;
    SetDisplayMode(1024, 768, 32);
    ASSERT_EQ(cell.number, 0);
    RECT r{};
    GetWindowRect(window, &r);
    ExpectInside(r, WorkArea(window));
    GetClientRect(window, &r);
    EXPECT_EQ(r.right, 1024);
    EXPECT_EQ(r.bottom, 768);
    EXPECT_TRUE(IsWindowVisible(window));

    SetDisplayMode(640, 480, 32);
    ASSERT_EQ(cell.number, 0);
    EXPECT_TRUE(GetWindowLongA(window, GWL_STYLE) & WS_CAPTION);
    GetClientRect(window, &r);
    EXPECT_EQ(r.right, 640);
    EXPECT_EQ(r.bottom, 480);
    GetWindowRect(window, &r);
    const RECT work = WorkArea(window);
    ExpectInside(r, work);
    EXPECT_LE(std::abs((r.left - work.left) - (work.right - r.right)), 1); // centred
}

TEST_F(Display, InvalidModesRaiseTheirErrors) {
    IDirect3DDevice9* before = GetDirect3DDevice();
    struct Case {
        std::int32_t width, height, depth, windowed, vertices, lockable, error;
    };
    const Case cases[] = {
        {640, 480, 24, 1, 0, 1, 1514},   {640, 480, 8, 1, 0, 1, 1502},
        {0, 480, 32, 1, 0, 1, 1501},     {640, -1, 32, 1, 0, 1, 1501},
        {640, 480, 32, 2, 0, 1, 1503},   {640, 480, 32, 1, 7, 1, 1508},
        {640, 480, 32, 1, 0, 2, 1509},   {4000, 3000, 32, 1, 0, 1, 1507},
        {4000, 3000, 16, 1, 0, 1, 1505},
    };
    for (const Case& c : cases) {
        cell.number = 0;
        EXPECT_FALSE(
            SetDisplayModeEx(c.width, c.height, c.depth, c.windowed, c.vertices, c.lockable));
        EXPECT_EQ(cell.number, c.error) << c.width << "x" << c.height << "x" << c.depth;
    }
    // A refused mode leaves the device as it was.
    EXPECT_EQ(GetDirect3DDevice(), before);
}

TEST_F(Display, RefreshReachesEveryHandlerOnceInTableOrder) {
    std::vector<int> slots; // the modules that have a handler
    for (int slot = 0; slot < kRefreshSlots; ++slot)
        if (g_Display.refresh[slot]) slots.push_back(slot);
    ASSERT_FALSE(slots.empty());
    RecordEverySlot(std::make_integer_sequence<int, kRefreshSlots>{});
    refreshCalls.clear();
    SetDisplayMode(800, 600, 32);
    std::vector<std::int32_t> expected;
    for (int mode : {0, 1})
        for (int slot : slots)
            expected.push_back(slot * 10 + mode);
    EXPECT_EQ(refreshCalls, expected);

    // Arguments that choose no mode are refused before the modules let go of anything: nothing
    // would make their objects again, and their next command would find them gone.
    refreshCalls.clear();
    SetDisplayMode(800, 600, 24);
    EXPECT_EQ(cell.number, 1514);
    EXPECT_TRUE(refreshCalls.empty());
    SetDisplayMode(-1, 600, 32);
    EXPECT_EQ(cell.number, 1501);
    EXPECT_FALSE(SetDisplayModeEx(800, 600, 8, 1, 0, 1));
    EXPECT_TRUE(refreshCalls.empty());

    // The command forms change the device under running modules: they release and rebuild.
    ASSERT_TRUE(SetDisplayModeEx(800, 600, 32, 1, 0, 1));
    EXPECT_EQ(refreshCalls, expected);
}

TEST_F(Display, ClearedFrameReadsBackAsTheClearColour) {
    ClearDisplay(10, 200, 30);
    LockBackBuffer();
    ASSERT_NE(GetBackBufferPointer(), reinterpret_cast<void*>(~std::uintptr_t{0}));
    const std::int32_t w = GetBackBufferWidth(), h = GetBackBufferHeight();
    EXPECT_GE(w, 640);
    EXPECT_GE(h, 480);
    EXPECT_EQ(GetBackBufferDepth(), 32);
    EXPECT_GE(GetBackBufferPitch(), w * 4);
    UnlockBackBuffer();
    EXPECT_EQ(GetBackBufferHeight(), -1); // nothing to measure once unlocked
    EXPECT_EQ(BackBufferPixel(0, 0), 0x0AC81Eu);
    // The clear fills the viewport, which the frames drawn at start-up leave at camera 0's: the
    // display's own size, within the larger back buffer.
    EXPECT_EQ(BackBufferPixel(GetDisplayWidth() - 1, GetDisplayHeight() - 1), 0x0AC81Eu);
}

namespace {

// Reading the screen back needs the window on top: no other test's window may cover it.
class DisplaySerial : public Display {};

// What the screen shows inside the engine window's client area, once it has settled: the X
// server receives a present a moment after the call returns.
std::vector<std::uint32_t> SettledClientPixels(int width, int height,
                                               bool (*settled)(const std::vector<std::uint32_t>&)) {
    std::vector<std::uint32_t> pixels;
    PumpUntil(
        [&] {
            const RECT r = ClientOnScreen(g_CoreData->window);
            pixels = CaptureScreen(r.left, r.top, width, height);
            return !pixels.empty() && settled(pixels);
        },
        2000);
    return pixels;
}

} // namespace

TEST_F(DisplaySerial, PresentShowsTheFrameInTheWindow) {
    ClearDisplay(0, 255, 0);
    EndDisplayScene();
    PresentDisplay();
    BeginDisplayScene();
    const std::vector<std::uint32_t> pixels = SettledClientPixels(
        64, 64, [](const auto& p) { return p.front() == 0x00FF00u && p.back() == 0x00FF00u; });
    if (pixels.empty()) GTEST_SKIP() << "the screen cannot be read back here";
    EXPECT_EQ(pixels.front(), 0x00FF00u);
    EXPECT_EQ(pixels.back(), 0x00FF00u);
}

TEST_F(DisplaySerial, ExcludedAreasAreLeftOutOfThePresent) {
    ClearDisplay(0, 0, 255);
    EndDisplayScene();
    PresentDisplay();
    SettledClientPixels(40, 40, [](const auto& p) { return p[0] == 0x0000FFu; });
    ClearDisplay(255, 0, 0);
    g_CoreData->excludedRect = RECT{10, 10, 30, 30};
    PresentDisplay();
    g_CoreData->excludedRect = RECT{};
    BeginDisplayScene();
    const std::vector<std::uint32_t> pixels = SettledClientPixels(40, 40, [](const auto& p) {
        return p[5 * 40 + 5] == 0xFF0000u && p[35 * 40 + 20] == 0xFF0000u;
    });
    if (pixels.empty()) GTEST_SKIP() << "the screen cannot be read back here";
    EXPECT_EQ(pixels[20 * 40 + 20], 0x0000FFu); // inside the hole: the frame before
    EXPECT_EQ(pixels[5 * 40 + 5], 0xFF0000u);
    EXPECT_EQ(pixels[15 * 40 + 35], 0xFF0000u);
    EXPECT_EQ(pixels[35 * 40 + 20], 0xFF0000u);
}

TEST(UncoveredPieces, CoverEveryFreePixelOnce) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        const LONG w = 1 + rng() % 40, h = 1 + rng() % 30;
        std::vector<RECT> covered;
        for (int i = rng() % 5; i > 0; --i) {
            const LONG l = rng() % w, t = rng() % h;
            covered.push_back(RECT{l, t, l + 1 + static_cast<LONG>(rng() % (w - l)),
                                   t + 1 + static_cast<LONG>(rng() % (h - t))});
        }
        std::vector<int> count(static_cast<std::size_t>(w * h), 0);
        for (const RECT& p : UncoveredPieces(covered, w, h)) {
            ASSERT_TRUE(p.left < p.right && p.top < p.bottom);
            for (LONG y = p.top; y < p.bottom; ++y)
                for (LONG x = p.left; x < p.right; ++x)
                    ++count[y * w + x];
        }
        for (LONG y = 0; y < h; ++y) {
            for (LONG x = 0; x < w; ++x) {
                bool inside = false;
                for (const RECT& c : covered)
                    inside |= x >= c.left && x < c.right && y >= c.top && y < c.bottom;
                ASSERT_EQ(count[y * w + x], inside ? 0 : 1) << "pixel " << x << "," << y;
            }
        }
    }
}

TEST_F(Display, GammaStepsAndRamps) {
    std::int32_t g = 0, b = 0;
    GetGamma(nullptr, &g, &b); // reported, not a crash
    std::vector<D3DGAMMARAMP> sent;
    {
        // The ramp is read where it is sent: a windowed device may keep none to read back.
        const DisplayRecording recording;
        SetGamma(255, 300, 1);
        sent = recording.device.gammaRamps;
    }
    std::int32_t r = 0;
    GetGamma(&r, &g, &b);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 300);
    EXPECT_EQ(b, 1);
    ASSERT_EQ(sent.size(), 1u);
    const D3DGAMMARAMP& ramp = sent[0];
    EXPECT_EQ(ramp.red[255], 65025);
    EXPECT_EQ(ramp.green[255], static_cast<WORD>(255 * 300)); // wraps at 16 bits
    EXPECT_EQ(ramp.blue[200], 200);
}

TEST_F(Display, ModeChecklistListsEachSizeAndDepthOnce) {
    DisplayModeChecklist(); // the machine's own modes, many rates of each
    std::vector<std::string> seen;
    for (std::int32_t row = 1; row <= ChecklistQuantity(); ++row) {
        char* text = GetChecklistString(nullptr, row);
        ASSERT_NE(text, nullptr);
        seen.push_back(text);
        CoreResizeString(&text, 0);
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "1024x768x32"), 1);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());

    std::vector<D3DDISPLAYMODE>& modes = g_Display.adapters[0].modes;
    modes = {{800, 600, 60, D3DFMT_X8R8G8B8},
             {800, 600, 75, D3DFMT_X8R8G8B8},
             {800, 600, 60, D3DFMT_A8R8G8B8},
             {640, 480, 60, D3DFMT_R5G6B5},
             {320, 200, 60, D3DFMT_P8}};
    DisplayModeChecklist();
    ASSERT_EQ(ChecklistQuantity(), 2);
    char* text = GetChecklistString(nullptr, 1);
    EXPECT_STREQ(text, "800x600x32");
    text = GetChecklistString(text, 2);
    EXPECT_STREQ(text, "640x480x16");
    EXPECT_EQ(GetChecklistValueB(2), 480);
    CoreResizeString(&text, 0);

    char description[64] = "untouched";
    DisplayModeDescription(3, description);
    EXPECT_STREQ(description, "640 x 480 x 16");
    DisplayModeDescription(0, description);
    EXPECT_STREQ(description, "800 x 600 x 32");
    std::strcpy(description, "untouched");
    DisplayModeDescription(5, description);
    DisplayModeDescription(-1, description);
    EXPECT_STREQ(description, "untouched");
    EXPECT_TRUE(DisplayModeExists(800, 600, 32));
    EXPECT_TRUE(DisplayModeExists(640, 480, 16));
    EXPECT_FALSE(DisplayModeExists(640, 480, 32));
}

TEST_F(Display, AdapterChecklistNamesTheCurrentAdapter) {
    char* name = GetCurrentAdapterName(nullptr);
    ASSERT_NE(name, nullptr);
    EXPECT_GT(std::strlen(name), 0u);
    AdapterNameChecklist();
    ASSERT_EQ(ChecklistQuantity(), GetAdapterCount());
    char* row = GetChecklistString(nullptr, 1);
    EXPECT_STREQ(row, name);
    CoreResizeString(&row, 0);
    CoreResizeString(&name, 0);
}

TEST_F(Display, WindowPlacementAndSizeUnlessAHostEmbedsTheEngine) {
    const HWND window = g_CoreData->window;
    ASSERT_TRUE(IsWindowVisible(window));
    SetWindowPosition(12, 34);
    RECT r{};
    GetWindowRect(window, &r);
    EXPECT_EQ(r.left, 12);
    EXPECT_EQ(r.top, 34);
    SetWindowSize(320, 200); // the client area, not the frame
    GetClientRect(window, &r);
    EXPECT_EQ(r.right, 320);
    EXPECT_EQ(r.bottom, 200);

    // While a host window embeds the engine, the commands leave the window alone.
    g_CoreData->hostWindow = reinterpret_cast<HWND>(1);
    HideEngineWindow();
    SetWindowPosition(50, 60);
    EXPECT_TRUE(IsWindowVisible(window));
    GetWindowRect(window, &r);
    EXPECT_EQ(r.left, 12);
    g_CoreData->hostWindow = nullptr;
}

TEST_F(Display, WindowSizesStayWithinWhatAWindowCanBe) {
    // Framed, the largest size plus the frame must not wrap into an empty window; frameless,
    // nothing but the command limits the window, and one 32767 pixels wide ends the process.
    for (const std::int32_t layout : {1, 0}) {
        SetWindowLayout(layout, 0, 1);
        SetWindowSize(layout ? INT_MAX : 32767, INT_MAX);
        PumpFor(100);
        RECT r{};
        GetClientRect(g_CoreData->window, &r);
        EXPECT_GT(r.right, 640) << layout;
        EXPECT_LE(r.bottom, 16384) << layout;
    }
    SetWindowLayout(1, 0, 1);
    SetWindowSize(640, 480);
}

TEST_F(Display, OverrideTakesOnlyAWindow) {
    const HWND engine = g_Display.window;
    const HWND other = CreateWindowA("STATIC", "other", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                     nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    OverrideHWND(other);
    EXPECT_EQ(g_Display.window, other);
    OverrideHWND(engine);
    for (const HWND bad : {HWND{}, reinterpret_cast<HWND>(0x12344), other}) {
        if (bad == other) DestroyWindow(other); // a window that was, and is gone
        OverrideHWND(bad);
        EXPECT_EQ(g_Display.window, engine) << bad;
    }
}

TEST_F(Display, NoDeviceMeansNothingIsDrawnAndNothingCrashes) {
    DisplayDestructor();
    EXPECT_EQ(GetDirect3DDevice(), nullptr);
    ClearDisplay(1, 2, 3);
    BeginDisplayScene();
    EndDisplayScene();
    PresentDisplay();
    LockBackBuffer();
    EXPECT_EQ(GetBackBufferWidth(), -1);
    SetGamma(1, 1, 1);
    SetCullMode(2);
    DisplayModeChecklist();
    ResetDeviceWindowed();
    CallRefreshD3D(0);
    EXPECT_EQ(GetAdapterCount(), 0);
}

namespace {

// A program whose ".ini" names a host window: a fixture that points the program path at a
// folder of its own, so that no other test reads the file.
class HostedDisplay : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        std::snprintf(g_CoreData->programPath, kCorePathLength, "%s",
                      folder.File("game.exe").c_str());
    }
    // The device goes before the window it draws into; the host goes before the fixture's
    // reset, so that no message of it is left behind.
    void TearDown() override {
        ShutdownEngine();
        if (host) DestroyWindow(host);
        EngineFixture::TearDown();
    }
    void WriteIni(const std::string& main, const std::string& child) {
        const std::string ini = folder.File("game.ini");
        WritePrivateProfileStringA("External", "Main Window", main.c_str(), ini.c_str());
        WritePrivateProfileStringA("External", "Child Window", child.c_str(), ini.c_str());
    }
    TempFolder folder;
    HWND host = nullptr;
};

} // namespace

TEST_F(HostedDisplay, AbsentHostChildMeansTheEnginesOwnWindow) {
    WriteIni("Host " + std::to_string(GetCurrentProcessId()), "Canvas");
    ASSERT_EQ(StartEngine(), 0);
    EXPECT_FALSE(g_Display.hosted);
    D3DDEVICE_CREATION_PARAMETERS params{};
    GetDirect3DDevice()->GetCreationParameters(&params);
    EXPECT_EQ(params.hFocusWindow, g_CoreData->window);
}

TEST_F(HostedDisplay, NamedHostChildReceivesTheFrames) {
    const std::string title = "Host " + std::to_string(GetCurrentProcessId());
    host = CreateWindowExA(0, "STATIC", title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400,
                           300, nullptr, nullptr, nullptr, nullptr);
    const HWND canvas = CreateWindowExA(0, "STATIC", "Canvas", WS_CHILD | WS_VISIBLE, 10, 10, 200,
                                        150, host, nullptr, nullptr, nullptr);
    ASSERT_NE(canvas, nullptr);
    WriteIni(title, "Canvas");
    ASSERT_EQ(StartEngine(), 0);
    EXPECT_TRUE(g_Display.hosted);
    D3DDEVICE_CREATION_PARAMETERS params{};
    GetDirect3DDevice()->GetCreationParameters(&params);
    EXPECT_EQ(params.hFocusWindow, canvas);
    EXPECT_NE(g_CoreData->window, canvas); // CoreData keeps the engine's own window
    RECT r{};
    GetClientRect(canvas, &r);
    EXPECT_EQ(r.right, 200); // a host's window is never resized
}

namespace {

std::string hostText; // what the live host window was last told

LRESULT CALLBACK RecordingHost(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT && lParam) hostText = reinterpret_cast<const char*>(lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

// A host window whose thread never takes its messages again.
struct HungHost {
    HungHost() {
        thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
        WaitForSingleObject(made, 5000);
    }
    ~HungHost() {
        SetEvent(release);
        WaitForSingleObject(thread, 5000);
        CloseHandle(thread);
        CloseHandle(made);
        CloseHandle(release);
    }
    static DWORD WINAPI Run(void* param) {
        auto* self = static_cast<HungHost*>(param);
        self->window = CreateWindowExA(0, "STATIC", "hung host", WS_OVERLAPPED, 0, 0, 10, 10,
                                       nullptr, nullptr, nullptr, nullptr);
        SetEvent(self->made);
        WaitForSingleObject(self->release, INFINITE); // no message pump meanwhile
        DestroyWindow(self->window);
        return 0;
    }
    HANDLE made = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = nullptr;
    HWND window = nullptr;
};

} // namespace

// A mode set while a host embeds the engine tells a live host "EMBEDME"; a host that is gone or
// hung never stops the game.
TEST_F(Display, EmbeddingHostIsToldOfModeSetsUnlessGoneOrHung) {
    const HWND host = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                      nullptr, nullptr, nullptr);
    ASSERT_NE(host, nullptr);
    SetWindowLongA(host, GWL_WNDPROC, reinterpret_cast<LONG>(RecordingHost));
    hostText.clear();
    g_CoreData->hostWindow = host;
    SetDisplayMode(640, 480, 32);
    EXPECT_EQ(hostText, "EMBEDME");
    DestroyWindow(host);

    SetDisplayMode(640, 480, 32); // the host is gone: nothing is sent
    EXPECT_NE(GetDirect3DDevice(), nullptr);
    {
        HungHost hung;
        ASSERT_NE(hung.window, nullptr);
        g_CoreData->hostWindow = hung.window;
        SetDisplayMode(640, 480, 32); // returns, after giving up on the host
        EXPECT_NE(GetDirect3DDevice(), nullptr);
    }
    g_CoreData->hostWindow = nullptr;
}
