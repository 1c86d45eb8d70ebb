#include "core/win32.h"

#include "game/game.h"

void GameMain() {}
