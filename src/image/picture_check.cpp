#include "core/win32.h"

#include "image/picture_check.h"
#include "core/mapped_file.h"
#include "image/jpeg_walk.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

constexpr std::uint32_t kDdsFourCcFlag = 0x4;
constexpr std::uint32_t kDdsPixelFlags = 0x40 | 0x2 | 0x20000 | 0x80000; // rgb, alpha, lum, bump
constexpr std::uint32_t kDdsCubeFlag = 0x200;
constexpr std::uint32_t kDdsAllFaces = 0xFC00;
constexpr std::uint32_t kDdsVolumeFlag = 0x200000;
constexpr std::uint32_t kDdsHeaderEnd = 128;
constexpr std::uint32_t kMaxMipLevels = 15; // log2(16384) + 1
// 8192 x 8192: a quarter of a 32-bit process's memory as 32-bit pixels.
constexpr std::uint64_t kLargestCompressedPixels = 1u << 26;

bool Side(std::uint32_t v) {
    return v >= 1 && v <= kLargestPictureSide;
}

// A compressed picture claims its size in a few bytes: the decoder would allocate the whole of it.
bool Area(std::uint32_t width, std::uint32_t height) {
    return Side(width) && Side(height) &&
           static_cast<std::uint64_t>(width) * height <= kLargestCompressedPixels;
}

std::uint32_t FourCc(const char* c) {
    return static_cast<std::uint8_t>(c[0]) | static_cast<std::uint8_t>(c[1]) << 8 |
           static_cast<std::uint8_t>(c[2]) << 16 | static_cast<std::uint32_t>(c[3]) << 24;
}

// How a DDS format stores a level: bytes per 4x4 block, or bits per pixel.
struct DdsLayout {
    std::uint32_t blockBytes = 0;
    std::uint32_t bitsPerPixel = 0;
};

bool DdsFourCcLayout(std::uint32_t code, DdsLayout& out) {
    if (code == FourCc("DXT1")) return out.blockBytes = 8, true;
    for (const char* c : {"DXT2", "DXT3", "DXT4", "DXT5"})
        if (code == FourCc(c)) return out.blockBytes = 16, true;
    for (const char* c : {"UYVY", "YUY2", "RGBG", "GRGB"})
        if (code == FourCc(c)) return out.bitsPerPixel = 16, true;
    // Formats stored by their number: 16-bit and 32-bit float and integer channels.
    struct Numbered {
        std::uint32_t code, bits;
    };
    for (Numbered n : {Numbered{36, 64},
                       {110, 64},
                       {111, 16},
                       {112, 32},
                       {113, 64},
                       {114, 32},
                       {115, 64},
                       {116, 128}})
        if (code == n.code) return out.bitsPerPixel = n.bits, true;
    return false;
}

std::uint64_t DdsLevelBytes(const DdsLayout& f, std::uint64_t w, std::uint64_t h) {
    if (f.blockBytes) return ((w + 3) / 4) * ((h + 3) / 4) * f.blockBytes;
    return (w * f.bitsPerPixel + 7) / 8 * h;
}

std::uint32_t MaxLevels(std::uint32_t side) {
    std::uint32_t levels = 1;
    while (side > 1 && levels < kMaxMipLevels) {
        side >>= 1;
        ++levels;
    }
    return levels;
}

bool DdsPixelLayout(const ByteSpan& b, DdsLayout& layout) {
    std::uint32_t pfSize = 0, pfFlags = 0, code = 0, bits = 0;
    if (!b.U32(76, pfSize) || !b.U32(80, pfFlags) || !b.U32(84, code) || !b.U32(88, bits) ||
        pfSize != 32)
        return false;
    if (pfFlags & kDdsFourCcFlag) return DdsFourCcLayout(code, layout);
    if (!(pfFlags & kDdsPixelFlags)) return false;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    layout.bitsPerPixel = bits;
    return true;
}

