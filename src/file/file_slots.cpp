#include "core/win32.h"

#include "file/file.h"
#include "file/file_slots.h"
#include "file/file_state.h"
#include "core/core.h"
#include "core/item_lookup.h"
#include "core/error_numbers.h"
#include "core/no_throw.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

namespace {

FileState& s = g_File;

constexpr ItemNumbers kSlotNumbers{1, kSlots, kFileSlotIllegal, kFileSlotClosed};
constexpr std::uint32_t kSlotBufferBytes = 64 * 1024;
constexpr DWORD kReadFailed = 0xFFFFFFFF;

// One read of the slot's file; kReadFailed when the platform fails it. The slot then counts as
// ended, so that a loop reading to the end of the file ends too.
DWORD ReadSlotFile(std::int32_t slot, void* into, std::uint32_t count) {
    DWORD read = 0;
    if (ReadFile(s.slots[slot], into, count, &read, nullptr)) return read;
    s.endFlags[slot] = 1;
    RaiseRuntimeError(kFileReadFailed);
    return kReadFailed;
}

// A write that left the slot's file in a state it must never be put in place in.
bool SpoilSlotWrite(std::int32_t slot) {
    s.writeFailed[slot] = true;
    RaiseRuntimeError(kFileWriteFailed);
    return false;
}

// Refills the slot's empty buffer: the bytes read, 0 at the end, or kReadFailed. A buffer that
// cannot be had fails the read (8211) and takes nothing from the file.
DWORD FillSlotBuffer(std::int32_t slot) {
    SlotBuffer& b = s.buffers[slot];
    if (!NoThrow(kFileReadFailed, [&] { b.bytes.resize(kSlotBufferBytes); })) return kReadFailed;
    b.next = b.end = 0;
    const DWORD read = ReadSlotFile(slot, b.bytes.data(), kSlotBufferBytes);
    if (read != kReadFailed) b.end = read;
    return read;
}

// Puts the file's position back where the slot's reads stopped and empties the buffer: what
// comes next (a write) happens there.
void DropSlotBuffer(std::int32_t slot) {
    SlotBuffer& b = s.buffers[slot];
    if (b.next < b.end) {
        LARGE_INTEGER back{};
        back.QuadPart = -static_cast<LONGLONG>(b.end - b.next);
        SetFilePointerEx(s.slots[slot], back, nullptr, FILE_CURRENT);
    }
    b.next = b.end = 0;
}

// The next byte of the slot: 1, 0 at the end of its file, -1 when the read failed.
int NextSlotByte(std::int32_t slot, std::uint8_t& byte) {
    SlotBuffer& b = s.buffers[slot];
    if (b.next == b.end) {
        const DWORD read = FillSlotBuffer(slot);
        if (read == kReadFailed) return -1;
        if (read == 0) return 0;
    }
    byte = b.bytes[b.next++];
    return 1;
}

template <typename T> T ReadValue(std::int32_t slot) {
    T value{};
    if (OpenSlot(slot, true)) ReadSlotBytes(slot, &value, sizeof value);
    return value;
}

template <typename T> void WriteValue(std::int32_t slot, T value) {
    if (OpenSlot(slot, true)) WriteSlotBytes(slot, &value, sizeof value);
}

bool PlainFileThere(const char* name) {
    const DWORD attributes = GetFileAttributesA(name);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether another slot is writing the file of that name: two never write one file.
bool WritingTo(const char* name) {
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(name, sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full) return false;
    for (const auto& file : s.pendingWrites)
        if (file && lstrcmpiA(file->Target().c_str(), full) == 0) return true;
    return false;
}

} // namespace

bool OpenSlot(std::int32_t slot, bool asError) {
    if (asError) return CheckedItem(slot, kSlotNumbers, [](std::int32_t n) { return s.slots[n]; });
    // Warnings have no effect: the same checks, nothing raised.
    return slot >= 1 && slot <= kSlots && s.slots[slot];
}

std::uint32_t ReadSlotBytes(std::int32_t slot, void* buffer, std::uint32_t count) {
    auto* out = static_cast<std::uint8_t*>(buffer);
    SlotBuffer& b = s.buffers[slot];
    std::uint32_t got = 0;
    DWORD read = 1; // what the last read of the file gave
    while (got < count && read != 0 && read != kReadFailed) {
        if (b.next < b.end) {
            const auto take =
                static_cast<std::uint32_t>(std::min<std::size_t>(count - got, b.end - b.next));
            std::memcpy(out + got, b.bytes.data() + b.next, take);
            b.next += take;
            got += take;
        } else if (count - got >= kSlotBufferBytes) {
            // A read larger than the buffer goes straight to its destination.
            read = ReadSlotFile(slot, out + got, count - got);
            if (read != kReadFailed) got += read;
        } else {
            read = FillSlotBuffer(slot);
        }
    }
    if (got == 0 && count > 0 && read == 0) s.endFlags[slot] = 1;
    if (got < count) std::memset(out + got, 0, count - got);
    return got;
}

bool WriteSlotBytes(std::int32_t slot, const void* buffer, std::uint32_t count) {
    DropSlotBuffer(slot);
    DWORD written = 0;
    // A file not whole is never put in place.
    if (!WriteFile(s.slots[slot], buffer, count, &written, nullptr) || written != count)
        return SpoilSlotWrite(slot);
    return true;
}

std::int64_t SlotWritePosition(std::int32_t slot) {
    DropSlotBuffer(slot);
    LARGE_INTEGER zero{}, here{};
    if (SetFilePointerEx(s.slots[slot], zero, &here, FILE_CURRENT)) return here.QuadPart;
    // What the pack writes next could be neither patched nor taken back.
    SpoilSlotWrite(slot);
    return -1;
}

bool CutSlotAt(std::int32_t slot, std::int64_t position) {
    LARGE_INTEGER at{};
    at.QuadPart = position;
    if (position >= 0 && SetFilePointerEx(s.slots[slot], at, nullptr, FILE_BEGIN) &&
        SetEndOfFile(s.slots[slot]))
        return true;
    return SpoilSlotWrite(slot);
}

bool PatchSlotBytes(std::int32_t slot, std::int64_t position, const void* bytes,
                    std::uint32_t count) {
    const std::int64_t end = SlotWritePosition(slot);
    LARGE_INTEGER at{}, back{};
    at.QuadPart = position;
    back.QuadPart = end;
    DWORD written = 0;
    if (end >= 0 && position >= 0 && SetFilePointerEx(s.slots[slot], at, nullptr, FILE_BEGIN) &&
        WriteFile(s.slots[slot], bytes, count, &written, nullptr) && written == count &&
        SetFilePointerEx(s.slots[slot], back, nullptr, FILE_BEGIN))
        return true;
    return SpoilSlotWrite(slot);
}

bool IsSlotScratchFile(const std::string& path) {
    for (const auto& file : s.pendingWrites)
        if (file && lstrcmpiA(file->TemporaryName(), path.c_str()) == 0) return true;
    return false;
}

std::uint64_t SlotBytesLeft(std::int32_t slot) {
    LARGE_INTEGER size{}, here{}, zero{};
    if (!GetFileSizeEx(s.slots[slot], &size) ||
        !SetFilePointerEx(s.slots[slot], zero, &here, FILE_CURRENT))
        return 0;
    // The slot stands where its reads stopped, before what its buffer still holds.
    const SlotBuffer& b = s.buffers[slot];
    const std::int64_t at = here.QuadPart - static_cast<std::int64_t>(b.end - b.next);
    return size.QuadPart > at ? static_cast<std::uint64_t>(size.QuadPart - at) : 0;
}

void OpenToRead(std::int32_t slot, const char* name) {
    if (!CheckItemNumber(slot, kSlotNumbers)) return;
    if (s.slots[slot]) return RaiseRuntimeError(kFileSlotOpen);
    if (!FileExists(name)) return RaiseRuntimeError(kFileMissing);
    const MediaName resolved = ResolveName(name, true);
    // The slot's copy of the name is made before the file is opened: out of memory opens nothing.
    std::string kept;
    if (!NoThrow(kFileSlotNotOpenedToRead, [&] { kept = resolved.text; })) {
        AfterCloseHook(resolved.text);
        return;
    }
    HANDLE file = CreateFileA(resolved.text, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        AfterCloseHook(resolved.text);
        return RaiseRuntimeWarning(kFileSlotNotOpenedToRead);
    }
    s.slots[slot] = file;
    s.endFlags[slot] = 0;
    s.buffers[slot] = SlotBuffer{};
    s.slotNames[slot] = std::move(kept);
    s.slotNamed[slot] = true;
}

void OpenToWrite(std::int32_t slot, const char* name) {
    if (!CheckItemNumber(slot, kSlotNumbers)) return;
    if (s.slots[slot]) return RaiseRuntimeWarning(kFileSlotOpen);
    if (!name || !*name) return RaiseRuntimeError(kFileSlotNotOpenedToWrite); // names no file
    // A file held by another program is there too, though it cannot be opened to be seen.
    if (FileExists(name) || PlainFileThere(name) || WritingTo(name))
        return RaiseRuntimeWarning(kFileExists);
    // Out of memory for the new file's names opens nothing.
    std::unique_ptr<ReplacingFile> file;
    if (!NoThrow(kFileSlotNotOpenedToWrite, [&] { file = std::make_unique<ReplacingFile>(name); }))
        return;
    HANDLE handle = file->Ok() ? CreateFileA(file->TemporaryName(), GENERIC_WRITE, FILE_SHARE_WRITE,
                                             nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                               : INVALID_HANDLE_VALUE;
    if (handle == INVALID_HANDLE_VALUE) return RaiseRuntimeError(kFileSlotNotOpenedToWrite);
    s.slots[slot] = handle;
    s.endFlags[slot] = 0;
    s.buffers[slot] = SlotBuffer{};
    s.slotNamed[slot] = false;
    s.pendingWrites[slot] = std::move(file);
    s.writeFailed[slot] = false;
}

bool FinishSlotWrite(std::int32_t slot) {
    const std::unique_ptr<ReplacingFile> file = std::move(s.pendingWrites[slot]);
    const bool failed = std::exchange(s.writeFailed[slot], false);
    // A file that appeared under the name meanwhile is kept, as an open would have kept it.
    return !file || (!failed && file->Commit(false, /*replaceExisting=*/false));
}

void CloseFileSlot(std::int32_t slot) {
    if (!OpenSlot(slot, false)) return;
    CloseHandle(s.slots[slot]);
    s.slots[slot] = nullptr;
    s.endFlags[slot] = 0;
    s.buffers[slot] = SlotBuffer{};
    if (s.slotNamed[slot]) AfterCloseHook(s.slotNames[slot].c_str());
    s.slotNames[slot].clear();
    s.slotNamed[slot] = false;
    if (!FinishSlotWrite(slot)) RaiseRuntimeError(kFileWriteFailed);
}

std::int32_t IsFileSlotOpen(std::int32_t slot) {
    if (slot < 1 || slot > kSlots) {
        RaiseRuntimeWarning(kFileSlotIllegal);
        return 0;
    }
    return s.slots[slot] ? 1 : 0;
}

std::int32_t IsEndOfFile(std::int32_t slot) {
    if (slot < 1 || slot > kSlots) {
        RaiseRuntimeWarning(kFileSlotIllegal);
        return 0;
    }
    return s.endFlags[slot] == 1 ? 1 : 0;
}

std::int32_t ReadFileByte(std::int32_t slot) {
    return ReadValue<std::uint8_t>(slot);
}
std::int32_t ReadFileWord(std::int32_t slot) {
    return ReadValue<std::uint16_t>(slot);
}
std::int32_t ReadFileLong(std::int32_t slot) {
    return ReadValue<std::int32_t>(slot);
}
float ReadFileFloat(std::int32_t slot) {
    return ReadValue<float>(slot);
}

void ReadFileByteExport(std::int32_t slot, std::int32_t* out) {
    if (out) *out = ReadFileByte(slot);
}
void ReadFileWordExport(std::int32_t slot, std::int32_t* out) {
    if (out) *out = ReadFileWord(slot);
}
void ReadFileLongExport(std::int32_t slot, std::int32_t* out) {
    if (out) *out = ReadFileLong(slot);
}
float ReadFileFloatExport(std::int32_t slot, float* out) {
    const float value = ReadFileFloat(slot);
    if (out) *out = value;
    return value;
}

namespace {

// A line of an open slot, up to CR LF, CR or the end; control bytes other than tab dropped.
void ReadSlotLine(std::int32_t slot, std::string& line) {
    std::uint8_t byte = 0;
    for (;;) {
        const int got = NextSlotByte(slot, byte);
        if (got < 0) {
            line.clear();
            break;
        }
        if (got == 0) {
            s.endFlags[slot] = 1;
            break;
        }
        if (byte >= 32 || byte == 9) {
            // Longer lines are cut to what a returned string holds; the rest is still read.
            if (line.size() < kStringBuffer - 1) line += static_cast<char>(byte);
            continue;
        }
        // A CR drops the LF of a CR LF pair (or whatever follows a lone CR).
        if (byte == 13 && NextSlotByte(slot, byte) == 0) s.endFlags[slot] = 1;
        break;
    }
}

} // namespace

char* ReadFileString(std::int32_t slot, char* previous) {
    // The line's room is had before any byte is taken from the slot: out of memory (101) reads
    // nothing and the previous string is kept.
    return NoThrow(kStringNoMemory, previous, [&] {
        std::string line;
        line.reserve(kStringBuffer);
        if (OpenSlot(slot, false)) ReadSlotLine(slot, line);
        return ReturnFileString(previous, line);
    });
}

void SkipFileBytes(std::int32_t slot, std::int32_t count) {
    if (!OpenSlot(slot, true) || count <= 0) return;
    std::uint8_t buffer[4096];
    for (std::int32_t left = count; left > 0;) {
        const std::uint32_t chunk = static_cast<std::uint32_t>(left < 4096 ? left : 4096);
        const std::uint32_t read = ReadSlotBytes(slot, buffer, chunk);
        if (read < chunk) {
            s.endFlags[slot] = 1;
            return;
        }
        left -= static_cast<std::int32_t>(read);
    }
}

void WriteFileByte(std::int32_t slot, std::int32_t value) {
    WriteValue(slot, static_cast<std::uint8_t>(value));
}
void WriteFileWord(std::int32_t slot, std::int32_t value) {
    WriteValue(slot, static_cast<std::uint16_t>(value));
}
void WriteFileLong(std::int32_t slot, std::int32_t value) {
    WriteValue(slot, value);
}
void WriteFileFloat(std::int32_t slot, float value) {
    WriteValue(slot, value);
}

void WriteFileString(std::int32_t slot, const char* text) {
    if (!OpenSlot(slot, true)) return;
    if (text && *text && !WriteSlotBytes(slot, text, static_cast<std::uint32_t>(std::strlen(text))))
        return;
    WriteSlotBytes(slot, "\r\n", 2);
}
