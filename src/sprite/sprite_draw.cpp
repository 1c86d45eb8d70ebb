#include "core/win32.h"

#include "sprite/sprite.h"
#include "sprite/sprite_state.h"
#include "core/core.h"
#include "display/display.h"

#include <cmath>

SpriteState g_Sprite;

namespace {

SpriteState& s = g_Sprite;

constexpr float kDegrees = 0.017453292f;
constexpr D3DCOLOR kBackdrop = 0xFF000080;

void FillAngleTables() {
    for (int i = 0; i < 360; ++i) {
        s.cosTable[i] = std::cos(i * kDegrees);
        s.sinTable[i] = std::sin(i * kDegrees);
    }
}

void ReleaseSurfaces() {
    s.backBuffer.Reset();
    s.savedCopy.Reset();
}

void RecordRunStates(IDirect3DDevice9* device) {
    device->SetVertexShader(nullptr);
    device->SetFVF(kSpriteVertexFormat);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    device->SetRenderState(D3DRS_DITHERENABLE, FALSE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_FOGENABLE, FALSE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_COLORVERTEX, TRUE);
    device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
    device->SetRenderState(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
    device->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
    device->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
    device->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
    device->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    const DWORD filter = s.smoothing ? D3DTEXF_LINEAR : D3DTEXF_POINT;
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, filter);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
}

void ReleaseRunStates() {
    s.runStates.Reset();
    s.runStatesDevice = nullptr;
}

// The two dozen states of a sprite run go to the device as one recorded block, applied in one call
// instead of two dozen for every pasted image.
void SetRunStates(IDirect3DDevice9* device) {
    if (s.runStates && (s.runStatesDevice != device || s.runStatesSmooth != s.smoothing))
        ReleaseRunStates();
    if (!s.runStates) {
        if (SUCCEEDED(device->BeginStateBlock())) {
            RecordRunStates(device);
            if (FAILED(device->EndStateBlock(s.runStates.PutAddress()))) s.runStates.Detach();
        }
        if (!s.runStates) return RecordRunStates(device); // set them directly, then
        s.runStatesDevice = device;
        s.runStatesSmooth = s.smoothing;
    }
    s.runStates->Apply();
}

} // namespace

void BuildSpriteCorners(SpriteRecord& r, std::int32_t x, std::int32_t y) {
    const bool rotated = r.angle != 0.0f;
    const std::int32_t px = rotated ? 0 : x, py = rotated ? 0 : y;
    float left, top, right, bottom;
    if (r.sizeX == 0) {
        const auto w = static_cast<std::int32_t>(r.width * r.scaleX);
        const auto h = static_cast<std::int32_t>(r.height * r.scaleY);
        left = static_cast<float>(px - static_cast<std::int32_t>(r.offsetX * r.scaleX));
        top = static_cast<float>(py - static_cast<std::int32_t>(r.offsetY * r.scaleY));
        right = left + static_cast<float>(w);
        bottom = top + static_cast<float>(h);
    } else {
        left = static_cast<float>(px - r.offsetX);
        top = static_cast<float>(py - r.offsetY);
        right = left + static_cast<float>(r.sizeX);
        bottom = top + static_cast<float>(r.sizeY);
    }
    const float xs[4] = {left - 0.5f, right - 0.5f, left - 0.5f, right - 0.5f};
    const float ys[4] = {top - 0.5f, top - 0.5f, bottom - 0.5f, bottom - 0.5f};
    float c = 1.0f, sn = 0.0f;
    if (rotated) {
        const float whole = std::floor(r.angle);
        if (whole == r.angle && r.angle >= 0.0f && r.angle < 360.0f) {
            c = s.cosTable[static_cast<int>(r.angle)];
            sn = s.sinTable[static_cast<int>(r.angle)];
        } else {
            c = std::cos(r.angle * kDegrees);
            sn = std::sin(r.angle * kDegrees);
        }
    }
    for (int i = 0; i < 4; ++i) {
        SpriteVertex& v = r.vertices[i];
        if (rotated) {
            v.x = xs[i] * c - ys[i] * sn + static_cast<float>(x);
            v.y = xs[i] * sn + ys[i] * c + static_cast<float>(y);
        } else {
            v.x = xs[i];
            v.y = ys[i];
        }
        v.z = 0.5f;
        v.rhw = 1.0f;
    }
}

