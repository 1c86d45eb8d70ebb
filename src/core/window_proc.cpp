#include "core/win32.h"

#include "core/console.h"
#include "core/core.h"
#include "core/core_state.h"
#include "core/module_link.h"
#include "core/window.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr std::uint32_t kFirstEntryCapacity = 32;
constexpr std::uint32_t kMaxEntryCapacity = 1u << 20; // typing beyond this is dropped
constexpr std::size_t kMaxWindowText = 1024;          // longest host-protocol text taken
constexpr char kParentPrefix[] = "PARENT|";
constexpr std::size_t kParentPrefixLength = sizeof kParentPrefix - 1;

// Doubles the entry buffer, keeping its text; false when it cannot grow.
bool GrowEntryBuffer(CoreData& core, CoreWindowState& w) {
    const std::uint32_t capacity = w.entryCapacity * 2;
    if (capacity > kMaxEntryCapacity) return false;
    char* bigger = nullptr;
    CoreResizeString(&bigger, static_cast<std::int32_t>(capacity));
    if (!bigger) return false;
    std::memcpy(bigger, core.entryBuffer, w.entryLength + 1);
    CoreResizeString(&core.entryBuffer, 0);
    core.entryBuffer = bigger;
    w.entryCapacity = capacity;
    return true;
}

// Collects every typed character for the line-input commands. A consumer empties the buffer by
// writing 0 into its first byte.
void TakeCharacter(char c) {
    CoreData& core = *g_CoreData;
    CoreWindowState& w = g_CoreWindow;
    if (core.entryBuffer && core.entryBuffer[0] == 0) w.entryLength = 0;
    w.lastCharacter[0] = w.lastCharacter[1] = c;
    if (!core.entryBuffer || w.entryCapacity == 0) {
        CoreResizeString(&core.entryBuffer, kFirstEntryCapacity);
        if (!core.entryBuffer) return;
        w.entryCapacity = kFirstEntryCapacity;
        w.entryLength = 0;
    }
    if (w.entryLength > w.entryCapacity - 4 && !GrowEntryBuffer(core, w)) return;
    core.entryBuffer[w.entryLength++] = c;
    core.entryBuffer[w.entryLength] = 0;
}

void TakeKeyDown(WPARAM key) {
    CoreWindowState& w = g_CoreWindow;
    w.lastKeyCode = static_cast<std::uint16_t>(key);
    if (key != VK_ESCAPE) return;
    if (w.breakCell) *w.breakCell = 1;
    if (g_CoreData->escapeExit) {
        w.quitFlag = 1;
        PostQuitMessage(0);
    }
}

void TakeActivation(HWND window, WPARAM wParam, LPARAM lParam) {
    if (lParam != 0 && reinterpret_cast<HWND>(lParam) != window) return;
    const WORD state = LOWORD(wParam);
    if (state == WA_ACTIVE || state == WA_CLICKACTIVE) g_CoreData->windowActive = 1;
}

// The host protocol: "PARENT|<window number>" names the window that embeds the engine; once it
// is set, texts sent to the engine window go to the host's text hook. True when the text was
// taken (the message then returns 0).
bool TakeWindowText(HWND window, const char* text) {
    CoreData& core = *g_CoreData;
    if (!text) return false;
    const std::size_t length = strnlen(text, kMaxWindowText);
    if (!core.hostWindow) {
        if (length <= kParentPrefixLength || std::strncmp(text, kParentPrefix, kParentPrefixLength))
            return false;
        char number[32] = {};
        std::strncpy(number, text + kParentPrefixLength, sizeof number - 1);
        core.hostWindow = reinterpret_cast<HWND>(std::strtoul(number, nullptr, 10));
        return true;
    }
    if (window != core.window || !core.textHookModule) return false;
    using TextHook = void (*)(char*);
    auto hook = reinterpret_cast<TextHook>(reinterpret_cast<void*>(
        GetProcAddress(core.textHookModule, "?HostAddSetTextString@@YAXPAD@Z")));
    if (!hook) return false;
    char copy[kMaxWindowText + 1];
    std::memcpy(copy, text, length);
    copy[length] = 0;
    hook(copy);
    return true;
}

