#include "core/win32.h"

#include "particles_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <climits>
#include <set>

namespace {

// One primary at rest in emitter id's list, moving at velocity (0, vy, 0) with gravity off.
PointParticle* PlaceOne(ParticleEmitter& e, float vy) {
    auto* p = new PointParticle{};
    p->startVelocity[1] = vy;
    p->fade = 1.0f;
    for (float& c : p->colour)
        c = 1.0f;
    p->next = e.live;
    e.live = p;
    ++e.liveCount;
    return p;
}

} // namespace

TEST_F(ParticleScene, PrimariesReachTheMaximumAfter512PassesAndFragmentsDoNotCount) {
    MakePointParticles(1, 0, 100, 1.0f);
    ASSERT_EQ(cell.number, 0);
    SetParticleGroundBurst(1, 0);
    Passes(511);
    EXPECT_EQ(Emitter(1)->liveCount, 2044u);
    Passes(1);
    EXPECT_EQ(Emitter(1)->liveCount, 2048u);
    Passes(20);
    EXPECT_EQ(Emitter(1)->liveCount, 2048u);
    EXPECT_EQ(LiveByType(1), std::make_pair(2048, 0));

    // Bursting on the ground: fragments join the list but never the count.
    MakePointParticles(2, 0, 100, 1.0f);
    Passes(300);
    const auto [primaries, fragments] = LiveByType(2);
    EXPECT_GT(fragments, 0);
    EXPECT_EQ(Emitter(2)->liveCount, static_cast<std::uint32_t>(primaries));
    EXPECT_LT(primaries, 2048);
}

// Fragments that neither fade nor fall (a huge life, gravity pulling up) from primaries launched
// downwards, 2,048 a pass: some 8,000 more each pass, until their bound.
TEST_F(ParticleScene, FragmentsThatOutliveEveryPassStopAtTheirBound) {
    MakePointParticles(1, 0, 100, 1.0f);
    SetParticleLife(1, 2000000000);
    SetParticleGravity(1, -1.0f);
    SetParticleVelocity(1, -1.0f);
    SetParticleEmissions(1, 2048);
    Passes(6);
    const auto [primaries, fragments] = LiveByType(1);
    EXPECT_EQ(fragments, static_cast<std::int32_t>(kMostFragments));
    EXPECT_EQ(Emitter(1)->fragmentCount, kMostFragments);
    EXPECT_EQ(Emitter(1)->liveCount, static_cast<std::uint32_t>(primaries));
}

TEST_F(ParticleScene, APrimaryWithoutGroundBurstLives800Passes) {
    MakePointParticles(1, 0, 100, 1.0f);
    SetParticleGroundBurst(1, 0);
    SetParticleEmissions(1, 1);
    Passes(1); // launches one
    SetParticleEmissions(1, 0);
    Passes(799);
    EXPECT_EQ(Emitter(1)->liveCount, 1u);
    Passes(1);
    EXPECT_EQ(Emitter(1)->liveCount, 0u);
    EXPECT_EQ(Emitter(1)->live, nullptr);
    // Its record waits on the free list for the next launch.
    EXPECT_NE(Emitter(1)->free, nullptr);
}

TEST_F(ParticleScene, TrailsGrowWithSquaredSpeed) {
    const std::pair<float, std::int32_t> cases[] = {
        {0.0f, 2}, {0.99f, 2},  {1.0f, 3},  {3.99f, 3},  {4.0f, 4},   {8.99f, 4},
        {9.0f, 5}, {12.25f, 6}, {16.0f, 7}, {20.24f, 7}, {20.25f, 8}, {1e9f, 8}};
    for (auto [speed, points] : cases)
        EXPECT_EQ(TrailPoints(speed), points) << speed;

    MakePointParticles(1, 0, 100, 1.0f);
    ParticleEmitter& e = *Emitter(1);
    SetParticleEmissions(1, 0);
    SetParticleGravity(1, 0.0f);
    SetParticleGroundBurst(1, 0);
    PlaceOne(e, 2.0f); // squared speed exactly 4
    ParticleRecording recording;
    Passes(1);
    ASSERT_EQ(recording.device.draws.size(), 1u);
    EXPECT_EQ(recording.device.draws[0].type, D3DPT_POINTLIST);
    EXPECT_EQ(recording.device.draws[0].primitives, 4u);
}

TEST_F(ParticleScene, ChannelsBecomeBytes) {
    EXPECT_EQ(ChannelByte(1.0f), 255u);
    EXPECT_EQ(ChannelByte(0.5f), 127u);
    EXPECT_EQ(ChannelByte(1.5f), 255u);
    EXPECT_EQ(ChannelByte(0.0f), 0u);
    EXPECT_EQ(ChannelByte(-0.2f), 0u);
    EXPECT_EQ(ChannelByte(std::nanf("")), 0u);
    EXPECT_EQ(TransparencyFactor(100.0f) >> 24, 255u);
    EXPECT_EQ(TransparencyFactor(50.0f) >> 24, 127u);
    EXPECT_EQ(TransparencyFactor(0.0f) >> 24, 0u);
}

