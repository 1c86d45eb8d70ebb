// Running out of memory in the core's commands: 101, the caller's array, text or file as it was, no
// exception, and no memory held afterwards.
#include "core/win32.h"

#include "core/core.h"
#include "core/console.h"
#include "core/runtime_arrays.h"
#include "core/runtime_data.h"
#include "core/runtime_maths.h"
#include "support/error_cell.h"
#include "support/failing_heap.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

using failing_heap::Outstanding;
constexpr std::int32_t kInts = 41;
const std::vector<std::int32_t> kFive = {1, 2, 3, 4, 5};

RuntimeArray Ints(const std::vector<std::int32_t>& values, std::uint32_t size = 4) {
    RuntimeArray array = CreateArray(static_cast<std::uint32_t>(values.size()), size, 1);
    for (std::size_t i = 0; i < values.size(); ++i)
        std::memcpy(array[i], &values[i], 4);
    return array;
}

std::vector<std::int32_t> Values(RuntimeArray array) {
    std::vector<std::int32_t> values(GetArrayHeader(array)->count);
    for (std::size_t i = 0; i < values.size(); ++i)
        std::memcpy(&values[i], array[i], 4);
    return values;
}

// A command on the list {1, 2, 3, 4, 5} (position 0), and the list and position it makes.
struct ArrayRow {
    const char* name;
    RuntimeArray (*call)(RuntimeArray);
    std::vector<std::int32_t> done;
    std::uint32_t current;
};

const ArrayRow kArrayRows[] = {
    {"DimOrRedim",
     [](RuntimeArray a) { return DimOrRedim(a, kInts, 7, 0, 0, 0, 0, 0, 0, 0, 0); },
     {1, 2, 3, 4, 5, 0, 0, 0},
     0},
    {"DimArray",
     [](RuntimeArray a) { return DimArray(a, kInts, 1, 0, 0, 0, 0, 0, 0, 0, 0); },
     {0, 0},
     0},
    {"RedimArray",
     [](RuntimeArray a) { return RedimArray(a, kInts, 1, 0, 0, 0, 0, 0, 0, 0, 0); },
     {1, 2},
     0},
    {"ArrayAppendElements",
     [](RuntimeArray a) { return ArrayAppendElements(a, 2); },
     {1, 2, 3, 4, 5, 0, 0},
     5},
    {"ArrayInsertAtTopN",
     [](RuntimeArray a) { return ArrayInsertAtTopN(a, 2); },
     {0, 0, 1, 2, 3, 4, 5},
     0},
    {"ArrayInsertAtElement",
     [](RuntimeArray a) { return ArrayInsertAtElement(a, 1); },
     {1, 0, 2, 3, 4, 5},
     1},
    {"ArrayAppendAndSelect", ArrayAppendAndSelect, {1, 2, 3, 4, 5, 0}, 5},
};

class OutOfMemory : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        try { // a thread's first exception sets up what later ones reuse
            throw std::bad_alloc();
        } catch (const std::bad_alloc&) {
        }
    }
    void SetUp() override { LinkModules(); }
    ErrorCellScope errors;
    TempFolder folder;
};

} // namespace

TEST_F(OutOfMemory, ListCommandsKeepTheListAndItsPosition) {
    for (const ArrayRow& row : kArrayRows)
        for (int k = 1; k < 64; ++k) {
            const std::string what = std::string(row.name) + ", allocation " + std::to_string(k);
            const std::int64_t held = Outstanding();
            RuntimeArray list = Ints(kFive), result = nullptr;
            errors.Clear();
            const bool failed = failing_heap::CallFailing(
                k, [&] { result = row.call(list); }, what);
            EXPECT_EQ(errors.Last(), failed ? 101 : 0) << what;
            if (failed && result != list) {
                ADD_FAILURE() << what << ": the old list is gone";
                break;
            }
            EXPECT_EQ(Values(result), failed ? kFive : row.done) << what;
            EXPECT_EQ(GetArrayHeader(result)->current, failed ? 0 : row.current) << what;
            FreeArray(result);
            EXPECT_EQ(Outstanding(), held) << what << ": memory stays held";
            if (!failed) break;
        }
}

TEST_F(OutOfMemory, TextCommandsGiveTheOldTextBack) {
    static std::uint8_t item[10] = {2};
    static const char* datum = "datum";
    std::memcpy(item + 2, &datum, sizeof datum);
    SetEntryTextSource("typed");
    failing_heap::CheckStringRows({
        {"StringConcatenate(a, a, a)", [](char* a) { return StringConcatenate(a, a, a); },
         "previousprevious"},
        {"StringAssign", [](char* p) { return StringAssign(p, "new"); }, "new"},
        {"ReadDataString",
         [](char* p) {
             SetDataArea(item, item + sizeof item);
             return ReadDataString(p);
         },
         "datum"},
        {"GetEntryText", GetEntryText, "typed"},
        {"GetTimeText", GetTimeText, ""},
        {"GetCoreDataText", GetCoreDataText, ""},
    });
    SetEntryTextSource(nullptr);
    errors.Clear();
    EXPECT_EQ(AllocMemory(-1), nullptr);
    EXPECT_EQ(errors.Last(), 101);
}

