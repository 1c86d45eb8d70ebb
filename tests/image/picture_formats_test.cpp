// Single-level loads decode each picture without a probe before it once the decoder has told the
// module the format of its kind of header. Whatever way a load takes, its texture must be the one
// the probing way makes: the same format, size and bytes, for every kind of picture file.
#include "core/win32.h"

#include "core/com_ptr.h"
#include "display/display.h"
#include "image/image.h"
#include "image/image_state.h"
#include "image/picture_header.h"
#include "support/engine_fixture.h"
#include "support/image_files.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kWidth = 13, kHeight = 7; // odd, so rows and pitches differ

// Colours and alphas that differ from pixel to pixel, with the colour key's black among them.
std::uint32_t Pattern(int x, int y) {
    if ((x + 2 * y) % 5 == 0) return 0xFF000000u;
    return static_cast<std::uint32_t>((x * 53 + y * 19) & 0xFF) << 24 | (x * 19 & 0xFF) << 16 |
           (y * 37 & 0xFF) << 8 | ((x + y) * 11 & 0xFF);
}

// Rows of bytes per pixel as the pixel function lays them out.
std::string Rows(int bytesPerPixel, std::string (*pixel)(int x, int y)) {
    std::string rows;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            rows += pixel(x, y).substr(0, bytesPerPixel);
    return rows;
}

std::string Rgb(int x, int y) {
    const std::uint32_t c = Pattern(x, y);
    return {static_cast<char>(c >> 16), static_cast<char>(c >> 8), static_cast<char>(c)};
}

std::string GreyAlpha(int x, int y) {
    const std::uint32_t c = Pattern(x, y);
    return {static_cast<char>(c >> 8), static_cast<char>(c >> 24)};
}

std::string Index(int x, int y) {
    return std::string(1, static_cast<char>((x + y) % 4));
}

std::string Rgba16(int x, int y) {
    std::string out;
    const std::uint32_t c = Pattern(x, y);
    for (int shift : {16, 8, 0, 24})
        out += {static_cast<char>(c >> shift), static_cast<char>(x * 7 + y)};
    return out;
}

std::string Tga24() {
    std::string out(18, '\0');
    out[2] = 2;
    out[12] = kWidth;
    out[14] = kHeight;
    out[16] = 24;
    out[17] = 0x20; // top row first
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const std::string rgb = Rgb(x, y);
            out += {rgb[2], rgb[1], rgb[0]};
        }
    return out;
}

std::vector<std::pair<std::string, std::string>> PictureFiles() {
    const std::string palette("\0\0\0\xff\0\0\0\xff\0\x10\x20\x30", 12);
    return {
        {"rgba.png", PngBytes(kWidth, kHeight, Pattern)},
        {"rgb.png", PngRawBytes(kWidth, kHeight, 8, 2, Rows(3, Rgb))},
        {"grey.png", PngRawBytes(kWidth, kHeight, 8, 0, Rows(1, GreyAlpha))},
        {"greyalpha.png", PngRawBytes(kWidth, kHeight, 8, 4, Rows(2, GreyAlpha))},
        {"palette.png", PngRawBytes(kWidth, kHeight, 8, 3, Rows(1, Index), palette)},
        {"palettealpha.png",
         PngRawBytes(kWidth, kHeight, 8, 3, Rows(1, Index), palette, std::string("\x00\x80", 2))},
        {"rgbkeyed.png",
         PngRawBytes(kWidth, kHeight, 8, 2, Rows(3, Rgb), "", std::string(6, '\0'))},
        {"rgba16.png", PngRawBytes(kWidth, kHeight, 16, 6, Rows(8, Rgba16))},
        {"rgba.tga", TgaBytes(kWidth, kHeight, Pattern)},
        {"rgb.tga", Tga24()},
        {"rgb.bmp", BmpBytes(kWidth, kHeight, Pattern)},
        {"png-inside.bmp", PngBytes(kWidth, kHeight, Pattern)},
        {"rgba.dds", DdsBytes(kWidth, kHeight, Pattern)},
    };
}

int BytesPerPixel(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_A16B16G16R16:
        return 8;
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8:
        return 4;
    case D3DFMT_R8G8B8:
        return 3;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A8L8:
        return 2;
    case D3DFMT_L8:
    case D3DFMT_A8:
    case D3DFMT_P8:
        return 1;
    default:
        return 0;
    }
}

