#include "core/win32.h"

#include "core/load_budget.h"
#include "display/display.h"
#include "draw2d/draw2d.h"
#include "image/image.h"
#include "image/image_state.h"
#include "support/engine_fixture.h"
#include "support/failing_saves.h"
#include "support/guarded_bytes.h"
#include "support/guarded_locks.h"
#include "support/image_files.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr std::uint32_t kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF, kBlack = 0xFF000000;

class Images : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        ASSERT_NE(GetDirect3DDevice(), nullptr);
    }
    std::string File(const std::string& name, const std::string& bytes) {
        return folder.Write(name, bytes);
    }
    static std::uint32_t Pixel(int x, int y) { return GetPixelColour(x, y); }
    // The colour at x, y of a 32-bit image, read through the image lock.
    static std::uint32_t ImagePixel(std::int32_t n, int x, int y) {
        LockImage(n);
        std::int32_t r = -1, g = -1, b = -1;
        GetImageData(n, y, x, &r, &g, &b);
        UnlockImage(n);
        return static_cast<std::uint32_t>(r << 16 | g << 8 | b);
    }
    static D3DSURFACE_DESC Level0(std::int32_t n) {
        D3DSURFACE_DESC desc{};
        if (IDirect3DTexture9* t = GetImagePointer(n)) t->GetLevelDesc(0, &desc);
        return desc;
    }
    TempFolder folder;
};

// Left half black, right half white.
std::uint32_t HalfBlack(int x, int) {
    return x < 4 ? kBlack : kWhite;
}

// A blank PNG whose decoded pixels alone are more than twice the budget its size gives.
std::string OverBudgetPng() {
    std::string png;
    for (int side = 1024; side <= 8192; side *= 2) {
        png = BlankPngBytes(side, side);
        if (std::uint64_t{4} * side * side > 2 * LoadBudgetFor(png.size())) break;
    }
    return png;
}

} // namespace

TEST_F(Images, MemoryBlockHeadersClaimingMoreThanTheBlockAreRefusedUnread) {
    const GuardedBytes block(std::string(5 * 3 * 4, '\x21')); // any read past it crashes
    const std::uint32_t size = static_cast<std::uint32_t>(block.Size());
    EXPECT_FALSE(MakeImageFromMemblock(17, 5, 4, 32, block.Data(), size));
    EXPECT_FALSE(MakeImageFromMemblock(17, 0x40000000, 3, 32, block.Data(), size)) << "row wraps";
    EXPECT_FALSE(MakeImageFromMemblock(17, 5, 3, 24, block.Data(), size)) << "no such texture";
    EXPECT_EQ(ImageExist(17), 0);
    ASSERT_TRUE(MakeImageFromMemblock(17, 5, 3, 32, block.Data(), size)); // the last byte is read
    EXPECT_EQ(ImagePixel(17, 4, 2), 0x212121u);
}

TEST_F(Images, ModeOneKeepsThePictureSize) {
    const std::string png =
        File("wide.png", PngBytes(100, 50, [](int, int) { return 0xFF336699u; }));
    LoadImage(png.c_str(), 1, 1);
    EXPECT_EQ(cell.number, 0);
    EXPECT_EQ(GetImageWidth(1), 100);
    EXPECT_EQ(GetImageHeight(1), 50);
    EXPECT_FLOAT_EQ(GetImageUScale(1), 100.0f / Level0(1).Width);
    EXPECT_FLOAT_EQ(GetImageVScale(1), 50.0f / Level0(1).Height);
    EXPECT_EQ(ImagePixel(1, 99, 49), 0x336699u);
    EXPECT_STREQ(GetImageName(1), png.c_str());
}

