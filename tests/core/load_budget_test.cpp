#include "core/win32.h"

#include "core/load_budget.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

TEST(LoadBudget, SizeSetsTheBudgetUnderTheCeiling) {
    EXPECT_EQ(LoadBudgetFor(0), kLoadBudgetFloor);
    EXPECT_EQ(LoadBudgetFor(1000), kLoadBudgetFloor + 1000 * kLoadBudgetRatio);
    EXPECT_EQ(LoadBudgetFor(std::uint64_t{1} << 40), kLoadBudgetCeiling);
    EXPECT_EQ(LoadBudgetFor(std::numeric_limits<std::uint64_t>::max()), kLoadBudgetCeiling);

    // Outside a load nothing is charged and nothing refused.
    EXPECT_FALSE(LoadRunning());
    EXPECT_TRUE(ChargeLoad(std::numeric_limits<std::uint64_t>::max()));
    EXPECT_EQ(LoadCharged(), 0u);
}

TEST(LoadBudget, ChargesUpToTheLimitExactlyThenRefusesForTheRestOfTheLoad) {
    TempFolder temp;
    const std::string refused = temp.Write("refused.bmp", "x"), kept = temp.Write("kept.bmp", "x");
    {
        LoadScope load(100);
        NoteLoadTempFile(refused.c_str()); // the load's own file goes with it
        const std::uint64_t limit = LoadBudgetFor(100);
        ASSERT_EQ(LoadLimit(), limit);
        EXPECT_TRUE(ChargeLoad(limit - 8));
        EXPECT_TRUE(ChargeLoad(2, 4)); // the last byte fits
        EXPECT_EQ(LoadCharged(), limit);
        EXPECT_FALSE(ChargeLoad(1));
        EXPECT_TRUE(LoadOverBudget());
        // Once over, even nothing more is refused: a reader that ignored one failure is caught
        // at its next charge.
        EXPECT_FALSE(ChargeLoad(0));
    }
    EXPECT_FALSE(LoadRunning());
    EXPECT_FALSE(LoadOverBudget());
    EXPECT_EQ(LastLoadCharged(), LoadBudgetFor(100));
    EXPECT_EQ(GetFileAttributesA(refused.c_str()), INVALID_FILE_ATTRIBUTES);
    {
        // A new load starts from nothing.
        LoadScope load(0);
        EXPECT_EQ(LoadCharged(), 0u);
        EXPECT_TRUE(ChargeLoad(1));
        // A count times a size that overflows 64 bits is refused, not wrapped to a small charge.
        EXPECT_FALSE(ChargeLoad(std::uint64_t{1} << 33, std::uint64_t{1} << 33));
    }
    {
        LoadScope load(0);
        EXPECT_TRUE(load.Guard([&] {
            NoteLoadTempFile(kept.c_str());
            return ChargeLoad(LoadLimit());
        }));
    }
    EXPECT_EQ(TempFolder::Read(kept), "x"); // a load that held keeps what it made
}

TEST(LoadBudget, AnInnerLoadJoinsTheOuterAndFilesItIsGivenAddTheirShare) {
    LoadScope outer(1000);
    ASSERT_TRUE(ChargeLoad(10));
    {
        // A temporary file the load wrote itself buys nothing.
        LoadScope inner(2000);
        EXPECT_EQ(LoadLimit(), LoadBudgetFor(1000));
        EXPECT_EQ(LoadCharged(), 10u);
        AddLoadFile(3000);
    }
    // The inner scope's end does not end the load, nor give the added share back.
    EXPECT_TRUE(LoadRunning());
    EXPECT_EQ(LoadCharged(), 10u);
    EXPECT_EQ(LoadLimit(), LoadBudgetFor(1000) + 3000 * kLoadBudgetRatio);
    AddLoadFile(std::uint64_t{1} << 40);
    EXPECT_EQ(LoadLimit(), kLoadBudgetCeiling);
}

TEST(LoadBudget, GuardTurnsAFailedAllocationIntoTheLoadsFailure) {
    LoadScope load(0);
    EXPECT_FALSE(GuardLoad([] {
        RequireLoad(kLoadBudgetCeiling + 1);
        return true;
    }));
    EXPECT_FALSE(GuardLoad([] {
        std::vector<std::uint8_t> huge;
        huge.reserve(std::size_t{0xFFFFFFF0}); // more than a 32-bit process can have
        return true;
    }));
    EXPECT_TRUE(GuardLoad([] { return true; }));
}

