#include "core/win32.h"

#include "game/hiscores.h"
#include "game/play_board.h"
#include "core/media.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr const char* kFileName = "records.bin";
constexpr const char* kAsideName = "records.damaged"; // then "-2", "-3", ... while taken
constexpr int kAsideNames = 100;
constexpr std::int32_t kDefaultScore = 1000;
constexpr std::int32_t kDefaultCombo = 5;
constexpr const char* kDefaultNames[kHiScoreEntries] = {"nova", "pip", "rue", "tam", "wyn"};

constexpr const char* kCaptions[kHiScoreTables] = {
    "puzzle mode",       "time attack : easy",  "time attack : medium", "time attack : hard",
    "keepy uppy : easy", "keepy uppy : medium", "keepy uppy : hard"};

HiScoreTable DefaultTables();

// Lives as long as the program. The menu sets `current`; the rows change only through Load, Insert
// and SetDefaults. It holds the default tables until Load, so nothing ranks against empty rows.
HiScoreTable table = DefaultTables();

bool ValidTable(std::int32_t t) {
    return t >= 0 && t < kHiScoreTables;
}

// Copies text into a name, clipped so that the terminator always fits; the rest is zeroed so the
// file holds no stale bytes.
void SetName(HiScoreEntry& entry, const char* text) {
    std::memset(entry.name, 0, sizeof entry.name);
    if (text) std::memcpy(entry.name, text, strnlen(text, sizeof entry.name - 1));
}

