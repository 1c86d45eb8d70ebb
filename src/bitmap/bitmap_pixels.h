// Pixel layouts of the bitmap module: a surface's (by its format) and a memory block's (by its
// depth), and rows converted between two of them. Shared by the module's source files only.
#pragma once

#include "core/win32.h"

#include <cstdint>

// A channel of a packed pixel.
struct Channel {
    std::uint32_t shift = 0, bits = 0;
    std::uint32_t Max() const { return (1u << bits) - 1u; }
    std::uint32_t Get(std::uint32_t p) const { return (p >> shift) & Max(); }
    std::uint32_t Put(std::uint32_t v) const { return (v & Max()) << shift; }
};

// A pixel of bytes little-endian bytes, its four channels alpha first; an absent channel has 0
// bits. bytes is 0 for a layout this module cannot read.
struct Layout {
    Channel alpha, red, green, blue;
    std::int32_t bytes = 0;
};

// The layout of a surface format with bytesPerPixel bytes; 16-bit formats with an alpha bit keep
// it apart from red, so the fields never overlap.
Layout LayoutOf(D3DFORMAT format, std::int32_t bytesPerPixel);
// The layout of a memory block's pixels: 16 bits are 1-5-5-5 with alpha on top (the image
// module's blocks), 24 bits blue, green, red bytes, 32 bits A8R8G8B8; bytes 0 for other depths.
Layout BlockLayout(std::int32_t depth);
// Converts width pixels; a row whose layouts agree is copied byte for byte.
void ConvertRow(const std::uint8_t* from, const Layout& in, std::uint8_t* to, const Layout& out,
                std::int32_t width);
