#include "core/win32.h"

#include "bitmap/bitmap.h"
#include "core/load_budget.h"
#include "display/display.h"
#include "draw2d/draw2d.h"
#include "support/engine_fixture.h"
#include "support/failing_heap.h"
#include "support/guarded_bytes.h"
#include "support/image_files.h"
#include "support/jpeg_files.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <climits>

#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t kBlack = 0xFF000000, kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000,
                        kGreen = 0xFF00FF00;

// A bitmap's raw 32-bit pixels, row by row.
struct Pixels {
    std::int32_t width = 0, height = 0;
    std::vector<std::uint32_t> p;
    std::uint32_t At(int x, int y) const { return p[static_cast<std::size_t>(y) * width + x]; }
};

class Bitmaps : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        ASSERT_NE(GetDirect3DDevice(), nullptr);
        if (GetBitmapDepth(0) != 32) GTEST_SKIP() << "the screen is not 32-bit";
    }
    static Pixels Read(std::int32_t n) {
        Pixels out;
        std::uint8_t* data = nullptr;
        std::int32_t depth = 0, size = 0;
        MakeMemblockFromBitmap(1, n, &data, &out.width, &out.height, &depth, &size);
        if (!data) return out;
        const auto* words = reinterpret_cast<const std::uint32_t*>(data);
        out.p.assign(words, words + size / 4);
        MakeMemblockFromBitmap(0, n, &data, &out.width, &out.height, &depth, &size);
        return out;
    }
    template <typename Fn> static Pixels Write(std::int32_t n, int width, int height, Fn colour) {
        Pixels in{width, height, {}};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                in.p.push_back(colour(x, y));
        MakeBitmapFromMemblock(n, width, height, 32,
                               reinterpret_cast<const std::uint8_t*>(in.p.data()),
                               static_cast<std::uint32_t>(in.p.size() * 4));
        return in;
    }
    static std::uint32_t Unique(int x, int y) {
        return 0xFF000000u | static_cast<std::uint32_t>(x * 16 + y + 1) * 0x010203u;
    }
    static std::uint32_t Rgb(std::uint32_t c) { return c & 0xFFFFFF; }
    TempFolder folder;
};

} // namespace

TEST_F(Bitmaps, NumbersAreCheckedBeforeAnyWork) {
    // 1001 for a number out of range or a copy onto itself, 1002 for a missing bitmap.
    const std::pair<void (*)(), std::int32_t> cases[] = {
        {[] { CopyBitmap(3, 3); }, 1001}, // even of a missing bitmap
        {[] { CopyBitmap(3, 4); }, 1002},
        {[] { CopyBitmap(3, 22000001); }, 1001},
        {[] { CreateBitmap(0, 8, 8); }, 1001},
        {[] { DeleteBitmap(0); }, 1001},
        {[] { GetBitmapWidth(5); }, 1002},
        {[] { BitmapExist(-1); }, 1001},
        {[] { FadeBitmap(9, 50); }, 1002},
        {[] { MirrorBitmap(22000001); }, 1001},
        {[] { LoadBitmap("missing.bmp", -1); }, 1001},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        cell.number = 0;
        cases[i].first();
        EXPECT_EQ(cell.number, cases[i].second) << "case " << i;
    }
    cell.number = 0;
    EXPECT_EQ(BitmapExist(5), 0);
    CreateBitmap(22000000, 2, 2); // the highest number
    EXPECT_EQ(GetCurrentBitmap(), 22000000);
    EXPECT_EQ(GetBitmapWidth(), 2);
    EXPECT_EQ(cell.number, 0);
}

TEST_F(Bitmaps, LoadingFillsAnExistingBitmapOrMakesOneOfThePictureSize) {
    const std::string bmp = folder.Write("big.bmp", BmpBytes(640, 480, [](int x, int y) {
                                             return x < 320 && y < 240 ? kRed : kGreen;
                                         }));
    CreateBitmap(1, 320, 240);
    LoadBitmap(bmp.c_str(), 1);
    ASSERT_EQ(cell.number, 0);
    EXPECT_EQ(GetBitmapWidth(1), 320);
    EXPECT_EQ(GetBitmapHeight(1), 240);
    const Pixels small = Read(1);
    ASSERT_EQ(small.p.size(), 320u * 240u);
    EXPECT_EQ(Rgb(small.At(0, 0)), Rgb(kRed));
    EXPECT_EQ(Rgb(small.At(319, 239)), Rgb(kRed)); // only the top-left quarter came in

    LoadBitmap(bmp.c_str(), 2);
    EXPECT_EQ(GetBitmapHeight(2), 480);
    EXPECT_EQ(GetCurrentBitmap(), 2);
    const Pixels big = Read(2);
    EXPECT_EQ(Rgb(big.At(639, 479)), Rgb(kGreen));
    EXPECT_EQ(Rgb(big.At(319, 239)), Rgb(kRed));
}

