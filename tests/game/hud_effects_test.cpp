#include "core/win32.h"

#include "game/effects.h"
#include "game/hud.h"
#include "game/play_board.h"
#include "input/input_state.h"

#include <gtest/gtest.h>

TEST(ImageFont, ThousandsAndTimes) {
    EXPECT_EQ(FormatThousands("999"), "999");
    EXPECT_EQ(FormatThousands("12345"), "12,345");
    EXPECT_EQ(FormatThousands("1000000"), "1,000,000");
    EXPECT_EQ(FormatTime(9), "0:09");
    EXPECT_EQ(FormatTime(120), "2:00");
}

TEST(MouseEdges, AHeldButtonIsOnePress) {
    ResetMouseButtons();
    g_Input.mouse = nullptr; // no device: every read sees no button
    UpdateMouseButtons();
    // Click code 0 (nothing held) is itself an edge the first time it appears.
    EXPECT_TRUE(WasMouseButtonPressed(0));
    UpdateMouseButtons();
    EXPECT_FALSE(WasMouseButtonPressed(0));
    EXPECT_FALSE(WasMouseButtonPressed(1));
    EXPECT_FALSE(WasMouseButtonPressed(3));
}

TEST(Particles, ThePoolKeepsItsFirstThousand) {
    ParticlePool& pool = Particles();
    pool.Clear();
    for (int i = 0; i < 1200; ++i)
        SpawnAnimation(i, 0, 0, 0, 13, 5, 2, 30, false);
    EXPECT_EQ(pool.ActiveCount(), kParticles);
    EXPECT_EQ(static_cast<int>(pool.slots[999].x), 999);
    pool.Update();
    EXPECT_EQ(pool.slots[0].life, 29);
    pool.Clear();
    EXPECT_EQ(pool.ActiveCount(), 0);
    SpawnFallingFragment(10, 20, 1, 0, 0, 0.5f, 13, 0, 1, 0, false);
    pool.Update(); // life 0 -> -1: gone after moving once
    EXPECT_EQ(pool.ActiveCount(), 0);
    EXPECT_FLOAT_EQ(pool.slots[0].vy, 0.5f);
}

TEST(Particles, AnimationsHoldOrLoop) {
    SpriteAnimation held{0, 2, 0, 20, 3, 20};
    int shown[10];
    for (int& s : shown)
        s = held.StepSpriteAnimation();
    EXPECT_EQ(shown[0], 20);
    EXPECT_EQ(shown[1], 21);
    EXPECT_EQ(shown[9], 23); // held at first + extra
    SpriteAnimation looping{0, 1, 1, 20, 3, 20};
    EXPECT_EQ(looping.StepSpriteAnimation(), 21);
    EXPECT_EQ(looping.StepSpriteAnimation(), 22);
    EXPECT_EQ(looping.StepSpriteAnimation(), 20); // first .. first + extra - 1
}

TEST(Backdrop, TilesWithoutAGapAndGlidesToItsScheme) {
    Backdrop& b = TheBackdrop();
    b.Reset();
    const std::int32_t red = b.targetRed, green = b.targetGreen, blue = b.targetBlue;
    b.SetScheme(9); // not a scheme: the target stays
    for (int frame = 0; frame < 5000; ++frame) {
        b.Update();
        // Two copies, at the offset and 768 above: the screen's rows are always covered.
        ASSERT_GE(b.offset, 0.0f);
        ASSERT_LE(b.offset, 768.0f);
    }
    EXPECT_EQ(b.red, red);
    EXPECT_EQ(b.green, green);
    EXPECT_EQ(b.blue, blue);
}
