#include "core/win32.h"

#include "core/replacing_file.h"

namespace {

void (*beforeMove)(const char* target) = nullptr;

// The target's full path and its folder; false when either would pass the path limit.
bool SplitTarget(const char* target, std::string* full, std::string* folder) {
    char absolute[MAX_PATH];
    char* namePart = nullptr;
    const DWORD length = GetFullPathNameA(target, sizeof absolute, absolute, &namePart);
    if (length == 0 || length >= sizeof absolute || !namePart || !*namePart) return false;
    full->assign(absolute, length);
    folder->assign(absolute, static_cast<std::size_t>(namePart - absolute));
    return true;
}

} // namespace

void SetReplacingFileBeforeMove(void (*hook)(const char* target)) {
    beforeMove = hook;
}

bool CanReplaceFile(const char* target) {
    if (!target || !*target) return false;
    const DWORD attributes = GetFileAttributesA(target);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND;
    }
    return !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
}

ReplacingFile::ReplacingFile(const char* target) {
    std::string folder;
    if (!CanReplaceFile(target) || !SplitTarget(target, &target_, &folder)) return;
    char temporary[MAX_PATH];
    // Room for the name first: once the file exists, nothing may throw before it is kept.
    temporary_.reserve(MAX_PATH);
    // Creates the file under a name no other writer holds; fails where the folder is missing or
    // its name leaves no room.
    if (GetTempFileNameA(folder.c_str(), "zv~", 0, temporary) == 0) return;
    temporary_ = temporary;
}

ReplacingFile::~ReplacingFile() {
    if (!committed_ && !temporary_.empty()) DeleteFileA(temporary_.c_str());
}

bool ReplacingFile::WriteAll(const void* data, std::uint32_t size) {
    if (!Ok() || (!data && size > 0)) return false;
    HANDLE file = CreateFileA(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool whole = (size == 0 || WriteFile(file, data, size, &written, nullptr)) &&
                       written == size && FlushFileBuffers(file);
    CloseHandle(file);
    return whole;
}

bool ReplacingFile::Commit(bool expectNonEmpty, bool replaceExisting) {
    if (!Ok() || committed_) return false;
    HANDLE file = CreateFileA(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    const bool flushed = GetFileSizeEx(file, &size) && FlushFileBuffers(file);
    CloseHandle(file);
    if (!flushed || (expectNonEmpty && size.QuadPart == 0)) return false;
    // The target may have changed since the name was taken (made read-only, made a folder).
    if (!CanReplaceFile(target_.c_str())) return false;
    if (beforeMove) beforeMove(target_.c_str());
    const DWORD replace = replaceExisting ? MOVEFILE_REPLACE_EXISTING : 0;
    if (!MoveFileExA(temporary_.c_str(), target_.c_str(), replace | MOVEFILE_WRITE_THROUGH))
        return false;
    committed_ = true;
    return true;
}
