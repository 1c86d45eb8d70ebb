// Slot access shared by the slot and packing commands.
#pragma once

#include <cstdint>

// True when the slot number is in range and the slot open; otherwise raises 8213 or 8204 (as an
// error, or as a warning when asError is false).
bool OpenSlot(std::int32_t slot, bool asError);
// Reads up to count bytes (the rest of the buffer zeroed); sets the end flag when none came.
std::uint32_t ReadSlotBytes(std::int32_t slot, void* buffer, std::uint32_t count);
bool WriteSlotBytes(std::int32_t slot, const void* buffer, std::uint32_t count);
// Bytes between the slot's position and the end of its file.
std::uint64_t SlotBytesLeft(std::int32_t slot);
// Ends a slot's write: its new file is put in place when every write reached it; false when a
// write or the move failed (no file is left then). True for a slot that was not writing.
bool FinishSlotWrite(std::int32_t slot);
