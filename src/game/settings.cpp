#include "core/win32.h"

#include "game/settings.h"
#include "game/game_app.h"

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
    App().screen = 1;
    InGameStart();
}
