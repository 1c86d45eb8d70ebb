// X files put together by the tests: binary ones token by token, and either form compressed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The binary form of the format: two-byte tokens; names and lists behind their counts.
struct BinaryX {
    std::string bytes = "xof 0302bin 0032";
    BinaryX& Token(std::uint16_t token) { return Raw(&token, 2); }
    BinaryX& Count(std::uint32_t n) { return Raw(&n, 4); }
    BinaryX& Raw(const void* data, std::size_t size) {
        bytes.append(static_cast<const char*>(data), size);
        return *this;
    }
    // A name (token 1) or a string (token 2): its bytes behind their count.
    BinaryX& Name(const std::string& name, std::uint16_t token = 1) {
        return Token(token)
            .Count(static_cast<std::uint32_t>(name.size()))
            .Raw(name.data(), name.size());
    }
    BinaryX& Open() { return Token(10); }
    BinaryX& Close() { return Token(11); }
    template <class T> BinaryX& List(std::uint16_t token, const std::vector<T>& values) {
        Token(token).Count(static_cast<std::uint32_t>(values.size()));
        return Raw(values.data(), 4 * values.size());
    }
    BinaryX& Dwords(const std::vector<std::uint32_t>& values) { return List(6, values); }
    BinaryX& Floats(const std::vector<float>& values) { return List(7, values); }
    BinaryX& Triangle() {
        return Dwords({3}).Floats({0, 0, 0, 1, 0, 0, 0, 1, 0}).Dwords({1, 3, 0, 1, 2});
    }
    // A template member of a primitive type (its token), an array when sized by another member.
    BinaryX& Member(std::uint16_t primitive, const std::string& name,
                    const std::string& size = "") {
        if (!size.empty()) Token(52);
        Token(primitive).Name(name);
        if (!size.empty()) Token(14).Name(size).Token(15);
        return Token(20);
    }
};

inline void PutLe(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>(value >> (8 * i));
}

// The file compressed as the format packs it: the header with "tzip" or "bzip", the unpacked size,
// then chunks of at most 32 KiB, each a stored deflate block behind its sizes and "CK".
inline std::string CompressedX(const std::string& image) {
    std::string file =
        image.substr(0, 16).replace(8, 4, image.compare(8, 4, "txt ") ? "bzip" : "tzip");
    PutLe(file, static_cast<std::uint32_t>(image.size()), 4);
    for (std::size_t at = 16; at < image.size(); at += 32768) {
        const std::string chunk = image.substr(at, 32768);
        const auto n = static_cast<std::uint32_t>(chunk.size());
        PutLe(file, n | (n + 7) << 16, 4);
        file += "CK\x01"; // the final block of its stream, stored
        PutLe(file, n | (~n & 0xFFFF) << 16, 4);
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
    auto put = [&](std::uint32_t value, int length) { // most significant bit first
        for (int i = length - 1; i >= 0; --i) {
            acc |= (value >> i & 1) << held;
            if (++held < 8) continue;
            block += static_cast<char>(acc);
            acc = held = 0;
        }
    };
    put(0b110, 3); // the final block, fixed codes (type 01, least significant bit first)
    put(0x30 + ' ', 8);
    for (int i = 0; i < 127; ++i) {
        put(0xC5, 8); // length 258
        put(0, 5);    // distance 1
    }
    put(0, 7); // end of block
    block += static_cast<char>(acc);
    constexpr std::uint32_t kUnpacked = 1 + 127 * 258;
    std::string file = "xof 0302tzip0032";
    PutLe(file, 16 + kUnpacked * static_cast<std::uint32_t>(chunks), 4);
    for (int c = 0; c < chunks; ++c) {
        PutLe(file, kUnpacked | static_cast<std::uint32_t>(block.size() + 2) << 16, 4);
        file += "CK" + block;
    }
    return file;
}
