// System module: user DLLs, physical memory, the Escape and system keys, CoreData's end message,
// and the commands that read the shared checklist.
#pragma once

#include "core/core_data.h"

#include <cstdint>

// Start entry: the core's start sequence readies the module with it, once.
void SystemConstructor();
// Stop entry: releases everything the module holds.
void SystemDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void SystemSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData.
void SystemPassCoreData(CoreData* core);
// Around every device re-creation: mode 0 before (release), mode 1 after (rebuild).
void SystemRefreshD3D(std::int32_t mode);

// User DLLs in slots 1 to 255. Errors: 9705 slot outside 1..255, 9703 slot in use, 9702 slot
// empty, 9704 no such function. A DLL that cannot be loaded (or a name of 260 characters or more)
// leaves the slot empty and raises nothing.
void LoadUserDLL(const char* fileName, std::int32_t slot);
void DeleteUserDLL(std::int32_t slot);
std::int32_t UserDLLExist(std::int32_t slot);
// 1 when the slot holds a DLL exporting the name; an empty slot gives 0 without an error.
std::int32_t UserDLLCallExist(std::int32_t slot, const char* name);
// Calls the export of that exact name (a stdcall export may carry its "@n") with 0 to 10 32-bit
// arguments, first argument first; cdecl and stdcall functions alike. Its result, 0 on an error.
std::int32_t CallUserDLL(std::int32_t slot, const char* name);
std::int32_t CallUserDLL(std::int32_t slot, const char* name, std::int32_t a1);
std::int32_t CallUserDLL(std::int32_t slot, const char* name, std::int32_t a1, std::int32_t a2);
std::int32_t CallUserDLL(std::int32_t slot, const char* name, std::int32_t a1, std::int32_t a2,
                         std::int32_t a3);
std::int32_t CallUserDLL(std::int32_t slot, const char* name, std::int32_t a1, std::int32_t a2,
                         std::int32_t a3, std::int32_t a4);
std::int32_t CallUserDLL(std::int32_t slot, const char* name, std::int32_t a1, std::int32_t a2,
                         std::int32_t a3, std::int32_t a4, std::int32_t a5);
std::int32_t CallUserDLL(std::int32_t slot, const char* name, std::int32_t a1, std::int32_t a2,
                         std::int32_t a3, std::int32_t a4, std::int32_t a5, std::int32_t a6);
std::int32_t CallUserDLL(std::int32_t slot, const char* name, std::int32_t a1, std::int32_t a2,
                         std::int32_t a3, std::int32_t a4, std::int32_t a5, std::int32_t a6,
                         std::int32_t a7);
std::int32_t CallUserDLL(std::int32_t slot, const char* name, std::int32_t a1, std::int32_t a2,
                         std::int32_t a3, std::int32_t a4, std::int32_t a5, std::int32_t a6,
                         std::int32_t a7, std::int32_t a8);
std::int32_t CallUserDLL(std::int32_t slot, const char* name, std::int32_t a1, std::int32_t a2,
                         std::int32_t a3, std::int32_t a4, std::int32_t a5, std::int32_t a6,
                         std::int32_t a7, std::int32_t a8, std::int32_t a9);
std::int32_t CallUserDLL(std::int32_t slot, const char* name, std::int32_t a1, std::int32_t a2,
                         std::int32_t a3, std::int32_t a4, std::int32_t a5, std::int32_t a6,
                         std::int32_t a7, std::int32_t a8, std::int32_t a9, std::int32_t a10);
// The array form: count (0 to 10, else 7801) arguments from the array.
std::int32_t CallUserDLL(std::int32_t slot, const char* name, const std::int32_t* arguments,
                         std::int32_t count);

// Physical memory in whole megabytes, rounded up.
std::int32_t GetTotalPhysicalMemory();
std::int32_t GetAvailablePhysicalMemory();

// Whether Escape ends the program (CoreData's escape-exit byte).
void DisableEscapeKey();
void EnableEscapeKey();
// The system keys, through the screen saver's running flag; CoreData keeps whether they are off.
void DisableSystemKeys();
void EnableSystemKeys();

// CoreData's end message: its text and caption get copies of the non-null texts, the old ones
// freed; out of memory (101) keeps both old ones.
void SetCoreDataStrings(const char* text, const char* caption);

// Checklist queries; rows are numbered from 1.
void EmptyChecklist();
// How many rows the checklist has.
std::int32_t ChecklistQuantity();
// A row's first value.
std::int32_t GetChecklistValueA(std::int32_t row);
// A row's second value.
std::int32_t GetChecklistValueB(std::int32_t row);
// A row's third value.
std::int32_t GetChecklistValueC(std::int32_t row);
// A row's fourth value.
std::int32_t GetChecklistValueD(std::int32_t row);
// A row's first value as a float.
float GetChecklistFloatValueA(std::int32_t row);
// A row's second value as a float.
float GetChecklistFloatValueB(std::int32_t row);
// A row's third value as a float.
float GetChecklistFloatValueC(std::int32_t row);
// A row's fourth value as a float.
float GetChecklistFloatValueD(std::int32_t row);
// Frees the caller's previous text and returns a new copy of the row's text (null on an error).
char* GetChecklistString(char* oldString, std::int32_t row);

// The first display device's memory in whole megabytes, from a DxDiag collection made and torn
// down for this query (slow: meant for a one-off question); 0 when it cannot be told, and 0 with
// 101 when the collection ran out of memory.
std::int32_t GetDisplayMemoryMB();