bool OwnAlpha(const std::string& name) {
    const std::string ending = name.substr(name.size() - 4);
    return ending == ".png" || ending == ".tga" || ending == ".dds";
}

// The single-level load as it was before it skipped the probe: the decoder probes the file, the
// texture takes the probed format (pictures with their own alpha) or the module's, and level 0 is
// decoded with a point filter and, for the others, the colour key.
// Null when the platform cannot decode the file.
ComPtr<IDirect3DTexture9> ProbedLoad(const std::string& file, bool ownAlpha) {
    ComPtr<IDirect3DTexture9> texture;
    D3DXIMAGE_INFO info{};
    if (FAILED(D3DXGetImageInfoFromFileA(file.c_str(), &info)) ||
        FAILED(D3DXCreateTexture(GetDirect3DDevice(), info.Width, info.Height, 1, 0,
                                 ownAlpha ? info.Format : g_Image.format, D3DPOOL_MANAGED,
                                 texture.PutAddress())))
        return {};
    ComPtr<IDirect3DSurface9> surface;
    const RECT area{0, 0, static_cast<LONG>(info.Width), static_cast<LONG>(info.Height)};
    if (FAILED(texture->GetSurfaceLevel(0, surface.PutAddress())) ||
        FAILED(D3DXLoadSurfaceFromFileA(surface, nullptr, &area, file.c_str(), nullptr,
                                        D3DX_FILTER_POINT, ownAlpha ? 0 : g_Image.colorKey,
                                        nullptr)))
        return {};
    return texture;
}

std::vector<std::string> Level0Rows(IDirect3DTexture9* texture, D3DSURFACE_DESC& desc) {
    std::vector<std::string> rows;
    D3DLOCKED_RECT locked{};
    if (FAILED(texture->GetLevelDesc(0, &desc)) ||
        FAILED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY)))
        return rows;
    const auto* bits = static_cast<const char*>(locked.pBits);
    for (UINT y = 0; y < desc.Height; ++y)
        rows.emplace_back(bits + y * locked.Pitch, desc.Width * BytesPerPixel(desc.Format));
    texture->UnlockRect(0);
    return rows;
}

::testing::AssertionResult SameLevel0(IDirect3DTexture9* loaded, IDirect3DTexture9* probed) {
    if (!loaded) return ::testing::AssertionFailure() << "the loader failed";
    D3DSURFACE_DESC a{}, b{};
    const std::vector<std::string> rowsA = Level0Rows(loaded, a), rowsB = Level0Rows(probed, b);
    if (a.Format != b.Format || a.Width != b.Width || a.Height != b.Height)
        return ::testing::AssertionFailure()
               << "format " << a.Format << " " << a.Width << "x" << a.Height << ", probed "
               << b.Format << " " << b.Width << "x" << b.Height;
    if (BytesPerPixel(a.Format) == 0)
        return ::testing::AssertionFailure() << "format " << a.Format << " not compared";
    for (std::size_t y = 0; y < rowsA.size(); ++y)
        if (y >= rowsB.size() || rowsA[y] != rowsB[y])
            return ::testing::AssertionFailure() << "row " << y << " differs";
    return ::testing::AssertionSuccess();
}

