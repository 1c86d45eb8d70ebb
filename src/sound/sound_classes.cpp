#include "core/win32.h"

#include "sound/sound_classes.h"
#include "core/load_budget.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr int kRestoreTries = 50; // 10 ms apart: half a second, then the buffer stays silent

WAVEFORMATEX* CopyFormat(const WAVEFORMATEX* format) {
    if (!format) return nullptr;
    const std::size_t size =
        sizeof(WAVEFORMATEX) + (format->wFormatTag == WAVE_FORMAT_PCM ? 0 : format->cbSize);
    auto* copy = static_cast<WAVEFORMATEX*>(std::calloc(1, size));
    if (copy) std::memcpy(copy, format, format->wFormatTag == WAVE_FORMAT_PCM ? 16 : size);
    return copy;
}

std::uint8_t Silence(const WAVEFORMATEX* format) {
    return format && format->wBitsPerSample == 8 ? 0x80 : 0;
}

DSBUFFERDESC Description(DWORD flags, std::uint32_t size, const WAVEFORMATEX* format,
                         const GUID& algorithm) {
    DSBUFFERDESC d{};
    d.dwSize = sizeof d;
    d.dwFlags = flags;
    d.dwBufferBytes = size;
    d.lpwfxFormat = const_cast<WAVEFORMATEX*>(format);
    d.guid3DAlgorithm = algorithm;
    return d;
}

} // namespace

SoundBufferSet::SoundBufferSet(IDirectSoundBuffer** buffers, std::uint32_t size,
                               std::uint32_t count, WaveFile* wave)
    : size_(size), wave_(wave), count_(count) {
    buffers_ = new (std::nothrow) IDirectSoundBuffer* [count] {};
    if (buffers_) std::memcpy(buffers_, buffers, count * sizeof *buffers_);
    format_ = CopyFormat(wave ? wave->Format() : nullptr);
    if (!buffers_) return;
    LoadBufferData(buffers_[0], false);
    for (std::uint32_t i = 0; i < count_; ++i)
        if (buffers_[i]) buffers_[i]->SetCurrentPosition(0);
}

SoundBufferSet::~SoundBufferSet() {
    if (buffers_) {
        for (std::uint32_t i = 0; i < count_; ++i)
            if (buffers_[i]) buffers_[i]->Release();
        delete[] buffers_;
    }
    std::free(data_);
    std::free(format_);
    if (!sharesWave_) delete wave_;
}

IDirectSoundBuffer* SoundBufferSet::BufferAt(std::uint32_t i) const {
    return buffers_ && i < count_ ? buffers_[i] : nullptr;
}

HRESULT SoundBufferSet::Query3DBuffer(std::uint32_t i, IDirectSound3DBuffer** out) const {
    if (!buffers_) return CO_E_NOTINITIALIZED;
    if (i >= count_ || !out) return E_INVALIDARG;
    return buffers_[i]->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<void**>(out));
}

HRESULT SoundBufferSet::StopAll() {
    if (!buffers_) return CO_E_NOTINITIALIZED;
    HRESULT result = S_OK;
    for (std::uint32_t i = 0; i < count_; ++i)
        result |= buffers_[i]->Stop();
    return result;
}

HRESULT SoundBufferSet::RewindAll() {
    if (!buffers_) return CO_E_NOTINITIALIZED;
    HRESULT result = S_OK;
    for (std::uint32_t i = 0; i < count_; ++i)
        result |= buffers_[i]->SetCurrentPosition(0);
    return result;
}

bool SoundBufferSet::AnyPlaying() const {
    if (!buffers_) return false;
    for (std::uint32_t i = 0; i < count_; ++i) {
        DWORD status = 0;
        if (SUCCEEDED(buffers_[i]->GetStatus(&status)) && (status & DSBSTATUS_PLAYING)) return true;
    }
    return false;
}

