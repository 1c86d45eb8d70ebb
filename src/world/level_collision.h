// Collision of a moving sphere or ellipsoid with the loaded level's polygons and curved
// surfaces: candidate faces come from the BSP node boxes the move crosses, the body is swept in
// ellipsoid space against each candidate triangle and slides along the nearest hit, a bounded
// number of times. Positions are engine units.
#pragma once

#include "core/win32.h"

#include <cstdint>

// A move shorter than this ends where it starts.
constexpr float kSmallestLevelMove = 0.003f;
// How far short of a hit a body stops.
constexpr float kLevelContactGap = 0.001f;
// The slides the world's collision slots allow each move.
constexpr std::int32_t kLevelSlideDepth = 5;

// Sweeps a body of radii (x, y, z) from start to end through the level. Writes the reachable
// position to out (when given) and returns 1 when the move touched the level, else 0. Equal
// radii sweep a sphere in world space. smallestMove is the length below which a (remaining)
// move is dropped. Radii that are not all above 0, or points that are not finite, collide with
// nothing: the result is 0 and out the end point. With no level loaded the same holds.
std::int32_t CollideWithLevel(const D3DXVECTOR3& start, const D3DXVECTOR3& end,
                              const D3DXVECTOR3& radii, D3DXVECTOR3* out, std::int32_t depthLimit,
                              float smallestMove = kSmallestLevelMove);

// A move against one ellipsoid centred 10 units above centre: blocked (1, out = start) when the
// move's line meets the ellipsoid both forwards from start and backwards from end; else 0 and
// out = end. Radii not all above 0 block nothing.
std::int32_t MoveThroughEllipsoid(const D3DXVECTOR3& start, const D3DXVECTOR3& end,
                                  const D3DXVECTOR3& centre, const D3DXVECTOR3& radii,
                                  D3DXVECTOR3* out);
