// X files put together by the tests: binary ones token by token, both forms at once, and either
// form compressed.
#pragma once

#include "core/win32.h"

#include <cstdint>
#include <cstdio>
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
    BinaryX& Name(const std::string& name) {
        return Token(1)
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

// One file written in both forms at once, token by token: template members are DWORDs or
// STRINGs, dimensions numbers or member names, and GUIDs made from a number.
struct XForms {
    std::string text = "xof 0302txt 0032\n";
    BinaryX binary;
    XForms& Name(const std::string& name) {
        text += name + " ";
        binary.Name(name);
        return *this;
    }
    XForms& Open() {
        text += "{ ";
        binary.Open();
        return *this;
    }
    XForms& Close() {
        text += "}\n";
        binary.Close();
        return *this;
    }
    // "template name { <guid>": members and restrictions follow, then Close().
    XForms& Template(const std::string& name, std::uint32_t id) {
        const GUID guid = {id, 0x5EED, 0x4A11, {0x8C, 0, 0, 0, 0, 0, 0, 0x01}};
        char written[48];
        std::snprintf(written, sizeof written, "<%08X-5EED-4A11-8C00-000000000001>", id);
        text += "template ";
        binary.Token(31);
        Name(name).Open();
        text += written;
        text += " ";
        binary.Token(5).Raw(&guid, sizeof guid);
        return *this;
    }
    XForms& Member(const std::string& name, bool string = false,
                   const std::vector<std::string>& dimensions = {}) {
        text += (dimensions.empty() ? "" : "array ") + std::string(string ? "STRING " : "DWORD ") +
                name;
        if (!dimensions.empty()) binary.Token(52);
        binary.Token(string ? 49 : 41).Name(name);
        for (const std::string& d : dimensions) {
            text += "[" + d + "]";
            binary.Token(14);
            if (d[0] >= '0' && d[0] <= '9')
                binary.Token(3).Count(static_cast<std::uint32_t>(std::stoul(d)));
            else
                binary.Name(d);
            binary.Token(15);
        }
        text += "; ";
        binary.Token(20);
        return *this;
    }
    // Restrictions on the children: the one template named count times.
    XForms& Restrictions(const std::string& name, std::size_t count) {
        text += "[";
        binary.Token(14);
        for (std::size_t i = 0; i < count; ++i) {
            text += (i ? ", " : " ") + name;
            if (i) binary.Token(19);
            binary.Name(name);
        }
        text += " ] ";
        binary.Token(15);
        return *this;
    }
    XForms& Dwords(const std::vector<std::uint32_t>& values) {
        for (std::uint32_t v : values)
            text += std::to_string(v) + "; ";
        binary.Dwords(values);
        return *this;
    }
    XForms& String(const std::string& value) {
        text += "\"" + value + "\"; ";
        binary.Token(2)
            .Count(static_cast<std::uint32_t>(value.size()))
            .Raw(value.data(), value.size());
        binary.Token(20);
        return *this;
    }
    // A mesh of one triangle.
    XForms& Mesh(const std::string& name = "M") {
        text += "Mesh " + name + " { 3;0.0;0.0;0.0;,1.0;0.0;0.0;,0.0;1.0;0.0;;1;3;0,1,2;; }\n";
        binary.Name("Mesh").Name(name).Open().Triangle().Close();
        return *this;
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
