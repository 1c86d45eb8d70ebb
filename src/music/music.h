// Music module: numbered pieces of music, audio-CD tracks through MCI strings and music files each
// played by a DirectShow filter graph, with an update that notices when a piece has ended.
#pragma once

#include "core/core_data.h"

#include <cstdint>

void MusicConstructor(HWND);
void MusicDestructor();
void MusicSetErrorHandler(RuntimeErrorRecord* cell);
void MusicPassCoreData(CoreData* core);
void MusicRefreshD3D(std::int32_t mode);
void MusicUpdate();

void LoadMusicFile(const char* fileName, std::int32_t n);
void LoadCdMusic(std::int32_t track, std::int32_t n);
void DeleteMusic(std::int32_t n);
void PlayMusic(std::int32_t n);
void LoopMusic(std::int32_t n);
void StopMusic(std::int32_t n);
void PauseMusic(std::int32_t n);
void ResumeMusic(std::int32_t n);
void SetMusicVolume(std::int32_t n, std::int32_t volume);
void SetMusicSpeed(std::int32_t n, std::int32_t speed);
std::int32_t MusicExist(std::int32_t n);
std::int32_t MusicPlaying(std::int32_t n);
std::int32_t MusicLooping(std::int32_t n);
std::int32_t MusicPaused(std::int32_t n);
std::int32_t GetMusicVolume(std::int32_t n);
std::int32_t GetMusicSpeed(std::int32_t n);
std::int32_t GetCdTrackCount();

// The MCI command strings go through this sender (mciSendStringA by default), so that the CD
// paths can be followed on machines without a CD drive. Null restores the default.
using MciSender = MCIERROR (*)(const char* command, char* reply, UINT replySize, HWND callback);
void SetMciSender(MciSender sender);
// The value sent to IBasicAudio::put_Volume for a music volume (100 = full).
long MusicFileVolume(std::int32_t volume);
