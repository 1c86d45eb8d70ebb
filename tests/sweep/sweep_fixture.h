// The sweep's fixture, shared by its passes: the engine started with every device lock guarded,
// fresh items under the sweep's numbers, their prints, and the checks every call passes.
#pragma once

#include "core/win32.h"

#include "sweep/sweep.h"
#include "display/display_state.h"
#include "support/engine_fixture.h"
#include "support/guarded_locks.h"
#include "support/heaps.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

// A call's time: its thread's own, which other programs running at once do not stretch, bounded
// at 0.5 s; and the wall clock's, which they do, bounded only against a hang (what waits shows
// in it alone).
struct Timing {
    double wall = 0, thread = 0;
    // Empty within both bounds; else which bound it passed, and by how much. A slow call is held
    // to the hang bound only.
    std::string Passed(bool slow = false) const;
};
double ThreadSeconds();
template <typename F> Timing Seconds(F f) {
    LARGE_INTEGER t0, t1, hz;
    const double thread0 = ThreadSeconds();
    QueryPerformanceCounter(&t0);
    f();
    QueryPerformanceCounter(&t1);
    QueryPerformanceFrequency(&hz);
    return {double(t1.QuadPart - t0.QuadPart) / double(hz.QuadPart), ThreadSeconds() - thread0};
}

// Every fixture's print, by kind and number.
using Prints = std::map<std::string, std::string>;
Prints PrintAll();
std::string KindOf(const std::string& print);
// Whether n is one of the items the sweep made of that kind.
bool Fixture(const std::string& kind, std::int64_t n);
std::vector<std::string> Words(const std::string& text);
// The parameter's sound value in slot k.
void SetSound(SweepArgs& a, int k, const std::string& kind, const std::string& module);
// Every parameter sound.
SweepArgs SoundArgs(const SweepRow& row);
// The kinds of item the row names.
std::set<std::string> NamedKinds(const SweepRow& row);
// Empty when every item the call may have touched holds all it records; else what is short.
std::string WholeItems(const SweepRow& row, const SweepArgs& a);
// What a call changed that it should not have: anything, after an error; an item, when it worked.
std::vector<std::string> Lost(const Prints& before, std::int32_t error);
// The cases of a pass, by name: a header's commands, at most kRowsPerCase of them a case ("file"
// when one case holds them, else "file_1", "file_2", ...), and each command listed to be alone
// in a case of its own ("display_Setup"), so that no case runs long on a loaded machine.
constexpr std::size_t kRowsPerCase = 24;
std::vector<std::string> SweepCases();
// The cases of the allocation-failure pass: those of SweepCases, with a command listed in shares
// as that many cases ("display_Setup_1", ...), each refusing every n-th of its allocations.
std::vector<std::string> MemoryCases();
struct CaseShare {
    std::size_t index = 0, count = 1; // this case refuses the allocations i with i % count == index
};
CaseShare ShareOf(const std::string& name);
// The rows of a case, in the table's order.
const std::vector<const SweepRow*>& CaseRows(const std::string& name);

class Sweep : public EngineFixture, public ::testing::WithParamInterface<std::string> {
public:
    // Calls every row of the case.
    template <typename F> void EachRow(F f) {
        const std::vector<const SweepRow*>& rows = CaseRows(GetParam());
        for (const SweepRow* row : rows) {
            if (PrintAll() != baseline_) MakeFixtures();
            const Timing took = Seconds([&] { f(*row); });
            std::printf("sweep: %s took %.2f s (%.2f s of its thread)\n", row->name, took.wall,
                        took.thread);
        }
        EXPECT_FALSE(rows.empty());
    }
    // Whether a failed check fails the case: one of a command whose fault another change mends
    // is printed instead.
    bool Known(SweepPass pass, const char* name, bool passed, const std::string& what);
    // The checks of a call with wrong or extreme arguments: its time, the heaps, its error or what
    // it made, its frame, the items it does not name; then the items are made again.
    void Call(SweepPass pass, const SweepRow& row, SweepArgs& a, const std::string& call,
              bool mustFail, const ItemKind* item, std::int64_t itemNumber);
    void Frame(SweepPass pass, const char* name, const std::string& call);
    void Restore(const Prints& before, const std::set<std::string>& named, const char* name,
                 const std::string& call);
    // Makes again the fixtures a call changed; all of them after a failure of its own.
    void Remake(int failuresBefore, int knownBefore);
    // Back in the case's own folder, wherever a call left the current one.
    void InWork() const;
    // Back at the mode the case began at, windowed, wherever a mode command left the display.
    void RestoreDisplay();
    std::int32_t& Error() { return cell.number; }
    void SetUp() override;
    void TearDown() override;
    Prints baseline_;

private:
    DisplayModeRequest startMode_;
    std::unique_ptr<GuardedLocks> locks_;
    TempFolder folder_;
    std::string work_ = folder_.File("work");
};
