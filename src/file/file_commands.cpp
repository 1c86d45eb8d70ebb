#include "core/win32.h"

#include "file/file.h"
#include "file/file_state.h"
#include "core/checklist.h"
#include "core/core.h"
#include "core/file_names.h"
#include "core/load_budget.h"
#include "core/media.h"
#include "core/no_throw.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <direct.h>
#include <vector>

namespace {

FileState& s = g_File;

constexpr std::int32_t kStillActive = 259;

bool IsDirectory(const char* path) {
    const DWORD attributes = path ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

struct WideEntry {
    std::wstring name;
    bool folder, link;
};

std::vector<WideEntry> FolderEntries(const std::wstring& folder) {
    std::vector<WideEntry> entries;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return entries;
    try { // running out of memory never leaves the search open
        do {
            const std::wstring name = found.cFileName;
            const DWORD a = found.dwFileAttributes;
            if (name != L"." && name != L"..")
                entries.push_back({name, (a & FILE_ATTRIBUTE_DIRECTORY) != 0, IsLinkEntry(a)});
        } while (FindNextFileW(search, &found));
    } catch (...) {
        FindClose(search);
        throw;
    }
    FindClose(search);
    return entries;
}

// Deletes everything inside the folder, deepest first. Paths are long ones, so a tree deeper than
// the usual path limit goes too; a linked folder is removed as a link, never followed. The walk
// keeps one path and the entries of the folders it is in, however deep the tree.
void DeleteDirectoryTree(std::wstring path) {
    struct Level {
        std::vector<WideEntry> entries;
        std::size_t next = 0, pathLength = 0;
    };
    std::vector<Level> levels;
    levels.push_back({FolderEntries(path), 0, path.size()});
    while (!levels.empty()) {
        Level& level = levels.back();
        path.resize(level.pathLength);
        if (level.next == level.entries.size()) {
            levels.pop_back();
            if (!levels.empty()) RemoveDirectoryW(path.c_str());
            continue;
        }
        const WideEntry& e = level.entries[level.next++];
        path += L'\\';
        path += e.name;
        if (e.folder && !e.link) {
            levels.push_back({FolderEntries(path), 0, path.size()});
        } else if (e.folder) {
            RemoveDirectoryW(path.c_str());
        } else {
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(path.c_str());
        }
    }
}

HANDLE OpenSharedForReading(const char* name) {
    return name ? CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)
                : INVALID_HANDLE_VALUE;
}

// The whole file in bytes; opened tells whether it could be opened at all, the result whether
// every byte was read. A 32-bit program holds no file of 2 GB or more in one block: such a file
// is opened but not read.
bool ReadWhole(const char* name, std::vector<std::uint8_t>& bytes, bool& opened) {
    bytes.clear();
    HANDLE file = OpenSharedForReading(name);
    opened = file != INVALID_HANDLE_VALUE;
    if (!opened) return false;
    LARGE_INTEGER size{};
    DWORD read = 0;
    const bool whole =
        GetFileSizeEx(file, &size) && size.QuadPart < 0x7FFFFFFF &&
        GuardLoad([&] { return bytes.resize(size.LowPart), true; }) &&
        (size.LowPart == 0 ||
         (ReadFile(file, bytes.data(), size.LowPart, &read, nullptr) && read == size.LowPart));
    CloseHandle(file);
    if (!whole) std::vector<std::uint8_t>().swap(bytes);
    return whole;
}

std::string FormatTime(std::time_t t) {
    const char* text = std::ctime(&t);
    return text ? std::string(text).substr(0, 24) : std::string();
}

bool FileOrDirectoryExists(const char* name) {
    return name && GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
}

// A device name in any folder and with any extension opens the device, which no file command may
// delete or move; Windows refuses, and Wine, whose ports may be plain files, would do it.
bool NamesDevice(const char* path) {
    const std::string_view name(path);
    const std::size_t last = name.find_last_of("\\/:");
    return CheckNamePart(name.substr(last == std::string_view::npos ? 0 : last + 1)) ==
           NameProblem::DeviceName;
}

void Move(const char* source, const char* destination, std::int32_t failure) {
    if (!source || !destination || NamesDevice(source) || NamesDevice(destination))
        return RaiseRuntimeWarning(failure);
    if (FileOrDirectoryExists(destination)) return RaiseRuntimeWarning(kFileExists);
    if (!MoveFileA(source, destination)) RaiseRuntimeWarning(failure);
}

void Print(const char* line) {
    if (s.core && s.core->callbacks.print) s.core->callbacks.print(line, 1);
}

} // namespace

