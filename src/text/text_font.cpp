#include "core/win32.h"

#include "text/text.h"
#include "text/text_state.h"
#include "core/core.h"
#include "core/error_numbers.h"
#include "display/display.h"

#include <cstdlib>
#include <cstring>
#include <utility>

TextState g_Text;

namespace {

TextState& s = g_Text;

const D3DFORMAT kSheetFormats[] = {D3DFMT_A4R4G4B4, D3DFMT_A8R3G3B2, D3DFMT_A1R5G5B5,
                                   D3DFMT_X1R5G5B5, D3DFMT_A8R8G8B8, D3DFMT_A2B10G10R10,
                                   D3DFMT_X8R8G8B8, D3DFMT_R8G8B8,   D3DFMT_R5G6B5,
                                   D3DFMT_R3G3B2,   D3DFMT_X4R4G4B4, D3DFMT_G16R16};

void ChooseFontTextureFormat() {
    D3DFORMAT adapterFormat = D3DFMT_X8R8G8B8;
    D3DSURFACE_DESC desc{};
    if (s.core && s.core->renderTarget && SUCCEEDED(s.core->renderTarget->GetDesc(&desc)))
        adapterFormat = desc.Format;
    if (!s.d3d) return;
    for (D3DFORMAT f : kSheetFormats) {
        s.format = f;
        if (SUCCEEDED(s.d3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, adapterFormat, 0,
                                               D3DRTYPE_TEXTURE, f)))
            return;
    }
}

// A font sheet made whole aside before it takes the module's place, so that one the device or
// GDI cannot make leaves the old one drawing.
struct Sheet {
    HFONT font = nullptr;
    ComPtr<IDirect3DTexture9> texture;
    ComPtr<IDirect3DVertexBuffer9> vertices;
    ComPtr<IDirect3DStateBlock9> savedBlock, drawingBlock;
    std::uint32_t size = 0;
    float scale = 1.0f;
    std::int32_t rememberedCharacterSet = 0;
    bool doubleByte = false;
    float glyphRect[kGlyphs][4] = {};
    std::int32_t advance[kGlyphs] = {};
    std::int32_t glyphHeight[kGlyphs] = {};
    Sheet() = default;
    Sheet(const Sheet&) = delete;
    Sheet& operator=(const Sheet&) = delete;
    ~Sheet() {
        if (font) DeleteObject(font);
    }
};

HFONT CreateTextFont(HDC dc, int weight, Sheet& sheet) {
    int height;
    DWORD charset = 0;
    sheet.rememberedCharacterSet = s.rememberedCharacterSet;
    if (s.characterSet != 0) {
        height = s.size;
        charset = static_cast<DWORD>(s.characterSet);
        sheet.rememberedCharacterSet = s.characterSet;
    } else if (sheet.rememberedCharacterSet == 0) {
        height = static_cast<int>(static_cast<float>(s.size) * s.scale);
    } else {
        height = -MulDiv(s.size, static_cast<int>(GetDeviceCaps(dc, LOGPIXELSY) * s.scale), 72);
        charset = static_cast<DWORD>(sheet.rememberedCharacterSet);
    }
    const std::int32_t remembered = sheet.rememberedCharacterSet;
    sheet.doubleByte =
        remembered == 128 || remembered == 129 || remembered == 134 || remembered == 136;
    return CreateFontA(height, 0, 0, 0, weight, s.italic, FALSE, FALSE, charset, 0, 0,
                       NONANTIALIASED_QUALITY, VARIABLE_PITCH, s.face);
}

// Copies the DIB's white-on-black glyphs into the 16-bit sheet as A4R4G4B4 texels.
bool CopyGlyphs(const std::uint32_t* dib, Sheet& sheet) {
    D3DLOCKED_RECT locked{};
    if (FAILED(sheet.texture->LockRect(0, &locked, nullptr, 0))) return false;
    std::uint16_t glyphBits = 0xFFF, background = 0;
    if (s.backgroundColour != 0) {
        auto nibbles = [](D3DCOLOR c) {
            return static_cast<std::uint16_t>(((c >> 20) & 0xF) << 8 | ((c >> 12) & 0xF) << 4 |
                                              ((c >> 4) & 0xF));
        };
        glyphBits = nibbles(s.textColour);
        background = s.opaque ? nibbles(s.backgroundColour) : 0;
    }
    for (std::uint32_t y = 0; y < sheet.size; ++y) {
        auto* row = reinterpret_cast<std::uint16_t*>(static_cast<std::uint8_t*>(locked.pBits) +
                                                     y * locked.Pitch);
        for (std::uint32_t x = 0; x < sheet.size; ++x) {
            const std::uint16_t intensity = (dib[y * sheet.size + x] >> 4) & 0xF;
            row[x] = intensity == 0 ? background
                                    : static_cast<std::uint16_t>(intensity << 12 | glyphBits);
        }
    }
    sheet.texture->UnlockRect(0);
    return true;
}

