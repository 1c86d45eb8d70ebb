// The work the pixel commands did, counted so that tests can bound it.
#pragma once

#include <cstdint>

// Columns of circle walks visited since the program started; each plots up to eight points.
std::int64_t CircleStepsTaken();
