// A stand-in for DirectInput's game-controller side, which no machine here has: it offers a list
// of controllers, hands out their state, and records the effects made on them.
#pragma once

#include "core/win32.h"

#include <string>
#include <vector>

struct FakeController {
    std::string name;
    bool forceFeedback = false;
};

struct FakeEffectRecord {
    GUID type{};
    DWORD duration = 0;
    LONG direction = 0;
    LONG magnitude = 0; // constant force or periodic magnitude
    DWORD period = 0;
    int starts = 0;
    int stops = 0;
    int updates = 0;
};

struct FakeInputWorld {
    std::vector<FakeController> controllers;
    DIJOYSTATE2 state{};
    std::vector<FakeEffectRecord> effects; // one per effect made, in order
};

extern FakeInputWorld g_FakeInput;

// A DirectInput interface over g_FakeInput; the caller releases it.
IDirectInput8A* MakeFakeDirectInput();
