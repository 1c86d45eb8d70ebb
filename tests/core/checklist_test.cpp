#include "core/win32.h"

#include "core/checklist.h"
#include "core/core.h"
#include "system/system.h"
#include "support/error_cell.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>

namespace {

class Checklist : public ::testing::Test {
protected:
    void SetUp() override {
        LinkModules();
        core = g_CoreData;
    }
    void TearDown() override { FreeChecklist(); }
    CoreData* core = nullptr;
};

void Fill(ChecklistEntry& row, const char* text, std::int32_t firstValue) {
    std::strcpy(row.string, text);
    for (int v = 0; v < 8; ++v)
        row.values[v] = firstValue + v;
}

} // namespace

TEST_F(Checklist, StartsWith256EmptyRowsThenDoublesKeepingRows) {
    ASSERT_TRUE(ReserveChecklistString(0, 5));
    ASSERT_EQ(core->checklistRowsAllocated, 256);
    for (int i = 1; i < 256; ++i) {
        ASSERT_EQ(core->checklistRows[i].capacity, 2u);
        ASSERT_STREQ(core->checklistRows[i].string, "");
        // A fresh row's text really holds its capacity plus the terminator.
        std::strcpy(core->checklistRows[i].string, "ab");
    }
    Fill(core->checklistRows[0], "first", 100);
    ASSERT_TRUE(ReserveChecklistString(253, 12));
    Fill(core->checklistRows[253], "row 253", 200);

    ASSERT_TRUE(ReserveChecklistString(254, 1));
    EXPECT_EQ(core->checklistRowsAllocated, 256);
    ASSERT_TRUE(ReserveChecklistString(255, 1));
    ASSERT_EQ(core->checklistRowsAllocated, 512);
    EXPECT_STREQ(core->checklistRows[0].string, "first");
    EXPECT_EQ(core->checklistRows[0].capacity, 5u);
    EXPECT_EQ(core->checklistRows[0].values[7], 107);
    EXPECT_STREQ(core->checklistRows[253].string, "row 253");
    EXPECT_EQ(core->checklistRows[253].capacity, 12u);
    EXPECT_EQ(core->checklistRows[253].values[0], 200);
    EXPECT_EQ(core->checklistRows[511].capacity, 2u);
    EXPECT_STREQ(core->checklistRows[511].string, "");
}

TEST_F(Checklist, FarRowsGrowUntilTheyFitAndNegativeRowsAreRefused) {
    EXPECT_FALSE(ReserveChecklistString(-1, 4)); // with no checklist yet
    EXPECT_FALSE(ReserveChecklistString(INT32_MIN, 4));
    ASSERT_TRUE(ReserveChecklistString(300, 3));
    EXPECT_EQ(core->checklistRowsAllocated, 512);
    FreeChecklist();

    ASSERT_TRUE(ReserveChecklistString(0, 4));
    EXPECT_FALSE(ReserveChecklistString(-2, 4));
    EXPECT_EQ(core->checklistRowsAllocated, 256);
    Fill(core->checklistRows[0], "keep", 1);
    ASSERT_TRUE(ReserveChecklistString(5000, 40));
    EXPECT_EQ(core->checklistRowsAllocated, 8192);
    std::memset(core->checklistRows[5000].string, 'x', 40);
    EXPECT_STREQ(core->checklistRows[0].string, "keep");
}

TEST_F(Checklist, TextGrowsOnlyPastItsCapacity) {
    ASSERT_TRUE(ReserveChecklistString(3, 6));
    std::strcpy(core->checklistRows[3].string, "abcdef");
    char* before = core->checklistRows[3].string;
    ASSERT_TRUE(ReserveChecklistString(3, 6));
    EXPECT_EQ(core->checklistRows[3].string, before);
    ASSERT_TRUE(ReserveChecklistString(3, 7));
    EXPECT_EQ(core->checklistRows[3].capacity, 7u);
    EXPECT_STREQ(core->checklistRows[3].string, "abcdef");
    ASSERT_TRUE(ReserveChecklistString(3, 2)); // never shrinks
    EXPECT_EQ(core->checklistRows[3].capacity, 7u);
}

