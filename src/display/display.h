// Display module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

// 1 when the module could start; the core stops its start-up otherwise.
std::int32_t DisplayConstructor();
void DisplayDestructor();
void DisplaySetErrorHandler(RuntimeErrorRecord* cell);
// Phase 0 takes the window, phase 1 readies the first frame.
void DisplayPassCoreData(CoreData* core, std::int32_t phase);
