#include "core/win32.h"

#include "bitmap/bitmap.h"
#include "display/display.h"
#include "draw2d/draw2d.h"
#include "draw2d/draw2d_work.h"
#include "support/engine_fixture.h"
#include "support/guarded_locks.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <utility>

namespace {

constexpr std::uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlack = 0xFF000000;

class Draw2D : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        ASSERT_NE(GetDirect3DDevice(), nullptr);
        ClearScreen(kBlack);
    }
    static std::uint32_t Pixel(std::int32_t x, std::int32_t y) { return GetPixelColour(x, y); }
    // The lit pixels of the display, moved by dx, dy; those moved off it left out.
    static std::set<std::pair<int, int>> Lit(int dx = 0, int dy = 0) {
        std::set<std::pair<int, int>> lit;
        Basic2DLockBackBuffer();
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                if (Pixel(x, y) != kBlack && x + dx >= 0 && x + dx < 640 && y + dy >= 0 &&
                    y + dy < 480)
                    lit.insert({x + dx, y + dy});
        Basic2DUnlockBackBuffer();
        return lit;
    }
};

} // namespace

TEST_F(Draw2D, ClearScreenColoursTheFrameAndHomesThePrintCursor) {
    g_CoreData->printCursorX = 5;
    g_CoreData->printCursorY = 6;
    ClearScreen(0xFF336699);
    EXPECT_EQ(Pixel(0, 0), 0xFF336699u);
    EXPECT_EQ(Pixel(639, 479), 0xFF336699u);
    EXPECT_EQ(g_CoreData->printCursorX, 0);
    EXPECT_EQ(g_CoreData->printCursorY, 0);
}

TEST_F(Draw2D, DotsAreClippedToTheDisplay) {
    SetInk(kRed, 0);
    EXPECT_EQ(g_CoreData->inkForeground, kRed);
    DrawDot(3, 4);
    DrawDot(639, 479);
    DrawDot(-1, 5);
    DrawDot(640, 10); // the back buffer is wider than the 640-wide display
    EXPECT_EQ(Pixel(3, 4), kRed);
    EXPECT_EQ(Pixel(639, 479), kRed);
    EXPECT_EQ(Pixel(640, 10), 0u); // outside the display reads as 0
    LockBackBuffer();              // the display module's own view of the whole back buffer
    ASSERT_GT(GetBackBufferWidth(), 640);
    const auto* row =
        static_cast<const std::uint8_t*>(GetBackBufferPointer()) + 10 * GetBackBufferPitch();
    EXPECT_EQ(reinterpret_cast<const std::uint32_t*>(row)[640] & 0xFFFFFF, 0u);
    UnlockBackBuffer();
}

TEST_F(Draw2D, LinesAndBoxes) {
    SetInk(kRed, 0);
    DrawLine2D(10, 20, 50, 20);
    DrawLine2D(100, 100, 140, 140);
    DrawLine2D(300, 10, 300, 60);
    EXPECT_EQ(Pixel(30, 20), kRed);
    EXPECT_EQ(Pixel(30, 22), kBlack);
    EXPECT_EQ(Pixel(120, 120), kRed);
    EXPECT_EQ(Pixel(300, 35), kRed);
    EXPECT_EQ(Pixel(302, 35), kBlack);

    SetInk(kGreen, 0);
    FillBox(200, 200, 220, 210);
    EXPECT_EQ(Pixel(205, 205), kGreen);
    EXPECT_EQ(Pixel(219, 209), kGreen);
    EXPECT_EQ(Pixel(220, 205), kBlack); // right and bottom edges are outside
    EXPECT_EQ(Pixel(205, 210), kBlack);
    EXPECT_EQ(Pixel(199, 205), kBlack);
    FillBox(250, 250, 240, 260); // an inverted box draws nothing
    EXPECT_EQ(Pixel(245, 255), kBlack);
}

