#include "core/win32.h"

#include "sound/wave_check.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t kPcm = 1, kMsAdpcm = 2, kFloat = 3, kALaw = 6, kMuLaw = 7, kImaAdpcm = 0x11,
                        kGsm = 0x31, kMpeg3 = 0x55, kExtensible = 0xFFFE;
constexpr std::uint32_t kMaxChannels = 8;
constexpr std::uint32_t kMaxRate = 384000;
constexpr std::uint32_t kMaxAdpcmCoefficients = 256;
constexpr std::uint32_t kLowestMpegBytesPerSecond = 1000; // 8 kbit/s

struct Format {
    std::uint32_t tag = 0, channels = 0, rate = 0, average = 0, blockAlign = 0, bits = 0;
    std::uint32_t extra = 0; // cbSize, 0 when the chunk has none
};

bool LinearFits(const Format& f, bool floating) {
    const bool bitsOk = floating ? f.bits == 32 || f.bits == 64
                                 : f.bits == 8 || f.bits == 16 || f.bits == 24 || f.bits == 32;
    return bitsOk && f.blockAlign == f.channels * f.bits / 8;
}

// A plain format's bytes per second follow from its rate and block; writers often get the field
// wrong, and the reader repairs it rather than refusing the file.
bool Linear(std::uint32_t tag) {
    return tag == kPcm || tag == kFloat;
}

bool MsAdpcmFits(const Format& f, const ByteSpan& b) {
    std::uint32_t samplesPerBlock = 0, coefficients = 0;
    if (f.channels > 2 || f.bits != 4 || f.blockAlign < 7 * f.channels || f.extra < 4 ||
        !b.U16(18, samplesPerBlock) || !b.U16(20, coefficients))
        return false;
    const std::uint32_t expected = (f.blockAlign - 7 * f.channels) * 8 / (4 * f.channels) + 2;
    return samplesPerBlock == expected && coefficients >= 7 &&
           coefficients <= kMaxAdpcmCoefficients && f.extra >= 4 + 4 * coefficients;
}

bool ImaAdpcmFits(const Format& f, const ByteSpan& b) {
    std::uint32_t samplesPerBlock = 0;
    if (f.channels > 2 || f.bits != 4 || f.blockAlign < 4 * f.channels || f.extra < 2 ||
        !b.U16(18, samplesPerBlock))
        return false;
    return samplesPerBlock == (f.blockAlign - 4 * f.channels) * 8 / (4 * f.channels) + 1;
}

bool GsmFits(const Format& f, const ByteSpan& b) {
    std::uint32_t samplesPerBlock = 0;
    return f.channels == 1 && f.blockAlign == 65 && f.extra >= 2 && b.U16(18, samplesPerBlock) &&
           samplesPerBlock == 320;
}

// The compression manager divides by a frame's bytes at the stated rate, which come to nothing
// below MPEG audio's lowest bit rate.
bool Mpeg3Fits(const Format& f, const ByteSpan& b) {
    std::uint32_t blockSize = 0, framesPerBlock = 0;
    return f.channels <= 2 && f.extra >= 12 && f.average >= kLowestMpegBytesPerSecond &&
           b.U16(24, blockSize) && b.U16(26, framesPerBlock) && blockSize >= 1 &&
           framesPerBlock >= 1;
}

bool ExtensibleFits(Format f, const ByteSpan& b) {
    std::uint32_t validBits = 0, subFormat = 0;
    if (f.extra < 22 || !b.U16(18, validBits) || !b.U32(24, subFormat) || validBits > f.bits)
        return false;
    // The sub-format GUID's first field is the plain tag; the rest is the fixed media suffix.
    static const std::uint8_t kSuffix[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                             0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    if (!b.Has(28, 12) || std::memcmp(b.data + 28, kSuffix, 12) != 0) return false;
    if (subFormat != kPcm && subFormat != kFloat) return false;
    return LinearFits(f, subFormat == kFloat);
}

bool TagFits(const Format& f, const ByteSpan& b, bool anyTag) {
    switch (f.tag) {
    case kPcm:
        return LinearFits(f, false);
    case kFloat:
        return LinearFits(f, true);
    case kALaw:
    case kMuLaw:
        return f.bits == 8 && f.blockAlign == f.channels;
    case kMsAdpcm:
        return MsAdpcmFits(f, b);
    case kImaAdpcm:
        return ImaAdpcmFits(f, b);
    case kGsm:
        return GsmFits(f, b);
    case kMpeg3:
        return Mpeg3Fits(f, b);
    case kExtensible:
        return ExtensibleFits(f, b);
    default:
        return anyTag;
    }
}

// The chunk at `at` (its id and size); false when its header is cut short.
bool ChunkAt(const ByteSpan& b, std::uint64_t at, std::uint32_t& size) {
    return b.Has(at, 8) && b.U32(at + 4, size);
}

} // namespace

bool CheckWaveFormat(const ByteSpan& b, bool anyTag) {
    Format f;
    if (!b.U16(0, f.tag) || !b.U16(2, f.channels) || !b.U32(4, f.rate) || !b.U32(8, f.average) ||
        !b.U16(12, f.blockAlign) || !b.U16(14, f.bits))
        return false;
    if (f.tag != kPcm && (!b.U16(16, f.extra) || f.extra > b.size - 18)) return false;
    if (f.channels < 1 || f.channels > kMaxChannels || f.rate < 1 || f.rate > kMaxRate ||
        f.blockAlign < 1)
        return false;
    // Every block holds at least one sample frame, so no stream needs more bytes a second.
    if (!Linear(f.tag) &&
        (f.average < 1 || f.average > static_cast<std::uint64_t>(f.rate) * f.blockAlign))
        return false;
    return TagFits(f, b, anyTag);
}

bool CheckWaveFile(const ByteSpan& b, std::uint64_t fileSize) {
    std::uint32_t riffSize = 0;
    if (!b.Tag(0, "RIFF") || !b.U32(4, riffSize) || !b.Tag(8, "WAVE")) return false;
    const std::uint64_t end =
        std::min<std::uint64_t>(8 + static_cast<std::uint64_t>(riffSize), fileSize);
    bool sawFormat = false;
    for (std::uint64_t at = 12; at + 8 <= end;) {
        std::uint32_t size = 0;
        if (!ChunkAt(b, at, size)) return false;
        if (b.Tag(at, "data")) return sawFormat; // the data may be cut short; its start is enough
        if (b.Tag(at, "fmt ")) {
            ByteSpan format;
            if (sawFormat || !b.Sub(at + 8, size, format) || !CheckWaveFormat(format)) return false;
            sawFormat = true;
        }
        at += 8 + static_cast<std::uint64_t>(size) + (size & 1);
    }
    return false;
}
