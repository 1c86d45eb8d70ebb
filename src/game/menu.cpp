#include "core/win32.h"

#include "game/menu.h"
#include "game/media_numbers.h"
#include "game/effects.h"
#include "game/hiscores.h"
#include "game/hud.h"
#include "game/settings.h"
#include "image/image.h"
#include "input/input.h"
#include "sound/sound.h"

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

// Written by Open, SetPage and HandleInput; lives as long as the program.
FrontEndMenu menu;

constexpr std::int32_t kItemsTop = 350;
constexpr std::int32_t kItemHeight = 60;
constexpr std::int32_t kItemsLeft = 312;
constexpr std::int32_t kItemsRight = 712;

struct PageItems {
    std::int32_t count;
    const char* labels[kMenuItemsMax];
};

// Indexed by MenuPage. Empty labels still take a row, so "back" sits low enough on the pages
// that show something above it.
constexpr PageItems kPages[] = {
    {5, {"play game", "how to play", "hi scores", "credits", "quit"}},
    {4, {"puzzle mode", "time attack mode", "keepy uppy mode", "back"}},
    {4, {"easy", "medium", "hard", "back"}},
    {4, {"easy", "medium", "hard", "back"}},
    {6, {"", "", "", "", "", "back"}},
    {6, {"", "", "", "next", "previous", "back"}},
    {6, {"", "", "", "", "next", "back"}},
};

constexpr const char* kPlayHints[] = {"collect stars to finish levels", "2 minutes to earn points",
                                      "dont let your combo stop"};

constexpr const char* kCredits[] = {
    "zarvolin", "a puzzle of shapes and colours", "design and code: the zarvolin team",
    "pictures and sounds: made in house", "built on our own engine"};
constexpr const char* kCreditsFooter = "thanks for playing";

bool ValidPage(std::int32_t page) {
    return page >= kMainPage && page <= kHowToPlayPage;
}

void PlayPop() {
    PlaySound(kPopSounds + std::rand() % kPopSoundCount);
}

// Colours 3, 4, 5 for easy, medium, hard; the high-score table follows the same order.
void StartGame(std::int32_t mode, std::int32_t colours, std::int32_t hiScoreTable) {
    HiScores().current = hiScoreTable;
    Settings().StartGame(mode, 0, colours);
}

void ClickMain(FrontEndMenu& m, std::int32_t item) {
    switch (item) {
    case 0:
        return m.SetPage(kPlayPage);
    case 1:
        return m.SetPage(kHowToPlayPage);
    case 2:
        return m.SetPage(kHiScoresPage);
    case 3:
        return m.SetPage(kCreditsPage);
    default:
        ExitProcess(0); // at once: nothing is left unsaved, the tables are saved on entry
    }
}

void ClickPlay(FrontEndMenu& m, std::int32_t item) {
    switch (item) {
    case 0:
        return StartGame(kPuzzleMode, 3, 0);
    case 1:
        return m.SetPage(kTimeAttackPage);
    case 2:
        return m.SetPage(kKeepyUppyPage);
    default:
        return m.SetPage(kMainPage);
    }
}

// The time-attack and keepy-uppy pages: three difficulties and "back".
void ClickDifficulty(FrontEndMenu& m, std::int32_t item, std::int32_t mode,
                     std::int32_t firstTable) {
    if (item < 3)
        StartGame(mode, 3 + item, firstTable + item);
    else
        m.SetPage(kPlayPage);
}

void ClickHiScores(FrontEndMenu& m, std::int32_t item) {
    if (item == 3 || item == 4) {
        const std::int32_t step = item == 3 ? 1 : kHiScoreTables - 1;
        m.shownTable = (m.shownTable + step) % kHiScoreTables;
        PlayPop();
    } else if (item == 5) {
        m.SetPage(kMainPage);
    }
}

void ClickHowToPlay(FrontEndMenu& m, std::int32_t item) {
    if (item == 4) {
        m.helpPage = (m.helpPage + 1) % kHelpPages;
        PlayPop();
    } else if (item == 5) {
        m.SetPage(kMainPage);
    }
}

