#include "core/win32.h"

#include "draw2d/draw2d.h"
#include "game/game_app.h"
#include "game/hiscores.h"
#include "game/hud.h"
#include "game/play_board.h"
#include "game/review.h"
#include "game/settings.h"
#include "input/input.h"
#include "support/engine_fixture.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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

template <class Panel> void Click(Panel& panel) {
    QueueMouseClick(1);
    UpdateMouseButtons();
    panel.HandleInput();
}

// The name entry with the game's pictures loaded (from the build's game folder), saving its
// table in a folder of its own; the tables are put back afterwards.
class NameEntrySaves : public ReviewTest {
protected:
    void SetUp() override {
        ReviewTest::SetUp();
        kept = HiScores();
        GetCurrentDirectoryA(MAX_PATH, start);
        char game[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, game, MAX_PATH);
        std::strcpy(std::strrchr(game, '\\'), "\\game");
        ASSERT_TRUE(SetCurrentDirectoryA(game));
        App().Init(0);
        ASSERT_TRUE(SetCurrentDirectoryA(folder.Path().c_str()));
    }
    void TearDown() override {
        HiScores() = kept;
        SetCurrentDirectoryA(start);
        ReviewTest::TearDown();
    }
    // The panel drawn alone: the pixels along the line below the name.
    static std::vector<std::uint32_t> LineBelowTheName(NameEntryPanel& entry) {
        ClearScreen(0);
        entry.Draw();
        std::vector<std::uint32_t> line;
        for (int y : {600, 612, 624})
            for (int x = 188; x < 608; x += 2)
                line.push_back(GetPixelColour(x, y));
        return line;
    }
    char start[MAX_PATH] = {};
    TempFolder folder;
    HiScoreTable kept;
};

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

// A save that fails keeps the entry in the table for the session and says so on the panel, in the
// game's lettering, until a click or four seconds close it; a save that works closes it at once.
TEST_F(NameEntrySaves, AFailedSaveIsShownAndTheEntryStays) {
    folder.Write("records.bin\\inner.txt", "a folder where the file should be");
    HiScores().SetDefaults();
    HiScores().current = 0;
    Board().score = 4321;
    ASSERT_TRUE(HiScores().FindRank());
    NameEntryPanel& entry = NameEntry();
    entry.Open();
    std::strcpy(entry.name, "ann");
    entry.length = 3;
    while (entry.state == 0)
        entry.Step();
    const std::vector<std::uint32_t> typing = LineBelowTheName(entry);
    entry.Submit();
    ASSERT_EQ(entry.state, 3);
    EXPECT_STREQ(HiScores().tables[0][0].name, "ann");
    EXPECT_NE(LineBelowTheName(entry), typing) << "nothing is written below the name";
    for (int frame = 1; frame < 240; ++frame)
        ASSERT_TRUE(entry.Step());
    EXPECT_EQ(entry.state, 3);
    entry.Step();
    EXPECT_EQ(entry.state, 2);
    EXPECT_FALSE(entry.Step());

    entry.Open();
    entry.Submit();
    ASSERT_EQ(entry.state, 3);
    Click(entry);
    EXPECT_EQ(entry.state, 2);

    ASSERT_TRUE(DeleteFileA(folder.File("records.bin\\inner.txt").c_str()));
    ASSERT_TRUE(RemoveDirectoryA(folder.File("records.bin").c_str()));
    entry.Open();
    entry.Submit();
    EXPECT_EQ(entry.state, 2);
    HiScoreTable saved;
    saved.Load();
    EXPECT_EQ(std::memcmp(saved.tables, HiScores().tables, sizeof saved.tables), 0);
    EXPECT_STREQ(saved.tables[0][2].name, "ann"); // two empty names since ranked above it
}
