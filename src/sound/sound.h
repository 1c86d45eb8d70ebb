// Sound module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

void SoundConstructor(HWND);
void SoundDestructor();
void SoundSetErrorHandler(RuntimeErrorRecord* cell);
void SoundPassCoreData(CoreData* core);
void SoundRefreshD3D(std::int32_t mode);
void SoundUpdate();
