#include "core/win32.h"

#include "world/zip_member.h"
#include "codecs/crc32.h"
#include "codecs/inflate.h"
#include "core/load_budget.h"
#include "world/zip_methods.h"

#include <cstring>
#include <new>

namespace {

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The most bytes each compressed byte can stand for: a stated size beyond it cannot be honest,
// and the output is not allocated for it. Deflate's bound is exact (a 258-byte copy in two
// bits); shrink's comes from its longest string (8,192 bytes in a 9-bit code); reduce and
// implode copy at most 385 bytes for 8 bits.
std::uint64_t MostPerByte(std::uint16_t method) {
    switch (method) {
    case kZipStored:
        return 1;
    case kZipShrunk:
        return 8192;
    case kZipDeflated:
        return 1032;
    default:
        return 512;
    }
}

bool Stored(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t size) {
    if (inSize != size) return false;
    if (size) std::memcpy(out, in, size);
    return true;
}

bool Inflated(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t size) {
    std::size_t produced = 0;
    return InflateRaw(in, inSize, out, size, 0, &produced, InflateBefore::Zeros) &&
           produced == size;
}

} // namespace

bool DecompressZipMember(std::uint16_t method, std::uint16_t flags, const std::uint8_t* in,
                         std::size_t inSize, std::uint8_t* out, std::size_t size) {
    if ((!in && inSize) || (!out && size)) return false;
    if (method == kZipStored) return Stored(in, inSize, out, size);
    if (method == kZipDeflated) return Inflated(in, inSize, out, size);
    ZipBits bits(in, inSize);
    ZipOutput output(out, size);
    bool ok = false;
    if (method == kZipShrunk)
        ok = Unshrink(bits, output);
    else if (method >= kZipReduced1 && method <= kZipReduced4)
        ok = Unreduce(bits, output, method - kZipReduced1 + 1);
    else if (method == kZipImploded)
        ok = Explode(bits, output, flags & kZipImplode8K, flags & kZipImplodeLiteralTree);
    return ok && output.Full();
}

bool ExtractZipMember(const std::uint8_t* member, std::size_t memberSize, const ZipDirEntry& entry,
                      std::vector<std::uint8_t>& out) {
    out.clear();
    if (!member || memberSize < kZipLocalHeaderSize) return false;
    const std::uint16_t flags = Le16(member + 6), method = Le16(member + 8);
    const std::size_t dataAt = kZipLocalHeaderSize + Le16(member + 26) + Le16(member + 28);
    const std::uint32_t size = entry.uncompressedSize;
    if (Le32(member) != 0x04034B50 || (flags & kZipEncrypted) || dataAt > memberSize ||
        entry.compressedSize > memberSize - dataAt || size > kZipLargestMember ||
        size > MostPerByte(method) * entry.compressedSize)
        return false;
    // The stated size against what the load has left, before the output is made; the decoders
    // never write past it, so a member that inflates further is refused.
    if (!ChargeLoad(std::uint64_t{size} + 1)) return false;
    try {
        out.assign(std::size_t{size} + 1, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!DecompressZipMember(method, flags, member + dataAt, entry.compressedSize, out.data(),
                             size) ||
        Crc32(out.data(), size) != entry.crc32) {
        out.clear();
        out.shrink_to_fit();
        return false;
    }
    return true;
}
