#include "codecs/inflate.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> bytes;
    for (int v : values)
        bytes.push_back(static_cast<std::uint8_t>(v));
    return bytes;
}

} // namespace

TEST(Inflate, StoredAndFixedBlocksAndTheirLimits) {
    // A final stored block of "hello".
    const auto stored = Bytes({0x01, 0x05, 0x00, 0xFA, 0xFF, 'h', 'e', 'l', 'l', 'o'});
    std::vector<std::uint8_t> out(8, 0);
    std::size_t produced = 0;
    ASSERT_TRUE(InflateRaw(stored.data(), stored.size(), out.data(), out.size(), 0, &produced));
    EXPECT_EQ(std::string(out.begin(), out.begin() + produced), "hello");
    // Too little room, a length that disagrees with its complement, a cut stream.
    EXPECT_FALSE(InflateRaw(stored.data(), stored.size(), out.data(), 4, 0, &produced));
    auto bad = stored;
    bad[3] = 0;
    EXPECT_FALSE(InflateRaw(bad.data(), bad.size(), out.data(), out.size(), 0, &produced));
    EXPECT_FALSE(InflateRaw(stored.data(), 7, out.data(), out.size(), 0, &produced));

    // A fixed block: literal 'a', then a copy of length 3 at distance 1 ("aaaa").
    const auto fixed = Bytes({0x4B, 0x04, 0x02, 0x00});
    ASSERT_TRUE(InflateRaw(fixed.data(), fixed.size(), out.data(), out.size(), 0, &produced));
    EXPECT_EQ(std::string(out.begin(), out.begin() + produced), "aaaa");
    // The same copy with nothing before it to copy from is refused.
    const auto reach = Bytes({0x03, 0x02, 0x00});
    EXPECT_FALSE(InflateRaw(reach.data(), reach.size(), out.data(), out.size(), 0, &produced));
    // With earlier output as history it copies from there.
    out[0] = 'z';
    ASSERT_TRUE(InflateRaw(reach.data(), reach.size(), out.data(), out.size(), 1, &produced));
    EXPECT_EQ(std::string(out.begin(), out.begin() + 1 + produced), "zzzz");
}

TEST(Inflate, RandomStreamsStayInsideTheirBuffers) {
    std::mt19937 random(39);
    std::vector<std::uint8_t> in(300), out(4096);
    for (int i = 0; i < 20000; ++i) {
        for (auto& b : in)
            b = static_cast<std::uint8_t>(random());
        std::size_t produced = 0;
        InflateRaw(in.data(), random() % in.size(), out.data(), out.size(), 0, &produced);
        EXPECT_LE(produced, out.size());
    }
}
