// What the menu chose for a game, and what the level table gives a puzzle level.
#pragma once

#include <cstdint>

struct GameSettings {
    std::int32_t timeBonus = 0;
    std::int32_t finalScore = 0;
    std::int32_t mode = 0; // 1 puzzle, 2 time attack, 3 keepy uppy
    std::int32_t level = 0;
    std::int32_t layoutSet = 0;
    std::int32_t colours = 3;
    std::int32_t shapeFactor = 0;
    std::int32_t starsLeft = 0;
    // Sets the game up and switches to the in-game screen.
    void StartGame(std::int32_t mode, std::int32_t level, std::int32_t colours);
};

GameSettings& Settings();
