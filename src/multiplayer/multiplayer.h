// Multiplayer module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

void MultiplayerConstructor();
void MultiplayerDestructor();
void MultiplayerSetErrorHandler(RuntimeErrorRecord* cell);
void MultiplayerPassCoreDataExport(CoreData* core);
void MultiplayerRefreshD3D(std::int32_t mode);
