// Camera module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

// Start entry: the core's start sequence readies the module with it, once.
void CameraConstructor(HMODULE, HMODULE);
// Stop entry: releases everything the module holds.
void CameraDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void CameraSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData.
void CameraPassCoreDataExport(CoreData* core);
// Around every device re-creation: mode 0 before (release), mode 1 after (rebuild).
void CameraRefreshD3D(std::int32_t mode);
// Once a frame, from the frame loop.
void CameraUpdate();
// Sets camera 0 up for drawing; skipClear leaves the target uncleared.
void CameraRenderFirstPass(std::int32_t skipClear);
// The first pass with the skip-clear flag 0.
void CameraRenderPass();
// 0 after setting up the next camera, 1 when none is left.
std::int32_t NextCameraRenderPass();
// The camera being rendered, -1 for none.
std::int32_t GetCurrentRenderCamera();
