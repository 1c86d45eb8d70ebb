#include "core/win32.h"

#include "core/console.h"
#include "core/core.h"
#include "core/core_state.h"
#include "core/error_numbers.h"
#include "core/frame_loop.h"
#include "core/module_link.h"
#include "core/no_throw.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kSavedColours = 29;
constexpr int kRestoredColours = 28;
constexpr std::size_t kFirstLineCapacity = 32;
constexpr std::uint32_t kBlackInk = 0xFF000000;

// The GDI picture; lives from StartGdiConsole to StopGdiConsole.
struct GdiConsole {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ firstBitmap = nullptr;
    HBRUSH blackBrush = nullptr;
    HPEN pen = nullptr;
    COLORREF textColour = RGB(255, 255, 255);
    COLORREF backgroundColour = RGB(0, 0, 0);
    std::int32_t width = 0, height = 0;
};

// Written only by the console's own commands; lives for the whole run.
struct ConsoleState {
    GdiConsole gdi;
    COLORREF savedColours[kSavedColours] = {};
    bool coloursSaved = false;
    bool blink = false;
    // A new line goes back to where the current line began; a cursor moved by anyone else
    // (SetPrintCursor, ClearScreen) starts a new left edge.
    std::int32_t lineStartX = 0;
    std::int32_t cursorXLeft = 0;
    HGLOBAL secondBuffer = nullptr; // CoreData has no word for it
};
ConsoleState s;

bool DisplayBackEnd() {
    return g_FrameLoop.windowReady != 0;
}

// Before the display: the GDI picture, started on demand; false when there is no window yet.
bool GdiReady() {
    if (!s.gdi.dc && g_CoreData && g_CoreData->window) StartGdiConsole();
    return s.gdi.dc != nullptr;
}

SIZE GdiExtent(const char* text) {
    SIZE size{};
    GetTextExtentPoint32A(s.gdi.dc, text, static_cast<int>(std::strlen(text)), &size);
    return size;
}

std::int32_t TextWidth(const char* text) {
    if (!DisplayBackEnd()) return GdiExtent(text).cx;
    const TextLinks& t = ModuleLinkTable.text;
    return t.getTextWidth ? t.getTextWidth(text) : 0;
}

// An empty text has no height of its own; a new line still needs one.
std::int32_t LineHeight(const char* text) {
    if (!DisplayBackEnd()) return GdiExtent("X").cy;
    const TextLinks& t = ModuleLinkTable.text;
    if (!t.getTextHeight) return 0;
    const std::int32_t height = t.getTextHeight(text);
    return height > 0 ? height : t.getTextHeight("X");
}

std::int32_t ConsoleHeight() {
    const CoreData& core = *g_CoreData;
    if (core.windowHeight > 0) return core.windowHeight;
    return DisplayBackEnd() ? core.displayHeight : s.gdi.height;
}

std::int32_t ConsoleWidth() {
    const CoreData& core = *g_CoreData;
    return DisplayBackEnd() ? core.displayWidth : s.gdi.width;
}

void InvalidateWindow() {
    if (g_CoreData->window) InvalidateRect(g_CoreData->window, nullptr, FALSE);
}

void DrawAt(std::int32_t x, std::int32_t y, const char* text) {
    if (DisplayBackEnd()) {
        const TextLinks& t = ModuleLinkTable.text;
        if (t.textAt) t.textAt(x, y, text);
        return;
    }
    TextOutA(s.gdi.dc, x, y, text, static_cast<int>(std::strlen(text)));
    InvalidateWindow();
}

void ClearArea(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
    if (DisplayBackEnd()) {
        const Basic2DLinks& b = ModuleLinkTable.basic2D;
        if (!b.fillBox) return;
        CoreData& core = *g_CoreData;
        const std::uint32_t ink = core.inkForeground;
        core.inkForeground = kBlackInk;
        b.fillBox(left, top, right, bottom);
        core.inkForeground = ink;
        return;
    }
    const RECT area{left, top, right, bottom};
    FillRect(s.gdi.dc, &area, s.gdi.blackBrush);
    InvalidateWindow();
}

void ScrollUp(std::int32_t overflow) {
    const std::int32_t width = ConsoleWidth();
    const std::int32_t bottom = DisplayBackEnd() ? g_CoreData->displayHeight : s.gdi.height;
    if (DisplayBackEnd()) {
        const Basic2DLinks& b = ModuleLinkTable.basic2D;
        if (b.copyScreenArea) b.copyScreenArea(0, 0, width, bottom, 0, overflow);
    } else {
        BitBlt(s.gdi.dc, 0, 0, width, bottom - overflow, s.gdi.dc, 0, overflow, SRCCOPY);
    }
    ClearArea(0, ConsoleHeight() - overflow, width, std::max(bottom, ConsoleHeight()));
}

