#include "core/win32.h"

#include "core/item_lookup.h"
#include "support/error_cell.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace {

constexpr ItemNumbers kNumbers{1, 100, 901, 902};

} // namespace

TEST(ItemLookup, RangeErrorComesBeforeAnyLookupAndMissingAfterIt) {
    ErrorCellScope cell;
    std::vector<std::int32_t> looked;
    int item = 7;
    const auto find = [&](std::int32_t n) {
        looked.push_back(n);
        return n == 50 ? &item : nullptr;
    };
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    for (std::int32_t bad : {0, -1, 101, kMin, kMax}) {
        cell.Clear();
        EXPECT_EQ(CheckedItem(bad, kNumbers, find), nullptr);
        EXPECT_EQ(cell.Last(), 901) << bad;
    }
    EXPECT_TRUE(looked.empty()); // out-of-range numbers never reach the store

    cell.Clear();
    EXPECT_EQ(CheckedItem(1, kNumbers, find), nullptr);
    EXPECT_EQ(cell.Last(), 902);
    cell.Clear();
    EXPECT_EQ(CheckedItem(50, kNumbers, find), &item);
    EXPECT_EQ(cell.Last(), 0);
    cell.Clear();
    EXPECT_EQ(CheckedItem(100, kNumbers, find), nullptr); // the last number is in range
    EXPECT_EQ(cell.Last(), 902);
    EXPECT_EQ(looked, (std::vector<std::int32_t>{1, 50, 100}));
}