void BuildSpriteTexture(SpriteRecord& r) {
    float left = 0, right = r.uMax, top = 0, bottom = r.vMax;
    if (r.kind == 1 && r.across > 0 && r.down > 0) {
        const std::int32_t column = r.frame % r.across;
        const std::int32_t row = (r.frame - column) / r.across;
        const float cu = r.uMax / static_cast<float>(r.across);
        const float cv = r.vMax / static_cast<float>(r.down);
        left = static_cast<float>(column) * cu;
        right = left + cu;
        bottom = r.vMax - static_cast<float>(r.down - row - 1) * cv;
        top = bottom - cv;
    }
    if (r.mirrored) std::swap(left, right);
    if (r.flipped) std::swap(top, bottom);
    r.vertices[0].u = left;
    r.vertices[0].v = top;
    r.vertices[1].u = right;
    r.vertices[1].v = top;
    r.vertices[2].u = left;
    r.vertices[2].v = bottom;
    r.vertices[3].u = right;
    r.vertices[3].v = bottom;
}

void SetSpriteColour(SpriteRecord& r) {
    const D3DCOLOR colour =
        static_cast<D3DCOLOR>(r.alpha & 0xFF) << 24 | static_cast<D3DCOLOR>(r.red & 0xFF) << 16 |
        static_cast<D3DCOLOR>(r.green & 0xFF) << 8 | static_cast<D3DCOLOR>(r.blue & 0xFF);
    for (SpriteVertex& v : r.vertices)
        v.colour = colour;
}

void DrawSpriteRun(const SpriteRecord* records, std::int32_t count) {
    IDirect3DDevice9* device = GetDirect3DDevice();
    if (!device) return;
    if (count > 0) {
        SetRunStates(device);
        std::uint8_t blending = 1;
        for (std::int32_t i = 0; i < count; ++i) {
            const SpriteRecord& r = records[i];
            if (!r.visible) continue;
            if (r.transparent != blending) {
                blending = r.transparent;
                device->SetRenderState(D3DRS_ALPHABLENDENABLE, blending);
            }
            if (r.image != 0) {
                // The image may have been replaced or deleted since the record was made. A sprite
                // without one (-1) shows none: negative numbers are the 3D module's textures.
                device->SetTexture(
                    0, r.image > 0 && s.images.getPointer ? s.images.getPointer(r.image) : nullptr);
            } else if (r.texture) {
                device->SetTexture(0, r.texture);
            }
            device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, r.vertices, sizeof(SpriteVertex));
        }
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    }
    device->SetRenderState(D3DRS_ZENABLE, TRUE);
}

void SpriteConstructor(HMODULE, HMODULE) {
    s.images = GetImageBridge();
    s.device = GetDirect3DDevice();
    FillAngleTables();
    s.highestPriority = 0;
}

namespace {

// The sprites and what the device owns: a device reset drops them too.
void ReleaseSprites() {
    s.manager.DeleteAllSprites();
    s.current = nullptr;
    ReleaseSurfaces();
    ReleaseRunStates();
}

} // namespace

void SpriteDestructor() {
    ReleaseSprites();
    // The program's settings end with the module, so that a restarted engine starts afresh.
    s.backSaveMode = 0;
    s.firstSprite = true;
    s.smoothing = false;
}

void SpriteSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}

void SpritePassCoreData(CoreData* core) {
    s.core = core;
    if (core) core->backdropColour = kBackdrop;
}

void SpriteRefreshD3D(std::int32_t mode) {
    if (mode == 0) {
        ReleaseSprites();
    } else if (mode == 1) {
        SpriteConstructor(nullptr, nullptr);
        if (s.core) s.core->backdropColour = kBackdrop;
    }
}

void SpriteUpdate() {
    s.manager.DrawSprites(s.highestPriority);
}

void SpriteSaveBackground() {
    IDirect3DDevice9* device = GetDirect3DDevice();
    if (!device) return;
    if (!s.backBuffer) {
        D3DSURFACE_DESC desc{};
        if (FAILED(
                device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, s.backBuffer.PutAddress()))) {
            s.backBuffer.Detach(); // a failed call leaves nothing to release
            return;
        }
        s.backBuffer->GetDesc(&desc);
        if (FAILED(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format,
                                                       D3DPOOL_SYSTEMMEM, s.savedCopy.PutAddress(),
                                                       nullptr)))
            s.savedCopy.Detach();
    }
    if (s.backSaveMode == 1 && s.savedCopy) device->GetRenderTargetData(s.backBuffer, s.savedCopy);
}

void SpriteRestoreBackground() {
    IDirect3DDevice9* device = GetDirect3DDevice();
    if (!device) return;
    if (s.backSaveMode == 1 && s.backBuffer && s.savedCopy) {
        device->UpdateSurface(s.savedCopy, nullptr, s.backBuffer, nullptr);
    } else if (s.backSaveMode == 2 && s.manager.CountSprites() > 0) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET, s.core ? s.core->backdropColour : kBackdrop,
                      1.0f, 0);
    }
}

void SetSpriteSmoothing(std::int32_t flag) {
    s.smoothing = flag != 0;
}
