#include "core/win32.h"

#include "core/window.h"
#include "core/core.h"
#include "core/module_link.h"

#include <string>

namespace {

struct State {
    std::int32_t screenWidth = 0, screenHeight = 0;
    bool windowReady = false;
    bool frameReady = false;
    bool comStarted = false;
    std::uint32_t quitFlag = 0; // set by close, destroy and Escape; never cleared
};
State s;

constexpr DWORD kOverlappedStyle = 0x00CF0000;

DWORD StyleForMode(std::int32_t mode) {
    if (mode == 1) return kOverlappedStyle;
    if (mode >= 0 && mode <= 4) return WS_POPUP;
    return 0;
}

// Window size by mode: as asked, the work area, or the whole screen.
void SizeWindowForMode(CoreData& core, std::int32_t mode) {
    if (mode == 2) {
        RECT work{};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        core.windowWidth = work.right - work.left;
        core.windowHeight = work.bottom - work.top;
    } else if (static_cast<std::uint32_t>(mode) >= 3) {
        core.windowWidth = s.screenWidth;
        core.windowHeight = s.screenHeight;
    }
    if (mode == 1) {
        core.windowX = (s.screenWidth - core.windowWidth) / 2;
        core.windowY = (s.screenHeight - core.windowHeight) / 2;
    }
}

bool MakeWindow(CoreData& core, std::int32_t mode, HINSTANCE instance, const char* title) {
    const std::string caption = title ? title : "Tulse Application";
    const std::string className = caption + "12345";
    core.instance = instance;
    if (core.window) {
        SetWindowLongA(core.window, GWL_WNDPROC, reinterpret_cast<LONG>(CoreWindowProc));
        return true;
    }
    WNDCLASSA wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = CoreWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(101));
    wc.lpszClassName = className.c_str();
    RegisterClassA(&wc);
    core.window = CreateWindowExA(0, className.c_str(), caption.c_str(), StyleForMode(mode),
                                  core.windowX, core.windowY, core.windowWidth, core.windowHeight,
                                  nullptr, nullptr, instance, nullptr);
    return core.window != nullptr;
}

} // namespace

std::int32_t CreateEngineWindow(std::int32_t mode, std::int32_t width, std::int32_t height,
                                std::int32_t depth, HINSTANCE instance, const char* title) {
    CoreData& core = *g_CoreData;
    s.screenWidth = GetSystemMetrics(SM_CXSCREEN);
    s.screenHeight = GetSystemMetrics(SM_CYSCREEN);
    core.windowWidth = core.displayWidth = width;
    core.windowHeight = core.displayHeight = height;
    core.displayDepth = depth;
    core.windowX = core.windowY = 0;
    SizeWindowForMode(core, mode);
    if (!MakeWindow(core, mode, instance, title)) return 1;

    const ModuleLinkTableRecord& t = ModuleLinkTable;
    if (!t.display.constructor || t.display.constructor() != 1) return 1;
    if (t.display.passCoreData) t.display.passCoreData(&core, 0);
    if (t.display.setErrorHandler) t.display.setErrorHandler(core.errorRecord);
    s.windowReady = true;
    s.comStarted = SUCCEEDED(CoInitialize(nullptr));
    core.windowMode = mode;

    if (core.errorRecord && core.errorRecord->number != 0) return 1;

    core.callbacks.resizeString = CoreResizeString;
    StartCoreModules();
    StartOtherModules(instance);

    if (mode != 0) ShowWindow(core.window, SW_SHOW);
    s.frameReady = true;
    return 0;
}

LRESULT CALLBACK CoreWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE:
        s.quitFlag = 1;
        PostQuitMessage(0);
        return 1;
    case WM_DESTROY:
        s.quitFlag = 1;
        PostQuitMessage(0);
        break;
    case WM_ERASEBKGND:
        return 1;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool IsEngineWindowReady() {
    return s.windowReady;
}

void CloseEngineWindow() {
    CoreData& core = *g_CoreData;
    s.windowReady = false;
    s.frameReady = false;
    if (core.window) DestroyWindow(core.window);
    core.window = nullptr;
    if (s.comStarted) CoUninitialize();
    s.comStarted = false;
}
