// The object commands that bring numbered objects into being and end them (load, save, clone,
// instance, exclude, delete), and the accessors other modules use. Every command checks its
// numbers first and reports failures only through run-time errors.
#pragma once

#include "core/win32.h"

#include <cstdint>
#include <vector>

struct CoreData;
struct MeshRecord;
struct ObjectPosition;
struct ObjectRecord;

// A model or native object file as object n; the texture mode and flag go to the texture loader.
void LoadObject(const char* fileName, std::int32_t n, std::int32_t textureMode = 0,
                std::int32_t textureFlag = 0);
// Object n as a native file; the name must end in ".tlo" (7030); a null or empty name raises
// 8212 and writes nothing.
void SaveObject(const char* fileName, std::int32_t n);
// Runs the object's delete callbacks, deletes it (its instances first) and refreshes the drawing.
void DeleteObjectCmd(std::int32_t n);
// Every existing object from first to last; nothing when either is 0 or first > last.
void DeleteObjectsCmd(std::int32_t first, std::int32_t last);
// A deep copy of source as n; with shareAnimation the copy samples the source's matrix keys.
void CloneObject(std::int32_t n, std::int32_t source, std::int32_t shareAnimation = 0);
// n draws source's frames and meshes at its own place.
void InstanceObject(std::int32_t n, std::int32_t source);
// 7006 outside 1 to 22,000,000; otherwise whether an object or instance lives under n.
bool ObjectExist(std::int32_t n);
// Excluded objects are neither drawn nor collided with.
void ExcludeObjectOn(std::int32_t n);
void ExcludeObjectOff(std::int32_t n);
void SetObjectNeverCulled(std::int32_t n, std::uint8_t flag);

// Accessors for other modules.
ObjectRecord* GetObjectPointerInstance(std::int32_t n);
CoreData* GetObjectModuleCoreData();
// The object's world matrix brought up to date and its position block.
void GetObjectPositionBlock(std::int32_t n, ObjectPosition** block);
void GetRootMeshData(std::int32_t n, std::uint8_t** vertices, std::int32_t* vertexCount,
                     std::int32_t** drawCount);
void MarkRootMeshChanged(std::int32_t n);
// Runs the operation on every mesh of every object.
void ApplyToAllObjectMeshes(void (*operation)(MeshRecord*, IDirect3DTexture9*),
                            IDirect3DTexture9* argument);
void CalculateObjectBoundsCmd(std::int32_t n);
// 0: objects set up from now on get device buffers of their own; 1: they share; others nothing.
void SetNewObjectRenderGroup(std::int32_t flag);
// Appends the batch mesh of every area of the world, if there is one.
void GatherUniverseAreaEntries(std::vector<MeshRecord*>* list);
// The world matrix of a position block, computed on a copy; the block is left as it was.
void CalculateWorldForPositionBlock(const ObjectPosition* block);

// Commands this build does not offer: each keeps its place in the command set and raises 116.
void NotAvailableStubA();
void NotAvailableStubB();
void NotAvailableStubC();
// Places in the command set kept for entries that do nothing, so that the set stays whole.
void EmptyCommandA();
void EmptyCommandB();
void EmptyCommandC();
void EmptyCommandD();
void EmptyCommandE();
void EmptyCommandF();
