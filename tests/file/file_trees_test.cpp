#include "core/win32.h"

#include "core/core.h"
#include "file/file.h"
#include "file/file_state.h"
#include "support/error_cell.h"
#include "support/port_files.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

class Trees : public ::testing::Test {
protected:
    void SetUp() override {
        LinkModules();
        FileConstructor();
        FilePassCoreData(g_CoreData);
        start = CurrentDirectory();
        ASSERT_TRUE(SetCurrentDirectoryA(folder.Path().c_str()));
    }
    void TearDown() override {
        FileDestructor();
        SetCurrentDirectoryA(start.c_str());
    }
    ErrorCellScope errors;
    TempFolder folder;
    std::string start;
};

std::string U32(std::uint32_t v) {
    return std::string(reinterpret_cast<const char*>(&v), 4);
}

// One member of a packed tree: its name and its bytes.
std::string Member(const std::string& name, const std::string& data) {
    return U32(static_cast<std::uint32_t>(name.size() + 1)) + name + '\0' +
           U32(static_cast<std::uint32_t>(data.size())) + data;
}

// Every file and folder below the folder, as paths relative to it.
std::set<std::string> Below(const std::string& folder, const std::string& prefix = "") {
    std::set<std::string> found;
    WIN32_FIND_DATAA entry{};
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &entry)) {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        found.insert(prefix + name);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            found.merge(Below(folder + "\\" + name, prefix + name + "\\"));
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    return found;
}

// A file of bytes, each followed by that many zeros which are never written (the file system
// keeps them as holes): a file of gigabytes that costs no disk.
struct Stretch {
    std::string bytes;
    std::uint64_t zeros = 0;
};
void WriteSparse(const std::string& path, const std::vector<Stretch>& runs) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER at{};
    for (const Stretch& run : runs) {
        DWORD written = 0;
        WriteFile(file, run.bytes.data(), static_cast<DWORD>(run.bytes.size()), &written, nullptr);
        at.QuadPart += static_cast<LONGLONG>(run.bytes.size() + run.zeros);
        SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    }
    SetEndOfFile(file);
    CloseHandle(file);
}

constexpr std::uint32_t kGigabyte = 1u << 30;

// Slot n opened to write on the null device: a pack of a gigabyte writes nothing to the disk.
class NullSlot {
public:
    explicit NullSlot(std::int32_t slot) : slot_(slot) {
        g_File.slots[slot] = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~NullSlot() {
        CloseHandle(g_File.slots[slot_]);
        g_File.slots[slot_] = nullptr;
    }
    bool Ok() const { return g_File.slots[slot_] != INVALID_HANDLE_VALUE; }

private:
    std::int32_t slot_;
};

} // namespace

// Names from a pack pass the one check for names from outside before anything is made: none
// leaves the target, names a device, or goes past the path limit (so a name of 35,000 folders is
// refused at once, not made folder by folder). The members around them are still unpacked, and
// the command fails with its write error.
TEST_F(Trees, PackedNamesPassOneCheckBeforeAnythingIsMade) {
    std::string deep;
    for (int i = 0; i < 35000; ++i)
        deep += "a\\";
    const std::vector<std::string> refused = {
        "..\\escaped.txt", "C:\\rooted.txt",       "a\\..\\..\\up.txt",
        "\\abs.txt",       "sub\\a*b.txt",         "a?b.txt",
        "x\x01y.txt",      "two\\\\slashes.txt",   "ads.txt:stream",
        "folder\\",        "sub\\. .\\dots.txt",   std::string(300, 'n'),
        deep + "x.txt",    std::string(70000, '.')};
    std::string pack = U32(static_cast<std::uint32_t>(refused.size() + 3)) +
                       Member("ok.txt", "fine") + U32(0); // a nameless entry holds nothing
    for (const std::string& name : refused)
        pack += Member(name, "x");
    folder.Write("evil.bin", pack + Member("in\\last.txt", "end"));
    OpenToRead(1, "evil.bin");
    UnpackDirectoryFromSlot(1, "box");
    CloseFileSlot(1);
    EXPECT_EQ(errors.Last(), 8212);
    EXPECT_EQ(Below(folder.File("box")), (std::set<std::string>{"ok.txt", "in", "in\\last.txt"}));
    EXPECT_EQ(Below(folder.Path()), (std::set<std::string>{"evil.bin", "box", "box\\ok.txt",
                                                           "box\\in", "box\\in\\last.txt"}));
    EXPECT_EQ(FileExists("C:\\rooted.txt"), 0);

    // Lengths beyond the file and names without their terminator end the unpacking with the read
    // error; what came before them stays.
    for (const std::string& damaged :
         {U32(3) + Member("first.txt", "1") + U32(0x7FFFFFFF) + "name",
          U32(3) + Member("first.txt", "1") + U32(4) + "abcd" + U32(1) + "z",
          U32(2) + Member("first.txt", "1") + U32(2) + "z" + '\0' + U32(100) + "short"}) {
        errors.Clear();
        folder.Write("damaged.bin", damaged);
        OpenToRead(1, "damaged.bin");
        UnpackDirectoryFromSlot(1, "box2");
        CloseFileSlot(1);
        EXPECT_EQ(errors.Last(), 8211);
        EXPECT_EQ(Below(folder.File("box2")), std::set<std::string>{"first.txt"});
    }
}

