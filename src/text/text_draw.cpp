#include "core/win32.h"

#include "text/text.h"
#include "text/text_state.h"
#include "core/core.h"

#include <cstring>

namespace {

TextState& s = g_Text;

constexpr int kGlyphVertices = 6;
constexpr DWORD kScreenFormat = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr DWORD kWorldFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

struct ScreenVertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u, v;
};
static_assert(sizeof(ScreenVertex) == 28);

struct WorldVertex {
    float x, y, z, nx, ny, nz, u, v;
};
static_assert(sizeof(WorldVertex) == 32);
ScreenVertex MakeFont2DVertex(float x, float y, float z, float rhw, D3DCOLOR colour, float u,
                              float v) {
    return {x, y, z, rhw, colour, u, v};
}

WorldVertex MakeFont3DVertex(const D3DXVECTOR3& at, const D3DXVECTOR3& normal, float u, float v) {
    return {at.x, at.y, at.z, normal.x, normal.y, normal.z, u, v};
}

static_assert(sizeof(ScreenVertex) <= kTextLargestVertex &&
              sizeof(WorldVertex) <= kTextLargestVertex);

COLORREF ToGdi(D3DCOLOR c) {
    return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

// Double-byte character sets are drawn by GDI straight onto the render target.
void DrawWithGdi(std::int32_t x, std::int32_t y, const char* text) {
    IDirect3DSurface9* target = s.core ? s.core->renderTarget : nullptr;
    HDC dc = nullptr;
    if (!target || FAILED(target->GetDC(&dc))) return;
    HGDIOBJ old = SelectObject(dc, s.font);
    SetTextColor(dc, ToGdi(s.textColour));
    SetBkColor(dc, ToGdi(s.backgroundColour));
    SetTextAlign(dc, TA_TOP | TA_LEFT);
    SetBkMode(dc, s.opaque ? OPAQUE : TRANSPARENT);
    ExtTextOutA(dc, x, y, s.opaque ? ETO_OPAQUE : 0, nullptr, text,
                static_cast<UINT>(std::strlen(text)), nullptr);
    SelectObject(dc, old);
    target->ReleaseDC(dc);
}

// Writes vertices of a batch and draws them whenever the buffer is full.
template <typename Vertex> class Batch {
public:
    explicit Batch(IDirect3DVertexBuffer9* buffer) : buffer_(buffer) { Lock(); }
    ~Batch() { Flush(); }
    bool Ok() const { return data_ != nullptr; }
    void Add(const Vertex& v) {
        if (count_ < static_cast<int>(kTextBatchVertices)) data_[count_++] = v;
    }
    // Draws what was written when another glyph's vertices would not fit.
    void FlushIfFull() {
        if (count_ + kGlyphVertices <= static_cast<int>(kTextBatchVertices)) return;
        Flush();
        Lock();
    }

private:
    void Lock() {
        void* data = nullptr;
        data_ = SUCCEEDED(buffer_->Lock(0, 0, &data, D3DLOCK_DISCARD)) ? static_cast<Vertex*>(data)
                                                                       : nullptr;
        count_ = 0;
    }
    void Flush() {
        if (!data_) return;
        buffer_->Unlock();
        data_ = nullptr;
        if (count_ >= 3) s.device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, count_ / 3);
        count_ = 0;
    }
    IDirect3DVertexBuffer9* buffer_;
    Vertex* data_ = nullptr;
    int count_ = 0;
};

