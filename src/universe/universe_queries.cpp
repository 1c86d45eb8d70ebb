// The world's queries: its meshes by cell, by area batch and by box, a box's visibility through
// the portals, the flat collision buffer, and the ray tests against a mesh's triangles.
#include "core/win32.h"

#include "universe/universe.h"
#include "universe/universe_frustum.h"
#include "object3d/frustum.h"
#include "object3d/mesh_triangles.h"
#include "object3d/object_records.h"
#include "object3d/vertex_layout.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>

namespace {

// The collision buffer: its first size and each growth, in floats (1024 and 512 triangles), and
// the floats that must stay free after a triangle.
constexpr std::uint32_t kFirstTriangleFloats = 9216;
constexpr std::uint32_t kTriangleFloatsGrowth = 4608;
constexpr std::uint32_t kLeastFreeFloats = 5;
// Hits this close to either end of a segment (as a share of its length) do not cross it.
constexpr float kSegmentEndSlack = 1e-4f;
// A box is near an area within this much of its box, and centred near it within the reach.
constexpr float kAreaSlack = 0.01f;
constexpr float kAreaReach = 25.0f;
// Areas one visibility query may enter: a dense portal graph has more paths than any level
// needs, and each path costs a frustum.
constexpr std::int32_t kMostWalkSteps = 4096;
// Portals one visibility query may look at: an area of many portals costs its count at every
// entry, so the entries alone bound nothing.
constexpr std::int32_t kMostWalkLooks = 1 << 17;

// Calls fn(distance, corners) for every triangle the ray from `from` along the unit direction
// meets, until fn answers true; whether it did.
template <typename Fn>
bool ForEachRayHit(const MeshRecord* mesh, const D3DXVECTOR3& from, const D3DXVECTOR3& direction,
                   Fn&& fn) {
    VertexOffsetMap map;
    if (!mesh || !mesh->vertices || !GetMeshOffsetMap(mesh, &map) || !map.Z) return false;
    const std::int32_t count = MeshTriangleCount(mesh);
    for (std::int32_t f = 0; f < count; ++f) {
        D3DXVECTOR3 p[3];
        if (!MeshTrianglePositions(mesh, map, f, p)) continue;
        float u = 0, v = 0, distance = 0;
        if (D3DXIntersectTri(&p[0], &p[1], &p[2], &from, &direction, &u, &v, &distance) &&
            fn(distance, p))
            return true;
    }
    return false;
}

// Whether the segment's box misses the mesh's bounds; bounds never computed miss nothing.
bool MissesBounds(const MeshRecord* mesh, const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    const CollisionBlock& box = mesh->bounds;
    if (box.minimum == D3DXVECTOR3(0, 0, 0) && box.maximum == D3DXVECTOR3(0, 0, 0)) return false;
    D3DXVECTOR3 low, high;
    D3DXVec3Minimize(&low, &a, &b);
    D3DXVec3Maximize(&high, &a, &b);
    const D3DXVECTOR3 slack(0.01f, 0.01f, 0.01f);
    return !BoxesOverlap(low, high, box.minimum - slack, box.maximum + slack);
}

// minimum <= other maximum and other minimum < maximum on every axis.
bool ReachesInto(const D3DXVECTOR3& low, const D3DXVECTOR3& high, const D3DXVECTOR3& boxLow,
                 const D3DXVECTOR3& boxHigh) {
    return low.x <= boxHigh.x && boxLow.x < high.x && low.y <= boxHigh.y && boxLow.y < high.y &&
           low.z <= boxHigh.z && boxLow.z < high.z;
}

} // namespace

