// The particles module's own: its state and the operations its source files share (and its tests
// read).
#pragma once

#include "core/core_data.h"
#include "core/idlist.h"
#include "maths/maths.h"
#include "particles/particles_record.h"
#include "core/error_numbers.h"

#include <cstdint>

constexpr std::int32_t kMostParticleNumber = 22000000;

// Written only by the particles module, on the main thread. Emitters live from their make command
// to their deletion, a device reset or the Destructor; the device and the other modules' entries
// are taken again after every device rebuild.
struct ParticlesState {
    IdList emitters;                    // id -> ParticleEmitter, owned
    ParticleEmitter* current = nullptr; // the last lookup's result
    IDirect3DDevice9* device = nullptr;
    IDirect3DTexture9* (*getImagePointer)(std::int32_t image) = nullptr;
    void (*autoFocus)(float x, float y, float z, float size) = nullptr; // may stay null
    VectorEntries vectors;
    CoreData* core = nullptr;
};
extern ParticlesState g_Particles;

// Clears the current emitter, looks id up and makes what it finds current.
bool GetParticleEmitter(std::int32_t id);
// Puts a made record in the list under id, then deletes an emitter that was there. False (the
// record freed, the old emitter kept) when the list cannot take it.
bool AddParticleEmitter(ParticleEmitter* record, std::int32_t id);
// Frees everything emitter id holds and removes it; an id not listed is ignored.
void DeleteParticleEmitter(std::int32_t id);
void DeleteAllParticleEmitters();
// Releases and frees everything a record holds, and the record; null is fine.
void FreeParticleEmitter(ParticleEmitter* e);

// The defaults both kinds share: placement directions, the module's device, maximum 2048,
// visible, gravity 5, life 100, ground burst on, blending on with mode -1; the rest stays zero.
void SetEmitterDefaults(ParticleEmitter& e, std::uint8_t kind);
// Stage 0 colour and alpha: texture x diffuse.
void SetTextureTimesDiffuse(IDirect3DDevice9* d);

// A point emitter record with its buffer, or null after raising 7105.
ParticleEmitter* BuildPointEmitter(std::int32_t image, std::int64_t batch, std::int64_t buffer,
                                   float size);
// One point emitter's step and drawing in a camera pass; false when a lock, a draw or an
// allocation failed.
bool StepPointEmitter(ParticleEmitter& e);
// Launches new primaries up to the emission and the maximum; false when out of memory.
bool LaunchPointParticles(ParticleEmitter& e);
// Moves every live particle on, bursting and retiring them; false when out of memory.
bool MovePointParticles(ParticleEmitter& e);
// Draws every live particle as its trail; false when a lock or a draw failed.
bool DrawPointParticles(ParticleEmitter& e);
// The batch after start: back to 0 when a whole batch would not fit before the buffer's end.
std::uint32_t NextBatchStart(std::uint32_t start, std::uint32_t batch, std::uint32_t buffer);
// The trail points drawn for a particle of this squared speed.
std::int32_t TrailPoints(float squaredSpeed);
// A colour channel 0..1 as a byte: 1 or more 255, 0 or less 0, else truncated.
std::uint32_t ChannelByte(float channel);

// The texture factor of a transparency in percent: alpha 255 at 100, 127 at 50, white colour.
DWORD TransparencyFactor(float transparency);

// The warm-up updates of a new box: one for each particle of its capacity, but no more than fill
// it and outlive its first particles, after which more only reshuffle a full box (at a cost that
// grows with the square of its size).
std::int64_t BoxWarmUpUpdates(const ParticleSystem& system);
// The most particle steps (particles moved, summed over the updates) a new box's warm-up takes:
// 50-80 ms here. A box of 100,000 particles 10 units high takes about 4.3 million; a tall or
// huge box stops early, part filled or full, instead of running for seconds or minutes.
constexpr std::int64_t kMostWarmUpSteps = std::int64_t{1} << 24;
// Runs the new box's warm-up updates at the rate, ending before an update whose particles would
// take its steps past kMostWarmUpSteps.
void WarmUpBox(ParticleSystem& system, std::int32_t rate);

// The value as a float in memory: the x87 unit keeps more precision in its registers.
inline float StoredFloat(float value) {
    volatile float stored = value;
    return stored;
}
