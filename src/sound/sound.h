// Sound module: numbered sounds played through DirectSound 8 (2D and 3D), the 3D listener, the
// per-frame update of loops and play state, recording, and sounds made from raw data. Sound
// numbers are 1 to 22000000 (3001 otherwise, 3004 for a missing sound). Every command does
// nothing while DirectSound could not be started.
#pragma once

#include "core/core_data.h"

#include <cstdint>

// Start entry: the core's start sequence readies the module with it, once.
void SoundConstructor(HWND window);
// Stop entry: releases everything the module holds.
void SoundDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void SoundSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData.
void SoundPassCoreData(CoreData* core);
// Around every device re-creation: mode 0 before (release), mode 1 after (rebuild).
void SoundRefreshD3D(std::int32_t mode);
// Once a frame, from the frame loop.
void SoundUpdate();

// Loads a wave file as a 2D sound (3002 when it cannot be read, 3003 when n is taken).
void LoadSound(const char* fileName, std::int32_t n);
// The same, for the link table.
void LoadSoundExport(const char* fileName, std::int32_t n);
// Loads a wave file as a sound placed in 3D space.
void Load3DSound(const char* fileName, std::int32_t n);
// A second sound n sharing existing's data (3021 when it cannot be made).
void CloneSound(std::int32_t n, std::int32_t existing);
// Stops and frees sound n.
void DeleteSound(std::int32_t n);
// Plays the sound once from its start.
void PlaySound(std::int32_t n);
// Plays the sound once from a byte position (3000 outside 0 to 22000000).
void PlaySoundEx(std::int32_t n, std::int32_t position);
// start and end bound the loop (bytes; -1 = the whole sound); initial is where play begins.
void LoopSound(std::int32_t n, std::int32_t start = -1, std::int32_t end = -1,
               std::int32_t initial = -1);
// Stops the sound.
void StopSound(std::int32_t n);
// Stops the sound where it is.
void PauseSound(std::int32_t n);
// Goes on from where the sound was paused.
void ResumeSound(std::int32_t n);
// The pan, -10000 (left) to 10000 (right); 3007 otherwise.
void SetSoundPan(std::int32_t n, std::int32_t pan);
// The playback frequency in Hz, 100 to 100000 (3006 otherwise).
void SetSoundSpeed(std::int32_t n, std::int32_t frequency);
// The volume in percent, 0 to 100 (3005 otherwise).
void SetSoundVolume(std::int32_t n, std::int32_t volume);
// 1 when sound n exists.
std::int32_t SoundExist(std::int32_t n);
// The same, for the link table (the multiplayer module checks sounds before sending them).
std::int32_t SoundExistExport(std::int32_t n);
// 1 for a 3D sound, 0 for a 2D one.
std::int32_t SoundType(std::int32_t n);
// 1 while the sound plays.
std::int32_t SoundPlaying(std::int32_t n);
// 1 while the sound loops.
std::int32_t SoundLooping(std::int32_t n);
// 1 while the sound is paused.
std::int32_t SoundPaused(std::int32_t n);
// The pan, -10000 to 10000.
std::int32_t SoundPan(std::int32_t n);
// The playback frequency in Hz.
std::int32_t SoundSpeed(std::int32_t n);
// The volume in percent.
std::int32_t SoundVolume(std::int32_t n);
// A 3D sound's x position in engine units.
float SoundPositionX(std::int32_t n);
// A 3D sound's y position in engine units.
float SoundPositionY(std::int32_t n);
// A 3D sound's z position in engine units.
float SoundPositionZ(std::int32_t n);
// The stored x position in DirectSound units, without the number checks.
float GetSoundPositionX(std::int32_t n);
// The stored y position in DirectSound units, without the number checks.
float GetSoundPositionY(std::int32_t n);
// The stored z position in DirectSound units, without the number checks.
float GetSoundPositionZ(std::int32_t n);
// Places a 3D sound (engine units: a hundredth of DirectSound's). A position that is not finite
// is stored but never sent to DirectSound, which keeps the last finite one.
void PositionSound(std::int32_t n, float x, float y, float z);
// Places the listener (engine units); as PositionSound, only a finite position is sent.
void PositionListener(float x, float y, float z);
// Turns the listener to the angles in degrees; angles that are not finite turn nothing.
void RotateListener(float ax, float ay, float az);
// Sets every 3D sound's minimum distance (the maximum is 3000 times it); a scale whose maximum
// is not finite changes nothing.
void ScaleListener(float scale);
// The listener's x position.
float ListenerPositionX();
// The listener's y position.
float ListenerPositionY();
// The listener's z position.
float ListenerPositionZ();
// The listener's angle about x in degrees.
float ListenerAngleX();
// The listener's angle about y in degrees.
float ListenerAngleY();
// The listener's angle about z in degrees.
float ListenerAngleZ();
// Commands that do not exist in this engine: error 116.
void SoundNotAvailable();
// Velocities are not kept: always 0.
float SoundVelocityX(std::int32_t n);
// Always 0.
float SoundVelocityY(std::int32_t n);
// Always 0.
float SoundVelocityZ(std::int32_t n);
// Always 0.
float ListenerVelocityX();
// Always 0.
float ListenerVelocityY();
// Always 0.
float ListenerVelocityZ();

// Recording and sounds from data.
void RecordSound(std::int32_t n, std::int32_t milliseconds = 5000);
// Ends a recording and keeps it as the sound.
void StopRecordingSound();
// Copies a recorded sound's wave file to fileName, replacing a file of that name only once the
// copy is whole; 3008 for a sound not recorded, no name, or a copy that failed (the old file
// kept).
void SaveSound(const char* fileName, std::int32_t n);
// The folder "tuldata" in the system's temporary folder, made on demand.
void GetTempDataFolder(char* path, std::uint32_t size);
// Makes sound n from PCM data in the given format; true when it worked.
bool MakeSoundFromData(std::int32_t n, const std::uint8_t* data, std::uint32_t size,
                       const WAVEFORMATEX* format);
// The same, for the link table (the three unused words are ignored).
void MakeSoundFromDataExport(std::int32_t n, std::int32_t unused1, std::int32_t unused2,
                             std::int32_t unused3, const std::uint8_t* data, std::uint32_t size,
                             WAVEFORMATEX format);
// mode 1: the sound's format and a copy of its data (free it with mode 0); 5104 when there is no
// memory for the copy.
void MakeMemblockFromSound(std::int32_t n, std::uint32_t* bitsPerSecond,
                           std::uint32_t* samplesTimesChannels, std::uint32_t* seconds,
                           std::uint8_t** data, std::uint32_t* size, std::uint8_t mode,
                           WAVEFORMATEX* format);
