#include "core/win32.h"

#include "particles_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

// A falling box of the capacity, 4 units high, its array made.
std::unique_ptr<BoxParticleSystem> MakeSystem(std::int32_t capacity, bool rising = false) {
    auto s = std::make_unique<BoxParticleSystem>(capacity, 2.0f, 1.0f, 1.0f, rising);
    s->Allocate();
    return s;
}

void StandStill(BoxParticleSystem& s) {
    for (std::int32_t i = 0; i < s.liveCount; ++i)
        for (float& v : s.particles[i].velocity)
            v = 0.0f;
}

} // namespace

TEST(BoxSystem, EmissionFollowsTheRateUpToTheCapacity) {
    std::srand(3);
    auto sHolder = MakeSystem(1000);
    BoxParticleSystem& s = *sHolder;
    s.Update(0.1f, 4000);
    EXPECT_EQ(s.liveCount, 400);
    EXPECT_NEAR(s.accumulator, 0.0f, 1e-6f);
    auto smallHolder = MakeSystem(300);
    BoxParticleSystem& small = *smallHolder;
    small.Update(0.1f, 4000);
    EXPECT_EQ(small.liveCount, 300);
    // Rate 0: the carried time is dropped and nothing comes.
    s.accumulator = 0.05f;
    const std::int32_t live = s.liveCount;
    s.Update(0.001f, 0);
    EXPECT_EQ(s.accumulator, 0.0f);
    EXPECT_EQ(s.liveCount, live);
    // A negative count fills the array; 0 brings none.
    auto fillHolder = MakeSystem(50);
    BoxParticleSystem& fill = *fillHolder;
    fill.Emit(0);
    EXPECT_EQ(fill.liveCount, 0);
    fill.Emit(-2147483647 - 1);
    EXPECT_EQ(fill.liveCount, 50);
}

TEST(BoxSystem, FallingParticlesDieAtTheFloorNotTheBoxBottom) {
    std::srand(5);
    auto sHolder = MakeSystem(1);
    BoxParticleSystem& s = *sHolder;
    s.Emit(1);
    BoxParticle& p = s.particles[0];
    p.velocity[0] = p.velocity[2] = 0.0f;
    p.velocity[1] = -1.0f;
    for (int step = 1; step <= 6; ++step) {
        s.Update(1.0f, 0);
        ASSERT_EQ(s.liveCount, 1) << "y " << p.position[1]; // down to -4, past the bottom at -2
    }
    s.Update(1.0f, 0); // y = -5
    EXPECT_EQ(s.liveCount, 0);

    auto upHolder = MakeSystem(1, true);
    BoxParticleSystem& up = *upHolder;
    up.Emit(1);
    up.particles[0].velocity[1] = 1.0f;
    up.Update(3.0f, 0); // -2 + 3 = 1
    EXPECT_EQ(up.liveCount, 1);
    up.Update(1.0f, 0); // 2: the top
    EXPECT_EQ(up.liveCount, 0);
}

TEST(BoxSystem, TheLastParticleTakesADeadOnesSlot) {
    std::srand(6);
    auto sHolder = MakeSystem(10);
    BoxParticleSystem& s = *sHolder;
    s.Emit(10);
    StandStill(s);
    s.particles[3].position[1] = -6.0f;
    s.particles[9].position[1] = -7.0f; // dies too, once moved into slot 3
    s.particles[8].position[1] = 0.5f;
    const float x8 = s.particles[8].position[0];
    s.Update(0.0f, 0);
    EXPECT_EQ(s.liveCount, 8);
    EXPECT_EQ(s.particles[3].position[0], x8);
    EXPECT_EQ(s.particles[3].position[1], 0.5f);

    auto tHolder = MakeSystem(10);
    BoxParticleSystem& t = *tHolder;
    t.Emit(10);
    StandStill(t);
    t.particles[3].position[1] = -6.0f;
    const BoxParticle last = t.particles[9];
    t.Update(0.0f, 0);
    EXPECT_EQ(t.liveCount, 9);
    EXPECT_EQ(t.particles[3].position[0], last.position[0]);
    EXPECT_EQ(t.particles[3].position[2], last.position[2]);
}

TEST(BoxSystem, WarmUpStopsOnceTheBoxIsFullAndTurnedOver) {
    EXPECT_EQ(BoxWarmUpUpdates(BoxParticleSystem(10, 2.0f, 1, 1, false)), 10);
    EXPECT_EQ(BoxWarmUpUpdates(BoxParticleSystem(0, 2.0f, 1, 1, false)), 0);
    // 5,000 updates fill two million; 7 units fall in at most 50.
    EXPECT_EQ(BoxWarmUpUpdates(BoxParticleSystem(2000000, 2.0f, 1, 1, false)), 5052);
    EXPECT_EQ(BoxWarmUpUpdates(BoxParticleSystem(2000000, 7.0f, 1, 1, true)), 5102);
    EXPECT_EQ(BoxWarmUpUpdates(BoxParticleSystem(2000000, 1e30f, 1, 1, false)), 2000000);
    EXPECT_EQ(BoxWarmUpUpdates(BoxParticleSystem(2000000, std::nanf(""), 1, 1, true)), 2000000);
}

