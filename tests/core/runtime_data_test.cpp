#include "core/win32.h"

#include "core/core.h"
#include "core/runtime_data.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// A DATA area built the way the program's data segment lays it out: 10-byte items.
class DataArea {
public:
    void Number(double value) {
        std::uint8_t item[kDataItemBytes] = {kDataNumber};
        std::memcpy(item + 2, &value, sizeof value);
        bytes_.insert(bytes_.end(), item, item + kDataItemBytes);
    }
    void Text(const char* text) {
        std::uint8_t item[kDataItemBytes] = {kDataString};
        std::memcpy(item + 2, &text, sizeof text);
        bytes_.insert(bytes_.end(), item, item + kDataItemBytes);
    }
    void Use() { SetDataArea(bytes_.data(), bytes_.data() + bytes_.size()); }
    const std::uint8_t* Item(std::size_t i) const { return bytes_.data() + i * kDataItemBytes; }

private:
    std::vector<std::uint8_t> bytes_;
};

class RuntimeData : public ::testing::Test {
protected:
    void SetUp() override { LinkModules(); }
    void TearDown() override { SetDataArea(nullptr, nullptr); }
};

} // namespace

TEST_F(RuntimeData, ReadsTakeOneItemEachWhateverTheyFind) {
    DataArea area;
    area.Number(3.7);
    area.Text("hello");
    area.Number(-2.5);
    area.Use();
    EXPECT_EQ(ReadDataInteger(), 3);
    EXPECT_EQ(ReadDataInteger(), 0); // a string read as a number gives 0 and moves on
    EXPECT_EQ(ReadDataFloat(), -2.5f);
    // Past the end: 0 or an empty text every time, the pointer still advancing.
    EXPECT_EQ(ReadDataDouble(), 0.0);
    char* text = ReadDataString(nullptr);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(GetDataReadPointer()),
              reinterpret_cast<std::uintptr_t>(area.Item(0)) + 5 * kDataItemBytes);

    RestoreData(area.Item(1));
    text = ReadDataString(text);
    EXPECT_STREQ(text, "hello");
    text = ReadDataString(text); // a number read as a text gives the empty text
    EXPECT_STREQ(text, "");
    RestoreData(nullptr);
    EXPECT_EQ(ReadDataDouble(), 3.7);
    StringFree(text);
}

TEST_F(RuntimeData, ReadsNeverLeaveTheArea) {
    DataArea area;
    area.Number(1.0);
    area.Number(2.0);
    area.Use();
    // A read pointer part-way into the last item would read past the end.
    RestoreData(area.Item(1) + 1);
    EXPECT_EQ(ReadDataInteger(), 0);
    SetDataArea(nullptr, nullptr);
    EXPECT_EQ(ReadDataInteger(), 0);
    // Out-of-range numbers truncate to the processor's indefinite value, not undefined code.
    DataArea huge;
    huge.Number(1e300);
    huge.Number(std::numeric_limits<double>::quiet_NaN());
    huge.Use();
    EXPECT_EQ(ReadDataInteger(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(ReadDataInteger(), std::numeric_limits<std::int64_t>::min());
}

TEST_F(RuntimeData, OperatorsNeitherTrapNorOverflow) {
    // Division by zero gives zero, negative zero included.
    EXPECT_EQ(FloatDivide(1.0f, 0.0f), 0.0f);
    EXPECT_EQ(FloatDivide(-1.0f, -0.0f), 0.0f);
    EXPECT_EQ(FloatModulo(5.0f, 0.0f), 0.0f);
    EXPECT_EQ(DoubleDivide(1.0, 0.0), 0.0);
    EXPECT_EQ(Int64Divide(7, 0), 0);
    // The lowest value over -1 traps on the processor; it wraps instead, as products do.
    const std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(Int64Divide(lowest, -1), lowest);
    EXPECT_EQ(Int64Multiply(0x100000000ll, 0x100000000ll), 0);
    // Powers wrap to their type's width; 64-bit powers are not cut to 32 bits.
    EXPECT_EQ(BytePower(2, 10), 0);
    EXPECT_EQ(WordPower(2, 17), 0);
    EXPECT_EQ(WordPower(255, 2), 65025);
    EXPECT_EQ(Int64Power(2, 40), 1ll << 40);
    // Ordering of 32-bit integers is without sign, of 64-bit ones with it across both words.
    EXPECT_EQ(IntGreater(-1, 1), 1);
    EXPECT_EQ(Int64Less(0xFFFFFFFFll, 0x100000000ll), 1);
    EXPECT_EQ(Int64Less(-1, 0), 1);
}

TEST_F(RuntimeData, StringsTreatNullAsEmpty) {
    EXPECT_EQ(StringEqual(nullptr, ""), 1);
    EXPECT_EQ(StringNotEqual(nullptr, "a"), 1);
    EXPECT_EQ(StringGreaterEqual(nullptr, nullptr), 1);
    EXPECT_EQ(StringGreater(nullptr, nullptr), 0);
    // One null is neither greater nor less.
    EXPECT_EQ(StringGreater("a", nullptr), 0);
    EXPECT_EQ(StringLess(nullptr, "a"), 0);
    EXPECT_EQ(StringGreaterEqual("a", nullptr), 0);

    char* text = StringAssign(nullptr, "ab");
    text = StringConcatenate(text, text, "cd"); // the old target is also an operand
    EXPECT_STREQ(text, "abcd");
    text = StringConcatenate(text, nullptr, nullptr);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(StringAssign(text, nullptr), nullptr);
}

TEST_F(RuntimeData, ConversionsOutOfRangeWrapSaturateOrGiveTheLowestValue) {
    EXPECT_EQ(ConvertFloatToDword(-1.0f), 0xFFFFFFFFu); // low 32 bits of a negative value
    EXPECT_EQ(ConvertFloatToDword(3e9f), 3000000000u);
    EXPECT_EQ(ConvertFloatToDword(5e9f), 0xFFFFFFFFu);
    EXPECT_EQ(ConvertFloatToByte(300.9f), 44);
    EXPECT_EQ(ConvertFloatToInteger(std::nanf("")), std::numeric_limits<std::int32_t>::min());
}

TEST_F(RuntimeData, MemoryHelpersRefuseBadSizesAndNull) {
    auto* block = static_cast<std::uint8_t*>(AllocMemory(16));
    ASSERT_NE(block, nullptr);
    FillMemory(block, 0x1AB, 16); // only the low byte is used
    EXPECT_TRUE(block[0] == 0xAB && block[15] == 0xAB);
    FillMemory(nullptr, 0, 16);
    std::free(block);
    EXPECT_EQ(AllocMemory(-1), nullptr);
}
