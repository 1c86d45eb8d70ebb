// Pk3 archive reader: the zip archives that hold a level, its shader scripts and textures. An
// archive read once stays open in a table of up to 1,024 for later lookups; nothing is ever
// written to one.
#pragma once

#include "world/archive_list.h"

#include <cstdint>
#include <vector>

constexpr int kMostOpenArchives = 1024;

// 1, with the member's bytes (and one more, zero, after them) and their count, or 0 with data
// empty. The member is the first in directory order whose name ends with memberName, compared
// without regard to case, where that ending begins the name or follows "/" or "\"; an empty
// member is not found. archivePath is matched exactly against the archives already open.
int FindFileInZip(const char* archivePath, const char* memberName, std::vector<std::uint8_t>& data,
                  std::uint32_t& size);

// Fills list (emptied first) with every member whose name contains pattern, compared without
// regard to case, in directory order: name, folder, and the member's full name as path; the
// list's header is the archive's path. 1, or 0 when the archive cannot be read.
int ListZipMembers(const char* archivePath, const char* pattern, ArchiveFileList& list);

// Reads the archive's directory afresh (the file closed after): 1 and the size of the first
// member whose name contains memberName, compared without regard to case, else 0 and size 0.
int ReadZipDirectory(const char* archivePath, const char* memberName, std::uint32_t& size);

// Appends path to the world's archive list: 1 when it is there now (or was already, by exactly
// that path), 0 when the file cannot be opened. Name and folder come from SplitArchivePath.
int AddArchiveFile(const char* path);
// The same for the world's second archive list.
int AddSecondArchiveFile(const char* path);
const ArchiveFileList& WorldArchiveFiles();
const ArchiveFileList& WorldSecondArchiveFiles();
// Frees both archive lists.
void FreeWorldFileTable();

// Closes every open archive and empties the table (at a level's unloading, or for a module
// restart): the files are no longer held open.
void CloseZipArchives();
// How many archives the table holds.
int OpenZipArchiveCount();

// A level load's archives. From BeginZipLoad on, each archive the load reads adds its size to the
// running load's budget once (AddLoadFile); a load that fails gives ForgetZipLoad the mark, which
// closes the archives it opened and drops the archives it added to the lists, so that nothing of
// a refused level stays to be read by the next one, and puts back the archive whose slot of a
// full table it took. A load that succeeds ends with KeepZipLoad.
struct ZipLoadMark {
    int openArchives = 0;
    std::int32_t worldFiles = 0;
    std::int32_t secondFiles = 0;
};
ZipLoadMark BeginZipLoad();
void KeepZipLoad();
void ForgetZipLoad(const ZipLoadMark& mark);