// Mouse positions are kept in display coordinates, whatever size the window is stretched to.
void TakeMouseMove(HWND window, LPARAM lParam) {
    CoreData& core = *g_CoreData;
    const int x = static_cast<short>(LOWORD(lParam));
    const int y = static_cast<short>(HIWORD(lParam));
    RECT client{};
    GetClientRect(window, &client);
    const int clientWidth = client.right - client.left;
    const int clientHeight = client.bottom - client.top;
    core.mouseX =
        clientWidth > 0
            ? static_cast<std::int32_t>(static_cast<double>(x) * core.windowWidth / clientWidth)
            : x;
    core.mouseY =
        clientHeight > 0
            ? static_cast<std::int32_t>(static_cast<double>(y) * core.windowHeight / clientHeight)
            : y;
    SetCursor(g_CoreWindow.currentCursor);
}

void TakeButton(HWND window, std::uint32_t bit, bool down) {
    CoreData& core = *g_CoreData;
    if (!down) {
        core.mouseButtons &= ~bit;
        return;
    }
    core.mouseButtons |= bit;
    if (GetFocus() != window) SetFocus(window);
}

// A moved or resized window shows the last frame at once.
void Repaint(HWND window) {
    PAINTSTRUCT ps;
    PaintGdiConsole(BeginPaint(window, &ps));
    EndPaint(window, &ps);
    const DisplayLinks& d = ModuleLinkTable.display;
    if (g_CoreData->windowMode == 1 && d.endScene && d.present && d.beginScene) {
        d.endScene();
        d.present();
        d.beginScene();
    }
}

} // namespace

LRESULT CALLBACK CoreWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CoreWindowState& w = g_CoreWindow;
    switch (message) {
    case WM_CHAR:
        TakeCharacter(static_cast<char>(wParam));
        return 1;
    case WM_KEYDOWN:
        TakeKeyDown(wParam);
        return 1;
    case WM_KEYUP:
        w.lastCharacter[1] = 0;
        w.lastKeyCode = 0;
        return 1;
    case WM_SYSKEYUP:
        w.lastKeyCode = 0;
        return 1;
    case WM_SYSKEYDOWN:
        w.lastKeyCode = static_cast<std::uint16_t>(wParam);
        break;
    case WM_CLOSE:
        w.quitFlag = 1;
        PostQuitMessage(0);
        return 1;
    case WM_DESTROY:
        w.quitFlag = 1;
        PostQuitMessage(0);
        break;
    case WM_ERASEBKGND:
        return 1;
    case WM_ACTIVATE:
        TakeActivation(window, wParam, lParam);
        break;
    case WM_SETTEXT:
        if (TakeWindowText(window, reinterpret_cast<const char*>(lParam))) return 0;
        TakeActivation(window, wParam, lParam);
        break;
    case WM_MOUSEMOVE:
        TakeMouseMove(window, lParam);
        break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        TakeButton(window, 1u, message == WM_LBUTTONDOWN);
        break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        TakeButton(window, 2u, message == WM_RBUTTONDOWN);
        break;
    case WM_PAINT:
    case WM_MOVE:
    case WM_SIZE:
    case WM_SIZING:
    case WM_MOVING:
        Repaint(window);
        return 1;
    case WM_USER + 1:
        ShowCursor(wParam != 0);
        return 1;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void ChooseCoreCursor(std::int32_t cursor) {
    CoreWindowState& w = g_CoreWindow;
    if (cursor == 0)
        w.currentCursor = w.arrowCursor;
    else if (cursor == 1)
        w.currentCursor = w.hourglassCursor;
    else if (cursor >= 2 && cursor < 2 + kPointerCursors)
        w.currentCursor = w.pointerCursors[cursor - 2];
    else
        return;
    SetCursor(w.currentCursor);
}

void SetBreakCellPointer(std::int32_t* cell) {
    g_CoreWindow.breakCell = cell;
}
