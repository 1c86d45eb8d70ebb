#include "core/win32.h"

#include "image/picture_header.h"
#include "image/jpeg_walk.h"

#include <cstring>

namespace {

std::uint64_t Kind(char container, std::uint32_t a, std::uint32_t b, std::uint32_t c) {
    return static_cast<std::uint64_t>(static_cast<std::uint8_t>(container)) << 56 |
           static_cast<std::uint64_t>(a & 0xFFFF) << 32 | (b & 0xFFFF) << 16 | (c & 0xFFFF);
}

bool EndsWith(const char* name, const char* ending) {
    const std::size_t n = name ? std::strlen(name) : 0, e = std::strlen(ending);
    return n >= e && lstrcmpiA(name + n - e, ending) == 0;
}

// A transparency chunk before the pixel data turns a decoder's opaque format into one with alpha.
bool PngHasTransparency(const ByteSpan& b) {
    std::uint64_t at = 8;
    std::uint32_t length = 0;
    while (b.U32BE(at, length) && b.Has(at + 4, 4)) {
        if (b.Tag(at + 4, "tRNS")) return true;
        if (b.Tag(at + 4, "IDAT") || b.Tag(at + 4, "IEND")) return false;
        at += 12 + static_cast<std::uint64_t>(length);
    }
    return false;
}

bool ReadPng(const ByteSpan& b, PictureHeader& out) {
    std::uint32_t depth = 0, colour = 0;
    if (!b.U32BE(16, out.width) || !b.U32BE(20, out.height) || !b.U8(24, depth) ||
        !b.U8(25, colour))
        return false;
    out.kind = Kind('P', colour, depth, PngHasTransparency(b) ? 1 : 0);
    return true;
}

bool ReadTga(const ByteSpan& b, PictureHeader& out) {
    std::uint32_t mapType = 0, type = 0, entryBits = 0, depth = 0, descriptor = 0;
    if (!b.U8(1, mapType) || !b.U8(2, type) || !b.U8(7, entryBits) || !b.U16(12, out.width) ||
        !b.U16(14, out.height) || !b.U8(16, depth) || !b.U8(17, descriptor))
        return false;
    out.kind = Kind('T', type << 8 | mapType, entryBits << 8 | depth, descriptor & 0x0F);
    return true;
}

// The info header at base: after the file header in a BMP, first in a DIB.
bool ReadBmpInfo(const ByteSpan& b, std::uint64_t base, char container, PictureHeader& out) {
    std::uint32_t size = 0, bits = 0, compression = 0, height = 0;
    if (!b.U32(base, size)) return false;
    if (size == 12) {
        if (!b.U16(base + 4, out.width) || !b.U16(base + 6, out.height) || !b.U16(base + 10, bits))
            return false;
    } else {
        if (!b.U32(base + 4, out.width) || !b.U32(base + 8, height) || !b.U16(base + 14, bits) ||
            !b.U32(base + 16, compression))
            return false;
        const std::int32_t signedHeight = static_cast<std::int32_t>(height);
        // Top-down rows: the size is the same either way up.
        out.height = signedHeight < 0 ? 0u - height : height;
    }
    out.kind = Kind(container, size, bits, compression);
    return true;
}

// A JPEG's frame: the decoder's pixels follow from its component count and precision.
bool ReadJpeg(const ByteSpan& b, PictureHeader& out) {
    JpegLayout layout;
    if (!WalkJpeg(b, b.size, layout)) return false;
    out.width = layout.width;
    out.height = layout.height;
    out.kind = Kind('J', layout.components, layout.precision, 0);
    return true;
}

} // namespace

bool ReadPictureHeader(const char* fileName, const ByteSpan& b, PictureHeader& out) {
    out = PictureHeader{};
    bool read = false;
    if (b.Tag(0, "\x89PNG"))
        read = ReadPng(b, out);
    else if (b.Tag(0, "BM"))
        read = ReadBmpInfo(b, 14, 'B', out);
    else if (b.Tag(0, "\xFF\xD8"))
        read = ReadJpeg(b, out);
    else if (b.Tag(0, "DDS "))
        read = false;
    else if (EndsWith(fileName, ".tga"))
        read = ReadTga(b, out);
    else if (EndsWith(fileName, ".dib"))
        read = ReadBmpInfo(b, 0, 'D', out);
    return read && out.width > 0 && out.height > 0;
}
