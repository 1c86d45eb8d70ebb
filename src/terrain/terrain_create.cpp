#include "core/win32.h"

#include "terrain/terrain.h"
#include "core/core.h"
#include "terrain/terrain_state.h"
#include "text/text.h"

#include <algorithm>
#include <new>

namespace {

// A vertex buffer of at most 256 MiB: 1,864,135 tiles of four 36-byte vertices.
constexpr std::int64_t kMostTiles = (std::int64_t{256} << 20) / (4 * sizeof(TerrainVertex));
constexpr D3DCOLOR kVertexColour = 0x80FFFFFF;
constexpr std::int64_t kMostSingleBufferIndices = 65535;

bool Fail(const char* text) {
    ReportInternalError(text);
    return false;
}

// The whole units of a positive size; 0 when they do not fit the record's int32 (or for NaN).
std::int32_t WholeUnits(float size) {
    if (!(size > 0.0f && size < 2147483648.0f)) return 0;
    return static_cast<std::int32_t>(size);
}

bool AllocateGrid(TerrainMatrixRecord& r, std::int64_t points) {
    const auto count = static_cast<std::size_t>(points);
    r.shiftScratch = new (std::nothrow) TerrainShiftEntry[count]();
    if (!r.shiftScratch) return Fail("Unable to allocate temporary height array for matrix");
    r.shiftTiles = new (std::nothrow) std::int32_t[count]();
    if (!r.shiftTiles) return Fail("Unable to allocate temporary tile array for matrix");
    r.points = new (std::nothrow) TerrainPoint[count];
    if (!r.points) return Fail("Unable to allocate tile properties array for matrix");
    std::fill(r.points, r.points + count, TerrainPoint{0.0f, 0, {0.0f, 0.0f, -1.0f}});
    return true;
}

// The flat grid: four vertices a tile, tile by tile and row by row.
void FillVertices(TerrainVertex* v, const TerrainMatrixRecord& r) {
    const float cw = TerrainCellSize(r.width, r.xSegments);
    const float cd = TerrainCellSize(r.depth, r.zSegments);
    for (std::int32_t z = 0; z < r.zSegments; ++z) {
        for (std::int32_t x = 0; x < r.xSegments; ++x, v += 4) {
            const float x0 = static_cast<float>(x) * cw, x1 = static_cast<float>(x + 1) * cw;
            const float z0 = static_cast<float>(z) * cd, z1 = static_cast<float>(z + 1) * cd;
            v[0] = {x0, z0, 0, 0, 0, -1, kVertexColour, 0, 1};
            v[1] = {x0, z1, 0, 0, 0, -1, kVertexColour, 0, 0};
            v[2] = {x1, z1, 0, 0, 0, -1, kVertexColour, 1, 0};
            v[3] = {x1, z0, 0, 0, 0, -1, kVertexColour, 1, 1};
        }
    }
}

bool MakeVertexBuffer(TerrainMatrixRecord& r, std::int64_t tiles) {
    const auto bytes = static_cast<UINT>(tiles * 4 * sizeof(TerrainVertex));
    if (!r.device ||
        FAILED(r.device->CreateVertexBuffer(bytes, D3DUSAGE_DYNAMIC, kTerrainVertexFormat,
                                            D3DPOOL_DEFAULT, &r.vertexBuffer, nullptr)))
        return Fail("Failed to create matrix vertex buffer");
    void* data = nullptr;
    if (FAILED(r.vertexBuffer->Lock(0, 0, &data, 0)))
        return Fail("Failed to lock vertex buffer for matrix creation");
    FillVertices(static_cast<TerrainVertex*>(data), r);
    if (FAILED(r.vertexBuffer->Unlock()))
        return Fail("Failed to unlock vertex buffer for matrix creation");
    return true;
}

// A 16-bit index buffer for the given tiles, their first vertex 0; null on success, else the
// failing step.
const char* MakeIndexBuffer(IDirect3DDevice9* device, std::int64_t tiles,
                            IDirect3DIndexBuffer9** out) {
    const auto bytes = static_cast<UINT>(tiles * 6 * sizeof(std::uint16_t));
    if (FAILED(device->CreateIndexBuffer(bytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT,
                                         out, nullptr)))
        return "Failed to create index buffer for matrix";
    void* data = nullptr;
    if (FAILED((*out)->Lock(0, 0, &data, 0))) return "Failed to lock index buffer for matrix";
    auto* index = static_cast<std::uint16_t*>(data);
    for (std::int64_t k = 0; k < tiles; ++k, index += 6) {
        const auto b = static_cast<std::uint16_t>(4 * k);
        const std::uint16_t six[6] = {
            b, static_cast<std::uint16_t>(b + 1), static_cast<std::uint16_t>(b + 2),
            b, static_cast<std::uint16_t>(b + 2), static_cast<std::uint16_t>(b + 3)};
        std::copy(six, six + 6, index);
    }
    if (FAILED((*out)->Unlock())) return "Failed to unlock index buffer";
    return nullptr;
}

// One buffer while the indices fit 16 bits, else chunks of at most 21,844 triangles, each rebased
// to its own first vertex.
bool MakeIndexBuffers(TerrainMatrixRecord& r, std::int64_t tiles) {
    if (6 * tiles <= kMostSingleBufferIndices) {
        const char* failure = MakeIndexBuffer(r.device, tiles, &r.indexBuffer);
        return failure ? Fail(failure) : true;
    }
    const std::int64_t triangles = 2 * tiles;
    const std::int64_t chunks = (triangles + kTerrainChunkTriangles - 1) / kTerrainChunkTriangles;
    r.splitBuffers = new (std::nothrow) IDirect3DIndexBuffer9*[static_cast<std::size_t>(chunks)]();
    if (!r.splitBuffers) return false;
    r.splitCount = static_cast<std::uint32_t>(chunks - 1);
    for (std::int64_t k = 0; k < chunks; ++k) {
        const std::int64_t n =
            std::min<std::int64_t>(kTerrainChunkTriangles, triangles - k * kTerrainChunkTriangles);
        if (MakeIndexBuffer(r.device, n / 2, &r.splitBuffers[k])) return false;
    }
    return true;
}

void SetRecordDefaults(TerrainMatrixRecord& r) {
    InitTransformRecord(&r.placement);
    r.tilesAcross = r.tilesDown = 1;
    r.filter = D3DTEXF_LINEAR;
    r.ghostMode = 0;
    r.addressMode = D3DTADDRESS_WRAP;
    r.mipFilter = D3DTEXF_LINEAR;
    r.wireframe = r.lighting = r.culling = r.depthTest = r.fog = r.ambient = 1;
    r.transparency = r.ghost = r.latePass = 0;
    r.insetU = r.insetV = 0.0f;
}

} // namespace

