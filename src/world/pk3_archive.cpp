#include "core/win32.h"

#include "world/pk3_archive.h"
#include "world/archive_files.h"
#include "world/zip_records.h"
#include "core/load_budget.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace {

// Which file a handle reads: one archive reached by two spellings of its path is one file.
struct FileId {
    DWORD volume = 0, high = 0, low = 0;
    bool operator==(const FileId&) const = default;
};

struct OpenArchive {
    std::string path; // as first asked for, compared exactly
    HANDLE file = INVALID_HANDLE_VALUE;
    FileId id;
    std::uint64_t length = 0;
    std::vector<ZipDirEntry> directory;
    ZipNameIndex names;
};

// The reader's state: the table lives until CloseZipArchives (the run, as the world uses it);
// the two archive lists until FreeWorldFileTable.
struct State {
    std::array<OpenArchive, kMostOpenArchives> archives;
    int count = 0;
    ArchiveFileList worldFiles;
    ArchiveFileList secondFiles;
    std::vector<FileId> counted; // the files whose size the running level load's budget holds
    // From BeginZipLoad to the load's end: whether one runs, the table's count when it began, and
    // the archive that a load begun with a full table took the last slot from, kept open until
    // the load is kept or forgotten.
    bool loading = false;
    int loadStart = 0;
    bool setAside = false;
    OpenArchive aside;
};
State s;

void Close(OpenArchive& archive) {
    if (archive.file != INVALID_HANDLE_VALUE) CloseHandle(archive.file);
    archive = OpenArchive{};
}

