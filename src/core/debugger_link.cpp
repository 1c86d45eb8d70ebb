#include "core/win32.h"

#include "core/core.h"
#include "core/core_state.h"
#include "core/media.h"

#include <cstdio>
#include <cstring>

namespace {
constexpr char kMappingName[] = "ZIZERUDADUDUZIREDE";
constexpr char kDebuggerTitle[] = "TulseDebugger";
constexpr UINT kDebuggerMessage = 1034;
constexpr std::int32_t kTextCode = 31;
} // namespace

std::int32_t SendDebuggerMessage(std::int32_t code, const void* data, std::int32_t size) {
    if (size < 0 || (!data && size > 0) || size > 0x7FFFFFFB) return 0;
    // The view holds the size word and the data, so the mapping is made that large.
    const DWORD viewSize = static_cast<DWORD>(size) + 4;
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, viewSize,
                                        kMappingName);
    if (!mapping) return 0;
    std::int32_t result = 0;
    if (void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, viewSize)) {
        const auto length = static_cast<std::uint32_t>(size);
        std::memcpy(view, &length, 4);
        if (size > 0) std::memcpy(static_cast<std::uint8_t*>(view) + 4, data, length);
        if (HWND debugger = FindWindowA(nullptr, kDebuggerTitle)) {
            result = static_cast<std::int32_t>(
                SendMessageA(debugger, kDebuggerMessage, static_cast<WPARAM>(code), 0));
        }
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
    return result;
}

void SendDebuggerText(const char* text) {
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer, "%s", text ? text : "");
    SendDebuggerMessage(kTextCode, buffer, static_cast<std::int32_t>(std::strlen(buffer) + 1));
    RequestDebuggerBreak();
}

void RequestDebuggerBreak() {
    if (g_CoreWindow.breakCell) *g_CoreWindow.breakCell = 1;
}

void EndProgram() {
    g_FrameLoop.quitSeen = 1;
    if (g_CoreWindow.breakCell) *g_CoreWindow.breakCell = 2;
    CoreData& core = *g_CoreData;
    if (!core.endMessageText) return;
    MessageBoxA(nullptr, core.endMessageText, core.endMessageCaption ? core.endMessageCaption : "",
                MB_OK);
    CoreResizeString(&core.endMessageText, 0);
    CoreResizeString(&core.endMessageCaption, 0);
}
