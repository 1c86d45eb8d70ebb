#include "core/win32.h"

#include "object3d/sliding_collision.h"
#include "object3d/object_state.h"
#include "universe/universe.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::int32_t kDepthLimit = 5; // slides after the first sweep: six sweeps at most
constexpr float kFarAway = 1e7f;
constexpr float kGroundNormalY = 0.5f;
constexpr float kUniverseUnitsPerMetre = 200.0f;

// Written only on the main thread. The settings persist between moves; the packet and the result
// are overwritten by each CollideAndSlide. The triangles belong to whoever registered them.
struct State {
    std::uint8_t gravityPass = 1;
    std::uint8_t backFaceCull = 0;
    std::uint8_t sliding = 1;
    float unitsPerMetre = 0;
    CollisionVector gravity;
    CollisionVector ellipsoidRadius{1, 1, 1};
    std::int32_t triangleCount = 0;
    const float* triangles = nullptr;
    std::int32_t vertexGap = 0;
    std::int32_t depth = 0;
    CollisionPacket packet;
    SlideResult result;
};

State sliding;

// A radius or divisor is a positive size; anything else would turn positions into NaN or
// mirror the space (and with it which way is up), so it counts as 1.
float UsableSize(float size) {
    return std::isfinite(size) && size > 0 ? size : 1.0f;
}

CollisionVector Corner(const float* data, std::int64_t offset) {
    return {data[offset], data[offset + 1], data[offset + 2]};
}

// The sphere's first touch of a corner, sooner than t.
bool SweepCorners(const CollisionPacket& packet, const CollisionVector (&corner)[3], float& t,
                  CollisionVector& contact) {
    bool found = false;
    const float a = packet.velocity.SquaredLength();
    for (const CollisionVector& p : corner) {
        const float b = 2 * packet.velocity.Dot(packet.basePoint - p);
        const float c = (p - packet.basePoint).SquaredLength() - 1;
        float root;
        if (LowestRoot(a, b, c, t, &root)) t = root, contact = p, found = true;
    }
    return found;
}

// The sphere's first touch of an edge between its ends, sooner than t.
bool SweepEdges(const CollisionPacket& packet, const CollisionVector (&corner)[3], float& t,
                CollisionVector& contact) {
    bool found = false;
    const CollisionVector& velocity = packet.velocity;
    const float velocitySquared = velocity.SquaredLength();
    for (int k = 0; k < 3; ++k) {
        const CollisionVector& start = corner[k];
        const CollisionVector edge = corner[(k + 1) % 3] - start;
        const CollisionVector to = start - packet.basePoint;
        const float e2 = edge.SquaredLength(), ev = edge.Dot(velocity), et = edge.Dot(to);
        const float a = e2 * -velocitySquared + ev * ev;
        const float b = e2 * (2 * velocity.Dot(to)) - 2 * ev * et;
        const float c = e2 * (1 - to.SquaredLength()) + et * et;
        float root;
        if (!LowestRoot(a, b, c, t, &root)) continue;
        const float f = (ev * root - et) / e2;
        if (f >= 0 && f <= 1) t = root, contact = start + edge * f, found = true;
    }
    return found;
}

// Stops the sweep just short of the packet's contact; fills the result on the first sweep.
CollisionVector StopShort(const CollisionVector& p, const CollisionVector& v, float veryClose) {
    CollisionPacket& packet = sliding.packet;
    CollisionVector newBase = p;
    if (packet.nearestDistance >= veryClose) {
        CollisionVector toContact = v;
        toContact.SetLength(packet.nearestDistance - veryClose);
        if (toContact.SquaredLength() > 0) {
            newBase = p + toContact;
            toContact.Normalize();
            packet.intersectionPoint = packet.intersectionPoint - toContact * veryClose;
        }
    }
    if (sliding.depth == 0) {
        SlideResult& result = sliding.result;
        result.hit = 1;
        result.distance = (newBase - p).Length();
        result.firstSweepPosition = newBase;
        result.triangle = packet.triangle;
        result.groundContact = packet.groundContact;
    }
    return newBase;
}

} // namespace

CollisionPlane::CollisionPlane(const CollisionVector& planeOrigin,
                               const CollisionVector& planeNormal)
    : equation{planeNormal.x, planeNormal.y, planeNormal.z, -planeNormal.Dot(planeOrigin)},
      origin(planeOrigin), normal(planeNormal) {}

CollisionPlane::CollisionPlane(const CollisionVector& p1, const CollisionVector& p2,
                               const CollisionVector& p3)
    : origin(p1), normal((p2 - p1).Cross(p3 - p1)) {
    normal.Normalize();
    equation[0] = normal.x, equation[1] = normal.y, equation[2] = normal.z;
    equation[3] = -normal.Dot(origin);
}

void SetCollisionGravityPass(std::uint8_t on) {
    sliding.gravityPass = on;
}

