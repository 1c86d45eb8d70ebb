// Camera module: its entries for the core's start and stop sequences and the per-frame passes,
// and the entries other modules keep (camera/camera_record.h).
#pragma once

#include "camera/camera_record.h"
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
// The module's per-pass hook: does nothing.
void CameraUpdate();
// Sets camera 0 up for drawing; skipClear leaves the target uncleared.
void CameraRenderFirstPass(std::int32_t skipClear);
// The first pass with the skip-clear flag 0.
void CameraRenderPass();
// 0 after setting up the next camera, 1 when none is left.
std::int32_t NextCameraRenderPass();
// The camera being rendered, -1 for none.
std::int32_t GetCurrentRenderCamera();

// The camera's record, null when it is missing; it becomes the current record.
CameraRecord* GetCameraInternalData(std::int32_t camera);
// Rebuilds and sends the view and projection of the current record.
void UpdateCameraView();
// The field of view of the current camera, in degrees.
void SetCurrentCameraFOV(float fov);
float GetCameraPositionX(std::int32_t camera);
float GetCameraPositionY(std::int32_t camera);
float GetCameraPositionZ(std::int32_t camera);
void PositionCameraExport(std::int32_t camera, float x, float y, float z);
// Turns the current camera onto a newly made object of the given size.
void AutoCameraFocus(float x, float y, float z, float size);

// Every entry filled; a module copies it when it starts.
CameraBridge GetCameraBridge();
