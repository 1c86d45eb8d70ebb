// The millisecond clock that drives the world's animated shader stages. Everything that reads
// the time goes through WorldClock, so that a test can stand the clock still at a chosen value.
#pragma once

#include <cstdint>

// The system millisecond clock (unsigned, it wraps after 49.7 days), or the time a test set.
std::uint32_t WorldClock();
// Holds the clock at ms until ReleaseWorldClock.
void HoldWorldClock(std::uint32_t ms);
void ReleaseWorldClock();

// The clock in seconds, from the unsigned value so that it never turns negative.
double WorldSeconds();
// The clock's last 100,000 ms in seconds: what scrolling stages use, so they restart every 100 s.
double WrappedWorldSeconds();
