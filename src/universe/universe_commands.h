// The universe commands. With no world every command but CreateUniverse, DeleteUniverse and
// LoadUniverse returns at once; the object commands run the object engine's check first (7006
// out of range, 7008 missing) and touch nothing when it fails. Each command has a second,
// identical entry (the ...Export forms), the collision commands of universe_collision.h too.
#pragma once

#include "core/win32.h"

#include <cstdint>

// Replaces any world by an empty one and loads the level object file and the structure file
// beside it; 1 when the level loaded (a missing structure file leaves it without areas), else 0
// and an empty world, with the object load's error (105 missing, 7018 unreadable), or 7018 when
// the structure file is there but damaged or cut short.
std::int32_t LoadUniverse(const char* fileName, std::int32_t lightmapValue);
// Assembles the batches and writes the level object file and the structure file beside it, both
// or neither: 106 when either file is there already, 8212 when either cannot be written whole.
// No file there is ever replaced, also one that appears while the save runs. A null or empty
// name raises 8212, with or without a world.
void SaveUniverse(const char* fileName);
// Every limb of the object (of its source, for an instance) with a visible mesh that has
// vertices becomes a level mesh: collision mode 0 its own triangles, 1 a box, 2 a box
// approximation; shadow kind 1 the companion casts, 2 the mesh itself. Only with a root node.
void AddObjectToUniverse(std::int32_t object, std::int32_t collisionMode,
                         std::int32_t collisionValue, std::int32_t shadowKind, std::int32_t kind);
void AddLimbToUniverse(std::int32_t object, std::int32_t limb, std::int32_t collisionMode,
                       std::int32_t collisionValue, std::int32_t shadowKind, std::int32_t kind);
// False when the object check fails, else true.
std::int32_t AddStaticObjectToUniverse(std::int32_t object);
std::int32_t RemoveStaticObjectFromUniverse(std::int32_t object);
void BuildUniverse();
void SetUniverseDebugOn();
void SetUniverseDebugOff();
void SetUniverseOptionOn();
void SetUniverseOptionOff();
void SetUniverseDecalImage(std::int32_t image, std::int32_t across, std::int32_t down);
void AddUniverseDecal(float size, std::int32_t frame);
void SetUniverseLight(std::int32_t n, float x, float y, float z, float w);
void UniverseNoOperation(std::int32_t value);
// Places reserved in the first entry set; empty, so the set keeps its shape.
void UniverseReservedCommand1();
void UniverseReservedCommand2();
void UniverseReservedCommand3();

// The second entry set.
void CreateUniverseExport(float x, float y, float z);
void DeleteUniverseExport();
std::int32_t LoadUniverseExport(const char* fileName, std::int32_t lightmapValue);
void SaveUniverseExport(const char* fileName);
void AddObjectToUniverseExport(std::int32_t object, std::int32_t collisionMode,
                               std::int32_t collisionValue, std::int32_t shadowKind,
                               std::int32_t kind);
void AddLimbToUniverseExport(std::int32_t object, std::int32_t limb, std::int32_t collisionMode,
                             std::int32_t collisionValue, std::int32_t shadowKind,
                             std::int32_t kind);
std::int32_t AddStaticObjectToUniverseExport(std::int32_t object);
std::int32_t RemoveStaticObjectFromUniverseExport(std::int32_t object);
void BuildUniverseExport();
void SetUniverseDebugOnExport();
void SetUniverseDebugOffExport();
void SetUniverseOptionOnExport();
void SetUniverseOptionOffExport();
void SetUniverseDecalImageExport(std::int32_t image, std::int32_t across, std::int32_t down);
void AddUniverseDecalExport(float size, std::int32_t frame);
void SetUniverseLightExport(std::int32_t n, float x, float y, float z, float w);
void UniverseNoOperationExport(std::int32_t value);
// The same reserved places in the second entry set.
void UniverseReservedCommand1Export();
void UniverseReservedCommand2Export();
void UniverseReservedCommand3Export();
std::int32_t UniverseRayCommandExport(float x1, float y1, float z1, float x2, float y2, float z2);
std::int32_t UniverseVolumeCommandExport(float ox, float oy, float oz, float nx, float ny, float nz,
                                         float mode);
// The object engine's static collision box, carried in this set.
std::int32_t MakeStaticCollisionBoxExport(float x1, float y1, float z1, float x2, float y2,
                                          float z2);
