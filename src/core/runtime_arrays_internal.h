// The parts of an array block that only the array files and list commands reach.
#pragma once

#include "core/runtime_arrays.h"

#include <cstdint>

// The flag bytes (one per element) and the element storage behind the pointer table.
std::uint8_t* ArrayFlags(RuntimeArray array);
std::uint8_t* ArrayStorage(RuntimeArray array);
// Points entry i of the table at element i of the storage.
void RebuildArrayTable(RuntimeArray array);
