#include "core/win32.h"

#include "video/stream_check.h"
#include "core/load_budget.h"
#include "core/mapped_file.h"
#include "image/picture_check.h"
#include "sound/wave_check.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t kMaxChannels = 8;
constexpr std::uint32_t kMaxRate = 655350;
constexpr std::uint64_t kMp3SyncWindow = 64u << 10;

bool Side(std::uint32_t v) {
    return v >= 1 && v <= kLargestVideoSide;
}

// ---- Ogg ----

bool VorbisHeaderFits(const ByteSpan& p) {
    std::uint32_t version = 1, channels = 0, rate = 0, sizes = 0, framing = 0;
    if (p.size < 30 || !p.Tag(0, "\x01vorbis") || !p.U32(7, version) || !p.U8(11, channels) ||
        !p.U32(12, rate) || !p.U8(28, sizes) || !p.U8(29, framing))
        return false;
    const std::uint32_t small = sizes & 15, large = sizes >> 4;
    return version == 0 && channels >= 1 && channels <= kMaxChannels && rate >= 1 &&
           rate <= kMaxRate && small >= 6 && small <= large && large <= 13 && (framing & 1);
}

bool OpusHeaderFits(const ByteSpan& p) {
    std::uint32_t version = 0, channels = 0, family = 0, streams = 0, coupled = 0;
    if (p.size < 19 || !p.Tag(0, "OpusHead") || !p.U8(8, version) || !p.U8(9, channels) ||
        !p.U8(18, family))
        return false;
    if (version >= 16 || channels < 1 || channels > kMaxChannels) return false;
    if (family == 0) return channels <= 2;
    if (family != 1 && family != 255) return false;
    if (!p.U8(19, streams) || !p.U8(20, coupled) || !p.Has(21, channels)) return false;
    if (streams < 1 || coupled > streams || streams + coupled > 255) return false;
    for (std::uint32_t c = 0; c < channels; ++c)
        if (p.data[21 + c] != 255 && p.data[21 + c] >= streams + coupled) return false;
    return true;
}

// FLAC's STREAMINFO block body, 34 bytes.
bool FlacInfoFits(const ByteSpan& s) {
    std::uint32_t minBlock = 0, maxBlock = 0;
    if (s.size < 34 || !s.U16BE(0, minBlock) || !s.U16BE(2, maxBlock)) return false;
    const std::uint32_t rate = s.data[10] << 12 | s.data[11] << 4 | s.data[12] >> 4;
    const std::uint32_t channels = ((s.data[12] >> 1) & 7) + 1;
    const std::uint32_t bits = ((s.data[12] & 1) << 4 | s.data[13] >> 4) + 1;
    return minBlock >= 16 && maxBlock >= minBlock && rate >= 1 && rate <= kMaxRate &&
           channels <= kMaxChannels && bits >= 4 && bits <= 32;
}

// A metadata block header at `at` naming a 34-byte STREAMINFO, then the block.
bool FlacFirstBlockFits(const ByteSpan& b, std::uint64_t at) {
    std::uint32_t type = 0, length = 0;
    ByteSpan info;
    if (!b.U8(at, type) || !b.U32BE(at, length)) return false;
    return (type & 0x7F) == 0 && (length & 0xFFFFFF) == 34 && b.Sub(at + 4, 34, info) &&
           FlacInfoFits(info);
}

bool OggFlacHeaderFits(const ByteSpan& p) {
    std::uint32_t major = 0;
    return p.Tag(0, "\x7F"
                    "FLAC") &&
           p.U8(5, major) && major == 1 && p.Tag(9, "fLaC") && FlacFirstBlockFits(p, 13);
}

// A Theora stream's header; its decoder makes frames of the coded size it gives, in pixels.
bool TheoraHeaderFits(const ByteSpan& p, std::uint64_t& pixels) {
    std::uint32_t major = 0, mbWidth = 0, mbHeight = 0, picW = 0, picH = 0, picX = 0, picY = 0,
                  rateN = 0, rateD = 0, flags = 0;
    if (p.size < 42 || !p.Tag(0, "\x80theora") || !p.U8(7, major) || !p.U16BE(10, mbWidth) ||
        !p.U16BE(12, mbHeight) || !p.U8(20, picX) || !p.U8(21, picY) || !p.U32BE(22, rateN) ||
        !p.U32BE(26, rateD) || !p.U8(41, flags))
        return false;
    picW = p.data[14] << 16 | p.data[15] << 8 | p.data[16];
    picH = p.data[17] << 16 | p.data[18] << 8 | p.data[19];
    const std::uint32_t frameW = mbWidth * 16, frameH = mbHeight * 16;
    pixels = static_cast<std::uint64_t>(frameW) * frameH;
    return major == 3 && Side(frameW) && Side(frameH) &&
           static_cast<std::uint64_t>(frameW) * frameH <= kLargestFramePixels && picW >= 1 &&
           picH >= 1 && picX + picW <= frameW && picY + picH <= frameH && rateN >= 1 &&
           rateD >= 1 && ((flags >> 3) & 3) != 1;
}

