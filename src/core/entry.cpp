#include "core/win32.h"

#include "core/core.h"
#include "core/engine.h"
#include "core/window.h"
#include "game/game.h"

// The game runs even when engine start-up stopped early: every command is safe on a module that
// never started.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    RuntimeErrorRecord errorCell; // lives for the whole run
    g_CoreData = GetCoreDataPointer();
    errorCell.number = 0;
    LinkModules();
    SetCoreErrorHandler(&errorCell);
    CreateEngineWindow(1, 640, 480, 32, GetModuleHandleA(nullptr), "");
    GameMain();
    // Devices, sound buffers and the window are let go in order rather than torn down by the
    // process exit, which some drivers take badly.
    ShutdownEngine();
    return 0;
}
