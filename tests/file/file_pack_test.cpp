// Packing folders and files into slots and unpacking them: whole trees, what is left out, hostile
// packs, gigabyte files, device names and linked folders.
#include "core/win32.h"

#include "file/files_fixture.h"
#include "support/host_links.h"
#include "support/port_files.h"

#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

TEST_F(Files, TreesPackAndUnpackToIdenticalFiles) {
    folder.Write("src\\a.txt", "alpha");
    folder.Write("src\\d1\\b.bin", std::string("\0\1\2", 3));
    folder.Write("src\\d1\\d2\\c.txt", "deep");
    MakeDirectory("src\\empty");
    OpenToWrite(1, "pack.bin");
    PackDirectoryIntoSlot(1, "src");
    CloseFileSlot(1);
    EXPECT_EQ(CurrentDirectory(), folder.Path());
    OpenToRead(1, "pack.bin");
    UnpackDirectoryFromSlot(1, "dst");
    CloseFileSlot(1);
    EXPECT_EQ(CurrentDirectory(), folder.Path());
    EXPECT_EQ(TempFolder::Read(folder.File("dst\\a.txt")), "alpha");
    EXPECT_EQ(TempFolder::Read(folder.File("dst\\d1\\b.bin")), std::string("\0\1\2", 3));
    EXPECT_EQ(TempFolder::Read(folder.File("dst\\d1\\d2\\c.txt")), "deep");

    MakeDirectory("nothing");
    OpenToWrite(2, "empty.bin");
    PackDirectoryIntoSlot(2, "nothing");
    CloseFileSlot(2);
    EXPECT_EQ(TempFolder::Read(folder.File("empty.bin")), U32(0));
}