TEST_F(Draw2D, CirclesAndEllipses) {
    SetInk(kRed, 0);
    DrawCircle(300, 300, 10);
    EXPECT_EQ(Pixel(310, 300), kRed);
    EXPECT_EQ(Pixel(290, 300), kRed);
    EXPECT_EQ(Pixel(300, 310), kRed);
    EXPECT_EQ(Pixel(300, 290), kRed);
    EXPECT_EQ(Pixel(308, 308), kRed); // where the midpoint walk meets the diagonal
    EXPECT_EQ(Pixel(307, 307), kBlack);
    EXPECT_EQ(Pixel(300, 300), kBlack);
    DrawCircle(50, 400, 0);
    EXPECT_EQ(Pixel(50, 400), kRed);
    DrawCircle(0, 0, 20); // mostly off the display: clipped, not a crash

    SetInk(kGreen, 0);
    DrawEllipse(400, 300, 30, 10);
    EXPECT_EQ(Pixel(400, 310), kGreen);
    EXPECT_EQ(Pixel(400, 290), kGreen);
    EXPECT_EQ(Pixel(429, 300), kGreen); // sin never quite reaches 1 in the 0.001 steps
    EXPECT_EQ(Pixel(371, 300), kGreen);
    EXPECT_EQ(Pixel(400, 300), kBlack);
}

// A circle's walk covers what the display can show of it, whatever its radius.
TEST_F(Draw2D, CirclesOfAnyRadiusDrawWhatTheDisplayShows) {
    SetInk(kRed, 0);
    const std::int64_t before = CircleStepsTaken();
    DrawCircle(100, 100, INT_MAX); // the display lies inside it
    DrawCircle(100, 100, INT_MIN);
    EXPECT_LE(CircleStepsTaken() - before, 2 * (640 + 480));
    EXPECT_EQ(Lit().size(), 0u);
    // The bottom of a circle whose centre is 2^31 pixels up: flat across the display.
    DrawCircle(100, 300 - INT_MAX, INT_MAX);
    EXPECT_EQ(Pixel(60, 300), kRed);
    EXPECT_EQ(Pixel(140, 300), kRed);
    EXPECT_EQ(Pixel(140, 299), kBlack);
    // Partly off the display, at either corner: exactly the part of the whole circle it shows.
    ClearScreen(kBlack);
    DrawCircle(320, 240, 150);
    const auto whole = Lit(), topLeft = Lit(-420, -300), bottomRight = Lit(380, 300);
    ASSERT_GT(whole.size(), 800u);
    ASSERT_GT(topLeft.size(), 50u);
    ClearScreen(kBlack);
    DrawCircle(-100, -60, 150);
    EXPECT_EQ(Lit(), topLeft);
    ClearScreen(kBlack);
    DrawCircle(700, 540, 150);
    EXPECT_EQ(Lit(), bottomRight);
}

// Centres near the 32-bit limit: points are placed in 64 bits, never wrapped onto the display.
TEST_F(Draw2D, OutlinesNearTheLimitsNeverWrapOntoTheDisplay) {
    SetInk(kRed, 0);
    // Both reach x = 4 at their right ends, and no further.
    DrawEllipse(INT_MIN + 5, 100, INT_MAX, 10);
    DrawCircle(INT_MIN + 5, 240, INT_MAX);
    const auto lit = Lit();
    EXPECT_EQ(lit.count({4, 240}), 1u);
    for (const auto& [x, y] : lit)
        EXPECT_LE(x, 4) << "at " << x << ", " << y;
}

TEST_F(Draw2D, SixteenBitTargetsUse565) {
    IDirect3DSurface9* target16 = nullptr;
    if (FAILED(GetDirect3DDevice()->CreateRenderTarget(64, 64, D3DFMT_R5G6B5, D3DMULTISAMPLE_NONE,
                                                       0, TRUE, &target16, nullptr)))
        GTEST_SKIP() << "no 16-bit render target on this device";
    IDirect3DSurface9* saved = g_CoreData->renderTarget;
    g_CoreData->renderTarget = g_CoreData->drawingSurface = target16;
    SetInk(0xFFFFFFFF, 0);
    DrawDot(5, 5);
    EXPECT_EQ(Pixel(5, 5), 0xFFFFFFFFu); // 31 x 8.3 and 63 x 4.1 clamp to 255
    SetInk(MakeRgb(0x80, 0x40, 0x08), 0);
    DrawDot(6, 5);
    EXPECT_EQ(Pixel(6, 5), 0xFF844108u); // 16 x 8.3, 16 x 4.1, 1 x 8.3
    DrawDot(63, 63);
    DrawDot(64, 10); // past the surface
    EXPECT_EQ(Pixel(63, 63), Pixel(6, 5));
    g_CoreData->renderTarget = saved;
    g_CoreData->drawingSurface = nullptr;
    target16->Release();
}