// Draws characters 32 to 255 into the DIB and records where each one is.
void LayOutGlyphs(HDC dc, Sheet& sheet) {
    const float size = static_cast<float>(sheet.size);
    std::int32_t x = 0, y = 0;
    for (int c = 32; c < 256; ++c) {
        const char character = static_cast<char>(c);
        SIZE extent{};
        GetTextExtentPoint32A(dc, &character, 1, &extent);
        std::int32_t cx = extent.cx;
        const std::int32_t cy = extent.cy;
        std::int32_t offset = 0, overhang = 0;
        if (s.italic) {
            offset = cy / 8;
            overhang = cy / 4;
            cx += s.size / 3 + 5;
        }
        if (static_cast<std::uint32_t>(x + cx + 1) > sheet.size) {
            y += cy + 2;
            x = 0;
        }
        ExtTextOutA(dc, x + offset, y, ETO_OPAQUE, nullptr, &character, 1, nullptr);
        float* rect = sheet.glyphRect[c - 32];
        rect[0] = static_cast<float>(x) / size;
        rect[1] = static_cast<float>(y) / size;
        rect[2] = static_cast<float>(x + cx + 1) / size;
        rect[3] = static_cast<float>(y + cy + 1) / size;
        sheet.advance[c - 32] =
            static_cast<std::int32_t>(static_cast<float>(cx - overhang) / sheet.scale);
        sheet.glyphHeight[c - 32] = cy;
        x += s.characterSet != 0 ? cx + 2 : cx + 16;
    }
}

// The sheet's texture, as large as the font's glyphs want and the device allows.
bool MakeSheetTexture(HDC dc, Sheet& sheet) {
    SIZE g{};
    GetTextExtentPoint32A(dc, "g", 1, &g);
    std::uint32_t wanted = g.cy > 40 ? 1024 : g.cy > 15 ? 512 : 256;
    D3DCAPS9 caps{};
    s.device->GetDeviceCaps(&caps);
    if (wanted > caps.MaxTextureWidth && caps.MaxTextureWidth > 0) {
        sheet.scale = static_cast<float>(caps.MaxTextureWidth) / static_cast<float>(wanted);
        wanted = caps.MaxTextureWidth;
    }
    sheet.size = wanted;
    if (SUCCEEDED(s.device->CreateTexture(wanted, wanted, 1, 0, s.format, D3DPOOL_MANAGED,
                                          sheet.texture.PutAddress(), nullptr)))
        return true;
    sheet.texture.Detach(); // a failed call leaves nothing to release
    return false;
}

// Draws the glyphs through GDI and copies them into the sheet's texture.
bool DrawGlyphs(HDC dc, Sheet& sheet) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(sheet.size);
    info.bmiHeader.biHeight = -static_cast<LONG>(sheet.size);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib) return false;
    HGDIOBJ oldBitmap = SelectObject(dc, dib);
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkColor(dc, RGB(0, 0, 0));
    LayOutGlyphs(dc, sheet);
    GdiFlush();
    const bool copied = SurfaceFormatBits(s.format) != 16 ||
                        CopyGlyphs(static_cast<const std::uint32_t*>(bits), sheet);
    SelectObject(dc, oldBitmap);
    DeleteObject(dib);
    return copied;
}

// The font, its texture and its glyphs' places.
bool BuildFontTexture(Sheet& sheet) {
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return false;
    SetMapMode(dc, MM_TEXT);
    sheet.font = CreateTextFont(dc, s.bold ? FW_BOLD : FW_NORMAL, sheet);
    bool built = false;
    if (sheet.font) {
        HGDIOBJ oldFont = SelectObject(dc, sheet.font);
        SetTextAlign(dc, TA_TOP | TA_LEFT);
        built = MakeSheetTexture(dc, sheet) && DrawGlyphs(dc, sheet);
        SelectObject(dc, oldFont);
    }
    DeleteDC(dc);
    return built;
}

bool RecordTextStates(IDirect3DTexture9* texture, IDirect3DStateBlock9** block) {
    IDirect3DDevice9* d = s.device;
    if (FAILED(d->BeginStateBlock())) return false;
    d->SetTexture(0, texture);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, s.opaque ? FALSE : TRUE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    d->SetRenderState(D3DRS_ZENABLE, FALSE);
    d->SetRenderState(D3DRS_STENCILENABLE, FALSE);
    d->SetRenderState(D3DRS_CLIPPING, TRUE);
    d->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    d->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, FALSE);
    d->SetRenderState(D3DRS_FOGENABLE, FALSE);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    d->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    if (SUCCEEDED(d->EndStateBlock(block))) return *block != nullptr;
    *block = nullptr;
    return false;
}

