#include "core/win32.h"

#include "core/console.h"
#include "core/core_state.h"
#include "draw2d/draw2d.h"
#include "support/engine_fixture.h"
#include "support/failing_heap.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::uint32_t kBlack = 0xFF000000;

// Ends a line input that never sees its Enter, so a fault fails the case instead of hanging it.
class QuitAfter {
public:
    explicit QuitAfter(int ms) : thread_(GetCurrentThreadId()) {
        watchdog_ = std::thread([this, ms] {
            for (int waited = 0; waited < ms && !done_; waited += 20)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (!done_) PostThreadMessageA(thread_, WM_QUIT, 0, 0);
        });
    }
    ~QuitAfter() {
        done_ = true;
        watchdog_.join();
    }

private:
    DWORD thread_;
    std::atomic<bool> done_{false};
    std::thread watchdog_;
};

std::string Take(char* text) {
    std::string copy = text ? text : "<null>";
    FreeText(text);
    return copy;
}

class ConsoleTest : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0);
        ClearConsole();
        lineHeight = GetTextHeight("X");
        ASSERT_GT(lineHeight, 0);
    }
    void TearDown() override {
        g_FrameLoop.windowReady = 1; // a GDI case switches the display back end off
        EngineFixture::TearDown();
    }
    CoreData& Core() { return *g_CoreData; }
    void Type(const std::vector<WPARAM>& characters) {
        for (WPARAM c : characters)
            PostMessageA(Core().window, WM_CHAR, c, 0);
    }
    // Lit pixels of the render target in rows top to bottom, columns 0 to right.
    static int LitRows(int top, int bottom, int right = 200) {
        int lit = 0;
        Basic2DLockBackBuffer();
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < right; ++x)
                lit += GetPixelColour(x, y) != kBlack;
        Basic2DUnlockBackBuffer();
        return lit;
    }
    std::int32_t lineHeight = 0;
};

TEST_F(ConsoleTest, NumbersPrintInTheirTextForms) {
    PrintIntegerNoNewLine(-5);
    EXPECT_EQ(Core().printCursorX, GetTextWidth("-5"));
    PrintFloatNoNewLine(0.1);
    EXPECT_EQ(Core().printCursorX, GetTextWidth("-50.1"));
    PrintIntegerNoNewLine(-9000000000LL); // beyond 32 bits
    EXPECT_EQ(Core().printCursorX, GetTextWidth("-50.1-9000000000"));
    PrintFloat(1.0 / 3.0);
    EXPECT_EQ(Core().printCursorX, 0);
    EXPECT_EQ(Core().printCursorY, lineHeight);
    EXPECT_GT(LitRows(0, lineHeight, 400), 0);
}

TEST_F(ConsoleTest, LinesStartWhereTheCursorWasSet) {
    SetPrintCursor(100, 50);
    PrintStringNoNewLine("ab");
    EXPECT_EQ(Core().printCursorX, 100 + GetTextWidth("ab"));
    PrintString("cd");
    EXPECT_EQ(Core().printCursorX, 100);
    EXPECT_EQ(Core().printCursorY, 50 + lineHeight);
    PrintNewLine(); // an empty line still takes a line's height
    EXPECT_EQ(Core().printCursorY, 50 + 2 * lineHeight);
    PrintString(nullptr);
    EXPECT_EQ(Core().printCursorY, 50 + 2 * lineHeight);
    ClearConsole();
    EXPECT_EQ(Core().printCursorX, 0);
    EXPECT_EQ(Core().printCursorY, 0);
    EXPECT_EQ(LitRows(50, 50 + 2 * lineHeight, 300), 0);
}

TEST_F(ConsoleTest, ALineBelowTheWindowScrollsTheScreenUp) {
    const std::int32_t bottom = Core().windowHeight;
    SetPrintCursor(0, bottom - lineHeight);
    PrintString("WWWW");
    EXPECT_EQ(Core().printCursorY, bottom - lineHeight);
    EXPECT_GT(LitRows(bottom - 2 * lineHeight, bottom - lineHeight), 0);
    EXPECT_EQ(LitRows(bottom - lineHeight, bottom), 0);
}

