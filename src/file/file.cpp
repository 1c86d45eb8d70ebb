#include "core/win32.h"

#include "file/file.h"
#include "core/core.h"

// Entries only: the module's state and commands arrive with the module itself.
namespace {
struct State {
    CoreData* core = nullptr;
};
State s;
} // namespace

void FileConstructor() {}
void FileDestructor() {}
void FileSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void FilePassCoreData(CoreData* core) {
    s.core = core;
}
