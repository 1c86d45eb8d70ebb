#include "core/win32.h"

#include "core/window.h"
#include "core/console.h"
#include "core/core.h"
#include "core/core_state.h"
#include "core/frame_loop.h"
#include "core/media.h"
#include "core/module_link.h"

#include <cstdio>
#include <cstring>
#include <string>

CoreWindowState g_CoreWindow;

namespace {

constexpr DWORD kOverlappedStyle = 0x00CF0000;
constexpr DWORD kStartPumpMs = 100;

DWORD StyleForMode(std::int32_t mode) {
    if (mode == 1) return kOverlappedStyle;
    if (mode >= 0 && mode <= 4) return WS_POPUP;
    return 0;
}

// Window size by mode: as asked, the work area, or the whole screen.
void SizeWindowForMode(CoreData& core, std::int32_t mode) {
    const CoreWindowState& w = g_CoreWindow;
    if (mode == 2) {
        RECT work{};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        core.windowWidth = work.right - work.left;
        core.windowHeight = work.bottom - work.top;
    } else if (static_cast<std::uint32_t>(mode) >= 3) {
        core.windowWidth = w.screenWidth;
        core.windowHeight = w.screenHeight;
    }
    if (mode == 1) {
        core.windowX = (w.screenWidth - core.windowWidth) / 2;
        core.windowY = (w.screenHeight - core.windowHeight) / 2;
    }
}

// Cursor files live beside the executable, whatever the current folder is.
std::string BesideProgram(const char* name) {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return name;
    char* slash = std::strrchr(path, '\\');
    if (!slash) return name;
    slash[1] = 0;
    return std::string(path) + name;
}

HCURSOR LoadCursorFile(const char* name) {
    const std::string path = BesideProgram(name);
    return static_cast<HCURSOR>(
        LoadImageA(nullptr, path.c_str(), IMAGE_CURSOR, 32, 32, LR_LOADFROMFILE));
}

void LoadCursors(HINSTANCE instance) {
    CoreWindowState& w = g_CoreWindow;
    w.icon = LoadIconA(instance, MAKEINTRESOURCEA(101));
    w.arrowCursor = LoadCursorFile("arrow.cur");
    w.ownArrow = w.arrowCursor != nullptr;
    w.hourglassCursor = LoadCursorFile("hourglass.cur");
    w.ownHourglass = w.hourglassCursor != nullptr;
    for (int i = 0; i < kPointerCursors; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "pointer%d.cur", i + 2);
        w.pointerCursors[i] = LoadCursorFile(name);
    }
    if (!w.arrowCursor) w.arrowCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    if (!w.hourglassCursor) w.hourglassCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32514));
}

bool MakeWindow(CoreData& core, std::int32_t mode, HINSTANCE instance, const char* title) {
    CoreWindowState& w = g_CoreWindow;
    const std::string caption = title ? title : "Tulse Application";
    const std::string className = caption + "12345";
    if (!core.window) {
        WNDCLASSA wc{};
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = CoreWindowProc;
        wc.hInstance = instance;
        wc.hIcon = w.icon;
        wc.lpszClassName = className.c_str();
        RegisterClassA(&wc);
        w.currentCursor = w.arrowCursor;
        w.previousCursor = SetCursor(w.currentCursor);
    }
    SizeWindowForMode(core, mode);
    core.instance = instance;
    if (core.window) {
        SetWindowLongA(core.window, GWL_WNDPROC, reinterpret_cast<LONG>(CoreWindowProc));
        return true;
    }
    core.window = CreateWindowExA(0, className.c_str(), caption.c_str(), StyleForMode(mode),
                                  core.windowX, core.windowY, core.windowWidth, core.windowHeight,
                                  nullptr, nullptr, instance, nullptr);
    return core.window != nullptr;
}

void StoreCallbacks(CoreData& core) {
    core.callbacks.resizeString = CoreResizeString;
    core.callbacks.pumpMessages = PumpMessages;
    core.callbacks.print = PrintText;
    core.callbacks.chooseCursor = ChooseCoreCursor;
    core.callbacks.mediaRedirect = MediaPathRedirect;
    core.callbacks.beforeOpen = MediaScramblerBeforeOpen;
    core.callbacks.afterClose = MediaScramblerAfterClose;
}

