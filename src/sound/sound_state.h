// The sound module's state, shared by its source files only.
#pragma once

#include "core/core_data.h"
#include "core/idlist.h"
#include "core/item_lookup.h"
#include "sound/sound_classes.h"
#include "core/error_numbers.h"

#include <cstdint>

struct SoundRecord {
    SoundBufferSet* sound = nullptr; // owned
    IDirectSound3DBuffer* buffer3D = nullptr;
    std::uint8_t is3D = 0;
    std::uint8_t playing = 0;
    std::uint8_t looping = 0;
    std::uint8_t paused = 0;
    std::int32_t volume = 100;
    std::int32_t percent2 = 100;
    std::uint8_t recorded = 0;
    std::uint32_t loopStart = 0xFFFFFFFF;
    std::uint32_t loopEnd = 0xFFFFFFFF;
    float position[3] = {};
    float sentPosition[3] = {};
};

// Written only by the sound module, on the main thread. Sound owns no Direct3D objects, so a device
// reset changes nothing here (its RefreshD3D does nothing); everything lives from the Constructor
// to the Destructor, which deletes the sounds and the DirectSound objects.
struct SoundState {
    HWND window = nullptr;
    SoundManager* manager = nullptr; // null, or not Ready, when there is no audio device
    IDirectSound3DListener* listener = nullptr;
    CoreData* core = nullptr;
    IdList sounds;                  // number -> SoundRecord
    SoundRecord* current = nullptr; // the last lookup's record
    MCIDEVICEID recordDevice = 0;
    MCIDEVICEID stoppedDevice = 0; // a stopped recording's device, closed later
    DWORD stoppedAt = 0;
    std::int32_t recordNumber = 0;
    std::int32_t commitCounter = 0;
    float listenerPosition[3] = {};
    float listenerAngles[3] = {};
};

extern SoundState g_Sound;

// Stops a recording in progress without keeping it, and closes the device of the last one.
void DiscardRecording();

constexpr ItemNumbers kSoundNumbers{1, 22000000, kSoundNumberIllegal, kSoundMissing};

bool SoundReady();
bool ValidSoundNumber(std::int32_t n);
// The sound for a command (3001, 3004 raised otherwise); null also while the module is not ready.
SoundRecord* CheckedSound(std::int32_t n);
void FreeSoundRecord(std::int32_t n);
// Releases a record that is no longer in the list, and the sound it holds.
void DestroySoundRecord(SoundRecord* r);
// Loads a wave file as sound n; silent: the number checks raise nothing.
bool LoadSoundBody(const char* fileName, std::int32_t n, bool is3D, bool silent);
void LoadSoundThroughHooks(const char* fileName, std::int32_t n, bool is3D);
// Loads the file (through the hooks) as a 2D sound in place of sound n, which stays as it was
// when the load fails (3002).
bool ReplaceSoundWithFile(const char* fileName, std::int32_t n);
