// The build of the world's grid: level meshes classified and sorted into 100-unit box cells with
// their collision triangles, the cells linked to their neighbours and their faces closed by the
// level meshes lying on them. The areas and portals follow in universe_areas.cpp.
#include "core/win32.h"

#include "universe/universe.h"
#include "universe/universe_build.h"
#include "object3d/mesh_triangles.h"
#include "object3d/object_records.h"
#include "object3d/vertex_editing.h"
#include "object3d/vertex_layout.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <map>
#include <memory>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

constexpr float kCellSize = 100.0f;
constexpr float kCellHalf = 50.0f;
// Slots of the largest grid made (about 256 cells on each axis): the slot table costs four bytes
// and the visited map one byte a slot, whatever the level holds.
constexpr std::uint64_t kMostGridSlots = 1u << 24;
// Cells of the largest build (a cell record takes about a kilobyte).
constexpr std::int32_t kMostCells = 1 << 17;
// Bounds of an empty world: the cells around the origin still exist.
constexpr float kLeastBoundsXZ = 100.0f;
constexpr float kLeastBoundsTop = 100.0f;
// A mesh spans a cell's axis when both its bounds lie this close to the cell's.
constexpr float kSpanSlack = 0.01f;
// The ray grid that tells a see-through mesh (strength 1) from a solid one.
constexpr std::int32_t kStrengthRays = 10;
constexpr D3DCOLOR kCellSideColour = D3DCOLOR_ARGB(255, 0, 0, 255);

// Scaled collision space: x and z in tenths, y in thirtieths of an engine unit.
constexpr float kScaleX = 0.1f, kScaleY = 1.0f / 30.0f, kScaleZ = 0.1f;

// A root half extent as the whole number the grid is laid on; nothing for a negative or
// unusable one.
std::int32_t GridExtent(float h) {
    if (!(h >= 1.0f)) return 0;
    return static_cast<std::int32_t>(std::min(h, 1.0e8f));
}

// The centre of cell i (counted from the top) on an axis of half extent h.
float CellCentre(std::int32_t h, std::int32_t i) {
    return static_cast<float>(h - 50 - 100 * i);
}

bool Within(const D3DXVECTOR3& p, const D3DXVECTOR3& low, const D3DXVECTOR3& high) {
    return p.x >= low.x && p.x <= high.x && p.y >= low.y && p.y <= high.y && p.z >= low.z &&
           p.z <= high.z;
}

// minimum < p <= maximum on every axis.
bool CentredIn(const D3DXVECTOR3& p, const UniverseNode& cell) {
    const D3DXVECTOR3 low = cell.Minimum(), high = cell.Maximum();
    return p.x > low.x && p.x <= high.x && p.y > low.y && p.y <= high.y && p.z > low.z &&
           p.z <= high.z;
}

// Lists the mesh in the node; one that may be listed there already is looked for first.
void AddMeshToNode(UniverseNode& node, MeshRecord* mesh, bool maybeListed) {
    if (maybeListed && std::find(node.meshes.begin(), node.meshes.end(), mesh) != node.meshes.end())
        return;
    node.meshes.push_back(mesh);
    node.vertexTotal += mesh->vertexCount;
}

// The run of indices on an axis whose cells (centres h - 50 - 100 i, 100 wide) may reach
// [low, high]: one index wider each way than the arithmetic says, within the run of existing
// cells [first, last]; from > to for none. A bound that is not a number reaches no cell.
void ReachingRun(std::int32_t h, std::int32_t first, std::int32_t last, double low, double high,
                 std::int32_t& from, std::int32_t& to) {
    from = first, to = last;
    if (!(low == low) || !(high == high)) {
        to = from - 1;
        return;
    }
    const double a = std::floor((h - 100.0 - high) / kCellSize) - 1;
    const double b = std::ceil((h - low) / kCellSize) + 1;
    if (a > from) from = a > last ? last + 1 : static_cast<std::int32_t>(a);
    if (b < to) to = b < first ? first - 1 : static_cast<std::int32_t>(b);
}

