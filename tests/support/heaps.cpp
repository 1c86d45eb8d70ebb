#include "core/win32.h"

#include "support/heaps.h"

bool HeapsWhole() {
    HANDLE heaps[256];
    const DWORD count = GetProcessHeaps(256, heaps);
    for (DWORD i = 0; i < count && i < 256; ++i)
        if (!HeapValidate(heaps[i], 0, nullptr)) return false;
    return true;
}