void ChangeDirectory(const char* path) {
    if (!path || _chdir(path) != 0) RaiseRuntimeError(kDirectoryNotChanged);
}

// The commands that build their text first raise 101 when it cannot be had, the previous string
// kept.
char* GetDirectory(char* previous) {
    return NoThrow(kStringNoMemory, previous,
                   [&] { return ReturnFileString(previous, CurrentDirectory()); });
}

void MakeDirectory(const char* path) {
    if (!path || !CreateDirectoryA(path, nullptr)) RaiseRuntimeWarning(kDirectoryNotMade);
}

void DeleteDirectory(const char* path) {
    if (!IsDirectory(path)) return RaiseRuntimeWarning(kDirectoryNotRemoved);
    const bool removed = GuardLoad([&] {
        const std::wstring full = LongPath(path);
        DeleteDirectoryTree(full);
        return RemoveDirectoryW(full.c_str()) != 0;
    });
    // Whatever could not be deleted is still there: the command says so.
    if (!removed) RaiseRuntimeError(kDirectoryNotRemoved);
}

std::int32_t DirectoryExists(const char* path) {
    return IsDirectory(path) ? 1 : 0;
}

char* GetApplicationPath(char* previous) {
    char path[kStringBuffer] = {};
    GetModuleFileNameA(s.core ? s.core->instance : nullptr, path, sizeof path - 1);
    return ReturnFileString(previous, path);
}

char* GetWindowsFolder(char* previous) {
    char path[kStringBuffer] = {};
    GetWindowsDirectoryA(path, sizeof path - 1);
    return ReturnFileString(previous, path);
}

void MakeFile(const char* name) {
    // An existing file is emptied by replacing it, so one that cannot be written stays whole.
    if (!name || !CoreWriteWholeFile(name, nullptr, 0)) RaiseRuntimeError(kFileNotMade);
}

void RemoveFile(const char* name) {
    if (!name || NamesDevice(name) || !SetFileAttributesA(name, FILE_ATTRIBUTE_NORMAL))
        return RaiseRuntimeWarning(kFileNotDeleted);
    if (!DeleteFileA(name) && GetLastError() == ERROR_SHARING_VIOLATION)
        RaiseRuntimeWarning(kFileInUse);
}

void CopyFileTo(const char* source, const char* destination) {
    if (!source) return RaiseRuntimeWarning(kFileMissing);
    if (!destination || !*destination) return RaiseRuntimeError(kFileExists); // nowhere to copy
    const MediaName resolved = ResolveName(source, true);
    if (GetFileAttributesA(resolved.text) == INVALID_FILE_ATTRIBUTES) {
        RaiseRuntimeWarning(kFileMissing);
    } else if (FileOrDirectoryExists(destination)) {
        RaiseRuntimeWarning(kFileExists); // never replaces what is there
    } else if (!CoreCopyWholeFile(resolved.text, destination, false)) {
        RaiseRuntimeError(kFileExists);
    }
    AfterCloseHook(resolved.text);
}

void RenameFile(const char* source, const char* destination) {
    Move(source, destination, kFileNotRenamed);
}
void MoveFileTo(const char* source, const char* destination) {
    Move(source, destination, kFileNotMoved);
}

void WriteByteToFile(const char* name, std::int32_t position, std::int32_t value) {
    if (!name || !*name) return RaiseRuntimeError(kFileWriteFailed); // names no file to write
    std::vector<std::uint8_t> bytes;
    bool opened = false;
    if (!ReadWhole(name, bytes, opened)) {
        // A file that is there but cannot be read whole cannot be written back either.
        if (opened || FileOrDirectoryExists(name)) return RaiseRuntimeError(kFileWriteFailed);
        return RaiseRuntimeWarning(kFileMissing);
    }
    if (position >= 0 && static_cast<std::size_t>(position) < bytes.size())
        bytes[static_cast<std::size_t>(position)] = static_cast<std::uint8_t>(value);
    if (!CoreWriteWholeFile(name, bytes.data(), static_cast<std::uint32_t>(bytes.size())))
        RaiseRuntimeError(kFileWriteFailed);
}

