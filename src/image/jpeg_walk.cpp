#include "core/win32.h"

#include "image/jpeg_walk.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t kMaxComponents = 4;
constexpr std::uint32_t kMaxTables = 4;
// The fewest bytes a scan takes: its marker, length and one component's fields.
constexpr std::uint64_t kSmallestScan = 10;
// Far past any budget: keeps the sums of a hostile file from wrapping.
constexpr std::uint64_t kBlocksCap = std::uint64_t{1} << 40;

// What a scan finds under a Huffman table's number.
enum HuffmanTable : std::uint8_t { kNoTable, kTableFits, kTableBroken };

// The walk's state: the frame's components and which of them a scan has passed over yet; for the
// Motion-JPEG decoder, also the tables defined so far.
struct Walk {
    const ByteSpan& b;
    std::uint64_t fileSize;
    JpegLayout& out;
    bool motion; // walked for the Motion-JPEG decoder
    std::uint32_t id[kMaxComponents]{}, h[kMaxComponents]{}, v[kMaxComponents]{};
    std::uint32_t quant[kMaxComponents]{}; // each component's quantisation table
    std::uint32_t hMax = 1, vMax = 1, marker = 0;
    bool scanned[kMaxComponents]{};
    bool sawFrame = false, sawScan = false;
    bool quantDefined[kMaxTables]{};
    HuffmanTable huffman[2][kMaxTables]{}; // [DC, AC][table]
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

// ---- the Motion-JPEG decoder's limits ----
// Probed with clips of every kind of frame: the decoder takes 8-bit sequential and progressive
// frames, Huffman or arithmetic coded, of one component or three, with restart markers, a DNL
// segment or no Huffman tables of their own. Every other frame it drops, and the graph then waits
// for ever for a first picture: 12-bit, lossless and hierarchical frames, two or four components,
// the samplings below, and any header its library stops at (an unknown marker, a second start,
// a table it cannot hold, a scan naming a table not yet defined or bands no progression has).

// Blocks in a unit of a scan of several components.
constexpr std::uint32_t kMotionUnitBlocks = 10;

bool Progressive(std::uint32_t marker) {
    return marker == 0xC2 || marker == 0xCA;
}

// Sequential or progressive, Huffman (C0-C2) or arithmetic (C9, CA) coded.
bool MotionFrameKind(std::uint32_t marker) {
    return (marker >= 0xC0 && marker <= 0xC2) || marker == 0xC9 || marker == 0xCA;
}

// One component sampled once vertically; three whose first is sampled at most twice vertically,
// the second no more than the first either way, the third no more than the first vertically.
// Components of one number, which the decoder renumbers its own way, are refused as well.
bool MotionSamplingFits(const Walk& w) {
    for (std::uint32_t c = 1; c < w.out.components; ++c)
        for (std::uint32_t d = 0; d < c; ++d)
            if (w.id[c] == w.id[d]) return false;
    if (w.out.components == 1) return w.v[0] == 1;
    return w.out.components == 3 && w.v[0] <= 2 && w.h[1] <= w.h[0] && w.v[1] <= w.v[0] &&
           w.v[2] <= w.v[0];
}

// Whole tables, each numbered 0-3, of 8-bit entries or (any other precision) 16-bit ones.
bool ReadQuantTables(Walk& w, std::uint64_t at, std::uint64_t end) {
    while (at < end) {
        std::uint32_t kind = 0;
        if (!w.b.U8(at, kind) || (kind & 15) >= kMaxTables) return false;
        w.quantDefined[kind & 15] = true;
        at += 1 + 64 * (kind >> 4 ? 2 : 1);
    }
    return at == end;
}

// Codes that fit their lengths (the all-ones code of each length stays unused); a DC table's
// symbols are bit counts up to 15.
bool HuffmanCodesFit(const ByteSpan& b, std::uint64_t at, std::uint32_t symbols, bool dc) {
    std::uint32_t codes = 0;
    for (std::uint32_t bits = 1; bits <= 16; ++bits) {
        codes += b.data[at + bits];
        if (codes >= 1u << bits) return false;
        codes <<= 1;
    }
    for (std::uint32_t i = 0; dc && i < symbols; ++i)
        if (b.data[at + 17 + i] > 15) return false;
    return true;
}

// Whole tables, each DC or AC and numbered 0-3, of at most 256 symbols. Codes that do not fit
// stop the decoder only when a scan uses the table.
bool ReadHuffmanTables(Walk& w, std::uint64_t at, std::uint64_t end) {
    while (at < end) {
        std::uint32_t kind = 0, symbols = 0;
        if (!w.b.U8(at, kind) || kind >> 4 > 1 || (kind & 15) >= kMaxTables || !w.b.Has(at, 17))
            return false;
        for (std::uint32_t bits = 1; bits <= 16; ++bits)
            symbols += w.b.data[at + bits];
        if (symbols > 256 || !w.b.Has(at + 17, symbols)) return false;
        w.huffman[kind >> 4][kind & 15] =
            HuffmanCodesFit(w.b, at, symbols, kind >> 4 == 0) ? kTableFits : kTableBroken;
        at += 17 + symbols;
    }
    return at == end;
}

// Pairs of a table number below 32 and its value; a DC table's lower bound at most its upper.
bool ReadArithmeticTables(const Walk& w, std::uint64_t at, std::uint64_t end) {
    for (; at < end; at += 2) {
        std::uint32_t index = 0, value = 0;
        if (!w.b.U8(at, index) || !w.b.U8(at + 1, value) || index >= 32) return false;
        if (index < 16 && (value & 15) > value >> 4) return false;
    }
    return at == end;
}

// A segment the decoder reads: markers other than these stop it.
bool MotionSegmentFits(Walk& w, std::uint32_t m, std::uint64_t at, std::uint32_t length) {
    const std::uint64_t body = at + 4, end = at + 2 + static_cast<std::uint64_t>(length);
    switch (m) {
    case 0xDB:
        return ReadQuantTables(w, body, end);
    case 0xC4:
        return ReadHuffmanTables(w, body, end);
    case 0xCC:
        return ReadArithmeticTables(w, body, end);
    case 0xDD: // the restart interval
        return length == 4;
    case 0xDA:
    case 0xDC: // the number of lines, which the decoder skips
    case 0xFE:
        return true;
    default:
        return (m >= 0xE0 && m <= 0xEF) || MotionFrameKind(m);
    }
}

// A Huffman table a scan uses: the decoder has the usual tables 0 and 1 of its own.
bool HuffmanTableFits(const Walk& w, std::uint32_t tableClass, std::uint32_t table) {
    if (table >= kMaxTables) return false;
    const HuffmanTable state = w.huffman[tableClass][table];
    return state == kTableFits || (state == kNoTable && table < 2);
}

// A progressive scan's band: the DC alone, or part of the AC band of one component; a refinement
// of one bit below the last.
bool ProgressionFits(std::uint32_t count, std::uint32_t start, std::uint32_t end,
                     std::uint32_t bits) {
    const std::uint32_t high = bits >> 4, low = bits & 15;
    if (start == 0 ? end != 0 : (start > end || end > 63 || count != 1)) return false;
    return (high == 0 || low == high - 1) && low <= 13;
}

// The scan of `count` components (indices into the frame's, each with its table byte) as the
// decoder takes it: each component once (a number named twice the decoder reads as another
// component: refused), and in a sequential frame in one scan only; a unit of at most ten blocks;
// the tables it uses already defined.
bool MotionScanFits(const Walk& w, std::uint64_t at, std::uint32_t count,
                    const std::uint32_t* component, const std::uint32_t* tables) {
    std::uint32_t start = 0, end = 0, bits = 0, blocks = 0;
    const std::uint64_t band = at + 5 + 2 * count;
    if (!w.b.U8(band, start) || !w.b.U8(band + 1, end) || !w.b.U8(band + 2, bits)) return false;
    const bool progressive = Progressive(w.marker), huffman = w.marker < 0xC9;
    if (progressive && !ProgressionFits(count, start, end, bits)) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t c = component[i];
        for (std::uint32_t j = 0; j < i; ++j)
            if (component[j] == c) return false;
        if ((!progressive && w.scanned[c]) || !w.quantDefined[w.quant[c]]) return false;
        // A progressive scan decodes with the DC table in its first DC pass, else the AC table.
        const bool dc = !progressive || (start == 0 && bits >> 4 == 0);
        const bool ac = !progressive || start != 0;
        if (huffman && ((dc && !HuffmanTableFits(w, 0, tables[i] >> 4)) ||
                        (ac && !HuffmanTableFits(w, 1, tables[i] & 15))))
            return false;
        blocks += w.h[c] * w.v[c];
    }
    return count == 1 || blocks <= kMotionUnitBlocks;
}

