// Movement against the world: the distance along a segment to the nearest level surface, and an
// ellipsoid slid through the collision triangles of the cells around a new position.
#include "core/win32.h"

#include "universe/universe_collision.h"
#include "universe/universe.h"
#include "core/error_numbers.h"
#include "core/no_throw.h"
#include "object3d/mesh_triangles.h"
#include "object3d/object_state.h"
#include "object3d/sliding_collision.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace {

// Farther than any hit a level can give.
constexpr float kNoHitDistance = 99999.0f;
// The volume query's box about the new position, and the ellipsoid's radii (the inverse of the
// collision triangles' scaling).
const D3DXVECTOR3 kQueryReach(20, 40, 20);
const D3DXVECTOR3 kEllipsoid(10, 30, 10);
// A decal tests its surface's triangles once for each of its corners.
constexpr std::uint64_t kDecalCorners = 4;

// Strictly overlapping on every axis.
bool OverlapsStrictly(const D3DXVECTOR3& lowA, const D3DXVECTOR3& highA, const D3DXVECTOR3& lowB,
                      const D3DXVECTOR3& highB) {
    return highA.x > lowB.x && lowA.x < highB.x && highA.y > lowB.y && lowA.y < highB.y &&
           highA.z > lowB.z && lowA.z < highB.z;
}

// The state of one ray query: its segment, the nearest hit so far, and the answer.
struct RayWalk {
    D3DXVECTOR3 from, to, low, high;
    float length = 0;
    float best = kNoHitDistance;
    std::int32_t result = 0;
    UniverseRayContact contact;
    // Meshes already tested: a mesh held by many batches, or touching many cells, is tested
    // once, so that a query walks each mesh's triangles at most once (what the load charged).
    std::unordered_set<const MeshRecord*> tested;

    // Tests one mesh; a nearer hit within the segment becomes the answer and the contact. A mesh
    // tested again could not come nearer.
    void Test(MeshRecord* mesh) {
        if (!mesh || !BoxesOverlap(low, high, mesh->bounds.minimum, mesh->bounds.maximum) ||
            !tested.insert(mesh).second)
            return;
        UniverseRayContact hit;
        if (!IntersectMeshRay(mesh, from, to, &best, &hit) || !(length > best)) return;
        result = std::max(static_cast<std::int32_t>(best), 1);
        contact = hit;
    }
};

// The cells of the 3 x 3 x 3 block about a cell, each once: a structure file's links may name
// one cell from many sides, and gathering it each time would copy its triangles as often.
class BlockCells {
public:
    void Add(const UniverseNode* cell) {
        if (cell && std::find(cells_, cells_ + count_, cell) == cells_ + count_)
            cells_[count_++] = cell;
    }
    // A cell and the cells above and below it.
    void AddColumn(const UniverseNode* cell) {
        if (!cell) return;
        Add(cell);
        Add(cell->neighbours[kSidePlusY]);
        Add(cell->neighbours[kSideMinusY]);
    }
    const UniverseNode* const* begin() const { return cells_; }
    const UniverseNode* const* end() const { return cells_ + count_; }

private:
    const UniverseNode* cells_[27] = {};
    int count_ = 0;
};

// The block of rows along z and columns along y about the cell, in the order its triangles are
// gathered.
BlockCells BlockAbout(const UniverseNode* found) {
    BlockCells block;
    const UniverseNode* rows[3] = {found->neighbours[kSideMinusZ], found->neighbours[kSidePlusZ],
                                   found};
    for (const UniverseNode* row : rows) {
        if (!row) continue;
        block.AddColumn(row);
        block.AddColumn(row->neighbours[kSidePlusX]);
        block.AddColumn(row->neighbours[kSideMinusX]);
    }
    return block;
}

// Whether the cell's triangles reach into the query box.
bool ReachesBox(const UniverseNode* cell, const D3DXVECTOR3& low, const D3DXVECTOR3& high) {
    return cell->triangleMin.x <= high.x && cell->triangleMin.y <= high.y &&
           cell->triangleMin.z <= high.z && cell->triangleMax.x >= low.x &&
           cell->triangleMax.y >= low.y && cell->triangleMax.z >= low.z;
}

} // namespace

std::int32_t Universe::RayQuery(float x1, float y1, float z1, float x2, float y2, float z2) {
    rayTested = 1;
    return RayCollide(x1, y1, z1, x2, y2, z2);
}