bool IntersectMeshRay(const MeshRecord* mesh, const D3DXVECTOR3& from, const D3DXVECTOR3& to,
                      float* bestDistance, UniverseRayContact* contact) {
    D3DXVECTOR3 direction = to - from;
    const float length = D3DXVec3Length(&direction);
    if (!mesh || !bestDistance || !(length > 0)) return false;
    direction /= length;
    bool hit = false;
    ForEachRayHit(mesh, from, direction, [&](float distance, const D3DXVECTOR3* p) {
        if (!(distance < *bestDistance)) return false;
        *bestDistance = distance;
        hit = true;
        if (contact) {
            D3DXVECTOR3 normal;
            const D3DXVECTOR3 e1 = p[1] - p[0], e2 = p[2] - p[0];
            D3DXVec3Cross(&normal, &e1, &e2);
            D3DXVec3Normalize(&contact->normal, &normal);
            contact->point = from + direction * distance;
            contact->mesh = const_cast<MeshRecord*>(mesh);
        }
        return false;
    });
    return hit;
}

bool IntersectSegmentWithMesh(const MeshRecord* mesh, const D3DXVECTOR3& from,
                              const D3DXVECTOR3& to) {
    D3DXVECTOR3 direction = to - from;
    const float length = D3DXVec3Length(&direction);
    if (!mesh || !(length > 0) || MissesBounds(mesh, from, to)) return false;
    direction /= length;
    const float nearest = length * kSegmentEndSlack, farthest = length * (1 - kSegmentEndSlack);
    return ForEachRayHit(mesh, from, direction, [&](float distance, const D3DXVECTOR3*) {
        return distance > nearest && distance < farthest;
    });
}

bool Universe::MeshRayHit(const MeshRecord* mesh, const D3DXVECTOR3& from,
                          const D3DXVECTOR3& to) const {
    return IntersectSegmentWithMesh(mesh, from, to);
}

void Universe::GatherCellMeshes(std::vector<MeshRecord*>& list) const {
    for (std::int32_t c = 0; c < cellCount && c < static_cast<std::int32_t>(cells.size()); ++c)
        list.insert(list.end(), cells[c].meshes.begin(), cells[c].meshes.end());
}

void Universe::GatherAreaBatchMeshes(std::vector<MeshRecord*>& list) const {
    for (const std::unique_ptr<UniverseArea>& area : areas) {
        if (!area) continue;
        for (auto* batches : {&area->batches, &area->secondBatches})
            for (const std::unique_ptr<UniverseBatch>& holder : *batches)
                if (holder && holder->mesh) list.push_back(holder->mesh);
    }
}

void Universe::GatherMeshesInBox(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    D3DXVECTOR3 low, high;
    D3DXVec3Minimize(&low, &a, &b);
    D3DXVec3Maximize(&high, &a, &b);
    queryMeshes.clear();
    // A mesh across many cells is listed once: its caller tests every mesh listed against its
    // segments, and a floor would otherwise come once a cell it covers.
    std::unordered_set<const MeshRecord*> listed;
    for (std::int32_t c = 0; c < cellCount && c < static_cast<std::int32_t>(cells.size()); ++c) {
        const UniverseNode& cell = cells[c];
        if (!ReachesInto(cell.Minimum(), cell.Maximum(), low, high)) continue;
        for (MeshRecord* mesh : cell.meshes)
            if (mesh && ReachesInto(mesh->bounds.minimum, mesh->bounds.maximum, low, high) &&
                listed.insert(mesh).second)
                queryMeshes.push_back(mesh);
    }
}

bool Universe::IsBoxVisibleFromArea(std::int32_t area, const D3DXVECTOR3* eye,
                                    const D3DXVECTOR3& centre, const D3DXVECTOR3& halfExtents) {
    if (area < 1) return true;
    if (area > static_cast<std::int32_t>(areas.size())) return false;
    visibleFrusta.clear();
    visitedAreas[0] = area - 1;
    walkSteps_ = walkLooks_ = 0;
    return WalkPortals(-1, 0, area - 1, eye, centre, halfExtents);
}

