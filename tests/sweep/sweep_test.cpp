// The sweep's cases: one a command header. Each command gets fresh items, then each parameter in
// turn every wrong value of its kind, the others sound. A call must come back within 0.5 s with
// the heaps whole and every item it does not name unchanged; given an item that is not there it
// must raise a run-time error, make that item, or be listed as allowed to do nothing.
#include "core/win32.h"

#include "sweep/sweep.h"
#include "core/frame_loop.h"
#include "display/display.h"
#include "support/engine_fixture.h"
#include "support/guarded_locks.h"
#include "support/heaps.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <sstream>

namespace {

struct Value {
    std::string label;
    std::int64_t i = 0;
    double f = 0;
    const char* s = nullptr;
    bool mustFail = false; // an item that is not there (or a number outside the range)
};

const std::string kLong(1 << 20, 'a');

std::vector<Value> IntValues(bool sized) {
    std::vector<Value> v = {{"-1", -1}, {"0", 0}, {"INT_MIN", INT_MIN}, {"INT_MAX", INT_MAX}};
    // Its sum with a sound count (4) passes INT_MAX.
    if (sized) v.push_back({"INT_MAX-2 (its sum with a partner overflows)", INT_MAX - 2});
    return v;
}

std::vector<Value> FloatValues() {
    const double inf = std::numeric_limits<double>::infinity();
    return {{"NaN", 0, std::nan("")}, {"+inf", 0, inf},  {"-inf", 0, -inf},
            {"-0", 0, -0.0},          {"1e30", 0, 1e30}, {"denormal", 0, 1.4e-45}};
}

std::vector<Value> StringValues() {
    return {{"null", 0, 0, nullptr},
            {"\"\"", 0, 0, ""},
            {"1 MB", 0, 0, kLong.c_str()},
            {"COM1", 0, 0, "COM1"},
            {"..\\sweep-dots.txt", 0, 0, "..\\sweep-dots.txt"}};
}

std::vector<Value> LimbValues() {
    return {{"-1", -1, 0, nullptr, true},
            {"3 (one past the last limb)", 3, 0, nullptr, true},
            {"2 (the last limb)", 2},
            {"INT_MIN", INT_MIN, 0, nullptr, true},
            {"INT_MAX", INT_MAX, 0, nullptr, true}};
}

std::vector<Value> ItemValues(const ItemKind& k) {
    const bool checked = k.exists != nullptr && std::string(k.name) != "player";
    const auto outside = [&](std::int64_t n) { return n < k.low || n > k.high; };
    std::vector<Value> v;
    for (std::int64_t n : {std::int64_t(-1), std::int64_t(0), k.high + 1, k.high,
                           std::int64_t(INT_MIN), std::int64_t(INT_MAX)})
        if (n >= INT_MIN && n <= INT_MAX)
            v.push_back({std::to_string(n), n, 0, nullptr, outside(n) || checked});
    if (!checked) return v;
    v.push_back({"missing", kMissing, 0, nullptr, true});
    v.push_back({"deleted", kDeleted, 0, nullptr, true});
    const bool object = std::string(k.name) == "object";
    v.push_back({"another kind's item", object ? kDecoyImage : kDecoyObject, 0, nullptr, true});
    if (object) v.push_back({"an instance", kInstance});
    return v;
}

std::vector<Value> WrongValues(const std::string& kind) {
    if (kind == "int" || kind == "count" || kind == "position") return IntValues(kind != "int");
    if (kind == "float") return FloatValues();
    if (kind == "string") return StringValues();
    if (kind == "item:limb") return LimbValues();
    if (kind.rfind("item:", 0) == 0) return ItemValues(*FindItemKind(kind.substr(5)));
    return {}; // out and previous slots are the caller's memory: always sound
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

void SetSound(SweepArgs& a, int k, const std::string& kind, const std::string& module) {
    a.i[k] = kind == "count"               ? 4
             : kind == "item:limb"         ? 1
             : kind.rfind("item:", 0) == 0 ? kSound
                                           : 1;
    a.f[k] = 1.0;
    a.s[k] = SoundString(module);
}

// A call's time: the wall clock's, and its thread's own. Other test programs running at once
// stretch the first on a loaded machine, not the second; a call that waits shows only in the first.
struct Timing {
    double wall, thread;
    bool Slow() const { return thread >= 0.5 || wall >= 2.0; }
    std::string Said() const {
        return std::to_string(wall) + " s (" + std::to_string(thread) + " s its thread's)";
    }
};

double ThreadSeconds() {
    FILETIME made, ended, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &made, &ended, &kernel, &user)) return 0.0;
    const auto ticks = [](const FILETIME& t) {
        return double((std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 1e7;
}

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
std::map<std::string, std::string> Prints() {
    std::map<std::string, std::string> prints;
    for (const ItemKind& k : ItemKinds())
        if (k.fingerprint)
            for (std::int32_t n : {kSound, kDecoyImage, kDecoyObject})
                prints[std::string(k.name) + " " + std::to_string(n)] = k.fingerprint(n);
    return prints;
}

std::string KindOf(const std::string& print) {
    return print.substr(0, print.find(' '));
}

// Whether n is one of the items the sweep made of that kind.
bool Fixture(const std::string& kind, std::int64_t n) {
    return n == kSound || (kind == "object" && (n == kInstance || n == kDecoyObject)) ||
           (kind == "image" && n == kDecoyImage);
}

// Whether a failed check fails the case: a command whose fault another change mends only says so.
int knownFailureCount = 0;
int KnownFailures() {
    return knownFailureCount;
}

// The failures this case has had so far: a call remakes the items after its own only.
int FailureCount() {
    return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

bool Known(const char* name, bool passed, const std::string& what) {
    if (passed) return false;
    for (const SweepExclusion& known : SweepKnownFaults())
        if (std::string(name) == known.name) {
            std::printf("sweep: known, mended elsewhere (%s): %s\n", known.reason, what.c_str());
            ++knownFailureCount;
            return false;
        }
    return true;
}

class Sweep : public EngineFixture, public ::testing::WithParamInterface<std::string> {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        SyncOn();
        SetSyncRate(0);
        locks_ = std::make_unique<GuardedLocks>(GetDirect3DDevice());
        ASSERT_TRUE(locks_->Active());
        CreateDirectoryA(work_.c_str(), nullptr);
        SetCurrentDirectoryA(work_.c_str());
        MakeFixtures();
        baseline_ = Prints();
    }
    void TearDown() override {
        DeleteFixtures();
        DeleteRegistryTraces();
        locks_.reset();
        SetCurrentDirectoryA(folder_.Path().c_str());
        EngineFixture::TearDown();
        SetCurrentDirectoryA("C:\\");
    }
    void SweepOne(const SweepRow& row);
    void Call(const SweepRow& row, SweepArgs& a, const std::string& what, const Value& value,
              const std::string& kind, const std::set<std::string>& named);
    void Frame(const char* name, const std::string& call);
    void Restore(const std::map<std::string, std::string>& before,
                 const std::set<std::string>& named, const char* name, const std::string& call);
    std::map<std::string, std::string> baseline_;
    int knownFailures_ = 0;

private:
    std::unique_ptr<GuardedLocks> locks_;
    TempFolder folder_;
    std::string work_ = folder_.File("work");
};

void Sweep::Call(const SweepRow& row, SweepArgs& a, const std::string& what, const Value& value,
                 const std::string& kind, const std::set<std::string>& named) {
    const std::string call = std::string(row.name) + " " + what + " = " + value.label;
    std::printf("sweep: %s\n", call.c_str());
    std::fflush(stdout);
    const auto before = Prints();
    const int failuresBefore = FailureCount();
    cell.number = 0;
    const Timing took = Seconds([&] { row.call(a); });
    const std::int32_t error = cell.number;
    SetCurrentDirectoryA(work_.c_str());
    if (Known(row.name, !took.Slow() || SweepSlowAllowed(row.name), call + ": took " + took.Said()))
        ADD_FAILURE() << call << ": took " << took.Said() << ", past 0.5 s";
    EXPECT_TRUE(HeapsWhole()) << call << ": a heap is damaged";
    const ItemKind* item = kind.rfind("item:", 0) == 0 ? FindItemKind(kind.substr(5)) : nullptr;
    const bool made = item && item->exists && !Fixture(item->name, value.i) &&
                      item->exists(std::int32_t(value.i));
    if (error == 0) Frame(row.name, call);
    const bool quiet = row.quiet || SweepQuietAllowed(row.name);
    if (Known(row.name, !value.mustFail || error || made || quiet, call + ": no error"))
        ADD_FAILURE() << call << ": no run-time error, and nothing made";
    if (made && item->remove) item->remove(std::int32_t(value.i));
    Restore(before, named, row.name, call);
    // Whatever a failed call left (a slow emitter, a damaged item) is not the next call's.
    if (FailureCount() != failuresBefore || knownFailures_ != KnownFailures()) {
        knownFailures_ = KnownFailures();
        MakeFixtures();
    }
}

// The frame after a call that did its work draws and updates what it left, within the bound too
// (a refused call changed nothing to draw).
void Sweep::Frame(const char* name, const std::string& call) {
    Timing frame = Seconds([] { Sync(); });
    // The first frame of a new drawing state pays for the platform's shader compile, which a
    // fresh machine's empty shader cache makes slow; what the call set shows again in the next.
    if (frame.Slow()) frame = Seconds([] { Sync(); });
    if (Known(name, !frame.Slow(), call + ": its frame took " + frame.Said()))
        ADD_FAILURE() << call << ": the frame after it took " << frame.Said() << ", past 0.5 s";
    EXPECT_TRUE(HeapsWhole()) << call << ": a heap is damaged after its frame";
}

// Items the call does not name must be as they were; every changed fixture is made again.
void Sweep::Restore(const std::map<std::string, std::string>& before,
                    const std::set<std::string>& named, const char* name, const std::string& call) {
    const auto after = Prints();
    std::set<std::string> changed;
    for (const auto& [item, print] : before)
        if (after.at(item) != print) {
            changed.insert(KindOf(item));
            if (!named.count(KindOf(item)) && !SweepTouchesAllowed(name))
                ADD_FAILURE() << call << " changed " << item << ": " << print << "-> "
                              << after.at(item);
        }
    if (changed.size() > 3 || (changed.count("object") && changed.count("image"))) {
        MakeFixtures();
        return;
    }
    for (const std::string& kind : changed)
        RemakeFixture(*FindItemKind(kind));
}

void Sweep::SweepOne(const SweepRow& row) {
    const std::vector<std::string> kinds = Words(row.kinds);
    std::set<std::string> named;
    for (const std::string& kind : kinds)
        if (kind.rfind("item:", 0) == 0)
            named.insert(kind == "item:limb" ? "object" : kind.substr(5));
    if (Prints() != baseline_) MakeFixtures();
    for (std::size_t p = 0; p < kinds.size(); ++p)
        for (const Value& value : WrongValues(kinds[p])) {
            SweepArgs a;
            for (std::size_t k = 0; k < kinds.size(); ++k)
                SetSound(a, int(k), kinds[k], row.module);
            a.i[p] = value.i;
            a.f[p] = value.f;
            a.s[p] = value.s;
            Call(row, a, "parameter " + std::to_string(p + 1) + " (" + kinds[p] + ")", value,
                 kinds[p], named);
        }
}

TEST_P(Sweep, WrongArgumentsRaiseOrWork) {
    int swept = 0;
    for (const SweepRow& row : SweepRows())
        if (GetParam() == row.part) {
            SweepOne(row);
            ++swept;
        }
    EXPECT_GT(swept, 0);
}

std::vector<std::string> Parts() {
    std::vector<std::string> parts;
    for (const SweepRow& row : SweepRows())
        if (parts.empty() || parts.back() != row.part) parts.push_back(row.part);
    return parts;
}

INSTANTIATE_TEST_SUITE_P(Commands, Sweep, ::testing::ValuesIn(Parts()),
                         [](const auto& info) { return info.param; });

// The table is whole: every command header's declarations are rows, entries, bridges or listed.
TEST(SweepTable, EveryCommandIsSweptOrListedWithAReason) {
    EXPECT_GT(SweepRows().size(), 1000u);
    for (const SweepExclusion& e : SweepExclusions())
        EXPECT_GT(std::string(e.reason).size(), 5u) << e.name;
    std::printf("sweep: %zu commands swept, %zu excluded, %zu known faults mended elsewhere, "
                "%d bridge functions and %d module entries left to their modules' tests\n",
                SweepRows().size(), SweepExclusions().size(), SweepKnownFaults().size(),
                SweepBridgeCount(), SweepEntryCount());
}

} // namespace