// Appends the mesh's triangles to the cell's, scaled, with the collision value.
void AppendMeshTriangles(UniverseNode& cell, const MeshRecord* mesh, std::int32_t value) {
    VertexOffsetMap map;
    if (!mesh || !mesh->vertices || !GetMeshOffsetMap(mesh, &map) || !map.Z) return;
    const std::int32_t count = MeshTriangleCount(mesh);
    for (std::int32_t f = 0; f < count; ++f) {
        D3DXVECTOR3 p[3];
        if (!MeshTrianglePositions(mesh, map, f, p)) continue;
        UniverseTriangle t{};
        for (int k = 0; k < 3; ++k) {
            t.corners[3 * k] = p[k].x * kScaleX;
            t.corners[3 * k + 1] = p[k].y * kScaleY;
            t.corners[3 * k + 2] = p[k].z * kScaleZ;
        }
        t.value = value;
        cell.triangles.push_back(t);
    }
}

// The mesh's bounds lie within the slack of the cell's on the axis.
bool Spans(const MeshRecord* mesh, const UniverseNode& cell, int axis) {
    const float low = cell.centre[axis] - cell.halfExtents[axis];
    const float high = cell.centre[axis] + cell.halfExtents[axis];
    return std::fabs(mesh->bounds.minimum[axis] - low) <= kSpanSlack &&
           std::fabs(mesh->bounds.maximum[axis] - high) <= kSpanSlack;
}

// The highest y among the vertices the mesh's indices name (all its vertices without indices).
float HighestIndexedY(const MeshRecord* mesh) {
    float top = -100000.0f;
    VertexOffsetMap map;
    if (!mesh->vertices || !GetMeshOffsetMap(mesh, &map) || !map.Z) return top;
    const bool indexed = mesh->indices && mesh->indexCount > 0;
    const std::int32_t count = indexed ? mesh->indexCount : mesh->vertexCount;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int32_t v = indexed ? mesh->indices[i] : i;
        if (v < mesh->vertexCount) top = std::max(top, MeshVertexPosition(mesh, map, v).y);
    }
    return top;
}

// The face of the cell that the mesh lies on, -1 for none.
std::int32_t ChosenSide(const MeshRecord* mesh, const UniverseNode& cell) {
    const D3DXVECTOR3& c = cell.centre;
    const D3DXVECTOR3& m = mesh->bounds.centre;
    const bool x = Spans(mesh, cell, 0), y = Spans(mesh, cell, 1), z = Spans(mesh, cell, 2);
    std::int32_t side = -1;
    if (x && z) side = m.y >= c.y ? kSidePlusY : kSideMinusY;
    if (x && y) side = m.z < c.z ? kSideMinusZ : kSidePlusZ;
    if (y && z) side = m.x < c.x ? kSideMinusX : kSidePlusX;
    return side;
}

void CloseSide(UniverseNodeSide& side, MeshRecord* mesh) {
    side.open = mesh->universeStrength == 1 ? 1 : 0;
    side.mesh = mesh;
    side.strength = mesh->universeStrength;
}

} // namespace

// The corner order of a face's quad, as signs of the box's half extents; the face's own axis is
// set by the caller. Portals use the same order.
const float kQuadCornerSigns[kUniverseSides][4][3] = {
    {{1, 1, 1}, {-1, 1, 1}, {-1, -1, 1}, {1, -1, 1}},
    {{-1, 1, -1}, {1, 1, -1}, {1, -1, -1}, {-1, -1, -1}},
    {{-1, 1, 1}, {1, 1, 1}, {1, 1, -1}, {-1, 1, -1}},
    {{1, -1, 1}, {-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}},
    {{-1, 1, 1}, {-1, 1, -1}, {-1, -1, -1}, {-1, -1, 1}},
    {{1, 1, -1}, {1, 1, 1}, {1, -1, 1}, {1, -1, -1}},
};

const D3DXVECTOR3 kSideNormals[kUniverseSides] = {{0, 0, -1}, {0, 0, 1}, {0, 1, 0},
                                                  {0, -1, 0}, {1, 0, 0}, {-1, 0, 0}};

