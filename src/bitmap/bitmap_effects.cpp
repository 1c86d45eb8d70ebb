#include "core/win32.h"

#include "bitmap/bitmap.h"
#include "bitmap/bitmap_pixels.h"
#include "bitmap/bitmap_state.h"
#include "core/core.h"
#include "display/display.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

constexpr std::int32_t kLargestRadius = 9;

// The locked pixels of one bitmap, unlocked at the end of the scope.
class PixelAccess {
public:
    explicit PixelAccess(std::int32_t n) {
        const BitmapRecord* r = FindBitmap(n);
        if (!r) return;
        record = s().bitmaps.Get(n);
        surface = BitmapSurface(n, r);
        D3DSURFACE_DESC desc{};
        if (!surface || FAILED(surface->GetDesc(&desc))) return;
        bytes = SurfaceFormatBits(desc.Format) / 8;
        if (bytes != 2 && bytes != 4) return;
        width = static_cast<std::int32_t>(desc.Width);
        height = static_cast<std::int32_t>(desc.Height);
        layout = LayoutOf(desc.Format, bytes);
        D3DLOCKED_RECT locked{};
        if (FAILED(surface->LockRect(&locked, nullptr, 0))) return;
        bits = static_cast<std::uint8_t*>(locked.pBits);
        pitch = locked.Pitch;
    }
    ~PixelAccess() {
        if (bits) surface->UnlockRect();
    }
    PixelAccess(const PixelAccess&) = delete;
    PixelAccess& operator=(const PixelAccess&) = delete;

    bool Ready() const { return bits != nullptr; }
    std::uint8_t* Row(std::int32_t y) const {
        return bits + static_cast<std::ptrdiff_t>(y) * pitch;
    }
    std::uint32_t Get(std::int32_t x, std::int32_t y) const {
        const std::uint8_t* p = Row(y) + x * bytes;
        if (bytes == 4) return *reinterpret_cast<const std::uint32_t*>(p);
        return *reinterpret_cast<const std::uint16_t*>(p);
    }
    void Put(std::int32_t x, std::int32_t y, std::uint32_t v) const {
        std::uint8_t* p = Row(y) + x * bytes;
        if (bytes == 4)
            *reinterpret_cast<std::uint32_t*>(p) = v;
        else
            *reinterpret_cast<std::uint16_t*>(p) = static_cast<std::uint16_t>(v);
    }

    BitmapRecord* record = nullptr;
    IDirect3DSurface9* surface = nullptr;
    std::uint8_t* bits = nullptr;
    std::int32_t pitch = 0, width = 0, height = 0, bytes = 0;
    Layout layout;

private:
    static BitmapState& s() { return g_Bitmap; }
};

std::uint32_t Faded(const Layout& l, std::uint32_t p, float factor) {
    const auto scale = [&](const Channel& c) {
        return c.Put(static_cast<std::uint32_t>(static_cast<float>(c.Get(p)) * factor));
    };
    return (l.alpha.bits ? l.alpha.Put(l.alpha.Get(p)) : 0u) | scale(l.red) | scale(l.green) |
           scale(l.blue);
}

// The average of the window around (x, y), read from the unchanged pixels.
std::uint32_t Averaged(const PixelAccess& px, std::int32_t x, std::int32_t y, std::int32_t low,
                       std::int32_t high) {
    const Layout& l = px.layout;
    std::uint32_t a = 0, r = 0, g = 0, b = 0, count = 0;
    const std::int32_t y0 = std::max(y + low, 0), y1 = std::min(y + high, px.height - 1);
    const std::int32_t x0 = std::max(x + low, 0), x1 = std::min(x + high, px.width - 1);
    for (std::int32_t v = y0; v <= y1; ++v) {
        for (std::int32_t u = x0; u <= x1; ++u) {
            const std::uint32_t p = px.Get(u, v);
            a += l.alpha.Get(p);
            r += l.red.Get(p);
            g += l.green.Get(p);
            b += l.blue.Get(p);
            ++count;
        }
    }
    return l.alpha.Put(a / count) | l.red.Put(r / count) | l.green.Put(g / count) |
           l.blue.Put(b / count);
}

} // namespace

void MirrorBitmap(std::int32_t n) {
    PixelAccess px(n);
    if (!px.Ready()) return;
    for (std::int32_t y = 0; y < px.height; ++y) {
        for (std::int32_t i = 0; i < px.width / 2; ++i) {
            const std::int32_t j = px.width - 1 - i;
            const std::uint32_t left = px.Get(i, y);
            px.Put(i, y, px.Get(j, y));
            px.Put(j, y, left);
        }
    }
    px.record->mirrored = 1 - px.record->mirrored;
}

void FlipBitmap(std::int32_t n) {
    PixelAccess px(n);
    if (!px.Ready()) return;
    // Rows swapped in place: no row buffer, so the flip needs no memory.
    const std::size_t rowBytes = static_cast<std::size_t>(px.width) * px.bytes;
    for (std::int32_t r = 0; r < px.height / 2; ++r) {
        std::uint8_t* top = px.Row(r);
        std::swap_ranges(top, top + rowBytes, px.Row(px.height - 1 - r));
    }
    px.record->flipped = 1 - px.record->flipped;
}

void FadeBitmap(std::int32_t n, std::int32_t percent) {
    if (!FindBitmap(n)) return;
    if (percent < 0 || percent > 100) return;
    // Single precision on purpose: 100 gives exactly 1 and 50 exactly one half.
    const float factor = static_cast<float>(percent * 0.01);
    PixelAccess px(n);
    if (!px.Ready()) return;
    for (std::int32_t y = 0; y < px.height; ++y)
        for (std::int32_t x = 0; x < px.width; ++x)
            px.Put(x, y, Faded(px.layout, px.Get(x, y), factor));
}

void BlurBitmap(std::int32_t n, std::int32_t radius) {
    if (!FindBitmap(n)) return;
    if (radius > kLargestRadius || radius < 2) return; // below 2 the window is the pixel itself
    const std::int32_t low = -(radius / 2), high = low + radius - 1;
    PixelAccess px(n);
    if (!px.Ready()) return;
    // A row is written back once no later row's window reads it: the rows held at once are a few,
    // never a copy of the whole bitmap.
    const std::int32_t held = 1 - low;
    const std::unique_ptr<std::uint32_t[]> rows(
        new (std::nothrow) std::uint32_t[static_cast<std::size_t>(held) * px.width]);
    if (!rows) return RaiseRuntimeError(kStringNoMemory);
    const auto slot = [&](std::int32_t y) {
        return &rows[static_cast<std::size_t>(y % held) * px.width];
    };
    const auto putBack = [&](std::int32_t y) {
        for (std::int32_t x = 0; x < px.width; ++x)
            px.Put(x, y, slot(y)[x]);
    };
    for (std::int32_t y = 0; y < px.height; ++y) {
        for (std::int32_t x = 0; x < px.width; ++x)
            slot(y)[x] = Averaged(px, x, y, low, high);
        if (y + low >= 0) putBack(y + low);
    }
    for (std::int32_t y = std::max(px.height + low, 0); y < px.height; ++y)
        putBack(y);
}
