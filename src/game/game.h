// The puzzle game.
#pragma once

#include <cstdint>

// Runs the game until the player leaves it.
void GameMain();
// The frame loop of the game, until Escape or the window closes; the frames it ran.
std::int32_t RunGameLoop();
