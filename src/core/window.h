// The engine window, its window procedure, and the start-up that runs around it.
#pragma once

#include "core/core_data.h"

#include <cstdint>

// Makes the engine window, starts the display module and then every other module. 0 when
// start-up completed, 1 when it stopped early (the display could not start, or an error was
// raised while the first display mode was set); the modules not started then stay unstarted.
std::int32_t CreateEngineWindow(std::int32_t mode, std::int32_t width, std::int32_t height,
                                std::int32_t depth, HINSTANCE instance, const char* title);

LRESULT CALLBACK CoreWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The cursor-choice callback: 0 arrow, 1 hourglass, 2 to 31 the numbered pointer cursors.
void ChooseCoreCursor(std::int32_t cursor);

// Where Escape stores 1 (null: nowhere).
void SetBreakCellPointer(std::int32_t* cell);

bool IsEngineWindowReady();
// Shut-down: closes the window, frees the cursors and clears the window-ready and frame-ready
// flags.
void CloseEngineWindow();