// A failed save leaves the old file and no file of its own; a failed load leaves every text.
TEST_F(OutOfMemory, ArrayFilesKeepTheFileAndTheTexts) {
    const std::string path = folder.Write("ints.arr", "old");
    RuntimeArray ints = Ints(kFive);
    for (int k = 1; k < 64; ++k) {
        errors.Clear();
        const bool failed = failing_heap::CallFailing(
            k, [&] { SaveArrayFile(path.c_str(), ints); }, "save " + std::to_string(k));
        EXPECT_EQ(errors.Last(), failed ? 101 : 0) << k;
        EXPECT_EQ(TempFolder::Read(path).size(), failed ? 3u : 4 * 13u) << k;
        EXPECT_EQ(TempFolder::Tree(folder.Path()).size(), 1u) << k;
        if (!failed) break;
    }
    FreeArray(ints);
    const std::string lines = folder.Write("texts.txt", "one\r\ntwo\r\n");
    char* texts[3] = {};
    for (int k = 1; k < 64; ++k) {
        const std::int64_t held = Outstanding();
        RuntimeArray array = CreateArray(3, 4, 2);
        for (std::uint32_t i = 0; i < 3; ++i) {
            texts[i] = nullptr;
            CoreResizeString(&texts[i], 2);
            texts[i][0] = static_cast<char>('a' + i);
            std::memcpy(array[i], &texts[i], 4);
        }
        errors.Clear();
        const bool failed = failing_heap::CallFailing(
            k, [&] { LoadArrayFile(lines.c_str(), &array); }, "load " + std::to_string(k));
        EXPECT_EQ(errors.Last(), failed ? 101 : 0) << k;
        const char* const want[2][3] = {{"one", "two", "c"}, {"a", "b", "c"}};
        for (std::uint32_t i = 0; i < 3; ++i) {
            char* text = *static_cast<char**>(array[i]);
            EXPECT_STREQ(text, want[failed][i]) << k;
            CoreResizeString(&text, 0);
        }
        FreeArray(array);
        EXPECT_EQ(Outstanding(), held) << k << ": memory stays held";
        if (!failed) break;
    }
}

// Sizes no 32-bit process can hold are refused before anything goes: 46,340 x 46,340 ints fit a
// 32-bit count but make 8.6 GB.
TEST_F(OutOfMemory, ImpossibleSizesKeepTheOldArrayAndBuffer) {
    RuntimeArray (*const calls[])(RuntimeArray) = {
        [](RuntimeArray a) { return DimOrRedim(a, kInts, 46339, 46339, 0, 0, 0, 0, 0, 0, 0); },
        [](RuntimeArray a) { return DimArray(a, kInts, 65535, 65535, 0, 0, 0, 0, 0, 0, 0); },
        [](RuntimeArray a) { return RedimArray(a, kInts, 0x7FFFFFFF, 0, 0, 0, 0, 0, 0, 0, 0); },
        [](RuntimeArray a) { return ArrayAppendElements(a, 0x7FFFFFFF); },
        [](RuntimeArray a) { return ArrayInsertAtTopN(a, 0x7FFFFFFF); },
    };
    for (auto call : calls) {
        RuntimeArray list = Ints(kFive);
        errors.Clear();
        ASSERT_EQ(call(list), list);
        EXPECT_EQ(errors.Last(), 101);
        EXPECT_EQ(Values(list), kFive);
        FreeArray(list);
    }
    ASSERT_NE(AllocCoreBuffer(16), nullptr);
    void* held = g_CoreData->coreBuffer;
    errors.Clear();
    EXPECT_EQ(AllocCoreBuffer(0x7FFFFFFF), nullptr);
    EXPECT_EQ(errors.Last(), 101);
    EXPECT_EQ(g_CoreData->coreBuffer, held);
    FreeCoreBuffer();
}

// A list of 1,024,000-byte elements loses one, and is saved, with no block of 64 KB or more.
TEST_F(OutOfMemory, LargeElementsAreDeletedAndSavedWithoutACopy) {
    constexpr std::uint32_t kElement = 1024000;
    RuntimeArray list = Ints({'a', 'b', 'c', 'd'}, kElement);
    const std::string path = folder.File("large.arr");
    failing_heap::FailFrom(64 * 1024);
    try {
        ArrayDeleteElement(list, 1);
        SaveArrayFile(path.c_str(), list);
    } catch (...) {
        ADD_FAILURE() << "an exception left the command";
    }
    failing_heap::Disarm();
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_EQ(Values(list), (std::vector<std::int32_t>{'a', 'c', 'd'}));
    const std::string saved = TempFolder::Read(path);
    ASSERT_EQ(saved.size(), 8 + 3 * (4 + kElement) + 4);
    EXPECT_EQ(saved[8 + 2 * (4 + kElement) + 4], 'd'); // the third record's first byte
    list = ArrayAppendElement(list); // lays the elements down afresh, in table order
    EXPECT_EQ(Values(list), (std::vector<std::int32_t>{'a', 'c', 'd', 0}));
    FreeArray(list);
}

// A file too large for a 32-bit process to hold is no missing file.
TEST_F(OutOfMemory, ArrayFileTooLargeToHoldRaises101) {
    const std::string path = folder.File("huge.arr");
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    LARGE_INTEGER end{};
    end.QuadPart = 0x80000000LL; // sparse on the host
    ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
    RuntimeArray list = Ints(kFive);
    LoadArrayFile(path.c_str(), &list);
    EXPECT_EQ(errors.Last(), 101);
    EXPECT_EQ(Values(list), kFive);
    FreeArray(list);
}