class PictureFormats : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        ASSERT_NE(GetDirect3DDevice(), nullptr);
        g_Image.decodedFormats.clear();
        files = PictureFiles();
        // Forms only the platform's writers make here.
        LoadImage(folder.Write("source.png", files[0].second).c_str(), 90, 1);
        for (const char* name : {"saved.jpg", "saved.dib"}) {
            const std::string file = folder.File(name);
            SaveImage(file.c_str(), 90);
            files.emplace_back(name, TempFolder::Read(file));
        }
        ASSERT_EQ(cell.number, 0);
    }
    // Loads every file twice, the second time after the first taught the module its kind. A file
    // the platform cannot decode (here: 16-bit channels) must give the load error either time.
    void LoadEachTwiceAndCompare() {
        std::int32_t n = 100;
        for (const auto& [name, bytes] : files) {
            const std::string file = folder.Write(name, bytes);
            const ComPtr<IDirect3DTexture9> probed = ProbedLoad(file, OwnAlpha(name));
            for (int time = 0; time < 2; ++time, ++n) {
                cell.number = 0;
                LoadImage(file.c_str(), n, 1);
                if (!probed) {
                    EXPECT_EQ(cell.number, 506) << name;
                    continue;
                }
                EXPECT_EQ(cell.number, 0) << name;
                EXPECT_TRUE(SameLevel0(GetImagePointer(n), probed)) << name << ", load " << time;
                EXPECT_EQ(GetImageWidth(n), kWidth) << name;
                EXPECT_EQ(GetImageHeight(n), kHeight) << name;
            }
        }
    }
    bool KindKnown(const std::string& name, const std::string& bytes) {
        PictureHeader header;
        const ByteSpan span{reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
        if (!ReadPictureHeader(name.c_str(), span, header)) return false;
        for (const auto& [kind, format] : g_Image.decodedFormats)
            if (kind == header.kind) return true;
        return false;
    }
    TempFolder folder;
    std::vector<std::pair<std::string, std::string>> files;
};

} // namespace

TEST_F(PictureFormats, EveryKindLoadsAsTheProbingWayLoadsIt) {
    LoadEachTwiceAndCompare();
    // The second loads went without a probe: the kinds of pictures with their own alpha are known.
    for (const auto& [name, bytes] : files) {
        if (OwnAlpha(name) && name.find(".dds") == std::string::npos && name != "rgba16.png") {
            EXPECT_TRUE(KindKnown(name, bytes)) << name;
        }
    }
}

TEST_F(PictureFormats, AFormatKnownWronglyIsCorrectedNotUsed) {
    LoadEachTwiceAndCompare();
    ASSERT_FALSE(g_Image.decodedFormats.empty());
    for (auto& entry : g_Image.decodedFormats)
        entry.second = D3DFMT_R5G6B5; // no decoder reports it for these files
    LoadEachTwiceAndCompare();
    for (const auto& entry : g_Image.decodedFormats)
        EXPECT_NE(entry.second, D3DFMT_R5G6B5);
}

TEST(PictureHeaders, SizeAndKindFromEachFormOthersRefused) {
    const auto read = [](const char* name, const std::string& bytes, PictureHeader& header) {
        const ByteSpan span{reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
        return ReadPictureHeader(name, span, header);
    };
    PictureHeader png, tga, bmp, top, keyed;
    ASSERT_TRUE(read("a.png", PngBytes(kWidth, kHeight, Pattern), png));
    ASSERT_TRUE(read("a.tga", TgaBytes(kWidth, kHeight, Pattern), tga));
    ASSERT_TRUE(read("a.bmp", BmpBytes(kWidth, kHeight, Pattern), bmp));
    for (const PictureHeader& h : {png, tga, bmp}) {
        EXPECT_EQ(h.width, static_cast<std::uint32_t>(kWidth));
        EXPECT_EQ(h.height, static_cast<std::uint32_t>(kHeight));
    }
    std::string topDown = BmpBytes(kWidth, kHeight, Pattern);
    const std::uint32_t negative = 0u - kHeight;
    std::memcpy(&topDown[22], &negative, 4);
    ASSERT_TRUE(read("t.bmp", topDown, top));
    EXPECT_EQ(top.height, static_cast<std::uint32_t>(kHeight));
    ASSERT_TRUE(read("k.png", PngRawBytes(2, 1, 8, 2, "abcdef", "", std::string(6, '\0')), keyed));
    PictureHeader plain;
    ASSERT_TRUE(read("p.png", PngRawBytes(2, 1, 8, 2, "abcdef"), plain));
    EXPECT_NE(keyed.kind, plain.kind) << "transparency changes the decoded format";
    EXPECT_NE(png.kind, plain.kind);
    EXPECT_NE(png.kind, tga.kind);
    PictureHeader none;
    EXPECT_FALSE(read("a.dds", DdsBytes(4, 4, Pattern), none));
    EXPECT_FALSE(read("a.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16), none));
    EXPECT_FALSE(read("a.tga", std::string(10, '\0'), none));
    EXPECT_FALSE(read("a.bmp", "BM", none));
    EXPECT_FALSE(read("a.xyz", "anything at all", none));
}