namespace {

constexpr std::uint64_t kMB = std::uint64_t{1} << 20,
                        kMax = std::numeric_limits<std::uint64_t>::max();

// Whether a load of a file of fileBytes may make charge bytes: the last byte charged decides.
bool Fits(std::uint64_t fileBytes, std::uint64_t charge) {
    LoadScope load(fileBytes);
    return ChargeLoad(charge) && !LoadOverBudget();
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A load that notes its own temporary file and then loads or not.
bool NoteAndLoad(const std::string& path, bool loads) {
    LoadScope load(0);
    return load.Guard([&] { return NoteLoadTempFile(path.c_str()), loads; });
}

} // namespace

// The figures the README gives (64 MB, plus 1,024 times the file's size, at most 192 MB): each
// row's file may make its budget to the byte, and not a byte more.
TEST(LoadBudget, TheFloorTheRatioAndTheCeilingAsGiven) {
    const std::uint64_t rows[][2] = {{0, 64 * kMB},         {100000, 64 * kMB + 100000 * 1024},
                                     {131072, 192 * kMB},   {131071, 192 * kMB - 1024},
                                     {10 * kMB, 192 * kMB}, {kMax, 192 * kMB}};
    for (const auto& [fileBytes, budget] : rows) {
        EXPECT_TRUE(Fits(fileBytes, budget)) << fileBytes << " bytes";
        EXPECT_FALSE(Fits(fileBytes, budget + 1)) << fileBytes << " bytes";
    }
    EXPECT_TRUE(Fits(100000, 64 * kMB + 100000 * 768)); // three quarters of the ratio
}

TEST(LoadBudget, CountTimesSizePastSixtyFourBitsIsRefusedNotWrapped) {
    // Refused: the first two wrap to 0 in 64 bits, the third comes a byte short. The rest fit.
    const std::uint64_t rows[][2] = {{1ull << 33, 1ull << 31},
                                     {1ull << 63, 2},
                                     {0x100000001ull, 0xFFFFFFFFu},
                                     {kMax, 0},
                                     {0, kMax},
                                     {1ull << 20, 64}};
    for (int i = 0; i < 6; ++i) {
        const auto [count, each] = rows[i];
        const bool fits = i >= 3;
        LoadScope load(0);
        EXPECT_EQ(GuardLoad([&] { return RequireLoad(count, each), true; }), fits)
            << count << " x " << each;
        EXPECT_EQ(LoadOverBudget(), !fits);
        EXPECT_EQ(LoadCharged(), fits ? count * each : 0u);
    }
}

TEST(LoadBudget, InnerScopesJoinAndAddedFilesRaiseTheLimitUpToTheCeiling) {
    AddLoadFile(1000); // outside a load: nothing
    EXPECT_EQ(LoadLimit(), 0u);
    ASSERT_TRUE(Fits(0, 99)); // the last load before
    {
        LoadScope outer(1000);
        ASSERT_TRUE(ChargeLoad(7));
        {
            LoadScope inner(10 * kMB); // the inner file's size is not the outer load's
            EXPECT_TRUE(ChargeLoad(5));
            AddLoadFile(3000);
        }
        EXPECT_EQ(LastLoadCharged(), 99u) << "an inner scope does not end the load";
        EXPECT_EQ(LoadLimit(), 64 * kMB + 4000 * 1024);
        AddLoadFile(127 * 1024 - 4000 - 1);
        EXPECT_EQ(LoadLimit(), 192 * kMB - 1024 * 1024 - 1024);
        AddLoadFile(1025); // one file: to the ceiling exactly
        EXPECT_EQ(LoadLimit(), 192 * kMB);
    }
    EXPECT_EQ(LastLoadCharged(), 12u);
    EXPECT_EQ(LastLoadLimit(), 192 * kMB);
    LoadScope fresh(0);
    AddLoadFile(std::uint64_t{1} << 54); // 1,024 times it wraps to 0 in 64 bits
    EXPECT_EQ(LoadLimit(), 192 * kMB);
}

TEST(LoadBudget, OverBudgetSticksUntilTheLoadEndsAndTheLastChargeStaysReadable) {
    {
        LoadScope outer(0);
        ASSERT_TRUE(ChargeLoad(1234));
        EXPECT_FALSE(Fits(0, 64 * kMB)); // an inner load, refused whole: nothing of it is charged
        EXPECT_TRUE(LoadOverBudget()) << "the inner refusal is the whole load's";
        EXPECT_FALSE(ChargeLoad(0));
        EXPECT_FALSE(GuardLoad([] { return RequireLoad(0), true; }));
    }
    EXPECT_EQ(LastLoadCharged(), 1234u);
    EXPECT_EQ(LastLoadLimit(), 64 * kMB);
    EXPECT_EQ(LoadCharged() + LoadLimit(), 0u);
    EXPECT_TRUE(Fits(0, 64 * kMB)) << "the next load starts afresh";
}

// A load's temporary files stay only when the load says it loaded, within its budget.
TEST(LoadBudget, TemporaryFilesGoWithEveryLoadThatDidNotLoad) {
    TempFolder temp;
    const struct {
        const char* what;
        bool told, body, fail, over, kept;
    } rows[] = {{"loaded", true, true, false, false, true},
                {"refused by its body", true, false, false, false, false},
                {"refused after its body", true, true, true, false, false},
                {"past its budget", true, true, false, true, false},
                {"never told (returned early)", false, true, false, false, false}};
    for (const auto& row : rows) {
        const std::string path = temp.Write(std::string(row.what) + ".bmp", "x");
        {
            LoadScope load(0);
            NoteLoadTempFile(path.c_str());
            // Past its budget, the body still says it loaded.
            if (row.told)
                load.Guard([&] { return (row.over && ChargeLoad(64 * kMB + 1)) || row.body; });
            if (row.fail) load.Fail();
        }
        EXPECT_EQ(Exists(path), row.kept) << row.what;
    }
}

TEST(LoadBudget, AFailedInnerLoadTakesOnlyItsOwnTemporaryFiles) {
    TempFolder temp;
    const std::string before = temp.Write("before.bmp", "x"), inner = temp.Write("inner.bmp", "x"),
                      kept = temp.Write("kept.bmp", "x");
    {
        LoadScope outer(0);
        EXPECT_TRUE(outer.Guard([&] {
            NoteLoadTempFile(before.c_str());
            NoteAndLoad(inner, false);
            EXPECT_FALSE(Exists(inner)) << "gone with its own load";
            EXPECT_TRUE(Exists(before)) << "the outer load's file stays while it runs";
            return NoteAndLoad(kept, true);
        }));
    }
    EXPECT_TRUE(Exists(before) && Exists(kept));
    {
        LoadScope outer(0); // an inner load that loaded still goes when the outer one fails
        NoteAndLoad(kept, true);
        outer.Fail();
    }
    EXPECT_FALSE(Exists(kept));
    EXPECT_TRUE(Exists(before)); // noted by a load that has ended: not this one's
}
