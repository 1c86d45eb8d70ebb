// The front-end menu: pages of items drawn in the image font over the backdrop, chosen with the
// mouse. It starts games, shows help, credits and the high-score tables, and quits.
#pragma once

#include <cstdint>

enum MenuPage : std::int32_t {
    kMainPage,
    kPlayPage,
    kTimeAttackPage,
    kKeepyUppyPage,
    kCreditsPage,
    kHiScoresPage,
    kHowToPlayPage,
};

constexpr int kMenuItemsMax = 6;
constexpr int kHelpPages = 4;

struct FrontEndMenu {
    std::int32_t itemCount = 0;
    std::int32_t helpPage = 0; // 0..3, the picture 49 + helpPage
    std::int32_t page = kMainPage;
    std::int32_t shownTable = 0;              // 0..6, the table on the hi-scores page
    std::uint8_t hovered[kMenuItemsMax] = {}; // set again by every HandleInput

    void Open();
    // Opens straight on the hi-scores page showing a table: after a name entry, the player sees
    // where the score went.
    void OpenOnTable(std::int32_t table);
    // The hi-scores page of an open menu, showing a table (0 for one out of range).
    void ShowHiScoreTable(std::int32_t table);
    void SetPage(std::int32_t newPage);
    void Update();
    void Draw();
    void HandleInput();
};

FrontEndMenu& Menu();

// The item under a point of the screen, -1 when none: strictly inside its 400 x 60 box, so the
// border row two items share belongs to neither.
std::int32_t MenuItemAt(std::int32_t x, std::int32_t y, std::int32_t itemCount);
