// Memory blocks: typed reads and writes, copies between blocks, and engine arrays.
#include "core/win32.h"

#include "memblock/memblock.h"
#include "memblock/memblock_state.h"
#include "core/core.h"
#include "core/error_numbers.h"

#include <cstring>

namespace {

// Where a value of width bytes at position lies wholly inside the block; null after 5101, 5103
// or 5105.
std::uint8_t* ValueAt(std::int32_t block, std::int32_t position, std::int32_t width) {
    std::uint8_t* data = CheckedBlock(block);
    if (!data) return nullptr;
    if (position < 0 || std::int64_t{position} + width > std::int64_t{g_Memblocks.sizes[block]}) {
        RaiseRuntimeError(kMemblockPositionIllegal);
        return nullptr;
    }
    return data + position;
}

template <typename T> void Write(std::int32_t block, std::int32_t position, T value) {
    if (std::uint8_t* at = ValueAt(block, position, sizeof value))
        std::memcpy(at, &value, sizeof value);
}

template <typename T> T Read(std::int32_t block, std::int32_t position) {
    T value{};
    if (const std::uint8_t* at = ValueAt(block, position, sizeof value))
        std::memcpy(&value, at, sizeof value);
    return value;
}

// The byte range lies inside a block of size bytes; computed in 64 bits so no sum wraps.
bool RangeInside(std::int32_t position, std::int32_t count, std::int32_t size) {
    return position >= 0 && position < size && count >= 0 &&
           std::int64_t{position} + count <= std::int64_t{size};
}

// The array's header when it has elements that the block commands may copy; else the error.
const ArrayHeader* CopyableArray(RuntimeArray array) {
    const ArrayHeader* header = GetArrayHeader(array);
    if (!header) {
        RaiseRuntimeError(kArrayMissing);
        return nullptr;
    }
    if (header->count == 0 || header->elementSize == 0) {
        RaiseRuntimeError(kArrayEmpty);
        return nullptr;
    }
    // A text array's elements point at heap texts: bytes from a block would become pointers.
    if (header->typeCode == kArrayStringType) {
        RaiseRuntimeError(kArrayTypeIllegal);
        return nullptr;
    }
    return header;
}

} // namespace

void WriteMemblockByte(std::int32_t block, std::int32_t position, std::int32_t value) {
    std::uint8_t* at = ValueAt(block, position, 1);
    if (!at) return;
    if (value < 0 || value > 0xFF) return RaiseRuntimeError(kMemblockByteIllegal);
    *at = static_cast<std::uint8_t>(value);
}

std::int32_t ReadMemblockByte(std::int32_t block, std::int32_t position) {
    return Read<std::uint8_t>(block, position);
}

void WriteMemblockWord(std::int32_t block, std::int32_t position, std::int32_t value) {
    std::uint8_t* at = ValueAt(block, position, 2);
    if (!at) return;
    if (value < 0 || value > 0xFFFF) return RaiseRuntimeError(kMemblockWordIllegal);
    const auto word = static_cast<std::uint16_t>(value);
    std::memcpy(at, &word, sizeof word);
}

std::int32_t ReadMemblockWord(std::int32_t block, std::int32_t position) {
    return Read<std::uint16_t>(block, position);
}

void WriteMemblockDword(std::int32_t block, std::int32_t position, std::uint32_t value) {
    Write(block, position, value);
}

std::uint32_t ReadMemblockDword(std::int32_t block, std::int32_t position) {
    return Read<std::uint32_t>(block, position);
}

void WriteMemblockFloat(std::int32_t block, std::int32_t position, float value) {
    Write(block, position, value);
}

float ReadMemblockFloat(std::int32_t block, std::int32_t position) {
    return Read<float>(block, position);
}

void CopyMemblock(std::int32_t from, std::int32_t to, std::int32_t fromPosition,
                  std::int32_t toPosition, std::int32_t count) {
    const std::uint8_t* source = CheckedBlock(from, kLastCopyBlock);
    if (!source) return;
    std::uint8_t* target = CheckedBlock(to, kLastCopyBlock);
    if (!target) return;
    if (!RangeInside(fromPosition, count, g_Memblocks.sizes[from]) ||
        !RangeInside(toPosition, count, g_Memblocks.sizes[to]))
        return RaiseRuntimeError(kMemblockPositionIllegal);
    // Within one block the ranges may overlap: memmove reads them as they were.
    std::memmove(target + toPosition, source + fromPosition, static_cast<std::size_t>(count));
}

void MakeMemblockFromArray(std::int32_t block, RuntimeArray array) {
    if (!ValidBlockNumber(block)) return RaiseRuntimeError(kMemblockNumberIllegal);
    const ArrayHeader* header = CopyableArray(array);
    if (!header) return;
    const std::uint32_t elementSize = header->elementSize, count = header->count;
    std::uint8_t* data = ReplaceBlock(block, std::uint64_t{count} * elementSize);
    if (!data) return;
    // Element i is wherever the pointer table says: the insert commands reorder the table only.
    for (std::uint32_t i = 0; i < count; ++i)
        std::memcpy(data + static_cast<std::size_t>(i) * elementSize, array[i], elementSize);
}

void MakeArrayFromMemblock(RuntimeArray array, std::int32_t block) {
    if (!ValidBlockNumber(block)) return RaiseRuntimeError(kMemblockNumberIllegal);
    const ArrayHeader* header = CopyableArray(array);
    if (!header) return;
    const std::uint8_t* data = g_Memblocks.blocks[block];
    if (!data) return RaiseRuntimeError(kMemblockMissing); // nothing to fill the array from
    // No more than the block holds; a short block fills the first elements and part of one.
    std::uint64_t left = static_cast<std::uint32_t>(g_Memblocks.sizes[block]);
    for (std::uint32_t i = 0; i < header->count && left > 0; ++i) {
        const std::uint32_t n =
            left < header->elementSize ? static_cast<std::uint32_t>(left) : header->elementSize;
        std::memcpy(array[i], data, n);
        data += n;
        left -= n;
    }
}
