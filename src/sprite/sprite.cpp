#include "core/win32.h"

#include "sprite/sprite.h"
#include "core/core.h"

// Entries only: the module's state and commands arrive with the module itself.
namespace {
struct State {
    CoreData* core = nullptr;
};
State s;
} // namespace

void SpriteConstructor(HMODULE, HMODULE) {}
void SpriteDestructor() {}
void SpriteSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void SpritePassCoreData(CoreData* core) {
    s.core = core;
}
void SpriteRefreshD3D(std::int32_t) {}
void SpriteUpdate() {}
void SpriteSaveBackground() {}
void SpriteRestoreBackground() {}
