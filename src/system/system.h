// System module: its entries, and the commands that read the shared checklist.
#pragma once

#include "core/core_data.h"

#include <cstdint>

void SystemConstructor();
void SystemDestructor();
void SystemSetErrorHandler(RuntimeErrorRecord* cell);
void SystemPassCoreData(CoreData* core);
void SystemRefreshD3D(std::int32_t mode);

// Checklist queries; rows are numbered from 1.
void EmptyChecklist();
std::int32_t ChecklistQuantity();
std::int32_t GetChecklistValueA(std::int32_t row);
std::int32_t GetChecklistValueB(std::int32_t row);
std::int32_t GetChecklistValueC(std::int32_t row);
std::int32_t GetChecklistValueD(std::int32_t row);
float GetChecklistFloatValueA(std::int32_t row);
float GetChecklistFloatValueB(std::int32_t row);
float GetChecklistFloatValueC(std::int32_t row);
float GetChecklistFloatValueD(std::int32_t row);
// Frees the caller's previous text and returns a new copy of the row's text (null on an error).
char* GetChecklistString(char* oldString, std::int32_t row);