TEST_F(Images, BitmapBlackIsTransparentButPngKeepsItsOwnAlpha) {
    const std::string bmp = File("keyed.bmp", BmpBytes(8, 8, HalfBlack));
    const std::string png =
        File("alpha.png", PngBytes(8, 8, [](int x, int) {
                 return x < 4 ? kBlack : 0x00FFFFFFu; // opaque black, then fully transparent white
             }));
    LoadImage(bmp.c_str(), 1, 1);
    LoadImage(png.c_str(), 2, 1);
    ASSERT_EQ(cell.number, 0);
    ClearScreen(kBlue);
    PasteImage(1, 10, 10, 1);
    PasteImage(2, 30, 10, 1);
    EXPECT_EQ(Pixel(11, 11), kBlue); // keyed black
    EXPECT_EQ(Pixel(16, 11), kWhite);
    EXPECT_EQ(Pixel(31, 11), kBlack); // the PNG's black is its own, opaque
    EXPECT_EQ(Pixel(36, 11), kBlue);  // the PNG's transparent half
    EXPECT_EQ(Pixel(9, 9), kBlue);    // nothing outside the picture
    EXPECT_EQ(Pixel(18, 18), kBlue);
}

TEST_F(Images, PasteWithoutTransparencyCoversTheBackground) {
    const std::string bmp = File("keyed.bmp", BmpBytes(8, 8, HalfBlack));
    LoadImage(bmp.c_str(), 3, 1);
    ClearScreen(kBlue);
    PasteImage(3, 100, 200);
    EXPECT_EQ(Pixel(100, 200), kBlack);
    EXPECT_EQ(Pixel(107, 207), kWhite);
    EXPECT_EQ(Pixel(108, 207), kBlue);
    EXPECT_EQ(Pixel(99, 200), kBlue);
    PasteImage(4, 0, 0);
    EXPECT_EQ(cell.number, 502);
    PasteImage(0, 0, 0);
    EXPECT_EQ(cell.number, 501);
}

TEST_F(Images, ReloadReplacesAndAFailedLoadLeavesTheNumberEmpty) {
    LoadImage(File("a.png", PngBytes(4, 4, [](int, int) { return kWhite; })).c_str(), 5, 1);
    LoadImage(File("b.png", PngBytes(6, 2, [](int, int) { return kWhite; })).c_str(), 5, 1);
    EXPECT_EQ(GetImageWidth(5), 6);
    EXPECT_EQ(cell.number, 0);
    LoadImage(folder.File("missing.png").c_str(), 5, 1);
    EXPECT_EQ(cell.number, 506);
    EXPECT_EQ(GetImageWidth(5), -1);
    EXPECT_EQ(GetImagePointer(5), nullptr);

    cell.number = 0;
    LoadImage(folder.File("a.png").c_str(), 0, 1);
    EXPECT_EQ(cell.number, 501);
    cell.number = 0;
    LoadImage(nullptr, 22000001, 1);
    EXPECT_EQ(cell.number, 501);
    LoadImage(folder.File("a.png").c_str(), 22000000, 1);
    EXPECT_EQ(GetImageWidth(22000000), 4);
}

TEST_F(Images, DivisorShrinksTheTextureNotThePicture) {
    const std::string bmp = File(
        "big.bmp", BmpBytes(256, 256, [](int x, int) { return x < 128 ? kWhite : 0xFF00FF00u; }));
    LoadImage(bmp.c_str(), 6, 0, 2);
    ASSERT_EQ(cell.number, 0);
    EXPECT_EQ(Level0(6).Width, 128u);
    EXPECT_EQ(Level0(6).Height, 128u);
    EXPECT_EQ(GetImageWidth(6), 256);
    EXPECT_EQ(GetImageHeight(6), 256);
    EXPECT_EQ(GetImageUScale(6), 1.0f);
    EXPECT_GT(GetImagePointer(6)->GetLevelCount(), 1u); // a mip chain
    EXPECT_EQ(ImagePixel(6, 10, 10), 0xFFFFFFu);
    EXPECT_EQ(ImagePixel(6, 120, 10), 0x00FF00u); // the whole file scaled in
    LoadImage(bmp.c_str(), 7, 0, 16384);
    EXPECT_EQ(Level0(7).Width, 1u);
}

