// Program entry and shut-down, and the exported forms of the core's start entries.
#pragma once

#include "core/core_data.h"

#include <cstdint>

// The entry steps without the game: link, install an error cell of the core's own, make the
// window. StartEngine returns false, StartEngineBare (which leaves the core-data pointer alone)
// returns true.
bool StartEngine(HINSTANCE instance);
bool StartEngineBare(HINSTANCE instance);

// Frees the checklist, stops every started module, closes the window. Returns 0.
std::int32_t ShutdownEngine();

CoreData* GetCoreDataPointerExport();
bool LinkModulesExport();
void SetCoreErrorHandlerExport(RuntimeErrorRecord* cell);
std::int32_t CreateEngineWindowExport(std::int32_t mode, std::int32_t width, std::int32_t height,
                                      std::int32_t depth, HINSTANCE instance, const char* title);
