// Memory blocks: whole bitmaps, images, sounds and meshes into blocks and back, through the
// owners' converters. Each command checks its own numbers before it asks the owner.
#include "core/win32.h"

#include "memblock/memblock.h"
#include "memblock/memblock_layout.h"
#include "memblock/memblock_state.h"
#include "core/core.h"
#include "core/error_numbers.h"

#include <cstring>

namespace {

constexpr std::int32_t kLastMediaNumber = 21999999;
constexpr std::int32_t kLastImageNumber = 22000000;

// The image module reports this size for an image that exists but cannot be read.
constexpr std::uint32_t kUnreadableImageSize = 1;

const MemblockConverters& Converters() {
    return g_Memblocks.converters;
}

bool Raise(std::int32_t error) {
    RaiseRuntimeError(error);
    return false;
}

// The media number lies in first..last; otherwise the media's range error.
bool InRange(std::int32_t n, std::int32_t first, std::int32_t last, std::int32_t error) {
    return (n >= first && n <= last) || Raise(error);
}

bool BlockNumberOk(std::int32_t block) {
    return ValidBlockNumber(block) || Raise(kMemblockNumberIllegal);
}

// The block as the readers see it: its recorded size, never more. Empty after 5101 or 5103.
ByteSpan BlockSpan(std::int32_t block) {
    const std::uint8_t* data = CheckedBlock(block);
    if (!data) return {};
    return ByteSpan{data, static_cast<std::size_t>(g_Memblocks.sizes[block])};
}

// a x b x c in 64 bits; UINT64_MAX when even those overflow.
std::uint64_t Product(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
    std::uint64_t ab = 0, abc = 0;
    if (__builtin_mul_overflow(a, b, &ab) || __builtin_mul_overflow(ab, c, &abc)) return UINT64_MAX;
    return abc;
}

// Replaces the block with header bytes (left for the caller) followed by the owner's copy of size
// bytes, which must be the claimed bytes its header words multiply to: a block is never shorter
// than its header says. Null after 5104 (more than a block holds) or 5105 (a copy of another
// size), either raised before the old block goes.
std::uint8_t* StoreCopy(std::int32_t block, std::uint32_t header, const std::uint8_t* data,
                        std::uint64_t size, std::uint64_t claimed) {
    if (!data) size = 0;
    const bool holdable = claimed <= kLargestBlock - header && size <= kLargestBlock - header;
    if (!holdable || size != claimed) {
        RaiseRuntimeError(holdable ? kMemblockPositionIllegal : kMemblockNoMemory);
        return nullptr;
    }
    std::uint8_t* out = ReplaceBlock(block, header + size);
    if (out && size) std::memcpy(out + header, data, static_cast<std::size_t>(size));
    return out;
}

// The bytes of the rows a picture header claims.
std::uint64_t PictureBytes(std::uint32_t width, std::uint32_t height, std::uint32_t depth) {
    return Product(width, height, depth / 8);
}

// Runs an owner's converter that hands out a copy of its item: whether the owner raised an error of
// its own (its item missing, or no memory for the copy), which then stands. An error from before
// the call stays otherwise.
template <typename Give> bool GiveRaised(Give give) {
    RuntimeErrorRecord* cell = GetModuleErrorPointer();
    const std::int32_t before = cell ? cell->number : 0;
    if (cell) cell->number = 0;
    give();
    const bool raised = cell && cell->number != 0;
    if (cell && !raised) cell->number = before;
    return raised;
}

std::int32_t Done(bool made) {
    return made ? 1 : 0;
}

// Runs a provider that makes media from a block: one that refuses the block without an error of
// its own (a depth it cannot take, no memory) gives the media's load error, so a failed make is
// never quiet. An error the provider raised stands; one from before the call stays otherwise.
template <typename Make> std::int32_t MadeFromBlock(Make make, std::int32_t error) {
    RuntimeErrorRecord* cell = GetModuleErrorPointer();
    const std::int32_t before = cell ? cell->number : 0;
    if (cell) cell->number = 0;
    const bool made = make();
    const bool raised = cell && cell->number != 0;
    if (cell && !raised) cell->number = before;
    if (!made && !raised) RaiseRuntimeError(error);
    return Done(made);
}

} // namespace

std::int32_t CreateMemblockFromBitmap(std::int32_t block, std::int32_t bitmap) {
    if (!BlockNumberOk(block) || !InRange(bitmap, 0, kLastMediaNumber, kBitmapNumberIllegal))
        return 0;
    const auto convert = Converters().bitmapToBlock;
    std::uint8_t* data = nullptr;
    std::int32_t width = 0, height = 0, depth = 0, size = 0;
    const bool raised =
        convert && GiveRaised([&] { convert(1, bitmap, &data, &width, &height, &depth, &size); });
    // Bitmap 0, the screen, is always there: without its pixels the block holds the header only.
    if (!data && (raised || bitmap != 0)) return raised ? 0 : Raise(kBitmapMissing);
    std::uint8_t* out =
        StoreCopy(block, kPictureHeaderBytes, data, size > 0 ? static_cast<std::uint32_t>(size) : 0,
                  PictureBytes(width, height, depth));
    if (out) WritePictureHeader(out, width, height, depth);
    if (convert) convert(0, bitmap, &data, &width, &height, &depth, &size);
    return Done(out != nullptr);
}

