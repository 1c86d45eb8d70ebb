// Frame pacing at the game's rate: 600 frames of Sync at rate 60, with the frame-to-frame time
// measured by the performance counter. Prints the mean, the jitter (standard deviation, and the
// 99th percentile of the distance from the mean) and the extremes, in milliseconds.
#include "core/win32.h"

#include "core/core.h"
#include "core/engine.h"
#include "core/frame_loop.h"
#include "core/window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

int main() {
    RuntimeErrorRecord cell;
    LinkModules();
    SetCoreErrorHandler(&cell);
    if (CreateEngineWindow(1, 640, 480, 32, GetModuleHandleA(nullptr), "") != 0) {
        std::printf("engine start-up failed (error %d)\n", cell.number);
        return 1;
    }
    SyncOn();
    SetSyncRate(60);

    constexpr int kFrames = 600;
    LARGE_INTEGER frequency, last, now;
    QueryPerformanceFrequency(&frequency);
    Sync();
    QueryPerformanceCounter(&last);
    std::vector<double> intervals;
    intervals.reserve(kFrames);
    for (int i = 0; i < kFrames && EngineLoopActive(); ++i) {
        Sync();
        QueryPerformanceCounter(&now);
        intervals.push_back(1000.0 * (now.QuadPart - last.QuadPart) / frequency.QuadPart);
        last = now;
    }
    double sum = 0, squares = 0;
    for (double v : intervals)
        sum += v;
    const double mean = sum / intervals.size();
    for (double v : intervals)
        squares += (v - mean) * (v - mean);
    const auto [lo, hi] = std::minmax_element(intervals.begin(), intervals.end());
    std::vector<double> distances;
    for (double v : intervals)
        distances.push_back(std::fabs(v - mean));
    std::sort(distances.begin(), distances.end());
    const double p99 = distances[distances.size() * 99 / 100];
    std::printf("frame pacing at rate 60 (wait 15 ms), %zu frames: mean %.3f ms, jitter %.3f ms "
                "(p99 %.3f ms), min %.3f ms, max %.3f ms\n",
                intervals.size(), mean, std::sqrt(squares / intervals.size()), p99, *lo, *hi);
    ShutdownEngine();
    return 0;
}
