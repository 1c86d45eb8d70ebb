// The build's areas and portals: open cells grown greedily into boxes, and the openings where
// two of those boxes touch through faces open on both sides.
#include "core/win32.h"

#include "universe/universe.h"
#include "universe/universe_build.h"

#include <algorithm>
#include <cmath>

namespace {

// A box of grid coordinates: x0, x1, y0, y1, z0, z1.
enum { kX0, kX1, kY0, kY1, kZ0, kZ1 };

constexpr D3DCOLOR kAreaSideColour = D3DCOLOR_ARGB(255, 0, 0, 255);
constexpr D3DCOLOR kSeeThroughPortalColour = D3DCOLOR_ARGB(64, 0, 128, 0);
constexpr D3DCOLOR kPortalColour = D3DCOLOR_ARGB(64, 128, 0, 0);

// Grid coordinates of a cell from its centre.
void CellCoordinates(const Universe& u, const UniverseNode& cell, std::int32_t out[3]) {
    for (int a = 0; a < 3; ++a)
        out[a] = u.GridCoordinate(a, cell.centre[a]);
}

// The grid coordinates an area covers, from its corners.
void AreaGridBox(const Universe& u, const UniverseArea& area, std::int32_t box[6]) {
    for (int a = 0; a < 3; ++a) {
        box[2 * a] = u.GridCoordinate(a, area.minimum[a] + 50.0f);
        box[2 * a + 1] = u.GridCoordinate(a, area.maximum[a] - 50.0f);
    }
}

// Grid boxes are laid out x, y, z; directions grow z, z, y, y, x, x.
int DirectionAxis(std::int32_t d) {
    return d <= 1 ? 2 : d <= 3 ? 1 : 0;
}
bool DirectionGrowsUp(std::int32_t d) {
    return d == 1 || d == 2 || d == 4;
}

// An area's box in whole units, as the portal build compares them.
struct WholeBox {
    std::int32_t minimum[3];
    std::int32_t maximum[3];
};

WholeBox Whole(const UniverseArea& area) {
    WholeBox box;
    for (int a = 0; a < 3; ++a) {
        box.minimum[a] = static_cast<std::int32_t>(std::trunc(area.minimum[a]));
        box.maximum[a] = static_cast<std::int32_t>(std::trunc(area.maximum[a]));
    }
    return box;
}

// How two areas touch: the axis, the plane, whether A lies on its high side, the portal's side
// code and the faces tested on A's and B's cells.
struct Touch {
    int axis = -1;
    std::int32_t plane = 0;
    bool aAbove = false;
    std::int32_t side = 0;
    std::int32_t faceA = 0;
    std::int32_t faceB = 0;
};

bool RangesMeet(const WholeBox& a, const WholeBox& b, int axis) {
    return a.minimum[axis] <= b.maximum[axis] && b.minimum[axis] <= a.maximum[axis];
}

// The last of the z, x and y touches that holds.
Touch FindTouch(const WholeBox& a, const WholeBox& b) {
    Touch touch;
    // axis, side when A is above, faces (B, A) above; then the same when A is below.
    struct Rule {
        int axis, other1, other2;
        std::int32_t sideAbove, faceBAbove, faceAAbove, sideBelow, faceBBelow, faceABelow;
    };
    static const Rule kRules[3] = {
        {2, 0, 1, 1, 1, 0, 0, 0, 1}, {0, 1, 2, 4, 4, 5, 5, 5, 4}, {1, 0, 2, 3, 2, 3, 2, 3, 2}};
    for (const Rule& r : kRules) {
        if (!RangesMeet(a, b, r.other1) || !RangesMeet(a, b, r.other2)) continue;
        if (a.minimum[r.axis] == b.maximum[r.axis])
            touch = {r.axis, a.minimum[r.axis], true, r.sideAbove, r.faceAAbove, r.faceBAbove};
        else if (a.maximum[r.axis] == b.minimum[r.axis])
            touch = {r.axis, a.maximum[r.axis], false, r.sideBelow, r.faceABelow, r.faceBBelow};
    }
    return touch;
}

// One run of open steps along a touching face.
struct PortalRun {
    bool open = false;
    D3DXVECTOR3 minimum{99999, 99999, 99999};
    D3DXVECTOR3 maximum{-99999, -99999, -99999};
    std::int32_t strength = 0;
};

} // namespace

