// The CSG library's own geometry: a 3-component vector, a plane and an axis-aligned box, all in
// single precision. Their tolerances decide how the polygon splitter treats near-coplanar and
// near-touching geometry, so they are fixed here once for the whole library.
#pragma once

#include <cstdint>

// Points closer than this to a plane lie on it; segments closer than this to parallel miss it.
constexpr float kBspPlaneEpsilon = 0.01f;
// Vectors shorter than this are not normalised.
constexpr float kBspNormalizeEpsilon = 1e-5f;
// Summed component difference under which two normals count as facing the same way.
constexpr float kBspRoughEpsilon = 0.1f;

// Sides of a plane, as ClassifyPoint and the polygon classification report them.
enum BspSide : int {
    kBspFront = 1,
    kBspBack = 2,
    kBspOnPlane = 3, // a polygon: coplanar
    kBspSpanning = 4,
};

struct BspPlane;

struct BspVector {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    BspVector() = default;
    BspVector(float ax, float ay, float az) : x(ax), y(ay), z(az) {}

    void Set(float ax, float ay, float az) {
        x = ax;
        y = ay;
        z = az;
    }
    void CopyFrom(const BspVector& v) { *this = v; }

    BspVector& operator+=(const BspVector& v);
    BspVector& operator-=(const BspVector& v);
    BspVector& operator*=(float s);
    BspVector& operator/=(float s); // by the reciprocal, as every division here
    BspVector operator+(const BspVector& v) const;
    BspVector operator-(const BspVector& v) const;
    BspVector operator*(float s) const;
    BspVector operator/(float s) const;

    BspVector Cross(const BspVector& v) const;
    float Dot(const BspVector& v) const;
    float Length() const;
    // Unit length, unless the vector is too short to have a direction: then it stays as it is.
    BspVector& Normalize();
    float PlaneDistance(const BspPlane& plane) const;
    // Each component strictly within epsilon.
    bool NearlyEqual(const BspVector& v, float epsilon) const;
    // The signed differences are summed before the absolute value, so opposite ones cancel.
    bool RoughlyEqual(const BspVector& v) const;
};

// A copy of v with unit length (or v itself when it is too short).
BspVector Normalized(BspVector v);

// The points p with dot(normal, p) = d.
struct BspPlane {
    BspVector normal;
    float d = 0.0f;

    BspPlane() = default;
    BspPlane(const BspVector& n, float distance);
    static BspPlane FromPointNormal(const BspVector& n, const BspVector& point);

    // kBspFront above +0.01, kBspBack below -0.01, else kBspOnPlane (0.01 itself is on it).
    int ClassifyPoint(const BspVector& point, float* distance = nullptr) const;
    // The point where segment a-b meets the plane, with t from 0 at a to 1 at b, both ends
    // included; false for a segment (nearly) parallel to the plane or one that stops short.
    bool IntersectSegment(const BspVector& a, const BspVector& b, BspVector& point,
                          float* t = nullptr) const;
};

struct BspBounds {
    BspVector lowest{9999999.0f, 9999999.0f, 9999999.0f};
    BspVector highest{-9999999.0f, -9999999.0f, -9999999.0f};

    void Reset();
    // Widens the box by count points, stride bytes apart, each read as its first three floats.
    // A null pointer does nothing, not even the reset.
    void GrowByPoints(const void* first, int count, int stride, bool resetFirst);
    BspVector Size() const;
    BspVector Centre() const;
    // Equality counts as overlap on the low side of this box and not on its high side.
    bool OverlapsWithMargin(const BspBounds& other, const BspVector& margin) const;
};
