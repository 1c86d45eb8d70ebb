#include "core/win32.h"

#include "game/hiscores.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <tuple>

namespace {

// "records.bin" lives in the current folder: each case works in a fresh one.
class HiScoreFile : public ::testing::Test {
protected:
    void SetUp() override {
        GetCurrentDirectoryA(MAX_PATH, start);
        ASSERT_TRUE(SetCurrentDirectoryA(folder.Path().c_str()));
    }
    void TearDown() override { SetCurrentDirectoryA(start); }
    std::string Records() const { return TempFolder::Read(folder.File("records.bin")); }

    char start[MAX_PATH] = {};
    TempFolder folder;
};

std::int32_t IntAt(const std::string& bytes, std::size_t at) {
    std::int32_t v = 0;
    std::memcpy(&v, bytes.data() + at, 4); // the file and i686 are both little-endian
    return v;
}

// Distinct values everywhere, so a misplaced entry shows; table t ranked 5000, 4000, ... 1000
// by score and 50, 40, ... 10 by combo.
HiScoreTable Numbered() {
    HiScoreTable h;
    for (int t = 0; t < kHiScoreTables; ++t) {
        for (int e = 0; e < kHiScoreEntries; ++e) {
            h.tables[t][e] = {{}, 5000 - 1000 * e + t, 50 - 10 * e};
            std::snprintf(h.tables[t][e].name, kHiScoreNameBytes, "t%de%d", t, e);
        }
    }
    return h;
}

// How many of from's entries h holds, each in its own table, wherever it ranks.
int Held(const HiScoreTable& h, const HiScoreTable& from) {
    int held = 0;
    for (int t = 0; t < kHiScoreTables; ++t)
        for (const HiScoreEntry& a : h.tables[t])
            for (const HiScoreEntry& b : from.tables[t])
                held += !std::strcmp(a.name, b.name) && a.score == b.score && a.combo == b.combo;
    return held;
}

bool Ranked(const HiScoreTable& h) {
    for (int t = 0; t < kHiScoreTables; ++t)
        for (int e = 1; e < kHiScoreEntries; ++e)
            if (RankingKey(t, h.tables[t][e - 1]) < RankingKey(t, h.tables[t][e])) return false;
    return true;
}

bool AllDefaults(const HiScoreTable& h) {
    for (const auto& rows : h.tables)
        for (const HiScoreEntry& entry : rows)
            if (entry.score != 1000 || entry.combo != 5 || !entry.name[0] || entry.name[11])
                return false;
    return true;
}

} // namespace

TEST_F(HiScoreFile, SavesSevenHundredBytesInPlaceAndReloadsThem) {
    const HiScoreTable saved = Numbered();
    ASSERT_TRUE(saved.Save());
    const std::string bytes = Records();
    ASSERT_EQ(bytes.size(), 700u);
    for (int t = 0; t < kHiScoreTables; ++t) {
        for (int e = 0; e < kHiScoreEntries; ++e) {
            const std::size_t at = 100u * t + 20u * e;
            EXPECT_STREQ(bytes.c_str() + at, saved.tables[t][e].name);
            EXPECT_EQ(IntAt(bytes, at + 12), saved.tables[t][e].score);
            EXPECT_EQ(IntAt(bytes, at + 16), saved.tables[t][e].combo);
        }
    }
    HiScoreTable loaded;
    loaded.Load();
    EXPECT_EQ(std::memcmp(loaded.tables, saved.tables, sizeof saved.tables), 0);
}

