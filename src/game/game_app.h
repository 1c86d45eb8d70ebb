// The game's application object: two screens, the menu (0) and the game (1), run once a frame.
#pragma once

#include <cstdint>

struct GameApp {
    std::int32_t screen = 0;
    void Init(std::int32_t firstScreen);
    bool Tick();
    void Update();
    void Render();
    void HandleInput();
};

GameApp& App();

// The in-game screen forwards to the board, the heads-up display and the particles.
void InGameStart();
void InGameUpdate();
void InGameDraw();
void InGameHandleInput();

// Loading of the game's pictures and sounds, in their fixed numbers.
void LoadGameAssets();
// The display mode, then the loading picture held for 150 frames.
void ShowLoadingPicture();
void LoadGameSounds();
void LoadGameImages();
void SetUpGameFont();
