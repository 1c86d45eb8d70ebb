// Collide-and-slide: an ellipsoid swept through a soup of triangles, stopped just short of what it
// touches and slid along it. Work happens in ellipsoid space, where the ellipsoid is a unit sphere.
// The universe's volume collision is the one client; the result lands in its collision block.
#pragma once

#include <cmath>
#include <cstdint>

struct CollisionVector {
    float x = 0, y = 0, z = 0;

    CollisionVector() = default;
    CollisionVector(float vx, float vy, float vz) : x(vx), y(vy), z(vz) {}
    void Set(float vx, float vy, float vz) { x = vx, y = vy, z = vz; }

    CollisionVector operator+(const CollisionVector& v) const {
        return {x + v.x, y + v.y, z + v.z};
    }
    CollisionVector operator-(const CollisionVector& v) const {
        return {x - v.x, y - v.y, z - v.z};
    }
    // Component-wise product and quotient: into and out of ellipsoid space.
    CollisionVector operator*(const CollisionVector& v) const {
        return {x * v.x, y * v.y, z * v.z};
    }
    CollisionVector operator/(const CollisionVector& v) const {
        return {x / v.x, y / v.y, z / v.z};
    }
    CollisionVector operator*(float s) const { return {x * s, y * s, z * s}; }
    CollisionVector operator/(float s) const { return *this * (1.0f / s); }

    float SquaredLength() const { return x * x + y * y + z * z; }
    float Length() const { return std::sqrt(SquaredLength()); }
    float Dot(const CollisionVector& v) const { return x * v.x + y * v.y + z * v.z; }
    CollisionVector Cross(const CollisionVector& v) const {
        return {y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x};
    }
    // Scales to the wanted length; a zero vector has no direction and stays zero.
    void SetLength(float wanted) {
        const float length = Length();
        if (length > 0) *this = *this * (wanted / length);
    }
    void Normalize() { SetLength(1.0f); }
};

struct CollisionPlane {
    float equation[4] = {}; // a, b, c, d
    CollisionVector origin;
    CollisionVector normal;

    CollisionPlane(const CollisionVector& planeOrigin, const CollisionVector& planeNormal);
    // Normal by the winding p1, p2, p3; a degenerate triangle gets a zero normal.
    CollisionPlane(const CollisionVector& p1, const CollisionVector& p2, const CollisionVector& p3);

    bool IsFrontFacingTo(const CollisionVector& direction) const {
        return normal.Dot(direction) <= 0;
    }
    float SignedDistanceTo(const CollisionVector& point) const {
        return point.Dot(normal) + equation[3];
    }
};

// One sweep's state: what it moves, and the nearest contact found so far.
struct CollisionPacket {
    CollisionVector worldPosition;   // start of the current move, world units
    CollisionVector worldVelocity;   // movement of the current move, world units
    CollisionVector ellipsoidRadius; // divisor into ellipsoid space
    CollisionVector basePoint;       // start of the current sweep, ellipsoid space
    CollisionVector velocity;        // movement of the current sweep, ellipsoid space
    CollisionVector normalizedVelocity;
    float velocityLength = 0;
    std::uint8_t foundCollision = 0;
    float nearestDistance = 0; // along the velocity, to the nearest contact
    CollisionVector intersectionPoint;
    std::int32_t triangle = -1; // -1 none; -2 a new nearest contact not yet numbered
    std::uint8_t groundContact = 0;
};

struct SlideResult {
    std::uint8_t hit = 0;
    float distance = 0;                 // moved in the first sweep, ellipsoid space
    CollisionVector firstSweepPosition; // ellipsoid space
    CollisionVector finalPosition;      // world units
    std::int32_t triangle = -1;
    std::uint8_t groundContact = 0;
};

// Settings; they persist until PrepareUniverseCollision resets them.
void SetCollisionGravityPass(std::uint8_t on);
void SetCollisionBackFaceCull(std::uint8_t on);
void SetCollisionSliding(std::uint8_t on);
void SetCollisionUnitsPerMetre(float units);
void SetCollisionGravity(const CollisionVector& gravity);
void SetCollisionEllipsoidRadius(const CollisionVector& radius);
// Triangle i's corners start at floats (9 + 3 gap) i, + 3 + gap and + 6 + 2 gap (world units).
// The data stays the caller's and must outlive every collision run on it.
void SetCollisionTriangles(std::int32_t count, const float* data, std::int32_t vertexGap);

// The settings of a universe volume collision, with the current universe's triangles.
void PrepareUniverseCollision();
// Slides from -> to against the universe in the space scaled by divisor, with the ellipsoid
// (1, radiusY, 1) there. 1 when anything was hit, and then the universe collision block holds
// the end position, movement, float count, touched triangle's tag and ground contact.
std::int32_t SlideAgainstUniverse(float fromX, float fromY, float fromZ, float toX, float toY,
                                  float toZ, float divisorX, float divisorY, float divisorZ,
                                  float radiusY);
// One move in world units; the result is the module's own record, overwritten by the next call.
SlideResult* CollideAndSlide(const CollisionVector& position, const CollisionVector& velocity);
// One sweep in ellipsoid space, sliding on up to the depth limit; gives the position reached.
CollisionVector SweepEllipsoid(const CollisionVector& position, const CollisionVector& velocity);
// Tests the module's packet against every registered triangle.
void SweepEllipsoidTriangles();
// Tests the unit sphere of the packet against one triangle (ellipsoid space).
void SweepSphereTriangle(CollisionPacket& packet, const CollisionVector& p1,
                         const CollisionVector& p2, const CollisionVector& p3);
// Whether a point of the triangle's plane lies inside it.
bool PointInTriangle(const CollisionVector& point, const CollisionVector& a,
                     const CollisionVector& b, const CollisionVector& c);
// The smallest root of a x^2 + b x + c in (0, limit), when there is one.
bool LowestRoot(float a, float b, float c, float limit, float* root);
