// Particles module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

// Start entry: the core's start sequence readies the module with it, once.
void ParticlesConstructor(HMODULE, HMODULE);
// Stop entry: releases everything the module holds.
void ParticlesDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void ParticlesSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData.
void ParticlesPassCoreData(CoreData* core);
// Around every device re-creation: mode 0 before (release), mode 1 after (rebuild).
void ParticlesRefreshD3D(std::int32_t mode);
// Once a frame, from the frame loop.
void ParticlesUpdate();