TEST_F(Bitmaps, BadFilesGiveTheLoadErrorAndChangeNothing) {
    std::string truncated = BmpBytes(16, 16, [](int, int) { return kWhite; });
    truncated.resize(60);
    std::string hugeHeader = BmpBytes(2, 2, [](int, int) { return kWhite; });
    hugeHeader[18] = hugeHeader[19] = hugeHeader[20] = '\x7F'; // a width of millions
    std::string noise(300, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>(i * 97 + 13);
    // A few kilobytes whose pixels alone are twice the budget they give, at the largest side.
    const std::string claims = BlankPngBytes(8192, 8192);
    ASSERT_GT(std::uint64_t{8192} * 8192 * 4, 2 * LoadBudgetFor(claims.size()));
    const std::string files[] = {folder.Write("cut.bmp", truncated),
                                 folder.Write("huge.bmp", hugeHeader),
                                 folder.Write("noise.png", noise), folder.File("missing.bmp"),
                                 folder.Write("claims.png", claims)};
    CreateBitmap(1, 4, 4);
    for (const std::string& file : files) {
        cell.number = 0;
        LoadBitmap(file.c_str(), 7);
        EXPECT_EQ(cell.number, 1003) << file;
        EXPECT_EQ(BitmapExist(7), 0) << file;
        EXPECT_EQ(GetCurrentBitmap(), 1) << file;
    }
    cell.number = 0;
    LoadBitmap(nullptr);
    EXPECT_EQ(cell.number, 1003);
}

// A picture loaded into a new bitmap charges its decoded pixels, the target they are decoded into
// and the new bitmap's surface; into an existing bitmap, no new surface. A compressed DDS is
// decoded to four bytes a pixel like any picture, however few it stores.
TEST_F(Bitmaps, LoadingChargesTheDecodedPictureAndTheSurfacesItFills) {
    const std::string bmp = folder.Write("c.bmp", BmpBytes(20, 10, Unique));
    LoadBitmap(bmp.c_str(), 3);
    EXPECT_EQ(LastLoadCharged(), 20u * 10 * 4 * 3);
    LoadBitmap(bmp.c_str(), 3);
    EXPECT_EQ(LastLoadCharged(), 20u * 10 * 4 * 2) << "into the bitmap it made";
    EXPECT_EQ(Read(3).At(19, 9), Unique(19, 9));
    // Rows stored top first load and charge as bottom row first.
    LoadBitmap(folder.Write("down.bmp", BmpBytes(20, 10, Unique, true)).c_str(), 4);
    EXPECT_EQ(LastLoadCharged(), 20u * 10 * 4 * 3);
    EXPECT_EQ(Read(4).p, Read(3).p);

    LoadBitmap(folder.Write("red.dds", Dxt1Bytes(64, 64, 0xF800)).c_str(), 5);
    ASSERT_EQ(cell.number, 0);
    EXPECT_EQ(Rgb(Read(5).At(63, 63)), Rgb(kRed));
    EXPECT_EQ(LastLoadCharged(), 2048u + 64 * 64 * 4 * 3) << "2,048 bytes stored";
    // 8 MB stored, 192 MB decoded into the target and the bitmap: past the ceiling.
    LoadBitmap(folder.Write("huge.dds", Dxt1Bytes(4096, 4096, 0xF800)).c_str(), 6);
    EXPECT_EQ(cell.number, 1003);
    EXPECT_EQ(BitmapExist(6), 0);
}

// A progressive JPEG of 1,500 scans over a 2,048-square picture (30 KB) kept the decoder busy
// for seconds a decode: refused before any decoder sees it, into a new bitmap or an old one.
TEST_F(Bitmaps, ThousandsOfScansAreRefusedBeforeTheDecoderSeesThem) {
    const std::string scans = folder.Write("scans.jpg", ProgressiveJpegBytes(2048, 2048, 1500));
    CreateBitmap(2, 16, 16);
    for (std::int32_t n : {1, 2}) {
        cell.number = 0;
        LoadBitmap(scans.c_str(), n);
        EXPECT_EQ(cell.number, 1003) << n;
    }
    EXPECT_EQ(BitmapExist(1), 0);
    EXPECT_EQ(GetBitmapWidth(2), 16);
    EXPECT_EQ(GetCurrentBitmap(), 2) << "the bitmap made last, not one of the failed loads";
}

TEST_F(Bitmaps, DrawingGoesToTheCurrentBitmapAndBackToTheScreen) {
    ClearScreen(kBlack);
    CreateBitmap(1, 64, 32);
    EXPECT_EQ(GetCurrentBitmap(), 1);
    SetInk(kRed, 0);
    FillBox(0, 0, 64, 32);
    EXPECT_EQ(Rgb(Read(1).At(63, 31)), Rgb(kRed));
    EXPECT_EQ(Rgb(Read(0).At(10, 10)), 0u);

    CreateBitmap(2, 8, 8);
    SetCurrentBitmap(1);
    DeleteBitmap(2); // not the current one, yet drawing returns to the screen
    EXPECT_EQ(GetCurrentBitmap(), 0);
    SetInk(kGreen, 0);
    FillBox(0, 0, 20, 20);
    EXPECT_EQ(Rgb(Read(0).At(10, 10)), Rgb(kGreen));
    EXPECT_EQ(Rgb(Read(1).At(10, 10)), Rgb(kRed));
    EXPECT_EQ(cell.number, 0);
}

TEST_F(Bitmaps, ADisplayModeChangeLeavesOnlyTheScreen) {
    CreateBitmap(1, 16, 16);
    CreateBitmap(2, 16, 16);
    SetDisplayMode(800, 600, 32);
    EXPECT_EQ(BitmapExist(1), 0);
    EXPECT_EQ(BitmapExist(2), 0);
    EXPECT_EQ(BitmapExist(0), 1);
    EXPECT_EQ(GetBitmapWidth(0), 800);
    EXPECT_EQ(GetCurrentBitmap(), 0);
    CreateBitmap(1, 16, 16); // the new device makes bitmaps again
    EXPECT_EQ(BitmapExist(1), 1);
    EXPECT_EQ(cell.number, 0);
}

TEST_F(Bitmaps, WholeCopiesClipToTheSmallerBitmap) {
    const Pixels source = Write(1, 8, 8, Unique);
    Write(3, 4, 4, [](int, int) { return kBlack; });
    CopyBitmap(1, 3);
    const Pixels copied = Read(3);
    EXPECT_EQ(Rgb(copied.At(3, 3)), Rgb(source.At(3, 3)));
    EXPECT_EQ(Rgb(copied.At(0, 2)), Rgb(source.At(0, 2)));

    Write(0, 2, 2, [](int, int) { return kWhite; });
    CopyBitmap(0, 3); // the screen's top-left into the small bitmap
    EXPECT_EQ(Rgb(Read(3).At(1, 1)), Rgb(kWhite));
    EXPECT_EQ(Rgb(Read(3).At(3, 3)), Rgb(Read(0).At(3, 3))); // the whole small bitmap was covered
    EXPECT_EQ(cell.number, 0);
}

TEST_F(Bitmaps, RectangleCopiesClipBothSidesAndScaleByNearestPixel) {
    const Pixels source = Write(1, 8, 8, Unique);
    const auto clear = [] { Write(2, 8, 8, [](int, int) { return kBlack; }); };

    clear();
    CopyBitmapRect(1, -2, -2, 4, 4, 2, 5, 5, 11, 11); // off both surfaces: one pixel remains
    Pixels out = Read(2);
    EXPECT_EQ(Rgb(out.At(7, 7)), Rgb(source.At(0, 0)));
    EXPECT_EQ(Rgb(out.At(6, 6)), 0u);
    EXPECT_EQ(Rgb(out.At(5, 5)), 0u);

    clear();
    CopyBitmapRect(1, 0, 0, 4, 4, 2, 100, 100, 104, 104); // entirely outside
    CopyBitmapRect(1, 4, 4, 0, 0, 2, 0, 0, 4, 4);         // empty source
    CopyBitmapRect(1, 0, 0, 4, 4, 2, -50, 0, -40, 10);    // scaled, entirely outside
    out = Read(2);
    for (std::uint32_t c : out.p)
        EXPECT_EQ(Rgb(c), 0u);

    CopyBitmapRect(1, 0, 0, 4, 4, 2, -4, 0, 4, 8); // doubled; its left half falls off
    out = Read(2);
    EXPECT_EQ(Rgb(out.At(0, 0)), Rgb(source.At(2, 0)));
    EXPECT_EQ(Rgb(out.At(3, 7)), Rgb(source.At(3, 3)));

    // A destination 2^32 - 2 rows tall, centred on the bitmap: in 64 bits its visible rows
    // take the source's middle row; its height does not wrap to -2.
    clear();
    CopyBitmapRect(1, 0, 0, 8, 8, 2, 0, -INT_MAX, 4, INT_MAX);
    out = Read(2);
    EXPECT_EQ(Rgb(out.At(0, 0)), Rgb(source.At(0, 4)));
    EXPECT_EQ(Rgb(out.At(3, 7)), Rgb(source.At(6, 4)));
    EXPECT_EQ(Rgb(out.At(4, 4)), 0u);

    CopyBitmapRect(1, 0, 0, 4, 4, 1, 4, 4, 8, 8); // within one bitmap
    out = Read(1);
    EXPECT_EQ(Rgb(out.At(4, 4)), Rgb(source.At(0, 0)));
    EXPECT_EQ(Rgb(out.At(7, 6)), Rgb(source.At(3, 2)));
    EXPECT_EQ(Rgb(out.At(3, 3)), Rgb(source.At(3, 3)));
    EXPECT_EQ(cell.number, 0);
}

// Every other case reads and writes through memory blocks; the screen is a bitmap of fixed size.
TEST_F(Bitmaps, MemoryBlocksGiveTheScreenOnlyWhatFits) {
    Write(0, 700, 500, [](int x, int y) { return x == 639 && y == 479 ? kRed : kGreen; });
    EXPECT_EQ(GetBitmapWidth(0), 640);
    EXPECT_EQ(Rgb(Read(0).At(639, 479)), Rgb(kRed));
    EXPECT_EQ(Rgb(Read(0).At(638, 479)), Rgb(kGreen));
    EXPECT_EQ(cell.number, 0);
}

TEST_F(Bitmaps, MemoryBlockHeadersClaimingMoreThanTheBlockAreRefusedUnread) {
    const std::string pixels(4 * 3 * 4, '\x40');
    const GuardedBytes block(pixels); // any read past the block crashes
    const std::uint32_t size = static_cast<std::uint32_t>(block.Size());
    EXPECT_FALSE(MakeBitmapFromMemblock(2, 4, 4, 32, block.Data(), size));
    EXPECT_FALSE(MakeBitmapFromMemblock(2, 1 << 30, 3, 32, block.Data(), size)) << "row wraps";
    EXPECT_FALSE(MakeBitmapFromMemblock(2, 4, 3, 12, block.Data(), size));
    EXPECT_EQ(BitmapExist(2), 0);
    ASSERT_TRUE(MakeBitmapFromMemblock(2, 4, 3, 32, block.Data(), size)); // the last byte is read
    EXPECT_EQ(Rgb(Read(2).At(3, 2)), 0x404040u);
}

TEST_F(Bitmaps, FadeScalesTheColoursAndKeepsAlpha) {
    Write(1, 3, 1, [](int x, int) {
        return x == 0 ? 0xFFFFFFFFu : x == 1 ? 0x80402011u : 0x01FF0000u;
    });
    FadeBitmap(1, 101);
    FadeBitmap(1, -1);
    Pixels p = Read(1);
    EXPECT_EQ(p.At(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(p.At(1, 0), 0x80402011u);
    FadeBitmap(1, 100);
    EXPECT_EQ(Read(1).p, p.p);

    FadeBitmap(1, 50);
    p = Read(1);
    EXPECT_EQ(p.At(0, 0), 0xFF7F7F7Fu);
    EXPECT_EQ(p.At(1, 0), 0x80201008u);
    EXPECT_EQ(p.At(2, 0), 0x017F0000u);
    FadeBitmap(1, 0);
    p = Read(1);
    EXPECT_EQ(p.At(0, 0), 0xFF000000u);
    EXPECT_EQ(p.At(2, 0), 0x01000000u);
}

TEST_F(Bitmaps, BlurAveragesTheWindowThatLiesInsideTheBitmap) {
    const auto dot = [](int cx, int cy) {
        return [=](int x, int y) { return x == cx && y == cy ? kWhite : kBlack; };
    };
    const Pixels before = Write(1, 7, 7, dot(3, 3));
    BlurBitmap(1, 1);
    BlurBitmap(1, 10);
    EXPECT_EQ(Read(1).p, before.p);

    BlurBitmap(1, 3);
    Pixels p = Read(1);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x) {
            const bool inside = x >= 2 && x <= 4 && y >= 2 && y <= 4;
            EXPECT_EQ(p.At(x, y), inside ? 0xFF1C1C1Cu : kBlack) << x << "," << y;
        }

    Write(1, 7, 7, dot(3, 3));
    BlurBitmap(1, 4); // an even width reaches two back and one forward
    p = Read(1);
    EXPECT_EQ(p.At(2, 2), 0xFF0F0F0Fu);
    EXPECT_EQ(p.At(5, 5), 0xFF0F0F0Fu);
    EXPECT_EQ(p.At(1, 1), kBlack);
    EXPECT_EQ(p.At(6, 6), kBlack);

    Write(1, 7, 7, dot(0, 0));
    BlurBitmap(1, 3); // the corner averages four samples
    EXPECT_EQ(Read(1).At(0, 0), 0xFF3F3F3Fu);
    EXPECT_EQ(cell.number, 0);
}

TEST_F(Bitmaps, MirrorAndFlipReverseAndRestore) {
    const Pixels original = Write(1, 5, 3, Unique);
    MirrorBitmap(1);
    Pixels p = Read(1);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(p.At(x, y), original.At(4 - x, y));
    MirrorBitmap(1);
    EXPECT_EQ(Read(1).p, original.p);

    FlipBitmap(1);
    p = Read(1);
    EXPECT_EQ(p.At(2, 0), original.At(2, 2));
    EXPECT_EQ(p.At(4, 1), original.At(4, 1));
    FlipBitmap(1);
    EXPECT_EQ(Read(1).p, original.p);
}

// Sizes each sound alone whose products pass what the device or a 32-bit process holds are
// refused with 1003 before the old bitmap is touched, by CreateBitmap and from a block; the
// device's largest sides are made, and hold every pixel they claim.
TEST_F(Bitmaps, SizesPastTheDeviceAreRefusedAndKeepTheOldBitmap) {
    D3DCAPS9 caps{};
    ASSERT_TRUE(SUCCEEDED(GetDirect3DDevice()->GetDeviceCaps(&caps)));
    const auto widest = static_cast<std::int32_t>(caps.MaxTextureWidth);
    const auto tallest = static_cast<std::int32_t>(caps.MaxTextureHeight);
    struct Row {
        std::int32_t width, height;
        bool made;
    };
    const Row rows[] = {
        {46341, 46341, false},     {65536, 65536, false},    {32768, 32768, false},
        {40000, 1, false},         {1, 40000, false},        {widest + 1, 1, false},
        {1, tallest + 1, false},   {0, 16, false},           {16, -1, false},
        {INT_MIN, INT_MIN, false}, {widest, tallest, false}, // each side fits, the two surfaces not
        {widest, 1, true},         {1, tallest, true},
    };
    for (const Row& row : rows) {
        const std::string size = std::to_string(row.width) + " x " + std::to_string(row.height);
        Write(1, 4, 4, [](int, int) { return kRed; });
        SetCurrentBitmap(1);
        cell.number = 0;
        CreateBitmap(1, row.width, row.height);
        if (row.made) {
            EXPECT_EQ(cell.number, 0) << size;
            EXPECT_EQ(GetBitmapWidth(1), row.width) << size;
            EXPECT_EQ(GetBitmapHeight(1), row.height) << size;
            EXPECT_EQ(Read(1).p.size(), static_cast<std::size_t>(row.width) * row.height) << size;
            continue;
        }
        EXPECT_EQ(cell.number, 1003) << size;
        ASSERT_EQ(GetBitmapWidth(1), 4) << size; // a bitmap claiming more is not read
        EXPECT_EQ(GetCurrentBitmap(), 1) << size;
        EXPECT_EQ(Rgb(Read(1).At(3, 3)), Rgb(kRed)) << size;
    }
    // From a block: 40,000 x 1 and one past the widest side, each a block that holds its pixels.
    Write(1, 4, 4, [](int, int) { return kRed; });
    for (const std::int32_t width : {40000, widest + 1}) {
        const std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width), kGreen);
        EXPECT_FALSE(MakeBitmapFromMemblock(1, width, 1, 32,
                                            reinterpret_cast<const std::uint8_t*>(pixels.data()),
                                            static_cast<std::uint32_t>(pixels.size() * 4)))
            << width;
        EXPECT_EQ(GetBitmapWidth(1), 4) << width;
        EXPECT_EQ(Rgb(Read(1).At(0, 0)), Rgb(kRed)) << width;
    }
}

