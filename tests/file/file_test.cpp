#include "core/win32.h"

#include "file/files_fixture.h"
#include "support/child_program.h"
#include "support/failing_saves.h"

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

TEST_F(Files, ChangeDirectoryFailsWithoutMoving) {
    ChangeDirectory(nullptr);
    EXPECT_EQ(errors.Last(), 8003);
    errors.Clear();
    ChangeDirectory("no such folder");
    EXPECT_EQ(errors.Last(), 8003);
    EXPECT_EQ(CurrentDirectory(), folder.Path());
    MakeDirectory("inner");
    ChangeDirectory("inner");
    EXPECT_EQ(Take(GetDirectory(nullptr)), folder.File("inner"));
    EXPECT_EQ(DirectoryExists(".."), 1);
}

TEST_F(Files, SearchWalksEntriesAndEnds) {
    folder.Write("a.txt", "a");
    MakeDirectory("sub");
    FindFirst();
    int files = 0, directories = 0, steps = 0;
    while (GetFindType() != -1 && steps++ < 10) {
        const std::string name = Take(GetFindName(nullptr));
        if (GetFindType() == 1)
            ++directories;
        else if (name == "a.txt")
            ++files;
        EXPECT_EQ(Take(GetFindModifiedDate(nullptr)).size(), 24u);
        FindNext();
    }
    EXPECT_EQ(files, 1);
    EXPECT_GE(directories, 1); // "sub", and "." and ".." where the platform lists them
    EXPECT_EQ(errors.Last(), 0);
    FindNext();
    EXPECT_EQ(errors.Last(), 8002);
    EXPECT_EQ(GetFindType(), -1);
}

TEST_F(Files, LinesOfEveryEnding) {
    folder.Write("lines.txt", std::string("one\r\ntwo\x01three\rXfour\tfive\0six", 29));
    OpenToRead(1, "lines.txt");
    EXPECT_EQ(Line(1), "one");
    EXPECT_EQ(Line(1), "two");   // a control character ends the line
    EXPECT_EQ(Line(1), "three"); // a lone CR also takes the byte after it
    EXPECT_EQ(Line(1), "four\tfive");
    EXPECT_EQ(IsEndOfFile(1), 0);
    EXPECT_EQ(Line(1), "six");
    EXPECT_EQ(IsEndOfFile(1), 1);
    CloseFileSlot(1);
    EXPECT_EQ(IsFileSlotOpen(1), 0);
}

// A read the platform fails part way through a file ends the slot's reading: the read error, and
// the end flag that a loop reading to the end waits for. The slot's handle is swapped for one
// that cannot read once the first buffer of lines is in.
TEST_F(Files, AReadThatFailsEndsTheSlot) {
    std::string lines;
    for (int i = 0; i < 20000; ++i)
        lines += "line\r\n";
    const std::string path = folder.Write("lines.txt", lines);
    OpenToRead(1, "lines.txt");
    EXPECT_EQ(Line(1), "line");
    CloseHandle(g_File.slots[1]);
    g_File.slots[1] = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(g_File.slots[1], INVALID_HANDLE_VALUE);
    int read = 1;
    while (!IsEndOfFile(1) && read < 40000 && Line(1) == "line")
        ++read;
    EXPECT_EQ(IsEndOfFile(1), 1);
    EXPECT_LT(read, 20000); // the buffer's lines, not the file's
    EXPECT_EQ(errors.Last(), 8211);
    errors.Clear();
    EXPECT_EQ(ReadFileLong(1), 0);
    EXPECT_EQ(errors.Last(), 8211);
    CloseFileSlot(1);
}

