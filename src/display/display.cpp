#include "core/win32.h"

#include "display/display.h"
#include "core/core.h"

// Entries only: the device and the display commands arrive with the module itself.
namespace {
struct State {
    CoreData* core = nullptr;
};
State s;
} // namespace

std::int32_t DisplayConstructor() {
    return 1;
}
void DisplayDestructor() {}
void DisplaySetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void DisplayPassCoreData(CoreData* core, std::int32_t) {
    s.core = core;
}

IDirect3DDevice9* GetDirect3DDevice() {
    return nullptr;
}
void BeginDisplayScene() {}
void EndDisplayScene() {}
void PresentDisplay() {}
void OverrideHWND(HWND) {}
bool SetDisplayModeEx(std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                      std::int32_t) {
    return true;
}
void ClearDisplayExport(std::int32_t, std::int32_t, std::int32_t) {}
