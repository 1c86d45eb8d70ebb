#include "core/win32.h"

#include "support/memblock_bytes.h"
#include "memblock/memblock.h"

#include <gtest/gtest.h>

#include <cstring>

std::string Words(std::initializer_list<std::uint32_t> words) {
    std::string bytes;
    for (std::uint32_t w : words)
        bytes.append(reinterpret_cast<const char*>(&w), 4);
    return bytes;
}

std::string BytePattern(std::size_t size, std::uint32_t seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i % 4 == 3 ? 0xFF : (i * 7 + seed + i / 251) & 0xFF);
    return bytes;
}

void FillBlock(std::int32_t n, const std::string& bytes) {
    DeleteMemblockForModule(n);
    std::uint8_t* data = MakeMemblock(n, static_cast<std::int32_t>(bytes.size()));
    ASSERT_NE(data, nullptr) << "block " << n;
    std::memcpy(data, bytes.data(), bytes.size());
}

std::string BlockBytes(std::int32_t n) {
    const std::uint8_t* data = GetMemblockPtrForModule(n);
    if (!data) return {};
    return {reinterpret_cast<const char*>(data),
            static_cast<std::size_t>(GetMemblockSizeForModule(n))};
}
