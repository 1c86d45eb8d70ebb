// A read-only view of bytes whose every read is bounds-checked: the header checks that run before
// the platform's decoders read files through it and never trust a length they have not checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

struct ByteSpan {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;

    // n bytes from at lie inside the span (no overflow whatever the values).
    bool Has(std::uint64_t at, std::uint64_t n) const { return at <= size && n <= size - at; }
    bool U8(std::uint64_t at, std::uint32_t& v) const {
        if (!Has(at, 1)) return false;
        v = data[at];
        return true;
    }
    bool U16(std::uint64_t at, std::uint32_t& v) const {
        if (!Has(at, 2)) return false;
        v = data[at] | data[at + 1] << 8;
        return true;
    }
    bool U32(std::uint64_t at, std::uint32_t& v) const {
        if (!Has(at, 4)) return false;
        v = static_cast<std::uint32_t>(data[at]) | static_cast<std::uint32_t>(data[at + 1]) << 8 |
            static_cast<std::uint32_t>(data[at + 2]) << 16 |
            static_cast<std::uint32_t>(data[at + 3]) << 24;
        return true;
    }
    bool I16(std::uint64_t at, std::int32_t& v) const {
        std::uint32_t u = 0;
        if (!U16(at, u)) return false;
        v = static_cast<std::int16_t>(u);
        return true;
    }
    bool I32(std::uint64_t at, std::int32_t& v) const {
        std::uint32_t u = 0;
        if (!U32(at, u)) return false;
        v = static_cast<std::int32_t>(u);
        return true;
    }
    bool F32(std::uint64_t at, float& v) const {
        std::uint32_t u = 0;
        if (!U32(at, u)) return false;
        std::memcpy(&v, &u, 4);
        return true;
    }
    bool U16BE(std::uint64_t at, std::uint32_t& v) const {
        if (!Has(at, 2)) return false;
        v = data[at] << 8 | data[at + 1];
        return true;
    }
    bool U32BE(std::uint64_t at, std::uint32_t& v) const {
        if (!Has(at, 4)) return false;
        v = static_cast<std::uint32_t>(data[at]) << 24 |
            static_cast<std::uint32_t>(data[at + 1]) << 16 |
            static_cast<std::uint32_t>(data[at + 2]) << 8 |
            static_cast<std::uint32_t>(data[at + 3]);
        return true;
    }
    // The bytes at `at` are the tag's characters.
    bool Tag(std::uint64_t at, const char* tag) const {
        const std::size_t n = std::strlen(tag);
        return Has(at, n) && std::memcmp(data + at, tag, n) == 0;
    }
    // The n bytes from at as a span of their own; false when they do not all lie inside.
    bool Sub(std::uint64_t at, std::uint64_t n, ByteSpan& out) const {
        if (!Has(at, n)) return false;
        out = ByteSpan{data + at, static_cast<std::size_t>(n)};
        return true;
    }
};
