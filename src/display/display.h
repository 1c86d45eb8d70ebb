// Display module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

// 1 when the module could start; the core stops its start-up otherwise.
std::int32_t DisplayConstructor();
void DisplayDestructor();
void DisplaySetErrorHandler(RuntimeErrorRecord* cell);
// Phase 0 takes the window, phase 1 readies the first frame.
void DisplayPassCoreData(CoreData* core, std::int32_t phase);

IDirect3DDevice9* GetDirect3DDevice();
void BeginDisplayScene();
void EndDisplayScene();
void PresentDisplay();
void OverrideHWND(HWND window);
bool SetDisplayModeEx(std::int32_t width, std::int32_t height, std::int32_t depth,
                      std::int32_t windowed, std::int32_t vertexProcessing, std::int32_t lockable);
void ClearDisplayExport(std::int32_t red, std::int32_t green, std::int32_t blue);
