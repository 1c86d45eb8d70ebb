// Music module: numbered pieces of music, audio-CD tracks through MCI strings and music files each
// played by a DirectShow filter graph, with an update that notices when a piece has ended.
#pragma once

#include "core/core_data.h"

#include <cstdint>

// Start entry: the core's start sequence readies the module with it, once.
void MusicConstructor(HWND);
// Stop entry: releases everything the module holds.
void MusicDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void MusicSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData.
void MusicPassCoreData(CoreData* core);
// Around every device re-creation: mode 0 before (release), mode 1 after (rebuild).
void MusicRefreshD3D(std::int32_t mode);
// Once a frame, from the frame loop.
void MusicUpdate();

// Loads a music file through DirectShow (3502 when it cannot, 3503 when n is taken).
void LoadMusicFile(const char* fileName, std::int32_t n);
// Makes n a CD audio track (3508 for a bad track).
void LoadCdMusic(std::int32_t track, std::int32_t n);
// Stops and frees music n.
void DeleteMusic(std::int32_t n);
// Plays the music once from its start.
void PlayMusic(std::int32_t n);
// Plays the music over and over.
void LoopMusic(std::int32_t n);
// Stops the music.
void StopMusic(std::int32_t n);
// Stops the music where it is.
void PauseMusic(std::int32_t n);
// Goes on from where the music was paused.
void ResumeMusic(std::int32_t n);
// The volume in percent (100 = full).
void SetMusicVolume(std::int32_t n, std::int32_t volume);
// The playback speed in percent (3506 below 0).
void SetMusicSpeed(std::int32_t n, std::int32_t speed);
// 1 when music n exists.
std::int32_t MusicExist(std::int32_t n);
// 1 while the music plays.
std::int32_t MusicPlaying(std::int32_t n);
// 1 while the music loops.
std::int32_t MusicLooping(std::int32_t n);
// 1 while the music is paused.
std::int32_t MusicPaused(std::int32_t n);
// The volume in percent.
std::int32_t GetMusicVolume(std::int32_t n);
// The speed in percent.
std::int32_t GetMusicSpeed(std::int32_t n);
// The tracks on the CD, 0 without one.
std::int32_t GetCdTrackCount();

// The MCI command strings go through this sender (mciSendStringA by default), so that the CD
// paths can be followed on machines without a CD drive. Null restores the default.
using MciSender = MCIERROR (*)(const char* command, char* reply, UINT replySize, HWND callback);
void SetMciSender(MciSender sender);
// The value sent to IBasicAudio::put_Volume for a music volume (100 = full).
long MusicFileVolume(std::int32_t volume);
// The value a CD volume gives the speaker volume control of that range (both ends kept).
DWORD MusicCdVolumeValue(DWORD minimum, DWORD maximum, std::int32_t volume);
