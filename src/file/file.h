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
std::int32_t GetFileSizeByName(const char* name);
void MakeFile(const char* name);
void RemoveFile(const char* name);
void CopyFileTo(const char* source, const char* destination);
void RenameFile(const char* source, const char* destination);
void MoveFileTo(const char* source, const char* destination);
void WriteByteToFile(const char* name, std::int32_t position, std::int32_t value);
std::int32_t ReadByteFromFile(const char* name, std::int32_t position);

// Directories (8003 when a change fails).
void ChangeDirectory(const char* path);
char* GetDirectory(char* previous);
void MakeDirectory(const char* path);
void DeleteDirectory(const char* path);
std::int32_t DirectoryExists(const char* path);
char* GetApplicationPath(char* previous);
char* GetWindowsFolder(char* previous);

// The one directory search ("*.*" in the current directory).
void FindFirst();
void FindNext();
char* GetFindName(char* previous);
std::int32_t GetFindType();
char* GetFindModifiedDate(char* previous);
char* GetFindCreatedDate(char* previous);
void PrintDirectory();
void PrintDrives();
void DirectoryChecklist();
void DriveChecklist();

// Programs.
void ExecuteFile(const char* file, const char* parameters, const char* directory);
void ExecuteFileAndWait(const char* file, const char* parameters, const char* directory,
                        std::int32_t wait);
std::int32_t ExecuteProgram(const char* file, const char* parameters, const char* directory,
                            std::int32_t highPriority = 0);
void StopExecutedProgram(std::int32_t processId);
std::int32_t IsProgramRunning(std::int32_t processId);

// Slots 1 to 64.
void OpenToRead(std::int32_t slot, const char* name);
void OpenToWrite(std::int32_t slot, const char* name);
void CloseFileSlot(std::int32_t slot);
std::int32_t IsFileSlotOpen(std::int32_t slot);
std::int32_t IsEndOfFile(std::int32_t slot);
std::int32_t ReadFileByte(std::int32_t slot);
std::int32_t ReadFileWord(std::int32_t slot);
std::int32_t ReadFileLong(std::int32_t slot);
float ReadFileFloat(std::int32_t slot);
char* ReadFileString(std::int32_t slot, char* previous);
void SkipFileBytes(std::int32_t slot, std::int32_t count);
void WriteFileByte(std::int32_t slot, std::int32_t value);
void WriteFileWord(std::int32_t slot, std::int32_t value);
void WriteFileLong(std::int32_t slot, std::int32_t value);
void WriteFileFloat(std::int32_t slot, float value);
void WriteFileString(std::int32_t slot, const char* text);
void ReadFileByteExport(std::int32_t slot, std::int32_t* out);
void ReadFileWordExport(std::int32_t slot, std::int32_t* out);
void ReadFileLongExport(std::int32_t slot, std::int32_t* out);
float ReadFileFloatExport(std::int32_t slot, float* out);

void PackFileIntoSlot(std::int32_t slot, const char* name);
void PackDirectoryIntoSlot(std::int32_t slot, const char* directory);
void UnpackFileFromSlot(std::int32_t slot, const char* name);
void UnpackDirectoryFromSlot(std::int32_t slot, const char* target);
void ReadMemblockFromSlot(std::int32_t slot, std::int32_t block);
void ReadFileIntoMemblock(std::int32_t block, std::int32_t slot);
void WriteMemblockWithSizeToSlot(std::int32_t slot, std::int32_t block);
void WriteMemblockToSlot(std::int32_t slot, std::int32_t block);

// Shared maps: one value and one string (up to 1000 characters) under a name.
void WriteFileMapValue(const char* name, std::int32_t value);
void WriteFileMapString(const char* name, const char* text);
std::int32_t ReadFileMapValue(const char* name);
char* ReadFileMapString(char* previous, const char* name);
void OpenFileMap(const char* name, std::int32_t mode, std::int32_t value, const char* text);
