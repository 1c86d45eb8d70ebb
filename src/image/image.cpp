#include "core/win32.h"

#include "image/image.h"
#include "core/core.h"

// Entries only: the image store and its commands arrive with the module itself.
namespace {
struct State {
    CoreData* core = nullptr;
};
State s;
} // namespace

void ImageConstructor(HMODULE) {}
void ImageDestructor() {}
void ImageSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void ImagePassCoreData(CoreData* core) {
    s.core = core;
}
void ImageRefreshD3D(std::int32_t) {}
void ImageLinkSpriteFunctions(HMODULE) {}
void SetImageColorKey(std::int32_t, std::int32_t, std::int32_t) {}
