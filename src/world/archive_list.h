// A growable list of archive files or archive members, each entry named three ways: file name
// (name and extension), folder, and full path. The world keeps its level's files in one, the
// archive reader its archives in two.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ArchiveFileEntry {
    std::string name;
    std::string folder;
    std::string path;
};

struct ArchiveFileList {
    std::int32_t count = 0; // entries in use, the first ones of entries
    std::string header;     // what the list is of (ListZipMembers: the archive's path)
    std::vector<ArchiveFileEntry> entries; // its size is the list's capacity
};

// Makes room for n entries. Past the capacity, it becomes n + 100 (the new entries empty); a
// capacity more than 100 above n shrinks to n, freeing the entries beyond. A count above n
// drops to n: the list never counts entries it no longer holds.
void ResizeArchiveFileList(ArchiveFileList& list, std::int32_t n);

// Appends an entry with copies of the texts given (a null text leaves its field empty), unless
// name is null or an entry already has that name, compared without regard to case.
void AddArchiveListEntry(ArchiveFileList& list, const char* path, const char* name,
                         const char* folder);

// Appends an entry whatever the entries before it are named (two archives or members may share
// a file name in different folders).
void AppendArchiveListEntry(ArchiveFileList& list, const std::string& path, const std::string& name,
                            const std::string& folder);

// Frees every entry and the header; the count becomes 0.
void ClearArchiveFileList(ArchiveFileList& list);

// Stores a copy of text into a field, replacing what it held; null empties it.
void SetNameTableEntry(std::string& field, const char* text);
