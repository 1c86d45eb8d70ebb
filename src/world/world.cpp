#include "core/win32.h"

#include "world/world.h"
#include "core/core.h"
#include "world/shader_table.h"
#include "world/world_textures.h"

// Entries only: the module's state and commands arrive with the module itself.
namespace {
struct State {
    CoreData* core = nullptr;
};
State s;
} // namespace

void WorldConstructor(HMODULE, HMODULE, HMODULE, HMODULE) {}
void WorldDestructor() {
    FreeWorldTable();
    ClearWorldTextures();
}
void WorldSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void WorldPassCoreData(CoreData* core) {
    s.core = core;
}
void WorldUpdate() {}
void WorldCollisionStart() {}
void WorldCollisionUpdate() {}
