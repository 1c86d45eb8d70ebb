#include "core/win32.h"

#include "bitmap/bitmap.h"
#include "core/core.h"

// Entries only: the module's state and commands arrive with the module itself.
namespace {
struct State {
    CoreData* core = nullptr;
};
State s;
} // namespace

void BitmapConstructor(HINSTANCE) {}
void BitmapDestructor() {}
void BitmapSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void BitmapPassCoreData(CoreData* core) {
    s.core = core;
}
void BitmapRefreshD3D(std::int32_t) {}
