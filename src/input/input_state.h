// The input module's state, shared by its source files only.
#pragma once

#include "core/core_data.h"

#include <cstdint>

enum ForceEffect {
    kPushUp,
    kPushDown,
    kPushLeft,
    kPushRight,
    kPushAngle,
    kVibrateFast,
    kConstant,
    kVibrateSlow,
    kDamperA,
    kDamperB,
    kEffectCount
};

constexpr int kNameLength = 256;

struct InputState {
    IDirectInput8A* directInput = nullptr;
    IDirectInputDevice8A* keyboard = nullptr;
    IDirectInputDevice8A* mouse = nullptr;
    HWND window = nullptr;
    CoreData* core = nullptr;
    std::uint8_t keyState[256] = {};
    DIMOUSESTATE mouseState{};
    std::int32_t mouseWheelTotal = 0;
    std::int32_t mouseMoveX = 0, mouseMoveY = 0, mouseMoveZ = 0;

    IDirectInputDevice8A* joystick = nullptr;
    std::uint8_t forceFeedback = 0;
    char wantedName[kNameLength] = {};
    std::int32_t wantedIndex = 0;
    char joystickName[kNameLength] = {};
    DIJOYSTATE2 rawState{};
    DIJOYSTATE2 joyState{};
    IDirectInputEffect* effects[kEffectCount] = {};
    std::int32_t longestName = 0;
    bool fillRows = false;
    std::int32_t enumerationCounter = 0;
};

extern InputState g_Input;

// Unacquires and releases a device, once; the pointer is left null. (Tests swap these pointers for
// fakes, so the devices stay raw pointers rather than ComPtr.)
void ReleaseInputDevice(IDirectInputDevice8A*& device);
void ReleaseJoystick();
void ReleaseEffects();
