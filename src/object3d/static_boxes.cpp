#include "core/win32.h"

#include "object3d/static_boxes.h"
#include "object3d/object_state.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

namespace {

// The list lives for the whole program; the results until the next call of their command.
struct State {
    StaticBoxList list;
    D3DXVECTOR3 correction{0, 0, 0};
    D3DXVECTOR3 sightPoint{0, 0, 0};

    State() = default;
    ~State() { Clear(); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    void Clear() {
        for (StaticBoxNode* node = list.first; node;) {
            StaticBoxNode* next = node->next;
            delete node;
            node = next;
        }
        list = {};
    }
};

State s_Boxes;

// A line of sight never takes more steps than this: far beyond any level, and small enough that
// step numbers stay exact in a 64-bit integer.
constexpr float kMostSteps = 1e15f;

bool Overlaps(const StaticBoxNode& b, const D3DXVECTOR3& low, const D3DXVECTOR3& high) {
    return low.x < b.x2 && low.z < b.z2 && high.x >= b.x1 && high.z >= b.z1 && low.y < b.y2 &&
           high.y >= b.y1;
}

// The face of the box that the old box lay nearest to: 0 and 1 the low and high x faces, then y,
// then z. A tie keeps the earlier face.
int NearestFace(const StaticBoxNode& b, const D3DXVECTOR3& oldLow, const D3DXVECTOR3& oldHigh) {
    const float distance[6] = {std::fabs(oldHigh.x - b.x1), std::fabs(b.x2 - oldLow.x),
                               std::fabs(oldHigh.y - b.y1), std::fabs(b.y2 - oldLow.y),
                               std::fabs(oldHigh.z - b.z1), std::fabs(b.z2 - oldLow.z)};
    int face = 0;
    for (int i = 1; i < 6; ++i)
        if (distance[i] < distance[face]) face = i;
    return face;
}

void WriteCorrection(const StaticBoxNode& b, int face, const D3DXVECTOR3& low,
                     const D3DXVECTOR3& high, D3DXVECTOR3& correction) {
    switch (face) {
    case 0:
        correction.x = high.x - b.x1;
        break;
    case 1:
        correction.x = low.x - b.x2;
        break;
    case 2:
        correction.y = high.y - b.y1;
        break;
    case 3:
        correction.y = low.y - b.y2;
        break;
    case 4:
        correction.z = high.z - b.z1;
        break;
    default:
        correction.z = low.z - b.z2;
        break;
    }
}

// The longer of the line's x and z runs: a line of sight steps one unit along it.
float MajorLength(const D3DXVECTOR3& d) {
    const float ax = std::fabs(d.x), az = std::fabs(d.z);
    return ax > az ? ax : az;
}

// Whole unit steps over the line, divided by the accuracy. Lines shorter than a unit, or not
// finite, take none.
std::int64_t StepCount(float major, float accuracy) {
    if (!(major >= 1) || !std::isfinite(major)) return 0;
    if (!(accuracy > 0)) accuracy = 1.0f;
    const float steps = std::trunc(std::trunc(major) / accuracy);
    if (!(steps >= 1)) return 0;
    return static_cast<std::int64_t>(std::min(steps, kMostSteps));
}

D3DXVECTOR3 StepPoint(const D3DXVECTOR3& start, const D3DXVECTOR3& unit, std::int64_t k) {
    const float f = static_cast<float>(k);
    return D3DXVECTOR3(start.x + unit.x * f, start.y + unit.y * f, start.z + unit.z * f);
}

bool ProbeTouches(const StaticBoxNode& b, const D3DXVECTOR3& p, float width) {
    return p.x - width <= b.x2 && p.y - width <= b.y2 && p.z - width <= b.z2 &&
           p.x + width >= b.x1 && p.y + width >= b.y1 && p.z + width >= b.z1;
}

// The first step, 1 to steps, at which the probe touches the box; 0 when it never does. Rather
// than walk every step, each axis bounds the steps that can touch (padded by one against
// rounding); the few steps left are tested as the walk would test them.
std::int64_t FirstTouchingStep(const StaticBoxNode& b, const D3DXVECTOR3& start,
                               const D3DXVECTOR3& unit, float width, std::int64_t steps) {
    const float low[3] = {b.x1, b.y1, b.z1}, high[3] = {b.x2, b.y2, b.z2};
    double first = 1, last = static_cast<double>(steps);
    for (int a = 0; a < 3; ++a) {
        const double s = start[a], u = unit[a];
        if (u == 0) {
            if (!(start[a] - width <= high[a] && start[a] + width >= low[a])) return 0;
            continue;
        }
        double t1 = (low[a] - width - s) / u, t2 = (high[a] + width - s) / u;
        if (u < 0) std::swap(t1, t2);
        if (!(t1 <= t2)) return 0; // an empty slab, or something not a number
        first = std::max(first, std::floor(t1) - 1);
        last = std::min(last, std::ceil(t2) + 1);
    }
    if (!(first <= last)) return 0;
    for (auto k = static_cast<std::int64_t>(first); k <= static_cast<std::int64_t>(last); ++k)
        if (ProbeTouches(b, StepPoint(start, unit, k), width)) return k;
    return 0;
}

} // namespace

const StaticBoxList& GetStaticBoxList() {
    return s_Boxes.list;
}

std::int32_t MakeStaticCollisionBox(float x1, float y1, float z1, float x2, float y2, float z2) {
    auto* node = new (std::nothrow) StaticBoxNode;
    if (!node) return 1;
    node->x1 = x1, node->y1 = y1, node->z1 = z1;
    node->x2 = x2, node->y2 = y2, node->z2 = z2;
    StaticBoxList& list = s_Boxes.list;
    (list.last ? list.last->next : list.first) = node;
    list.last = node;
    return 1;
}

void DeleteStaticCollisionBoxes() {
    s_Boxes.Clear();
}

std::int32_t GetStaticCollisionHit(const D3DXVECTOR3& oldMinimum, const D3DXVECTOR3& oldMaximum,
                                   const D3DXVECTOR3& newMinimum, const D3DXVECTOR3& newMaximum,
                                   D3DXVECTOR3* correction) {
    D3DXVECTOR3 c(0, 0, 0);
    std::int32_t hit = 0;
    for (const StaticBoxNode* b = s_Boxes.list.first; b; b = b->next) {
        if (!Overlaps(*b, newMinimum, newMaximum)) continue;
        WriteCorrection(*b, NearestFace(*b, oldMinimum, oldMaximum), newMinimum, newMaximum, c);
        hit = 1;
    }
    if (correction) *correction = c;
    return hit;
}

std::int32_t GetStaticLineOfSight(float x1, float y1, float z1, float x2, float y2, float z2,
                                  float width, float accuracy, D3DXVECTOR3* point) {
    const D3DXVECTOR3 start(x1, y1, z1), d(x2 - x1, y2 - y1, z2 - z1);
    if (point) *point = start;
    const float major = MajorLength(d);
    const std::int64_t steps = StepCount(major, accuracy);
    if (steps < 1) return 0;
    const D3DXVECTOR3 unit(d.x / major, d.y / major, d.z / major);
    // A box the probe is already in at its first step does not block: the line starts inside
    // it. Only the hit nearest the start counts, whatever the order of the boxes.
    std::int64_t nearest = 0;
    bool startsInside = false;
    for (const StaticBoxNode* b = s_Boxes.list.first; b; b = b->next) {
        const std::int64_t k = FirstTouchingStep(*b, start, unit, width, steps);
        if (k == 1)
            startsInside = true;
        else if (k > 1 && (nearest == 0 || k < nearest))
            nearest = k;
    }
    if (nearest == 0) return 0;
    if (point && !startsInside) *point = StepPoint(start, unit, nearest - 1);
    return 1;
}

std::int32_t MakeStaticCollisionBoxCmd(float x1, float y1, float z1, float x2, float y2, float z2) {
    return MakeStaticCollisionBox(x1, y1, z1, x2, y2, z2);
}

void DeleteStaticCollisionBoxesCmd() {
    DeleteStaticCollisionBoxes();
}

std::int32_t StaticLineOfSightCmd(float x1, float y1, float z1, float x2, float y2, float z2,
                                  float width, float accuracy) {
    return GetStaticLineOfSight(x1, y1, z1, x2, y2, z2, width, accuracy, &s_Boxes.sightPoint) > 0
               ? 1
               : 0;
}

float GetStaticLineOfSightXCmd() {
    return GetStaticLineOfSightX();
}
float GetStaticLineOfSightYCmd() {
    return GetStaticLineOfSightY();
}
float GetStaticLineOfSightZCmd() {
    return GetStaticLineOfSightZ();
}

std::int32_t GetStaticCollisionHitCmd(float oldMinX, float oldMinY, float oldMinZ, float oldMaxX,
                                      float oldMaxY, float oldMaxZ, float newMinX, float newMinY,
                                      float newMinZ, float newMaxX, float newMaxY, float newMaxZ) {
    g_Object3D.universeCollision.valid = 0;
    return GetStaticCollisionHit(D3DXVECTOR3(oldMinX, oldMinY, oldMinZ),
                                 D3DXVECTOR3(oldMaxX, oldMaxY, oldMaxZ),
                                 D3DXVECTOR3(newMinX, newMinY, newMinZ),
                                 D3DXVECTOR3(newMaxX, newMaxY, newMaxZ), &s_Boxes.correction);
}

float GetStaticCollisionX() {
    return s_Boxes.correction.x;
}
float GetStaticCollisionY() {
    return s_Boxes.correction.y;
}
float GetStaticCollisionZ() {
    return s_Boxes.correction.z;
}
float GetStaticLineOfSightX() {
    return s_Boxes.sightPoint.x;
}
float GetStaticLineOfSightY() {
    return s_Boxes.sightPoint.y;
}
float GetStaticLineOfSightZ() {
    return s_Boxes.sightPoint.z;
}

namespace {
float StaticCollisionComponent(int axis) {
    const CollisionResult& u = g_Object3D.universeCollision;
    return u.valid ? u.movement[axis] : s_Boxes.correction[axis];
}
} // namespace

float GetStaticCollisionXCmd() {
    return StaticCollisionComponent(0);
}
float GetStaticCollisionYCmd() {
    return StaticCollisionComponent(1);
}
float GetStaticCollisionZCmd() {
    return StaticCollisionComponent(2);
}
