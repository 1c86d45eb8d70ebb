// Input module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

void InputConstructor(HINSTANCE);
void InputDestructor();
void InputSetErrorHandler(RuntimeErrorRecord* cell);
void InputPassCoreData(CoreData* core);
void InputRefreshD3D(std::int32_t mode);
void InputUpdate();
