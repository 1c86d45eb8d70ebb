#include "core/win32.h"

#include "world/level_collision.h"
#include "world/shader_table.h"
#include "world/world_level.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The constants of the triangle test: a point is inside a triangle when the angles to its corners
// add up to within kAngleSlack of kFullTurn (6.28, as the sweep has always used).
constexpr float kFullTurn = 6.28f;
constexpr float kAngleSlack = 0.01f;
constexpr float kParallel = 0.00001f;
constexpr float kPlaneParallel = 0.001f;

// Reused from query to query and only grown: the per-face candidate marks, the candidates in face
// order, and the nodes waiting in the walk.
struct CollisionScratch {
    std::vector<std::uint8_t> marks;
    std::vector<std::int32_t> candidates;
    std::vector<std::int32_t> pending;
};
CollisionScratch scratch;

// One sweep of a sphere from base along velocity: the nearest hit found so far.
struct Sweep {
    D3DXVECTOR3 base{0, 0, 0};
    D3DXVECTOR3 velocity{0, 0, 0};
    D3DXVECTOR3 direction{0, 0, 0};
    float length = 0.0f;
    bool found = false;
    float nearest = -1.0f;
    D3DXVECTOR3 nearestPoint{0, 0, 0};
    D3DXVECTOR3 radii{1, 1, 1};
    bool ellipsoid = false;
    float radius = 1.0f; // the sphere's; 1 in ellipsoid space
};

