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
bool Setup();
bool CreateDisplayDevice();
bool SetDisplayModeEx(std::int32_t width, std::int32_t height, std::int32_t depth,
                      std::int32_t windowed, std::int32_t vertexProcessing, std::int32_t lockable);
bool SetDisplayModeFullScreen(std::int32_t width, std::int32_t height, std::int32_t depth);
bool SetDisplayModeWindowFlag(std::int32_t width, std::int32_t height, std::int32_t depth,
                              std::int32_t windowed);
bool SetDisplayModeVertexProcessing(std::int32_t width, std::int32_t height, std::int32_t depth,
                                    std::int32_t windowed, std::int32_t vertexProcessing);
bool SetDisplayMode16(std::int32_t width, std::int32_t height);
void ResetDeviceWindowed();

void RestoreRenderTarget();
void ReleaseSavedRenderTarget();
void ClearDisplay(std::int32_t red, std::int32_t green, std::int32_t blue);
void ClearDisplayExport(std::int32_t red, std::int32_t green, std::int32_t blue);
void BeginDisplayScene();
void EndDisplayScene();
void PresentDisplay();
void DisplayEmptyEntry();

// Window mode and window commands (no effect on screen while a host window embeds the engine).
void SetWindowModeOn();
void SetWindowModeOff();
bool GetWindowedMode();
void HideEngineWindow();
void ShowEngineWindow();
void MinimizeEngineWindow();
void MaximizeEngineWindow();
void RestoreEngineWindow();
void SetWindowTitle(const char* title);
bool WindowExists(const char* title);
void WindowToBack();
void WindowToFront();
void NamedWindowToFront(const char* title);
void NamedWindowToBack(const char* title);
void SetWindowPosition(std::int32_t x, std::int32_t y);
void SetWindowSize(std::int32_t width, std::int32_t height);
void SetWindowLayout(std::int32_t style, std::int32_t caption, std::int32_t background);
void OverrideHWND(HWND window);
void SetDisplayDebug();

// Checklists and mode queries.
void DisplayModeChecklist();
void AdapterNameChecklist();
void DisplayModeDescription(std::int32_t index, char* out);
bool DisplayModeExists(std::int32_t width, std::int32_t height, std::int32_t depth);
char* GetCurrentAdapterName(char* oldString);

void SetGamma(std::int32_t red, std::int32_t green, std::int32_t blue);
void GetGamma(std::int32_t* red, std::int32_t* green, std::int32_t* blue);

void SetDitherEnable(std::int32_t on);
void SetShadeMode(std::int32_t mode);
void SetLightingEnable(std::int32_t on);
void SetCullMode(std::int32_t mode);
void SetSpecularEnable(std::int32_t on);
void SetRenderStateValue(std::int32_t state, std::int32_t value);

void LockBackBuffer();
void UnlockBackBuffer();
// The locked back buffer's values, -1 (all bits set) while it is not locked.
void* GetBackBufferPointer();
std::int32_t GetBackBufferPitch();
std::int32_t GetBackBufferWidth();
std::int32_t GetBackBufferHeight();
std::int32_t GetBackBufferDepth();

std::int32_t GetDisplayWidth();
std::int32_t GetDisplayHeight();
std::int32_t GetDisplayDepth();
std::int32_t GetAdapterCount();
std::int32_t GetDisplayModeCount();
bool IsHardwareDevice();
std::int32_t GetScreenFps();
bool ConsumeDisplayFlag();
// Commands that do not exist in this engine: error 116.
void DisplayNotAvailable();
