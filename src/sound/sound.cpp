#include "core/win32.h"

#include "sound/sound.h"
#include "core/core.h"

// Entries only: the module's state and commands arrive with the module itself.
namespace {
struct State {
    CoreData* core = nullptr;
};
State s;
} // namespace

void SoundConstructor(HWND) {}
void SoundDestructor() {}
void SoundSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void SoundPassCoreData(CoreData* core) {
    s.core = core;
}
void SoundRefreshD3D(std::int32_t) {}
void SoundUpdate() {}
