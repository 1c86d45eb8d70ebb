#include "core/win32.h"

#include "support/engine_fixture.h"
#include "core/core_state.h"
#include "core/engine.h"
#include "core/window.h"

#include <cstdio>

void ResetCoreLoopState() {
    g_FrameLoop = FrameLoopState{};
    g_CoreWindow.quitFlag = 0;
    g_CoreWindow.breakCell = nullptr;
    // Only a quit left by an earlier case: a drain of every message would spin on the WM_PAINT
    // that Wine makes again and again for a window nobody paints.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

void EngineFixture::SetUp() {
    ResetCoreLoopState();
    LinkModules();
    SetCoreErrorHandler(&cell);
}

void EngineFixture::TearDown() {
    ShutdownEngine();
    SetModuleErrorPointer(nullptr);
    ResetCoreLoopState();
}

std::int32_t EngineFixture::StartEngine(std::int32_t mode, const char* title) {
    return CreateEngineWindow(mode, 640, 480, 32, GetModuleHandleA(nullptr), title);
}

bool RunXdotool(const std::string& arguments) {
    std::string command = "Z:\\usr\\bin\\xdotool " + arguments;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        std::fprintf(stderr, "xdotool could not start: error %lu\n", GetLastError());
        return false;
    }
    // Wine neither signals nor reports the end of a host program: callers wait for its effect.
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

unsigned long XWindowOf(HWND window) {
    return reinterpret_cast<unsigned long>(GetPropA(window, "__wine_x11_whole_window"));
}
