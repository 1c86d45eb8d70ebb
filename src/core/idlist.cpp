#include "core/win32.h"

#include "core/idlist.h"

#include <cstdint>

IdList::~IdList() {
    Clear();
}

IdListNode* IdList::FindNode(std::int32_t id) const {
    IdListNode* n = first;
    for (std::int32_t i = 0; n && i < count; ++i, n = n->next) {
        if (n->id == id) return n;
    }
    return nullptr;
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
    return ++count;
}

void* IdList::Find(std::int32_t id) const {
    if (count < 1) return nullptr;
    IdListNode* n = FindNode(id);
    return n ? n->data : nullptr;
}

void IdList::Delete(std::int32_t id) {
    IdListNode* n = FindNode(id);
    if (!n) return;
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
}