// Sums the bytes of every face, level and slice that the header claims.
std::uint64_t DdsClaimedBytes(const DdsLayout& f, std::uint32_t w, std::uint32_t h, std::uint32_t d,
                              std::uint32_t levels, std::uint32_t faces) {
    std::uint64_t total = 0;
    for (std::uint32_t level = 0; level < levels; ++level) {
        total += DdsLevelBytes(f, w, h) * d;
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
        d = d > 1 ? d / 2 : 1;
    }
    return total * faces;
}

// What a DDS header claims: the bytes of every face, level and slice, and the top level's size.
struct DdsClaimed {
    std::uint64_t bytes = 0;
    std::uint32_t width = 0, height = 0, faces = 1;
};

// False when a field of the header is impossible.
bool DdsClaim(const ByteSpan& b, DdsClaimed& out) {
    std::uint32_t size = 0, height = 0, width = 0, depth = 0, mips = 0, caps2 = 0;
    if (!b.Tag(0, "DDS ") || !b.U32(4, size) || !b.U32(12, height) || !b.U32(16, width) ||
        !b.U32(24, depth) || !b.U32(28, mips) || !b.U32(112, caps2) || size != 124 ||
        !Side(width) || !Side(height))
        return false;
    DdsLayout layout;
    if (!DdsPixelLayout(b, layout)) return false;
    const bool cube = caps2 & kDdsCubeFlag, volume = caps2 & kDdsVolumeFlag;
    if (cube && (volume || width != height || (caps2 & kDdsAllFaces) != kDdsAllFaces)) return false;
    if (!volume) depth = 1;
    if (!Side(depth)) return false;
    // The platform reads the mip count whether or not the flag says it is there.
    const std::uint32_t levels = mips ? mips : 1;
    std::uint32_t largest = width > height ? width : height;
    if (depth > largest) largest = depth;
    if (levels > MaxLevels(largest)) return false;
    out.faces = cube ? 6 : 1;
    out.bytes = DdsClaimedBytes(layout, width, height, depth, levels, out.faces);
    out.width = width;
    out.height = height;
    return true;
}

// Chunk walk shared by the PNG check: every chunk inside the file, IDAT present.
bool PngChunksFit(const ByteSpan& b, std::uint64_t fileSize, std::uint32_t colourType) {
    bool sawData = false, sawPalette = false;
    std::uint64_t at = 8;
    while (at < fileSize) {
        std::uint32_t length = 0;
        if (!b.Has(at, 8)) return sawData || b.size < fileSize; // a mapped prefix ends here
        b.U32BE(at, length);
        if (length > 0x7FFFFFFFu || at + 12 + length > fileSize) return false;
        if (b.Tag(at + 4, "IDAT")) {
            if (colourType == 3 && !sawPalette) return false;
            sawData = true;
        } else if (b.Tag(at + 4, "PLTE")) {
            if (length == 0 || length % 3 != 0 || length > 768) return false;
            sawPalette = true;
        } else if (b.Tag(at + 4, "IEND")) {
            break;
        }
        at += 12 + static_cast<std::uint64_t>(length);
    }
    return sawData;
}

bool PngDepthFits(std::uint32_t colourType, std::uint32_t depth) {
    switch (colourType) {
    case 0:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6:
        return depth == 8 || depth == 16;
    default:
        return false;
    }
}

bool BmpCompressionFits(std::uint32_t compression, std::uint32_t bits, std::int64_t height) {
    switch (compression) {
    case 0:
        return true;
    case 1:
        return bits == 8 && height > 0;
    case 2:
        return bits == 4 && height > 0;
    case 3:
        return bits == 16 || bits == 32;
    default:
        return false; // embedded JPEG or PNG and other forms are not read here
    }
}

struct BmpInfo {
    std::uint32_t headerSize = 0, width = 0, bits = 0, planes = 0, compression = 0, colours = 0;
    std::int64_t height = 0;
};

