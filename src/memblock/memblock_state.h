// The memory-block module's state and the helpers its source files share.
#pragma once

#include "core/core_data.h"
#include "core/error_numbers.h"

#include <cstdint>

constexpr std::int32_t kBlockSlots = 258; // entry 0 is never used
constexpr std::int32_t kLastBlock = kBlockSlots - 1;
constexpr std::int32_t kLastCopyBlock = 255; // CopyMemblock's own, narrower range
// Sizes are int32 words everywhere blocks are read, so nothing larger can be a block.
constexpr std::uint64_t kLargestBlock = 0x7FFFFFFF;

// The media owners' converters, in the owners' own argument orders. Each is null until
// MemblocksPassCoreData takes it; a null one counts as an owner that gives no data.
struct MemblockConverters {
    void (*bitmapToBlock)(std::int32_t mode, std::int32_t n, std::uint8_t** data,
                          std::int32_t* width, std::int32_t* height, std::int32_t* depth,
                          std::int32_t* size) = nullptr;
    bool (*blockToBitmap)(std::int32_t n, std::int32_t width, std::int32_t height,
                          std::int32_t depth, const std::uint8_t* data,
                          std::uint32_t size) = nullptr;
    void (*imageToBlock)(std::int32_t produce, std::int32_t n, std::uint32_t* width,
                         std::uint32_t* height, std::uint32_t* depth, std::uint8_t** data,
                         std::uint32_t* size) = nullptr;
    bool (*blockToImage)(std::int32_t n, std::int32_t width, std::int32_t height,
                         std::int32_t depth, const std::uint8_t* data,
                         std::uint32_t size) = nullptr;
    void (*soundToBlock)(std::int32_t n, std::uint32_t* bitsPerSecond,
                         std::uint32_t* samplesTimesChannels, std::uint32_t* seconds,
                         std::uint8_t** data, std::uint32_t* size, std::uint8_t mode,
                         WAVEFORMATEX* format) = nullptr;
    bool (*blockToSound)(std::int32_t n, const std::uint8_t* data, std::uint32_t size,
                         const WAVEFORMATEX* format) = nullptr;
    bool (*meshToBlock)(std::int32_t n, std::uint32_t* fvf, std::uint32_t* stride,
                        std::int32_t* count, std::uint8_t** data, std::uint32_t* size,
                        std::int32_t mode) = nullptr;
    bool (*blockToMesh)(std::int32_t n, std::uint32_t fvf, std::int32_t count,
                        const std::uint8_t* data, std::uint32_t size) = nullptr;
};

// Lives from MemblocksConstructor to MemblocksDestructor; only this module writes it. Other
// modules borrow block pointers and never free them.
struct MemblockState {
    CoreData* core = nullptr;
    std::uint8_t* blocks[kBlockSlots] = {};
    std::int32_t sizes[kBlockSlots] = {};
    // Bytes actually held, never below the size: the file module may shrink the recorded size.
    std::int32_t allocated[kBlockSlots] = {};
    MemblockConverters converters;
};

extern MemblockState g_Memblocks;

bool ValidBlockNumber(std::int32_t block);
// The block's bytes, or null after 5101 (number outside 1..last) or 5103 (no block).
std::uint8_t* CheckedBlock(std::int32_t block, std::int32_t last = kLastBlock);
// Frees the block, if any, and clears its number.
void ReleaseBlock(std::int32_t block);
// Replaces block (a valid number) with a new zero-filled one of size bytes; null after 5104 when
// it cannot be had (more than kLargestBlock, or no memory), the old block then kept.
std::uint8_t* ReplaceBlock(std::int32_t block, std::uint64_t size);
