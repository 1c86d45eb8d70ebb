#include "core/win32.h"

#include "memblock/memblock_layout.h"
#include "support/guarded_bytes.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

std::string Words(std::initializer_list<std::uint32_t> words, std::size_t extraBytes = 0) {
    std::string bytes;
    for (std::uint32_t w : words)
        bytes.append(reinterpret_cast<const char*>(&w), 4);
    return bytes + std::string(extraBytes, '\x5A');
}

// The readers over bytes that end where readable memory ends: a read past them crashes.
template <typename Block, typename Reader> bool Reads(Reader read, const std::string& bytes) {
    const GuardedBytes block(bytes);
    Block out;
    return read(ByteSpan{block.Data(), block.Size()}, out);
}
bool Picture(const std::string& bytes) {
    return Reads<PictureBlock>(ReadPictureBlock, bytes);
}
bool Mesh(const std::string& bytes) {
    return Reads<MeshBlock>(ReadMeshBlock, bytes);
}

constexpr std::uint32_t kXyzNormalTex1 = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1; // 32 bytes

} // namespace

TEST(MemblockLayout, CraftedHeadersMustMatchTheirBlock) {
    EXPECT_TRUE(Picture(Words({3, 2, 32}, 24)));
    EXPECT_TRUE(Picture(Words({3, 2, 24}, 18)));
    EXPECT_FALSE(Picture(Words({3, 2, 32}, 23))) << "one byte short";
    EXPECT_FALSE(Picture(Words({1, 1, 16}, 1))) << "a 13-byte block";
    EXPECT_FALSE(Picture(Words({1, 1, 12}, 8))) << "depth 12";
    EXPECT_FALSE(Picture(Words({0, 1, 32}, 8)));
    EXPECT_FALSE(Picture(Words({0x40000001, 4, 32}, 64))) << "16 bytes in 32-bit arithmetic";
    EXPECT_FALSE(Picture(Words({0x80000000, 1, 16}, 64))) << "not an int32 width";
    EXPECT_FALSE(Picture(Words({1, 1})));

    EXPECT_TRUE(Mesh(Words({kXyzNormalTex1, 32, 3}, 96)));
    EXPECT_FALSE(Mesh(Words({kXyzNormalTex1, 32, 3}, 95)));
    EXPECT_FALSE(Mesh(Words({kXyzNormalTex1, 28, 3}, 96))) << "not the format's stride";
    EXPECT_FALSE(Mesh(Words({0, 0, 3}, 96))) << "a format without size";
    EXPECT_FALSE(Mesh(Words({D3DFVF_XYZ, 12, 0x15555556}, 96))) << "8 bytes in 32 bits";

    SoundBlock w;
    const std::string sound = Words({0x10001, 2, 48000, 192000, 4, 16, 0}, 3);
    EXPECT_FALSE(Reads<SoundBlock>(ReadSoundBlock, sound.substr(0, 27)));
    ASSERT_TRUE(ReadSoundBlock(
        ByteSpan{reinterpret_cast<const std::uint8_t*>(sound.data()), sound.size()}, w));
    EXPECT_EQ(w.format.wFormatTag, 1) << "each word taken in its field's width";
    EXPECT_EQ(w.format.nAvgBytesPerSec, 192000u);
    EXPECT_EQ(w.sampleBytes, 3u);
}

// Random headers near the edge of their blocks: sides, counts and strides small or telling,
// bodies a few bytes either side of what they claim. A reader either refuses or hands on exactly
// what its header claims, inside the block.
TEST(MemblockLayout, RandomHeadersNeverReachPastTheirBlock) {
    std::mt19937 random(36);
    const std::uint32_t telling[] = {0,  8,     12,         16,         24,         32,
                                     28, 0x112, 0x80000000, 0xFFFFFFFF, 0x40000001, 0x15555556};
    auto pick = [&](std::uint32_t small) {
        const std::uint32_t r = random() % 8;
        return r < 5 ? random() % small : r < 7 ? telling[random() % std::size(telling)] : random();
    };
    int accepted = 0;
    for (int i = 0; i < 6000; ++i) {
        const std::uint32_t fvf = i % 2 ? kXyzNormalTex1 : pick(0x200);
        const std::uint32_t a = pick(6), b = i % 2 ? D3DXGetFVFVertexSize(fvf) + pick(2) : pick(6);
        const std::uint32_t c = i % 2 ? pick(5) : pick(40);
        const std::uint64_t claim = i % 2 ? std::uint64_t{b} * c : std::uint64_t{a} * b * (c / 8);
        const std::size_t body =
            claim < 200 ? claim + random() % 7 - std::min<std::uint64_t>(claim, 3) : random() % 64;
        const GuardedBytes block(Words({i % 2 ? fvf : a, b, c}, body).substr(0, 12 + body));
        const ByteSpan span{block.Data(), block.Size()};
        const std::uint8_t* end = block.Data() + block.Size();
        PictureBlock p;
        MeshBlock m;
        if (ReadPictureBlock(span, p)) {
            ++accepted;
            ASSERT_EQ(p.pixelBytes, std::uint64_t{static_cast<std::uint32_t>(p.width)} *
                                        static_cast<std::uint32_t>(p.height) * (p.depth / 8));
            ASSERT_LE(p.pixels + p.pixelBytes, end);
        }
        if (ReadMeshBlock(span, m)) {
            ++accepted;
            ASSERT_EQ(m.vertexBytes, std::uint64_t{m.stride} * static_cast<std::uint32_t>(m.count));
            ASSERT_LE(m.vertices + m.vertexBytes, end);
        }
    }
    EXPECT_GT(accepted, 300) << "too few random headers fit to tell anything";
}
