#include "core/win32.h"

#include "game/hiscores.h"
#include "game/hud.h"
#include "game/play_board.h"
#include "game/review.h"
#include "game/settings.h"
#include "input/input.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class ReviewTest : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        ResetMouseButtons();
    }
};

// Frames until the panel leaves its state, stepping as the board does.
int FramesIn(ReviewPanel& panel) {
    const std::int32_t state = panel.state;
    int frames = 0;
    while (panel.state == state && frames < 1000) {
        panel.Step();
        ++frames;
    }
    return frames;
}

void Click(ReviewPanel& panel) {
    QueueMouseClick(1);
    UpdateMouseButtons();
    panel.HandleInput();
}

} // namespace

TEST_F(ReviewTest, PanelsFadeRevealWaitAndClose) {
    Board().score = 4321;
    ReviewPanel& panel = Review(ReviewKind::TimeAttack);
    panel.Open();
    EXPECT_EQ(Settings().finalScore, 4321);
    Click(panel); // ignored while fading in
    EXPECT_EQ(FramesIn(panel), 33);
    for (std::int32_t state = 1; state <= 9; ++state) {
        ASSERT_EQ(panel.state, state);
        EXPECT_EQ(FramesIn(panel), 2) << "reveal step " << state;
    }
    ASSERT_EQ(panel.state, 10);
    for (int i = 0; i < 100; ++i)
        EXPECT_TRUE(panel.Step()); // waits for a click, blinking
    Click(panel);
    ASSERT_EQ(panel.state, 11);
    Click(panel); // ignored while closing
    EXPECT_EQ(FramesIn(panel), 31);
    EXPECT_EQ(panel.state, 12);
    EXPECT_FALSE(panel.Step());

    // A click during the reveal goes to the wait; the level's total was set by the board.
    Settings().finalScore = 77;
    ReviewPanel& level = Review(ReviewKind::LevelComplete);
    level.Open();
    EXPECT_EQ(Settings().finalScore, 77);
    for (int i = 0; i < 36; ++i)
        level.Step();
    ASSERT_EQ(level.state, 2);
    Click(level);
    EXPECT_EQ(level.state, 10);
}

// Keys come from the keyboard: real presses to the focused window, one held key at a time.
class NameEntrySerial : public ReviewTest {
protected:
    void SetUp() override {
        ReviewTest::SetUp();
        ASSERT_TRUE(RunXdotool("windowfocus " + std::to_string(XWindowOf(g_CoreData->window))));
        ASSERT_TRUE(PumpUntil([] { return GetFocus() == g_CoreData->window; }));
        PumpFor(200);
    }
    // Holds a key until the entry has taken it (or a while has passed), then lets it go.
    void Press(const char* key, std::int32_t expectLength) {
        NameEntryPanel& entry = NameEntry();
        RunXdotool(std::string("keydown ") + key);
        PumpUntil([&] { return GetScanCode() != 0; });
        PumpUntil(
            [&] {
                entry.Step();
                entry.HandleInput();
                return entry.length == expectLength;
            },
            600);
        RunXdotool(std::string("keyup ") + key);
        PumpUntil([] { return GetScanCode() == 0; });
        for (int i = 0; i < 12; ++i)
            entry.Step(); // the repeat delay runs out
    }
};

TEST_F(NameEntrySerial, NineLettersAndBackspace) {
    Board().score = 500;
    NameEntryPanel& entry = NameEntry();
    entry.Open();
    Press("BackSpace", 0); // nothing to take back
    EXPECT_EQ(entry.length, 0);
    const char* letters[] = {"a", "s", "d", "f", "g", "h", "j", "k", "l", "q"};
    for (int i = 0; i < 10; ++i)
        Press(letters[i], i < 9 ? i + 1 : 9);
    EXPECT_EQ(std::string(entry.name), "asdfghjkl"); // the tenth is refused
    Press("BackSpace", 8);
    EXPECT_EQ(std::string(entry.name), "asdfghjk");
}
