// Cost of the 2D drawing the game leans on: PasteImage calls and numbered sprites drawn by the
// frame loop, each measured over whole frames (drawing, then the present that flushes it).
#include "core/win32.h"

#include "core/core.h"
#include "core/engine.h"
#include "core/frame_loop.h"
#include "core/window.h"
#include "display/display.h"
#include "draw2d/draw2d.h"
#include "image/image.h"
#include "sprite/sprite.h"

#include <cstdio>
#include <initializer_list>

namespace {

double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename Draw> double MillisecondsPerFrame(int frames, Draw draw) {
    Sync(); // settle
    const double start = Now();
    for (int f = 0; f < frames; ++f) {
        ClearScreen(0);
        draw();
        Sync();
    }
    return (Now() - start) * 1000.0 / frames;
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
    constexpr int kFrames = 60;

    const double empty = MillisecondsPerFrame(kFrames, [] {});
    for (int count : {500, 2000}) {
        const double ms = MillisecondsPerFrame(kFrames, [count] {
            for (int i = 0; i < count; ++i)
                PasteImage(1, (i * 37) % 990, (i * 53) % 730, 1);
        });
        std::printf(
            "PasteImage: %d per frame: %.2f ms a frame (empty frame %.2f ms), %.2f us a paste\n",
            count, ms, empty, (ms - empty) * 1000.0 / count);
    }
    for (int count : {500, 2000}) {
        for (int i = 0; i < count; ++i)
            PlaceSprite(i + 1, (i * 37) % 990, (i * 53) % 730, 1);
        const double ms = MillisecondsPerFrame(kFrames, [] {});
        std::printf("sprites: %d drawn each frame: %.2f ms a frame, %.2f us a sprite\n", count, ms,
                    (ms - empty) * 1000.0 / count);
    }
    ShutdownEngine();
    return 0;
}