void DrawWithSheet(std::int32_t x, std::int32_t y, const char* text) {
    IDirect3DDevice9* d = s.device;
    s.savedBlock->Capture();
    s.drawingBlock->Apply();
    d->SetVertexShader(nullptr);
    d->SetFVF(kScreenFormat);
    d->SetStreamSource(0, s.vertices, 0, sizeof(ScreenVertex));
    // White glyphs carry the ink in the vertex colour; black must not read as see-through.
    D3DCOLOR colour = 0xFFFFFFFF;
    if (s.backgroundColour == 0) colour = s.textColour ? s.textColour : 0xFF010101;
    const float sheet = static_cast<float>(s.sheetSize);
    const float lineHeight = sheet * (s.glyphRect[0][3] - s.glyphRect[0][1]);
    float px = static_cast<float>(x), py = static_cast<float>(y);
    // Glyphs wholly outside the viewport are stepped over, not drawn: a text far longer than
    // the target costs a walk of its bytes, not a draw for every glyph.
    D3DVIEWPORT9 view{0, 0, 1u << 16, 1u << 16, 0, 1};
    d->GetViewport(&view);
    const float left = static_cast<float>(view.X), top = static_cast<float>(view.Y);
    const float right = left + static_cast<float>(view.Width),
                bottom = top + static_cast<float>(view.Height);
    {
        Batch<ScreenVertex> batch(s.vertices);
        for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text);
             *c && batch.Ok(); ++c) {
            if (*c == '\n') {
                px = static_cast<float>(x);
                py += lineHeight;
                continue;
            }
            if (*c < 32) continue;
            const float* r = s.glyphRect[*c - 32];
            const float w = sheet * (r[2] - r[0]) / s.scale, h = sheet * (r[3] - r[1]) / s.scale;
            const float l = px - 0.5f, t = py - 0.5f;
            px += static_cast<float>(s.advance[*c - 32]);
            if (l >= right || t >= bottom || l + w < left || t + h < top) continue;
            batch.Add(MakeFont2DVertex(l, t + h, 0.9f, 1.0f, colour, r[0], r[3]));
            batch.Add(MakeFont2DVertex(l, t, 0.9f, 1.0f, colour, r[0], r[1]));
            batch.Add(MakeFont2DVertex(l + w, t + h, 0.9f, 1.0f, colour, r[2], r[3]));
            batch.Add(MakeFont2DVertex(l + w, t, 0.9f, 1.0f, colour, r[2], r[1]));
            batch.Add(MakeFont2DVertex(l + w, t + h, 0.9f, 1.0f, colour, r[2], r[3]));
            batch.Add(MakeFont2DVertex(l, t, 0.9f, 1.0f, colour, r[0], r[1]));
            batch.FlushIfFull();
        }
    }
    s.savedBlock->Apply();
}

void DrawTextString(std::int32_t x, std::int32_t y, const char* text) {
    if (!text) return;
    if (s.doubleByte && s.font) return DrawWithGdi(x, y, text);
    // After a failed creation there is nothing to draw with.
    if (!s.device || !s.texture || !s.vertices || !s.savedBlock || !s.drawingBlock) return;
    DrawWithSheet(x, y, text);
}

// The text colours follow the ink of the basic 2D module. A sheet the new colours cannot be
// made for (101) keeps the old colours and sheet: false, and nothing is drawn.
bool TakeInkColours() {
    if (!s.core) return true;
    const D3DCOLOR ink = s.core->inkForeground, paper = s.core->inkBackground;
    // The glyphs carry the ink only on a sheet with a background.
    if ((ink == s.textColour || s.backgroundColour == 0) && paper == s.backgroundColour) {
        s.textColour = ink;
        return true;
    }
    return RestyleText([&] {
        s.textColour = ink;
        s.backgroundColour = paper;
    });
}

} // namespace

void TextAt(std::int32_t x, std::int32_t y, const char* text) {
    if (TakeInkColours()) DrawTextString(x, y, text);
}

void CenterTextAt(std::int32_t x, std::int32_t y, const char* text) {
    if (TakeInkColours()) DrawTextString(x - GetTextWidth(text) / 2, y, text);
}

std::int32_t GetTextWidth(const char* text) {
    std::int32_t width = 0;
    if (!text) return 0;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c)
        if (*c >= 32) width += s.advance[*c - 32];
    return width;
}

