#pragma once

#include "core/frame_loop.h"

template <typename Done> bool PumpUntil(Done done, unsigned timeoutMs) {
    const DWORD start = timeGetTime();
    while (!done() && timeGetTime() - start < timeoutMs) {
        PumpMessages();
        Sleep(1);
    }
    return done();
}
