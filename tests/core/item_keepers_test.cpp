#include "core/win32.h"

#include "core/item_keepers.h"

#include <gtest/gtest.h>

#include <array>
#include <utility>
#include <vector>

namespace {

std::vector<int> told;
void (*whenTold)(int keeper) = nullptr; // what a keeper does besides noting that it was told

template <int I> void Keeper(const ItemNotice&) {
    told.push_back(I);
    if (whenTold) whenTold(I);
}

// One more than a list holds, each a function of its own: kKeepers[i] notes i + 1.
template <std::size_t... I> constexpr auto MakeKeepers(std::index_sequence<I...>) {
    return std::array<ItemKeeperFn, sizeof...(I)>{&Keeper<int(I) + 1>...};
}
constexpr auto kKeepers = MakeKeepers(std::make_index_sequence<kMaxItemKeepers + 1>{});

std::vector<int> Tell(ItemOwner owner = ItemOwner::Bitmap) {
    told.clear();
    TellItemKeepers(owner, {ItemChange::Deleted, 7, nullptr, nullptr});
    return told;
}

// The modules that other cases start take their keepers away as they stop: the list is ours.
class ItemKeepers : public ::testing::Test {
protected:
    void TearDown() override {
        whenTold = nullptr;
        for (ItemKeeperFn fn : kKeepers)
            RemoveItemKeeper(ItemOwner::Bitmap, fn);
    }
};

} // namespace

TEST_F(ItemKeepers, OneRemovedDuringAWalkIsNotToldAndOneAddedWaitsForTheNext) {
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(AddItemKeeper(ItemOwner::Bitmap, kKeepers[i]));
    whenTold = [](int keeper) { // keeper 1 takes 2 and itself away and brings 4 in
        if (keeper != 1) return;
        RemoveItemKeeper(ItemOwner::Bitmap, kKeepers[1]);
        RemoveItemKeeper(ItemOwner::Bitmap, kKeepers[0]);
        AddItemKeeper(ItemOwner::Bitmap, kKeepers[3]);
    };
    EXPECT_EQ(Tell(), (std::vector<int>{1, 3}));
    EXPECT_EQ(Tell(), (std::vector<int>{3, 4}));
}

TEST_F(ItemKeepers, AddedOnceAndAFullListRefusesAnotherUntilOneLeaves) {
    for (int i = 0; i < kMaxItemKeepers; ++i)
        ASSERT_TRUE(AddItemKeeper(ItemOwner::Bitmap, kKeepers[i]));
    EXPECT_TRUE(AddItemKeeper(ItemOwner::Bitmap, kKeepers[0])) << "already there: no new place";
    EXPECT_FALSE(AddItemKeeper(ItemOwner::Bitmap, kKeepers[kMaxItemKeepers]));
    RemoveItemKeeper(ItemOwner::Bitmap, kKeepers[4]);
    EXPECT_TRUE(AddItemKeeper(ItemOwner::Bitmap, kKeepers[kMaxItemKeepers]));
    const std::vector<int> order = Tell();
    ASSERT_EQ(order.size(), std::size_t{kMaxItemKeepers});
    EXPECT_EQ(order[4], 6) << "the others close up in their order";
    EXPECT_EQ(order.back(), kMaxItemKeepers + 1);
}
