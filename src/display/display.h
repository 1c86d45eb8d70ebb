// Display module: the one Direct3D 9 device, display modes, the frame's scene and present, and
// the window and display commands.
#pragma once

#include "core/core_data.h"

#include <cstdint>

// Module entries. The Constructor gives 1 when Direct3D is there; the core stops otherwise.
std::int32_t DisplayConstructor();
// Stop entry: releases everything the module holds.
void DisplayDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void DisplaySetErrorHandler(RuntimeErrorRecord* cell);
// Phase 0 takes the window (and a host child named in the program's ".ini"), phase 1 readies
// the first frame.
void DisplayPassCoreData(CoreData* core, std::int32_t phase);

// The device, null until a display mode is set and whenever it has been released.
IDirect3DDevice9* GetDirect3DDevice();
// The first depth-stencil format, in the engine's order of preference, that the adapter offers
// for and matches with the target format; D3DFMT_UNKNOWN when none does.
D3DFORMAT ChooseDepthStencilFormat(IDirect3D9* d3d, D3DFORMAT target);
// The depth-stencil format of the display's own device.
D3DFORMAT GetDisplayDepthFormat();
// The Direct3D interface, null before the Constructor or when it failed.
IDirect3D9* GetDirect3DInterface();
// Bits per pixel of a surface format (0 for formats the engine does not draw into).
std::int32_t SurfaceFormatBits(D3DFORMAT format);
// Tells every module to release (0) or rebuild (1) its device objects.
void CallRefreshD3D(std::int32_t mode);

// The full mode change: modules release, a new device, modules rebuild.
void SetDisplayMode(std::int32_t width, std::int32_t height, std::int32_t depth);
// Validates and creates the device (errors 1501 to 1514); true on success.
bool SetDisplayModeCore(std::int32_t width, std::int32_t height, std::int32_t depth,
                        std::int32_t windowed, std::int32_t lockable,
                        std::int32_t vertexProcessing);
// Fills the presentation parameters and creates the device (1510, 1511). Called on its own
// while a device exists, the modules release before and rebuild after, as in a mode change.
bool Setup();
// Creates the device, retrying with software vertex processing (1511 to 1513); the modules
// release and rebuild around it as with Setup.
bool CreateDisplayDevice();
// The command form with every parameter of SetDisplayModeCore.
bool SetDisplayModeEx(std::int32_t width, std::int32_t height, std::int32_t depth,
                      std::int32_t windowed, std::int32_t vertexProcessing, std::int32_t lockable);
// A full-screen mode, hardware vertex processing, no lockable back buffer.
bool SetDisplayModeFullScreen(std::int32_t width, std::int32_t height, std::int32_t depth);
// The same with the windowed flag given.
bool SetDisplayModeWindowFlag(std::int32_t width, std::int32_t height, std::int32_t depth,
                              std::int32_t windowed);
// The same with the vertex processing given.
bool SetDisplayModeVertexProcessing(std::int32_t width, std::int32_t height, std::int32_t depth,
                                    std::int32_t windowed, std::int32_t vertexProcessing);
// A 16-bit full-screen mode.
bool SetDisplayMode16(std::int32_t width, std::int32_t height);
// Resets a full-screen device to windowed, for the console; the modules release before and
// rebuild after, and a reset that fails sets the last mode back up, windowed.
void ResetDeviceWindowed();

// Reads the device's render target and depth surface into CoreData and sets them.
void RestoreRenderTarget();
// Releases CoreData's saved targets and unlocks the back buffer.
void ReleaseSavedRenderTarget();
// Clears the target (and the depth buffer) to an opaque colour.
void ClearDisplay(std::int32_t red, std::int32_t green, std::int32_t blue);
// The same, for the link table.
void ClearDisplayExport(std::int32_t red, std::int32_t green, std::int32_t blue);
// Opens the frame's scene.
void BeginDisplayScene();
// How many scenes have begun: a frame number for code that runs in every camera pass but must
// act once a frame.
std::uint32_t GetDisplaySceneCount();
// Closes an open scene.
void EndDisplayScene();
// Shows the frame, outside any excluded areas; recovers a lost device.
void PresentDisplay();
// A table entry that does nothing.
void DisplayEmptyEntry();

