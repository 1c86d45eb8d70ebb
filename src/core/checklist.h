// The shared checklist: rows in CoreData that list-producing commands fill and query commands read.
#pragma once

#include "core/core_data.h"

#include <cstdint>

// Makes row (0-based) exist and its text hold at least length characters, keeping its text.
// The row array starts at 256 rows and doubles until the row fits. False when out of memory, in
// which case the rows are as they were.
bool ReserveChecklistString(std::int32_t row, std::int32_t length);

// The same for rows 0..count-1 at once, all or nothing: false when out of memory, and then the
// checklist is as it was, holding no more memory than before.
bool ReserveChecklistRows(std::int32_t count, std::int32_t length);

// Frees every row's text and the row array (shut-down).
void FreeChecklist();
