#include "core/win32.h"

#include "object3d/object_manager.h"
#include "object3d/object_records.h"
#include "object3d/object_state.h"
#include "object3d/object_world.h"
#include "universe/universe.h"

#include <cstring>
#include <utility>

namespace {

constexpr DWORD kQuadFormat = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
constexpr D3DCOLOR kMirrorFill = 0xFF000088;
constexpr float kShadowSlopeBias = 0.1f;

struct QuadVertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
};
static_assert(sizeof(QuadVertex) == 20);

// Any screen up to 5000 pixels, as a strip of two triangles.
constexpr QuadVertex kQuad[4] = {
    {0, 5000, 0, 1, 0}, {0, 0, 0, 1, 0}, {5000, 5000, 0, 1, 0}, {5000, 0, 0, 1, 0}};

IDirect3DDevice9* Device() {
    return g_Object3D.device;
}

bool CastsShadow(const ObjectRecord* object) {
    const ObjectRecord* source = object->instanceSource ? object->instanceSource : object;
    return source->castsShadow != 0;
}

bool ObjectSpaceVolume(const MeshRecord* shadow) {
    return shadow && shadow->shadowRange == -1.0f;
}

} // namespace

void ObjectManager::EnableStencilShadows() {
    shadowsEnabled = 1;
}

void ObjectManager::DisableStencilShadows() {
    shadowsEnabled = 0;
}

bool ObjectManager::CreateShadowQuad(D3DCOLOR colour) {
    IDirect3DDevice9* device = Device();
    if (!device) return false;
    if (!quadBuffer &&
        FAILED(device->CreateVertexBuffer(sizeof kQuad, D3DUSAGE_WRITEONLY, kQuadFormat,
                                          D3DPOOL_MANAGED, &quadBuffer, nullptr)))
        return false;
    void* data = nullptr;
    if (FAILED(quadBuffer->Lock(0, 0, &data, 0)) || !data) return false;
    QuadVertex vertices[4];
    for (int i = 0; i < 4; ++i) {
        vertices[i] = kQuad[i];
        vertices[i].colour = colour;
    }
    std::memcpy(data, vertices, sizeof vertices);
    quadBuffer->Unlock();
    return true;
}

void ObjectManager::DrawQuad(D3DCOLOR colour) {
    IDirect3DDevice9* device = Device();
    if (!CreateShadowQuad(colour)) return;
    device->SetVertexShader(nullptr);
    device->SetFVF(kQuadFormat);
    device->SetStreamSource(0, quadBuffer, 0, sizeof(QuadVertex));
    // The meshes' shader, format and stream are no longer in force.
    forceShader = forceStream = 1;
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
}

void ObjectManager::SetQuadStages() {
    IDirect3DDevice9* device = Device();
    if (!pixelShaderKnown || pixelShaderInForce) {
        device->SetPixelShader(nullptr);
        pixelShaderInForce = nullptr;
        pixelShaderKnown = 1;
    }
    SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
}

void ObjectManager::SetShadowVolumeStates() {
    SetRenderState(D3DRS_SLOPESCALEDEPTHBIAS, FloatBits(kShadowSlopeBias));
    SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    SetRenderState(D3DRS_STENCILENABLE, TRUE);
    SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    SetRenderState(D3DRS_STENCILREF, 1);
    SetRenderState(D3DRS_STENCILMASK, 0xFFFFFFFF);
    SetRenderState(D3DRS_STENCILWRITEMASK, 0xFFFFFFFF);
    SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP);
    SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
    SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_INCR);
    SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
    SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    SetRenderState(D3DRS_FOGENABLE, FALSE);
    fogOn = 0;
    stencilLayer = 1;
}

bool ObjectManager::DrawShadowMeshes(std::int32_t frameCount, FrameRecord** frames,
                                     MeshRecord* mesh) {
    if (!frames) return DrawMesh(mesh);
    for (std::int32_t f = 0; f < frameCount; ++f)
        if (frames[f] && ObjectSpaceVolume(frames[f]->shadowMesh) &&
            !DrawMesh(frames[f]->shadowMesh))
            return false;
    return true;
}

