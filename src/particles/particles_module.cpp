#include "core/win32.h"

#include "particles/particles.h"
#include "camera/camera.h"
#include "core/core.h"
#include "display/display.h"
#include "image/image_bridge.h"
#include "particles/particles_state.h"
#include "text/text.h"

#include <cstring>

ParticlesState g_Particles;

namespace {

template <typename T> void ReleaseOnce(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

void TakeOtherModules() {
    g_Particles.autoFocus = GetCameraBridge().autoFocus;
    g_Particles.vectors = GetVectorEntries();
}

// An image made again under its number is drawn anew by every emitter that shows it.
void ParticlesKeepImages(const ItemNotice& notice) {
    for (IdListNode* node = g_Particles.emitters.first; node; node = node->next) {
        auto* e = static_cast<ParticleEmitter*>(node->data);
        TakeRemadeTexture(e->texture, notice);
        if (e->system) TakeRemadeTexture(e->system->texture, notice);
    }
}

void FreeParticleList(PointParticle* p) {
    while (p) {
        PointParticle* next = p->next;
        delete p;
        p = next;
    }
}

// (source, destination) factors of the blend modes -1..5.
constexpr DWORD kBlendModes[7][2] = {
    {D3DBLEND_ONE, D3DBLEND_INVSRCCOLOR},      {D3DBLEND_ONE, D3DBLEND_INVSRCCOLOR},
    {D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR},   {D3DBLEND_SRCCOLOR, D3DBLEND_ONE},
    {D3DBLEND_SRCALPHA, D3DBLEND_SRCALPHA},    {D3DBLEND_SRCCOLOR, D3DBLEND_DESTCOLOR},
    {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA},
};

// What the pass sets once for every emitter.
void SetPassStates(IDirect3DDevice9* d) {
    d->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_FOGENABLE, TRUE);
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    d->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
    d->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    d->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    d->SetRenderState(D3DRS_COLORVERTEX, TRUE);
    d->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
    d->SetRenderState(D3DRS_FOGCOLOR, 0);
}

// Stage 0: the diffuse colour alone for an untextured point emitter, else texture x diffuse.
// Alpha follows colour unless a transparency replaces it.
void SetColourStage(IDirect3DDevice9* d, const ParticleEmitter& e) {
    if (e.texture || e.kind != kPointEmitter) return SetTextureTimesDiffuse(d);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
}

void SetBlending(IDirect3DDevice9* d, const ParticleEmitter& e) {
    if (e.blending == 0) {
        d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        return;
    }
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    if (e.transparency >= 0.0f) {
        d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
        d->SetRenderState(D3DRS_TEXTUREFACTOR, TransparencyFactor(e.transparency));
        return;
    }
    if (e.blendMode < -1 || e.blendMode > 5) return; // the factors stay as they were
    d->SetRenderState(D3DRS_SRCBLEND, kBlendModes[e.blendMode + 1][0]);
    d->SetRenderState(D3DRS_DESTBLEND, kBlendModes[e.blendMode + 1][1]);
}

// One emitter's turn in the pass; false ends the pass.
bool DrawEmitter(ParticleEmitter& e) {
    IDirect3DDevice9* d = e.device;
    if (!d) return true;
    D3DMATRIX world;
    std::memcpy(&world, e.placement.world, sizeof world);
    d->SetTransform(D3DTS_WORLD, &world);
    SetColourStage(d, e);
    SetBlending(d, e);
    if (e.kind == kPointEmitter) return StepPointEmitter(e);
    if (e.system) {
        e.system->Render();
        e.system->Update(0.005f, e.emission);
    }
    return true;
}

} // namespace

void SetTextureTimesDiffuse(IDirect3DDevice9* d) {
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
}

void SetEmitterDefaults(ParticleEmitter& e, std::uint8_t kind) {
    InitTransformRecord(&e.placement);
    e.device = g_Particles.device;
    e.maximum = 2048;
    e.kind = kind;
    e.visible = 1;
    e.gravity = 5.0f;
    e.life = 100;
    e.groundBurst = 1;
    e.blending = 1;
    e.blendMode = -1;
}

