#include "core/win32.h"

#include "display/display.h"
#include "draw2d/draw2d.h"
#include "system/system.h"
#include "text/strings.h"
#include "text/text.h"
#include "text/text_state.h"
#include "support/engine_fixture.h"
#include "support/guarded_locks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

namespace {

constexpr std::uint32_t kBlack = 0xFF000000;

struct Box {
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN, lit = 0;
};

// The lit (non-background) pixels of an area of the back buffer.
Box LitPixels(int x0, int y0, int x1, int y1, std::uint32_t background = kBlack) {
    Box b;
    Basic2DLockBackBuffer();
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            if (GetPixelColour(x, y) == background) continue;
            ++b.lit;
            b.left = std::min(b.left, x);
            b.top = std::min(b.top, y);
            b.right = std::max(b.right, x + 1);
            b.bottom = std::max(b.bottom, y + 1);
        }
    }
    Basic2DUnlockBackBuffer();
    return b;
}

class Text : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        ClearScreen(kBlack);
        SetInk(0xFFFFFFFF, 0);
    }
    // Frees a returned string and gives its text.
    static std::string Take(char* text) {
        std::string copy = text ? text : "<null>";
        CoreResizeString(&text, 0);
        return copy;
    }
};

} // namespace

TEST_F(Text, SizesAreBoundedAndAnUnchangedSizeDoesNotRebuild) {
    SetTextSize(150);
    EXPECT_EQ(GetTextSize(), 100);
    SetTextSize(-5);
    EXPECT_EQ(GetTextSize(), 100);
    SetTextSize(20);
    IDirect3DTexture9* sheet = g_Text.texture;
    ASSERT_NE(sheet, nullptr);
    sheet->AddRef();
    SetTextSize(20);
    EXPECT_EQ(g_Text.texture, sheet);
    EXPECT_EQ(sheet->Release(), 1u); // still the module's
}

TEST_F(Text, DrawnTextStaysInsideItsMeasuredBox) {
    SetTextFont("arial");
    SetTextSize(24);
    const char* hello = "Hello";
    const int w = GetTextWidth(hello), h = GetTextHeight(hello);
    ASSERT_GT(w, 20);
    ASSERT_GT(h, 10);
    TextAt(100, 100, hello);
    const Box inside = LitPixels(100, 100, 100 + w, 100 + h);
    const Box around = LitPixels(80, 80, 100 + w + 20, 100 + h + 20);
    EXPECT_GT(inside.lit, 30);
    EXPECT_EQ(around.lit, inside.lit) << "pixels lit outside the measured box";

    ClearScreen(kBlack);
    CenterTextAt(320, 200, hello);
    const Box centred = LitPixels(200, 190, 440, 240);
    ASSERT_GT(centred.lit, 0);
    EXPECT_NEAR((centred.left + centred.right) / 2.0, 320, 3);
}

// Texts longer than one batch of the vertex buffer, with its lock handing out exactly its bytes:
// 3D text's vertices are larger than screen text's.
TEST_F(Text, LongTextsStayInsideTheVertexBuffer) {
    GuardedLocks guard(GetDirect3DDevice());
    ASSERT_TRUE(guard.Active());
    SetTextFont("arial");
    SetTextSize(10);
    // A view that shows the whole text: glyphs outside it are not drawn.
    IDirect3DDevice9* d = GetDirect3DDevice();
    D3DMATRIX view, projection;
    d->GetTransform(D3DTS_VIEW, &view);
    d->GetTransform(D3DTS_PROJECTION, &projection);
    D3DXMATRIX identity, shrink;
    D3DXMatrixIdentity(&identity);
    D3DXMatrixScaling(&shrink, 0.001f, 0.001f, 0.001f);
    d->SetTransform(D3DTS_VIEW, &identity);
    d->SetTransform(D3DTS_PROJECTION, &identity);
    g_Text.world3D = shrink;
    DrawText3D(std::string(60, 'W').c_str());
    g_Text.world3D = D3DMATRIX{};
    d->SetTransform(D3DTS_VIEW, &view);
    d->SetTransform(D3DTS_PROJECTION, &projection);
    EXPECT_GE(guard.Count(), 2); // 360 vertices: two batches at least
    const std::string line(60, 'x');
    TextAt(0, 100, line.c_str());
    EXPECT_GE(guard.Count(), 4);
    // Every glyph of the screen text is drawn, the last batch's too.
    const int last = GetTextWidth(line.substr(1).c_str());
    EXPECT_GT(LitPixels(last, 100, GetTextWidth(line.c_str()) + 1, 130).lit, 0);
}