bool ObjectManager::DrawShadowVolumes(std::int32_t frameCount, FrameRecord** frames,
                                      MeshRecord* mesh) {
    // The volume's front faces count up where they lie behind what is drawn, its back faces down.
    SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_INCR);
    SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    SetCullInForce(D3DCULL_CCW);
    bool drawn = DrawShadowMeshes(frameCount, frames, mesh);
    SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_DECR);
    SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    SetCullInForce(D3DCULL_CW);
    drawn = DrawShadowMeshes(frameCount, frames, mesh) && drawn;
    SetCullInForce(D3DCULL_CCW);
    return drawn;
}

void ObjectManager::EndShadowStates() {
    stencilLayer = 0;
    SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    SetRenderState(D3DRS_STENCILENABLE, FALSE);
    SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    SetRenderState(D3DRS_DEPTHBIAS, 0);
    SetRenderState(D3DRS_SLOPESCALEDEPTHBIAS, 0);
}

// Light 0 stands in for the shadow light while the volumes are drawn; the kept copy returns.
void ObjectManager::BeginShadowLight(D3DLIGHT9& kept) {
    IDirect3DDevice9* device = Device();
    const Object3DState& s = g_Object3D;
    device->GetLight(0, &kept);
    D3DXVECTOR3 position = s.shadowLightPosition;
    D3DLIGHT9 source{};
    if (s.shadowLightIndex != -1 && SUCCEEDED(device->GetLight(s.shadowLightIndex, &source)))
        position = D3DXVECTOR3(source.Position.x, source.Position.y, source.Position.z);
    D3DLIGHT9 point = kept;
    point.Type = D3DLIGHT_POINT;
    point.Position = {position.x, position.y, position.z};
    if (point.Range <= 0) point.Range = 5000.0f;
    device->SetLight(0, &point);
}

bool ObjectManager::RenderShadowLayer() {
    bool started = false, drawn = true;
    D3DLIGHT9 kept{};
    for (std::int32_t i = 0; i < visibleCount && drawn; ++i) {
        ObjectRecord* object = visibleList[i];
        if (!CastsShadow(object) || !object->visible || object->noShadowVolume) continue;
        if (!started) {
            started = true;
            SetShadowVolumeStates();
            BeginShadowLight(kept);
        }
        ObjectRecord* source = object->instanceSource ? object->instanceSource : object;
        UpdateObjectWorld(object);
        bool objectSpace = false;
        for (std::int32_t f = 0; source->frames && f < source->frameCount && drawn; ++f) {
            FrameRecord* frame = source->frames[f];
            if (!frame || !frame->shadowMesh) continue;
            CopyGlueMatrices(object, frame, frame->mesh);
            if (ObjectSpaceVolume(frame->shadowMesh)) {
                objectSpace = true;
                continue;
            }
            SetWorld(frame->worldMatrix);
            drawn = DrawMesh(frame->shadowMesh);
        }
        if (objectSpace && drawn) {
            SetWorld(object->position.matWorld);
            drawn = DrawShadowVolumes(source->frameCount, source->frames, nullptr);
        }
    }
    if (started) {
        EndShadowStates();
        Device()->SetLight(0, &kept);
    }
    return drawn;
}

void ObjectManager::BeginStencilShadows() {
    IDirect3DDevice9* device = Device();
    CoreData* core = g_Object3D.core;
    if (!device || !core) return;
    if (core->stencilMode == 1 && shadowsEnabled) {
        device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0);
        return;
    }
    if (core->stencilMode != 2 || core->renderPassIndex != 1) return;
    // The reflected view: the scene mirrored in the plane, drawn only where the mirror is.
    ResetStateCache();
    device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    device->GetTransform(D3DTS_VIEW, &mirrorSavedView);
    D3DXMATRIX reflect;
    D3DXMatrixReflect(&reflect, &mirrorPlane);
    const D3DXMATRIX view = reflect * mirrorSavedView;
    device->SetTransform(D3DTS_VIEW, &view);
    core->reflectionEye[0] = mirrorPosition.x;
    core->reflectionEye[1] = mirrorPosition.y;
    core->reflectionEye[2] = mirrorPosition.z;
    if (mirrorReflectionMode) {
        device->SetClipPlane(0, mirrorPlane);
        SetRenderState(D3DRS_CLIPPLANEENABLE, 1);
    }
    SetRenderState(D3DRS_STENCILENABLE, TRUE);
    SetRenderState(D3DRS_STENCILREF, 1);
    SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    SetRenderState(D3DRS_FOGENABLE, FALSE);
    SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    SetQuadStages();
    DrawQuad(kMirrorFill);
    SetRenderState(D3DRS_FOGENABLE, TRUE);
    SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    SetRenderState(D3DRS_SRCBLEND, D3DBLEND_DESTCOLOR);
    SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    // The mirrored scene's faces turn the other way.
    defaultCull = D3DCULL_CW;
    SetCullInForce(D3DCULL_CW);
}

