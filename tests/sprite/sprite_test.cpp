#include "core/win32.h"

#include "core/engine.h"
#include "core/frame_loop.h"
#include "core/window.h"
#include "display/display.h"
#include "draw2d/draw2d.h"
#include "image/image.h"
#include "sprite/sprite.h"
#include "sprite/sprite_state.h"
#include "core/error_numbers.h"
#include "support/engine_fixture.h"
#include "support/failing_rows.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

namespace {

constexpr std::uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF,
                        kBlack = 0xFF000000, kWhite = 0xFFFFFFFF;

// An image of one colour per cell of an across x down grid (a single cell: one colour).
void MakeImage(std::int32_t n, int width, int height, std::vector<std::uint32_t> cells,
               int across = 1, int down = 1) {
    ASSERT_NE(CreateManagedImage(n, width, height), nullptr);
    LockImage(n);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = cells[(y * down / height) * across + x * across / width];
            WriteImageData(n, y, x, c >> 24, (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
        }
    }
    UnlockImage(n);
}

class Sprites : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        ClearScreen(kBlack);
    }
    static const SpriteRecord& Record(std::int32_t n) { return *g_Sprite.manager.FindSprite(n); }
    static std::uint32_t Pixel(int x, int y) { return GetPixelColour(x, y); }
    static void Frame() {
        ClearScreen(kBlack);
        SpriteUpdate();
    }
};

} // namespace

TEST_F(Sprites, VerticesFromPositionScaleSizeAndAngle) {
    MakeImage(1, 64, 32, {kWhite});
    PlaceSprite(1, 100, 50, 1);
    const SpriteVertex* v = Record(1).vertices;
    EXPECT_FLOAT_EQ(v[0].x, 99.5f);
    EXPECT_FLOAT_EQ(v[0].y, 49.5f);
    EXPECT_FLOAT_EQ(v[3].x, 163.5f);
    EXPECT_FLOAT_EQ(v[3].y, 81.5f);
    EXPECT_FLOAT_EQ(v[3].u, 1.0f);

    ScaleSprite(1, 150);
    EXPECT_FLOAT_EQ(v[1].x - v[0].x, 96.0f);
    EXPECT_FLOAT_EQ(v[2].y - v[0].y, 48.0f);
    SizeSprite(1, 10, 12); // an explicit size ignores the scale
    EXPECT_FLOAT_EQ(v[1].x - v[0].x, 10.0f);
    EXPECT_FLOAT_EQ(v[2].y - v[0].y, 12.0f);
    ScaleSprite(1, 100); // back to the picture size

    RotateSprite(1, 90); // a quarter turn clockwise about the position
    EXPECT_NEAR(v[0].x, 100.5f, 1e-4);
    EXPECT_NEAR(v[0].y, 49.5f, 1e-4);
    EXPECT_NEAR(v[3].x, 100 - 31.5f, 1e-4);
    EXPECT_NEAR(v[3].y, 50 + 63.5f, 1e-4);
    RotateSprite(1, 90.5f);
    const float a = 90.5f * 0.017453292f;
    EXPECT_NEAR(v[3].x, 63.5f * std::cos(a) - 31.5f * std::sin(a) + 100, 1e-3);
    EXPECT_NEAR(v[3].y, 63.5f * std::sin(a) + 31.5f * std::cos(a) + 50, 1e-3);

    RotateSprite(1, 90);
    MoveSprite(1, 10); // angle 90 moves to the right
    EXPECT_EQ(SpriteX(1), 110);
    EXPECT_EQ(SpriteY(1), 50);
    EXPECT_FLOAT_EQ(SpriteAngle(1), 90.0f);
}

