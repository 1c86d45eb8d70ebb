#include "core/win32.h"

#include "display/display.h"
#include "display/display_state.h"
#include "core/core.h"

#include <algorithm>

namespace {

DisplayState& d = g_Display;

constexpr DWORD kFramedStyle = 0x00CF0000;
constexpr DWORD kFullScreenStyle = 0x800A0000;
constexpr std::int32_t kLargestClientSize = 16384; // the largest back buffer a device takes

bool EmbeddingHost() {
    return d.core && d.core->hostWindow;
}

// Windows the engine does not own (a host's child) are never moved or restyled.
bool OwnsWindow() {
    return d.window && !d.hosted && !EmbeddingHost();
}

void Place(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
    if (OwnsWindow()) SetWindowPos(d.window, nullptr, x, y, width, height, SWP_NOZORDER);
}

void MeasureFrame() {
    RECT window{}, client{};
    GetWindowRect(d.window, &window);
    GetClientRect(d.window, &client);
    d.frameWidth = (window.right - window.left) - client.right;
    d.frameHeight = (window.bottom - window.top) - client.bottom;
}

// The frame of a framed (style 1) window, for restoring one.
void RestoreFramedFrame() {
    RECT frame{0, 0, 0, 0};
    AdjustWindowRect(&frame, kFramedStyle, FALSE);
    d.frameWidth = frame.right - frame.left;
    d.frameHeight = frame.bottom - frame.top;
}

// The monitor the window is on: its whole area and its work area.
MONITORINFO MonitorOf(HWND window) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info)) {
        info.rcMonitor = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        SystemParametersInfo(SPI_GETWORKAREA, 0, &info.rcWork, 0);
    }
    return info;
}

// Centred between low and high as the window was made, never starting before low, so that the
// title bar stays reachable when the window is larger than the work area.
LONG Centred(LONG low, LONG high, LONG size) {
    return std::max(low, low + (high - low - size) / 2);
}

// A display that fills the monitor cannot fit with a frame: the window goes borderless at the
// monitor's origin, its client the back buffer's size, so every present is a 1:1 copy instead
// of a squashed stretch.
void MakeBorderless(const RECT& screen) {
    const LONG style = GetWindowLongA(d.window, GWL_STYLE);
    if (!d.borderless) d.framedStyle = static_cast<DWORD>(style);
    d.borderless = true;
    SetWindowLong(d.window, GWL_STYLE, static_cast<LONG>(WS_POPUP | (style & WS_VISIBLE)));
    SetWindowPos(d.window, nullptr, screen.left, screen.top, d.clientWidth, d.clientHeight,
                 SWP_NOZORDER | SWP_SHOWWINDOW | SWP_FRAMECHANGED);
}

// The framed window sized to the display. A window that grows or shrinks is centred on the
// work area again; one that keeps its size stays where it is.
void FitFramedWindow() {
    const MONITORINFO monitor = MonitorOf(d.window);
    const RECT& screen = monitor.rcMonitor;
    if (d.clientWidth >= screen.right - screen.left &&
        d.clientHeight >= screen.bottom - screen.top) {
        MakeBorderless(screen);
        return;
    }
    UINT flags = SWP_NOZORDER | SWP_SHOWWINDOW;
    RECT client{};
    GetClientRect(d.window, &client);
    if (d.borderless) {
        const LONG visible = GetWindowLongA(d.window, GWL_STYLE) & WS_VISIBLE;
        SetWindowLong(d.window, GWL_STYLE, static_cast<LONG>(d.framedStyle) | visible);
        d.borderless = false;
        flags |= SWP_FRAMECHANGED;
    } else if (client.right == d.clientWidth && client.bottom == d.clientHeight) {
        flags |= SWP_NOMOVE;
    }
    const RECT& work = monitor.rcWork;
    const LONG width = d.clientWidth + d.frameWidth, height = d.clientHeight + d.frameHeight;
    SetWindowPos(d.window, nullptr, Centred(work.left, work.right, width),
                 Centred(work.top, work.bottom, height), width, height, flags);
}

void ShowWithCommand(std::int32_t command) {
    d.showCommand = command;
    if (!d.window || EmbeddingHost()) return;
    ShowWindow(d.window, command);
    InvalidateRect(nullptr, nullptr, TRUE);
    UpdateWindow(d.window);
}

} // namespace

void FitWindowToMode() {
    if (!d.core || !d.window) return;
    CoreData& core = *d.core;
    d.savedBrush = reinterpret_cast<HBRUSH>(GetClassLongA(d.window, GCL_HBRBACKGROUND));
    switch (core.windowMode) {
    case 1:
        d.clientWidth = core.displayWidth;
        d.clientHeight = core.displayHeight;
        if (d.firstTime) MeasureFrame();
        if (OwnsWindow()) FitFramedWindow();
        break;
    case 2: {
        RECT work{};
        SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
        d.clientWidth = work.right - work.left;
        d.clientHeight = work.bottom - work.top;
        d.frameWidth = d.frameHeight = 0;
        Place(work.left, work.top, d.clientWidth, d.clientHeight);
        break;
    }
    case 3:
        d.clientWidth = d.width;
        d.clientHeight = d.height;
        d.frameWidth = d.frameHeight = 0;
        Place(0, 0, d.clientWidth, d.clientHeight);
        break;
    default:
        d.clientWidth = GetSystemMetrics(SM_CXSCREEN);
        d.clientHeight = GetSystemMetrics(SM_CYSCREEN);
        d.frameWidth = d.frameHeight = 0;
        Place(0, 0, d.clientWidth, d.clientHeight);
    }
    d.firstTime = false;
}

