// Particles module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

void ParticlesConstructor(HMODULE, HMODULE);
void ParticlesDestructor();
void ParticlesSetErrorHandler(RuntimeErrorRecord* cell);
void ParticlesPassCoreData(CoreData* core);
void ParticlesRefreshD3D(std::int32_t mode);
void ParticlesUpdate();
