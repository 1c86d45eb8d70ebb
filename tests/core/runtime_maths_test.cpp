#include "core/win32.h"

#include "core/console.h"
#include "core/core_state.h"
#include "core/runtime_maths.h"
#include "core/window.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstring>
#include <limits>
#include <string>
#include <thread>

namespace {

// Takes a new text from the core's allocator and frees it.
std::string Take(char* text) {
    std::string copy = text ? text : "<null>";
    FreeText(text);
    return copy;
}

bool Matches(const std::string& text, const char* pattern) {
    if (text.size() != std::strlen(pattern)) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (pattern[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(text[i]))
                              : text[i] != pattern[i])
            return false;
    }
    return true;
}

TEST(RuntimeMathsTest, WrapAngleBringsAnglesIntoOneTurn) {
    EXPECT_FLOAT_EQ(WrapAngle(-30.0f), 330.0f);
    EXPECT_FLOAT_EQ(WrapAngle(720.0f), 0.0f);
    EXPECT_FLOAT_EQ(WrapAngle(359.5f), 359.5f);
    EXPECT_FLOAT_EQ(WrapAngle(360.0f), 0.0f);
    EXPECT_FLOAT_EQ(WrapAngle(-720.5f), 359.5f);
    EXPECT_FLOAT_EQ(WrapAngleValue(-30.0f), 330.0f);
    // Angles that cannot be brought into range give 0 instead of looping or overflowing.
    EXPECT_EQ(WrapAngle(1e20f), 0.0f);
    EXPECT_EQ(WrapAngle(std::numeric_limits<float>::quiet_NaN()), 0.0f);
}

TEST(RuntimeMathsTest, EasingTakesSpeedsBelowOneAsOne) {
    EXPECT_FLOAT_EQ(EaseValue(10.0f, 0.0f, 0.5f), 10.0f);
    EXPECT_FLOAT_EQ(EaseValue(10.0f, 0.0f, -3.0f), 10.0f);
    EXPECT_FLOAT_EQ(EaseValue(10.0f, 0.0f, 4.0f), 2.5f);
    EXPECT_FLOAT_EQ(EaseAngle(90.0f, 0.0f, 0.5f), 90.0f);
    // Both directions take the short way through 0.
    EXPECT_NEAR(EaseAngle(10.0f, 350.0f, 2.0f), 0.0f, 1e-3f);
    EXPECT_NEAR(EaseAngle(350.0f, 10.0f, 2.0f), 0.0f, 1e-3f);
    EXPECT_FLOAT_EQ(EaseAngle(200.0f, 10.0f, 1.0f), 200.0f);
    EXPECT_FLOAT_EQ(EaseAngle(-90.0f, 0.0f, 3.0f), 330.0f);
}

TEST(RuntimeMathsTest, DegreeFunctionsWorkInDegrees) {
    EXPECT_NEAR(SinDegrees(90.0f), 1.0f, 1e-6f);
    EXPECT_NEAR(CosDegrees(180.0f), -1.0f, 1e-6f);
    EXPECT_NEAR(TanDegrees(45.0f), 1.0f, 1e-5f);
    EXPECT_NEAR(ACosDegrees(0.0f), 90.0f, 1e-4f);
    EXPECT_NEAR(ASinDegrees(-1.0f), -90.0f, 1e-4f);
    EXPECT_NEAR(ATan2Degrees(1.0f, -1.0f), 135.0f, 1e-4f);
    EXPECT_NEAR(MoveXByAngle(1.0f, 90.0f, 2.0f), 3.0f, 1e-5f);
    EXPECT_NEAR(MoveYByAngle(1.0f, 90.0f, 2.0f), -1.0f, 1e-5f);
    EXPECT_NEAR(MoveZByAngle(1.0f, 180.0f, 2.0f), -1.0f, 1e-5f);
    EXPECT_EQ(FloatToInteger(-2.7f), -2);
}

TEST(RuntimeMathsTest, RndCoversZeroToNInclusive) {
    Randomize(7);
    EXPECT_EQ(Rnd(0), 0);
    EXPECT_EQ(Rnd(-5), 0);
    bool seen[2] = {};
    for (int i = 0; i < 200; ++i) {
        const std::int32_t r = Rnd(1);
        ASSERT_TRUE(r == 0 || r == 1) << r;
        seen[r] = true;
    }
    EXPECT_TRUE(seen[0] && seen[1]);
    bool aboveRandMax = false;
    for (int i = 0; i < 200; ++i) {
        const std::int32_t r = Rnd(100000);
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 100000);
        aboveRandMax |= r > RAND_MAX;
    }
    EXPECT_TRUE(aboveRandMax);
    EXPECT_GE(Rnd(std::numeric_limits<std::int32_t>::max()), 0);
}

TEST(RuntimeMathsTest, TextsAreNewCopiesInTheirForms) {
    EXPECT_TRUE(Matches(Take(GetDateText(nullptr)), "dd/dd/dd"));
    EXPECT_TRUE(Matches(Take(GetTimeText(GetTimeText(nullptr))), "dd:dd:dd"));

    EXPECT_EQ(Take(GetEntryText(nullptr)), "");
    char source[] = "typed";
    SetEntryTextSource(source);
    char* copy = GetEntryText(nullptr);
    EXPECT_NE(copy, source);
    EXPECT_EQ(Take(copy), "typed");
    SetEntryTextSource(nullptr);

    char* saved = g_CoreData->extraText;
    EXPECT_EQ(Take(GetCoreDataText(nullptr)), "");
    char extra[] = "extra";
    g_CoreData->extraText = extra;
    EXPECT_EQ(Take(GetCoreDataText(nullptr)), "extra");
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

TEST_F(RuntimeMathsEngine, WaitKeyFirstWaitsForTheHeldKeyToGoUp) {
    g_CoreWindow.lastKeyCode = 'A';
    PostMessageA(Window(), WM_KEYUP, 'A', 0);
    std::thread press = PostLater(Window(), WM_KEYDOWN, 'B');
    WaitKey();
    press.join();
    EXPECT_EQ(g_CoreWindow.lastKeyCode, 'B');
}

TEST_F(RuntimeMathsEngine, WaitMouseFirstWaitsForTheHeldButtonToGoUp) {
    g_CoreData->mouseButtons = 1;
    PostMessageA(Window(), WM_LBUTTONUP, 0, 0);
    std::thread press = PostLater(Window(), WM_RBUTTONDOWN, 0);
    WaitMouse();
    press.join();
    EXPECT_EQ(g_CoreData->mouseButtons, 2u);
}

} // namespace
