// Input module: keyboard and mouse through DirectInput 8, one joystick with force-feedback
// effects, the cursor and typed-entry commands, and the clipboard and registry commands. Every
// read goes to the device at the moment of the call; a missing device reads as all keys up and a
// still mouse.
#pragma once

#include "core/core_data.h"

#include <cstdint>

// Start entry: the core's start sequence readies the module with it, once.
void InputConstructor(HINSTANCE instance);
// Stop entry: releases everything the module holds.
void InputDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void InputSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData.
void InputPassCoreData(CoreData* core);
// Around every device re-creation: mode 0 before (release), mode 1 after (rebuild).
void InputRefreshD3D(std::int32_t mode);
// Once a frame, from the frame loop.
void InputUpdate();

std::int32_t IsUpKeyDown();
std::int32_t IsDownKeyDown();
std::int32_t IsLeftKeyDown();
std::int32_t IsRightKeyDown();
std::int32_t IsControlKeyDown();
std::int32_t IsShiftKeyDown();
std::int32_t IsSpaceKeyDown();
std::int32_t IsEscapeKeyDown();
std::int32_t IsReturnKeyDown();
// 1 when the key of this DirectInput code is down; 0 for codes outside 0..255.
std::int32_t KeyState(std::int32_t code);
// The lowest code of a key that is down, or 0.
std::int32_t GetScanCode();

std::int32_t GetMouseX();
std::int32_t GetMouseY();
std::int32_t GetMouseZ();
std::int32_t GetMouseMoveX();
std::int32_t GetMouseMoveY();
std::int32_t GetMouseMoveZ();
// Bit 1 left, 2 right, 4 middle, 8 the fourth button.
std::int32_t GetMouseClick();
void PositionMouse(std::int32_t x, std::int32_t y);
void HideMouse();
void ShowMouse();
void SetMouseCursor(std::int32_t cursor);

void ClearEntryBuffer();
char* ReadEntryBuffer(char* oldString, std::int32_t processBackspace);
char* GetEntryBufferCopy();

// Joysticks: any attached game controller, chosen by product name and enumeration position.
bool SetupJoystick();
bool ResetJoystick();
std::int32_t SelectJoystick(const char* name, std::int32_t index);
std::int32_t SelectJoystickByName(const char* name);
char* GetJoystickName(char* oldString);
void ControlDeviceChecklist();
std::int32_t JoystickUp();
std::int32_t JoystickDown();
std::int32_t JoystickLeft();
std::int32_t JoystickRight();
std::int32_t GetJoystickX();
std::int32_t GetJoystickY();
std::int32_t GetJoystickZ();
std::int32_t JoystickFireA();
std::int32_t JoystickFireB();
std::int32_t JoystickFireC();
std::int32_t JoystickFireD();
std::int32_t JoystickFireX(std::int32_t button);
std::int32_t GetJoystickSliderA();
std::int32_t GetJoystickSliderB();
std::int32_t GetJoystickSliderC();
std::int32_t GetJoystickSliderD();
std::int32_t GetJoystickTwistX();
std::int32_t GetJoystickTwistY();
std::int32_t GetJoystickTwistZ();
std::int32_t GetJoystickHatAngle(std::int32_t hat);
std::int32_t PollJoystickX();
std::int32_t PollJoystickY();
std::int32_t PollJoystickZ();

// Force feedback: magnitudes in percent, angles in degrees, durations in ms (0 = endless).
void ForcePushUp(std::int32_t magnitude);
void ForcePushDown(std::int32_t magnitude);
void ForcePushLeft(std::int32_t magnitude);
void ForcePushRight(std::int32_t magnitude);
void ForcePushAngle(std::int32_t magnitude, std::int32_t angle, std::int32_t duration);
void ForceVibrateFast(std::int32_t magnitude, std::int32_t duration);
void ForceVibrateSlow(std::int32_t magnitude, std::int32_t duration);
void PlayConstantForce(std::int32_t magnitude, std::int32_t duration);
void ForceDamper(std::int32_t magnitude, std::int32_t duration);
void StopForceEffects();
void ForceAutoCentreOn();
void ForceAutoCentreOff();

// Clipboard text, and values under HKEY_LOCAL_MACHINE.
void WriteClipboard(const char* text);
char* ReadClipboard(char* oldString);
void WriteRegistry(const char* keyPath, const char* valueName, std::int32_t number);
std::int32_t ReadRegistry(const char* keyPath, const char* valueName);
void WriteRegistryString(const char* keyPath, const char* valueName, const char* text);
char* ReadRegistryString(const char* keyPath, const char* valueName);