IDirectSoundBuffer* SoundBufferSet::PickIdleBuffer() const {
    if (!buffers_ || count_ == 0) return nullptr;
    for (std::uint32_t i = 0; i < count_; ++i) {
        DWORD status = 0;
        if (SUCCEEDED(buffers_[i]->GetStatus(&status)) && !(status & DSBSTATUS_PLAYING))
            return buffers_[i];
    }
    return buffers_[static_cast<std::uint32_t>(std::rand()) % count_];
}

HRESULT SoundBufferSet::RecoverBuffer(IDirectSoundBuffer* buffer, bool* restored) {
    if (restored) *restored = false;
    if (!buffer) return CO_E_NOTINITIALIZED;
    DWORD status = 0;
    if (FAILED(buffer->GetStatus(&status)) || !(status & DSBSTATUS_BUFFERLOST)) return S_FALSE;
    HRESULT hr = buffer->Restore();
    for (int tries = 1; hr == DSERR_BUFFERLOST && tries < kRestoreTries; ++tries) {
        Sleep(10);
        hr = buffer->Restore();
    }
    if (SUCCEEDED(hr) && restored) *restored = true;
    return hr;
}

HRESULT SoundBufferSet::LoadBufferData(IDirectSoundBuffer* buffer, bool repeat) {
    if (!buffer) return CO_E_NOTINITIALIZED;
    bool restored = false;
    RecoverBuffer(buffer, &restored);
    // The private copy is made once, from the wave; afterwards (the wave may be closed) it is the
    // only source, so a restored buffer is always refilled from it.
    if (!data_) {
        data_ = static_cast<std::uint8_t*>(std::calloc(size_ ? size_ : 1, 1));
        if (!data_) return E_OUTOFMEMORY;
        std::uint32_t read = 0;
        if (wave_ && size_) {
            wave_->SeekData();
            wave_->Read(data_, size_, &read);
            while (repeat && read > 0 && read < size_) {
                std::uint32_t more = 0;
                wave_->SeekData();
                wave_->Read(data_ + read, size_ - read, &more);
                if (more == 0) break;
                read += more;
            }
        }
        if (read < size_) std::memset(data_ + read, Silence(format_), size_ - read);
    }
    void* locked = nullptr;
    DWORD lockedSize = 0;
    if (FAILED(buffer->Lock(0, size_, &locked, &lockedSize, nullptr, nullptr, 0))) return E_FAIL;
    std::memcpy(locked, data_, lockedSize < size_ ? lockedSize : size_);
    buffer->Unlock(locked, lockedSize, nullptr, 0);
    return S_OK;
}

HRESULT SoundBufferSet::PlayIdle(DWORD priority, DWORD flags) {
    if (!buffers_) return CO_E_NOTINITIALIZED;
    IDirectSoundBuffer* buffer = PickIdleBuffer();
    bool restored = false;
    RecoverBuffer(buffer, &restored);
    if (restored) {
        LoadBufferData(buffer, false);
        RewindAll();
    }
    return buffer ? buffer->Play(0, priority, flags) : E_FAIL;
}

StreamingSound::StreamingSound(IDirectSoundBuffer* buffer, std::uint32_t size, WaveFile* wave,
                               std::uint32_t notifySize)
    : SoundBufferSet(&buffer, size, 1, wave), notifySize_(notifySize) {}

