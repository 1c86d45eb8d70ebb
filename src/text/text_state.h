// The text module's state, shared by its source files only.
#pragma once

#include "core/com_ptr.h"
#include "core/core_data.h"

#include <cstdint>

constexpr int kGlyphs = 224; // characters 32 to 255
constexpr int kFaceLength = 80;
// The vertex buffer holds a batch of this many vertices of the largest kind drawn (3D text's).
constexpr UINT kTextBatchVertices = 300;
constexpr UINT kTextLargestVertex = 32;
constexpr UINT kTextVertexBufferBytes = kTextBatchVertices * kTextLargestVertex;

struct TextState {
    CoreData* core = nullptr;
    ResizeStringFn resizeString = nullptr;
    IDirect3DDevice9* device = nullptr;
    ComPtr<IDirect3D9> d3d;
    char face[kFaceLength] = "fixedsys";
    std::int32_t size = 12;
    std::uint8_t bold = 0, italic = 0, opaque = 0;
    D3DCOLOR textColour = 0xFFFFFFFF;
    D3DCOLOR backgroundColour = 0xFF000000;
    std::int32_t characterSet = 0;
    std::int32_t rememberedCharacterSet = 0;
    bool doubleByte = false;
    HFONT font = nullptr;
    D3DFORMAT format = D3DFMT_A4R4G4B4;
    ComPtr<IDirect3DTexture9> texture;
    std::uint32_t sheetSize = 0;
    float scale = 1.0f;
    ComPtr<IDirect3DVertexBuffer9> vertices;
    ComPtr<IDirect3DStateBlock9> savedBlock;
    ComPtr<IDirect3DStateBlock9> drawingBlock;
    float glyphRect[kGlyphs][4] = {}; // left, top, right, bottom in texture coordinates
    std::int32_t advance[kGlyphs] = {};
    std::int32_t glyphHeight[kGlyphs] = {};
    D3DMATRIX world3D = {}; // the world matrix of 3D text; nothing sets it
    bool checklistFill = false;
    std::uint32_t longestName = 0;
};

extern TextState g_Text;

// Makes the font sheet again from the settings. One that cannot be made (no memory for the
// texture, the font or GDI's picture) raises 101 and leaves the old sheet drawing: false.
bool RebuildTextFont();
void ReleaseTextObjects();

// The settings a rebuild reads, kept by a command that changes them so that a refused rebuild
// leaves them as they were too.
struct KeptTextSettings {
    char face[kFaceLength];
    std::int32_t size;
    std::uint8_t bold, italic, opaque;
    D3DCOLOR textColour, backgroundColour;
    std::int32_t characterSet;
    bool Restore() const; // false, for the caller's return
};
KeptTextSettings KeepTextSettings();

// Changes the settings and makes the sheet again; false, with 101 and the settings put back,
// when the new sheet cannot be made.
template <class Change> bool RestyleText(Change change) {
    const KeptTextSettings kept = KeepTextSettings();
    change();
    return RebuildTextFont() || kept.Restore();
}
