// A heap that fails on demand, for the out-of-memory cases. A test program that includes
// failing_heap_impl.h in one of its own sources replaces malloc, calloc, realloc and free for all
// of its code and the engine's, and so operator new, which calls malloc. Disarmed it only counts
// the bytes outstanding (every thread's); armed, it fails allocations of the arming thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace failing_heap {

// From now, on this thread: the k-th allocation (1-based) fails, once.
void FailNth(int k);
// From now, on this thread: every allocation of at least bytes fails.
void FailFrom(std::size_t bytes);
void Disarm();
bool Failed(); // whether an allocation was failed since arming
std::int64_t Outstanding();

// Runs call with the k-th allocation failing; whether that failure was met. An exception that
// leaves the call fails the test.
bool CallFailing(int k, const std::function<void()>& call, const std::string& what);

// A command that hands the caller a new string in place of its previous one ("previous"), and
// the string it makes (empty: any).
struct StringRow {
    const char* name;
    std::function<char*(char* previous)> call;
    std::string wanted;
};
// Each row with its k-th allocation failing, k = 1, 2, ... until it makes no k-th: a run that met
// the failure raised 101 and gave the previous string back as it was; one that did not made the
// string; after the caller frees what it holds, the heap holds what it held before.
void CheckStringRows(const std::vector<StringRow>& rows);

} // namespace failing_heap