HRESULT StreamingSound::RefillNext(bool loopedPlay) {
    IDirectSoundBuffer* buffer = BufferAt(0);
    if (!buffer || !wave_) return CO_E_NOTINITIALIZED;
    bool restored = false;
    RecoverBuffer(buffer, &restored);
    if (restored) return LoadBufferData(buffer, false);
    void *first = nullptr, *second = nullptr;
    DWORD firstSize = 0, secondSize = 0;
    if (FAILED(buffer->Lock(nextWriteOffset_, notifySize_, &first, &firstSize, &second, &secondSize,
                            0)))
        return E_FAIL;
    if (second) {
        buffer->Unlock(first, firstSize, second, secondSize);
        return E_UNEXPECTED;
    }
    auto* part = static_cast<std::uint8_t*>(first);
    std::uint32_t filled = 0;
    while (!endReached_ && filled < firstSize) {
        std::uint32_t read = 0;
        wave_->Read(part + filled, firstSize - filled, &read);
        filled += read;
        if (read == 0) {
            if (loopedPlay)
                wave_->SeekData();
            else
                endReached_ = 1;
            if (loopedPlay && wave_->DataSize() == 0) break;
        }
    }
    if (filled < firstSize) std::memset(part + filled, Silence(format_), firstSize - filled);
    buffer->Unlock(first, firstSize, nullptr, 0);
    DWORD play = 0;
    buffer->GetCurrentPosition(&play, nullptr);
    bytesPlayed_ +=
        play >= lastPlayCursor_ ? play - lastPlayCursor_ : size_ - lastPlayCursor_ + play;
    lastPlayCursor_ = play;
    if (endReached_ && bytesPlayed_ >= wave_->DataSize()) buffer->Stop();
    nextWriteOffset_ = size_ ? (nextWriteOffset_ + notifySize_) % size_ : 0;
    return S_OK;
}

HRESULT StreamingSound::Rewind() {
    IDirectSoundBuffer* buffer = BufferAt(0);
    if (!buffer || !wave_) return CO_E_NOTINITIALIZED;
    lastPlayCursor_ = bytesPlayed_ = nextWriteOffset_ = endReached_ = 0;
    bool restored = false;
    RecoverBuffer(buffer, &restored);
    if (restored) LoadBufferData(buffer, false);
    wave_->SeekData();
    return buffer->SetCurrentPosition(0);
}

HRESULT SoundManager::Initialize(HWND window, DWORD level, DWORD channels, DWORD frequency,
                                 DWORD bits) {
    ready_ = false;
    HRESULT hr = DirectSoundCreate8(nullptr, directSound_.PutAddress(), nullptr);
    if (FAILED(hr)) {
        directSound_.Detach(); // a failed call leaves nothing to release
        return hr;
    }
    if (FAILED(hr = directSound_->SetCooperativeLevel(window, level))) return hr;
    if (FAILED(hr = SetPrimaryFormat(channels, frequency, bits))) return hr;
    ready_ = true;
    return S_OK;
}

HRESULT SoundManager::SetPrimaryFormat(DWORD channels, DWORD frequency, DWORD bits) {
    if (!directSound_) return CO_E_NOTINITIALIZED;
    DSBUFFERDESC d{};
    d.dwSize = sizeof d;
    d.dwFlags = DSBCAPS_PRIMARYBUFFER;
    ComPtr<IDirectSoundBuffer> primary;
    HRESULT hr = directSound_->CreateSoundBuffer(&d, primary.PutAddress(), nullptr);
    if (FAILED(hr)) return hr;
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = static_cast<WORD>(channels);
    f.nSamplesPerSec = frequency;
    f.wBitsPerSample = static_cast<WORD>(bits);
    f.nBlockAlign = static_cast<WORD>(bits / 8 * channels);
    f.nAvgBytesPerSec = f.nBlockAlign * frequency;
    return primary->SetFormat(&f);
}

HRESULT SoundManager::Get3DListener(IDirectSound3DListener** out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (!directSound_) return CO_E_NOTINITIALIZED;
    DSBUFFERDESC d{};
    d.dwSize = sizeof d;
    d.dwFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRL3D;
    ComPtr<IDirectSoundBuffer> primary;
    HRESULT hr = directSound_->CreateSoundBuffer(&d, primary.PutAddress(), nullptr);
    if (FAILED(hr)) return hr;
    return primary->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<void**>(out));
}

