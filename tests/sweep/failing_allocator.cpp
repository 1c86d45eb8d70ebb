#include "core/win32.h"

#include "sweep/failing_allocator.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <malloc.h>
#include <new>
#include <utility>

// The CRT's own functions, which the link's --wrap options send every call of the program to us.
extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t count, std::size_t size);
void* __real_realloc(void* block, std::size_t size);
void __real_free(void* block);
}

namespace {

constexpr unsigned kSlots = 1u << 16;
constexpr std::uintptr_t kEmpty = 0, kGone = 1;

// Who may write: the armed thread its counts; any thread, under the lock, the set of blocks made
// while armed (a block may be freed on another thread). Constant-initialised: the allocator runs
// before any constructor does.
struct State {
    std::atomic<DWORD> armedThread{0};
    std::atomic<bool> tracking{false};
    std::atomic_flag lock = ATOMIC_FLAG_INIT;
    int made = 0, failAt = 0, held = 0;
    bool failed = false, overflow = false;
    std::uintptr_t slots[kSlots] = {};
    unsigned used[kSlots / 2] = {};
    unsigned usedCount = 0;
};
State g;

struct Lock {
    Lock() {
        while (g.lock.test_and_set(std::memory_order_acquire))
            Sleep(0);
    }
    ~Lock() { g.lock.clear(std::memory_order_release); }
};

unsigned Hash(std::uintptr_t p) {
    return static_cast<unsigned>(((p >> 3) * 2654435761u) >> 8) & (kSlots - 1);
}

void Insert(std::uintptr_t p) {
    if (g.usedCount == kSlots / 2) {
        g.overflow = true;
        return;
    }
    unsigned i = Hash(p);
    while (g.slots[i] != kEmpty && g.slots[i] != kGone)
        i = (i + 1) & (kSlots - 1);
    if (g.slots[i] == kEmpty) g.used[g.usedCount++] = i;
    g.slots[i] = p;
    ++g.held;
}

bool Erase(std::uintptr_t p) {
    for (unsigned i = Hash(p); g.slots[i] != kEmpty; i = (i + 1) & (kSlots - 1))
        if (g.slots[i] == p) {
            g.slots[i] = kGone;
            --g.held;
            return true;
        }
    return false;
}

void Clear() {
    for (unsigned k = 0; k < g.usedCount; ++k)
        g.slots[g.used[k]] = kEmpty;
    g.usedCount = 0;
    g.held = 0;
    g.overflow = false;
}

bool Armed() {
    const DWORD armed = g.armedThread.load(std::memory_order_relaxed);
    return armed != 0 && armed == GetCurrentThreadId();
}

// Counts one allocation of the armed thread; whether it is the one to refuse.
bool Refuse(bool armed) {
    if (!armed) return false;
    if (++g.made != g.failAt) return false;
    g.failed = true;
    return true;
}

void* Track(bool armed, void* block) {
    if (armed && block) {
        Lock lock;
        Insert(reinterpret_cast<std::uintptr_t>(block));
    }
    return block;
}

void Untrack(void* block) {
    if (block && g.tracking.load(std::memory_order_acquire)) {
        Lock lock;
        Erase(reinterpret_cast<std::uintptr_t>(block));
    }
}

void* New(std::size_t size) {
    const bool armed = Armed();
    if (Refuse(armed)) return nullptr;
    return Track(armed, __real_malloc(size ? size : 1));
}

void* NewAligned(std::size_t size, std::align_val_t align) {
    const bool armed = Armed();
    if (Refuse(armed)) return nullptr;
    return Track(armed, _aligned_malloc(size ? size : 1, static_cast<std::size_t>(align)));
}

void Delete(void* block) {
    Untrack(block);
    __real_free(block);
}

void DeleteAligned(void* block) {
    Untrack(block);
    _aligned_free(block);
}

// The platform's global-memory functions, which the engine calls for blocks, strings and files
// through the program's import table; the table's entries are pointed at these.
decltype(&GlobalAlloc) g_realGlobalAlloc = nullptr;
decltype(&GlobalReAlloc) g_realGlobalReAlloc = nullptr;
decltype(&GlobalFree) g_realGlobalFree = nullptr;

HGLOBAL WINAPI FailingGlobalAlloc(UINT flags, SIZE_T size) {
    const bool armed = Armed();
    if (Refuse(armed)) return nullptr;
    return Track(armed, g_realGlobalAlloc(flags, size));
}

HGLOBAL WINAPI FailingGlobalReAlloc(HGLOBAL block, SIZE_T size, UINT flags) {
    if (Refuse(Armed())) return nullptr;
    HGLOBAL moved = g_realGlobalReAlloc(block, size, flags);
    if (moved && moved != block && g.tracking.load(std::memory_order_acquire)) {
        Lock lock;
        if (Erase(reinterpret_cast<std::uintptr_t>(block)))
            Insert(reinterpret_cast<std::uintptr_t>(moved));
    }
    return moved;
}

HGLOBAL WINAPI FailingGlobalFree(HGLOBAL block) {
    Untrack(block);
    return g_realGlobalFree(block);
}

void WriteEntry(void** entry, void* value) {
    DWORD old = 0;
    VirtualProtect(entry, sizeof(void*), PAGE_READWRITE, &old);
    *entry = value;
    VirtualProtect(entry, sizeof(void*), old, &old);
}

// Points every import-table entry of the program that holds one of the functions at ours.
void PatchImports() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    g_realGlobalAlloc = reinterpret_cast<decltype(&GlobalAlloc)>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GlobalAlloc")));
    g_realGlobalReAlloc = reinterpret_cast<decltype(&GlobalReAlloc)>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GlobalReAlloc")));
    g_realGlobalFree = reinterpret_cast<decltype(&GlobalFree)>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GlobalFree")));
    const std::pair<void*, void*> swaps[] = {
        {reinterpret_cast<void*>(g_realGlobalAlloc), reinterpret_cast<void*>(&FailingGlobalAlloc)},
        {reinterpret_cast<void*>(g_realGlobalReAlloc),
         reinterpret_cast<void*>(&FailingGlobalReAlloc)},
        {reinterpret_cast<void*>(g_realGlobalFree), reinterpret_cast<void*>(&FailingGlobalFree)}};
    auto* base = reinterpret_cast<std::uint8_t*>(GetModuleHandleA(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         dir.VirtualAddress && d->Name; ++d)
        for (auto** entry = reinterpret_cast<void**>(base + d->FirstThunk); *entry; ++entry)
            for (const auto& [real, ours] : swaps)
                if (real && *entry == real) WriteEntry(entry, ours);
}

} // namespace

