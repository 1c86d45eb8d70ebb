// Running out of memory in the string commands, and in the other modules' commands that hand the
// caller a new string: 101 and the previous string given back as it was, no exception, and no
// memory held afterwards.
#include "core/win32.h"

#include "core/checklist.h"
#include "core/core.h"
#include "display/display.h"
#include "file/file.h"
#include "ftp/ftp.h"
#include "input/input.h"
#include "multiplayer/multiplayer.h"
#include "system/system.h"
#include "text/strings.h"
#include "text/text.h"
#include "support/engine_fixture.h"
#include "support/error_cell.h"
#include "support/failing_heap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>

namespace {

void WarmUpExceptions() {
    try { // a thread's first exception sets up what later ones reuse
        throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
    }
}

class StringsOutOfMemory : public ::testing::Test {
protected:
    static void SetUpTestSuite() { WarmUpExceptions(); }
    ErrorCellScope errors;
};

class StringsOutOfMemoryElsewhere : public EngineFixture {
protected:
    static void SetUpTestSuite() { WarmUpExceptions(); }
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
    }
};

} // namespace

TEST_F(StringsOutOfMemory, EachCommandGivesThePreviousStringBack) {
    static char source[] = ",one,two";
    failing_heap::CheckStringRows({
        {"MakeSpaces", [](char* p) { return MakeSpaces(p, 3); }, "   "},
        {"GetLeftString of itself", [](char* p) { return GetLeftString(p, p, 4); }, "prev"},
        {"GetRightString", [](char* p) { return GetRightString(p, "abcde", 2); }, "de"},
        {"GetMidCharacter", [](char* p) { return GetMidCharacter(p, "abcde", 3); }, "c"},
        {"MakeUpperCase", [](char* p) { return MakeUpperCase(p, "abc"); }, "ABC"},
        {"MakeBinaryString", [](char* p) { return MakeBinaryString(p, 1); },
         "%" + std::string(31, '0') + "1"},
        {"MakeCharacterString", [](char* p) { return MakeCharacterString(p, 'A'); }, "A"},
        {"DoubleToString", [](char* p) { return DoubleToString(p, 2.25); }, "2.25"},
        {"GetTextFont", GetTextFont, ""},
        // Takes no previous string: a token that cannot be had leaves the source uncut.
        {"FirstToken",
         [](char* p) {
             char* token = FirstToken(source, ",");
             if (!token && !std::strcmp(source, ",one,two")) return p;
             std::strcpy(source, ",one,two");
             CoreResizeString(&p, 0);
             return token;
         },
         "one"},
    });
}

// A long result is made straight in the caller's string: nothing as large stays held after it.
TEST_F(StringsOutOfMemory, LongResultsHoldNothingAfterwards) {
    const std::int64_t held = failing_heap::Outstanding();
    char* spaces = MakeSpaces(nullptr, 1000000);
    ASSERT_NE(spaces, nullptr);
    char* left = GetLeftString(nullptr, spaces, 999999);
    EXPECT_EQ(std::strlen(left), 999999u);
    CoreResizeString(&spaces, 0);
    CoreResizeString(&left, 0);
    EXPECT_EQ(failing_heap::Outstanding(), held);
    char* previous = CopyToNewString("previous");
    EXPECT_EQ(MakeSpaces(previous, INT32_MAX), previous); // refused before allocating
    EXPECT_EQ(errors.Last(), 101);
    EXPECT_STREQ(previous, "previous");
    CoreResizeString(&previous, 0);
}

TEST_F(StringsOutOfMemoryElsewhere, EachCommandGivesThePreviousStringBack) {
    FontChecklist();
    ASSERT_GT(g_CoreData->checklistRowsInUse, 0);
    char* map = ReadFileMapString(nullptr, "OutOfMemoryMap"); // its handle is kept for the run
    CoreResizeString(&map, 0);
    failing_heap::CheckStringRows({
        {"GetDirectory", GetDirectory, ""},
        {"GetWindowsFolder", GetWindowsFolder, ""},
        {"GetFindModifiedDate", GetFindModifiedDate, ""},
        {"ReadFileMapString", [](char* p) { return ReadFileMapString(p, "OutOfMemoryMap"); }, ""},
        {"ReadFileString", [](char* p) { return ReadFileString(5, p); }, ""},
        {"FTPGetFailureReason", FTPGetFailureReason, ""},
        {"GetJoystickName", GetJoystickName, ""},
        {"NetMessageString", [](char* p) { return NetMessageString(p); }, ""},
        {"GetCurrentAdapterName", GetCurrentAdapterName, ""},
        {"GetChecklistString", [](char* p) { return GetChecklistString(p, 1); }, ""},
    });
}

// A font list that cannot be made whole says so, and the list that was there stays: never one
// that quietly stops short.
TEST_F(StringsOutOfMemoryElsewhere, FontChecklistThatCannotBeMadeKeepsTheOldList) {
    const auto drives = [] {
        std::string rows = std::to_string(g_CoreData->checklistRowsInUse);
        for (std::int32_t row = 0; row < g_CoreData->checklistRowsInUse; ++row)
            rows += std::string(";") + g_CoreData->checklistRows[row].string;
        return rows;
    };
    for (int k = 1; k < 4096; ++k) {
        FreeChecklist();
        DriveChecklist();
        const std::string before = drives();
        cell.number = 0;
        const bool failed = failing_heap::CallFailing(k, FontChecklist, "FontChecklist");
        EXPECT_EQ(cell.number, failed ? 101 : 0) << k;
        if (failed) {
            EXPECT_EQ(drives(), before) << k;
        }
        EXPECT_NE(g_CoreData->checklistMade, 0) << k;
        if (!failed) break;
    }
}
