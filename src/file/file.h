// File module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

void FileConstructor();
void FileDestructor();
void FileSetErrorHandler(RuntimeErrorRecord* cell);
void FilePassCoreData(CoreData* core);
