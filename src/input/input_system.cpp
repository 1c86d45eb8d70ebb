#include "core/win32.h"

#include "input/input.h"
#include "input/input_state.h"
#include "core/core.h"

#include <cstring>

namespace {

InputState& s = g_Input;

constexpr std::size_t kMaxRegistryName = 255; // paths and names are shorter
// A string value's bytes, its terminator included: 255 characters at most.
constexpr DWORD kStringBuffer = 256;

bool Usable(const char* keyPath, const char* valueName) {
    return keyPath && valueName && strnlen(keyPath, kMaxRegistryName) < kMaxRegistryName &&
           strnlen(valueName, kMaxRegistryName) < kMaxRegistryName;
}

char* NewString(const char* text) {
    return ReplaceModuleString(s.core, nullptr, text, std::strlen(text)); // null and 101 when none
}

HKEY OpenForWriting(const char* keyPath) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, const_cast<char*>(""),
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        &disposition) != ERROR_SUCCESS)
        return nullptr;
    if (disposition == REG_OPENED_EXISTING_KEY) {
        RegCloseKey(key);
        key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_WRITE, &key) != ERROR_SUCCESS)
            return nullptr;
    }
    return key;
}

} // namespace

void WriteClipboard(const char* text) {
    if (!OpenClipboard(s.window)) return;
    EmptyClipboard();
    const std::size_t length = text ? std::strlen(text) : 0;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, length + 1);
    if (!memory) {
        CloseClipboard();
        return;
    }
    if (auto* copy = static_cast<char*>(GlobalLock(memory))) {
        if (text) std::memcpy(copy, text, length);
        copy[length] = 0;
        GlobalUnlock(memory);
    }
    if (!SetClipboardData(CF_TEXT, memory)) GlobalFree(memory);
    CloseClipboard();
}

// No clipboard text gives null (the previous string freed); a copy that cannot be made raises 101
// and gives the previous string back.
char* ReadClipboard(char* oldString) {
    char* result = nullptr;
    bool failed = false;
    if (IsClipboardFormatAvailable(CF_TEXT) && OpenClipboard(s.window)) {
        HANDLE memory = GetClipboardData(CF_TEXT);
        if (const auto* text = memory ? static_cast<const char*>(GlobalLock(memory)) : nullptr) {
            // Clipboard text is whatever another program put there: never read past its block.
            result = ReplaceModuleString(s.core, nullptr, text, strnlen(text, GlobalSize(memory)));
            failed = !result;
            GlobalUnlock(memory);
        }
        CloseClipboard();
    }
    if (failed) return oldString;
    if (oldString) ResizeModuleString(s.core, &oldString, 0);
    return result;
}

void WriteRegistry(const char* keyPath, const char* valueName, std::int32_t number) {
    if (!Usable(keyPath, valueName)) return;
    if (HKEY key = OpenForWriting(keyPath)) {
        const DWORD value = static_cast<DWORD>(number);
        RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value);
        RegCloseKey(key);
    }
}

std::int32_t ReadRegistry(const char* keyPath, const char* valueName) {
    if (!Usable(keyPath, valueName)) return 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    DWORD value = 0, size = sizeof value, type = 0;
    if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        size != sizeof value)
        value = 0;
    RegCloseKey(key);
    return static_cast<std::int32_t>(value);
}

void WriteRegistryString(const char* keyPath, const char* valueName, const char* text) {
    if (!Usable(keyPath, valueName)) return;
    char buffer[kStringBuffer] = {};
    if (text) std::strncpy(buffer, text, sizeof buffer - 1);
    if (HKEY key = OpenForWriting(keyPath)) {
        RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(buffer),
                       static_cast<DWORD>(std::strlen(buffer) + 1));
        RegCloseKey(key);
    }
}

char* ReadRegistryString(const char* keyPath, const char* valueName) {
    // One byte past the largest value the write stores (255 characters and their terminator), so
    // that a value stored without its terminator still ends inside the buffer.
    char buffer[kStringBuffer + 1] = {};
    if (Usable(keyPath, valueName)) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key) == ERROR_SUCCESS) {
            DWORD size = 0, type = 0;
            if (RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
                size <= kStringBuffer && type == REG_SZ) {
                DWORD read = kStringBuffer;
                if (RegQueryValueExA(key, valueName, nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(buffer), &read) != ERROR_SUCCESS ||
                    read > kStringBuffer)
                    read = 0;
                buffer[read] = 0;
            }
            RegCloseKey(key);
        }
    }
    return NewString(buffer);
}
