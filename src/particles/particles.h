// Particles module: numbered emitters drawn in every camera pass. A point emitter launches
// particles from one point in an upward cone, lets them fall and fade, bursts them on the ground
// and draws them as trails of point sprites; a box emitter rains particles through a box as small
// textured quads. Emitters are placed with the shared positioning set.
//
// Commands that name an emitter look it up first and make it current: a missing one raises 7102
// and changes nothing. Where 7104 is listed the id is first checked against 1..22,000,000.
// Commands naming a maths vector raise 7801 when it does not exist.
#pragma once

#include "core/core_data.h"
#include "placement/placement.h"

#include <cstdint>

// Start entry: the core's start sequence readies the module with it, once.
void ParticlesConstructor(HMODULE, HMODULE);
// Stop entry: deletes every emitter.
void ParticlesDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void ParticlesSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData and takes the camera and maths entries.
void ParticlesPassCoreData(CoreData* core);
// 0 deletes every emitter (they do not survive a device reset); 1 takes the device and the other
// modules' entries again.
void ParticlesRefreshD3D(std::int32_t mode);
// The camera pass: every visible emitter is drawn and advanced once, so once per rendered camera.
void ParticlesUpdate();

// A box of count particles falling (rising) through width x height x depth about (x, y, z), filled
// before it is first drawn (its warm-up moves particles at most 2^24 times in all). 7101 when the
// id is in use; 7105 when it cannot be made (a negative count, more than 2,684,354 particles, a
// width, height or depth that is infinite or not a number, no memory).
void MakeParticles(std::int32_t id, std::int32_t image, std::int32_t count, float x, float y,
                   float z, float width, float height, float depth);
void MakeRisingParticles(std::int32_t id, std::int32_t image, std::int32_t count, float x, float y,
                         float z, float width, float height, float depth);
// A point emitter drawing count vertices a batch from a buffer of 5 x count; the camera turns
// onto it. At most 2,048 primaries and 32,768 burst fragments are alive at once. 7101 when the id
// is in use, 7105 when its buffer cannot be made or the size is infinite or not a number.
void MakePointParticles(std::int32_t id, std::int32_t image, std::int32_t count, float size);
// The same with the batch and buffer sizes given (1 <= batch <= buffer, at most 256 MiB of
// vertices, a finite size, else 7105); an emitter of that id is replaced.
void MakePointParticlesEx(std::int32_t id, std::int32_t batch, std::int32_t buffer, float size,
                          std::int32_t image);
void DeleteParticles(std::int32_t id);
// 1 when the emitter exists; raises nothing.
std::int32_t ParticlesExist(std::int32_t id);

void ShowParticles(std::int32_t id);
void HideParticles(std::int32_t id); // keeps its particles and stops its clock
void SetParticleTime(std::int32_t id, float time);
void SetParticleTimeStep(std::int32_t id, float step);
// New particles a pass (point emitters) or a second (box emitters).
void SetParticleEmissions(std::int32_t id, std::int32_t count);
void SetParticleVelocity(std::int32_t id, float speed);
void SetParticleGravity(std::int32_t id, float gravity);
void SetParticleLife(std::int32_t id, std::int32_t percent);
void SetParticleGroundBurst(std::int32_t id, std::int32_t flag);
void SetParticleChaos(std::int32_t id, float value); // jitter of value x 0.001 a pass
// Channels 0..255; alpha 1.
void SetParticleColour(std::int32_t id, std::int32_t r, std::int32_t g, std::int32_t b);
// Channels in percent; a missing emitter is ignored without an error.
void SetParticleColourPercent(std::int32_t id, std::int32_t r, std::int32_t g, std::int32_t b);
// The launch point in world units from the emitter's origin.
void SetParticleEmitPosition(std::int32_t id, float x, float y, float z);
// Blending by mode: -1 and 0 additive-like, 1..5 other factor pairs.
void GhostParticlesOn(std::int32_t id, std::int32_t mode);
// Blending by a transparency of 0..100 percent; outside that nothing changes.
void GhostParticlesOnAlpha(std::int32_t id, std::int32_t mode, float transparency);
void GhostParticlesOff(std::int32_t id);

void PositionParticles(std::int32_t id, float x, float y, float z);
void RotateParticles(std::int32_t id, float x, float y, float z);
void PositionParticlesFromVector(std::int32_t id, std::int32_t vector);
void RotateParticlesFromVector(std::int32_t id, std::int32_t vector);
void SetVectorToParticlesPosition(std::int32_t vector, std::int32_t id);
void SetVectorToParticlesRotation(std::int32_t vector, std::int32_t id);
float ParticlesPositionX(std::int32_t id);
float ParticlesPositionY(std::int32_t id);
float ParticlesPositionZ(std::int32_t id);

// The module's timer: 0 reset, 1 start, 2 stop, 3 move a stopped timer on by 0.1 s, 4 absolute
// seconds, 5 seconds since the reset, 6 seconds since the last reading; -1.0 for anything else.
float ParticleTimer(std::int32_t command);
// out = a + (b - a) x t over four channels.
void LerpColour(float* out, const float* a, const float* b, float t);

// The positioning set over emitters (errors 7006 and 7008, see placement/placement.h):
// ParticlePlacement::TurnItemLeft(id, angle) and so on.
TransformRecord* SelectParticlePlacement(std::int32_t id);
TransformRecord* CurrentParticlePlacement();
using ParticlePlacement = ItemPlacement<SelectParticlePlacement, CurrentParticlePlacement>;
// The world rebuild of emitter id; nothing when it does not exist.
void UpdateEmitterMatrix(std::int32_t id);
