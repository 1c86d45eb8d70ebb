#include "core/win32.h"

#include "sound/sound.h"
#include "sound/sound_state.h"
#include "core/core.h"
#include "core/media.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

SoundState& s = g_Sound;

// Paths in the temporary data folder are built in place: nothing here runs out of memory.
struct TempPath {
    char text[2 * MAX_PATH] = {};
};

// The folder and the name; a folder too long to tell gives the name after a backslash, as an
// empty folder would.
TempPath TempFile(const char* name) {
    char folder[MAX_PATH] = {};
    GetTempDataFolder(folder, sizeof folder);
    TempPath path;
    std::snprintf(path.text, sizeof path.text, "%s\\%s", folder, name);
    return path;
}

TempPath RecordingFile(std::int32_t n) {
    char name[32];
    std::snprintf(name, sizeof name, "tempfile%d.wav", static_cast<int>(n));
    return TempFile(name);
}

bool Exists(const char* name) {
    return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
}

// The driver records on a thread of its own, which is still in the driver's code for a moment
// after a stop, and closing the last waveaudio device unloads the driver: a crash when that thread
// comes back. So a stopped recording's device stays open until the next recording or the end of
// the module, and is closed no sooner than half a second after its stop.
constexpr DWORD kCloseDelay = 500;

void CloseStoppedDevice() {
    if (!s.stoppedDevice) return;
    const DWORD age = GetTickCount() - s.stoppedAt;
    if (age < kCloseDelay) Sleep(kCloseDelay - age);
    mciSendCommandA(s.stoppedDevice, MCI_CLOSE, 0, 0);
    s.stoppedDevice = 0;
}

void StopRecordingDevice() {
    mciSendCommandA(s.recordDevice, MCI_STOP, MCI_WAIT, 0);
    CloseStoppedDevice();
    s.stoppedDevice = s.recordDevice;
    s.stoppedAt = GetTickCount();
    s.recordDevice = 0;
}

} // namespace

void DiscardRecording() {
    if (s.recordDevice) StopRecordingDevice();
    CloseStoppedDevice();
}

void GetTempDataFolder(char* path, std::uint32_t size) {
    if (!path || size == 0) return;
    path[0] = 0;
    char temp[MAX_PATH] = {}, current[MAX_PATH] = {};
    const DWORD length = GetTempPathA(MAX_PATH, temp);
    if (length >= MAX_PATH) temp[0] = 0;
    GetCurrentDirectoryA(MAX_PATH, current);
    // The path without its closing backslash.
    const std::size_t kept = std::strlen(temp);
    if (kept > 0 && temp[kept - 1] == '\\') temp[kept - 1] = 0;
    char folder[2 * MAX_PATH] = {};
    if (kept > 0 && lstrcmpiA(temp, current) != 0) {
        std::snprintf(folder, sizeof folder, "%s\\tuldata", temp);
    } else {
        // The temporary folder is the current one: use "temp" under the Windows folder instead.
        char windows[MAX_PATH] = {};
        GetWindowsDirectoryA(windows, MAX_PATH);
        std::snprintf(folder, sizeof folder, "%s\\temp", windows);
        CreateDirectoryA(folder, nullptr);
        std::snprintf(folder, sizeof folder, "%s\\temp\\tuldata", windows);
    }
    CreateDirectoryA(folder, nullptr);
    const std::size_t made = std::strlen(folder);
    if (made < size) std::memcpy(path, folder, made + 1);
}

void RecordSound(std::int32_t n, std::int32_t milliseconds) {
    if (!SoundReady()) return;
    if (!CheckItemNumber(n, kSoundNumbers)) return;
    DiscardRecording(); // a recording still running: its number is about to be forgotten
    s.recordNumber = n;
    FreeSoundRecord(n);
    MCI_OPEN_PARMSA open{};
    open.lpstrDeviceType = "waveaudio";
    open.lpstrElementName = "";
    if (mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT,
                        reinterpret_cast<DWORD_PTR>(&open)) != 0)
        return;
    s.recordDevice = open.wDeviceID;
    MCI_RECORD_PARMS record{};
    // A recording "to 0" never ends in the driver, and the stop that the next recording sends
    // then waits for ever: the shortest recording is one millisecond.
    record.dwTo = static_cast<DWORD>(milliseconds > 1 ? milliseconds : 1);
    if (mciSendCommandA(s.recordDevice, MCI_RECORD, MCI_TO, reinterpret_cast<DWORD_PTR>(&record)) !=
        0) {
        mciSendCommandA(s.recordDevice, MCI_CLOSE, 0, 0);
        s.recordDevice = 0;
    }
}