// The info header that starts at base: after the file header in a BMP, first in a DIB.
bool ReadBmpInfo(const ByteSpan& b, std::uint64_t base, BmpInfo& i) {
    if (!b.U32(base, i.headerSize)) return false;
    if (i.headerSize == 12) {
        std::uint32_t h = 0;
        if (!b.U16(base + 4, i.width) || !b.U16(base + 6, h) || !b.U16(base + 8, i.planes) ||
            !b.U16(base + 10, i.bits))
            return false;
        i.height = h;
        return true;
    }
    const std::uint32_t known[] = {40, 52, 56, 64, 108, 124};
    if (std::find(std::begin(known), std::end(known), i.headerSize) == std::end(known))
        return false;
    std::uint32_t h = 0;
    if (!b.U32(base + 4, i.width) || !b.U32(base + 8, h) || !b.U16(base + 12, i.planes) ||
        !b.U16(base + 14, i.bits) || !b.U32(base + 16, i.compression) ||
        !b.U32(base + 32, i.colours))
        return false;
    i.height = static_cast<std::int32_t>(h);
    return true;
}

// The info header at base, its tables, and the pixels from offset (0: right after the tables).
bool BmpFits(const ByteSpan& b, std::uint64_t base, std::uint64_t offset, std::uint64_t fileSize) {
    BmpInfo i;
    if (!ReadBmpInfo(b, base, i)) return false;
    const std::int64_t height = i.height < 0 ? -i.height : i.height;
    const bool knownBits =
        i.bits == 1 || i.bits == 4 || i.bits == 8 || i.bits == 16 || i.bits == 24 || i.bits == 32;
    if (!Side(i.width) || height < 1 || height > kLargestPictureSide || i.planes != 1 ||
        !knownBits || !BmpCompressionFits(i.compression, i.bits, i.height))
        return false;
    if (i.bits <= 8 ? i.colours > (1u << i.bits) : i.colours > 256) return false;
    const std::uint64_t paletteEntries = i.bits <= 8 ? (i.colours ? i.colours : 1u << i.bits) : 0;
    const std::uint64_t masks = i.compression == 3 && i.headerSize == 40 ? 12 : 0;
    const std::uint64_t tables =
        base + i.headerSize + masks + paletteEntries * (i.headerSize == 12 ? 3 : 4);
    if (offset == 0) offset = tables;
    if (tables > fileSize || offset < base + i.headerSize || offset >= fileSize) return false;
    if (i.compression == 1 || i.compression == 2) return true; // run lengths stop at the end
    const std::uint64_t stride = (static_cast<std::uint64_t>(i.width) * i.bits + 31) / 32 * 4;
    return stride * static_cast<std::uint64_t>(height) <= fileSize - offset;
}

bool EndsWith(const char* name, const char* ending) {
    const std::size_t n = name ? std::strlen(name) : 0, e = std::strlen(ending);
    return n >= e && lstrcmpiA(name + n - e, ending) == 0;
}

bool BmpSize(const ByteSpan& b, std::uint64_t base, std::uint64_t& width, std::uint64_t& height) {
    BmpInfo i;
    if (!ReadBmpInfo(b, base, i)) return false;
    width = i.width;
    height = static_cast<std::uint64_t>(std::llabs(i.height)); // rows top-down or bottom-up
    return true;
}

// What a picture's header claims (not a DDS's): its size, and for a JPEG the blocks its scans
// pass over again.
struct Claim {
    std::uint64_t width = 0, height = 0, repeatedBlocks = 0;
};

bool JpegClaim(const ByteSpan& b, std::uint64_t fileSize, Claim& out) {
    JpegLayout layout;
    if (!WalkJpeg(b, fileSize, layout)) return false;
    out = Claim{layout.width, layout.height, layout.repeatedBlocks};
    return true;
}