// Each member a pack declares is paid for before the first is made: 2,000 empty members in 20 KB
// pass the budget the pack's size sets (64 MB and 1,024 times its size), 500 do not.
TEST_F(Trees, MembersArePaidForBeforeAnyIsMade) {
    for (const std::uint32_t count : {2000u, 500u}) {
        SCOPED_TRACE(count);
        errors.Clear();
        std::string pack = U32(count);
        for (std::uint32_t i = 0; i < count; ++i)
            pack += Member(std::to_string(i % 4), "");
        folder.Write("many.bin", pack);
        OpenToRead(1, "many.bin");
        UnpackDirectoryFromSlot(1, "many");
        CloseFileSlot(1);
        EXPECT_EQ(errors.Last(), count == 2000 ? 8212 : 0);
        EXPECT_EQ(Below(folder.File("many")).size(), count == 2000 ? 0u : 4u);
    }
}

// A member or a name that claims a gigabyte (the pack a sparse file that holds it) is read past
// a piece at a time, never held whole; a file that large packs the same way. The null device
// takes what is packed.
TEST_F(Trees, LengthsPastMemoryMoveInPieces) {
    folder.Write("target\\keep.txt", "kept");
    // Each pack is followed by a word the slot must stand at afterwards.
    struct Case {
        const char* what;
        std::vector<Stretch> pack;
        std::function<void()> command;
        std::set<std::string> box;
    };
    const std::vector<Case> cases = {
        {"a file onto a folder",
         {{U32(kGigabyte), kGigabyte}},
         [] { UnpackFileFromSlot(1, "target"); },
         {}},
        {"a name",
         {{U32(2) + U32(kGigabyte), kGigabyte}, {U32(4) + "data" + Member("ok.txt", "fine")}},
         [] { UnpackDirectoryFromSlot(1, "box"); },
         {"ok.txt"}},
        {"a refused member",
         {{U32(2) + U32(4) + "a*b" + '\0' + U32(kGigabyte), kGigabyte}, {Member("ok.txt", "fine")}},
         [] { UnpackDirectoryFromSlot(1, "box"); },
         {"ok.txt"}},
    };
    for (Case c : cases) {
        errors.Clear();
        c.pack.push_back({U32(0x12345678)});
        WriteSparse(folder.File("big.pack"), c.pack);
        OpenToRead(1, "big.pack");
        c.command();
        EXPECT_EQ(errors.Last(), 8212) << c.what;
        EXPECT_EQ(ReadFileLong(1), 0x12345678) << c.what;
        EXPECT_EQ(Below(folder.File("box")), c.box) << c.what;
        CloseFileSlot(1);
        DeleteDirectory("box");
    }
    EXPECT_EQ(TempFolder::Read(folder.File("target\\keep.txt")), "kept");

    // A folder holding a gigabyte's file packs it through a piece; a file past the 32 bits of a
    // packed length packs as empty, and the command fails.
    MakeDirectory("tree");
    WriteSparse(folder.File("tree\\big.bin"), {{"", kGigabyte}});
    errors.Clear();
    {
        NullSlot slot(2);
        ASSERT_TRUE(slot.Ok());
        PackDirectoryIntoSlot(2, "tree");
        EXPECT_EQ(errors.Last(), 0);
    }
    WriteSparse(folder.File("huge.bin"), {{"", std::uint64_t{1} << 32}, {"abcde"}});
    OpenToWrite(3, "packed.bin");
    PackFileIntoSlot(3, "huge.bin");
    EXPECT_EQ(errors.Last(), 8211);
    CloseFileSlot(3);
    EXPECT_EQ(TempFolder::Read(folder.File("packed.bin")), U32(0));
}