void StopRecordingSound() {
    if (!SoundReady() || !s.recordDevice) return;
    const MCIDEVICEID device = s.recordDevice;
    StopRecordingDevice();
    const TempPath file = RecordingFile(s.recordNumber);
    DeleteFileA(file.text);
    MCI_SAVE_PARMSA save{};
    save.lpfilename = file.text;
    if (mciSendCommandA(device, MCI_SAVE, MCI_SAVE_FILE | MCI_WAIT,
                        reinterpret_cast<DWORD_PTR>(&save)) == 0) {
        // The recording takes the number only once it has loaded: a load that fails (out of
        // memory among the reasons) leaves what the number held.
        if (!Exists(file.text)) {
            FreeSoundRecord(s.recordNumber);
        } else if (ReplaceSoundWithFile(file.text, s.recordNumber)) {
            static_cast<SoundRecord*>(s.sounds.Find(s.recordNumber))->recorded = 1;
        }
    }
}

void SaveSound(const char* fileName, std::int32_t n) {
    SoundRecord* r = CheckedSound(n);
    if (!r) return;
    const TempPath file = RecordingFile(n);
    if (r->recorded && !Exists(file.text)) r->recorded = 0;
    if (!r->recorded) return RaiseRuntimeError(kSoundNotSaved);
    // The copy replaces an existing file only once it is whole; no name saves nothing.
    if (!fileName || !CoreCopyWholeFile(file.text, fileName, true))
        RaiseRuntimeError(kSoundNotSaved);
}

// The new sound is made whole before it takes the number: a refused or failed make (out of memory
// among them) leaves sound n as it was.
bool MakeSoundFromData(std::int32_t n, const std::uint8_t* data, std::uint32_t size,
                       const WAVEFORMATEX* format) {
    if (!SoundReady()) return false;
    if (!CheckItemNumber(n, kSoundNumbers)) return false;
    if (!data || !format || size == 0) return false;
    auto* record = new (std::nothrow) SoundRecord;
    if (!record) return false;
    const TempPath file = TempFile("tempfile.wav");
    DeleteFileA(file.text);
    if (!WriteWaveFile(file.text, data, size, format) ||
        FAILED(s.manager->CreateSound(&record->sound, file.text,
                                      DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLFREQUENCY,
                                      GUID_NULL, 1)) ||
        !record->sound) {
        DestroySoundRecord(record);
        return false;
    }
    DeleteFileA(file.text);
    // A number in use takes the new record in its node, which needs no memory.
    auto* old = static_cast<SoundRecord*>(s.sounds.Find(n));
    if (s.sounds.Add(n, record, 0, 1) == 0) {
        DestroySoundRecord(record);
        return false;
    }
    if (old) DestroySoundRecord(old);
    s.current = record;
    return true;
}

void MakeSoundFromDataExport(std::int32_t n, std::int32_t, std::int32_t, std::int32_t,
                             const std::uint8_t* data, std::uint32_t size, WAVEFORMATEX format) {
    MakeSoundFromData(n, data, size, &format);
}

void MakeMemblockFromSound(std::int32_t n, std::uint32_t* bitsPerSecond,
                           std::uint32_t* samplesTimesChannels, std::uint32_t* seconds,
                           std::uint8_t** data, std::uint32_t* size, std::uint8_t mode,
                           WAVEFORMATEX* format) {
    if (mode != 1) {
        if (data && *data) std::free(*data);
        if (data) *data = nullptr;
        return;
    }
    const auto* r = SoundReady() ? static_cast<const SoundRecord*>(s.sounds.Find(n)) : nullptr;
    if (!r || !r->sound || !r->sound->Data() || !r->sound->Format()) return;
    const WAVEFORMATEX& f = *r->sound->Format();
    if (format) std::memcpy(format, &f, sizeof(WAVEFORMATEX));
    const std::uint32_t bytesPerSample = f.wBitsPerSample / 8 ? f.wBitsPerSample / 8 : 1;
    if (samplesTimesChannels) *samplesTimesChannels = f.nAvgBytesPerSec / bytesPerSample;
    if (bitsPerSecond) *bitsPerSecond = f.nAvgBytesPerSec * 8;
    if (seconds) *seconds = f.nAvgBytesPerSec ? r->sound->Size() / f.nAvgBytesPerSec : 0;
    auto* block = static_cast<std::uint8_t*>(std::malloc(r->sound->Size() ? r->sound->Size() : 1));
    if (!block) return RaiseRuntimeError(kMemblockNoMemory); // the block's error: no copy to give
    std::memcpy(block, r->sound->Data(), r->sound->Size());
    if (data)
        *data = block;
    else
        std::free(block);
    if (size) *size = r->sound->Size();
}
