#include "core/win32.h"

#include "support/engine_fixture.h"
#include "core/core_state.h"
#include "core/engine.h"
#include "core/window.h"

#include <d3d9.h>

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
    std::int32_t result = CreateEngineWindow(mode, 640, 480, 32, GetModuleHandleA(nullptr), title);
    // Under Wine a start failed once in thousands, with no error raised (the window or Direct3D
    // not made) and no trace: say which, for the log, and start once more.
    if (result != 0 && cell.number == 0) {
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        std::fprintf(stderr, "start failed: window %s, Direct3D %s now; starting again\n",
                     g_CoreData->window ? "made" : "not made", d3d ? "made" : "not made");
        if (d3d) d3d->Release();
        ShutdownEngine();
        EngineFixture::SetUp();
        Sleep(250);
        result = CreateEngineWindow(mode, 640, 480, 32, GetModuleHandleA(nullptr), title);
    }
    return result;
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
