// File module: file and directory commands, programs, 64 numbered file slots with typed reads and
// writes and packed files and trees, and named 1024-byte shared-memory maps. Strings come back as
// new strings (the caller's previous one is freed).
#pragma once

#include "core/core_data.h"

#include <cstdint>

// Start entry: the core's start sequence readies the module with it, once.
void FileConstructor();
// Stop entry: releases everything the module holds.
void FileDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void FileSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData.
void FilePassCoreData(CoreData* core);

// Whole files. Existence and size look through the media redirect.
std::int32_t FileExists(const char* name);
// The file's size in bytes, 0 when it cannot be opened.
std::int32_t GetFileSizeByName(const char* name);
// Makes an empty file, replacing one of that name; 8021 when it cannot (the old file kept).
void MakeFile(const char* name);
// Deletes the file.
void RemoveFile(const char* name);
// Copies a file; an existing destination is kept (warning 106), a failed copy leaves no file
// (error 106), as does no destination name.
void CopyFileTo(const char* source, const char* destination);
// Renames a file (8024 when it cannot).
void RenameFile(const char* source, const char* destination);
// Moves a file (8025 when it cannot).
void MoveFileTo(const char* source, const char* destination);
// Replaces one byte of a file, the whole file written anew; positions past its end do nothing.
// 8212 when it cannot be written back (the old file kept) or no name is given.
void WriteByteToFile(const char* name, std::int32_t position, std::int32_t value);
// One byte of a file, as a signed value.
std::int32_t ReadByteFromFile(const char* name, std::int32_t position);

// Directories (8003 when a change fails).
void ChangeDirectory(const char* path);
// The current directory as a new string; frees previous.
char* GetDirectory(char* previous);
// Makes a directory.
void MakeDirectory(const char* path);
// Deletes an empty directory.
void DeleteDirectory(const char* path);
// 1 when the path is a directory.
std::int32_t DirectoryExists(const char* path);
// The folder of the program as a new string.
char* GetApplicationPath(char* previous);
// The Windows folder as a new string.
char* GetWindowsFolder(char* previous);

// The one directory search ("*.*" in the current directory).
void FindFirst();
// Moves the search to the next entry.
void FindNext();
// The found entry's name.
char* GetFindName(char* previous);
// 1 for a directory, 0 for a file, -1 when the search has ended.
std::int32_t GetFindType();
// The found entry's last write time as text.
char* GetFindModifiedDate(char* previous);
// The found entry's creation time as text.
char* GetFindCreatedDate(char* previous);
// Prints the current directory's entries on the console.
void PrintDirectory();
// Prints the drives on the console.
void PrintDrives();
// The current directory's entries, as checklist rows.
void DirectoryChecklist();
// The drives, as checklist rows.
void DriveChecklist();

// Programs.
void ExecuteFile(const char* file, const char* parameters, const char* directory);
// Opens a file or program; with wait set, pumps messages until it ends.
void ExecuteFileAndWait(const char* file, const char* parameters, const char* directory,
                        std::int32_t wait);
// Starts a program; its process id, 0 when it could not start.
std::int32_t ExecuteProgram(const char* file, const char* parameters, const char* directory,
                            std::int32_t highPriority = 0);
// Ends a program that ExecuteProgram started.
void StopExecutedProgram(std::int32_t processId);
// 1 while that program runs.
std::int32_t IsProgramRunning(std::int32_t processId);

// Slots 1 to 64.
void OpenToRead(std::int32_t slot, const char* name);
// Makes a new file in a slot; an existing file is kept (106), no name opens nothing (8202). The
// bytes go to a file beside the name until the slot is closed.
void OpenToWrite(std::int32_t slot, const char* name);
// Closes the slot's file; one opened to write is put in place only when every write reached it
// (8212 otherwise, and no file is left).
void CloseFileSlot(std::int32_t slot);
// 1 while the slot holds a file.
std::int32_t IsFileSlotOpen(std::int32_t slot);
// 1 once a read met the end of the slot's file.
std::int32_t IsEndOfFile(std::int32_t slot);
// Reads one byte.
std::int32_t ReadFileByte(std::int32_t slot);
// Reads two bytes, little-endian.
std::int32_t ReadFileWord(std::int32_t slot);
// Reads four bytes, little-endian.
std::int32_t ReadFileLong(std::int32_t slot);
// Reads a four-byte float.
float ReadFileFloat(std::int32_t slot);
// Reads a line without its line end, as a new string.
char* ReadFileString(std::int32_t slot, char* previous);
// Reads and drops count bytes.
void SkipFileBytes(std::int32_t slot, std::int32_t count);
// Writes one byte.
void WriteFileByte(std::int32_t slot, std::int32_t value);
// Writes two bytes, little-endian.
void WriteFileWord(std::int32_t slot, std::int32_t value);
// Writes four bytes, little-endian.
void WriteFileLong(std::int32_t slot, std::int32_t value);
// Writes a four-byte float.
void WriteFileFloat(std::int32_t slot, float value);
// Writes the text and a CR LF.
void WriteFileString(std::int32_t slot, const char* text);
// The reads again, for the link table: the value goes to *out.
void ReadFileByteExport(std::int32_t slot, std::int32_t* out);
// The same for two bytes.
void ReadFileWordExport(std::int32_t slot, std::int32_t* out);
// The same for four bytes.
void ReadFileLongExport(std::int32_t slot, std::int32_t* out);
// The same for a float, which is also returned.
float ReadFileFloatExport(std::int32_t slot, float* out);

// Writes a file's length and bytes into the slot.
void PackFileIntoSlot(std::int32_t slot, const char* name);
// Writes every file under the directory, with its path, into the slot; a linked folder is left
// out, never entered (8211 once the rest is packed).
void PackDirectoryIntoSlot(std::int32_t slot, const char* directory);
// Reads one packed file from the slot into name, making its folders.
void UnpackFileFromSlot(std::int32_t slot, const char* name);
// Reads a packed directory from the slot under target.
void UnpackDirectoryFromSlot(std::int32_t slot, const char* target);
// Reads a length and that many bytes into a new memory block.
void ReadMemblockFromSlot(std::int32_t slot, std::int32_t block);
// Reads the rest of the slot's file into a new memory block.
void ReadFileIntoMemblock(std::int32_t block, std::int32_t slot);
// Writes a memory block's length and bytes.
void WriteMemblockWithSizeToSlot(std::int32_t slot, std::int32_t block);
// Writes a memory block's bytes.
void WriteMemblockToSlot(std::int32_t slot, std::int32_t block);

// Shared maps: one value and one string (up to 1000 characters) under a name; 8021 when nothing
// is written (no name, or one the platform refuses).
void WriteFileMapValue(const char* name, std::int32_t value);
// Stores the string in the named map; no string, or one past 1000 characters, writes nothing
// (8021).
void WriteFileMapString(const char* name, const char* text);
// The named map's value.
std::int32_t ReadFileMapValue(const char* name);
// The named map's string as a new string.
char* ReadFileMapString(char* previous, const char* name);
// Mode 0 writes the value, mode 1 the string (cut at 1000 characters); 8021 for another mode or
// no string.
void OpenFileMap(const char* name, std::int32_t mode, std::int32_t value, const char* text);
