// Terrain matrix module: numbered flat grids of tiles (matrices 1 to 22,000,000) whose points
// carry heights, normals and tile numbers, painted from one image cut into sub-pictures, drawn as
// lit, textured triangle lists in the camera passes, and placed with the shared positioning set.
//
// Every command that takes a matrix number checks it first: outside 1..22,000,000 raises 7010, a
// number without a matrix 7013, and nothing changes (read-outs give 0). A found matrix becomes the
// current one of the positioning commands. Grid edits change the grid only; the vertex buffer
// follows at UpdateTerrainMatrixVertices (and the commands that say they call it).
#pragma once

#include "core/core_data.h"
#include "placement/placement.h"

#include <cstdint>

// Module entries.
void TerrainMatrixConstructor(HMODULE display, HMODULE image);
void TerrainMatrixDestructor();
void TerrainMatrixSetErrorHandler(RuntimeErrorRecord* cell);
void TerrainMatrixPassCoreData(CoreData* core);
// 0: deletes every matrix (they do not survive a device reset); 1: takes the device and the other
// modules' entries again and sets the device defaults (fog, light 0).
void TerrainMatrixRefreshD3D(std::int32_t mode);
// A camera pass: the matrices without the late-pass flag.
void TerrainMatrixRenderPass0();
// A later camera pass: the matrices with it; nothing in a reflection's second pass.
void TerrainMatrixRenderPass1();

// A matrix width x depth world units (whole units count) of sx x sz tiles. 7009 when the number
// is in use, 7011 for a size not above 0, 7012 for fewer than one segment, 7015 when it cannot be
// made (a size below 1 unit, more than 1,864,135 tiles, no memory or device buffers).
void CreateTerrainMatrix(std::int32_t n, float width, float depth, std::int32_t xSegments,
                         std::int32_t zSegments);
void DeleteTerrainMatrix(std::int32_t n);

// Grid points (x, z), 0 <= x <= x segments and 0 <= z <= z segments (7017 outside).
void SetTerrainMatrixHeight(std::int32_t n, std::int32_t x, std::int32_t z, float height);
float GetTerrainMatrixHeight(std::int32_t n, std::int32_t x, std::int32_t z);
// A normal (nx, ny, nz) in world terms, kept in the grid's frame as (nx, nz, -ny).
void SetTerrainMatrixNormal(std::int32_t n, std::int32_t x, std::int32_t z, float nx, float ny,
                            float nz);
// Cells (x, z), x < x segments and z < z segments (7017 outside); tiles 1..across x down (7016).
void SetTerrainMatrixTile(std::int32_t n, std::int32_t x, std::int32_t z, std::int32_t tile);
// Every point to the height, then every cell to the tile (7016, and nothing changed, for a bad
// tile).
void FillTerrainMatrix(std::int32_t n, float height, std::int32_t tile);
// Every height to rand() mod maximum, or 0 for a maximum below 1.
void RandomizeTerrainMatrix(std::int32_t n, std::int32_t maximum);

// The tile image cut into across x down sub-pictures (501 bad image number, 502 no image). Across
// or down 0 changes nothing; an image whose sides are not powers of two is remade so first. Every
// cell shows tile 1 and the matrix leaves wire frame; the vertices are rewritten.
void SetTerrainMatrixTexture(std::int32_t n, std::int32_t image, std::int32_t across,
                             std::int32_t down);
// Address mode 0 wrap, 1 mirror, 2 clamp (others change nothing), and the mip filter.
void SetTerrainMatrixTextureMode(std::int32_t n, std::int32_t addressMode, std::int32_t mipFilter);
// Moved inward from every tile's texture edges at the next vertex rewrite.
void SetTerrainMatrixTextureInset(std::int32_t n, float u, float v);
// Each flag is on when its argument is exactly 1; the filter is kept as given.
void SetTerrainMatrixProperties(std::int32_t n, std::int32_t wireframe, std::int32_t transparency,
                                std::int32_t cull, std::int32_t filter, std::int32_t light,
                                std::int32_t fog, std::int32_t ambient);
void TerrainMatrixWireframeOn(std::int32_t n);
void TerrainMatrixWireframeOff(std::int32_t n);
// Ghosting by blend pair 0..4; a ghosted matrix also draws in the late pass.
void GhostTerrainMatrixOn(std::int32_t n);
void GhostTerrainMatrixOn(std::int32_t n, std::int32_t mode);
void GhostTerrainMatrixOff(std::int32_t n);
void SetTerrainMatrixLatePass(std::int32_t n, std::int32_t flag);

// The grid values one row (z) or column (x) on, wrapping: a grid whose first and last rows (or
// columns) match stays seamless.
void ShiftTerrainMatrixUp(std::int32_t n);
void ShiftTerrainMatrixDown(std::int32_t n);
void ShiftTerrainMatrixLeft(std::int32_t n);
void ShiftTerrainMatrixRight(std::int32_t n);

// Writes the grid's heights, normals and tiles into the vertex buffer.
void UpdateTerrainMatrixVertices(std::int32_t n);
// The positioning block's position, then the vertex rewrite.
void PositionTerrainMatrix(std::int32_t n, float x, float y, float z);
// The same from a vector3 item (7801 when it does not exist).
void PositionTerrainMatrixToVector(std::int32_t n, std::int32_t vector);
// Writes the matrix's position into a vector3 item (7801 when it does not exist).
void SetVectorToTerrainMatrixPosition(std::int32_t vector, std::int32_t n);
// The height of the drawn surface under (x, z) in the grid's own units (placement not applied).
float GetTerrainGroundHeight(std::int32_t n, float x, float z);

// 1 when the matrix exists; 7010 (and 0) only for a number outside the range.
std::int32_t TerrainMatrixExist(std::int32_t n);
std::int32_t GetTerrainMatrixTileCount(std::int32_t n); // across x down
std::int32_t TerrainMatrixTilesExist(std::int32_t n);   // 1 when it has a tile texture
std::int32_t TerrainMatrixWireframeState(std::int32_t n);

// The positioning set over terrain matrices (errors 7006 and 7008, see placement/placement.h):
// TerrainMatrixPlacement::RotateItem(n, x, y, z) and so on.
TransformRecord* SelectTerrainPlacement(std::int32_t n);
TransformRecord* CurrentTerrainPlacement();
using TerrainMatrixPlacement = ItemPlacement<SelectTerrainPlacement, CurrentTerrainPlacement>;
// The world rebuild of matrix n; nothing when it does not exist.
void UpdateTerrainMatrixWorld(std::int32_t n);
