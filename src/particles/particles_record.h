// The records of the particles module: an emitter, the particles of a point emitter, and the box
// system that a box emitter owns.
#pragma once

#include "core/win32.h"

#include "placement/transform_record.h"

#include <cstdint>

// One particle of a point emitter, on its emitter's live list or free list (96 bytes).
struct PointParticle {
    std::int32_t type; // 0 primary, 1 burst fragment
    float position[3]; // emitter-local
    float velocity[3];
    float startPosition[3];
    float startVelocity[3];
    float launchTime; // emitter clock at launch
    float colour[4];  // r, g, b, a at full life
    float fadeColour[4];
    float fade; // remaining life, 0 = dead
    PointParticle* next;
};
static_assert(sizeof(PointParticle) == 96);

// One vertex of a point emitter's buffer.
struct PointVertex {
    float x, y, z;
    D3DCOLOR colour;
};
static_assert(sizeof(PointVertex) == 16);
constexpr DWORD kPointVertexFormat = D3DFVF_XYZ | D3DFVF_DIFFUSE;

// One particle of a box system (100 bytes); the unnamed slots are kept zero.
struct BoxParticle {
    float reserved0;
    float position[3];
    float reserved4[3];
    float velocity[3];
    float reserved10[4];
    float size;
    float reserved15[10];
};
static_assert(sizeof(BoxParticle) == 100);

// A fixed-capacity particle array with its emission and drawing; the box system implements it.
class ParticleSystem {
public:
    ParticleSystem(std::int32_t capacity, float startHeight, float spreadX, float spreadZ,
                   bool rising)
        : capacity(capacity), startHeight(startHeight), spreadX(spreadX), spreadZ(spreadZ),
          rising(rising ? 1 : 0) {}
    virtual ~ParticleSystem();
    ParticleSystem(const ParticleSystem&) = delete;
    ParticleSystem& operator=(const ParticleSystem&) = delete;

    virtual void Update(float timeStep, std::int32_t rate) = 0;
    virtual void Render() = 0;
    // Brings count particles to life, until the array is full; a negative count fills it.
    virtual void Emit(std::int32_t count);
    // A new empty array of capacity particles; false when it cannot be had.
    virtual bool Allocate();
    virtual void Free();
    virtual void InitialiseParticle(std::int32_t index) = 0;

    BoxParticle* particles = nullptr;
    std::int32_t capacity = 0;
    std::int32_t liveCount = 0; // the first liveCount records are alive
    float centre[3] = {0.0f, 0.0f, 0.0f};
    float accumulator = 0.0f; // emission seconds carried between updates
    float startHeight = 0.0f; // half the box height
    float spreadX = 0.0f;     // half the width
    float spreadZ = 0.0f;     // half the depth
    std::uint8_t rising = 0;
    IDirect3DTexture9* texture = nullptr; // a reference held by the system
    std::int64_t steps = 0; // particles the updates have moved, in all (each update its live ones)
};

// Particles rain (or rise) through a box and are drawn as small textured quads.
class BoxParticleSystem final : public ParticleSystem {
public:
    using ParticleSystem::ParticleSystem;
    void Update(float timeStep, std::int32_t rate) override;
    void Render() override;
    void Free() override { ParticleSystem::Free(); }
    void InitialiseParticle(std::int32_t index) override;
};

// Velocity of a new box particle: base plus a random spread on each axis.
constexpr float kBoxBaseVelocity[3] = {0.0f, -3.0f, 0.0f};
constexpr float kBoxVelocitySpread[3] = {1.2f, 1.5f, 1.2f};
constexpr float kBoxParticleSize = 0.08f;
constexpr float kBoxFloor = -5.0f; // falling particles die here, whatever the box's bottom

// One emitter, made by the make commands and owned by the module's list until it is deleted.
struct ParticleEmitter {
    TransformRecord placement;
    IDirect3DDevice9* device;
    float size; // the point-sprite size; the scale is 100 x size percent
    std::uint32_t batchStart;
    std::uint32_t batchSize;  // vertices per lock and per draw
    std::uint32_t bufferSize; // vertices in the buffer
    std::uint32_t liveCount;  // primaries alive
    std::uint32_t maximum;
    PointParticle* live;
    PointParticle* free;
    IDirect3DVertexBuffer9* vertexBuffer;
    IDirect3DTexture9* texture; // a reference held by the emitter; null draws plain points
    float timeStep;
    std::int32_t emission; // point: new particles a pass; box: particles a second
    float speed;
    float emitPoint[3];
    float colour[4];
    float clock;
    std::uint8_t kind; // 0 point emitter, 1 box emitter
    ParticleSystem* system;
    std::uint8_t visible; // exactly 1 draws and advances
    float gravity;
    std::int32_t life; // percent
    std::int32_t groundBurst;
    float chaos;
    std::uint8_t blending;
    std::int32_t blendMode;
    float transparency;          // 0..100, or negative for the blend mode
    std::uint32_t fragmentCount; // burst fragments alive, at most kMostFragments
};

// Fragments alive at once in a point emitter: a primary that falls past it bursts into none. Far
// above what any settings that let fragments fade or fall reach (some 10,000 with every primary
// relaunched each pass); a life, gravity or speed that keeps them alive would otherwise let every
// pass add four for each burst, without end.
constexpr std::uint32_t kMostFragments = 32768;
// Batches a point emitter locks and draws in one pass: past it, the pass's remaining trail points
// are not drawn. A batch of one vertex would otherwise cost a lock and a draw call for each of the
// hundreds of thousands of points its primaries and fragments can reach; batches of the usual
// sizes never come near it.
constexpr std::uint32_t kMostBatchesAPass = 4096;

constexpr std::uint8_t kPointEmitter = 0;
constexpr std::uint8_t kBoxEmitter = 1;
