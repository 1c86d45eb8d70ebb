#include "core/win32.h"

#include "world/world_clock.h"

namespace {

// Written by tests only; the drawing pass reads it.
struct ClockState {
    bool held = false;
    std::uint32_t ms = 0;
};
ClockState clock;

} // namespace

std::uint32_t WorldClock() {
    return clock.held ? clock.ms : timeGetTime();
}

void HoldWorldClock(std::uint32_t ms) {
    clock.held = true;
    clock.ms = ms;
}

void ReleaseWorldClock() {
    clock.held = false;
}

double WorldSeconds() {
    // Double, not float: a float holds the clock's seconds to a quarter second after 49 days.
    return static_cast<double>(WorldClock()) * 0.001;
}

double WrappedWorldSeconds() {
    return static_cast<double>(WorldClock() % 100000u) * 0.001;
}
