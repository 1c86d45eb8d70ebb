// Classifying, splitting and shaping single polygons.
#include "csg/bsp_polygon.h"

#include <cmath>
#include <cstring>

int ClassifyPointsToPlane(const BspPlane& plane, const void* points, int count, int stride) {
    if (!points || count < 1) return kBspOnPlane;
    const auto* bytes = static_cast<const unsigned char*>(points);
    int notBehind = 0, notInFront = 0, onPlane = 0;
    for (int k = 0; k < count; ++k) {
        BspVector p;
        std::memcpy(&p, bytes + static_cast<std::ptrdiff_t>(k) * stride, sizeof p);
        const float d = plane.normal.Dot(p) - plane.d;
        if (d >= -kBspPlaneEpsilon) ++notBehind;
        if (d <= kBspPlaneEpsilon) ++notInFront;
        if (std::fabs(d) <= kBspPlaneEpsilon) ++onPlane;
    }
    if (onPlane == count) return kBspOnPlane;
    if (notInFront == count) return kBspBack;
    if (notBehind == count) return kBspFront;
    return kBspSpanning;
}

int ClassifySegmentToPlane(const BspPlane& plane, const BspVector& a, const BspVector& b) {
    const BspVector points[2] = {a, b};
    return ClassifyPointsToPlane(plane, points, 2, sizeof(BspVector));
}

namespace {

struct VertexSide {
    int side;
    float distance;
};

// The vertex where edge a-b crosses the plane, its attributes interpolated.
BspVertex CrossingVertex(const BspPlane& plane, const BspVertex& a, const BspVertex& b,
                         const VertexSide& sa, const VertexSide& sb) {
    BspVertex cut;
    float t = 0.0f;
    if (!plane.IntersectSegment(a.position, b.position, cut.position, &t)) {
        // Only a plane whose normal is not unit length gets here: the classified distances
        // still place the crossing.
        t = sa.distance / (sa.distance - sb.distance);
        cut.position = a.position + (b.position - a.position) * t;
    }
    cut.u = a.u + (b.u - a.u) * t;
    cut.v = a.v + (b.v - a.v) * t;
    cut.normal = Normalized(a.normal + (b.normal - a.normal) * t);
    return cut;
}

struct Gathered {
    BspVertex* vertices;
    int count = 0;
    void Add(const BspVertex& v) {
        if (vertices) vertices[count++] = v;
    }
};

// Hands the gathered vertices to an output polygon; one that gathered none is left alone.
void Commit(BspBlock<BspVertex>& exact, const Gathered& g, BspPolygon* output) {
    if (!exact.Get()) return;
    std::memcpy(exact.Get(), g.vertices, static_cast<std::size_t>(g.count) * sizeof(BspVertex));
    output->AdoptVertices(exact.Release(), g.count);
}

} // namespace

int BspPolygon::Split(const BspPlane& plane, BspPolygon* front, BspPolygon* back) {
    if (!front && !back) return 0;
    if (count < 1 || !vertices) return 0;
    const int n = count;
    // Twice the count: each crossing adds one vertex to each side, and a polygon that is not
    // quite convex may cross the plane at every edge.
    const std::size_t room = 2 * static_cast<std::size_t>(n);
    BspBlock<VertexSide> sides(static_cast<std::size_t>(n));
    BspBlock<BspVertex> frontBuffer(front ? room : 0);
    BspBlock<BspVertex> backBuffer(back ? room : 0);
    Gathered frontSide{frontBuffer.Get()}, backSide{backBuffer.Get()};

    int inFront = 0, behind = 0;
    for (int i = 0; i < n; ++i) {
        sides[i].side = plane.ClassifyPoint(vertices[i].position, &sides[i].distance);
        inFront += sides[i].side == kBspFront;
        behind += sides[i].side == kBspBack;
    }
    if (!inFront || !behind) {
        for (int i = 0; i < n; ++i) {
            if (!inFront) backSide.Add(vertices[i]);
            if (!behind) frontSide.Add(vertices[i]);
        }
    } else {
        for (int i = 0; i < n; ++i) {
            const int j = (i + 1) % n;
            const int si = sides[i].side, sj = sides[j].side;
            if (si != kBspBack) frontSide.Add(vertices[i]);
            if (si != kBspFront) backSide.Add(vertices[i]);
            if (si != kBspOnPlane && sj != kBspOnPlane && si != sj) {
                const BspVertex cut =
                    CrossingVertex(plane, vertices[i], vertices[j], sides[i], sides[j]);
                backSide.Add(cut);
                frontSide.Add(cut);
            }
        }
    }
    // Both results are allocated before either output changes, so a failure leaves both as
    // they were.
    BspBlock<BspVertex> frontExact(front ? static_cast<std::size_t>(frontSide.count) : 0);
    BspBlock<BspVertex> backExact(back ? static_cast<std::size_t>(backSide.count) : 0);
    Commit(frontExact, frontSide, front);
    Commit(backExact, backSide, back);
    return 0;
}

