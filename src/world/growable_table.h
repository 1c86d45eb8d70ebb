// The growth rule the world's tables share: an entry array whose size is the table's capacity,
// and a count of the entries in use, the first ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Makes room for n entries. Past the capacity, it becomes n + spare (the new entries default); a
// capacity more than spare above n shrinks to n, destroying the entries beyond. A count above n
// drops to n: a table never counts entries it no longer holds.
template <typename Entry>
void ResizeGrowableTable(std::vector<Entry>& entries, std::int32_t& count, std::int32_t n,
                         std::int32_t spare) {
    if (n < 0) n = 0;
    const auto capacity = static_cast<std::int32_t>(entries.size());
    if (n > capacity) {
        entries.resize(static_cast<std::size_t>(n) + static_cast<std::size_t>(spare));
    } else if (capacity - n > spare) {
        entries.resize(static_cast<std::size_t>(n));
        entries.shrink_to_fit();
    }
    if (count > n) count = n;
}
