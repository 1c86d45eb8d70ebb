// A Direct3D 9 device that passes every call on to the real one and keeps a record of the state
// changes, bindings and draws made through it. It also fails, as a device may, any non-indexed
// draw of more primitives than a limit, which the real device here never does. For tests that
// must count calls or see a failure that cannot be caused otherwise.
#pragma once

#include "core/win32.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct RecordedState {
    DWORD stage; // 0 for render states
    DWORD type;
    DWORD value;
};

// A draw from user memory: its first vertex's bytes and the texture on stage 0, read at the draw.
struct RecordedUserDraw {
    D3DPRIMITIVETYPE type;
    bool indexed;
    UINT primitives;
    const void* vertices;
    std::vector<std::uint8_t> firstVertex;
    IDirect3DBaseTexture9* stageZero;
};

struct RecordedDraw {
    D3DPRIMITIVETYPE type;
    bool indexed;
    INT baseVertex;
    UINT start; // start vertex, or start index when indexed
    UINT primitives;
    bool failed;
    std::size_t renderStatesBefore; // render states recorded before the draw
};

class RecordingDevice final : public IDirect3DDevice9 {
public:
    explicit RecordingDevice(IDirect3DDevice9* real) : real_(real) {}
    RecordingDevice(const RecordingDevice&) = delete;
    RecordingDevice& operator=(const RecordingDevice&) = delete;

    void Clear() {
        renderStates.clear();
        stageStates.clear();
        samplerStates.clear();
        draws.clear();
        userDraws.clear();
        streams.clear();
        worlds.clear();
        gammaRamps.clear();
        textures = formats = shaders = materials = indices = vertexBuffersMade = 0;
        stripColours.clear();
    }
    // How many times a render state was sent, with any value.
    int RenderStateCount(D3DRENDERSTATETYPE state) const;
    // The last value sent of a render state; fallback when it was not sent.
    DWORD LastRenderState(D3DRENDERSTATETYPE state, DWORD fallback) const;
    // The last value of a render state sent before a recorded draw; fallback when none was.
    DWORD RenderStateAtDraw(std::size_t draw, D3DRENDERSTATETYPE state, DWORD fallback) const;

    std::vector<RecordedState> renderStates, stageStates, samplerStates;
    std::vector<RecordedDraw> draws;
    std::vector<RecordedUserDraw> userDraws;
    std::vector<IDirect3DVertexBuffer9*> streams;
    std::vector<D3DXMATRIX> worlds;
    // Every gamma ramp sent: a windowed device may keep none to read back.
    std::vector<D3DGAMMARAMP> gammaRamps;
    int textures = 0, formats = 0, shaders = 0, materials = 0, indices = 0;
    UINT failDrawsAbove = 0xFFFFFFFF;    // primitives
    UINT failSurfacesAbove = 0xFFFFFFFF; // texture and depth-surface width or height
    // Reported in the capabilities in place of the real vertex shader version, when not 0.
    DWORD vertexShaderVersion = 0;
    int vertexBuffersMade = 0;
    int indexBuffersLeft = -1; // index buffers it still makes before it runs out; -1 no limit
    // When not S_OK, what Present and TestCooperativeLevel answer in place of the real device: a
    // lost device, which a windowed one here never is.
    HRESULT presentResult = S_OK, cooperativeLevel = S_OK;
    // The colour of the first vertex of each strip drawn from a lockable buffer (the
    // full-screen quads of the stencil passes), read at the draw.
    std::vector<D3DCOLOR> stripColours;

