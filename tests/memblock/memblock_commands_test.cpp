#include "core/win32.h"

#include "core/runtime_arrays.h"
#include "memblock/memblock.h"
#include "memblock/memblock_state.h"
#include "support/error_cell.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

class MemblockCommands : public ::testing::Test {
protected:
    void SetUp() override { MemblocksConstructor(nullptr); }
    void TearDown() override { MemblocksDestructor(); }
    // Block n of size bytes holding 0, 1, 2, ...
    static void Counting(std::int32_t n, std::int32_t size) {
        std::uint8_t* data = MakeMemblock(n, size);
        for (std::int32_t i = 0; data && i < size; ++i)
            data[i] = static_cast<std::uint8_t>(i);
    }
    static std::string Bytes(std::int32_t n) {
        return {reinterpret_cast<const char*>(GetMemblockPtrForModule(n)),
                static_cast<std::size_t>(GetMemblockSizeForModule(n))};
    }
    // The error each call raised, in order.
    template <typename... Calls> std::vector<std::int32_t> Errors(Calls... calls) {
        std::vector<std::int32_t> raised;
        ((errors.Clear(), calls(), raised.push_back(errors.Last())), ...);
        return raised;
    }
    ErrorCellScope errors;
};

RuntimeArray IntArray(std::uint32_t count, std::int32_t first) {
    RuntimeArray array = CreateArray(count, 4, 0);
    for (std::uint32_t i = 0; i < count; ++i)
        *static_cast<std::int32_t*>(array[i]) = first + static_cast<std::int32_t>(i);
    return array;
}

std::int32_t Element(RuntimeArray array, std::uint32_t i) {
    return *static_cast<std::int32_t*>(array[i]);
}

} // namespace

TEST_F(MemblockCommands, ValuesLieWhollyInsideTheBlockAndInTheirRange) {
    MakeMemblock(1, 10);
    EXPECT_EQ(Bytes(1), std::string(10, '\0')) << "a new block reads zero";
    EXPECT_EQ(Errors([] { WriteMemblockWord(1, 9, 1); },       // size - 1
                     [] { WriteMemblockDword(1, 7, 1); },      // size - 3
                     [] { ReadMemblockFloat(1, 0x7FFFFFFF); }, // no wrap past the end
                     [] { WriteMemblockDword(1, INT_MAX - 2, 1); },
                     [] { WriteMemblockByte(1, 0, 256); },    //
                     [] { WriteMemblockWord(1, 0, 65536); },  //
                     [] { WriteMemblockWord(1, 9, 65536); }), // the position first
              (std::vector<std::int32_t>{5105, 5105, 5105, 5105, 5107, 5108, 5105}));
    EXPECT_EQ(Bytes(1), std::string(10, '\0')) << "refused writes wrote nothing";
    errors.Clear();
    WriteMemblockWord(1, 8, 0xA1B2); // size - 2: the last two bytes, little-endian
    WriteMemblockDword(1, 4, 0x01020304u);
    EXPECT_EQ(Bytes(1), std::string("\0\0\0\0\x04\x03\x02\x01\xB2\xA1", 10));
    EXPECT_EQ(ReadMemblockWord(1, 8), 0xA1B2);
    EXPECT_EQ(errors.Last(), 0);
}

TEST_F(MemblockCommands, CopiesTakeBlocksOneTo255AndStayInsideBothBlocks) {
    Counting(1, 100);
    MakeMemblock(2, 40);
    ASSERT_NE(MakeMemblock(256, 100), nullptr);
    EXPECT_EQ(Errors([] { CopyMemblock(256, 2, 0, 0, 1); }, [] { CopyMemblock(1, 3, 0, 0, 1); },
                     [] { CopyMemblock(1, 2, 61, 0, 40); }, [] { CopyMemblock(1, 2, 60, 1, 40); },
                     [] { CopyMemblock(1, 2, 0, 0, -1); },
                     [] { CopyMemblock(1, 2, 0, 0, 0x7FFFFFFF); },
                     // Near the end with a count near INT_MAX: a 32-bit sum wraps below the size.
                     [] { CopyMemblock(1, 2, 60, 0, INT_MAX - 50); },
                     [] { CopyMemblock(2, 1, 0, 99, INT_MAX - 90); },
                     [] { CopyMemblock(1, 2, 60, 0, 40); }), // ends exactly at both ends
              (std::vector<std::int32_t>{5101, 5103, 5105, 5105, 5105, 5105, 5105, 5105, 0}));
    EXPECT_EQ(Bytes(2), Bytes(1).substr(60));
    // Over itself, forwards: a byte-by-byte copy would repeat its first ten bytes.
    CopyMemblock(1, 1, 0, 10, 50);
    const std::string moved = Bytes(1);
    for (int i = 10; i < 60; ++i)
        ASSERT_EQ(static_cast<std::uint8_t>(moved[i]), i - 10) << i;
}

