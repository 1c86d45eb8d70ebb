#include "core/win32.h"

#include "draw2d/draw2d.h"
#include "core/core.h"

// Entries only: the module's state and commands arrive with the module itself.
namespace {
struct State {
    CoreData* core = nullptr;
};
State s;
} // namespace

void Basic2DConstructor(HMODULE) {}
void Basic2DDestructor() {}
void Basic2DSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void Basic2DPassCoreData(CoreData* core) {
    s.core = core;
}
void Basic2DRefreshD3D(std::int32_t) {}