// Every read of a slot goes through one buffer: a line's reads run ahead of the slot's position,
// and each later read, skip, block and size must start where the line ended. The long line's CR
// ends one buffer's fill and its LF begins the next; the blocks are larger than a buffer and
// begin inside one.
TEST_F(Files, ReadsOfEveryKindFollowALongLineFromWhereItEnded) {
    std::mt19937 random(11);
    const auto noise = [&](std::size_t size, unsigned span) {
        std::string bytes(size, ' ');
        for (char& c : bytes)
            c = static_cast<char>(' ' + random() % span);
        return bytes;
    };
    const std::string line = noise(64 * 1024 * 160 - 1 - 7, 95), sized = noise(100000, 256),
                      rest = noise(70000, 256);
    const std::string head = std::string("\xAB\x34\x12", 3) + U32(0xFFFFFFFB) + U32(0x40200000) +
                             "zzz" + "next\n" + U32(100000) + sized;
    folder.Write("long.txt", "short\r\n" + line + "\r\n" + head + U32(4 + 70000 - 4) + rest);
    folder.Write("other.txt", "other\r\n");
    OpenToRead(1, "long.txt");
    EXPECT_EQ(Line(1), "short");
    EXPECT_EQ(Line(1), line.substr(0, 1023)); // cut to what a string holds, read to its end
    EXPECT_EQ(ReadFileByte(1), 0xAB);
    EXPECT_EQ(ReadFileWord(1), 0x1234);
    EXPECT_EQ(ReadFileLong(1), -5);
    EXPECT_EQ(ReadFileFloat(1), 2.5f);
    SkipFileBytes(1, 3);
    EXPECT_EQ(Line(1), "next");
    ReadMemblockFromSlot(1, 1);
    ASSERT_EQ(GetMemblockSizeForModule(1), 100000);
    EXPECT_EQ(std::memcmp(GetMemblockPtrForModule(1), sized.data(), sized.size()), 0);
    // Its size is exactly the bytes left: the slot's position must be where the reads stopped.
    ReadMemblockFromSlot(1, 2);
    ASSERT_EQ(GetMemblockSizeForModule(2), 70000) << errors.Last();
    EXPECT_EQ(std::memcmp(GetMemblockPtrForModule(2), rest.data(), rest.size()), 0);
    EXPECT_EQ(IsEndOfFile(1), 0);
    EXPECT_EQ(ReadFileByte(1), 0);
    EXPECT_EQ(IsEndOfFile(1), 1);
    CloseFileSlot(1);

    // A slot closed with its buffer full reads the next file from that file's start; the rest
    // of a file after a line is a block of the rest's size.
    OpenToRead(1, "long.txt");
    EXPECT_EQ(Line(1), "short");
    CloseFileSlot(1);
    OpenToRead(1, "other.txt");
    EXPECT_EQ(Line(1), "other");
    CloseFileSlot(1);
    OpenToRead(1, "long.txt");
    EXPECT_EQ(Line(1), "short");
    ReadFileIntoMemblock(3, 1);
    ASSERT_EQ(static_cast<std::size_t>(GetMemblockSizeForModule(3)),
              line.size() + 2 + head.size() + 4 + rest.size());
    EXPECT_EQ(std::memcmp(GetMemblockPtrForModule(3), line.data(), line.size()), 0);
    EXPECT_EQ(errors.Last(), 0);
}

TEST_F(Files, TypedValuesRoundTripAndReadZeroAtTheEnd) {
    OpenToWrite(64, "values.bin");
    WriteFileByte(64, 0x1FF);
    WriteFileWord(64, 0x12345);
    WriteFileLong(64, -7);
    WriteFileFloat(64, 2.5f);
    WriteFileString(64, "text");
    CloseFileSlot(64);
    EXPECT_EQ(GetFileSizeByName("values.bin"), 1 + 2 + 4 + 4 + 6);
    OpenToRead(64, "values.bin");
    EXPECT_EQ(ReadFileByte(64), 0xFF);
    EXPECT_EQ(ReadFileWord(64), 0x2345);
    std::int32_t value = 0;
    ReadFileLongExport(64, &value);
    EXPECT_EQ(value, -7);
    EXPECT_EQ(ReadFileFloat(64), 2.5f);
    EXPECT_EQ(Line(64), "text");
    EXPECT_EQ(ReadFileByte(64), 0);
    EXPECT_EQ(IsEndOfFile(64), 1);
    EXPECT_EQ(errors.Last(), 0);
}