void ApplyWindowStyle(bool restyle, bool redrawAll) {
    if (!d.window || EmbeddingHost()) return;
    if (!restyle) {
        ShowWindow(d.window, d.showCommand);
    } else if (!d.hosted) {
        if (!d.title.empty()) SetWindowTextA(d.window, d.title.c_str());
        SetWindowLong(d.window, GWL_STYLE, static_cast<LONG>(d.style));
        d.borderless = false; // the style asked for replaces a borderless fit
        const std::int32_t x = d.core ? d.core->windowX : 0, y = d.core ? d.core->windowY : 0;
        SetWindowPos(d.window, nullptr, x, y, d.clientWidth + d.frameWidth,
                     d.clientHeight + d.frameHeight,
                     SWP_NOZORDER | SWP_SHOWWINDOW | SWP_FRAMECHANGED);
        ShowWindow(d.window, d.showCommand);
        SetClassLongA(d.window, GCL_HBRBACKGROUND, reinterpret_cast<LONG>(d.savedBrush));
    }
    InvalidateRect(redrawAll ? nullptr : d.window, nullptr, TRUE);
    UpdateWindow(d.window);
}

void SetWindowModeOn() {
    if (!d.windowed) {
        d.windowed = 1;
        if (d.core) SetDisplayMode(d.width, d.height, d.core->displayDepth);
    }
    if (d.core) {
        d.clientWidth = d.core->displayWidth;
        d.clientHeight = d.core->displayHeight;
        d.core->windowMode = 1;
    }
    d.showCommand = 10;
    d.style = kFramedStyle;
    RestoreFramedFrame();
    ApplyWindowStyle(true, false);
}

void SetWindowModeOff() {
    d.clientWidth = GetSystemMetrics(SM_CXFULLSCREEN);
    d.clientHeight = GetSystemMetrics(SM_CYFULLSCREEN);
    d.showCommand = 10;
    d.frameWidth = d.frameHeight = 0;
    d.style = kFullScreenStyle;
    ApplyWindowStyle(true, false);
    if (d.windowed) {
        d.windowed = 0;
        if (d.core) {
            d.core->windowMode = 3;
            SetDisplayMode(d.width, d.height, d.core->displayDepth);
        }
    }
}

bool GetWindowedMode() {
    return d.windowed == 1;
}

void HideEngineWindow() {
    ShowWithCommand(SW_HIDE);
}
void ShowEngineWindow() {
    ShowWithCommand(SW_SHOW);
}
void MinimizeEngineWindow() {
    ShowWithCommand(SW_MINIMIZE);
}
void MaximizeEngineWindow() {
    ShowWithCommand(SW_MAXIMIZE);
}
void RestoreEngineWindow() {
    ShowWithCommand(SW_SHOWNORMAL);
}

void SetWindowTitle(const char* title) {
    d.title = title ? title : "";
    if (d.window && !EmbeddingHost()) SetWindowTextA(d.window, d.title.c_str());
}

bool WindowExists(const char* title) {
    return title && FindWindow(nullptr, title) != nullptr;
}

void WindowToBack() {
    if (d.window && !EmbeddingHost())
        SetWindowPos(d.window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void WindowToFront() {
    if (d.window && !EmbeddingHost()) SetForegroundWindow(d.window);
}

void NamedWindowToFront(const char* title) {
    if (const HWND w = title ? FindWindow(nullptr, title) : nullptr) SetForegroundWindow(w);
}

void NamedWindowToBack(const char* title) {
    if (const HWND w = title ? FindWindow(nullptr, title) : nullptr)
        SetWindowPos(w, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void SetWindowPosition(std::int32_t x, std::int32_t y) {
    if (EmbeddingHost()) return;
    if (d.core) {
        d.core->windowX = x;
        d.core->windowY = y;
    }
    ApplyWindowStyle(true, false);
}

void SetWindowSize(std::int32_t width, std::int32_t height) {
    if (EmbeddingHost()) return;
    // Within what a window can be: the frame is added to it without overflow, and a window
    // without a frame some 32000 pixels wide ends the process in the platform's window system.
    d.clientWidth = std::clamp(width, 0, kLargestClientSize);
    d.clientHeight = std::clamp(height, 0, kLargestClientSize);
    ApplyWindowStyle(true, false);
}

void SetWindowLayout(std::int32_t style, std::int32_t caption, std::int32_t background) {
    if (EmbeddingHost()) return;
    if (style == 1) {
        d.style = kFramedStyle;
        RestoreFramedFrame();
    } else {
        d.frameWidth = d.frameHeight = 0;
        d.style = style == 2   ? 0x80CD0000
                  : style == 3 ? 0x80CB0000
                  : style == 4 ? 0x80CE0000
                               : 0x80000000;
    }
    if (caption == 1) {
        d.frameWidth -= 2;
        d.frameHeight -= 2;
        d.style |= 0x00C00000;
    }
    if (background != 1) d.savedBrush = nullptr;
    ApplyWindowStyle(true, false);
}

void OverrideHWND(HWND window) {
    // A handle that names no window would take every frame and window command into nothing.
    if (!window || !IsWindow(window)) {
        ReportDisplayMessage("Invalid window handle passed to OverrideHWND");
        return;
    }
    d.window = window;
}

void SetDisplayDebug() {
    ReportDisplayMessage("SetDisplayDebug mode disabled");
}
