// The frame loop: one Sync is one paced, rendered and presented frame.
#pragma once

#include <cstdint>

std::int32_t Sync();
void FastSync();
void SyncOn();  // manual mode: frames only through Sync and FastSync
void SyncOff(); // automatic mode: every ProcessMessages renders a frame
// rate > 0: frames last at least 900 / rate ms; rate < 0: frames sooner than -rate ms after the
// last one are skipped; 0: no limit.
void SetSyncRate(std::int32_t rate);
void RenderFrame();

// 1 once a quit message has been taken from the queue.
std::int32_t PumpMessages();
std::int32_t ProcessMessages();
void AutoSyncFrame();
std::int32_t ProcessMessagesOrBreak(std::uint32_t value);
void SetBreakRequestPointer(std::int32_t* pointer);
void RunModuleUpdateHooks();
bool EngineLoopActive();

void SetSceneSwapAtSyncStart();
void SetSceneSwapAtSyncEnd();
void DrawSpritesFirst();
void DrawSpritesLast();
void SetCameraMask(std::uint32_t mask);
void SetCoreFlagResumeFrames();
void ClearResumeFramesFlag();
