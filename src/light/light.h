// Light module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

void LightConstructor(HMODULE);
void LightDestructor();
void LightSetErrorHandler(RuntimeErrorRecord* cell);
void LightPassCoreDataExport(CoreData* core);
void LightRefreshD3D(std::int32_t mode);
