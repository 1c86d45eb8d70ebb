#include "core/win32.h"

#include "game/effects.h"
#include "game/game_app.h"
#include "game/hiscores.h"
#include "game/hud.h"
#include "game/levels.h"
#include "game/play_board.h"
#include "game/review.h"
#include "game/settings.h"
#include "game/shapes.h"
#include "image/image.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

class BoardTest : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        ResetMouseButtons();
        Particles().Clear();
        std::srand(1234);
    }
    void TearDown() override {
        App().screen = 0;
        EngineFixture::TearDown();
    }
};

PlayBoard& FreshBoard(std::int32_t colours = 3) {
    PlayBoard& board = Board();
    board = PlayBoard{};
    board.colours = colours;
    for (auto& column : board.cells)
        for (BoardCell& cell : column)
            cell = BoardCell{std::rand() % colours, 1, kNoSpecial};
    return board;
}

void Fill(PlayBoard& board, std::int32_t colour) {
    for (auto& column : board.cells)
        for (BoardCell& cell : column)
            cell = BoardCell{colour, 1, kNoSpecial};
}

std::int32_t Holes(const PlayBoard& board) {
    std::int32_t n = 0;
    for (const auto& column : board.cells)
        for (const BoardCell& cell : column)
            n += cell.present ? 0 : 1;
    return n;
}

bool FitsAt(const PlayBoard& board, std::int32_t px, std::int32_t py) {
    const ShapeCursor& shape = board.shape;
    std::int32_t colour = -1;
    for (std::int32_t i = 0; i < 10; ++i)
        for (std::int32_t j = 0; j < 10; ++j) {
            if (!shape.mask[i][j]) continue;
            if (px + i > 9 || py + j > 9) return false;
            const BoardCell& cell = board.cells[px + i][py + j];
            if (colour < 0) colour = cell.colour;
            if (!cell.present || cell.colour != colour) return false;
        }
    return colour >= 0;
}

// Marked mask cells reachable from the first one.
std::int32_t ConnectedCells(const ShapeCursor& shape) {
    std::set<std::pair<int, int>> seen;
    std::vector<std::pair<int, int>> stack;
    for (int i = 0; i < 10 && stack.empty(); ++i)
        for (int j = 0; j < 10 && stack.empty(); ++j)
            if (shape.mask[i][j]) stack.push_back({i, j});
    while (!stack.empty()) {
        auto [i, j] = stack.back();
        stack.pop_back();
        if (i < 0 || i > 9 || j < 0 || j > 9 || !shape.mask[i][j] || seen.count({i, j})) continue;
        seen.insert({i, j});
        stack.insert(stack.end(), {{i - 1, j}, {i + 1, j}, {i, j - 1}, {i, j + 1}});
    }
    return static_cast<std::int32_t>(seen.size());
}

// One frame of the game as the main loop runs it, without drawing.
void Frame() {
    App().Update();
    App().HandleInput();
}

// Points the mouse so that the shape's top-left lands on cell (x, y).
void AimShapeAt(const PlayBoard& board, std::int32_t x, std::int32_t y) {
    g_CoreData->mouseX = CellScreenX(x) + 32 + board.shape.extentX * 32;
    g_CoreData->mouseY = CellScreenY(y) + 32 + board.shape.extentY * 32;
}

// Starts a game and runs it through "ready".
PlayBoard& StartPlaying(std::int32_t mode, std::int32_t colours) {
    Settings().StartGame(mode, 0, colours);
    for (int i = 0; i < 61; ++i)
        Frame();
    return Board();
}

} // namespace

TEST_F(BoardTest, NormalShapesAreConnectedSingleColouredAndFitWhereTheyGrew) {
    for (int round = 0; round < 40; ++round) {
        PlayBoard& board = FreshBoard(3);
        const std::int32_t size = 1 + round % 8;
        GenerateShape(board.shape, size, false);
        const std::int32_t cells = CountShapeCells(board.shape);
        ASSERT_GE(cells, 1);
        ASSERT_LE(cells, size);
        EXPECT_EQ(ConnectedCells(board.shape), cells);
        bool column0 = false, row0 = false;
        for (int k = 0; k < 10; ++k) {
            column0 = column0 || board.shape.mask[0][k];
            row0 = row0 || board.shape.mask[k][0];
        }
        EXPECT_TRUE(column0 && row0);
        bool fits = false;
        for (int x = 0; x + board.shape.extentX < 10 && !fits; ++x)
            for (int y = 0; y + board.shape.extentY < 10 && !fits; ++y)
                fits = FitsAt(board, x, y);
        EXPECT_TRUE(fits) << "round " << round;
        // The hint finds a placement, and the match test agrees with it.
        FindShapeFit(board);
        EXPECT_EQ(board.hintShown, 1);
    }
    // Without two neighbours of one colour, a shape is one cell.
    PlayBoard& board = FreshBoard(2);
    for (int x = 0; x < 10; ++x)
        for (int y = 0; y < 10; ++y)
            board.cells[x][y].colour = (x + y) % 2;
    GenerateShape(board.shape, 6, false);
    EXPECT_EQ(CountShapeCells(board.shape), 1);
    EXPECT_EQ(board.shape.extentX, 0);
    EXPECT_EQ(board.shape.extentY, 0);
}

