#include "core/win32.h"

#include "game/settings.h"
#include "game/media_numbers.h"
#include "game/game_app.h"
#include "game/levels.h"
#include "game/play_board.h"
#include "sound/sound.h"

namespace {
GameSettings settings;
}

GameSettings& Settings() {
    return settings;
}

void GameSettings::StartGame(std::int32_t newMode, std::int32_t newLevel, std::int32_t newColours) {
    mode = newMode;
    level = newLevel;
    colours = newColours;
    starsLeft = 0;
    StopSound(kMenuTune);
    LoopSound(kGameTune);
    App().screen = 1;
    InGameStart();
}

void GameSettings::LoadLevelRow() {
    const LevelDefinition& row = LevelRow(level);
    PlayBoard& board = Board();
    board.colours = row.colours;
    starsLeft = row.stars;
    board.timeLeft = row.time;
    shapeFactor = row.shapeFactor;
    layoutSet = row.layoutSet;
}
