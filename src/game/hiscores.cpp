#include "core/win32.h"

#include "game/hiscores.h"
#include "game/play_board.h"
#include "core/media.h"

#include <cstring>

namespace {

constexpr const char* kFileName = "records.bin";
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

bool DecodeEntry(const std::uint8_t* at, HiScoreEntry& entry) {
    if (!PlausibleName(at)) return false;
    entry.score = GetInt(at + 12);
    entry.combo = GetInt(at + 16);
    if (entry.score < 0 || entry.combo < 0) return false;
    char text[kHiScoreNameBytes + 1] = {};
    std::memcpy(text, at, kHiScoreNameBytes);
    SetName(entry, text); // a name without a terminator loses its last byte
    return true;
}

// Decodes into a copy, so a bad file leaves the tables untouched.
bool DecodeRecords(const std::uint8_t* bytes, std::uint32_t size, HiScoreTable& out) {
    if (!bytes || size != kRecordsFileBytes) return false;
    HiScoreTable decoded = out;
    for (int t = 0; t < kHiScoreTables; ++t)
        for (int e = 0; e < kHiScoreEntries; ++e)
            if (!DecodeEntry(bytes + 100 * t + kHiScoreEntryBytes * e, decoded.tables[t][e]))
                return false;
    out = decoded;
    return true;
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
    std::uint32_t size = 0;
    void* bytes = CoreReadWholeFile(kFileName, &size);
    if (!DecodeRecords(static_cast<const std::uint8_t*>(bytes), size, *this)) SetDefaults();
    if (bytes) GlobalFree(bytes);
}

bool HiScoreTable::Save() const {
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
