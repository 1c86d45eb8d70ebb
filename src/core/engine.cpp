#include "core/win32.h"

#include "core/engine.h"
#include "core/checklist.h"
#include "core/core.h"
#include "core/module_link.h"
#include "core/window.h"

namespace {

// The error cell of the start variants, which have no WinMain frame to keep it in.
RuntimeErrorRecord engineErrorCell;

void StartSteps(HINSTANCE instance) {
    engineErrorCell.number = 0;
    LinkModules();
    SetCoreErrorHandler(&engineErrorCell);
    CreateEngineWindow(1, 640, 480, 32, instance, "");
}

} // namespace

bool StartEngine(HINSTANCE instance) {
    g_CoreData = GetCoreDataPointer();
    StartSteps(instance);
    return false;
}

bool StartEngineBare(HINSTANCE instance) {
    StartSteps(instance);
    return true;
}

std::int32_t ShutdownEngine() {
    FreeChecklist();
    StopModules();
    const bool windowReady = IsEngineWindowReady();
    if (windowReady) StopCoreModules();
    CoreData& core = *g_CoreData;
    // The display starts with the window, before the start sequence sets its present flag.
    if (windowReady && ModuleLinkTable.display.destructor) ModuleLinkTable.display.destructor();
    core.present.display = 0;
    CloseEngineWindow();
    return 0;
}

CoreData* GetCoreDataPointerExport() {
    return GetCoreDataPointer();
}
bool LinkModulesExport() {
    return LinkModules();
}
void SetCoreErrorHandlerExport(RuntimeErrorRecord* cell) {
    SetCoreErrorHandler(cell);
}

std::int32_t CreateEngineWindowExport(std::int32_t mode, std::int32_t width, std::int32_t height,
                                      std::int32_t depth, HINSTANCE instance, const char* title) {
    return CreateEngineWindow(mode, width, height, depth, instance, title);
}
