// The sweep: every command of the engine, called one parameter at a time with each wrong value of
// its kind while the other parameters stay sound. The rows come from the command headers
// (make_command_table.py); the items the sound values name are made fresh for each command.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

constexpr int kMaxParameters = 16;
constexpr int kOutBytes = 4096;

// One call's argument slots; a row's thunk reads slot k for its parameter k, and writes what the
// command returns (without allocating: the allocation pass counts the call's own).
struct SweepArgs {
    std::int64_t i[kMaxParameters] = {};
    double f[kMaxParameters] = {};
    const char* s[kMaxParameters] = {};
    alignas(16) unsigned char out[kMaxParameters][kOutBytes] = {};
    std::int64_t returnedNumber = 0;
    double returnedFloat = 0;
    const void* returnedPointer = nullptr;
    bool returnedText = false; // the pointer is a string
};

inline void SweepReturn(SweepArgs& a, const char* text) {
    a.returnedPointer = text;
    a.returnedText = true;
}
inline void SweepReturn(SweepArgs& a, const void* pointer) {
    a.returnedPointer = pointer;
}
template <typename T>
requires std::is_arithmetic_v<T>
void SweepReturn(SweepArgs& a, T value) {
    if constexpr (std::is_floating_point_v<T>)
        a.returnedFloat = value;
    else
        a.returnedNumber = static_cast<std::int64_t>(value);
}

struct SweepRow {
    const char* name;
    const char* module;
    const char* part;  // the header that declares it: one test case each
    const char* kinds; // one word a parameter: int count size position float string out previous
                       // item:<kind>
    bool quiet;        // its comment allows a missing item to pass without an error
    void (*call)(SweepArgs& a);
};

const std::vector<SweepRow>& SweepRows();
// The commands left out, with their reasons, and those whose faults are mended elsewhere.
struct SweepExclusion {
    const char* name;
    const char* reason;
};
const std::vector<SweepExclusion>& SweepExclusions();
// The passes, each with its own list of faults mended elsewhere.
enum class SweepPass { WrongValues, Pairs, Memory };
const std::vector<SweepExclusion>& SweepKnownFaults(SweepPass pass);
// Commands whose refused allocations end the process: the allocation pass only counts them.
const std::vector<SweepExclusion>& SweepKnownEnds();
// Declarations of the command headers that are no commands: bridges and module entries.
int SweepBridgeCount();
int SweepEntryCount();
// Commands allowed to leave a missing item without an error, or to change items they do not name.
bool SweepQuietAllowed(const std::string& name);
bool SweepTouchesAllowed(const std::string& name);
bool SweepSlowAllowed(const std::string& name);
bool SweepDropsOldAllowed(const std::string& name);
// Commands swept in a case of their own.
const std::vector<SweepExclusion>& SweepAlone();
// How many cases the allocation-failure pass splits a command's refusals among (1 for most).
int SweepShares(const std::string& name);

// The items every command may name, numbered kSound; made fresh before each command.
constexpr std::int32_t kSound = 3, kInstance = 4, kDecoyImage = 5, kDecoyObject = 6, kMissing = 7,
                       kDeleted = 8;

struct ItemKind {
    const char* name;
    std::int64_t low, high; // the valid numbers
    bool (*exists)(std::int32_t n);
    std::string (*fingerprint)(std::int32_t n); // empty when missing; null: no fixture
    void (*make)(std::int32_t n);
    void (*remove)(std::int32_t n);
    // Empty when the item's memory or device object holds all it records (or it is missing);
    // null: not checked.
    std::string (*whole)(std::int32_t n) = nullptr;
};
const ItemKind* FindItemKind(const std::string& name);
const std::vector<ItemKind>& ItemKinds();
// Makes every fixture afresh in the temp folder (the current folder), and the decoys.
void MakeFixtures();
void DeleteFixtures();
// Deletes kind's fixture and makes it again.
void RemakeFixture(const ItemKind& kind);
// Removes the registry keys and values the input module's commands wrote.
void DeleteRegistryTraces();
// The sound string of a command of this module: a small file of the kind it loads.
const char* SoundString(const std::string& module);
