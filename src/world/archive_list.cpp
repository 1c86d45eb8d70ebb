#include "core/win32.h"

#include "world/archive_list.h"
#include "world/growable_table.h"

#include <cstring>

namespace {

constexpr std::int32_t kSpareEntries = 100;

} // namespace

void ResizeArchiveFileList(ArchiveFileList& list, std::int32_t n) {
    ResizeGrowableTable(list.entries, list.count, n, kSpareEntries);
}

void AppendArchiveListEntry(ArchiveFileList& list, const std::string& path, const std::string& name,
                            const std::string& folder) {
    ResizeArchiveFileList(list, list.count + 1);
    ArchiveFileEntry& entry = list.entries[static_cast<std::size_t>(list.count)];
    entry.name = name;
    entry.folder = folder;
    entry.path = path;
    ++list.count;
}

void AddArchiveListEntry(ArchiveFileList& list, const char* path, const char* name,
                         const char* folder) {
    if (!name) return;
    for (std::int32_t i = 0; i < list.count; ++i)
        if (_stricmp(list.entries[static_cast<std::size_t>(i)].name.c_str(), name) == 0) return;
    ResizeArchiveFileList(list, list.count + 1);
    ArchiveFileEntry& entry = list.entries[static_cast<std::size_t>(list.count)];
    SetNameTableEntry(entry.name, name);
    SetNameTableEntry(entry.folder, folder);
    SetNameTableEntry(entry.path, path);
    ++list.count;
}

void ClearArchiveFileList(ArchiveFileList& list) {
    list.header.clear();
    list.header.shrink_to_fit();
    ResizeArchiveFileList(list, 0);
    list.entries.clear();
    list.entries.shrink_to_fit();
    list.count = 0;
}

void SetNameTableEntry(std::string& field, const char* text) {
    if (text)
        field.assign(text);
    else
        field.clear();
}
