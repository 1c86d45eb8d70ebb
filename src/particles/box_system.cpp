#include "core/win32.h"

#include "core/core.h"
#include "particles/particles_state.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>

namespace {

struct QuadVertex {
    float x, y, z, u, v;
};
static_assert(sizeof(QuadVertex) == 20);
constexpr DWORD kQuadVertexFormat = D3DFVF_XYZ | D3DFVF_TEX1;
// Quads a draw call; six vertices each, on the stack.
constexpr std::int32_t kQuadsPerDraw = 256;

// A value in -1..1 from two draws of the C library's rand, taken in order.
float Signed() {
    const int first = std::rand();
    const int second = std::rand();
    return static_cast<float>(first - second) * 3.051851e-05f;
}

void SetQuadStates(IDirect3DDevice9* d, IDirect3DTexture9* texture) {
    d->SetVertexShader(nullptr);
    d->SetFVF(kQuadVertexFormat);
    d->SetTexture(0, texture);
    const std::pair<D3DRENDERSTATETYPE, DWORD> states[] = {
        {D3DRS_FILLMODE, D3DFILL_SOLID},
        {D3DRS_DITHERENABLE, FALSE},
        {D3DRS_LIGHTING, FALSE},
        {D3DRS_CULLMODE, D3DCULL_NONE},
        {D3DRS_FOGENABLE, FALSE},
        {D3DRS_ZWRITEENABLE, FALSE},
        {D3DRS_ZENABLE, D3DZB_FALSE},
        {D3DRS_COLORVERTEX, TRUE},
        {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
        {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL},
        {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL},
        {D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL},
        {D3DRS_SPECULARENABLE, FALSE},
        {D3DRS_MULTISAMPLEANTIALIAS, FALSE},
        {D3DRS_ALPHABLENDENABLE, TRUE},
        {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
        {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
    };
    for (const auto& [state, value] : states)
        d->SetRenderState(state, value);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    d->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    SetTextureTimesDiffuse(d);
}

// The two triangles of the strip (x, y) (x + s, y) (x, y - s) (x + s, y - s), as a list.
void PutQuad(QuadVertex* v, const BoxParticle& p) {
    const float x = p.position[0], y = p.position[1], z = p.position[2], s = p.size;
    const QuadVertex corners[4] = {
        {x, y, z, 0.0f, 1.0f},
        {x + s, y, z, 0.0f, 0.0f},
        {x, y - s, z, 1.0f, 1.0f},
        {x + s, y - s, z, 1.0f, 0.0f},
    };
    const int order[6] = {0, 1, 2, 2, 1, 3};
    for (int k = 0; k < 6; ++k)
        v[k] = corners[order[k]];
}

} // namespace

ParticleSystem::~ParticleSystem() {
    delete[] particles;
    if (texture) texture->Release();
}

void ParticleSystem::Emit(std::int32_t count) {
    // Counted in 64 bits: a negative count runs down past any int32 until the array is full.
    for (std::int64_t left = count; left != 0 && liveCount < capacity; --left) {
        InitialiseParticle(liveCount);
        ++liveCount;
    }
}

bool ParticleSystem::Allocate() {
    delete[] particles;
    particles = capacity > 0 ? new (std::nothrow) BoxParticle[capacity]() : nullptr;
    liveCount = 0;
    accumulator = 0.0f;
    return particles || capacity == 0;
}

void ParticleSystem::Free() {
    delete[] particles;
    particles = nullptr;
    liveCount = 0;
}

void BoxParticleSystem::InitialiseParticle(std::int32_t index) {
    BoxParticle& p = particles[index];
    p.position[1] = rising ? -startHeight : startHeight;
    p.position[0] = Signed() * spreadX + centre[0];
    p.position[2] = Signed() * spreadZ + centre[2];
    p.size = kBoxParticleSize;
    for (int k = 0; k < 3; ++k)
        p.velocity[k] = Signed() * kBoxVelocitySpread[k] + kBoxBaseVelocity[k];
    if (rising) p.velocity[1] = -p.velocity[1];
}

void BoxParticleSystem::Update(float timeStep, std::int32_t rate) {
    // The walk below looks at each particle live now exactly once (a dead one's slot takes the
    // last one, which then counts as looked at).
    steps += liveCount;
    for (std::int32_t i = 0; i < liveCount;) {
        BoxParticle& p = particles[i];
        for (int k = 0; k < 3; ++k)
            p.position[k] += p.velocity[k] * timeStep;
        const float y = p.position[1];
        const bool dead = rising ? y >= startHeight : y <= kBoxFloor;
        if (!dead) {
            ++i;
            continue;
        }
        // The last live particle takes the dead one's slot, which is looked at again.
        p = particles[--liveCount];
    }
    accumulator += timeStep;
    // The product as a float in memory: register precision must not change the count.
    const double wanted = std::trunc(double{StoredFloat(static_cast<float>(rate) * accumulator)});
    const auto n = static_cast<std::int32_t>(
        std::clamp(wanted, double{std::numeric_limits<std::int32_t>::min()},
                   double{std::numeric_limits<std::int32_t>::max()}));
    if (rate > 0)
        accumulator -= static_cast<float>(n) / static_cast<float>(rate);
    else
        accumulator = 0.0f;
    Emit(n);
}

std::int64_t BoxWarmUpUpdates(const ParticleSystem& s) {
    // Updates of 0.1 s at the make's 4000 a second bring 400 particles each; a particle moves at
    // least 1.5 units a second upright, so at least 0.14 an update (rounding allowed for).
    constexpr double kBornPerUpdate = 400.0, kLeastRisePerUpdate = 0.14;
    const double travel = s.rising ? 2.0 * s.startHeight : s.startHeight - kBoxFloor;
    if (std::isnan(travel)) return s.capacity;
    const double life = travel > 0.0 ? travel / kLeastRisePerUpdate : 0.0;
    const double enough = std::ceil(s.capacity / kBornPerUpdate) + std::ceil(life) + 2.0;
    if (!(enough < s.capacity)) return s.capacity; // endless travel too
    return static_cast<std::int64_t>(enough);
}

void WarmUpBox(ParticleSystem& s, std::int32_t rate) {
    const std::int64_t updates = BoxWarmUpUpdates(s);
    for (std::int64_t k = 0; k < updates && s.steps + s.liveCount <= kMostWarmUpSteps; ++k)
        s.Update(0.1f, rate);
}

void BoxParticleSystem::Render() {
    IDirect3DDevice9* d = g_Particles.device;
    if (!d || liveCount == 0) return;
    SetQuadStates(d, texture);
    QuadVertex vertices[6 * kQuadsPerDraw];
    for (std::int32_t first = 0; first < liveCount; first += kQuadsPerDraw) {
        const std::int32_t quads = std::min(kQuadsPerDraw, liveCount - first);
        for (std::int32_t k = 0; k < quads; ++k)
            PutQuad(vertices + 6 * k, particles[first + k]);
        d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(2 * quads), vertices,
                           sizeof(QuadVertex));
        if (g_Particles.core) g_Particles.core->drawnPolygons += 2 * quads;
    }
}