    // Recorded calls.
    HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
        renderStates.push_back({0, static_cast<DWORD>(state), value});
        return real_->SetRenderState(state, value);
    }
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                                   DWORD value) override {
        stageStates.push_back({stage, static_cast<DWORD>(type), value});
        return real_->SetTextureStageState(stage, type, value);
    }
    HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD stage, D3DSAMPLERSTATETYPE type,
                                              DWORD value) override {
        samplerStates.push_back({stage, static_cast<DWORD>(type), value});
        return real_->SetSamplerState(stage, type, value);
    }
    HRESULT STDMETHODCALLTYPE DrawPrimitive(D3DPRIMITIVETYPE type, UINT start,
                                            UINT count) override {
        if (type == D3DPT_TRIANGLESTRIP) RecordStripColour(start);
        const bool fail = count > failDrawsAbove;
        draws.push_back({type, false, 0, start, count, fail, renderStates.size()});
        return fail ? D3DERR_INVALIDCALL : real_->DrawPrimitive(type, start, count);
    }
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT base, UINT minIndex,
                                                   UINT vertices, UINT start, UINT count) override {
        draws.push_back({type, true, base, start, count, false, renderStates.size()});
        return real_->DrawIndexedPrimitive(type, base, minIndex, vertices, start, count);
    }
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override {
        ++textures;
        return real_->SetTexture(stage, texture);
    }
    HRESULT STDMETHODCALLTYPE SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer,
                                              UINT offset, UINT stride) override {
        streams.push_back(buffer);
        if (stream == 0) stride_ = stride;
        return real_->SetStreamSource(stream, buffer, offset, stride);
    }
    HRESULT STDMETHODCALLTYPE SetIndices(IDirect3DIndexBuffer9* buffer) override {
        ++indices;
        return real_->SetIndices(buffer);
    }
    HRESULT STDMETHODCALLTYPE SetFVF(DWORD fvf) override {
        ++formats;
        return real_->SetFVF(fvf);
    }
    HRESULT STDMETHODCALLTYPE SetVertexDeclaration(IDirect3DVertexDeclaration9* d) override {
        ++formats;
        return real_->SetVertexDeclaration(d);
    }
    HRESULT STDMETHODCALLTYPE SetVertexShader(IDirect3DVertexShader9* shader) override {
        ++shaders;
        return real_->SetVertexShader(shader);
    }
    HRESULT STDMETHODCALLTYPE SetPixelShader(IDirect3DPixelShader9* shader) override {
        ++shaders;
        return real_->SetPixelShader(shader);
    }
    void STDMETHODCALLTYPE SetGammaRamp(UINT swapchain, DWORD flags,
                                        const D3DGAMMARAMP* ramp) override {
        if (ramp) gammaRamps.push_back(*ramp);
        return real_->SetGammaRamp(swapchain, flags, ramp);
    }
    HRESULT STDMETHODCALLTYPE SetMaterial(const D3DMATERIAL9* material) override {
        ++materials;
        return real_->SetMaterial(material);
    }
    HRESULT STDMETHODCALLTYPE SetTransform(D3DTRANSFORMSTATETYPE type,
                                           const D3DMATRIX* matrix) override {
        if (type == D3DTS_WORLD && matrix) worlds.push_back(*matrix);
        return real_->SetTransform(type, matrix);
    }

    // The wrapper is not reference counted: it lives on the test's stack.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return real_->QueryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    // Everything else goes straight through.
    HRESULT STDMETHODCALLTYPE TestCooperativeLevel() override {
        if (cooperativeLevel != S_OK) return cooperativeLevel;
        return real_->TestCooperativeLevel();
    }
    UINT STDMETHODCALLTYPE GetAvailableTextureMem() override {
        return real_->GetAvailableTextureMem();
    }
    HRESULT STDMETHODCALLTYPE EvictManagedResources() override {
        return real_->EvictManagedResources();
    }
    HRESULT STDMETHODCALLTYPE GetDirect3D(IDirect3D9** ppD3D9) override {
        return real_->GetDirect3D(ppD3D9);
    }
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(D3DCAPS9* pCaps) override {
        const HRESULT hr = real_->GetDeviceCaps(pCaps);
        if (SUCCEEDED(hr) && vertexShaderVersion) pCaps->VertexShaderVersion = vertexShaderVersion;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetDisplayMode(UINT iSwapChain, D3DDISPLAYMODE* pMode) override {
        return real_->GetDisplayMode(iSwapChain, pMode);
    }
    HRESULT STDMETHODCALLTYPE
    GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* pParameters) override {
        return real_->GetCreationParameters(pParameters);
    }
    HRESULT STDMETHODCALLTYPE SetCursorProperties(UINT XHotSpot, UINT YHotSpot,
                                                  IDirect3DSurface9* pCursorBitmap) override {
        return real_->SetCursorProperties(XHotSpot, YHotSpot, pCursorBitmap);
    }
    void STDMETHODCALLTYPE SetCursorPosition(int X, int Y, DWORD Flags) override {
        return real_->SetCursorPosition(X, Y, Flags);
    }
    WINBOOL STDMETHODCALLTYPE ShowCursor(WINBOOL bShow) override {
        return real_->ShowCursor(bShow);
    }
    HRESULT STDMETHODCALLTYPE CreateAdditionalSwapChain(
        D3DPRESENT_PARAMETERS* pPresentationParameters, IDirect3DSwapChain9** pSwapChain) override {
        return real_->CreateAdditionalSwapChain(pPresentationParameters, pSwapChain);
    }
    HRESULT STDMETHODCALLTYPE GetSwapChain(UINT iSwapChain,
                                           IDirect3DSwapChain9** pSwapChain) override {
        return real_->GetSwapChain(iSwapChain, pSwapChain);
    }
    UINT STDMETHODCALLTYPE GetNumberOfSwapChains() override {
        return real_->GetNumberOfSwapChains();
    }
    HRESULT STDMETHODCALLTYPE Reset(D3DPRESENT_PARAMETERS* pPresentationParameters) override {
        return real_->Reset(pPresentationParameters);
    }
    HRESULT STDMETHODCALLTYPE Present(const RECT* src_rect, const RECT* dst_rect,
                                      HWND dst_window_override,
                                      const RGNDATA* dirty_region) override {
        if (presentResult != S_OK) return presentResult;
        return real_->Present(src_rect, dst_rect, dst_window_override, dirty_region);
    }
    HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT iSwapChain, UINT iBackBuffer,
                                            D3DBACKBUFFER_TYPE Type,
                                            IDirect3DSurface9** ppBackBuffer) override {
        return real_->GetBackBuffer(iSwapChain, iBackBuffer, Type, ppBackBuffer);
    }
    HRESULT STDMETHODCALLTYPE GetRasterStatus(UINT iSwapChain,
                                              D3DRASTER_STATUS* pRasterStatus) override {
        return real_->GetRasterStatus(iSwapChain, pRasterStatus);
    }
    HRESULT STDMETHODCALLTYPE SetDialogBoxMode(WINBOOL bEnableDialogs) override {
        return real_->SetDialogBoxMode(bEnableDialogs);
    }
    void STDMETHODCALLTYPE GetGammaRamp(UINT iSwapChain, D3DGAMMARAMP* pRamp) override {
        return real_->GetGammaRamp(iSwapChain, pRamp);
    }
    HRESULT STDMETHODCALLTYPE CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage,
                                            D3DFORMAT Format, D3DPOOL Pool,
                                            IDirect3DTexture9** ppTexture,
                                            HANDLE* pSharedHandle) override {
        if (Width > failSurfacesAbove || Height > failSurfacesAbove) return D3DERR_OUTOFVIDEOMEMORY;
        return real_->CreateTexture(Width, Height, Levels, Usage, Format, Pool, ppTexture,
                                    pSharedHandle);
    }
    HRESULT STDMETHODCALLTYPE CreateVolumeTexture(UINT Width, UINT Height, UINT Depth, UINT Levels,
                                                  DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                                  IDirect3DVolumeTexture9** ppVolumeTexture,
                                                  HANDLE* pSharedHandle) override {
        return real_->CreateVolumeTexture(Width, Height, Depth, Levels, Usage, Format, Pool,
                                          ppVolumeTexture, pSharedHandle);
    }
    HRESULT STDMETHODCALLTYPE CreateCubeTexture(UINT EdgeLength, UINT Levels, DWORD Usage,
                                                D3DFORMAT Format, D3DPOOL Pool,
                                                IDirect3DCubeTexture9** ppCubeTexture,
                                                HANDLE* pSharedHandle) override {
        return real_->CreateCubeTexture(EdgeLength, Levels, Usage, Format, Pool, ppCubeTexture,
                                        pSharedHandle);
    }
    HRESULT STDMETHODCALLTYPE CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                                 IDirect3DVertexBuffer9** ppVertexBuffer,
                                                 HANDLE* pSharedHandle) override {
        ++vertexBuffersMade;
        return real_->CreateVertexBuffer(Length, Usage, FVF, Pool, ppVertexBuffer, pSharedHandle);
    }
    HRESULT STDMETHODCALLTYPE CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format,
                                                D3DPOOL Pool, IDirect3DIndexBuffer9** ppIndexBuffer,
                                                HANDLE* pSharedHandle) override {
        if (indexBuffersLeft == 0) return D3DERR_OUTOFVIDEOMEMORY;
        if (indexBuffersLeft > 0) --indexBuffersLeft;
        return real_->CreateIndexBuffer(Length, Usage, Format, Pool, ppIndexBuffer, pSharedHandle);
    }
    HRESULT STDMETHODCALLTYPE CreateRenderTarget(UINT Width, UINT Height, D3DFORMAT Format,
                                                 D3DMULTISAMPLE_TYPE MultiSample,
                                                 DWORD MultisampleQuality, WINBOOL Lockable,
                                                 IDirect3DSurface9** ppSurface,
                                                 HANDLE* pSharedHandle) override {
        return real_->CreateRenderTarget(Width, Height, Format, MultiSample, MultisampleQuality,
                                         Lockable, ppSurface, pSharedHandle);
    }
    HRESULT STDMETHODCALLTYPE CreateDepthStencilSurface(UINT Width, UINT Height, D3DFORMAT Format,
                                                        D3DMULTISAMPLE_TYPE MultiSample,
                                                        DWORD MultisampleQuality, WINBOOL Discard,
                                                        IDirect3DSurface9** ppSurface,
                                                        HANDLE* pSharedHandle) override {
        if (Width > failSurfacesAbove || Height > failSurfacesAbove) return D3DERR_OUTOFVIDEOMEMORY;
        return real_->CreateDepthStencilSurface(Width, Height, Format, MultiSample,
                                                MultisampleQuality, Discard, ppSurface,
                                                pSharedHandle);
    }
    HRESULT STDMETHODCALLTYPE UpdateSurface(IDirect3DSurface9* src_surface, const RECT* src_rect,
                                            IDirect3DSurface9* dst_surface,
                                            const POINT* dst_point) override {
        return real_->UpdateSurface(src_surface, src_rect, dst_surface, dst_point);
    }
    HRESULT STDMETHODCALLTYPE UpdateTexture(IDirect3DBaseTexture9* pSourceTexture,
                                            IDirect3DBaseTexture9* pDestinationTexture) override {
        return real_->UpdateTexture(pSourceTexture, pDestinationTexture);
    }
    HRESULT STDMETHODCALLTYPE GetRenderTargetData(IDirect3DSurface9* pRenderTarget,
                                                  IDirect3DSurface9* pDestSurface) override {
        return real_->GetRenderTargetData(pRenderTarget, pDestSurface);
    }
    HRESULT STDMETHODCALLTYPE GetFrontBufferData(UINT iSwapChain,
                                                 IDirect3DSurface9* pDestSurface) override {
        return real_->GetFrontBufferData(iSwapChain, pDestSurface);
    }
    HRESULT STDMETHODCALLTYPE StretchRect(IDirect3DSurface9* src_surface, const RECT* src_rect,
                                          IDirect3DSurface9* dst_surface, const RECT* dst_rect,
                                          D3DTEXTUREFILTERTYPE filter) override {
        return real_->StretchRect(src_surface, src_rect, dst_surface, dst_rect, filter);
    }
    HRESULT STDMETHODCALLTYPE ColorFill(IDirect3DSurface9* surface, const RECT* rect,
                                        D3DCOLOR color) override {
        return real_->ColorFill(surface, rect, color);
    }
    HRESULT STDMETHODCALLTYPE CreateOffscreenPlainSurface(UINT Width, UINT Height, D3DFORMAT Format,
                                                          D3DPOOL Pool,
                                                          IDirect3DSurface9** ppSurface,
                                                          HANDLE* pSharedHandle) override {
        return real_->CreateOffscreenPlainSurface(Width, Height, Format, Pool, ppSurface,
                                                  pSharedHandle);
    }
    HRESULT STDMETHODCALLTYPE SetRenderTarget(DWORD RenderTargetIndex,
                                              IDirect3DSurface9* pRenderTarget) override {
        return real_->SetRenderTarget(RenderTargetIndex, pRenderTarget);
    }
    HRESULT STDMETHODCALLTYPE GetRenderTarget(DWORD RenderTargetIndex,
                                              IDirect3DSurface9** ppRenderTarget) override {
        return real_->GetRenderTarget(RenderTargetIndex, ppRenderTarget);
    }
    HRESULT STDMETHODCALLTYPE SetDepthStencilSurface(IDirect3DSurface9* pNewZStencil) override {
        return real_->SetDepthStencilSurface(pNewZStencil);
    }
    HRESULT STDMETHODCALLTYPE
    GetDepthStencilSurface(IDirect3DSurface9** ppZStencilSurface) override {
        return real_->GetDepthStencilSurface(ppZStencilSurface);
    }
    HRESULT STDMETHODCALLTYPE BeginScene() override { return real_->BeginScene(); }
    HRESULT STDMETHODCALLTYPE EndScene() override { return real_->EndScene(); }
    HRESULT STDMETHODCALLTYPE Clear(DWORD rect_count, const D3DRECT* rects, DWORD flags,
                                    D3DCOLOR color, float z, DWORD stencil) override {
        return real_->Clear(rect_count, rects, flags, color, z, stencil);
    }
    HRESULT STDMETHODCALLTYPE GetTransform(D3DTRANSFORMSTATETYPE State,
                                           D3DMATRIX* pMatrix) override {
        return real_->GetTransform(State, pMatrix);
    }
    HRESULT STDMETHODCALLTYPE MultiplyTransform(D3DTRANSFORMSTATETYPE state,
                                                const D3DMATRIX* matrix) override {
        return real_->MultiplyTransform(state, matrix);
    }
    HRESULT STDMETHODCALLTYPE SetViewport(const D3DVIEWPORT9* viewport) override {
        return real_->SetViewport(viewport);
    }
    HRESULT STDMETHODCALLTYPE GetViewport(D3DVIEWPORT9* pViewport) override {
        return real_->GetViewport(pViewport);
    }
    HRESULT STDMETHODCALLTYPE GetMaterial(D3DMATERIAL9* pMaterial) override {
        return real_->GetMaterial(pMaterial);
    }
    HRESULT STDMETHODCALLTYPE SetLight(DWORD index, const D3DLIGHT9* light) override {
        return real_->SetLight(index, light);
    }
    HRESULT STDMETHODCALLTYPE GetLight(DWORD Index, D3DLIGHT9* p1) override {
        return real_->GetLight(Index, p1);
    }
    HRESULT STDMETHODCALLTYPE LightEnable(DWORD Index, WINBOOL Enable) override {
        return real_->LightEnable(Index, Enable);
    }
    HRESULT STDMETHODCALLTYPE GetLightEnable(DWORD Index, WINBOOL* pEnable) override {
        return real_->GetLightEnable(Index, pEnable);
    }
    HRESULT STDMETHODCALLTYPE SetClipPlane(DWORD index, const float* plane) override {
        return real_->SetClipPlane(index, plane);
    }
    HRESULT STDMETHODCALLTYPE GetClipPlane(DWORD Index, float* pPlane) override {
        return real_->GetClipPlane(Index, pPlane);
    }
    HRESULT STDMETHODCALLTYPE GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) override {
        return real_->GetRenderState(State, pValue);
    }
    HRESULT STDMETHODCALLTYPE CreateStateBlock(D3DSTATEBLOCKTYPE Type,
                                               IDirect3DStateBlock9** ppSB) override {
        return real_->CreateStateBlock(Type, ppSB);
    }
    HRESULT STDMETHODCALLTYPE BeginStateBlock() override { return real_->BeginStateBlock(); }
    HRESULT STDMETHODCALLTYPE EndStateBlock(IDirect3DStateBlock9** ppSB) override {
        return real_->EndStateBlock(ppSB);
    }
    HRESULT STDMETHODCALLTYPE SetClipStatus(const D3DCLIPSTATUS9* clip_status) override {
        return real_->SetClipStatus(clip_status);
    }
    HRESULT STDMETHODCALLTYPE GetClipStatus(D3DCLIPSTATUS9* pClipStatus) override {
        return real_->GetClipStatus(pClipStatus);
    }
    HRESULT STDMETHODCALLTYPE GetTexture(DWORD Stage, IDirect3DBaseTexture9** ppTexture) override {
        return real_->GetTexture(Stage, ppTexture);
    }
    HRESULT STDMETHODCALLTYPE GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type,
                                                   DWORD* pValue) override {
        return real_->GetTextureStageState(Stage, Type, pValue);
    }
    HRESULT STDMETHODCALLTYPE GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type,
                                              DWORD* pValue) override {
        return real_->GetSamplerState(Sampler, Type, pValue);
    }
    HRESULT STDMETHODCALLTYPE ValidateDevice(DWORD* pNumPasses) override {
        return real_->ValidateDevice(pNumPasses);
    }
    HRESULT STDMETHODCALLTYPE SetPaletteEntries(UINT palette_idx,
                                                const PALETTEENTRY* entries) override {
        return real_->SetPaletteEntries(palette_idx, entries);
    }
    HRESULT STDMETHODCALLTYPE GetPaletteEntries(UINT PaletteNumber,
                                                PALETTEENTRY* pEntries) override {
        return real_->GetPaletteEntries(PaletteNumber, pEntries);
    }
    HRESULT STDMETHODCALLTYPE SetCurrentTexturePalette(UINT PaletteNumber) override {
        return real_->SetCurrentTexturePalette(PaletteNumber);
    }
    HRESULT STDMETHODCALLTYPE GetCurrentTexturePalette(UINT* PaletteNumber) override {
        return real_->GetCurrentTexturePalette(PaletteNumber);
    }
    HRESULT STDMETHODCALLTYPE SetScissorRect(const RECT* rect) override {
        return real_->SetScissorRect(rect);
    }
    HRESULT STDMETHODCALLTYPE GetScissorRect(RECT* pRect) override {
        return real_->GetScissorRect(pRect);
    }
    HRESULT STDMETHODCALLTYPE SetSoftwareVertexProcessing(WINBOOL bSoftware) override {
        return real_->SetSoftwareVertexProcessing(bSoftware);
    }
    WINBOOL STDMETHODCALLTYPE GetSoftwareVertexProcessing() override {
        return real_->GetSoftwareVertexProcessing();
    }
    HRESULT STDMETHODCALLTYPE SetNPatchMode(float nSegments) override {
        return real_->SetNPatchMode(nSegments);
    }
    float STDMETHODCALLTYPE GetNPatchMode() override { return real_->GetNPatchMode(); }
    HRESULT STDMETHODCALLTYPE DrawPrimitiveUP(D3DPRIMITIVETYPE primitive_type, UINT primitive_count,
                                              const void* data, UINT stride) override {
        RecordUserDraw(primitive_type, false, primitive_count, data, stride);
        return real_->DrawPrimitiveUP(primitive_type, primitive_count, data, stride);
    }
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE primitive_type,
                                                     UINT min_vertex_idx, UINT vertex_count,
                                                     UINT primitive_count, const void* index_data,
                                                     D3DFORMAT index_format, const void* data,
                                                     UINT stride) override {
        RecordUserDraw(primitive_type, true, primitive_count, data, stride);
        return real_->DrawIndexedPrimitiveUP(primitive_type, min_vertex_idx, vertex_count,
                                             primitive_count, index_data, index_format, data,
                                             stride);
    }
    HRESULT STDMETHODCALLTYPE ProcessVertices(UINT SrcStartIndex, UINT DestIndex, UINT VertexCount,
                                              IDirect3DVertexBuffer9* pDestBuffer,
                                              IDirect3DVertexDeclaration9* pVertexDecl,
                                              DWORD Flags) override {
        return real_->ProcessVertices(SrcStartIndex, DestIndex, VertexCount, pDestBuffer,
                                      pVertexDecl, Flags);
    }
    HRESULT STDMETHODCALLTYPE CreateVertexDeclaration(
        const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** declaration) override {
        return real_->CreateVertexDeclaration(elements, declaration);
    }
    HRESULT STDMETHODCALLTYPE GetVertexDeclaration(IDirect3DVertexDeclaration9** ppDecl) override {
        return real_->GetVertexDeclaration(ppDecl);
    }
    HRESULT STDMETHODCALLTYPE GetFVF(DWORD* pFVF) override { return real_->GetFVF(pFVF); }
    HRESULT STDMETHODCALLTYPE CreateVertexShader(const DWORD* byte_code,
                                                 IDirect3DVertexShader9** shader) override {
        return real_->CreateVertexShader(byte_code, shader);
    }
    HRESULT STDMETHODCALLTYPE GetVertexShader(IDirect3DVertexShader9** ppShader) override {
        return real_->GetVertexShader(ppShader);
    }
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantF(UINT reg_idx, const float* data,
                                                       UINT count) override {
        return real_->SetVertexShaderConstantF(reg_idx, data, count);
    }
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantF(UINT StartRegister, float* pConstantData,
                                                       UINT Vector4fCount) override {
        return real_->GetVertexShaderConstantF(StartRegister, pConstantData, Vector4fCount);
    }
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantI(UINT reg_idx, const int* data,
                                                       UINT count) override {
        return real_->SetVertexShaderConstantI(reg_idx, data, count);
    }
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantI(UINT StartRegister, int* pConstantData,
                                                       UINT Vector4iCount) override {
        return real_->GetVertexShaderConstantI(StartRegister, pConstantData, Vector4iCount);
    }
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantB(UINT reg_idx, const WINBOOL* data,
                                                       UINT count) override {
        return real_->SetVertexShaderConstantB(reg_idx, data, count);
    }
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantB(UINT StartRegister, WINBOOL* pConstantData,
                                                       UINT BoolCount) override {
        return real_->GetVertexShaderConstantB(StartRegister, pConstantData, BoolCount);
    }
    HRESULT STDMETHODCALLTYPE GetStreamSource(UINT StreamNumber,
                                              IDirect3DVertexBuffer9** ppStreamData,
                                              UINT* OffsetInBytes, UINT* pStride) override {
        return real_->GetStreamSource(StreamNumber, ppStreamData, OffsetInBytes, pStride);
    }
    HRESULT STDMETHODCALLTYPE SetStreamSourceFreq(UINT StreamNumber, UINT Divider) override {
        return real_->SetStreamSourceFreq(StreamNumber, Divider);
    }
    HRESULT STDMETHODCALLTYPE GetStreamSourceFreq(UINT StreamNumber, UINT* Divider) override {
        return real_->GetStreamSourceFreq(StreamNumber, Divider);
    }
    HRESULT STDMETHODCALLTYPE GetIndices(IDirect3DIndexBuffer9** ppIndexData) override {
        return real_->GetIndices(ppIndexData);
    }
    HRESULT STDMETHODCALLTYPE CreatePixelShader(const DWORD* byte_code,
                                                IDirect3DPixelShader9** shader) override {
        return real_->CreatePixelShader(byte_code, shader);
    }
    HRESULT STDMETHODCALLTYPE GetPixelShader(IDirect3DPixelShader9** ppShader) override {
        return real_->GetPixelShader(ppShader);
    }
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantF(UINT reg_idx, const float* data,
                                                      UINT count) override {
        return real_->SetPixelShaderConstantF(reg_idx, data, count);
    }
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantF(UINT StartRegister, float* pConstantData,
                                                      UINT Vector4fCount) override {
        return real_->GetPixelShaderConstantF(StartRegister, pConstantData, Vector4fCount);
    }
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantI(UINT reg_idx, const int* data,
                                                      UINT count) override {
        return real_->SetPixelShaderConstantI(reg_idx, data, count);
    }
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantI(UINT StartRegister, int* pConstantData,
                                                      UINT Vector4iCount) override {
        return real_->GetPixelShaderConstantI(StartRegister, pConstantData, Vector4iCount);
    }
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantB(UINT reg_idx, const WINBOOL* data,
                                                      UINT count) override {
        return real_->SetPixelShaderConstantB(reg_idx, data, count);
    }
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantB(UINT StartRegister, WINBOOL* pConstantData,
                                                      UINT BoolCount) override {
        return real_->GetPixelShaderConstantB(StartRegister, pConstantData, BoolCount);
    }
    HRESULT STDMETHODCALLTYPE DrawRectPatch(UINT handle, const float* segment_count,
                                            const D3DRECTPATCH_INFO* patch_info) override {
        return real_->DrawRectPatch(handle, segment_count, patch_info);
    }
    HRESULT STDMETHODCALLTYPE DrawTriPatch(UINT handle, const float* segment_count,
                                           const D3DTRIPATCH_INFO* patch_info) override {
        return real_->DrawTriPatch(handle, segment_count, patch_info);
    }
    HRESULT STDMETHODCALLTYPE DeletePatch(UINT Handle) override {
        return real_->DeletePatch(Handle);
    }
    HRESULT STDMETHODCALLTYPE CreateQuery(D3DQUERYTYPE Type, IDirect3DQuery9** ppQuery) override {
        return real_->CreateQuery(Type, ppQuery);
    }

private:
    void RecordStripColour(UINT start);
    void RecordUserDraw(D3DPRIMITIVETYPE type, bool indexed, UINT primitives, const void* data,
                        UINT stride);
    IDirect3DDevice9* real_;
    UINT stride_ = 0;
};
