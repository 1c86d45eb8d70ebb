// Path and whole-file routines of the archive reader, and the search for archives under a folder.
#pragma once

#include "world/archive_list.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// How deep FindArchivesInFolder descends below its start folder.
constexpr int kDeepestArchiveFolder = 300;

// Splits a path into its file name (name and extension) and its folder (drive and folders, less
// the separator that ends them, unless the folder is a root such as "C:\" or "/").
void SplitArchivePath(const char* path, std::string& name, std::string& folder);

// 1 when the path's last component holds no ".".
int PathHasNoExtension(const char* path);

// 1 and the file's size, or 0 (size 0) for an empty name or a file that cannot be opened.
int GetFileSizeByName(const char* path, std::int64_t& size);

// The size of an open file, its position kept; -1 for none.
std::int64_t GetOpenFileSize(std::FILE* file);

// 1 and the whole file in a new buffer, or 0 (buffer empty) when it cannot be read or is larger
// than memory allows.
int ReadFileToMemory(const char* path, std::vector<std::uint8_t>& buffer, std::int64_t& size);

// Appends to list every file matching pattern (such as "*.pk3") in the start folder and, depth
// first, in the folders below it: name, folder and full path folder + "/" + name. An empty start
// folder is the current one. The process's current folder is never changed. 1 when at least one
// file was found.
int FindArchivesInFolder(const char* pattern, const char* startFolder, ArchiveFileList& list);
