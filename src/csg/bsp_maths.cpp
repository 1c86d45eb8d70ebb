#include "csg/bsp_maths.h"

#include <cmath>
#include <cstring>

BspVector& BspVector::operator+=(const BspVector& v) {
    x += v.x;
    y += v.y;
    z += v.z;
    return *this;
}

BspVector& BspVector::operator-=(const BspVector& v) {
    x -= v.x;
    y -= v.y;
    z -= v.z;
    return *this;
}

BspVector& BspVector::operator*=(float s) {
    x *= s;
    y *= s;
    z *= s;
    return *this;
}

BspVector& BspVector::operator/=(float s) {
    return *this *= 1.0f / s;
}

BspVector BspVector::operator+(const BspVector& v) const {
    return BspVector(x + v.x, y + v.y, z + v.z);
}

BspVector BspVector::operator-(const BspVector& v) const {
    return BspVector(x - v.x, y - v.y, z - v.z);
}

BspVector BspVector::operator*(float s) const {
    return BspVector(x * s, y * s, z * s);
}

BspVector BspVector::operator/(float s) const {
    return *this * (1.0f / s);
}

BspVector BspVector::Cross(const BspVector& v) const {
    return BspVector(y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x);
}

float BspVector::Dot(const BspVector& v) const {
    return x * v.x + y * v.y + z * v.z;
}

float BspVector::Length() const {
    return std::sqrt(Dot(*this));
}

BspVector& BspVector::Normalize() {
    const float length = Length();
    if (std::fabs(length) < kBspNormalizeEpsilon) return *this;
    return *this *= 1.0f / length;
}

float BspVector::PlaneDistance(const BspPlane& plane) const {
    return Dot(plane.normal) - plane.d;
}

bool BspVector::NearlyEqual(const BspVector& v, float epsilon) const {
    return std::fabs(x - v.x) < epsilon && std::fabs(y - v.y) < epsilon &&
           std::fabs(z - v.z) < epsilon;
}

bool BspVector::RoughlyEqual(const BspVector& v) const {
    return std::fabs((x - v.x) + (y - v.y) + (z - v.z)) < kBspRoughEpsilon;
}

BspVector Normalized(BspVector v) {
    return v.Normalize();
}

BspPlane::BspPlane(const BspVector& n, float distance) : normal(Normalized(n)), d(distance) {}

BspPlane BspPlane::FromPointNormal(const BspVector& n, const BspVector& point) {
    BspPlane plane;
    plane.normal = Normalized(n);
    plane.d = plane.normal.Dot(point);
    return plane;
}

int BspPlane::ClassifyPoint(const BspVector& point, float* distance) const {
    const float dist = normal.Dot(point) - d;
    if (distance) *distance = dist;
    if (dist > kBspPlaneEpsilon) return kBspFront;
    if (dist < -kBspPlaneEpsilon) return kBspBack;
    return kBspOnPlane;
}

bool BspPlane::IntersectSegment(const BspVector& a, const BspVector& b, BspVector& point,
                                float* t) const {
    const BspVector dir = b - a;
    const float den = normal.Dot(dir);
    if (std::fabs(den) < kBspPlaneEpsilon) return false;
    const float along = normal.Dot(normal * d - a) / den;
    if (along < 0.0f || along > 1.0f) return false;
    point = a + dir * along;
    if (t) *t = along;
    return true;
}

void BspBounds::Reset() {
    *this = BspBounds();
}

void BspBounds::GrowByPoints(const void* first, int count, int stride, bool resetFirst) {
    if (!first) return;
    if (resetFirst) Reset();
    const auto* bytes = static_cast<const unsigned char*>(first);
    for (int k = 0; k < count; ++k) {
        float p[3];
        std::memcpy(p, bytes + static_cast<std::ptrdiff_t>(k) * stride, sizeof p);
        lowest.Set(std::fmin(lowest.x, p[0]), std::fmin(lowest.y, p[1]), std::fmin(lowest.z, p[2]));
        highest.Set(std::fmax(highest.x, p[0]), std::fmax(highest.y, p[1]),
                    std::fmax(highest.z, p[2]));
    }
}

BspVector BspBounds::Size() const {
    return highest - lowest;
}

BspVector BspBounds::Centre() const {
    return (lowest + highest) / 2.0f;
}

bool BspBounds::OverlapsWithMargin(const BspBounds& other, const BspVector& margin) const {
    auto axis = [](float low, float high, float otherLow, float otherHigh, float m) {
        return low - m <= otherHigh + m && otherLow - m < high + m;
    };
    return axis(lowest.x, highest.x, other.lowest.x, other.highest.x, margin.x) &&
           axis(lowest.y, highest.y, other.lowest.y, other.highest.y, margin.y) &&
           axis(lowest.z, highest.z, other.lowest.z, other.highest.z, margin.z);
}
