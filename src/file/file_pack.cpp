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

// The piece packed bytes move through: had before anything is read from the slot, so that running
// out of memory leaves the slot where it was.
using Piece = std::vector<std::uint8_t>;

// Reads the slot's next length bytes a piece at a time, handing each piece to put; false when
// the slot holds fewer.
template <class Put>
bool ReadPieces(std::int32_t slot, std::uint32_t length, Piece& piece, Put put) {
    for (std::uint32_t left = length; left > 0;) {
        const std::uint32_t size = std::min(left, kPieceBytes);
        if (ReadSlotBytes(slot, piece.data(), size) != size) return false;
        put(piece.data(), size);
        left -= size;
    }
    return true;
}

bool SkipPieces(std::int32_t slot, std::uint32_t length, Piece& piece) {
    return ReadPieces(slot, length, piece, [](const std::uint8_t*, std::uint32_t) {});
}

enum class Block { Written, NotWritten, Short };

// Unpacks the slot's next length bytes as the whole file at path. They go to a file beside it
// that replaces it only once whole, so a write that fails leaves what was there; the bytes are
// read past either way, keeping the slot at what follows.
Block WriteSlotBlockToFile(std::int32_t slot, std::uint32_t length, ReplacingFile& file,
                           Piece& piece) {
    HANDLE out = file.Ok() ? CreateFileA(file.TemporaryName(), GENERIC_WRITE, 0, nullptr,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                           : INVALID_HANDLE_VALUE;
    bool writing = out != INVALID_HANDLE_VALUE;
    const bool whole =
        ReadPieces(slot, length, piece, [&](const std::uint8_t* bytes, std::uint32_t size) {
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
bool ReadMemberName(std::int32_t slot, std::uint32_t length, std::string& name, Piece& piece) {
    name.clear();
    if (length > kFullPathLimit) {
        std::uint8_t last = 1;
        return ReadPieces(slot, length, piece,
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
Member UnpackMember(std::int32_t slot, const std::string& target, Piece& piece) {
    std::uint32_t length = 0, size = 0;
    if (!ReadLength(slot, length)) return Member::Damaged;
    if (length == 0) return Member::Unpacked; // an entry without a name holds nothing
    std::string relative, full;
    if (!ReadMemberName(slot, length, relative, piece) || !ReadLength(slot, size))
        return Member::Damaged;
    if (JoinOutsideName(target, relative, &full) != NameProblem::None ||
        full.compare(0, target.size(), target) != 0 || !MakeMemberFolders(full, target.size()))
        return SkipPieces(slot, size, piece) ? Member::Refused : Member::Damaged;
    ReplacingFile file(full.c_str());
    switch (WriteSlotBlockToFile(slot, size, file, piece)) {
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
    Piece piece(kPieceBytes);
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
        const Member member = UnpackMember(slot, full, piece);
        // A length the file cannot hold, or a name without its end: the rest is not trusted.
        if (member == Member::Damaged) return RaiseRuntimeError(kFileReadFailed);
        refused = refused || member == Member::Refused;
    }
    if (refused) RaiseRuntimeError(kFileWriteFailed);
}

enum class Packed { Whole, NotRead, NotWritten };

// Packs the open file into the slot: its name's length and name when it has one, its length and
// its bytes, through the caller's piece (allocated before anything is written). A file that
// cannot be read whole, or is past the 32 bits of a packed length, leaves the slot as it was, so
// what stands there is always whole members.
Packed PackOpenFile(std::int32_t slot, HANDLE file, const std::string* name,
                    std::vector<std::uint8_t>& piece) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 || size.QuadPart > 0xFFFFFFFF)
        return Packed::NotRead;
    const auto length = static_cast<std::uint32_t>(size.QuadPart);
    const std::int64_t start = SlotWritePosition(slot);
    if (start < 0) return Packed::NotWritten; // a slot that could not be cut: spoilt
    if (name) {
        const auto nameLength = static_cast<std::uint32_t>(name->size() + 1);
        if (!WriteSlotBytes(slot, &nameLength, 4) ||
            !WriteSlotBytes(slot, name->c_str(), nameLength))
            return Packed::NotWritten;
    }
    if (!WriteSlotBytes(slot, &length, 4)) return Packed::NotWritten;
    for (std::uint32_t left = length; left > 0;) {
        const std::uint32_t count = std::min(left, kPieceBytes);
        DWORD read = 0;
        if (!ReadFile(file, piece.data(), count, &read, nullptr) || read != count)
            return CutSlotAt(slot, start) ? Packed::NotRead : Packed::NotWritten;
        if (!WriteSlotBytes(slot, piece.data(), count)) return Packed::NotWritten;
        left -= count;
    }
    return Packed::Whole;
}

// Opened to be packed: shared with readers only, so that no one changes it while it is read.
HANDLE OpenToPack(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// A file of a tree to pack: its name in the pack and where it is.
struct PackEntry {
    std::string name;
    std::wstring path;
};

// The tree's files, gathered in one walk before anything is written, so that the count the pack
// declares is what it holds however the tree changes meanwhile.
struct PackTree {
    std::vector<PackEntry> files;
    bool leftOut = false; // an entry that cannot be packed: a folder not entered, a device name
};

// Changes into a folder for a walk and back at the end, however the walk ends.
class FolderVisit {
public:
    explicit FolderVisit(const std::string& folder)
        : back_(CurrentDirectory()),
          entered_(!back_.empty() && SetCurrentDirectoryA(folder.c_str())) {}
    ~FolderVisit() {
        if (entered_) SetCurrentDirectoryA(back_.c_str());
    }
    FolderVisit(const FolderVisit&) = delete;
    FolderVisit& operator=(const FolderVisit&) = delete;
    bool Entered() const { return entered_; }

private:
    std::string back_;
    bool entered_;
};

// Gathers the folder's files depth first, in the order of its listing; false when the folder
// cannot be entered.
bool PackDirectoryWalk(PackTree& tree, const std::string& folder, const std::string& prefix) {
    const FolderVisit visit(folder);
    if (!visit.Entered()) return false;
    std::string here = CurrentDirectory();
    if (here.empty() || here.back() != '\\') here += '\\';
    ForEachEntry([&](const Entry& e) {
        // Opening "com1" (a file another system made) would open the port: never packed.
        if (CheckNamePart(e.name) != NameProblem::None) return void(tree.leftOut = true);
        if (e.directory) {
            // A linked folder is left out, never entered: a link back up would pack the tree
            // again below itself, once for every link, down to the path limit.
            if (e.link || !PackDirectoryWalk(tree, e.name, prefix + e.name + "\\"))
                tree.leftOut = true;
            return;
        }
        // A slot's new file (the pack's own among them) is not a file yet.
        if (IsSlotScratchFile(here + e.name)) return;
        tree.files.push_back({prefix + e.name, LongPath((here + e.name).c_str())});
    });
    return true;
}

// Packs the gathered files behind a count that is written over with the number packed at the
// end. False when the slot could not be written (the error raised, and the slot's file is never
// put in place); whole tells whether every file was packed.
bool PackTreeFiles(std::int32_t slot, const PackTree& tree, std::vector<std::uint8_t>& piece,
                   bool& whole) {
    const std::int64_t countAt = SlotWritePosition(slot);
    std::uint32_t count = 0;
    if (countAt < 0 || !WriteSlotBytes(slot, &count, 4)) return false;
    whole = !tree.leftOut;
    for (const PackEntry& entry : tree.files) {
        HANDLE file = OpenToPack(entry.path);
        if (file == INVALID_HANDLE_VALUE) {
            whole = false; // gone, or held by another program
            continue;
        }
        const Packed packed = PackOpenFile(slot, file, &entry.name, piece);
        CloseHandle(file);
        if (packed == Packed::NotWritten) return false;
        if (packed == Packed::NotRead) whole = false;
        if (packed == Packed::Whole) ++count;
    }
    return PatchSlotBytes(slot, countAt, &count, 4);
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
    if (!OpenSlot(slot, false)) return;
    if (!name) return RaiseRuntimeError(kFileReadFailed); // names no file: nothing packed
    // Nothing is written for a file that cannot be packed whole: the members packed after it
    // keep their places.
    HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return RaiseRuntimeError(kFileReadFailed);
    std::vector<std::uint8_t> piece;
    const Packed packed = GuardLoad([&] { return piece.resize(kPieceBytes), true; })
                              ? PackOpenFile(slot, file, nullptr, piece)
                              : Packed::NotRead;
    CloseHandle(file);
    if (packed == Packed::NotRead) RaiseRuntimeError(kFileReadFailed);
}

// A file that cannot be opened or read whole, a folder that cannot be entered, a name the
// platform takes for a device: left out, the rest packed, and the command fails at the end.
void PackDirectoryIntoSlot(std::int32_t slot, const char* directory) {
    if (!OpenSlot(slot, false)) return;
    if (!directory) return RaiseRuntimeError(kFileReadFailed);
    PackTree tree;
    std::vector<std::uint8_t> piece;
    // A folder that is not there packs nothing.
    if (!GuardLoad(
            [&] { return piece.resize(kPieceBytes), PackDirectoryWalk(tree, directory, ""); }))
        return RaiseRuntimeError(kFileReadFailed);
    bool whole = false;
    if (PackTreeFiles(slot, tree, piece, whole) && !whole) RaiseRuntimeError(kFileReadFailed);
}

void UnpackFileFromSlot(std::int32_t slot, const char* name) {
    if (!OpenSlot(slot, false)) return;
    // No name makes no file: the bytes are read past as for any file that cannot be written.
    if (!name) name = "";
    Block block = Block::NotWritten;
    const bool guarded = GuardLoad([&] {
        MakePathDirectories(name);
        // What may run out of memory comes before the length is read.
        Piece piece(kPieceBytes);
        ReplacingFile file(name);
        std::uint32_t length = 0;
        block = ReadLength(slot, length) ? WriteSlotBlockToFile(slot, length, file, piece)
                                         : Block::Short;
        return true;
    });
    if (block == Block::Short) return RaiseRuntimeError(kFileReadFailed);
    if (!guarded || block == Block::NotWritten) RaiseRuntimeError(kFileWriteFailed);
}

void UnpackDirectoryFromSlot(std::int32_t slot, const char* target) {
    if (!OpenSlot(slot, false)) return;
    // An empty name would be the root of the current drive.
    if (!target || !*target) return RaiseRuntimeError(kFileWriteFailed);
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
