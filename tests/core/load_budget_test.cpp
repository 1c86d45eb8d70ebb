#include "core/win32.h"

#include "core/load_budget.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
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
        NoteLoadTempFile(kept.c_str());
        EXPECT_TRUE(ChargeLoad(LoadLimit()));
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