TEST_F(Sprites, AnimationSheetCells) {
    const std::vector<std::uint32_t> cells = {kRed,       kGreen,     kBlue,      kWhite,
                                              0xFF101010, 0xFF808000, 0xFF008080, 0xFF800080};
    MakeImage(2, 64, 32, cells, 4, 2);
    SaveImage(".\\sheet-test.png", 2);
    CreateAnimatedSprite(3, ".\\sheet-test.png", 4, 2, 4);
    ASSERT_EQ(cell.number, 0);
    // 46,341 x 46,341 cells: a frame count past the int32 range, refused before the load.
    CreateAnimatedSprite(10, ".\\sheet-test.png", 46341, 46341, 9);
    DeleteFileA(".\\sheet-test.png");
    EXPECT_EQ(cell.number, 319);
    EXPECT_FALSE(SpriteExist(10));
    cell.number = 0;
    EXPECT_EQ(SpriteWidth(3), 16);
    EXPECT_EQ(SpriteHeight(3), 16);
    EXPECT_EQ(Record(3).frameCount, 8);
    SetSpriteImage(3, 6); // 1-based: frame 5, column 1, row 1
    const SpriteVertex* v = Record(3).vertices;
    EXPECT_FLOAT_EQ(v[0].u, 0.25f);
    EXPECT_FLOAT_EQ(v[1].u, 0.5f);
    EXPECT_FLOAT_EQ(v[0].v, 0.5f);
    EXPECT_FLOAT_EQ(v[3].v, 1.0f);
    EXPECT_EQ(SpriteFrame(3), 6);
    PasteSprite(3, 200, 200);
    EXPECT_EQ(Pixel(208, 208), 0xFF808000u);
    SetSpriteImage(3, 9); // beyond the sheet: nothing
    EXPECT_EQ(SpriteFrame(3), 6);
}

TEST_F(Sprites, PrioritiesDrawLowFirstAndEqualOnesInOrder) {
    MakeImage(1, 20, 20, {kRed});
    MakeImage(2, 20, 20, {kGreen});
    MakeImage(3, 20, 20, {kBlue});
    PlaceSprite(1, 10, 10, 1);
    PlaceSprite(2, 15, 15, 2);
    PlaceSprite(3, 20, 20, 3);
    SetSpritePriority(1, 2);
    SetSpritePriority(2, 0);
    SetSpritePriority(3, 1);
    Frame();
    EXPECT_EQ(Pixel(22, 22), kRed);  // all three overlap here: the highest priority is on top
    EXPECT_EQ(Pixel(17, 17), kRed);  // red over green
    EXPECT_EQ(Pixel(32, 32), kBlue); // blue over green
    // The largest priority: the frame's gathering ends all the same, and the order holds.
    SetSpritePriority(2, 0x7FFFFFFF);
    Frame();
    EXPECT_EQ(Pixel(22, 22), kGreen);
    EXPECT_EQ(Pixel(32, 32), kGreen);
    SetSpritePriority(2, 0);
    SetSpritePriority(1, 0);
    SetSpritePriority(3, 0);
    Frame();
    EXPECT_EQ(Pixel(22, 22), kBlue); // equal priorities: the one added last covers
    SetSpritePriority(3, -1);
    Frame();
    EXPECT_EQ(Pixel(38, 38), kBlack); // a negative priority is never drawn
    HideSprite(2);
    Frame();
    EXPECT_EQ(Pixel(33, 33), kBlack);
}

// Priorities far apart, up to the largest: one walk of the list a frame, whatever their values.
TEST_F(Sprites, FarApartPrioritiesCostOneWalk) {
    MakeImage(1, 20, 20, {kRed});
    MakeImage(2, 20, 20, {kGreen});
    PlaceSprite(1, 10, 10, 1);
    PlaceSprite(2, 15, 15, 2);
    SetSpritePriority(1, 1000000);
    const std::int64_t before = g_Sprite.manager.GatherSteps();
    Frame();
    ASSERT_LE(g_Sprite.manager.GatherSteps() - before, 2);
    EXPECT_EQ(Pixel(17, 17), kRed);
    SetSpritePriority(2, INT_MAX);
    Frame();
    EXPECT_EQ(Pixel(17, 17), kGreen);
    EXPECT_LE(g_Sprite.manager.GatherSteps() - before, 4);
}

TEST_F(Sprites, HundredsOfSpritesAllDraw) {
    MakeImage(1, 4, 4, {kGreen});
    for (int i = 0; i < 150; ++i)
        PlaceSprite(i + 1, static_cast<float>((i % 30) * 10), static_cast<float>((i / 30) * 10), 1);
    Frame();
    for (int i = 0; i < 150; ++i)
        ASSERT_EQ(Pixel((i % 30) * 10 + 1, (i / 30) * 10 + 1), kGreen) << i;
    EXPECT_EQ(CountSprites(), 150);
}