// ---- the walk ----

bool ReadFrame(Walk& w, std::uint32_t marker, std::uint64_t at, std::uint32_t length) {
    JpegLayout& o = w.out;
    if (!w.b.U8(at + 4, o.precision) || !w.b.U16BE(at + 5, o.height) ||
        !w.b.U16BE(at + 7, o.width) || !w.b.U8(at + 9, o.components))
        return false;
    if ((o.precision != 8 && o.precision != 12) || o.width < 1 || o.height < 1 ||
        o.components < 1 || o.components > kMaxComponents || length != 8 + 3 * o.components)
        return false;
    for (std::uint32_t c = 0; c < o.components; ++c) {
        std::uint32_t sampling = 0;
        if (!w.b.U8(at + 10 + 3 * c, w.id[c]) || !w.b.U8(at + 11 + 3 * c, sampling) ||
            !w.b.U8(at + 12 + 3 * c, w.quant[c]))
            return false;
        w.h[c] = sampling >> 4;
        w.v[c] = sampling & 15;
        if (w.h[c] < 1 || w.h[c] > 4 || w.v[c] < 1 || w.v[c] > 4 || w.quant[c] >= kMaxTables)
            return false;
        w.hMax = std::max(w.hMax, w.h[c]);
        w.vMax = std::max(w.vMax, w.v[c]);
    }
    w.marker = marker;
    w.sawFrame = true;
    return !w.motion || (o.precision == 8 && MotionSamplingFits(w));
}

