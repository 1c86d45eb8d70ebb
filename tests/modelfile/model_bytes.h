// Model files put together byte by byte, the damaged copies every converter must survive, and
// checks of what a conversion leaves behind.
#pragma once

#include "core/win32.h"

#include "core/byte_span.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

// Little-endian bytes appended in order; words can be patched in place later.
struct FileBytes {
    template <typename T> FileBytes& Put(T v) { return Raw(&v, sizeof v); }
    FileBytes& I16(std::int16_t v) { return Put(v); }
    FileBytes& I32(std::int32_t v) { return Put(v); }
    FileBytes& F32(float v) { return Put(v); }
    // The text in a field of n bytes, zero-filled after it.
    FileBytes& Field(std::string text, std::size_t n) {
        text.resize(n, '\0');
        return Raw(text.data(), n);
    }
    FileBytes& Raw(const void* p, std::size_t n) {
        data.append(static_cast<const char*>(p), n);
        return *this;
    }
    std::int32_t Size() const { return static_cast<std::int32_t>(data.size()); }
    template <typename T> void Patch(std::size_t at, T v) { std::memcpy(&data[at], &v, sizeof v); }
    std::string data;
};

inline ByteSpan SpanOf(const std::string& bytes) {
    return ByteSpan{reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// Damaged copies of a valid file, each handed to convert: the file cut at 16 places, each of the
// given 32-bit header words set to 0x7FFFFFFF and to -1, and random bytes after its first
// keepBytes bytes (its magic). None may crash or hang.
void ForEachDamagedCopy(const std::string& file, const std::vector<std::size_t>& words,
                        std::size_t keepBytes,
                        const std::function<void(const std::string&)>& convert);
// Writes each damaged copy to path and converts it; a copy that converts must give a block that
// reads back.
using ConvertFn = bool (*)(const char*, std::uint8_t**, std::uint32_t*);
void ConvertDamagedCopies(const std::string& file, const std::vector<std::size_t>& words,
                          const std::string& path, ConvertFn convert, void (*free)(std::uint8_t*));

// The files under a folder (Windows path, searched through its sub-folders) whose names end in
// the extension, any case.
std::vector<std::string> FindModelFiles(const std::string& folder, const std::string& extension);
// The width and height a bitmap file declares; 0, 0 when it is no bitmap.
void BitmapSize(const std::string& path, std::int32_t* width, std::int32_t* height);
// The block saved as a native file in the folder loads back into an object that writes the very
// same block.
bool SavedBlockReadsBackSame(const std::uint8_t* block, std::uint32_t size,
                             const std::string& folder);