// In 64 bits: a cursor set near the end of the range moves down and scrolls, never wraps above
// the screen.
void NextLine(std::int32_t height) {
    CoreData& core = *g_CoreData;
    core.printCursorX = s.lineStartX;
    const std::int64_t next = std::int64_t{core.printCursorY} + height;
    const std::int64_t overflow = next + height - ConsoleHeight();
    if (overflow > 0)
        ScrollUp(static_cast<std::int32_t>(std::min<std::int64_t>(overflow, INT32_MAX)));
    core.printCursorY = static_cast<std::int32_t>(overflow > 0 ? next - overflow : next);
}

void PrintNumberText(const char* text, bool newLine) {
    PrintText(text, newLine ? 1 : 0);
}

// Moves what was typed since the last pass into the line; true once Enter or Escape came.
bool TakeTyping(std::string& line) {
    CoreData& core = *g_CoreData;
    char* typed = core.entryBuffer;
    if (!typed) return false;
    const std::uint32_t length = g_CoreWindow.entryLength;
    bool ended = false;
    for (std::uint32_t i = 0; i < length && typed[i] && !ended; ++i) {
        const char c = typed[i];
        if (c == 8) {
            if (!line.empty()) line.pop_back();
        } else if (c == 13 || c == 27) {
            ended = true;
        } else {
            if (line.size() == line.capacity()) line.reserve(line.capacity() * 2);
            line.push_back(c);
        }
    }
    typed[0] = 0; // the window procedure starts the buffer again at the next character
    g_CoreWindow.entryLength = 0;
    return ended;
}

// Redraws the line over the last echo, which may have been longer.
void Echo(const std::string& shown, std::int32_t& echoWidth) {
    const CoreData& core = *g_CoreData;
    const std::int32_t x = core.printCursorX, y = core.printCursorY;
    const std::int32_t width = TextWidth(shown.c_str());
    ClearArea(x, y, x + std::max(width, echoWidth), y + LineHeight(shown.c_str()));
    DrawAt(x, y, shown.c_str());
    echoWidth = width;
}

std::string RunLineEditor() {
    CoreData& core = *g_CoreData;
    if (core.entryBuffer) core.entryBuffer[0] = 0;
    g_CoreWindow.entryLength = 0;
    std::string line;
    line.reserve(kFirstLineCapacity);
    const bool canDraw = DisplayBackEnd() || GdiReady();
    std::int32_t echoWidth = 0;
    for (;;) {
        if (TakeTyping(line)) break;
        s.blink = !s.blink;
        if (canDraw) Echo(s.blink ? line + "_" : line, echoWidth);
        if (ProcessMessages() == 1) {
            TakeTyping(line); // what came in the same pump as the quit
            break;
        }
    }
    if (canDraw) {
        Echo(line, echoWidth);
        PrintText(line.c_str(), 1);
    }
    return line;
}

// The new block replaces the slot's; when it cannot be had (101) the old one stays and null comes
// back. A size below 1 frees the slot's block.
HGLOBAL AllocBlock(HGLOBAL& slot, std::int32_t size) {
    HGLOBAL block = size > 0 ? GlobalAlloc(GPTR, static_cast<SIZE_T>(size)) : nullptr;
    if (size > 0 && !block) {
        RaiseRuntimeError(kStringNoMemory);
        return nullptr;
    }
    if (slot) GlobalFree(slot);
    slot = block;
    return slot;
}

void FreeBlock(HGLOBAL& slot) {
    if (slot) GlobalFree(slot);
    slot = nullptr;
}

} // namespace

void PrintText(const char* text, std::int32_t newLine) {
    if (!text || !g_CoreData) return;
    if (!DisplayBackEnd() && !GdiReady()) return;
    CoreData& core = *g_CoreData;
    if (core.printCursorX != s.cursorXLeft) s.lineStartX = core.printCursorX;
    DrawAt(core.printCursorX, core.printCursorY, text);
    if (newLine)
        NextLine(LineHeight(text));
    else
        core.printCursorX = static_cast<std::int32_t>(
            std::min<std::int64_t>(std::int64_t{core.printCursorX} + TextWidth(text), INT32_MAX));
    s.cursorXLeft = core.printCursorX;
}

void PrintString(const char* text) {
    PrintText(text, 1);
}
void PrintStringNoNewLine(const char* text) {
    PrintText(text, 0);
}

void PrintInteger(std::int64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRId64, value);
    PrintNumberText(text, true);
}
void PrintIntegerNoNewLine(std::int64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRId64, value);
    PrintNumberText(text, false);
}

void PrintFloat(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.12g", value);
    PrintNumberText(text, true);
}
void PrintFloatNoNewLine(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.12g", value);
    PrintNumberText(text, false);
}

void PrintNewLine() {
    PrintText("", 1);
}

