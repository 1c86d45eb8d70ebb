#include "core/win32.h"

#include "support/temp_folder.h"
#include "world/archive_fixtures.h"
#include "world/pk3_archive.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// Each case starts with no archive open and empty archive lists.
class Pk3 : public ::testing::Test {
protected:
    void SetUp() override {
        CloseZipArchives();
        FreeWorldFileTable();
    }
    void TearDown() override { SetUp(); }
};

const std::string& Zip6() {
    static const std::string path = ArchivePath("zip-6.zip");
    return path;
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

} // namespace

TEST_F(Pk3, MembersAreFoundByTheirNameEndingInAnyCase) {
    const std::string wall = OriginalBytes("Textures/Wall.TGA");
    for (const char* request : {"wall.tga", "textures/wall.tga", "WALL.TGA", "Textures/Wall.TGA"})
        EXPECT_TRUE(Extracted(Zip6(), request) == wall) << request;
    // The ending must start the name or follow a separator.
    EXPECT_EQ(Extracted(Zip6(), "all.tga"), kNotFound);
    EXPECT_EQ(Extracted(Zip6(), "a.bsp"), kNotFound);
    EXPECT_TRUE(Extracted(Zip6(), "data.bsp") == OriginalBytes("maps/data.bsp"));
    EXPECT_EQ(Extracted(Zip6(), ""), kNotFound);
    EXPECT_EQ(Extracted(Zip6(), "tures/wall.tga"), kNotFound);
}

TEST_F(Pk3, TheFirstMemberInDirectoryOrderWins) {
    TempFolder folder;
    const std::string path =
        folder.Write("order.pk3", ZipOf({StoredMember("b/same.txt", "first"),
                                         StoredMember("a/same.txt", "second"),
                                         StoredMember("same.txt.bak", "third")}));
    EXPECT_EQ(Extracted(path, "same.txt"), "first");
    EXPECT_EQ(Extracted(path, "A/Same.txt"), "second");
    EXPECT_EQ(Extracted(path, "same.txt.bak"), "third");
    CloseZipArchives();
}

TEST_F(Pk3, EachPathSpellingOpensItsOwnTableEntry) {
    EXPECT_EQ(OpenZipArchiveCount(), 0);
    EXPECT_NE(Extracted(Zip6(), "big.txt"), kNotFound);
    EXPECT_NE(Extracted(Zip6(), "data.bsp"), kNotFound);
    EXPECT_EQ(OpenZipArchiveCount(), 1);
    // The same file named in capitals is a second entry, as the table compares paths exactly.
    EXPECT_NE(Extracted(Upper(Zip6()), "big.txt"), kNotFound);
    EXPECT_EQ(OpenZipArchiveCount(), 2);
    // Archives that cannot be opened or read take no entry.
    EXPECT_EQ(Extracted(ArchivePath("missing.zip"), "big.txt"), kNotFound);
    EXPECT_EQ(Extracted(ArchivePath("zip-comment.zip"), "base.shader"), kNotFound);
    EXPECT_EQ(OpenZipArchiveCount(), 2);
    CloseZipArchives();
    EXPECT_EQ(OpenZipArchiveCount(), 0);
}

TEST_F(Pk3, AnArchiveMissingAtFirstIsFoundOnceItExists) {
    TempFolder folder;
    const std::string path = folder.File("late.pk3");
    EXPECT_EQ(Extracted(path, "x.txt"), kNotFound);
    folder.Write("late.pk3", ZipOf({StoredMember("x.txt", "here now")}));
    EXPECT_EQ(Extracted(path, "x.txt"), "here now");
    CloseZipArchives();
}

TEST_F(Pk3, AFullTableGivesUpItsLastSlot) {
    TempFolder folder;
    folder.Write("abcdefghijk.pk3", ZipOf({StoredMember("x.txt", "x")}));
    // 2,048 spellings of one file name differing in case: each its own entry.
    auto spelling = [&](int n) {
        std::string name = "abcdefghijk.pk3";
        for (int bit = 0; bit < 11; ++bit)
            if (n & (1 << bit)) name[bit] = static_cast<char>(name[bit] - 'a' + 'A');
        return folder.File(name);
    };
    for (int n = 0; n < kMostOpenArchives; ++n)
        ASSERT_EQ(Extracted(spelling(n), "x.txt"), "x") << n;
    EXPECT_EQ(OpenZipArchiveCount(), kMostOpenArchives);
    EXPECT_EQ(Extracted(spelling(kMostOpenArchives), "x.txt"), "x");
    EXPECT_EQ(OpenZipArchiveCount(), kMostOpenArchives);
    // The spelling that lost its slot opens again, in the same slot.
    EXPECT_EQ(Extracted(spelling(kMostOpenArchives - 1), "x.txt"), "x");
    EXPECT_EQ(Extracted(spelling(0), "x.txt"), "x");
    EXPECT_EQ(OpenZipArchiveCount(), kMostOpenArchives);
    CloseZipArchives();
}

