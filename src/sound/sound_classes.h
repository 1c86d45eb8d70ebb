// DirectSound holders: the manager of the IDirectSound8 interface, a set of buffers over one
// sound's data, and a streaming sound fed through position notifications.
#pragma once

#include "core/win32.h"
#include "core/com_ptr.h"
#include "sound/wave_file.h"

#include <cstdint>

class SoundBufferSet {
public:
    SoundBufferSet() = default;
    // Takes the buffers over, loads buffer 0 from the wave and rewinds them all.
    SoundBufferSet(IDirectSoundBuffer** buffers, std::uint32_t size, std::uint32_t count,
                   WaveFile* wave);
    virtual ~SoundBufferSet();
    SoundBufferSet(const SoundBufferSet&) = delete;
    SoundBufferSet& operator=(const SoundBufferSet&) = delete;

    IDirectSoundBuffer* BufferAt(std::uint32_t i) const;
    HRESULT Query3DBuffer(std::uint32_t i, IDirectSound3DBuffer** out) const;
    HRESULT StopAll();
    HRESULT RewindAll();
    bool AnyPlaying() const;
    IDirectSoundBuffer* PickIdleBuffer() const;
    // Restores a lost buffer (a bounded number of tries); S_FALSE when it was not lost.
    HRESULT RecoverBuffer(IDirectSoundBuffer* buffer, bool* restored);
    HRESULT LoadBufferData(IDirectSoundBuffer* buffer, bool repeat);
    HRESULT PlayIdle(DWORD priority, DWORD flags);

    std::uint32_t Size() const { return size_; }
    const std::uint8_t* Data() const { return data_; }
    const WAVEFORMATEX* Format() const { return format_; }
    std::uint32_t Count() const { return count_; }
    IDirectSoundBuffer** Buffers() { return buffers_; }

protected:
    friend class SoundManager;
    IDirectSoundBuffer** buffers_ = nullptr;
    std::uint8_t* data_ = nullptr; // the whole wave data: what a restored buffer is refilled from
    std::uint32_t size_ = 0;
    WaveFile* wave_ = nullptr;
    std::uint32_t count_ = 1;
    bool sharesWave_ = false;
    WAVEFORMATEX* format_ = nullptr; // a copy of the wave's format, owned
};

class StreamingSound : public SoundBufferSet {
public:
    StreamingSound(IDirectSoundBuffer* buffer, std::uint32_t size, WaveFile* wave,
                   std::uint32_t notifySize);
    HRESULT RefillNext(bool loopedPlay);
    HRESULT Rewind();

private:
    std::uint32_t lastPlayCursor_ = 0;
    std::uint32_t bytesPlayed_ = 0;
    std::uint32_t notifySize_ = 0;
    std::uint32_t nextWriteOffset_ = 0;
    std::uint32_t endReached_ = 0;
};

class SoundManager {
public:
    HRESULT Initialize(HWND window, DWORD level, DWORD channels, DWORD frequency, DWORD bits);
    HRESULT SetPrimaryFormat(DWORD channels, DWORD frequency, DWORD bits);
    HRESULT Get3DListener(IDirectSound3DListener** out);
    HRESULT CreateSound(SoundBufferSet** out, const char* name, DWORD flags, const GUID& algorithm,
                        std::uint32_t count);
    HRESULT CreateSoundFromMemory(SoundBufferSet** out, const std::uint8_t* data,
                                  std::uint32_t size, const WAVEFORMATEX* format, DWORD flags,
                                  const GUID& algorithm, std::uint32_t count);
    HRESULT CreateStreamingSound(StreamingSound** out, const char* name, DWORD flags,
                                 const GUID& algorithm, std::uint32_t notifyCount,
                                 std::uint32_t notifySize, HANDLE event);
    HRESULT DuplicateSound(SoundBufferSet* source, SoundBufferSet** out);
    bool Ready() const { return ready_; }
    IDirectSound8* DirectSound() const { return directSound_; }

private:
    HRESULT CreateFromWave(SoundBufferSet** out, WaveFile* wave, DWORD flags, const GUID& algorithm,
                           std::uint32_t count);
    ComPtr<IDirectSound8> directSound_;
    bool ready_ = false;
};