void PutInt(std::uint8_t* at, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::int32_t GetInt(const std::uint8_t* at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(at[i]) << (8 * i);
    return static_cast<std::int32_t>(v);
}

// A name is printable text up to its terminator; anything else means the file is not ours.
bool PlausibleName(const std::uint8_t* at) {
    for (int i = 0; i < kHiScoreNameBytes && at[i] != 0; ++i)
        if (at[i] < 0x20 || at[i] > 0x7E) return false;
    return true;
}

// A sound entry: printable name, score and combo not negative; entry is left as it was otherwise.
bool DecodeEntry(const std::uint8_t* at, HiScoreEntry& entry) {
    if (!PlausibleName(at)) return false;
    const std::int32_t score = GetInt(at + 12), combo = GetInt(at + 16);
    if (score < 0 || combo < 0) return false;
    char text[kHiScoreNameBytes + 1] = {};
    std::memcpy(text, at, kHiScoreNameBytes);
    SetName(entry, text); // a name without a terminator loses its last byte
    entry.score = score;
    entry.combo = combo;
    return true;
}

// Decodes each entry that the first size bytes hold whole over the rows, marking it kept when it
// is sound; true when all of them were.
bool DecodeRecords(const std::uint8_t* bytes, std::uint32_t size, HiScoreTable& out,
                   bool kept[kHiScoreTables][kHiScoreEntries]) {
    bool whole = true;
    for (int t = 0; t < kHiScoreTables; ++t) {
        for (int e = 0; e < kHiScoreEntries; ++e) {
            const std::uint32_t at = 100u * t + kHiScoreEntryBytes * e;
            kept[t][e] =
                at + kHiScoreEntryBytes <= size && DecodeEntry(bytes + at, out.tables[t][e]);
            whole = whole && kept[t][e];
        }
    }
    return whole;
}

// Ranks a table by its key, highest first, so FindRank sees the order it expects; ties keep
// their order, but a kept entry goes before a default row.
void SortTable(std::int32_t t, HiScoreEntry* rows, const bool* kept) {
    int order[kHiScoreEntries] = {0, 1, 2, 3, 4};
    std::stable_sort(order, order + kHiScoreEntries, [&](int a, int b) {
        const std::int32_t keyA = RankingKey(t, rows[a]), keyB = RankingKey(t, rows[b]);
        return keyA != keyB ? keyA > keyB : kept[a] && !kept[b];
    });
    HiScoreEntry sorted[kHiScoreEntries];
    for (int e = 0; e < kHiScoreEntries; ++e)
        sorted[e] = rows[order[e]];
    std::copy(sorted, sorted + kHiScoreEntries, rows);
}

enum class RecordsFile { Missing, Unreadable, Read };

// The file's first kRecordsFileBytes (all of it when shorter) into bytes, their count in size,
// and whether the file is exactly that long. Only a name that is not there means no file: one
// that cannot be opened (held by another program, a folder) is still the player's.
RecordsFile ReadRecordsFile(std::uint8_t* bytes, std::uint32_t& size, bool& exact) {
    size = 0;
    exact = false;
    HANDLE file = CreateFileA(kFileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? RecordsFile::Missing
                   : RecordsFile::Unreadable;
    }
    LARGE_INTEGER length{};
    DWORD read = 0;
    if (GetFileSizeEx(file, &length) && ReadFile(file, bytes, kRecordsFileBytes, &read, nullptr)) {
        size = read;
        exact = length.QuadPart == kRecordsFileBytes && read == kRecordsFileBytes;
    }
    CloseHandle(file);
    return RecordsFile::Read;
}

// Copies the file beside it, whole, under the first free name of its own; true when it is
// copied, or when there is no file left to lose.
bool CopyFileAside() {
    if (GetFileAttributesA(kFileName) == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    for (int n = 1; n <= kAsideNames; ++n) {
        const std::string name = n == 1
                                     ? kAsideName + std::string(".bin")
                                     : kAsideName + std::string("-") + std::to_string(n) + ".bin";
        if (GetFileAttributesA(name.c_str()) == INVALID_FILE_ATTRIBUTES)
            return CoreCopyWholeFile(kFileName, name.c_str(), false);
    }
    return false;
}

void EncodeRecords(const HiScoreTable& in, std::uint8_t* bytes) {
    for (int t = 0; t < kHiScoreTables; ++t) {
        for (int e = 0; e < kHiScoreEntries; ++e) {
            std::uint8_t* at = bytes + 100 * t + kHiScoreEntryBytes * e;
            const HiScoreEntry& entry = in.tables[t][e];
            std::memcpy(at, entry.name, kHiScoreNameBytes);
            at[kHiScoreNameBytes - 1] = 0;
            PutInt(at + 12, entry.score);
            PutInt(at + 16, entry.combo);
        }
    }
}

HiScoreTable DefaultTables() {
    HiScoreTable defaults;
    defaults.SetDefaults();
    return defaults;
}

} // namespace

HiScoreTable& HiScores() {
    return table;
}

bool RankedByCombo(std::int32_t t) {
    return t >= 4;
}

std::int32_t RankingKey(std::int32_t t, const HiScoreEntry& entry) {
    return RankedByCombo(t) ? entry.combo : entry.score;
}

const char* TableCaption(std::int32_t t) {
    return ValidTable(t) ? kCaptions[t] : "";
}

const char* KeyHeading(std::int32_t t) {
    return RankedByCombo(t) ? "max combo" : "score";
}

void HiScoreTable::SetDefaults() {
    for (auto& rows : tables) {
        for (int e = 0; e < kHiScoreEntries; ++e) {
            SetName(rows[e], kDefaultNames[e]);
            rows[e].score = kDefaultScore;
            rows[e].combo = kDefaultCombo;
        }
    }
}

void HiScoreTable::Load() {
    SetDefaults();
    keepDamagedFile = false;
    std::uint8_t bytes[kRecordsFileBytes] = {};
    std::uint32_t size = 0;
    bool exact = false;
    const RecordsFile file = ReadRecordsFile(bytes, size, exact);
    // What cannot be read now is copied aside before a save replaces it.
    keepDamagedFile = file == RecordsFile::Unreadable;
    if (file != RecordsFile::Read) return;
    bool kept[kHiScoreTables][kHiScoreEntries] = {};
    const bool whole = DecodeRecords(bytes, size, *this, kept);
    for (int t = 0; t < kHiScoreTables; ++t)
        SortTable(t, tables[t], kept[t]);
    keepDamagedFile = !whole || !exact;
}

bool HiScoreTable::Save() const {
    // What the player had stays beside the new file when it did not load whole.
    if (keepDamagedFile && !CopyFileAside()) return false;
    keepDamagedFile = false;
    std::uint8_t bytes[kRecordsFileBytes] = {};
    EncodeRecords(*this, bytes);
    return CoreWriteWholeFile(kFileName, bytes, sizeof bytes);
}

bool HiScoreTable::FindRank() {
    return FindRank(Board().score, Board().combo);
}

bool HiScoreTable::FindRank(std::int32_t score, std::int32_t combo) {
    rank = kNoRank;
    if (!ValidTable(current)) return false;
    const std::int32_t key = RankedByCombo(current) ? combo : score;
    // From the bottom up, so the highest place the key beats wins; a tie earns nothing.
    for (int e = kHiScoreEntries - 1; e >= 0; --e)
        if (key > RankingKey(current, tables[current][e])) rank = e;
    return rank != kNoRank;
}

void HiScoreTable::Insert(const char* name, std::int32_t score, std::int32_t combo) {
    if (!ValidTable(current) || rank < 0 || rank >= kHiScoreEntries) return;
    HiScoreEntry* rows = tables[current];
    for (int e = kHiScoreEntries - 1; e > rank; --e)
        rows[e] = rows[e - 1];
    SetName(rows[rank], name);
    rows[rank].score = score;
    rows[rank].combo = combo;
}
