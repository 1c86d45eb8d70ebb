#include "core/win32.h"

#include "text/text.h"
#include "text/text_state.h"
#include "core/checklist.h"
#include "core/core.h"
#include "core/error_numbers.h"

#include <cstring>

namespace {

TextState& s = g_Text;

void SetStyle(std::uint8_t bold, std::uint8_t italic) {
    s.bold = bold;
    s.italic = italic;
    RebuildTextFont();
}

int CALLBACK AddFontToChecklist(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM) {
    CoreData* core = s.core;
    const std::uint32_t length = static_cast<std::uint32_t>(strnlen(font->lfFaceName, LF_FACESIZE));
    if (!s.checklistFill) {
        if (length + 1 > s.longestName) s.longestName = length + 1;
        ++core->checklistRowsInUse;
        return 1;
    }
    const std::int32_t row = core->checklistRowsInUse;
    if (row < core->checklistRowsAllocated && core->checklistRows[row].string &&
        core->checklistRows[row].capacity >= length) {
        std::memcpy(core->checklistRows[row].string, font->lfFaceName, length);
        core->checklistRows[row].string[length] = 0;
        ++core->checklistRowsInUse;
    }
    return 1;
}

void EnumerateFamilies() {
    s.core->checklistRowsInUse = 0;
    HDC dc = CreateCompatibleDC(nullptr);
    EnumFontFamiliesA(dc, nullptr, reinterpret_cast<FONTENUMPROCA>(AddFontToChecklist), 0);
    DeleteDC(dc);
}

} // namespace

void SetTextFont(const char* face) {
    if (!face) return;
    std::memset(s.face, 0, sizeof s.face);
    std::strncpy(s.face, face, sizeof s.face - 1);
    RebuildTextFont();
}

void SetTextFontExport(const char* face, std::int32_t characterSet) {
    if (!face) return;
    s.characterSet = characterSet;
    SetTextFont(face);
}

void SetTextSize(std::int32_t size) {
    if (size == s.size) return;
    s.size = static_cast<std::uint32_t>(size) > 100 ? 100 : size;
    RebuildTextFont();
}

void SetTextToNormal() {
    SetStyle(0, 0);
}
void SetTextToItalic() {
    SetStyle(0, 1);
}
void SetTextToBold() {
    SetStyle(1, 0);
}
void SetTextToBoldItalic() {
    SetStyle(1, 1);
}

void SetTextOpaque() {
    s.opaque = 1;
    RebuildTextFont();
}

void SetTextTransparent() {
    s.opaque = 0;
    RebuildTextFont();
}

void SetTextColour(std::int32_t alpha, std::int32_t red, std::int32_t green, std::int32_t blue) {
    s.textColour = static_cast<D3DCOLOR>(alpha & 0xFF) << 24 |
                   static_cast<D3DCOLOR>(red & 0xFF) << 16 |
                   static_cast<D3DCOLOR>(green & 0xFF) << 8 | static_cast<D3DCOLOR>(blue & 0xFF);
}

void FontChecklist() {
    CoreData* core = s.core;
    if (!core) return;
    const std::int32_t inUse = core->checklistRowsInUse;
    s.longestName = 0;
    s.checklistFill = false;
    EnumerateFamilies();
    const std::int32_t count = core->checklistRowsInUse;
    // Every row is had before the first is written: out of memory (101) keeps the old list.
    if (!ReserveChecklistRows(count, static_cast<std::int32_t>(s.longestName))) {
        core->checklistRowsInUse = inUse;
        return RaiseRuntimeError(kStringNoMemory);
    }
    core->checklistHasValues = 0;
    core->checklistHasStrings = 1;
    s.checklistFill = true;
    EnumerateFamilies();
    s.checklistFill = false;
    core->checklistMade = core->checklistRowsInUse > 0;
}
