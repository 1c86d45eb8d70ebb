#include "core/win32.h"

#include "ftp/ftp.h"
#include "core/core.h"

// Entries only: the module's state and commands arrive with the module itself.
namespace {
struct State {
    CoreData* core = nullptr;
};
State s;
} // namespace

void FTPConstructor(HINSTANCE) {}
void FTPDestructor() {}
void FTPSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void FTPPassCoreData(CoreData* core) {
    s.core = core;
}