TEST_F(ParticleScene, BatchesStayInsideABufferThatIsNoMultipleOfThem) {
    EXPECT_EQ(NextBatchStart(1000, 300, 1000), 0u); // a new emitter's first batch
    EXPECT_EQ(NextBatchStart(0, 300, 1000), 300u);
    EXPECT_EQ(NextBatchStart(600, 300, 1000), 0u); // 900 + 300 would pass the end
    EXPECT_EQ(NextBatchStart(700, 300, 1000), 0u);

    MakePointParticlesEx(1, 300, 1000, 1.0f, 0);
    ASSERT_EQ(cell.number, 0);
    ParticleRecording recording;
    std::set<UINT> starts;
    for (int round = 0; round < 30; ++round) {
        Passes(100);
        for (const RecordedDraw& d : recording.device.draws) {
            ASSERT_FALSE(d.failed);
            ASSERT_LE(d.start + 300, 1000u) << d.start; // the whole batch was locked
            ASSERT_LE(d.primitives, 300u);
            starts.insert(d.start);
        }
        recording.device.Clear();
        ASSERT_LE(Emitter(1)->batchStart + 300, 1000u);
    }
    EXPECT_EQ(starts, (std::set<UINT>{0, 300, 600}));
}

// A batch of one vertex, every primary launched each pass: a pass locks and draws a bounded number
// of batches, not one for each of its thousands of trail points.
TEST_F(ParticleScene, APassDrawsABoundedNumberOfBatches) {
    MakePointParticlesEx(1, 1, 1, 1.0f, 0);
    SetParticleEmissions(1, INT_MAX);
    Passes(3);
    ASSERT_EQ(Emitter(1)->liveCount, 2048u);
    ParticleRecording recording;
    Passes(1);
    EXPECT_EQ(recording.device.draws.size(), kMostBatchesAPass);
}

TEST_F(ParticleScene, PointEmittersRefuseBatchesAndBuffersThatCannotBe) {
    const std::int32_t cases[][2] = {
        {0, 100}, {-1, 100}, {101, 100}, {1, 0}, {1, -5}, {1, 16777217}, {2147483647, 2147483647}};
    for (const auto& c : cases) {
        EXPECT_EQ(ErrorOf([&] { MakePointParticlesEx(1, c[0], c[1], 1.0f, 0); }), 7105)
            << c[0] << " " << c[1];
        EXPECT_EQ(ParticlesExist(1), 0);
    }
    EXPECT_EQ(ErrorOf([] { MakePointParticles(2, 0, 0, 1.0f); }), 7105);
    EXPECT_EQ(ErrorOf([] { MakePointParticles(2, 0, 858993460, 1.0f); }), 7105); // 5 x > 2^32
    // A size that is no number, or infinite.
    EXPECT_EQ(ErrorOf([] { MakePointParticles(2, 0, 10, std::nanf("")); }), 7105);
    EXPECT_EQ(ErrorOf([] { MakePointParticlesEx(2, 1, 5, -HUGE_VALF, 0); }), 7105);
    EXPECT_EQ(ParticlesExist(2), 0);
    // The largest buffer allowed is 256 MiB; a buffer equal to the batch is fine.
    EXPECT_EQ(ErrorOf([] { MakePointParticlesEx(3, 7, 7, 1.0f, 0); }), 0);
    EXPECT_EQ(Emitter(3)->batchStart, 7u);
}

TEST_F(ParticleScene, MakingAnExistingPointEmitterAgainReplacesIt) {
    MakePointParticlesEx(1, 10, 50, 1.0f, 0);
    Passes(5);
    IDirect3DVertexBuffer9* old = Emitter(1)->vertexBuffer;
    old->AddRef();
    MakePointParticlesEx(1, 20, 40, 2.0f, 0);
    EXPECT_EQ(cell.number, 0);
    // The old emitter let its buffer go: the reference taken here is the last.
    EXPECT_EQ(old->Release(), 0u);
    EXPECT_EQ(g_Particles.emitters.Count(), 1);
    EXPECT_EQ(Emitter(1)->batchSize, 20u);
    EXPECT_EQ(Emitter(1)->liveCount, 0u);
    EXPECT_FLOAT_EQ(Emitter(1)->placement.scale[0], 2.0f);
    // A replacement that cannot be made leaves the emitter there.
    EXPECT_EQ(ErrorOf([] { MakePointParticlesEx(1, 0, 40, 2.0f, 0); }), 7105);
    EXPECT_EQ(Emitter(1)->batchSize, 20u);
    // The plain make refuses an id in use.
    EXPECT_EQ(ErrorOf([] { MakePointParticles(1, 0, 10, 1.0f); }), 7101);
    EXPECT_EQ(Emitter(1)->batchSize, 20u);
}

TEST_F(ParticleScene, AFailedDrawEndsThePassButRestoresDepthAndBlending) {
    MakePointParticles(1, 0, 100, 1.0f);
    MakePointParticles(2, 0, 100, 1.0f);
    Passes(3);
    ParticleRecording recording;
    RecordingDevice& d = recording.device;
    d.failDrawsAbove = 0;
    const float second = Emitter(2)->clock;
    Passes(1);
    ASSERT_EQ(d.draws.size(), 1u);
    EXPECT_TRUE(d.draws[0].failed);
    EXPECT_EQ(Emitter(2)->clock, second); // the pass ended before emitter 2
    EXPECT_EQ(d.LastRenderState(D3DRS_ZWRITEENABLE, 0), DWORD{TRUE});
    EXPECT_EQ(d.LastRenderState(D3DRS_ALPHABLENDENABLE, 1), DWORD{FALSE});
    EXPECT_EQ(d.LastRenderState(D3DRS_POINTSPRITEENABLE, 1), DWORD{FALSE});
}
