// The failing heap's definitions (see failing_heap.h): include this in exactly one source of a test
// program. The C library's own functions allocate; the replacements only count and fail.
#pragma once

#include "core/win32.h"

#include "core/core.h"
#include "support/failing_heap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace failing_heap {
namespace {

using MallocFn = void*(__cdecl*)(std::size_t);
using CallocFn = void*(__cdecl*)(std::size_t, std::size_t);
using ReallocFn = void*(__cdecl*)(void*, std::size_t);
using FreeFn = void(__cdecl*)(void*);
using SizeFn = std::size_t(__cdecl*)(void*);

// Found at the first allocation, which comes before any static constructor: no guarded static.
struct Library {
    MallocFn malloc = nullptr;
    CallocFn calloc = nullptr;
    ReallocFn realloc = nullptr;
    FreeFn free = nullptr;
    SizeFn size = nullptr;
} library;

// Written by the arming thread; thread 0 is disarmed.
struct Arming {
    volatile DWORD thread = 0;
    int failAt = 0, allocations = 0;
    std::size_t failFrom = 0;
    bool failed = false;
} arming;
volatile std::int64_t outstanding = 0;

template <class Fn> void Find(HMODULE crt, const char* name, Fn* slot) {
    *slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(crt, name)));
}

const Library& Crt() {
    if (!library.free) {
        HMODULE crt = GetModuleHandleA("msvcrt.dll");
        Find(crt, "malloc", &library.malloc);
        Find(crt, "calloc", &library.calloc);
        Find(crt, "realloc", &library.realloc);
        Find(crt, "_msize", &library.size);
        Find(crt, "free", &library.free);
    }
    return library;
}

bool Refuse(std::size_t bytes) {
    if (arming.thread == 0 || arming.thread != GetCurrentThreadId()) return false;
    const bool refuse =
        ++arming.allocations == arming.failAt || (arming.failFrom != 0 && bytes >= arming.failFrom);
    arming.failed = arming.failed || refuse;
    return refuse;
}

void Count(void* block, int sign) {
    if (block) __atomic_fetch_add(&outstanding, sign * std::int64_t(Crt().size(block)), 0);
}

void Arm(int k, std::size_t bytes) {
    arming = {};
    arming.failAt = k;
    arming.failFrom = bytes;
    arming.thread = GetCurrentThreadId();
}

} // namespace

void FailNth(int k) {
    Arm(k, 0);
}
void FailFrom(std::size_t bytes) {
    Arm(0, bytes);
}
void Disarm() {
    arming.thread = 0;
}
bool Failed() {
    return arming.failed;
}
std::int64_t Outstanding() {
    return __atomic_load_n(&outstanding, 0);
}

bool CallFailing(int k, const std::function<void()>& call, const std::string& what) {
    FailNth(k);
    try {
        call();
    } catch (...) {
        ADD_FAILURE() << what << ": an exception left the command";
    }
    Disarm();
    return Failed();
}

void CheckStringRows(const std::vector<StringRow>& rows) {
    for (const StringRow& row : rows)
        for (int k = 1; k < 64; ++k) {
            const std::string what = std::string(row.name) + ", allocation " + std::to_string(k);
            const std::int64_t held = Outstanding();
            char* previous = nullptr;
            CoreResizeString(&previous, 9);
            std::strcpy(previous, "previous");
            char* result = nullptr;
            GetModuleErrorPointer()->number = 0;
            const bool failed = CallFailing(
                k, [&] { result = row.call(previous); }, what);
            EXPECT_EQ(GetModuleErrorPointer()->number, failed ? 101 : 0) << what;
            if (failed) {
                EXPECT_TRUE(result == previous && !std::strcmp(previous, "previous")) << what;
            } else {
                EXPECT_TRUE(result && (row.wanted.empty() || row.wanted == result)) << what;
            }
            CoreResizeString(&result, 0); // the previous string, or its replacement
            EXPECT_EQ(Outstanding(), held) << what << ": memory stays held";
            if (!failed) break;
        }
}

} // namespace failing_heap

extern "C" {

void* __cdecl malloc(std::size_t bytes) {
    using namespace failing_heap;
    void* block = Refuse(bytes) ? nullptr : Crt().malloc(bytes);
    Count(block, 1);
    return block;
}

void* __cdecl calloc(std::size_t count, std::size_t each) {
    using namespace failing_heap;
    const std::size_t bytes = each && count > SIZE_MAX / each ? SIZE_MAX : count * each;
    void* block = Refuse(bytes) ? nullptr : Crt().calloc(count, each);
    Count(block, 1);
    return block;
}

void* __cdecl realloc(void* old, std::size_t bytes) {
    using namespace failing_heap;
    if (!old) return malloc(bytes);
    if (bytes && Refuse(bytes)) return nullptr; // the old block stays the caller's
    Count(old, -1);
    void* block = Crt().realloc(old, bytes);
    Count(block ? block : bytes ? old : nullptr, 1);
    return block;
}

void __cdecl free(void* block) {
    using namespace failing_heap;
    Count(block, -1);
    Crt().free(block);
}

} // extern "C"
