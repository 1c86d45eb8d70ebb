// Movement against the static world: the ray and volume queries as commands. Their bodies live
// in universe_collision.cpp; the command tables in universe_commands.cpp call them.
#pragma once

#include "core/win32.h"

#include <cstdint>

// Distance from the start to the nearest surface on the segment, truncated and at least 1; 0 for
// no hit or no world.
std::int32_t UniverseRayCommand(float x1, float y1, float z1, float x2, float y2, float z2);
// Slides the (10, 30, 10) ellipsoid, its y radius scaled by mode (0 or less acts as 1.0), from the
// old to the new position; 1 when it hit something, 0 otherwise or with no world.
std::int32_t UniverseVolumeCommand(float ox, float oy, float oz, float nx, float ny, float nz,
                                   float mode);
