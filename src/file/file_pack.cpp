#include "core/win32.h"

#include "file/file.h"
#include "file/file_slots.h"
#include "file/file_state.h"
#include "core/core.h"
#include "core/item_lookup.h"

#include <cstring>
#include <vector>

namespace {

FileState& s = g_File;

// Changes into each level of the path's directory part, creating what is missing; the current
// directory is the same afterwards. An absolute path starts from its root.
void MakePathDirectories(const std::string& path) {
    const std::string back = CurrentDirectory();
    if (back.empty()) return;
    std::size_t start = 0;
    bool first = true;
    for (std::size_t slash = path.find('\\'); slash != std::string::npos;
         slash = path.find('\\', start)) {
        std::string level = path.substr(start, slash - start);
        start = slash + 1;
        if (first && (level.empty() || level.back() == ':')) level += '\\'; // "\" or "C:\"
        first = false;
        if (level.empty()) continue;
        if (!SetCurrentDirectoryA(level.c_str()) &&
            !(CreateDirectoryA(level.c_str(), nullptr) && SetCurrentDirectoryA(level.c_str())))
            break;
    }
    SetCurrentDirectoryA(back.c_str());
}

// A name from a packed tree that stays inside the target: relative, no drive, no "..".
bool SafeRelativeName(const std::string& name) {
    if (name.empty() || name[0] == '\\' || name[0] == '/' || name.find(':') != std::string::npos)
        return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = name.find_first_of("\\/", start);
        const std::string part =
            name.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part == ".." || part == ".") return false;
        if (end == std::string::npos) return !part.empty();
        start = end + 1;
    }
}

// Reads a u32 length that must fit in what the slot still holds.
bool ReadLength(std::int32_t slot, std::uint32_t& length) {
    length = 0;
    if (ReadSlotBytes(slot, &length, 4) != 4) return false;
    return length <= SlotBytesLeft(slot);
}

void WriteBlockToFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    if (!bytes.empty())
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// Reads one packed file's bytes; false when its length cannot be right.
bool ReadSlotBlock(std::int32_t slot, std::vector<std::uint8_t>& bytes) {
    std::uint32_t length = 0;
    if (!ReadLength(slot, length)) {
        RaiseRuntimeWarning(kFileReadFailed);
        return false;
    }
    bytes.assign(length, 0);
    return length == 0 || ReadSlotBytes(slot, bytes.data(), length) == length;
}

// Reads one packed file's bytes from the slot and writes them under name.
bool WriteSlotBlockToFile(std::int32_t slot, const std::string& name) {
    std::vector<std::uint8_t> bytes;
    if (!ReadSlotBlock(slot, bytes)) return false;
    WriteBlockToFile(name, bytes);
    return true;
}

void PackDirectoryWalk(std::int32_t slot, const std::string& directory, bool writing,
                       std::uint32_t& count, const std::string& prefix) {
    const std::string back = CurrentDirectory();
    if (back.empty() || !SetCurrentDirectoryA(directory.c_str())) return;
    ForEachEntry([&](const Entry& e) {
        if (e.directory)
            return PackDirectoryWalk(slot, e.name, writing, count, prefix + e.name + "\\");
        if (!writing) return void(++count);
        const std::string name = prefix + e.name;
        const std::uint32_t length = static_cast<std::uint32_t>(name.size() + 1);
        if (WriteSlotBytes(slot, &length, 4) && WriteSlotBytes(slot, name.c_str(), length))
            PackFileIntoSlot(slot, e.name.c_str());
    });
    SetCurrentDirectoryA(back.c_str());
}

std::uint8_t* BlockData(std::int32_t block) {
    return s.memblocks.data ? s.memblocks.data(block) : nullptr;
}

// The memory blocks' own numbers and errors.
constexpr ItemNumbers kBlockNumbers{1, 255, kMemblockNumberIllegal, kMemblockMissing};

bool MemblockChecks(std::int32_t slot, std::int32_t block) {
    if (!s.memblocks.make) return false;
    if (!OpenSlot(slot, true)) return false;
    return CheckItemNumber(block, kBlockNumbers);
}

} // namespace

void PackFileIntoSlot(std::int32_t slot, const char* name) {
    if (!OpenSlot(slot, false) || !name) return;
    HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const DWORD size = GetFileSize(file, nullptr);
    std::vector<std::uint8_t> bytes(size == INVALID_FILE_SIZE ? 0 : size);
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file, bytes.data(), size, &read, nullptr) || read != size))
        bytes.clear();
    CloseHandle(file);
    const std::uint32_t length = static_cast<std::uint32_t>(bytes.size());
    if (WriteSlotBytes(slot, &length, 4) && length) WriteSlotBytes(slot, bytes.data(), length);
}