void SetPrintCursor(std::int32_t x, std::int32_t y) {
    g_CoreData->printCursorX = x;
    g_CoreData->printCursorY = y;
}

void ClearConsole() {
    CoreData& core = *g_CoreData;
    if (DisplayBackEnd()) {
        if (ModuleLinkTable.display.clearDisplay) ModuleLinkTable.display.clearDisplay(0, 0, 0);
    } else if (GdiReady()) {
        RECT client{};
        GetClientRect(core.window, &client);
        FillRect(s.gdi.dc, &client, s.gdi.blackBrush);
        InvalidateWindow();
    }
    SetPrintCursor(0, 0);
}

// A line that cannot grow, or be handed back, raises 101; the caller keeps its old text.
char* InputStringLine(char* old) {
    return NoThrow(kStringNoMemory, old, [&] {
        const std::string line = RunLineEditor();
        return ReplaceModuleString(g_CoreData, old, line.data(), line.size());
    });
}

std::int64_t InputInteger() {
    return NoThrow(kStringNoMemory, std::int64_t{0},
                   [] { return std::strtoll(RunLineEditor().c_str(), nullptr, 10); });
}

double InputFloat() {
    return NoThrow(kStringNoMemory, 0.0,
                   [] { return std::strtod(RunLineEditor().c_str(), nullptr); });
}

std::int64_t GetPerformanceCounter() {
    LARGE_INTEGER count{};
    QueryPerformanceCounter(&count);
    return count.QuadPart;
}

HGLOBAL AllocCoreBuffer(std::int32_t size) {
    HGLOBAL slot = static_cast<HGLOBAL>(g_CoreData->coreBuffer);
    HGLOBAL block = AllocBlock(slot, size);
    g_CoreData->coreBuffer = slot;
    return block;
}

void FreeCoreBuffer() {
    HGLOBAL slot = static_cast<HGLOBAL>(g_CoreData->coreBuffer);
    FreeBlock(slot);
    g_CoreData->coreBuffer = nullptr;
}

HGLOBAL AllocSecondBuffer(std::int32_t size) {
    return AllocBlock(s.secondBuffer, size);
}

void FreeSecondBuffer() {
    FreeBlock(s.secondBuffer);
}

void FreeText(char* text) {
    if (text) CoreResizeString(&text, 0);
}

void StartGdiConsole() {
    GdiConsole& g = s.gdi;
    if (g.dc) return;
    HWND window = g_CoreData ? g_CoreData->window : nullptr;
    HDC windowDC = GetDC(window);
    g.width = GetSystemMetrics(SM_CXSCREEN);
    g.height = GetSystemMetrics(SM_CYSCREEN);
    g.dc = CreateCompatibleDC(windowDC);
    g.bitmap = CreateCompatibleBitmap(windowDC, g.width, g.height);
    ReleaseDC(window, windowDC);
    if (!g.dc || !g.bitmap) {
        StopGdiConsole();
        return;
    }
    g.firstBitmap = SelectObject(g.dc, g.bitmap);
    g.blackBrush = CreateSolidBrush(RGB(0, 0, 0));
    g.pen = CreatePen(PS_SOLID, 1, g.textColour);
    SelectObject(g.dc, g.pen);
    SelectObject(g.dc, GetStockObject(SYSTEM_FIXED_FONT));
    SetTextColor(g.dc, g.textColour);
    SetBkColor(g.dc, g.backgroundColour);
    SetBkMode(g.dc, OPAQUE);
    const RECT all{0, 0, g.width, g.height};
    FillRect(g.dc, &all, g.blackBrush);
}

void StopGdiConsole() {
    GdiConsole& g = s.gdi;
    if (g.dc && g.firstBitmap) SelectObject(g.dc, g.firstBitmap);
    if (g.bitmap) DeleteObject(g.bitmap);
    if (g.dc) DeleteDC(g.dc);
    if (g.blackBrush) DeleteObject(g.blackBrush);
    if (g.pen) DeleteObject(g.pen);
    g = GdiConsole{};
}

bool PaintGdiConsole(HDC target) {
    if (!s.gdi.dc || !target || !g_CoreData) return false;
    RECT client{};
    GetClientRect(g_CoreData->window, &client);
    return BitBlt(target, 0, 0, client.right - client.left, client.bottom - client.top, s.gdi.dc, 0,
                  0, SRCCOPY) != 0;
}

HDC GetGdiConsoleDC() {
    return s.gdi.dc;
}

void SaveConsoleSystemColours() {
    for (int i = 0; i < kSavedColours; ++i)
        s.savedColours[i] = GetSysColor(i);
    s.coloursSaved = true;
}

void RestoreConsoleSystemColours() {
    if (!s.coloursSaved) return;
    INT indices[kRestoredColours];
    for (int i = 0; i < kRestoredColours; ++i)
        indices[i] = i;
    SetSysColors(kRestoredColours, indices, s.savedColours);
}
