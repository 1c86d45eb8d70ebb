#include "core/win32.h"

#include "core/core.h"
#include "core/media.h"
#include "core/runtime_arrays.h"
#include "core/runtime_arrays_internal.h"
#include "support/error_cell.h"
#include "support/failing_saves.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::int32_t kInts = 41; // four-byte elements of type 1

RuntimeArray Dim1(std::int32_t typeArgument, std::int32_t last) {
    return DimArray(nullptr, typeArgument, last, 0, 0, 0, 0, 0, 0, 0, 0);
}

std::int32_t& At(RuntimeArray array, std::uint32_t i) {
    return *static_cast<std::int32_t*>(array[i]);
}

// The values of an int array in table order.
std::vector<std::int32_t> Values(RuntimeArray array) {
    std::vector<std::int32_t> values;
    for (std::uint32_t i = 0; i < GetArrayHeader(array)->count; ++i)
        values.push_back(At(array, i));
    return values;
}

RuntimeArray IntList(std::initializer_list<std::int32_t> values) {
    RuntimeArray array = Dim1(kInts, static_cast<std::int32_t>(values.size()) - 1);
    std::uint32_t i = 0;
    for (std::int32_t v : values)
        At(array, i++) = v;
    return array;
}

class RuntimeArrays : public ::testing::Test {
protected:
    void SetUp() override { LinkModules(); }
    ErrorCellScope errors;
};

} // namespace

TEST_F(RuntimeArrays, DimMakesZeroedListsAndImpossibleSizesGiveNull) {
    RuntimeArray array = Dim1(42, 9);
    ASSERT_NE(array, nullptr);
    const ArrayHeader* header = GetArrayHeader(array);
    EXPECT_EQ(header->count, 10u);
    EXPECT_EQ(header->elementSize, 4u); // the type argument 42 is size 4, type 2
    EXPECT_EQ(header->typeCode, 2u);
    EXPECT_TRUE(IsOneDimensionalArray(array));
    EXPECT_EQ(ArrayCount(array), 9);
    for (std::uint32_t i = 0; i < 10; ++i)
        EXPECT_TRUE(ArrayFlags(array)[i] == 1 && At(array, i) == 0) << i;
    EXPECT_EQ(UndimArray(array), nullptr);

    // 65536 x 65536 elements do not fit in 32 bits.
    EXPECT_EQ(DimArray(nullptr, kInts, 65535, 65535, 0, 0, 0, 0, 0, 0, 0), nullptr);
    // The count fits, the bytes do not: 4M elements of 1024 bytes.
    EXPECT_EQ(DimArray(nullptr, 10241, 0x3FFFFF, 0, 0, 0, 0, 0, 0, 0, 0), nullptr);
    EXPECT_EQ(CreateArray(0xFFFFFFFF, 4, 1), nullptr);
    EXPECT_EQ(CreateArray(2, 0xFFFFFFFF, 1), nullptr);
    EXPECT_EQ(Dim1(kInts, -1), nullptr); // a negative highest index is a huge unsigned one
    array = Dim1(kInts, 0);
    EXPECT_EQ(GrowArray(array, 0xFFFFFFFF), nullptr);
    FreeArray(array);
}

