#include "core/win32.h"

#include "game/menu.h"
#include "game/effects.h"
#include "game/hud.h"
#include "image/image.h"
#include "sound/sound.h"

#include <cstdlib>
#include <ctime>

// The menu's pages and items come with the menu itself; until then it shows the logos.
namespace {
FrontEndMenu menu;
}

FrontEndMenu& Menu() {
    return menu;
}

void FrontEndMenu::Open() {
    StopSound(4);
    LoopSound(12);
    page = 0;
    TheBackdrop().SetScheme(0);
    shownTable = 0;
}

void FrontEndMenu::Update() {
    UpdateMouseButtons();
    std::srand(static_cast<unsigned>(std::clock()));
}

void FrontEndMenu::Draw() {
    PasteImage(4, 870, 700, 1);
    PasteImage(2, 170, 20, 1);
}

void FrontEndMenu::HandleInput() {}
