// Clocks the benchmarks share: wall time from the performance counter, CPU time of the calling
// thread and of the whole process, all in seconds.
#pragma once

#include "core/win32.h"

#include <cstdint>

// Seconds since the first call: a Direct3D device leaves the FPU at single precision, in which
// seconds since the machine started step by a quarter of a millisecond or more.
inline double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    static const LONGLONG first = counter.QuadPart;
    return static_cast<double>(counter.QuadPart - first) /
           static_cast<double>(frequency.QuadPart);
}

inline double Seconds(FILETIME t) {
    return static_cast<double>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) |
                               t.dwLowDateTime) *
           1e-7;
}

inline double ThreadCpu() {
    FILETIME created, ended, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
    return Seconds(kernel) + Seconds(user);
}

// The platform's own threads included: under Wine, the software renderer's.
inline double ProcessCpu() {
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    return Seconds(kernel) + Seconds(user);
}
