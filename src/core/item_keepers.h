// Keepers of another module's items. A module that keeps a device object (texture, surface,
// effect, mesh) of an item that another module owns adds a keeper for that owner; the owner tells
// its keepers before the item goes, and after it is made again under its number, so that no keeper
// is left holding what was released. The lists are fixed arrays: telling never allocates.
#pragma once

#include <cstdint>

// The owners whose items other modules keep.
enum class ItemOwner { Image, Bitmap, Effect, Object, Count };

enum class ItemChange {
    Deleted, // before is released right after the keepers are told; after is null
    Remade,  // the number now names after; before may already be released: compare it, never use it
};

struct ItemNotice {
    ItemChange change = ItemChange::Deleted;
    std::int32_t number = 0; // the item's number (negative for a module's own images)
    void* before = nullptr;  // the device object (or record) the keepers may hold
    void* after = nullptr;   // the new one, for Remade
};

using ItemKeeperFn = void (*)(const ItemNotice& notice);

constexpr int kMaxItemKeepers = 16;

// Adds fn to the owner's list once (false when the list is full); a module adds its keepers as
// it starts and removes them as it stops.
bool AddItemKeeper(ItemOwner owner, ItemKeeperFn fn);
void RemoveItemKeeper(ItemOwner owner, ItemKeeperFn fn);
// Called by the owner: every keeper of the owner, in the order they were added; a keeper removed
// while the notice goes round is not told it.
void TellItemKeepers(ItemOwner owner, const ItemNotice& notice);