// The first packet of a page that begins a stream; false when it does not end on the page.
bool FirstPacket(const ByteSpan& page, std::uint32_t segments, ByteSpan& packet) {
    std::uint64_t length = 0;
    for (std::uint32_t i = 0; i < segments; ++i) {
        length += page.data[27 + i];
        if (page.data[27 + i] < 255) return page.Sub(27 + segments, length, packet);
    }
    return false;
}

// The identification header of one stream; skeleton streams describe the others and carry none.
// Every video stream's frames are charged, whether the streams play together or one by one.
bool OggStreamFits(const ByteSpan& packet, StreamCheck& result) {
    std::uint64_t pixels = 0;
    if (packet.Tag(0, "fishead")) return true;
    if (TheoraHeaderFits(packet, pixels)) {
        result.framePixels += pixels;
        return result.video = true;
    }
    if (VorbisHeaderFits(packet) || OpusHeaderFits(packet) || OggFlacHeaderFits(packet))
        return result.audio = true;
    return false;
}

// The page at `at`: its whole length, or 0 when it is cut short or no page.
std::uint64_t OggPageLength(const ByteSpan& b, std::uint64_t at, std::uint32_t& segments) {
    std::uint32_t version = 1, type = 0;
    if (!b.Tag(at, "OggS") || !b.U8(at + 4, version) || !b.U8(at + 5, type) ||
        !b.U8(at + 26, segments) || version != 0 || type > 7 || !b.Has(at + 27, segments))
        return 0;
    std::uint64_t body = 0;
    for (std::uint32_t i = 0; i < segments; ++i)
        body += b.data[at + 27 + i];
    return b.Has(at, 27 + segments + body) ? 27 + segments + body : 0;
}

// ---- MPEG audio ----

