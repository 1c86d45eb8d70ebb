#include "core/win32.h"

#include "core/idlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace {

void* Data(std::intptr_t n) {
    return reinterpret_cast<void*>(n);
}

// The ids from first to last, after checking that both link directions and count agree.
std::vector<std::int32_t> Ids(const IdList& list) {
    std::vector<std::int32_t> forward;
    const IdListNode* prev = nullptr;
    for (const IdListNode* n = list.first; n; n = n->next) {
        EXPECT_EQ(n->prev, prev);
        forward.push_back(n->id);
        prev = n;
    }
    EXPECT_EQ(list.last, prev);
    EXPECT_EQ(static_cast<std::int32_t>(forward.size()), list.Count());
    std::vector<std::int32_t> backward;
    for (const IdListNode* n = list.last; n; n = n->prev)
        backward.push_back(n->id);
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(forward, backward);
    if (list.Count() == 0) {
        EXPECT_EQ(list.first, nullptr);
    }
    return forward;
}

using Ids_ = std::vector<std::int32_t>;

} // namespace

TEST(IdList, EmptyListFindsNothing) {
    IdList list;
    EXPECT_EQ(list.Find(0), nullptr);
    EXPECT_EQ(list.Count(), 0);
    list.Delete(7); // absent: nothing changes
    list.Clear();
    EXPECT_EQ(Ids(list), Ids_{});
}

TEST(IdList, AddAppendsOrReplaces) {
    IdList list;
    int five = 5, two = 2, newTwo = 22;
    EXPECT_EQ(list.Add(5, &five, 0, 1), 1);
    EXPECT_EQ(list.Add(2, &two, 0, 1), 2);
    // A replacement returns the new data pointer and allocates no node.
    EXPECT_EQ(list.Add(2, &newTwo, 0, 1),
              static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(&newTwo)));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Find(2), &newTwo);
    EXPECT_EQ(list.Find(5), &five);
    // Append order is kept, not sorted; id 0 is an ordinary id.
    EXPECT_EQ(list.Add(0, Data(9), 0, 1), 3);
    EXPECT_EQ(Ids(list), (Ids_{5, 2, 0}));
    EXPECT_EQ(list.Find(0), Data(9));
}

TEST(IdList, DeleteAtHeadTailAndMiddle) {
    IdList list;
    for (int id = 1; id <= 5; ++id)
        list.Add(id, Data(id), 0, 1);
    list.Delete(1);
    EXPECT_EQ(Ids(list), (Ids_{2, 3, 4, 5}));
    list.Delete(5);
    EXPECT_EQ(Ids(list), (Ids_{2, 3, 4}));
    list.Delete(3);
    EXPECT_EQ(Ids(list), (Ids_{2, 4}));
    // After the tail goes, a new node links after the new tail.
    list.Delete(4);
    list.Add(9, Data(9), 0, 1);
    EXPECT_EQ(Ids(list), (Ids_{2, 9}));
    list.Delete(2);
    list.Delete(9);
    EXPECT_EQ(Ids(list), Ids_{});
    list.Add(6, Data(6), 0, 1);
    EXPECT_EQ(Ids(list), Ids_{6});
}

TEST(IdList, ClearFreesNodesNotRecords) {
    IdList list;
    int records[3] = {10, 20, 30};
    for (int i = 0; i < 3; ++i)
        list.Add(i, &records[i], 0, 1);
    list.Clear();
    EXPECT_EQ(Ids(list), Ids_{});
    EXPECT_EQ(records[1], 20);
    EXPECT_EQ(list.Add(7, &records[0], 0, 1), 1);
}

// Replacing adds, duplicate appends, deletes and finds against a plain model in append order: in
// a few ids (the list stays short, or crosses into its index and back) and in thousands of
// spread-out ids (the index grows, collides and shifts on removal).
TEST(IdList, RandomOperationsMatchAModel) {
    for (const auto& [ids, spread] : {std::pair{40, 1}, std::pair{3000, 4096}}) {
        std::mt19937 rng(1234);
        IdList list;
        std::vector<std::pair<std::int32_t, std::intptr_t>> model; // in append order
        auto firstOf = [&](std::int32_t id) {
            return std::find_if(model.begin(), model.end(),
                                [&](const auto& e) { return e.first == id; });
        };
        for (int step = 0; step < 40000; ++step) {
            const std::int32_t id = (static_cast<std::int32_t>(rng() % ids) - 5) * spread;
            const std::intptr_t value = step + 1;
            const auto it = firstOf(id);
            switch (rng() % 8) {
            case 0:
            case 1:
            case 2: // add, replacing
                list.Add(id, Data(value), 0, 1);
                if (it != model.end())
                    it->second = value;
                else
                    model.emplace_back(id, value);
                break;
            case 3: // append, even when the id is there
                list.Add(id, Data(value), 1, 1);
                model.emplace_back(id, value);
                break;
            case 4:
            case 5: // delete the first of this id
                list.Delete(id);
                if (it != model.end()) model.erase(it);
                break;
            default:
                ASSERT_EQ(list.Find(id), it == model.end() ? nullptr : Data(it->second))
                    << "id " << id << " at step " << step;
            }
            if (step % 10000 == 9999) {
                for (const auto& [mid, mvalue] : model)
                    ASSERT_EQ(list.Find(mid), Data(firstOf(mid)->second));
            }
        }
        Ids_ expected;
        for (const auto& e : model)
            expected.push_back(e.first);
        EXPECT_EQ(Ids(list), expected);
        list.Clear();
        EXPECT_EQ(list.Find(expected.empty() ? 0 : expected[0]), nullptr);
        EXPECT_EQ(list.Add(7, Data(1), 0, 1), 1);
        EXPECT_EQ(list.Find(7), Data(1));
    }
}

namespace {
struct Counted {
    static int live;
    int value = 0;
    explicit Counted(int v) : value(v) { ++live; }
    Counted(const Counted& o) : value(o.value) { ++live; }
    ~Counted() { --live; }
};
int Counted::live = 0;
} // namespace

TEST(ItemStore, ReplacingAnIdFreesTheOldRecord) {
    {
        ItemStore<Counted> store;
        Counted::live = 0;
        Counted* first = store.Add(Counted(1), 8);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(Counted::live, 1);
        Counted* second = store.Add(Counted(2), 8);
        EXPECT_EQ(Counted::live, 1);
        EXPECT_EQ(store.Get(8), second);
        EXPECT_EQ(store.Get(8)->value, 2);
        EXPECT_EQ(store.Count(), 1);

        store.Add(Counted(3), 9);
        store.Delete(8);
        EXPECT_EQ(Counted::live, 1);
        EXPECT_EQ(store.Get(8), nullptr);
        store.Delete(8); // absent
        store.Add(Counted(4), 10);
    }
    EXPECT_EQ(Counted::live, 0); // the store frees what it still holds
}