TEST_F(ConsoleTest, ACursorAtTheEndOfTheRangeStaysOnItsSide) {
    const std::int32_t bottom = Core().windowHeight;
    // Far below: the line scrolls onto the last one, as one just below the window does.
    for (const std::int32_t y : {INT32_MAX - 1, INT32_MAX - lineHeight, bottom + 1}) {
        SetPrintCursor(0, y);
        PrintString("W");
        EXPECT_EQ(Core().printCursorY, bottom - lineHeight) << y;
    }
    SetPrintCursor(INT32_MAX - 1, 0); // far right: the cursor stays there
    PrintStringNoNewLine("W");
    EXPECT_EQ(Core().printCursorX, INT32_MAX);
    SetPrintCursor(0, INT32_MIN); // far above: a line lower, off the screen
    PrintString("W");
    EXPECT_EQ(Core().printCursorY, INT32_MIN + lineHeight);
}

TEST_F(ConsoleTest, LineEditorAppliesBackspaceAndEndsAtEnterEscapeOrQuit) {
    QuitAfter guard(10000);
    Type({8, 'a', 'b', 8, 'c', 13, 'z'}); // the first Backspace meets an empty line
    EXPECT_EQ(Take(InputStringLine(nullptr)), "ac");
    EXPECT_EQ(Core().printCursorY, lineHeight);
    Type({'x', 'y', 27});
    EXPECT_EQ(Take(InputStringLine(nullptr)), "xy");
    Type({'-', '4', '2', 13});
    EXPECT_EQ(InputInteger(), -42);
    Type({'2', '.', '5', 13});
    EXPECT_DOUBLE_EQ(InputFloat(), 2.5);
    Type({'k'});
    PostQuitMessage(0); // a quit keeps the text typed so far
    EXPECT_EQ(Take(InputStringLine(nullptr)), "k");
}

// A line that cannot be held raises 101 and leaves the caller its old text; the typing waits for
// the next line.
TEST_F(ConsoleTest, ALineThatCannotBeHeldKeepsTheOldText) {
    QuitAfter guard(10000);
    char* old = nullptr;
    CoreResizeString(&old, 4);
    std::strcpy(old, "old");
    Type({'a', 'b', 13});
    cell.number = 0;
    char* line = nullptr;
    failing_heap::CallFailing(
        1, [&] { line = InputStringLine(old); }, "InputStringLine");
    EXPECT_EQ(line, old);
    EXPECT_STREQ(old, "old");
    EXPECT_EQ(cell.number, 101);
    EXPECT_EQ(Take(InputStringLine(old)), "ab");
}

TEST_F(ConsoleTest, BeforeTheDisplayTextGoesToTheGdiPicture) {
    g_FrameLoop.windowReady = 0;
    PrintString("Hello");
    HDC picture = GetGdiConsoleDC();
    ASSERT_NE(picture, nullptr);
    SIZE size{};
    GetTextExtentPoint32A(picture, "X", 1, &size);
    EXPECT_EQ(Core().printCursorY, size.cy);
    int lit = 0;
    for (int y = 0; y < size.cy; ++y)
        for (int x = 0; x < 100; ++x)
            lit += GetPixel(picture, x, y) != RGB(0, 0, 0);
    EXPECT_GT(lit, 0);

    const std::int32_t bottom = Core().windowHeight;
    SetPrintCursor(0, bottom - size.cy);
    PrintString("Hello");
    EXPECT_EQ(Core().printCursorY, bottom - size.cy);
    ClearConsole();
    EXPECT_EQ(GetPixel(picture, 1, 1), RGB(0, 0, 0));
    StopGdiConsole();
    EXPECT_EQ(GetGdiConsoleDC(), nullptr);
}

class ConsoleTestSerial : public ConsoleTest {};

TEST_F(ConsoleTestSerial, TypedKeysMakeTheLine) {
    Core().escapeExit = 0; // Escape should end the line, not the program
    ASSERT_TRUE(RunXdotool("windowfocus " + std::to_string(XWindowOf(Core().window))));
    ASSERT_TRUE(PumpUntil([this] { return GetFocus() == Core().window; }));
    PumpFor(200);
    QuitAfter guard(15000);
    ASSERT_TRUE(RunXdotool("key --delay 60 BackSpace a b BackSpace c Escape"));
    EXPECT_EQ(Take(InputStringLine(nullptr)), "ac");
}

} // namespace
