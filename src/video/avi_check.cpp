// The AVI check. The platform's splitter takes a stream's data from wherever its indexes point, or
// without one from every chunk it finds walking the file from the start, into every list, naming
// a chunk's stream by its first two characters. So the check walks the file the same way, checks
// each frame a Motion-JPEG decoder would be handed, and lets no index point elsewhere.
#include "core/win32.h"

#include "image/picture_check.h"
#include "sound/wave_check.h"
#include "video/stream_check.h"

#include <algorithm>
#include <vector>

namespace {

constexpr std::uint32_t kMaxStreams = 16;
constexpr std::uint32_t kMaxBuffer = 64u << 20;
// A stream's units a second: PCM audio counts bytes, up to 8 channels of 64 bits at 384 kHz.
constexpr std::uint32_t kMaxUnitsPerSecond = 1u << 25;
constexpr int kMaxListDepth = 8;
constexpr std::uint32_t kSizeMask = 0x7FFFFFFF; // an OpenDML entry's top bit marks a delta frame

// How the splitter's decoder takes a video stream's frames.
enum class Codec { kNone, kRaw, kMotionJpeg, kOther };

struct AviStream {
    bool header = false, format = false, video = false, audio = false;
    std::uint32_t handler = 0; // the stream header's codec, used when the format names none
    Codec codec = Codec::kNone;
    std::uint64_t framePixels = 0;    // the format's frame, then the largest of the frames
    std::uint64_t repeatedBlocks = 0; // the frames' later passes over their blocks, added up
    bool wholeFrame = false;          // a whole frame that the decoder can start from
    ByteSpan index;                   // the stream's OpenDML index, when it has one
};

// A chunk the walk took as a stream's: where its header is, its size, its stream.
struct AviChunk {
    std::uint64_t at = 0;
    std::uint32_t size = 0, stream = 0;
};

struct AviWalk {
    ByteSpan b;
    std::uint64_t fileSize = 0;
    std::uint32_t count = 0;
    AviStream streams[kMaxStreams];
    std::uint64_t mainPixels = 0;
    std::uint64_t dataList = 0;    // the first data list's header
    std::vector<AviChunk> chunks;  // in file order
    std::vector<ByteSpan> indexes; // the bodies of idx1 chunks
};

constexpr std::uint32_t FourCc(const char* c) {
    return static_cast<std::uint8_t>(c[0]) | static_cast<std::uint8_t>(c[1]) << 8 |
           static_cast<std::uint8_t>(c[2]) << 16 | static_cast<std::uint32_t>(c[3]) << 24;
}

// Raw frames are as large as the format says; Motion-JPEG frames say their own size; what other
// codecs make cannot be measured here, so such streams are refused.
Codec CodecOf(std::uint32_t fourcc) {
    static const char* const kRaw[] = {"DIB ", "RGB ", "YUY2", "UYVY", "I420", "YV12", "Y800"};
    static const char* const kJpeg[] = {"MJPG", "mjpg", "AVRn", "IJPG", "ijpg",
                                        "dmb1", "ACDV", "QIVG", "JPEG", "jpeg",
                                        "PIXL", "VIXL", "CJPG", "SLMJ", "JPGL"};
    if (fourcc == 0 || fourcc == 3) return Codec::kRaw; // plain and bit-field RGB
    for (const char* c : kRaw)
        if (fourcc == FourCc(c)) return Codec::kRaw;
    for (const char* c : kJpeg)
        if (fourcc == FourCc(c)) return Codec::kMotionJpeg;
    return Codec::kOther;
}

// The stream a chunk's name gives, as the splitter reckons it: the first two characters as
// decimal digits in unsigned 32-bit arithmetic, so characters other than digits name streams too.
std::uint32_t StreamNumber(const ByteSpan& b, std::uint64_t at) {
    return (static_cast<std::uint32_t>(b.data[at]) - '0') * 10u +
           static_cast<std::uint32_t>(b.data[at + 1]) - '0';
}

// ---- the header list ----

bool VideoFormatFits(const ByteSpan& f, AviStream& stream) {
    std::uint32_t size = 0, width = 0, height = 0, bits = 0, compression = 0, colours = 0;
    if (!f.U32(0, size) || !f.U32(4, width) || !f.U32(8, height) || !f.U16(14, bits) ||
        !f.U32(16, compression) || !f.U32(32, colours))
        return false;
    const std::int64_t h = static_cast<std::int32_t>(height);
    const std::uint64_t rows = static_cast<std::uint64_t>(h < 0 ? -h : h);
    if (size < 40 || size > f.size || width < 1 || width > kLargestVideoSide || rows < 1 ||
        rows > kLargestVideoSide || bits > 32 || colours > 256 ||
        width * rows > kLargestFramePixels)
        return false;
    stream.framePixels = width * rows;
    // The splitter picks the decoder by the format's codec, or the stream header's without one.
    stream.codec = CodecOf(compression ? compression : stream.handler);
    return stream.codec != Codec::kOther &&
           (bits > 8 || static_cast<std::uint64_t>(size) + colours * 4ull <= f.size ||
            colours == 0);
}

bool StreamHeaderFits(const ByteSpan& h, AviStream& stream) {
    std::uint32_t scale = 0, rate = 0, buffer = 0, sampleSize = 0;
    if (h.size < 48 || !h.U32(4, stream.handler) || !h.U32(20, scale) || !h.U32(24, rate) ||
        !h.U32(36, buffer) || !h.U32(44, sampleSize))
        return false;
    if (scale == 0 || rate == 0 || rate / scale > kMaxUnitsPerSecond || buffer > kMaxBuffer ||
        sampleSize > kMaxBuffer)
        return false;
    stream.video = h.Tag(0, "vids");
    stream.audio = h.Tag(0, "auds");
    return stream.video || stream.audio || h.Tag(0, "txts") || h.Tag(0, "mids");
}

// An OpenDML index in a stream's header: its entries inside the chunk; a super index's entries
// name places inside the file.
bool IndexHeaderFits(const ByteSpan& x, std::uint64_t fileSize) {
    std::uint32_t longs = 0, type = 0, entries = 0;
    if (!x.U16(0, longs) || !x.U8(3, type) || !x.U32(4, entries) || longs == 0) return false;
    if (static_cast<std::uint64_t>(entries) * longs * 4 >
        x.size - std::min<std::size_t>(x.size, 24))
        return false;
    for (std::uint32_t i = 0; type == 0 && i < entries && longs == 4; ++i) {
        std::uint32_t low = 0, high = 0, size = 0;
        x.U32(24 + i * 16, low);
        x.U32(28 + i * 16, high);
        x.U32(32 + i * 16, size);
        const std::uint64_t offset = static_cast<std::uint64_t>(high) << 32 | low;
        if (offset == 0 || offset > fileSize || size > fileSize - offset) return false;
    }
    return true;
}

bool StreamListFits(const ByteSpan& list, std::uint64_t fileSize, AviStream& stream) {
    for (std::uint64_t at = 4; at + 8 <= list.size;) {
        std::uint32_t size = 0;
        ByteSpan body;
        if (!list.U32(at + 4, size) || !list.Sub(at + 8, size, body)) return false;
        if (list.Tag(at, "strh")) {
            if (stream.header || !StreamHeaderFits(body, stream)) return false;
            stream.header = true;
        } else if (list.Tag(at, "strf")) {
            if (!stream.header || stream.format) return false;
            if (stream.video && !VideoFormatFits(body, stream)) return false;
            if (stream.audio && !CheckWaveFormat(body, true)) return false;
            stream.format = true;
        } else if (list.Tag(at, "indx")) {
            if (!IndexHeaderFits(body, fileSize)) return false;
            stream.index = body;
        }
        at += 8 + static_cast<std::uint64_t>(size) + (size & 1);
    }
    return stream.header && stream.format;
}

bool MainHeaderFits(const ByteSpan& h, std::uint32_t& streams, std::uint64_t& pixels) {
    std::uint32_t buffer = 0, width = 0, height = 0;
    if (h.size < 56 || !h.U32(24, streams) || !h.U32(28, buffer) || !h.U32(32, width) ||
        !h.U32(36, height))
        return false;
    pixels = static_cast<std::uint64_t>(width) * height;
    return streams >= 1 && streams <= kMaxStreams && buffer <= kMaxBuffer &&
           width <= kLargestVideoSide && height <= kLargestVideoSide;
}

// The header list: one avih, then one strl list per stream it counts.
bool HeaderListFits(const ByteSpan& list, AviWalk& w) {
    std::uint32_t streams = 0, lists = 0;
    bool sawMain = false;
    for (std::uint64_t at = 4; at + 8 <= list.size;) {
        std::uint32_t size = 0;
        ByteSpan body;
        if (!list.U32(at + 4, size) || !list.Sub(at + 8, size, body)) return false;
        if (list.Tag(at, "avih")) {
            if (sawMain || !MainHeaderFits(body, streams, w.mainPixels)) return false;
            sawMain = true;
        } else if (list.Tag(at, "LIST") && body.Tag(0, "strl")) {
            if (!sawMain || lists >= streams ||
                !StreamListFits(body, w.fileSize, w.streams[lists++]))
                return false;
        }
        at += 8 + static_cast<std::uint64_t>(size) + (size & 1);
    }
    w.count = streams;
    return sawMain && lists == streams;
}

// The top-level chunks up to the first data list: the header list must come before it.
bool ReadHeaders(AviWalk& w) {
    std::uint32_t riffSize = 0;
    w.b.U32(4, riffSize);
    const std::uint64_t end =
        std::min<std::uint64_t>(8 + static_cast<std::uint64_t>(riffSize), w.fileSize);
    bool sawHeaders = false;
    for (std::uint64_t at = 12; at + 12 <= end;) {
        std::uint32_t size = 0;
        if (!w.b.U32(at + 4, size)) return false; // past what is mapped: the headers came first
        const bool list = w.b.Tag(at, "LIST");
        if (list && w.b.Tag(at + 8, "movi")) {
            w.dataList = at;
            return sawHeaders;
        }
        ByteSpan body;
        if (!w.b.Sub(at + 8, size, body)) return false;
        if (list && body.Tag(0, "hdrl")) {
            if (sawHeaders || !HeaderListFits(body, w)) return false;
            sawHeaders = true;
        }
        at += 8 + static_cast<std::uint64_t>(size) + (size & 1);
    }
    return false; // no data list
}

// ---- the chunks ----

// A frame of a Motion-JPEG stream: the decoder starts at its first byte, so its markers must lead
// to a frame header that can be read, and that header's size is what the decoder makes. Its
// scans are walked as a picture's, for the decoder that takes them: each frame is decoded once a
// play, so the passes of all frames add up.
bool MotionJpegFrameFits(AviWalk& w, AviStream& stream, std::uint64_t at, std::uint32_t size) {
    ByteSpan body;
    // An empty chunk is a dropped frame. One cut by the end of the file the splitter never hands
    // over; one past what is mapped (a very large file) cannot be read here.
    if (size == 0 || !w.b.Sub(at + 8, size, body)) return true;
    JpegLayout layout;
    if (!CheckMotionJpegFrame(body, size, layout)) return false;
    stream.framePixels =
        std::max<std::uint64_t>(stream.framePixels, std::uint64_t{layout.width} * layout.height);
    stream.repeatedBlocks += layout.repeatedBlocks;
    stream.wholeFrame = true;
    return true;
}

bool ChunkFits(AviWalk& w, std::uint64_t at, std::uint32_t size) {
    if (w.b.Tag(at, "idx1")) {
        ByteSpan body;
        w.b.Sub(at + 8, std::min<std::uint64_t>(size, w.b.size - (at + 8)), body);
        w.indexes.push_back(body);
        return true;
    }
    const std::uint32_t stream = StreamNumber(w.b, at);
    if (stream >= w.count) return true; // not data: the splitter skips it
    w.chunks.push_back(AviChunk{at, size, stream});
    AviStream& s = w.streams[stream];
    return !s.video || s.codec != Codec::kMotionJpeg || MotionJpegFrameFits(w, s, at, size);
}

// Every chunk from the start of the file, lists entered; a chunk reaching past the end of the list
// that holds it would be read one way here and maybe another by the splitter, so it is refused.
bool WalkChunks(AviWalk& w) {
    std::uint64_t ends[kMaxListDepth] = {};
    int depth = 0;
    for (std::uint64_t at = 0; at + 8 <= w.b.size;) {
        while (depth > 0 && at == ends[depth - 1])
            --depth;
        std::uint32_t size = 0;
        w.b.U32(at + 4, size);
        const std::uint64_t end = at + 8 + static_cast<std::uint64_t>(size) + (size & 1);
        if (depth > 0 && end > ends[depth - 1] && ends[depth - 1] < w.fileSize) return false;
        if ((w.b.Tag(at, "LIST") || w.b.Tag(at, "RIFF")) && size >= 4) {
            if (depth == kMaxListDepth) return false;
            ends[depth++] = end;
            at += 12;
            continue;
        }
        if (!ChunkFits(w, at, size)) return false;
        at = end;
    }
    return true;
}

// ---- the indexes ----

// The index entry's chunk, at `at`, is one of the stream's that the walk checked, and no larger.
bool NamesChunk(const AviWalk& w, std::uint64_t at, std::uint32_t stream, std::uint32_t size) {
    if (at >= w.b.size) return at < w.fileSize; // past what is mapped: a very large file
    const auto found =
        std::lower_bound(w.chunks.begin(), w.chunks.end(), at,
                         [](const AviChunk& c, std::uint64_t where) { return c.at < where; });
    return found != w.chunks.end() && found->at == at && found->stream == stream &&
           size <= found->size;
}

// An idx1 index: its offsets count from the data list when the first lies before it, else from
// the start of the file.
bool OldIndexFits(const AviWalk& w, const ByteSpan& x) {
    std::uint64_t base = 0;
    bool first = true;
    for (std::uint64_t at = 0; at + 16 <= x.size; at += 16) {
        std::uint32_t id = 0, offset = 0, size = 0;
        x.U32(at, id);
        x.U32(at + 8, offset);
        x.U32(at + 12, size);
        if (id == 0 || x.Tag(at, "rec ") || (offset == 0 && !first)) continue; // skipped
        if (first) {
            // Offsets the two readings would both take are refused, whichever the splitter uses.
            if (offset >= w.dataList && offset <= w.dataList + 8) return false;
            base = offset < w.dataList ? w.dataList + 8 : 0;
            first = false;
        }
        const std::uint32_t stream = StreamNumber(x, at);
        if (stream < w.count && size > 0 && !NamesChunk(w, base + offset, stream, size))
            return false;
    }
    return true;
}

// An OpenDML chunk index: each entry names a chunk's data from the index's base.
bool ChunkIndexFits(const AviWalk& w, const ByteSpan& x, std::uint32_t stream) {
    std::uint32_t type = 0, entries = 0, low = 0, high = 0;
    if (!x.U8(2, type) || !x.U32(4, entries) || !x.U32(12, low) || !x.U32(16, high)) return true;
    const std::uint64_t base = static_cast<std::uint64_t>(high) << 32 | low;
    const std::uint64_t step = type & 1 ? 12 : 8; // entries of field pairs carry one more long
    for (std::uint64_t i = 0; i < entries && 24 + (i + 1) * step <= x.size; ++i) {
        std::uint32_t offset = 0, size = 0;
        x.U32(24 + i * step, offset);
        x.U32(28 + i * step, size);
        size &= kSizeMask;
        const std::uint64_t data = base + offset;
        if (size > 0 && (data < 8 || !NamesChunk(w, data - 8, stream, size))) return false;
    }
    return true;
}

// A stream's OpenDML index, read as a super index whatever its type says: each entry names a
// chunk index, which the splitter reads when it is one of the stream's ("ix##" or "##ix").
bool SuperIndexFits(const AviWalk& w, const ByteSpan& x, std::uint32_t stream) {
    std::uint32_t longs = 0, entries = 0;
    x.U16(0, longs);
    x.U32(4, entries);
    const std::uint64_t step = longs * 4ull;
    const char digits[3] = {static_cast<char>('0' + stream / 10),
                            static_cast<char>('0' + stream % 10), 0};
    for (std::uint64_t i = 0; i < entries && 24 + i * step + 8 <= x.size; ++i) {
        std::uint32_t low = 0, high = 0, size = 0;
        x.U32(24 + i * step, low);
        x.U32(28 + i * step, high);
        const std::uint64_t at = static_cast<std::uint64_t>(high) << 32 | low;
        ByteSpan body;
        if (at > w.b.size || !w.b.U32(at + 4, size) ||
            !((w.b.Tag(at, "ix") && w.b.Tag(at + 2, digits)) ||
              (w.b.Tag(at, digits) && w.b.Tag(at + 2, "ix"))))
            continue; // nothing the splitter reads as this stream's index
        w.b.Sub(at + 8, std::min<std::uint64_t>(size, w.b.size - (at + 8)), body);
        if (!ChunkIndexFits(w, body, stream)) return false;
    }
    return true;
}

bool IndexesFit(const AviWalk& w) {
    for (const ByteSpan& x : w.indexes)
        if (!OldIndexFits(w, x)) return false;
    for (std::uint32_t s = 0; s < w.count; ++s)
        if (w.streams[s].index.size && !SuperIndexFits(w, w.streams[s].index, s)) return false;
    return true;
}

// What the checked file holds. A Motion-JPEG stream without one whole frame gives its decoder
// nothing to start from, and the platform then waits for ever for a first picture.
StreamCheck Verdict(const AviWalk& w) {
    StreamCheck result;
    std::uint64_t videoPixels = 0;
    for (std::uint32_t s = 0; s < w.count; ++s) {
        const AviStream& stream = w.streams[s];
        if (stream.video && stream.codec == Codec::kMotionJpeg && !stream.wholeFrame &&
            w.b.size == w.fileSize)
            return {};
        result.video |= stream.video;
        result.audio |= stream.audio;
        if (stream.video) videoPixels += stream.framePixels; // every video stream is decoded
        result.repeatedBlocks += stream.repeatedBlocks;
    }
    result.ok = true;
    result.framePixels = std::max(w.mainPixels, videoPixels);
    return result;
}

} // namespace

StreamCheck CheckAviStreams(const ByteSpan& b, std::uint64_t fileSize) {
    if (!b.Tag(0, "RIFF") || !b.Tag(8, "AVI ") || b.size > fileSize) return {};
    AviWalk w;
    w.b = b;
    w.fileSize = fileSize;
    if (!ReadHeaders(w) || !WalkChunks(w) || !IndexesFit(w)) return {};
    return Verdict(w);
}
