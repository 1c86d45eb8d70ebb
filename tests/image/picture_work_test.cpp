// What the routes that decode pictures make of them, and what they charge for it.
#include "core/win32.h"

#include "core/com_ptr.h"
#include "core/load_budget.h"
#include "display/display.h"
#include "image/image.h"
#include "image/image_state.h"
#include "sprite/sprite.h"
#include "support/engine_fixture.h"
#include "support/image_files.h"
#include "support/jpeg_files.h"
#include "support/temp_folder.h"
#include "world/world_texture_state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class PictureWork : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        ASSERT_NE(GetDirect3DDevice(), nullptr);
    }
    TempFolder folder;
};

// Colours that differ from pixel to pixel, with the colour key's black among them.
std::uint32_t Pattern(int x, int y) {
    if ((x + 2 * y) % 5 == 0) return 0xFF000000u;
    return 0xFF000000u | static_cast<std::uint32_t>((x * 53 + y * 19) & 0xFF) << 16 |
           static_cast<std::uint32_t>(x * 19 & 0xFF) << 8 |
           static_cast<std::uint32_t>(y * 37 & 0xFF);
}

// A level's pixels, row by row without the pitch's padding (32-bit formats).
std::string LevelBytes(IDirect3DTexture9* texture, UINT level) {
    ComPtr<IDirect3DSurface9> surface;
    D3DSURFACE_DESC desc{};
    D3DLOCKED_RECT rect{};
    if (FAILED(texture->GetSurfaceLevel(level, surface.PutAddress())) ||
        FAILED(surface->GetDesc(&desc)) ||
        FAILED(surface->LockRect(&rect, nullptr, D3DLOCK_READONLY)))
        return {};
    std::string bytes;
    for (UINT y = 0; y < desc.Height; ++y)
        bytes.append(static_cast<const char*>(rect.pBits) + y * rect.Pitch, desc.Width * 4);
    surface->UnlockRect();
    return bytes;
}

// The levels as a decode of the file for each level makes them, the way mode 0 made them before
// it decoded once: the top level point-sampled, the others filtered, each keyed.
ComPtr<IDirect3DTexture9> LevelsDecodedOneByOne(const std::string& file, IDirect3DTexture9* like) {
    D3DSURFACE_DESC desc{};
    like->GetLevelDesc(0, &desc);
    ComPtr<IDirect3DTexture9> texture;
    D3DXCreateTexture(GetDirect3DDevice(), desc.Width, desc.Height, like->GetLevelCount(), 0,
                      desc.Format, D3DPOOL_MANAGED, texture.PutAddress());
    for (UINT level = 0; texture && level < texture->GetLevelCount(); ++level) {
        ComPtr<IDirect3DSurface9> surface;
        texture->GetSurfaceLevel(level, surface.PutAddress());
        D3DXLoadSurfaceFromFileA(surface, nullptr, nullptr, file.c_str(), nullptr,
                                 level == 0 ? D3DX_FILTER_POINT : D3DX_DEFAULT, g_Image.colorKey,
                                 nullptr);
    }
    return texture;
}

} // namespace

// A progressive JPEG of 1,500 scans over a 2,048-square picture (30 KB) kept the decoder busy
// for seconds a decode, and mode 0 decoded it once a level: every route refuses it before any
// decoder sees it, with its own error, and leaves nothing behind.
TEST_F(PictureWork, ThousandsOfScansAreRefusedByEveryRouteThatDecodesPictures) {
    const std::string bytes = ProgressiveJpegBytes(2048, 2048, 1500);
    // A picture with alpha of its own goes another way through the decoder: the same bytes so
    // named take it.
    for (const char* name : {"scans.jpg", "scans.png"}) {
        SCOPED_TRACE(name);
        const std::string file = folder.Write(name, bytes);
        const int modeAndDivisor[][2] = {{0, 0}, {1, 0}, {2, 0}, {0, 2}};
        for (const auto& [mode, divisor] : modeAndDivisor) {
            cell.number = 0;
            LoadImage(file.c_str(), 3, mode, divisor);
            EXPECT_EQ(cell.number, 506) << "mode " << mode << ", divisor " << divisor;
            EXPECT_FALSE(ImageExist(3));
        }
        cell.number = 0;
        CreateAnimatedSprite(4, file.c_str(), 2, 2, 5);
        EXPECT_EQ(cell.number, 506) << "an animated sprite";
        EXPECT_FALSE(SpriteExist(4) || ImageExist(5));
        EXPECT_EQ(LoadTextureForModule(file.c_str()), 0) << "a module's texture";
        LoadScope level(bytes.size()); // a level loads its textures inside its own load
        EXPECT_EQ(MakeWorldTexture(file, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                   bytes.size(), WorldTextureLoad{}, nullptr),
                  nullptr)
            << "a level's texture";
    }
    EXPECT_LT(
        LoadTextureForModule(folder.Write("few.jpg", ProgressiveJpegBytes(64, 64, 9)).c_str()), 0)
        << "a few scans over a small picture load";
}

