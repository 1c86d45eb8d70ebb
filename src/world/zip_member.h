// Zip member decompressor: one member, read into memory with its local header, to its bytes.
// Methods 0 stored, 1 shrunk, 2-5 reduced, 6 imploded and 8 deflated; any other method, and
// encrypted members, give nothing.
#pragma once

#include "world/zip_records.h"

#include <cstddef>
#include <cstdint>
#include <vector>

enum ZipMethod : std::uint16_t {
    kZipStored = 0,
    kZipShrunk = 1,
    kZipReduced1 = 2, // to kZipReduced4 = 5: compression factors 1 to 4
    kZipReduced4 = 5,
    kZipImploded = 6,
    kZipDeflated = 8,
};

// General purpose flags read here.
constexpr std::uint16_t kZipEncrypted = 1u << 0;
constexpr std::uint16_t kZipImplode8K = 1u << 1;
constexpr std::uint16_t kZipImplodeLiteralTree = 1u << 2;

// Size of the local file header before its name and extra field.
constexpr std::size_t kZipLocalHeaderSize = 30;

// The largest member extracted: the whole member lives in memory.
constexpr std::uint32_t kZipLargestMember = 256u << 20;

// Decodes in[0, inSize), compressed by method (with the member's flags), to out[0, size): true
// when exactly size bytes came out. Never reads or writes outside the two spans; out may be
// partly written when it fails.
bool DecompressZipMember(std::uint16_t method, std::uint16_t flags, const std::uint8_t* in,
                         std::size_t inSize, std::uint8_t* out, std::size_t size);

// member[0, memberSize) starts with the local header; the sizes and CRC-32 are the central
// directory's (a member written with a data descriptor has none in its local header). On success
// out holds the entry's uncompressed bytes and one more, zero, so that text members end in a
// terminator; the CRC-32 has been checked. False, with out empty, for an encrypted member, an
// unknown method, or a member that is damaged or larger than the limit.
bool ExtractZipMember(const std::uint8_t* member, std::size_t memberSize, const ZipDirEntry& entry,
                      std::vector<std::uint8_t>& out);
