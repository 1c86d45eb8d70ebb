// The engine core: the CoreData block, the run-time error cell and the core's own allocator.
#pragma once

#include "core/core_data.h"

#include <cstddef>
#include <cstdint>

// The shared core-data pointer: holds the CoreData address from program load on.
extern CoreData* g_CoreData;

// The address of CoreData.
CoreData* GetCoreDataPointer();
// Stores the CoreData address in the shared pointer; true.
bool ConnectCoreData();

// Clears CoreData, sets its start values and fills ModuleLinkTable. Always true.
bool LinkModules();

// Run-time errors. The cell is written, never read, by the engine: each error overwrites the last.
void SetCoreErrorHandler(RuntimeErrorRecord* cell);
void SetModuleErrorPointer(RuntimeErrorRecord* cell); // what every module's SetErrorHandler does
// The cell RaiseRuntimeError writes, null before one is set.
RuntimeErrorRecord* GetModuleErrorPointer();
// Writes the number into the cell when one is set; nothing else happens.
void RaiseRuntimeError(std::int32_t number);
// Does nothing: warnings are not recorded.
void RaiseRuntimeWarning(std::int32_t number);
// The text is not shown; the cell keeps its value.
void ReportInternalError(const char* text);

// The core's string allocator, handed to modules as the first CoreData callback: size > 0 stores a
// new zero-filled buffer of that many bytes in *slot (null when out of memory); size 0 frees *slot
// and clears it.
void CoreResizeString(char** slot, std::int32_t size);

// Resizes through the callback that the module was given, or the core's own allocator while the
// callbacks are not stored yet (start-up stopped early).
void ResizeModuleString(const CoreData* core, char** slot, std::int32_t size);

// A command that hands the caller a new text makes it before it lets go of the caller's previous
// one, so that running out of memory loses nothing.
// A zero-filled buffer of bytes from the string callback; null, with error 101 raised, when it
// cannot be had or is larger than the callback can give.
char* NewModuleString(const CoreData* core, std::uint64_t bytes);
// The caller's new text: frees previous and returns fresh. When fresh is null (it could not be
// made), returns previous unchanged.
char* HandOverModuleString(const CoreData* core, char* previous, char* fresh);
// Both: a new text holding text[0, length) in place of previous, or previous and error 101.
char* ReplaceModuleString(const CoreData* core, char* previous, const char* text,
                          std::size_t length);
