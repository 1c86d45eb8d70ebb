#include "core/win32.h"

#include "input/input.h"
#include "core/core.h"

// Entries only: the module's state and commands arrive with the module itself.
namespace {
struct State {
    CoreData* core = nullptr;
};
State s;
} // namespace

void InputConstructor(HINSTANCE) {}
void InputDestructor() {}
void InputSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void InputPassCoreData(CoreData* core) {
    s.core = core;
}
void InputRefreshD3D(std::int32_t) {}
void InputUpdate() {}
