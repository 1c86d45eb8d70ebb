#include "core/win32.h"

#include "sweep/sweep_fixture.h"
#include "core/frame_loop.h"
#include "display/display.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace {

// A call's own work, counted on its thread; the wall clock only catches a hang.
constexpr double kThreadBound = 0.5, kHangBound = 20.0;

// The failures this case has had so far.
int FailureCount() {
    return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

int knownFailureCount = 0;

} // namespace

std::string Timing::Passed(bool slow) const {
    char said[160];
    if (thread >= kThreadBound && !slow)
        std::snprintf(said, sizeof said,
                      "its thread's %.3f s passed the %.1f s bound (wall %.3f s)", thread,
                      kThreadBound, wall);
    else if (wall >= kHangBound)
        std::snprintf(said, sizeof said, "wall %.3f s passed the %.0f s hang bound (thread %.3f s)",
                      wall, kHangBound, thread);
    else
        return {};
    return said;
}

double ThreadSeconds() {
    FILETIME made, ended, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &made, &ended, &kernel, &user)) return 0.0;
    const auto ticks = [](const FILETIME& t) {
        return double((std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 1e7;
}

Prints PrintAll() {
    Prints prints;
    for (const ItemKind& k : ItemKinds())
        if (k.fingerprint)
            for (std::int32_t n : {kSound, kDecoyImage, kDecoyObject})
                prints[std::string(k.name) + " " + std::to_string(n)] = k.fingerprint(n);
    return prints;
}

std::string KindOf(const std::string& print) {
    return print.substr(0, print.find(' '));
}

bool Fixture(const std::string& kind, std::int64_t n) {
    return n == kSound || (kind == "object" && (n == kInstance || n == kDecoyObject)) ||
           (kind == "image" && n == kDecoyImage);
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

void SetSound(SweepArgs& a, int k, const std::string& kind, const std::string& module) {
    a.i[k] = kind == "count" || kind == "size" ? 4
             : kind == "item:limb"             ? 1
             : kind.rfind("item:", 0) == 0     ? kSound
                                               : 1;
    a.f[k] = 1.0;
    a.s[k] = SoundString(module);
}

SweepArgs SoundArgs(const SweepRow& row) {
    SweepArgs a;
    const std::vector<std::string> kinds = Words(row.kinds);
    for (std::size_t k = 0; k < kinds.size(); ++k)
        SetSound(a, int(k), kinds[k], row.module);
    return a;
}

std::set<std::string> NamedKinds(const SweepRow& row) {
    std::set<std::string> named;
    for (const std::string& kind : Words(row.kinds))
        if (kind.rfind("item:", 0) == 0)
            named.insert(kind == "item:limb" ? "object" : kind.substr(5));
    return named;
}

std::string WholeItems(const SweepRow& row, const SweepArgs& a) {
    const std::vector<std::string> kinds = Words(row.kinds);
    for (const ItemKind& kind : ItemKinds()) {
        if (!kind.whole) continue;
        std::set<std::int64_t> numbers = {kSound, kDecoyImage, kMissing};
        for (std::size_t k = 0; k < kinds.size(); ++k)
            if (kinds[k] == std::string("item:") + kind.name && a.i[k] >= kind.low &&
                a.i[k] <= kind.high && a.i[k] >= 0)
                numbers.insert(a.i[k]);
        for (std::int64_t n : numbers)
            if (const std::string short_ = kind.whole(std::int32_t(n)); !short_.empty())
                return std::string(kind.name) + " " + std::to_string(n) + ": " + short_;
    }
    return {};
}

namespace {

struct CaseTable {
    std::vector<std::string> names, memoryNames;
    std::map<std::string, std::vector<const SweepRow*>> rows;
    std::map<std::string, CaseShare> shares;
};

bool Alone(const SweepRow& row) {
    const std::vector<SweepExclusion>& alone = SweepAlone();
    return std::any_of(alone.begin(), alone.end(),
                       [&](const SweepExclusion& e) { return std::string(e.name) == row.name; });
}

// A header's rows: those listed alone a case each, the others split evenly into the fewest cases
// of at most kRowsPerCase.
void AddHeader(CaseTable& table, const std::string& part,
               const std::vector<const SweepRow*>& rows) {
    std::vector<const SweepRow*> rest;
    for (const SweepRow* row : rows) {
        if (!Alone(*row)) {
            rest.push_back(row);
            continue;
        }
        table.names.push_back(part + "_" + row->name);
        table.rows[table.names.back()] = {row};
        const std::size_t shares = static_cast<std::size_t>(std::max(SweepShares(row->name), 1));
        for (std::size_t i = 0; i < shares; ++i) {
            const std::string name = table.names.back() + "_" + std::to_string(i + 1);
            table.memoryNames.push_back(shares == 1 ? table.names.back() : name);
            table.rows[table.memoryNames.back()] = {row};
            table.shares[table.memoryNames.back()] = {i, shares};
        }
    }
    const std::size_t cases = (rest.size() + kRowsPerCase - 1) / kRowsPerCase;
    for (std::size_t k = 0; k < cases; ++k) {
        table.names.push_back(cases == 1 ? part : part + "_" + std::to_string(k + 1));
        table.memoryNames.push_back(table.names.back());
        table.rows[table.names.back()].assign(rest.begin() + k * rest.size() / cases,
                                              rest.begin() + (k + 1) * rest.size() / cases);
    }
}

const CaseTable& Cases() {
    static const CaseTable table = [] {
        CaseTable t;
        std::vector<const SweepRow*> header;
        for (const SweepRow& row : SweepRows()) {
            if (!header.empty() && header.front()->part != std::string(row.part)) {
                AddHeader(t, header.front()->part, header);
                header.clear();
            }
            header.push_back(&row);
        }
        if (!header.empty()) AddHeader(t, header.front()->part, header);
        return t;
    }();
    return table;
}

} // namespace

std::vector<std::string> SweepCases() {
    return Cases().names;
}

std::vector<std::string> MemoryCases() {
    return Cases().memoryNames;
}

CaseShare ShareOf(const std::string& name) {
    const auto found = Cases().shares.find(name);
    return found == Cases().shares.end() ? CaseShare{} : found->second;
}

const std::vector<const SweepRow*>& CaseRows(const std::string& name) {
    static const std::vector<const SweepRow*> none;
    const auto found = Cases().rows.find(name);
    return found == Cases().rows.end() ? none : found->second;
}

void Sweep::SetUp() {
    EngineFixture::SetUp();
    ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
    SyncOn();
    SetSyncRate(0);
    startMode_ = g_Display.lastMode;
    locks_ = std::make_unique<GuardedLocks>(GetDirect3DDevice());
    ASSERT_TRUE(locks_->Active());
    CreateDirectoryA(work_.c_str(), nullptr);
    SetCurrentDirectoryA(work_.c_str());
    MakeFixtures();
    baseline_ = PrintAll();
}

void Sweep::TearDown() {
    DeleteFixtures();
    DeleteRegistryTraces();
    locks_.reset();
    SetCurrentDirectoryA(folder_.Path().c_str());
    EngineFixture::TearDown();
    SetCurrentDirectoryA("C:\\");
}

void Sweep::InWork() const {
    SetCurrentDirectoryA(work_.c_str());
}

void Sweep::RestoreDisplay() {
    const DisplayModeRequest& m = startMode_;
    if (GetWindowedMode() && g_Display.lastMode == m && GetDisplayWidth() == m.width &&
        GetDisplayHeight() == m.height && g_CoreData->windowMode == 1)
        return;
    if (!GetWindowedMode()) SetWindowModeOn(); // the framed window back
    SetDisplayModeEx(m.width, m.height, m.depth, 1, m.vertexProcessing, m.lockable);
    InWork();
}

bool Sweep::Known(SweepPass pass, const char* name, bool passed, const std::string& what) {
    if (passed) return false;
    for (const SweepExclusion& known : SweepKnownFaults(pass))
        if (std::string(name) == known.name) {
            std::printf("sweep: known, mended elsewhere (%s): %s\n", known.reason, what.c_str());
            ++knownFailureCount;
            return false;
        }
    return true;
}

void Sweep::Call(SweepPass pass, const SweepRow& row, SweepArgs& a, const std::string& call,
                 bool mustFail, const ItemKind* item, std::int64_t itemNumber) {
    std::printf("sweep: %s\n", call.c_str());
    std::fflush(stdout);
    const Prints before = PrintAll();
    const int failuresBefore = FailureCount(), knownBefore = knownFailureCount;
    cell.number = 0;
    const Timing took = Seconds([&] { row.call(a); });
    const std::int32_t error = cell.number;
    InWork();
    const std::string passed = took.Passed(SweepSlowAllowed(row.name));
    if (Known(pass, row.name, passed.empty(), call + ": " + passed))
        ADD_FAILURE() << call << ": " << passed;
    EXPECT_TRUE(HeapsWhole()) << call << ": a heap is damaged";
    const bool made = item && item->exists && !Fixture(item->name, itemNumber) &&
                      item->exists(std::int32_t(itemNumber));
    if (error == 0) Frame(pass, row.name, call);
    const bool quiet = row.quiet || SweepQuietAllowed(row.name);
    if (Known(pass, row.name, !mustFail || error || made || quiet, call + ": no error"))
        ADD_FAILURE() << call << ": no run-time error, and nothing made";
    const std::string whole = WholeItems(row, a);
    if (Known(pass, row.name, whole.empty(), call + ": " + whole))
        ADD_FAILURE() << call << ": " << whole;
    // Sound values: a refused call changes nothing, and one that works loses no item it names.
    if (pass == SweepPass::Pairs)
        for (const std::string& lost : Lost(before, error))
            if (Known(pass, row.name, false, call + ": " + lost))
                ADD_FAILURE() << call << ": " << lost;
    if (made && item->remove) item->remove(std::int32_t(itemNumber));
    Restore(before, NamedKinds(row), row.name, call);
    Remake(failuresBefore, knownBefore);
}

std::vector<std::string> Lost(const Prints& before, std::int32_t error) {
    const Prints after = PrintAll();
    std::vector<std::string> lost;
    for (const auto& [item, print] : before) {
        const std::string& now = after.at(item);
        if (error && now != print)
            lost.push_back("error " + std::to_string(error) + ", and " + item +
                           " changed: " + print + "-> " + (now.empty() ? "(missing)" : now));
        else if (!error && now.empty() && !print.empty())
            lost.push_back("no error, and " + item + " is gone");
    }
    return lost;
}

void Sweep::Remake(int failuresBefore, int knownBefore) {
    // Whatever a failed call left (a slow emitter, a damaged item) is not the next call's.
    if (FailureCount() != failuresBefore || knownFailureCount != knownBefore) MakeFixtures();
}

// The frame after a call that did its work draws and updates what it left, within the bounds too
// (a refused call changed nothing to draw).
void Sweep::Frame(SweepPass pass, const char* name, const std::string& call) {
    Timing frame = Seconds([] { Sync(); });
    // The first frame of a new drawing state pays for the platform's shader compile, which a
    // fresh machine's empty shader cache makes slow; what the call set shows again in the next.
    if (!frame.Passed().empty()) frame = Seconds([] { Sync(); });
    const std::string passed = frame.Passed();
    if (Known(pass, name, passed.empty(), call + ": its frame: " + passed))
        ADD_FAILURE() << call << ": the frame after it: " << passed;
    EXPECT_TRUE(HeapsWhole()) << call << ": a heap is damaged after its frame";
}

// Items the call does not name must be as they were; every changed fixture is made again.
void Sweep::Restore(const Prints& before, const std::set<std::string>& named, const char* name,
                    const std::string& call) {
    const Prints after = PrintAll();
    std::set<std::string> changed;
    for (const auto& [item, print] : before)
        if (after.at(item) != print) {
            changed.insert(KindOf(item));
            if (!named.count(KindOf(item)) && !SweepTouchesAllowed(name))
                ADD_FAILURE() << call << " changed " << item << ": " << print << "-> "
                              << after.at(item);
        }
    // A mode back again deletes every item.
    RestoreDisplay();
    if (PrintAll() != after) {
        MakeFixtures();
        return;
    }
    if (changed.size() > 3 || (changed.count("object") && changed.count("image"))) {
        MakeFixtures();
        return;
    }
    for (const std::string& kind : changed)
        RemakeFixture(*FindItemKind(kind));
}
