#include "core/win32.h"

#include "terrain/terrain.h"
#include "terrain/terrain_state.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr DWORD kWhiteAmbient = 0xFFFFFFFF;

// The device values a pass changes for some matrices and puts back at its end.
struct PassState {
    DWORD fogColour = 0;
    DWORD ambient = 0;
    bool fogForced = false; // the fog colour is black for a ghosted matrix
    bool reflecting = false;
};

// (source, destination) blend factors of the ghost modes 0..4.
constexpr DWORD kGhostBlends[5][2] = {
    {D3DBLEND_ONE, D3DBLEND_INVSRCCOLOR},    {D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR},
    {D3DBLEND_SRCCOLOR, D3DBLEND_ONE},       {D3DBLEND_SRCALPHA, D3DBLEND_SRCALPHA},
    {D3DBLEND_SRCCOLOR, D3DBLEND_DESTCOLOR},
};

// Stencil mode 2 (reflection) in its second pass: the mirrored view.
bool Reflecting(const CoreData* core) {
    return core && core->stencilMode == 2 && core->renderPassIndex == 1;
}

void SetFog(IDirect3DDevice9* d, const TerrainMatrixRecord& r, PassState& pass) {
    const CoreData* core = g_Terrain.core;
    if (!core || core->fogEnabled != 1) return;
    d->SetRenderState(D3DRS_FOGENABLE, r.fog);
    // Ghosted matrices blend over what is behind them: fog must darken, not tint, them. Every
    // ghosted matrix of a run keeps the black.
    if (r.fog && r.ghost) {
        if (!pass.fogForced) d->SetRenderState(D3DRS_FOGCOLOR, 0);
        pass.fogForced = true;
    } else if (pass.fogForced) {
        d->SetRenderState(D3DRS_FOGCOLOR, pass.fogColour);
        pass.fogForced = false;
    }
}

void SetRasterStates(IDirect3DDevice9* d, const TerrainMatrixRecord& r, PassState& pass) {
    d->SetRenderState(D3DRS_FILLMODE, r.wireframe ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
    const D3DCULL cull = pass.reflecting ? D3DCULL_CW : D3DCULL_CCW;
    d->SetRenderState(D3DRS_CULLMODE, r.culling ? cull : D3DCULL_NONE);
    d->SetRenderState(D3DRS_ZENABLE, r.depthTest ? D3DZB_TRUE : D3DZB_FALSE);
    SetFog(d, r, pass);
    d->SetRenderState(D3DRS_AMBIENT, r.ambient ? pass.ambient : kWhiteAmbient);
}

void SetBlendStates(IDirect3DDevice9* d, const TerrainMatrixRecord& r) {
    if (r.transparency) {
        d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        d->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
        d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
        d->SetRenderState(D3DRS_ALPHAREF, 0);
    } else {
        d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        d->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
        d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_ALWAYS);
    }
    if (!r.ghost) return;
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    if (r.ghostMode < 0 || r.ghostMode > 4) return;
    d->SetRenderState(D3DRS_SRCBLEND, kGhostBlends[r.ghostMode][0]);
    d->SetRenderState(D3DRS_DESTBLEND, kGhostBlends[r.ghostMode][1]);
}

void SetSourcesAndSamplers(IDirect3DDevice9* d, const TerrainMatrixRecord& r) {
    d->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    d->SetSamplerState(0, D3DSAMP_ADDRESSU, r.addressMode);
    d->SetSamplerState(0, D3DSAMP_ADDRESSV, r.addressMode);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, r.filter);
    d->SetSamplerState(0, D3DSAMP_MINFILTER, r.filter);
    d->SetSamplerState(0, D3DSAMP_MIPFILTER, r.mipFilter);
    D3DMATRIX world;
    std::memcpy(&world, r.placement.world, sizeof world);
    d->SetTransform(D3DTS_WORLD, &world);
    d->SetVertexShader(nullptr);
    // An effect drawn before may have left its pixel shader bound.
    d->SetPixelShader(nullptr);
    d->SetFVF(kTerrainVertexFormat);
    d->SetStreamSource(0, r.vertexBuffer, 0, sizeof(TerrainVertex));
    d->SetIndices(r.indexBuffer);
}

