#include "core/win32.h"

#include "object3d/object3d.h"
#include "core/core.h"

// Entries only: the module's state and commands arrive with the module itself.
namespace {
struct State {
    CoreData* core = nullptr;
};
State s;
} // namespace

void Basic3DConstructor(HMODULE, HMODULE, HMODULE, HMODULE) {}
void Basic3DDestructor() {}
void Basic3DSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void Basic3DPassCoreData(CoreData* core) {
    s.core = core;
}
void Basic3DRefreshD3D(std::int32_t) {}
void Basic3DUpdate() {}
void Basic3DRenderLayerFour() {}
void Basic3DBeginStencilShadows() {}
void Basic3DDrawStencilShadowQuad() {}
void Basic3DRunAutomaticCollision() {}
void Basic3DUpdateAutomaticCameraCollision() {}