void ShowEngineWindowAtStart(CoreData& core, std::int32_t mode) {
    if (mode == 0) return;
    const ModuleLinkTableRecord& t = ModuleLinkTable;
    if (core.hostWindow) {
        if (t.display.clearDisplay) t.display.clearDisplay(255, 255, 255);
        SetWindowPos(core.window, nullptr, 0, 0, 640, 480, SWP_SHOWWINDOW | SWP_ASYNCWINDOWPOS);
        return;
    }
    if (t.display.clearDisplay) t.display.clearDisplay(0, 0, 0);
    InvalidateRect(core.window, nullptr, TRUE);
    UpdateWindow(core.window);
    ShowWindow(core.window, SW_SHOW);
}

// Pumps the new window for a moment so that it is drawn before the program goes on.
void PumpBriefly() {
    const DWORD start = timeGetTime();
    while (timeGetTime() - start < kStartPumpMs) {
        if (g_FrameLoop.windowReady) RenderFrame();
        if (ProcessMessages() == 1) break;
    }
}

} // namespace

std::int32_t CreateEngineWindow(std::int32_t mode, std::int32_t width, std::int32_t height,
                                std::int32_t depth, HINSTANCE instance, const char* title) {
    CoreData& core = *g_CoreData;
    CoreWindowState& w = g_CoreWindow;
    w.screenWidth = GetSystemMetrics(SM_CXSCREEN);
    w.screenHeight = GetSystemMetrics(SM_CYSCREEN);
    core.windowWidth = core.displayWidth = width;
    core.windowHeight = core.displayHeight = height;
    core.displayDepth = depth;
    core.windowX = core.windowY = 0;
    if (!core.programPath[0]) {
        const DWORD n = GetModuleFileNameA(nullptr, core.programPath, kCorePathLength);
        if (n == 0 || n >= kCorePathLength) core.programPath[0] = 0;
    }
    LoadCursors(instance);
    if (!MakeWindow(core, mode, instance, title)) return 1;
    timeBeginPeriod(1); // millisecond sleeps in the frame wait

    const ModuleLinkTableRecord& t = ModuleLinkTable;
    if (!t.display.constructor || t.display.constructor() != 1) return 1;
    if (t.display.passCoreData) t.display.passCoreData(&core, 0);
    if (t.display.setErrorHandler) t.display.setErrorHandler(core.errorRecord);
    g_FrameLoop.windowReady = 1;
    if (t.display.overrideHWND) t.display.overrideHWND(core.window);
    w.comStarted = SUCCEEDED(CoInitialize(nullptr));
    core.windowMode = mode;

    if (t.display.setDisplayModeEx) {
        const bool fullScreen = mode == 3;
        t.display.setDisplayModeEx(core.windowWidth, core.windowHeight, fullScreen ? depth : 0,
                                   fullScreen ? 0 : 1, 0, 1);
    }
    if (core.errorRecord && core.errorRecord->number != 0) return 1;

    StoreCallbacks(core);
    StartCoreModules();
    StartOtherModules(instance);
    ShowEngineWindowAtStart(core, mode);
    g_FrameLoop.frameReady = 1;
    if (t.text.setTextFont) t.text.setTextFont("Fixedsys", 0);
    PumpBriefly();
    return 0;
}

bool IsEngineWindowReady() {
    return g_FrameLoop.windowReady != 0;
}

void CloseEngineWindow() {
    CoreData& core = *g_CoreData;
    CoreWindowState& w = g_CoreWindow;
    const bool hadWindow = g_FrameLoop.windowReady || core.window;
    g_FrameLoop.windowReady = 0;
    g_FrameLoop.frameReady = 0;
    StopGdiConsole(); // its picture would otherwise be painted on the next window
    CoreResizeString(&core.entryBuffer, 0);
    w.entryLength = w.entryCapacity = 0;
    if (core.window) DestroyWindow(core.window);
    core.window = nullptr;
    if (w.ownArrow) DestroyCursor(w.arrowCursor);
    if (w.ownHourglass) DestroyCursor(w.hourglassCursor);
    for (HCURSOR& c : w.pointerCursors) {
        if (c) DestroyCursor(c);
        c = nullptr;
    }
    w.arrowCursor = w.hourglassCursor = w.currentCursor = nullptr;
    w.ownArrow = w.ownHourglass = false;
    if (hadWindow) timeEndPeriod(1);
    if (w.comStarted) CoUninitialize();
    w.comStarted = false;
}
