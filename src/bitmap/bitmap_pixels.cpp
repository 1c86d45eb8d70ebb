#include "core/win32.h"

#include "bitmap/bitmap_pixels.h"

#include <cstring>

namespace {

bool SameChannel(const Channel& a, const Channel& b) {
    return a.shift == b.shift && a.bits == b.bits;
}

bool SameLayout(const Layout& a, const Layout& b) {
    return a.bytes == b.bytes && SameChannel(a.alpha, b.alpha) && SameChannel(a.red, b.red) &&
           SameChannel(a.green, b.green) && SameChannel(a.blue, b.blue);
}

std::uint32_t Read(const std::uint8_t* p, std::int32_t bytes) {
    std::uint32_t v = 0;
    for (std::int32_t i = 0; i < bytes; ++i)
        v |= std::uint32_t{p[i]} << (8 * i);
    return v;
}

void Write(std::uint8_t* p, std::int32_t bytes, std::uint32_t v) {
    for (std::int32_t i = 0; i < bytes; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// One channel scaled to another's width, rounded, so that a narrow value widened and narrowed
// again comes back as it was. A channel the source lacks is full (alpha: opaque).
std::uint32_t Moved(std::uint32_t p, const Channel& in, const Channel& out) {
    if (!out.bits) return 0;
    if (!in.bits) return out.Put(out.Max());
    const std::uint32_t v = in.Get(p), inMax = in.Max(), outMax = out.Max();
    return out.Put((v * outMax * 2 + inMax) / (2 * inMax));
}

} // namespace

Layout LayoutOf(D3DFORMAT format, std::int32_t bytesPerPixel) {
    if (bytesPerPixel == 4) return {{24, 8}, {16, 8}, {8, 8}, {0, 8}, 4};
    if (bytesPerPixel == 3) return {{0, 0}, {16, 8}, {8, 8}, {0, 8}, 3};
    if (bytesPerPixel != 2) return {};
    switch (format) {
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
        return {{15, 1}, {10, 5}, {5, 5}, {0, 5}, 2};
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4:
        return {{12, 4}, {8, 4}, {4, 4}, {0, 4}, 2};
    default:
        return {{0, 0}, {11, 5}, {5, 6}, {0, 5}, 2};
    }
}

Layout BlockLayout(std::int32_t depth) {
    switch (depth) {
    case 16:
        return LayoutOf(D3DFMT_A1R5G5B5, 2);
    case 24:
        return LayoutOf(D3DFMT_R8G8B8, 3);
    case 32:
        return LayoutOf(D3DFMT_A8R8G8B8, 4);
    default:
        return {};
    }
}

void ConvertRow(const std::uint8_t* from, const Layout& in, std::uint8_t* to, const Layout& out,
                std::int32_t width) {
    if (width <= 0 || !in.bytes || !out.bytes) return;
    if (SameLayout(in, out)) {
        std::memcpy(to, from, static_cast<std::size_t>(width) * static_cast<std::size_t>(in.bytes));
        return;
    }
    for (std::int32_t x = 0; x < width; ++x, from += in.bytes, to += out.bytes) {
        const std::uint32_t p = Read(from, in.bytes);
        Write(to, out.bytes,
              Moved(p, in.alpha, out.alpha) | Moved(p, in.red, out.red) |
                  Moved(p, in.green, out.green) | Moved(p, in.blue, out.blue));
    }
}
