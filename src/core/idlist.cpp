#include "core/win32.h"

#include "core/idlist.h"

#include <cstdint>

namespace {

// Lists shorter than this are walked: it is as quick, and costs no memory.
constexpr std::int32_t kIndexFrom = 16;
constexpr std::uint32_t kFirstCapacity = 64;

} // namespace

IdList::~IdList() {
    Clear();
}

IdListNode* IdList::WalkFrom(IdListNode* n, std::int32_t id) const {
    for (std::int32_t i = 0; n && i < count; ++i, n = n->next) {
        if (n->id == id) return n;
    }
    return nullptr;
}

IdListNode* IdList::FindNode(std::int32_t id) const {
    if (!index) return WalkFrom(first, id);
    const IndexSlot* slot = IndexSlotOf(id);
    return slot ? slot->node : nullptr;
}

std::uint32_t IdList::Home(std::int32_t id) const {
    return (static_cast<std::uint32_t>(id) * 2654435769u) >> indexShift;
}

IdList::IndexSlot* IdList::IndexSlotOf(std::int32_t id) const {
    const std::uint32_t mask = indexCapacity - 1;
    for (std::uint32_t i = Home(id);; i = (i + 1) & mask) {
        IndexSlot& slot = index[i];
        if (!slot.node) return nullptr;
        if (slot.id == id) return &slot;
    }
}

// The id must not be in the index yet, and the index must have room.
void IdList::IndexInsert(std::int32_t id, IdListNode* node) {
    const std::uint32_t mask = indexCapacity - 1;
    std::uint32_t i = Home(id);
    while (index[i].node)
        i = (i + 1) & mask;
    index[i] = IndexSlot{id, node};
    ++indexed;
}

// Backward-shift removal keeps every probe run unbroken without tombstones.
void IdList::IndexErase(IndexSlot* slot) {
    const std::uint32_t mask = indexCapacity - 1;
    std::uint32_t hole = static_cast<std::uint32_t>(slot - index);
    for (std::uint32_t j = (hole + 1) & mask; index[j].node; j = (j + 1) & mask) {
        const std::uint32_t home = Home(index[j].id);
        // Slot j may move into the hole when its home is not cyclically within (hole, j].
        const bool stays = hole <= j ? (home > hole && home <= j) : (home > hole || home <= j);
        if (stays) continue;
        index[hole] = index[j];
        hole = j;
    }
    index[hole].node = nullptr;
    --indexed;
}

// (Re)builds the index from the list at the given capacity; the first node of each id wins.
bool IdList::BuildIndex(std::uint32_t capacity) {
    auto* slots = new (std::nothrow) IndexSlot[capacity]();
    if (!slots) {
        DropIndex();
        return false;
    }
    delete[] index;
    index = slots;
    indexCapacity = capacity;
    indexShift = 32;
    for (std::uint32_t c = capacity; c > 1; c >>= 1)
        --indexShift;
    indexed = duplicates = 0;
    const std::uint32_t mask = capacity - 1;
    IdListNode* n = first;
    for (std::int32_t k = 0; n && k < count; ++k, n = n->next) {
        std::uint32_t i = Home(n->id);
        while (index[i].node && index[i].id != n->id)
            i = (i + 1) & mask;
        if (index[i].node) {
            ++duplicates;
            continue;
        }
        index[i] = IndexSlot{n->id, n};
        ++indexed;
    }
    return true;
}

void IdList::DropIndex() {
    delete[] index;
    index = nullptr;
    indexCapacity = indexShift = 0;
    indexed = duplicates = 0;
}

std::int32_t IdList::Add(std::int32_t id, void* data, std::int32_t allowDuplicate, std::int32_t) {
    if (allowDuplicate == 0) {
        if (IdListNode* found = FindNode(id)) {
            found->data = data;
            return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(data));
        }
    }
    IdListNode* node = new (std::nothrow) IdListNode;
    if (!node) return 0;
    node->id = id;
    node->data = data;
    node->prev = last;
    if (count > 0)
        last->next = node;
    else
        first = node;
    last = node;
    ++count;
    if (index) {
        // At half full the index doubles, taking the new node in from the list.
        if (static_cast<std::uint32_t>(indexed + 1) * 2 > indexCapacity)
            BuildIndex(indexCapacity * 2);
        else if (IndexSlotOf(id))
            ++duplicates;
        else
            IndexInsert(id, node);
    } else if (count >= kIndexFrom) {
        std::uint32_t capacity = kFirstCapacity;
        while (capacity < static_cast<std::uint32_t>(count) * 2)
            capacity *= 2;
        BuildIndex(capacity);
    }
    return count;
}

void* IdList::Find(std::int32_t id) const {
    if (count < 1) return nullptr;
    IdListNode* n = FindNode(id);
    return n ? n->data : nullptr;
}

void IdList::Delete(std::int32_t id) {
    IdListNode* n = FindNode(id);
    if (!n) return;
    if (index) {
        IndexSlot* slot = IndexSlotOf(id);
        // A later node of the same id becomes the one the index finds.
        IdListNode* next = duplicates > 0 ? WalkFrom(n->next, id) : nullptr;
        if (next) {
            slot->node = next;
            --duplicates;
        } else {
            IndexErase(slot);
        }
    }
    if (n->prev)
        n->prev->next = n->next;
    else
        first = n->next;
    if (n->next)
        n->next->prev = n->prev;
    else
        last = n->prev;
    delete n;
    --count;
}

void IdList::Clear() {
    IdListNode* n = first;
    while (n) {
        IdListNode* next = n->next;
        delete n;
        n = next;
    }
    first = last = nullptr;
    count = 0;
    DropIndex();
}
