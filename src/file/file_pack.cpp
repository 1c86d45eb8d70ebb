#include "core/win32.h"

#include "file/file.h"
#include "file/file_slots.h"
#include "file/file_state.h"
#include "core/core.h"
#include "core/file_names.h"
#include "core/item_lookup.h"
#include "core/load_budget.h"
#include "core/replacing_file.h"

#include <algorithm>
#include <cstring>
#include <string>
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

// Packed bytes move through a piece of this size either way: no length a pack declares, and no
// size of a file being packed, becomes an allocation.
constexpr std::uint32_t kPieceBytes = 64 * 1024;
// What each member of a packed tree is charged to the unpacking's budget: the floor pays for
// 1,024 members, the ceiling for 3,072.
constexpr std::uint32_t kMemberBytes = 64 * 1024;

// Reads a u32 length that must fit in what the slot still holds.
bool ReadLength(std::int32_t slot, std::uint32_t& length) {
    length = 0;
    if (ReadSlotBytes(slot, &length, 4) != 4) return false;
    return length <= SlotBytesLeft(slot);
}

// Reads the slot's next length bytes a piece at a time, handing each piece to put; false when
// the slot holds fewer.
template <class Put> bool ReadPieces(std::int32_t slot, std::uint32_t length, Put put) {
    std::vector<std::uint8_t> piece(std::min(length, kPieceBytes));
    for (std::uint32_t left = length; left > 0;) {
        const std::uint32_t size = std::min(left, kPieceBytes);
        if (ReadSlotBytes(slot, piece.data(), size) != size) return false;
        put(piece.data(), size);
        left -= size;
    }
    return true;
}

bool SkipPieces(std::int32_t slot, std::uint32_t length) {
    return ReadPieces(slot, length, [](const std::uint8_t*, std::uint32_t) {});
}

enum class Block { Written, NotWritten, Short };