std::int32_t SideAxis(std::int32_t side) {
    return side <= kSidePlusZ ? 2 : side <= kSideMinusY ? 1 : 0;
}

void FillSideQuads(UniverseNode& node, D3DCOLOR colour) {
    static const float kU[4] = {0, 1, 1, 0}, kV[4] = {0, 0, 1, 1};
    for (std::int32_t s = 0; s < kUniverseSides; ++s) {
        UniverseNodeSide& side = node.sides[s];
        const int axis = SideAxis(s);
        // The face lies on the side of the box its normal points to.
        const float facing = kSideNormals[s][axis];
        for (int k = 0; k < 4; ++k) {
            UniverseQuadVertex& v = side.quad[k];
            for (int a = 0; a < 3; ++a) {
                const float sign = a == axis ? facing : kQuadCornerSigns[s][k][a];
                v.position[a] = node.centre[a] + sign * node.halfExtents[a];
            }
            v.normal = kSideNormals[s];
            v.colour = colour;
            v.u = kU[k];
            v.v = kV[k];
        }
        side.open = 1;
        side.drawable = 1;
    }
}

struct Universe::Structure {
    std::vector<UniverseNode> cells;
    std::vector<UniverseNode*> cellGrid;
    std::uint32_t gridSlots = 0;
    std::vector<std::uint8_t> cellFlags;
    std::uint8_t built = 0;
    D3DXVECTOR3 boundsMax{-1000000, -1000000, -1000000};
    D3DXVECTOR3 boundsMin{1000000, 1000000, 1000000};
    D3DXVECTOR3 cellCentroid{0, 0, 0};
    std::int32_t cellCount = 0;
    std::int32_t grid[6] = {}; // gridX, gridY, gridZ and their halves
    D3DCOLOR debugColour = 0;
    std::vector<std::unique_ptr<UniverseArea>> areas;
    CellAxis cellAxes[3];
    std::int32_t counted = 0;
    std::int32_t areaCount = 0; // the module's global
};

void Universe::SwapStructure(Structure& other) noexcept {
    using std::swap;
    swap(cells, other.cells);
    swap(cellGrid, other.cellGrid);
    swap(gridSlots, other.gridSlots);
    swap(cellFlags, other.cellFlags);
    swap(built, other.built);
    swap(boundsMax, other.boundsMax);
    swap(boundsMin, other.boundsMin);
    swap(cellCentroid, other.cellCentroid);
    swap(cellCount, other.cellCount);
    std::int32_t* grid[6] = {&gridX, &gridY, &gridZ, &halfGridX, &halfGridY, &halfGridZ};
    for (int i = 0; i < 6; ++i)
        swap(*grid[i], other.grid[i]);
    swap(debugColour, other.debugColour);
    swap(areas, other.areas);
    swap(cellAxes_, other.cellAxes);
    swap(counted_, other.counted);
    swap(g_Universe.areaCount, other.areaCount);
}

bool Universe::Build() {
    // Each build replaces the last one's structure, which waits aside until the new one is whole.
    Structure before;
    SwapStructure(before);
    try {
        BuildStructure();
    } catch (const std::exception&) { // no memory (bad_alloc, or a container's length_error)
        taken_ = {};
        SwapStructure(before); // the last build's back; before holds what was made of this one
        ReleaseAreas(std::move(before.areas));
        return false;
    }
    ReleaseAreas(std::move(before.areas));
    return true;
}

void Universe::BuildStructure() {
    built = 1;
    ClassifyLevelMeshes();
    ComputeMeshBounds();
    BuildGrid(false);
    BuildGrid(true);
    AssignMeshesToCells();
    LinkNeighbours();
    // Every cell's faces are laid out before any side mesh is assigned: an assignment closes the
    // neighbour's face too, which laying that cell out afterwards would open again.
    for (std::int32_t i = 0; i < cellCount; ++i)
        FillSideQuads(cells[i], kCellSideColour);
    debugColour = kCellSideColour;
    for (std::int32_t i = 0; i < cellCount; ++i)
        if (!cells[i].meshes.empty()) AssignSideMeshes(cells[i]);
    BuildAreas();
    BuildPortals();
    ComputeCellTriangleBounds();
}