HRESULT SoundManager::CreateFromWave(SoundBufferSet** out, WaveFile* wave, DWORD flags,
                                     const GUID& algorithm, std::uint32_t count) {
    std::unique_ptr<WaveFile> owned(wave);
    if (wave->DataSize() == 0) return E_FAIL;
    if (wave->Format()->wFormatTag != WAVE_FORMAT_PCM) {
        // Compressed data becomes PCM before any buffer is made.
        if (!ChargeLoad(wave->DataSize())) return E_OUTOFMEMORY;
        auto* raw = static_cast<std::uint8_t*>(std::malloc(wave->DataSize()));
        if (!raw) return E_OUTOFMEMORY;
        std::uint32_t read = 0;
        wave->SeekData();
        wave->Read(raw, wave->DataSize(), &read);
        auto* pcmFormat = static_cast<WAVEFORMATEX*>(std::calloc(1, sizeof(WAVEFORMATEX)));
        std::uint32_t pcmSize = 0;
        std::uint8_t* pcm =
            pcmFormat ? ConvertWaveFormat(raw, wave->Format(), read, pcmFormat, &pcmSize) : nullptr;
        std::free(raw);
        if (!pcm || pcmSize == 0) {
            std::free(pcm);
            std::free(pcmFormat);
            return E_FAIL;
        }
        wave->AdoptData(pcm, pcmSize, pcmFormat);
    }
    std::unique_ptr<IDirectSoundBuffer*[]> buffers(new (std::nothrow)
                                                       IDirectSoundBuffer* [count] {});
    // The buffer holds the samples, and the set a copy of them.
    if (!buffers || !ChargeLoad(wave->DataSize(), 2)) return E_OUTOFMEMORY;
    DSBUFFERDESC d = Description(flags, wave->DataSize(), wave->Format(), algorithm);
    HRESULT hr = directSound_->CreateSoundBuffer(&d, &buffers[0], nullptr);
    if (FAILED(hr)) return hr;
    const HRESULT result = hr;
    for (std::uint32_t i = 1; i < count; ++i) {
        if (FAILED(hr = directSound_->DuplicateSoundBuffer(buffers[0], &buffers[i]))) {
            for (std::uint32_t j = 0; j < i; ++j)
                buffers[j]->Release();
            return hr;
        }
    }
    auto* set =
        new (std::nothrow) SoundBufferSet(buffers.get(), wave->DataSize(), count, owned.release());
    // A set without its format or its copy of the samples would play silence: none is made.
    if (!set || !set->buffers_ || !set->format_ || !set->data_) {
        if (!set || !set->buffers_) // else the set's own list releases them
            for (std::uint32_t i = 0; i < count; ++i)
                buffers[i]->Release();
        delete set;
        return E_OUTOFMEMORY;
    }
    set->wave_->Close(); // everything is in the set's own copy now
    *out = set;
    return result;
}

HRESULT SoundManager::CreateSound(SoundBufferSet** out, const char* name, DWORD flags,
                                  const GUID& algorithm, std::uint32_t count) {
    if (!directSound_) return CO_E_NOTINITIALIZED;
    if (!out || !name || count < 1) return E_INVALIDARG;
    *out = nullptr;
    auto* wave = new (std::nothrow) WaveFile;
    if (!wave) return E_OUTOFMEMORY;
    if (FAILED(wave->Open(name, nullptr, 1))) {
        delete wave;
        return E_FAIL;
    }
    return CreateFromWave(out, wave, flags, algorithm, count);
}

HRESULT SoundManager::CreateSoundFromMemory(SoundBufferSet** out, const std::uint8_t* data,
                                            std::uint32_t size, const WAVEFORMATEX* format,
                                            DWORD flags, const GUID& algorithm,
                                            std::uint32_t count) {
    if (!directSound_) return CO_E_NOTINITIALIZED;
    if (!out || !data || !format || count < 1) return E_INVALIDARG;
    *out = nullptr;
    auto* wave = new (std::nothrow) WaveFile;
    if (!wave) return E_OUTOFMEMORY;
    if (FAILED(wave->OpenMemory(data, size, format, 1))) {
        delete wave;
        return E_FAIL;
    }
    return CreateFromWave(out, wave, flags, algorithm, count);
}

