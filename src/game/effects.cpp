#include "core/win32.h"

#include "game/effects.h"
#include "game/media_numbers.h"
#include "game/hud.h"
#include "image/image.h"

namespace {

ParticlePool pool;
Backdrop backdrop;

constexpr std::int32_t kSchemes[6][3] = {{218, 2, 254},   {218, 2, 4},     {5, 218, 4},
                                         {105, 104, 218}, {250, 200, 200}, {250, 170, 20}};

EffectParticle* FreeSlot() {
    for (EffectParticle& p : pool.slots)
        if (!p.active) return &p;
    return nullptr; // a full pool drops the burst's rest
}

void Spawn(std::int32_t kind, std::int32_t x, std::int32_t y, float vx, float vy, float ax,
           float ay, std::int32_t first, std::int32_t extra, std::int32_t delay, std::int32_t life,
           bool loop) {
    EffectParticle* p = FreeSlot();
    if (!p) return;
    *p = EffectParticle{};
    p->x = static_cast<float>(x);
    p->y = static_cast<float>(y);
    p->vx = vx;
    p->vy = vy;
    p->ax = ax;
    p->ay = ay;
    p->life = life;
    p->kind = kind;
    p->alpha = 255;
    p->active = 1;
    p->animation = SpriteAnimation{0, delay, static_cast<std::uint8_t>(loop), first, extra, first};
}

std::int32_t Towards(std::int32_t value, std::int32_t target) {
    return value < target ? value + 1 : value > target ? value - 1 : value;
}

} // namespace

std::int32_t SpriteAnimation::StepSpriteAnimation() {
    if (++tick >= delay) {
        tick = 0;
        ++current;
    }
    if (current >= first + extra) current = loop ? first : first + extra;
    return current;
}

ParticlePool& Particles() {
    return pool;
}

void ParticlePool::Clear() {
    for (EffectParticle& p : slots)
        p.active = 0;
}

void ParticlePool::Update() {
    for (EffectParticle& p : slots) {
        if (!p.active) continue;
        p.x += p.vx;
        p.y += p.vy;
        p.vx += p.ax;
        p.vy += p.ay;
        if (--p.life < 0) p.active = 0;
    }
}

void ParticlePool::Draw() {
    for (EffectParticle& p : slots) {
        if (!p.active) continue;
        const auto x = static_cast<std::int32_t>(p.x), y = static_cast<std::int32_t>(p.y);
        if (p.kind == 1) {
            PasteImage(p.animation.StepSpriteAnimation(), x, y, 1);
            continue;
        }
        p.alpha = p.life >= 1 ? p.alpha - 255 / p.life : 0;
        if (p.alpha < 0) p.alpha = 0;
        PasteImageFaded(p.animation.StepSpriteAnimation(), x, y, p.alpha);
    }
}

std::int32_t ParticlePool::ActiveCount() const {
    std::int32_t count = 0;
    for (const EffectParticle& p : slots)
        count += p.active;
    return count;
}

void SpawnAnimation(std::int32_t x, std::int32_t y, float vx, float vy, std::int32_t first,
                    std::int32_t extra, std::int32_t delay, std::int32_t life, bool loop) {
    Spawn(1, x, y, vx, vy, 0, 0, first, extra, delay, life, loop);
}

void SpawnFadingAnimation(std::int32_t x, std::int32_t y, float vx, float vy, std::int32_t first,
                          std::int32_t extra, std::int32_t delay, std::int32_t life, bool loop) {
    Spawn(2, x, y, vx, vy, 0, 0, first, extra, delay, life, loop);
}

void SpawnFallingFragment(std::int32_t x, std::int32_t y, float vx, float vy, float ax, float ay,
                          std::int32_t first, std::int32_t extra, std::int32_t delay,
                          std::int32_t life, bool loop) {
    Spawn(2, x, y, vx, vy, ax, ay, first, extra, delay, life, loop);
}

Backdrop& TheBackdrop() {
    return backdrop;
}

void Backdrop::Reset() {
    const std::int32_t x[4] = {0, 600, 300, 900}, y[4] = {0, 0, 400, 400};
    for (int i = 0; i < 4; ++i) {
        starX[i] = x[i];
        starY[i] = y[i];
        starVx[i] = starVy[i] = 1;
    }
    red = 218;
    green = 2;
    blue = 4;
    SetScheme(0);
}

void Backdrop::SetScheme(std::int32_t scheme) {
    if (scheme < 0 || scheme > 5) return;
    targetRed = kSchemes[scheme][0];
    targetGreen = kSchemes[scheme][1];
    targetBlue = kSchemes[scheme][2];
}

void Backdrop::Update() {
    red = Towards(red, targetRed);
    green = Towards(green, targetGreen);
    blue = Towards(blue, targetBlue);
    offset += 0.5f;
    if (offset > 768) offset = 0;
    for (int i = 0; i < 4; ++i) {
        starX[i] += starVx[i];
        starY[i] += starVy[i];
        if (starX[i] < -300)
            starX[i] = 1024;
        else if (starX[i] > 1024)
            starX[i] = -300;
        if (starY[i] < -300)
            starY[i] = 768;
        else if (starY[i] > 768)
            starY[i] = -300;
    }
}

void Backdrop::Draw() {
    const auto y = static_cast<std::int32_t>(offset);
    PasteImageTinted(kScreenImage, 0, y, red, green, blue);
    PasteImageTinted(kScreenImage, 0, static_cast<std::int32_t>(offset - 768), red, green, blue);
    for (int i = 0; i < 4; ++i)
        PasteImage(kBigStarImage, starX[i], starY[i], 1);
}
