#include "core/win32.h"

#include "object3d/model_files.h"

// Stand-in until object files can be read: every load fails.
bool LoadObjectFile(const char*, ObjectRecord** object) {
    if (object) *object = nullptr;
    return false;
}