// Unpacks the slot's next length bytes as the whole file at path. They go to a file beside it
// that replaces it only once whole, so a write that fails leaves what was there; the bytes are
// read past either way, keeping the slot at what follows.
Block UnpackBlock(std::int32_t slot, std::uint32_t length, const char* path) {
    ReplacingFile file(path);
    HANDLE out = file.Ok() ? CreateFileA(file.TemporaryName(), GENERIC_WRITE, 0, nullptr,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                           : INVALID_HANDLE_VALUE;
    bool writing = out != INVALID_HANDLE_VALUE;
    const bool whole = ReadPieces(slot, length, [&](const std::uint8_t* bytes, std::uint32_t size) {
        DWORD written = 0;
        writing = writing && WriteFile(out, bytes, size, &written, nullptr) && written == size;
    });
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (!whole) return Block::Short;
    return writing && file.Commit() ? Block::Written : Block::NotWritten;
}

enum class Member { Unpacked, Refused, Damaged };

// A member's name, which must end at its terminator; one with a zero inside, or too long for
// any file (read past a piece at a time), comes back empty and names nothing.
bool ReadMemberName(std::int32_t slot, std::uint32_t length, std::string& name) {
    name.clear();
    if (length > kFullPathLimit) {
        std::uint8_t last = 1;
        return ReadPieces(slot, length,
                          [&](const std::uint8_t* bytes, std::uint32_t size) {
                              last = bytes[size - 1];
                          }) &&
               last == 0;
    }
    char text[kFullPathLimit];
    if (ReadSlotBytes(slot, text, length) != length || text[length - 1] != 0) return false;
    if (std::strlen(text) + 1 == length) name = text;
    return true;
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Makes the folders of a member's full path below the target's (its first targetLength
// characters); true when the member's folder is there.
bool MakeMemberFolders(const std::string& full, std::size_t targetLength) {
    const std::size_t last = full.rfind('\\');
    if (last <= targetLength || IsFolder(full.substr(0, last))) return true;
    for (std::size_t at = full.find('\\', targetLength + 1); at <= last;
         at = full.find('\\', at + 1))
        CreateDirectoryA(full.substr(0, at).c_str(), nullptr);
    return IsFolder(full.substr(0, last));
}

// One member of a packed tree under the target folder (a full path): its name passes the one
// check for names from outside before anything is made, so it cannot leave the target, name a
// device or go past the path limit (which bounds its folders' depth).
Member UnpackMember(std::int32_t slot, const std::string& target) {
    std::uint32_t length = 0, size = 0;
    if (!ReadLength(slot, length)) return Member::Damaged;
    if (length == 0) return Member::Unpacked; // an entry without a name holds nothing
    std::string relative, full;
    if (!ReadMemberName(slot, length, relative) || !ReadLength(slot, size)) return Member::Damaged;
    if (JoinOutsideName(target, relative, &full) != NameProblem::None ||
        full.compare(0, target.size(), target) != 0 || !MakeMemberFolders(full, target.size()))
        return SkipPieces(slot, size) ? Member::Refused : Member::Damaged;
    switch (UnpackBlock(slot, size, full.c_str())) {
    case Block::Written:
        return Member::Unpacked;
    case Block::NotWritten:
        return Member::Refused;
    default:
        return Member::Damaged;
    }
}

// The folder's full path without a closing backslash (a root keeps its own); empty when it is
// no folder or its path passes the limit.
std::string FullFolder(const std::string& folder) {
    char full[kFullPathLimit];
    const DWORD length = GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full) return {};
    std::string path(full, length);
    if (path.size() > 3 && path.back() == '\\') path.pop_back();
    return IsFolder(path) ? path : std::string();
}

void UnpackTree(std::int32_t slot, const char* target) {
    std::string folder = target;
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    MakePathDirectories(folder);
    const std::string full = FullFolder(folder);
    if (full.empty()) return RaiseRuntimeError(kFileWriteFailed);
    std::uint32_t count = 0;
    if (ReadSlotBytes(slot, &count, 4) != 4) return RaiseRuntimeError(kFileReadFailed);
    // Making a file takes a millisecond or two under any name and size, so the members a pack
    // declares are paid for before the first is made: a small pack of a million empty members
    // would otherwise keep the program for the better part of an hour.
    if (!ChargeLoad(count, kMemberBytes)) return;
    bool refused = false;
    for (std::uint32_t i = 0; i < count; ++i) {
        const Member member = UnpackMember(slot, full);
        // A length the file cannot hold, or a name without its end: the rest is not trusted.
        if (member == Member::Damaged) return RaiseRuntimeError(kFileReadFailed);
        refused = refused || member == Member::Refused;
    }
    if (refused) RaiseRuntimeError(kFileWriteFailed);
}

// Copies length bytes of the file into the slot a piece at a time. A file that ends early (it
// shrank since its size was taken) is made up with zeros, so that the pack holds the length it
// declares; false then.
bool CopyPieces(HANDLE file, std::uint32_t length, std::int32_t slot) {
    std::vector<std::uint8_t> piece(std::min(length, kPieceBytes));
    bool whole = true;
    for (std::uint32_t left = length; left > 0;) {
        const std::uint32_t size = std::min(left, kPieceBytes);
        DWORD read = 0;
        whole = whole && ReadFile(file, piece.data(), size, &read, nullptr) && read == size;
        if (!whole) std::fill(piece.begin() + read, piece.begin() + size, 0);
        if (!WriteSlotBytes(slot, piece.data(), size)) break;
        left -= size;
    }
    return whole;
}

// One walk over a tree to pack: counting its files, or writing them.
struct PackWalk {
    std::int32_t slot;
    bool writing;
    std::uint32_t count = 0;
    bool leftOut = false; // an entry whose name the platform takes for a device
};

void PackDirectoryWalk(PackWalk& walk, const std::string& directory, const std::string& prefix) {
    const std::string back = CurrentDirectory();
    if (back.empty() || !SetCurrentDirectoryA(directory.c_str())) return;
    ForEachEntry([&](const Entry& e) {
        // Opening "com1" (a file another system made) would open the port: never packed.
        if (CheckNamePart(e.name) != NameProblem::None) return void(walk.leftOut = true);
        if (e.directory) return PackDirectoryWalk(walk, e.name, prefix + e.name + "\\");
        if (!walk.writing) return void(++walk.count);
        const std::string name = prefix + e.name;
        const std::uint32_t length = static_cast<std::uint32_t>(name.size() + 1);
        if (WriteSlotBytes(walk.slot, &length, 4) &&
            WriteSlotBytes(walk.slot, name.c_str(), length))
            PackFileIntoSlot(walk.slot, e.name.c_str());
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
    LARGE_INTEGER size{};
    // A packed length has 32 bits: a larger file packs as an empty one, and the command fails.
    const bool fits = GetFileSizeEx(file, &size) && size.QuadPart <= 0xFFFFFFFF;
    const std::uint32_t length = fits ? static_cast<std::uint32_t>(size.QuadPart) : 0;
    bool whole = fits;
    if (WriteSlotBytes(slot, &length, 4))
        whole = GuardLoad([&] { return CopyPieces(file, length, slot); }) && whole;
    CloseHandle(file);
    if (!whole) RaiseRuntimeError(kFileReadFailed);
}

void PackDirectoryIntoSlot(std::int32_t slot, const char* directory) {
    if (!OpenSlot(slot, false) || !directory) return;
    PackWalk counting{slot, false}, writing{slot, true};
    const bool walked = GuardLoad([&] {
        PackDirectoryWalk(counting, directory, "");
        if (!WriteSlotBytes(slot, &counting.count, 4)) return true;
        PackDirectoryWalk(writing, directory, "");
        return !writing.leftOut;
    });
    if (!walked) RaiseRuntimeError(kFileReadFailed);
}

void UnpackFileFromSlot(std::int32_t slot, const char* name) {
    if (!OpenSlot(slot, false) || !name) return;
    Block block = Block::NotWritten;
    const bool guarded = GuardLoad([&] {
        MakePathDirectories(name);
        std::uint32_t length = 0;
        block = ReadLength(slot, length) ? UnpackBlock(slot, length, name) : Block::Short;
        return true;
    });
    if (block == Block::Short) return RaiseRuntimeError(kFileReadFailed);
    if (!guarded || block == Block::NotWritten) RaiseRuntimeError(kFileWriteFailed);
}

void UnpackDirectoryFromSlot(std::int32_t slot, const char* target) {
    if (!OpenSlot(slot, false) || !target) return;
    LoadScope scope(SlotBytesLeft(slot));
    if (!scope.Guard([&] { return UnpackTree(slot, target), true; }))
        RaiseRuntimeError(kFileWriteFailed);
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