// Window mode and window commands (no effect on screen while a host window embeds the engine).
void SetWindowModeOn();
// Full screen at the next mode set; the window covers the screen.
void SetWindowModeOff();
// Whether the display is windowed.
bool GetWindowedMode();
// Hides the engine window.
void HideEngineWindow();
// Shows the engine window.
void ShowEngineWindow();
// Minimizes the engine window.
void MinimizeEngineWindow();
// Maximizes the engine window.
void MaximizeEngineWindow();
// Restores the engine window from minimized or maximized.
void RestoreEngineWindow();
// The engine window's title.
void SetWindowTitle(const char* title);
// Whether a top-level window of that title exists.
bool WindowExists(const char* title);
// Puts the engine window behind the others.
void WindowToBack();
// Brings the engine window to the front.
void WindowToFront();
// Brings the window of that title to the front.
void NamedWindowToFront(const char* title);
// Puts the window of that title behind the others.
void NamedWindowToBack(const char* title);
// Moves the engine window.
void SetWindowPosition(std::int32_t x, std::int32_t y);
// The engine window's client size, taken within 0 to 16384 pixels.
void SetWindowSize(std::int32_t width, std::int32_t height);
// The window style (1 framed, else borderless kinds), its caption and background.
void SetWindowLayout(std::int32_t style, std::int32_t caption, std::int32_t background);
// Makes the module draw into another window; a handle of no window is reported and refused.
void OverrideHWND(HWND window);
// Reports that the debug mode is off; nothing else.
void SetDisplayDebug();

// Checklists and mode queries.
void DisplayModeChecklist();
// The adapters' names, as checklist strings.
void AdapterNameChecklist();
// Writes "width x height x bits" of adapter 0's mode index into out.
void DisplayModeDescription(std::int32_t index, char* out);
// Whether adapter 0 offers that mode.
bool DisplayModeExists(std::int32_t width, std::int32_t height, std::int32_t depth);
// The current adapter's name as a new string; frees oldString.
char* GetCurrentAdapterName(char* oldString);

// The gamma ramp's steps per colour (255 is linear).
void SetGamma(std::int32_t red, std::int32_t green, std::int32_t blue);
// Reads the gamma steps.
void GetGamma(std::int32_t* red, std::int32_t* green, std::int32_t* blue);

// Dithering on or off.
void SetDitherEnable(std::int32_t on);
// The shade mode (1 flat, 2 Gouraud).
void SetShadeMode(std::int32_t mode);
// Fixed-function lighting on or off.
void SetLightingEnable(std::int32_t on);
// The cull mode (1 none, 2 clockwise, 3 counter-clockwise).
void SetCullMode(std::int32_t mode);
// Specular highlights on or off.
void SetSpecularEnable(std::int32_t on);
// Any render state of the device.
void SetRenderStateValue(std::int32_t state, std::int32_t value);

// Locks the back buffer for the pixel queries below.
void LockBackBuffer();
// Ends the lock.
void UnlockBackBuffer();
// The locked back buffer's values, -1 (all bits set) while it is not locked.
void* GetBackBufferPointer();
// Bytes per row of the locked back buffer.
std::int32_t GetBackBufferPitch();
// Width of the locked back buffer.
std::int32_t GetBackBufferWidth();
// Height of the locked back buffer.
std::int32_t GetBackBufferHeight();
// Bits per pixel of the locked back buffer.
std::int32_t GetBackBufferDepth();

// The display mode's width.
std::int32_t GetDisplayWidth();
// The display mode's height.
std::int32_t GetDisplayHeight();
// The display mode's bits per pixel.
std::int32_t GetDisplayDepth();
// How many adapters Direct3D offers.
std::int32_t GetAdapterCount();
// How many modes adapter 0 offers.
std::int32_t GetDisplayModeCount();
// Whether the device is a hardware (HAL) device.
bool IsHardwareDevice();
// Frames presented in the last second.
std::int32_t GetScreenFps();
// Whether CoreData's display flag was set; clears it.
bool ConsumeDisplayFlag();
// Commands that do not exist in this engine: error 116.
void DisplayNotAvailable();