std::int32_t CreateBitmapFromMemblock(std::int32_t bitmap, std::int32_t block) {
    if (!InRange(bitmap, 0, kLastMediaNumber, kBitmapNumberIllegal)) return 0;
    const ByteSpan bytes = BlockSpan(block);
    if (!bytes.data) return 0;
    const auto convert = Converters().blockToBitmap;
    if (!convert) return 1;
    PictureBlock p;
    if (!ReadPictureBlock(bytes, p)) return Raise(kMemblockPositionIllegal);
    return MadeFromBlock(
        [&] { return convert(bitmap, p.width, p.height, p.depth, p.pixels, p.pixelBytes); },
        kBitmapLoadFailed);
}

std::int32_t CreateMemblockFromImage(std::int32_t block, std::int32_t image) {
    if (!BlockNumberOk(block) || !InRange(image, 1, kLastImageNumber, kImageNumberIllegal))
        return 0;
    const auto convert = Converters().imageToBlock;
    std::uint8_t* data = nullptr;
    std::uint32_t width = 0, height = 0, depth = 0, size = 0;
    const bool raised =
        convert && GiveRaised([&] { convert(1, image, &width, &height, &depth, &data, &size); });
    if (!data && raised) return 0;
    if (!data) return Raise(size == kUnreadableImageSize ? kImageUnreadable : kImageMissing);
    std::uint8_t* out =
        StoreCopy(block, kPictureHeaderBytes, data, size, PictureBytes(width, height, depth));
    if (out) WritePictureHeader(out, width, height, depth);
    convert(0, image, &width, &height, &depth, &data, &size);
    return Done(out != nullptr);
}

std::int32_t CreateImageFromMemblock(std::int32_t image, std::int32_t block) {
    if (!InRange(image, 1, kLastImageNumber, kImageNumberIllegal)) return 0;
    const ByteSpan bytes = BlockSpan(block);
    if (!bytes.data) return 0;
    const auto convert = Converters().blockToImage;
    if (!convert) return 1;
    PictureBlock p;
    if (!ReadPictureBlock(bytes, p)) return Raise(kMemblockPositionIllegal);
    return MadeFromBlock(
        [&] { return convert(image, p.width, p.height, p.depth, p.pixels, p.pixelBytes); },
        kImageLoadFailed);
}

std::int32_t CreateMemblockFromSound(std::int32_t block, std::int32_t sound) {
    if (!BlockNumberOk(block) || !InRange(sound, 1, kLastMediaNumber, kSoundNumberIllegal))
        return 0;
    const auto convert = Converters().soundToBlock;
    std::uint8_t* data = nullptr;
    std::uint32_t bits = 0, samples = 0, seconds = 0, size = 0;
    WAVEFORMATEX format{};
    const auto give = [&] { convert(sound, &bits, &samples, &seconds, &data, &size, 1, &format); };
    const bool raised = convert && GiveRaised(give);
    if (!data) return raised ? 0 : Raise(kSoundMissing);
    std::uint8_t* out = StoreCopy(block, kSoundHeaderBytes, data, size, size); // no header claim
    if (out) WriteSoundHeader(out, format);
    convert(sound, nullptr, nullptr, nullptr, &data, nullptr, 0, nullptr);
    return Done(out != nullptr);
}

std::int32_t CreateSoundFromMemblock(std::int32_t sound, std::int32_t block) {
    if (!InRange(sound, 1, kLastMediaNumber, kSoundNumberIllegal)) return 0;
    const ByteSpan bytes = BlockSpan(block);
    if (!bytes.data) return 0;
    const auto convert = Converters().blockToSound;
    if (!convert) return 1;
    SoundBlock w;
    if (!ReadSoundBlock(bytes, w)) return Raise(kMemblockPositionIllegal);
    return MadeFromBlock([&] { return convert(sound, w.samples, w.sampleBytes, &w.format); },
                         kSoundNotLoadable);
}

std::int32_t CreateMemblockFromMesh(std::int32_t block, std::int32_t mesh) {
    if (!BlockNumberOk(block) || !InRange(mesh, 1, kLastMediaNumber, kMeshNumberIllegal)) return 0;
    const auto convert = Converters().meshToBlock;
    std::uint8_t* data = nullptr;
    std::uint32_t fvf = 0, stride = 0, size = 0;
    std::int32_t count = 0;
    const bool raised =
        convert && GiveRaised([&] { convert(mesh, &fvf, &stride, &count, &data, &size, 1); });
    if (!data) return raised ? 0 : Raise(kMeshMissing);
    std::uint8_t* out = StoreCopy(block, kMeshHeaderBytes, data, size,
                                  Product(static_cast<std::uint32_t>(count), stride, 1));
    if (out) WriteMeshHeader(out, fvf, stride, static_cast<std::uint32_t>(count));
    convert(mesh, &fvf, &stride, &count, &data, &size, 0);
    return Done(out != nullptr);
}

std::int32_t CreateMeshFromMemblock(std::int32_t mesh, std::int32_t block) {
    if (!InRange(mesh, 1, kLastMediaNumber, kMeshNumberIllegal)) return 0;
    const ByteSpan bytes = BlockSpan(block);
    if (!bytes.data) return 0;
    const auto convert = Converters().blockToMesh;
    if (!convert) return 1;
    MeshBlock m;
    if (!ReadMeshBlock(bytes, m)) return Raise(kMemblockPositionIllegal);
    return MadeFromBlock([&] { return convert(mesh, m.fvf, m.count, m.vertices, m.vertexBytes); },
                         kMeshMissing);
}