// Owners' copies whose header words multiply (in 64 bits) past what a block holds raise 5104, one
// of another size than its header claims (a wrapped 32-bit product, a texture cut short) 5105,
// both before the old block goes.
TEST_F(MemblockCommands, MediaCopiesMustBeWhatTheirHeadersClaim) {
    static std::uint32_t width, height, size;
    static std::uint8_t bytes[65536];
    MemblockConverters& owners = g_Memblocks.converters;
    owners.imageToBlock = [](std::int32_t produce, std::int32_t, std::uint32_t* w, std::uint32_t* h,
                             std::uint32_t* d, std::uint8_t** data, std::uint32_t* n) {
        if (produce) *w = width, *h = height, *d = 32, *data = bytes, *n = size;
    };
    owners.soundToBlock = [](std::int32_t, std::uint32_t*, std::uint32_t*, std::uint32_t*,
                             std::uint8_t** data, std::uint32_t* n, std::uint8_t mode,
                             WAVEFORMATEX*) {
        if (mode) *data = bytes, *n = size;
    };
    const struct {
        std::int32_t (*make)(std::int32_t block, std::int32_t media);
        std::uint32_t width, height, size;
        std::int32_t error;
    } rows[] = {{CreateMemblockFromImage, 46341, 46341, 18532, 5104}, // 4 x 46,341^2 mod 2^32
                {CreateMemblockFromImage, 65536, 65536, 0, 5104},
                {CreateMemblockFromImage, 40000, 1, 65536, 5105},
                {CreateMemblockFromSound, 0, 0, 0x7FFFFFF0, 5104},
                {CreateMemblockFromImage, 16384, 1, 65536, 0}};
    for (const auto& row : rows) {
        DeleteMemblockForModule(2);
        Counting(2, 10);
        width = row.width, height = row.height, size = row.size;
        errors.Clear();
        EXPECT_EQ(row.make(2, 1), row.error ? 0 : 1) << row.width << " " << row.size;
        EXPECT_EQ(errors.Last(), row.error) << row.width << " " << row.size;
        EXPECT_EQ(GetMemblockSize(2), row.error ? 10 : 12 + 65536) << row.width << " " << row.size;
    }
}

TEST_F(MemblockCommands, ArraysRoundTripThroughTheirPointerTable) {
    // Element 0 is a new, zeroed one: insertions reorder the pointer table only.
    RuntimeArray array = ArrayInsertAtTop(IntArray(5, 0x55550000));
    MakeMemblock(3, 2);
    MakeMemblockFromArray(3, array); // replaces the block
    ASSERT_EQ(GetMemblockSize(3), 24);
    EXPECT_EQ(ReadMemblockDword(3, 0), 0u);
    EXPECT_EQ(ReadMemblockDword(3, 4), 0x55550000u);
    WriteMemblockDword(3, 20, 77);
    MakeArrayFromMemblock(array, 3);
    EXPECT_EQ(Element(array, 1), 0x55550000);
    EXPECT_EQ(Element(array, 5), 77);

    // A short block fills what it holds and no more: here two elements and half of a third.
    Counting(4, 10);
    MakeArrayFromMemblock(array, 4);
    EXPECT_EQ(Element(array, 2), 0x55550908);
    EXPECT_EQ(Element(array, 3), 0x55550002);
    EXPECT_EQ(errors.Last(), 0);
    FreeArray(array);
}

TEST_F(MemblockCommands, ArraysThatCannotBeCopiedRaiseTheirErrors) {
    RuntimeArray empty = IntArray(3, 0), sizeless = CreateArray(3, 0, 0);
    RuntimeArray texts = CreateArray(3, 4, kArrayStringType); // elements are pointers
    ArrayEmpty(empty);
    MakeMemblock(1, 4);
    const std::pair<RuntimeArray, std::int32_t> cases[] = {
        {nullptr, 109}, {empty, 53}, {sizeless, 53}, {texts, 54}};
    for (const auto& [array, error] : cases) {
        EXPECT_EQ(Errors([&] { MakeMemblockFromArray(2, array); },
                         [&] { MakeArrayFromMemblock(array, 1); }),
                  (std::vector<std::int32_t>{error, error}));
    }
    EXPECT_EQ(Errors([] { MakeMemblockFromArray(258, nullptr); },
                     [&] { MakeArrayFromMemblock(texts, 2); }), // no block: the array first
              (std::vector<std::int32_t>{5101, 54}));
    EXPECT_EQ(MemblockExist(2), 0);
    // An array that can take a block, and no block to fill it: the block's error.
    RuntimeArray ints = IntArray(3, 5);
    EXPECT_EQ(Errors([&] { MakeArrayFromMemblock(ints, 2); }), (std::vector<std::int32_t>{5103}));
    EXPECT_EQ(Element(ints, 2), 7);
    for (RuntimeArray a : {empty, sizeless, texts, ints})
        FreeArray(a);
}

// Each conversion checks its own media range, the owner's number being checked only after. With
// no owner registered (no PassCoreData), media give no data and blocks go nowhere.
TEST_F(MemblockCommands, ConversionsCheckTheirOwnRangesFirst) {
    MakeMemblock(1, 12);
    EXPECT_EQ(Errors([] { CreateMemblockFromBitmap(258, 22000000); },
                     [] { CreateMemblockFromBitmap(2, 22000000); },
                     [] { CreateMemblockFromImage(2, 22000000); }, // in range, missing
                     [] { CreateMemblockFromSound(2, 22000000); },
                     [] { CreateMemblockFromMesh(2, 22000000); },
                     [] { CreateBitmapFromMemblock(-1, 258); },
                     [] { CreateImageFromMemblock(22000000, 258); },
                     [] { CreateMeshFromMemblock(1, 2); }),
              (std::vector<std::int32_t>{5101, 1001, 502, 3001, 7001, 1001, 5101, 5103}));
    EXPECT_EQ(CreateMeshFromMemblock(1, 1), 1) << "no owner: nothing to do";
    EXPECT_EQ(CreateMemblockFromBitmap(2, 0), 1) << "bitmap 0 is never missing";
    EXPECT_EQ(GetMemblockSize(2), 12);
}
