#include "core/win32.h"

#include "core/error_numbers.h"
#include "core/no_throw.h"
#include "object3d/lightmap_commands.h"
#include "object3d/lightmapper.h"
#include "object3d/object_guard.h"
#include "object3d/object_state.h"
#include "core/error_numbers.h"

void AddLightMapObject(std::int32_t n) {
    ModuleLightMapper().AddObject(n);
}

void AddLightMapLimb(std::int32_t n, std::int32_t limb) {
    ModuleLightMapper().AddLimb(n, limb);
}

void AddLightMapUniverse() {
    ModuleLightMapper().AddMesh(g_Object3D.universe);
}

void AddLightMapLight(float x, float y, float z, float range, float red, float green, float blue,
                      float brightness, std::int32_t shadows) {
    // A light that cannot be listed is an error; the lights listed stay.
    GuardChange(kStringNoMemory, [&] {
        ModuleLightMapper().AddLight(x, y, z, range, red, green, blue, brightness,
                                     shadows == 1 ? 1 : 0);
        return true;
    });
}

void DeleteLightMapLights() {
    ModuleLightMapper().DeleteLights();
}

void CreateLightMaps(const char* folder, std::int32_t quality, std::int32_t blur) {
    // Build keeps what was there and raises 7002 itself when memory runs out; this is the backstop.
    NoThrow(kObjectNotMade, [&] { ModuleLightMapper().Build(quality, blur, folder); });
}
