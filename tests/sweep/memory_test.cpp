// The allocation-failure pass: each command, with sound arguments (a free number where it makes an
// item), is called once to count the allocations its own code makes, then again with the k-th of
// them refused, k = 1, 2, ... until it makes no more. Each such call must raise an error, leave
// every item as it was and hold no block it made, or do all its work; no exception may leave it,
// and the heaps stay whole.
#include "core/win32.h"

#include "sweep/failing_allocator.h"
#include "sweep/sweep_fixture.h"
#include "core/frame_loop.h"
#include "display/display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <set>

namespace {

// Every k up to this; past it a spread of kSpread more up to the last.
constexpr int kEveryUpTo = 64, kSpread = 16;

// What a process that ends in a call says: the call and k (the pass prints a line a command only).
char g_calling[256] = "";

void SayCall() {
    std::fprintf(stderr, "sweep: the process ended in %s\n", g_calling);
    std::fflush(stderr);
}

// Ends the process at once: a fault's unwinding can hang on a lock the call held.
LONG WINAPI SayCrash(EXCEPTION_POINTERS* e) {
    std::fprintf(stderr, "sweep: exception 0x%08lX at %p\n", e->ExceptionRecord->ExceptionCode,
                 e->ExceptionRecord->ExceptionAddress);
    SayCall();
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_CONTINUE_SEARCH;
}

[[noreturn]] void SayTerminate() {
    SayCall();
    std::abort();
}

// The parameter that names the item the call makes under the free number kMissing, if it makes one.
struct Maker {
    int param = -1;
    const ItemKind* kind = nullptr;
};

// What one call did.
struct Outcome {
    std::int32_t error = 0;
    char thrown[160] = ""; // what left the command, if anything did
    AllocationTally tally;
    Prints prints;
    std::string returned; // the value and the out slots, in short
    bool made = false;    // the maker's item exists
};

std::string Returned(const SweepArgs& a) {
    std::uint64_t hash = 14695981039346656037ull;
    const unsigned char* bytes = &a.out[0][0];
    for (std::size_t i = 0; i < sizeof a.out; ++i)
        hash = (hash ^ bytes[i]) * 1099511628211ull;
    std::string said = std::to_string(a.returnedNumber) + " " + std::to_string(a.returnedFloat);
    if (a.returnedText && a.returnedPointer)
        said +=
            " \"" + std::string(static_cast<const char*>(a.returnedPointer)).substr(0, 64) + "\"";
    else
        said += a.returnedPointer ? " a pointer" : " null";
    return said + ", out slots " + std::to_string(hash);
}

Outcome CallOnce(Sweep& sweep, const SweepRow& row, const SweepArgs& sound, int failAt,
                 const Maker& maker) {
    SweepArgs a = sound;
    Outcome o;
    std::snprintf(g_calling, sizeof g_calling, "%s with allocation %d refused", row.name, failAt);
    sweep.Error() = 0;
    ArmAllocations(failAt);
    try {
        row.call(a);
    } catch (const std::bad_alloc&) {
        std::strcpy(o.thrown, "std::bad_alloc");
    } catch (const std::exception& e) {
        std::snprintf(o.thrown, sizeof o.thrown, "an exception (%s)", e.what());
    } catch (...) {
        std::strcpy(o.thrown, "an exception");
    }
    o.tally = DisarmAllocations();
    o.error = sweep.Error();
    sweep.InWork();
    o.prints = PrintAll();
    o.returned = Returned(a);
    o.made = maker.kind && maker.kind->exists(kMissing);
    return o;
}

// Takes away what the call made and makes again the fixtures it changed (all of them after an
// exception).
void Settle(Sweep& sweep, const Maker& maker, bool all) {
    sweep.RestoreDisplay();
    if (maker.kind && maker.kind->exists(kMissing)) maker.kind->remove(kMissing);
    const Prints now = PrintAll();
    std::set<std::string> changed;
    for (const auto& [item, print] : sweep.baseline_)
        if (now.at(item) != print) changed.insert(KindOf(item));
    if (all || changed.size() > 3 || (changed.count("object") && changed.count("image"))) {
        MakeFixtures();
        return;
    }
    for (const std::string& kind : changed)
        RemakeFixture(*FindItemKind(kind));
}

// The reference call: with sound arguments, and where they raise an error (the number is taken),
// with a free number for each item parameter in turn until one makes its item.
Maker ChooseCall(Sweep& sweep, const SweepRow& row, SweepArgs& sound, Outcome& reference) {
    reference = CallOnce(sweep, row, sound, 0, {});
    Settle(sweep, {}, reference.thrown[0] != 0);
    const std::vector<std::string> kinds = Words(row.kinds);
    for (std::size_t p = 0; p < kinds.size() && reference.error; ++p) {
        const ItemKind* kind =
            kinds[p].rfind("item:", 0) == 0 ? FindItemKind(kinds[p].substr(5)) : nullptr;
        if (!kind || !kind->exists || !kind->remove) continue;
        SweepArgs free = sound;
        free.i[p] = kMissing;
        const Maker maker{int(p), kind};
        Outcome made = CallOnce(sweep, row, free, 0, maker);
        Settle(sweep, maker, made.thrown[0] != 0);
        if (!made.error && made.made) {
            sound = free;
            reference = made;
            return maker;
        }
    }
    return {};
}

std::vector<int> Ks(int allocations) {
    std::vector<int> ks;
    for (int k = 1; k <= allocations && k <= kEveryUpTo; ++k)
        ks.push_back(k);
    for (int i = 1; allocations > kEveryUpTo && i <= kSpread; ++i) {
        const int k = kEveryUpTo + int((std::int64_t{allocations} - kEveryUpTo) * i / kSpread);
        if (k > ks.back()) ks.push_back(k);
    }
    return ks;
}

std::string Said(const std::string& print) {
    return print.empty() ? "(missing)" : print;
}

// What is wrong with a call whose k-th allocation was refused.
std::vector<std::string> Faults(const SweepRow& row, const Outcome& o, const Outcome& reference,
                                bool steady, const Prints& before, const Maker& maker) {
    std::vector<std::string> faults;
    if (o.thrown[0]) faults.push_back(std::string(o.thrown) + " left the command");
    if (!HeapsWhole()) faults.push_back("a heap is damaged");
    if (!GetDirect3DDevice()) faults.push_back("no device is left");
    const std::string raised = "error " + std::to_string(o.error);
    if (o.error) {
        const bool drops = SweepDropsOldAllowed(row.name);
        // A mode change deletes every item whatever its modules' rebuild ran out of, and what the
        // rebuild made is held, as after a call that worked.
        const bool touches = SweepTouchesAllowed(row.name);
        for (const auto& [item, print] : before)
            if (o.prints.at(item) != print &&
                !(o.prints.at(item).empty() &&
                  (touches || (drops && NamedKinds(row).count(KindOf(item))))))
                faults.push_back(raised + ", and " + item + " changed: " + Said(print) + "-> " +
                                 Said(o.prints.at(item)));
        const int rebuilt = touches ? std::max(reference.tally.held, 0) : 0;
        if (o.tally.held > rebuilt)
            faults.push_back(
                raised + ", and it holds " + std::to_string(o.tally.held) + " blocks it allocated" +
                (rebuilt ? ", more than the " + std::to_string(rebuilt) + " of a call that worked"
                         : std::string()));
        if (o.made) faults.push_back(raised + ", and yet it made its item");
        return faults;
    }
    if (o.thrown[0]) return faults;
    if (reference.error) {
        faults.push_back("no error, where the call without a refusal raises error " +
                         std::to_string(reference.error));
        return faults;
    }
    if (maker.kind && !o.made) faults.push_back("no error, and nothing made");
    if (!steady) return faults;
    for (const auto& [item, print] : reference.prints)
        if (o.prints.at(item) != print)
            faults.push_back("no error, and " + item + " is " + Said(o.prints.at(item)) +
                             ", not the call's " + Said(print));
    if (o.returned != reference.returned)
        faults.push_back("no error, and it gave " + o.returned + ", not the call's " +
                         reference.returned);
    return faults;
}

// Whether the command is listed as ending the process.
const SweepExclusion* Ends(const char* name) {
    for (const SweepExclusion& known : SweepKnownEnds())
        if (std::string(name) == known.name) return &known;
    return nullptr;
}

// The command's calls without a refusal: what it makes, does and gives, and how many allocations.
struct Reference {
    Maker maker;
    SweepArgs sound;
    Outcome outcome;
    bool steady = false; // two calls agree: their prints and what they give are compared
    int allocations = 0;
};

void CountCall(Sweep& sweep, const SweepRow& row, Reference& r) {
    r.sound = SoundArgs(row);
    r.maker = ChooseCall(sweep, row, r.sound, r.outcome);
    const Outcome again = CallOnce(sweep, row, r.sound, 0, r.maker);
    Settle(sweep, r.maker, again.thrown[0] != 0);
    r.steady = again.prints == r.outcome.prints && again.returned == r.outcome.returned &&
               again.made == r.outcome.made;
    r.allocations = std::max(r.outcome.tally.made, again.tally.made);
    if (r.outcome.thrown[0] &&
        sweep.Known(SweepPass::Memory, row.name, false,
                    std::string(row.name) + ": " + r.outcome.thrown + " left the command"))
        ADD_FAILURE() << row.name << ": " << r.outcome.thrown << " left the command";
}

// Refuses each chosen k in turn until the call makes fewer; how many were refused.
int RefuseInTurn(Sweep& sweep, const SweepRow& row, const Reference& r, CaseShare share) {
    int refused = 0;
    const std::vector<int> ks = Ks(r.allocations);
    for (std::size_t i = share.index; i < ks.size(); i += share.count) {
        const int k = ks[i];
        const Prints before = PrintAll();
        const Outcome o = CallOnce(sweep, row, r.sound, k, r.maker);
        if (o.tally.failed) {
            ++refused;
            const std::string call =
                std::string(row.name) + " with allocation " + std::to_string(k) + " refused";
            for (const std::string& fault : Faults(row, o, r.outcome, r.steady, before, r.maker))
                if (sweep.Known(SweepPass::Memory, row.name, false, call + ": " + fault))
                    ADD_FAILURE() << call << ": " << fault;
        }
        Settle(sweep, r.maker, o.thrown[0] != 0);
        if (!o.tally.failed) break;
    }
    return refused;
}

void RefusalsOf(Sweep& sweep, const SweepRow& row, CaseShare share) {
    if (const SweepExclusion* ends = Ends(row.name)) {
        std::printf("sweep: known, mended elsewhere (%s): %s ends the process; not called\n",
                    ends->reason, row.name);
        return;
    }
    std::printf("sweep: %s\n", row.name);
    std::fflush(stdout);
    // The free number is free: what an earlier command left there is not this one's.
    for (const ItemKind& kind : ItemKinds())
        if (kind.exists && kind.remove && kind.exists(kMissing)) kind.remove(kMissing);
    const Timing took = Seconds([&] {
        Reference r;
        CountCall(sweep, row, r);
        const int refused = RefuseInTurn(sweep, row, r, share);
        // What a refused call left half made shows in a frame.
        Sync();
        EXPECT_TRUE(HeapsWhole()) << row.name << ": a heap is damaged after the frame";
        std::printf("sweep: %s%s: %d allocations, %d refused in turn%s%s", row.name,
                    r.maker.kind ? (" making its " + std::string(r.maker.kind->name)).c_str() : "",
                    r.allocations, refused, r.steady ? "" : ", its results vary",
                    r.outcome.error ? (", error " + std::to_string(r.outcome.error)).c_str() : "");
    });
    std::printf(" (%.2f s)\n", took.wall);
}

class SweepMemory : public Sweep {};

// While it lives, a fault or an exception that ends the process says in which call it came.
struct SayingEnds {
    SayingEnds()
        : filter(SetUnhandledExceptionFilter(SayCrash)), handler(std::set_terminate(SayTerminate)) {
    }
    ~SayingEnds() {
        std::set_terminate(handler);
        SetUnhandledExceptionFilter(filter);
    }
    LPTOP_LEVEL_EXCEPTION_FILTER filter;
    std::terminate_handler handler;
};

TEST_P(SweepMemory, RunningOutOfMemoryRaisesOrWorks) {
    const SayingEnds saying;
    // The runtime keeps what the first exception's unwinding allocates (its per-thread globals,
    // the sorted table of frames): that first one is thrown here, before any call is counted.
    try {
        throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
    }
    EachRow([&](const SweepRow& row) { RefusalsOf(*this, row, ShareOf(GetParam())); });
}

INSTANTIATE_TEST_SUITE_P(Commands, SweepMemory, ::testing::ValuesIn(MemoryCases()),
                         [](const auto& info) { return info.param; });

} // namespace