// Packs of folders that hold what cannot be packed, hold the pack's own file, or change while they
// are packed (files made and removed by another thread, over many packs): a pack the command calls
// whole unpacks whole, one that fails (8211, once the rest is packed) still unpacks, holding every
// member beside what failed, and none holds more or fewer members than it declares. A folder that
// is not there, or a file that cannot be opened, packs nothing.
TEST_F(Files, PacksHoldWhatTheyDeclareAndSayWhatTheyLeftOut) {
    // The pack's error, and what unpacking it made.
    const auto pack = [&](const char* file, const char* packed, Listing* unpacked) {
        errors.Clear();
        OpenToWrite(1, file);
        PackDirectoryIntoSlot(1, packed);
        const std::int32_t error = errors.Last();
        CloseFileSlot(1);
        errors.Clear();
        OpenToRead(1, file);
        UnpackDirectoryFromSlot(1, "out");
        EXPECT_EQ(ReadFileByte(1), 0); // nothing after the members the pack declares
        EXPECT_EQ(IsEndOfFile(1), 1);
        CloseFileSlot(1);
        EXPECT_EQ(errors.Last(), 0);
        *unpacked = TempFolder::Tree(folder.File("out"));
        DeleteDirectory("out");
        DeleteFileA(file);
        return error;
    };
    const Listing stable = {{"a.txt", "alpha"}, {"sub\\", ""}, {"sub\\b.txt", "beta"}};
    folder.Write("save\\a.txt", "alpha");
    folder.Write("save\\sub\\b.txt", "beta");
    Listing unpacked;
    EXPECT_EQ(pack("save\\own.pak", "save", &unpacked), 0);
    EXPECT_EQ(unpacked, stable);
    WriteSparse("save\\huge.bin", "h", std::uint64_t{1} << 32); // past a packed length's 32 bits
    HANDLE held = CreateFileA(folder.Write("save\\held.txt", "held").c_str(), GENERIC_READ, 0,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(pack("pack.bin", "save", &unpacked), 8211);
    EXPECT_EQ(unpacked, stable);
    for (const char* name : {"missing.txt", "save\\held.txt", "save\\a.txt"}) {
        errors.Clear();
        OpenToWrite(2, "files.bin");
        PackFileIntoSlot(2, name);
        EXPECT_EQ(errors.Last(), std::string(name) == "save\\a.txt" ? 0 : 8211) << name;
        CloseFileSlot(2);
        EXPECT_EQ(TempFolder::Read(folder.File("files.bin")),
                  std::string(name) == "save\\a.txt" ? U32(5) + "alpha" : "");
        DeleteFileA("files.bin");
    }
    CloseHandle(held);
    DeleteFileA("save\\huge.bin");
    DeleteFileA("save\\held.txt");
    OpenToWrite(2, "nothing.bin");
    PackDirectoryIntoSlot(2, "nothing");
    EXPECT_EQ(errors.Last(), 8211);
    CloseFileSlot(2);
    EXPECT_EQ(TempFolder::Read(folder.File("nothing.bin")), "");

    const Listing changing = {{"sub\\made.txt", "made"}, {"gone.txt", "gone"}};
    std::atomic<bool> stop{false};
    std::thread changer([&] {
        // Each file appears whole (moved into place) and goes again.
        for (bool there = false; !stop; there = !there) {
            for (const auto& [name, bytes] : changing) {
                const std::string path = folder.File("save\\" + name);
                if (there) {
                    DeleteFileA(path.c_str());
                    continue;
                }
                PutFile(folder.File("scratch.tmp"), bytes);
                MoveFileExA(folder.File("scratch.tmp").c_str(), path.c_str(),
                            MOVEFILE_REPLACE_EXISTING);
            }
        }
    });
    for (int i = 0; i < 40; ++i) {
        const std::int32_t error = pack("pack.bin", "save", &unpacked);
        EXPECT_TRUE(error == 0 || error == 8211) << error;
        for (const auto& [name, bytes] : changing)
            if (unpacked.count(name) && unpacked[name] == bytes) unpacked.erase(name);
        EXPECT_EQ(unpacked, stable) << i;
    }
    stop = true;
    changer.join();
}

// Linked folders (made on the host side) are left out, never entered: a link back up packs
// nothing twice, and two links to their own folder do not make the pack walk without end. The
// rest is packed whole, and the command says what it left out.
TEST_F(Files, PacksLeaveLinkedFoldersOut) {
    folder.Write("one\\a.txt", "alpha");
    folder.Write("one\\sub\\b.txt", "beta");
    folder.Write("two\\a.txt", "alpha");
    const HostLink back(folder.File("one"), folder.File("one\\sub\\back"));
    if (!back.Missing().empty()) GTEST_SKIP() << back.Missing();
    const HostLink l1(folder.File("two"), folder.File("two\\l1"));
    const HostLink l2(folder.File("two"), folder.File("two\\l2"));
    ASSERT_EQ(l1.Missing() + l2.Missing(), "");
    const struct {
        const char* packed;
        std::int32_t members;
        Listing tree;
    } packs[] = {{"one", 2, {{"a.txt", "alpha"}, {"sub\\", ""}, {"sub\\b.txt", "beta"}}},
                 {"two", 1, {{"a.txt", "alpha"}}}};
    for (const auto& [packed, members, tree] : packs) {
        errors.Clear();
        OpenToWrite(1, "pack.bin");
        PackDirectoryIntoSlot(1, packed);
        EXPECT_EQ(errors.Last(), 8211) << packed;
        CloseFileSlot(1);
        OpenToRead(1, "pack.bin");
        EXPECT_EQ(ReadFileLong(1), members) << packed;
        CloseFileSlot(1);
        OpenToRead(1, "pack.bin");
        UnpackDirectoryFromSlot(1, "out");
        CloseFileSlot(1);
        EXPECT_EQ(TempFolder::Tree(folder.File("out")), tree) << packed;
        DeleteDirectory("out");
        DeleteFileA("pack.bin");
    }
}

// A slot whose position cannot be read when a pack starts (a pipe, here) is spoilt as by any
// other failed write: its file, which holds what was written before, is never put in place.
TEST_F(Files, APackThatCannotReadItsPositionSpoilsTheSlot) {
    folder.Write("save\\a.txt", "alpha");
    const std::function<void()> packs[] = {[] { PackDirectoryIntoSlot(1, "save"); },
                                           [] { PackFileIntoSlot(1, "save\\a.txt"); }};
    for (const auto& pack : packs) {
        errors.Clear();
        OpenToWrite(1, "pack.bin");
        WriteFileLong(1, 7);
        HANDLE read = nullptr, write = nullptr;
        ASSERT_TRUE(CreatePipe(&read, &write, nullptr, 1 << 16));
        HANDLE file = std::exchange(g_File.slots[1], write);
        pack();
        g_File.slots[1] = file;
        EXPECT_EQ(errors.Last(), 8212);
        CloseFileSlot(1);
        EXPECT_EQ(FileExists("pack.bin"), 0);
        CloseHandle(read);
        CloseHandle(write);
    }
}

// Packs that must not be trusted, unpacked into "box": the error, the tree made there (nothing
// beside it), and the slot past a pack read through. No name leaves the target, names a device or
// passes the path limit (35,000 folders are refused at once, not made one by one). Members are
// paid for before the first is made: 2,000 empty ones (20 KB) go past the budget, 500 do not.
// A gigabyte that a name or a refused member claims is read past a piece at a time.
TEST_F(Files, UntrustedPacksUnpackWhatPassesTheirChecks) {
    std::string deep;
    for (int i = 0; i < 35000; ++i)
        deep += "a\\";
    std::string refused = U32(17) + Member("ok.txt", "fine") + U32(0); // a nameless entry: nothing
    for (const std::string& name : std::initializer_list<std::string>{
             "..\\escaped.txt", "C:\\rooted.txt", "a\\..\\..\\up.txt", "\\abs.txt", "sub\\a*b.txt",
             "a?b.txt", "x\x01y.txt", "two\\\\slashes.txt", "ads.txt:stream", "folder\\",
             "sub\\. .\\dots.txt", std::string(300, 'n'), deep + "x.txt", std::string(70000, '.')})
        refused += Member(name, "x");
    const auto empties = [](std::uint32_t count) {
        std::string pack = U32(count);
        for (std::uint32_t i = 0; i < count; ++i)
            pack += Member(std::to_string(i % 4), "");
        return pack;
    };
    const std::string first = Member("first.txt", "1"), ok = Member("ok.txt", "fine");
    struct Row {
        std::string head;
        std::int32_t error;
        Listing box;
        bool readThrough = true;
        std::uint64_t gap = 0; // zeros between head and tail
        std::string tail = "";
    };
    const Listing firstOnly = {{"first.txt", "1"}}, okOnly = {{"ok.txt", "fine"}};
    const Row rows[] = {
        {refused + Member("in\\last.txt", "end"),
         8212,
         {{"ok.txt", "fine"}, {"in\\", ""}, {"in\\last.txt", "end"}}},
        {U32(3) + first + U32(0x7FFFFFFF) + "name", 8211, firstOnly, false},
        {U32(3) + first + U32(4) + "abcd" + U32(1) + "z", 8211, firstOnly, false},
        {U32(2) + first + U32(2) + "z" + '\0' + U32(100) + "short", 8211, firstOnly, false},
        {empties(2000), 8212, {}, false},
        {empties(500), 0, {{"0", ""}, {"1", ""}, {"2", ""}, {"3", ""}}},
        {U32(2) + U32(kGigabyte), 8212, okOnly, true, kGigabyte, U32(4) + "data" + ok},
        {U32(2) + U32(4) + "a*b" + '\0' + U32(kGigabyte), 8212, okOnly, true, kGigabyte, ok},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(&row - rows);
        errors.Clear();
        WriteSparse("pack.bin", row.head, row.gap, row.tail + U32(kAfterPack));
        OpenToRead(1, "pack.bin");
        UnpackDirectoryFromSlot(1, "box");
        EXPECT_EQ(errors.Last(), row.error);
        if (row.readThrough) {
            EXPECT_EQ(ReadFileLong(1), kAfterPack);
        }
        CloseFileSlot(1);
        DeleteFileA("pack.bin");
        EXPECT_EQ(TempFolder::Tree(folder.File("box")), row.box);
        EXPECT_EQ(TempFolder::Tree(folder.Path()).size(), row.box.size() + 1);
        DeleteDirectory("box");
    }
    for (const char* outside : {"C:\\rooted.txt", "\\abs.txt"})
        EXPECT_EQ(FileExists(outside), 0) << outside;
}

// A file of a gigabyte moves a piece at a time, never held whole: unpacked onto a folder it is
// read past; in a folder it packs into the null device. A file past the 32 bits of a packed
// length is not packed, and the command fails; the whole-file commands read its size whole.
TEST_F(Files, GigabyteFilesMoveInPieces) {
    folder.Write("target\\keep.txt", "kept");
    WriteSparse("big.pack", U32(kGigabyte), kGigabyte, U32(kAfterPack));
    OpenToRead(1, "big.pack");
    UnpackFileFromSlot(1, "target");
    EXPECT_EQ(errors.Last(), 8212);
    EXPECT_EQ(ReadFileLong(1), kAfterPack);
    CloseFileSlot(1);
    EXPECT_EQ(TempFolder::Tree(folder.File("target")), (Listing{{"keep.txt", "kept"}}));

    MakeDirectory("tree");
    WriteSparse("tree\\big.bin", "", kGigabyte);
    g_File.slots[2] = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(g_File.slots[2], INVALID_HANDLE_VALUE);
    errors.Clear();
    PackDirectoryIntoSlot(2, "tree");
    EXPECT_EQ(errors.Last(), 0);
    CloseFileSlot(2);

    // 4 GiB and 5 bytes: a size read with 32 bits would be 5.
    const std::string head = "0123456789";
    const std::uint64_t hugeSize = (std::uint64_t{1} << 32) + 5;
    WriteSparse("huge.bin", head, hugeSize - head.size() - 5, "abcde");
    errors.Clear();
    OpenToWrite(3, "packed.bin");
    PackFileIntoSlot(3, "huge.bin");
    EXPECT_EQ(errors.Last(), 8211);
    CloseFileSlot(3);
    EXPECT_EQ(TempFolder::Read(folder.File("packed.bin")), "");

    errors.Clear();
    WriteByteToFile("huge.bin", 8, 'X'); // cannot be held: refused, the file as it was
    EXPECT_EQ(errors.Last(), 8212);
    EXPECT_EQ(ReadByteFromFile("huge.bin", 8), '8');
    EXPECT_EQ(GetFileSizeByName("huge.bin"), 0x7FFFFFFF);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(GetFileAttributesExA("huge.bin", GetFileExInfoStandard, &data));
    EXPECT_EQ(std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow, hugeSize);
}

// With every port a plain file of the runner's, a member named for a device in any folder and
// with any extension shows as bytes there when it reaches the device; a file of such a name that
// another system made (here through a path the platform takes literally) would be read from the
// port when its folder is packed.
TEST_F(Files, DeviceNamesAreNeitherUnpackedNorPacked) {
    std::string why;
    if (!PortFiles::Mapped(&why)) GTEST_SKIP() << why;
    const PortFiles ports;
    const std::vector<std::string> names = PortFiles::Names();
    const char* forms[] = {"%s", "sub\\%s.txt", "%s .tar.gz", "a\\b\\%s"};
    std::string pack = U32(static_cast<std::uint32_t>(names.size() + 4));
    for (std::size_t i = 0; i < names.size(); ++i) {
        char name[64];
        std::snprintf(name, sizeof name, forms[i % 4], names[i].c_str());
        pack += Member(CharLowerA(name), "bytes for " + names[i]);
    }
    for (const char* device : {"NUL", "aux.txt", "prn"})
        pack += Member(device, "x");
    folder.Write("devices.bin", pack + Member("ok.txt", "fine"));
    OpenToRead(1, "devices.bin");
    UnpackDirectoryFromSlot(1, "box");
    CloseFileSlot(1);
    EXPECT_EQ(ports.Written(), std::vector<std::string>{});
    EXPECT_EQ(errors.Last(), 8212);
    EXPECT_EQ(TempFolder::Tree(folder.File("box")), (Listing{{"ok.txt", "fine"}}));

    const std::string literal = "\\\\?\\" + folder.File("box\\com1");
    WriteSparse(literal, "", 0);
    errors.Clear();
    OpenToWrite(2, "packed.bin");
    PackDirectoryIntoSlot(2, "box");
    EXPECT_EQ(errors.Last(), 8211);
    CloseFileSlot(2);
    EXPECT_EQ(TempFolder::Read(folder.File("packed.bin")), U32(1) + Member("ok.txt", "fine"));
    DeleteFileA(literal.c_str());
}

// Windows refuses to delete or move a device (a warning, which says nothing); here, where every
// port is a file of the runner's, the file behind the port would go. A file of an ordinary name
// beside them still goes.
TEST_F(Files, DevicesAreNeitherDeletedNorMoved) {
    std::string why;
    if (!PortFiles::Mapped(&why)) GTEST_SKIP() << why;
    const PortFiles ports;
    folder.Write("kept.txt", "kept");
    ASSERT_TRUE(CreateDirectoryA("sub", nullptr));
    RemoveFile("COM1");
    RemoveFile("sub\\lpt9.txt");
    RenameFile("com2 .log", "renamed.txt");
    MoveFileTo("kept.txt", "LPT3");
    MoveFileTo("lpt4", "moved.txt");
    EXPECT_EQ(ports.Written(), std::vector<std::string>{});
    EXPECT_EQ(TempFolder::Read(folder.File("kept.txt")), "kept");
    EXPECT_EQ(FileExists("renamed.txt") + FileExists("moved.txt"), 0);

    RemoveFile("kept.txt");
    EXPECT_EQ(FileExists("kept.txt"), 0);
}