TEST_F(Sprites, CollisionsCountSharedEdgesAndHitsOnce) {
    MakeImage(1, 10, 10, {kWhite});
    PlaceSprite(1, 0, 0, 1);
    PlaceSprite(2, 10, 0, 1);
    EXPECT_EQ(SpriteCollision(1, 2), 1);
    EXPECT_EQ(SpriteCollision(1, 0), 2);
    EXPECT_EQ(SpriteHit(1, 0), 2);
    EXPECT_EQ(SpriteHit(1, 0), 0); // still touching: no new hit
    PlaceSprite(2, 11, 0, 1);
    EXPECT_EQ(SpriteCollision(1, 2), 0);
    EXPECT_EQ(SpriteHit(1, 0), 0);
    PlaceSprite(2, 5, 5, 1);
    EXPECT_EQ(SpriteHit(1, 2), 1);       // with b given, the result is whether they touch
    EXPECT_EQ(SpriteCollision(2, 0), 1); // never a itself
    SpriteCollision(1, 9);
    EXPECT_EQ(cell.number, 302);
}

TEST_F(Sprites, BackSaveModesFollowTheFirstAndLastSprite) {
    MakeImage(1, 10, 10, {kWhite});
    EXPECT_EQ(g_Sprite.backSaveMode, 0);
    PlaceSprite(1, 0, 0, 1);
    EXPECT_EQ(g_Sprite.backSaveMode, 2);
    PlaceSprite(2, 0, 0, 1);
    DeleteSprite(1);
    EXPECT_EQ(g_Sprite.backSaveMode, 2);
    DeleteSprite(2);
    EXPECT_EQ(g_Sprite.backSaveMode, 0);
    // The restore clears to the backdrop while sprites exist.
    PlaceSprite(3, 500, 400, 1);
    g_Sprite.backSaveMode = 2;
    SpriteRestoreBackground();
    EXPECT_EQ(Pixel(5, 5), 0xFF000080u);

    // A restarted engine starts afresh: its first sprite sets the mode again.
    SetSprite(3, 1, 1);
    SetSpriteSmoothing(1);
    ShutdownEngine();
    ASSERT_EQ(StartEngine(), 0);
    EXPECT_EQ(g_Sprite.backSaveMode, 0);
    EXPECT_FALSE(g_Sprite.smoothing);
    MakeImage(1, 10, 10, {kWhite});
    PlaceSprite(4, 0, 0, 1);
    EXPECT_EQ(g_Sprite.backSaveMode, 2);
}

TEST(SpriteBackSave, SetSpriteBeforeTheFirstKeepsTheBackBuffer) {
    ResetCoreLoopState();
    LinkModules();
    RuntimeErrorRecord cell;
    SetCoreErrorHandler(&cell);
    ASSERT_EQ(CreateEngineWindow(1, 640, 480, 32, GetModuleHandleA(nullptr), ""), 0);
    SetSprite(1, 0, 1);
    PlaceSprite(2, 0, 0, -1);
    EXPECT_EQ(g_Sprite.backSaveMode, 0);
    EXPECT_EQ(cell.number, 0);
    ShutdownEngine();
}

TEST_F(Sprites, PlayCyclesNoFasterThanTheDelay) {
    MakeImage(5, 64, 16, {kRed, kGreen, kBlue, kWhite}, 4, 1);
    SaveImage(".\\strip-test.png", 5);
    CreateAnimatedSprite(6, ".\\strip-test.png", 4, 1, 7);
    DeleteFileA(".\\strip-test.png");
    std::vector<std::pair<std::int32_t, DWORD>> changes;
    const DWORD start = timeGetTime();
    std::int32_t last = -1;
    while (timeGetTime() - start < 600) {
        PlaySprite(6, 1, 4, 50);
        const std::int32_t frame = SpriteFrame(6);
        if (frame != last) changes.push_back({frame, timeGetTime()});
        last = frame;
        Sleep(1);
    }
    ASSERT_GE(changes.size(), 4u);
    for (std::size_t i = 2; i < changes.size(); ++i) {
        EXPECT_EQ(changes[i].first, changes[i - 1].first % 4 + 1)
            << "frames run 1, 2, 3, 4, 1, ...";
        EXPECT_GE(changes[i].second - changes[i - 1].second, 50u);
    }
    PlaySprite(6, 1, 4, -1);
    EXPECT_EQ(cell.number, 316);
}

