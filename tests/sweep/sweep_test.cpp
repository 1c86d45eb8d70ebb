// The sweep's cases: one a command header and pass. Each command gets fresh items, then each
// parameter in turn every wrong value of its kind, the others sound; then every pair of sizes, or
// of a position and a size, values each sound alone whose product or sum passes 32 bits. A call
// must stay within its bounds of time with the heaps whole, every item it does not name unchanged
// and every item no smaller than it records; given an item that is not there it must raise a
// run-time error, make that item, or be listed as allowed to do nothing.
#include "core/win32.h"

#include "sweep/sweep_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <set>

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
    if (kind == "int" || kind == "count" || kind == "size" || kind == "position")
        return IntValues(kind != "int");
    if (kind == "float") return FloatValues();
    if (kind == "string") return StringValues();
    if (kind == "item:limb") return LimbValues();
    if (kind.rfind("item:", 0) == 0) return ItemValues(*FindItemKind(kind.substr(5)));
    return {}; // out and previous slots are the caller's memory: always sound
}

void WrongValuesOf(Sweep& sweep, const SweepRow& row) {
    const std::vector<std::string> kinds = Words(row.kinds);
    for (std::size_t p = 0; p < kinds.size(); ++p)
        for (const Value& value : WrongValues(kinds[p])) {
            SweepArgs a = SoundArgs(row);
            a.i[p] = value.i;
            a.f[p] = value.f;
            a.s[p] = value.s;
            const ItemKind* item =
                kinds[p].rfind("item:", 0) == 0 ? FindItemKind(kinds[p].substr(5)) : nullptr;
            sweep.Call(SweepPass::WrongValues, row, a,
                       std::string(row.name) + " parameter " + std::to_string(p + 1) + " (" +
                           kinds[p] + ") = " + value.label,
                       value.mustFail, item, value.i);
        }
}

// Two values each sound alone: sizes whose product, or a position and a size whose sum, passes
// 32 bits.
struct Pair {
    std::string label;
    std::int64_t first, second;
};

std::vector<Pair> Products() {
    return {{"46,341 x 46,341", 46341, 46341},
            {"65,536 x 65,536", 65536, 65536},
            {"40,000 x 1", 40000, 1},
            {"1 x 40,000", 1, 40000}};
}

// A position near the end of a block, a picture or the screen, with a size that its sum passes
// INT_MAX by 4.
std::vector<Pair> Sums() {
    std::vector<Pair> sums;
    for (std::int64_t position : {8, 60, 1000})
        sums.push_back({"position " + std::to_string(position) + " + size INT_MAX-" +
                            std::to_string(position - 4),
                        position, std::int64_t{INT_MAX} - position + 4});
    return sums;
}

void PairsOf(Sweep& sweep, const SweepRow& row) {
    const std::vector<std::string> kinds = Words(row.kinds);
    const auto call = [&](const std::string& which, const std::vector<std::size_t>& slots,
                          const Pair& pair) {
        SweepArgs a = SoundArgs(row);
        for (std::size_t k : slots)
            a.i[k] = kinds[k] == "position" || k == slots.front() ? pair.first : pair.second;
        sweep.Call(SweepPass::Pairs, row, a,
                   std::string(row.name) + " parameters " + which + " = " + pair.label, false,
                   nullptr, 0);
    };
    std::vector<std::size_t> positions;
    for (std::size_t p = 0; p < kinds.size(); ++p) {
        if (kinds[p] == "position") positions.push_back(p);
        for (std::size_t q = p + 1; q < kinds.size(); ++q) {
            const bool product = kinds[p] == "size" && kinds[q] == "size";
            const bool sum = (kinds[p] == "position" && kinds[q] == "size") ||
                             (kinds[p] == "size" && kinds[q] == "position");
            if (!product && !sum) continue;
            // A sum's first value is the position's.
            const std::size_t first = kinds[p] == "position" || product ? p : q;
            const std::size_t second = first == p ? q : p;
            for (const Pair& pair : product ? Products() : Sums())
                call(std::to_string(first + 1) + " and " + std::to_string(second + 1),
                     {first, second}, pair);
        }
    }
    // A range checked at two places (a copy's source and target) passes only when both sums wrap:
    // every position near the end at once, with each size.
    for (std::size_t q = 0; q < kinds.size() && positions.size() > 1; ++q)
        if (kinds[q] == "size")
            for (const Pair& pair : Sums()) {
                std::vector<std::size_t> slots = positions;
                slots.push_back(q);
                call("every position and " + std::to_string(q + 1), slots, pair);
            }
}