// A pixel lock of a bitmap ends when the bitmap goes or is made again. The locked bytes are a
// guarded copy, freed when the lock ends, and the test holds its own reference on the surface: the
// lock no longer hands the bytes out, the surface can be locked again, no dot lands in it, the
// test's reference is the last, and the dots go to what is drawn into now.
TEST_F(Draw2D, APixelLockEndsWhenItsBitmapGoes) {
    GuardedLocks guard(GetDirect3DDevice());
    ASSERT_TRUE(guard.Active());
    const std::pair<const char*, void (*)()> rows[] = {
        {"deleted", [] { DeleteBitmap(1); }},
        {"made again", [] { CreateBitmap(1, 64, 64); }},
        {"made again from a block",
         [] {
             const std::uint32_t pixels[4] = {};
             MakeBitmapFromMemblock(1, 2, 2, 32, reinterpret_cast<const std::uint8_t*>(pixels),
                                    sizeof pixels);
         }},
        // As when the bitmaps stop before the 2D drawing does.
        {"every bitmap dropped",
         [] {
             BitmapRefreshD3D(0);
             BitmapRefreshD3D(1);
         }},
    };
    for (const auto& [name, replace] : rows) {
        SetCurrentBitmap(0);
        ClearScreen(kBlack);
        CreateBitmap(1, 256, 256);
        SetInk(kRed, 0);
        Basic2DLockBackBuffer();
        IDirect3DSurface9* surface = g_CoreData->renderTarget;
        surface->AddRef();
        void* bytes = GetBackBufferPtr();
        ASSERT_NE(bytes, nullptr) << name;
        replace();
        EXPECT_NE(GetBackBufferPtr(), bytes) << name;
        D3DLOCKED_RECT mine{};
        const bool free = SUCCEEDED(surface->LockRect(&mine, nullptr, D3DLOCK_READONLY));
        EXPECT_TRUE(free) << name << ": still locked";
        if (free) surface->UnlockRect();
        for (int i = 0; i < 100; ++i)
            DrawDot(i % 10, i / 10);
        Basic2DUnlockBackBuffer();
        ASSERT_TRUE(SUCCEEDED(surface->LockRect(&mine, nullptr, D3DLOCK_READONLY))) << name;
        const auto* row = static_cast<const std::uint8_t*>(mine.pBits) + 5 * mine.Pitch;
        EXPECT_EQ(reinterpret_cast<const std::uint32_t*>(row)[5] & 0xFFFFFF, 0u) << name;
        surface->UnlockRect();
        surface->AddRef();
        EXPECT_EQ(surface->Release(), 1u) << name << ": another reference is kept";
        surface->Release();
        EXPECT_EQ(Pixel(5, 5), kRed) << name;
        if (BitmapExist(1)) DeleteBitmap(1);
    }
}

// Surfaces the platform makes at sizes whose bytes pass 32 bits (4 x 46,341^2 wraps to 18,532
// bytes) are never locked for pixels, so no dot is written past their real bytes; a surface of a
// sound size is.
TEST_F(Draw2D, SurfacesWhoseBytesPass32BitsAreNeverLocked) {
    IDirect3DSurface9* saved = g_CoreData->renderTarget;
    const std::pair<UINT, UINT> rows[] = {{46341, 46341}, {65536, 65536}, {32768, 32768}, {64, 64}};
    for (const auto& [width, height] : rows) {
        IDirect3DSurface9* surface = nullptr;
        if (FAILED(GetDirect3DDevice()->CreateRenderTarget(
                width, height, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE, &surface, nullptr)))
            continue; // the device refuses the size itself
        g_CoreData->renderTarget = g_CoreData->drawingSurface = surface;
        Basic2DLockBackBuffer();
        const bool locked = GetBackBufferPtr() != nullptr;
        if (!locked || width == 64) DrawDot(0, 30000); // past the real bytes of the large ones
        Basic2DUnlockBackBuffer();
        g_CoreData->renderTarget = saved;
        g_CoreData->drawingSurface = nullptr;
        surface->Release();
        EXPECT_EQ(locked, width == 64) << width << " x " << height;
    }
}