void ObjectManager::DrawStencilShadowQuad() {
    IDirect3DDevice9* device = Device();
    CoreData* core = g_Object3D.core;
    if (!device || !core) return;
    ResetStateCache();
    if (core->stencilMode == 1 && shadowsEnabled) {
        SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        SetRenderState(D3DRS_STENCILENABLE, TRUE);
        SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        SetQuadStages();
        // A level count below 1 would divide by zero: it counts as 1.
        const std::int32_t levels = shadowLevels > 1 ? shadowLevels : 1;
        const std::int32_t step = shadowAlpha / levels;
        const D3DCOLOR colour = shadowColour & 0x00FFFFFF;
        if (levels > 1) {
            SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_ZERO);
            SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
            for (std::int32_t k = levels; k >= 1; --k) {
                SetRenderState(D3DRS_STENCILREF, static_cast<DWORD>(-k));
                DrawQuad(colour + static_cast<DWORD>(k * step) * 0x1000000u);
            }
        }
        SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
        SetRenderState(D3DRS_STENCILFUNC, D3DCMP_NOTEQUAL);
        SetRenderState(D3DRS_STENCILREF, 0);
        DrawQuad(colour + static_cast<DWORD>(levels > 1 ? step * levels : step) * 0x1000000u);
        SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        SetRenderState(D3DRS_STENCILENABLE, FALSE);
        SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        return;
    }
    if (core->stencilMode != 2 || core->renderPassIndex != 1) return;
    SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    SetQuadStages();
    SetRenderState(D3DRS_STENCILREF, 1);
    SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    DrawQuad(mirrorTint);
    SetRenderState(D3DRS_FOGENABLE, TRUE);
    if (mirrorReflectionMode) SetRenderState(D3DRS_CLIPPLANEENABLE, 0);
    SetRenderState(D3DRS_STENCILENABLE, FALSE);
    SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    defaultCull = D3DCULL_CCW;
    SetCullInForce(D3DCULL_CCW);
    device->SetTransform(D3DTS_VIEW, &mirrorSavedView);
}

void ObjectManager::DeleteObjectShadow(ObjectRecord* object) {
    CoreData* core = g_Object3D.core;
    if (!object || !core) return;
    std::int32_t mode = core->stencilMode;
    bool settle = false;
    if (object->castsShadow) {
        for (std::int32_t f = 0; object->frames && f < object->frameCount; ++f) {
            FrameRecord* frame = object->frames[f];
            if (!frame || !frame->shadowMesh) continue;
            RemoveMeshFromBuffers(frame->shadowMesh);
            rebuildNeeded = 1;
            delete std::exchange(frame->shadowMesh, nullptr);
        }
        object->castsShadow = 0;
        object->largeRadius = 0; // set with the shadow, for the caster's culling radius
        if (core->shadowCount > 0 && --core->shadowCount == 0) mode = 0;
    }
    if (object->reflective) {
        object->reflective = 0;
        if (core->reflectionCount > 0 && --core->reflectionCount == 0) settle = true;
    }
    if (!settle && mode != 0) return;
    // With neither effect left, one sub-pass: a second would draw every object twice.
    core->stencilMode = 0;
    core->renderPassCount = 1;
    if (core->shadowCount != 0) core->stencilMode = 1;
    if (core->reflectionCount != 0) core->stencilMode = 2, core->renderPassCount = 2;
}

void ObjectManager::DrawShadows(Universe* universe) {
    if (universe) universe->DrawLightShadows();
}
