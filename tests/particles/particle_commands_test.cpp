#include "core/win32.h"

#include "particles_fixture.h"
#include "maths/maths.h"

#include <gtest/gtest.h>

TEST_F(ParticleScene, SettersKeepTheirValuesAsGiven) {
    MakePointParticles(1, 0, 10, 2.0f);
    ParticleEmitter& e = *Emitter(1);
    GhostParticlesOnAlpha(1, 3, 100.0f);
    EXPECT_EQ(e.transparency, 100.0f);
    EXPECT_EQ(e.blendMode, 3);
    GhostParticlesOff(1);
    for (float refused : {100.5f, -1.0f}) {
        EXPECT_EQ(ErrorOf([&] { GhostParticlesOnAlpha(1, 2, refused); }), 0);
        EXPECT_EQ(e.blending, 0);
        EXPECT_EQ(e.blendMode, -1);
        EXPECT_EQ(e.transparency, -1.0f);
    }

    SetParticleChaos(1, 50.0f);
    EXPECT_FLOAT_EQ(e.chaos, 0.05f);
    SetParticleColour(1, 255, 128, 0);
    EXPECT_FLOAT_EQ(e.colour[0], 1.0f);
    EXPECT_NEAR(e.colour[1], 0.50196f, 1e-5f);
    EXPECT_EQ(e.colour[2], 0.0f);
    EXPECT_EQ(e.colour[3], 1.0f);
    EXPECT_EQ(ErrorOf([] { SetParticleColourPercent(9, 1, 1, 1); }), 0);
    SetParticleEmitPosition(1, 2.0f, 4.0f, -6.0f); // in world units: divided by the size
    EXPECT_EQ(e.emitPoint[1], 2.0f);
    EXPECT_EQ(e.emitPoint[2], -3.0f);
    EXPECT_EQ(cell.number, 0);
}

TEST_F(ParticleScene, CommandsCheckTheirIdsAndVectors) {
    EXPECT_EQ(ErrorOf([] { SetParticleGravity(0, 1.0f); }), 7104);
    EXPECT_EQ(ErrorOf([] { SetParticleVelocity(0, 1.0f); }), 7102);
    EXPECT_EQ(ErrorOf([] { SetParticleChaos(22000001, 1.0f); }), 7104);
    EXPECT_EQ(ErrorOf([] { DeleteParticles(4); }), 7102);
    EXPECT_EQ(ErrorOf([] { EXPECT_EQ(ParticlesPositionX(4), 0.0f); }), 7102);
    EXPECT_EQ(ErrorOf([] { EXPECT_EQ(ParticlesExist(4), 0); }), 0);

    MakePointParticles(1, 0, 10, 1.0f);
    ASSERT_TRUE(MakeVector3(5));
    SetVector3(5, 1.0f, 2.0f, 3.0f);
    PositionParticlesFromVector(1, 5);
    EXPECT_EQ(ParticlesPositionZ(1), 3.0f);
    RotateParticlesFromVector(1, 5);
    EXPECT_EQ(Emitter(1)->placement.rotation[1], 2.0f);
    PositionParticles(1, 7.0f, 8.0f, 9.0f);
    SetVectorToParticlesPosition(5, 1);
    EXPECT_EQ(GetYVector3(5), 8.0f);
    EXPECT_EQ(cell.number, 0);

    EXPECT_EQ(ErrorOf([] { PositionParticlesFromVector(1, 6); }), 7801);
    EXPECT_EQ(ParticlesPositionX(1), 7.0f);
    EXPECT_EQ(ErrorOf([] { SetVectorToParticlesRotation(6, 1); }), 7801);
    EXPECT_EQ(ErrorOf([] { RotateParticlesFromVector(2, 5); }), 7102);
    EXPECT_EQ(ErrorOf([] { SetVectorToParticlesPosition(5, -3); }), 7104);

    // The positioning set under its own errors, on emitters.
    ParticlePlacement::ScaleItem(1, 50.0f, 50.0f, 50.0f);
    EXPECT_EQ(Emitter(1)->placement.scale[0], 0.5f);
    EXPECT_EQ(ErrorOf([] { ParticlePlacement::MoveItem(3, 1.0f); }), 7008);
    DeleteParticles(1);
    EXPECT_EQ(ParticlesExist(1), 0);
    EXPECT_EQ(g_Particles.current, nullptr);
}

TEST(ParticleTimerClock, ReadsResetsStopsAndAdvances) {
    EXPECT_EQ(ParticleTimer(7), -1.0f);
    EXPECT_EQ(ParticleTimer(-1), -1.0f);
    EXPECT_EQ(ParticleTimer(0), 0.0f);
    EXPECT_EQ(ParticleTimer(1), 0.0f);
    ParticleTimer(6);
    EXPECT_LT(ParticleTimer(6), 0.05f);
    EXPECT_GE(ParticleTimer(5), 0.0f);

    Sleep(20);
    ParticleTimer(2); // stopped: the readings stand still
    const float stopped = ParticleTimer(5);
    EXPECT_GT(stopped, 0.01f);
    Sleep(20);
    EXPECT_EQ(ParticleTimer(5), stopped);
    EXPECT_EQ(ParticleTimer(6), 0.0f);
    ParticleTimer(3);
    EXPECT_NEAR(ParticleTimer(5) - stopped, 0.1f, 1e-3f);

    // Started again, the application time goes on from where the stop left it.
    ParticleTimer(1);
    const float resumed = ParticleTimer(5);
    EXPECT_GE(resumed, stopped + 0.1f - 1e-3f);
    EXPECT_LT(resumed, stopped + 0.15f);
}