void Universe::BuildAreas() {
    taken_.assign(gridSlots, 0);
    for (std::int32_t c = 0; c < cellCount; ++c) {
        if (cells[c].assigned) continue;
        std::int32_t at[3];
        CellCoordinates(*this, cells[c], at);
        std::int32_t box[6] = {at[0], at[0], at[1], at[1], at[2], at[2]};
        // A cell sharing its grid coordinates with a cell of an area made (the grid's middle
        // coordinate holds two cells when the root's extent is a whole hundred) starts an area
        // that meets that one whichever way it grows.
        for (std::int32_t d = 0; d < kUniverseSides && !Taken(at[0], at[1], at[2]); ++d) {
            const int axis = DirectionAxis(d);
            while (AreaMayGrow(box, d)) {
                if (DirectionGrowsUp(d))
                    ++box[2 * axis + 1];
                else
                    --box[2 * axis];
            }
        }
        MakeArea(box);
        MarkTaken(*areas.back());
    }
    taken_ = {};
    for (const std::unique_ptr<UniverseArea>& area : areas)
        debugColour = GiveAreaBox(*area);
    g_Universe.areaCount = static_cast<std::int32_t>(areas.size());
}

bool Universe::Taken(std::int32_t ix, std::int32_t iy, std::int32_t iz) const {
    if (ix < 0 || iy < 0 || iz < 0 || ix >= gridX || iy >= gridY || iz >= gridZ) return false;
    const std::uint32_t slot = GridSlot(*this, ix, iy, iz);
    return slot < taken_.size() && taken_[slot];
}

void Universe::MarkTaken(const UniverseArea& area) {
    std::int32_t box[6];
    AreaGridBox(*this, area, box);
    const std::int32_t dims[3] = {gridX, gridY, gridZ};
    // Only slots inside the grid are ever grown into.
    for (int a = 0; a < 3; ++a) {
        box[2 * a] = std::max(box[2 * a], 0);
        box[2 * a + 1] = std::min(box[2 * a + 1], dims[a] - 1);
    }
    for (std::int32_t z = box[kZ0]; z <= box[kZ1]; ++z)
        for (std::int32_t y = box[kY0]; y <= box[kY1]; ++y)
            for (std::int32_t x = box[kX0]; x <= box[kX1]; ++x) {
                const std::uint32_t slot = GridSlot(*this, x, y, z);
                if (slot < taken_.size()) taken_[slot] = 1;
            }
}

bool Universe::AreaMayGrow(const std::int32_t box[6], std::int32_t d) const {
    const int axis = DirectionAxis(d);
    const bool up = DirectionGrowsUp(d);
    const std::int32_t dims[3] = {gridX, gridY, gridZ};
    const std::int32_t edge = up ? box[2 * axis + 1] : box[2 * axis];
    const std::int32_t layer = up ? edge + 1 : edge - 1;
    if (layer < 0 || layer >= dims[axis]) return false;
    std::int32_t grown[6];
    std::copy(box, box + 6, grown);
    grown[up ? 2 * axis + 1 : 2 * axis] = layer;
    // Every cell of the face and the cell beyond it must exist and be open towards each other.
    std::int32_t scan[6];
    std::copy(grown, grown + 6, scan);
    scan[2 * axis] = scan[2 * axis + 1] = layer;
    for (std::int32_t x = scan[kX0]; x <= scan[kX1]; ++x)
        for (std::int32_t y = scan[kY0]; y <= scan[kY1]; ++y)
            for (std::int32_t z = scan[kZ0]; z <= scan[kZ1]; ++z) {
                std::int32_t q[3] = {x, y, z};
                q[axis] = edge;
                // The box grown so far meets no area made: the grown one meets one where the
                // new layer does.
                if (!GetCellSideFlag(d, q[0], q[1], q[2]) ||
                    !GetCellSideFlag(OppositeSide(d), x, y, z) || Taken(x, y, z))
                    return false;
                const bool zInside = z > box[kZ0] && z < box[kZ1];
                const bool yInside = y > box[kY0] && y < box[kY1];
                if (axis != 2 && zInside &&
                    (!GetCellSideFlag(kSideMinusZ, x, y, z) ||
                     !GetCellSideFlag(kSidePlusZ, x, y, z - 1)))
                    return false;
                if (axis == 0 && yInside &&
                    (!GetCellSideFlag(kSidePlusY, x, y, z) ||
                     !GetCellSideFlag(kSideMinusY, x, y + 1, z)))
                    return false;
            }
    return true;
}