// A bitmap made again under its number keeps the old one whole while memory for the new one
// runs out: the new surfaces take its place only once nothing more is needed.
TEST_F(Bitmaps, MadeAgainWithoutMemoryKeepsTheOldBitmap) {
    for (int k = 1;; ++k) {
        Write(1, 4, 4, [](int, int) { return kRed; });
        cell.number = 0;
        const std::string what = "allocation " + std::to_string(k);
        const auto remake = [] { CreateBitmap(1, 8, 2); };
        if (!failing_heap::CallFailing(k, remake, what)) break;
        EXPECT_EQ(cell.number, 1003) << what;
        ASSERT_EQ(GetBitmapWidth(1), 4) << what;
        EXPECT_EQ(Rgb(Read(1).At(3, 3)), Rgb(kRed)) << what;
    }
    EXPECT_EQ(cell.number, 0);
    EXPECT_EQ(GetBitmapWidth(1), 8);
    EXPECT_EQ(GetBitmapHeight(1), 2);
}

// A block's pixels are what its depth says: 16 bits are 1-5-5-5 with alpha on top (as an image's
// blocks), 24 bits blue, green, red bytes. Each reads back as its colour from the 32-bit surface,
// and the block back from the bitmap is the block given, byte for byte. Grey 0x4210 tells the
// 1-5-5-5 layout (0x848484) from 5-6-5 (0x424184).
TEST_F(Bitmaps, BlocksOfEveryDepthHoldTheirColoursAndComeBackWhole) {
    const auto words = [](std::vector<std::uint16_t> w) {
        std::vector<std::uint8_t> b;
        for (std::uint16_t v : w) {
            b.push_back(static_cast<std::uint8_t>(v));
            b.push_back(static_cast<std::uint8_t>(v >> 8));
        }
        return b;
    };
    struct Row {
        std::int32_t depth, width, height;
        std::vector<std::uint8_t> bytes;
        std::vector<std::uint32_t> colours;
    };
    const Row rows[] = {
        {16,
         3,
         2,
         words({0xFFFF, 0x8000, 0xFC00, 0x83E0, 0x801F, 0x4210}),
         {0xFFFFFF, 0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x848484}},
        {16, 2, 1, words({0xFFFF, 0x0000}), {0xFFFFFF, 0x000000}},
        {24,
         3,
         2,
         {0, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0, 0, 0},
         {0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xFFFFFF, 0x000000}},
        {32, 2, 1, {0x56, 0x34, 0x12, 0x80, 0xFF, 0, 0, 0xFF}, {0x123456, 0x0000FF}},
    };
    for (const Row& row : rows) {
        const std::string name = std::to_string(row.depth) + " bits, " + std::to_string(row.width) +
                                 " x " + std::to_string(row.height);
        ASSERT_TRUE(MakeBitmapFromMemblock(1, row.width, row.height, row.depth, row.bytes.data(),
                                           static_cast<std::uint32_t>(row.bytes.size())))
            << name;
        SetCurrentBitmap(1);
        for (std::size_t i = 0; i < row.colours.size(); ++i)
            EXPECT_EQ(Rgb(GetPixelColour(static_cast<std::int32_t>(i) % row.width,
                                         static_cast<std::int32_t>(i) / row.width)),
                      row.colours[i])
                << name << ", pixel " << i;
        EXPECT_EQ(GetBitmapDepth(1), row.depth) << name;
        std::uint8_t* data = nullptr;
        std::int32_t width = 0, height = 0, depth = 0, size = 0;
        MakeMemblockFromBitmap(1, 1, &data, &width, &height, &depth, &size);
        ASSERT_NE(data, nullptr) << name;
        EXPECT_EQ(depth, row.depth) << name;
        EXPECT_EQ(std::vector<std::uint8_t>(data, data + size), row.bytes) << name;
        MakeMemblockFromBitmap(0, 1, &data, &width, &height, &depth, &size);
    }
    // The screen keeps its depth and takes the colours.
    const std::vector<std::uint8_t> redBlue = words({0xFC00, 0x801F});
    ASSERT_TRUE(MakeBitmapFromMemblock(0, 2, 1, 16, redBlue.data(), 4));
    EXPECT_EQ(Rgb(Read(0).At(0, 0)), 0xFF0000u);
    EXPECT_EQ(Rgb(Read(0).At(1, 0)), 0x0000FFu);
    EXPECT_EQ(cell.number, 0);
}