void Universe::ClassifyLevelMeshes() {
    for (MeshRecord* mesh : levelMeshes) {
        if (!mesh) continue;
        if (mesh->collisionKind == 2)
            mesh->universeStrength = 2;
        else if (mesh->collisionKind == 1)
            mesh->universeStrength =
                SampleMeshGrid(mesh, kStrengthRays, kStrengthRays, kStrengthRays);
        else
            mesh->universeStrength = 0;
    }
}

void Universe::ComputeMeshBounds() {
    boundsMin = D3DXVECTOR3(1000000, 1000000, 1000000);
    boundsMax = D3DXVECTOR3(-1000000, -1000000, -1000000);
    for (const MeshRecord* mesh : levelMeshes) {
        if (!mesh) continue;
        D3DXVec3Minimize(&boundsMin, &boundsMin, &mesh->bounds.minimum);
        D3DXVec3Maximize(&boundsMax, &boundsMax, &mesh->bounds.maximum);
    }
    boundsMin.x = std::min(boundsMin.x, -kLeastBoundsXZ);
    boundsMin.y = std::min(boundsMin.y, 0.0f);
    boundsMin.z = std::min(boundsMin.z, -kLeastBoundsXZ);
    boundsMax.x = std::max(boundsMax.x, kLeastBoundsXZ);
    boundsMax.y = std::max(boundsMax.y, kLeastBoundsTop);
    boundsMax.z = std::max(boundsMax.z, kLeastBoundsXZ);
}

std::int32_t Universe::GridCoordinate(std::int32_t axis, float centre) const {
    const std::int32_t half[3] = {halfGridX, halfGridY, halfGridZ};
    const double c = static_cast<double>(centre) / kCellSize;
    if (!(std::fabs(c) < 1.0e9)) return -1;
    return static_cast<std::int32_t>(std::trunc(c)) + half[axis];
}

std::uint32_t GridSlot(const Universe& u, std::int32_t ix, std::int32_t iy, std::int32_t iz) {
    if (ix < 0 || iy < 0 || iz < 0 || ix >= u.gridX || iy >= u.gridY || iz >= u.gridZ) return 0;
    return static_cast<std::uint32_t>((u.gridY * iz + iy) * u.gridX + ix);
}

UniverseNode* Universe::CellAt(std::int32_t ix, std::int32_t iy, std::int32_t iz) const {
    if (ix < 0 || iy < 0 || iz < 0 || ix >= gridX || iy >= gridY || iz >= gridZ) return nullptr;
    const std::uint32_t slot = GridSlot(*this, ix, iy, iz);
    return slot < cellGrid.size() ? cellGrid[slot] : nullptr;
}

