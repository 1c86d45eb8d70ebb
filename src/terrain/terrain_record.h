// The record of one terrain matrix: a flat grid of tiles whose points carry a height, a normal and
// a tile number, with its device buffers. The vertices lie in the grid's own frame: local x across,
// local y deep, and a point's height h as local z = -h; the matrix's rotation of (90, 0, 0) lays
// that frame into the world's x-z plane with the height along +y.
#pragma once

#include "core/win32.h"

#include "placement/transform_record.h"

#include <cstdint>

// One grid point. The normal is kept in the grid's frame: the default (0, 0, -1) is world up.
struct TerrainPoint {
    float height;
    std::int32_t tile; // 1-based sub-picture of the cell whose corner (x, z) this is; 0 unpainted
    float normal[3];
};

// One vertex, FVF 0x152. Every tile has four of its own (0 at (x, z), 1 at (x, z + 1),
// 2 at (x + 1, z + 1), 3 at (x + 1, z)), so that each tile can show its own sub-picture.
struct TerrainVertex {
    float x, y, z;
    float nx, ny, nz;
    D3DCOLOR diffuse;
    float u, v;
};
static_assert(sizeof(TerrainVertex) == 36);

// A point's height and normal while a shift moves them.
struct TerrainShiftEntry {
    float height;
    float normal[3];
};

constexpr DWORD kTerrainVertexFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;
// Triangles of one split index buffer: the most whole tiles whose 16-bit indices, rebased to the
// chunk's first vertex, stay below 65,536.
constexpr std::int32_t kTerrainChunkTriangles = 21844;

// Made by CreateTerrainMatrix, owned by the module's list until DeleteTerrainMatrix, a device
// reset or the Destructor frees it with everything it holds.
struct TerrainMatrixRecord {
    TransformRecord placement;
    IDirect3DVertexBuffer9* vertexBuffer; // four vertices a tile, dynamic, default pool
    IDirect3DIndexBuffer9* indexBuffer;   // null when the indices are split
    std::uint32_t splitCount;             // split buffers minus one; 0 when not split
    IDirect3DIndexBuffer9** splitBuffers; // splitCount + 1 of them, or null
    IDirect3DTexture9* textures[4];       // slot 0: the tile image's texture (a reference held)
    IDirect3DDevice9* device;             // the device the buffers belong to
    TerrainPoint* points;                 // row-major: (x, z) is z * xPoints + x
    TerrainShiftEntry* shiftScratch;      // one a point
    std::int32_t* shiftTiles;             // one a point
    std::int32_t number;
    std::int32_t width, depth;           // world size, whole units
    std::int32_t xSegments, zSegments;   // tiles across and deep, at least 1
    std::int32_t xPoints, zPoints;       // segments + 1
    std::int32_t tilesAcross, tilesDown; // sub-pictures of the tile image
    std::int32_t filter;                 // D3DTEXTUREFILTERTYPE for magnification and minification
    std::int32_t ghostMode;              // blend pair 0..4
    std::int32_t addressMode;            // D3DTEXTUREADDRESS for u and v
    std::int32_t mipFilter;
    std::uint8_t wireframe, lighting, culling, transparency, depthTest, fog, ambient, ghost;
    std::uint8_t latePass; // drawn by the second pass of a camera instead of the first
    float insetU, insetV;  // moved inward from every tile's texture edges
};

// The counts of a grid of sx x sz tiles, in 64 bits.
struct TerrainCounts {
    std::int64_t tiles, points, vertices, indices;
};
inline TerrainCounts CountTerrain(std::int64_t sx, std::int64_t sz) {
    const std::int64_t tiles = sx * sz;
    return {tiles, (sx + 1) * (sz + 1), 4 * tiles, 6 * tiles};
}