TEST_F(HiScoreFile, BadFilesGiveTheDefaultsAndLongNamesAreClipped) {
    HiScoreTable h = Numbered();
    h.Load();
    EXPECT_TRUE(AllDefaults(h)) << "no file";
    ASSERT_TRUE(Numbered().Save());
    const std::string good = Records();
    std::mt19937 random(7);
    std::string noise(700, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    for (const std::string& bytes : {std::string(), noise}) {
        folder.Write("records.bin", bytes);
        h = Numbered();
        h.Load();
        EXPECT_TRUE(AllDefaults(h)) << bytes.size() << " bytes";
    }
    // A name without a terminator is clipped; the rest of the file still loads.
    folder.Write("records.bin", std::string(good).replace(100 * 2 + 20 * 3, 12, "abcdefghijkl"));
    h.Load();
    EXPECT_STREQ(h.tables[2][3].name, "abcdefghijk");
    EXPECT_EQ(h.tables[2][3].score, 2002);
    EXPECT_STREQ(h.tables[2][4].name, "t2e4");
}

TEST(HiScoreRank, TiesDoNotRankKeepyUppyRanksByComboAndInsertShiftsDown) {
    HiScoreTable h = Numbered();
    h.current = 0;
    EXPECT_FALSE(h.FindRank(1000, 99));
    EXPECT_EQ(h.rank, kNoRank);
    EXPECT_TRUE(h.FindRank(4000, 0)); // ties second place, beats third
    EXPECT_EQ(h.rank, 2);
    for (std::int32_t table : {4, 5, 6}) {
        h.current = table;
        EXPECT_FALSE(h.FindRank(999999, 10)) << table;
        EXPECT_TRUE(h.FindRank(0, 51)) << table;
        EXPECT_EQ(h.rank, 0);
    }
    // An insert shifts the rows below down, drops the fifth and keeps the score beside the combo.
    h.current = 5;
    ASSERT_TRUE(h.FindRank(7, 35));
    h.Insert("", 7, 35); // Return pressed with no letters typed
    const HiScoreEntry* rows = h.tables[5];
    EXPECT_STREQ(rows[2].name, "");
    EXPECT_EQ(rows[2].score, 7);
    EXPECT_EQ(rows[2].combo, 35);
    EXPECT_STREQ(rows[1].name, "t5e1");
    EXPECT_STREQ(rows[3].name, "t5e2");
    EXPECT_STREQ(rows[4].name, "t5e3");
    EXPECT_STREQ(h.tables[4][2].name, "t4e2"); // other tables untouched
    h.Insert("averyveryverylongname", 1, 1);
    EXPECT_EQ(std::strlen(rows[2].name), 11u);
}

// One bad entry costs that entry alone; the file as it was is copied aside, once, before the save
// replaces it.
TEST_F(HiScoreFile, DamagedFilesKeepTheirSoundEntriesAndAreCopiedAsideOnce) {
    const HiScoreTable numbered = Numbered();
    ASSERT_TRUE(numbered.Save());
    const std::string good = Records();
    const std::tuple<const char*, std::string, int> rows[] = {
        {"a control character in a name of table 6",
         std::string(good).replace(100 * 6 + 20 * 2 + 1, 1, "\x07"), 34},
        {"a negative score", std::string(good).replace(100 * 3 + 12, 4, "\xFB\xFF\xFF\xFF"), 34},
        {"a byte short", good.substr(0, 699), 34},
        {"a byte long", good + 'x', 35}};
    for (const auto& [what, bytes, kept] : rows) {
        SCOPED_TRACE(what);
        folder.Write("records.bin", bytes);
        HiScoreTable h, saved;
        h.Load();
        EXPECT_TRUE(Ranked(h));
        ASSERT_TRUE(h.Save() && h.Save());
        saved.Load();
        EXPECT_EQ(Held(saved, numbered), kept);
        EXPECT_EQ(TempFolder::Read("records.damaged.bin"), bytes);
        EXPECT_EQ(GetFileAttributesA("records.damaged-2.bin"), INVALID_FILE_ATTRIBUTES);
        ASSERT_TRUE(DeleteFileA("records.damaged.bin"));
    }
    // A default row ranks by its key like any other, after a kept entry of the same key: table
    // 0's first entry is lost and its last one scores what a default row does.
    const std::string lost = std::string(good).replace(16, 4, "\xFF\xFF\xFF\xFF");
    folder.Write("records.bin", lost);
    HiScoreTable h;
    h.Load();
    EXPECT_STREQ(h.tables[0][0].name, "t0e1");
    EXPECT_STREQ(h.tables[0][3].name, "t0e4");
    EXPECT_STREQ(h.tables[0][4].name, "nova");
    folder.Write("records.damaged.bin", "older"); // an older copy keeps its name
    ASSERT_TRUE(h.Save());
    EXPECT_EQ(TempFolder::Read("records.damaged.bin"), "older");
    EXPECT_EQ(TempFolder::Read("records.damaged-2.bin"), lost);
    // A sound file, or none, is never copied.
    DeleteFileA("records.damaged.bin");
    h.Load();
    ASSERT_TRUE(h.Save());
    DeleteFileA("records.bin");
    h.Load();
    ASSERT_TRUE(h.Save());
    EXPECT_EQ(GetFileAttributesA("records.damaged.bin"), INVALID_FILE_ATTRIBUTES);
}

// A file that is there but cannot be read is still the player's: it is copied aside before a save
// replaces it, and while it cannot be copied nothing is saved.
TEST_F(HiScoreFile, UnreadableFilesAreNeverReplacedBlind) {
    ASSERT_TRUE(Numbered().Save());
    const std::string good = Records();
    // Held by another program that shares no reading while the tables load.
    HANDLE held = CreateFileA("records.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    HiScoreTable h;
    h.Load();
    EXPECT_TRUE(AllDefaults(h));
    EXPECT_FALSE(h.Save()); // still held: no copy, no save
    CloseHandle(held);
    EXPECT_EQ(Records(), good);
    ASSERT_TRUE(h.Save());
    EXPECT_EQ(TempFolder::Read("records.damaged.bin"), good);
    h.Load();
    EXPECT_TRUE(AllDefaults(h));

    // A folder in its place is never saved over.
    ASSERT_TRUE(DeleteFileA("records.bin"));
    folder.Write("records.bin\\inner.txt", "mine");
    h.Load();
    EXPECT_FALSE(h.Save());
    EXPECT_EQ(TempFolder::Read(folder.File("records.bin\\inner.txt")), "mine");
}
