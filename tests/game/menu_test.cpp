#include "core/win32.h"

#include "game/game_app.h"
#include "game/hiscores.h"
#include "game/hud.h"
#include "game/menu.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class MenuTest : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        ResetMouseButtons();
        Menu().Open();
    }
    void TearDown() override {
        App().screen = 0;
        EngineFixture::TearDown();
    }
};

void ClickAt(std::int32_t x, std::int32_t y) {
    g_CoreData->mouseX = x;
    g_CoreData->mouseY = y;
    QueueMouseClick(1);
    UpdateMouseButtons();
    Menu().HandleInput();
}

// The middle of item i's box.
void ClickItem(std::int32_t i) {
    ClickAt(512, 380 + 60 * i);
}

// The values of a field after each of n clicks on an item.
template <typename Field> std::vector<int> Cycle(std::int32_t item, int n, Field field) {
    std::vector<int> seen;
    for (int i = 0; i < n; ++i) {
        ClickItem(item);
        seen.push_back(field());
    }
    return seen;
}

} // namespace

TEST_F(MenuTest, ClicksCountOnlyStrictlyInsideAnItem) {
    FrontEndMenu& m = Menu();
    // The borders of the boxes, the row items 0 and 1 share, and the bottom of the last item.
    for (auto [x, y] : {std::pair{512, 410}, {512, 350}, {312, 380}, {712, 380}, {512, 650}}) {
        ClickAt(x, y);
        EXPECT_EQ(m.page, kMainPage) << x << "," << y;
        for (auto h : m.hovered)
            EXPECT_EQ(h, 0);
    }
    ClickAt(313, 351);
    ASSERT_EQ(m.page, kPlayPage);
    ClickAt(711, 589); // "back", at its inner corner
    ASSERT_EQ(m.page, kMainPage);
    ClickItem(3);
    ASSERT_EQ(m.page, kCreditsPage);
    for (std::int32_t i = 0; i < 5; ++i)
        ClickItem(i); // the credits' text lines are items that do nothing
    EXPECT_EQ(m.page, kCreditsPage);
}

TEST_F(MenuTest, NextCyclesTheTablesAndTheHelpPages) {
    FrontEndMenu& m = Menu();
    ClickItem(2);
    ASSERT_EQ(m.page, kHiScoresPage);
    EXPECT_EQ(Cycle(3, 7, [&] { return m.shownTable; }), (std::vector<int>{1, 2, 3, 4, 5, 6, 0}));
    EXPECT_EQ(Cycle(4, 2, [&] { return m.shownTable; }), (std::vector<int>{6, 5}));
    ClickItem(5);
    ClickItem(1);
    ASSERT_EQ(m.page, kHowToPlayPage);
    EXPECT_EQ(Cycle(4, 5, [&] { return m.helpPage; }), (std::vector<int>{1, 2, 3, 0, 1}));
    ClickItem(5);
    ClickItem(1);
    EXPECT_EQ(m.helpPage, 0); // each visit starts on the first picture
    // After a name entry the menu opens on that table; an ordinary opening starts over.
    m.OpenOnTable(2);
    EXPECT_EQ(m.page, kHiScoresPage);
    EXPECT_EQ(m.shownTable, 2);
    m.Open();
    EXPECT_EQ(m.page, kMainPage);
    EXPECT_EQ(m.shownTable, 0);
}

TEST_F(MenuTest, EachGameStartsWithItsTable) {
    struct Case {
        std::int32_t modeItem, difficultyItem, table;
    };
    for (const Case c : {Case{0, -1, 0}, Case{1, 0, 1}, Case{1, 2, 3}, Case{2, 0, 4}, Case{2, 1, 5},
                         Case{2, 2, 6}}) {
        Menu().Open();
        App().screen = 0;
        ClickItem(0);
        ClickItem(c.modeItem);
        if (c.difficultyItem >= 0) ClickItem(c.difficultyItem);
        EXPECT_EQ(App().screen, 1) << c.table;
        EXPECT_EQ(HiScores().current, c.table);
    }
}