void SetCollisionBackFaceCull(std::uint8_t on) {
    sliding.backFaceCull = on;
}

void SetCollisionSliding(std::uint8_t on) {
    sliding.sliding = on;
}

// Below 0 the stop distance would carry the sphere past its contact.
void SetCollisionUnitsPerMetre(float units) {
    sliding.unitsPerMetre = units >= 0 ? units : 0.0f;
}

void SetCollisionGravity(const CollisionVector& gravity) {
    sliding.gravity = gravity;
}

void SetCollisionEllipsoidRadius(const CollisionVector& radius) {
    sliding.ellipsoidRadius = {UsableSize(radius.x), UsableSize(radius.y), UsableSize(radius.z)};
}

void SetCollisionTriangles(std::int32_t count, const float* data, std::int32_t vertexGap) {
    sliding.triangleCount = data && count > 0 ? count : 0;
    sliding.triangles = data;
    sliding.vertexGap = std::max(vertexGap, 0); // a negative gap reads before the data
}

void PrepareUniverseCollision() {
    SetCollisionGravityPass(0);
    SetCollisionBackFaceCull(0);
    SetCollisionSliding(1);
    SetCollisionUnitsPerMetre(kUniverseUnitsPerMetre);
    SetCollisionGravity({0, 0, 0});
    const Universe* universe = g_Object3D.universe;
    if (universe)
        SetCollisionTriangles(static_cast<std::int32_t>(universe->triangleFloats / 9),
                              universe->triangleBuffer.data(), 0);
    else
        SetCollisionTriangles(0, nullptr, 0);
}

std::int32_t SlideAgainstUniverse(float fromX, float fromY, float fromZ, float toX, float toY,
                                  float toZ, float divisorX, float divisorY, float divisorZ,
                                  float radiusY) {
    // Without a world the registered triangles may be a world already deleted.
    const Universe* universe = g_Object3D.universe;
    if (!universe) return 0;
    const CollisionVector divisor(UsableSize(divisorX), UsableSize(divisorY), UsableSize(divisorZ));
    const CollisionVector from = CollisionVector(fromX, fromY, fromZ) / divisor;
    const CollisionVector to = CollisionVector(toX, toY, toZ) / divisor;
    SetCollisionEllipsoidRadius({1, radiusY, 1});
    const SlideResult* r = CollideAndSlide(from, to - from);
    if (!r->hit) return 0;

    CollisionResult& block = g_Object3D.universeCollision;
    const CollisionVector end = r->finalPosition * divisor;
    const CollisionVector movement = end - from * divisor;
    block.endPosition = D3DXVECTOR3(end.x, end.y, end.z);
    block.movement = D3DXVECTOR3(movement.x, movement.y, movement.z);
    block.count = static_cast<std::int32_t>(universe->triangleFloats);
    const std::vector<std::int32_t>& tags = universe->triangleWords;
    if (r->triangle >= 0 && static_cast<std::size_t>(r->triangle) < tags.size() &&
        static_cast<std::uint32_t>(r->triangle) < universe->triangleFloats / 9)
        block.index = tags[r->triangle];
    block.ground = r->groundContact;
    return 1;
}

SlideResult* CollideAndSlide(const CollisionVector& position, const CollisionVector& velocity) {
    CollisionPacket& packet = sliding.packet;
    const CollisionVector radius = sliding.ellipsoidRadius;
    sliding.result = SlideResult{};
    packet.worldPosition = position;
    packet.worldVelocity = velocity;
    sliding.depth = 0;
    CollisionVector final = SweepEllipsoid(position / radius, velocity / radius);
    if (sliding.gravityPass) {
        packet.worldPosition = final * radius;
        packet.worldVelocity = sliding.gravity;
        sliding.depth = 0;
        final = SweepEllipsoid(final, sliding.gravity / radius);
    }
    packet.intersectionPoint = packet.intersectionPoint * radius;
    sliding.result.finalPosition = final * radius;
    return &sliding.result;
}

CollisionVector SweepEllipsoid(const CollisionVector& position, const CollisionVector& velocity) {
    const float veryClose = sliding.unitsPerMetre * 0.01f * 0.005f;
    if (sliding.depth > kDepthLimit) return position;
    // An empty (or non-finite) move has no direction to sweep along.
    const float length = velocity.Length();
    if (!std::isfinite(length) || length <= 0) return position;

    CollisionPacket& packet = sliding.packet;
    packet.ellipsoidRadius = sliding.ellipsoidRadius;
    packet.velocity = velocity;
    packet.normalizedVelocity = velocity;
    packet.normalizedVelocity.Normalize();
    packet.velocityLength = length;
    packet.basePoint = position;
    packet.foundCollision = 0;
    packet.nearestDistance = kFarAway;
    packet.triangle = -1;
    packet.groundContact = 0;
    SweepEllipsoidTriangles();
    if (!packet.foundCollision) return position + velocity;

    const CollisionVector destination = position + velocity;
    const CollisionVector newBase = StopShort(position, velocity, veryClose);
    if (!sliding.sliding) return newBase;

    // Slide on the plane through the contact that faces the sphere's centre.
    CollisionVector normal = newBase - packet.intersectionPoint;
    normal.Normalize();
    const CollisionPlane slidingPlane(packet.intersectionPoint, normal);
    const CollisionVector newDestination =
        destination - normal * slidingPlane.SignedDistanceTo(destination);
    const CollisionVector newVelocity = newDestination - packet.intersectionPoint;
    if (newVelocity.Length() < veryClose) return newBase;
    ++sliding.depth;
    return SweepEllipsoid(newBase, newVelocity);
}

