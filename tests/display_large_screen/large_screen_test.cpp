// Runs on a 1280 x 1024 screen, the one display mode such an adapter offers.
#include "core/win32.h"

#include "display/display.h"
#include "display/display_state.h"
#include "support/engine_fixture.h"
#include "support/screen_capture.h"

#include <gtest/gtest.h>

TEST_F(EngineFixture, SmallerModeUsesTheNextLargerAndPresentsItsCorner) {
    ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
    ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 1280) << "this program needs a 1280 x 1024 screen";
    SetDisplayMode(1024, 768, 32);
    EXPECT_EQ(cell.number, 0);
    IDirect3DDevice9* device = GetDirect3DDevice();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(g_Display.offsetX, 256);
    EXPECT_EQ(g_Display.offsetY, 256);
    EXPECT_EQ(GetDisplayWidth(), 1024);
    LockBackBuffer();
    EXPECT_EQ(GetBackBufferWidth(), 1280);
    EXPECT_EQ(GetBackBufferHeight(), 1024);
    UnlockBackBuffer();

    // The grown window keeps its frame and lies wholly on the work area.
    const HWND window = g_CoreData->window;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    RECT frame{};
    GetWindowRect(window, &frame);
    EXPECT_TRUE(GetWindowLongA(window, GWL_STYLE) & WS_CAPTION);
    EXPECT_GE(frame.left, monitor.rcWork.left);
    EXPECT_GE(frame.top, monitor.rcWork.top);
    EXPECT_LE(frame.right, monitor.rcWork.right);
    EXPECT_LE(frame.bottom, monitor.rcWork.bottom);
    // Blue everywhere, red in the 1024 x 768 corner: only red may reach the window.
    ClearDisplay(0, 0, 255);
    const D3DRECT corner{0, 0, 1024, 768};
    device->Clear(1, &corner, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
    EndDisplayScene();
    PresentDisplay();
    BeginDisplayScene();
    const RECT client = ClientOnScreen(g_CoreData->window);
    ASSERT_EQ(client.right - client.left, 1024);
    ASSERT_EQ(client.bottom - client.top, 768);
    std::vector<std::uint32_t> pixels;
    PumpUntil(
        [&] {
            pixels = CaptureScreen(client.left, client.top, 1024, 768);
            return !pixels.empty() && pixels.front() == 0xFF0000u;
        },
        2000);
    if (pixels.empty()) GTEST_SKIP() << "the screen cannot be read back here";
    EXPECT_EQ(pixels.front(), 0xFF0000u);
    EXPECT_EQ(pixels[767 * 1024 + 1023], 0xFF0000u); // bottom-right of the window: still red
    EXPECT_EQ(pixels[400 * 1024 + 900], 0xFF0000u);
}