TEST(BoxSystem, AShortWarmUpReachesTheSameSteadyBox) {
    // Particles die faster than they come: the box settles well below its capacity.
    std::srand(7);
    const std::int32_t capacity = 20000;
    auto whole = MakeSystem(capacity, true);
    for (std::int32_t k = 0; k < capacity; ++k)
        whole->Update(0.1f, 4000);
    auto brief = MakeSystem(capacity, true);
    const std::int64_t updates = BoxWarmUpUpdates(*brief);
    EXPECT_LT(updates, 200);
    for (std::int64_t k = 0; k < updates; ++k)
        brief->Update(0.1f, 4000);
    EXPECT_LT(whole->liveCount, capacity / 2);
    EXPECT_NEAR(brief->liveCount, whole->liveCount, 400);
}

TEST_F(ParticleScene, BoxEmittersStartFullAndAreBounded) {
    MakeParticles(1, 0, 10, 1.0f, 8.0f, 3.0f, 4.0f, 4.0f, 2.0f);
    ASSERT_EQ(cell.number, 0);
    ParticleEmitter& e = *Emitter(1);
    EXPECT_EQ(e.kind, kBoxEmitter);
    EXPECT_EQ(e.system->liveCount, 10);
    EXPECT_FLOAT_EQ(ParticlesPositionY(1), 7.0f); // y - height / 4

    // Steady well below its capacity: 400 come each update and live some 33 updates.
    MakeRisingParticles(2, 0, 100000, 0, 0, 0, 4, 10, 4);
    ASSERT_EQ(cell.number, 0);
    EXPECT_EQ(Emitter(2)->system->rising, 1);
    EXPECT_GT(Emitter(2)->system->liveCount, 10000);
    EXPECT_LT(Emitter(2)->system->liveCount, 20000);

    EXPECT_EQ(ErrorOf([] { MakeParticles(3, 0, 2684355, 0, 0, 0, 1, 1, 1); }), 7105);
    EXPECT_EQ(ErrorOf([] { MakeParticles(3, 0, -1, 0, 0, 0, 1, 1, 1); }), 7105);
    EXPECT_EQ(ParticlesExist(3), 0);
    EXPECT_EQ(ErrorOf([] { MakeParticles(1, 0, 50, 0, 0, 0, 1, 1, 1); }), 7101);
    EXPECT_EQ(Emitter(1), &e); // untouched
    EXPECT_EQ(e.system->capacity, 10);
    EXPECT_FLOAT_EQ(ParticlesPositionY(1), 7.0f);
}

// A tall box fills in 150 updates, then its particles fall for thousands more: its warm-up ends at
// the step bound, full. A box of the usual size takes its whole warm-up, as by hand.
TEST_F(ParticleScene, BoxWarmUpsStopAtTheirStepBound) {
    MakeParticles(1, 0, 60000, 0, 0, 0, 10, 1000, 10);
    const ParticleSystem& tall = *Emitter(1)->system;
    EXPECT_LE(tall.steps, kMostWarmUpSteps);
    EXPECT_GT(tall.steps + tall.liveCount, kMostWarmUpSteps);
    EXPECT_EQ(tall.liveCount, 60000);

    std::srand(11);
    MakeRisingParticles(2, 0, 100000, 0, 0, 0, 4, 10, 4);
    std::srand(11);
    BoxParticleSystem byHand(100000, 5.0f, 2.0f, 2.0f, true);
    ASSERT_TRUE(byHand.Allocate());
    for (std::int64_t k = BoxWarmUpUpdates(byHand); k > 0; --k)
        byHand.Update(0.1f, 4000);
    const ParticleSystem& usual = *Emitter(2)->system;
    EXPECT_EQ(usual.steps, byHand.steps);
    EXPECT_EQ(usual.liveCount, byHand.liveCount);
    EXPECT_EQ(usual.particles[0].position[1], byHand.particles[0].position[1]);
}

// Sizes that are no number or infinite are refused before any warm-up.
TEST_F(ParticleScene, BoxesRefuseSizesThatAreNotFinite) {
    const float nan = std::nanf(""), inf = HUGE_VALF;
    EXPECT_EQ(ErrorOf([&] { MakeParticles(3, 0, 100, 0, 0, 0, 10, nan, 10); }), 7105);
    EXPECT_EQ(ErrorOf([&] { MakeParticles(4, 0, 100, 0, 0, 0, inf, 1, 1); }), 7105);
    EXPECT_EQ(ErrorOf([&] { MakeRisingParticles(5, 0, 100, 0, 0, 0, 1, inf, 1); }), 7105);
    EXPECT_EQ(ErrorOf([&] { MakeRisingParticles(6, 0, 100, 0, 0, 0, 1, 1, -inf); }), 7105);
    EXPECT_EQ(g_Particles.emitters.Count(), 0);
}

TEST_F(ParticleScene, BoxesAdvanceInThePassAtTheirEmission) {
    MakeParticles(1, 0, 1000, 0, 0, 0, 1, 40, 1);
    ParticleSystem* s = Emitter(1)->system;
    ASSERT_EQ(s->liveCount, 1000);
    s->liveCount = 0;
    s->accumulator = 0.0f;
    Passes(1); // 0.005 s at 4000 a second
    EXPECT_EQ(s->liveCount, 20);
    SetParticleEmissions(1, 0);
    Passes(1);
    EXPECT_EQ(s->liveCount, 20);
    EXPECT_EQ(s->accumulator, 0.0f);
}
