// Item lookups by number, the path of every command that names an image, sprite or sound: Find of
// present and absent numbers, and the replace-or-add of an item store, with 10, 1,000 and 100,000
// items.
#include "core/win32.h"

#include "clock.h"

#include "core/idlist.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

namespace {

struct Item {
    std::int32_t value = 0;
};

volatile std::uintptr_t g_sink; // keeps the lookups from being optimised away

} // namespace

int main() {
    for (int items : {10, 1000, 100000}) {
        IdList list;
        std::vector<std::unique_ptr<Item>> records(items);
        std::vector<std::int32_t> ids(items);
        // Item numbers as programs choose them: counting up from 1, in a shuffled order of adding.
        for (int i = 0; i < items; ++i)
            ids[i] = i + 1;
        std::mt19937 rng(items);
        std::shuffle(ids.begin(), ids.end(), rng);
        for (int i = 0; i < items; ++i) {
            records[i] = std::make_unique<Item>();
            list.Add(ids[i], records[i].get(), 0, 1);
        }
        // Enough lookups for a few tenths of a second either way.
        const int lookups = items >= 100000 ? 20000 : 2000000;
        std::uniform_int_distribution<std::int32_t> pick(1, items);
        std::vector<std::int32_t> keys(lookups);
        for (auto& key : keys)
            key = pick(rng);

        double t = Now();
        std::uintptr_t sum = 0;
        for (std::int32_t key : keys)
            sum += reinterpret_cast<std::uintptr_t>(list.Find(key));
        const double found = (Now() - t) * 1e9 / lookups;

        t = Now();
        for (std::int32_t key : keys)
            sum += reinterpret_cast<std::uintptr_t>(list.Find(-key));
        const double absent = (Now() - t) * 1e9 / lookups;

        // An item store's Add of a number it holds: delete the old node, append the new one.
        ItemStore<Item> store;
        for (std::int32_t id : ids)
            store.Add(Item{id}, id);
        const int replaces = lookups / 10;
        t = Now();
        for (int i = 0; i < replaces; ++i)
            sum += reinterpret_cast<std::uintptr_t>(store.Add(Item{i}, keys[i]));
        const double replace = (Now() - t) * 1e9 / replaces;
        g_sink = sum;

        std::printf("IdList, %6d items: Find %9.1f ns (absent number %9.1f ns), item store "
                    "replace %9.1f ns\n",
                    items, found, absent, replace);
    }
    return 0;
}
