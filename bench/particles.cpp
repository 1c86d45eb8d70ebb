// Cost of the particle pass: wall time a frame with point emitters (trails of point sprites) and
// with box emitters (textured quads), each against an empty frame as the anchor, as time a
// particle and as the particles that fit in a 15 ms frame.
#include "core/win32.h"

#include "clock.h"

#include "core/core.h"
#include "core/engine.h"
#include "core/frame_loop.h"
#include "core/window.h"
#include "particles/particles.h"
#include "particles/particles_state.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr double kFrameMs = 15.0;

// Wall milliseconds a frame over frames Syncs, best of three rounds.
double FrameMs(int frames) {
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        const double start = Now();
        for (int f = 0; f < frames; ++f)
            Sync();
        best = std::min(best, (Now() - start) * 1000.0 / frames);
    }
    return best;
}

std::int64_t LiveParticles() {
    std::int64_t live = 0;
    for (IdListNode* node = g_Particles.emitters.first; node; node = node->next) {
        const auto* e = static_cast<const ParticleEmitter*>(node->data);
        live += e->system ? e->system->liveCount : e->liveCount;
    }
    return live;
}

void Report(const char* what, double empty, double frame, std::int64_t particles) {
    const double each = (frame - empty) / static_cast<double>(particles);
    std::printf("%s: %lld particles, %.3f ms a frame (empty %.3f): %.3f us a particle, "
                "%.0f fit in a %.0f ms frame\n",
                what, static_cast<long long>(particles), frame, empty, each * 1000.0,
                each > 0.0 ? (kFrameMs - empty) / each : 0.0, kFrameMs);
}

// Point emitters side by side, 10 units ahead, each full at 2,048 primaries that never burst.
void PointEmitters(std::int32_t count) {
    for (std::int32_t id = 1; id <= count; ++id) {
        MakePointParticles(id, 0, 1000, 1.0f);
        PositionParticles(id, static_cast<float>(id - count / 2) * 2.0f, -2.0f, 10.0f);
        SetParticleGroundBurst(id, 0);
    }
    for (int pass = 0; pass < 520; ++pass)
        ParticlesUpdate();
}

} // namespace

int main() {
    RuntimeErrorRecord cell;
    LinkModules();
    SetCoreErrorHandler(&cell);
    if (CreateEngineWindow(1, 640, 480, 32, GetModuleHandleA(nullptr), "") != 0) return 1;
    SyncOn();
    SetSyncRate(0);
    std::srand(1);
    for (int f = 0; f < 30; ++f)
        Sync();
    const double empty = FrameMs(300);
    std::printf("empty frame: %.3f ms\n", empty);

    for (std::int32_t emitters : {1, 8}) {
        PointEmitters(emitters);
        const std::int64_t live = LiveParticles();
        Report(emitters == 1 ? "point emitter with trails" : "8 point emitters with trails", empty,
               FrameMs(100), live);
        ParticlesRefreshD3D(0);
        ParticlesRefreshD3D(1);
    }
    for (std::int32_t capacity : {20000, 200000}) {
        // Tall enough that the box holds its capacity.
        MakeParticles(1, 0, capacity, 0.0f, 0.0f, 12.0f, 8.0f, 400.0f, 2.0f);
        // The warm-up stops at its step bound before the larger box is full.
        static_cast<ParticleEmitter*>(g_Particles.emitters.Find(1))->system->Emit(-1);
        const std::int64_t live = LiveParticles();
        Report("box emitter", empty, FrameMs(capacity > 50000 ? 10 : 50), live);
        ParticlesRefreshD3D(0);
        ParticlesRefreshD3D(1);
    }
    ShutdownEngine();
    return 0;
}
