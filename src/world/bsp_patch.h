// Curved-surface faces: a patch of w x h control points (both odd, at least 3) is a grid of
// biquadratic Bezier pieces sharing their edge points. Each is turned, at load, into a vertex grid
// subdivided as finely as its curvature asks and a triangle list over it.
#pragma once

#include "world/world_vertex.h"

#include <cstdint>
#include <vector>

// The finest subdivision level a curve may ask for, and what one patch's grid may hold: its
// indices are 16-bit.
constexpr std::int32_t kMostPatchLevel = 199;
constexpr std::int32_t kMostPatchVertices = 65536;

struct PatchRecord {
    std::int32_t vertexCount = 0;
    std::vector<WorldVertex> vertices;
    std::int32_t indexCount = 0;
    std::vector<std::uint16_t> indices;
};

// The subdivision level (0 to 199) of the quadratic curve from a to c with middle control point
// b (level units): how many times the curve's midpoint must come within 200 units of the middle
// control point, a quarter closer each time after the first.
std::int32_t TessellatePatchLevel(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c);

// Subdivides, in place, one line of count grid vertices spaced stride apart whose control points
// lie step vertices apart: each piece's middle point moves onto the curve and the points between
// take the halves' control points, down to neighbouring vertices. Positions, normals and both
// coordinate sets are interpolated; colours are averaged byte by byte.
void TessellatePatch(std::int32_t step, std::int32_t count, std::int32_t stride,
                     WorldVertex* vertices);

// The grid of a patch face over the level's vertices: false (nothing built) when the face's size
// is not odd w and h of at least 3 with w x h its vertex count, when its vertices lie outside the
// array, or when every row's (or every column's) pieces start and end at one point. Levels that
// would make a grid of more than kMostPatchVertices are lowered until it fits. The grid and its
// indices are charged to the running load before they are made (std::bad_alloc past its budget).
bool BuildPatchGrid(const BspFace& face, const std::vector<BspVertex>& vertices,
                    PatchRecord& patch);

// BuildPatchGrid appended to the table: the new record's index, or -1.
std::int32_t BuildPatch(const BspFace& face, const std::vector<BspVertex>& vertices,
                        std::vector<PatchRecord>& patches);
