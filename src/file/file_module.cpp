#include "core/win32.h"

#include "file/file.h"
#include "file/file_slots.h"
#include "file/file_state.h"
#include "core/core.h"
#include "core/media.h"
#include "memblock/memblock.h"

#include <winioctl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

FileState g_File;

FileState::~FileState() {
    for (int slot = 1; slot <= kSlots; ++slot) {
        if (!pendingWrites[slot]) continue;
        CloseHandle(slots[slot]);
        slots[slot] = nullptr;
        FinishSlotWrite(slot);
    }
}

namespace {

FileState& s = g_File;

void FillDriveTable() {
    s.driveCount = 0;
    for (int number = 0; s.driveCount < kDrives; ++number) {
        char path[32];
        std::snprintf(path, sizeof path, "\\\\.\\PhysicalDrive%d", number);
        HANDLE drive = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
        if (drive == INVALID_HANDLE_VALUE) return;
        DISK_GEOMETRY geometry{};
        DWORD bytes = 0;
        const BOOL ok = DeviceIoControl(drive, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
                                        sizeof geometry, &bytes, nullptr);
        CloseHandle(drive);
        if (!ok) return;
        PhysicalDriveRecord& r = s.drives[s.driveCount++];
        r.cylinders = geometry.Cylinders.QuadPart;
        r.tracksPerCylinder = geometry.TracksPerCylinder;
        r.sectorsPerTrack = geometry.SectorsPerTrack;
        r.bytesPerSector = geometry.BytesPerSector;
        r.size = static_cast<std::uint64_t>(r.bytesPerSector) * r.sectorsPerTrack *
                 r.tracksPerCylinder * static_cast<std::uint64_t>(r.cylinders);
        r.megabytes = r.size >> 20;
        r.gigabytes = r.size >> 30;
    }
}

HANDLE OpenForReading(const char* name) {
    return CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

char* ReturnFileString(char* previous, std::string_view text) {
    // Out of memory (101), the caller keeps its previous string.
    return ReplaceModuleString(s.core, previous, text.data(),
                               std::min(text.size(), kStringBuffer - 1));
}

MediaName ResolveName(const char* name, bool beforeOpenHook) {
    MediaName prepared;
    // A refused name resolves to "", which names no file: each caller gives its not-found error.
    if (!PrepareMediaName(s.core, name, prepared, beforeOpenHook)) return MediaName{};
    return prepared;
}

void AfterCloseHook(const char* name) {
    const std::size_t length = strnlen(name, kMediaNameBuffer);
    if (length == 0 || length >= kMediaNameBuffer) return; // refused names were never hooked
    MediaName prepared;
    std::memcpy(prepared.text, name, length);
    prepared.hooked = true;
    FinishMediaName(s.core, prepared);
}

std::wstring LongPath(const char* path) {
    const int size = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), size);
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(needed, L'\0');
    const DWORD length = needed ? GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr) : 0;
    full.resize(length < needed ? length : 0);
    if (full.compare(0, 4, L"\\\\?\\") == 0 || full.compare(0, 4, L"\\\\.\\") == 0) return full;
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC" + full.substr(1);
    return L"\\\\?\\" + full;
}

std::string CurrentDirectory() {
    const DWORD needed = GetCurrentDirectoryA(0, nullptr);
    std::string path(needed, '\0');
    const DWORD length = GetCurrentDirectoryA(needed, path.data());
    path.resize(length < needed ? length : 0);
    return path;
}

void EndSearch() {
    if (s.search != -1) _findclose(s.search);
    s.search = -1;
    s.searchState = -1;
}

void FileConstructor() {
    for (int slot = 0; slot <= kSlots; ++slot) {
        s.slots[slot] = nullptr;
        s.endFlags[slot] = 0;
        s.buffers[slot] = SlotBuffer{};
        s.slotNames[slot].clear();
        s.slotNamed[slot] = false;
        s.pendingWrites[slot].reset();
        s.writeFailed[slot] = false;
    }
    s.found = _finddata_t{};
    s.searchStarted = false;
    FillDriveTable();
}

void FileDestructor() {
    EndSearch();
    for (int slot = 1; slot <= kSlots; ++slot) {
        if (s.slots[slot]) CloseHandle(s.slots[slot]);
        FinishSlotWrite(slot); // a slot left open to write: what it holds is its file
        s.slots[slot] = nullptr;
        s.endFlags[slot] = 0;
        s.buffers[slot] = SlotBuffer{};
        s.slotNames[slot].clear();
        s.slotNamed[slot] = false;
    }
}

void FileSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}

void FilePassCoreData(CoreData* core) {
    s.core = core;
    s.memblocks.make = MakeMemblockForModule;
    s.memblocks.remove = DeleteMemblockForModule;
    s.memblocks.size = GetMemblockSizeForModule;
    s.memblocks.setSize = SetMemblockSizeForModule;
    s.memblocks.data = GetMemblockPtrForModule;
}

std::int32_t FileExists(const char* name) {
    if (!name) return 0;
    HANDLE file = OpenForReading(ResolveName(name, false).text);
    if (file == INVALID_HANDLE_VALUE) return 0;
    CloseHandle(file);
    return 1;
}

std::int32_t GetFileSizeByName(const char* name) {
    if (!name) return 0;
    HANDLE file = OpenForReading(ResolveName(name, false).text);
    if (file == INVALID_HANDLE_VALUE) return 0;
    LARGE_INTEGER size{};
    const bool known = GetFileSizeEx(file, &size);
    CloseHandle(file);
    // A size past the int32 a program is given reads as the largest it can be told.
    return known ? static_cast<std::int32_t>(std::min<LONGLONG>(size.QuadPart, 0x7FFFFFFF)) : 0;
}