// Mode 0 decodes a picture without alpha of its own once, and makes each level from it as a
// decode of the file for each level made it. A divisor that no level's size divides tells levels
// made from the file's own size from levels made from the divided top level.
TEST_F(PictureWork, ModeZeroDecodesOnceAndMakesTheLevelsAsBefore) {
    const std::string bmp = folder.Write("p.bmp", BmpBytes(100, 37, Pattern));
    LoadImage(bmp.c_str(), 6, 1);
    const std::string jpg = folder.File("p.jpg");
    SaveImage(jpg.c_str(), 6);
    const std::string grey = folder.Write("grey.jpg", ProgressiveJpegBytes(61, 45, 4));
    ASSERT_EQ(cell.number, 0);
    for (const std::string& file : {bmp, jpg, grey}) {
        for (int divisor : {0, 3}) {
            LoadImage(file.c_str(), 7, 0, divisor);
            ASSERT_EQ(cell.number, 0) << file;
            IDirect3DTexture9* made = GetImagePointer(7);
            ASSERT_GT(made->GetLevelCount(), 4u);
            const ComPtr<IDirect3DTexture9> reference = LevelsDecodedOneByOne(file, made);
            for (UINT level = 0; level < made->GetLevelCount(); ++level)
                EXPECT_EQ(LevelBytes(made, level), LevelBytes(reference, level))
                    << file << " divided by " << divisor << ", level " << level;
            EXPECT_EQ(GetImageWidth(7), file == grey ? 61 : 100) << "the file's own size";
        }
    }
}

// A picture loaded inside another load adds its file's share to that load's budget and charges
// what it makes to it.
TEST_F(PictureWork, APictureLoadedInsideAnotherLoadAddsItsFilesShare) {
    const std::string png = PngBytes(40, 30, Pattern);
    const std::string file = folder.Write("inner.png", png);
    LoadScope outer(1000);
    ASSERT_EQ(LoadLimit(), LoadBudgetFor(1000));
    LoadImage(file.c_str(), 8, 1);
    ASSERT_EQ(cell.number, 0);
    EXPECT_EQ(LoadLimit(), LoadBudgetFor(1000 + png.size()));
    EXPECT_EQ(LoadCharged(), 40u * 30 * 4 * 2) << "the decoded picture and its texture";
}

// Rows stored top first measure and load as the same picture stored bottom row first.
TEST_F(PictureWork, ATopDownBitmapFileLoadsLikeTheSamePictureBottomUp) {
    const std::string up = folder.Write("up.bmp", BmpBytes(9, 5, Pattern));
    const std::string down = folder.Write("down.bmp", BmpBytes(9, 5, Pattern, true));
    for (int mode : {1, 0}) {
        LoadImage(up.c_str(), 9, mode);
        const std::uint64_t upCharged = LastLoadCharged();
        LoadImage(down.c_str(), 10, mode);
        ASSERT_EQ(cell.number, 0) << "mode " << mode;
        EXPECT_EQ(LastLoadCharged(), upCharged) << "mode " << mode;
        EXPECT_EQ(LevelBytes(GetImagePointer(10), 0), LevelBytes(GetImagePointer(9), 0));
        EXPECT_EQ(GetImageHeight(10), 5);
    }
    EXPECT_EQ(LastLoadCharged(), 9u * 5 * 4 + 9 * 5 * 4 * 4 / 3) << "mode 0: and its levels";
}

// A cube made of a picture has six faces as wide as it, each with its levels: all charged, not
// one face's worth, whether or not the platform then makes a cube of it.
TEST_F(PictureWork, ACubeMadeOfAPictureIsChargedForItsSixFaces) {
    LoadImage(folder.Write("strip.png", PngBytes(64, 16, Pattern)).c_str(), 11, 2);
    EXPECT_EQ(LastLoadCharged(), 64u * 16 * 4 + 6 * (64u * 64 * 4 + 64 * 64 * 4 / 3));
}
