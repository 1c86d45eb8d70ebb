// State that the core's window, message pump and frame loop share. Written only by the core's own
// files (window.cpp, frame_loop.cpp); lives for the whole run.
#pragma once

#include "core/win32.h"

#include <cstdint>

constexpr int kPointerCursors = 30; // cursors 2 to 31

struct CoreWindowState {
    std::int32_t screenWidth = 0, screenHeight = 0;
    HICON icon = nullptr;
    HCURSOR arrowCursor = nullptr;
    HCURSOR hourglassCursor = nullptr;
    HCURSOR pointerCursors[kPointerCursors] = {};
    HCURSOR currentCursor = nullptr;
    HCURSOR previousCursor = nullptr;
    bool ownArrow = false, ownHourglass = false; // loaded from files, so destroyed at shut-down
    std::uint32_t quitFlag = 0;                  // set by close, destroy and Escape; never cleared
    std::uint32_t entryLength = 0;               // characters in the CoreData entry buffer
    std::uint32_t entryCapacity = 0;
    char lastCharacter[2] = {};
    std::uint16_t lastKeyCode = 0;
    std::int32_t* breakCell = nullptr; // Escape stores 1 here when set
    bool comStarted = false;
};

struct FrameLoopState {
    std::uint8_t autoSync = 1;
    std::uint8_t presentEnabled = 1;
    std::uint8_t pumpSleep = 0;
    std::uint32_t frameWait = 0;       // a frame lasts at least this many milliseconds
    std::uint32_t minimumInterval = 0; // frames sooner than this after the last are skipped
    std::uint32_t lastFrameTime = 0;
    std::uint8_t frameSkip = 0;
    std::uint8_t resumeFlag = 0;
    std::uint8_t sceneBegun = 0;
    std::uint8_t sceneSwapAtStart = 1;
    std::uint8_t spritesFirst = 0;
    std::uint32_t cameraMask = 0xFFFFFFFF;
    std::uint8_t windowReady = 0;
    std::uint8_t frameReady = 0;
    std::uint8_t quitSeen = 0;
    std::int32_t* breakRequest = nullptr;
};

extern CoreWindowState g_CoreWindow;
extern FrameLoopState g_FrameLoop;