TEST_F(Images, TargaAndDdsFilesLoad) {
    const auto pattern = [](int x, int y) { return x == 1 && y == 2 ? 0xFF102030u : 0xFFA0B0C0u; };
    LoadImage(File("p.tga", TgaBytes(4, 4, pattern)).c_str(), 8, 1);
    LoadImage(File("p.dds", DdsBytes(4, 4, pattern)).c_str(), 9, 1);
    LoadImage(File("p.TGA", TgaBytes(4, 4, pattern)).c_str(), 10, 0);
    ASSERT_EQ(cell.number, 0);
    for (std::int32_t n : {8, 9, 10}) {
        EXPECT_EQ(GetImageWidth(n), 4);
        EXPECT_EQ(ImagePixel(n, 1, 2), 0x102030u) << "image " << n;
        EXPECT_EQ(ImagePixel(n, 3, 3), 0xA0B0C0u) << "image " << n;
    }
}

TEST_F(Images, HostileFilesGiveTheLoadError) {
    const std::string png = PngBytes(16, 16, [](int, int) { return kWhite; });
    const std::string cases[] = {
        File("claims.png", OverBudgetPng()),
        File("truncated.png", png.substr(0, 60)),
        File("empty.png", ""),
        File("noise.bmp", std::string("BM\xff\xff\xff\x7f garbage", 16)),
        File("huge.tga", std::string("\0\0\2\0\0\0\0\0\0\0\0\0\xff\xff\xff\xff\x20\x28", 18)),
        folder.Path(), // a folder, not a file
    };
    for (const std::string& name : cases) {
        cell.number = 0;
        LoadImage(name.c_str(), 11, 1);
        EXPECT_EQ(cell.number, 506) << name;
        EXPECT_EQ(GetImageWidth(11), -1) << name;
        LoadImage(name.c_str(), 11, 0);
        EXPECT_EQ(GetImageWidth(11), -1) << name;
    }
    const std::string longName(400, 'x');
    cell.number = 0;
    LoadImage(longName.c_str(), 11, 1);
    EXPECT_EQ(cell.number, 506);
    // A picture the budget holds loads, charged for at least its decoded pixels.
    cell.number = 0;
    LoadImage(File("fits.png", BlankPngBytes(300, 200)).c_str(), 11, 0);
    EXPECT_EQ(cell.number, 0);
    EXPECT_EQ(GetImageWidth(11), 300);
    EXPECT_GE(LastLoadCharged(), 300u * 200 * 4);
    EXPECT_LE(LastLoadCharged(), LastLoadLimit());
}

TEST_F(Images, ModuleTexturesAreSharedByNameWhateverTheCase) {
    File("Tex.png", PngBytes(2, 2, [](int, int) { return kWhite; }));
    File("Other.png", PngBytes(2, 2, [](int, int) { return kWhite; }));
    const std::string lower = folder.File("tex.png"), upper = folder.File("TEX.PNG");
    EXPECT_EQ(LoadTextureForModuleWithMode(lower.c_str(), 0), -1);
    EXPECT_EQ(LoadTextureForModuleWithMode(upper.c_str(), 0), -1);
    EXPECT_EQ(LoadTextureForModule(folder.File("Other.png").c_str()), -2);
    EXPECT_EQ(LoadTextureForModule(folder.File("none.png").c_str()), 0);
    EXPECT_NE(GetImagePointer(-1), nullptr);
    DeleteImage(-1); // module textures are not the program's to delete
    EXPECT_EQ(cell.number, 501);
    EXPECT_NE(GetImagePointer(-1), nullptr);
}

