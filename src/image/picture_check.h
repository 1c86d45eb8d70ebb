// Header checks of picture files before the platform's decoders see them: the decoders trust
// sizes, mip counts and lengths that a damaged file gets wrong (a huge DDS mip count keeps them
// busy for minutes). Each check takes the bytes of the file as far as they are mapped and the
// file's whole size; true when every field it reads is possible and the file holds what the header
// claims.
#pragma once

#include "core/byte_span.h"
#include "image/jpeg_walk.h"

#include <cstdint>

// The largest picture side any loader accepts: the device's texture limit.
constexpr std::uint32_t kLargestPictureSide = 16384;

bool CheckDdsHeader(const ByteSpan& bytes, std::uint64_t fileSize);
bool CheckPngHeader(const ByteSpan& bytes, std::uint64_t fileSize);
bool CheckJpegHeader(const ByteSpan& bytes, std::uint64_t fileSize);
// A Motion-JPEG frame of size bytes, walked as the media graph's decoder reads it: fill bytes,
// markers without a length, any number of segments skipped by their lengths, one possible frame
// header before the first scan. False when none is found, or when that decoder would never decode
// the frame; its size and the passes of its scans otherwise.
bool CheckMotionJpegFrame(const ByteSpan& bytes, std::uint64_t size, JpegLayout& layout);
bool CheckBmpHeader(const ByteSpan& bytes, std::uint64_t fileSize);
// A DIB: a bitmap's info header, tables and pixels without the file header before them.
bool CheckDibHeader(const ByteSpan& bytes, std::uint64_t fileSize);
bool CheckTgaHeader(const ByteSpan& bytes, std::uint64_t fileSize);

// A memory block's pixel header: width x height pixels of depth bits (8, 16, 24 or 32), positive,
// in no more than size bytes; computed in 64 bits, so no claim wraps.
bool MemblockPixelsFit(std::int32_t width, std::int32_t height, std::int32_t depth,
                       std::uint64_t size);

// Chooses the check by the magic bytes (a TGA or DIB, which have none, by the name's ending); a
// file of no format known here is refused.
bool CheckPictureBytes(const char* fileName, const ByteSpan& bytes, std::uint64_t fileSize);
// Maps the file and checks it; false when it cannot be read.
bool CheckPictureFile(const char* fileName);

// A JPEG's scans pass over each block of the picture; the first pass decodes its pixels, which
// are charged as pixels, and each later pass (a progressive file's, a few bytes may cover every
// block) is charged this much: a byte for each of the block's 64 coefficients a pass may decode.
// A pass over a block costs the platform's decoder 17-38 ns here; 64 bytes keep the passes the
// largest budget allows (192 MB: some three million) near a tenth of a second a decode, so that a
// load that decodes a picture two or three times stays well within its time, while the real
// files' scans (at most 61,440 later passes, a 512-square progressive JPEG) charge under 4 MB.
constexpr std::uint64_t kBlockPassBytes = 64;

// How a load keeps the picture it decodes.
struct PictureUse {
    std::uint32_t surfaces = 1;   // surfaces or textures made of it
    bool chain = false;           // each with a mip chain (a DDS brings its own)
    bool decodedSurfaces = false; // of decoded pixels, four bytes each, a DDS's too (a bitmap)
    bool cube = false;            // instead: a cube of six faces as wide as it, with mip chains
};

// What a load of the picture makes before the platform decodes it: its pixels decoded at four
// bytes each (a DDS: its levels as stored), the surfaces the use makes of them, and the passes
// of a JPEG's later scans over its blocks. 0 when the header cannot be read; computed for files
// that passed the checks above.
std::uint64_t PictureLoadBytes(const char* fileName, const ByteSpan& bytes, std::uint64_t fileSize,
                               const PictureUse& use);
// The same for `surfaces` surfaces or textures, each with a mip chain when chain.
std::uint64_t PictureLoadBytes(const char* fileName, const ByteSpan& bytes, std::uint64_t fileSize,
                               std::uint32_t surfaces, bool chain);