void Universe::MakeArea(const std::int32_t box[6]) {
    auto area = std::make_unique<UniverseArea>();
    area->minimum = D3DXVECTOR3(100000, 100000, 100000);
    area->maximum = D3DXVECTOR3(-100000, -100000, -100000);
    D3DXVECTOR3 sum(0, 0, 0);
    // The unassigned cells whose grid coordinates lie in the box, in the cells' order.
    std::int32_t from[3], to[3];
    for (int a = 0; a < 3; ++a)
        CoordinateRun(a, box[2 * a], box[2 * a + 1], from[a], to[a]);
    for (std::int32_t iy = from[1]; iy <= to[1]; ++iy)
        for (std::int32_t jx = from[0]; jx <= to[0]; ++jx)
            for (std::int32_t kz = from[2]; kz <= to[2]; ++kz) {
                UniverseNode& cell = CellByIndex(iy, jx, kz);
                if (cell.assigned) continue;
                area->cells.push_back(&cell);
                cell.assigned = 1;
                D3DXVECTOR3 corners[8];
                GetNodeCorners(cell, corners);
                for (const D3DXVECTOR3& p : corners) {
                    D3DXVec3Minimize(&area->minimum, &area->minimum, &p);
                    D3DXVec3Maximize(&area->maximum, &area->maximum, &p);
                    sum += p;
                }
                area->cornerCount += 8;
            }
    if (area->cornerCount > 0) area->centre = sum / static_cast<float>(area->cornerCount);
    areas.push_back(std::move(area));
}

AreaBuckets::AreaBuckets(const std::vector<std::unique_ptr<UniverseArea>>& areas) {
    // Buckets laid on the cells' corners, which every area's box shares: a cell's box is one.
    for (const std::unique_ptr<UniverseArea>& area : areas)
        if (area) {
            origin_ = area->minimum;
            break;
        }
    for (std::size_t i = 0; i < areas.size(); ++i) {
        std::int64_t low[3], high[3];
        if (!areas[i] || !Buckets(areas[i]->minimum, areas[i]->maximum, low, high)) continue;
        // A box's far faces lie on the first bucket past it: Near looks one bucket further down.
        for (int a = 0; a < 3; ++a)
            high[a] = std::max(low[a], high[a] - 1);
        ForEachBucket(low, high, [&](std::uint64_t key) {
            entries_.push_back({key, static_cast<std::int32_t>(i)});
        });
    }
    std::sort(entries_.begin(), entries_.end());
}

