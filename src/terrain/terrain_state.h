// The terrain module's own: its state and the operations its source files share (and its tests
// read).
#pragma once

#include "core/core_data.h"
#include "core/idlist.h"
#include "core/item_lookup.h"
#include "image/image_bridge.h"
#include "maths/maths.h"
#include "terrain/terrain_record.h"
#include "core/error_numbers.h"

#include <cstdint>

inline constexpr ItemNumbers kTerrainNumbers{1, 22000000, kTerrainNumberIllegal, kTerrainMissing};

// The side of one cell: a float quotient, so that the cells of a grid span its whole size.
inline float TerrainCellSize(std::int32_t size, std::int32_t segments) {
    return static_cast<float>(size) / static_cast<float>(segments);
}

// Written only by the terrain module, on the main thread. The matrices live from their creation to
// their deletion, a device reset or the Destructor; the pointers of other modules are taken again
// after every device rebuild.
struct TerrainState {
    IdList matrices;                        // number -> TerrainMatrixRecord, owned
    TerrainMatrixRecord* looked = nullptr;  // the last lookup's result
    TerrainMatrixRecord* current = nullptr; // the positioning commands' item
    CoreData* core = nullptr;
    IDirect3DDevice9* device = nullptr;
    ImageBridge images{};
    void (*autoFocus)(float x, float y, float z, float size) = nullptr; // may stay null
    VectorEntries vectors;
};
extern TerrainState g_Terrain;

// The matrix under n, or null; the lookup is kept as the looked-up record.
TerrainMatrixRecord* FindTerrainMatrix(std::int32_t n);
// Looks n up; when it exists it becomes current and true is returned.
bool SelectTerrainMatrix(std::int32_t n);
// The matrix after the number check (7010) and the lookup (7013), made current; null after either.
TerrainMatrixRecord* CheckedTerrainMatrix(std::int32_t n);
// Puts a made record in the list under n; a matrix already there is deleted first.
void AddTerrainMatrix(TerrainMatrixRecord* record, std::int32_t n);
// Removes n's list entry (not the record).
void DeleteTerrainMatrixEntry(std::int32_t n);
// Releases a record's buffers and texture, frees its arrays and the record; null is fine.
void FreeTerrainMatrixRecord(TerrainMatrixRecord* record);
// Deletes every matrix.
void DeleteAllTerrainMatrices();

// A record with its grid, buffers and defaults for the sizes (checked by the caller: each at
// least 1), or null with its reason reported and everything it made freed.
TerrainMatrixRecord* BuildTerrainMatrix(std::int32_t n, float width, float depth, std::int32_t sx,
                                        std::int32_t sz);
// Writes heights, normals and texture coordinates into the vertex buffer; false when it cannot
// be locked.
bool WriteTerrainVertices(TerrainMatrixRecord& r);
// Every cell to tile 1, or 7016 when the tile image has no sub-picture.
void ResetTerrainTiles(TerrainMatrixRecord& r);
// Both passes' drawing: pass 0 the matrices without the late-pass flag, 1 those with it.
void RenderTerrainMatrices(std::int32_t pass);
