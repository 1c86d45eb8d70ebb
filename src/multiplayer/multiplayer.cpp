#include "core/win32.h"

#include "multiplayer/multiplayer.h"
#include "core/core.h"

// Entries only: the module's state and commands arrive with the module itself.
namespace {
struct State {
    CoreData* core = nullptr;
};
State s;
} // namespace

void MultiplayerConstructor() {}
void MultiplayerDestructor() {}
void MultiplayerSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void MultiplayerPassCoreDataExport(CoreData* core) {
    s.core = core;
}
void MultiplayerRefreshD3D(std::int32_t) {}
