// What the build's source files share inside the universe module.
#pragma once

#include "core/win32.h"

#include "universe/universe_record.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

// The corner order of a face's quad, as signs of a box's half extents: side s, corner k, axis.
extern const float kQuadCornerSigns[kUniverseSides][4][3];
// The outward normal of each side of a cell.
extern const D3DXVECTOR3 kSideNormals[kUniverseSides];
// The axis a side lies across: 0 x, 1 y, 2 z.
std::int32_t SideAxis(std::int32_t side);
// The six faces of the node's box as quads of the colour, each open and drawable.
void FillSideQuads(UniverseNode& node, D3DCOLOR colour);
// A new box node for the area (its centre, half its extent) and for the portal, with the six
// debug quads in their colours; each returns the colour it used.
D3DCOLOR GiveAreaBox(UniverseArea& area);
D3DCOLOR GivePortalBox(UniversePortal& portal);
// The slot of grid coordinates; 0 for a coordinate outside the grid.
std::uint32_t GridSlot(const Universe& u, std::int32_t ix, std::int32_t iy, std::int32_t iz);
// Frees a world mesh that no list of the world holds, taking it out of the manager's buffers
// first when it is placed there and letting go of its images (which may delete one, and tell
// the world's keeper, which walks the lists). A mesh a ray may have met goes by
// Universe::ReleaseMesh instead.
void FreeWorldMesh(MeshRecord* mesh);
struct WorldMeshDeleter {
    void operator()(MeshRecord* mesh) const { FreeWorldMesh(mesh); }
};
// A world mesh in the making, freed as one when it is not kept.
using WorldMeshPointer = std::unique_ptr<MeshRecord, WorldMeshDeleter>;
// A new mesh copying the mesh alone, with its render settings and bounds; null when it cannot be
// made.
MeshRecord* CopiedMesh(const MeshRecord* mesh);
// Room for more elements, grown as push_back grows a list, so that the pushes after it cannot
// fail: out of memory it throws with the list as it was.
template <typename T> void MakeRoom(std::vector<T>& list, std::size_t more) {
    if (list.capacity() - list.size() >= more) return;
    list.reserve(std::max(list.size() + more, 2 * list.capacity()));
}

// The areas by the 100-unit buckets their boxes cover, so that a build compares an area with the
// few that may touch it or hold a point rather than with every other.
class AreaBuckets {
public:
    explicit AreaBuckets(const std::vector<std::unique_ptr<UniverseArea>>& areas);
    // Ascending, each once: every area whose box shares a point with the box, and a few more.
    std::vector<std::int32_t> Near(const D3DXVECTOR3& minimum, const D3DXVECTOR3& maximum) const;

private:
    static constexpr double kBucketSize = 100;
    static constexpr double kFarthestBucket = 2e6;
    using Entry = std::pair<std::uint64_t, std::int32_t>;
    // The buckets from the one holding the minimum to the one past the maximum; false for a box
    // that is not one.
    bool Buckets(const D3DXVECTOR3& minimum, const D3DXVECTOR3& maximum, std::int64_t low[3],
                 std::int64_t high[3]) const;
    template <typename Fn>
    static void ForEachBucket(const std::int64_t low[3], const std::int64_t high[3], Fn&& fn);
    D3DXVECTOR3 origin_{0, 0, 0};
    std::vector<Entry> entries_; // (bucket, area), sorted
};
