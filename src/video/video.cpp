#include "core/win32.h"

#include "video/video.h"
#include "core/core.h"

// Entries only: the module's state and commands arrive with the module itself.
namespace {
struct State {
    CoreData* core = nullptr;
};
State s;
} // namespace

void AnimationConstructor(HINSTANCE) {}
void AnimationDestructor() {}
void AnimationSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void AnimationPassCoreData(CoreData* core) {
    s.core = core;
}
void AnimationRefreshD3D(std::int32_t) {}
void AnimationUpdate() {}
