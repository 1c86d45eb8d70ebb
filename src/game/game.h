// The puzzle game.
#pragma once

// Runs the game until the player leaves it.
void GameMain();