TEST_F(Images, PixelAccessNeedsALockAndStaysInside) {
    ASSERT_NE(CreateManagedImage(12, 16, 16), nullptr);
    WriteImageData(12, 2, 3, 255, 10, 20, 30); // not locked: nothing
    LockImage(12);
    std::int32_t r = 0, g = 0, b = 0;
    GetImageData(12, 2, 3, &r, &g, &b);
    EXPECT_EQ(r + g + b, 0);
    WriteImageData(12, 2, 3, 255, 10, 20, 30);
    WriteImageData(12, 16, 0, 255, 1, 1, 1); // outside: ignored
    WriteImageData(12, -1, 0, 255, 1, 1, 1);
    LockImage(12); // the second lock is refused, the first kept
    GetImageData(12, 2, 3, &r, &g, &b);
    EXPECT_EQ(r, 10);
    EXPECT_EQ(g, 20);
    EXPECT_EQ(b, 30);
    UnlockImage(12);
    SetImageAlpha(12, 0x40);
    LockImage(12);
    const ImageRecord* record = FindImage(12);
    const auto* row =
        reinterpret_cast<const std::uint32_t*>(record->lockedBits + 2 * record->lockedPitch);
    EXPECT_EQ(row[3], 0x400A141Eu); // alpha replaced
    EXPECT_EQ(row[4], 0u);          // empty pixels stay empty
    UnlockImage(12);
}

TEST_F(Images, GrabImageCopiesTheScreen) {
    ClearScreen(0xFFFF0000);
    GrabImage(13, 0, 0, 32, 16, 1);
    EXPECT_EQ(cell.number, 0);
    EXPECT_EQ(GetImageWidth(13), 32);
    EXPECT_EQ(GetImageHeight(13), 16);
    EXPECT_EQ(ImagePixel(13, 31, 15), 0xFF0000u);
    GrabImage(13, 5, 5, 5, 10);
    EXPECT_EQ(cell.number, 504);
    cell.number = 0;
    GrabImage(13, -1, 0, 10, 10);
    EXPECT_EQ(cell.number, 504);
    cell.number = 0;
    GrabImage(13, 0, 0, 5000, 10);
    EXPECT_EQ(cell.number, 504);
    GrabImage(0, 0, 0, 10, 10);
    EXPECT_EQ(cell.number, 501);
    EXPECT_EQ(GetImageWidth(13), 32); // the failed grabs changed nothing
}

TEST_F(Images, PowerOfTwoCopyKeepsThePictureSize) {
    ASSERT_NE(CreateManagedImage(14, 100, 60), nullptr);
    MakeImagePowerOfTwo(14, 128, 64);
    EXPECT_EQ(Level0(14).Width, 128u);
    EXPECT_EQ(Level0(14).Height, 64u);
    EXPECT_EQ(GetImageWidth(14), 100);
    EXPECT_EQ(GetImageHeight(14), 60);
    EXPECT_EQ(GetImageUScale(14), 1.0f);
}

// A memory block's pixel rows: width x height 32-bit pixels, green the column's low byte and
// blue the row's.
std::string PatternRows(int width, int height) {
    std::string rows;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t pixel = 0xFF000000u | (x & 0xFF) << 8 | (y & 0xFF);
            rows.append(reinterpret_cast<const char*>(&pixel), 4);
        }
    return rows;
}

TEST_F(Images, MemoryBlocksGoIntoATextureThatHoldsThemWhateverSizeTheRecordKeeps) {
    const GuardedLocks guard(GetDirect3DDevice()); // a row written past a level crashes
    const auto make = [](std::int32_t n, int width, int height) {
        const std::string rows = PatternRows(width, height);
        return MakeImageFromMemblock(n, width, height, 32,
                                     reinterpret_cast<const std::uint8_t*>(rows.data()),
                                     static_cast<std::uint32_t>(rows.size()));
    };
    // Divided by 2: a 128 x 128 texture under a record of the file's 256 x 256.
    LoadImage(File("big.bmp", BmpBytes(256, 256, HalfBlack)).c_str(), 6, 0, 2);
    ASSERT_EQ(Level0(6).Width, 128u);
    ASSERT_TRUE(make(6, 256, 256));
    EXPECT_EQ(Level0(6).Width, 256u);
    EXPECT_EQ(Level0(6).Height, 256u);
    EXPECT_EQ(ImagePixel(6, 254, 253), 0x00FEFDu);
    // A power-of-two copy smaller than its picture: 32 x 32 under a record of 100 x 60.
    ASSERT_NE(CreateManagedImage(7, 100, 60), nullptr);
    MakeImagePowerOfTwo(7, 32, 32);
    ASSERT_EQ(Level0(7).Width, 32u);
    ASSERT_TRUE(make(7, 100, 60));
    EXPECT_EQ(ImagePixel(7, 99, 58), 0x00633Au);
    MakeImagePowerOfTwo(7, 0, 64); // no texture of that size: the image stays
    EXPECT_EQ(GetImageWidth(7), 100);
    // A texture of exactly the block's size is kept, and the record takes the block's size.
    MakeImagePowerOfTwo(7, 128, 64);
    IDirect3DTexture9* const kept = GetImagePointer(7);
    ASSERT_TRUE(make(7, 128, 64));
    EXPECT_EQ(GetImagePointer(7), kept);
    EXPECT_EQ(GetImageWidth(7), 128);
    EXPECT_EQ(ImagePixel(7, 127, 63), 0x007F3Fu);
    EXPECT_GT(guard.Count(), 0);
    EXPECT_EQ(cell.number, 0);
    // Wider than any texture the device makes: refused, not cut at the level's edge.
    EXPECT_FALSE(make(8, 16400, 2));
    EXPECT_EQ(cell.number, 504);
    EXPECT_FALSE(ImageExist(8));
}

