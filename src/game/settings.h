// What the menu chose for a game, and what the level table gives a puzzle level.
#pragma once

#include <cstdint>

struct GameSettings {
    std::int32_t timeBonus = 0;  // the level-complete bonus
    std::int32_t finalScore = 0; // shown on the review panels
    std::int32_t mode = 0;       // kPuzzleMode, kTimeAttackMode or kKeepyUppyMode
    std::int32_t level = 0;      // 0-based
    std::int32_t layoutSet = 0;
    std::int32_t colours = 3; // difficulty of modes 2 and 3: 3 easy, 4 medium, 5 hard
    std::int32_t shapeFactor = 0;
    std::int32_t starsLeft = 0;
    // Sets the game up and switches to the in-game screen.
    void StartGame(std::int32_t mode, std::int32_t level, std::int32_t colours);
    // Takes the board's colours and clock and this level's rules from the level table.
    void LoadLevelRow();
};

GameSettings& Settings();
