#include "core/win32.h"

#include "sound/wave_file.h"
#include "sound/wave_check.h"
#include "core/load_budget.h"
#include "core/mapped_file.h"
#include "core/replacing_file.h"

#include <mmreg.h>
#include <msacm.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr std::uint32_t kMaxDataSize = 512u << 20; // no sound needs more; larger sizes are corrupt
constexpr std::uint16_t kMaxExtra = 1024;

// The format with its extension as the checks read it.
bool CheckFormatBlock(const WAVEFORMATEX* f) {
    const std::size_t length = f->wFormatTag == WAVE_FORMAT_PCM ? 16 : 18 + f->cbSize;
    return CheckWaveFormat(ByteSpan{reinterpret_cast<const std::uint8_t*>(f), length});
}

// Writers often get a plain wave's bytes per second wrong; it follows from the rate and the block,
// and the sound buffers refuse a plain format whose value disagrees.
void RepairLinearRate(WAVEFORMATEX& f) {
    if (f.wFormatTag != WAVE_FORMAT_PCM && f.wFormatTag != WAVE_FORMAT_IEEE_FLOAT) return;
    const std::uint64_t rate = static_cast<std::uint64_t>(f.nSamplesPerSec) * f.nBlockAlign;
    if (rate >= 1 && rate <= 0xFFFFFFFFu) f.nAvgBytesPerSec = static_cast<DWORD>(rate);
}

bool SaneFormat(const WAVEFORMATEX& f) {
    return f.nChannels >= 1 && f.nChannels <= 8 && f.nSamplesPerSec >= 1 &&
           f.nSamplesPerSec <= 384000 && f.nBlockAlign >= 1 && f.wBitsPerSample <= 64 &&
           f.nAvgBytesPerSec >= 1;
}

} // namespace

WaveFile::~WaveFile() {
    Close();
    std::free(format_);
}

HRESULT WaveFile::OpenResource(const char* name) {
    HRSRC resource = FindResourceA(nullptr, name, "WAVE");
    if (!resource) resource = FindResourceA(nullptr, name, "WAV");
    HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = resource ? SizeofResource(nullptr, resource) : 0;
    if (!bytes || size == 0 ||
        !CheckWaveFile(ByteSpan{static_cast<const std::uint8_t*>(bytes), size}, size))
        return E_FAIL;
    ownedData_ = static_cast<std::uint8_t*>(std::malloc(size));
    if (!ownedData_) return E_OUTOFMEMORY;
    std::memcpy(ownedData_, bytes, size);
    MMIOINFO info{};
    info.fccIOProc = FOURCC_MEM;
    info.cchBuffer = static_cast<LONG>(size);
    info.pchBuffer = reinterpret_cast<HPSTR>(ownedData_);
    handle_ = mmioOpenA(nullptr, &info, MMIO_READ | MMIO_ALLOCBUF);
    fileSize_ = size;
    return handle_ ? S_OK : E_FAIL;
}

// The multimedia reader skips chunks by the sizes they claim, in 32 bits: a size that wraps sends
// it back into the file for ever. Every wave it reads, a file or a resource, is walked first by
// the check the music route uses.
HRESULT WaveFile::OpenFile(const char* name) {
    const MappedFile file(name);
    if (!file.Ok()) return OpenResource(name);
    if (!CheckWaveFile(file.Bytes(), file.FileSize())) return E_FAIL;
    handle_ = mmioOpenA(const_cast<char*>(name), nullptr, MMIO_ALLOCBUF | MMIO_READ);
    if (!handle_) return OpenResource(name);
    fileSize_ =
        file.FileSize() < 0xFFFFFFFFu ? static_cast<std::uint32_t>(file.FileSize()) : 0xFFFFFFFFu;
    return S_OK;
}

HRESULT WaveFile::Open(const char* name, const WAVEFORMATEX* format, std::uint32_t mode) {
    if (!name) return E_INVALIDARG;
    Close();
    mode_ = mode == 1 ? 1 : 2;
    fromMemory_ = false;
    if (mode_ == 1) {
        if (FAILED(OpenFile(name))) return E_FAIL;
        std::free(format_);
        format_ = nullptr;
        if (FAILED(ReadHeader()) || FAILED(SeekData())) {
            Close();
            return E_FAIL;
        }
        return S_OK;
    }
    if (!format) return E_INVALIDARG;
    handle_ =
        mmioOpenA(const_cast<char*>(name), nullptr, MMIO_ALLOCBUF | MMIO_READWRITE | MMIO_CREATE);
    if (!handle_) return E_FAIL;
    if (FAILED(WriteHeader(format)) || FAILED(SeekData())) {
        Close();
        return E_FAIL;
    }
    return S_OK;
}