TEST_F(Pk3, ListZipMembersMatchesPartsOfNames) {
    ArchiveFileList list;
    ASSERT_EQ(ListZipMembers(Zip6().c_str(), ".SHADER", list), 1);
    EXPECT_EQ(list.header, Zip6());
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(list.entries[0].name, "a.shader.bak");
    EXPECT_EQ(list.entries[0].folder, "scripts");
    EXPECT_EQ(list.entries[0].path, "scripts/a.shader.bak");
    EXPECT_EQ(list.entries[1].path, "scripts/base.shader");
    ASSERT_EQ(ListZipMembers(Zip6().c_str(), "/", list), 1);
    EXPECT_EQ(list.count, 5); // the folder entry too
    EXPECT_EQ(ListZipMembers(ArchivePath("zip-comment.zip").c_str(), ".shader", list), 0);
    EXPECT_EQ(list.count, 0);
    EXPECT_TRUE(list.header.empty());
}

TEST_F(Pk3, ReadZipDirectoryGivesTheFirstContainingMembersSize) {
    std::uint32_t size = 1;
    EXPECT_EQ(ReadZipDirectory(Zip6().c_str(), "BASE.shader", size), 1);
    EXPECT_EQ(size, 8000u);
    EXPECT_EQ(ReadZipDirectory(Zip6().c_str(), "shader", size), 1);
    EXPECT_EQ(size, 2000u); // scripts/a.shader.bak comes first
    EXPECT_EQ(ReadZipDirectory(Zip6().c_str(), "nothing", size), 0);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(ReadZipDirectory(ArchivePath("missing.zip").c_str(), "big", size), 0);
    // It reads the file afresh and leaves no archive open.
    EXPECT_EQ(OpenZipArchiveCount(), 0);
}

TEST_F(Pk3, AddArchiveFileKeepsEachPathOnce) {
    EXPECT_EQ(AddArchiveFile(Zip6().c_str()), 1);
    EXPECT_EQ(AddArchiveFile(Zip6().c_str()), 1);
    EXPECT_EQ(AddArchiveFile(ArchivePath("missing.zip").c_str()), 0);
    EXPECT_EQ(AddArchiveFile(nullptr), 0);
    const ArchiveFileList& list = WorldArchiveFiles();
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.entries[0].name, "zip-6.zip");
    EXPECT_EQ(list.entries[0].path, Zip6());
    EXPECT_EQ(list.entries[0].folder + "\\zip-6.zip", Zip6());
    // Another spelling of the path is another entry; the second list is apart.
    EXPECT_EQ(AddArchiveFile(Upper(Zip6()).c_str()), 1);
    EXPECT_EQ(WorldArchiveFiles().count, 2);
    EXPECT_EQ(WorldSecondArchiveFiles().count, 0);
    EXPECT_EQ(AddSecondArchiveFile(Zip6().c_str()), 1);
    EXPECT_EQ(WorldSecondArchiveFiles().count, 1);
    FreeWorldFileTable();
    EXPECT_EQ(WorldArchiveFiles().count, 0);
    EXPECT_EQ(WorldSecondArchiveFiles().count, 0);
}

TEST_F(Pk3, EveryMemberOfARealPk3ExtractsAsPythonsZipfileDoes) {
    const std::string pak0 = kPak0;
    std::ifstream manifest(ArchivePath("pak0-manifest.txt"));
    std::string line;
    int members = 0, empty = 0;
    while (std::getline(manifest, line)) {
        std::istringstream fields(line);
        std::string name, size, adler;
        std::getline(fields, name, '\t');
        std::getline(fields, size, '\t');
        std::getline(fields, adler, '\t');
        const std::string bytes = Extracted(pak0, name);
        ++members;
        if (size == "0") {
            EXPECT_EQ(bytes, kNotFound) << name;
            ++empty;
            continue;
        }
        ASSERT_EQ(std::to_string(bytes.size()), size) << name;
        std::uint32_t a = 1, b = 0;
        for (unsigned char c : bytes) {
            a = (a + c) % 65521;
            b = (b + a) % 65521;
        }
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08x", (b << 16) | a);
        EXPECT_EQ(hex, adler) << name;
    }
    if (members == 0) GTEST_SKIP() << "openarena-data's pak0.pk3 is not installed";
    EXPECT_EQ(members, 1042);
    EXPECT_EQ(empty, 66);
}