HANDLE OpenForReading(const char* path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool ReadDirectory(HANDLE file, std::vector<ZipDirEntry>& directory) {
    return ReadZipCentralDirectory(FileZipSource(file), directory);
}

FileId IdOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) return FileId{};
    return FileId{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

// An archive's size joins the running load's budget once per load, before anything is read
// from it for that load.
void CountInLoad(const FileId& id, std::uint64_t length) {
    if (!LoadRunning() || std::find(s.counted.begin(), s.counted.end(), id) != s.counted.end())
        return;
    s.counted.push_back(id);
    AddLoadFile(length);
}

// A slot for a newly opened archive. A full table gives up its last slot; when a load that
// began with the table full takes it first, its archive is set aside instead of closed, so that a
// refused load can put it back.
OpenArchive& FreeSlot() {
    if (s.count < kMostOpenArchives) return s.archives[s.count++];
    OpenArchive& last = s.archives[kMostOpenArchives - 1];
    if (s.loading && s.loadStart == kMostOpenArchives && !s.setAside) {
        s.aside = std::move(last);
        s.setAside = true;
        last = OpenArchive{};
    }
    Close(last);
    return last;
}

// Ends a load: the archive set aside, if any, is closed.
void DropSetAside() {
    if (s.setAside) Close(s.aside);
    s.setAside = false;
    s.loading = false;
}

// The table's archive of that path, opened and its directory read the first time. An archive
// that cannot be opened or read is not kept, so a later call tries again.
OpenArchive* Opened(const char* path) {
    for (int i = 0; i < s.count; ++i) {
        if (s.archives[i].path != path) continue;
        CountInLoad(s.archives[i].id, s.archives[i].length);
        return &s.archives[i];
    }
    const HANDLE file = OpenForReading(path);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    const std::uint64_t length = FileZipSource(file).Length();
    const FileId id = IdOf(file);
    CountInLoad(id, length);
    std::vector<ZipDirEntry> directory;
    ZipNameIndex names;
    if (!ReadDirectory(file, directory)) {
        CloseHandle(file);
        return nullptr;
    }
    try {
        names.Build(directory);
    } catch (...) {
        CloseHandle(file);
        throw;
    }
    OpenArchive& archive = FreeSlot();
    archive.path = path;
    archive.file = file;
    archive.id = id;
    archive.length = length;
    archive.directory.swap(directory);
    archive.names = std::move(names);
    return &archive;
}

void Lowercase(std::string& text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

int AddArchiveTo(ArchiveFileList& list, const char* path) {
    if (!path || !*path) return 0;
    for (std::int32_t i = 0; i < list.count; ++i)
        if (list.entries[static_cast<std::size_t>(i)].path == path) return 1;
    const HANDLE file = OpenForReading(path);
    if (file == INVALID_HANDLE_VALUE) return 0;
    CloseHandle(file);
    std::string name, folder;
    SplitArchivePath(path, name, folder);
    AppendArchiveListEntry(list, path, name, folder);
    return 1;
}

} // namespace

int FindFileInZip(const char* archivePath, const char* memberName, std::vector<std::uint8_t>& data,
                  std::uint32_t& size) {
    data.clear();
    size = 0;
    if (!archivePath || !memberName) return 0;
    OpenArchive* archive = Opened(archivePath);
    if (!archive) return 0;
    const int index = archive->names.Find(memberName);
    if (index < 0) return 0;
    const ZipDirEntry& entry = archive->directory[static_cast<std::size_t>(index)];
    if (entry.compressedSize == 0 || entry.uncompressedSize == 0) return 0;
    if (!ReadZipMember(FileZipSource(archive->file), entry, data)) return 0;
    size = entry.uncompressedSize;
    return 1;
}

int ListZipMembers(const char* archivePath, const char* pattern, ArchiveFileList& list) {
    ClearArchiveFileList(list);
    if (!archivePath || !pattern) return 0;
    const OpenArchive* archive = Opened(archivePath);
    if (!archive) return 0;
    SetNameTableEntry(list.header, archivePath);
    std::string lowered(pattern);
    Lowercase(lowered);
    for (const ZipDirEntry& entry : archive->directory) {
        if (!std::strstr(entry.name, lowered.c_str())) continue;
        std::string name, folder;
        SplitArchivePath(entry.name, name, folder);
        AppendArchiveListEntry(list, entry.name, name, folder);
    }
    return 1;
}

int ReadZipDirectory(const char* archivePath, const char* memberName, std::uint32_t& size) {
    size = 0;
    if (!archivePath || !memberName || !*memberName) return 0;
    const HANDLE file = OpenForReading(archivePath);
    if (file == INVALID_HANDLE_VALUE) return 0;
    std::vector<ZipDirEntry> directory;
    const bool read = ReadDirectory(file, directory);
    CloseHandle(file);
    if (!read) return 0;
    std::string lowered(memberName);
    Lowercase(lowered);
    for (const ZipDirEntry& entry : directory) {
        if (!std::strstr(entry.name, lowered.c_str())) continue;
        size = entry.uncompressedSize;
        return 1;
    }
    return 0;
}

int AddArchiveFile(const char* path) {
    return AddArchiveTo(s.worldFiles, path);
}

int AddSecondArchiveFile(const char* path) {
    return AddArchiveTo(s.secondFiles, path);
}

const ArchiveFileList& WorldArchiveFiles() {
    return s.worldFiles;
}

const ArchiveFileList& WorldSecondArchiveFiles() {
    return s.secondFiles;
}

void FreeWorldFileTable() {
    ClearArchiveFileList(s.worldFiles);
    ClearArchiveFileList(s.secondFiles);
}

void CloseZipArchives() {
    for (int i = 0; i < s.count; ++i)
        Close(s.archives[i]);
    s.count = 0;
    DropSetAside();
}

int OpenZipArchiveCount() {
    return s.count;
}

ZipLoadMark BeginZipLoad() {
    DropSetAside();
    s.counted.clear();
    s.loading = true;
    s.loadStart = s.count;
    return ZipLoadMark{s.count, s.worldFiles.count, s.secondFiles.count};
}

void KeepZipLoad() {
    DropSetAside();
}

void ForgetZipLoad(const ZipLoadMark& mark) {
    for (int i = mark.openArchives; i < s.count; ++i)
        Close(s.archives[i]);
    s.count = std::min(s.count, mark.openArchives);
    if (s.setAside) {
        OpenArchive& last = s.archives[kMostOpenArchives - 1];
        Close(last);
        last = std::move(s.aside);
        s.aside = OpenArchive{};
        s.setAside = false;
    }
    s.loading = false;
    if (s.worldFiles.count > mark.worldFiles) ResizeArchiveFileList(s.worldFiles, mark.worldFiles);
    if (s.secondFiles.count > mark.secondFiles)
        ResizeArchiveFileList(s.secondFiles, mark.secondFiles);
}