// With every port a plain file of the runner's, a member named for a device in any folder and
// with any extension shows as bytes there when it reaches the device; a file of such a name that
// another system made (here through a path the platform takes literally) would be read from the
// port when its folder is packed.
TEST_F(Trees, DeviceNamesAreNeitherUnpackedNorPacked) {
    std::string why;
    if (!PortFiles::Mapped(&why)) GTEST_SKIP() << why;
    const PortFiles ports;
    const std::vector<std::string> names = PortFiles::Names();
    const char* forms[] = {"%s", "sub\\%s.txt", "%s .tar.gz", "a\\b\\%s"};
    std::string members;
    for (std::size_t i = 0; i < names.size(); ++i) {
        char name[64];
        std::snprintf(name, sizeof name, forms[i % 4], names[i].c_str());
        members += Member(CharLowerA(name), "bytes for " + names[i]);
    }
    for (const char* device : {"NUL", "aux.txt", "prn"})
        members += Member(device, "x");
    folder.Write("devices.bin", U32(static_cast<std::uint32_t>(names.size() + 4)) + members +
                                    Member("ok.txt", "fine"));
    OpenToRead(1, "devices.bin");
    UnpackDirectoryFromSlot(1, "box");
    CloseFileSlot(1);
    EXPECT_EQ(ports.Written(), std::vector<std::string>{});
    EXPECT_EQ(errors.Last(), 8212);
    EXPECT_EQ(Below(folder.File("box")), std::set<std::string>{"ok.txt"});

    const std::string literal = "\\\\?\\" + folder.File("box\\com1");
    HANDLE file = CreateFileA(literal.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    errors.Clear();
    OpenToWrite(2, "packed.bin");
    PackDirectoryIntoSlot(2, "box");
    EXPECT_EQ(errors.Last(), 8211);
    CloseFileSlot(2);
    EXPECT_EQ(TempFolder::Read(folder.File("packed.bin")), U32(1) + Member("ok.txt", "fine"));
    DeleteFileA(literal.c_str());
}

// A tree deeper than the path limit goes whole; one that keeps a file (held open without leave
// to delete it) stays, and the command says so.
TEST_F(Trees, DeleteDirectoryRemovesDeepTreesAndReportsWhatStays) {
    std::wstring path = L"\\\\?\\" + std::wstring(folder.Path().begin(), folder.Path().end());
    path += L"\\deep";
    for (int level = 0; level < 200; ++level, path += L"\\level")
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    HANDLE bottom = CreateFileW((path + L"\\x.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_READONLY, nullptr);
    ASSERT_NE(bottom, INVALID_HANDLE_VALUE);
    CloseHandle(bottom);
    DeleteDirectory("deep");
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_EQ(DirectoryExists("deep"), 0);

    folder.Write("held\\in\\x.txt", "x");
    folder.Write("held\\y.txt", "y");
    HANDLE held = CreateFileA(folder.File("held\\in\\x.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    DeleteDirectory("held");
    EXPECT_EQ(errors.Last(), 8102);
    EXPECT_EQ(Below(folder.File("held")), (std::set<std::string>{"in", "in\\x.txt"}));
    CloseHandle(held);
    errors.Clear();
    DeleteDirectory("held");
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_EQ(DirectoryExists("held"), 0);
}