TEST_F(Sprites, CommandsCheckTheirArguments) {
    MakeImage(1, 10, 10, {kWhite});
    PlaceSprite(1, 0, 0, 1);
    struct Case {
        void (*call)();
        std::int32_t error;
    };
    const Case cases[] = {
        {[] { ScaleSprite(1, 250000.5f); }, 311},
        {[] { StretchSprite(1, -1, 5); }, 311},
        {[] { SizeSprite(1, -1, 5); }, 312},
        {[] { SetSpriteAlpha(1, 256); }, 314},
        {[] { SetSpriteDiffuse(1, 0, -1, 0); }, 315},
        {[] { SetSpriteTextureCoordinates(1, 4, 0, 0); }, 317},
        {[] { CloneSprite(1, 1); }, 321},
        {[] { SetSprite(1, 3, 0); }, 303},
        {[] { SetSprite(1, 0, 2); }, 304},
        {[] { HideSprite(0); }, 301},
        {[] { HideSprite(22000001); }, 301},
        {[] { ShowSprite(9); }, 302},
        {[] { PlaceSprite(2, 0, 0, 0); }, 501},
        {[] { CreateAnimatedSprite(1, "x.png", 1, 1, 1); }, 321},
        {[] { CreateAnimatedSprite(8, "x.png", 0, 1, 1); }, 318},
        {[] { CreateAnimatedSprite(8, "x.png", 1, 0, 1); }, 319},
        {[] { CreateAnimatedSprite(8, "x.png", 1, 1, -1); }, 320},
    };
    for (const Case& c : cases) {
        cell.number = 0;
        c.call();
        EXPECT_EQ(cell.number, c.error);
    }
    EXPECT_FALSE(SpriteExist(2));
    EXPECT_EQ(SpriteX(9), -1);
    EXPECT_EQ(SpriteAlpha(1), 255);
    HideSpriteIfPresent(9); // no error for a missing sprite
    EXPECT_EQ(cell.number, 302);
}

TEST_F(Sprites, NewSpriteWithoutTextureIsMadeWithError) {
    PlaceSprite(4, 0, 0, 44);
    EXPECT_EQ(cell.number, 501);
    EXPECT_TRUE(SpriteExist(4));
}

TEST_F(Sprites, ASpriteWithoutAnImageShowsNoTextureOfThe3DModule) {
    MakeImage(-1, 10, 10, {kRed}); // the first texture the 3D module loads by name takes -1
    SetSprite(5, 0, 0);
    SizeSprite(5, 20, 20);
    PlaceSprite(5, 50, 50, -1);
    ASSERT_EQ(cell.number, 0);
    Frame();
    EXPECT_EQ(Pixel(55, 55), kWhite); // the vertex colour alone
    DeleteModuleImage(-1);
}

TEST_F(Sprites, ColourAlphaAndPasteOrder) {
    MakeImage(1, 10, 10, {kWhite});
    PlaceSprite(1, 50, 50, 1);
    SetSpriteDiffuse(1, 255, 0, 0);
    Frame();
    EXPECT_EQ(Pixel(55, 55), kRed);
    SetSpriteAlpha(1, 0);
    Frame();
    EXPECT_EQ(Pixel(55, 55), kBlack);
    SetSpriteAlpha(1, 255);
    // A paste draws at once, so the sprites drawn later in the frame cover it.
    MakeImage(2, 10, 10, {kGreen});
    ClearScreen(kBlack);
    PasteImage(2, 52, 52);
    SpriteUpdate();
    EXPECT_EQ(Pixel(55, 55), kRed);
    EXPECT_EQ(Pixel(61, 61), kGreen);
    MirrorSprite(1);
    EXPECT_EQ(SpriteMirrored(1), 1);
    EXPECT_FLOAT_EQ(Record(1).vertices[0].u, 1.0f);
}

// A sprite that cannot be made for want of memory is no sprite and says so (300), and drawing
// needs none: the room every sprite is drawn in is had when it is made.
TEST_F(Sprites, OutOfMemoryMakesNoSpriteAndDrawingNeedsNone) {
    MakeImage(1, 4, 4, {kWhite});
    for (std::int32_t n = 1; n <= 100; ++n)
        PlaceSprite(n, static_cast<float>(n), 0, 1);
    const auto sprites = [] {
        return std::to_string(CountSprites()) + (SpriteExist(101) ? "+101" : "") +
               (SpriteExist(102) ? "+102" : "");
    };
    using failing_heap::FailingRow;
    failing_heap::CheckFailingRows({
        FailingRow{"PlaceSprite", [] { PlaceSprite(101, 0, 0, 1); }, sprites, kSpriteNotMade},
        FailingRow{"CloneSprite", [] { CloneSprite(1, 102); }, sprites, kSpriteNotMade},
        FailingRow{"SpriteUpdate", SpriteUpdate, sprites, 0},
    });
}
