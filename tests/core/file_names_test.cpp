#include "core/win32.h"

#include "core/file_names.h"
#include "core/media.h"
#include "core/replacing_file.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>

TEST(FileNames, DeviceNamesReservedAndControlCharactersAreRefusedInEveryPart) {
    struct Case {
        std::string name;
        NameProblem problem;
    };
    const Case cases[] = {
        {"x.txt", NameProblem::None},
        {"sub\\x.txt", NameProblem::None},
        {"a/b\\c", NameProblem::None},
        {"console.txt", NameProblem::None},
        {"com10", NameProblem::None},
        {"lpt0.txt", NameProblem::None},
        {"xcon", NameProblem::None},
        {"CON", NameProblem::DeviceName},
        {"nul", NameProblem::DeviceName},
        {"Aux.bmp", NameProblem::DeviceName},
        {"prn.a.b", NameProblem::DeviceName},
        {"COM1", NameProblem::DeviceName},
        {"sub\\lpt9.txt", NameProblem::DeviceName},
        {"com3 .txt", NameProblem::DeviceName},
        {"CONIN$", NameProblem::DeviceName},
        {"conout$.log", NameProblem::DeviceName},
        {"com\xb9", NameProblem::DeviceName},
        {"ok\\nul.", NameProblem::DeviceName},
        {"a*b.bmp", NameProblem::ReservedCharacter},
        {"a?b.bmp", NameProblem::ReservedCharacter},
        {"c:x.txt", NameProblem::ReservedCharacter},
        {"a|b", NameProblem::ReservedCharacter},
        {"a\x01z", NameProblem::ControlCharacter},
        {"sub\\\x1f", NameProblem::ControlCharacter},
        {"..\\x.txt", NameProblem::ParentFolder},
        {"a\\.\\x", NameProblem::ParentFolder},
        {"", NameProblem::Empty},
        {"\\x.txt", NameProblem::Empty},
        {"a\\\\x", NameProblem::Empty},
        {"a\\. .", NameProblem::Empty},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CheckRelativeName(c.name), c.problem) << c.name;
}

TEST(FileNames, AJoinedPathMustFitTheLimit) {
    TempFolder folder;
    std::string full;
    ASSERT_EQ(JoinOutsideName(folder.Path(), "sub\\x.txt", &full), NameProblem::None);
    EXPECT_EQ(full, folder.Path() + "\\sub\\x.txt");
    const std::size_t room = kFullPathLimit - 1 - folder.Path().size() - 1;
    EXPECT_EQ(JoinOutsideName(folder.Path(), std::string(room, 'a'), nullptr), NameProblem::None);
    EXPECT_EQ(JoinOutsideName(folder.Path(), std::string(room + 1, 'a'), nullptr),
              NameProblem::TooLong);
    EXPECT_EQ(JoinOutsideName(folder.Path(), "lpt1", nullptr), NameProblem::DeviceName);
}

TEST(ReplacingFiles, AFailedOrAbandonedSaveLeavesTheOldFileAndNothingBeside) {
    TempFolder folder;
    const std::string target = folder.Write("old.bin", "old bytes");
    {
        ReplacingFile file(target.c_str());
        ASSERT_TRUE(file.Ok());
        ASSERT_TRUE(file.WriteAll("new", 3));
        EXPECT_TRUE(file.Commit());
    }
    EXPECT_EQ(TempFolder::Read(target), "new");
    {
        ReplacingFile abandoned(target.c_str());
        ASSERT_TRUE(abandoned.WriteAll("lost", 4));
    }
    {
        ReplacingFile empty(target.c_str());
        EXPECT_FALSE(empty.Commit(/*expectNonEmpty=*/true));
    }
    EXPECT_EQ(TempFolder::Read(target), "new");
    WIN32_FIND_DATAA found{};
    HANDLE find = FindFirstFileA((folder.Path() + "\\*").c_str(), &found);
    int files = 0;
    do {
        files += (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
    } while (FindNextFileA(find, &found));
    FindClose(find);
    EXPECT_EQ(files, 1);
}

TEST(ReplacingFiles, ReadOnlyFilesFoldersAndMissingFoldersAreNotWritten) {
    TempFolder folder;
    const std::string locked = folder.Write("locked.bin", "kept");
    ASSERT_TRUE(SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(CoreWriteWholeFile(locked.c_str(), "x", 1));
    EXPECT_EQ(TempFolder::Read(locked), "kept");
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);

    folder.Write("dir\\inner.txt", "");
    EXPECT_FALSE(CoreWriteWholeFile(folder.File("dir").c_str(), "x", 1));
    EXPECT_FALSE(CoreWriteWholeFile(folder.File("missing\\a.bin").c_str(), "x", 1));
    EXPECT_TRUE(CoreWriteWholeFile(folder.File("fresh.bin").c_str(), "x", 1));
}
