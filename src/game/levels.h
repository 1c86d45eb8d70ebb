// The puzzle levels: one row of rules per level and the starting layouts they deal.
#pragma once

#include <cstdint>

struct LevelDefinition {
    std::int32_t colours;     // dealt on refills
    std::int32_t stars;       // to collect
    std::int32_t time;        // seconds
    std::int32_t shapeFactor; // widens the range of shape sizes
    std::int32_t layoutSet;
};

constexpr std::int32_t kLevelCount = 14;
extern const LevelDefinition kLevels[kLevelCount];

// The row a level plays by; levels past the table keep the last row.
const LevelDefinition& LevelRow(std::int32_t level);

// Fills every cell of the board from a starting layout (set 0 or 1, block 0 to 4).
void LoadLevelLayout(std::int32_t set, std::int32_t block);
// Colour of a layout's cell; -1 for a set or block outside the table.
std::int32_t LayoutColour(std::int32_t set, std::int32_t block, std::int32_t x, std::int32_t y);
