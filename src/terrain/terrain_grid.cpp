#include "core/win32.h"

#include "terrain/terrain.h"
#include "core/core.h"
#include "terrain/terrain_state.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

std::int32_t PointIndex(const TerrainMatrixRecord& r, std::int32_t x, std::int32_t z) {
    return z * r.xPoints + x;
}

// Grid point (x, z), or null after 7017.
TerrainPoint* PointAt(TerrainMatrixRecord& r, std::int32_t x, std::int32_t z) {
    if (x < 0 || x > r.xSegments || z < 0 || z > r.zSegments) {
        RaiseRuntimeError(kTerrainPointOutside);
        return nullptr;
    }
    return &r.points[PointIndex(r, x, z)];
}

// The point that keeps cell (x, z)'s tile, or null after 7017.
TerrainPoint* CellAt(TerrainMatrixRecord& r, std::int32_t x, std::int32_t z) {
    if (x < 0 || x >= r.xSegments || z < 0 || z >= r.zSegments) {
        RaiseRuntimeError(kTerrainPointOutside);
        return nullptr;
    }
    return &r.points[PointIndex(r, x, z)];
}

// True when the tile is one of the image's sub-pictures; else raises 7016.
bool TileInRange(const TerrainMatrixRecord& r, std::int32_t tile) {
    const std::int64_t tiles = std::int64_t{r.tilesAcross} * r.tilesDown;
    if (tile >= 1 && tile <= tiles) return true;
    RaiseRuntimeError(kTerrainTileIllegal);
    return false;
}

template <typename Fn> void ForEachCell(const TerrainMatrixRecord& r, Fn&& fn) {
    for (std::int32_t z = 0; z < r.zSegments; ++z)
        for (std::int32_t x = 0; x < r.xSegments; ++x)
            fn(x, z);
}

void SetEveryTile(TerrainMatrixRecord& r, std::int32_t tile) {
    ForEachCell(r,
                [&](std::int32_t x, std::int32_t z) { r.points[PointIndex(r, x, z)].tile = tile; });
}

// Where line i (a row or a column) takes its values from in a shift; lines counts the segments.
using LineSource = std::int32_t (*)(std::int32_t i, std::int32_t lines);
std::int32_t FromBefore(std::int32_t i, std::int32_t lines) {
    return i >= 1 ? i - 1 : lines - 1;
}
std::int32_t PointFromAfter(std::int32_t i, std::int32_t lines) {
    return i < lines ? i + 1 : 1;
}
std::int32_t CellFromAfter(std::int32_t i, std::int32_t lines) {
    return (i + 1) % lines;
}

// Moves every point's height and normal, and every cell's tile, one line along z (rows) or x
// (columns), through the scratch copies.
void ShiftGrid(std::int32_t n, bool rows, LineSource pointSource, LineSource cellSource) {
    TerrainMatrixRecord* r = CheckedTerrainMatrix(n);
    if (!r) return;
    const std::int32_t count = r->xPoints * r->zPoints;
    for (std::int32_t i = 0; i < count; ++i) {
        const TerrainPoint& p = r->points[i];
        r->shiftScratch[i] = {p.height, {p.normal[0], p.normal[1], p.normal[2]}};
        r->shiftTiles[i] = p.tile;
    }
    const std::int32_t lines = rows ? r->zSegments : r->xSegments;
    auto from = [&](std::int32_t x, std::int32_t z, LineSource source) {
        return rows ? PointIndex(*r, x, source(z, lines)) : PointIndex(*r, source(x, lines), z);
    };
    for (std::int32_t z = 0; z < r->zPoints; ++z) {
        for (std::int32_t x = 0; x < r->xPoints; ++x) {
            const TerrainShiftEntry& e = r->shiftScratch[from(x, z, pointSource)];
            TerrainPoint& p = r->points[PointIndex(*r, x, z)];
            p.height = e.height;
            std::copy(e.normal, e.normal + 3, p.normal);
        }
    }
    ForEachCell(*r, [&](std::int32_t x, std::int32_t z) {
        r->points[PointIndex(*r, x, z)].tile = r->shiftTiles[from(x, z, cellSource)];
    });
}