// The vertex buffer (the one held is kept: its size never changes) and the recorded states,
// which name the sheet's texture.
bool CreateTextVertexBuffer(Sheet& sheet) {
    if (s.vertices) {
        s.vertices->AddRef();
        sheet.vertices.Reset(s.vertices.Get());
    } else if (FAILED(s.device->CreateVertexBuffer(
                   kTextVertexBufferBytes, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0,
                   D3DPOOL_DEFAULT, sheet.vertices.PutAddress(), nullptr))) {
        sheet.vertices.Detach(); // a failed call leaves nothing to release
        return false;
    }
    return RecordTextStates(sheet.texture, sheet.savedBlock.PutAddress()) &&
           RecordTextStates(sheet.texture, sheet.drawingBlock.PutAddress());
}

bool BuildSheet(Sheet& sheet) {
    return BuildFontTexture(sheet) && CreateTextVertexBuffer(sheet);
}

// The made sheet takes the place of the module's; the old one goes with the Sheet.
void Install(Sheet& sheet) {
    std::swap(s.font, sheet.font);
    s.texture = std::move(sheet.texture);
    s.vertices = std::move(sheet.vertices);
    s.savedBlock = std::move(sheet.savedBlock);
    s.drawingBlock = std::move(sheet.drawingBlock);
    s.sheetSize = sheet.size;
    s.scale = sheet.scale;
    s.rememberedCharacterSet = sheet.rememberedCharacterSet;
    s.doubleByte = sheet.doubleByte;
    std::memcpy(s.glyphRect, sheet.glyphRect, sizeof s.glyphRect);
    std::memcpy(s.advance, sheet.advance, sizeof s.advance);
    std::memcpy(s.glyphHeight, sheet.glyphHeight, sizeof s.glyphHeight);
}

void ReleaseDeviceObjects() {
    s.texture.Reset();
    s.vertices.Reset();
}

void StartModule() {
    s.device = GetDirect3DDevice();
    s.d3d.Reset();
    if (s.device) s.device->GetDirect3D(s.d3d.PutAddress());
    std::strcpy(s.face, "fixedsys");
    s.size = 12;
    s.scale = 1.0f;
    s.characterSet = 0;
    s.bold = s.italic = s.opaque = 0;
    s.textColour = 0xFFFFFFFF;
    s.backgroundColour = 0xFF000000;
    s.world3D = D3DMATRIX{};
}

void BuildAll() {
    if (s.core) s.resizeString = s.core->callbacks.resizeString;
    ChooseFontTextureFormat();
    if (!s.device) return;
    Sheet sheet;
    if (BuildSheet(sheet))
        Install(sheet);
    else
        ReportInternalError("Unable to create font texture in text library");
}

} // namespace

bool KeptTextSettings::Restore() const {
    std::memcpy(s.face, face, sizeof s.face);
    s.size = size;
    s.bold = bold;
    s.italic = italic;
    s.opaque = opaque;
    s.textColour = textColour;
    s.backgroundColour = backgroundColour;
    s.characterSet = characterSet;
    return false;
}

KeptTextSettings KeepTextSettings() {
    KeptTextSettings kept;
    std::memcpy(kept.face, s.face, sizeof kept.face);
    kept.size = s.size;
    kept.bold = s.bold;
    kept.italic = s.italic;
    kept.opaque = s.opaque;
    kept.textColour = s.textColour;
    kept.backgroundColour = s.backgroundColour;
    kept.characterSet = s.characterSet;
    return kept;
}

bool RebuildTextFont() {
    if (!s.device) return true;
    Sheet sheet;
    if (!BuildSheet(sheet)) {
        RaiseRuntimeError(kStringNoMemory);
        return false;
    }
    Install(sheet);
    return true;
}

void ReleaseTextObjects() {
    ReleaseDeviceObjects();
    s.savedBlock.Reset();
    s.drawingBlock.Reset();
    s.d3d.Reset();
    if (s.font) DeleteObject(s.font);
    s.font = nullptr;
    s.device = nullptr;
}

void TextConstructor(HMODULE) {
    StartModule();
}
void TextDestructor() {
    ReleaseTextObjects();
}
void TextSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}

void TextPassCoreData(CoreData* core) {
    s.core = core;
    BuildAll();
}

void TextRefreshD3D(std::int32_t mode) {
    if (mode == 0) {
        ReleaseTextObjects();
    } else if (mode == 1) {
        StartModule();
        BuildAll();
    }
}

TransformRecord* InitTransformRecord(TransformRecord* record) {
    if (!record) return record;
    std::memset(record->world, 0, sizeof record->world);
    const float look[3] = {0, 0, 1}, up[3] = {0, 1, 0}, right[3] = {1, 0, 0};
    std::memcpy(record->look, look, sizeof look);
    std::memcpy(record->up, up, sizeof up);
    std::memcpy(record->right, right, sizeof right);
    record->rebuildPending = 0;
    return record;
}
