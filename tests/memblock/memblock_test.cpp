#include "core/win32.h"

#include "memblock/memblock.h"
#include "support/error_cell.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {
class Memblocks : public ::testing::Test {
protected:
    void SetUp() override { MemblocksConstructor(nullptr); }
    void TearDown() override { MemblocksDestructor(); }
    ErrorCellScope errors;
};
} // namespace

TEST_F(Memblocks, NewBlocksAreZeroFilledAndSized) {
    for (int block : {1, 128, 257}) {
        std::uint8_t* data = MakeMemblockForModule(block, 300);
        ASSERT_NE(data, nullptr) << block;
        for (int i = 0; i < 300; ++i)
            ASSERT_EQ(data[i], 0);
        EXPECT_EQ(GetMemblockSizeForModule(block), 300);
        EXPECT_EQ(GetMemblockPtrForModule(block), data);
    }
    EXPECT_EQ(errors.Last(), 0);
}

TEST_F(Memblocks, MakingAnExistingNumberReplacesTheBlock) {
    std::uint8_t* data = MakeMemblockForModule(5, 16);
    std::memset(data, 0xFF, 16);
    data = MakeMemblockForModule(5, 8);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(GetMemblockSizeForModule(5), 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(data[i], 0);
    EXPECT_EQ(errors.Last(), 0);
}

TEST_F(Memblocks, BadMakesRaiseAndMakeNothing) {
    EXPECT_EQ(MakeMemblockForModule(0, 10), nullptr);
    EXPECT_EQ(errors.Last(), 5101);
    errors.Clear();
    EXPECT_EQ(MakeMemblockForModule(258, 10), nullptr);
    EXPECT_EQ(errors.Last(), 5101);
    EXPECT_EQ(MakeMemblockForModule(3, 0), nullptr);
    EXPECT_EQ(errors.Last(), 5106);
    errors.Clear();
    EXPECT_EQ(MakeMemblockForModule(3, -5), nullptr);
    EXPECT_EQ(errors.Last(), 5106);
    EXPECT_EQ(MakeMemblockForModule(3, 0x7FFFFFFF), nullptr); // more than a 32-bit process has
    EXPECT_EQ(errors.Last(), 5104);
    EXPECT_EQ(GetMemblockPtrForModule(3), nullptr);
    EXPECT_EQ(GetMemblockSizeForModule(3), 0);
    // A refused replacement keeps the block that was there.
    std::uint8_t* kept = MakeMemblockForModule(4, 8);
    for (std::int32_t size : {0, 0x7FFFFFFF}) {
        EXPECT_EQ(MakeMemblockForModule(4, size), nullptr) << size;
        EXPECT_EQ(GetMemblockPtrForModule(4), kept) << size;
    }
    EXPECT_EQ(GetMemblockSizeForModule(4), 8);
}

TEST_F(Memblocks, QueriesOfMissingBlocksGiveZeroSilently) {
    for (int block : {-1, 0, 2, 257, 258, 100000}) {
        EXPECT_EQ(GetMemblockSizeForModule(block), 0);
        EXPECT_EQ(GetMemblockPtrForModule(block), nullptr);
        DeleteMemblockForModule(block);
    }
    MakeMemblockForModule(2, 4);
    DeleteMemblockForModule(2);
    EXPECT_EQ(GetMemblockPtrForModule(2), nullptr);
    EXPECT_EQ(errors.Last(), 0);
}

TEST_F(Memblocks, SizeCanShrinkButNeverPassTheMemory) {
    MakeMemblockForModule(9, 100);
    EXPECT_EQ(SetMemblockSizeForModule(9, 40), 9);
    EXPECT_EQ(GetMemblockSizeForModule(9), 40);
    SetMemblockSizeForModule(9, 100); // back up to what the block holds
    EXPECT_EQ(GetMemblockSizeForModule(9), 100);
    SetMemblockSizeForModule(9, 101);
    SetMemblockSizeForModule(9, -1);
    EXPECT_EQ(GetMemblockSizeForModule(9), 100);
    SetMemblockSizeForModule(10, 5); // no block there
    EXPECT_EQ(GetMemblockSizeForModule(10), 0);
}

TEST_F(Memblocks, DestructorFreesEveryBlock) {
    MakeMemblockForModule(1, 10);
    MakeMemblockForModule(257, 10);
    MemblocksDestructor();
    EXPECT_EQ(GetMemblockPtrForModule(1), nullptr);
    EXPECT_EQ(GetMemblockPtrForModule(257), nullptr);
}
