// Sound module: numbered sounds played through DirectSound 8 (2D and 3D), the 3D listener, the
// per-frame update of loops and play state, recording, and sounds made from raw data. Sound
// numbers are 1 to 22000000 (3001 otherwise, 3004 for a missing sound). Every command does
// nothing while DirectSound could not be started.
#pragma once

#include "core/core_data.h"

#include <cstdint>

void SoundConstructor(HWND window);
void SoundDestructor();
void SoundSetErrorHandler(RuntimeErrorRecord* cell);
void SoundPassCoreData(CoreData* core);
void SoundRefreshD3D(std::int32_t mode);
void SoundUpdate();

void LoadSound(const char* fileName, std::int32_t n);
void LoadSoundExport(const char* fileName, std::int32_t n);
void Load3DSound(const char* fileName, std::int32_t n);
void CloneSound(std::int32_t n, std::int32_t existing);
void DeleteSound(std::int32_t n);
void PlaySound(std::int32_t n);
void PlaySoundEx(std::int32_t n, std::int32_t position);
// start and end bound the loop (bytes; -1 = the whole sound); initial is where play begins.
void LoopSound(std::int32_t n, std::int32_t start = -1, std::int32_t end = -1,
               std::int32_t initial = -1);
void StopSound(std::int32_t n);
void PauseSound(std::int32_t n);
void ResumeSound(std::int32_t n);
void SetSoundPan(std::int32_t n, std::int32_t pan);
void SetSoundSpeed(std::int32_t n, std::int32_t frequency);
void SetSoundVolume(std::int32_t n, std::int32_t volume);
std::int32_t SoundExist(std::int32_t n);
std::int32_t SoundType(std::int32_t n);
std::int32_t SoundPlaying(std::int32_t n);
std::int32_t SoundLooping(std::int32_t n);
std::int32_t SoundPaused(std::int32_t n);
std::int32_t SoundPan(std::int32_t n);
std::int32_t SoundSpeed(std::int32_t n);
std::int32_t SoundVolume(std::int32_t n);
float SoundPositionX(std::int32_t n);
float SoundPositionY(std::int32_t n);
float SoundPositionZ(std::int32_t n);
float GetSoundPositionX(std::int32_t n);
float GetSoundPositionY(std::int32_t n);
float GetSoundPositionZ(std::int32_t n);
void PositionSound(std::int32_t n, float x, float y, float z);
void PositionListener(float x, float y, float z);
void RotateListener(float ax, float ay, float az);
void ScaleListener(float scale);
float ListenerPositionX();
float ListenerPositionY();
float ListenerPositionZ();
float ListenerAngleX();
float ListenerAngleY();
float ListenerAngleZ();
void SoundNotAvailable();
float SoundVelocityX(std::int32_t n);
float SoundVelocityY(std::int32_t n);
float SoundVelocityZ(std::int32_t n);
float ListenerVelocityX();
float ListenerVelocityY();
float ListenerVelocityZ();

// Recording and sounds from data.
void RecordSound(std::int32_t n, std::int32_t milliseconds = 5000);
void StopRecordingSound();
void SaveSound(const char* fileName, std::int32_t n);
// The folder "tuldata" in the system's temporary folder, made on demand.
void GetTempDataFolder(char* path, std::uint32_t size);
bool MakeSoundFromData(std::int32_t n, const std::uint8_t* data, std::uint32_t size,
                       const WAVEFORMATEX* format);
void MakeSoundFromDataExport(std::int32_t n, std::int32_t unused1, std::int32_t unused2,
                             std::int32_t unused3, const std::uint8_t* data, std::uint32_t size,
                             WAVEFORMATEX format);
// mode 1: the sound's format and a copy of its data (free it with mode 0).
void MakeMemblockFromSound(std::int32_t n, std::uint32_t* bitsPerSecond,
                           std::uint32_t* samplesTimesChannels, std::uint32_t* seconds,
                           std::uint8_t** data, std::uint32_t* size, std::uint8_t mode,
                           WAVEFORMATEX* format);