void Click(FrontEndMenu& m, std::int32_t item) {
    switch (m.page) {
    case kMainPage:
        return ClickMain(m, item);
    case kPlayPage:
        return ClickPlay(m, item);
    case kTimeAttackPage:
        return ClickDifficulty(m, item, kTimeAttackMode, 1);
    case kKeepyUppyPage:
        return ClickDifficulty(m, item, kKeepyUppyMode, 4);
    case kCreditsPage:
        if (item == 5) m.SetPage(kMainPage);
        return;
    case kHiScoresPage:
        return ClickHiScores(m, item);
    case kHowToPlayPage:
        return ClickHowToPlay(m, item);
    default:
        return;
    }
}

void DrawHiScores(std::int32_t t) {
    DrawTextImages(TableCaption(t), 512, 60);
    DrawTextImagesHighlighted("name", 256, 140);
    DrawTextImagesHighlighted(KeyHeading(t), 768, 140);
    for (std::int32_t e = 0; e < kHiScoreEntries; ++e) {
        const HiScoreEntry& entry = HiScores().tables[t][e];
        const std::int32_t y = 220 + 60 * e;
        DrawTextImages(entry.name, 256, y);
        DrawTextImages(FormatThousands(std::to_string(RankingKey(t, entry))), 768, y);
    }
}

void DrawCredits() {
    std::int32_t y = 110;
    for (const char* line : kCredits) {
        DrawTextImages(line, 512, y);
        y += 60;
    }
    DrawTextImages(kCreditsFooter, 512, 530);
}

void DrawItems(const FrontEndMenu& m) {
    const PageItems& items = kPages[m.page];
    for (std::int32_t i = 0; i < m.itemCount && i < items.count; ++i) {
        const std::int32_t y = kItemsTop + kItemHeight * i;
        if (m.hovered[i])
            DrawTextImagesHighlighted(items.labels[i], 512, y);
        else
            DrawTextImages(items.labels[i], 512, y);
    }
    if (m.page != kPlayPage) return;
    for (std::int32_t i = 0; i < 3; ++i)
        if (m.hovered[i]) DrawTextImages(kPlayHints[i], 512, 600);
}

} // namespace

FrontEndMenu& Menu() {
    return menu;
}

std::int32_t MenuItemAt(std::int32_t x, std::int32_t y, std::int32_t itemCount) {
    if (x <= kItemsLeft || x >= kItemsRight) return -1;
    for (std::int32_t i = 0; i < itemCount; ++i) {
        const std::int32_t top = kItemsTop + kItemHeight * i;
        if (y > top && y < top + kItemHeight) return i;
    }
    return -1;
}

void FrontEndMenu::Open() {
    StopSound(kGameTune);
    LoopSound(kMenuTune);
    SetPage(kMainPage);
    TheBackdrop().SetScheme(0);
    shownTable = 0;
}

void FrontEndMenu::OpenOnTable(std::int32_t table) {
    Open();
    ShowHiScoreTable(table);
}

void FrontEndMenu::ShowHiScoreTable(std::int32_t table) {
    SetPage(kHiScoresPage);
    shownTable = table >= 0 && table < kHiScoreTables ? table : 0;
}

void FrontEndMenu::SetPage(std::int32_t newPage) {
    page = ValidPage(newPage) ? newPage : kMainPage;
    PlayPop();
    for (auto& h : hovered)
        h = 0;
    itemCount = kPages[page].count;
    if (page == kHowToPlayPage) helpPage = 0;
}

void FrontEndMenu::Update() {
    UpdateMouseButtons();
    // Reseeded every frame from the running time, so the moment of the click picks the deal.
    std::srand(static_cast<unsigned>(std::clock()));
}

void FrontEndMenu::Draw() {
    PasteImage(kQuorvaneImage, 870, 700, 1);
    if (page >= kMainPage && page <= kKeepyUppyPage) PasteImage(kLogoImage, 170, 20, 1);
    if (page == kCreditsPage) DrawCredits();
    if (page == kHiScoresPage && shownTable >= 0 && shownTable < kHiScoreTables)
        DrawHiScores(shownTable);
    if (page == kHowToPlayPage) PasteImage(kHelpImages + helpPage, 100, 20, 1);
    if (ValidPage(page)) DrawItems(*this);
}

void FrontEndMenu::HandleInput() {
    for (auto& h : hovered)
        h = 0;
    const std::int32_t count = itemCount < kMenuItemsMax ? itemCount : kMenuItemsMax;
    const std::int32_t item = MenuItemAt(GetMouseX(), GetMouseY(), count);
    if (item >= 0) hovered[item] = 1;
    if (WasMouseButtonPressed(1) && item >= 0) Click(*this, item);
}
