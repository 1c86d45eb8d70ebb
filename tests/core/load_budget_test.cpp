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

constexpr std::uint64_t kMB = std::uint64_t{1} << 20;

// Whether a load of a file of fileBytes may make charge bytes: the last byte charged decides.
bool Fits(std::uint64_t fileBytes, std::uint64_t charge) {
    LoadScope load(fileBytes);
    return ChargeLoad(charge) && !LoadOverBudget();
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

// The figures the README gives: 64 MB, plus 1,024 times the file's size, at most 192 MB. Each
// row is a load at the edge of one of them, so a figure that moves by a byte turns a row over.
TEST(LoadBudget, TheFloorTheRatioAndTheCeilingAsGiven) {
    struct Row {
        const char* what;
        std::uint64_t fileBytes, charge;
        bool fits;
    };
    const std::uint64_t size = 100000; // 64 MB + 97.7 MB: under the ceiling
    const Row rows[] = {
        {"the floor, whole", 0, 64 * kMB, true},
        {"one past the floor", 0, 64 * kMB + 1, false},
        {"three quarters of the ratio past the floor", size, 64 * kMB + size * 768, true},
        {"all of the ratio", size, 64 * kMB + size * 1024, true},
        {"one past the ratio", size, 64 * kMB + size * 1024 + 1, false},
        {"floor and ratio meeting the ceiling", 131072, 192 * kMB, true},
        {"one past the ceiling they meet", 131072, 192 * kMB + 1, false},
        {"a byte short of the ceiling's file", 131071, 192 * kMB - 1024, true},
        {"and one past its budget", 131071, 192 * kMB - 1023, false},
        {"the ceiling of a 10 MB file", 10 * kMB, 192 * kMB, true},
        {"one past it", 10 * kMB, 192 * kMB + 1, false},
        {"the ceiling of the largest size", std::numeric_limits<std::uint64_t>::max(), 192 * kMB,
         true},
        {"one past it", std::numeric_limits<std::uint64_t>::max(), 192 * kMB + 1, false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Fits(row.fileBytes, row.charge), row.fits)
            << row.what << ": " << row.fileBytes << " bytes, charging " << row.charge;
}

TEST(LoadBudget, CountTimesSizePastSixtyFourBitsIsRefusedNotWrapped) {
    struct Row {
        std::uint64_t count, each;
        bool fits;
    };
    // The first three wrap to 0 (or to 1) in 64 bits; the last ones fit and are small.
    const Row rows[] = {{std::uint64_t{1} << 33, std::uint64_t{1} << 31, false},
                        {std::uint64_t{1} << 63, 2, false},
                        {0xFFFFFFFFu + std::uint64_t{2}, 0xFFFFFFFFu, false},
                        {std::numeric_limits<std::uint64_t>::max(), 0, true},
                        {0, std::numeric_limits<std::uint64_t>::max(), true},
                        {std::uint64_t{1} << 20, 64, true}};
    for (const Row& row : rows) {
        LoadScope load(0);
        EXPECT_EQ(GuardLoad([&] {
                      RequireLoad(row.count, row.each);
                      return true;
                  }),
                  row.fits)
            << row.count << " x " << row.each;
        EXPECT_EQ(LoadOverBudget(), !row.fits);
        EXPECT_EQ(LoadCharged(), row.fits ? row.count * row.each : 0u);
    }
}

TEST(LoadBudget, InnerScopesJoinAndAddedFilesRaiseTheLimitUpToTheCeiling) {
    AddLoadFile(1000); // outside a load: nothing
    EXPECT_EQ(LoadLimit(), 0u);
    {
        LoadScope earlier(0);
        ASSERT_TRUE(ChargeLoad(99));
    }
    {
        LoadScope outer(1000);
        ASSERT_TRUE(ChargeLoad(7));
        {
            LoadScope inner(10 * kMB); // the inner file's size is not the outer load's
            EXPECT_EQ(LoadLimit(), 64 * kMB + 1000 * 1024);
            EXPECT_TRUE(ChargeLoad(5));
            EXPECT_EQ(LoadCharged(), 12u);
            AddLoadFile(3000);
        }
        EXPECT_EQ(LastLoadCharged(), 99u) << "an inner scope does not end the load";
        EXPECT_EQ(LoadCharged(), 12u);
        EXPECT_EQ(LoadLimit(), 64 * kMB + 4000 * 1024);
        AddLoadFile(127 * 1024 - 4000 - 1); // a kilobyte short of the ceiling
        EXPECT_EQ(LoadLimit(), 192 * kMB - 1024 * 1024 - 1024);
        AddLoadFile(1025); // one file: from a kilobyte short to the ceiling and no further
        EXPECT_EQ(LoadLimit(), 192 * kMB);
        AddLoadFile(std::uint64_t{1} << 54); // 1,024 times it wraps to 0 in 64 bits
        EXPECT_EQ(LoadLimit(), 192 * kMB);
    }
    EXPECT_EQ(LastLoadCharged(), 12u);
    EXPECT_EQ(LastLoadLimit(), 192 * kMB);
    {
        LoadScope outer(0);
        AddLoadFile(std::uint64_t{1} << 54);
        EXPECT_EQ(LoadLimit(), 192 * kMB);
    }
}

TEST(LoadBudget, OverBudgetSticksUntilTheLoadEndsAndTheLastChargeStaysReadable) {
    {
        LoadScope outer(0);
        ASSERT_TRUE(ChargeLoad(1234));
        {
            LoadScope inner(0);
            EXPECT_FALSE(ChargeLoad(64 * kMB)); // refused whole: nothing of it is charged
        }
        EXPECT_TRUE(LoadOverBudget()) << "the inner refusal is the whole load's";
        EXPECT_FALSE(ChargeLoad(0));
        EXPECT_FALSE(GuardLoad([] {
            RequireLoad(0);
            return true;
        }));
        EXPECT_EQ(LoadCharged(), 1234u);
    }
    EXPECT_EQ(LastLoadCharged(), 1234u);
    EXPECT_EQ(LastLoadLimit(), 64 * kMB);
    EXPECT_EQ(LoadCharged(), 0u);
    EXPECT_EQ(LoadLimit(), 0u);
    LoadScope next(0);
    EXPECT_FALSE(LoadOverBudget());
    EXPECT_TRUE(ChargeLoad(64 * kMB));
}

// A load's temporary files stay only when the load says it loaded, within its budget.
TEST(LoadBudget, TemporaryFilesGoWithEveryLoadThatDidNotLoad) {
    TempFolder temp;
    struct Row {
        const char* what;
        bool body, fail, over, kept;
    };
    const Row rows[] = {
        {"loaded", true, false, false, true},
        {"refused by its body", false, false, false, false},
        {"refused after its body", true, true, false, false},
        {"past its budget", true, false, true, false},
    };
    for (const Row& row : rows) {
        const std::string path = temp.Write(std::string(row.what) + ".bmp", "x");
        {
            LoadScope load(0);
            load.Guard([&] {
                NoteLoadTempFile(path.c_str());
                if (row.over) ChargeLoad(64 * kMB + 1);
                return row.body;
            });
            if (row.fail) load.Fail();
        }
        EXPECT_EQ(Exists(path), row.kept) << row.what;
    }
    // Never told: a load that returns early has not loaded.
    const std::string early = temp.Write("early.bmp", "x");
    {
        LoadScope load(0);
        NoteLoadTempFile(early.c_str());
    }
    EXPECT_FALSE(Exists(early));
}

TEST(LoadBudget, AFailedInnerLoadTakesOnlyItsOwnTemporaryFiles) {
    TempFolder temp;
    const std::string before = temp.Write("before.bmp", "x"), inner = temp.Write("inner.bmp", "x"),
                      kept = temp.Write("kept.bmp", "x");
    {
        LoadScope outer(0);
        EXPECT_TRUE(outer.Guard([&] {
            NoteLoadTempFile(before.c_str());
            {
                LoadScope failed(0);
                failed.Guard([&] {
                    NoteLoadTempFile(inner.c_str());
                    return false;
                });
            }
            EXPECT_FALSE(Exists(inner)) << "gone with its own load";
            EXPECT_TRUE(Exists(before)) << "the outer load's file stays while it runs";
            LoadScope loaded(0);
            return loaded.Guard([&] {
                NoteLoadTempFile(kept.c_str());
                return true;
            });
        }));
    }
    EXPECT_TRUE(Exists(before));
    EXPECT_TRUE(Exists(kept));
    // An inner load that loaded still goes when the outer one fails.
    {
        LoadScope outer(0);
        {
            LoadScope loaded(0);
            loaded.Guard([&] {
                NoteLoadTempFile(kept.c_str());
                return true;
            });
        }
        outer.Fail();
    }
    EXPECT_FALSE(Exists(kept));
    EXPECT_TRUE(Exists(before)); // noted by a load that has ended: not this one's
}