namespace {

// A checklist of 5 rows, 2 in use, built by hand as a list producer would.
class ChecklistQueries : public Checklist {
protected:
    void SetUp() override {
        Checklist::SetUp();
        SystemPassCoreData(core);
        for (int row = 0; row < 5; ++row)
            ReserveChecklistString(row, 8);
        Fill(core->checklistRows[0], "alpha", 10);
        Fill(core->checklistRows[1], "beta", 20);
        core->checklistRows[1].values[5] = std::bit_cast<std::int32_t>(2.5f);
        core->checklistRowsAllocated = 5; // as if the array were that small
        core->checklistRowsInUse = 2;
        core->checklistMade = core->checklistHasValues = core->checklistHasStrings = 1;
    }
    void TearDown() override {
        core->checklistRowsAllocated = 256;
        Checklist::TearDown();
    }
    ErrorCellScope errors;
};

} // namespace

TEST_F(ChecklistQueries, ReadValuesFloatsAndTexts) {
    EXPECT_EQ(ChecklistQuantity(), 2);
    EXPECT_EQ(GetChecklistValueA(1), 10);
    EXPECT_EQ(GetChecklistValueD(2), 23);
    EXPECT_EQ(GetChecklistFloatValueB(2), 2.5f);
    char* text = GetChecklistString(nullptr, 2);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "beta");
    text = GetChecklistString(text, 1); // the old text is handed back and freed
    EXPECT_STREQ(text, "alpha");
    CoreResizeString(&text, 0);
    EXPECT_EQ(errors.Last(), 0);
}

TEST_F(ChecklistQueries, RowChecksRaiseTheirErrors) {
    EXPECT_EQ(GetChecklistValueA(3), 0);
    EXPECT_EQ(errors.Last(), 9002); // allocated but not in use
    EXPECT_EQ(GetChecklistValueA(6), 0);
    EXPECT_EQ(errors.Last(), 9001); // beyond the rows allocated
    errors.Clear();
    GetChecklistFloatValueC(0);
    EXPECT_EQ(errors.Last(), 9001);

    core->checklistHasValues = 0;
    EXPECT_EQ(GetChecklistValueB(1), 0);
    EXPECT_EQ(errors.Last(), 9004);
    EXPECT_NE(GetChecklistString(nullptr, 1), nullptr); // texts are still there

    core->checklistHasStrings = 0;
    EXPECT_EQ(GetChecklistString(nullptr, 1), nullptr);
    EXPECT_EQ(errors.Last(), 9003);
}

TEST_F(ChecklistQueries, EmptiedChecklistReadsAsAbsent) {
    EmptyChecklist();
    EXPECT_EQ(ChecklistQuantity(), 0);
    for (int row = 1; row <= 5; ++row) {
        errors.Clear();
        EXPECT_EQ(GetChecklistValueA(row), 0);
        EXPECT_EQ(errors.Last(), 9005);
    }
    EXPECT_EQ(core->checklistRows[0].values[0], -1);
    EXPECT_STREQ(core->checklistRows[1].string, "");
}

TEST_F(ChecklistQueries, UnterminatedRowTextIsCutAtItsBuffer) {
    std::memset(core->checklistRows[0].string, 'z', core->checklistRows[0].capacity + 1);
    char* text = GetChecklistString(nullptr, 1);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), std::string(9, 'z'));
    CoreResizeString(&text, 0);
}

TEST(ChecklistWithoutSystemModule, QueriesReportNoChecklist) {
    ErrorCellScope errors;
    SystemPassCoreData(nullptr); // as after a start-up that stopped early
    EXPECT_EQ(GetChecklistValueA(1), 0);
    EXPECT_EQ(errors.Last(), 9005);
    EXPECT_EQ(GetChecklistString(nullptr, 1), nullptr);
    EmptyChecklist();
    EXPECT_EQ(ChecklistQuantity(), 0);
}