DWORD TransparencyFactor(float transparency) {
    // Through a stored float, so that 100 percent gives 255 whatever precision the unit keeps.
    const float fraction = StoredFloat(transparency * 0.01f);
    const float alpha = StoredFloat(fraction * 255.0f);
    const auto a = alpha >= 255.0f ? 255u : static_cast<DWORD>(alpha);
    return (a << 24) | 0x00FFFFFFu;
}

bool GetParticleEmitter(std::int32_t id) {
    g_Particles.current = static_cast<ParticleEmitter*>(g_Particles.emitters.Find(id));
    return g_Particles.current != nullptr;
}

bool AddParticleEmitter(ParticleEmitter* record, std::int32_t id) {
    // The new record joins the end of the list before an old one of id leaves it: a list entry
    // that cannot be had keeps the old emitter.
    const bool replacing = g_Particles.emitters.Find(id) != nullptr;
    if (g_Particles.emitters.Add(id, record, 1, 0) == 0) {
        FreeParticleEmitter(record);
        return false;
    }
    if (replacing) DeleteParticleEmitter(id); // the first of id: the old one
    return true;
}

void FreeParticleEmitter(ParticleEmitter* e) {
    if (!e) return;
    if (e->system) {
        e->system->Free();
        delete e->system;
    }
    FreeParticleList(e->live);
    FreeParticleList(e->free);
    ReleaseOnce(e->vertexBuffer);
    ReleaseOnce(e->texture);
    delete e;
}

void DeleteParticleEmitter(std::int32_t id) {
    auto* e = static_cast<ParticleEmitter*>(g_Particles.emitters.Find(id));
    if (!e) return;
    g_Particles.emitters.Delete(id);
    // No pointer may outlive the record it points to.
    if (g_Particles.current == e) g_Particles.current = nullptr;
    FreeParticleEmitter(e);
}

void DeleteAllParticleEmitters() {
    while (IdListNode* node = g_Particles.emitters.first)
        DeleteParticleEmitter(node->id);
    g_Particles.current = nullptr;
}

void ParticlesConstructor(HMODULE, HMODULE) {
    g_Particles.current = nullptr;
    g_Particles.device = GetDirect3DDevice();
    g_Particles.getImagePointer = GetImageBridge().getPointer;
    AddItemKeeper(ItemOwner::Image, ParticlesKeepImages);
}

void ParticlesDestructor() {
    DeleteAllParticleEmitters();
    RemoveItemKeeper(ItemOwner::Image, ParticlesKeepImages);
}

void ParticlesSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}

void ParticlesPassCoreData(CoreData* core) {
    g_Particles.core = core;
    TakeOtherModules();
}

void ParticlesRefreshD3D(std::int32_t mode) {
    if (mode == 0) {
        DeleteAllParticleEmitters();
    } else if (mode == 1) {
        ParticlesConstructor(nullptr, nullptr);
        TakeOtherModules();
    }
}

void ParticlesUpdate() {
    IDirect3DDevice9* d = g_Particles.device;
    if (!d) return;
    // The program's fog stays its own: the pass darkens particles with black fog only.
    DWORD fogEnable = FALSE, fogColour = 0;
    d->GetRenderState(D3DRS_FOGENABLE, &fogEnable);
    d->GetRenderState(D3DRS_FOGCOLOR, &fogColour);
    SetPassStates(d);
    for (IdListNode* node = g_Particles.emitters.first; node; node = node->next) {
        if (!GetParticleEmitter(node->id)) break;
        ParticleEmitter& e = *g_Particles.current;
        if (e.visible != 1) continue;
        if (!DrawEmitter(e)) break;
    }
    // Also after a pass that a failure ended early.
    d->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    d->SetRenderState(D3DRS_FOGENABLE, fogEnable);
    d->SetRenderState(D3DRS_FOGCOLOR, fogColour);
}

TransformRecord* SelectParticlePlacement(std::int32_t id) {
    return GetParticleEmitter(id) ? &g_Particles.current->placement : nullptr;
}

TransformRecord* CurrentParticlePlacement() {
    return g_Particles.current ? &g_Particles.current->placement : nullptr;
}

void UpdateEmitterMatrix(std::int32_t id) {
    placement::Rebuild(SelectParticlePlacement(id));
}