void ArmAllocations(int failAt) {
    static const bool patched = (PatchImports(), true);
    (void)patched;
    Lock lock;
    Clear();
    g.made = 0;
    g.failAt = failAt;
    g.failed = false;
    g.tracking.store(true, std::memory_order_release);
    g.armedThread.store(GetCurrentThreadId(), std::memory_order_release);
}

AllocationTally DisarmAllocations() {
    g.armedThread.store(0, std::memory_order_release);
    Lock lock;
    const AllocationTally tally{g.made, g.failed, g.overflow ? -1 : g.held};
    Clear();
    g.tracking.store(false, std::memory_order_release);
    return tally;
}

extern "C" {
void* __wrap_malloc(std::size_t size) {
    const bool armed = Armed();
    if (Refuse(armed)) return nullptr;
    return Track(armed, __real_malloc(size));
}

void* __wrap_calloc(std::size_t count, std::size_t size) {
    const bool armed = Armed();
    if (Refuse(armed)) return nullptr;
    return Track(armed, __real_calloc(count, size));
}

// A block that moves stays the same block: held only when the old one was.
void* __wrap_realloc(void* block, std::size_t size) {
    if (!block) return __wrap_malloc(size);
    if (size == 0) {
        Untrack(block);
        return __real_realloc(block, 0);
    }
    if (Refuse(Armed())) return nullptr;
    void* moved = __real_realloc(block, size);
    if (moved && moved != block && g.tracking.load(std::memory_order_acquire)) {
        Lock lock;
        if (Erase(reinterpret_cast<std::uintptr_t>(block)))
            Insert(reinterpret_cast<std::uintptr_t>(moved));
    }
    return moved;
}

void __wrap_free(void* block) {
    Delete(block);
}
}

void* operator new(std::size_t size) {
    if (void* block = New(size)) return block;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* block = New(size)) return block;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return New(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return New(size);
}
void* operator new(std::size_t size, std::align_val_t align) {
    if (void* block = NewAligned(size, align)) return block;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t align) {
    if (void* block = NewAligned(size, align)) return block;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    return NewAligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    return NewAligned(size, align);
}
void operator delete(void* block) noexcept {
    Delete(block);
}
void operator delete[](void* block) noexcept {
    Delete(block);
}
void operator delete(void* block, std::size_t) noexcept {
    Delete(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    Delete(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    Delete(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    Delete(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    DeleteAligned(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    DeleteAligned(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    DeleteAligned(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    DeleteAligned(block);
}
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    DeleteAligned(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    DeleteAligned(block);
}
