#include "core/win32.h"

#include "core/item_keepers.h"

#include <gtest/gtest.h>

#include <array>
#include <utility>
#include <vector>

namespace {

std::vector<int> told;
// What a keeper does besides noting that it was told; set by the case.
void (*whenTold)(int keeper) = nullptr;

template <int I> void Keeper(const ItemNotice& notice) {
    told.push_back(notice.number == 7 ? I : -I);
    if (whenTold) whenTold(I);
}

template <std::size_t... I> constexpr auto MakeKeepers(std::index_sequence<I...>) {
    return std::array<ItemKeeperFn, sizeof...(I)>{&Keeper<int(I) + 1>...};
}
// One more than a list holds, each a function of its own.
constexpr auto kKeepers = MakeKeepers(std::make_index_sequence<kMaxItemKeepers + 1>{});

std::vector<int> Tell(ItemOwner owner = ItemOwner::Bitmap) {
    told.clear();
    TellItemKeepers(owner, {ItemChange::Deleted, 7, nullptr, nullptr});
    return told;
}

// The bitmap owner's list is the cases' own: the modules that other cases start take their
// keepers away again as they stop.
class ItemKeepers : public ::testing::Test {
protected:
    void TearDown() override {
        whenTold = nullptr;
        for (ItemKeeperFn fn : kKeepers)
            RemoveItemKeeper(ItemOwner::Bitmap, fn);
    }
};

} // namespace

TEST_F(ItemKeepers, EachKeeperIsToldOnceInTheOrderAddedAndOnlyByItsOwner) {
    ASSERT_TRUE(AddItemKeeper(ItemOwner::Bitmap, kKeepers[1]));
    ASSERT_TRUE(AddItemKeeper(ItemOwner::Bitmap, kKeepers[0]));
    ASSERT_TRUE(AddItemKeeper(ItemOwner::Bitmap, kKeepers[1])); // already there
    EXPECT_EQ(Tell(), (std::vector<int>{2, 1}));
    EXPECT_EQ(Tell(ItemOwner::Effect), std::vector<int>{});
    RemoveItemKeeper(ItemOwner::Bitmap, kKeepers[1]);
    EXPECT_EQ(Tell(), std::vector<int>{1});
    EXPECT_FALSE(AddItemKeeper(ItemOwner::Bitmap, nullptr));
    EXPECT_FALSE(AddItemKeeper(ItemOwner::Count, kKeepers[2]));
}

TEST_F(ItemKeepers, AKeeperRemovedDuringAWalkIsNotToldAndOneAddedWaitsForTheNext) {
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(AddItemKeeper(ItemOwner::Bitmap, kKeepers[i]));
    // Keeper 1 takes keeper 2 and itself away and brings keeper 4 in.
    whenTold = [](int keeper) {
        if (keeper != 1) return;
        RemoveItemKeeper(ItemOwner::Bitmap, kKeepers[1]);
        RemoveItemKeeper(ItemOwner::Bitmap, kKeepers[0]);
        AddItemKeeper(ItemOwner::Bitmap, kKeepers[3]);
    };
    EXPECT_EQ(Tell(), (std::vector<int>{1, 3}));
    EXPECT_EQ(Tell(), (std::vector<int>{3, 4}));
}

TEST_F(ItemKeepers, AFullListRefusesAnotherUntilOneLeaves) {
    int added = 0;
    while (added < kMaxItemKeepers && AddItemKeeper(ItemOwner::Bitmap, kKeepers[added]))
        ++added;
    ASSERT_EQ(added, kMaxItemKeepers);
    EXPECT_FALSE(AddItemKeeper(ItemOwner::Bitmap, kKeepers[kMaxItemKeepers]));
    EXPECT_EQ(Tell().size(), std::size_t{kMaxItemKeepers});
    RemoveItemKeeper(ItemOwner::Bitmap, kKeepers[4]);
    EXPECT_TRUE(AddItemKeeper(ItemOwner::Bitmap, kKeepers[kMaxItemKeepers]));
    const std::vector<int> after = Tell();
    ASSERT_EQ(after.size(), std::size_t{kMaxItemKeepers});
    EXPECT_EQ(after[4], 6) << "the others close up in their order";
    EXPECT_EQ(after.back(), kMaxItemKeepers + 1);
}
