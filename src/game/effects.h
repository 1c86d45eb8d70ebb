// Purely visual pieces: a fixed pool of screen-space particles carrying small picture animations,
// and the scrolling, tinted backdrop with its drifting stars.
#pragma once

#include <cstdint>

struct SpriteAnimation {
    std::int32_t tick = 0;
    std::int32_t delay = 1; // frames per picture
    std::uint8_t loop = 0;
    std::int32_t first = 0;
    std::int32_t extra = 0; // pictures after the first
    std::int32_t current = 0;
    // Advances one frame; the picture to draw.
    std::int32_t StepSpriteAnimation();
};

struct EffectParticle {
    float x = 0, y = 0, vx = 0, vy = 0, ax = 0, ay = 0;
    std::int32_t alpha = 255;
    std::int32_t life = 0;
    std::uint8_t active = 0;
    SpriteAnimation animation;
    std::int32_t kind = 1; // 1 animated picture, 2 fading animated picture
};

constexpr int kParticles = 1000;

struct ParticlePool {
    EffectParticle slots[kParticles];
    void Clear();
    void Update();
    void Draw();
    std::int32_t ActiveCount() const;
};

ParticlePool& Particles();

void SpawnAnimation(std::int32_t x, std::int32_t y, float vx, float vy, std::int32_t first,
                    std::int32_t extra, std::int32_t delay, std::int32_t life, bool loop);
void SpawnFadingAnimation(std::int32_t x, std::int32_t y, float vx, float vy, std::int32_t first,
                          std::int32_t extra, std::int32_t delay, std::int32_t life, bool loop);
void SpawnFallingFragment(std::int32_t x, std::int32_t y, float vx, float vy, float ax, float ay,
                          std::int32_t first, std::int32_t extra, std::int32_t delay,
                          std::int32_t life, bool loop);

struct Backdrop {
    std::int32_t red = 0, green = 0, blue = 0;
    std::int32_t targetRed = 0, targetGreen = 0, targetBlue = 0;
    std::int32_t starX[4] = {}, starY[4] = {}, starVx[4] = {}, starVy[4] = {};
    float offset = 0; // the scroll, 0 to 768
    void Reset();
    void Update();
    void Draw();
    void SetScheme(std::int32_t scheme);
};

Backdrop& TheBackdrop();
