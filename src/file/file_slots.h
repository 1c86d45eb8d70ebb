// Slot access shared by the slot and packing commands.
#pragma once

#include <cstdint>
#include <string>

// True when the slot number is in range and the slot open; otherwise raises 8213 or 8204 (as an
// error, or as a warning when asError is false).
bool OpenSlot(std::int32_t slot, bool asError);
// Reads up to count bytes (the rest of the buffer zeroed); sets the end flag when none came, and
// when the platform failed the read (error 8211).
std::uint32_t ReadSlotBytes(std::int32_t slot, void* buffer, std::uint32_t count);
bool WriteSlotBytes(std::int32_t slot, const void* buffer, std::uint32_t count);
// Where the slot's next write lands; -1 when the platform cannot tell, the slot spoilt then as
// below (error 8212, its file never put in place).
std::int64_t SlotWritePosition(std::int32_t slot);
// Drops what the slot's file holds from the position on, taking back a write that could not be
// finished. A slot that cannot be cut is spoilt: error 8212, and its file never put in place.
bool CutSlotAt(std::int32_t slot, std::int64_t position);
// Writes over bytes written earlier, then carries on where the writes had got to; spoilt as above
// when it cannot.
bool PatchSlotBytes(std::int32_t slot, std::int64_t position, const void* bytes,
                    std::uint32_t count);
// Whether the path is the new file a slot is writing (a full path): never read as a finished file.
bool IsSlotScratchFile(const std::string& path);
// Bytes between the slot's position and the end of its file.
std::uint64_t SlotBytesLeft(std::int32_t slot);
// Ends a slot's write: its new file is put in place when every write reached it; false when a
// write or the move failed (no file is left then). True for a slot that was not writing.
bool FinishSlotWrite(std::int32_t slot);