float Dot(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

D3DXVECTOR3 Cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return D3DXVECTOR3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

float Length(const D3DXVECTOR3& v) {
    return std::sqrt(Dot(v, v));
}

// v at unit length; the zero vector stays zero.
D3DXVECTOR3 Unit(const D3DXVECTOR3& v) {
    const float length = Length(v);
    return length > 0.0f ? v / length : D3DXVECTOR3(0, 0, 0);
}

D3DXVECTOR3 Scaled(const D3DXVECTOR3& v, const D3DXVECTOR3& by) {
    return D3DXVECTOR3(v.x * by.x, v.y * by.y, v.z * by.z);
}

D3DXVECTOR3 Divided(const D3DXVECTOR3& v, const D3DXVECTOR3& by) {
    return D3DXVECTOR3(v.x / by.x, v.y / by.y, v.z / by.z);
}

bool Finite(const D3DXVECTOR3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The box grown by grow, met by the ray from start towards end and by the ray from end towards
// start: the move's line passes through it between the two.
bool BoxOnMove(const std::int32_t* mins, const std::int32_t* maxs, float grow,
               const D3DXVECTOR3& start, const D3DXVECTOR3& end) {
    const D3DXVECTOR3 spread(grow, grow, grow);
    const D3DXVECTOR3 low = LevelToEnginePointFromInts(mins) - spread;
    const D3DXVECTOR3 high = LevelToEnginePointFromInts(maxs) + spread;
    const D3DXVECTOR3 forward = end - start, backward = start - end;
    return D3DXBoxBoundProbe(&low, &high, &start, &forward) &&
           D3DXBoxBoundProbe(&low, &high, &end, &backward);
}

// A polygon of a "nonsolid" shader is passed through, unless its shader also clips players.
bool PassedThrough(const WorldFaceRecord& face) {
    if (face.type != kFacePolygon || face.shader < 0) return false;
    const ShaderTable& table = WorldShaderTable();
    if (face.shader >= table.count) return false;
    const ShaderRecord& shader = table.records[static_cast<std::size_t>(face.shader)];
    return shader.nonsolid && !shader.playerclip;
}

void MarkLeaf(const WorldLevel& level, std::size_t leafIndex, float grow, const D3DXVECTOR3& start,
              const D3DXVECTOR3& end) {
    const BspFile& file = level.file;
    if (leafIndex >= file.leaves.size()) return;
    const BspLeaf& leaf = file.leaves[leafIndex];
    if (!BoxOnMove(leaf.mins, leaf.maxs, grow, start, end)) return;
    for (std::int64_t i = 0; i < leaf.leafFaceCount; ++i) {
        const std::int64_t at = static_cast<std::int64_t>(leaf.firstLeafFace) + i;
        if (at < 0 || at >= static_cast<std::int64_t>(file.leafFaces.size())) return;
        const std::int32_t face = file.leafFaces[static_cast<std::size_t>(at)];
        if (face < 0 || static_cast<std::size_t>(face) >= level.faces.size()) continue;
        if (!PassedThrough(level.faces[static_cast<std::size_t>(face)]))
            scratch.marks[static_cast<std::size_t>(face)] = 1;
    }
}

// Walks the node tree from node 0, into both children of every node whose grown box the move
// crosses; at most one visit per node, so a damaged tree cannot keep the walk going.
void FindCandidates(const WorldLevel& level, float grow, const D3DXVECTOR3& start,
                    const D3DXVECTOR3& end) {
    const BspFile& file = level.file;
    if (scratch.marks.size() < level.faces.size()) scratch.marks.resize(level.faces.size());
    std::fill(scratch.marks.begin(), scratch.marks.end(), 0);
    scratch.candidates.clear();
    scratch.pending.assign(1, 0);
    std::size_t steps = 0;
    while (!scratch.pending.empty() && steps++ < file.nodes.size()) {
        const std::int32_t index = scratch.pending.back();
        scratch.pending.pop_back();
        if (index < 0 || static_cast<std::size_t>(index) >= file.nodes.size()) continue;
        const BspNode& node = file.nodes[static_cast<std::size_t>(index)];
        if (!BoxOnMove(node.mins, node.maxs, grow, start, end)) continue;
        for (std::int32_t child : node.children) {
            if (child >= 0)
                scratch.pending.push_back(child);
            else
                MarkLeaf(level, static_cast<std::size_t>(-(static_cast<std::int64_t>(child) + 1)),
                         grow, start, end);
        }
    }
    for (std::size_t f = 0; f < level.faces.size(); ++f)
        if (scratch.marks[f]) scratch.candidates.push_back(static_cast<std::int32_t>(f));
}

// The triangle's plane normal, turned to the side its vertex normals face (the level's winding
// does not say which side is solid); zero for a degenerate triangle.
D3DXVECTOR3 FacingNormal(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
                         const D3DXVECTOR3& facing) {
    const D3DXVECTOR3 n = Unit(Cross(b - a, c - a));
    return Dot(n, facing) < 0.0f ? -n : n;
}

// The nearest point to p on the triangle's edges, and the edge that holds it.
D3DXVECTOR3 NearestOnEdges(const D3DXVECTOR3 (&v)[3], const D3DXVECTOR3& p, D3DXVECTOR3& edge) {
    D3DXVECTOR3 best = v[0];
    float bestDistance = -1.0f;
    for (int k = 0; k < 3; ++k) {
        const D3DXVECTOR3 from = v[k], along = v[(k + 1) % 3] - v[k];
        const float lengthSq = Dot(along, along);
        D3DXVECTOR3 point = from;
        if (lengthSq > 0.0f)
            point = from + along * std::clamp(Dot(p - from, along) / lengthSq, 0.0f, 1.0f);
        const float distance = Dot(p - point, p - point);
        if (bestDistance < 0.0f || distance < bestDistance) {
            bestDistance = distance;
            best = point;
            edge = along;
        }
    }
    return best;
}

bool InsideTriangle(const D3DXVECTOR3 (&v)[3], const D3DXVECTOR3& p) {
    const D3DXVECTOR3 to[3] = {Unit(v[0] - p), Unit(v[1] - p), Unit(v[2] - p)};
    float sum = 0.0f;
    for (int k = 0; k < 3; ++k)
        sum += std::acos(std::clamp(Dot(to[k], to[(k + 1) % 3]), -1.0f, 1.0f));
    return std::fabs(sum - kFullTurn) < kAngleSlack;
}

// Sweeps the sphere against one triangle (in the sweep's space) with plane normal n, keeping the
// nearest hit.
void TestTriangle(Sweep& sweep, const D3DXVECTOR3 (&v)[3], const D3DXVECTOR3& n) {
    if (Dot(n, n) == 0.0f) return;
    const float r = sweep.radius;
    const D3DXVECTOR3 leading = sweep.base - n * r;
    const float distance = Dot(leading - v[0], n);
    if (distance > sweep.length || distance < -2.0f * r) return;
    const D3DXVECTOR3 ray = distance >= 0.0f ? sweep.velocity : n * r;
    const float towards = Dot(n, ray);
    if (std::fabs(towards) < kParallel) return;
    const float t = Dot(n, v[0] - leading) / towards;
    if (!(t >= 0.0f && t <= 1.0f)) return;
    const D3DXVECTOR3 onPlane = leading + ray * t;
    D3DXVECTOR3 contact = onPlane, back = sweep.direction;
    if (!InsideTriangle(v, onPlane)) {
        D3DXVECTOR3 edge(0, 0, 0);
        contact = NearestOnEdges(v, onPlane, edge);
        back = Unit(Cross(edge, Cross(sweep.velocity, edge)));
    }
    // From the contact back against the sphere: how far the sphere travels before touching it.
    const D3DXVECTOR3 d = -back, toCentre = sweep.base - contact;
    const float q = Dot(toCentre, d);
    const float e = r * r - (Dot(toCentre, toCentre) - q * q);
    if (e < 0.0f) return;
    const float reach = q - std::sqrt(e);
    if (!(reach >= 0.0f && reach < sweep.length)) return;
    if (!sweep.found || reach < sweep.nearest) {
        sweep.nearest = reach;
        sweep.found = true;
        sweep.nearestPoint = contact;
    }
}

// One triangle of the level in engine units, brought into the sweep's space; facing tells which
// side of it is the front. A polygon in sphere space keeps its own normal when it has one.
void TestLevelTriangle(Sweep& sweep, const WorldVertex& a, const WorldVertex& b,
                       const WorldVertex& c, const D3DXVECTOR3* polygonNormal) {
    D3DXVECTOR3 v[3] = {a.position, b.position, c.position};
    const D3DXVECTOR3 facing = polygonNormal ? *polygonNormal : a.normal + b.normal + c.normal;
    if (sweep.ellipsoid) {
        for (D3DXVECTOR3& p : v)
            p = Divided(p, sweep.radii);
        TestTriangle(sweep, v, FacingNormal(v[0], v[1], v[2], Scaled(facing, sweep.radii)));
        return;
    }
    const D3DXVECTOR3 own = polygonNormal ? Unit(*polygonNormal) : D3DXVECTOR3(0, 0, 0);
    TestTriangle(sweep, v, Dot(own, own) > 0.0f ? own : FacingNormal(v[0], v[1], v[2], facing));
}

// A polygon's triangles as the file lists them (merged polygons are no fans).
void TestListedTriangles(Sweep& sweep, const WorldLevel& level, const WorldFaceRecord& face,
                         const WorldVertex* v, const D3DXVECTOR3& normal) {
    const std::int64_t first = face.firstTriangleIndex, count = face.triangleIndexCount;
    if (first < 0 || first + count > static_cast<std::int64_t>(level.indices.size())) return;
    const std::uint16_t* index = level.indices.data() + first;
    for (std::int64_t i = 0; i + 3 <= count; i += 3) {
        if (index[i] >= face.vertexCount || index[i + 1] >= face.vertexCount ||
            index[i + 2] >= face.vertexCount)
            continue;
        TestLevelTriangle(sweep, v[index[i]], v[index[i + 1]], v[index[i + 2]], &normal);
    }
}

void TestFace(Sweep& sweep, const WorldLevel& level, const WorldFaceRecord& face) {
    if (face.type == kFacePolygon) {
        const std::int64_t first = face.firstVertex, count = face.vertexCount;
        if (first < 0 || count < 3 ||
            first + count > static_cast<std::int64_t>(level.vertices.size()))
            return;
        const WorldVertex* v = level.vertices.data() + first;
        const D3DXVECTOR3 normal = v[0].normal;
        if (face.triangleIndexCount >= 3) {
            TestListedTriangles(sweep, level, face, v, normal);
            return;
        }
        for (std::int64_t k = 0; k + 2 < count; ++k)
            TestLevelTriangle(sweep, v[0], v[1 + k], v[2 + k], &normal);
    } else if (face.type == kFacePatch) {
        if (face.patch < 0 || static_cast<std::size_t>(face.patch) >= level.patches.size()) return;
        const PatchRecord& patch = level.patches[static_cast<std::size_t>(face.patch)];
        const std::size_t vertices = patch.vertices.size();
        const std::size_t indices = std::min<std::size_t>(
            patch.indices.size(), static_cast<std::size_t>(std::max(patch.indexCount, 0)));
        for (std::size_t i = 0; i + 3 <= indices; i += 3) {
            const std::uint16_t* t = patch.indices.data() + i;
            if (t[0] >= vertices || t[1] >= vertices || t[2] >= vertices) continue;
            TestLevelTriangle(sweep, patch.vertices[t[0]], patch.vertices[t[1]],
                              patch.vertices[t[2]], nullptr);
        }
    }
}

// The slide: sweep, stop just short of the nearest hit, and go on along the plane that touches
// the body there, until the move is used up or the depth limit is reached.
struct Slider {
    const WorldLevel& level;
    Sweep sweep;
    std::int32_t depthLimit = kLevelSlideDepth;
    float smallestMove = kSmallestLevelMove;
    bool collided = false;

    D3DXVECTOR3 Run(D3DXVECTOR3 position, D3DXVECTOR3 velocity) {
        for (std::int32_t depth = 1;; ++depth) {
            if (depth > depthLimit) return position;
            const float length = Length(velocity);
            if (!(length >= smallestMove)) return position;
            sweep.base = position;
            sweep.velocity = velocity;
            sweep.length = length;
            sweep.direction = velocity / length;
            sweep.found = false;
            sweep.nearest = -1.0f;
            for (std::int32_t face : scratch.candidates)
                TestFace(sweep, level, level.faces[static_cast<std::size_t>(face)]);
            if (!sweep.found) return position + sweep.direction * (length - kLevelContactGap);
            const D3DXVECTOR3 base =
                sweep.nearest >= kLevelContactGap
                    ? position + sweep.direction * (sweep.nearest - kLevelContactGap)
                    : position;
            const D3DXVECTOR3 contact = sweep.nearestPoint;
            const D3DXVECTOR3 n = Unit(base - contact);
            const D3DXVECTOR3 destination = position + velocity;
            const float along = Dot(n, n);
            const float s = std::fabs(along) < kPlaneParallel
                                ? -1.0f
                                : -(Dot(n, destination) - Dot(n, contact)) / along;
            collided = true;
            position = base;
            velocity = destination + n * s - contact;
        }
    }
};

} // namespace

std::int32_t CollideWithLevel(const D3DXVECTOR3& start, const D3DXVECTOR3& end,
                              const D3DXVECTOR3& radii, D3DXVECTOR3* out, std::int32_t depthLimit,
                              float smallestMove) {
    const WorldLevel& level = WorldLevelData();
    if (out) *out = end;
    if (!Finite(start) || !Finite(end) || !Finite(radii) || !(radii.x > 0.0f) ||
        !(radii.y > 0.0f) || !(radii.z > 0.0f) || level.faces.empty())
        return 0;
    const float grow = std::max({radii.x, radii.y, radii.z});
    // A move too short to take needs no candidates: it ends where it starts.
    if (!(Length(end - start) >= smallestMove) || depthLimit < 1) {
        if (out) *out = start;
        return 0;
    }
    FindCandidates(level, grow, start, end);
    Slider slider{level, Sweep{}, depthLimit, smallestMove, false};
    slider.sweep.ellipsoid = !(radii.x == radii.y && radii.y == radii.z);
    slider.sweep.radii = radii;
    slider.sweep.radius = slider.sweep.ellipsoid ? 1.0f : radii.x;
    const D3DXVECTOR3 from = slider.sweep.ellipsoid ? Divided(start, radii) : start;
    const D3DXVECTOR3 to = slider.sweep.ellipsoid ? Divided(end, radii) : end;
    D3DXVECTOR3 reached = slider.Run(from, to - from);
    if (slider.sweep.ellipsoid) reached = Scaled(reached, radii);
    if (out) *out = reached;
    return slider.collided ? 1 : 0;
}

std::int32_t MoveThroughEllipsoid(const D3DXVECTOR3& start, const D3DXVECTOR3& end,
                                  const D3DXVECTOR3& centre, const D3DXVECTOR3& radii,
                                  D3DXVECTOR3* out) {
    if (out) *out = end;
    if (!(radii.x > 0.0f) || !(radii.y > 0.0f) || !(radii.z > 0.0f)) return 0;
    const D3DXVECTOR3 from = Divided(start, radii), to = Divided(end, radii);
    const D3DXVECTOR3 middle = Divided(centre + D3DXVECTOR3(0, 10.0f, 0), radii);
    const D3DXVECTOR3 forward = to - from, backward = from - to;
    if (!D3DXSphereBoundProbe(&middle, 1.0f, &from, &forward) ||
        !D3DXSphereBoundProbe(&middle, 1.0f, &to, &backward))
        return 0;
    if (out) *out = start;
    return 1;
}
