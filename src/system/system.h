// System module: its entries, and the commands that read the shared checklist.
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
