#include "core/win32.h"

#include "core/console.h"
#include "core/core_state.h"
#include "core/runtime_maths.h"
#include "core/window.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <regex>
#include <string>
#include <thread>
#include <utility>

namespace {

// Takes a new text from the core's allocator and frees it.
std::string Take(char* text) {
    std::string copy = text ? text : "<null>";
    FreeText(text);
    return copy;
}

TEST(RuntimeMathsTest, WrapAngleBringsAnglesIntoOneTurn) {
    EXPECT_FLOAT_EQ(WrapAngle(-30.0f), 330.0f);
    EXPECT_FLOAT_EQ(WrapAngle(360.0f), 0.0f);
    EXPECT_FLOAT_EQ(WrapAngle(-720.5f), 359.5f);
    // Angles that cannot be brought into range give 0 instead of looping or overflowing.
    EXPECT_EQ(WrapAngle(1e20f), 0.0f);
    EXPECT_EQ(WrapAngle(std::numeric_limits<float>::quiet_NaN()), 0.0f);
}

TEST(RuntimeMathsTest, FloatToIntegerTruncatesAndMarksWhatDoesNotFit) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, std::int32_t> cases[] = {{-2.9f, -2},
                                                    {2147483520.0f, 2147483520},
                                                    {-2147483648.0f, INT32_MIN},
                                                    {2147483648.0f, INT32_MIN},
                                                    {1e30f, INT32_MIN},
                                                    {-1e30f, INT32_MIN},
                                                    {inf, INT32_MIN},
                                                    {nan, INT32_MIN}};
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(FloatToInteger(value), expected) << value;
}

TEST(RuntimeMathsTest, EasingAndMovingByAngle) {
    EXPECT_FLOAT_EQ(EaseValue(10.0f, 0.0f, -3.0f), 10.0f); // speeds below one count as one
    EXPECT_FLOAT_EQ(EaseValue(10.0f, 0.0f, 4.0f), 2.5f);
    // Both directions take the short way through 0.
    EXPECT_NEAR(EaseAngle(10.0f, 350.0f, 2.0f), 0.0f, 1e-3f);
    EXPECT_NEAR(EaseAngle(350.0f, 10.0f, 2.0f), 0.0f, 1e-3f);
    EXPECT_FLOAT_EQ(EaseAngle(200.0f, 10.0f, 1.0f), 200.0f);
    // x goes with the sine, z with the cosine, y against the sine; angles are in degrees.
    EXPECT_NEAR(MoveXByAngle(1.0f, 90.0f, 2.0f), 3.0f, 1e-5f);
    EXPECT_NEAR(MoveYByAngle(1.0f, 90.0f, 2.0f), -1.0f, 1e-5f);
    EXPECT_NEAR(MoveZByAngle(1.0f, 180.0f, 2.0f), -1.0f, 1e-5f);
    EXPECT_NEAR(ATan2Degrees(1.0f, -1.0f), 135.0f, 1e-4f);
}

TEST(RuntimeMathsTest, RndCoversZeroToNInclusive) {
    Randomize(7);
    EXPECT_EQ(Rnd(0), 0);
    EXPECT_EQ(Rnd(-5), 0);
    bool seen[2] = {}, aboveRandMax = false;
    for (int i = 0; i < 200; ++i) {
        const std::int32_t r = Rnd(1), big = Rnd(100000);
        ASSERT_TRUE(r == 0 || r == 1) << r;
        ASSERT_TRUE(big >= 0 && big <= 100000) << big;
        seen[r] = true;
        aboveRandMax |= big > RAND_MAX;
    }
    EXPECT_TRUE(seen[0] && seen[1] && aboveRandMax);
    EXPECT_GE(Rnd(std::numeric_limits<std::int32_t>::max()), 0); // n + 1 would overflow
}

TEST(RuntimeMathsTest, TextsAreNewCopiesInTheirForms) {
    EXPECT_TRUE(std::regex_match(Take(GetDateText(nullptr)), std::regex(R"(\d\d/\d\d/\d\d)")));
    EXPECT_TRUE(
        std::regex_match(Take(GetTimeText(GetTimeText(nullptr))), std::regex(R"(\d\d:\d\d:\d\d)")));
    EXPECT_EQ(Take(GetEntryText(nullptr)), "");
    char source[] = "typed";
    SetEntryTextSource(source);
    char* copy = GetEntryText(nullptr);
    EXPECT_NE(copy, source);
    EXPECT_EQ(Take(copy), "typed");
    SetEntryTextSource(nullptr);
    char* saved = std::exchange(g_CoreData->extraText, nullptr);
    EXPECT_EQ(Take(GetCoreDataText(nullptr)), "");
    g_CoreData->extraText = saved;
}

TEST(RuntimeMathsTest, SessionRandomIsKeptUntilDisabled) {
    const std::uint32_t first = GetSessionRandom();
    EXPECT_LT(first, 1000000u);
    EXPECT_EQ(GetSessionRandom(), first);
    DisableSessionRandom();
    EXPECT_EQ(GetSessionRandom(), 0xFFFFFFFFu);
}

class RuntimeMathsEngine : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0);
    }
    HWND Window() const { return g_CoreData->window; }
    // A press that comes in a later pump than the release.
    static std::thread PostLater(HWND window, UINT message, WPARAM wParam) {
        return std::thread([=] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            PostMessageA(window, message, wParam, 0);
        });
    }
};

TEST_F(RuntimeMathsEngine, InkeyTextHoldsTheCharacterUntilKeyUp) {
    PostMessageA(Window(), WM_CHAR, 'q', 0);
    PumpFor(50);
    EXPECT_EQ(Take(GetInkeyText(nullptr)), "q");
    PostMessageA(Window(), WM_KEYUP, 'Q', 0);
    PumpFor(50);
    EXPECT_EQ(Take(GetInkeyText(nullptr)), "");
}

TEST_F(RuntimeMathsEngine, WaitsRunTheirTimeAndEndAtAQuit) {
    const std::int32_t before = GetTimer();
    WaitMilliseconds(30);
    EXPECT_GE(GetTimer() - before, 30);

    PostQuitMessage(0);
    const std::int32_t start = GetTimer();
    WaitMilliseconds(60000);
    EXPECT_LT(GetTimer() - start, 10000);
    WaitKey(); // would never return without the quit
    WaitMouse();
}

TEST_F(RuntimeMathsEngine, WaitKeyAndWaitMouseFirstWaitForTheHeldInputToGoUp) {
    g_CoreWindow.lastKeyCode = 'A';
    PostMessageA(Window(), WM_KEYUP, 'A', 0);
    std::thread press = PostLater(Window(), WM_KEYDOWN, 'B');
    WaitKey();
    press.join();
    EXPECT_EQ(g_CoreWindow.lastKeyCode, 'B');

    g_CoreData->mouseButtons = 1;
    PostMessageA(Window(), WM_LBUTTONUP, 0, 0);
    press = PostLater(Window(), WM_RBUTTONDOWN, 0);
    WaitMouse();
    press.join();
    EXPECT_EQ(g_CoreData->mouseButtons, 2u);
}

} // namespace