TEST_F(BoardTest, KookyShapeIsEveryCellOfOneColourInItsWindow) {
    for (int round = 0; round < 20; ++round) {
        PlayBoard& board = FreshBoard(4);
        GenerateShape(board.shape, 5, true);
        bool found = false;
        for (int x0 = 0; x0 < 4 && !found; ++x0)
            for (int y0 = 0; y0 < 4 && !found; ++y0) {
                const std::int32_t c = board.cells[x0][y0].colour;
                bool same = true;
                for (int dx = 0; dx < 10; ++dx)
                    for (int dy = 0; dy < 10; ++dy) {
                        const bool want =
                            dx < 6 && dy < 6 && board.cells[x0 + dx][y0 + dy].colour == c;
                        same = same && (board.shape.mask[dx][dy] != 0) == want;
                    }
                found = same;
            }
        EXPECT_TRUE(found) << "round " << round;
    }
}

TEST_F(BoardTest, BombsChainStarsScoreAndClocksAddTime) {
    PlayBoard& board = FreshBoard();
    Fill(board, 0);
    board.cells[2][2].special = kBomb;
    board.cells[4][4].special = kBomb;
    board.cells[9][9].special = kStar;
    ClearCell(board, 2, 2);
    for (int x = 0; x < 10; ++x)
        for (int y = 0; y < 10; ++y) {
            const bool inFirst = x <= 4 && y <= 4;
            const bool inSecond = x >= 2 && x <= 6 && y >= 2 && y <= 6;
            EXPECT_EQ(board.cells[x][y].present == 0, inFirst || inSecond) << x << "," << y;
        }
    EXPECT_EQ(CountSpecials(board), 1);
    // A bomb on the edge clears only what lies on the board.
    board.cells[0][9].special = kBomb;
    ClearCell(board, 0, 9);
    EXPECT_EQ(board.cells[2][7].present, 0);
    EXPECT_EQ(board.cells[3][9].present, 1);

    // Stars score and count down to 0, never below; a clock adds ten seconds up to 3:00.
    FreshBoard();
    Settings().starsLeft = 1;
    board.cells[0][0].special = kStar;
    board.cells[1][0].special = kStar;
    ClearCell(board, 0, 0);
    ClearCell(board, 1, 0);
    EXPECT_EQ(board.score, 2000);
    EXPECT_EQ(Settings().starsLeft, 0);
    board.timeLeft = 100;
    board.cells[2][0].special = kClock;
    ClearCell(board, 2, 0);
    EXPECT_EQ(board.timeLeft, 110);
    board.timeLeft = 175;
    board.cells[3][0].special = kClock;
    ClearCell(board, 3, 0);
    EXPECT_EQ(board.timeLeft, 180);
}

TEST_F(BoardTest, EveryMysteryOutcome) {
    std::set<std::string> seen;
    for (unsigned seed = 1; seed < 400 && seen.size() < 5; ++seed) {
        std::srand(seed);
        PlayBoard& board = FreshBoard(3);
        Settings().starsLeft = 50;
        board.cells[5][5].special = kMystery;
        board.cells[0][0].special = kStar;
        board.cells[9][0].special = kClock;
        const std::int32_t colour = board.cells[5][5].colour;
        std::int32_t starsOfColour = board.cells[0][0].colour == colour ? 1 : 0;
        board.timeLeft = 30;
        ClearCell(board, 5, 5);
        const std::string message = board.message;
        seen.insert(message);
        EXPECT_EQ(board.messageFade, 255);
        EXPECT_EQ(board.cells[5][5].present, 0);
        if (message == "bomb heaven") {
            EXPECT_EQ(board.cells[0][0].special, kBomb);
            EXPECT_EQ(board.cells[9][0].special, kBomb);
        } else if (message == "kooky shape") {
            EXPECT_EQ(board.kookyNext, 1);
        } else if (message == "max time") {
            EXPECT_EQ(board.timeLeft, 180);
        } else if (message == "combo up") {
            EXPECT_EQ(board.combo, 10);
        } else {
            ASSERT_EQ(message, "block buster");
            for (int x = 0; x < 10; ++x)
                for (int y = 0; y < 10; ++y)
                    if (board.cells[x][y].present) {
                        EXPECT_NE(board.cells[x][y].colour, colour);
                    }
            EXPECT_EQ(Settings().starsLeft, 50 - starsOfColour);
            EXPECT_EQ(board.score, 1000 * starsOfColour);
        }
    }
    EXPECT_EQ(seen.size(), 5u);
}