// A scan's header: every component it names is one of the frame's. A component's first scan
// decodes its pixels; each later one passes over its blocks again.
bool ReadScan(Walk& w, std::uint64_t at, std::uint32_t length) {
    std::uint32_t count = 0, component[kMaxComponents]{}, tables[kMaxComponents]{};
    if (!w.sawFrame || !w.b.U8(at + 4, count) || count < 1 || count > kMaxComponents ||
        length != 6 + 2 * count)
        return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t selector = 0, c = 0;
        if (!w.b.U8(at + 5 + 2 * i, selector)) return false;
        w.b.U8(at + 6 + 2 * i, tables[i]); // the Motion-JPEG checks read on past it
        while (c < w.out.components && w.id[c] != selector)
            ++c;
        if (c == w.out.components) return false;
        component[i] = c;
    }
    if (w.motion && !MotionScanFits(w, at, count, component, tables)) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t c = component[i];
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

bool WalkJpeg(const ByteSpan& b, std::uint64_t fileSize, JpegLayout& out, JpegDecoder decoder) {
    out = JpegLayout{};
    std::uint32_t start = 0;
    if (!b.U16BE(0, start) || start != 0xFFD8) return false;
    Walk w{b, fileSize, out, decoder == JpegDecoder::kMotionJpeg};
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
            if (m == 0xD8 && w.motion) return false; // a second start stops that decoder
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
        if (w.motion && !MotionSegmentFits(w, m, at, length)) return false;
        if (IsFrameMarker(m)) {
            if (w.sawFrame || !ReadFrame(w, m, at, length)) return false;
        } else if (m == 0xDA) {
            if (!ReadScan(w, at, length)) return false;
            at = NextMarker(b, at + 2 + length);
            continue;
        }
        at += 2 + static_cast<std::uint64_t>(length);
    }
}