// Sides each sound alone but above the largest texture: 504, never cut, and the image under the
// number (8 x 6 for the calls that replace one) stays as it was. The largest fits.
TEST_F(Images, SizesAboveTheLargestTextureAreRefusedNotCut) {
    D3DCAPS9 caps{};
    GetDirect3DDevice()->GetDeviceCaps(&caps);
    const auto wide = static_cast<std::int32_t>(caps.MaxTextureWidth);
    const auto tall = static_cast<std::int32_t>(caps.MaxTextureHeight);
    const std::int32_t sizes[][2] = {{46341, 46341}, {65536, 65536}, {40000, 1},
                                     {wide + 1, 1},  {1, tall + 1},  {wide, 1}};
    using Make = bool (*)(std::int32_t w, std::int32_t h);
    const std::pair<std::string, Make> calls[] = {
        {"create", [](std::int32_t w, std::int32_t h) { return !!CreateManagedImage(9, w, h); }},
        {"power of two",
         [](std::int32_t w, std::int32_t h) {
             MakeImagePowerOfTwo(9, w, h);
             return Level0(9).Width == static_cast<UINT>(w);
         }},
        {"block", [](std::int32_t w, std::int32_t h) {
             const std::string rows = PatternRows(w, h);
             return MakeImageFromMemblock(9, w, h, 32,
                                          reinterpret_cast<const std::uint8_t*>(rows.data()),
                                          static_cast<std::uint32_t>(rows.size()));
         }}};
    for (const auto& [name, make] : calls) {
        for (const auto& [w, h] : sizes) {
            if (name == "block" && std::int64_t{w} * h > 99999) continue; // no such block
            const std::string row = name + " " + std::to_string(w) + " x " + std::to_string(h);
            DeleteImage(9);
            IDirect3DTexture9* const old = name == "create" ? nullptr : CreateManagedImage(9, 8, 6);
            cell.number = 0;
            const bool made = make(w, h);
            EXPECT_EQ(made, w == wide) << row;
            EXPECT_EQ(cell.number, w == wide ? 0 : 504) << row;
            if (w == wide) continue;
            EXPECT_EQ(GetImagePointer(9), old) << row;
            EXPECT_EQ(GetImageWidth(9), old ? 8 : -1) << row;
        }
    }
}

TEST_F(Images, MemoryBlocksRoundTrip) {
    LoadImage(File("m.png", PngBytes(5, 3, [](int x, int y) { return 0xFF000000u | x << 16 | y; }))
                  .c_str(),
              15, 1);
    std::uint32_t w = 0, h = 0, d = 0, size = 0;
    std::uint8_t* data = nullptr;
    MakeMemblockFromImage(1, 15, &w, &h, &d, &data, &size);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(w, 5u);
    EXPECT_EQ(h, 3u);
    EXPECT_EQ(d, 32u);
    EXPECT_EQ(size, 5u * 3u * 4u);
    MakeImageFromMemblock(16, static_cast<std::int32_t>(w), static_cast<std::int32_t>(h), 32, data,
                          size);
    MakeMemblockFromImage(0, 0, nullptr, nullptr, nullptr, &data, nullptr);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(ImagePixel(16, 4, 2), 0x040002u);
    MakeMemblockFromImage(1, 99, &w, &h, &d, &data, &size); // no image: nothing
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 0u);
}