TEST_F(RuntimeArrays, RedimKeepsElementsInsideBothShapes) {
    RuntimeArray array = IntList({10, 11, 12, 13, 14});
    array = RedimArray(array, kInts, 2, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(Values(array), (std::vector<std::int32_t>{10, 11, 12}));
    array = DimOrRedim(array, kInts, 4, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(Values(array), (std::vector<std::int32_t>{10, 11, 12, 0, 0}));
    // Another element size leaves the array as it was.
    EXPECT_EQ(RedimArray(array, 81, 1, 0, 0, 0, 0, 0, 0, 0, 0), array);
    EXPECT_EQ(GetArrayHeader(array)->count, 5u);
    FreeArray(array);

    // 3 x 2 to 2 x 3: element (x, y) sits at x + 3y before and x + 2y after.
    RuntimeArray grid = DimArray(nullptr, kInts, 2, 1, 0, 0, 0, 0, 0, 0, 0);
    ASSERT_EQ(GetArrayHeader(grid)->count, 6u);
    for (std::int32_t y = 0; y < 2; ++y)
        for (std::int32_t x = 0; x < 3; ++x)
            At(grid, x + 3 * y) = 10 * x + y + 1;
    grid = RedimArray(grid, kInts, 1, 2, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(Values(grid), (std::vector<std::int32_t>{1, 11, 2, 12, 0, 0}));
    FreeArray(grid);
}

TEST_F(RuntimeArrays, PositionStopsAtBothEnds) {
    RuntimeArray array = Dim1(kInts, 2);
    PreviousArrayIndex(array);
    EXPECT_EQ(GetArrayHeader(array)->current, 0xFFFFFFFFu);
    EXPECT_EQ(ArrayIndexValid(array), 0);
    NextArrayIndex(array);
    EXPECT_EQ(GetArrayHeader(array)->current, 0u);
    ArrayIndexToBottom(array);
    EXPECT_EQ(ArrayIndexValid(array), 1);
    NextArrayIndex(array);
    NextArrayIndex(array);
    EXPECT_EQ(GetArrayHeader(array)->current, 3u);
    EXPECT_EQ(ArrayIndexValid(array), 0);
    FreeArray(array);
}

TEST_F(RuntimeArrays, InsertsAndDeletesKeepTheListOrder) {
    RuntimeArray array = IntList({1, 2, 3});
    array = ArrayInsertAtTopN(array, 2);
    EXPECT_EQ(GetArrayHeader(array)->current, 0u);
    At(array, 0) = -2;
    At(array, 1) = -1;
    array = ArrayInsertAtElement(array, 3);
    EXPECT_EQ(GetArrayHeader(array)->current, 3u);
    At(array, 3) = 99;
    EXPECT_EQ(Values(array), (std::vector<std::int32_t>{-2, -1, 1, 99, 2, 3}));
    // Growing copies in table order, so the reordering survives.
    array = ArrayAppendElements(array, 0);
    EXPECT_EQ(GetArrayHeader(array)->current, 6u);
    At(array, 6) = 7;
    ArrayDeleteElement(array, 1);
    EXPECT_EQ(Values(array), (std::vector<std::int32_t>{-2, 1, 99, 2, 3, 7}));
    ArrayDeleteFirst(array);
    ArrayDeleteLast(array);
    EXPECT_EQ(Values(array), (std::vector<std::int32_t>{1, 99, 2, 3}));
    EXPECT_EQ(GetArrayHeader(array)->current, 3u);
    ArrayDeleteCurrent(array);
    EXPECT_EQ(GetArrayHeader(array)->current, 2u); // it lay beyond the new count
    array = ArrayAppendAndSelect(array);
    EXPECT_EQ(Values(array), (std::vector<std::int32_t>{1, 99, 2, 0}));
    EXPECT_EQ(GetArrayHeader(array)->current, 3u);
    EXPECT_EQ(errors.Last(), 0);

    ArrayEmpty(array);
    EXPECT_EQ(ArrayCount(array), -1);
    array = ArrayAppendElement(array);
    EXPECT_EQ(Values(array), (std::vector<std::int32_t>{0}));
    FreeArray(array);
}

TEST_F(RuntimeArrays, BadIndicesAndGridsAreRefusedUnchanged) {
    // Each refusal raises another error than the one before it.
    RuntimeArray array = IntList({1, 2});
    RuntimeArray grid = DimArray(nullptr, kInts, 1, 1, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_FALSE(IsOneDimensionalArray(grid));
    EXPECT_EQ(ArrayInsertAtElement(array, 2), array);
    EXPECT_EQ(errors.Last(), 52);
    EXPECT_EQ(ArrayAppendElement(grid), grid);
    EXPECT_EQ(errors.Last(), 55);
    ArrayDeleteElement(array, -1);
    EXPECT_EQ(errors.Last(), 52);
    ArrayDeleteFirst(grid);
    EXPECT_EQ(errors.Last(), 55);
    EXPECT_EQ(Values(array), (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(GetArrayHeader(grid)->count, 4u);
    FreeArray(array);
    FreeArray(grid);

    // A null array is ignored by every command.
    errors.Clear();
    EXPECT_EQ(ArrayAppendElement(nullptr), nullptr);
    ArrayDeleteElement(nullptr, 3);
    NextArrayIndex(nullptr);
    ArrayEmpty(nullptr);
    EXPECT_EQ(ArrayIndexValid(nullptr), 0);
    EXPECT_EQ(errors.Last(), 0);
}

namespace {

class RuntimeArrayFiles : public RuntimeArrays {
protected:
    TempFolder folder;
};

void SetText(RuntimeArray array, std::uint32_t i, const char* text) {
    char* copy = nullptr;
    if (text) {
        CoreResizeString(&copy, static_cast<std::int32_t>(std::strlen(text) + 1));
        std::strcpy(copy, text);
    }
    std::memcpy(array[i], &copy, sizeof copy);
}

const char* Text(RuntimeArray array, std::uint32_t i) {
    return *static_cast<char**>(array[i]);
}

void FreeTexts(RuntimeArray array) {
    for (std::uint32_t i = 0; i < GetArrayHeader(array)->count; ++i)
        CoreResizeString(static_cast<char**>(array[i]), 0);
    FreeArray(array);
}

std::string Words(std::initializer_list<std::int32_t> words) {
    return std::string(reinterpret_cast<const char*>(words.begin()), words.size() * 4);
}

} // namespace

TEST_F(RuntimeArrayFiles, IntegerArraysRoundTrip) {
    RuntimeArray ints = IntList({5, -6, 0x7FFFFFFF});
    const std::string path = folder.File("ints.arr");
    SaveArrayFile(path.c_str(), ints);
    // Type, count, an (index, value) record per element, the end marker.
    EXPECT_EQ(TempFolder::Read(path), Words({1, 3, 0, 5, 1, -6, 2, 0x7FFFFFFF, -1}));
    RuntimeArray loaded = Dim1(kInts, 2);
    At(loaded, 1) = 123;
    LoadArrayFile(path.c_str(), &loaded);
    EXPECT_EQ(Values(loaded), Values(ints));
    EXPECT_EQ(errors.Last(), 0);
    FreeArray(ints);
    FreeArray(loaded);
}

TEST_F(RuntimeArrayFiles, StringArraysAreLinesAndANullTextIsAnEmptyLine) {
    RuntimeArray texts = Dim1(42, 2);
    SetText(texts, 0, "alpha");
    SetText(texts, 2, "gamma delta");
    const std::string path = folder.File("texts.txt");
    SaveArrayFile(path.c_str(), texts);
    EXPECT_EQ(TempFolder::Read(path), "alpha\r\n\r\ngamma delta\r\n");

    RuntimeArray loaded = Dim1(42, 2);
    SetText(loaded, 1, "replaced");
    LoadArrayFile(path.c_str(), &loaded);
    EXPECT_STREQ(Text(loaded, 0), "alpha");
    ASSERT_NE(Text(loaded, 1), nullptr);
    EXPECT_STREQ(Text(loaded, 1), "");
    EXPECT_STREQ(Text(loaded, 2), "gamma delta");

    // More lines than elements, a last line without CR LF, a lone CR kept in the text.
    const std::string odd = folder.Write("odd.txt", "a\rb\r\nlast");
    RuntimeArray one = Dim1(42, 0);
    LoadArrayFile(odd.c_str(), &one);
    EXPECT_STREQ(Text(one, 0), "a\rb");
    RuntimeArray three = Dim1(42, 2);
    LoadArrayFile(odd.c_str(), &three);
    EXPECT_STREQ(Text(three, 1), "last");
    EXPECT_EQ(Text(three, 2), nullptr);
    for (RuntimeArray a : {texts, loaded, one, three})
        FreeTexts(a);
}

TEST_F(RuntimeArrayFiles, MismatchedOrHostileRecordFilesLoadNothing) {
    const std::vector<std::string> files = {
        Words({1, 4, 0, 1, 1, 2, 2, 3, 3, 4, -1}),             // count differs
        Words({3, 3, 0, 1, -1}),                               // type differs
        Words({1, 3, 0, 9, 7, 9, -1}),                         // index beyond the array
        Words({1, 3, 0, 9, -5, 9, -1}),                        // negative index
        Words({1, 3, 0, 9, 1}),                                // stops inside a record
        Words({1, 3, 0, 9, 1}).substr(0, 18),                  // stops inside an index
        Words({1, 0x7FFFFFFF, 0, 9, -1}),                      // huge count
        Words({1}),                                            // stops inside the header
        "",                                                    // empty
        std::string("\x93\x11\xfe\x00\x42\xff\x10\x20\x01", 9) // noise
    };
    // Each is refused with the load's error, never loaded nor passed over in silence.
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string path = folder.Write("hostile" + std::to_string(i), files[i]);
        RuntimeArray array = IntList({-1, -2, -3});
        LoadArrayFile(path.c_str(), &array);
        EXPECT_EQ(Values(array), (std::vector<std::int32_t>{-1, -2, -3})) << "file " << i;
        EXPECT_EQ(errors.Last(), 105) << "file " << i;
        errors.Clear();
        FreeArray(array);
    }

    // A file ending after whole records is fine: what it holds loads, the rest is zeroed.
    const std::string shortFile = folder.Write("short", Words({1, 3, 2, 8}));
    RuntimeArray array = IntList({-1, -2, -3});
    LoadArrayFile(shortFile.c_str(), &array);
    EXPECT_EQ(Values(array), (std::vector<std::int32_t>{0, 0, 8}));
    EXPECT_EQ(errors.Last(), 0);
    FreeArray(array);

    // A text array: an empty file has no line for it, and elements too small for a text refuse
    // any file.
    RuntimeArray texts = Dim1(42, 1), noRoom = CreateArray(2, 1, kArrayStringType);
    SetText(texts, 0, "kept");
    LoadArrayFile(folder.Write("empty.txt", "").c_str(), &texts);
    EXPECT_EQ(errors.Last(), 105);
    EXPECT_STREQ(Text(texts, 0), "kept");
    errors.Clear();
    LoadArrayFile(folder.Write("line.txt", "a\r\n").c_str(), &noRoom);
    EXPECT_EQ(errors.Last(), 105);
    FreeTexts(texts);
    FreeArray(noRoom);
}

TEST_F(RuntimeArrayFiles, ErrorsForBadTypesAndFiles) {
    // Each step raises another error than the one before it.
    RuntimeArray badType = Dim1(49, 1), ints = Dim1(kInts, 1);
    SaveArrayFile(folder.File("x").c_str(), badType);
    EXPECT_EQ(errors.Last(), 54);
    LoadArrayFile(folder.File("missing").c_str(), &ints);
    EXPECT_EQ(errors.Last(), 105);
    LoadArrayFile(folder.File("missing").c_str(), &badType); // the type is checked first
    EXPECT_EQ(errors.Last(), 54);
    SaveArrayFile(folder.File("no\\such\\folder\\x").c_str(), ints);
    EXPECT_EQ(errors.Last(), 104);
    FreeArray(badType);
    FreeArray(ints);
}

// Array saves where they must fail: the file there stays as it was and 104 is raised. The array's
// file (30,000 elements, 240,012 bytes) is larger than the old one.
class RuntimeArrayFilesOnTestDisks : public RuntimeArrayFiles {};

TEST_F(RuntimeArrayFilesOnTestDisks, FailedSavesKeepTheOldFile) {
    RuntimeArray ints = Dim1(kInts, 29999);
    CheckFailingSaves(
        "SaveArrayFile", kEverySaveFault, 104,
        [ints](const std::string& target) { SaveArrayFile(target.c_str(), ints); }, "saved.arr",
        SeededBytes(100000, 71));
    FreeArray(ints);
}

namespace {
std::string g_hookedName;
void RecordName(char* fileName) {
    g_hookedName = fileName;
}
} // namespace

TEST_F(RuntimeArrayFiles, HookedLoadPrefersTheMediaFolder) {
    std::strncpy(g_CoreData->mediaFolder, folder.Path().c_str(), kCorePathLength - 1);
    const std::string media = folder.Write("media\\list.arr", Words({1, 1, 0, 77, -1}));
    folder.Write("list.arr", Words({1, 1, 0, 11, -1}));
    g_CoreData->callbacks.mediaRedirect = MediaPathRedirect;
    g_CoreData->callbacks.beforeOpen = RecordName;
    RuntimeArray array = Dim1(kInts, 0);
    LoadArrayFileHooked("list.arr", &array);
    EXPECT_EQ(At(array, 0), 77);
    EXPECT_EQ(g_hookedName, media);
    g_CoreData->callbacks.mediaRedirect = nullptr;
    g_CoreData->callbacks.beforeOpen = nullptr;
    FreeArray(array);
}
