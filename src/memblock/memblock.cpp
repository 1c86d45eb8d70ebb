#include "core/win32.h"

#include "memblock/memblock.h"
#include "core/core.h"
#include "core/item_lookup.h"

namespace {

constexpr std::int32_t kBlockSlots = 258; // entry 0 is never used
constexpr std::int32_t kIllegalNumber = 5101;
constexpr std::int32_t kAlreadyExists = 5102;
constexpr std::int32_t kOutOfMemory = 5104;
constexpr std::int32_t kSizeBelowOne = 5106;
// Blocks have no missing-item error: commands on an absent block do nothing.
constexpr ItemNumbers kBlockNumbers{1, kBlockSlots - 1, kIllegalNumber, 0};

struct State {
    CoreData* core = nullptr;
    std::uint8_t* blocks[kBlockSlots] = {};
    std::int32_t sizes[kBlockSlots] = {};
    std::int32_t allocated[kBlockSlots] = {}; // bytes actually held, never below the size
};
State s;

bool ValidNumber(std::int32_t block) {
    return block >= kBlockNumbers.first && block <= kBlockNumbers.last;
}

void Release(std::int32_t block) {
    if (s.blocks[block]) GlobalFree(s.blocks[block]);
    s.blocks[block] = nullptr;
    s.sizes[block] = 0;
    s.allocated[block] = 0;
}

std::uint8_t* MakeMemblock(std::int32_t block, std::int32_t size) {
    if (!CheckItemNumber(block, kBlockNumbers)) return nullptr;
    if (s.blocks[block]) {
        RaiseRuntimeError(kAlreadyExists);
        return nullptr;
    }
    if (size < 1) {
        RaiseRuntimeError(kSizeBelowOne);
        return nullptr;
    }
    auto* data = static_cast<std::uint8_t*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size));
    if (!data) {
        RaiseRuntimeError(kOutOfMemory);
        return nullptr;
    }
    s.blocks[block] = data;
    s.sizes[block] = s.allocated[block] = size;
    return data;
}

} // namespace

void MemblocksConstructor(HINSTANCE) {
    for (std::int32_t i = 0; i < kBlockSlots; ++i) {
        s.blocks[i] = nullptr;
        s.sizes[i] = s.allocated[i] = 0;
    }
}

void MemblocksDestructor() {
    for (std::int32_t i = 0; i < kBlockSlots; ++i)
        Release(i);
}

void MemblocksSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void MemblocksPassCoreData(CoreData* core) {
    s.core = core;
}
void MemblocksRefreshD3D(std::int32_t) {}

std::uint8_t* MakeMemblockForModule(std::int32_t block, std::int32_t size) {
    if (ValidNumber(block)) Release(block);
    return MakeMemblock(block, size);
}

std::int32_t GetMemblockSizeForModule(std::int32_t block) {
    return ValidNumber(block) && s.blocks[block] ? s.sizes[block] : 0;
}

std::uint8_t* GetMemblockPtrForModule(std::int32_t block) {
    return ValidNumber(block) ? s.blocks[block] : nullptr;
}

void DeleteMemblockForModule(std::int32_t block) {
    if (ValidNumber(block)) Release(block);
}

std::int32_t SetMemblockSizeForModule(std::int32_t block, std::int32_t size) {
    if (ValidNumber(block) && s.blocks[block] && size >= 0 && size <= s.allocated[block]) {
        s.sizes[block] = size;
    }
    return block;
}