HRESULT WaveFile::OpenMemory(const std::uint8_t* data, std::uint32_t size,
                             const WAVEFORMATEX* format, std::uint32_t mode) {
    if (mode != 1) return E_NOTIMPL;
    if (!data || !format || size > kMaxDataSize) return E_INVALIDARG;
    Close();
    std::free(format_);
    format_ = static_cast<WAVEFORMATEX*>(std::calloc(1, sizeof(WAVEFORMATEX)));
    if (!format_) return E_OUTOFMEMORY;
    std::memcpy(format_, format, 16);
    mode_ = 1;
    fromMemory_ = true;
    memoryData_ = data;
    memorySize_ = size_ = size;
    memoryPosition_ = 0;
    return S_OK;
}

void WaveFile::AdoptData(std::uint8_t* data, std::uint32_t size, WAVEFORMATEX* format) {
    Close();
    std::free(format_);
    format_ = format;
    ownedData_ = data;
    fromMemory_ = true;
    mode_ = 1;
    memoryData_ = data;
    memorySize_ = size_ = size;
    memoryPosition_ = 0;
}

HRESULT WaveFile::ReadHeader() {
    riff_ = MMCKINFO{};
    if (mmioDescend(handle_, &riff_, nullptr, 0) != 0 || riff_.ckid != FOURCC_RIFF ||
        riff_.fccType != mmioFOURCC('W', 'A', 'V', 'E'))
        return E_FAIL;
    MMCKINFO fmt{};
    fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
    if (mmioDescend(handle_, &fmt, &riff_, MMIO_FINDCHUNK) != 0 || fmt.cksize < 16) return E_FAIL;
    WAVEFORMATEX head{};
    if (mmioRead(handle_, reinterpret_cast<HPSTR>(&head), 16) != 16 || !SaneFormat(head))
        return E_FAIL;
    WORD extra = 0;
    if (head.wFormatTag != WAVE_FORMAT_PCM) {
        // The extra bytes must lie inside the fmt chunk.
        if (fmt.cksize < 18 || mmioRead(handle_, reinterpret_cast<HPSTR>(&extra), 2) != 2 ||
            extra > kMaxExtra || extra > fmt.cksize - 18)
            return E_FAIL;
    }
    format_ = static_cast<WAVEFORMATEX*>(std::calloc(1, sizeof(WAVEFORMATEX) + extra));
    if (!format_) return E_OUTOFMEMORY;
    std::memcpy(format_, &head, 16);
    format_->cbSize = extra;
    RepairLinearRate(*format_);
    if ((extra && mmioRead(handle_, reinterpret_cast<HPSTR>(format_ + 1), extra) != extra) ||
        !CheckFormatBlock(format_)) {
        std::free(format_);
        format_ = nullptr;
        return E_FAIL;
    }
    return mmioAscend(handle_, &fmt, 0) == 0 ? S_OK : E_FAIL;
}

HRESULT WaveFile::SeekData() {
    if (fromMemory_) {
        memoryPosition_ = 0;
        return S_OK;
    }
    if (!handle_) return CO_E_NOTINITIALIZED;
    if (mode_ == 1) {
        if (mmioSeek(handle_, static_cast<LONG>(riff_.dwDataOffset + 4), SEEK_SET) == -1)
            return E_FAIL;
        chunk_ = MMCKINFO{};
        chunk_.ckid = mmioFOURCC('d', 'a', 't', 'a');
        if (mmioDescend(handle_, &chunk_, &riff_, MMIO_FINDCHUNK) != 0) return E_FAIL;
        // An absurd size marks a corrupt file; a data chunk never holds more than the file does.
        if (chunk_.cksize > kMaxDataSize) return E_FAIL;
        std::uint32_t size = chunk_.cksize;
        if (fileSize_ > chunk_.dwDataOffset && size > fileSize_ - chunk_.dwDataOffset)
            size = fileSize_ - chunk_.dwDataOffset;
        if (size > kMaxDataSize) return E_FAIL;
        size_ = size;
        return S_OK;
    }
    chunk_ = MMCKINFO{};
    chunk_.ckid = mmioFOURCC('d', 'a', 't', 'a');
    return mmioCreateChunk(handle_, &chunk_, 0) == 0 ? S_OK : E_FAIL;
}

