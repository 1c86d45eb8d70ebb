// IdList: the numbered-item list of every module. Maps an item number chosen by the program to a
// pointer to the module's record; owns its nodes, never the records. Nodes keep append order.
// Past a handful of nodes a hash index finds the first node of a number without walking the list;
// results are those of the walk, and a list whose index cannot be allocated simply walks.
#pragma once

#include <cstdint>
#include <new>
#include <utility>

struct IdListNode {
    std::int32_t id = 0;
    void* data = nullptr;
    IdListNode* next = nullptr;
    IdListNode* prev = nullptr;
};

class IdList {
public:
    IdListNode* last = nullptr;
    IdListNode* first = nullptr;
    std::int32_t count = 0;

    IdList() = default;
    ~IdList();
    IdList(const IdList&) = delete;
    IdList& operator=(const IdList&) = delete;

    // allowDuplicate 0 replaces the data of a node of this id and returns the new data pointer;
    // otherwise appends and returns the new count. 0 when no node could be allocated.
    std::int32_t Add(std::int32_t id, void* data, std::int32_t allowDuplicate, std::int32_t unused);
    void* Find(std::int32_t id) const;
    void Delete(std::int32_t id);
    std::int32_t Count() const { return count; }
    void Clear();

private:
    struct IndexSlot {
        std::int32_t id;
        IdListNode* node; // null: free slot
    };

    IdListNode* FindNode(std::int32_t id) const;
    IdListNode* WalkFrom(IdListNode* n, std::int32_t id) const;
    std::uint32_t Home(std::int32_t id) const;
    IndexSlot* IndexSlotOf(std::int32_t id) const;
    void IndexInsert(std::int32_t id, IdListNode* node);
    void IndexErase(IndexSlot* slot);
    bool BuildIndex(std::uint32_t capacity);
    void DropIndex();

    IndexSlot* index = nullptr;
    std::uint32_t indexCapacity = 0; // a power of two
    std::uint32_t indexShift = 0;
    std::int32_t indexed = 0;    // ids in the index
    std::int32_t duplicates = 0; // nodes whose id an earlier node has
};

// The item store of most modules: records of one type under item numbers, each record a copy that
// the store allocates and owns.
template <typename Record> class ItemStore {
public:
    ItemStore() = default;
    ~ItemStore() { DeleteAll(); }
    ItemStore(const ItemStore&) = delete;
    ItemStore& operator=(const ItemStore&) = delete;

    // Stores record under id, replacing (and freeing) any record of that id. Null when out of
    // memory. Taken by value, so records that own interfaces can be moved in.
    Record* Add(Record record, std::int32_t id) {
        Delete(id);
        Record* copy = new (std::nothrow) Record(std::move(record));
        if (!copy) return nullptr;
        if (list.Add(id, copy, 0, 1) == 0) {
            delete copy;
            return nullptr;
        }
        return copy;
    }

    void Delete(std::int32_t id) {
        delete static_cast<Record*>(list.Find(id));
        list.Delete(id);
    }

    Record* Get(std::int32_t id) const { return static_cast<Record*>(list.Find(id)); }
    std::int32_t Count() const { return list.Count(); }
    const IdList& List() const { return list; }

    void DeleteAll() {
        for (IdListNode* n = list.first; n; n = n->next)
            delete static_cast<Record*>(n->data);
        list.Clear();
    }

private:
    IdList list;
};