void PackDirectoryIntoSlot(std::int32_t slot, const char* directory) {
    if (!OpenSlot(slot, false) || !directory) return;
    std::uint32_t count = 0;
    PackDirectoryWalk(slot, directory, false, count, "");
    if (!WriteSlotBytes(slot, &count, 4)) return;
    PackDirectoryWalk(slot, directory, true, count, "");
}

void UnpackFileFromSlot(std::int32_t slot, const char* name) {
    if (!OpenSlot(slot, false) || !name) return;
    const std::string path = name;
    MakePathDirectories(path);
    WriteSlotBlockToFile(slot, path);
}

void UnpackDirectoryFromSlot(std::int32_t slot, const char* target) {
    if (!OpenSlot(slot, false) || !target) return;
    std::string folder = target;
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    const std::string back = CurrentDirectory();
    MakePathDirectories(folder);
    if (back.empty() || !SetCurrentDirectoryA(folder.c_str())) return;
    std::uint32_t count = 0;
    if (ReadSlotBytes(slot, &count, 4) != 4) RaiseRuntimeWarning(kFileReadFailed);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t length = 0;
        if (!ReadLength(slot, length))
            break; // a length the file cannot hold: the rest is not trusted
        if (length == 0) continue;
        std::vector<char> name(length, '\0');
        if (ReadSlotBytes(slot, name.data(), length) != length || name[length - 1] != 0) break;
        const std::string relative(name.data());
        std::vector<std::uint8_t> bytes;
        if (!ReadSlotBlock(slot, bytes)) break;
        // Names that would leave the target are read past, never written.
        if (relative.size() + 1 != length || !SafeRelativeName(relative)) continue;
        MakePathDirectories(relative);
        WriteBlockToFile(relative, bytes);
    }
    SetCurrentDirectoryA(back.c_str());
}

void ReadMemblockFromSlot(std::int32_t slot, std::int32_t block) {
    if (!MemblockChecks(slot, block)) return;
    std::uint32_t size = 0;
    if (ReadSlotBytes(slot, &size, 4) != 4 || size > SlotBytesLeft(slot) || size > 0x7FFFFFFF)
        return RaiseRuntimeError(kFileReadFailed);
    std::uint8_t* data = s.memblocks.make(block, static_cast<std::int32_t>(size));
    if (!data) return RaiseRuntimeError(kMemblockNoMemory);
    if (ReadSlotBytes(slot, data, size) != size) RaiseRuntimeError(kFileReadFailed);
}

void ReadFileIntoMemblock(std::int32_t block, std::int32_t slot) {
    if (!MemblockChecks(slot, block)) return;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(s.slots[slot], &size) || size.QuadPart <= 0 || size.QuadPart > 0x7FFFFFFF)
        return RaiseRuntimeError(kFileReadFailed);
    std::uint8_t* data = s.memblocks.make(block, static_cast<std::int32_t>(size.QuadPart));
    if (!data) return RaiseRuntimeError(kMemblockNoMemory);
    const std::uint32_t read = ReadSlotBytes(slot, data, static_cast<std::uint32_t>(size.QuadPart));
    if (read == 0) return RaiseRuntimeError(kFileReadFailed);
    if (s.memblocks.setSize)
        s.memblocks.setSize(block, static_cast<std::int32_t>(read)); // read from mid-file
}

void WriteMemblockWithSizeToSlot(std::int32_t slot, std::int32_t block) {
    if (!MemblockChecks(slot, block)) return;
    std::uint8_t* data = BlockData(block);
    if (!data) return RaiseRuntimeError(kMemblockMissing);
    const std::uint32_t size = static_cast<std::uint32_t>(s.memblocks.size(block));
    if (!WriteSlotBytes(slot, &size, 4) || !WriteSlotBytes(slot, data, size))
        RaiseRuntimeError(kFileWriteFailed);
}

void WriteMemblockToSlot(std::int32_t slot, std::int32_t block) {
    if (!MemblockChecks(slot, block)) return;
    std::uint8_t* data = BlockData(block);
    if (!data) return RaiseRuntimeError(kMemblockMissing);
    if (!WriteSlotBytes(slot, data, static_cast<std::uint32_t>(s.memblocks.size(block))))
        RaiseRuntimeError(kFileWriteFailed);
}