bool Universe::WalkPortals(std::int32_t previous, std::int32_t depth, std::int32_t index,
                           const D3DXVECTOR3* eye, const D3DXVECTOR3& centre,
                           const D3DXVECTOR3& halfExtents) {
    if (index < 0 || index >= static_cast<std::int32_t>(areas.size()) || !areas[index])
        return false;
    if (++walkSteps_ > kMostWalkSteps || walkLooks_ > kMostWalkLooks) return false;
    const UniverseArea& area = *areas[index];
    const D3DXVECTOR3 slack(kAreaSlack, kAreaSlack, kAreaSlack);
    const D3DXVECTOR3 reach(kAreaReach, kAreaReach, kAreaReach);
    const D3DXVECTOR3 boxLow = centre - halfExtents, boxHigh = centre + halfExtents;
    const D3DXVECTOR3 low = area.minimum - slack, high = area.maximum + slack;
    const bool touches = boxHigh.x > low.x && boxHigh.y > low.y && boxHigh.z > low.z &&
                         boxLow.x <= high.x && boxLow.y <= high.y && boxLow.z <= high.z;
    const D3DXVECTOR3 reachLow = area.minimum - reach, reachHigh = area.maximum + reach;
    const bool centred = centre.x > reachLow.x && centre.y > reachLow.y && centre.z > reachLow.z &&
                         centre.x <= reachHigh.x && centre.y <= reachHigh.y &&
                         centre.z <= reachHigh.z;
    if (touches && centred) {
        if (depth == 0) return true;
        if (CheckBoxInFrustum(depth, centre.x, centre.y, centre.z, halfExtents.x, halfExtents.y,
                              halfExtents.z)) {
            UniversePlaneSet set;
            std::memcpy(set.planes, FrustumPlaneSets[depth], sizeof set.planes);
            visibleFrusta.push_back(set);
        }
    }
    // The walk stops at the last depth and never enters an area already on its path, so it ends
    // on every portal graph.
    if (depth + 1 >= kUniversePortalDepths) return false;
    const D3DXVECTOR3 origin(0, 0, 0);
    for (const std::unique_ptr<UniversePortal>& portal : area.portals) {
        if (++walkLooks_ > kMostWalkLooks) break;
        if (!portal || portal->strength == 1 || portal->neighbour == previous) continue;
        if (!PortalFacing(*portal, eye)) continue;
        const D3DXVECTOR3& c = portal->centre;
        const D3DXVECTOR3& h = portal->halfExtents;
        if (depth > 0 && !CheckBoxInFrustum(depth, c.x, c.y, c.z, h.x, h.y, h.z)) continue;
        if (std::find(visitedAreas, visitedAreas + depth + 1, portal->neighbour) !=
            visitedAreas + depth + 1)
            continue;
        SavedFrustum saved(depth);
        BuildFrustumFromPoints(depth + 1, eye ? eye : &origin, &portal->corners[0],
                               &portal->corners[1], &portal->corners[2], &portal->corners[3],
                               false);
        visitedAreas[depth + 1] = portal->neighbour;
        WalkPortals(index, depth + 1, portal->neighbour, eye, centre, halfExtents);
    }
    return false;
}

void Universe::AppendTriangle(const float corners[9], std::int32_t value) {
    // The capacity is the buffers' only once both have it: out of memory they stay as they were.
    std::uint32_t capacity = triangleCapacity == 0 ? kFirstTriangleFloats : triangleCapacity;
    while (capacity - triangleFloats < 9 + kLeastFreeFloats)
        capacity += kTriangleFloatsGrowth;
    triangleBuffer.resize(capacity);
    triangleWords.resize(capacity / 9);
    triangleCapacity = capacity;
    std::copy(corners, corners + 9, triangleBuffer.begin() + triangleFloats);
    triangleWords[triangleFloats / 9] = value;
    triangleFloats += 9;
}

void Universe::AppendCellTriangles(const UniverseNode& cell) {
    for (const UniverseTriangle& t : cell.triangles)
        AppendTriangle(t.corners, t.value);
}
