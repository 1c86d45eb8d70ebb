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

// A copy of text from the string callback; null for no text, and null with 101 raised when it
// cannot be made (made then tells).
char* CopyCoreString(const char* text, bool& made) {
    made = true;
    if (!text) return nullptr;
    const std::size_t length = std::strlen(text);
    char* copy = NewModuleString(s.core, std::uint64_t{length} + 1);
    made = copy != nullptr;
    if (copy) std::memcpy(copy, text, length + 1);
    return copy;
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
    // Both copies are made before either old text goes: out of memory (101) keeps both.
    bool textMade = false, captionMade = false;
    char* newText = CopyCoreString(text, textMade);
    char* newCaption = textMade ? CopyCoreString(caption, captionMade) : nullptr;
    if (!textMade || !captionMade) {
        if (newText) ResizeModuleString(s.core, &newText, 0);
        return;
    }
    if (newText)
        s.core->endMessageText = HandOverModuleString(s.core, s.core->endMessageText, newText);
    if (newCaption)
        s.core->endMessageCaption =
            HandOverModuleString(s.core, s.core->endMessageCaption, newCaption);
}
