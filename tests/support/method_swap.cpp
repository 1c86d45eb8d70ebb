#include "core/win32.h"

#include "support/method_swap.h"

namespace {

void WriteSlot(void** slot, void* value) {
    DWORD old = 0;
    VirtualProtect(slot, sizeof(void*), PAGE_EXECUTE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof(void*), old, &old);
}

} // namespace

MethodSwap SwapMethod(void* object, int slot, void* replacement) {
    void** table = *static_cast<void***>(object);
    MethodSwap swap{&table[slot], table[slot]};
    WriteSlot(swap.slot, replacement);
    return swap;
}

void UndoSwap(const MethodSwap& swap) {
    if (swap.slot) WriteSlot(swap.slot, swap.real);
}
