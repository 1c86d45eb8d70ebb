// Starts the engine as the game does (LinkModules, an error cell, CreateEngineWindow) and shuts it
// down again, with the core's window and frame-loop state back at its defaults in between.
#pragma once

#include "core/core.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

void ResetCoreLoopState();

class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // CreateEngineWindow's result.
    std::int32_t StartEngine(std::int32_t mode = 1, const char* title = "");
    RuntimeErrorRecord cell;
};

// Pumps the window's messages for up to timeoutMs, until done() holds; returns done().
template <typename Done> bool PumpUntil(Done done, unsigned timeoutMs = 3000);
// Pumps the window's messages for a while.
inline void PumpFor(unsigned ms) {
    PumpUntil([] { return false; }, ms);
}

// Starts xdotool, a program of the host system, with these arguments; does not wait for it.
bool RunXdotool(const std::string& arguments);
// The X window behind a Wine window.
unsigned long XWindowOf(HWND window);

#include "support/engine_fixture_inl.h"
