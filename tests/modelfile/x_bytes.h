// X files put together by the tests: the binary form token by token, and the compressed form of
// either.
#pragma once

#include "core/win32.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

// The binary form of the format: two-byte tokens; names, integer and float lists with their
// counts.
struct BinaryX {
    std::string bytes = "xof 0302bin 0032";
    BinaryX& Token(std::uint16_t token) {
        bytes.append(reinterpret_cast<const char*>(&token), 2);
        return *this;
    }
    BinaryX& Count(std::uint32_t n) {
        bytes.append(reinterpret_cast<const char*>(&n), 4);
        return *this;
    }
    BinaryX& Name(const std::string& name) {
        Token(1).Count(static_cast<std::uint32_t>(name.size()));
        bytes += name;
        return *this;
    }
    BinaryX& Open() { return Token(10); }
    BinaryX& Close() { return Token(11); }
    BinaryX& Dwords(const std::vector<std::uint32_t>& values) {
        Token(6).Count(static_cast<std::uint32_t>(values.size()));
        bytes.append(reinterpret_cast<const char*>(values.data()), 4 * values.size());
        return *this;
    }
    BinaryX& Floats(const std::vector<float>& values) {
        Token(7).Count(static_cast<std::uint32_t>(values.size()));
        bytes.append(reinterpret_cast<const char*>(values.data()), 4 * values.size());
        return *this;
    }
    BinaryX& Guid(const GUID& guid) {
        Token(5);
        bytes.append(reinterpret_cast<const char*>(&guid), sizeof guid);
        return *this;
    }
    // A template member: its type (a primitive's token, or 0 for the template named by type),
    // its name and, for an array, the member giving its size.
    BinaryX& Member(std::uint16_t primitive, const std::string& name, const std::string& type = "",
                    const std::string& size = "") {
        if (!size.empty()) Token(52);
        if (primitive)
            Token(primitive);
        else
            Name(type);
        Name(name);
        if (!size.empty()) Token(14).Name(size).Token(15);
        return Token(20);
    }
    // A string and the separator after it.
    BinaryX& String(const std::string& text) {
        Token(2).Count(static_cast<std::uint32_t>(text.size()));
        bytes += text;
        return Token(20);
    }
};

// The file compressed as the format packs it: the header with "tzip" or "bzip", the unpacked size,
// then chunks of at most 32 KiB, each a stored deflate block behind its sizes and "CK".
inline std::string CompressedX(const std::string& image) {
    std::string file = image.substr(0, 16);
    file.replace(8, 4, image.compare(8, 4, "txt ") == 0 ? "tzip" : "bzip");
    auto put = [&file](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            file += static_cast<char>(value >> (8 * i));
    };
    put(static_cast<std::uint32_t>(image.size()), 4);
    for (std::size_t at = 16; at < image.size(); at += 32768) {
        const std::string chunk = image.substr(at, 32768);
        const auto n = static_cast<std::uint32_t>(chunk.size());
        put(n, 2);
        put(n + 7, 2);
        file += "CK";
        put(1, 1); // the final block of its stream, stored
        put(n, 2);
        put(~n & 0xFFFF, 2);
        file += chunk;
    }
    return file;
}

// A compressed text file of spaces that unpacks to `chunks` chunks of 32,767 bytes, each packed as
// one fixed-code deflate block of a space and 127 copies of the 258 bytes before: about 200 bytes
// a chunk.
inline std::string SpacesBombX(int chunks) {
    std::string block;
    std::uint32_t acc = 0;
    int held = 0;
    auto bit = [&](std::uint32_t value) {
        acc |= (value & 1) << held;
        if (++held == 8) {
            block += static_cast<char>(acc);
            acc = 0;
            held = 0;
        }
    };
    auto code = [&](std::uint32_t value, int length) { // Huffman codes go most significant first
        for (int i = length - 1; i >= 0; --i)
            bit(value >> i);
    };
    bit(1); // final block
    bit(1); // fixed codes: type 01, least significant bit first
    bit(0);
    code(0x30 + ' ', 8);
    for (int i = 0; i < 127; ++i) {
        code(0xC5, 8); // length 258
        code(0, 5);    // distance 1
    }
    code(0, 7); // end of block
    if (held) block += static_cast<char>(acc);
    constexpr std::uint32_t kUnpacked = 1 + 127 * 258;
    std::string file = "xof 0302tzip0032";
    auto put = [&file](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            file += static_cast<char>(value >> (8 * i));
    };
    put(16 + kUnpacked * static_cast<std::uint32_t>(chunks), 4);
    for (int c = 0; c < chunks; ++c) {
        put(kUnpacked, 2);
        put(static_cast<std::uint32_t>(block.size() + 2), 2);
        file += "CK" + block;
    }
    return file;
}
