#include "core/win32.h"

#include "display/display.h"
#include "support/engine_fixture.h"
#include "support/image_files.h"
#include "support/temp_folder.h"
#include "world/archive_fixtures.h"
#include "world/pk3_archive.h"
#include "world/world_textures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kRed = 0xFFFF0000, kBlue = 0xFF0000FF, kMagenta = 0xFFFF00FF,
                        kGreen = 0xFF00FF00;

// The engine started with its device; the texture table, the archives and the options empty.
class WorldTextureTests : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        ASSERT_NE(GetDirect3DDevice(), nullptr);
        Forget();
        SetTextureOptionsFolder(folder.Path().c_str());
    }
    void TearDown() override {
        Forget();
        SetTextureOptionsFolder("");
        EngineFixture::TearDown();
    }
    static void Forget() {
        ClearWorldTextures();
        CloseZipArchives();
        FreeWorldFileTable();
    }
    // An archive of stored members, registered as the world's next archive.
    std::string Archive(const std::string& name, const std::vector<TestMember>& members) {
        const std::string path = folder.Write(name, ZipOf(members));
        EXPECT_EQ(AddArchiveFile(path.c_str()), 1);
        return path;
    }
    void Options(const std::string& text) { folder.Write("Textures\\options.ini", text); }
    TempFolder folder;
};

std::string Solid(std::uint32_t colour) {
    return TgaBytes(4, 4, [colour](int, int) { return colour; });
}

// A JPG picture of one colour, as the platform's encoder writes it.
std::string JpgBytes(std::uint32_t colour) {
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(D3DXCreateTexture(GetDirect3DDevice(), 8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED,
                                 &texture)))
        return "";
    D3DLOCKED_RECT locked{};
    texture->LockRect(0, &locked, nullptr, 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            static_cast<std::uint32_t*>(locked.pBits)[y * locked.Pitch / 4 + x] = colour;
    texture->UnlockRect(0);
    ID3DXBuffer* buffer = nullptr;
    std::string bytes;
    if (SUCCEEDED(D3DXSaveTextureToFileInMemory(&buffer, D3DXIFF_JPG, texture, nullptr))) {
        bytes.assign(static_cast<const char*>(buffer->GetBufferPointer()), buffer->GetBufferSize());
        buffer->Release();
    }
    texture->Release();
    return bytes;
}

D3DSURFACE_DESC Level0(IDirect3DTexture9* texture) {
    D3DSURFACE_DESC desc{};
    if (texture) texture->GetLevelDesc(0, &desc);
    return desc;
}

// A texel of level 0 of a 32-bit texture as 0xAARRGGBB (X8R8G8B8 reads as it is stored).
std::uint32_t Texel(IDirect3DTexture9* texture, int x, int y) {
    D3DLOCKED_RECT locked{};
    if (!texture || FAILED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) return 0;
    const auto* row = static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch;
    const std::uint32_t texel = reinterpret_cast<const std::uint32_t*>(row)[x];
    texture->UnlockRect(0);
    return texel;
}

IDirect3DTexture9* TextureAt(std::int32_t index) {
    const WorldTextureTable& t = WorldTextures();
    return index >= 0 && index < t.textures.count
               ? t.textures.entries[static_cast<std::size_t>(index)].texture.Get()
               : nullptr;
}

IDirect3DTexture9* LightmapAt(std::int32_t index) {
    const WorldTextureTable& t = WorldTextures();
    return index >= 0 && index < t.lightmaps.count
               ? t.lightmaps.entries[static_cast<std::size_t>(index)].texture.Get()
               : nullptr;
}

// Colours within a few steps of each other, channel by channel (lossy JPG).
bool Near(std::uint32_t a, std::uint32_t b, int steps) {
    for (int shift = 0; shift < 32; shift += 8) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (d > steps || d < -steps) return false;
    }
    return true;
}

} // namespace

