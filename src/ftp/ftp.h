// FTP module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

// Start entry: the core's start sequence readies the module with it, once.
void FTPConstructor(HINSTANCE);
// Stop entry: releases everything the module holds.
void FTPDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void FTPSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData.
void FTPPassCoreData(CoreData* core);
