#include "core/win32.h"

#include "bitmap/bitmap.h"
#include "display/display.h"
#include "image/image.h"
#include "memblock/memblock.h"
#include "sound/sound.h"
#include "sound/sound_state.h"
#include "support/engine_fixture.h"
#include "support/failing_heap.h"
#include "support/memblock_bytes.h"
#include "support/wave_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <utility>

namespace {

// The conversions against the real owners of a started engine.
class MemblockMedia : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        if (!GetDirect3DDevice()) GTEST_SKIP() << "no Direct3D device here";
    }
    // Converts block 1 into media 1 and that back into block 2; block 2's bytes.
    static std::string RoundTrip(std::int32_t (*toMedia)(std::int32_t, std::int32_t),
                                 std::int32_t (*toBlock)(std::int32_t, std::int32_t)) {
        if (toMedia(1, 1) != 1 || toBlock(2, 1) != 1) return "no round trip";
        return BlockBytes(2);
    }
};

} // namespace

TEST_F(MemblockMedia, BitmapsAndImagesComeBackByteForByte) {
    if (GetBitmapDepth(0) != 32) GTEST_SKIP() << "the screen is not 32-bit";
    FillBlock(1, Words({64, 32, 32}) + BytePattern(64 * 32 * 4, 1));
    EXPECT_EQ(RoundTrip(CreateBitmapFromMemblock, CreateMemblockFromBitmap), BlockBytes(1));
    EXPECT_EQ(GetMemblockSize(2), 12 + 8192);
    EXPECT_EQ(RoundTrip(CreateImageFromMemblock, CreateMemblockFromImage), BlockBytes(1));
    EXPECT_EQ(cell.number, 0);

    // Bitmap 0 is the screen, never missing; other bitmaps and images are.
    ASSERT_EQ(CreateMemblockFromBitmap(3, 0), 1);
    EXPECT_EQ(cell.number, 0);
    EXPECT_EQ(GetMemblockSize(3), 12 + GetBitmapWidth(0) * GetBitmapHeight(0) * 4);
    EXPECT_EQ(CreateMemblockFromBitmap(4, 9), 0);
    EXPECT_EQ(cell.number, 1002);
    EXPECT_EQ(CreateMemblockFromImage(4, 9), 0);
    EXPECT_EQ(cell.number, 502);
    LockImage(1);
    EXPECT_EQ(CreateMemblockFromImage(4, 1), 0);
    EXPECT_EQ(cell.number, 507) << "exists but cannot be read";
    UnlockImage(1);
    EXPECT_EQ(MemblockExist(4), 0);
}

TEST_F(MemblockMedia, SoundsKeepAllSevenFormatFields) {
    if (!SoundReady()) {
        ASSERT_FALSE(AudioDevicePromised()) << "the runner set up an audio device";
        GTEST_SKIP() << "DirectSound has no device here";
    }
    // 48 kHz stereo: a rate and a byte rate above 65535.
    FillBlock(1, Words({WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0}) + BytePattern(4800 * 4, 9));
    EXPECT_EQ(RoundTrip(CreateSoundFromMemblock, CreateMemblockFromSound), BlockBytes(1));
    EXPECT_EQ(CreateMemblockFromSound(3, 9), 0);
    EXPECT_EQ(cell.number, 3004);
}

TEST_F(MemblockMedia, MeshesComeBackAsTheSameTriangleList) {
    // Unit normals, which the object module keeps as they are (it normalises others).
    std::string vertices;
    for (int v = 0; v < 6; ++v) {
        const float vertex[8] = {v * 1.5f,
                                 -1 - v * 2.0f,
                                 v * 0.25f + 1,
                                 v % 3 == 0 ? 1.0f : 0.0f,
                                 v % 3 == 1 ? 1.0f : 0.0f,
                                 v % 3 == 2 ? -1.0f : 0.0f,
                                 v / 8.0f,
                                 1 - v / 16.0f};
        vertices.append(reinterpret_cast<const char*>(vertex), sizeof vertex);
    }
    const std::uint32_t fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
    FillBlock(1, Words({fvf, 32, 6}) + vertices);
    EXPECT_EQ(RoundTrip(CreateMeshFromMemblock, CreateMemblockFromMesh), BlockBytes(1));
    EXPECT_EQ(CreateMemblockFromMesh(3, 9), 0);
    EXPECT_EQ(cell.number, 7003);
}

