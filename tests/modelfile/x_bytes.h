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
