// Memory blocks module: numbered raw byte blocks 1 to 257, their typed reads and writes, copies,
// engine arrays, and whole bitmaps, images, sounds and meshes converted into blocks and back.
#pragma once

#include "core/core_data.h"
#include "core/runtime_arrays.h"

#include <cstdint>

// Start entry: the core's start sequence readies the module with it, once.
void MemblocksConstructor(HINSTANCE instance);
// Stop entry: releases everything the module holds.
void MemblocksDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void MemblocksSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData and takes the media owners' eight converters.
void MemblocksPassCoreData(CoreData* core);
// Around every device re-creation: mode 0 before (release), mode 1 after (rebuild).
void MemblocksRefreshD3D(std::int32_t mode);

// Block commands. Errors: 5101 number outside 1..257, 5102 block exists, 5103 no block, 5104 out
// of memory, 5105 position out of range, 5106 size below 1, 5107 byte value, 5108 word value.
// A failed command returns 0 and leaves every block as it was.

// A new zero-filled block; its bytes.
std::uint8_t* MakeMemblock(std::int32_t block, std::int32_t size);
void DeleteMemblock(std::int32_t block);
std::int32_t MemblockExist(std::int32_t block);
std::uint8_t* GetMemblockPtr(std::int32_t block);
std::int32_t GetMemblockSize(std::int32_t block);

// Little-endian values at a byte position; the whole value lies inside the block.
void WriteMemblockByte(std::int32_t block, std::int32_t position, std::int32_t value);
std::int32_t ReadMemblockByte(std::int32_t block, std::int32_t position);
void WriteMemblockWord(std::int32_t block, std::int32_t position, std::int32_t value);
std::int32_t ReadMemblockWord(std::int32_t block, std::int32_t position);
void WriteMemblockDword(std::int32_t block, std::int32_t position, std::uint32_t value);
std::uint32_t ReadMemblockDword(std::int32_t block, std::int32_t position);
void WriteMemblockFloat(std::int32_t block, std::int32_t position, float value);
float ReadMemblockFloat(std::int32_t block, std::int32_t position);

// Blocks 1 to 255 only. Both ranges lie inside their blocks (a negative count is refused with
// 5105); overlapping ranges of one block copy as if through a buffer.
void CopyMemblock(std::int32_t from, std::int32_t to, std::int32_t fromPosition,
                  std::int32_t toPosition, std::int32_t count);

// Engine arrays, element by element through the array's pointer table. 109 for no array, 53 for
// one without elements or of element size 0, 54 for a text array (its elements are pointers).
void MakeMemblockFromArray(std::int32_t block, RuntimeArray array);
// Copies from the start of the block, no more than it holds; a missing block does nothing.
void MakeArrayFromMemblock(RuntimeArray array, std::int32_t block);

// Media into a block (replacing any block of that number) and back. Each returns 1, or 0 after an
// error or when the owner could not make the item. Blocks whose header does not match the block
// raise 5105, and so does an owner's copy of another size than its header words multiply to (in
// 64 bits); one that no block can hold, or whose copy the owner has no memory for, raises 5104.
// Either keeps the old block. The media's own
// number errors: bitmaps 1001 (0..21,999,999) and 1002, images 501 (1..22,000,000), 502 and 507
// (exists, cannot be read), sounds 3001 (1..21,999,999) and 3004, meshes 7001 (1..21,999,999) and
// 7003.
std::int32_t CreateMemblockFromBitmap(std::int32_t block, std::int32_t bitmap);
std::int32_t CreateBitmapFromMemblock(std::int32_t bitmap, std::int32_t block);
std::int32_t CreateMemblockFromImage(std::int32_t block, std::int32_t image);
std::int32_t CreateImageFromMemblock(std::int32_t image, std::int32_t block);
std::int32_t CreateMemblockFromSound(std::int32_t block, std::int32_t sound);
std::int32_t CreateSoundFromMemblock(std::int32_t sound, std::int32_t block);
std::int32_t CreateMemblockFromMesh(std::int32_t block, std::int32_t mesh);
std::int32_t CreateMeshFromMemblock(std::int32_t mesh, std::int32_t block);

// The file module's five entries, also commands. MakeMemblockForModule replaces any block of that
// number and raises MakeMemblock's errors (a refused one keeps the old block); returns its data
// or null.
std::uint8_t* MakeMemblockForModule(std::int32_t block, std::int32_t size);
// These raise nothing: a bad number or a missing block gives 0.
std::int32_t GetMemblockSizeForModule(std::int32_t block);
// The block's bytes, null when it is missing or the number is bad.
std::uint8_t* GetMemblockPtrForModule(std::int32_t block);
// Frees the block; no error for a bad number.
void DeleteMemblockForModule(std::int32_t block);
// Shrinks the recorded size of an existing block (a file read that came up short); a size beyond
// the block's memory is refused. Returns the block number.
std::int32_t SetMemblockSizeForModule(std::int32_t block, std::int32_t size);

// The multiplayer module's thirteen entries: the commands above, with their errors.
std::uint8_t* MakeMemblockExport(std::int32_t block, std::int32_t size);
void DeleteMemblockExport(std::int32_t block);
std::int32_t MemblockExistExport(std::int32_t block);
std::uint8_t* GetMemblockPtrExport(std::int32_t block);
std::int32_t GetMemblockSizeExport(std::int32_t block);
std::int32_t CreateMemblockFromBitmapExport(std::int32_t block, std::int32_t bitmap);
std::int32_t CreateBitmapFromMemblockExport(std::int32_t bitmap, std::int32_t block);
std::int32_t CreateMemblockFromMeshExport(std::int32_t block, std::int32_t mesh);
std::int32_t CreateMeshFromMemblockExport(std::int32_t mesh, std::int32_t block);
std::int32_t CreateMemblockFromSoundExport(std::int32_t block, std::int32_t sound);
std::int32_t CreateSoundFromMemblockExport(std::int32_t sound, std::int32_t block);
std::int32_t CreateMemblockFromImageExport(std::int32_t block, std::int32_t image);
std::int32_t CreateImageFromMemblockExport(std::int32_t image, std::int32_t block);