void WriteHeights(TerrainVertex* vertices, const TerrainMatrixRecord& r) {
    const std::int32_t sx = r.xSegments, sz = r.zSegments;
    auto put = [&](std::int32_t x, std::int32_t z, int corner, const TerrainPoint& p) {
        if (x < 0 || x >= sx || z < 0 || z >= sz) return;
        TerrainVertex& v = vertices[4 * (z * sx + x) + corner];
        v.z = -p.height;
        v.nx = p.normal[0], v.ny = p.normal[1], v.nz = p.normal[2];
    };
    for (std::int32_t z = 0; z <= sz; ++z) {
        for (std::int32_t x = 0; x <= sx; ++x) {
            const TerrainPoint& p = r.points[PointIndex(r, x, z)];
            put(x, z, 0, p);
            put(x - 1, z, 3, p);
            put(x, z - 1, 1, p);
            put(x - 1, z - 1, 2, p);
        }
    }
}

void WriteTextureCoordinates(TerrainVertex* vertices, const TerrainMatrixRecord& r) {
    const std::int32_t across = r.tilesAcross, down = r.tilesDown;
    if (across == 0 || down == 0) return;
    const float eu = r.insetU, ev = r.insetV;
    ForEachCell(r, [&](std::int32_t x, std::int32_t z) {
        const std::int32_t t = r.points[PointIndex(r, x, z)].tile - 1;
        const float left = static_cast<float>(t % across) / static_cast<float>(across);
        const float top = static_cast<float>(t / across) / static_cast<float>(down);
        const float right = left + 1.0f / static_cast<float>(across);
        const float bottom = top + 1.0f / static_cast<float>(down);
        TerrainVertex* v = vertices + 4 * (z * r.xSegments + x);
        v[0].u = left + eu, v[0].v = bottom - ev;
        v[1].u = left + eu, v[1].v = top + ev;
        v[2].u = right - eu, v[2].v = top + ev;
        v[3].u = right - eu, v[3].v = bottom - ev;
    });
}

// The index of the grid line at or before the coordinate q (in cells), and the one after it,
// both within 0..segments.
void GridLines(float q, std::int32_t segments, std::int32_t& low, std::int32_t& high) {
    double line = std::trunc(static_cast<double>(q));
    if (std::isnan(line)) line = 0;
    line = std::clamp(line, -1.0, static_cast<double>(segments));
    low = std::clamp(static_cast<std::int32_t>(line), 0, segments);
    high = std::clamp(static_cast<std::int32_t>(line) + 1, 0, segments);
}

} // namespace

bool WriteTerrainVertices(TerrainMatrixRecord& r) {
    void* data = nullptr;
    if (!r.vertexBuffer || FAILED(r.vertexBuffer->Lock(0, 0, &data, 0))) {
        ReportInternalError("Failed to lock vertex buffer for matrix manipulation");
        return false;
    }
    auto* vertices = static_cast<TerrainVertex*>(data);
    WriteHeights(vertices, r);
    WriteTextureCoordinates(vertices, r);
    r.vertexBuffer->Unlock();
    return true;
}

void SetTerrainMatrixHeight(std::int32_t n, std::int32_t x, std::int32_t z, float height) {
    if (TerrainMatrixRecord* r = CheckedTerrainMatrix(n))
        if (TerrainPoint* p = PointAt(*r, x, z)) p->height = height;
}

float GetTerrainMatrixHeight(std::int32_t n, std::int32_t x, std::int32_t z) {
    if (TerrainMatrixRecord* r = CheckedTerrainMatrix(n))
        if (TerrainPoint* p = PointAt(*r, x, z)) return p->height;
    return 0.0f;
}

