// The play board: a 10 x 10 grid of tiles, the shape cursor and the state machine of a game.
#pragma once

#include <cstdint>

struct BoardCell {
    std::int32_t colour = 9;  // 0..4 in play, 9 blank
    std::uint8_t present = 0; // 0: a hole
    std::int32_t special = 0; // 0 none, 1 star, 2 clock, 3 bomb, 4 mystery
};

struct ShapeCursor {
    std::int32_t x = 0, y = 0;             // cell of the mask's top-left
    std::int32_t extentX = 0, extentY = 0; // largest marked index: width - 1, height - 1
    std::uint8_t mask[10][10] = {};        // [x][y]
    std::int32_t alpha = 0;
    std::int32_t pulse = 0;
};

// States of a game.
enum : std::int32_t {
    kStateReady = 0,
    kStateGo = 1,
    kStatePlay = 2,
    kStateMatched = 3,
    kStateFalling = 4,
    kStateTimeUp = 5,
    kStateComboOut = 6,
    kStateLevelComplete = 8,
    kStateLevelReview = 9,
    kStateKeepyUppyReview = 10,
    kStateTimeAttackReview = 11,
    kStateGameOverReview = 12,
    kStateHighScore = 13,
};

struct PlayBoard {
    std::uint8_t falling[10][10] = {}; // [x][y]: moved down in the current fall step
    BoardCell cells[10][10];           // [x][y], y = 0 at the top
    std::int32_t state = 0;
    std::int32_t stateTimer = 0;
    ShapeCursor shape;
    std::int32_t colours = 3;
    float comboMeter = 0;
    std::int32_t combo = 0;
    std::int32_t score = 0;
    std::int32_t shownScore = 0;
    std::uint8_t hintShown = 0;
    std::uint8_t hint[10][10] = {};
    std::uint8_t kookyNext = 0;
    std::int32_t timeLeft = 0;
    std::int32_t frameCounter = 0;
    char message[102] = {};
    std::int32_t messageFade = 0;

    void StartGame();
    void SetupLevel();
    void SetState(std::int32_t n);
    void Update();
    void Draw();
    void HandleInput();

private:
    void EnterPlay();
    void UpdatePlay();
    void HandlePlayInput();
    void TakeShapeFromMouse();
    void LeaveToMenu(bool showTable);
};

PlayBoard& Board();
// How far falling tiles move a frame; speeds up during a fall and resets in play.
float& FallSpeed();
// The size of the next normal shape for a combo and shape factor, from one rand() draw.
std::int32_t ShapeSizeFor(std::int32_t combo, std::int32_t shapeFactor, std::int32_t r);
