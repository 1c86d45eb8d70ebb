#include "csg/bsp_memory.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Set by tests only; the library runs with none.
BspMemoryWatch* gWatch = nullptr;

} // namespace

void ThrowBspBadAlloc() {
    throw BspBadAlloc();
}

void* BspAllocate(std::size_t bytes) {
    if (gWatch) {
        const bool fail = gWatch->made++ == gWatch->failAt;
        if (fail) ThrowBspBadAlloc();
    }
    void* block = std::malloc(bytes ? bytes : 1);
    if (!block) ThrowBspBadAlloc();
    if (gWatch) ++gWatch->live;
    return block;
}

void BspRelease(void* block) noexcept {
    if (!block) return;
    if (gWatch) --gWatch->live;
    std::free(block);
}

void* BspAllocateArray(std::size_t count, std::size_t size) {
    if (size && count > SIZE_MAX / size) ThrowBspBadAlloc();
    return BspAllocate(count * size);
}

void WatchBspMemory(BspMemoryWatch* watch) {
    gWatch = watch;
}
