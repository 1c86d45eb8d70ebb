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

// 1 while the up arrow is down.
std::int32_t IsUpKeyDown();
// 1 while the down arrow is down.
std::int32_t IsDownKeyDown();
// 1 while the left arrow is down.
std::int32_t IsLeftKeyDown();
// 1 while the right arrow is down.
std::int32_t IsRightKeyDown();
// 1 while a Control key is down.
std::int32_t IsControlKeyDown();
// 1 while a Shift key is down.
std::int32_t IsShiftKeyDown();
// 1 while the space bar is down.
std::int32_t IsSpaceKeyDown();
// 1 while Escape is down.
std::int32_t IsEscapeKeyDown();
// 1 while Return is down.
std::int32_t IsReturnKeyDown();
// 1 when the key of this DirectInput code is down; 0 for codes outside 0..255.
std::int32_t KeyState(std::int32_t code);
// The lowest code of a key that is down, or 0.
std::int32_t GetScanCode();

// The pointer's x in display coordinates.
std::int32_t GetMouseX();
// The pointer's y in display coordinates.
std::int32_t GetMouseY();
// The wheel's total movement.
std::int32_t GetMouseZ();
// The x movement since the last call.
std::int32_t GetMouseMoveX();
// The y movement since the last call.
std::int32_t GetMouseMoveY();
// The wheel movement since the last call.
std::int32_t GetMouseMoveZ();
// Bit 1 left, 2 right, 4 middle, 8 the fourth button.
std::int32_t GetMouseClick();
// Moves the pointer to display coordinates x, y.
void PositionMouse(std::int32_t x, std::int32_t y);
// Hides the pointer over the window.
void HideMouse();
// Shows the pointer again.
void ShowMouse();
// Chooses the pointer's shape through the core (0 arrow, 1 hourglass, 2 to 31 numbered).
void SetMouseCursor(std::int32_t cursor);

// Empties the buffer of typed characters.
void ClearEntryBuffer();
// The typed characters as a new string (backspaces applied when processBackspace is 1).
char* ReadEntryBuffer(char* oldString, std::int32_t processBackspace);
// The typed characters as a new string, as they are.
char* GetEntryBufferCopy();

// Joysticks: any attached game controller, chosen by product name and enumeration position.
bool SetupJoystick();
// Takes the first attached joystick again; false when there is none.
bool ResetJoystick();
// Takes the joystick of that name and position (error when none matches).
std::int32_t SelectJoystick(const char* name, std::int32_t index);
// Takes the first joystick of that name.
std::int32_t SelectJoystickByName(const char* name);
// The joystick's product name as a new string.
char* GetJoystickName(char* oldString);
// The attached game controllers, as checklist rows.
void ControlDeviceChecklist();
// 1 while the stick leans up.
std::int32_t JoystickUp();
// 1 while the stick leans down.
std::int32_t JoystickDown();
// 1 while the stick leans left.
std::int32_t JoystickLeft();
// 1 while the stick leans right.
std::int32_t JoystickRight();
// The x axis.
std::int32_t GetJoystickX();
// The y axis.
std::int32_t GetJoystickY();
// The z axis.
std::int32_t GetJoystickZ();
// 1 while button 0 is down.
std::int32_t JoystickFireA();
// 1 while button 1 is down.
std::int32_t JoystickFireB();
// 1 while button 2 is down.
std::int32_t JoystickFireC();
// 1 while button 3 is down.
std::int32_t JoystickFireD();
// 1 while button 0 to 31 is down; 0 for other numbers.
std::int32_t JoystickFireX(std::int32_t button);
// The first slider.
std::int32_t GetJoystickSliderA();
// The second slider.
std::int32_t GetJoystickSliderB();
// The first slider's velocity.
std::int32_t GetJoystickSliderC();
// The second slider's velocity.
std::int32_t GetJoystickSliderD();
// The rotation about x.
std::int32_t GetJoystickTwistX();
// The rotation about y.
std::int32_t GetJoystickTwistY();
// The rotation about z.
std::int32_t GetJoystickTwistZ();
// A point-of-view hat's angle (hundredths of a degree), -1 for hats outside 0 to 3.
std::int32_t GetJoystickHatAngle(std::int32_t hat);
// The x axis read at once, without the shared state.
std::int32_t PollJoystickX();
// The y axis read at once.
std::int32_t PollJoystickY();
// The z axis read at once.
std::int32_t PollJoystickZ();

// Force feedback: magnitudes in percent, angles in degrees, durations in ms (0 = endless).
void ForcePushUp(std::int32_t magnitude);
// A push towards the player.
void ForcePushDown(std::int32_t magnitude);
// A push to the left.
void ForcePushLeft(std::int32_t magnitude);
// A push to the right.
void ForcePushRight(std::int32_t magnitude);
// A push at an angle, for a duration.
void ForcePushAngle(std::int32_t magnitude, std::int32_t angle, std::int32_t duration);
// A fast vibration.
void ForceVibrateFast(std::int32_t magnitude, std::int32_t duration);
// A slow vibration.
void ForceVibrateSlow(std::int32_t magnitude, std::int32_t duration);
// A steady force.
void PlayConstantForce(std::int32_t magnitude, std::int32_t duration);
// Resistance against the stick's movement.
void ForceDamper(std::int32_t magnitude, std::int32_t duration);
// Stops every effect.
void StopForceEffects();
// The stick springs back to the centre.
void ForceAutoCentreOn();
// The stick stays where it is left.
void ForceAutoCentreOff();

// Clipboard text, and values under HKEY_LOCAL_MACHINE. These have no error numbers: a failure
// (no clipboard, a key or name of 255 characters or more, a key that cannot be opened) does
// nothing, and a read then gives 0, an empty string or null.
void WriteClipboard(const char* text);
// The clipboard's text as a new string.
char* ReadClipboard(char* oldString);
// Stores a number under the key.
void WriteRegistry(const char* keyPath, const char* valueName, std::int32_t number);
// A number stored under the key, 0 when missing.
std::int32_t ReadRegistry(const char* keyPath, const char* valueName);
// Stores a string under the key.
void WriteRegistryString(const char* keyPath, const char* valueName, const char* text);
// A string stored under the key as a new string.
char* ReadRegistryString(const char* keyPath, const char* valueName);
