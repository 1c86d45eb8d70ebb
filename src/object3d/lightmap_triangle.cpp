#include "core/win32.h"

#include "object3d/frustum.h"
#include "object3d/lightmapper.h"
#include "object3d/object_records.h"
#include "object3d/object_state.h"
#include "universe/universe.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// A light must stand this far in front of a face to light it.
constexpr float kFacingSlack = -0.01f;

D3DXVECTOR3 Cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    D3DXVECTOR3 r;
    D3DXVec3Cross(&r, &a, &b);
    return r;
}

float Dot(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return D3DXVec3Dot(&a, &b);
}

float Distance(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    const D3DXVECTOR3 d = a - b;
    return D3DXVec3Length(&d);
}

// The point of the triangle's plane above (u, v) of the plane of the two other axes.
D3DXVECTOR3 Lift(const LightmapTriangle& t, float u, float v) {
    const D3DXVECTOR3& n = t.normal;
    const float d = -Dot(n, t.origin);
    switch (t.axis) {
    case 1:
        return D3DXVECTOR3(-(n.y * u + n.z * v + d) / n.x, u, v);
    case 2:
        return D3DXVECTOR3(u, -(n.x * u + n.z * v + d) / n.y, v);
    default:
        return D3DXVECTOR3(u, v, -(n.x * u + n.y * v + d) / n.z);
    }
}

// Whether the light reaches the triangle through one of its portals (any, without portals).
bool TriangleSeenThroughPortals(const LightmapTriangle& t, const LightmapMeshLight& light) {
    if (light.portals.empty()) return true;
    for (const UniversePlaneSet& set : light.portals)
        if (CheckTriangleInFrustum(set.planes, &t.vertices[0]->position, &t.vertices[1]->position,
                                   &t.vertices[2]->position))
            return true;
    return false;
}

// Whether a shadow-casting light reaches the point: inside one of its portals, with no occluder
// between (the world's segment test leaves out both ends: a lumel lies on its own face, and a
// light may sit on an occluder's surface).
bool LightReachesPoint(const LightmapMeshLight& light, const D3DXVECTOR3& point) {
    bool inside = light.portals.empty();
    for (const UniversePlaneSet& set : light.portals)
        inside = inside || CheckPointInFrustumSides(set.planes, &point);
    if (!inside) return false;
    for (const MeshRecord* occluder : light.occluders)
        if (IntersectSegmentWithMesh(occluder, point, light.light->position)) return false;
    return true;
}

bool LightsTriangle(const LightmapTriangle& t, const LightmapMeshLight& light) {
    const LightmapLight& l = *light.light;
    if (!TriangleSeenThroughPortals(t, light)) return false;
    float nearest = Distance(t.vertices[0]->position, l.position);
    for (int k = 1; k < 3; ++k)
        nearest = std::min(nearest, Distance(t.vertices[k]->position, l.position));
    if (!(nearest <= l.range)) return false;
    return Dot(t.normal, t.origin - l.position) < kFacingSlack;
}

// One channel of a light's contribution, stepped when the step is above 0.
float Stepped(float c, std::int32_t step) {
    if (step <= 0) return c;
    return static_cast<float>(static_cast<std::int32_t>(std::lround(c)) / step * step);
}

// Adds the light's contribution at point p into the three accumulators.
void AddLight(const LightmapTriangle& t, const LightmapLight& l, const D3DXVECTOR3& p,
              std::int32_t step, float* rgb) {
    const D3DXVECTOR3 toLight = l.position - p;
    const float distance = D3DXVec3Length(&toLight);
    if (!(distance > 0 && distance <= l.range)) return;
    const float a = 1 - distance / l.range;
    const float intensity = Dot(t.normal, toLight) / distance * a + a;
    rgb[0] += Stepped(intensity * l.colour.x, step);
    rgb[1] += Stepped(intensity * l.colour.y, step);
    rgb[2] += Stepped(intensity * l.colour.z, step);
}

std::uint32_t ChannelByte(float c) {
    // Negative colours (a light given a negative colour or brightness) darken no further than 0.
    return static_cast<std::uint32_t>(std::lround(std::clamp(c, 0.0f, 255.0f)));
}

} // namespace

