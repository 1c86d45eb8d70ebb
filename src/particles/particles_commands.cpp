#include "core/win32.h"

#include "particles/particles.h"
#include "core/core.h"
#include "core/item_lookup.h"
#include "particles/particles_state.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

inline constexpr ItemNumbers kParticleNumbers{1, kMostParticleNumber, kParticlesNumberIllegal,
                                              kParticlesMissing};
// A box's particle array of at most 256 MiB.
constexpr std::int64_t kMostBoxParticles = (std::int64_t{256} << 20) / sizeof(BoxParticle);

// The emitter of id made current; null after raising 7102.
ParticleEmitter* Found(std::int32_t id) {
    if (GetParticleEmitter(id)) return g_Particles.current;
    RaiseRuntimeError(kParticlesMissing);
    return nullptr;
}

// The same after the range check (7104).
ParticleEmitter* FoundInRange(std::int32_t id) {
    g_Particles.current = nullptr;
    return CheckedItem(id, kParticleNumbers, [](std::int32_t n) {
        return GetParticleEmitter(n) ? g_Particles.current : nullptr;
    });
}

template <typename Fn> void Change(std::int32_t id, Fn&& fn) {
    if (ParticleEmitter* e = Found(id)) fn(*e);
}

template <typename Fn> void ChangeInRange(std::int32_t id, Fn&& fn) {
    if (ParticleEmitter* e = FoundInRange(id)) fn(*e);
}

// True when the maths vector exists; otherwise raises 7801.
bool VectorExists(std::int32_t vector) {
    const VectorEntries& v = g_Particles.vectors;
    if (v.exists && v.getVector3 && v.setVector3 && v.exists(vector)) return true;
    RaiseRuntimeError(kValueOutOfRange);
    return false;
}

// Runs fn on the emitter and the vector's x, y, z after the checks of id and vector.
template <typename Fn> void FromVector(std::int32_t id, std::int32_t vector, Fn&& fn) {
    ParticleEmitter* e = FoundInRange(id);
    if (!e || !VectorExists(vector)) return;
    float v[3] = {0.0f, 0.0f, 0.0f};
    g_Particles.vectors.getVector3(v, vector);
    fn(*e, v);
}

void ToVector(std::int32_t vector, std::int32_t id, placement::Field field) {
    ParticleEmitter* e = FoundInRange(id);
    if (!e || !VectorExists(vector)) return;
    const float* v = e->placement.*field;
    g_Particles.vectors.setVector3(vector, v[0], v[1], v[2]);
}

float Position(std::int32_t id, int axis) {
    const ParticleEmitter* e = Found(id);
    return e ? e->placement.position[axis] : 0.0f;
}

// The record and its filled system; null after raising 7105.
ParticleEmitter* BuildBoxEmitter(std::int32_t image, std::int32_t count, float width, float height,
                                 float depth, bool rising) {
    auto* e = new (std::nothrow) ParticleEmitter{};
    if (!e) return nullptr;
    SetEmitterDefaults(*e, kBoxEmitter);
    e->emission = 4000;
    e->system = new (std::nothrow)
        BoxParticleSystem(count, height / 2.0f, width / 2.0f, depth / 2.0f, rising);
    if (!e->system || !e->system->Allocate()) {
        FreeParticleEmitter(e);
        return nullptr;
    }
    IDirect3DTexture9* texture =
        g_Particles.getImagePointer ? g_Particles.getImagePointer(image) : nullptr;
    // Held, so that deleting the image cannot leave the box drawing a freed texture.
    if (texture) texture->AddRef();
    e->system->texture = texture;
    return e;
}

void MakeBox(std::int32_t id, std::int32_t image, std::int32_t count, float x, float y, float z,
             float width, float height, float depth, bool rising) {
    if (GetParticleEmitter(id)) return RaiseRuntimeError(kParticlesExist);
    const bool sized = std::isfinite(width) && std::isfinite(height) && std::isfinite(depth);
    ParticleEmitter* e = sized && count >= 0 && count <= kMostBoxParticles
                             ? BuildBoxEmitter(image, count, width, height, depth, rising)
                             : nullptr;
    if (!e || !AddParticleEmitter(e, id)) return RaiseRuntimeError(kParticlesCreateFailed);
    placement::Scale(&e->placement, 100.0f, 100.0f, 100.0f);
    placement::Position(&e->placement, x, y - height / 4.0f, z);
    placement::Rotate(&e->placement, 0.0f, 0.0f, 0.0f);
    WarmUpBox(*e->system, e->emission);
    if (g_Particles.autoFocus) g_Particles.autoFocus(0.0f, 0.0f, 0.0f, y - height / 4.0f + z);
}