std::vector<std::int32_t> AreaBuckets::Near(const D3DXVECTOR3& minimum,
                                            const D3DXVECTOR3& maximum) const {
    std::vector<std::int32_t> found;
    std::int64_t low[3], high[3];
    if (!Buckets(minimum, maximum, low, high)) return found;
    for (int a = 0; a < 3; ++a)
        --low[a];
    ForEachBucket(low, high, [&](std::uint64_t key) {
        auto at = std::lower_bound(entries_.begin(), entries_.end(), Entry{key, INT32_MIN});
        for (; at != entries_.end() && at->first == key; ++at)
            found.push_back(at->second);
    });
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

bool AreaBuckets::Buckets(const D3DXVECTOR3& minimum, const D3DXVECTOR3& maximum,
                          std::int64_t low[3], std::int64_t high[3]) const {
    for (int a = 0; a < 3; ++a) {
        const double from =
            std::floor((static_cast<double>(minimum[a]) - origin_[a]) / kBucketSize);
        const double to = std::ceil((static_cast<double>(maximum[a]) - origin_[a]) / kBucketSize);
        // Boxes lie within the root's extents, at most 1e8 from the origin.
        if (!(from >= -kFarthestBucket && to <= kFarthestBucket && from <= to)) return false;
        low[a] = static_cast<std::int64_t>(from);
        high[a] = static_cast<std::int64_t>(to);
    }
    return true;
}

template <typename Fn>
void AreaBuckets::ForEachBucket(const std::int64_t low[3], const std::int64_t high[3], Fn&& fn) {
    for (std::int64_t x = low[0]; x <= high[0]; ++x)
        for (std::int64_t y = low[1]; y <= high[1]; ++y)
            for (std::int64_t z = low[2]; z <= high[2]; ++z)
                fn(static_cast<std::uint64_t>((x & 0x1FFFFF) << 42 | (y & 0x1FFFFF) << 21 |
                                              (z & 0x1FFFFF)));
}

void Universe::BuildPortals() {
    const AreaBuckets buckets(areas);
    for (std::size_t a = 0; a < areas.size(); ++a)
        BuildAreaPortals(static_cast<std::int32_t>(a), buckets);
    for (const std::unique_ptr<UniverseArea>& area : areas)
        for (const std::unique_ptr<UniversePortal>& portal : area->portals)
            debugColour = GivePortalBox(*portal);
}

D3DCOLOR GiveAreaBox(UniverseArea& area) {
    area.box = std::make_unique<UniverseNode>();
    area.box->centre = area.centre;
    area.box->halfExtents = (area.maximum - area.minimum) * 0.5f;
    FillSideQuads(*area.box, kAreaSideColour);
    return kAreaSideColour;
}

D3DCOLOR GivePortalBox(UniversePortal& portal) {
    portal.box = std::make_unique<UniverseNode>();
    portal.box->centre = portal.centre;
    portal.box->halfExtents = portal.halfExtents;
    const D3DCOLOR colour = portal.strength == 1 ? kSeeThroughPortalColour : kPortalColour;
    FillSideQuads(*portal.box, colour);
    return colour;
}

// Makes the run a portal of the area.
static void EmitPortal(UniverseArea& area, std::int32_t neighbour, std::int32_t side,
                       const PortalRun& run) {
    auto portal = std::make_unique<UniversePortal>();
    portal->neighbour = neighbour;
    portal->side = side;
    portal->strength = run.strength;
    portal->minimum = run.minimum;
    portal->maximum = run.maximum;
    portal->centre = run.minimum + (run.maximum - run.minimum) * 0.5f;
    portal->halfExtents = (run.maximum - run.minimum) * 0.5f;
    for (int k = 0; k < 4; ++k)
        for (int a = 0; a < 3; ++a)
            portal->corners[k][a] =
                kQuadCornerSigns[side][k][a] > 0 ? run.maximum[a] : run.minimum[a];
    area.portals.push_back(std::move(portal));
}

void Universe::BuildAreaPortals(std::int32_t a, const AreaBuckets& buckets) {
    UniverseArea& area = *areas[a];
    area.portals.clear();
    const WholeBox boxA = Whole(area);
    // Only areas whose boxes share a point with this one's can touch it.
    for (const std::int32_t j : buckets.Near(area.minimum, area.maximum)) {
        if (j == a) continue;
        const WholeBox boxB = Whole(*areas[j]);
        const Touch touch = FindTouch(boxA, boxB);
        if (touch.axis < 0) continue;
        // The scan: z outermost, then x, then y; one step on the touching axis.
        std::int32_t low[3], high[3];
        for (int k = 0; k < 3; ++k) {
            low[k] = std::max(boxA.minimum[k], boxB.minimum[k]);
            high[k] = std::min(boxA.maximum[k], boxB.maximum[k]);
        }
        low[touch.axis] = touch.plane;
        high[touch.axis] = touch.plane + 1;
        PortalRun run;
        for (std::int32_t z = low[2]; z < high[2]; z += 100)
            for (std::int32_t x = low[0]; x < high[0]; x += 100)
                for (std::int32_t y = low[1]; y < high[1]; y += 100) {
                    std::int32_t cellA[3] = {x, y, z}, cellB[3] = {x, y, z};
                    (touch.aAbove ? cellB : cellA)[touch.axis] -= 100;
                    auto at = [&](const std::int32_t p[3], int k) {
                        return GridCoordinate(k, static_cast<float>(p[k] + 50));
                    };
                    std::int32_t strengthA = 0, strengthB = 0;
                    const bool openA = GetCellSideFlag(touch.faceA, at(cellA, 0), at(cellA, 1),
                                                       at(cellA, 2), &strengthA);
                    const bool openB = GetCellSideFlag(touch.faceB, at(cellB, 0), at(cellB, 1),
                                                       at(cellB, 2), &strengthB);
                    const bool bFirst = touch.axis == 1;
                    const std::int32_t first = bFirst ? strengthB : strengthA;
                    const std::int32_t second = bFirst ? strengthA : strengthB;
                    const std::int32_t strength = first > 0 ? first : second > 0 ? second : 0;
                    if (openA && openB) {
                        const D3DXVECTOR3 p(static_cast<float>(x), static_cast<float>(y),
                                            static_cast<float>(z));
                        D3DXVECTOR3 q = p + D3DXVECTOR3(100, 100, 100);
                        q[touch.axis] = p[touch.axis];
                        D3DXVec3Minimize(&run.minimum, &run.minimum, &p);
                        D3DXVec3Maximize(&run.maximum, &run.maximum, &q);
                        run.strength = strength;
                        run.open = true;
                    } else if (run.open) {
                        EmitPortal(area, j, touch.side, run);
                        run = PortalRun{};
                    }
                }
        if (run.open) EmitPortal(area, j, touch.side, run);
    }
}
