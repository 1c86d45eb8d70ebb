#include "core/win32.h"

#include "world/archive_files.h"

#include <cstring>
#include <new>

namespace {

// Whole files read into memory stop here: a 32-bit process cannot hold much more.
constexpr std::int64_t kLargestFile = std::int64_t{1} << 30;

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

std::string Join(const std::string& folder, const char* name, char separator) {
    if (!folder.empty() && IsSeparator(folder.back())) return folder + name;
    return folder + separator + name;
}

// The files matching pattern directly inside folder.
void ListMatches(const std::string& folder, const char* pattern, ArchiveFileList& list) {
    WIN32_FIND_DATAA found;
    const HANDLE find = FindFirstFileA(Join(folder, pattern, '\\').c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            AppendArchiveListEntry(list, Join(folder, found.cFileName, '/'), found.cFileName,
                                   folder);
    } while (FindNextFileA(find, &found));
    FindClose(find);
}

// A folder whose entries are being walked.
struct Level {
    HANDLE find;
    std::string folder;
    WIN32_FIND_DATAA found;
    bool first; // found holds the first entry, not yet looked at
};

bool Descend(const std::string& folder, const char* pattern, ArchiveFileList& list,
             std::vector<Level>& levels) {
    ListMatches(folder, pattern, list);
    Level level{INVALID_HANDLE_VALUE, folder, {}, true};
    level.find = FindFirstFileA(Join(folder, "*", '\\').c_str(), &level.found);
    if (level.find == INVALID_HANDLE_VALUE) return false;
    levels.push_back(level);
    return true;
}

bool IsSubfolder(const WIN32_FIND_DATAA& found) {
    // Linked folders are not followed: a link back up would repeat the walk below it.
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0;
}

} // namespace

void SplitArchivePath(const char* path, std::string& name, std::string& folder) {
    name.clear();
    folder.clear();
    if (!path) return;
    const std::string text(path);
    const std::size_t cut = text.find_last_of("\\/:");
    if (cut == std::string::npos) {
        name = text;
        return;
    }
    name = text.substr(cut + 1);
    folder = text.substr(0, cut + 1);
    // "C:\" and "/" stay roots; "C:\maps\" becomes "C:\maps".
    const bool root = folder.size() == 1 || (folder.size() <= 3 && folder[1] == ':');
    if (!root && IsSeparator(folder.back())) folder.pop_back();
}

int PathHasNoExtension(const char* path) {
    if (!path) return 1;
    const char* last = path;
    for (const char* p = path; *p; ++p)
        if (IsSeparator(*p)) last = p + 1;
    return std::strchr(last, '.') ? 0 : 1;
}

std::int64_t GetOpenFileSize(std::FILE* file) {
    if (!file) return -1;
    const long long at = _ftelli64(file);
    if (at < 0 || _fseeki64(file, 0, SEEK_END) != 0) return -1;
    const long long size = _ftelli64(file);
    _fseeki64(file, at, SEEK_SET);
    return size;
}

int GetFileSizeByName(const char* path, std::int64_t& size) {
    size = 0;
    if (!path || !*path) return 0;
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return 0;
    const std::int64_t length = GetOpenFileSize(file);
    std::fclose(file);
    if (length < 0) return 0;
    size = length;
    return 1;
}

int ReadFileToMemory(const char* path, std::vector<std::uint8_t>& buffer, std::int64_t& size) {
    buffer.clear();
    size = 0;
    if (!path || !*path) return 0;
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return 0;
    const std::int64_t length = GetOpenFileSize(file);
    bool ok = length >= 0 && length <= kLargestFile;
    if (ok) {
        try {
            buffer.resize(static_cast<std::size_t>(length));
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    ok = ok && std::fread(buffer.data(), 1, buffer.size(), file) == buffer.size();
    std::fclose(file);
    if (!ok) {
        buffer.clear();
        buffer.shrink_to_fit();
        return 0;
    }
    size = length;
    return 1;
}

int FindArchivesInFolder(const char* pattern, const char* startFolder, ArchiveFileList& list) {
    if (!pattern || !*pattern || !startFolder) return 0;
    char start[MAX_PATH];
    const DWORD length =
        GetFullPathNameA(*startFolder ? startFolder : ".", MAX_PATH, start, nullptr);
    if (length == 0 || length >= MAX_PATH) return 0;
    std::string folder(start);
    if (folder.size() > 3 && IsSeparator(folder.back())) folder.pop_back();
    const std::int32_t before = list.count;
    std::vector<Level> levels;
    Descend(folder, pattern, list, levels);
    while (!levels.empty()) {
        Level& level = levels.back();
        if (!level.first && !FindNextFileA(level.find, &level.found)) {
            FindClose(level.find);
            levels.pop_back();
            continue;
        }
        level.first = false;
        if (!IsSubfolder(level.found) ||
            levels.size() > static_cast<std::size_t>(kDeepestArchiveFolder))
            continue;
        const std::string below = Join(level.folder, level.found.cFileName, '\\');
        Descend(below, pattern, list, levels);
    }
    return list.count > before ? 1 : 0;
}
