#include "core/win32.h"

#include "sound/sound.h"
#include "sound/sound_state.h"
#include "core/core.h"
#include "core/media.h"

#include <cstring>
#include <new>

SoundState g_Sound;

namespace {

SoundState& s = g_Sound;

constexpr DWORD k3DFlags = DSBCAPS_CTRL3D | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLVOLUME;  // 0xB0
constexpr DWORD k2DFlags = DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLFREQUENCY; // 0xE0

void Progress(std::int32_t code) {
    if (s.core) s.core->loadProgress = code;
}

bool EndsWithOgg(const char* name) {
    const std::size_t length = std::strlen(name);
    return length >= 4 && lstrcmpiA(name + length - 4, ".ogg") == 0;
}

// Takes the 3D interface of buffer 0 and writes its parameters back, deferred.
void Attach3D(SoundRecord& r) {
    r.buffer3D = nullptr;
    if (!r.sound || FAILED(r.sound->Query3DBuffer(0, &r.buffer3D))) {
        r.buffer3D = nullptr;
        return;
    }
    DS3DBUFFER parameters{};
    parameters.dwSize = sizeof parameters;
    if (SUCCEEDED(r.buffer3D->GetAllParameters(&parameters)))
        r.buffer3D->SetAllParameters(&parameters, DS3D_DEFERRED);
}

// Makes the sound's buffers inside a load of the file: what its samples make is charged first.
HRESULT CreateLoadedSound(SoundRecord& record, const char* fileName, bool is3D) {
    MediaLoadScope load(MediaFileSize(fileName));
    HRESULT hr = E_OUTOFMEMORY;
    const bool made = load.Guard([&] {
        hr = s.manager->CreateSound(&record.sound, fileName, is3D ? k3DFlags : k2DFlags, GUID_NULL,
                                    1);
        return SUCCEEDED(hr);
    });
    return made && !LoadOverBudget() ? hr : E_OUTOFMEMORY;
}

} // namespace

bool SoundReady() {
    return s.manager && s.manager->Ready();
}

bool ValidSoundNumber(std::int32_t n) {
    return n >= kSoundNumbers.first && n <= kSoundNumbers.last;
}

SoundRecord* CheckedSound(std::int32_t n) {
    s.current = nullptr;
    if (!SoundReady()) return nullptr;
    return s.current = CheckedListItem<SoundRecord>(s.sounds, n, kSoundNumbers);
}

void FreeSoundRecord(std::int32_t n) {
    auto* r = static_cast<SoundRecord*>(s.sounds.Find(n));
    if (!r) return;
    s.sounds.Delete(n);
    DestroySoundRecord(r);
}

void DestroySoundRecord(SoundRecord* r) {
    if (r->buffer3D) r->buffer3D->Release();
    delete r->sound;
    if (s.current == r) s.current = nullptr;
    delete r;
}

namespace {

// The file's sound in a record of its own, under no number yet; null when it gives none (out of
// memory among the reasons).
SoundRecord* LoadSoundRecord(const char* fileName, bool is3D) {
    auto* record = new (std::nothrow) SoundRecord;
    if (!record) return nullptr;
    Progress(15003);
    record->is3D = is3D ? 1 : 0;
    Progress(15004);
    const auto fail = [record] {
        DestroySoundRecord(record);
        return nullptr;
    };
    if (EndsWithOgg(fileName)) return fail();
    Progress(15005);
    Progress(15006);
    WaveFile probe;
    if (FAILED(probe.Open(fileName, nullptr, 1)) || !probe.Format()) return fail();
    if (is3D && probe.Format()->nChannels >= 2) return fail();
    probe.Close();
    Progress(15007);
    Progress(15008);
    const HRESULT hr = CreateLoadedSound(*record, fileName, is3D);
    if (FAILED(hr) || hr == DS_NO_VIRTUALIZATION || !record->sound) return fail();
    Progress(15022);
    record->volume = record->percent2 = 100;
    if (is3D) {
        Progress(15023);
        Attach3D(*record);
        Progress(15024);
    }
    return record;
}

} // namespace

// The record is loaded whole before it takes its number.
bool LoadSoundBody(const char* fileName, std::int32_t n, bool is3D, bool silent) {
    Progress(15001);
    if (!ValidSoundNumber(n))
        return silent ? false : (RaiseRuntimeError(kSoundNumberIllegal), false);
    if (s.sounds.Find(n)) return silent ? false : (RaiseRuntimeError(kSoundExists), false);
    if (!fileName || !fileName[0])
        return silent ? false : (RaiseRuntimeError(kSoundNotLoadable), false);
    Progress(15002);
    SoundRecord* record = LoadSoundRecord(fileName, is3D);
    if (!record || s.sounds.Add(n, record, 0, 1) == 0) {
        if (record) DestroySoundRecord(record);
        return silent ? false : (RaiseRuntimeError(kSoundNotLoadable), false);
    }
    s.current = record;
    Progress(15031);
    return true;
}

