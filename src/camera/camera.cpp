#include "core/win32.h"

#include "camera/camera.h"
#include "core/core.h"

// Entries only: the module's state and commands arrive with the module itself.
namespace {
struct State {
    CoreData* core = nullptr;
};
State s;
} // namespace

void CameraConstructor(HMODULE, HMODULE) {}
void CameraDestructor() {}
void CameraSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void CameraPassCoreDataExport(CoreData* core) {
    s.core = core;
}
void CameraRefreshD3D(std::int32_t) {}
void CameraUpdate() {}
void CameraRenderFirstPass(std::int32_t) {}
void CameraRenderPass() {
    CameraRenderFirstPass(0);
}
std::int32_t NextCameraRenderPass() {
    return 1;
}
std::int32_t GetCurrentRenderCamera() {
    return -1;
}
