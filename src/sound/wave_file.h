// Wave files read and written through the multimedia I/O services: from a file, from a "WAVE" or
// "WAV" resource of the program, or from memory. Every outcome is an HRESULT.
#pragma once

#include "core/win32.h"

#include <cstdint>

class WaveFile {
public:
    WaveFile() = default;
    ~WaveFile();
    WaveFile(const WaveFile&) = delete;
    WaveFile& operator=(const WaveFile&) = delete;

    // mode 1 reads a file, else a "WAVE" or "WAV" resource of that name, once its chunks pass the
    // wave check; any other mode writes a new file in the given format.
    HRESULT Open(const char* name, const WAVEFORMATEX* format, std::uint32_t mode);
    HRESULT OpenMemory(const std::uint8_t* data, std::uint32_t size, const WAVEFORMATEX* format,
                       std::uint32_t mode);
    HRESULT Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t* read);
    HRESULT Write(std::uint32_t count, const std::uint8_t* bytes, std::uint32_t* written);
    HRESULT SeekData();
    HRESULT Close();
    std::uint32_t DataSize() const { return size_; }
    const WAVEFORMATEX* Format() const { return format_; }
    // Takes over a block that holds the whole data (a conversion's output); freed at close.
    void AdoptData(std::uint8_t* data, std::uint32_t size, WAVEFORMATEX* format);

private:
    HRESULT ReadHeader();
    HRESULT WriteHeader(const WAVEFORMATEX* format);
    HRESULT OpenFile(const char* name);
    HRESULT OpenResource(const char* name);

    WAVEFORMATEX* format_ = nullptr;
    HMMIO handle_ = nullptr;
    MMCKINFO chunk_{};
    MMCKINFO riff_{};
    std::uint32_t size_ = 0;
    std::uint32_t mode_ = 0;
    bool fromMemory_ = false;
    const std::uint8_t* memoryData_ = nullptr;
    std::uint32_t memoryPosition_ = 0;
    std::uint32_t memorySize_ = 0;
    std::uint8_t* ownedData_ = nullptr; // a resource copy or an adopted block
    std::uint32_t fileSize_ = 0;        // bytes the source holds, to clamp chunk sizes
};

// Converts non-PCM wave data to PCM through the audio compression manager; a new block (free
// with std::free) and its size and format, or null.
std::uint8_t* ConvertWaveFormat(const std::uint8_t* source, const WAVEFORMATEX* sourceFormat,
                                std::uint32_t sourceSize, WAVEFORMATEX* destinationFormat,
                                std::uint32_t* destinationSize);

// Writes a 44-byte-header PCM wave file, replacing one of that name only once it is whole; true
// when written.
bool WriteWaveFile(const char* name, const std::uint8_t* data, std::uint32_t size,
                   const WAVEFORMATEX* format);
