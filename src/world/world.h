// World module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

// Start entry: the core's start sequence readies the module with it, once.
void WorldConstructor(HMODULE, HMODULE, HMODULE, HMODULE);
// Stop entry: releases everything the module holds.
void WorldDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void WorldSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData.
void WorldPassCoreData(CoreData* core);
// Once a frame, from the frame loop.
void WorldUpdate();
// Begins the frame's world collision.
void WorldCollisionStart();
// Resolves the frame's world collision.
void WorldCollisionUpdate();
