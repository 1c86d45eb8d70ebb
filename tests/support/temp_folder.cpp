#include "core/win32.h"

#include "support/temp_folder.h"

#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {
std::atomic<int> counter{0};
}

TempFolder::TempFolder(const std::string& parent) {
    char temp[MAX_PATH] = {};
    if (parent.empty())
        GetTempPathA(MAX_PATH, temp);
    else
        std::snprintf(temp, sizeof temp, "%s\\", parent.c_str());
    const std::string stem =
        std::string(temp) + "zarvolin-test-" + std::to_string(GetCurrentProcessId()) + "-";
    // Process ids come round again: a folder an earlier run could not remove is passed over.
    do
        path_ = stem + std::to_string(counter++);
    while (!CreateDirectoryA(path_.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
}

TempFolder::~TempFolder() {
    std::string from = path_ + '\0'; // double-terminated for the shell
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationA(&op);
}

std::string TempFolder::Write(const std::string& name, const std::string& bytes) const {
    const std::string full = File(name);
    for (std::size_t slash = full.find('\\', path_.size() + 1); slash != std::string::npos;
         slash = full.find('\\', slash + 1))
        CreateDirectoryA(full.substr(0, slash).c_str(), nullptr);
    std::ofstream(full, std::ios::binary) << bytes;
    return full;
}

std::string TempFolder::Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::map<std::string, std::string> TempFolder::Tree(const std::string& folder) {
    std::map<std::string, std::string> tree;
    WIN32_FIND_DATAA entry{};
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &entry)) {
        const std::string name = entry.cFileName, path = folder + "\\" + name;
        if (name == "." || name == "..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            tree[name + "\\"] = "";
            for (const auto& [below, bytes] : Tree(path))
                tree[name + "\\" + below] = bytes;
        } else {
            tree[name] = Read(path);
        }
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    return tree;
}

std::string TempFolder::UnixFolder(const char* variable) {
    char value[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA(variable, value, sizeof value);
    std::string path = length > 0 && length < sizeof value ? value : "";
    std::replace(path.begin(), path.end(), '/', '\\');
    return path.empty() ? path : "Z:" + path; // Wine shows the Unix root as drive Z:
}
