// Saves that must fail: a target made unwritable in each of the ways a player's disk can be, and
// the check that the save left its folder as it was. Each fault is made for real and undone at
// the end of the case.
//
// The full disk and the read-only folder need disks of their own, which scripts/test-disks.sh
// mounts as root and names in ZARVOLIN_TEST_DISKS: ctest's test_disks fixture does, one case at a
// time, for suites whose name ends in OnTestDisks, and so does scripts/test-whole.sh. A case whose
// disks are missing makes the other faults, then skips, saying why.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

enum class SaveFault {
    FullDisk,       // the file lives on a disk that has no byte left
    ReadOnlyFolder, // the file lives in a folder on a read-only disk
    ReadOnlyFile,   // the file carries the read-only attribute
    FolderInPlace,  // a folder holding a file of the old bytes stands where the file should be
    HeldOpen,       // another handle holds the file open without sharing it
    // No file at first: another program makes the old one just before the save moves its own in
    // (through the replacing writer's hook). Not among every fault: only a save that never
    // replaces keeps it.
    AppearsMeanwhile,
};
inline constexpr std::initializer_list<SaveFault> kEverySaveFault = {
    SaveFault::FullDisk, SaveFault::ReadOnlyFolder, SaveFault::ReadOnlyFile,
    SaveFault::FolderInPlace, SaveFault::HeldOpen};

// Runs the save with a null and with an empty name, a fresh folder being the current one
// meanwhile, and checks that each raised `error` and left that folder empty.
void CheckNamelessSaves(const char* writer, std::int32_t error,
                        const std::function<void(const char* name)>& save);

// The bytes of a seeded random file of that size: large enough that a save cut short shows.
std::string SeededBytes(std::size_t size, unsigned seed);

// One save made to fail: the command that writes, the fault, whether the old file is there (else
// the command makes a new file), and the error the command raises (0: none, the refusal being
// a documented warning).
struct FailingSaveRow {
    const char* writer;
    SaveFault fault;
    bool oldFile;
    std::int32_t error;
    std::function<void(const std::string& target)> save;
};

// Runs each row's save onto a target `name` made with its fault, `old` being the file there, and
// checks the error it raised and the folder it left.
void CheckFailingSaves(const std::vector<FailingSaveRow>& rows, const std::string& name,
                       const std::string& old);
// The same for one command that replaces its file and raises `error` whatever the fault.
void CheckFailingSaves(const char* writer, std::initializer_list<SaveFault> faults,
                       std::int32_t error, const std::function<void(const std::string&)>& save,
                       const std::string& name, const std::string& old);