std::int32_t GetTextHeight(const char* text) {
    std::int32_t height = 0;
    if (!text) return 0;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c)
        if (*c >= 32 && s.glyphHeight[*c - 32] > height) height = s.glyphHeight[*c - 32];
    return height;
}

namespace {

// The world, view and projection transforms as one matrix, rows applied to row vectors.
D3DXMATRIX ClipTransform(IDirect3DDevice9* d, const D3DMATRIX& world) {
    D3DXMATRIX view, projection;
    d->GetTransform(D3DTS_VIEW, &view);
    d->GetTransform(D3DTS_PROJECTION, &projection);
    return D3DXMATRIX(world) * view * projection;
}

// Whether a glyph's rectangle at z = 0 lies wholly beyond one plane of the view volume, or behind
// the eye (w <= 0, which a world matrix of zeros gives every corner): such a glyph is stepped
// over, so that a text far longer than the view costs its visible glyphs' draws.
bool GlyphOutsideView(const D3DXMATRIX& m, float x0, float y0, float x1, float y1) {
    unsigned outside = 0x7F;
    const float xs[2] = {x0, x1}, ys[2] = {y0, y1};
    for (float x : xs)
        for (float y : ys) {
            const D3DXVECTOR4 corner(x, y, 0.0f, 1.0f);
            D3DXVECTOR4 c;
            D3DXVec4Transform(&c, &corner, &m);
            outside &= (c.x < -c.w) | (c.x > c.w) << 1 | (c.y < -c.w) << 2 | (c.y > c.w) << 3 |
                       (c.z < 0.0f) << 4 | (c.z > c.w) << 5 | (c.w <= 0.0f) << 6;
        }
    return outside != 0;
}

} // namespace

void DrawText3D(const char* text) {
    IDirect3DDevice9* d = s.device;
    if (!text || !d || !s.texture || !s.vertices || !s.savedBlock || !s.drawingBlock) return;
    D3DMATRIX saved{};
    d->GetTransform(D3DTS_WORLD, &saved);
    d->SetTransform(D3DTS_WORLD, &s.world3D);
    s.savedBlock->Capture();
    s.drawingBlock->Apply();
    d->SetVertexShader(nullptr);
    d->SetFVF(kWorldFormat);
    d->SetStreamSource(0, s.vertices, 0, sizeof(WorldVertex));
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    const float sheet = static_cast<float>(s.sheetSize);
    const D3DXMATRIX clip = ClipTransform(d, s.world3D);
    float px = 0, py = 0;
    const D3DXVECTOR3 facing(0, 0, -1); // the glyphs lie in z = 0, facing -z
    {
        Batch<WorldVertex> batch(s.vertices);
        for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text);
             *c && batch.Ok(); ++c) {
            if (*c == '\n') {
                px = 0;
                py -= sheet * (s.glyphRect[0][3] - s.glyphRect[0][1]) * 0.1f;
                continue;
            }
            if (*c < 32) continue;
            const float* r = s.glyphRect[*c - 32];
            const float w = sheet * (r[2] - r[0]) / (10.0f * s.scale),
                        h = sheet * (r[3] - r[1]) / (10.0f * s.scale);
            if (GlyphOutsideView(clip, px, py - h, px + w, py)) {
                px += w;
                continue;
            }
            batch.Add(MakeFont3DVertex({px, py - h, 0}, facing, r[0], r[3]));
            batch.Add(MakeFont3DVertex({px, py, 0}, facing, r[0], r[1]));
            batch.Add(MakeFont3DVertex({px + w, py - h, 0}, facing, r[2], r[3]));
            batch.Add(MakeFont3DVertex({px + w, py, 0}, facing, r[2], r[1]));
            batch.Add(MakeFont3DVertex({px + w, py - h, 0}, facing, r[2], r[3]));
            batch.Add(MakeFont3DVertex({px, py, 0}, facing, r[0], r[1]));
            px += w;
            batch.FlushIfFull();
        }
    }
    s.savedBlock->Apply();
    d->SetTransform(D3DTS_WORLD, &saved);
}
