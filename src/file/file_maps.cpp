#include "core/win32.h"

#include "file/file.h"
#include "file/file_state.h"
#include "core/core.h"
#include "core/no_throw.h"

#include <cstring>
#include <map>
#include <string>

namespace {

constexpr DWORD kMapSize = 1024;
constexpr std::uint32_t kMaxMapString = 1000;

// One handle per name for the life of the process: the block and its contents persist between
// commands and for other processes, and repeated commands do not open new handles.
std::map<std::string, HANDLE>& Maps() {
    static std::map<std::string, HANDLE> maps;
    return maps;
}

// Null when the name cannot be kept (out of memory): nothing is opened then, or what was opened
// is closed again, never left without its entry.
HANDLE MapNamed(const char* name) noexcept {
    if (!name || !*name) return nullptr; // a map without a name is no one else's to read
    try {
        std::string key = name;
        auto found = Maps().find(key);
        if (found != Maps().end()) return found->second;
        auto entry = Maps().emplace(std::move(key), nullptr).first;
        HANDLE map = OpenFileMappingA(FILE_MAP_WRITE, TRUE, name);
        if (!map)
            map = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kMapSize,
                                     name);
        if (map)
            entry->second = map;
        else
            Maps().erase(entry);
        return map;
    } catch (...) {
        return nullptr;
    }
}

// A name the platform refuses for a map (a backslash outside its own prefixes, one too long) makes
// no map: the command fails with the error of a file that could not be made, rather than dropping
// a write or reading a 0 that no one wrote.
template <typename Use> void WithView(const char* name, DWORD access, Use use) {
    HANDLE map = MapNamed(name);
    auto* view =
        map ? static_cast<std::uint8_t*>(MapViewOfFile(map, access, 0, 0, kMapSize)) : nullptr;
    if (!view) return RaiseRuntimeError(kFileNotMade);
    use(view);
    UnmapViewOfFile(view);
}

void WriteString(std::uint8_t* view, const char* text, std::uint32_t length) {
    std::memcpy(view + 4, &length, 4);
    std::memcpy(view + 8, text, length);
    view[8 + length] = 0;
}

} // namespace

void WriteFileMapValue(const char* name, std::int32_t value) {
    WithView(name, FILE_MAP_WRITE, [&](std::uint8_t* view) { std::memcpy(view, &value, 4); });
}

void WriteFileMapString(const char* name, const char* text) {
    // No text, or one longer than the field holds: the block is kept as it was, and says so.
    const std::size_t length = text ? strnlen(text, kMaxMapString + 1) : kMaxMapString + 1;
    if (length > kMaxMapString) return RaiseRuntimeError(kFileNotMade);
    WithView(name, FILE_MAP_WRITE, [&](std::uint8_t* view) {
        WriteString(view, text, static_cast<std::uint32_t>(length));
    });
}

std::int32_t ReadFileMapValue(const char* name) {
    std::int32_t value = 0;
    WithView(name, FILE_MAP_WRITE, [&](std::uint8_t* view) { std::memcpy(&value, view, 4); });
    return value;
}

char* ReadFileMapString(char* previous, const char* name) {
    return NoThrow(kStringNoMemory, previous, [&] {
        std::string text;
        text.reserve(kMaxMapString); // before the view, which a throw inside it would leave mapped
        // Another process wrote the block: the string is read no further than its field.
        WithView(name, FILE_MAP_READ, [&](std::uint8_t* view) {
            text.assign(reinterpret_cast<const char*>(view + 8),
                        strnlen(reinterpret_cast<const char*>(view + 8), kMaxMapString));
        });
        return ReturnFileString(previous, text);
    });
}

void OpenFileMap(const char* name, std::int32_t mode, std::int32_t value, const char* text) {
    if (mode == 0) return WriteFileMapValue(name, value);
    // Another mode, or no text to write: nothing is written, and the command says so.
    if (mode != 1 || !text) return RaiseRuntimeError(kFileNotMade);
    // The common form skips the length check; the field still bounds what is copied.
    const std::size_t length = strnlen(text, kMaxMapString);
    WithView(name, FILE_MAP_WRITE, [&](std::uint8_t* view) {
        WriteString(view, text, static_cast<std::uint32_t>(length));
    });
}
