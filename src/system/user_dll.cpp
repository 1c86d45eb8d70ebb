// System module: user DLLs in slots 1 to 255 and the calls of their exported functions.
#include "core/win32.h"

#include "system/system.h"
#include "system/system_internal.h"
#include "system/system_state.h"
#include "core/core.h"
#include "core/item_lookup.h"
#include "core/media.h"
#include "core/error_numbers.h"

namespace {

SystemState& s = g_System;

constexpr std::int32_t kMostArguments = 10;

constexpr ItemNumbers kSlotNumbers{1, kUserDLLSlots - 1, kDllSlotIllegal, kDllSlotEmpty};

// The slot's library, or null after 9705 or 9702.
HMODULE CheckedSlot(std::int32_t slot) {
    return CheckedItem(slot, kSlotNumbers, [](std::int32_t n) { return s.dlls[n]; });
}

// The named export of the slot's library, or null after 9705, 9702 or 9704.
FARPROC CheckedFunction(std::int32_t slot, const char* name) {
    HMODULE dll = CheckedSlot(slot);
    if (!dll) return nullptr;
    // The name exactly as given: stdcall exports may carry their "@n" decoration.
    FARPROC function = name ? GetProcAddress(dll, name) : nullptr;
    if (!function) RaiseRuntimeError(kDllFunctionMissing);
    return function;
}

std::int32_t Call(std::int32_t slot, const char* name, const std::int32_t* arguments,
                  std::uint32_t count) {
    FARPROC function = CheckedFunction(slot, name);
    return function ? static_cast<std::int32_t>(CallUserFunction(function, arguments, count)) : 0;
}

} // namespace

void LoadUserDLL(const char* fileName, std::int32_t slot) {
    // The slot first: a refused load must not run the file-name hooks, which may rewrite files.
    if (!CheckItemNumber(slot, kSlotNumbers)) return;
    if (s.dlls[slot]) return RaiseRuntimeError(kDllSlotInUse);
    // A name too long for the name buffer fails as a missing file would, never cut short.
    ScopedMediaName name(s.core, fileName);
    HMODULE dll = name.Ok() ? LoadLibraryA(name.Text()) : nullptr;
    // A DLL that does not load is the command's error: nothing in the slot says so otherwise.
    if (!dll) return RaiseRuntimeError(kDllNotLoaded);
    s.dlls[slot] = dll;
}

void DeleteUserDLL(std::int32_t slot) {
    if (HMODULE dll = CheckedSlot(slot)) {
        FreeLibrary(dll);
        s.dlls[slot] = nullptr;
    }
}

std::int32_t UserDLLExist(std::int32_t slot) {
    if (!CheckItemNumber(slot, kSlotNumbers)) return 0;
    return s.dlls[slot] ? 1 : 0;
}

std::int32_t UserDLLCallExist(std::int32_t slot, const char* name) {
    if (!CheckItemNumber(slot, kSlotNumbers)) return 0;
    return s.dlls[slot] && name && GetProcAddress(s.dlls[slot], name) ? 1 : 0;
}

std::int32_t CallUserDLL(std::int32_t slot, const char* name) {
    return Call(slot, name, nullptr, 0);
}

std::int32_t CallUserDLL(std::int32_t slot, const char* name, std::int32_t a1) {
    const std::int32_t a[] = {a1};
    return Call(slot, name, a, 1);
}

std::int32_t CallUserDLL(std::int32_t slot, const char* name, std::int32_t a1, std::int32_t a2) {
    const std::int32_t a[] = {a1, a2};
    return Call(slot, name, a, 2);
}

std::int32_t CallUserDLL(std::int32_t slot, const char* name, std::int32_t a1, std::int32_t a2,
                         std::int32_t a3) {
    const std::int32_t a[] = {a1, a2, a3};
    return Call(slot, name, a, 3);
}

std::int32_t CallUserDLL(std::int32_t slot, const char* name, std::int32_t a1, std::int32_t a2,
                         std::int32_t a3, std::int32_t a4) {
    const std::int32_t a[] = {a1, a2, a3, a4};
    return Call(slot, name, a, 4);
}

std::int32_t CallUserDLL(std::int32_t slot, const char* name, std::int32_t a1, std::int32_t a2,
                         std::int32_t a3, std::int32_t a4, std::int32_t a5) {
    const std::int32_t a[] = {a1, a2, a3, a4, a5};
    return Call(slot, name, a, 5);
}

std::int32_t CallUserDLL(std::int32_t slot, const char* name, std::int32_t a1, std::int32_t a2,
                         std::int32_t a3, std::int32_t a4, std::int32_t a5, std::int32_t a6) {
    const std::int32_t a[] = {a1, a2, a3, a4, a5, a6};
    return Call(slot, name, a, 6);
}

std::int32_t CallUserDLL(std::int32_t slot, const char* name, std::int32_t a1, std::int32_t a2,
                         std::int32_t a3, std::int32_t a4, std::int32_t a5, std::int32_t a6,
                         std::int32_t a7) {
    const std::int32_t a[] = {a1, a2, a3, a4, a5, a6, a7};
    return Call(slot, name, a, 7);
}

std::int32_t CallUserDLL(std::int32_t slot, const char* name, std::int32_t a1, std::int32_t a2,
                         std::int32_t a3, std::int32_t a4, std::int32_t a5, std::int32_t a6,
                         std::int32_t a7, std::int32_t a8) {
    const std::int32_t a[] = {a1, a2, a3, a4, a5, a6, a7, a8};
    return Call(slot, name, a, 8);
}

std::int32_t CallUserDLL(std::int32_t slot, const char* name, std::int32_t a1, std::int32_t a2,
                         std::int32_t a3, std::int32_t a4, std::int32_t a5, std::int32_t a6,
                         std::int32_t a7, std::int32_t a8, std::int32_t a9) {
    const std::int32_t a[] = {a1, a2, a3, a4, a5, a6, a7, a8, a9};
    return Call(slot, name, a, 9);
}

std::int32_t CallUserDLL(std::int32_t slot, const char* name, std::int32_t a1, std::int32_t a2,
                         std::int32_t a3, std::int32_t a4, std::int32_t a5, std::int32_t a6,
                         std::int32_t a7, std::int32_t a8, std::int32_t a9, std::int32_t a10) {
    const std::int32_t a[] = {a1, a2, a3, a4, a5, a6, a7, a8, a9, a10};
    return Call(slot, name, a, 10);
}

std::int32_t CallUserDLL(std::int32_t slot, const char* name, const std::int32_t* arguments,
                         std::int32_t count) {
    FARPROC function = CheckedFunction(slot, name);
    if (!function) return 0;
    // The thunk copies count words: more than a call may take, or words that are not there,
    // would read past the caller's array.
    if (count < 0 || count > kMostArguments || (count > 0 && !arguments)) {
        RaiseRuntimeError(kValueOutOfRange);
        return 0;
    }
    return static_cast<std::int32_t>(
        CallUserFunction(function, arguments, static_cast<std::uint32_t>(count)));
}
