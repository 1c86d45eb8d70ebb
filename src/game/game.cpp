#include "core/win32.h"

#include "game/game.h"
#include "game/media_numbers.h"
#include "game/effects.h"
#include "game/game_app.h"
#include "game/hiscores.h"
#include "game/hud.h"
#include "game/menu.h"
#include "game/play_board.h"
#include "core/frame_loop.h"
#include "draw2d/draw2d.h"
#include "image/image.h"
#include "input/input.h"

namespace {
GameApp app;
}

GameApp& App() {
    return app;
}

void GameApp::Init(std::int32_t firstScreen) {
    screen = firstScreen;
    LoadGameAssets();
    SetUpGameFont();
    TheBackdrop().Reset();
    HiScores().Load();
}

bool GameApp::Tick() {
    Update();
    Render();
    HandleInput();
    return true;
}

void GameApp::Update() {
    TheBackdrop().Update();
    if (screen == 0)
        Menu().Update();
    else
        InGameUpdate();
}

void GameApp::Render() {
    TheBackdrop().Draw();
    if (screen == 0)
        Menu().Draw();
    else
        InGameDraw();
    // The pointer goes over everything, review panels included.
    PasteImage(kPointerImage, GetMouseX(), GetMouseY(), 1);
}

void GameApp::HandleInput() {
    if (screen == 0)
        Menu().HandleInput();
    else
        InGameHandleInput();
}

void InGameStart() {
    Particles().Clear();
    Hud().Reset();
    Board().StartGame();
}

void InGameUpdate() {
    Board().Update();
    Particles().Update();
    UpdateMouseButtons();
}

void InGameDraw() {
    Hud().Draw();
    Board().Draw();
    Particles().Draw();
}

void InGameHandleInput() {
    Board().HandleInput();
}

std::int32_t RunGameLoop() {
    std::int32_t frames = 0;
    while (EngineLoopActive()) {
        if (IsEscapeKeyDown()) break;
        ClearScreen(0);
        App().Tick();
        Sync();
        ++frames;
    }
    return frames;
}

void GameMain() {
    App().Init(0);
    Menu().Open();
    RunGameLoop();
}