TEST_F(BoardTest, SpecialsNeverCrowdTheBoard) {
    PlayBoard& board = FreshBoard();
    PlaceRandomSpecial(board);
    ASSERT_EQ(CountSpecials(board), 1);
    EXPECT_TRUE(HasClockSpecial(board)); // the first special is always a clock
    for (int i = 0; i < 500; ++i) {
        PlaceRandomSpecial(board);
        AddStar(board);
        std::int32_t clocks = 0;
        for (const auto& column : board.cells)
            for (const BoardCell& cell : column)
                clocks += cell.special == kClock ? 1 : 0;
        ASSERT_LE(clocks, 1);
        ASSERT_LE(CountSpecials(board), kMaxSpecials);
        if (i % 7 == 0) ClearCell(board, std::rand() % 10, std::rand() % 10);
        if (HasEmptyCell(board)) ApplyGravity(board);
    }
    // With the clock gone, the next special placed is a clock.
    for (auto& column : board.cells)
        for (BoardCell& cell : column)
            cell.special = kNoSpecial;
    while (CountSpecials(board) == 0)
        PlaceRandomSpecial(board);
    EXPECT_TRUE(HasClockSpecial(board));
}

TEST_F(BoardTest, GravityClosesOneHolePerColumnPerStep) {
    PlayBoard& board = FreshBoard();
    board.cells[3][9].present = 0;
    board.cells[3][4].present = 0;
    board.cells[3][0].present = 0;
    board.cells[7][5].present = 0;
    board.cells[7][5].special = kStar;
    const std::int32_t above = board.cells[7][4].colour;
    board.cells[7][4].special = kBomb;
    ApplyGravity(board);
    EXPECT_EQ(Holes(board), 2);
    EXPECT_EQ(board.cells[7][5].colour, above);
    EXPECT_EQ(board.cells[7][5].special, kBomb);
    EXPECT_EQ(board.cells[7][0].special, kNoSpecial);
    for (int y = 0; y <= 5; ++y)
        EXPECT_EQ(board.falling[7][y], 1) << y;
    EXPECT_EQ(board.falling[7][6], 0);
    EXPECT_EQ(board.falling[3][9], 1);
    int steps = 1;
    while (HasEmptyCell(board) && steps < 20) {
        ApplyGravity(board);
        ++steps;
    }
    EXPECT_EQ(steps, 3);
    EXPECT_EQ(Holes(board), 0);
    for (const auto& column : board.cells)
        for (const BoardCell& cell : column)
            EXPECT_LT(cell.colour, 3);
}

TEST_F(BoardTest, PacingOfAGame) {
    Settings().StartGame(2, 0, 3);
    PlayBoard& board = Board();
    for (int i = 0; i < 60; ++i)
        Frame();
    EXPECT_EQ(board.state, kStateReady);
    Frame();
    EXPECT_EQ(board.state, kStatePlay);
    EXPECT_EQ(board.timeLeft, 119); // the clock runs during ready

    // A match on a board of one colour: cells x 10 x combo, the meter full.
    Fill(board, 0);
    board.combo = 2;
    board.comboMeter = 100.0f;
    const std::int32_t cells = CountShapeCells(board.shape);
    AimShapeAt(board, 0, 0);
    QueueMouseClick(1);
    Frame();
    ASSERT_EQ(board.state, kStateMatched);
    EXPECT_EQ(board.combo, 3);
    EXPECT_EQ(board.score, cells * 10 * 3);
    EXPECT_FLOAT_EQ(board.comboMeter, 192.0f);
    // The shown score climbs by 100 a frame and stops at the score.
    for (int i = 0; i < 11; ++i)
        Frame();
    EXPECT_EQ(board.state, kStateFalling);
    board.score += 1050;
    std::int32_t shown = board.shownScore, frames = 0;
    while (board.state != kStatePlay && frames < 500) {
        Frame();
        ++frames;
        EXPECT_LE(board.shownScore, board.score);
        EXPECT_TRUE(board.shownScore == board.score || board.shownScore == shown + 100);
        shown = board.shownScore;
    }
    EXPECT_EQ(board.state, kStatePlay);
    EXPECT_EQ(Holes(board), 0);

    // A right click with under ten seconds left: time up on the next frame, shown as 0.
    board.timeLeft = 7;
    board.frameCounter = 0;
    QueueMouseClick(2);
    Frame();
    EXPECT_EQ(board.combo, 0);
    EXPECT_EQ(board.timeLeft, -3);
    Frame();
    EXPECT_EQ(board.state, kStateTimeUp);
    EXPECT_EQ(board.timeLeft, 0);
    // The clock stands still from here on; time up lasts its full 240 frames.
    for (int i = 0; i < 239; ++i)
        Frame();
    EXPECT_EQ(board.state, kStateTimeUp);
    EXPECT_EQ(board.timeLeft, 0);
    Frame();
    EXPECT_EQ(board.state, kStateTimeAttackReview);
}

