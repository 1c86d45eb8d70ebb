#include "core/win32.h"

#include "text/text.h"
#include "core/core.h"

// Entries only: the module's state and commands arrive with the module itself.
namespace {
struct State {
    CoreData* core = nullptr;
};
State s;
} // namespace

void TextConstructor(HMODULE) {}
void TextDestructor() {}
void TextSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void TextPassCoreData(CoreData* core) {
    s.core = core;
}
void TextRefreshD3D(std::int32_t) {}
void SetTextFontExport(const char*, std::int32_t) {}