TEST_F(WorldTextureTests, ANameWithoutExtensionFindsItsTga) {
    const std::string jpg = JpgBytes(kBlue);
    ASSERT_FALSE(jpg.empty());
    Archive("both.pk3", {StoredMember("textures/base/wall.jpg", jpg),
                         StoredMember("Textures/Base/Wall.tga", Solid(kRed))});
    EXPECT_EQ(LoadTextureFromArchives("textures/base/wall", 0), 0);
    EXPECT_STREQ(GetTextureName(0), "textures/base/wall.tga");
    EXPECT_EQ(Texel(TextureAt(0), 1, 1), kRed);
    // The loaded picture answers for the name, for both its twins and for nothing else.
    EXPECT_EQ(LoadTextureFromArchives("textures/base/wall", 0), 0);
    EXPECT_EQ(LoadTextureFromArchives("textures/base/wall.jpg", 0), 0);
    EXPECT_EQ(FindTextureFile("textures/base/wall.JPG", 1), 0);
    EXPECT_EQ(FindTextureFile("textures/base/wal", 1), -2);
    EXPECT_EQ(FindTextureIndex("textures/base/wall.jpg", 1), -2);
    EXPECT_EQ(WorldTextures().textures.count, 1);
}

TEST_F(WorldTextureTests, OnlyTheJpgLoadsUnderItsOwnName) {
    const std::string jpg = JpgBytes(kBlue);
    Archive("jpg.pk3", {StoredMember("textures/base/wall.jpg", jpg)});
    EXPECT_EQ(LoadTextureFromArchives("textures/base/wall", 0), 0);
    EXPECT_STREQ(GetTextureName(0), "textures/base/wall.jpg");
    EXPECT_TRUE(Near(Texel(TextureAt(0), 4, 4) & 0xFFFFFF, kBlue & 0xFFFFFF, 8));
    EXPECT_EQ(FindTextureFile("textures/base/wall.tga", 1), 0);
    EXPECT_EQ(LoadTextureFromArchives("textures/base/wall.tga", 0), 0);
    EXPECT_EQ(FindTextureIndex("textures/base/wall.tga", 0), -2);
    EXPECT_EQ(WorldTextures().textures.count, 1);
}

TEST_F(WorldTextureTests, TheFirstArchiveThatHoldsEitherWins) {
    Archive("first.pk3", {StoredMember("x.jpg", JpgBytes(kBlue))});
    Archive("second.pk3", {StoredMember("x.tga", Solid(kRed))});
    EXPECT_EQ(LoadTextureFromArchives("x", 0), 0);
    EXPECT_STREQ(GetTextureName(0), "x.jpg");
}

TEST_F(WorldTextureTests, AMissingNameSearchesTheArchivesOnce) {
    Archive("first.pk3", {StoredMember("other.tga", Solid(kRed))});
    EXPECT_EQ(LoadTextureFromArchives("ghost", 0), -1);
    EXPECT_EQ(FindTextureIndex("ghost", 0), -1);
    EXPECT_EQ(FindTextureIndex("ghost", 1), -2);
    EXPECT_EQ(FindTextureFile("ghost", 0), -1);
    EXPECT_EQ(FindTextureFile("ghost.tga", 0), -2);
    // An archive that holds it now is not searched: the name is known to be missing.
    Archive("second.pk3", {StoredMember("ghost.tga", Solid(kRed))});
    EXPECT_EQ(LoadTextureFromArchives("ghost", 0), -1);
    EXPECT_EQ(LoadLevelTextures("ghost"), -1);
    EXPECT_EQ(WorldTextures().missing.count, 1);
    // Asking for loaded textures only ignores the missing list.
    EXPECT_EQ(LoadTextureFromArchives("ghost", 1), 0);
    ClearWorldTextures();
    EXPECT_EQ(WorldTextures().missing.count, 0);
    EXPECT_EQ(FindTextureIndex("ghost", 0), -2);
    EXPECT_EQ(LoadTextureFromArchives("", 0), -1);
    EXPECT_EQ(LoadTextureFromArchives(nullptr, 0), -1);
}

