// The object commands that drive the lightmapper (object3d/lightmapper.h): meshes and lights are
// gathered, then CreateLightMaps lights the meshes and binds the pages to them.
#pragma once

#include <cstdint>

// Every limb mesh of object n; a number outside the object table or an empty one adds nothing.
void AddLightMapObject(std::int32_t n);
void AddLightMapLimb(std::int32_t n, std::int32_t limb);
// Every mesh of the static world; nothing without one.
void AddLightMapUniverse();
// A point light: colour 0-255 per channel, brightness in percent; shadows are tested only when
// shadows is 1.
void AddLightMapLight(float x, float y, float z, float range, float red, float green, float blue,
                      float brightness, std::int32_t shadows);
void DeleteLightMapLights();
// Lights the gathered meshes on pages of quality x quality lumels a triangle (4 to 128); blur is
// the colour step (0 to 255). Pages are saved in the folder when one is given.
void CreateLightMaps(const char* folder, std::int32_t quality, std::int32_t blur);