bool BspPolygon::InitFromPlane(const BspPlane& plane, const BspBounds& bounds) {
    const BspVector& n = plane.normal;
    const BspVector centre = bounds.Centre();
    const BspVector p = centre - n * (n.Dot(centre) - plane.d);

    // The axis of the normal's smallest component.
    const float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    BspVector axis;
    if (ay > az)
        axis = ax > az ? BspVector(0, 0, 1) : BspVector(1, 0, 0);
    else
        axis = ax < ay ? BspVector(1, 0, 0) : BspVector(0, 1, 0);

    BspVector a = Normalized(axis.Cross(n));
    BspVector b = Normalized(a.Cross(n));
    const float reach = (bounds.highest - centre).Length();
    a *= reach;
    b *= reach;

    Clear();
    if (AddVertices(4) < 0) return false;
    const BspVector corners[4] = {p + a - b, p + a + b, p - a + b, p - a - b};
    for (int i = 0; i < 4; ++i) {
        vertices[i] = BspVertex(corners[i]);
        vertices[i].normal = n;
    }
    return true;
}

BspVector BspPolygon::ComputeNormal() const {
    float best = 99999.0f;
    BspVector first, second;
    for (int k = 0; k + 2 < count; ++k) {
        const BspVector e1 = Normalized(vertices[k + 1].position - vertices[0].position);
        const BspVector e2 = Normalized(vertices[k + 2].position - vertices[0].position);
        const float value = std::fabs(e1.Dot(e2));
        if (value < best) {
            best = value;
            first = e1;
            second = e2;
        }
    }
    return Normalized(first.Cross(second));
}

bool BspPolygon::IsConvex() const {
    if (count < 3 || !vertices) return false;
    const BspVector normal = ComputeNormal();
    BspVector previous = Normalized(vertices[0].position - vertices[count - 1].position);
    bool left = false, right = false;
    for (int i = 0; i < count; ++i) {
        const BspVector edge =
            Normalized(vertices[(i + 1) % count].position - vertices[i].position);
        const float s = previous.Cross(edge).Dot(normal);
        if (s < -kBspNormalizeEpsilon) left = true;
        if (s > kBspNormalizeEpsilon) right = true;
        if (left && right) return false;
        previous = edge;
    }
    return true;
}

bool BspPolygon::IsPlanar() const {
    if (count < 4 || !vertices) return true;
    const BspPlane plane = BspPlane::FromPointNormal(ComputeNormal(), vertices[0].position);
    return Classify(plane) == kBspOnPlane;
}

float BspPolygon::Area() const {
    if (count < 3 || !vertices) return 0.0f;
    const BspVector normal = ComputeNormal();
    BspVector sum;
    for (int k = 0; k + 2 < count; ++k)
        sum += (vertices[k + 1].position - vertices[0].position)
                   .Cross(vertices[k + 2].position - vertices[0].position);
    return std::fabs(sum.Dot(normal)) * 0.5f;
}
