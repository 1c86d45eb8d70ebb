#include "core/win32.h"

#include "sound/sound.h"
#include "sound/sound_state.h"
#include "core/core.h"
#include "core/media.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

SoundState& s = g_Sound;

std::string TempDataFolder() {
    char path[MAX_PATH] = {};
    GetTempDataFolder(path, sizeof path);
    return path;
}

std::string RecordingFile(std::int32_t n) {
    return TempDataFolder() + "\\tempfile" + std::to_string(n) + ".wav";
}

bool Exists(const std::string& name) {
    return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
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
    GetCurrentDirectoryA(MAX_PATH, current);
    std::string folder;
    std::string tempPath(temp, length < MAX_PATH ? length : 0);
    std::string compared = tempPath;
    if (!compared.empty() && compared.back() == '\\') compared.pop_back();
    if (!tempPath.empty() && lstrcmpiA(compared.c_str(), current) != 0) {
        if (tempPath.back() == '\\') tempPath.pop_back();
        folder = tempPath + "\\tuldata";
    } else {
        // The temporary folder is the current one: use "temp" under the Windows folder instead.
        char windows[MAX_PATH] = {};
        GetWindowsDirectoryA(windows, MAX_PATH);
        CreateDirectoryA((std::string(windows) + "\\temp").c_str(), nullptr);
        folder = std::string(windows) + "\\temp\\tuldata";
    }
    CreateDirectoryA(folder.c_str(), nullptr);
    if (folder.size() < size) std::memcpy(path, folder.c_str(), folder.size() + 1);
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
    std::string file = RecordingFile(s.recordNumber);
    DeleteFileA(file.c_str());
    MCI_SAVE_PARMSA save{};
    save.lpfilename = file.c_str();
    if (mciSendCommandA(device, MCI_SAVE, MCI_SAVE_FILE | MCI_WAIT,
                        reinterpret_cast<DWORD_PTR>(&save)) == 0) {
        FreeSoundRecord(s.recordNumber);
        if (Exists(file)) {
            LoadSoundThroughHooks(file.c_str(), s.recordNumber, false);
            if (auto* r = static_cast<SoundRecord*>(s.sounds.Find(s.recordNumber))) r->recorded = 1;
        }
    }
}

void SaveSound(const char* fileName, std::int32_t n) {
    SoundRecord* r = CheckedSound(n);
    if (!r) return;
    const std::string file = RecordingFile(n);
    if (r->recorded && !Exists(file)) r->recorded = 0;
    if (!r->recorded) return RaiseRuntimeError(kSoundNotSaved);
    // The copy replaces an existing file only once it is whole; no name saves nothing.
    if (!fileName || !CoreCopyWholeFile(file.c_str(), fileName, true))
        RaiseRuntimeError(kSoundNotSaved);
}

bool MakeSoundFromData(std::int32_t n, const std::uint8_t* data, std::uint32_t size,
                       const WAVEFORMATEX* format) {
    if (!SoundReady()) return false;
    if (!CheckItemNumber(n, kSoundNumbers)) return false;
    FreeSoundRecord(n);
    if (!data || !format || size == 0) return false;
    auto* record = new (std::nothrow) SoundRecord;
    if (!record) return false;
    if (s.sounds.Add(n, record, 0, 1) == 0) {
        delete record;
        return false;
    }
    s.current = record;
    const std::string file = TempDataFolder() + "\\tempfile.wav";
    DeleteFileA(file.c_str());
    if (WriteWaveFile(file.c_str(), data, size, format) &&
        SUCCEEDED(s.manager->CreateSound(
            &record->sound, file.c_str(),
            DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLFREQUENCY, GUID_NULL, 1)) &&
        record->sound) {
        DeleteFileA(file.c_str());
        return true;
    }
    FreeSoundRecord(n); // a number without buffers would be reached by every command
    return false;
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
    if (!block) return;
    std::memcpy(block, r->sound->Data(), r->sound->Size());
    if (data)
        *data = block;
    else
        std::free(block);
    if (size) *size = r->sound->Size();
}
