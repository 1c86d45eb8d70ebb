#include "core/win32.h"

#include "light/light.h"
#include "core/core.h"

// Entries only: the module's state and commands arrive with the module itself.
namespace {
struct State {
    CoreData* core = nullptr;
};
State s;
} // namespace

void LightConstructor(HMODULE) {}
void LightDestructor() {}
void LightSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void LightPassCoreDataExport(CoreData* core) {
    s.core = core;
}
void LightRefreshD3D(std::int32_t) {}
