// The block layouts that make a block the exchange format between modules: a header of 32-bit
// little-endian words, then the media's bytes. Blocks also arrive from files and the network, so
// the readers trust no header word: every claim is checked in 64 bits against the block's size
// before a byte behind the header is handed on.
#pragma once

#include "core/win32.h"

#include "core/byte_span.h"

#include <cstdint>

constexpr std::uint32_t kPictureHeaderBytes = 12; // width, height, depth
constexpr std::uint32_t kSoundHeaderBytes = 28;   // the seven WAVEFORMATEX fields, widened
constexpr std::uint32_t kMeshHeaderBytes = 12;    // vertex format, bytes per vertex, vertex count

// Bitmaps and images: height rows of width x depth / 8 bytes, top row first, no padding.
struct PictureBlock {
    std::int32_t width = 0, height = 0, depth = 0;
    const std::uint8_t* pixels = nullptr;
    std::uint32_t pixelBytes = 0; // exactly the rows the header claims
};
// True when depth is 16, 24 or 32, both sides are positive int32 values and the rows fit.
bool ReadPictureBlock(const ByteSpan& block, PictureBlock& out);
void WritePictureHeader(std::uint8_t* block, std::uint32_t width, std::uint32_t height,
                        std::uint32_t depth);

struct SoundBlock {
    WAVEFORMATEX format{}; // each field taken in its own width
    const std::uint8_t* samples = nullptr;
    std::uint32_t sampleBytes = 0; // everything behind the header
};
// True for a block that holds the whole header. The format itself is the sound module's to judge.
bool ReadSoundBlock(const ByteSpan& block, SoundBlock& out);
void WriteSoundHeader(std::uint8_t* block, const WAVEFORMATEX& format);

// An unindexed triangle list of count vertices in the format.
struct MeshBlock {
    std::uint32_t fvf = 0, stride = 0;
    std::int32_t count = 0;
    const std::uint8_t* vertices = nullptr;
    std::uint32_t vertexBytes = 0; // exactly count x stride
};
// True when the stride is the format's own vertex size (not 0), the count an int32 value and the
// vertices fit.
bool ReadMeshBlock(const ByteSpan& block, MeshBlock& out);
void WriteMeshHeader(std::uint8_t* block, std::uint32_t fvf, std::uint32_t stride,
                     std::uint32_t count);