std::int32_t Universe::RayCollide(float x1, float y1, float z1, float x2, float y2, float z2) {
    RayWalk ray;
    ray.from = D3DXVECTOR3(x1, y1, z1);
    ray.to = D3DXVECTOR3(x2, y2, z2);
    D3DXVec3Minimize(&ray.low, &ray.from, &ray.to);
    D3DXVec3Maximize(&ray.high, &ray.from, &ray.to);
    const D3DXVECTOR3 span = ray.to - ray.from;
    ray.length = D3DXVec3Length(&span);
    raySegment[0] = ray.from;
    raySegment[1] = ray.to;
    for (const std::unique_ptr<UniverseArea>& area : areas) {
        if (!area || !OverlapsStrictly(ray.low, ray.high, area->minimum, area->maximum)) continue;
        if (!textureMeshes.empty()) {
            for (auto* list : {&area->batches, &area->secondBatches})
                for (const std::unique_ptr<UniverseBatch>& holder : *list)
                    if (holder) ray.Test(holder->mesh);
            continue;
        }
        for (const UniverseNode* cell : area->cells)
            if (cell)
                for (MeshRecord* mesh : cell->meshes)
                    ray.Test(mesh);
    }
    if (ray.result) rayContact = ray.contact;
    return ray.result;
}

bool Universe::VolumeQuery(float ox, float oy, float oz, float nx, float ny, float nz, float mode) {
    return VolumeCollide(ox, oy, oz, nx, ny, nz, mode);
}

bool Universe::VolumeCollide(float ox, float oy, float oz, float nx, float ny, float nz,
                             float mode) {
    const D3DXVECTOR3 target(nx, ny, nz);
    const UniverseNode* found = nullptr;
    const std::int32_t count = std::min(cellCount, static_cast<std::int32_t>(cells.size()));
    for (std::int32_t c = 0; c < count && !found; ++c)
        if (BoxesOverlap(target, target, cells[c].Minimum(), cells[c].Maximum())) found = &cells[c];

    const D3DXVECTOR3 low = target - kQueryReach, high = target + kQueryReach;
    triangleFloats = 0;
    if (found)
        for (const UniverseNode* cell : BlockAbout(found))
            if (ReachesBox(cell, low, high)) AppendCellTriangles(*cell);
    // A slide that touches nothing leaves nothing of an earlier query's result behind.
    CollisionResult& block = g_Object3D.universeCollision;
    block = CollisionResult{};
    block.valid = 1;
    if (triangleFloats == 0) return false;
    PrepareUniverseCollision();
    const bool hit = SlideAgainstUniverse(ox, oy, oz, nx, ny, nz, kEllipsoid.x, kEllipsoid.y,
                                          kEllipsoid.z, mode) != 0;
    statistics[2] += static_cast<std::int32_t>(triangleFloats / 9);
    statistics[3] += 1;
    block.valid = 1;
    return hit;
}

std::uint64_t Universe::LongestCallTriangleTests() const {
    std::uint64_t meshes = 0, largest = 0, block = 0;
    for (const MeshRecord* mesh : textureMeshes) {
        const auto n = static_cast<std::uint64_t>(std::max(MeshTriangleCount(mesh), 0));
        meshes += n;
        largest = std::max(largest, n);
    }
    const std::int32_t count = std::min(cellCount, static_cast<std::int32_t>(cells.size()));
    for (std::int32_t c = 0; c < count; ++c) {
        std::uint64_t gathered = 0;
        for (const UniverseNode* cell : BlockAbout(&cells[c]))
            gathered += cell->triangles.size();
        block = std::max(block, gathered);
    }
    return std::max({meshes, kDecalCorners * largest, block});
}

// Out of memory, either raises 101 and answers 0.
std::int32_t UniverseRayCommand(float x1, float y1, float z1, float x2, float y2, float z2) {
    Universe* world = UniversePointer();
    if (!world) return 0;
    return NoThrow(kStringNoMemory, 0, [&] { return world->RayQuery(x1, y1, z1, x2, y2, z2); });
}

std::int32_t UniverseVolumeCommand(float ox, float oy, float oz, float nx, float ny, float nz,
                                   float mode) {
    Universe* world = UniversePointer();
    if (!world) return 0;
    return NoThrow(kStringNoMemory, 0,
                   [&] { return world->VolumeQuery(ox, oy, oz, nx, ny, nz, mode) ? 1 : 0; });
}