TEST_F(WorldTextureTests, PicturesThatMakeNoTextureAreRememberedByLevelLoads) {
    std::string huge = Solid(kRed);
    huge[12] = huge[13] = huge[14] = huge[15] = '\xFF'; // 65535 x 65535
    std::string dds = "DDS " + std::string(124, '\0');
    dds[4] = 124;
    dds[28] = dds[29] = dds[30] = dds[31] = '\x7F'; // a mip count the decoder would trust
    Archive("bad.pk3", {StoredMember("huge.tga", huge), StoredMember("fake.tga", dds),
                        StoredMember("noise.jpg", std::string(300, '\x5A'))});
    EXPECT_EQ(LoadTextureFromArchives("huge", 0), -1);
    EXPECT_EQ(FindTextureIndex("huge", 0), -2) << "not searched-and-missing, only unmade";
    EXPECT_EQ(LoadLevelTextures("huge"), -1);
    EXPECT_EQ(FindTextureIndex("huge", 0), -1);
    EXPECT_EQ(LoadLevelTextures("fake"), -1);
    EXPECT_EQ(LoadLevelTextures("noise.jpg"), -1);
    EXPECT_EQ(WorldTextures().textures.count, 0);
    EXPECT_EQ(WorldTextures().missing.count, 3);
}

