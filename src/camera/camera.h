// Camera module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

void CameraConstructor(HMODULE, HMODULE);
void CameraDestructor();
void CameraSetErrorHandler(RuntimeErrorRecord* cell);
void CameraPassCoreDataExport(CoreData* core);
void CameraRefreshD3D(std::int32_t mode);
