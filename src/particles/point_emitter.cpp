#include "core/win32.h"

#include "core/core.h"
#include "particles/particles.h"
#include "particles/particles_state.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// A buffer of at most 256 MiB of vertices.
constexpr std::int64_t kMostPointVertices = (std::int64_t{256} << 20) / sizeof(PointVertex);
constexpr float kFullTurn = 6.2831855f;
constexpr float kEighthTurn = 0.7853982f;
constexpr float kTrailLength = 0.04f;

// A value in 0..1 from one draw of the C library's rand.
float Unit() {
    return static_cast<float>(std::rand()) * 3.0518509e-05f;
}

DWORD FloatBits(float value) {
    DWORD bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

void Copy3(float* to, const float* from) {
    std::memcpy(to, from, 3 * sizeof(float));
}

void SetDefaults(ParticleEmitter& e, std::uint32_t batch, std::uint32_t buffer, float size) {
    SetEmitterDefaults(e, kPointEmitter);
    e.size = size;
    e.batchStart = buffer; // the first batch wraps to 0 and discards
    e.batchSize = batch;
    e.bufferSize = buffer;
    e.timeStep = 0.005f;
    e.emission = 4;
    e.speed = 4.0f;
    for (float& c : e.colour)
        c = 1.0f;
    e.transparency = -1.0f;
}

// A record from the free list, or a new one; null when out of memory.
PointParticle* TakeParticle(ParticleEmitter& e) {
    if (PointParticle* p = e.free) {
        e.free = p->next;
        return p;
    }
    return new (std::nothrow) PointParticle{};
}

void Launch(const ParticleEmitter& e, PointParticle& p, std::int32_t type) {
    Copy3(p.position, p.startPosition);
    Copy3(p.velocity, p.startVelocity);
    p.fade = static_cast<float>(e.life) * 0.01f;
    p.launchTime = e.clock;
    p.type = type;
}

// Position, velocity and fade at the emitter's clock, then the jitter.
void MoveParticle(const ParticleEmitter& e, PointParticle& p) {
    const float t = e.clock - p.launchTime;
    const bool primary = p.type == 0;
    const float g = primary ? 2.0f * e.gravity : e.gravity;
    p.fade = StoredFloat(p.fade - (primary ? 0.25f : 2.25f) * e.timeStep);
    for (int k = 0; k < 3; ++k) {
        p.position[k] = p.startPosition[k] + p.startVelocity[k] * t;
        p.velocity[k] = p.startVelocity[k];
    }
    p.position[1] -= g * 0.5f * t * t;
    p.velocity[1] = p.startVelocity[1] - g * t;
    if (e.chaos != 0.0f)
        for (float& axis : p.position)
            axis += e.chaos * static_cast<float>(2 * (std::rand() % 2) - 1);
    if (p.fade < 0.0f) p.fade = 0.0f;
}

// Four fragments from a primary that fell through the ground, each linked right after it; none
// when they would take the emitter past kMostFragments.
bool Burst(ParticleEmitter& e, PointParticle& p) {
    if (e.fragmentCount > kMostFragments - 4) return true;
    for (int k = 0; k < 4; ++k) {
        PointParticle* f = TakeParticle(e);
        if (!f) return false;
        const float a = Unit() * kFullTurn;
        const float b = Unit() * kEighthTurn;
        f->startPosition[0] = p.position[0];
        f->startPosition[1] = 0.0f;
        f->startPosition[2] = p.position[2];
        f->startVelocity[0] = p.velocity[0] * 0.25f + std::cos(a) * std::sin(b);
        f->startVelocity[2] = p.velocity[2] * 0.25f + std::sin(a) * std::sin(b);
        f->startVelocity[1] = Unit() * std::cos(b) * 1.5f;
        LerpColour(f->colour, p.fadeColour, p.colour, p.fade);
        std::memcpy(f->fadeColour, e.colour, sizeof f->fadeColour);
        Launch(e, *f, 1);
        f->next = p.next;
        p.next = f;
        ++e.fragmentCount;
    }
    return true;
}

// The lock of the next batch of a point emitter's buffer, filled vertex by vertex and drawn
// whenever it is full.
class BatchWriter {
public:
    explicit BatchWriter(ParticleEmitter& e) : e_(e) {}
    // Moves to the next batch and locks it: discarding at the buffer's start, else promising
    // not to touch vertices still being drawn.
    bool Open() {
        e_.batchStart = NextBatchStart(e_.batchStart, e_.batchSize, e_.bufferSize);
        const DWORD flags = e_.batchStart == 0 ? D3DLOCK_DISCARD : D3DLOCK_NOOVERWRITE;
        void* data = nullptr;
        if (FAILED(e_.vertexBuffer->Lock(e_.batchStart * sizeof(PointVertex),
                                         e_.batchSize * sizeof(PointVertex), &data, flags)))
            return false;
        data_ = static_cast<PointVertex*>(data);
        held_ = 0;
        return true;
    }
    bool Put(const PointVertex& v) {
        if (spent_) return true;
        data_[held_++] = v;
        if (held_ < e_.batchSize) return true;
        if (!Flush()) return false;
        spent_ = ++drawn_ >= kMostBatchesAPass;
        return spent_ || Open();
    }
    // Unlocks, then draws what the batch holds.
    bool Flush() {
        if (!data_) return true; // the last batch of a spent pass is drawn already
        data_ = nullptr;
        if (FAILED(e_.vertexBuffer->Unlock())) return false;
        if (held_ == 0) return true;
        return SUCCEEDED(e_.device->DrawPrimitive(D3DPT_POINTLIST, e_.batchStart, held_));
    }

private:
    ParticleEmitter& e_;
    PointVertex* data_ = nullptr;
    std::uint32_t held_ = 0;
    std::uint32_t drawn_ = 0;
    bool spent_ = false;
};

D3DCOLOR ParticleColour(const PointParticle& p) {
    float c[4];
    LerpColour(c, p.fadeColour, p.colour, p.fade);
    return (ChannelByte(c[3]) << 24) | (ChannelByte(c[0]) << 16) | (ChannelByte(c[1]) << 8) |
           ChannelByte(c[2]);
}

bool WriteTrails(ParticleEmitter& e) {
    BatchWriter batch(e);
    if (!batch.Open()) return false;
    for (const PointParticle* p = e.live; p; p = p->next) {
        const float* v = p->velocity;
        const std::int32_t n = TrailPoints(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        const float scale = -kTrailLength / static_cast<float>(n);
        const D3DCOLOR colour = ParticleColour(*p);
        for (std::int32_t k = 0; k < n; ++k) {
            const float along = scale * static_cast<float>(k);
            const PointVertex vertex{p->position[0] + v[0] * along, p->position[1] + v[1] * along,
                                     p->position[2] + v[2] * along, colour};
            if (!batch.Put(vertex)) return false;
        }
    }
    return batch.Flush();
}

} // namespace

std::uint32_t NextBatchStart(std::uint32_t start, std::uint32_t batch, std::uint32_t buffer) {
    const std::uint64_t next = std::uint64_t{start} + batch;
    return next + batch > buffer ? 0 : static_cast<std::uint32_t>(next);
}

std::int32_t TrailPoints(float squaredSpeed) {
    constexpr float kBounds[] = {1.0f, 4.0f, 9.0f, 12.25f, 16.0f, 20.25f};
    std::int32_t n = 2;
    for (float bound : kBounds) {
        if (squaredSpeed < bound) return n;
        ++n;
    }
    return n;
}

std::uint32_t ChannelByte(float channel) {
    if (channel >= 1.0f) return 255;
    if (!(channel > 0.0f)) return 0; // NaN too
    return static_cast<std::uint32_t>(channel * 255.0f);
}

ParticleEmitter* BuildPointEmitter(std::int32_t image, std::int64_t batch, std::int64_t buffer,
                                   float size) {
    // Counted in 64 bits; every batch must fit the buffer. A size that is not a number would
    // give every point and the emitter's scale no size.
    const bool fits = batch >= 1 && batch <= buffer && buffer <= kMostPointVertices;
    auto* e = fits && std::isfinite(size) ? new (std::nothrow) ParticleEmitter{} : nullptr;
    if (!e) {
        RaiseRuntimeError(kParticlesCreateFailed);
        return nullptr;
    }
    SetDefaults(*e, static_cast<std::uint32_t>(batch), static_cast<std::uint32_t>(buffer), size);
    e->texture = g_Particles.getImagePointer ? g_Particles.getImagePointer(image) : nullptr;
    // Held, so that deleting the image cannot leave the emitter drawing a freed texture.
    if (e->texture) e->texture->AddRef();
    const auto bytes = static_cast<UINT>(buffer * sizeof(PointVertex));
    if (!e->device || FAILED(e->device->CreateVertexBuffer(
                          bytes, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY | D3DUSAGE_POINTS,
                          kPointVertexFormat, D3DPOOL_DEFAULT, &e->vertexBuffer, nullptr))) {
        e->vertexBuffer = nullptr;
        FreeParticleEmitter(e);
        RaiseRuntimeError(kParticlesCreateFailed);
        return nullptr;
    }
    return e;
}

bool MovePointParticles(ParticleEmitter& e) {
    PointParticle** link = &e.live;
    while (PointParticle* p = *link) {
        MoveParticle(e, *p);
        const bool fell = e.groundBurst != 0 && p->position[1] < 0.0f;
        if (!fell && p->fade != 0.0f) {
            link = &p->next;
            continue;
        }
        if (fell && p->type == 0 && !Burst(e, *p)) return false;
        *link = p->next;
        p->next = e.free;
        e.free = p;
        --(p->type == 0 ? e.liveCount : e.fragmentCount);
    }
    return true;
}

bool LaunchPointParticles(ParticleEmitter& e) {
    const std::int64_t wanted = std::int64_t{e.liveCount} + e.emission;
    while (e.liveCount < e.maximum && e.liveCount < wanted) {
        PointParticle* p = TakeParticle(e);
        if (!p) return false;
        p->next = e.live;
        e.live = p;
        ++e.liveCount;
        const float a = Unit() * kFullTurn;
        const float b = Unit() * kEighthTurn;
        Copy3(p->startPosition, e.emitPoint);
        p->startVelocity[0] = std::cos(a) * std::sin(b) * 2.5f;
        p->startVelocity[1] = Unit() * std::cos(b) * e.speed;
        p->startVelocity[2] = std::sin(a) * std::sin(b) * 2.5f;
        std::memcpy(p->colour, e.colour, sizeof p->colour);
        std::memcpy(p->fadeColour, e.colour, sizeof p->fadeColour);
        Launch(e, *p, 0);
    }
    return true;
}

bool DrawPointParticles(ParticleEmitter& e) {
    IDirect3DDevice9* d = e.device;
    d->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
    d->SetRenderState(D3DRS_POINTSCALEENABLE, TRUE);
    d->SetRenderState(D3DRS_POINTSIZE, FloatBits(e.size * 0.1f));
    d->SetRenderState(D3DRS_POINTSIZE_MIN, FloatBits(0.0f));
    d->SetRenderState(D3DRS_POINTSIZE_MAX, FloatBits(e.size));
    d->SetRenderState(D3DRS_POINTSCALE_A, FloatBits(0.0f));
    d->SetRenderState(D3DRS_POINTSCALE_B, FloatBits(0.0f));
    d->SetRenderState(D3DRS_POINTSCALE_C, FloatBits(1.0f));
    d->SetStreamSource(0, e.vertexBuffer, 0, sizeof(PointVertex));
    d->SetVertexShader(nullptr);
    d->SetFVF(kPointVertexFormat);
    const bool drawn = WriteTrails(e);
    // Off again even when a lock or draw failed, so that later drawing is not made of sprites.
    d->SetRenderState(D3DRS_POINTSPRITEENABLE, FALSE);
    d->SetRenderState(D3DRS_POINTSCALEENABLE, FALSE);
    return drawn;
}

bool StepPointEmitter(ParticleEmitter& e) {
    if (!e.device || !e.vertexBuffer) return true;
    e.device->SetTexture(0, e.texture);
    e.clock = StoredFloat(e.clock + e.timeStep + 0.00003f);
    return MovePointParticles(e) && LaunchPointParticles(e) && DrawPointParticles(e);
}
