// The seven high-score tables, one per mode and difficulty, and their file "records.bin".
#pragma once

#include <cstdint>

constexpr int kHiScoreTables = 7;
constexpr int kHiScoreEntries = 5;
constexpr int kHiScoreNameBytes = 12;
constexpr int kNoRank = 10;
// 20 bytes an entry, the tables one after another, no header.
constexpr int kHiScoreEntryBytes = 20;
constexpr int kRecordsFileBytes = kHiScoreTables * kHiScoreEntries * kHiScoreEntryBytes;

struct HiScoreEntry {
    char name[kHiScoreNameBytes] = {}; // always NUL-terminated inside its 12 bytes
    std::int32_t score = 0;
    std::int32_t combo = 0; // the combo counter at the end of the game
};

struct HiScoreTable {
    std::int32_t current = 0;    // the table of the game being played; set by the menu
    std::int32_t rank = kNoRank; // the place FindRank found, kNoRank when none
    HiScoreEntry tables[kHiScoreTables][kHiScoreEntries];
    // Set by Load when "records.bin" held something it did not take whole, or is there but could
    // not be read (held by another program, a folder); cleared once the file is copied aside.
    mutable bool keepDamagedFile = false;

    // Reads "records.bin" from the current folder entry by entry: a sound entry is kept, any
    // other (or one the file does not hold whole) takes the default row; bytes past 700 are not
    // read. Each table is then sorted by its ranking key, a kept entry before a default row of
    // the same key. A missing file gives the default tables; so does one that cannot be read,
    // which the next save copies aside first.
    void Load();
    // Writes "records.bin" through a temporary file, so a failed save keeps the old scores. A
    // file that Load did not take whole is first copied aside, once, beside it under a name of
    // its own ("records.damaged.bin", or "records.damaged-N.bin" when that is taken); no copy,
    // no save. False when nothing was saved.
    bool Save() const;
    void SetDefaults();
    // Whether the board's score and combo earn a place in table `current`.
    bool FindRank();
    bool FindRank(std::int32_t score, std::int32_t combo);
    // Into table `current` at `rank`; the fifth entry drops out.
    void Insert(const char* name, std::int32_t score, std::int32_t combo);
};

HiScoreTable& HiScores();

// Tables 0 to 3 rank by score, the keepy-uppy tables 4 to 6 by combo.
bool RankedByCombo(std::int32_t table);
std::int32_t RankingKey(std::int32_t table, const HiScoreEntry& entry);
const char* TableCaption(std::int32_t table);
const char* KeyHeading(std::int32_t table);