void SetTextureStages(IDirect3DDevice9* d, const TerrainMatrixRecord& r) {
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    if (r.textures[0] && !r.wireframe) {
        d->SetTexture(0, r.textures[0]);
        if (r.textures[1]) d->SetTexture(1, r.textures[1]);
    } else {
        d->SetTexture(0, nullptr);
    }
}

void SetLighting(IDirect3DDevice9* d, const TerrainMatrixRecord& r) {
    if (!r.lighting) {
        d->SetRenderState(D3DRS_LIGHTING, FALSE);
        return;
    }
    d->SetRenderState(D3DRS_LIGHTING, TRUE);
    D3DMATERIAL9 white{};
    white.Diffuse = white.Ambient = {1.0f, 1.0f, 1.0f, 1.0f};
    d->SetMaterial(&white);
}

void CountPolygons(std::int64_t triangles) {
    if (g_Terrain.core) g_Terrain.core->drawnPolygons += static_cast<std::int32_t>(triangles);
}

// One draw for one index buffer; split buffers chunk by chunk, each from its own first vertex.
void Draw(IDirect3DDevice9* d, const TerrainMatrixRecord& r) {
    const std::int64_t triangles = 2 * std::int64_t{r.xSegments} * r.zSegments;
    if (!r.splitBuffers) {
        d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, static_cast<UINT>(2 * triangles), 0,
                                static_cast<UINT>(triangles));
        CountPolygons(triangles);
        return;
    }
    std::int64_t drawn = 0;
    for (std::uint32_t k = 0; k <= r.splitCount && drawn < triangles; ++k) {
        const std::int64_t n = std::min<std::int64_t>(kTerrainChunkTriangles, triangles - drawn);
        if (IDirect3DIndexBuffer9* chunk = r.splitBuffers[k]) {
            d->SetIndices(chunk);
            d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, static_cast<INT>(2 * drawn), 0,
                                    static_cast<UINT>(2 * n), 0, static_cast<UINT>(n));
            CountPolygons(n);
        }
        drawn += n;
    }
}

void ResetAfterDraw(IDirect3DDevice9* d) {
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    d->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
}

void DrawMatrix(const TerrainMatrixRecord& r, PassState& pass) {
    IDirect3DDevice9* d = r.device;
    if (!d || !r.vertexBuffer) return;
    SetRasterStates(d, r, pass);
    SetBlendStates(d, r);
    SetSourcesAndSamplers(d, r);
    SetTextureStages(d, r);
    SetLighting(d, r);
    Draw(d, r);
    ResetAfterDraw(d);
}

bool DrawnInPass(const TerrainMatrixRecord& r, std::int32_t pass) {
    if (pass == 0) return !r.latePass;
    if (pass == 1) return r.latePass;
    return true;
}

} // namespace

void RenderTerrainMatrices(std::int32_t pass) {
    IDirect3DDevice9* device = g_Terrain.device;
    if (!device) return;
    PassState state;
    device->GetRenderState(D3DRS_FOGCOLOR, &state.fogColour);
    device->GetRenderState(D3DRS_AMBIENT, &state.ambient);
    state.reflecting = Reflecting(g_Terrain.core);
    if (!(pass == 1 && state.reflecting)) {
        for (IdListNode* node = g_Terrain.matrices.first; node; node = node->next) {
            const auto* r = static_cast<const TerrainMatrixRecord*>(node->data);
            if (!r) break;
            if (DrawnInPass(*r, pass)) DrawMatrix(*r, state);
        }
    }
    device->SetRenderState(D3DRS_AMBIENT, state.ambient);
    device->SetRenderState(D3DRS_FOGCOLOR, state.fogColour);
}
