// Block layouts: header readers that check every claim against the block, and header writers.
#include "core/win32.h"

#include "memblock/memblock_layout.h"

#include <cstring>

namespace {

constexpr std::uint64_t kLargestInt = 0x7FFFFFFF;

void PutWord(std::uint8_t* at, std::uint32_t value) {
    std::memcpy(at, &value, sizeof value);
}

// The bytes behind the header: they hold need bytes, and need fits a 32-bit size.
bool BodyHolds(const ByteSpan& block, std::uint32_t header, std::uint64_t need) {
    return need <= kLargestInt && block.Has(header, need);
}

} // namespace

bool ReadPictureBlock(const ByteSpan& block, PictureBlock& out) {
    std::uint32_t width = 0, height = 0, depth = 0;
    if (!block.U32(0, width) || !block.U32(4, height) || !block.U32(8, depth)) return false;
    if (depth != 16 && depth != 24 && depth != 32) return false;
    if (width == 0 || height == 0 || width > kLargestInt || height > kLargestInt) return false;
    // Both sides below 2^31 and at most 4 bytes a pixel: the product stays below 2^64.
    const std::uint64_t need = std::uint64_t{width} * height * (depth / 8);
    if (!BodyHolds(block, kPictureHeaderBytes, need)) return false;
    out.width = static_cast<std::int32_t>(width);
    out.height = static_cast<std::int32_t>(height);
    out.depth = static_cast<std::int32_t>(depth);
    out.pixels = block.data + kPictureHeaderBytes;
    out.pixelBytes = static_cast<std::uint32_t>(need);
    return true;
}

void WritePictureHeader(std::uint8_t* block, std::uint32_t width, std::uint32_t height,
                        std::uint32_t depth) {
    PutWord(block, width);
    PutWord(block + 4, height);
    PutWord(block + 8, depth);
}

bool ReadSoundBlock(const ByteSpan& block, SoundBlock& out) {
    std::uint32_t w[7] = {};
    for (int i = 0; i < 7; ++i)
        if (!block.U32(4 * i, w[i])) return false;
    const std::uint64_t rest = block.size - kSoundHeaderBytes;
    if (rest > kLargestInt) return false;
    WAVEFORMATEX& f = out.format;
    f.wFormatTag = static_cast<WORD>(w[0]);
    f.nChannels = static_cast<WORD>(w[1]);
    f.nSamplesPerSec = w[2];
    f.nAvgBytesPerSec = w[3];
    f.nBlockAlign = static_cast<WORD>(w[4]);
    f.wBitsPerSample = static_cast<WORD>(w[5]);
    f.cbSize = static_cast<WORD>(w[6]);
    out.samples = block.data + kSoundHeaderBytes;
    out.sampleBytes = static_cast<std::uint32_t>(rest);
    return true;
}

void WriteSoundHeader(std::uint8_t* block, const WAVEFORMATEX& format) {
    const std::uint32_t words[7] = {
        format.wFormatTag,  format.nChannels,      format.nSamplesPerSec, format.nAvgBytesPerSec,
        format.nBlockAlign, format.wBitsPerSample, format.cbSize};
    for (int i = 0; i < 7; ++i)
        PutWord(block + 4 * i, words[i]);
}

bool ReadMeshBlock(const ByteSpan& block, MeshBlock& out) {
    std::uint32_t fvf = 0, stride = 0, count = 0;
    if (!block.U32(0, fvf) || !block.U32(4, stride) || !block.U32(8, count)) return false;
    if (stride == 0 || stride != D3DXGetFVFVertexSize(fvf) || count > kLargestInt) return false;
    const std::uint64_t need = std::uint64_t{count} * stride;
    if (!BodyHolds(block, kMeshHeaderBytes, need)) return false;
    out.fvf = fvf;
    out.stride = stride;
    out.count = static_cast<std::int32_t>(count);
    out.vertices = block.data + kMeshHeaderBytes;
    out.vertexBytes = static_cast<std::uint32_t>(need);
    return true;
}

void WriteMeshHeader(std::uint8_t* block, std::uint32_t fvf, std::uint32_t stride,
                     std::uint32_t count) {
    PutWord(block, fvf);
    PutWord(block + 4, stride);
    PutWord(block + 8, count);
}
