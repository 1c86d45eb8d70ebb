// Memory of the CSG library. Every block comes from the system allocator through BspAllocate,
// which throws BspBadAlloc ("bad allocation") instead of returning null, so a failure anywhere
// surfaces the same way; the library's growable arrays grow by a fixed 100 elements.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

class BspBadAlloc : public std::bad_alloc {
public:
    const char* what() const noexcept override { return "bad allocation"; }
};

[[noreturn]] void ThrowBspBadAlloc();

// Never returns null.
void* BspAllocate(std::size_t bytes);
void BspRelease(void* block) noexcept;

// count elements of size bytes, the product checked.
void* BspAllocateArray(std::size_t count, std::size_t size);

// Counts the library's blocks while installed and can make the allocation numbered failAt
// (from 0) fail: tests prove with it that every failure path frees what it made.
struct BspMemoryWatch {
    std::int64_t made = 0; // allocations attempted
    std::int64_t live = 0; // blocks not yet released
    std::int64_t failAt = -1;
};
void WatchBspMemory(BspMemoryWatch* watch); // null stops watching

// Objects of the library live on its allocator.
struct BspHeapObject {
    static void* operator new(std::size_t bytes) { return BspAllocate(bytes); }
    static void operator delete(void* block) noexcept { BspRelease(block); }
};

// A scratch array of n elements, freed when it goes out of scope.
template <class T> class BspBlock {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    explicit BspBlock(std::size_t n)
        : data_(n ? static_cast<T*>(BspAllocateArray(n, sizeof(T))) : nullptr) {}
    ~BspBlock() { BspRelease(data_); }
    BspBlock(const BspBlock&) = delete;
    BspBlock& operator=(const BspBlock&) = delete;

    T* Get() const { return data_; }
    T& operator[](std::size_t i) const { return data_[i]; }
    // Hands the array over to the caller, who frees it with BspRelease.
    T* Release() {
        T* data = data_;
        data_ = nullptr;
        return data;
    }

private:
    T* data_;
};

// Growable array of plain elements. Before an append that would leave no spare element the
// capacity rises by 100.
template <class T> class BspArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    static constexpr int kGrowth = 100;

    BspArray() = default;
    ~BspArray() { BspRelease(items_); }
    BspArray(const BspArray&) = delete;
    BspArray& operator=(const BspArray&) = delete;

    int Count() const { return count_; }
    int Capacity() const { return capacity_; }
    bool Empty() const { return count_ == 0; }
    T* Data() const { return items_; }
    T& operator[](int i) const { return items_[i]; }
    bool Contains(const T& value) const {
        for (int i = 0; i < count_; ++i)
            if (items_[i] == value) return true;
        return false;
    }

    void Append(const T& value) {
        if (count_ >= capacity_ - 1) Grow();
        items_[count_++] = value;
    }
    T PopLast() { return items_[--count_]; }
    // Forgets the elements and keeps the storage.
    void RemoveAll() { count_ = 0; }
    // Frees the storage too.
    void Free() {
        BspRelease(items_);
        items_ = nullptr;
        count_ = capacity_ = 0;
    }

private:
    void Grow() {
        const int capacity = capacity_ + kGrowth;
        T* items = static_cast<T*>(BspAllocateArray(static_cast<std::size_t>(capacity), sizeof(T)));
        if (count_) std::memcpy(items, items_, static_cast<std::size_t>(count_) * sizeof(T));
        BspRelease(items_);
        items_ = items;
        capacity_ = capacity;
    }

    T* items_ = nullptr;
    int count_ = 0;
    int capacity_ = 0;
};
