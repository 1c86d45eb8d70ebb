// World module: one static level read from a BSP file inside a ".pk3" archive, shown behind the
// 3D objects, and 24 collision slots that keep cameras and objects out of its walls. Its entries
// for the core and the commands (the load road is world_load.h).
#pragma once

#include "core/core_data.h"

#include <cstdint>

// Module entries.
// Stores the entries of the display, camera and object modules and resets the collision slots.
void WorldConstructor(HMODULE display, HMODULE image, HMODULE camera, HMODULE basic3D);
// FreeWorld, and the archives the level came from are let go.
void WorldDestructor();
void WorldSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps CoreData, stores the entries again, takes the device if none is held, world camera 0.
void WorldPassCoreData(CoreData* core);
// Around a display-mode change: 0 releases the level's textures and lightmaps, 1 remakes them on
// the new device in the same places, so every handle the level holds stays valid.
void WorldRefreshD3D(std::int32_t mode);
// Every camera pass: UpdateWorld.
void WorldUpdate();
// After the camera passes: each active slot records where its entity stands.
void WorldCollisionStart();
// Before the camera passes: each slot's step.
void WorldCollisionUpdate();

// Commands. Slots are 1 to 24: any other raises 7154 and changes nothing (queries give 0).
// Loads the level file named levelName from the archive at archivePath (each at most 259
// characters); 7151 when no world was loaded. The previous level is freed first.
void LoadWorld(const char* archivePath, const char* levelName);
void SetWorldCamera(std::int32_t camera);
void SetWorldCollisionSphere(std::int32_t slot, std::int32_t camera, float radius,
                             std::int32_t response);
void SetWorldObjectCollisionSphere(std::int32_t slot, std::int32_t object, float radius,
                                   std::int32_t response);
void SetWorldCollisionEllipsoid(std::int32_t slot, std::int32_t camera, float x, float y, float z);
void SetWorldObjectCollisionEllipsoid(std::int32_t slot, std::int32_t object, float x, float y,
                                      float z);
void SetWorldCollisionOffset(std::int32_t slot, float offset);
void SetWorldCollisionThreshold(std::int32_t slot, float value);
void DisableWorldCollision(std::int32_t slot);
void UpdateWorldCollision(std::int32_t slot);
std::int32_t WorldCollisionHit(std::int32_t slot);
float WorldCollisionX(std::int32_t slot);
float WorldCollisionY(std::int32_t slot);
float WorldCollisionZ(std::int32_t slot);

// Releases the level, its files, shaders and textures; the kind becomes none.
void FreeWorld();
// The drawing pass over the loaded level.
void UpdateWorld();

// The world's kind and whether a level image parsed.
std::int32_t GetWorldKind();
bool WorldLevelLoaded();
