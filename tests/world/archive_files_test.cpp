#include "core/win32.h"

#include "support/temp_folder.h"
#include "world/archive_files.h"
#include "world/archive_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

namespace {

std::int32_t Capacity(const ArchiveFileList& list) {
    return static_cast<std::int32_t>(list.entries.size());
}

std::string CurrentFolder() {
    char path[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, path);
    return path;
}

} // namespace

TEST(ArchiveFileList, GrowsAHundredPastNeedAndShrinksPastAHundredSpare) {
    ArchiveFileList list;
    AddArchiveListEntry(list, "p", "a.pk3", "f");
    EXPECT_EQ(list.count, 1);
    EXPECT_EQ(Capacity(list), 101);
    ResizeArchiveFileList(list, 250);
    EXPECT_EQ(Capacity(list), 350);
    EXPECT_EQ(list.count, 1); // room made, nothing counted
    ResizeArchiveFileList(list, 250);
    EXPECT_EQ(Capacity(list), 350);
    ResizeArchiveFileList(list, 200); // 150 spare: shrinks to fit
    EXPECT_EQ(Capacity(list), 200);
    ResizeArchiveFileList(list, 120); // 80 spare: stays
    EXPECT_EQ(Capacity(list), 200);
    EXPECT_EQ(list.entries[0].name, "a.pk3");
    // An entry added shrinks the spare room first (198 spare), then grows it again.
    AddArchiveListEntry(list, nullptr, "b.pk3", nullptr);
    EXPECT_EQ(Capacity(list), 2);
    AddArchiveListEntry(list, nullptr, "c.pk3", nullptr);
    EXPECT_EQ(Capacity(list), 103);
    // Exactly a hundred spare stays; a count above the room left drops with it.
    ResizeArchiveFileList(list, 3);
    EXPECT_EQ(Capacity(list), 103);
    ResizeArchiveFileList(list, 2);
    EXPECT_EQ(Capacity(list), 2);
    EXPECT_EQ(list.count, 2);
    EXPECT_EQ(list.entries[1].name, "b.pk3");
    ClearArchiveFileList(list);
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(Capacity(list), 0);
}

TEST(ArchiveFileList, AddSkipsMissingAndRepeatedNames) {
    ArchiveFileList list;
    list.header = "list";
    AddArchiveListEntry(list, "C:\\a\\Base.shader", "Base.shader", "C:\\a");
    AddArchiveListEntry(list, "C:\\b\\base.shader", "BASE.SHADER", "C:\\b");
    AddArchiveListEntry(list, "C:\\c", nullptr, "C:\\c");
    AddArchiveListEntry(list, nullptr, "other.shader", nullptr);
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(list.entries[0].path, "C:\\a\\Base.shader");
    EXPECT_EQ(list.entries[0].folder, "C:\\a");
    EXPECT_EQ(list.entries[1].name, "other.shader");
    EXPECT_TRUE(list.entries[1].path.empty());
    // Plain appends keep same-named entries: archives of one name in two folders.
    AppendArchiveListEntry(list, "C:\\b\\base.shader", "base.shader", "C:\\b");
    EXPECT_EQ(list.count, 3);
    SetNameTableEntry(list.entries[2].name, "renamed");
    EXPECT_EQ(list.entries[2].name, "renamed");
    SetNameTableEntry(list.entries[2].name, nullptr);
    EXPECT_TRUE(list.entries[2].name.empty());
    ClearArchiveFileList(list);
    EXPECT_TRUE(list.header.empty());
}

