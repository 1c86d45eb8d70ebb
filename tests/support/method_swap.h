// One method of a COM interface swapped for a test's own. A method table is shared by every object
// of the class that made it, so a swap watches all of them until it is undone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The slot of a virtual method in its interface's table. The compiler's pointer to a virtual
// member holds one plus the slot's byte offset in the table.
template <typename Method> int MethodSlot(Method method) {
    struct {
        std::uintptr_t offset;
        std::ptrdiff_t adjust;
    } raw;
    static_assert(sizeof raw == sizeof method);
    std::memcpy(&raw, &method, sizeof raw);
    return static_cast<int>((raw.offset - 1) / sizeof(void*));
}

struct MethodSwap {
    void** slot = nullptr;
    void* real = nullptr; // what the slot held before the swap
};

// Writes replacement into slot `slot` of the object's method table.
MethodSwap SwapMethod(void* object, int slot, void* replacement);
// Puts back what the slot held; a swap never made is ignored.
void UndoSwap(const MethodSwap& swap);

template <typename T> void* Address(T function) {
    return reinterpret_cast<void*>(function);
}
