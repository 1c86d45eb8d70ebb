// Basic 2D drawing module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

void Basic2DConstructor(HMODULE);
void Basic2DDestructor();
void Basic2DSetErrorHandler(RuntimeErrorRecord* cell);
void Basic2DPassCoreData(CoreData* core);
void Basic2DRefreshD3D(std::int32_t mode);