// False when the header cannot be read.
bool ClaimOf(const char* fileName, const ByteSpan& b, std::uint64_t fileSize, Claim& out) {
    std::uint32_t width = 0, height = 0;
    if (b.Tag(0, "\x89PNG")) {
        if (!b.U32BE(16, width) || !b.U32BE(20, height)) return false;
    } else if (b.Tag(0, "\xFF\xD8")) {
        return JpegClaim(b, fileSize, out);
    } else if (b.Tag(0, "BM")) {
        return BmpSize(b, 14, out.width, out.height);
    } else if (EndsWith(fileName, ".dib")) {
        return BmpSize(b, 0, out.width, out.height);
    } else if (EndsWith(fileName, ".tga") || CheckTgaHeader(b, fileSize)) {
        // A TGA has no magic: bytes of no other format that pass its check are read as one.
        if (!b.U16(12, width) || !b.U16(14, height)) return false;
    } else {
        return false;
    }
    out.width = width;
    out.height = height;
    return true;
}

// A full mip chain adds a third of the top level.
std::uint64_t WithChain(std::uint64_t top) {
    return top + top / 3;
}

// The platform decodes a DDS's levels as stored; the surfaces keep that form, unless they are of
// decoded pixels, four bytes each, made from the top level after it is decoded once more.
std::uint64_t DdsLoadBytes(const DdsClaimed& dds, const PictureUse& use) {
    const std::uint64_t decoded = std::uint64_t{dds.width} * dds.height * 4;
    if (use.decodedSurfaces) return dds.bytes + decoded * (1 + use.surfaces);
    // A cube made of a picture has six faces, each the stored picture's face (a DDS brings its
    // own levels).
    if (use.cube) return dds.bytes + 6 * (dds.bytes / dds.faces);
    return dds.bytes * (1 + use.surfaces);
}

bool TgaTypeFits(std::uint32_t type, std::uint32_t mapType, std::uint32_t depth) {
    switch (type) {
    case 1:
    case 9:
        return mapType == 1 && (depth == 8 || depth == 16);
    case 2:
    case 10:
        return depth == 15 || depth == 16 || depth == 24 || depth == 32;
    case 3:
    case 11:
        return depth == 8 || depth == 16;
    default:
        return false;
    }
}

} // namespace

bool CheckDdsHeader(const ByteSpan& b, std::uint64_t fileSize) {
    DdsClaimed claimed;
    return DdsClaim(b, claimed) && fileSize >= kDdsHeaderEnd &&
           claimed.bytes <= fileSize - kDdsHeaderEnd;
}

bool CheckPngHeader(const ByteSpan& b, std::uint64_t fileSize) {
    static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::uint32_t length = 0, width = 0, height = 0, depth = 0, colour = 0, compression = 0,
                  filter = 0, interlace = 0;
    if (!b.Has(0, 8) || std::memcmp(b.data, kSignature, 8) != 0 || !b.U32BE(8, length) ||
        length != 13 || !b.Tag(12, "IHDR") || !b.U32BE(16, width) || !b.U32BE(20, height) ||
        !b.U8(24, depth) || !b.U8(25, colour) || !b.U8(26, compression) || !b.U8(27, filter) ||
        !b.U8(28, interlace))
        return false;
    if (!Area(width, height) || !PngDepthFits(colour, depth) || compression != 0 || filter != 0 ||
        interlace > 1)
        return false;
    return PngChunksFit(b, fileSize, colour);
}

bool CheckJpegHeader(const ByteSpan& b, std::uint64_t fileSize) {
    JpegLayout layout;
    return WalkJpeg(b, fileSize, layout) && Area(layout.width, layout.height);
}

bool CheckMotionJpegFrame(const ByteSpan& b, std::uint64_t size, JpegLayout& layout) {
    return WalkJpeg(b, size, layout, JpegDecoder::kMotionJpeg) && Area(layout.width, layout.height);
}

bool CheckBmpHeader(const ByteSpan& b, std::uint64_t fileSize) {
    std::uint32_t offset = 0;
    return b.Tag(0, "BM") && b.U32(10, offset) && offset > 0 && BmpFits(b, 14, offset, fileSize);
}

