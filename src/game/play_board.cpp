#include "core/win32.h"

#include "game/play_board.h"

// The board's rules, states and drawing come with the board itself; until then a game shows the
// heads-up display over an empty board.
namespace {
PlayBoard board;
}

PlayBoard& Board() {
    return board;
}

void PlayBoard::StartGame() {
    *this = PlayBoard{};
}

void PlayBoard::Update() {
    ++stateTimer;
}
void PlayBoard::Draw() {}
void PlayBoard::HandleInput() {}