TEST_P(Sweep, WrongArgumentsRaiseOrWork) {
    EachRow([&](const SweepRow& row) { WrongValuesOf(*this, row); });
}

INSTANTIATE_TEST_SUITE_P(Commands, Sweep, ::testing::ValuesIn(SweepCases()),
                         [](const auto& info) { return info.param; });

class SweepPairs : public Sweep {};

TEST_P(SweepPairs, PairsOfSoundSizesRaiseOrWork) {
    EachRow([&](const SweepRow& row) { PairsOf(*this, row); });
}

// The cases with a command of two sizes, or of a position and a size.
std::vector<std::string> PairCases() {
    std::vector<std::string> cases;
    for (const std::string& name : SweepCases())
        for (const SweepRow* row : CaseRows(name)) {
            const std::vector<std::string> kinds = Words(row->kinds);
            const auto count = [&](const char* kind) {
                return std::count(kinds.begin(), kinds.end(), kind);
            };
            if (count("size") >= 2 || (count("size") && count("position"))) {
                cases.push_back(name);
                break;
            }
        }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Commands, SweepPairs, ::testing::ValuesIn(PairCases()),
                         [](const auto& info) { return info.param; });

// The table is whole: every command header's declarations are rows, entries, bridges or listed.
TEST(SweepTable, EveryCommandIsSweptOrListedWithAReason) {
    EXPECT_GT(SweepRows().size(), 1000u);
    for (const SweepExclusion& e : SweepExclusions())
        EXPECT_GT(std::string(e.reason).size(), 5u) << e.name;
    std::printf("sweep: %zu commands swept, %zu excluded, %d bridge functions and %d module "
                "entries left to their modules' tests\n",
                SweepRows().size(), SweepExclusions().size(), SweepBridgeCount(),
                SweepEntryCount());
    const char* passes[] = {"wrong values", "pairs of sizes", "allocation failures"};
    for (SweepPass pass : {SweepPass::WrongValues, SweepPass::Pairs, SweepPass::Memory}) {
        std::printf("sweep: %zu known faults mended elsewhere in the pass of %s\n",
                    SweepKnownFaults(pass).size(), passes[int(pass)]);
        for (const SweepExclusion& known : SweepKnownFaults(pass))
            std::printf("sweep:   %s: %s\n", known.name, known.reason);
    }
    std::printf(
        "sweep: %zu commands left out of the allocation failures, as they end the process\n",
        SweepKnownEnds().size());
    for (const SweepExclusion& known : SweepKnownEnds())
        std::printf("sweep:   %s: %s\n", known.name, known.reason);
}

// Every row is swept in one case of each pass, in no case longer than kRowsPerCase, and every
// command listed alone is a row with a case of its own.
TEST(SweepTable, EveryRowIsInOneCase) {
    std::map<const SweepRow*, int> cases;
    for (const std::string& name : SweepCases()) {
        const std::vector<const SweepRow*>& rows = CaseRows(name);
        EXPECT_FALSE(rows.empty()) << name;
        EXPECT_LE(rows.size(), kRowsPerCase) << name;
        for (const SweepRow* row : rows)
            ++cases[row];
    }
    EXPECT_EQ(cases.size(), SweepRows().size());
    for (const auto& [row, count] : cases)
        EXPECT_EQ(count, 1) << row->name;
    for (const SweepExclusion& alone : SweepAlone()) {
        const std::vector<std::string> names = SweepCases();
        const auto own = std::find_if(names.begin(), names.end(), [&](const std::string& name) {
            const std::vector<const SweepRow*>& rows = CaseRows(name);
            return rows.size() == 1 && std::string(rows[0]->name) == alone.name;
        });
        EXPECT_NE(own, names.end()) << alone.name << " has no case of its own";
    }
    // The allocation-failure pass: a command's shares together refuse each allocation once.
    std::map<const SweepRow*, std::set<std::size_t>> shares;
    for (const std::string& name : MemoryCases()) {
        const std::vector<const SweepRow*>& rows = CaseRows(name);
        const CaseShare share = ShareOf(name);
        ASSERT_FALSE(rows.empty()) << name;
        EXPECT_TRUE(share.count == 1 || rows.size() == 1) << name;
        EXPECT_EQ(share.count, static_cast<std::size_t>(SweepShares(rows[0]->name))) << name;
        for (const SweepRow* row : rows)
            EXPECT_TRUE(shares[row].insert(share.index).second) << name;
    }
    EXPECT_EQ(shares.size(), SweepRows().size());
    for (const auto& [row, indices] : shares)
        EXPECT_EQ(indices.size(), static_cast<std::size_t>(SweepShares(row->name))) << row->name;
}

} // namespace