TEST_F(Text, LineFeedsAndControlCharacters) {
    SetTextFont("arial");
    SetTextSize(20);
    EXPECT_EQ(GetTextWidth("\t\r\x01"), 0);
    EXPECT_EQ(GetTextHeight("\t\r\x01"), 0);
    EXPECT_EQ(GetTextWidth(""), 0);
    EXPECT_EQ(GetTextWidth(nullptr), 0);
    TextAt(50, 50, "\x01\x02");
    EXPECT_EQ(LitPixels(40, 40, 120, 120).lit, 0);
    const int line = GetTextHeight(" ");
    TextAt(50, 50, "\nII");
    const Box second = LitPixels(40, 40, 200, 200);
    ASSERT_GT(second.lit, 0);
    EXPECT_GE(second.top, 50 + line - 1); // one row of the sheet lower
    EXPECT_GE(second.left, 50);
    EXPECT_LT(second.left, 50 + GetTextWidth("I"));
}

TEST_F(Text, BlackInkIsDrawnNearlyBlackNotSeeThrough) {
    ClearScreen(0xFF808080);
    SetTextFont("arial");
    SetTextSize(30);
    SetInk(0, 0);
    TextAt(10, 10, "WWW");
    Basic2DLockBackBuffer();
    int nearlyBlack = 0;
    for (int y = 10; y < 50; ++y)
        for (int x = 10; x < 100; ++x)
            nearlyBlack += GetPixelColour(x, y) == 0xFF010101u;
    Basic2DUnlockBackBuffer();
    EXPECT_GT(nearlyBlack, 20);
}

TEST_F(Text, FacesSizesStylesAndTheReset) {
    SetTextFont("arial");
    SetTextToBold();
    EXPECT_EQ(GetTextStyle(), 2);
    SetTextToBoldItalic();
    EXPECT_EQ(GetTextStyle(), 3);
    SetTextOpaque();
    EXPECT_EQ(GetTextBackgroundType(), 1);
    EXPECT_EQ(Take(GetTextFont(nullptr)), "arial");
    // Which face the platform gives for the name: Arial itself, or a metric twin.
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, g_Text.font);
    char face[64] = {};
    GetTextFaceA(dc, sizeof face, face);
    SelectObject(dc, old);
    DeleteDC(dc);
    EXPECT_TRUE(std::string(face) == "Arial" || std::string(face) == "Liberation Sans") << face;

    const std::string longName(200, 'q');
    SetTextFont(longName.c_str());
    EXPECT_EQ(std::string(g_Text.face).size(), 79u);

    SetDisplayMode(800, 600, 32); // a new device: the module starts over
    EXPECT_EQ(Take(GetTextFont(nullptr)), "fixedsys");
    EXPECT_EQ(GetTextSize(), 12);
    EXPECT_EQ(GetTextStyle(), 0);
    EXPECT_GT(GetTextWidth("fixed"), 0);
}

TEST_F(Text, FontChecklistListsFamilies) {
    FontChecklist();
    const std::int32_t rows = ChecklistQuantity();
    ASSERT_GT(rows, 3);
    bool liberation = false;
    for (std::int32_t row = 1; row <= rows; ++row)
        liberation |= Take(GetChecklistString(nullptr, row)) == "Liberation Sans";
    EXPECT_TRUE(liberation);
    GetChecklistValueA(1);
    EXPECT_EQ(cell.number, 9004);
}

TEST(Strings, SubstringsAtTheirEdges) {
    const char* five = "abcde";
    auto take = [](char* t) {
        std::string copy = t ? t : "<null>";
        CoreResizeString(&t, 0);
        return copy;
    };
    EXPECT_EQ(take(GetLeftString(nullptr, five, 2)), "ab");
    EXPECT_EQ(take(GetLeftString(nullptr, five, 9)), "abcde");
    EXPECT_EQ(take(GetLeftString(nullptr, five, 0)), "");
    EXPECT_EQ(take(GetLeftString(nullptr, five, -3)), "");
    EXPECT_EQ(take(GetLeftString(nullptr, nullptr, 3)), "");
    EXPECT_EQ(take(GetRightString(nullptr, five, 2)), "de");
    EXPECT_EQ(take(GetRightString(nullptr, five, 5)), "abcde");
    EXPECT_EQ(take(GetRightString(nullptr, five, 9)), "abcde");
    EXPECT_EQ(take(GetRightString(nullptr, five, 0)), "");
    EXPECT_EQ(take(GetRightString(nullptr, five, -1)), "");
    EXPECT_EQ(take(GetRightString(nullptr, five, INT32_MIN)), "");
    EXPECT_EQ(take(GetMidCharacter(nullptr, five, 1)), "a");
    EXPECT_EQ(take(GetMidCharacter(nullptr, five, 5)), "e");
    EXPECT_EQ(take(GetMidCharacter(nullptr, five, 6)), "");
    EXPECT_EQ(take(GetMidCharacter(nullptr, five, 0)), "");
    EXPECT_EQ(take(GetMidCharacter(nullptr, five, -1)), "");
    EXPECT_EQ(take(MakeSpaces(nullptr, -3)), "");
    EXPECT_EQ(take(MakeSpaces(nullptr, 3)), "   ");
    // The previous string is handed back even when the new result is empty.
    char* previous = CopyToNewString("old");
    EXPECT_EQ(take(GetLeftString(previous, five, 0)), "");
}