HRESULT SoundManager::CreateStreamingSound(StreamingSound** out, const char* name, DWORD flags,
                                           const GUID& algorithm, std::uint32_t notifyCount,
                                           std::uint32_t notifySize, HANDLE event) {
    if (!directSound_) return CO_E_NOTINITIALIZED;
    if (!out || !name || !event || notifyCount == 0 || notifySize == 0) return E_INVALIDARG;
    *out = nullptr;
    std::unique_ptr<WaveFile> wave(new (std::nothrow) WaveFile);
    if (!wave) return E_OUTOFMEMORY;
    if (FAILED(wave->Open(name, nullptr, 1))) return E_FAIL;
    const std::uint32_t size = notifyCount * notifySize;
    DSBUFFERDESC d = Description(flags | DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_GETCURRENTPOSITION2,
                                 size, wave->Format(), algorithm);
    ComPtr<IDirectSoundBuffer> buffer;
    HRESULT hr = directSound_->CreateSoundBuffer(&d, buffer.PutAddress(), nullptr);
    if (FAILED(hr)) return hr;
    ComPtr<IDirectSoundNotify> notify;
    if (FAILED(hr = buffer->QueryInterface(IID_IDirectSoundNotify, notify.PutVoid()))) return hr;
    std::unique_ptr<DSBPOSITIONNOTIFY[]> positions(new (std::nothrow)
                                                       DSBPOSITIONNOTIFY[notifyCount]);
    if (!positions) return E_OUTOFMEMORY;
    for (std::uint32_t i = 0; i < notifyCount; ++i)
        positions[i] = DSBPOSITIONNOTIFY{(i + 1) * notifySize - 1, event};
    hr = notify->SetNotificationPositions(notifyCount, positions.get());
    notify.Reset();
    if (FAILED(hr)) return hr;
    *out = new (std::nothrow) StreamingSound(buffer, size, wave.release(), notifySize);
    if (!*out) return E_OUTOFMEMORY;
    buffer.Detach(); // the sound owns it now
    return S_OK;
}

HRESULT SoundManager::DuplicateSound(SoundBufferSet* source, SoundBufferSet** out) {
    if (!directSound_) return CO_E_NOTINITIALIZED;
    if (!source || !out || !source->buffers_) return E_INVALIDARG;
    *out = nullptr;
    auto* set = new (std::nothrow) SoundBufferSet;
    if (!set) return E_OUTOFMEMORY;
    set->buffers_ = new (std::nothrow) IDirectSoundBuffer* [source->count_] {};
    set->count_ = source->count_;
    set->size_ = source->size_;
    set->wave_ = nullptr; // the copy of the data below is all a duplicate ever reads
    set->sharesWave_ = true;
    set->format_ = CopyFormat(source->format_);
    if (source->data_) {
        set->data_ = static_cast<std::uint8_t*>(std::malloc(source->size_ ? source->size_ : 1));
        if (set->data_) std::memcpy(set->data_, source->data_, source->size_);
    }
    // Every part the source has, or no duplicate.
    if (!set->buffers_ || (source->format_ && !set->format_) || (source->data_ && !set->data_)) {
        set->count_ = 0; // no buffer is held yet
        delete set;
        return E_OUTOFMEMORY;
    }
    for (std::uint32_t i = 0; i < set->count_; ++i) {
        const HRESULT hr =
            directSound_->DuplicateSoundBuffer(source->buffers_[i], &set->buffers_[i]);
        if (FAILED(hr)) {
            set->buffers_[i] = nullptr;
            set->count_ = i;
            delete set;
            return hr;
        }
    }
    *out = set;
    return S_OK;
}
