#include "core/win32.h"

#include "draw2d/draw2d.h"
#include "game/game_app.h"
#include "game/hiscores.h"
#include "game/hud.h"
#include "game/play_board.h"
#include "game/review.h"
#include "game/settings.h"
#include "input/input.h"
#include "core/frame_loop.h"
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

namespace {

// A player's typing through the window while the panel runs its frames at a steady rate, each
// script played by one xdotool: every press and every pause is as long as the script says.
struct KeyScript {
    const char* what;
    // A key, the milliseconds it is held (negative: until the test lets it go), and those to the
    // next press; a negative wait presses the next key while this one is still down, and lets this
    // one go that many milliseconds later.
    struct Press {
        std::string key;
        int held, next;
    };
    std::vector<Press> presses;
    std::string name; // what Return stores
};

// Letters in one rhythm ('<' is Backspace), each held `held` ms, then Return.
KeyScript Typed(const char* what, const std::string& letters, int perSecond, int held,
                int returnAfter, const std::string& name) {
    KeyScript script{what, {}, name};
    for (char c : letters)
        script.presses.push_back(
            {c == '<' ? "BackSpace" : std::string(1, c), held, 1000 / perSecond - held});
    script.presses.back().next = returnAfter - held;
    script.presses.push_back({"Return", held, 0});
    return script;
}

std::string XdotoolLine(const KeyScript& script) {
    std::string line;
    const auto wait = [&](int ms) {
        if (ms > 0) line += " sleep " + std::to_string(ms / 1000.0).substr(0, 5);
    };
    for (std::size_t i = 0; i < script.presses.size(); ++i) {
        const KeyScript::Press& p = script.presses[i];
        if (i == 0 || script.presses[i - 1].next >= 0) line += " keydown " + p.key;
        if (p.held < 0) break;
        wait(p.held);
        if (p.next < 0 && i + 1 < script.presses.size()) {
            line += " keydown " + script.presses[i + 1].key;
            wait(-p.next);
            line += " keyup " + p.key;
        } else {
            line += " keyup " + p.key;
            wait(p.next);
        }
    }
    return line;
}

int Duration(const KeyScript& script) {
    int total = 0;
    for (const KeyScript::Press& p : script.presses)
        total += std::max(p.held, 0) + std::max(p.next, 0);
    return total;
}

class NameEntryTypingSerial : public ReviewTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        ReviewTest::SetUp();
        kept = HiScores();
        GetCurrentDirectoryA(MAX_PATH, start);
        ASSERT_TRUE(SetCurrentDirectoryA(folder.Path().c_str())); // the table saves here
        ASSERT_TRUE(RunXdotool("windowfocus " + std::to_string(XWindowOf(g_CoreData->window))));
        ASSERT_TRUE(PumpUntil([] { return GetFocus() == g_CoreData->window; }));
        PumpFor(200);
        SyncOn();
        SetSyncRate(GetParam());
    }
    void TearDown() override {
        HiScores() = kept;
        SetCurrentDirectoryA(start);
        ReviewTest::TearDown();
    }
    // Runs the panel's frames while the script plays, calling during(frame) after each of them;
    // the name Return stored, or what the panel holds when it did not close. The frames go on
    // until every key of the script is up, and what is still on its way goes before the next.
    template <typename During> std::string Play(const KeyScript& script, During during) {
        HiScores().SetDefaults();
        HiScores().current = 0;
        Board().score = 99999;
        EXPECT_TRUE(HiScores().FindRank());
        NameEntryPanel& entry = NameEntry();
        entry.Open();
        const int total = Duration(script);
        EXPECT_TRUE(RunXdotool(XdotoolLine(script)));
        const DWORD begun = GetTickCount();
        for (int frame = 0; GetTickCount() - begun < static_cast<DWORD>(total) + 10000 &&
                            (entry.state < 2 || GetScanCode() != 0);
             ++frame) {
            if (entry.state < 2) {
                entry.Step();
                entry.HandleInput();
                during(frame);
            }
            Sync();
        }
        PumpFor(static_cast<unsigned>(std::max(0, total + 300 - int(GetTickCount() - begun))));
        EXPECT_EQ(GetScanCode(), 0) << script.what << ": a key is still down";
        if (entry.state < 2) return "(open) " + std::string(entry.name);
        return HiScores().tables[0][HiScores().rank].name;
    }
    std::string Play(const KeyScript& script) {
        return Play(script, [](int) {});
    }
    char start[MAX_PATH] = {};
    TempFolder folder;
    HiScoreTable kept;
};

} // namespace

// Every key pressed once types once, however short the press and however soon the next, at 30
// frames a second as at 60; Return stores the name at once, and nothing after it is typed.
TEST_P(NameEntryTypingSerial, EveryKeyPressedTypesOnce) {
    KeyScript returnSoon = Typed("11 keys a second, Return 65 ms after the last", "qwertyuio", 11,
                                 30, 65, "qwertyuio");
    returnSoon.presses.back().next = 60;
    for (const char* key : {"a", "s", "d"})
        returnSoon.presses.push_back({key, 30, 60});
    const KeyScript scripts[] = {
        Typed("five keys a second", "alice", 5, 40, 200, "alice"),
        returnSoon,
        Typed("15 keys a second, 20 ms presses", "abcdefghi", 15, 20, 67, "abcdefghi"),
        Typed("the same key twice, Backspace", "hello<<p", 15, 20, 67, "help"),
        Typed("a tenth letter", "zxcvbnmasd", 15, 25, 67, "zxcvbnmas"),
        // Each key pressed before the last is let go, as fast typists do.
        {"rolled over", {{"x", 40, -25}, {"y", 40, -25}, {"z", 40, 100}, {"Return", 30, 0}}, "xyz"},
    };
    for (const KeyScript& script : scripts)
        EXPECT_EQ(Play(script), script.name) << script.what << " at " << GetParam() << " a second";
}

// A key held down types again every ten frames, whatever the system repeats meanwhile (here one
// more character of it every other frame from 300 ms on, as a short repeat delay would).
TEST_P(NameEntryTypingSerial, AHeldKeyTypesEveryTenFrames) {
    int framesDown = 0;
    DWORD firstDown = 0;
    const std::string name = Play({"k held", {{"k", -1, 0}}, ""}, [&](int frame) {
        if (!KeyState(37)) {
            if (framesDown > 0 && firstDown) { // let go: Return, once
                RunXdotool("key Return");
                firstDown = 0;
            }
            return;
        }
        if (framesDown++ == 35) RunXdotool("keyup k");
        if (!firstDown) firstDown = GetTickCount();
        if (GetTickCount() - firstDown >= 300 && frame % 2 == 0)
            PostMessageA(g_CoreData->window, WM_CHAR, 'k', 0x40000001);
    });
    ASSERT_GE(framesDown, 35);
    const int expected = 1 + (framesDown - 1) / 10;
    EXPECT_GE(name.size() + 1, static_cast<std::size_t>(expected)) << framesDown << " frames down";
    EXPECT_LE(name.size(), static_cast<std::size_t>(expected + 1)) << framesDown << " frames down";
    EXPECT_EQ(name, std::string(name.size(), 'k'));
}

INSTANTIATE_TEST_SUITE_P(FrameRates, NameEntryTypingSerial, ::testing::Values(30, 60),
                         [](const auto& info) { return std::to_string(info.param); });