std::int32_t ReadByteFromFile(const char* name, std::int32_t position) {
    HANDLE file = OpenSharedForReading(name);
    if (file == INVALID_HANDLE_VALUE) {
        RaiseRuntimeWarning(kFileMissing);
        return 0;
    }
    // The one byte is read where it lies, in a file of any size.
    LARGE_INTEGER size{}, at{};
    at.QuadPart = position;
    std::uint8_t byte = 0;
    DWORD read = 0;
    const bool inside = GetFileSizeEx(file, &size) && position >= 0 && at.QuadPart < size.QuadPart;
    const bool got = inside && SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
                     ReadFile(file, &byte, 1, &read, nullptr) && read == 1;
    CloseHandle(file);
    if (inside && !got) RaiseRuntimeError(kFileReadFailed);
    return got ? static_cast<std::int8_t>(byte) : 0;
}

void FindFirst() {
    EndSearch();
    s.searchStarted = true;
    s.search = _findfirst("*.*", &s.found);
    if (s.search == -1) {
        s.searchState = -1;
        return RaiseRuntimeWarning(kNoFileFound);
    }
    s.searchState = 0;
}

void FindNext() {
    if (!s.searchStarted) return;
    if (s.searchState == -1) return RaiseRuntimeError(kFileSearchEnded);
    if (_findnext(s.search, &s.found) != 0) EndSearch();
}

char* GetFindName(char* previous) {
    return ReturnFileString(previous, s.searchStarted ? s.found.name : "");
}

std::int32_t GetFindType() {
    if (!s.searchStarted || s.searchState == -1) return -1;
    return (s.found.attrib & _A_SUBDIR) ? 1 : 0;
}

char* GetFindModifiedDate(char* previous) {
    return NoThrow(kStringNoMemory, previous, [&] {
        return ReturnFileString(previous, s.searchStarted ? FormatTime(s.found.time_write) : "");
    });
}

char* GetFindCreatedDate(char* previous) {
    return NoThrow(kStringNoMemory, previous, [&] {
        return ReturnFileString(previous, s.searchStarted ? FormatTime(s.found.time_create) : "");
    });
}

void PrintDirectory() {
    // The heading is the one line that needs memory: out of memory (101) prints nothing.
    std::string heading;
    if (!NoThrow(kStringNoMemory, [&] { heading = CurrentDirectory() + ":"; })) return;
    Print(heading.c_str());
    _finddata_t data{};
    const intptr_t search = _findfirst("*.*", &data);
    if (search == -1) return;
    do {
        char line[sizeof data.name + 5];
        std::snprintf(line, sizeof line, "%s%s", (data.attrib & _A_SUBDIR) ? "<dir>" : "",
                      data.name);
        Print(line);
    } while (_findnext(search, &data) == 0);
    _findclose(search);
}

void PrintDrives() {
    const int current = _getdrive();
    for (int drive = 1; drive <= 26; ++drive) {
        const char name[] = {static_cast<char>('A' + drive - 1), ':', 0};
        if (_chdrive(drive) == 0) Print(name);
    }
    _chdrive(current);
}

namespace {

// Rows 0..count-1 made to hold length characters before any is written: out of memory (101)
// leaves the checklist the program had.
bool ReserveRows(std::size_t count, std::int32_t length) {
    if (ReserveChecklistRows(static_cast<std::int32_t>(count), length)) return true;
    RaiseRuntimeError(kStringNoMemory);
    return false;
}

// The current directory's entries ("." and ".." among them); false, with 101 raised, when they
// cannot be held.
bool ListDirectory(std::vector<Entry>& entries) {
    _finddata_t data{};
    const intptr_t search = _findfirst("*.*", &data);
    if (search == -1) {
        RaiseRuntimeWarning(kNoFileFound);
        return true;
    }
    const bool listed = NoThrow(kStringNoMemory, [&] {
        do
            entries.push_back(Entry{data.name, (data.attrib & _A_SUBDIR) != 0});
        while (_findnext(search, &data) == 0);
    });
    _findclose(search);
    return listed;
}

} // namespace

