// Terrain matrix module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

// Start entry: the core's start sequence readies the module with it, once.
void TerrainMatrixConstructor(HMODULE, HMODULE);
// Stop entry: releases everything the module holds.
void TerrainMatrixDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void TerrainMatrixSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData.
void TerrainMatrixPassCoreData(CoreData* core);
// Around every device re-creation: mode 0 before (release), mode 1 after (rebuild).
void TerrainMatrixRefreshD3D(std::int32_t mode);
// A camera pass: the terrain drawn before the objects.
void TerrainMatrixRenderPass0();
// A camera pass: the terrain drawn after the shadows.
void TerrainMatrixRenderPass1();
