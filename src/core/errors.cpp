#include "core/win32.h"

#include "core/core.h"

namespace {
struct State {
    RuntimeErrorRecord* coreCell = nullptr;   // the core's own error pointer
    RuntimeErrorRecord* moduleCell = nullptr; // shared by every module's SetErrorHandler
};
State s;
} // namespace

void SetCoreErrorHandler(RuntimeErrorRecord* cell) {
    s.coreCell = cell;
    s.moduleCell = cell;
    g_CoreData->errorRecord = cell;
}

void SetModuleErrorPointer(RuntimeErrorRecord* cell) {
    s.moduleCell = cell;
}

RuntimeErrorRecord* GetModuleErrorPointer() {
    return s.moduleCell;
}

void RaiseRuntimeError(std::int32_t number) {
    if (s.moduleCell) s.moduleCell->number = number;
}

void RaiseRuntimeWarning(std::int32_t) {}

void ReportInternalError(const char*) {
    // Messages are not shown; the cell is left as it was.
}