std::int32_t GetDominantAxis(const D3DXVECTOR3& n) {
    const float x = std::fabs(n.x), y = std::fabs(n.y), z = std::fabs(n.z);
    if (x > y && x > z) return 1;
    if (y > x && y > z) return 2;
    return 3;
}

void SetupTriangle(LightmapTriangle& t, LightmapVertex* a, LightmapVertex* b, LightmapVertex* c) {
    t.vertices[0] = a;
    t.vertices[1] = b;
    t.vertices[2] = c;
    t.origin = a->position;
    const D3DXVECTOR3 n = Cross(b->position - a->position, c->position - a->position);
    const float length = D3DXVec3Length(&n);
    t.degenerate = !(length > 0) || !std::isfinite(length);
    t.normal = t.degenerate ? D3DXVECTOR3(0, 0, 0) : n / length;
    t.axis = GetDominantAxis(t.normal);
    for (int k = 0; k < 3; ++k) {
        const D3DXVECTOR3& p = t.vertices[k]->position;
        t.uv[k][0] = t.axis == 1 ? p.y : p.x;
        t.uv[k][1] = t.axis == 3 ? p.y : p.z;
        t.vertices[k]->lightU = t.uv[k][0];
        t.vertices[k]->lightV = t.uv[k][1];
    }
}

void NormalizeTriangleUV(LightmapTriangle& t) {
    t.minU = std::min({t.uv[0][0], t.uv[1][0], t.uv[2][0]});
    t.maxU = std::max({t.uv[0][0], t.uv[1][0], t.uv[2][0]});
    t.minV = std::min({t.uv[0][1], t.uv[1][1], t.uv[2][1]});
    t.maxV = std::max({t.uv[0][1], t.uv[1][1], t.uv[2][1]});
    t.width = t.maxU - t.minU;
    t.height = t.maxV - t.minV;
    // A rectangle without area would divide by zero: such a triangle has no lumels of its own.
    if (!(t.width > 0) || !(t.height > 0)) t.degenerate = true;
    for (int k = 0; k < 3; ++k) {
        t.uv[k][0] = t.degenerate ? 0.0f : (t.uv[k][0] - t.minU) / t.width;
        t.uv[k][1] = t.degenerate ? 0.0f : (t.uv[k][1] - t.minV) / t.height;
        t.vertices[k]->lightU = t.uv[k][0];
        t.vertices[k]->lightV = t.uv[k][1];
    }
}

void SetupLumelPlane(LightmapTriangle& t) {
    if (t.degenerate) {
        t.lumelOrigin = t.origin;
        t.edgeU = t.edgeV = D3DXVECTOR3(0, 0, 0);
        return;
    }
    t.lumelOrigin = Lift(t, t.minU, t.minV);
    t.edgeU = Lift(t, t.maxU, t.minV) - t.lumelOrigin;
    t.edgeV = Lift(t, t.minU, t.maxV) - t.lumelOrigin;
}

std::uint8_t LightTriangle(const LightmapTriangle& t, const std::vector<LightmapMeshLight>& lights,
                           std::int32_t w, std::int32_t h, std::int32_t colourStep,
                           std::uint32_t* lumels) {
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    std::vector<float> rgb(count * 3, 0.0f);
    std::uint8_t shadow = 0;
    for (const LightmapMeshLight& light : lights) {
        if (t.degenerate || !light.light || !LightsTriangle(t, light)) continue;
        for (std::int32_t j = 0; j < h; ++j) {
            for (std::int32_t i = 0; i < w; ++i) {
                // One lumel of border on each side lies outside the rectangle.
                const D3DXVECTOR3 p =
                    t.lumelOrigin +
                    static_cast<float>(i - 1) / static_cast<float>(w - 2) * t.edgeU +
                    static_cast<float>(j - 1) / static_cast<float>(h - 2) * t.edgeV;
                if (light.light->castsShadows && !LightReachesPoint(light, p)) {
                    shadow = 1;
                    continue;
                }
                AddLight(t, *light.light, p, colourStep,
                         &rgb[(static_cast<std::size_t>(j) * w + i) * 3]);
            }
        }
    }
    for (std::size_t k = 0; k < count; ++k)
        lumels[k] = 0xFF000000u | ChannelByte(rgb[3 * k]) << 16 | ChannelByte(rgb[3 * k + 1]) << 8 |
                    ChannelByte(rgb[3 * k + 2]);
    return shadow;
}