TEST_F(BoardTest, KeepyUppyWaitsForTheFirstMatchAndEndsOnComboOut) {
    PlayBoard& board = StartPlaying(3, 4);
    ASSERT_EQ(board.state, kStatePlay);
    EXPECT_EQ(board.colours, 4); // the chosen colours, outside puzzle mode
    const std::int32_t time = board.timeLeft;
    QueueMouseClick(2); // no discarding in keepy uppy
    for (int i = 0; i < 2000; ++i)
        Frame();
    EXPECT_EQ(board.state, kStatePlay);
    EXPECT_EQ(board.combo, 0);
    EXPECT_FLOAT_EQ(board.comboMeter, 0.0f);
    EXPECT_EQ(board.timeLeft, time);
    board.combo = 3;
    board.comboMeter = 0.5f;
    for (int i = 0; i < 5; ++i)
        Frame();
    EXPECT_EQ(board.state, kStateComboOut);
    EXPECT_EQ(board.combo, 3);
    for (int i = 0; i < 241; ++i)
        Frame();
    EXPECT_EQ(board.state, kStateKeepyUppyReview);
}

TEST_F(BoardTest, LevelCompleteSweepsOneCellAFrame) {
    PlayBoard& board = StartPlaying(1, 3);
    ASSERT_EQ(board.state, kStatePlay);
    board.timeLeft = 50;
    board.score = 500;
    Settings().starsLeft = 0;
    board.SetState(kStatePlay);
    ASSERT_EQ(board.state, kStateLevelComplete);
    EXPECT_EQ(Settings().timeBonus, 5000);
    EXPECT_EQ(board.score, 5500);
    EXPECT_EQ(Settings().finalScore, 5500);
    for (int i = 0; i < 100; ++i) {
        ASSERT_NE(board.cells[i % 10][i / 10].colour, kBlankColour) << i;
        Frame();
        ASSERT_EQ(board.cells[i % 10][i / 10].colour, kBlankColour) << i;
    }
    Frame();
    EXPECT_EQ(board.state, kStateLevelReview);
    EXPECT_EQ(board.timeLeft, 50);
}

TEST_F(BoardTest, DrawingEveryStateNeedsOnlyTheGamesPictures) {
    // Stand-ins for the pictures the board draws; a missing one would raise an error.
    for (auto [first, last] : {std::pair{6, 48}, {61, 65}, {67, 68}, {71, 110}, {112, 125}})
        for (std::int32_t n = first; n <= last; ++n)
            CreateManagedImage(n, 64, 64);
    ASSERT_EQ(cell.number, 0);
    Settings().StartGame(1, 0, 3);
    PlayBoard& board = Board();
    board.cells[4][4].colour = kBlankColour; // blank cells draw nothing
    board.hintShown = 1;
    board.hint[2][2] = 1;
    ShowMessage(board, "max time");
    const ReviewKind kPanels[4] = {ReviewKind::LevelComplete, ReviewKind::KeepyUppy,
                                   ReviewKind::TimeAttack, ReviewKind::GameOver};
    for (std::int32_t state : {0, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12}) {
        cell.number = 0;
        board.SetState(state);
        cell.number = 0;
        for (int i = 0; i < 60; ++i) {
            if (state >= kStateLevelReview) Review(kPanels[state - kStateLevelReview]).Step();
            board.Draw();
            Particles().Update();
            Particles().Draw();
        }
        EXPECT_EQ(cell.number, 0) << "state " << state;
    }
}