void Universe::BuildGrid(bool fill) {
    cellCount = 0;
    cellCentroid = D3DXVECTOR3(0, 0, 0);
    const D3DXVECTOR3 h = root ? root->halfExtents : D3DXVECTOR3(0, 0, 0);
    const std::int32_t hx = GridExtent(h.x), hy = GridExtent(h.y), hz = GridExtent(h.z);
    gridX = hx / 50, gridY = hy / 50, gridZ = hz / 50;
    const std::uint64_t slots = static_cast<std::uint64_t>(gridX) * gridY * gridZ;
    // No grid rather than one that would not fit in memory.
    if (slots > kMostGridSlots || (fill && counted_ > kMostCells)) gridX = gridY = gridZ = 0;
    halfGridX = gridX / 2, halfGridY = gridY / 2, halfGridZ = gridZ / 2;
    gridSlots = static_cast<std::uint32_t>(gridX * gridY * gridZ);
    if (fill) {
        if (gridX == 0) counted_ = 0;
        cells.assign(static_cast<std::size_t>(counted_) + 1, UniverseNode{});
        cellGrid.assign(gridSlots, nullptr);
        cellFlags.assign(gridSlots, 0);
        // A cell exists where its centre lies within the bounds on every axis: each axis alone
        // gives one run of indices.
        const std::int32_t halves[3] = {hx, hy, hz}, dims[3] = {gridX, gridY, gridZ};
        for (int a = 0; a < 3; ++a) {
            CellAxis& axis = cellAxes_[a];
            axis = CellAxis{halves[a], 0, 0};
            for (std::int32_t i = 0; i < dims[a]; ++i) {
                const float c = CellCentre(halves[a], i);
                if (c < boundsMin[a] || c > boundsMax[a]) continue;
                if (axis.count++ == 0) axis.first = i;
            }
        }
    }
    for (std::int32_t i = 0; i < gridY; ++i) {
        for (std::int32_t j = 0; j < gridX; ++j) {
            for (std::int32_t k = 0; k < gridZ; ++k) {
                const D3DXVECTOR3 c(CellCentre(hx, j), CellCentre(hy, i), CellCentre(hz, k));
                const bool exists = Within(c, boundsMin, boundsMax);
                if (fill) {
                    UniverseNode& record = cells[cellCount];
                    record.gridIndex = static_cast<std::int32_t>(
                        GridSlot(*this, GridCoordinate(0, c.x), GridCoordinate(1, c.y),
                                 GridCoordinate(2, c.z)));
                    if (exists) {
                        record.centre = c;
                        record.halfExtents = D3DXVECTOR3(kCellHalf, kCellHalf, kCellHalf);
                        if (!cellGrid.empty()) cellGrid[record.gridIndex] = &record;
                        cellCentroid += c;
                    }
                }
                if (exists) ++cellCount;
            }
        }
    }
    if (!fill) counted_ = cellCount;
    if (cellCount > 0) cellCentroid *= 1.0f / static_cast<float>(cellCount);
}

UniverseNode& Universe::CellByIndex(std::int32_t iy, std::int32_t jx, std::int32_t kz) {
    const CellAxis &x = cellAxes_[0], &y = cellAxes_[1], &z = cellAxes_[2];
    return cells[(static_cast<std::size_t>(iy - y.first) * x.count + (jx - x.first)) * z.count +
                 (kz - z.first)];
}

template <typename Fn>
void Universe::ForEachCellNear(const D3DXVECTOR3& low, const D3DXVECTOR3& high, Fn&& fn) {
    std::int32_t from[3], to[3];
    for (int a = 0; a < 3; ++a) {
        const CellAxis& axis = cellAxes_[a];
        ReachingRun(axis.half, axis.first, axis.first + axis.count - 1, low[a], high[a], from[a],
                    to[a]);
    }
    // In the cells' own order: y, then x, then z.
    for (std::int32_t iy = from[1]; iy <= to[1]; ++iy)
        for (std::int32_t jx = from[0]; jx <= to[0]; ++jx)
            for (std::int32_t kz = from[2]; kz <= to[2]; ++kz)
                fn(CellByIndex(iy, jx, kz));
}

void Universe::AssignMeshesToCells() {
    const D3DXVECTOR3 widen(1, 1, 1);
    std::unordered_set<const MeshRecord*> listed;
    for (std::size_t i = 0; i < levelMeshes.size(); ++i) {
        MeshRecord* mesh = levelMeshes[i];
        if (!mesh) continue;
        const std::int32_t mode = i < collisionModes.size() ? collisionModes[i] : -1;
        MeshRecord* collision = i < collisionMeshes.size() ? collisionMeshes[i] : nullptr;
        const MeshRecord* source = mode == 0                  ? mesh
                                   : (mode == 1 || mode == 2) ? collision
                                                              : nullptr;
        if ((mode == 1 || mode == 2) && !source) source = mesh;
        // A mesh the level lists again is in its cells already; its triangles go in again.
        const bool again = !listed.insert(mesh).second;
        const D3DXVECTOR3 low = mesh->bounds.minimum - widen, high = mesh->bounds.maximum + widen;
        ForEachCellNear(low, high, [&](UniverseNode& cell) {
            if (!BoxesOverlap(low, high, cell.Minimum(), cell.Maximum())) return;
            AddMeshToNode(cell, mesh, again);
            if (source && CentredIn(mesh->bounds.centre, cell))
                AppendMeshTriangles(cell, source, mesh->collisionValue);
        });
    }
}

