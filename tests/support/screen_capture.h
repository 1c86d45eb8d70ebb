// Reads what is on the screen, through GDI: what a player sees after a present.
#pragma once

#include "core/win32.h"

#include <cstdint>
#include <vector>

// The colours (0xRRGGBB) of a screen rectangle, row by row; empty when the screen cannot be read.
std::vector<std::uint32_t> CaptureScreen(int x, int y, int width, int height);

// Where the client area of a window lies on the screen.
RECT ClientOnScreen(HWND window);