HRESULT WaveFile::Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t* read) {
    if (read) *read = 0;
    if (!buffer) return E_INVALIDARG;
    if (fromMemory_) {
        const std::uint32_t n =
            count < memorySize_ - memoryPosition_ ? count : memorySize_ - memoryPosition_;
        std::memcpy(buffer, memoryData_ + memoryPosition_, n);
        memoryPosition_ += n;
        if (read) *read = n;
        return S_OK;
    }
    if (!handle_) return CO_E_NOTINITIALIZED;
    const LONG position = mmioSeek(handle_, 0, SEEK_CUR);
    const std::uint32_t consumed =
        position < 0 ? size_ : static_cast<std::uint32_t>(position) - chunk_.dwDataOffset;
    const std::uint32_t left = consumed < size_ ? size_ - consumed : 0;
    const std::uint32_t wanted = count < left ? count : left;
    const LONG n =
        wanted ? mmioRead(handle_, reinterpret_cast<HPSTR>(buffer), static_cast<LONG>(wanted)) : 0;
    if (n < 0) return E_FAIL;
    if (read) *read = static_cast<std::uint32_t>(n);
    return S_OK;
}

HRESULT WaveFile::Write(std::uint32_t count, const std::uint8_t* bytes, std::uint32_t* written) {
    if (written) *written = 0;
    if (fromMemory_) return E_NOTIMPL;
    if (!handle_ || mode_ != 2) return CO_E_NOTINITIALIZED;
    const LONG n =
        mmioWrite(handle_, reinterpret_cast<const char*>(bytes), static_cast<LONG>(count));
    if (n < 0) return E_FAIL;
    if (written) *written = static_cast<std::uint32_t>(n);
    return S_OK;
}

HRESULT WaveFile::WriteHeader(const WAVEFORMATEX* format) {
    riff_ = MMCKINFO{};
    riff_.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    if (mmioCreateChunk(handle_, &riff_, MMIO_CREATERIFF) != 0) return E_FAIL;
    MMCKINFO fmt{};
    fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
    const LONG formatSize = format->wFormatTag == WAVE_FORMAT_PCM ? 16 : 18 + format->cbSize;
    fmt.cksize = static_cast<DWORD>(formatSize);
    if (mmioCreateChunk(handle_, &fmt, 0) != 0 ||
        mmioWrite(handle_, reinterpret_cast<const char*>(format), formatSize) != formatSize ||
        mmioAscend(handle_, &fmt, 0) != 0)
        return E_FAIL;
    MMCKINFO fact{};
    fact.ckid = mmioFOURCC('f', 'a', 'c', 't');
    const DWORD unknown = 0xFFFFFFFF;
    if (mmioCreateChunk(handle_, &fact, 0) != 0 ||
        mmioWrite(handle_, reinterpret_cast<const char*>(&unknown), 4) != 4 ||
        mmioAscend(handle_, &fact, 0) != 0)
        return E_FAIL;
    return S_OK;
}

HRESULT WaveFile::Close() {
    if (handle_) {
        if (mode_ == 2) {
            mmioAscend(handle_, &chunk_, 0);
            mmioAscend(handle_, &riff_, 0);
            mmioSeek(handle_, 0, SEEK_SET);
            MMCKINFO riff{}, fact{};
            if (mmioDescend(handle_, &riff, nullptr, 0) == 0) {
                fact.ckid = mmioFOURCC('f', 'a', 'c', 't');
                if (mmioDescend(handle_, &fact, &riff, MMIO_FINDCHUNK) == 0) {
                    const DWORD zero = 0;
                    mmioWrite(handle_, reinterpret_cast<const char*>(&zero), 4);
                    mmioAscend(handle_, &fact, 0);
                }
            }
        }
        mmioClose(handle_, 0);
        handle_ = nullptr;
    }
    std::free(ownedData_);
    ownedData_ = nullptr;
    memoryData_ = nullptr;
    fromMemory_ = false;
    return S_OK;
}

