#include "core/win32.h"

#include "input/input.h"
#include "input/input_state.h"
#include "core/checklist.h"
#include "core/core.h"
#include "core/error_numbers.h"

#include <cstring>
#include <initializer_list>

namespace {

InputState& s = g_Input;

constexpr DWORD kForceFeedbackDevices = DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK;

// Names longer than the field are cut, never overrun.
void CopyName(char (&to)[kNameLength], const char* from) {
    const std::size_t length = from ? strnlen(from, kNameLength - 1) : 0;
    if (length) std::memcpy(to, from, length);
    to[length] = 0;
}

void SetAxisRange(IDirectInputDevice8A* device, DWORD offset) {
    DIPROPRANGE range{};
    range.diph.dwSize = sizeof range;
    range.diph.dwHeaderSize = sizeof range.diph;
    range.diph.dwObj = offset;
    range.diph.dwHow = DIPH_BYOFFSET;
    range.lMin = -1000;
    range.lMax = 1000;
    device->SetProperty(DIPROP_RANGE, &range.diph);
}

BOOL CALLBACK ChooseJoystick(const DIDEVICEINSTANCEA* instance, void*) {
    const std::int32_t position = s.enumerationCounter++;
    if (s.wantedName[0] && std::strncmp(s.wantedName, instance->tszProductName, kNameLength) != 0)
        return DIENUM_CONTINUE;
    if (position != s.wantedIndex) return DIENUM_CONTINUE;
    IDirectInputDevice8A* device = nullptr;
    if (FAILED(s.directInput->CreateDevice(instance->guidInstance, &device, nullptr)))
        return DIENUM_CONTINUE;
    if (FAILED(device->SetCooperativeLevel(s.window, DISCL_EXCLUSIVE | DISCL_BACKGROUND)) ||
        FAILED(device->SetDataFormat(&c_dfDIJoystick2))) {
        device->Release();
        return DIENUM_CONTINUE;
    }
    for (DWORD offset : {0u, 4u, 8u})
        SetAxisRange(device, offset);
    DIPROPDWORD centre{};
    centre.diph.dwSize = sizeof centre;
    centre.diph.dwHeaderSize = sizeof centre.diph;
    centre.diph.dwHow = DIPH_DEVICE;
    centre.dwData = 0;
    device->SetProperty(DIPROP_AUTOCENTER, &centre.diph);
    ReleaseJoystick();
    s.joystick = device;
    device->Acquire();
    CopyName(s.wantedName, instance->tszProductName);
    s.wantedIndex = position;
    return DIENUM_STOP;
}

bool Enumerate(DWORD flags) {
    s.enumerationCounter = 0;
    s.directInput->EnumDevices(DI8DEVCLASS_GAMECTRL, ChooseJoystick, nullptr, flags);
    return s.joystick != nullptr;
}

void UpdateJoystickState() {
    if (!s.joystick) {
        s.rawState = DIJOYSTATE2{};
    } else if (SUCCEEDED(s.joystick->Poll()) || SUCCEEDED(s.joystick->Acquire())) {
        s.joystick->GetDeviceState(sizeof s.rawState, &s.rawState);
    }
    s.joyState = s.rawState;
}

const DIJOYSTATE2& State() {
    UpdateJoystickState();
    return s.joyState;
}

std::int32_t Button(int n) {
    return (State().rgbButtons[n] & 0x80) ? 1 : 0;
}

const DIJOYSTATE2& Polled() {
    if (!s.joystick)
        s.rawState = DIJOYSTATE2{};
    else if (SUCCEEDED(s.joystick->Poll()) || SUCCEEDED(s.joystick->Acquire()))
        s.joystick->GetDeviceState(sizeof s.rawState, &s.rawState);
    return s.rawState;
}

BOOL CALLBACK CountOrFillRow(const DIDEVICEINSTANCEA* instance, void*) {
    CoreData& core = *s.core;
    const auto length = static_cast<std::int32_t>(strnlen(instance->tszProductName, MAX_PATH));
    if (!s.fillRows) {
        ++core.checklistRowsInUse;
        if (length > s.longestName) s.longestName = length;
        return DIENUM_CONTINUE;
    }
    const std::int32_t row = core.checklistRowsInUse;
    if (row >= core.checklistRowsAllocated || !core.checklistRows[row].string ||
        static_cast<std::int32_t>(core.checklistRows[row].capacity) < length)
        return DIENUM_CONTINUE;
    ChecklistEntry& entry = core.checklistRows[row];
    for (int v = 0; v < 4; ++v)
        entry.values[v] = 0;
    entry.values[0] = length;
    std::memcpy(entry.string, instance->tszProductName, static_cast<std::size_t>(length));
    entry.string[length] = 0;
    ++core.checklistRowsInUse;
    return DIENUM_CONTINUE;
}

BOOL CALLBACK MarkForceFeedbackRow(const DIDEVICEINSTANCEA* instance, void*) {
    CoreData& core = *s.core;
    for (std::int32_t row = 0; row < core.checklistRowsInUse; ++row) {
        ChecklistEntry& entry = core.checklistRows[row];
        if (entry.string && std::strncmp(entry.string, instance->tszProductName, MAX_PATH) == 0)
            entry.values[0] = 1;
    }
    return DIENUM_CONTINUE;
}

} // namespace

