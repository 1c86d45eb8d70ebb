#include "core/win32.h"

#include "image/image_state.h"

// Until the sprite module hands over its paste function, pictures are drawn here: one textured
// quad, texel for pixel.
namespace {

struct PasteVertex {
    float x, y, z, rhw;
    float u, v;
};

constexpr DWORD kPasteFormat = D3DFVF_XYZRHW | D3DFVF_TEX1;

void SetPasteStates(IDirect3DDevice9* device, bool transparent) {
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_FOGENABLE, FALSE);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, transparent);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
}

} // namespace

void DrawImageQuad(const ImageRecord& r, std::int32_t x, std::int32_t y, bool transparent) {
    IDirect3DDevice9* device = g_Image.device;
    IDirect3DTexture9* texture = Texture2D(&r);
    if (!device || !texture || r.locked) return;
    const float left = static_cast<float>(x) - 0.5f, top = static_cast<float>(y) - 0.5f;
    const float right = left + static_cast<float>(r.width),
                bottom = top + static_cast<float>(r.height);
    const PasteVertex quad[4] = {{left, top, 0.0f, 1.0f, 0.0f, 0.0f},
                                 {right, top, 0.0f, 1.0f, r.uScale, 0.0f},
                                 {left, bottom, 0.0f, 1.0f, 0.0f, r.vScale},
                                 {right, bottom, 0.0f, 1.0f, r.uScale, r.vScale}};
    SetPasteStates(device, transparent);
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
    device->SetFVF(kPasteFormat);
    device->SetTexture(0, texture);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(PasteVertex));
    device->SetTexture(0, nullptr);
}
