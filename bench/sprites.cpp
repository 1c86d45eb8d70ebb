// Cost of the 2D drawing the game leans on: PasteImage calls and numbered sprites drawn by the
// frame loop, each measured over whole frames (drawing, then the present that flushes it).
#include "core/win32.h"

#include "clock.h"

#include "core/core.h"
#include "core/engine.h"
#include "core/frame_loop.h"
#include "core/window.h"
#include "display/display.h"
#include "draw2d/draw2d.h"
#include "image/image.h"
#include "sprite/sprite.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>

namespace {

struct FrameCost {
    double wall = 0, cpu = 0; // milliseconds a frame; cpu: the drawing thread's own
};

// The best of three rounds: on a shared machine the slower ones measure the neighbours.
template <typename Draw> FrameCost MillisecondsPerFrame(int frames, Draw draw) {
    FrameCost best{1e9, 1e9};
    for (int round = 0; round < 3; ++round) {
        Sync(); // settle
        const double start = Now(), cpu = ThreadCpu();
        for (int f = 0; f < frames; ++f) {
            ClearScreen(0);
            draw();
            Sync();
        }
        const double wall = (Now() - start) * 1000.0 / frames;
        if (wall < best.wall) best = {wall, (ThreadCpu() - cpu) * 1000.0 / frames};
    }
    return best;
}

void Report(const char* what, int count, FrameCost cost, FrameCost empty) {
    const double each = (cost.wall - empty.wall) * 1000.0 / count;
    std::printf("%s: %d a frame: %.2f ms a frame, %.2f us each (%.2f us of the drawing thread's "
                "CPU), %.0f in a 15 ms frame\n",
                what, count, cost.wall, each, (cost.cpu - empty.cpu) * 1000.0 / count,
                (15.0 - empty.wall) * 1000.0 / each);
}

} // namespace

int main() {
    RuntimeErrorRecord cell;
    LinkModules();
    SetCoreErrorHandler(&cell);
    if (CreateEngineWindow(1, 640, 480, 32, GetModuleHandleA(nullptr), "") != 0) return 1;
    SetDisplayMode(1024, 768, 32);
    SyncOn();
    SetSyncRate(0);
    CreateManagedImage(1, 32, 32);
    constexpr int kFrames = 100;

    // One Sync with nothing at all to draw: the frame loop's own cost and the present.
    for (int f = 0; f < kFrames; ++f)
        Sync(); // the new display mode settles
    double sync = 1e9;
    for (int round = 0; round < 3; ++round) {
        const double start = Now();
        for (int f = 0; f < kFrames; ++f)
            Sync();
        sync = std::min(sync, (Now() - start) * 1000.0 / kFrames);
    }
    std::printf("Sync with nothing to draw: %.3f ms\n", sync);

    const FrameCost empty = MillisecondsPerFrame(kFrames, [] {});
    std::printf("cleared frame: %.2f ms\n", empty.wall);
    for (int count : {500, 2000}) {
        Report("PasteImage", count,
               MillisecondsPerFrame(kFrames,
                                    [count] {
                                        for (int i = 0; i < count; ++i)
                                            PasteImage(1, (i * 37) % 990, (i * 53) % 730, 1);
                                    }),
               empty);
    }
    for (int count : {500, 2000}) {
        for (int i = 0; i < count; ++i)
            PlaceSprite(i + 1, (i * 37) % 990, (i * 53) % 730, 1);
        Report("sprites", count, MillisecondsPerFrame(kFrames, [] {}), empty);
    }
    ShutdownEngine();
    return 0;
}
