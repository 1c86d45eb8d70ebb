// Terrain matrix module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

void TerrainMatrixConstructor(HMODULE, HMODULE);
void TerrainMatrixDestructor();
void TerrainMatrixSetErrorHandler(RuntimeErrorRecord* cell);
void TerrainMatrixPassCoreData(CoreData* core);
void TerrainMatrixRefreshD3D(std::int32_t mode);
void TerrainMatrixRenderPass0();
void TerrainMatrixRenderPass1();