// A point emitter under id (any emitter there replaced); false after raising 7105.
bool MakePointEmitter(std::int32_t id, std::int32_t image, std::int64_t batch, std::int64_t buffer,
                      float size) {
    ParticleEmitter* e = BuildPointEmitter(image, batch, buffer, size);
    if (!e) return false;
    if (!AddParticleEmitter(e, id)) {
        RaiseRuntimeError(kParticlesCreateFailed);
        return false;
    }
    const float percent = 100.0f * size;
    placement::Scale(&e->placement, percent, percent, percent);
    placement::Position(&e->placement, 0.0f, 0.0f, 0.0f);
    placement::Rotate(&e->placement, 0.0f, 0.0f, 0.0f);
    return true;
}

// The module's timer, kept across device resets.
struct ParticleClock {
    bool asked = false;
    double frequency = 0.0; // counts a second; 0 without a high-resolution counter
    bool stopped = false;
    double base = 0.0, last = 0.0, stopTime = 0.0; // seconds
};
ParticleClock g_Clock;

double RealNow() {
    ParticleClock& c = g_Clock;
    if (!c.asked) {
        LARGE_INTEGER f{};
        if (QueryPerformanceFrequency(&f) && f.QuadPart > 0)
            c.frequency = static_cast<double>(f.QuadPart);
        c.asked = true;
    }
    if (c.frequency > 0.0) {
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart) / c.frequency;
    }
    return timeGetTime() * 0.001;
}

} // namespace

void MakeParticles(std::int32_t id, std::int32_t image, std::int32_t count, float x, float y,
                   float z, float width, float height, float depth) {
    MakeBox(id, image, count, x, y, z, width, height, depth, false);
}

void MakeRisingParticles(std::int32_t id, std::int32_t image, std::int32_t count, float x, float y,
                         float z, float width, float height, float depth) {
    MakeBox(id, image, count, x, y, z, width, height, depth, true);
}

void MakePointParticles(std::int32_t id, std::int32_t image, std::int32_t count, float size) {
    if (GetParticleEmitter(id)) return RaiseRuntimeError(kParticlesExist);
    if (!MakePointEmitter(id, image, count, 5 * std::int64_t{count}, size)) return;
    if (g_Particles.autoFocus) g_Particles.autoFocus(0.0f, 0.0f, 0.0f, size);
}

void MakePointParticlesEx(std::int32_t id, std::int32_t batch, std::int32_t buffer, float size,
                          std::int32_t image) {
    g_Particles.current = nullptr;
    MakePointEmitter(id, image, batch, buffer, size);
}

void DeleteParticles(std::int32_t id) {
    if (Found(id)) DeleteParticleEmitter(id);
}

std::int32_t ParticlesExist(std::int32_t id) {
    return GetParticleEmitter(id) ? 1 : 0;
}

void ShowParticles(std::int32_t id) {
    Change(id, [](ParticleEmitter& e) { e.visible = 1; });
}

void HideParticles(std::int32_t id) {
    Change(id, [](ParticleEmitter& e) { e.visible = 0; });
}

void SetParticleTime(std::int32_t id, float time) {
    Change(id, [time](ParticleEmitter& e) { e.clock = time; });
}

void SetParticleTimeStep(std::int32_t id, float step) {
    Change(id, [step](ParticleEmitter& e) { e.timeStep = step; });
}

void SetParticleEmissions(std::int32_t id, std::int32_t count) {
    Change(id, [count](ParticleEmitter& e) { e.emission = count; });
}

void SetParticleVelocity(std::int32_t id, float speed) {
    Change(id, [speed](ParticleEmitter& e) { e.speed = speed; });
}

void SetParticleGravity(std::int32_t id, float gravity) {
    ChangeInRange(id, [gravity](ParticleEmitter& e) { e.gravity = gravity; });
}

void SetParticleLife(std::int32_t id, std::int32_t percent) {
    ChangeInRange(id, [percent](ParticleEmitter& e) { e.life = percent; });
}

void SetParticleGroundBurst(std::int32_t id, std::int32_t flag) {
    ChangeInRange(id, [flag](ParticleEmitter& e) { e.groundBurst = flag; });
}