TEST_F(Files, SlotNumbersAndOpeningRules) {
    ReadFileByte(0);
    EXPECT_EQ(errors.Last(), 8213);
    errors.Clear();
    WriteFileLong(65, 1);
    EXPECT_EQ(errors.Last(), 8213);
    errors.Clear();
    ReadFileByte(5);
    EXPECT_EQ(errors.Last(), 8204);
    errors.Clear();
    folder.Write("exists.bin", "x");
    OpenToWrite(2, "exists.bin"); // never overwrites: the slot stays closed
    EXPECT_EQ(IsFileSlotOpen(2), 0);
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_EQ(TempFolder::Read(folder.File("exists.bin")), "x");
    OpenToRead(3, "missing.bin");
    EXPECT_EQ(errors.Last(), 105);
    OpenToRead(3, "exists.bin");
    OpenToRead(3, "exists.bin");
    EXPECT_EQ(errors.Last(), 8203);
    FileDestructor();
    EXPECT_EQ(IsFileSlotOpen(3), 0);
}

// A tree deeper than the path limit goes whole; one that keeps a file (held open without leave
// to delete it) stays, and the command says so until it is let go.
TEST_F(Files, DeleteDirectoryRemovesDeepTreesAndReportsWhatStays) {
    std::wstring path = L"\\\\?\\" + std::wstring(folder.Path().begin(), folder.Path().end());
    for (int level = 0; level <= 200; ++level) {
        path += level ? L"\\level" : L"\\deep";
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    }
    HANDLE bottom = CreateFileW((path + L"\\x.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_READONLY, nullptr);
    ASSERT_NE(bottom, INVALID_HANDLE_VALUE);
    CloseHandle(bottom);
    folder.Write("held\\in\\x.txt", "x");
    folder.Write("held\\y.txt", "y");
    HANDLE held = CreateFileA(folder.File("held\\in\\x.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    DeleteDirectory("held");
    EXPECT_EQ(errors.Last(), 8102);
    EXPECT_EQ(TempFolder::Tree(folder.File("held")), (Listing{{"in\\", ""}, {"in\\x.txt", "x"}}));
    CloseHandle(held);
    for (const char* tree : {"deep", "held"}) {
        errors.Clear();
        DeleteDirectory(tree);
        EXPECT_EQ(errors.Last(), 0) << tree;
        EXPECT_EQ(DirectoryExists(tree), 0) << tree;
    }
}

TEST_F(Files, DeleteDirectoryDeletesOnlyTheTree) {
    folder.Write("keep.txt", "k");
    folder.Write("tree\\x.txt", "x");
    folder.Write("tree\\in\\y.txt", "y");
    DeleteDirectory("tree");
    EXPECT_EQ(DirectoryExists("tree"), 0);
    EXPECT_EQ(FileExists("keep.txt"), 1);
    EXPECT_EQ(CurrentDirectory(), folder.Path());
    DeleteDirectory("keep.txt"); // a file is not a directory: nothing happens
    EXPECT_EQ(FileExists("keep.txt"), 1);
}

TEST_F(Files, WholeFileCommands) {
    folder.Write("b.bin", std::string("\x10\xff\x20", 3));
    EXPECT_EQ(ReadByteFromFile("b.bin", 1), -1);
    EXPECT_EQ(ReadByteFromFile("b.bin", 3), 0);
    WriteByteToFile("b.bin", 2, 0x41);
    WriteByteToFile("b.bin", 9, 0x42); // outside: the file is written back unchanged
    EXPECT_EQ(TempFolder::Read(folder.File("b.bin")), std::string("\x10\xff\x41", 3));
    folder.Write("other.bin", "o");
    RenameFile("b.bin", "other.bin");
    EXPECT_EQ(TempFolder::Read(folder.File("other.bin")), "o");
    EXPECT_EQ(FileExists("b.bin"), 1);
    CopyFileTo("b.bin", "copy.bin");
    EXPECT_EQ(GetFileSizeByName("copy.bin"), 3);
    MoveFileTo("copy.bin", "moved.bin");
    EXPECT_EQ(FileExists("copy.bin"), 0);
    RemoveFile("moved.bin");
    EXPECT_EQ(FileExists("moved.bin"), 0);
    EXPECT_EQ(FileExists(nullptr), 0);
    MakeFile("made.bin");
    EXPECT_EQ(GetFileSizeByName("made.bin"), 0);
    EXPECT_EQ(FileExists("made.bin"), 1);
}

TEST_F(Files, MemoryBlocksThroughSlots) {
    std::uint8_t* data = MakeMemblockForModule(3, 10);
    for (int i = 0; i < 10; ++i)
        data[i] = static_cast<std::uint8_t>(i * 7);
    OpenToWrite(1, "block.bin");
    WriteMemblockWithSizeToSlot(1, 3);
    WriteMemblockToSlot(1, 3);
    CloseFileSlot(1);
    OpenToRead(1, "block.bin");
    ReadMemblockFromSlot(1, 4);
    ASSERT_EQ(GetMemblockSizeForModule(4), 10);
    EXPECT_EQ(std::memcmp(GetMemblockPtrForModule(4), data, 10), 0);
    ReadFileIntoMemblock(5, 1); // the rest of the file: the bare block
    EXPECT_EQ(GetMemblockSizeForModule(5), 10);
    CloseFileSlot(1);
    WriteMemblockToSlot(1, 3);
    EXPECT_EQ(errors.Last(), 8204);
    folder.Write("lying.bin", U32(0x7FFFFFF0) + "tiny");
    OpenToRead(2, "lying.bin");
    ReadMemblockFromSlot(2, 6);
    EXPECT_EQ(errors.Last(), 8211);
    EXPECT_EQ(GetMemblockPtrForModule(6), nullptr);
    ReadMemblockFromSlot(2, 256);
    EXPECT_EQ(errors.Last(), 5101);
}

// The file commands that write, made to fail: the old file stays as it was and the failure is
// raised. Commands that only make new files refuse a file already there with a warning alone,
// as documented (error 0); MakeFile on a full disk succeeds, an empty file needing no room.
class FileSavesOnTestDisks : public Files {};

TEST_F(FileSavesOnTestDisks, FailedWritesKeepTheOldFile) {
    const std::string bytes = SeededBytes(150000, 12);
    std::memcpy(MakeMemblockForModule(3, 150000), bytes.data(), bytes.size());
    const std::string source = folder.Write("source.bin", bytes);
    const auto make = [](const std::string& t) { MakeFile(t.c_str()); };
    const auto poke = [](const std::string& t) { WriteByteToFile(t.c_str(), 5, 0x41); };
    const auto copy = [&](const std::string& t) { CopyFileTo(source.c_str(), t.c_str()); };
    const auto slot = [](const std::string& t) {
        OpenToWrite(1, t.c_str());
        if (!IsFileSlotOpen(1)) return;
        WriteMemblockToSlot(1, 3);
        CloseFileSlot(1);
    };
    using F = SaveFault;
    std::vector<FailingSaveRow> rows = {{"MakeFile", F::ReadOnlyFolder, true, 8021, make},
                                        {"WriteByteToFile", F::FullDisk, true, 8212, poke},
                                        {"WriteByteToFile", F::ReadOnlyFolder, true, 8212, poke},
                                        {"CopyFileTo", F::FullDisk, false, 106, copy},
                                        {"CopyFileTo", F::ReadOnlyFolder, false, 106, copy},
                                        {"OpenToWrite", F::FullDisk, false, 8212, slot},
                                        {"OpenToWrite", F::ReadOnlyFolder, false, 8202, slot}};
    for (F fault : {F::ReadOnlyFile, F::FolderInPlace, F::HeldOpen}) {
        rows.push_back({"MakeFile", fault, true, 8021, make});
        rows.push_back({"WriteByteToFile", fault, true, 8212, poke});
        rows.push_back({"CopyFileTo", fault, true, 0, copy});
        // A folder cannot be opened to write in.
        rows.push_back({"OpenToWrite", fault, true, fault == F::FolderInPlace ? 8202 : 0, slot});
    }
    CheckFailingSaves(rows, "target.bin", SeededBytes(100000, 11));
}

// Every command that writes a file, given no name or an empty one, writes nothing and says so: a
// packed file is read past, and a packed tree never lands in the root of the drive. The packs,
// given nothing to pack, put nothing in their slot.
TEST_F(Files, WritesWithoutANameWriteNothingAndSaySo) {
    const std::string source = folder.Write("source.bin", "bytes");
    const std::string leaf = "zarvolin-unnamed-" + std::to_string(GetCurrentProcessId()) + ".txt";
    const std::string tree = folder.Write("tree.bin", U32(1) + Member(leaf, "x"));
    const std::string file = folder.Write("file.bin", U32(1) + "x" + U32(kAfterPack));
    CheckUnnamedSaves("MakeFile", 8021, [](const char* n) { MakeFile(n); });
    CheckUnnamedSaves("WriteByteToFile", 8212, [](const char* n) { WriteByteToFile(n, 0, 1); });
    CheckUnnamedSaves("CopyFileTo", 106, [&](const char* n) { CopyFileTo(source.c_str(), n); });
    CheckUnnamedSaves("OpenToWrite", 8202, [](const char* n) {
        OpenToWrite(1, n);
        if (IsFileSlotOpen(1)) CloseFileSlot(1);
    });
    CheckUnnamedSaves("UnpackFileFromSlot", 8212, [&](const char* n) {
        OpenToRead(1, file.c_str());
        UnpackFileFromSlot(1, n);
        EXPECT_EQ(ReadFileLong(1), static_cast<std::int32_t>(kAfterPack));
        CloseFileSlot(1);
    });
    CheckUnnamedSaves("UnpackDirectoryFromSlot", 8212, [&](const char* n) {
        OpenToRead(1, tree.c_str());
        UnpackDirectoryFromSlot(1, n);
        CloseFileSlot(1);
    });
    EXPECT_EQ(GetFileAttributesA(("\\" + leaf).c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileA(("\\" + leaf).c_str());
    for (const auto pack : {PackFileIntoSlot, PackDirectoryIntoSlot}) {
        errors.Clear();
        OpenToWrite(2, "packed.bin");
        pack(2, nullptr);
        EXPECT_EQ(errors.Last(), 8211);
        CloseFileSlot(2);
        EXPECT_EQ(TempFolder::Read(folder.File("packed.bin")), "");
        DeleteFileA("packed.bin");
    }
}

// A slot's bytes reach its name only at the close, whole; a second slot never writes the same
// file, and a failed write leaves no file at all.
TEST_F(Files, SlotFilesAppearWholeAtTheirClose) {
    OpenToWrite(1, "slot.bin");
    WriteFileLong(1, 0x01020304);
    EXPECT_EQ(FileExists("slot.bin"), 0);
    OpenToWrite(2, "slot.bin");
    EXPECT_EQ(IsFileSlotOpen(2), 0);
    CloseFileSlot(1);
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_EQ(TempFolder::Read(folder.File("slot.bin")), std::string("\x04\x03\x02\x01", 4));

    OpenToWrite(3, "left-open.bin");
    WriteFileByte(3, 7);
    FileDestructor(); // what a slot left open to write holds is its file
    FileConstructor();
    EXPECT_EQ(TempFolder::Read(folder.File("left-open.bin")), "\x07");

    OpenToRead(4, "slot.bin");
    WriteFileByte(4, 1); // a slot opened to read takes no writes
    EXPECT_EQ(errors.Last(), 8212);
    CloseFileSlot(4);
    EXPECT_EQ(TempFolder::Read(folder.File("slot.bin")).size(), 4u);
}

TEST_F(Files, DriveTableStopsAtItsCapacity) {
    EXPECT_GE(g_File.driveCount, 0);
    EXPECT_LE(g_File.driveCount, kDrives);
}

TEST_F(Files, MapsKeepAValueAndAShortString) {
    const std::string name = "ZarvolinTestMap" + std::to_string(GetCurrentProcessId());
    EXPECT_EQ(ReadFileMapValue(name.c_str()), 0);
    EXPECT_EQ(Take(ReadFileMapString(nullptr, name.c_str())), "");
    WriteFileMapValue(name.c_str(), 1234);
    WriteFileMapString(name.c_str(), "shared text");
    // Too long, or no text: kept as it was, and the command says so.
    for (const std::string& refused : {std::string(1001, 'x'), std::string()}) {
        WriteFileMapString(name.c_str(), refused.empty() ? nullptr : refused.c_str());
        EXPECT_EQ(errors.Last(), 8021) << refused.size();
        errors.Clear();
    }
    for (std::int32_t mode : {1, 2}) { // no text; a mode that writes nothing
        OpenFileMap(name.c_str(), mode, 0, mode == 1 ? nullptr : "text");
        EXPECT_EQ(errors.Last(), 8021) << mode;
        errors.Clear();
    }
    EXPECT_EQ(ReadFileMapValue(name.c_str()), 1234);
    EXPECT_EQ(Take(ReadFileMapString(nullptr, name.c_str())), "shared text");
    OpenFileMap(name.c_str(), 1, 0, std::string(2000, 'y').c_str()); // the field bounds the copy
    EXPECT_EQ(Take(ReadFileMapString(nullptr, name.c_str())), std::string(1000, 'y'));
    EXPECT_EQ(errors.Last(), 0);

    // A name the platform makes no map of: every command says so.
    const std::vector<std::function<void(const char*)>> commands = {
        [](const char* n) { WriteFileMapValue(n, 5); },
        [](const char* n) { WriteFileMapString(n, "text"); },
        [](const char* n) { EXPECT_EQ(ReadFileMapValue(n), 0); },
        [](const char* n) { EXPECT_EQ(Take(ReadFileMapString(nullptr, n)), ""); },
        [](const char* n) { OpenFileMap(n, 0, 5, nullptr); }};
    for (const auto& command : commands) {
        for (const char* refused : {"Game\\Map", "", static_cast<const char*>(nullptr)}) {
            errors.Clear();
            command(refused);
            EXPECT_EQ(errors.Last(), 8021) << (refused ? refused : "no name");
        }
    }
}

TEST(FileMapChild, DISABLED_Echo) {
    // Run by MapsReachAnotherProcess in a second process: answers value + 1 under "<name>-reply".
    char name[128] = {};
    GetEnvironmentVariableA("ZARVOLIN_MAP", name, sizeof name);
    WriteFileMapValue((std::string(name) + "-reply").c_str(), ReadFileMapValue(name) + 1);
}

TEST(FileMaps, MapsReachAnotherProcess) {
    LinkModules();
    const std::string name = "ZarvolinShared" + std::to_string(GetCurrentProcessId());
    WriteFileMapValue(name.c_str(), 41);
    // A map lives while some process holds it: hold the reply's before the child writes it.
    EXPECT_EQ(ReadFileMapValue((name + "-reply").c_str()), 0);
    SetEnvironmentVariableA("ZARVOLIN_MAP", name.c_str());
    EXPECT_TRUE(RunThisProgram("FileMapChild.DISABLED_Echo"));
    EXPECT_EQ(ReadFileMapValue((name + "-reply").c_str()), 42);
}
