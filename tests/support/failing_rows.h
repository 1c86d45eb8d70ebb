// Commands run with each of their allocations failing in turn, for the programs that include the
// failing heap (failing_heap_impl.h).
#pragma once

#include "core/core.h"
#include "support/failing_heap.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>
#include <vector>

namespace failing_heap {

// One command with sound arguments, and what it must keep when memory runs out.
struct FailingRow {
    const char* name;
    std::function<void()> call;
    std::function<std::string()> state; // what the call works on, as a failed call leaves it
    std::int32_t error;                 // the error a failed call raises; 0: it needs no memory
    std::function<void()> undo = {};    // puts back what a call that did its work changed
};

// Each row with its k-th allocation failing, k = 1, 2, ... until the call makes no k-th: a call
// that met the failure raised the row's error, left the state as it was and holds nothing more
// than before; one that did not did its work (undone, then the next row). A row whose call never
// allocates proves nothing and fails, unless it says the call needs no memory.
inline void CheckFailingRows(const std::vector<FailingRow>& rows) {
    try { // a thread's first exception sets up what later ones reuse
        throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
    }
    for (const FailingRow& row : rows) {
        int k = 1;
        for (; k < 4096; ++k) {
            const std::string what = std::string(row.name) + ", allocation " + std::to_string(k);
            const std::string before = row.state();
            const std::int64_t held = Outstanding();
            GetModuleErrorPointer()->number = 0;
            const bool failed = CallFailing(k, row.call, what);
            if (!failed) break;
            // Less is sound: other threads (the workers an earlier media load left) may free
            // theirs meanwhile.
            EXPECT_LE(Outstanding(), held) << what << ": memory stays held";
            EXPECT_EQ(GetModuleErrorPointer()->number, row.error) << what;
            EXPECT_EQ(row.state(), before) << what << ": what was there is gone";
        }
        if (row.error == 0)
            EXPECT_EQ(k, 1) << row.name << " allocates";
        else
            EXPECT_GT(k, 1) << row.name << " makes no allocation";
        if (row.undo) row.undo();
    }
}

} // namespace failing_heap
