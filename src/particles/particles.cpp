#include "core/win32.h"

#include "particles/particles.h"
#include "core/core.h"

// Entries only: the module's state and commands arrive with the module itself.
namespace {
struct State {
    CoreData* core = nullptr;
};
State s;
} // namespace

void ParticlesConstructor(HMODULE, HMODULE) {}
void ParticlesDestructor() {}
void ParticlesSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void ParticlesPassCoreData(CoreData* core) {
    s.core = core;
}
void ParticlesRefreshD3D(std::int32_t) {}
void ParticlesUpdate() {}
