// Multiplayer module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

// Start entry: the core's start sequence readies the module with it, once.
void MultiplayerConstructor();
// Stop entry: releases everything the module holds.
void MultiplayerDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void MultiplayerSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData.
void MultiplayerPassCoreDataExport(CoreData* core);
// Around every device re-creation: mode 0 before (release), mode 1 after (rebuild).
void MultiplayerRefreshD3D(std::int32_t mode);