TerrainMatrixRecord* BuildTerrainMatrix(std::int32_t n, float width, float depth, std::int32_t sx,
                                        std::int32_t sz) {
    const std::int32_t w = WholeUnits(width), d = WholeUnits(depth);
    if (w < 1 || d < 1 || sx < 1 || sz < 1) {
        Fail("Invalid parameter specifed for matrix creation");
        return nullptr;
    }
    // Counted in 64 bits and bounded before anything is allocated.
    const TerrainCounts counts = CountTerrain(sx, sz);
    if (counts.tiles > kMostTiles) return nullptr;
    auto* r = new (std::nothrow) TerrainMatrixRecord{};
    if (!r) return nullptr;
    r->number = n;
    r->width = w, r->depth = d;
    r->xSegments = sx, r->zSegments = sz;
    r->xPoints = sx + 1, r->zPoints = sz + 1;
    r->device = g_Terrain.device;
    SetRecordDefaults(*r);
    if (!AllocateGrid(*r, counts.points) || !MakeVertexBuffer(*r, counts.tiles) ||
        !MakeIndexBuffers(*r, counts.tiles)) {
        FreeTerrainMatrixRecord(r);
        return nullptr;
    }
    return r;
}

void CreateTerrainMatrix(std::int32_t n, float width, float depth, std::int32_t xSegments,
                         std::int32_t zSegments) {
    g_Terrain.looked = nullptr;
    if (!CheckItemNumber(n, kTerrainNumbers)) return;
    if (FindTerrainMatrix(n)) return RaiseRuntimeError(kTerrainExists);
    if (!(width > 0.0f) || !(depth > 0.0f)) return RaiseRuntimeError(kTerrainSizeIllegal);
    if (xSegments < 1 || zSegments < 1) return RaiseRuntimeError(kTerrainSegmentsIllegal);
    TerrainMatrixRecord* r = BuildTerrainMatrix(n, width, depth, xSegments, zSegments);
    if (r) AddTerrainMatrix(r, n);
    if (!r || !FindTerrainMatrix(n)) return RaiseRuntimeError(kTerrainCreateFailed);
    TerrainMatrixPlacement::ScaleItem(n, 100, 100, 100);
    TerrainMatrixPlacement::PositionItem(n, 0, 0, 0);
    TerrainMatrixPlacement::RotateItem(n, 90, 0, 0);
    if (g_Terrain.autoFocus)
        g_Terrain.autoFocus(width * 0.5f, 0.0f, depth * 0.5f, (width + depth) * 0.1f);
}
