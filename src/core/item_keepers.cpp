#include "core/win32.h"

#include "core/item_keepers.h"

namespace {

// Written by the modules' start and stop on the main thread; read by the owners' deletes.
struct State {
    ItemKeeperFn keepers[int(ItemOwner::Count)][kMaxItemKeepers] = {};
};
State s;

bool Listed(ItemOwner owner, ItemKeeperFn fn) {
    for (ItemKeeperFn kept : s.keepers[int(owner)])
        if (kept == fn) return true;
    return false;
}

} // namespace

bool AddItemKeeper(ItemOwner owner, ItemKeeperFn fn) {
    if (!fn || owner >= ItemOwner::Count) return false;
    ItemKeeperFn* list = s.keepers[int(owner)];
    for (int i = 0; i < kMaxItemKeepers; ++i)
        if (list[i] == fn) return true;
    for (int i = 0; i < kMaxItemKeepers; ++i)
        if (!list[i]) {
            list[i] = fn;
            return true;
        }
    return false;
}

void RemoveItemKeeper(ItemOwner owner, ItemKeeperFn fn) {
    if (!fn || owner >= ItemOwner::Count) return;
    ItemKeeperFn* list = s.keepers[int(owner)];
    int kept = 0;
    for (int i = 0; i < kMaxItemKeepers; ++i)
        if (list[i] && list[i] != fn) list[kept++] = list[i];
    for (int i = kept; i < kMaxItemKeepers; ++i)
        list[i] = nullptr;
}

void TellItemKeepers(ItemOwner owner, const ItemNotice& notice) {
    if (owner >= ItemOwner::Count) return;
    // A copy: a keeper may remove itself (or another) while being told. One removed meanwhile
    // is told no more (its module may be gone); one added meanwhile waits for the next notice.
    ItemKeeperFn list[kMaxItemKeepers];
    for (int i = 0; i < kMaxItemKeepers; ++i)
        list[i] = s.keepers[int(owner)][i];
    for (ItemKeeperFn fn : list)
        if (fn && Listed(owner, fn)) fn(notice);
}