TEST(ArchivePaths, SplitIntoNameAndFolder) {
    struct Case {
        const char* path;
        const char* name;
        const char* folder;
    };
    const Case cases[] = {
        {"levels\\pak0.pk3", "pak0.pk3", "levels"},
        {"C:\\game\\levels/pak0.pk3", "pak0.pk3", "C:\\game\\levels"},
        {"pak0.pk3", "pak0.pk3", ""},
        {"C:\\pak0.pk3", "pak0.pk3", "C:\\"},
        {"C:pak0.pk3", "pak0.pk3", "C:"},
        {"/pak0.pk3", "pak0.pk3", "/"},
        {"maps/", "", "maps"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        std::string name = "x", folder = "x";
        SplitArchivePath(c.path, name, folder);
        EXPECT_EQ(name, c.name) << c.path;
        EXPECT_EQ(folder, c.folder) << c.path;
    }
    EXPECT_EQ(PathHasNoExtension("maps\\level"), 1);
    EXPECT_EQ(PathHasNoExtension("maps.d\\level"), 1);
    EXPECT_EQ(PathHasNoExtension("maps/level.bsp"), 0);
    EXPECT_EQ(PathHasNoExtension(".hidden"), 0);
    EXPECT_EQ(PathHasNoExtension(""), 1);
}

TEST(ArchivePaths, FileSizesAndWholeFiles) {
    TempFolder folder;
    const std::string path = folder.Write("data.bin", std::string(12345, 'z'));
    std::int64_t size = -1;
    EXPECT_EQ(GetFileSizeByName(path.c_str(), size), 1);
    EXPECT_EQ(size, 12345);
    EXPECT_EQ(GetFileSizeByName("", size), 0);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(GetFileSizeByName(folder.File("missing").c_str(), size), 0);
    EXPECT_EQ(GetOpenFileSize(nullptr), -1);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::fseek(file, 100, SEEK_SET);
    EXPECT_EQ(GetOpenFileSize(file), 12345);
    EXPECT_EQ(std::ftell(file), 100);
    std::fclose(file);
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(ReadFileToMemory(path.c_str(), bytes, size), 1);
    EXPECT_EQ(size, 12345);
    EXPECT_EQ(bytes.size(), 12345u);
    EXPECT_EQ(bytes[12344], 'z');
    EXPECT_EQ(ReadFileToMemory(folder.File("missing").c_str(), bytes, size), 0);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(size, 0);
}

TEST(ArchiveSearch, FindsNestedArchivesAndKeepsTheCurrentFolder) {
    TempFolder folder;
    for (const char* name : {"a.pk3", "sub\\b.pk3", "sub\\deeper\\c.pk3", "other\\D.PK3",
                             "other\\a.pk3", "notes.txt", "sub\\deeper\\x.pk3.txt"})
        folder.Write(name, "PK");
    CreateDirectoryA(folder.File("empty").c_str(), nullptr);
    CreateDirectoryA(folder.File("dir.pk3").c_str(), nullptr); // a folder is never listed
    const std::string before = CurrentFolder();
    ArchiveFileList list;
    ASSERT_EQ(FindArchivesInFolder("*.pk3", folder.Path().c_str(), list), 1);
    EXPECT_EQ(CurrentFolder(), before);
    std::set<std::string> paths;
    for (std::int32_t i = 0; i < list.count; ++i) {
        const ArchiveFileEntry& e = list.entries[static_cast<std::size_t>(i)];
        EXPECT_EQ(e.path, e.folder + "/" + e.name);
        paths.insert(e.path);
    }
    const std::set<std::string> expected = {folder.Path() + "/a.pk3", folder.File("sub") + "/b.pk3",
                                            folder.File("sub\\deeper") + "/c.pk3",
                                            folder.File("other") + "/D.PK3",
                                            folder.File("other") + "/a.pk3"};
    EXPECT_EQ(paths, expected);
    EXPECT_EQ(list.count, 5);
    // Depth first: a folder's own files before those below it.
    EXPECT_EQ(list.entries[0].path, folder.Path() + "/a.pk3");
    // Nothing found, or nowhere to look: 0, the list and the current folder as they were.
    EXPECT_EQ(FindArchivesInFolder("*.bsp", folder.Path().c_str(), list), 0);
    EXPECT_EQ(FindArchivesInFolder("*.pk3", folder.File("missing").c_str(), list), 0);
    EXPECT_EQ(list.count, 5);
    EXPECT_EQ(CurrentFolder(), before);
    // An empty start folder is the current one.
    SetCurrentDirectoryA(folder.File("sub").c_str());
    ArchiveFileList here;
    EXPECT_EQ(FindArchivesInFolder("*.pk3", "", here), 1);
    EXPECT_EQ(here.count, 2);
    SetCurrentDirectoryA(before.c_str());
}