TEST(Colours, MakeRgbSplitAnd565) {
    EXPECT_EQ(MakeRgb(255, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(MakeRgb(1, 2, 3), 0xFF010203u);
    EXPECT_EQ(RgbRed(0x12345678), 0x34);
    EXPECT_EQ(RgbGreen(0x12345678), 0x56);
    EXPECT_EQ(RgbBlue(0x12345678), 0x78);
    EXPECT_EQ(Rgb565(255, 255, 255), 0xFFFF);
    EXPECT_EQ(Rgb565(8, 4, 8), (1 << 11) | (1 << 5) | 1);
    EXPECT_EQ(Rgb565(7, 3, 7), 0);
}

TEST_F(Draw2D, CopyScreenAreaMovesPixelsEvenWhenOverlapping) {
    SetInk(kRed, 0);
    FillBox(0, 0, 10, 10);
    CopyScreenArea(50, 50, 10, 10, 0, 0);
    EXPECT_EQ(Pixel(55, 55), kRed);
    EXPECT_EQ(Pixel(60, 60), kBlack);
    CopyScreenArea(5, 5, 20, 20, 0, 0); // overlapping: read before written
    EXPECT_EQ(Pixel(14, 14), kRed);
    EXPECT_EQ(Pixel(16, 16), kBlack);
    CopyScreenArea(-5, 0, 10, 10, 0, 0); // off the target: nothing
    CopyScreenArea(0, 0, 10, 10, 5000, 5000);
    // Positions and sizes whose 32-bit sums would wrap round into the surface copy nothing.
    constexpr std::int32_t kNear = 0x7FFFFFF0;
    CopyScreenArea(0, 0, kNear, kNear, kNear, kNear);
    CopyScreenArea(kNear, kNear, kNear, kNear, 0, 0);
    CopyScreenArea(0, 0, kNear, kNear, -kNear, -kNear);
    EXPECT_EQ(Pixel(0, 0), kRed);
    EXPECT_EQ(Pixel(16, 16), kBlack);
}

TEST_F(Draw2D, ShadedBoxBlendsItsCorners) {
    DrawShadedBox(100, 100, 200, 200, kRed, kRed, kRed, kRed);
    EXPECT_EQ(Pixel(150, 150), kRed);
    DrawShadedBox(300, 100, 400, 200, 0x8000FF00, 0x8000FF00, 0x8000FF00, 0x8000FF00);
    const std::uint32_t half = Pixel(350, 150);
    EXPECT_NEAR(RgbGreen(half), 0x80, 2);
    EXPECT_EQ(RgbRed(half), 0);
    EXPECT_EQ(Pixel(250, 150), kBlack);
}

TEST(Draw2DWithoutEngine, EveryCommandIsSafe) {
    ClearScreen(0);
    SetInk(1, 2);
    FillBox(0, 0, 10, 10);
    DrawLine2D(0, 0, 5, 5);
    DrawDot(1, 1);
    DrawCircle(5, 5, 3);
    DrawEllipse(5, 5, 3, 2);
    EXPECT_EQ(GetPixelColour(1, 1), 0u);
    DrawShadedBox(0, 0, 5, 5, 0, 0, 0, 0);
    CopyScreenArea(0, 0, 5, 5, 1, 1);
    Basic2DLockBackBuffer();
    EXPECT_EQ(GetBackBufferPtr(), nullptr);
    Basic2DUnlockBackBuffer();
}
