#include "core/win32.h"

#include "image/jpeg_walk.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t kMaxComponents = 4;
// The fewest bytes a scan takes: its marker, length and one component's fields.
constexpr std::uint64_t kSmallestScan = 10;
// Far past any budget: keeps the sums of a hostile file from wrapping.
constexpr std::uint64_t kBlocksCap = std::uint64_t{1} << 40;

// The walk's state: the frame's components and which of them a scan has passed over yet.
struct Walk {
    const ByteSpan& b;
    std::uint64_t fileSize;
    JpegLayout& out;
    std::uint32_t id[kMaxComponents]{}, h[kMaxComponents]{}, v[kMaxComponents]{};
    std::uint32_t hMax = 1, vMax = 1;
    bool scanned[kMaxComponents]{};
    bool sawFrame = false, sawScan = false;
};

std::uint64_t Ceil(std::uint64_t a, std::uint64_t b) {
    return (a + b - 1) / b;
}

bool IsFrameMarker(std::uint32_t m) {
    return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

// The blocks of component c, as a scan of it alone covers them.
std::uint64_t ComponentBlocks(const Walk& w, std::uint32_t c) {
    const std::uint64_t width = Ceil(std::uint64_t{w.out.width} * w.h[c], w.hMax);
    const std::uint64_t height = Ceil(std::uint64_t{w.out.height} * w.v[c], w.vMax);
    return Ceil(width, 8) * Ceil(height, 8);
}

// The blocks of component c in a scan of several: whole units of the largest sampling, edges
// padded.
std::uint64_t InterleavedBlocks(const Walk& w, std::uint32_t c) {
    return Ceil(w.out.width, 8 * w.hMax) * Ceil(w.out.height, 8 * w.vMax) * w.h[c] * w.v[c];
}

void AddRepeated(Walk& w, std::uint64_t blocks) {
    w.out.repeatedBlocks =
        std::min(w.out.repeatedBlocks + std::min(blocks, kBlocksCap), kBlocksCap);
}

bool ReadFrame(Walk& w, std::uint64_t at, std::uint32_t length) {
    JpegLayout& o = w.out;
    if (!w.b.U8(at + 4, o.precision) || !w.b.U16BE(at + 5, o.height) ||
        !w.b.U16BE(at + 7, o.width) || !w.b.U8(at + 9, o.components))
        return false;
    if ((o.precision != 8 && o.precision != 12) || o.width < 1 || o.height < 1 ||
        o.components < 1 || o.components > kMaxComponents || length != 8 + 3 * o.components)
        return false;
    for (std::uint32_t c = 0; c < o.components; ++c) {
        std::uint32_t sampling = 0, table = 0;
        if (!w.b.U8(at + 10 + 3 * c, w.id[c]) || !w.b.U8(at + 11 + 3 * c, sampling) ||
            !w.b.U8(at + 12 + 3 * c, table))
            return false;
        w.h[c] = sampling >> 4;
        w.v[c] = sampling & 15;
        if (w.h[c] < 1 || w.h[c] > 4 || w.v[c] < 1 || w.v[c] > 4 || table > 3) return false;
        w.hMax = std::max(w.hMax, w.h[c]);
        w.vMax = std::max(w.vMax, w.v[c]);
    }
    w.sawFrame = true;
    return true;
}

// A scan's header: every component it names is one of the frame's. A component's first scan
// decodes its pixels; each later one passes over its blocks again.
bool ReadScan(Walk& w, std::uint64_t at, std::uint32_t length) {
    std::uint32_t count = 0;
    if (!w.sawFrame || !w.b.U8(at + 4, count) || count < 1 || count > kMaxComponents ||
        length != 6 + 2 * count)
        return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t selector = 0, c = 0;
        if (!w.b.U8(at + 5 + 2 * i, selector)) return false;
        while (c < w.out.components && w.id[c] != selector)
            ++c;
        if (c == w.out.components) return false;
        if (w.scanned[c])
            AddRepeated(w, count == 1 ? ComponentBlocks(w, c) : InterleavedBlocks(w, c));
        w.scanned[c] = true;
    }
    w.sawScan = true;
    return true;
}

// The first marker at or after `at` that ends entropy-coded data: 0xFF followed by neither a
// stuffed zero nor a restart marker. The end of the mapped bytes when there is none.
std::uint64_t NextMarker(const ByteSpan& b, std::uint64_t at) {
    while (at < b.size) {
        const void* ff = std::memchr(b.data + at, 0xFF, b.size - at);
        if (!ff) return b.size;
        at = static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(ff) - b.data);
        std::uint32_t next = 0;
        if (!b.U8(at + 1, next)) return b.size;
        if (next != 0 && (next < 0xD0 || next > 0xD7)) return at;
        at += 2;
    }
    return b.size;
}

// The walk reached the end of the mapped bytes after a scan. Where the file goes on past them
// (a large file is mapped in part), the rest could hold a scan every few bytes, each passing over
// every block again: that is assumed.
bool Ended(Walk& w) {
    if (w.b.size >= w.fileSize) return true;
    std::uint64_t blocks = 0;
    for (std::uint32_t c = 0; c < w.out.components; ++c)
        blocks += ComponentBlocks(w, c);
    const std::uint64_t scans = std::min((w.fileSize - w.b.size) / kSmallestScan, kBlocksCap);
    AddRepeated(w, scans > kBlocksCap / blocks ? kBlocksCap : scans * blocks);
    return true;
}

} // namespace

bool WalkJpeg(const ByteSpan& b, std::uint64_t fileSize, JpegLayout& out) {
    out = JpegLayout{};
    std::uint32_t start = 0;
    if (!b.U16BE(0, start) || start != 0xFFD8) return false;
    Walk w{b, fileSize, out};
    std::uint64_t at = 2;
    for (;;) {
        std::uint32_t ff = 0, m = 0, length = 0;
        if (!b.U8(at, ff) || !b.U8(at + 1, m)) return w.sawScan && Ended(w);
        if (ff != 0xFF) {
            // Bytes between segments: the decoder skips them once it is past the first scan.
            if (!w.sawScan) return false;
            at = NextMarker(b, at + 1);
            continue;
        }
        if (m == 0xFF) { // fill byte before a marker
            ++at;
            continue;
        }
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD8)) {
            at += 2;
            continue;
        }
        // FF 00 is no marker: the decoder skips it and looks on, so no length may be read there.
        if (m == 0x00) return false;
        if (m == 0xD9) return w.sawScan;
        if (!b.U16BE(at + 2, length)) return w.sawScan && Ended(w);
        if (length < 2) return false;
        // After a scan, a segment the file cuts short ends the picture.
        if (at + 2 + length > fileSize) return w.sawScan;
        if (IsFrameMarker(m)) {
            if (w.sawFrame || !ReadFrame(w, at, length)) return false;
        } else if (m == 0xDA) {
            if (!ReadScan(w, at, length)) return false;
            at = NextMarker(b, at + 2 + length);
            continue;
        }
        at += 2 + static_cast<std::uint64_t>(length);
    }
}
