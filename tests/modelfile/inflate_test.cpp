#include "core/win32.h"

#include "codecs/inflate.h"
#include "support/guarded_bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
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

namespace {

// Deflate bits written by hand: fields least significant bit first, Huffman codes first bit first.
struct BitStream {
    std::vector<std::uint8_t> bytes;
    std::uint32_t hold = 0;
    int count = 0;
    void Bits(std::uint32_t value, int n) {
        for (int k = 0; k < n; ++k) {
            hold |= ((value >> k) & 1) << count;
            if (++count == 8) Flush();
        }
    }
    void Code(std::uint32_t code, int n) {
        for (int k = n - 1; k >= 0; --k)
            Bits((code >> k) & 1, 1);
    }
    void Flush() {
        if (count) bytes.push_back(static_cast<std::uint8_t>(hold));
        hold = 0;
        count = 0;
    }
    // A stored block of the bytes given.
    void Stored(const std::vector<std::uint8_t>& data, bool last) {
        Bits(last, 1);
        Bits(0, 2);
        Flush();
        const auto n = static_cast<std::uint32_t>(data.size());
        Bits(n, 16);
        Bits(~n & 0xFFFF, 16);
        bytes.insert(bytes.end(), data.begin(), data.end());
    }
    // A final fixed block of one copy (length 3 to 10) and the end of the block.
    void FixedCopy(int length, int distance) {
        Bits(1, 1);
        Bits(1, 2);
        Code(length - 3 + 1, 7); // symbols 257 to 264: codes 0000001 onwards
        static const int base[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                     33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                     1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
        int code = 29;
        while (base[code] > distance)
            --code;
        Code(static_cast<std::uint32_t>(code), 5);
        Bits(static_cast<std::uint32_t>(distance - base[code]), code < 4 ? 0 : code / 2 - 1);
        Code(0, 7); // end of block
        Flush();
    }
};

std::vector<std::uint8_t> Noise(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(n);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

} // namespace

TEST(Inflate, CopiesReachBackExactly32KiB) {
    const std::vector<std::uint8_t> data = Noise(32768, 1);
    BitStream s;
    s.Stored(data, false);
    s.FixedCopy(10, 32768);
    std::vector<std::uint8_t> out(32768 + 10);
    std::size_t produced = 0;
    ASSERT_TRUE(InflateRaw(s.bytes.data(), s.bytes.size(), out.data(), out.size(), 0, &produced));
    ASSERT_EQ(produced, out.size());
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 10, out.begin() + 32768));
    // A byte of room short: refused, with nothing written past the capacity.
    out.assign(out.size(), 0xEE);
    EXPECT_FALSE(
        InflateRaw(s.bytes.data(), s.bytes.size(), out.data(), out.size() - 1, 0, &produced));
    EXPECT_EQ(out.back(), 0xEE);
}

TEST(Inflate, CopiesBeforeTheStartAreRefusedOrReadAsZeros) {
    BitStream s;
    s.Stored({'a', 'b', 'c', 'd'}, false);
    s.FixedCopy(9, 6); // two bytes before the first
    std::vector<std::uint8_t> out(13, 0xEE);
    std::size_t produced = 0;
    EXPECT_FALSE(InflateRaw(s.bytes.data(), s.bytes.size(), out.data(), out.size(), 0, &produced));
    ASSERT_TRUE(InflateRaw(s.bytes.data(), s.bytes.size(), out.data(), out.size(), 0, &produced,
                           InflateBefore::Zeros));
    EXPECT_EQ(std::string(out.begin(), out.end()), std::string("abcd\0\0abcd\0\0a", 13));
    // Earlier output given as history is read instead of zeros.
    std::vector<std::uint8_t> after(2 + 13);
    after[0] = 'y';
    after[1] = 'z';
    ASSERT_TRUE(InflateRaw(s.bytes.data(), s.bytes.size(), after.data(), after.size(), 2, &produced,
                           InflateBefore::Zeros));
    EXPECT_EQ(std::string(after.begin(), after.end()), "yzabcdyzabcdyza");
}

TEST(Inflate, DamagedStreamsStayInsideGuardedBuffers) {
    // Stored, fixed and long-distance streams cut and flipped, decoded into outputs whose end is
    // followed by an inaccessible page.
    BitStream s;
    s.Stored(Noise(300, 2), false);
    s.FixedCopy(10, 250);
    std::mt19937 random(3);
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::uint8_t> in = s.bytes;
        in.resize(random() % (in.size() + 1));
        if (!in.empty() && random() % 2) in[random() % in.size()] ^= 1 << (random() % 8);
        GuardedBytes guardedIn(std::string(in.begin(), in.end()));
        GuardedBytes guardedOut(std::string(random() % 320, '\0'));
        std::size_t produced = 0;
        InflateRaw(guardedIn.Data(), guardedIn.Size(), guardedOut.Writable(), guardedOut.Size(), 0,
                   &produced, round % 2 ? InflateBefore::Zeros : InflateBefore::Refuse);
        ASSERT_LE(produced, guardedOut.Size());
    }
}
