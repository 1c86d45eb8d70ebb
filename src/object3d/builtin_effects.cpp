#include "core/win32.h"

#include "object3d/builtin_effects.h"

// Stand-in until the built-in shadings are built: no shadow volume can be made yet.
bool SetShadowShading(MeshRecord*, MeshRecord**, std::int32_t) {
    return false;
}