void SetParticleChaos(std::int32_t id, float value) {
    ChangeInRange(id, [value](ParticleEmitter& e) { e.chaos = value * 0.001f; });
}

void SetParticleColour(std::int32_t id, std::int32_t r, std::int32_t g, std::int32_t b) {
    ChangeInRange(id, [=](ParticleEmitter& e) {
        constexpr float kByte = 0.003921569f;
        const float colour[4] = {r * kByte, g * kByte, b * kByte, 1.0f};
        std::copy(colour, colour + 4, e.colour);
    });
}

void SetParticleColourPercent(std::int32_t id, std::int32_t r, std::int32_t g, std::int32_t b) {
    if (!GetParticleEmitter(id)) return;
    const float colour[4] = {r * 0.01f, g * 0.01f, b * 0.01f, 1.0f};
    std::copy(colour, colour + 4, g_Particles.current->colour);
}

void SetParticleEmitPosition(std::int32_t id, float x, float y, float z) {
    Change(id, [=](ParticleEmitter& e) {
        const float point[3] = {x / e.size, y / e.size, z / e.size};
        std::copy(point, point + 3, e.emitPoint);
    });
}

void GhostParticlesOn(std::int32_t id, std::int32_t mode) {
    Change(id, [mode](ParticleEmitter& e) {
        e.blending = 1;
        e.blendMode = mode;
    });
}

void GhostParticlesOnAlpha(std::int32_t id, std::int32_t mode, float transparency) {
    Change(id, [=](ParticleEmitter& e) {
        if (!(transparency >= 0.0f && transparency <= 100.0f)) return;
        e.blending = 1;
        e.blendMode = mode;
        e.transparency = transparency;
    });
}

void GhostParticlesOff(std::int32_t id) {
    Change(id, [](ParticleEmitter& e) {
        e.blending = 0;
        e.blendMode = -1;
        e.transparency = -1.0f;
    });
}

void PositionParticles(std::int32_t id, float x, float y, float z) {
    Change(id, [=](ParticleEmitter& e) { placement::Position(&e.placement, x, y, z); });
}

void RotateParticles(std::int32_t id, float x, float y, float z) {
    ChangeInRange(id, [=](ParticleEmitter& e) { placement::Rotate(&e.placement, x, y, z); });
}

void PositionParticlesFromVector(std::int32_t id, std::int32_t vector) {
    FromVector(id, vector, [](ParticleEmitter& e, const float* v) {
        placement::Position(&e.placement, v[0], v[1], v[2]);
    });
}

void RotateParticlesFromVector(std::int32_t id, std::int32_t vector) {
    FromVector(id, vector, [](ParticleEmitter& e, const float* v) {
        placement::Rotate(&e.placement, v[0], v[1], v[2]);
    });
}

void SetVectorToParticlesPosition(std::int32_t vector, std::int32_t id) {
    ToVector(vector, id, &TransformRecord::position);
}

void SetVectorToParticlesRotation(std::int32_t vector, std::int32_t id) {
    ToVector(vector, id, &TransformRecord::rotation);
}

float ParticlesPositionX(std::int32_t id) {
    return Position(id, 0);
}

float ParticlesPositionY(std::int32_t id) {
    return Position(id, 1);
}

float ParticlesPositionZ(std::int32_t id) {
    return Position(id, 2);
}

float ParticleTimer(std::int32_t command) {
    ParticleClock& c = g_Clock;
    const double real = RealNow();
    const double now = c.stopped && command != 1 && command != 4 ? c.stopTime : real;
    switch (command) {
    case 0:
        c.base = c.last = now;
        return 0.0f;
    case 1:
        if (c.stopped) c.base += now - c.stopTime;
        c.stopped = false;
        c.last = now;
        return 0.0f;
    case 2:
        c.stopTime = c.last = now;
        c.stopped = true;
        return 0.0f;
    case 3:
        c.stopTime += 0.1;
        return 0.0f;
    case 4:
        return static_cast<float>(now);
    case 5:
        return static_cast<float>(now - c.base);
    case 6: {
        const double elapsed = now - c.last;
        c.last = now;
        return static_cast<float>(elapsed);
    }
    default:
        return -1.0f;
    }
}

void LerpColour(float* out, const float* a, const float* b, float t) {
    if (!out || !a || !b) return;
    for (int k = 0; k < 4; ++k)
        out[k] = a[k] + (b[k] - a[k]) * t;
}
