// The checked lookup of numbered items, shared by every module that keeps them: the number is
// checked against the module's range first (its range error), then the item is looked up (its
// missing-item error). Checks on the item number come before any other work of a command.
#pragma once

#include "core/core.h"
#include "core/idlist.h"

#include <cstdint>

// A module's item numbers and the two run-time errors of its lookup.
struct ItemNumbers {
    std::int32_t first = 1;
    std::int32_t last = 0;
    std::int32_t rangeError = 0;
    std::int32_t missingError = 0;
};

// True when n lies in the range; otherwise raises the range error.
inline bool CheckItemNumber(std::int32_t n, const ItemNumbers& numbers) {
    if (n >= numbers.first && n <= numbers.last) return true;
    RaiseRuntimeError(numbers.rangeError);
    return false;
}

// The item of n that find returns, or null after raising the range or the missing-item error.
// find is called only for numbers in range.
template <typename Find>
auto CheckedItem(std::int32_t n, const ItemNumbers& numbers, Find&& find) -> decltype(find(n)) {
    if (!CheckItemNumber(n, numbers)) return nullptr;
    auto item = find(n);
    if (!item) RaiseRuntimeError(numbers.missingError);
    return item;
}

// The same over an IdList whose nodes hold Record pointers.
template <typename Record>
Record* CheckedListItem(const IdList& list, std::int32_t n, const ItemNumbers& numbers) {
    return CheckedItem(n, numbers,
                       [&list](std::int32_t id) { return static_cast<Record*>(list.Find(id)); });
}

// The same over an ItemStore.
template <typename Record>
Record* CheckedStoreItem(const ItemStore<Record>& store, std::int32_t n,
                         const ItemNumbers& numbers) {
    return CheckedItem(n, numbers, [&store](std::int32_t id) { return store.Get(id); });
}