void SweepEllipsoidTriangles() {
    CollisionPacket& packet = sliding.packet;
    const CollisionVector& radius = packet.ellipsoidRadius;
    const std::int64_t vertexStride = 3 + sliding.vertexGap;
    for (std::int32_t i = 0; i < sliding.triangleCount; ++i) {
        const std::int64_t base = 3 * vertexStride * i;
        const CollisionVector p1 = Corner(sliding.triangles, base) / radius;
        const CollisionVector p2 = Corner(sliding.triangles, base + vertexStride) / radius;
        const CollisionVector p3 = Corner(sliding.triangles, base + 2 * vertexStride) / radius;
        SweepSphereTriangle(packet, p1, p2, p3);
        if (packet.triangle != -2) continue;
        // The nearest contact so far names the triangle and whether it is ground.
        packet.triangle = i;
        packet.groundContact = CollisionPlane(p1, p2, p3).normal.y > kGroundNormalY ? 1 : 0;
    }
}

void SweepSphereTriangle(CollisionPacket& packet, const CollisionVector& p1,
                         const CollisionVector& p2, const CollisionVector& p3) {
    const CollisionPlane plane(p1, p2, p3);
    if (sliding.backFaceCull && !plane.IsFrontFacingTo(packet.normalizedVelocity)) return;

    // When the sphere is within one unit of the plane: t0 .. t1 along the velocity.
    const float dist = plane.SignedDistanceTo(packet.basePoint);
    const float nv = plane.normal.Dot(packet.velocity);
    bool embedded = false;
    float t0 = 0;
    if (nv == 0) {
        if (std::fabs(dist) >= 1.0f) return;
        embedded = true;
    } else {
        t0 = (-1 - dist) / nv;
        float t1 = (1 - dist) / nv;
        if (t0 > t1) std::swap(t0, t1);
        if (t0 > 1 || t1 < 0) return;
        t0 = std::clamp(t0, 0.0f, 1.0f);
    }

    const CollisionVector corner[3] = {p1, p2, p3};
    CollisionVector contact;
    float t = 1.0f;
    bool found = false;
    if (!embedded) {
        // Where the sphere meets the plane, on whichever side of it the sphere is.
        const CollisionVector centre = packet.basePoint + packet.velocity * t0;
        const float side = plane.SignedDistanceTo(centre) < 0 ? -1.0f : 1.0f;
        const CollisionVector planePoint = centre - plane.normal * side;
        if (PointInTriangle(planePoint, p1, p2, p3)) t = t0, contact = planePoint, found = true;
    }
    if (!found) {
        found = SweepCorners(packet, corner, t, contact);
        found = SweepEdges(packet, corner, t, contact) || found;
    }
    if (!found) return;
    const float distance = t * packet.velocityLength;
    if (distance < packet.nearestDistance) {
        packet.nearestDistance = distance;
        packet.intersectionPoint = contact;
        packet.foundCollision = 1;
        packet.triangle = -2;
    }
}

bool PointInTriangle(const CollisionVector& point, const CollisionVector& a,
                     const CollisionVector& b, const CollisionVector& c) {
    const CollisionVector e10 = b - a, e20 = c - a, vp = point - a;
    const float ab = e10.Dot(e10), bb = e10.Dot(e20), cc = e20.Dot(e20);
    const float d = vp.Dot(e10), e = vp.Dot(e20);
    const float x = d * cc - e * bb;
    const float y = e * ab - d * bb;
    const float z = x + y - (ab * cc - bb * bb);
    return std::signbit(z) && !std::signbit(x) && !std::signbit(y);
}

bool LowestRoot(float a, float b, float c, float limit, float* root) {
    // Not a quadratic: the sweep's direction runs along the edge, whose ends the corners catch.
    if (a == 0) return false;
    const float determinant = b * b - 4 * a * c;
    if (determinant < 0) return false;
    const float sq = std::sqrt(determinant);
    float r1 = (-b - sq) / (2 * a);
    float r2 = (-b + sq) / (2 * a);
    if (r1 > r2) std::swap(r1, r2);
    if (r1 > 0 && r1 < limit) {
        *root = r1;
        return true;
    }
    if (r2 > 0 && r2 < limit) {
        *root = r2;
        return true;
    }
    return false;
}
