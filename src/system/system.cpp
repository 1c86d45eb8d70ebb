// System module: its entries, physical memory, the Escape and system keys, and CoreData's end
// message texts.
#include "core/win32.h"

#include "system/system.h"
#include "system/system_internal.h"
#include "system/system_state.h"
#include "core/core.h"

#include <cstring>

SystemState g_System;

namespace {

SystemState& s = g_System;

// A copy of text from the string callback into *field, freeing what the field held before.
void ReplaceCoreString(char** field, const char* text) {
    const std::size_t length = std::strlen(text);
    char* copy = nullptr;
    if (length >= 0x7FFFFFFF) return;
    ResizeModuleString(s.core, &copy, static_cast<std::int32_t>(length + 1));
    if (!copy) return; // out of memory: the field keeps its old text
    std::memcpy(copy, text, length + 1);
    if (*field) ResizeModuleString(s.core, field, 0);
    *field = copy;
}

// The screen saver's running flag, which the platform reads to let the system keys through.
void SetScreenSaverRunning(BOOL running) {
    UINT previous = 0;
    SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, running, &previous, 0);
}

} // namespace

void SystemConstructor() {
    for (HMODULE& dll : s.dlls)
        dll = nullptr;
}

void SystemDestructor() {
    for (HMODULE& dll : s.dlls) {
        if (dll) FreeLibrary(dll);
        dll = nullptr;
    }
}

void SystemSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}

void SystemPassCoreData(CoreData* core) {
    s.core = core;
}

void SystemRefreshD3D(std::int32_t) {}

std::int32_t MegabytesRoundedUp(std::uint32_t bytes) {
    return static_cast<std::int32_t>((std::uint64_t{bytes} + 0xFFFFF) >> 20);
}

std::int32_t GetTotalPhysicalMemory() {
    MEMORYSTATUS status{};
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    return MegabytesRoundedUp(static_cast<std::uint32_t>(status.dwTotalPhys));
}

std::int32_t GetAvailablePhysicalMemory() {
    MEMORYSTATUS status{};
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    return MegabytesRoundedUp(static_cast<std::uint32_t>(status.dwAvailPhys));
}

void DisableEscapeKey() {
    if (s.core) s.core->escapeExit = 0;
}

void EnableEscapeKey() {
    if (s.core) s.core->escapeExit = 1;
}

void DisableSystemKeys() {
    SetScreenSaverRunning(TRUE);
    if (s.core) s.core->systemKeysDisabled = 1;
}

void EnableSystemKeys() {
    SetScreenSaverRunning(FALSE);
    if (s.core) s.core->systemKeysDisabled = 0;
}

void SetCoreDataStrings(const char* text, const char* caption) {
    if (!s.core) return;
    if (text) ReplaceCoreString(&s.core->endMessageText, text);
    if (caption) ReplaceCoreString(&s.core->endMessageCaption, caption);
}
