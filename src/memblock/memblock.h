// Memory blocks module: its entries and the block operations handed to other modules.
#pragma once

#include "core/core_data.h"

#include <cstdint>

// Start entry: the core's start sequence readies the module with it, once.
void MemblocksConstructor(HINSTANCE instance);
// Stop entry: releases everything the module holds.
void MemblocksDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void MemblocksSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData.
void MemblocksPassCoreData(CoreData* core);
// Around every device re-creation: mode 0 before (release), mode 1 after (rebuild).
void MemblocksRefreshD3D(std::int32_t mode);

// Blocks 1 to 257. Replaces any block of that number with a new zero-filled one; returns its data
// or null (5101 bad number, 5106 size below 1, 5104 out of memory).
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
