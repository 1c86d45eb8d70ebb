// FTP module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

void FTPConstructor(HINSTANCE);
void FTPDestructor();
void FTPSetErrorHandler(RuntimeErrorRecord* cell);
void FTPPassCoreData(CoreData* core);