void Universe::CoordinateRun(int a, std::int32_t low, std::int32_t high, std::int32_t& from,
                             std::int32_t& to) const {
    const CellAxis& axis = cellAxes_[a];
    const auto coordinate = [&](std::int32_t i) {
        return GridCoordinate(a, CellCentre(axis.half, i));
    };
    // The coordinate falls as the index grows: the run starts at the first index at or below
    // high and ends before the first below low.
    const std::int32_t first = axis.first, end = axis.first + axis.count;
    const auto firstWhere = [&](auto&& below) {
        std::int32_t lo = first, hi = end;
        while (lo < hi) {
            const std::int32_t mid = lo + (hi - lo) / 2;
            if (below(coordinate(mid)))
                hi = mid;
            else
                lo = mid + 1;
        }
        return lo;
    };
    from = firstWhere([&](std::int32_t c) { return c <= high; });
    to = firstWhere([&](std::int32_t c) { return c < low; }) - 1;
}

void Universe::LinkNeighbours() {
    // Centres are whole numbers, so equal centres are equal floats: a map finds each neighbour
    // exactly where a comparison of every pair would.
    std::map<std::array<float, 3>, UniverseNode*> byCentre;
    for (std::int32_t c = 0; c < cellCount; ++c)
        byCentre[{cells[c].centre.x, cells[c].centre.y, cells[c].centre.z}] = &cells[c];
    for (std::int32_t c = 0; c < cellCount; ++c) {
        UniverseNode& cell = cells[c];
        for (std::int32_t s = 0; s < kUniverseSides; ++s) {
            // Across side s lies the cell whose centre is 100 along the side's outward normal.
            D3DXVECTOR3 p = cell.centre + kSideNormals[s] * kCellSize;
            auto found = byCentre.find({p.x, p.y, p.z});
            cell.neighbours[s] = found == byCentre.end() ? nullptr : found->second;
        }
    }
}

void Universe::AssignSideMeshes(UniverseNode& cell) {
    if (cell.skipSides) return;
    for (MeshRecord* mesh : cell.meshes) {
        if (!mesh || mesh->universeStrength == 0) continue;
        const std::int32_t side = ChosenSide(mesh, cell);
        if (side < 0) continue;
        if (mesh->universeStrength > cell.sides[side].strength) {
            CloseSide(cell.sides[side], mesh);
            if (UniverseNode* across = cell.neighbours[side])
                CloseSide(across->sides[OppositeSide(side)], mesh);
        }
        if (side == kSideMinusY) cell.sides[side].topHeight = HighestIndexedY(mesh);
    }
}

bool Universe::GetCellSideFlag(std::int32_t side, std::int32_t ix, std::int32_t iy, std::int32_t iz,
                               std::int32_t* strength) const {
    if (side < 0 || side >= kUniverseSides) return false;
    const UniverseNode* cell = CellAt(ix, iy, iz);
    if (!cell) return false;
    const UniverseNodeSide& s = cell->sides[side];
    if (s.strength > 0 && strength) *strength = s.strength;
    return s.open != 0;
}

void Universe::ComputeCellTriangleBounds() {
    for (UniverseNode& cell : cells) {
        cell.triangleMin = D3DXVECTOR3(999999, 999999, 999999);
        cell.triangleMax = D3DXVECTOR3(-999999, -999999, -999999);
        for (const UniverseTriangle& t : cell.triangles) {
            for (int k = 0; k < 3; ++k) {
                const D3DXVECTOR3 p(t.corners[3 * k] * 10.0f, t.corners[3 * k + 1] * 30.0f,
                                    t.corners[3 * k + 2] * 10.0f);
                D3DXVec3Minimize(&cell.triangleMin, &cell.triangleMin, &p);
                D3DXVec3Maximize(&cell.triangleMax, &cell.triangleMax, &p);
            }
        }
    }
}
