// Memory blocks: the module entries, the block table and the commands that make, query and free
// blocks, with the entries handed to the file and multiplayer modules.
#include "core/win32.h"

#include "memblock/memblock.h"
#include "memblock/memblock_state.h"
#include "bitmap/bitmap.h"
#include "core/core.h"
#include "image/image.h"
#include "object3d/object3d.h"
#include "sound/sound.h"

MemblockState g_Memblocks;

namespace {

MemblockState& s = g_Memblocks;

// True when block is a valid number without a block; otherwise 5101 or 5102.
bool NumberIsFree(std::int32_t block) {
    if (!ValidBlockNumber(block)) {
        RaiseRuntimeError(kMemblockNumberIllegal);
        return false;
    }
    if (s.blocks[block]) {
        RaiseRuntimeError(kMemblockExists);
        return false;
    }
    return true;
}

} // namespace

bool ValidBlockNumber(std::int32_t block) {
    return block >= 1 && block <= kLastBlock;
}

std::uint8_t* CheckedBlock(std::int32_t block, std::int32_t last) {
    if (block < 1 || block > last) {
        RaiseRuntimeError(kMemblockNumberIllegal);
        return nullptr;
    }
    if (!s.blocks[block]) RaiseRuntimeError(kMemblockMissing);
    return s.blocks[block];
}

void ReleaseBlock(std::int32_t block) {
    if (s.blocks[block]) GlobalFree(s.blocks[block]);
    s.blocks[block] = nullptr;
    s.sizes[block] = 0;
    s.allocated[block] = 0;
}

std::uint8_t* ReplaceBlock(std::int32_t block, std::uint64_t size) {
    // The new block is had before the old one goes, so that a refusal keeps what was there.
    auto* data = size <= kLargestBlock ? static_cast<std::uint8_t*>(GlobalAlloc(
                                             GMEM_FIXED | GMEM_ZEROINIT, static_cast<SIZE_T>(size)))
                                       : nullptr;
    if (!data) {
        RaiseRuntimeError(kMemblockNoMemory);
        return nullptr;
    }
    ReleaseBlock(block);
    s.blocks[block] = data;
    s.sizes[block] = s.allocated[block] = static_cast<std::int32_t>(size);
    return data;
}

void MemblocksConstructor(HINSTANCE) {
    // A restart forgets the converters too: they come with PassCoreData.
    for (std::int32_t i = 0; i < kBlockSlots; ++i) {
        s.blocks[i] = nullptr;
        s.sizes[i] = s.allocated[i] = 0;
    }
    s.converters = MemblockConverters{};
}

void MemblocksDestructor() {
    for (std::int32_t i = 0; i < kBlockSlots; ++i)
        ReleaseBlock(i);
}

void MemblocksSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}

void MemblocksPassCoreData(CoreData* core) {
    s.core = core;
    MemblockConverters& c = s.converters;
    c.bitmapToBlock = MakeMemblockFromBitmap;
    c.blockToBitmap = MakeBitmapFromMemblock;
    c.imageToBlock = MakeMemblockFromImage;
    c.blockToImage = MakeImageFromMemblock;
    c.soundToBlock = MakeMemblockFromSound;
    c.blockToSound = MakeSoundFromData; // the form that says whether a sound was made
    c.meshToBlock = MakeMemblockFromMesh;
    c.blockToMesh = MakeMeshFromMemblock;
}

void MemblocksRefreshD3D(std::int32_t) {}

std::uint8_t* MakeMemblock(std::int32_t block, std::int32_t size) {
    if (!NumberIsFree(block)) return nullptr;
    if (size < 1) {
        RaiseRuntimeError(kMemblockSizeBelowOne);
        return nullptr;
    }
    return ReplaceBlock(block, static_cast<std::uint64_t>(size));
}

void DeleteMemblock(std::int32_t block) {
    if (CheckedBlock(block)) ReleaseBlock(block);
}

std::int32_t MemblockExist(std::int32_t block) {
    if (!ValidBlockNumber(block)) {
        RaiseRuntimeError(kMemblockNumberIllegal);
        return 0;
    }
    return s.blocks[block] ? 1 : 0;
}

std::uint8_t* GetMemblockPtr(std::int32_t block) {
    return CheckedBlock(block);
}

std::int32_t GetMemblockSize(std::int32_t block) {
    return CheckedBlock(block) ? s.sizes[block] : 0;
}

std::uint8_t* MakeMemblockForModule(std::int32_t block, std::int32_t size) {
    // MakeMemblock's errors, but a refused size keeps the block that was there.
    if (!ValidBlockNumber(block) || size < 1) {
        RaiseRuntimeError(ValidBlockNumber(block) ? kMemblockSizeBelowOne : kMemblockNumberIllegal);
        return nullptr;
    }
    return ReplaceBlock(block, static_cast<std::uint64_t>(size));
}

std::int32_t GetMemblockSizeForModule(std::int32_t block) {
    return ValidBlockNumber(block) && s.blocks[block] ? s.sizes[block] : 0;
}

std::uint8_t* GetMemblockPtrForModule(std::int32_t block) {
    return ValidBlockNumber(block) ? s.blocks[block] : nullptr;
}

void DeleteMemblockForModule(std::int32_t block) {
    if (ValidBlockNumber(block)) ReleaseBlock(block);
}

std::int32_t SetMemblockSizeForModule(std::int32_t block, std::int32_t size) {
    if (ValidBlockNumber(block) && s.blocks[block] && size >= 0 && size <= s.allocated[block]) {
        s.sizes[block] = size;
    }
    return block;
}

std::uint8_t* MakeMemblockExport(std::int32_t block, std::int32_t size) {
    return MakeMemblock(block, size);
}
void DeleteMemblockExport(std::int32_t block) {
    DeleteMemblock(block);
}
std::int32_t MemblockExistExport(std::int32_t block) {
    return MemblockExist(block);
}
std::uint8_t* GetMemblockPtrExport(std::int32_t block) {
    return GetMemblockPtr(block);
}
std::int32_t GetMemblockSizeExport(std::int32_t block) {
    return GetMemblockSize(block);
}
std::int32_t CreateMemblockFromBitmapExport(std::int32_t block, std::int32_t bitmap) {
    return CreateMemblockFromBitmap(block, bitmap);
}
std::int32_t CreateBitmapFromMemblockExport(std::int32_t bitmap, std::int32_t block) {
    return CreateBitmapFromMemblock(bitmap, block);
}
std::int32_t CreateMemblockFromMeshExport(std::int32_t block, std::int32_t mesh) {
    return CreateMemblockFromMesh(block, mesh);
}
std::int32_t CreateMeshFromMemblockExport(std::int32_t mesh, std::int32_t block) {
    return CreateMeshFromMemblock(mesh, block);
}
std::int32_t CreateMemblockFromSoundExport(std::int32_t block, std::int32_t sound) {
    return CreateMemblockFromSound(block, sound);
}
std::int32_t CreateSoundFromMemblockExport(std::int32_t sound, std::int32_t block) {
    return CreateSoundFromMemblock(sound, block);
}
std::int32_t CreateMemblockFromImageExport(std::int32_t block, std::int32_t image) {
    return CreateMemblockFromImage(block, image);
}
std::int32_t CreateImageFromMemblockExport(std::int32_t image, std::int32_t block) {
    return CreateImageFromMemblock(image, block);
}
