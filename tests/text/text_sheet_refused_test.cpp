// A glyph sheet the device cannot make: each command that makes the sheet again raises 101 and
// keeps the old sheet, its glyphs and the settings, so text still draws as before.
#include "core/win32.h"

#include "display/display.h"
#include "draw2d/draw2d.h"
#include "text/strings.h"
#include "text/text.h"
#include "text/text_state.h"
#include "support/engine_fixture.h"
#include "support/method_swap.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

HRESULT WINAPI RefuseTexture(IDirect3DDevice9*, UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL,
                             IDirect3DTexture9** texture, HANDLE*) {
    *texture = nullptr;
    return D3DERR_OUTOFVIDEOMEMORY;
}

HRESULT WINAPI RefuseStateBlock(IDirect3DDevice9*) {
    return E_OUTOFMEMORY;
}

struct Settings {
    std::string face;
    std::int32_t size, style, background;
    D3DCOLOR textColour, backgroundColour;
    std::int32_t characterSet, wide;
    IDirect3DTexture9* texture;
    HFONT font;
    bool operator==(const Settings&) const = default;
};

class TextSheetRefused : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        ClearScreen(0xFF000000);
        SetInk(0xFFFFFFFF, 0);
        SetTextFont("arial");
        SetTextSize(20);
        SetTextToNormal();
        SetTextTransparent();
        TextAt(0, 0, ""); // takes the ink
    }
    static Settings Now() {
        char* face = GetTextFont(nullptr);
        Settings now{face ? face : "",    GetTextSize(),
                     GetTextStyle(),      GetTextBackgroundType(),
                     g_Text.textColour,   g_Text.backgroundColour,
                     g_Text.characterSet, GetTextWidth("Wide words"),
                     g_Text.texture,      g_Text.font};
        CoreResizeString(&face, 0);
        return now;
    }
    static int Lit() {
        int lit = 0;
        Basic2DLockBackBuffer();
        for (int y = 200; y < 240; ++y)
            for (int x = 100; x < 240; ++x)
                lit += GetPixelColour(x, y) != 0xFF000000u;
        Basic2DUnlockBackBuffer();
        return lit;
    }
};

TEST_F(TextSheetRefused, EachRebuildKeepsTheOldSheetAndSettings) {
    struct Row {
        const char* name;
        std::function<void()> call;
    };
    const Row rows[] = {
        {"SetTextFont", [] { SetTextFont("courier new"); }},
        {"SetTextFontExport", [] { SetTextFontExport("courier new", 1); }},
        {"SetTextSize", [] { SetTextSize(40); }},
        {"SetTextToBold", [] { SetTextToBold(); }},
        {"SetTextToItalic", [] { SetTextToItalic(); }},
        {"SetTextToBoldItalic", [] { SetTextToBoldItalic(); }},
        {"SetTextOpaque", [] { SetTextOpaque(); }},
        {"TextAt, a new paper",
         [] {
             SetInk(0xFFFFFFFF, 0xFF0000FF);
             TextAt(100, 200, "Wide words");
         }},
        {"CenterTextAt, a new paper",
         [] {
             SetInk(0xFFFFFFFF, 0xFF0000FF);
             CenterTextAt(170, 200, "Wide words");
         }},
    };
    IDirect3DDevice9* device = GetDirect3DDevice();
    ASSERT_NE(device, nullptr);
    const std::pair<int, void*> refusals[] = {
        {MethodSlot(&IDirect3DDevice9::CreateTexture), Address(&RefuseTexture)},
        {MethodSlot(&IDirect3DDevice9::BeginStateBlock), Address(&RefuseStateBlock)}};
    for (const auto& [slot, refuse] : refusals)
        for (const Row& row : rows) {
            const std::string what = std::string(row.name) + ", slot " + std::to_string(slot);
            SetInk(0xFFFFFFFF, 0);
            const Settings before = Now();
            ASSERT_NE(before.texture, nullptr);
            cell.number = 0;
            const MethodSwap swap = SwapMethod(device, slot, refuse);
            row.call();
            // The old sheet draws while the device still refuses a new one.
            SetInk(0xFFFFFFFF, 0);
            ClearScreen(0xFF000000);
            TextAt(100, 200, "Wide words");
            UndoSwap(swap);
            EXPECT_EQ(cell.number, 101) << what;
            EXPECT_TRUE(Now() == before) << what;
            EXPECT_GT(Lit(), 30) << what;
        }
    // With memory again the same command makes its sheet.
    cell.number = 0;
    SetTextFont("courier new");
    EXPECT_EQ(cell.number, 0);
    EXPECT_NE(g_Text.texture, nullptr);
    EXPECT_NE(Now().wide, 0);
}

} // namespace