// The length of the frame whose header is at `at`, or 0 when it is no frame header.
std::uint32_t Mp3FrameLength(const ByteSpan& b, std::uint64_t at) {
    static const std::uint16_t kRates[5][14] = {
        {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
        {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
        {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
        {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
        {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
    static const std::uint32_t kSampleRates[3] = {44100, 48000, 32000};
    std::uint32_t h = 0;
    if (!b.U32BE(at, h) || (h >> 21) != 0x7FF) return 0;
    const std::uint32_t version = (h >> 19) & 3, layer = (h >> 17) & 3, index = (h >> 12) & 15,
                        rateIndex = (h >> 10) & 3, padding = (h >> 9) & 1;
    if (version == 1 || layer == 0 || index == 0 || index == 15 || rateIndex == 3 || (h & 3) == 2)
        return 0;
    const bool mpeg1 = version == 3;
    const std::uint32_t table = mpeg1 ? 3 - layer : (layer == 3 ? 3 : 4);
    const std::uint32_t bitrate = kRates[table][index - 1] * 1000u;
    const std::uint32_t rate = kSampleRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    if (layer == 3) return (12 * bitrate / rate + padding) * 4;
    return (layer == 1 && !mpeg1 ? 72 : 144) * bitrate / rate + padding;
}

// The bytes an ID3v2 tag at the start takes, 0 without one; false when the tag is damaged.
bool Id3Length(const ByteSpan& b, std::uint64_t fileSize, std::uint64_t& length) {
    length = 0;
    if (!b.Tag(0, "ID3")) return true;
    std::uint32_t version = 0, flags = 0;
    if (!b.U8(3, version) || !b.U8(5, flags) || version < 2 || version > 4 || !b.Has(6, 4))
        return false;
    std::uint64_t size = 0;
    for (int i = 0; i < 4; ++i) {
        if (b.data[6 + i] & 0x80) return false;
        size = size << 7 | b.data[6 + i];
    }
    length = 10 + size + (flags & 0x10 ? 10 : 0);
    return length <= fileSize;
}

bool EndsWith(const char* name, const char* ending) {
    const std::size_t n = name ? std::strlen(name) : 0, e = std::strlen(ending);
    return n >= e && lstrcmpiA(name + n - e, ending) == 0;
}

} // namespace

StreamCheck CheckOggStreams(const ByteSpan& b, std::uint64_t) {
    StreamCheck result;
    std::uint64_t at = 0;
    bool first = true;
    while (at + 27 <= b.size) {
        std::uint32_t segments = 0;
        const std::uint64_t length = OggPageLength(b, at, segments);
        if (length == 0) {
            if (first) return {};
            // The demuxer looks for the next page; so do the checks, or a later stream escapes
            // them.
            const void* next = std::memchr(b.data + at + 1, 'O', b.size - at - 1);
            if (!next) break;
            at = static_cast<const std::uint8_t*>(next) - b.data;
            continue;
        }
        ByteSpan page, packet;
        b.Sub(at, length, page);
        const bool begins = b.data[at + 5] & 2;
        if (first && !begins) return {};
        if (begins && (!FirstPacket(page, segments, packet) || !OggStreamFits(packet, result)))
            return {};
        first = false;
        at += length;
    }
    result.ok = !first && (result.audio || result.video);
    return result;
}

StreamCheck CheckMp3Stream(const ByteSpan& b, std::uint64_t fileSize) {
    std::uint64_t start = 0;
    if (!Id3Length(b, fileSize, start)) return {};
    const std::uint64_t last = std::min<std::uint64_t>(start + kMp3SyncWindow, b.size);
    for (std::uint64_t at = start; at + 4 <= last; ++at) {
        const std::uint32_t length = Mp3FrameLength(b, at);
        if (length < 4) continue;
        // A second frame where the first one ends, as the parser wants it; the file may end there.
        if (at + length + 4 > b.size || Mp3FrameLength(b, at + length) >= 4)
            return StreamCheck{at + length <= fileSize, false, true};
    }
    return {};
}

StreamCheck CheckFlacStream(const ByteSpan& b, std::uint64_t) {
    if (!b.Tag(0, "fLaC") || !FlacFirstBlockFits(b, 4)) return {};
    return StreamCheck{true, false, true};
}

StreamCheck CheckMidiFile(const ByteSpan& b, std::uint64_t fileSize) {
    std::uint32_t length = 0, format = 0, tracks = 0, division = 0;
    if (!b.Tag(0, "MThd") || !b.U32BE(4, length) || !b.U16BE(8, format) || !b.U16BE(10, tracks) ||
        !b.U16BE(12, division) || length < 6 || format > 2 || tracks < 1 || division == 0 ||
        (format == 0 && tracks != 1))
        return {};
    std::uint64_t at = 8 + static_cast<std::uint64_t>(length);
    for (std::uint32_t t = 0; t < tracks; ++t) {
        std::uint32_t size = 0;
        if (!b.Tag(at, "MTrk") || !b.U32BE(at + 4, size) || at + 8 + size > fileSize) return {};
        at += 8 + static_cast<std::uint64_t>(size);
    }
    return StreamCheck{true, false, true};
}

StreamCheck CheckMediaBytes(const char* fileName, const ByteSpan& b, std::uint64_t fileSize) {
    if (b.size > fileSize) return {};
    if (b.Tag(0, "RIFF") && b.Tag(8, "AVI ")) return CheckAviStreams(b, fileSize);
    if (b.Tag(0, "RIFF") && b.Tag(8, "WAVE"))
        return StreamCheck{CheckWaveFile(b, fileSize), false, true};
    if (b.Tag(0, "OggS")) return CheckOggStreams(b, fileSize);
    if (b.Tag(0, "fLaC")) return CheckFlacStream(b, fileSize);
    if (b.Tag(0, "MThd")) return CheckMidiFile(b, fileSize);
    if (b.Tag(0, "ID3") || Mp3FrameLength(b, 0) || EndsWith(fileName, ".mp3"))
        return CheckMp3Stream(b, fileSize);
    StreamCheck unknown;
    unknown.unknownKind = b.size > 0;
    return unknown;
}

StreamCheck CheckMediaFile(const char* fileName) {
    const MappedFile file(fileName);
    if (!file.Ok()) return {};
    return CheckMediaBytes(fileName, file.Bytes(), file.FileSize());
}

// A file whose walk runs out of memory is not taken: the load fails with its own error.
bool CheckedAudioFile(const char* fileName) {
    return GuardLoad([&] {
        const MappedFile file(fileName);
        if (!file.Ok()) return false;
        const StreamCheck c = CheckMediaBytes(fileName, file.Bytes(), file.FileSize());
        // Music keeps no budget, yet its graph decodes a video stream's frames too: their later
        // passes must fit the budget a load of the file would have.
        return c.ok && c.audio &&
               c.repeatedBlocks <= LoadBudgetFor(file.FileSize()) / kBlockPassBytes;
    });
}

bool CheckedVideoFile(const char* fileName) {
    return GuardLoad([&] {
        const StreamCheck c = CheckMediaFile(fileName);
        return c.ok && c.video;
    });
}
