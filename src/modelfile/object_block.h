// The native object format: a whole object (frame tree, meshes, animation set, custom data) as
// one block of tagged blocks, written by every model converter and read by the object loader.
#pragma once

#include "core/win32.h"

#include <cstdint>
#include <utility>

struct AnimationRecord;
struct AnimationSetRecord;
struct BoneRecord;
struct FrameRecord;
struct MeshRecord;
struct MultiMaterialRecord;
struct ObjectRecord;
struct TextureRecord;

// Frees a block or buffer made by the writer or the whole-file reader.
void FreeObjectBlock(std::uint8_t* block);

// An owned block of the format and its length.
class TLOBlock {
public:
    TLOBlock() = default;
    TLOBlock(std::uint8_t* data, std::uint32_t size) : data_(data), size_(size) {}
    ~TLOBlock() { FreeObjectBlock(data_); }
    TLOBlock(TLOBlock&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
    TLOBlock& operator=(TLOBlock&& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        return *this;
    }
    std::uint8_t* Data() const { return data_; }
    std::uint32_t Size() const { return size_; }
    // Where a writer or reader leaves a new block; the old one is freed first.
    std::uint8_t** Out() {
        FreeObjectBlock(std::exchange(data_, nullptr));
        size_ = 0;
        return &data_;
    }
    std::uint32_t* OutSize() { return &size_; }

private:
    std::uint8_t* data_ = nullptr;
    std::uint32_t size_ = 0;
};

// A new block holding the whole object and its exact length; false (nothing returned) when the
// object cannot be written: frames or animations nested deeper than the format allows, or data
// larger than a block can hold.
bool WriteObjectToBlock(const ObjectRecord* object, std::uint8_t** block, std::uint32_t* size);
// The whole format through the write primitives below: with a null cursor only counted.
bool WriteObjectBlocks(const ObjectRecord* object, std::uint8_t** cursor, std::uint32_t* counter);
// A new object from the block; false, nothing made, when the block is not a whole, well-formed
// object of the format.
bool ReadObjectFromBlock(const std::uint8_t* block, std::uint32_t size, ObjectRecord** object);

// The whole file in a new buffer; false, nothing allocated, when it cannot be read whole.
bool ReadWholeFile(const char* fileName, std::uint8_t** buffer, std::uint32_t* size);
// Replaces the file with the buffer; false, the old file untouched, when it cannot be written.
bool WriteWholeFile(const char* fileName, const void* buffer, std::uint32_t size);

// Write primitives: each stores at the cursor and moves it on (nothing is stored with a null
// cursor) and adds its byte count to the counter.
bool WriteBlockDword(std::uint32_t value, std::uint8_t** cursor, std::uint32_t* counter);
bool WriteBlockByte(std::uint8_t value, std::uint8_t** cursor, std::uint32_t* counter);
bool WriteBlockVector(const D3DXVECTOR3& value, std::uint8_t** cursor, std::uint32_t* counter);
bool WriteBlockMatrix(const D3DXMATRIX& value, std::uint8_t** cursor, std::uint32_t* counter);
bool WriteBlockMaterial(const D3DMATERIAL9& value, std::uint8_t** cursor, std::uint32_t* counter);
bool WriteBlockData(const void* data, std::uint32_t bytes, std::uint8_t** cursor,
                    std::uint32_t* counter);
bool WriteBlockString(const char* text, std::uint8_t** cursor, std::uint32_t* counter);
bool WriteBlockElementArray(const void* array, std::uint32_t elementSize, std::uint32_t count,
                            std::uint8_t** cursor, std::uint32_t* counter);
bool WriteBlockWordArray(const std::uint16_t* array, std::uint32_t count, std::uint8_t** cursor,
                         std::uint32_t* counter);
bool WriteBlockDwordArray(const std::uint32_t* array, std::uint32_t count, std::uint8_t** cursor,
                          std::uint32_t* counter);
bool WriteBlockDwordPair(std::uint32_t first, std::uint32_t second, std::uint8_t** cursor,
                         std::uint32_t* counter);
bool WriteBlockDwordAndByte(std::uint32_t word, std::uint8_t byte, std::uint8_t** cursor,
                            std::uint32_t* counter);

// Block writers: each writes its record's block list with the end markers; a null record (or a
// record list of count 0) writes the end marker alone.
bool WriteFrameBlocks(const FrameRecord* frame, std::uint8_t** cursor, std::uint32_t* counter);
bool WriteMeshBlocks(const MeshRecord* mesh, std::uint8_t** cursor, std::uint32_t* counter);
bool WriteBoneBlocks(const BoneRecord* bones, std::int32_t count, std::uint8_t** cursor,
                     std::uint32_t* counter);
bool WriteTextureBlocks(const TextureRecord* textures, std::int32_t count, std::uint8_t** cursor,
                        std::uint32_t* counter);
bool WriteMultiMaterialBlocks(const MultiMaterialRecord* entries, std::int32_t count,
                              std::uint8_t** cursor, std::uint32_t* counter);
bool WriteAnimationSetBlocks(const AnimationSetRecord* set, std::uint8_t** cursor,
                             std::uint32_t* counter);
bool WriteAnimationBlocks(const AnimationRecord* animation, std::uint8_t** cursor,
                          std::uint32_t* counter);
bool WriteBakedFrameMatrices(const AnimationRecord* animation, std::uint8_t** cursor,
                             std::uint32_t* counter);

// The read side: a cursor that never passes the end of its block. Every read checks the bytes
// left; a read that does not fit fails and leaves the cursor failed.
struct BlockCursor {
    const std::uint8_t* at = nullptr;
    const std::uint8_t* end = nullptr;
    bool failed = false;