TEST(Strings, NumbersCaseAndCodes) {
    auto take = [](char* t) {
        std::string copy = t ? t : "<null>";
        CoreResizeString(&t, 0);
        return copy;
    };
    EXPECT_EQ(take(MakeBinaryString(nullptr, 5)), "%" + std::string(29, '0') + "101");
    EXPECT_EQ(take(MakeBinaryString(nullptr, 0)), "%" + std::string(32, '0'));
    EXPECT_EQ(take(MakeBinaryStringExport(0x80000000u)), "%1" + std::string(31, '0'));
    EXPECT_EQ(take(MakeHexString(nullptr, 255)), "FF");
    EXPECT_EQ(take(MakeHexString(nullptr, 0)), "0");
    EXPECT_EQ(take(MakeCharacterString(nullptr, 0x141)), "A");
    EXPECT_EQ(take(MakeCharacterString(nullptr, 0)), "");
    EXPECT_EQ(take(IntegerToString(nullptr, -42)), "-42");
    EXPECT_EQ(take(FloatToString(nullptr, 0.5f)), "0.5");
    EXPECT_EQ(take(DoubleToStringExport(1.0 / 3)), "0.3333333333333333");
    EXPECT_EQ(take(MakeUpperCase(nullptr, "mIxEd \xe9")), "MIXED \xe9");
    EXPECT_EQ(take(MakeLowerCaseExport("MiXeD")), "mixed");
    EXPECT_EQ(take(MakeLowerCase(nullptr, nullptr)), "");
    EXPECT_FLOAT_EQ(StringToFloat("  -2.5e1x"), -25.0f);
    EXPECT_EQ(StringToFloat("x"), 0.0f);
    EXPECT_EQ(StringToFloat(nullptr), 0.0f);
    EXPECT_EQ(GetAsciiCode("\xff"), 255);
    EXPECT_EQ(GetAsciiCode(""), 0);
    EXPECT_EQ(GetAsciiCode(nullptr), 0);
    EXPECT_EQ(GetStringLength("abc"), 3);
    EXPECT_EQ(GetStringLength(nullptr), 0);
}

TEST(Strings, SearchCompareAppendAndTokens) {
    EXPECT_EQ(FindFirstCharacter("banana", "a"), 2);
    EXPECT_EQ(FindLastCharacter("banana", "ax"), 6);
    EXPECT_EQ(FindSubstring("banana", "nan"), 3);
    EXPECT_EQ(FindSubstring("banana", "x"), 0);
    EXPECT_EQ(FindFirstCharacter("banana", "z"), 0);
    EXPECT_EQ(FindFirstCharacter(nullptr, "a"), 0);
    EXPECT_EQ(FindLastCharacter("banana", ""), 0);
    EXPECT_EQ(CompareStrings("Abc", "Abc"), 1);
    EXPECT_EQ(CompareStrings("Abc", "abc"), 0);

    char buffer[8] = "abc";
    EXPECT_EQ(AppendString(buffer, sizeof buffer, "de"), 3);
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_EQ(AppendString(buffer, sizeof buffer, "fgh"), 0); // would not fit: untouched
    EXPECT_STREQ(buffer, "abcde");
    char reversed[] = "abcd";
    EXPECT_STREQ(ReverseString(reversed), "dcba");

    char source[] = ",one,,two three";
    auto take = [](char* t) {
        std::string copy = t ? t : "<null>";
        CoreResizeString(&t, 0);
        return copy;
    };
    EXPECT_EQ(take(FirstToken(source, ", ")), "one");
    EXPECT_EQ(take(NextToken(", ")), "two");
    EXPECT_EQ(take(NextToken(", ")), "three");
    EXPECT_EQ(take(NextToken(", ")), "");
    EXPECT_EQ(take(NextToken(", ")), "");
}

TEST(TransformRecords, StartLookingDownZ) {
    TransformRecord record;
    std::memset(&record, 0x7F, sizeof record);
    InitTransformRecord(&record);
    EXPECT_EQ(record.world[5], 0.0f);
    EXPECT_EQ(record.look[2], 1.0f);
    EXPECT_EQ(record.up[1], 1.0f);
    EXPECT_EQ(record.right[0], 1.0f);
    EXPECT_EQ(record.rebuildPending, 0);
    EXPECT_NE(record.position[0], 0.0f); // not touched
}