bool CheckDibHeader(const ByteSpan& b, std::uint64_t fileSize) {
    return BmpFits(b, 0, 0, fileSize);
}

bool CheckTgaHeader(const ByteSpan& b, std::uint64_t fileSize) {
    std::uint32_t idLength = 0, mapType = 0, type = 0, mapLength = 0, entryBits = 0, width = 0,
                  height = 0, depth = 0, descriptor = 0;
    if (!b.U8(0, idLength) || !b.U8(1, mapType) || !b.U8(2, type) || !b.U16(5, mapLength) ||
        !b.U8(7, entryBits) || !b.U16(12, width) || !b.U16(14, height) || !b.U8(16, depth) ||
        !b.U8(17, descriptor))
        return false;
    if (mapType > 1 || !TgaTypeFits(type, mapType, depth) || !Side(width) || !Side(height) ||
        (descriptor & 0xC0) != 0)
        return false;
    if (mapType == 1 && (mapLength < 1 || (entryBits != 15 && entryBits != 16 && entryBits != 24 &&
                                           entryBits != 32)))
        return false;
    const std::uint64_t mapBytes =
        mapType ? static_cast<std::uint64_t>(mapLength) * ((entryBits + 7) / 8) : 0;
    const std::uint64_t start = 18 + idLength + mapBytes;
    if (start >= fileSize) return false;
    if (type >= 9) return true; // run lengths stop at the end of the file
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * height * ((depth + 7) / 8);
    return pixels <= fileSize - start;
}

bool MemblockPixelsFit(std::int32_t width, std::int32_t height, std::int32_t depth,
                       std::uint64_t size) {
    if (width < 1 || height < 1 || (depth != 8 && depth != 16 && depth != 24 && depth != 32))
        return false;
    const std::uint64_t rowBytes = static_cast<std::uint64_t>(width) * (depth / 8);
    return rowBytes * static_cast<std::uint64_t>(height) <= size;
}

bool CheckPictureBytes(const char* fileName, const ByteSpan& b, std::uint64_t fileSize) {
    if (b.size > fileSize) return false;
    if (b.Tag(0, "DDS ")) return CheckDdsHeader(b, fileSize);
    if (b.Tag(0, "\x89PNG")) return CheckPngHeader(b, fileSize);
    if (b.Tag(0, "\xFF\xD8")) return CheckJpegHeader(b, fileSize);
    if (b.Tag(0, "BM")) return CheckBmpHeader(b, fileSize);
    if (EndsWith(fileName, ".tga")) return CheckTgaHeader(b, fileSize);
    if (EndsWith(fileName, ".dib")) return CheckDibHeader(b, fileSize);
    return false;
}

bool CheckPictureFile(const char* fileName) {
    const MappedFile file(fileName);
    return file.Ok() && CheckPictureBytes(fileName, file.Bytes(), file.FileSize());
}

std::uint64_t PictureLoadBytes(const char* fileName, const ByteSpan& b, std::uint64_t fileSize,
                               const PictureUse& use) {
    if (b.Tag(0, "DDS ")) {
        DdsClaimed dds;
        return DdsClaim(b, dds) ? DdsLoadBytes(dds, use) : 0;
    }
    Claim claim;
    if (!ClaimOf(fileName, b, fileSize, claim)) return 0;
    const std::uint64_t decoded = claim.width * claim.height * 4;
    // A cube's faces are squares as wide as the picture.
    const std::uint64_t made = use.cube ? 6 * WithChain(claim.width * claim.width * 4)
                                        : use.surfaces * (use.chain ? WithChain(decoded) : decoded);
    return decoded + made + claim.repeatedBlocks * kBlockPassBytes;
}

std::uint64_t PictureLoadBytes(const char* fileName, const ByteSpan& b, std::uint64_t fileSize,
                               std::uint32_t surfaces, bool chain) {
    PictureUse use;
    use.surfaces = surfaces;
    use.chain = chain;
    return PictureLoadBytes(fileName, b, fileSize, use);
}
