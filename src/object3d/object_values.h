// Whether an object a file brought in holds numbers only: a damaged or crafted file can carry
// floats that are not numbers, or so large that the squares bounds and radii are measured with
// overflow, and each of them turns every matrix and bound made from it into nonsense.
#pragma once

#include "core/win32.h"

#include <cstdint>

struct ObjectRecord;

// Every coordinate a file gives is no farther out than this.
constexpr float kLargestLoadedValue = 1e18f;

// Whether the device has a texture-stage operation of this number: it looks the number up in its
// own tables when it draws, and one past them is read from beyond their end.
inline bool ColourOperationInRange(std::int64_t operation) {
    return operation >= D3DTOP_DISABLE && operation <= D3DTOP_LERP;
}

// Every float the object was loaded with is a number within kLargestLoadedValue: frame
// matrices, offsets, rotations and scales, vertex positions and normals (key frames included),
// bone offsets and weights, mesh and range materials, and every animation's keys and baked
// matrices; and every texture slot's colour operation is one the device has. False for a null
// object.
bool ObjectValuesInRange(const ObjectRecord* object);