TEST_F(WorldTextureTests, LightmapsAreWidenedAndNamedByIndex) {
    // Three texels a row: the texture's rows are wider than the pixels', so rows must be placed
    // by the texture's pitch.
    std::string pixels;
    for (int i = 0; i < 6; ++i)
        pixels += i == 4 ? std::string("\x0A\x14\x1E", 3) : std::string("\x01\x02\x03", 3);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(pixels.data());
    ASSERT_EQ(CreateLightmapTextures(3, 2, 24, bytes, pixels.size()), 0);
    EXPECT_STREQ(GetLightmapName(0), "lightmap0");
    IDirect3DTexture9* lightmap = LightmapAt(0);
    EXPECT_EQ(Level0(lightmap).Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(Level0(lightmap).Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(lightmap->GetLevelCount(), 1u);
    const std::uint32_t texel = Texel(lightmap, 1, 1);
    EXPECT_EQ((texel >> 16) & 0xFF, 10u);
    EXPECT_EQ((texel >> 8) & 0xFF, 20u);
    EXPECT_EQ(texel & 0xFF, 30u);
    EXPECT_EQ(Texel(lightmap, 0, 1) & 0xFFFFFF, 0x010203u);
    EXPECT_EQ(WorldTextures().lightmaps.entries[0].width, 3);
    EXPECT_EQ(WorldTextures().lightmaps.entries[0].height, 2);

    const std::uint8_t four[] = {10, 20, 30, 40};
    ASSERT_EQ(CreateLightmapTextures(1, 1, 32, four, sizeof four), 1);
    EXPECT_STREQ(GetLightmapName(1), "lightmap1");
    EXPECT_EQ(Level0(LightmapAt(1)).Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(Texel(LightmapAt(1), 0, 0), 0x0A141E28u); // stored as 40, 30, 20, 10
    EXPECT_STREQ(GetLightmapName(2), "");
    EXPECT_STREQ(GetLightmapName(-1), "");
}

TEST_F(WorldTextureTests, NarrowLightmapRowsFollowTheTexturePitch) {
    // Rows of 3 and 2 bytes in textures whose rows are longer: a copy as one block would shift
    // the second row.
    const std::uint8_t grey[] = {1, 2, 3, 4, 5, 6};
    const std::uint8_t rgb565[] = {0x1F, 0x00, 0xE0, 0x07};
    ASSERT_EQ(CreateLightmapTextures(3, 2, 8, grey, sizeof grey), 0);
    ASSERT_EQ(CreateLightmapTextures(1, 2, 16, rgb565, sizeof rgb565), 1);
    EXPECT_EQ(Level0(LightmapAt(0)).Format, D3DFMT_L8);
    EXPECT_EQ(Level0(LightmapAt(1)).Format, D3DFMT_R5G6B5);
    D3DLOCKED_RECT locked{};
    ASSERT_TRUE(SUCCEEDED(LightmapAt(0)->LockRect(0, &locked, nullptr, D3DLOCK_READONLY)));
    const auto* rows = static_cast<const std::uint8_t*>(locked.pBits);
    EXPECT_EQ(rows[2], 3);
    EXPECT_EQ(rows[locked.Pitch], 4);
    EXPECT_EQ(rows[locked.Pitch + 2], 6);
    LightmapAt(0)->UnlockRect(0);
    ASSERT_TRUE(SUCCEEDED(LightmapAt(1)->LockRect(0, &locked, nullptr, D3DLOCK_READONLY)));
    rows = static_cast<const std::uint8_t*>(locked.pBits);
    EXPECT_EQ(rows[0] | rows[1] << 8, 0x001F);                           // copied as they are: blue
    EXPECT_EQ(rows[locked.Pitch] | rows[locked.Pitch + 1] << 8, 0x07E0); // green
    LightmapAt(1)->UnlockRect(0);
}

TEST_F(WorldTextureTests, LightmapPixelsMustFillTheTexture) {
    const std::vector<std::uint8_t> pixels(128 * 128 * 3, 0x40);
    EXPECT_EQ(CreateLightmapTextures(128, 128, 24, pixels.data(), pixels.size() - 1), -1);
    EXPECT_EQ(CreateLightmapTextures(128, 128, 24, nullptr, pixels.size()), -1);
    EXPECT_EQ(CreateLightmapTextures(0, 128, 24, pixels.data(), pixels.size()), -1);
    EXPECT_EQ(CreateLightmapTextures(-128, -128, 24, pixels.data(), pixels.size()), -1);
    EXPECT_EQ(CreateLightmapTextures(128, 128, 12, pixels.data(), pixels.size()), -1);
    EXPECT_EQ(CreateLightmapTextures(0x10000, 0x10000, 32, pixels.data(), pixels.size()), -1);
    EXPECT_EQ(WorldTextures().lightmaps.count, 0);
    EXPECT_EQ(CreateLightmapTextures(128, 128, 24, pixels.data(), pixels.size()), 0);
    EXPECT_STREQ(GetLightmapName(0), "lightmap0");
}

TEST_F(WorldTextureTests, ColourKeyedOptionsMakeMagentaTransparent) {
    Options("\"textures/a/keyed\" = colorkey\r\n"
            "\"textures/b\" = COLORKEY\n"
            "\"textures/c\" = nothing\n"
            "\"textures\\d\" = ColorKey\n"
            "\"e\" = ColorKey\n"
            "\"e\" = none\n"
            "\"short\" = Color\n"
            "\"unclosed = ColorKey\n"
            "not quoted = ColorKey\n" +
            std::string(1030, 'x') + "\"injected\" = ColorKey\n");
    EXPECT_EQ(GetTextureColorKey("textures/a/keyed"), kOptionsColorKey);
    EXPECT_EQ(GetTextureColorKey("textures\\a\\keyed"), kOptionsColorKey);
    EXPECT_EQ(GetTextureColorKey("textures/b"), kOptionsColorKey);
    EXPECT_EQ(GetTextureColorKey("textures/c"), 0u);
    EXPECT_EQ(GetTextureColorKey("textures/d"), kOptionsColorKey);
    EXPECT_EQ(GetTextureColorKey("e"), 0u);
    EXPECT_EQ(GetTextureColorKey("short"), 0u);
    EXPECT_EQ(GetTextureColorKey("injected"), 0u);
    EXPECT_EQ(GetTextureColorKey("TEXTURES/B"), 0u);
    EXPECT_EQ(WorldTextures().options.count, 7);

    const std::string tga = TgaBytes(4, 4, [](int x, int) { return x < 2 ? kMagenta : kGreen; });
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(tga.data());
    const std::uint32_t key = GetTextureColorKey("textures/a/keyed");
    const std::int32_t index = AddTextureFromMemory(key, bytes, tga.size(), "textures/a/keyed", 0);
    ASSERT_EQ(index, 0);
    EXPECT_EQ(WorldTextures().textures.entries[0].colorKey, kOptionsColorKey);
    EXPECT_EQ(Level0(TextureAt(0)).Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(TextureAt(0)->GetLevelCount(), 2u);
    EXPECT_EQ(Texel(TextureAt(0), 0, 0) >> 24, 0u);
    EXPECT_EQ(Texel(TextureAt(0), 3, 3), kGreen);
    // The same name again is the same texture; without a key the picture keeps its magenta.
    EXPECT_EQ(AddTextureFromMemory(key, bytes, tga.size(), "textures/a/keyed", 0), 0);
    ASSERT_EQ(AddTextureFromMemory(0, bytes, tga.size(), "unkeyed", 0), 1);
    EXPECT_EQ(Texel(TextureAt(1), 0, 0), kMagenta);
    EXPECT_EQ(AddTextureFromMemory(0, bytes, tga.size(), "", 0), -1);
    EXPECT_EQ(AddTextureFromMemory(0, bytes, 10, "cut", 0), -1);
    EXPECT_EQ(AddTextureFromMemory(0, nullptr, 0, "none", 0), -1);
    EXPECT_STREQ(GetTextureName(1), "unkeyed");
    EXPECT_STREQ(GetTextureName(2), "");
}

TEST_F(WorldTextureTests, TheOptionsFileKeepsItsFirstThousandAndTwentyFourEntries) {
    std::string lines;
    for (int i = 0; i < 1100; ++i)
        lines += "\"t" + std::to_string(i) + "\" = ColorKey\n";
    Options(lines);
    EXPECT_EQ(GetTextureColorKey("t1023"), kOptionsColorKey);
    EXPECT_EQ(GetTextureColorKey("t1024"), 0u);
    EXPECT_EQ(WorldTextures().options.count, kMostTextureOptions);
    // The keys outlive the texture table; a missing file leaves none.
    ClearWorldTextures();
    EXPECT_EQ(WorldTextures().options.count, kMostTextureOptions);
    SetTextureOptionsFolder(folder.File("nowhere").c_str());
    EXPECT_EQ(GetTextureColorKey("t0"), 0u);
    EXPECT_EQ(ReadTextureColorKey(), 0);
}

TEST_F(WorldTextureTests, TexturesFromTheFolderTreeGoToTheLightmapTable) {
    folder.Write("a\\b\\deep.tga", TgaBytes(8, 4, [](int, int) { return kGreen; }));
    folder.Write("a\\c\\deep.tga", Solid(kRed));
    folder.Write("z\\d\\e.tga", Solid(kBlue));
    char before[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, before);
    ASSERT_TRUE(SetCurrentDirectoryA(folder.Path().c_str()));
    const std::int32_t deep = LoadTextureFromFolderTree("deep.tga");
    const std::int32_t inner = LoadTextureFromFolderTree("d/e.tga");
    const std::int32_t again = LoadTextureFromFolderTree("deep.tga");
    const std::int32_t absent = LoadTextureFromFolderTree("absent.tga");
    const std::int32_t climbing = LoadTextureFromFolderTree("..\\outside.tga");
    const std::int32_t rooted = LoadTextureFromFolderTree("C:\\windows\\win.ini");
    SetCurrentDirectoryA(before);
    ASSERT_EQ(deep, 0);
    EXPECT_EQ(WorldTextures().lightmaps.entries[0].width, 8);
    EXPECT_EQ(WorldTextures().lightmaps.entries[0].height, 4);
    EXPECT_EQ(LightmapAt(0)->GetLevelCount(), 2u);
    EXPECT_EQ(Texel(LightmapAt(0), 0, 0), kGreen); // a\b, found before a\c
    EXPECT_EQ(inner, 1);
    EXPECT_STREQ(GetLightmapName(1), "d/e.tga");
    EXPECT_EQ(again, 0);
    EXPECT_EQ(absent, -1);
    EXPECT_EQ(climbing, -1);
    EXPECT_EQ(rooted, -1);
}

TEST(WorldPaths, MakeRelativePath) {
    struct Case {
        const char* path;
        const char* base;
        int result;
        const char* relative;
    };
    const Case cases[] = {
        {"C:\\game\\maps\\a.bsp", "C:\\game\\", 1, "maps/a.bsp"},
        {"C:/game/maps/a.bsp", "C:\\game", 1, "maps/a.bsp"},
        {"C:/game/", "C:\\game", 1, ""},
        {"C:/game", "C:/game", 1, ""},
        {"C:/games/x", "C:/game", 0, ""},
        {"D:/game/x", "C:/game", 0, ""},
        {"C:/ga", "C:/game", 0, ""},
    };
    for (const Case& c : cases) {
        std::string relative = "left over";
        EXPECT_EQ(MakeRelativePath(c.path, c.base, relative), c.result) << c.path;
        EXPECT_EQ(relative, c.relative) << c.path;
    }
}

namespace {

bool IsPowerOfTwo(int n) {
    return n > 0 && (n & (n - 1)) == 0;
}

UINT PowerOfTwoAtLeast(int n) {
    UINT p = 1;
    while (p < static_cast<UINT>(n))
        p <<= 1;
    return p;
}

// Loads every fourth picture of the real archive from shard on, through the texture table, and
// compares it with what Pillow decoded: its size (the platform widens sides to powers of two) and,
// for TGAs of such sides, four texels exactly (JPG decoders differ in detail).
void CheckRealPictures(int shard) {
    const std::vector<std::vector<std::string>> pictures = ManifestRows("pak0-textures.txt");
    if (pictures.empty()) GTEST_SKIP() << "openarena-data's pak0.pk3 is not installed";
    ASSERT_EQ(AddArchiveFile(kPak0), 1);
    int runLength = 0, checked = 0;
    for (std::size_t i = static_cast<std::size_t>(shard); i < pictures.size(); i += 4) {
        const std::vector<std::string>& p = pictures[i];
        ASSERT_EQ(p.size(), 8u);
        const std::string& member = p[0];
        const bool tga = _stricmp(member.c_str() + member.size() - 4, ".tga") == 0;
        // A TGA is asked for by its name without extension, a JPG by its own name (a TGA of the
        // same name would come first).
        const std::string asked = tga ? member.substr(0, member.size() - 4) : member;
        const std::int32_t index = LoadLevelTextures(asked.c_str());
        ASSERT_GE(index, 0) << member;
        EXPECT_EQ(_stricmp(GetTextureName(index), member.c_str()), 0) << member;
        IDirect3DTexture9* texture = TextureAt(index);
        const D3DSURFACE_DESC desc = Level0(texture);
        const int width = std::stoi(p[1]), height = std::stoi(p[2]);
        EXPECT_EQ(desc.Width, PowerOfTwoAtLeast(width)) << member;
        EXPECT_EQ(desc.Height, PowerOfTwoAtLeast(height)) << member;
        runLength += p[3] == "1";
        ++checked;
        ASSERT_TRUE(desc.Format == D3DFMT_A8R8G8B8 || desc.Format == D3DFMT_X8R8G8B8) << member;
        if (!tga || !IsPowerOfTwo(width) || !IsPowerOfTwo(height)) continue;
        const std::uint32_t mask = desc.Format == D3DFMT_A8R8G8B8 ? 0xFFFFFFFF : 0xFFFFFF;
        for (std::size_t s = 4; s < 8; ++s) {
            int x = 0, y = 0;
            unsigned expected = 0;
            ASSERT_EQ(std::sscanf(p[s].c_str(), "%d,%d,%x", &x, &y, &expected), 3);
            EXPECT_EQ(Texel(texture, x, y) & mask, expected & mask)
                << member << " at " << x << "," << y;
        }
    }
    EXPECT_GT(runLength, 0) << "run-length encoded TGAs among them";
    EXPECT_GT(checked, 100);
}

} // namespace

TEST_F(WorldTextureTests, RealPicturesFirstShard) {
    CheckRealPictures(0);
}
TEST_F(WorldTextureTests, RealPicturesSecondShard) {
    CheckRealPictures(1);
}
TEST_F(WorldTextureTests, RealPicturesThirdShard) {
    CheckRealPictures(2);
}
TEST_F(WorldTextureTests, RealPicturesFourthShard) {
    CheckRealPictures(3);
}