void DirectoryChecklist() {
    if (!s.core) return;
    CoreData& core = *s.core;
    std::vector<Entry> entries;
    if (!ListDirectory(entries)) return;
    std::int32_t longest = 0;
    for (const Entry& e : entries)
        longest = std::max(longest, static_cast<std::int32_t>(e.name.size() + 1));
    if (!ReserveRows(entries.size(), longest)) return;
    std::int32_t rows = 0;
    for (const Entry& e : entries) {
        ChecklistEntry& row = core.checklistRows[rows++];
        std::memcpy(row.string, e.name.c_str(), e.name.size() + 1);
        row.values[0] = e.directory ? 1 : 0;
    }
    core.checklistRowsInUse = rows;
    core.checklistMade = core.checklistHasValues = core.checklistHasStrings = 1;
}

void DriveChecklist() {
    if (!s.core) return;
    char drives[26][4] = {"a:\\"};
    std::size_t count = 1;
    for (char letter = 'c'; letter <= 'z'; ++letter) {
        const char root[] = {letter, ':', '\\', 0};
        const UINT type = GetDriveTypeA(root);
        if (type == DRIVE_FIXED || type == DRIVE_CDROM) std::memcpy(drives[count++], root, 4);
    }
    if (!ReserveRows(count, 255)) return;
    for (std::size_t row = 0; row < count; ++row)
        std::memcpy(s.core->checklistRows[row].string, drives[row], 4);
    s.core->checklistRowsInUse = static_cast<std::int32_t>(count);
    s.core->checklistMade = s.core->checklistHasStrings = 1;
    s.core->checklistHasValues = 0;
}

void ExecuteFile(const char* file, const char* parameters, const char* directory) {
    if (s.process) CloseHandle(s.process);
    s.process = nullptr;
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, "open", file, parameters, directory, SW_SHOWDEFAULT));
    if (result <= 32) RaiseRuntimeWarning(kCannotExecute);
}

void ExecuteFileAndWait(const char* file, const char* parameters, const char* directory,
                        std::int32_t wait) {
    if (s.process) CloseHandle(s.process);
    s.process = nullptr;
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = "open";
    info.lpFile = file;
    info.lpParameters = parameters;
    info.lpDirectory = directory;
    info.nShow = SW_SHOWDEFAULT;
    if (!ShellExecuteExA(&info) || !info.hProcess) return RaiseRuntimeWarning(kCannotExecute);
    s.process = info.hProcess;
    while (wait == 1 && s.process) {
        DWORD code = 0;
        if (GetExitCodeProcess(s.process, &code) && code != kStillActive) {
            CloseHandle(s.process);
            s.process = nullptr;
            break;
        }
        const bool quit =
            s.core && s.core->callbacks.pumpMessages && s.core->callbacks.pumpMessages() == 1;
        if (quit) {
            CloseHandle(s.process);
            s.process = nullptr;
            break;
        }
        if (!s.core || !s.core->callbacks.pumpMessages) Sleep(1);
    }
}

namespace {

std::int32_t StartProgram(const char* file, const char* parameters, const char* directory,
                          std::int32_t highPriority) {
    std::string commandLine = std::string(file) + " " + (parameters ? parameters : "");
    std::string folder = directory ? directory : "";
    if (!folder.empty() && !(folder.size() > 1 && folder[1] == ':'))
        folder = CurrentDirectory() + "\\" + folder;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWDEFAULT;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                        highPriority == 1 ? HIGH_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        RaiseRuntimeWarning(kCannotExecute);
        return 0;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<std::int32_t>(process.dwProcessId);
}

} // namespace

std::int32_t ExecuteProgram(const char* file, const char* parameters, const char* directory,
                            std::int32_t highPriority) {
    if (!file) {
        RaiseRuntimeWarning(kCannotExecute);
        return 0;
    }
    // Out of memory for the command line starts nothing, and says so.
    return NoThrow(kCannotExecute, 0,
                   [&] { return StartProgram(file, parameters, directory, highPriority); });
}

namespace {
BOOL CALLBACK CloseWindowOfProcess(HWND window, LPARAM processId) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == static_cast<DWORD>(processId)) PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}
} // namespace

void StopExecutedProgram(std::int32_t processId) {
    if (processId != 0) EnumWindows(CloseWindowOfProcess, processId);
}

std::int32_t IsProgramRunning(std::int32_t processId) {
    if (processId == 0) return 0;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, static_cast<DWORD>(processId));
    if (!process) return 0;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == kStillActive;
    CloseHandle(process);
    return running ? 1 : 0;
}
