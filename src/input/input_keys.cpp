#include "core/win32.h"

#include "input/input.h"
#include "input/input_state.h"
#include "core/core.h"

#include <algorithm>
#include <cmath>
#include <cstring>

InputState g_Input;

void ReleaseInputDevice(IDirectInputDevice8A*& device) {
    if (!device) return;
    device->Unacquire();
    device->Release();
    device = nullptr;
}

namespace {

InputState& s = g_Input;

void ReleaseDevices() {
    ReleaseEffects();
    ReleaseJoystick();
    ReleaseInputDevice(s.keyboard);
    ReleaseInputDevice(s.mouse);
}

void ReleaseAll(const char* message) {
    ReleaseDevices();
    if (s.directInput) s.directInput->Release();
    s.directInput = nullptr;
    ReportInternalError(message);
}

// Creates, formats and acquires one system device; on a failure everything is let go.
bool SetupDevice(IDirectInputDevice8A*& device, REFGUID guid, const DIDATAFORMAT* format,
                 bool formatFirst, const char* const messages[3]) {
    if (!s.directInput) return false;
    if (FAILED(s.directInput->CreateDevice(guid, &device, nullptr))) {
        device = nullptr;
        ReleaseAll(messages[0]);
        return false;
    }
    const DWORD level = DISCL_NONEXCLUSIVE | DISCL_FOREGROUND;
    if (formatFirst && FAILED(device->SetDataFormat(format))) return ReleaseAll(messages[1]), false;
    if (FAILED(device->SetCooperativeLevel(s.window, level))) return ReleaseAll(messages[2]), false;
    if (!formatFirst && FAILED(device->SetDataFormat(format)))
        return ReleaseAll(messages[1]), false;
    device->Acquire();
    return true;
}

void SetupKeyboard() {
    static const char* const messages[3] = {
        "Unable to access keyboard for input library",
        "Failed to set data format for keyboard in input library",
        "Failed to set cooperative level for keyboard in input library"};
    SetupDevice(s.keyboard, GUID_SysKeyboard, &c_dfDIKeyboard, true, messages);
}

void SetupMouse() {
    static const char* const messages[3] = {
        "Unable to access mouse for input library",
        "Failed to set data format for mouse in input library",
        "Failed to set cooperative level for mouse in input library"};
    SetupDevice(s.mouse, GUID_SysMouse, &c_dfDIMouse, false, messages);
}

// Reads the keyboard; a failed read re-acquires it and sees every key up.
void ReadKeys() {
    if (s.keyboard && SUCCEEDED(s.keyboard->GetDeviceState(sizeof s.keyState, s.keyState))) return;
    if (s.keyboard) s.keyboard->Acquire();
    std::memset(s.keyState, 0, sizeof s.keyState);
}

std::int32_t Down(std::uint8_t code) {
    return (s.keyState[code] & 0x80) ? 1 : 0;
}

std::int32_t TestKey(std::uint8_t code) {
    ReadKeys();
    return Down(code);
}

std::int32_t TestKeys(std::uint8_t a, std::uint8_t b) {
    ReadKeys();
    return Down(a) | Down(b);
}

void UpdateMouseState() {
    const DWORD size = sizeof s.mouseState;
    bool read = s.mouse && SUCCEEDED(s.mouse->GetDeviceState(size, &s.mouseState));
    if (!read && s.mouse) {
        s.mouse->Acquire();
        read = SUCCEEDED(s.mouse->GetDeviceState(size, &s.mouseState));
    }
    if (!read) {
        s.mouseState = DIMOUSESTATE{};
        return;
    }
    s.mouseMoveX += s.mouseState.lX;
    s.mouseMoveY += s.mouseState.lY;
    s.mouseMoveZ += s.mouseState.lZ;
    s.mouseWheelTotal += s.mouseState.lZ;
}

std::int32_t Take(std::int32_t& move) {
    UpdateMouseState();
    const std::int32_t value = move;
    move = 0;
    return value;
}

std::int32_t Saturated(double v) {
    return static_cast<std::int32_t>(std::clamp(v, double{INT32_MIN}, double{INT32_MAX}));
}

char* NewString(const char* text, std::size_t length) {
    return ReplaceModuleString(s.core, nullptr, text, length); // null and 101 when none
}

} // namespace

void InputConstructor(HINSTANCE instance) {
    std::memset(s.keyState, 0, sizeof s.keyState);
    s.joystick = nullptr;
    s.wantedName[0] = s.joystickName[0] = 0;
    s.wantedIndex = 0;
    s.forceFeedback = 0;
    for (IDirectInputEffect*& e : s.effects)
        e = nullptr;
    if (FAILED(DirectInput8Create(instance ? instance : GetModuleHandleA(nullptr),
                                  DIRECTINPUT_VERSION, IID_IDirectInput8A,
                                  reinterpret_cast<void**>(&s.directInput), nullptr))) {
        s.directInput = nullptr;
        ReportInternalError("Unable to create DirectInput interface");
    }
}

void InputDestructor() {
    // The CoreData goes with the module: an ended module reads no mouse of an earlier window.
    s.core = nullptr;
    s.window = nullptr;
    if (!s.directInput) return;
    ReleaseDevices();
    s.directInput->Release();
    s.directInput = nullptr;
}

void InputSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}

void InputPassCoreData(CoreData* core) {
    s.core = core;
    s.window = core ? core->window : nullptr;
    s.mouseWheelTotal = 0;
    ReleaseDevices();
    SetupKeyboard();
    SetupMouse();
    s.wantedName[0] = 0;
    s.wantedIndex = 0;
    SetupJoystick();
}

void InputRefreshD3D(std::int32_t) {}
void InputUpdate() {}

std::int32_t IsUpKeyDown() {
    return TestKey(0xC8);
}
std::int32_t IsDownKeyDown() {
    return TestKey(0xD0);
}
std::int32_t IsLeftKeyDown() {
    return TestKey(0xCB);
}
std::int32_t IsRightKeyDown() {
    return TestKey(0xCD);
}
std::int32_t IsControlKeyDown() {
    return TestKeys(0x1D, 0x9D);
}
std::int32_t IsShiftKeyDown() {
    return TestKeys(0x2A, 0x36);
}
std::int32_t IsSpaceKeyDown() {
    return TestKey(0x39);
}
std::int32_t IsEscapeKeyDown() {
    return TestKey(0x01);
}
std::int32_t IsReturnKeyDown() {
    return TestKey(0x1C);
}

std::int32_t KeyState(std::int32_t code) {
    if (code < 0 || code > 255) return 0;
    return TestKey(static_cast<std::uint8_t>(code));
}

std::int32_t GetScanCode() {
    ReadKeys();
    for (int code = 0; code < 256; ++code)
        if (s.keyState[code]) return code;
    return 0;
}

std::int32_t GetMouseX() {
    UpdateMouseState();
    return s.core ? s.core->mouseX : 0;
}

std::int32_t GetMouseY() {
    UpdateMouseState();
    return s.core ? s.core->mouseY : 0;
}

std::int32_t GetMouseZ() {
    UpdateMouseState();
    return s.mouseWheelTotal;
}

std::int32_t GetMouseMoveX() {
    return Take(s.mouseMoveX);
}
std::int32_t GetMouseMoveY() {
    return Take(s.mouseMoveY);
}
std::int32_t GetMouseMoveZ() {
    return Take(s.mouseMoveZ);
}

std::int32_t GetMouseClick() {
    UpdateMouseState();
    std::int32_t buttons = 0;
    for (int i = 0; i < 4; ++i)
        if (s.mouseState.rgbButtons[i] & 0x80) buttons |= 1 << i;
    s.mouseState = DIMOUSESTATE{};
    return buttons;
}

void PositionMouse(std::int32_t x, std::int32_t y) {
    if (!s.core || !s.window) return;
    RECT client{}, window{};
    GetClientRect(s.window, &client);
    const int cw = client.right, ch = client.bottom;
    // In double precision throughout: a far position scaled up or moved by the frame stays on its
    // side of the screen, where 32 bits would wrap it (and the conversion be undefined).
    double cx = x, cy = y;
    if (cw > 0 && ch > 0 && s.core->displayWidth > 0 && s.core->displayHeight > 0) {
        cx = std::trunc(x / (static_cast<double>(s.core->displayWidth) / cw));
        cy = std::trunc(y / (static_cast<double>(s.core->displayHeight) / ch));
    }
    GetWindowRect(s.window, &window);
    const int height = window.bottom - window.top;
    if (height != ch) { // a framed window: add the frame and the caption
        const int border = (window.right - window.left - cw) / 2;
        cx += window.left + border;
        cy += window.top + (height - ch) - border;
    }
    s.core->mouseX = Saturated(cx);
    s.core->mouseY = Saturated(cy);
    SetCursorPos(s.core->mouseX, s.core->mouseY);
}

void HideMouse() {
    if (!s.core || s.core->cursorShown != 1) return;
    s.core->cursorShown = 0;
    ShowCursor(FALSE);
}

void ShowMouse() {
    if (!s.core || s.core->cursorShown != 0) return;
    s.core->cursorShown = 1;
    ShowCursor(TRUE);
}

void SetMouseCursor(std::int32_t cursor) {
    if (s.core && s.core->callbacks.chooseCursor) s.core->callbacks.chooseCursor(cursor);
}

void ClearEntryBuffer() {
    if (s.core && s.core->entryBuffer) s.core->entryBuffer[0] = 0;
}

char* ReadEntryBuffer(char* oldString, std::int32_t processBackspace) {
    const char* entry = s.core ? s.core->entryBuffer : nullptr;
    if (!entry) {
        if (oldString) ResizeModuleString(s.core, &oldString, 0);
        return nullptr;
    }
    const std::size_t length = std::strlen(entry);
    char* result = NewString(entry, length);
    if (!result) return oldString; // the caller keeps it
    result = HandOverModuleString(s.core, oldString, result);
    if (processBackspace != 1) return result;
    std::size_t out = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (entry[i] == 8) {
            if (out > 0) --out;
        } else {
            result[out++] = entry[i];
        }
    }
    result[out] = 0;
    return result;
}

char* GetEntryBufferCopy() {
    const char* entry = s.core ? s.core->entryBuffer : nullptr;
    return entry ? NewString(entry, std::strlen(entry)) : nullptr;
}