namespace {

// Scripted play: the placement of the dealt shape that takes the most specials, clicked at once;
// review panels are clicked through.
void SolverFrame() {
    PlayBoard& board = Board();
    if (board.state == kStatePlay) {
        std::int32_t bestX = -1, bestY = 0, best = -1;
        for (int x = 0; x + board.shape.extentX < 10; ++x)
            for (int y = 0; y + board.shape.extentY < 10; ++y) {
                if (!FitsAt(board, x, y)) continue;
                std::int32_t specials = 0;
                for (int i = 0; i <= board.shape.extentX; ++i)
                    for (int j = 0; j <= board.shape.extentY; ++j)
                        if (board.shape.mask[i][j] && board.cells[x + i][y + j].special) ++specials;
                if (specials > best) {
                    best = specials;
                    bestX = x;
                    bestY = y;
                }
            }
        if (bestX >= 0) {
            AimShapeAt(board, bestX, bestY);
            QueueMouseClick(1);
        }
    } else if (board.state >= kStateLevelReview && board.state <= kStateGameOverReview) {
        QueueMouseClick(1);
    }
    Frame();
}

} // namespace

// A scripted game of two levels from each starting level, the last run two levels past the table:
// each frame reads the mouse through the platform, so tens of thousands of them in one case outlast
// a loaded machine's timeout.
class ScriptedGame : public BoardTest, public ::testing::WithParamInterface<std::int32_t> {};

TEST_P(ScriptedGame, LevelsLeadOnUntilTheClockRunsOutAndTheGameEnds) {
    const std::int32_t first = GetParam(), last = std::min(first + 2, kLevelCount + 2);
    // Tables full of unbeatable scores: the game goes straight back to the menu at its end.
    for (auto& table : HiScores().tables)
        for (HiScoreEntry& entry : table)
            entry = HiScoreEntry{"", 2000000000, 2000000000};
    HiScores().current = 0;
    Settings().StartGame(1, first, 3);
    PlayBoard& board = Board();
    std::int32_t frames = 0, highestLevel = first - 1, lastScore = 0;
    std::set<std::int32_t> states;
    // The clock is kept topped up: the solver is not fast enough for a hundred stars on a real
    // clock, and the point is where the levels lead.
    while (Settings().level < last && frames < 100000) {
        if (board.state == kStatePlay) board.timeLeft = 120;
        SolverFrame();
        ++frames;
        states.insert(board.state);
        if (Settings().level > highestLevel && Settings().level < 15) {
            // Each level of the first fifteen starts on its layout.
            for (int i = 0; i < 100; ++i)
                ASSERT_EQ(board.cells[i % 10][i / 10].colour,
                          LayoutColour(Settings().layoutSet, Settings().level % 5, i % 10, i / 10))
                    << "level " << Settings().level;
        }
        highestLevel = std::max(highestLevel, Settings().level);
        ASSERT_EQ(App().screen, 1) << "frame " << frames;
        ASSERT_GE(board.score, lastScore);
        lastScore = board.score;
        if (board.state == kStatePlay) {
            for (const auto& column : board.cells)
                for (const BoardCell& cell : column) {
                    ASSERT_EQ(cell.present, 1);
                    ASSERT_GE(cell.colour, 0);
                    ASSERT_LT(cell.colour, 5);
                }
            ASSERT_LE(CountSpecials(board), kMaxSpecials);
        }
    }
    EXPECT_EQ(highestLevel, last);
    EXPECT_EQ(board.colours, LevelRow(last).colours);
    if (last > kLevelCount) EXPECT_EQ(board.colours, kLevels[kLevelCount - 1].colours);
    for (std::int32_t state : {0, 2, 3, 4, 8, 9})
        EXPECT_TRUE(states.count(state)) << state;
    // Then the solver stops: the clock runs out and the game ends in the menu. A few seconds on it
    // take the way a full clock does, in a fortieth of the frames.
    board.timeLeft = 3;
    std::int32_t ending = 0;
    while (App().screen == 1 && ending < 20000) {
        if (board.state >= kStateLevelReview && board.state <= kStateGameOverReview)
            QueueMouseClick(1);
        Frame();
        ++ending;
    }
    EXPECT_EQ(App().screen, 0);
    EXPECT_EQ(Settings().finalScore, board.score);
    EXPECT_LT(ending, 4 * 60 + 1000);
}

INSTANTIATE_TEST_SUITE_P(FromLevel, ScriptedGame, ::testing::Range(0, kLevelCount + 2, 2),
                         [](const auto& info) { return "level_" + std::to_string(info.param); });