void ReleaseJoystick() {
    ReleaseInputDevice(s.joystick);
}

bool SetupJoystick() {
    ReleaseEffects();
    ReleaseJoystick();
    if (!s.directInput) return false;
    if (Enumerate(kForceFeedbackDevices)) {
        CopyName(s.joystickName, s.wantedName);
        s.forceFeedback = 1;
        return true;
    }
    if (Enumerate(DIEDFL_ATTACHEDONLY)) {
        CopyName(s.joystickName, s.wantedName);
        s.forceFeedback = 0;
        return true;
    }
    return false;
}

bool ResetJoystick() {
    s.wantedName[0] = 0;
    s.wantedIndex = 0;
    return SetupJoystick();
}

std::int32_t SelectJoystick(const char* name, std::int32_t index) {
    CopyName(s.wantedName, name);
    s.wantedIndex = index;
    if (SetupJoystick()) return 1;
    RaiseRuntimeError(kNoJoystick);
    return 0;
}

std::int32_t SelectJoystickByName(const char* name) {
    return SelectJoystick(name, 0);
}

char* GetJoystickName(char* oldString) {
    const std::size_t length = strnlen(s.joystickName, sizeof s.joystickName);
    return ReplaceModuleString(s.core, oldString, s.joystickName, length); // kept on 101
}

void ControlDeviceChecklist() {
    if (!s.core || !s.directInput) return;
    CoreData& core = *s.core;
    const std::int32_t inUse = core.checklistRowsInUse;
    core.checklistRowsInUse = 0;
    s.fillRows = false;
    s.directInput->EnumDevices(DI8DEVCLASS_GAMECTRL, CountOrFillRow, nullptr, DIEDFL_ATTACHEDONLY);
    const std::int32_t count = core.checklistRowsInUse;
    // Every row is had before the first is written: out of memory (101) keeps the old list.
    if (!ReserveChecklistRows(count, s.longestName)) {
        core.checklistRowsInUse = inUse;
        return RaiseRuntimeError(kStringNoMemory);
    }
    core.checklistHasValues = core.checklistHasStrings = 1;
    core.checklistRowsInUse = 0;
    s.fillRows = true;
    const bool filled = SUCCEEDED(s.directInput->EnumDevices(DI8DEVCLASS_GAMECTRL, CountOrFillRow,
                                                             nullptr, DIEDFL_ATTACHEDONLY));
    s.fillRows = false;
    if (filled)
        s.directInput->EnumDevices(DI8DEVCLASS_GAMECTRL, MarkForceFeedbackRow, nullptr,
                                   kForceFeedbackDevices);
    core.checklistMade = filled ? 1 : 0;
}

std::int32_t JoystickUp() {
    return State().lY < 0 ? 1 : 0;
}
std::int32_t JoystickDown() {
    return State().lY > 0 ? 1 : 0;
}
std::int32_t JoystickLeft() {
    return State().lX < 0 ? 1 : 0;
}
std::int32_t JoystickRight() {
    return State().lX > 0 ? 1 : 0;
}
std::int32_t GetJoystickX() {
    return State().lX;
}
std::int32_t GetJoystickY() {
    return State().lY;
}
std::int32_t GetJoystickZ() {
    return State().lZ;
}
std::int32_t JoystickFireA() {
    return Button(0);
}
std::int32_t JoystickFireB() {
    return Button(1);
}
std::int32_t JoystickFireC() {
    return Button(2);
}
std::int32_t JoystickFireD() {
    return Button(3);
}

std::int32_t JoystickFireX(std::int32_t button) {
    if (button < 0 || button > 31) {
        UpdateJoystickState();
        return 0;
    }
    return Button(button);
}

std::int32_t GetJoystickSliderA() {
    return State().rglSlider[0];
}
std::int32_t GetJoystickSliderB() {
    return State().rglSlider[1];
}
std::int32_t GetJoystickSliderC() {
    return State().rglVSlider[0];
}
std::int32_t GetJoystickSliderD() {
    return State().rglVSlider[1];
}
std::int32_t GetJoystickTwistX() {
    return State().lRx;
}
std::int32_t GetJoystickTwistY() {
    return State().lRy;
}
std::int32_t GetJoystickTwistZ() {
    return State().lRz;
}

std::int32_t GetJoystickHatAngle(std::int32_t hat) {
    const DIJOYSTATE2& state = State();
    return hat >= 0 && hat <= 3 ? static_cast<std::int32_t>(state.rgdwPOV[hat]) : -1;
}

std::int32_t PollJoystickX() {
    return Polled().lX;
}
std::int32_t PollJoystickY() {
    return Polled().lY;
}
std::int32_t PollJoystickZ() {
    return Polled().lZ;
}