void LoadSoundThroughHooks(const char* fileName, std::int32_t n, bool is3D) {
    // No name goes on to the body, whose number checks come first.
    MediaName name;
    if (fileName && !PrepareMediaName(s.core, fileName, name)) {
        if (SoundReady()) RaiseRuntimeError(kSoundNotLoadable);
        return;
    }
    LoadSoundBody(fileName ? name.text : nullptr, n, is3D, false);
    FinishMediaName(s.core, name);
}

bool ReplaceSoundWithFile(const char* fileName, std::int32_t n) {
    MediaName name;
    if (!PrepareMediaName(s.core, fileName, name)) {
        RaiseRuntimeError(kSoundNotLoadable);
        return false;
    }
    SoundRecord* record = LoadSoundRecord(name.text, false);
    FinishMediaName(s.core, name);
    // A number in use takes the new record in its node, which needs no memory.
    auto* old = static_cast<SoundRecord*>(s.sounds.Find(n));
    if (!record || s.sounds.Add(n, record, 0, 1) == 0) {
        if (record) DestroySoundRecord(record);
        RaiseRuntimeError(kSoundNotLoadable);
        return false;
    }
    if (old) DestroySoundRecord(old);
    s.current = record;
    return true;
}

void SoundConstructor(HWND window) {
    s.window = window;
    delete s.manager;
    s.manager = new (std::nothrow) SoundManager;
    if (!s.manager || FAILED(s.manager->Initialize(window ? window : GetDesktopWindow(),
                                                   DSSCL_PRIORITY, 2, 22050, 16)))
        return;
    if (FAILED(s.manager->Get3DListener(&s.listener))) {
        s.listener = nullptr;
        return;
    }
    s.listener->SetDistanceFactor(1.0f, DS3D_DEFERRED);
    s.listener->SetPosition(0, 0, 0, DS3D_DEFERRED);
    s.listener->SetOrientation(0, 0, 1, 0, 1, 0, DS3D_DEFERRED);
    s.listener->SetRolloffFactor(1.0f, DS3D_DEFERRED);
    s.listener->SetVelocity(0, 0, 0, DS3D_DEFERRED);
    s.listener->SetDopplerFactor(1.0f, DS3D_DEFERRED);
}

void SoundDestructor() {
    DiscardRecording();
    while (s.sounds.first)
        FreeSoundRecord(s.sounds.first->id);
    if (s.listener) s.listener->Release();
    s.listener = nullptr;
    delete s.manager;
    s.manager = nullptr;
    s.current = nullptr;
}

void SoundSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void SoundPassCoreData(CoreData* core) {
    s.core = core;
}
void SoundRefreshD3D(std::int32_t) {}

void SoundUpdate() {
    for (IdListNode* node = s.sounds.first; node; node = node->next) {
        auto* r = static_cast<SoundRecord*>(node->data);
        IDirectSoundBuffer* buffer = r->sound ? r->sound->BufferAt(0) : nullptr;
        if (!buffer || !r->playing) continue;
        if (r->looping) {
            DWORD cursor = 0;
            if (r->loopStart != 0xFFFFFFFF &&
                SUCCEEDED(buffer->GetCurrentPosition(&cursor, nullptr)) &&
                (cursor < r->loopStart || cursor > r->loopEnd))
                buffer->SetCurrentPosition(r->loopStart);
        } else {
            DWORD status = 0;
            if (SUCCEEDED(buffer->GetStatus(&status)) && !(status & DSBSTATUS_PLAYING))
                r->playing = 0;
        }
    }
    if (!s.listener) return;
    if (++s.commitCounter > 1) {
        s.listener->CommitDeferredSettings();
        s.commitCounter = 0;
    }
}

void LoadSound(const char* fileName, std::int32_t n) {
    if (SoundReady()) LoadSoundThroughHooks(fileName, n, false);
}

void LoadSoundExport(const char* fileName, std::int32_t n) {
    LoadSound(fileName, n);
}

std::int32_t SoundExistExport(std::int32_t n) {
    return SoundExist(n);
}

void Load3DSound(const char* fileName, std::int32_t n) {
    if (SoundReady()) LoadSoundThroughHooks(fileName, n, true);
}

void CloneSound(std::int32_t n, std::int32_t existing) {
    if (!SoundReady()) return;
    SoundRecord* source = CheckedSound(existing);
    if (!source) return;
    if (!CheckItemNumber(n, kSoundNumbers)) return;
    if (s.sounds.Find(n)) return RaiseRuntimeError(kSoundExists);
    auto* record = new (std::nothrow) SoundRecord(*source);
    if (!record) return RaiseRuntimeError(kSoundNotCloned);
    record->sound = nullptr;
    record->buffer3D = nullptr;
    if (s.sounds.Add(n, record, 0, 1) == 0) {
        delete record;
        return RaiseRuntimeError(kSoundNotCloned);
    }
    s.current = record;
    source->sound->StopAll();
    if (FAILED(s.manager->DuplicateSound(source->sound, &record->sound)) || !record->sound) {
        FreeSoundRecord(n); // a clone without buffers would be reached by every command
        return RaiseRuntimeError(kSoundNotCloned);
    }
    if (source->is3D) Attach3D(*record);
}

void DeleteSound(std::int32_t n) {
    if (CheckedSound(n)) FreeSoundRecord(n);
}
