// Camera module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

void CameraConstructor(HMODULE, HMODULE);
void CameraDestructor();
void CameraSetErrorHandler(RuntimeErrorRecord* cell);
void CameraPassCoreDataExport(CoreData* core);
void CameraRefreshD3D(std::int32_t mode);
void CameraUpdate();
void CameraRenderFirstPass(std::int32_t skipClear);
// The first pass with the skip-clear flag 0.
void CameraRenderPass();
// 0 after setting up the next camera, 1 when none is left.
std::int32_t NextCameraRenderPass();
// The camera being rendered, -1 for none.
std::int32_t GetCurrentRenderCamera();