    std::uint32_t Left() const { return failed ? 0 : static_cast<std::uint32_t>(end - at); }
    // Marks the cursor failed; false, for returning.
    bool Fail() {
        failed = true;
        return false;
    }
};

// Read primitives. A string keeps at most 255 characters (terminated) in its 256-byte buffer and
// steps over all of them; a count of 0 leaves the buffer as it was.
bool ReadBlockString(BlockCursor& cursor, char* buffer);
bool ReadBlockByte(BlockCursor& cursor, std::uint8_t* value); // any non-zero byte reads as 1
bool ReadBlockDword(BlockCursor& cursor, std::uint32_t* value);
bool ReadBlockDwordPair(BlockCursor& cursor, std::uint32_t* first, std::uint32_t* second);
bool ReadBlockVector(BlockCursor& cursor, D3DXVECTOR3* value);
bool ReadBlockMatrix(BlockCursor& cursor, D3DXMATRIX* value);
bool ReadBlockMaterial(BlockCursor& cursor, D3DMATERIAL9* value);
bool ReadBlockInto(BlockCursor& cursor, void* buffer, std::uint32_t bytes);
// bytes into buffer, or into a new buffer of that size when *buffer is null.
bool ReadBlockBuffer(BlockCursor& cursor, std::uint8_t** buffer, std::uint32_t bytes);
// count elements into a new array; a count (or size) of 0 reads and makes nothing.
bool ReadBlockElementArray(BlockCursor& cursor, std::uint8_t** array, std::uint32_t elementSize,
                           std::uint32_t count);
bool ReadBlockWordArray(BlockCursor& cursor, std::uint16_t** array, std::uint32_t count);
bool ReadBlockDwordArray(BlockCursor& cursor, std::uint32_t** array, std::uint32_t count);

// List readers: each reads one block list (for the record lists, all records and the closing end
// marker) into a new record, or leaves the pointer null when the list is empty.
bool ReadFrameBlocks(FrameRecord** frame, BlockCursor& cursor);
bool ReadMeshBlocks(MeshRecord** mesh, BlockCursor& cursor);
bool ReadBoneBlocks(BoneRecord** bones, std::int32_t count, BlockCursor& cursor);
bool ReadTextureBlocks(TextureRecord** textures, std::int32_t count, BlockCursor& cursor);
bool ReadMultiMaterialBlocks(MultiMaterialRecord** entries, std::int32_t count,
                             BlockCursor& cursor);
bool ReadAnimationSetBlocks(AnimationSetRecord** set, BlockCursor& cursor);
bool ReadAnimationBlocks(AnimationRecord** animation, BlockCursor& cursor);
bool ReadBakedFrameMatrices(AnimationRecord* animation, BlockCursor& cursor);
// The blocks after the animation set, up to the end marker or the end of the block.
bool ReadTrailingBlocks(ObjectRecord* object, BlockCursor& cursor);
// The whole format from the cursor into a new object.
bool ReadObjectBlocks(ObjectRecord** object, BlockCursor& cursor);