// Headers that claim more than their block holds reach no owner: the layout's own tests show
// the checks on random and crafted headers, these that every command makes them first.
TEST_F(MemblockMedia, HeadersThatDoNotFitTheirBlockRaise5105AndMakeNothing) {
    const std::pair<std::int32_t (*)(std::int32_t, std::int32_t), std::string> cases[] = {
        {CreateBitmapFromMemblock, Words({1, 1, 16}) + "x"}, // 13 bytes
        {CreateImageFromMemblock, Words({0x40000001, 4, 32}) + BytePattern(16, 0)},
        {CreateMeshFromMemblock, Words({D3DFVF_XYZ, 16, 1}) + BytePattern(16, 0)},
        {CreateSoundFromMemblock, Words({1, 1, 8000, 8000, 1, 8}) + "abc"}, // 27 bytes
        {CreateImageFromMemblock, Words({4, 4, 32}) + BytePattern(64, 0)},  // cut below
    };
    for (const auto& [command, block] : cases) {
        FillBlock(1, block);
        SetMemblockSizeForModule(1, 12 + 63); // only the last case is longer
        cell.number = 0;
        EXPECT_EQ(command(7, 1), 0) << block.size();
        EXPECT_EQ(cell.number, 5105) << block.size();
    }
    EXPECT_EQ(BitmapExist(7) + SoundExist(7) + ImageExist(7), 0);
    EXPECT_EQ(CreateMemblockFromMesh(4, 7), 0);
    EXPECT_EQ(cell.number, 7003);
}

// Blocks whose headers fit but whose owner cannot make them (a 24-bit image, a sound of no
// samples) raise the owner's load error; a make that succeeds leaves the error cell alone.
TEST_F(MemblockMedia, BlocksTheOwnerRefusesRaiseItsLoadError) {
    const std::tuple<std::int32_t (*)(std::int32_t, std::int32_t), std::string, std::int32_t>
        cases[] = {{CreateImageFromMemblock, Words({2, 2, 24}) + BytePattern(12, 1), 506},
                   {CreateSoundFromMemblock, Words({1, 1, 8000, 8000, 1, 8, 0}), 3002}};
    for (const auto& [make, bytes, error] : cases) {
        FillBlock(1, bytes);
        cell.number = 0;
        EXPECT_EQ(make(7, 1), 0) << error;
        EXPECT_EQ(cell.number, error);
    }
    EXPECT_EQ(SoundExist(7) + ImageExist(7), 0);
    FillBlock(1, Words({2, 2, 32}) + BytePattern(16, 2));
    cell.number = 42;
    EXPECT_EQ(CreateImageFromMemblock(7, 1), 1);
    EXPECT_EQ(cell.number, 42);
}

// An owner without memory for the copy it gives raises the block's error, 5104, rather than its
// item's missing or unreadable error, and the old block stays.
TEST_F(MemblockMedia, AnOwnerWithoutMemoryForItsCopyRaises5104) {
    FillBlock(1, Words({64, 32, 32}) + BytePattern(64 * 32 * 4, 1));
    ASSERT_EQ(CreateImageFromMemblock(1, 1), 1);
    const bool sound = SoundReady();
    if (sound) {
        FillBlock(2, Words({WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0}) + BytePattern(8000, 3));
        ASSERT_EQ(CreateSoundFromMemblock(1, 2), 1);
    }
    const std::pair<const char*, std::int32_t (*)(std::int32_t, std::int32_t)> rows[] = {
        {"image 1", CreateMemblockFromImage}, {"sound 1", CreateMemblockFromSound}};
    for (const auto& [name, convert] : rows) {
        if (!sound && std::string(name) == "sound 1") continue;
        FillBlock(3, "old");
        cell.number = 0;
        failing_heap::FailFrom(4096); // the owner's copy
        const std::int32_t made = convert(3, 1);
        failing_heap::Disarm();
        EXPECT_EQ(made, 0) << name;
        EXPECT_EQ(cell.number, 5104) << name;
        EXPECT_TRUE(BlockBytes(3) == "old") << name;
    }
}