void SetTerrainMatrixNormal(std::int32_t n, std::int32_t x, std::int32_t z, float nx, float ny,
                            float nz) {
    if (TerrainMatrixRecord* r = CheckedTerrainMatrix(n)) {
        if (TerrainPoint* p = PointAt(*r, x, z)) {
            p->normal[0] = nx, p->normal[1] = nz, p->normal[2] = -ny;
        }
    }
}

void SetTerrainMatrixTile(std::int32_t n, std::int32_t x, std::int32_t z, std::int32_t tile) {
    if (TerrainMatrixRecord* r = CheckedTerrainMatrix(n))
        if (TerrainPoint* p = CellAt(*r, x, z))
            if (TileInRange(*r, tile)) p->tile = tile;
}

void FillTerrainMatrix(std::int32_t n, float height, std::int32_t tile) {
    TerrainMatrixRecord* r = CheckedTerrainMatrix(n);
    if (!r || !TileInRange(*r, tile)) return;
    for (std::int32_t i = 0; i < r->xPoints * r->zPoints; ++i)
        r->points[i].height = height;
    SetEveryTile(*r, tile);
}

void RandomizeTerrainMatrix(std::int32_t n, std::int32_t maximum) {
    TerrainMatrixRecord* r = CheckedTerrainMatrix(n);
    if (!r) return;
    for (std::int32_t i = 0; i < r->xPoints * r->zPoints; ++i)
        r->points[i].height = maximum >= 1 ? static_cast<float>(std::rand() % maximum) : 0.0f;
}

// Every cell to tile 1 (when the image holds one), for a newly given tile image.
void ResetTerrainTiles(TerrainMatrixRecord& r) {
    if (TileInRange(r, 1)) SetEveryTile(r, 1);
}

void ShiftTerrainMatrixUp(std::int32_t n) {
    ShiftGrid(n, true, FromBefore, FromBefore);
}
void ShiftTerrainMatrixDown(std::int32_t n) {
    ShiftGrid(n, true, PointFromAfter, CellFromAfter);
}
void ShiftTerrainMatrixRight(std::int32_t n) {
    ShiftGrid(n, false, FromBefore, FromBefore);
}
void ShiftTerrainMatrixLeft(std::int32_t n) {
    ShiftGrid(n, false, PointFromAfter, CellFromAfter);
}

void UpdateTerrainMatrixVertices(std::int32_t n) {
    if (TerrainMatrixRecord* r = CheckedTerrainMatrix(n)) WriteTerrainVertices(*r);
}

float GetTerrainGroundHeight(std::int32_t n, float x, float z) {
    TerrainMatrixRecord* r = CheckedTerrainMatrix(n);
    if (!r) return 0.0f;
    const float cw = TerrainCellSize(r->width, r->xSegments);
    const float cd = TerrainCellSize(r->depth, r->zSegments);
    std::int32_t gx, gx1, gz, gz1;
    GridLines(x / cw, r->xSegments, gx, gx1);
    GridLines(z / cd, r->zSegments, gz, gz1);
    auto h = [&](std::int32_t px, std::int32_t pz) {
        return r->points[PointIndex(*r, px, pz)].height;
    };
    const float h00 = h(gx, gz), h10 = h(gx1, gz), h01 = h(gx, gz1), h11 = h(gx1, gz1);
    const float x0 = static_cast<float>(gx) * cw, z0 = static_cast<float>(gz) * cd;
    const float dx = x - x0, dz = z - z0;
    // The drawn triangles meet on the diagonal from (x0, z0) to (x0 + cw, z0 + cd): compared in
    // cell fractions, so that cells deeper than wide pick the triangle the point lies in.
    const bool upperLeft = dx * cd <= dz * cw;
    const float t = cd != 0.0f ? dz / cd : 0.0f;
    const float xE = x0 + t * cw, hE = h00 + t * (h11 - h00);
    const float xF = upperLeft ? x0 : x0 + cw;
    const float hF = upperLeft ? h00 + t * (h01 - h00) : h10 + t * (h11 - h10);
    if (xF == xE) return hE;
    return hE + (hF - hE) * (x - xE) / (xF - xE);
}
