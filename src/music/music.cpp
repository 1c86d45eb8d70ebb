#include "core/win32.h"

#include "music/music.h"
#include "core/core.h"

// Entries only: the module's state and commands arrive with the module itself.
namespace {
struct State {
    CoreData* core = nullptr;
};
State s;
} // namespace

void MusicConstructor(HWND) {}
void MusicDestructor() {}
void MusicSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void MusicPassCoreData(CoreData* core) {
    s.core = core;
}
void MusicRefreshD3D(std::int32_t) {}
void MusicUpdate() {}
