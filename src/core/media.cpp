#include "core/win32.h"

#include "core/media.h"
#include "core/core.h"
#include "core/replacing_file.h"

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr std::size_t kRedirectBuffer = 780;
constexpr std::size_t kScrambleNameLength = 260;
constexpr int kKeyLength = 8;

// The scrambler's key: eight bytes from the seed.
void MakeKey(std::uint32_t seed, std::uint8_t key[kKeyLength]) {
    std::uint32_t x = seed ^ 0x9E3779B9u;
    for (int i = 0; i < kKeyLength; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        key[i] = static_cast<std::uint8_t>(x >> 24);
    }
}

// XOR with a stream drawn from the key: the same call turns either form into the other.
void Transform(std::uint8_t* bytes, std::uint32_t size, const std::uint8_t key[kKeyLength]) {
    std::uint32_t stream = 0;
    for (int i = 0; i < kKeyLength; ++i)
        stream = stream * 31u + key[i];
    for (std::uint32_t i = 0; i < size; ++i) {
        stream = stream * 1664525u + 1013904223u;
        bytes[i] ^= static_cast<std::uint8_t>(stream >> 24) ^ key[i % kKeyLength];
    }
}

void ScrambleIfInMediaFolder(const char* fileName, std::int32_t direction) {
    const CoreData& core = *g_CoreData;
    if (!fileName) return;
    const std::size_t folderLength = strnlen(core.mediaFolder, kCorePathLength);
    if (std::strncmp(fileName, core.mediaFolder, folderLength) == 0)
        MediaScrambleFile(fileName, direction);
}

} // namespace

bool CoreFileExists(const char* fileName) {
    if (!fileName) return false;
    HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

std::uint64_t MediaFileSize(const char* fileName) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!fileName || !GetFileAttributesExA(fileName, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    return std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
}

void MediaPathRedirect(char* fileName, std::int32_t bufferSize) {
    if (!fileName || bufferSize <= 0) return;
    const std::size_t folderLength = strnlen(g_CoreData->mediaFolder, kCorePathLength);
    const std::size_t nameLength = strnlen(fileName, static_cast<std::size_t>(bufferSize));
    if (nameLength >= static_cast<std::size_t>(bufferSize)) return; // not a terminated name
    // Built in place, not in a string: every loader's name passes here, and a redirect that
    // could throw would end the command that asked.
    static constexpr char kMedia[] = "\\media\\";
    const std::size_t length = folderLength + sizeof kMedia - 1 + nameLength;
    if (length >= kRedirectBuffer || length >= static_cast<std::size_t>(bufferSize)) return;
    char path[kRedirectBuffer];
    std::memcpy(path, g_CoreData->mediaFolder, folderLength);
    std::memcpy(path + folderLength, kMedia, sizeof kMedia - 1);
    std::memcpy(path + folderLength + sizeof kMedia - 1, fileName, nameLength);
    path[length] = 0;
    if (!CoreFileExists(path)) return;
    std::memcpy(fileName, path, length + 1);
}

void* CoreReadWholeFile(const char* fileName, std::uint32_t* size) {
    if (size) *size = 0;
    if (!fileName) return nullptr;
    HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    LARGE_INTEGER length{};
    void* block = nullptr;
    // A 32-bit program holds no file of 2 GB or more in one block.
    if (GetFileSizeEx(file, &length) && length.QuadPart < 0x7FFFFFFF) {
        const auto bytes = static_cast<DWORD>(length.QuadPart);
        block = GlobalAlloc(GMEM_FIXED, bytes ? bytes : 1);
        DWORD read = 0;
        if (block && (!ReadFile(file, block, bytes, &read, nullptr) || read != bytes)) {
            GlobalFree(block);
            block = nullptr;
        }
        if (block && size) *size = bytes;
    }
    CloseHandle(file);
    return block;
}

bool CoreWriteWholeFile(const char* fileName, const void* data, std::uint32_t size) {
    if (!fileName || (!data && size > 0)) return false;
    // Out of memory for the names is a write that failed: the old file stays.
    return GuardLoad([&] {
        ReplacingFile file(fileName);
        return file.WriteAll(data, size) && file.Commit();
    });
}

bool CoreCopyWholeFile(const char* source, const char* target, bool replaceExisting) {
    if (!source || !target) return false;
    if (!replaceExisting && GetFileAttributesA(target) != INVALID_FILE_ATTRIBUTES) return false;
    HANDLE from = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (from == INVALID_HANDLE_VALUE) return false;
    // Out of memory for the piece or the names is a copy that failed, the handle closed.
    std::vector<char> buffer;
    std::unique_ptr<ReplacingFile> made;
    if (!GuardLoad([&] {
            buffer.resize(64 * 1024);
            made = std::make_unique<ReplacingFile>(target);
            return true;
        })) {
        CloseHandle(from);
        return false;
    }
    ReplacingFile& file = *made;
    HANDLE to = file.Ok() ? CreateFileA(file.TemporaryName(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                          : INVALID_HANDLE_VALUE;
    bool whole = to != INVALID_HANDLE_VALUE;
    for (DWORD read = 1; whole && read > 0;) {
        DWORD written = 0;
        whole = ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) &&
                (read == 0 ||
                 (WriteFile(to, buffer.data(), read, &written, nullptr) && written == read));
    }
    if (to != INVALID_HANDLE_VALUE) CloseHandle(to);
    CloseHandle(from);
    return whole && file.Commit(false, replaceExisting);
}

void MediaScramblerBeforeOpen(char* fileName) {
    ScrambleIfInMediaFolder(fileName, 0);
}
void MediaScramblerAfterClose(char* fileName) {
    ScrambleIfInMediaFolder(fileName, 1);
}

void MediaScrambleFile(const char* fileName, std::int32_t) {
    const std::uint32_t seed = g_CoreData->scramblerSeed;
    if (seed == 0 || !fileName) return;
    char name[kScrambleNameLength] = {};
    std::strncpy(name, fileName, sizeof name - 1);
    if (!CoreFileExists(name)) return;
    std::uint32_t size = 0;
    auto* bytes = static_cast<std::uint8_t*>(CoreReadWholeFile(name, &size));
    if (!bytes) return;
    std::uint8_t key[kKeyLength];
    MakeKey(seed, key);
    Transform(bytes, size, key);
    CoreWriteWholeFile(name, bytes, size);
    GlobalFree(bytes);
}

bool PrepareMediaName(const CoreData* core, const char* fileName, MediaName& name,
                      bool beforeOpen) {
    name = MediaName{};
    if (!fileName || strnlen(fileName, kMediaNameBuffer) >= kMediaNameBuffer) return false;
    std::strcpy(name.text, fileName);
    const CoreDataCallbacks* callbacks = core ? &core->callbacks : nullptr;
    if (callbacks && callbacks->mediaRedirect)
        callbacks->mediaRedirect(name.text, static_cast<std::int32_t>(kMediaNameBuffer));
    if (beforeOpen && callbacks && callbacks->beforeOpen) callbacks->beforeOpen(name.text);
    name.hooked = beforeOpen;
    return true;
}

void FinishMediaName(const CoreData* core, MediaName& name) {
    if (!name.hooked) return;
    name.hooked = false;
    if (core && core->callbacks.afterClose) core->callbacks.afterClose(name.text);
}
