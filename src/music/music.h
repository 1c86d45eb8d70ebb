// Music module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

void MusicConstructor(HWND);
void MusicDestructor();
void MusicSetErrorHandler(RuntimeErrorRecord* cell);
void MusicPassCoreData(CoreData* core);
void MusicRefreshD3D(std::int32_t mode);
void MusicUpdate();
