// The commands that place, turn and scale numbered objects. Each checks the number with
// ConfirmObjectInstance first, sets the moved flag and rebuilds the world matrix at once.
#pragma once

#include <cstdint>

bool PositionObject(std::int32_t n, float x, float y, float z);
// Angles in degrees; leaves free-flight mode.
bool RotateObject(std::int32_t n, float x, float y, float z);
// Scale in percent.
bool ScaleObject(std::int32_t n, float x, float y, float z);
