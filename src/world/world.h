// World module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

void WorldConstructor(HMODULE, HMODULE, HMODULE, HMODULE);
void WorldDestructor();
void WorldSetErrorHandler(RuntimeErrorRecord* cell);
void WorldPassCoreData(CoreData* core);
void WorldUpdate();
void WorldCollisionStart();
void WorldCollisionUpdate();