TEST_F(Images, SaveWritesByExtension) {
    LoadImage(File("s.png", PngBytes(6, 4, [](int, int) { return 0xFF00FF00u; })).c_str(), 17, 1);
    const std::string png = folder.File("out.png"), tga = folder.File("out.tga");
    SaveImage(png.c_str(), 17);
    SaveImage(tga.c_str(), 17);
    EXPECT_EQ(cell.number, 0);
    EXPECT_EQ(TempFolder::Read(png).substr(1, 3), "PNG");
    EXPECT_EQ(TempFolder::Read(tga).substr(0, 2), "BM"); // an unknown ending gives a bitmap
    LoadImage(png.c_str(), 18, 1);
    EXPECT_EQ(GetImageWidth(18), 6);
    EXPECT_EQ(ImagePixel(18, 5, 3), 0x00FF00u);
    SaveImage(png.c_str(), 19);
    EXPECT_EQ(cell.number, 502);
}

// The platform's own writers make files that the header checks before loading let through.
TEST_F(Images, SavedFilesOfEveryKindLoadAgain) {
    LoadImage(
        File("s.png", PngBytes(12, 8, [](int x, int) { return 0xFF102030u * (x & 1); })).c_str(),
        21, 1);
    ASSERT_EQ(cell.number, 0);
    for (const char* name : {"a.dds", "a.jpg", "a.bmp", "a.dib", "a.png"}) {
        const std::string file = folder.File(name);
        SaveImage(file.c_str(), 21);
        ASSERT_EQ(cell.number, 0) << name;
        LoadImage(file.c_str(), 22, 1);
        EXPECT_EQ(cell.number, 0) << name << " does not load again";
        EXPECT_EQ(GetImageWidth(22), 12) << name;
        cell.number = 0;
    }
    // No name, or an empty one, writes nothing and says so.
    CheckUnnamedSaves("SaveImage", 500, [](const char* name) { SaveImage(name, 21); });
}

// A 256 x 256 picture saved as a bitmap (196,662 bytes) where the save must fail: the file it
// would replace stays as it was and 500 is raised.
class ImageSavesOnTestDisks : public Images {};

TEST_F(ImageSavesOnTestDisks, FailedSavesKeepTheOldFile) {
    LoadImage(File("p.png", PngBytes(256, 256, HalfBlack)).c_str(), 23, 1);
    ASSERT_EQ(GetImageWidth(23), 256);
    CheckFailingSaves(
        "SaveImage", kEverySaveFault, 500,
        [](const std::string& target) { SaveImage(target.c_str(), 23); }, "saved.bmp",
        SeededBytes(100000, 31));
}

TEST_F(Images, MissingImagesAndModeChanges) {
    EXPECT_EQ(GetImageWidth(20), -1);
    EXPECT_EQ(GetImageUScale(20), 1.0f);
    EXPECT_EQ(GetImagePointer(20), nullptr);
    EXPECT_EQ(GetImageName(20), nullptr);
    EXPECT_FALSE(ImageExistChecked(20));
    EXPECT_FALSE(ImageExistChecked(0));
    EXPECT_EQ(cell.number, 501);
    ASSERT_NE(CreateManagedImage(21, 8, 8), nullptr);
    EXPECT_TRUE(ImageExist(21));
    SetDisplayMode(800, 600, 32); // every image belongs to the old device
    EXPECT_FALSE(ImageExist(21));
    ASSERT_NE(CreateManagedImage(21, 8, 8), nullptr); // and the module works on the new one
    DeleteImage(21);
    EXPECT_FALSE(ImageExist(21));
}
