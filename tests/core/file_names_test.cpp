#include "core/win32.h"

#include "core/file_names.h"
#include "core/media.h"
#include "core/replacing_file.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

TEST(FileNames, DeviceNamesReservedAndControlCharactersAreRefusedInEveryPart) {
    const std::pair<NameProblem, std::vector<std::string>> cases[] = {
        {NameProblem::None,
         {"x.txt", "sub\\x.txt", "a/b\\c", "console.txt", "com10", "lpt0.txt", "xcon"}},
        {NameProblem::DeviceName,
         {"CON", "nul", "Aux.bmp", "prn.a.b", "COM1", "sub\\lpt9.txt", "com3 .txt", "CONIN$",
          "conout$.log", "com\xb9", "ok\\nul."}},
        {NameProblem::ReservedCharacter, {"a*b.bmp", "a?b.bmp", "c:x.txt", "a|b"}},
        {NameProblem::ControlCharacter, {"a\x01z", "sub\\\x1f"}},
        {NameProblem::ParentFolder, {"..\\x.txt", "a\\.\\x"}},
        {NameProblem::Empty, {"", "\\x.txt", "a\\\\x", "a\\. ."}},
    };
    for (const auto& [problem, names] : cases)
        for (const std::string& name : names)
            EXPECT_EQ(CheckRelativeName(name), problem) << name;
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
        ASSERT_TRUE(file.WriteAll("new", 3));
        EXPECT_TRUE(file.Commit());
    }
    {
        ReplacingFile abandoned(target.c_str());
        ASSERT_TRUE(abandoned.WriteAll("lost", 4));
    }
    {
        ReplacingFile empty(target.c_str());
        EXPECT_FALSE(empty.Commit(/*expectNonEmpty=*/true));
    }
    EXPECT_EQ(TempFolder::Tree(folder.Path()),
              (std::map<std::string, std::string>{{"old.bin", "new"}}));
}

TEST(ReplacingFiles, ReadOnlyFilesFoldersAndMissingFoldersAreNotWritten) {
    TempFolder folder;
    const std::string locked = folder.Write("locked.bin", "kept");
    folder.Write("dir\\inner.txt", "");
    ASSERT_TRUE(SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    for (const char* name : {"locked.bin", "dir", "missing\\a.bin"})
        EXPECT_FALSE(CoreWriteWholeFile(folder.File(name).c_str(), "x", 1)) << name;
    EXPECT_EQ(TempFolder::Read(locked), "kept");
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(CoreWriteWholeFile(folder.File("fresh.bin").c_str(), "x", 1));
}
