// The file module's state and helpers, shared by its source files only.
#pragma once

#include "core/core_data.h"
#include "core/error_numbers.h"
#include "core/media.h"
#include "core/replacing_file.h"

#include <cstdint>
#include <io.h>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

constexpr int kSlots = 64;
constexpr int kDrives = 24;
constexpr std::size_t kStringBuffer = 1024;

struct PhysicalDriveRecord {
    std::int64_t cylinders;
    std::uint32_t tracksPerCylinder, sectorsPerTrack, bytesPerSector;
    std::uint64_t size, megabytes, gigabytes;
};

// What a slot's reads took from its file past what they handed out. Every read of the slot goes
// through it, so reading a line costs a system call a buffer, not a byte; the file's own
// position lies `end - next` bytes past the slot's. Made at the first read, freed at the close.
struct SlotBuffer {
    std::vector<std::uint8_t> bytes;
    std::size_t next = 0, end = 0;
};

struct MemblockFunctions {
    std::uint8_t* (*make)(std::int32_t block, std::int32_t size) = nullptr;
    void (*remove)(std::int32_t block) = nullptr;
    std::int32_t (*size)(std::int32_t block) = nullptr;
    std::int32_t (*setSize)(std::int32_t block, std::int32_t size) = nullptr;
    std::uint8_t* (*data)(std::int32_t block) = nullptr;
};

struct FileState {
    CoreData* core = nullptr;
    MemblockFunctions memblocks;
    HANDLE slots[kSlots + 1] = {}; // index 0 unused
    std::int32_t endFlags[kSlots + 1] = {};
    SlotBuffer buffers[kSlots + 1];
    std::string slotNames[kSlots + 1];
    bool slotNamed[kSlots + 1] = {};
    // A slot opened to write writes a new file beside its name; the close puts it in place unless
    // a write to it failed.
    std::unique_ptr<ReplacingFile> pendingWrites[kSlots + 1];
    bool writeFailed[kSlots + 1] = {};
    intptr_t search = -1;
    std::int32_t searchState = -1; // 0 while entries remain, -1 at the end
    bool searchStarted = false;
    _finddata_t found{};
    HANDLE process = nullptr;
    PhysicalDriveRecord drives[kDrives] = {};
    std::int32_t driveCount = 0;

    // Module destructors are not run at exit: a slot the program left open to write is closed
    // here as CloseFileSlot would, so what it holds is its file.
    ~FileState();
};

extern FileState g_File;

// Hands text out as a new string, freeing the caller's previous one; when the new one cannot be
// made, raises 101 and gives the previous one back.
char* ReturnFileString(char* previous, std::string_view text);
// The name as loaders see it: through the media redirect (and the first file-name hook). In a
// buffer of its own, not a string, so that asking whether a file is there never runs out of memory.
MediaName ResolveName(const char* name, bool beforeOpenHook);
void AfterCloseHook(const char* name);
std::string CurrentDirectory();
// The path as the platform takes it past its usual length limit: absolute, wide, "\\?\".
std::wstring LongPath(const char* path);
void EndSearch();
// Whether an entry is a link (symbolic link, junction, mount point): no walk enters a linked
// folder, as a link back up would repeat the walk below it without end.
inline bool IsLinkEntry(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}
// Names of a directory's entries other than "." and "..", with whether each is a directory and
// whether it is a link.
struct Entry {
    std::string name;
    bool directory;
    bool link = false;
};
template <typename Visit> void ForEachEntry(Visit visit);
#include "file/file_entries_inl.h"