std::uint8_t* ConvertWaveFormat(const std::uint8_t* source, const WAVEFORMATEX* sourceFormat,
                                std::uint32_t sourceSize, WAVEFORMATEX* destinationFormat,
                                std::uint32_t* destinationSize) {
    // The compression manager trusts the format: a 0 samples-per-block divides by zero.
    if (!sourceFormat || !destinationFormat || !CheckFormatBlock(sourceFormat)) return nullptr;
    std::memset(destinationFormat, 0, sizeof(WAVEFORMATEX));
    destinationFormat->wFormatTag = WAVE_FORMAT_PCM;
    MMRESULT r =
        acmFormatSuggest(nullptr, const_cast<WAVEFORMATEX*>(sourceFormat), destinationFormat,
                         sizeof(WAVEFORMATEX), ACM_FORMATSUGGESTF_WFORMATTAG);
    if (r != 0) {
        std::puts(r == MMSYSERR_INVALHANDLE ? "acmFormatSuggest(): The specified handle is invalid!"
                  : r == MMSYSERR_INVALFLAG ? "acmFormatSuggest(): At least one flag is invalid!"
                  : r == MMSYSERR_INVALPARAM
                      ? "acmFormatSuggest(): At least one parameter is invalid!"
                      : "acmFormatSuggest() failed!");
        return nullptr;
    }
    HACMSTREAM stream = nullptr;
    r = acmStreamOpen(&stream, nullptr, const_cast<WAVEFORMATEX*>(sourceFormat), destinationFormat,
                      nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME);
    if (r != 0) {
        std::puts(r == MMSYSERR_NOMEM
                      ? "acmStreamOpen(): The system is unable to allocate resources!"
                  : r == MMSYSERR_INVALHANDLE ? "acmStreamOpen(): The specified handle is invalid!"
                  : r == MMSYSERR_INVALFLAG   ? "acmStreamOpen(): At least one flag is invalid!"
                  : r == MMSYSERR_INVALPARAM ? "acmStreamOpen(): At least one parameter is invalid!"
                  : r == ACMERR_NOTPOSSIBLE
                      ? "acmStreamOpen(): The requested operation cannot be performed!"
                      : "acmStreamOpen() failed!");
        return nullptr;
    }
    DWORD size = 0;
    // A few compressed bytes may claim many samples: they are charged before they are made.
    if (acmStreamSize(stream, sourceSize, &size, ACM_STREAMSIZEF_SOURCE) != 0 || size == 0 ||
        size > kMaxDataSize || !ChargeLoad(size)) {
        std::puts("acmStreamSize() failed!");
        acmStreamClose(stream, 0);
        return nullptr;
    }
    auto* block = static_cast<std::uint8_t*>(std::malloc(size));
    if (!block) {
        std::puts("malloc() failed!");
        acmStreamClose(stream, 0);
        return nullptr;
    }
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof header;
    header.pbSrc = const_cast<std::uint8_t*>(source);
    header.cbSrcLength = sourceSize;
    header.pbDst = block;
    header.cbDstLength = size;
    if (acmStreamPrepareHeader(stream, &header, 0) != 0) {
        std::puts("acmStreamPrepareHeader() failed!");
        std::free(block);
        acmStreamClose(stream, 0);
        return nullptr;
    }
    const bool converted = acmStreamConvert(stream, &header, 0) == 0;
    acmStreamUnprepareHeader(stream, &header, 0);
    acmStreamClose(stream, 0);
    if (!converted) {
        std::puts("acmStreamConvert() failed!");
        std::free(block);
        return nullptr;
    }
    *destinationSize = header.cbDstLengthUsed;
    return block;
}

bool WriteWaveFile(const char* name, const std::uint8_t* data, std::uint32_t size,
                   const WAVEFORMATEX* format) {
    if (!name || !format || (!data && size)) return false;
    // Out of memory for the file's names writes nothing, as any failed write.
    std::unique_ptr<ReplacingFile> made;
    if (!GuardLoad([&] { return made = std::make_unique<ReplacingFile>(name), true; }))
        return false;
    ReplacingFile& replacing = *made;
    HANDLE file = replacing.Ok() ? CreateFileA(replacing.TemporaryName(), GENERIC_WRITE, 0, nullptr,
                                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                                 : INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) return false;
    std::uint8_t header[44];
    auto put32 = [&](int at, std::uint32_t v) { std::memcpy(header + at, &v, 4); };
    std::memcpy(header, "RIFF", 4);
    put32(4, size + 36);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    put32(16, 16);
    std::memcpy(header + 20, format, 16);
    std::memcpy(header + 36, "data", 4);
    put32(40, size);
    DWORD written = 0;
    const bool ok =
        WriteFile(file, header, sizeof header, &written, nullptr) && written == sizeof header &&
        (size == 0 || (WriteFile(file, data, size, &written, nullptr) && written == size));
    CloseHandle(file);
    return ok && replacing.Commit();
}
