// The universe commands and their second entry set.
#include "core/win32.h"

#include "universe/universe_commands.h"
#include "core/core.h"
#include "core/error_numbers.h"
#include "object3d/object3d.h"
#include "object3d/object_state.h"
#include "object3d/static_boxes.h"
#include "universe/universe.h"
#include "universe/universe_collision.h"
#include "core/no_throw.h"

#include <algorithm>

namespace {

// The object of a number that passed the check; an instance answers with its source, whose
// frames carry the meshes.
ObjectRecord* FramesOf(ObjectRecord* object) {
    return object && object->instanceSource ? object->instanceSource : object;
}

// Hands the limb to the world's pending list (which has room for it) when its mesh is visible and
// has vertices, giving the mesh its collision value and kind.
void QueueLimb(Universe& world, FrameRecord* frame, ObjectRecord* object, std::int32_t number,
               std::int32_t collisionMode, std::int32_t collisionValue, std::int32_t shadowKind,
               std::int32_t kind) {
    MeshRecord* mesh = frame ? frame->mesh : nullptr;
    if (!mesh || !mesh->visible || mesh->vertexCount <= 0) return;
    mesh->collisionValue = collisionValue;
    mesh->collisionKind = kind;
    world.pendingLimbs.push_back({frame, object, number, collisionMode, shadowKind});
}

// Turns the queued limbs into level meshes, or none of them (101) when memory runs out; the list
// is emptied after, so that it keeps no pointer into an object that may be deleted later.
void AddQueuedLimbs(Universe& world) {
    NoThrow(kStringNoMemory, [&] { world.AddPendingLimbs(); });
    world.pendingLimbs.clear();
}

// An empty pending list with room for count limbs; false after 101.
bool RoomForLimbs(Universe& world, std::int32_t count) {
    world.pendingLimbs.clear();
    return NoThrow(kStringNoMemory, [&] {
        world.pendingLimbs.reserve(static_cast<std::size_t>(std::max(count, 0)));
    });
}

// The world when it has its root node, after the object check; null otherwise.
Universe* WorldForObject(std::int32_t object) {
    Universe* world = UniversePointer();
    if (!world || !ConfirmObjectInstance(object) || !world->created) return nullptr;
    return world;
}

} // namespace

std::int32_t LoadUniverse(const char* fileName, std::int32_t lightmapValue) {
    Universe* world = ReplaceUniverse(true);
    if (!world) {
        // No memory for the world: nothing is loaded, and the old world and boxes stay.
        RaiseRuntimeError(kObjectNotLoaded);
        return 0;
    }
    DeleteStaticCollisionBoxes();
    if (NoThrow(kObjectNotLoaded, false, [&] { return world->LoadLevel(fileName, lightmapValue); }))
        return 1;
    // Nothing of a refused load is kept: an empty world, as after a missing file (none, when
    // there is no memory even for that).
    if (!ReplaceUniverse(true)) ReplaceUniverse(false);
    return 0;
}

void SaveUniverse(const char* fileName) {
    if (!fileName || !*fileName) return RaiseRuntimeError(kFileWriteFailed); // nowhere to write
    if (Universe* world = UniversePointer())
        NoThrow(kStringNoMemory, [&] { world->SaveLevel(fileName); });
}

void AddObjectToUniverse(std::int32_t object, std::int32_t collisionMode,
                         std::int32_t collisionValue, std::int32_t shadowKind, std::int32_t kind) {
    Universe* world = WorldForObject(object);
    if (!world) return;
    ObjectRecord* record = g_Object3D.objects[object];
    ObjectRecord* frames = FramesOf(record);
    if (!frames->frames || !RoomForLimbs(*world, frames->frameCount)) return;
    for (std::int32_t i = 0; frames->frames && i < frames->frameCount; ++i)
        QueueLimb(*world, frames->frames[i], record, object, collisionMode, collisionValue,
                  shadowKind, kind);
    AddQueuedLimbs(*world);
}

void AddLimbToUniverse(std::int32_t object, std::int32_t limb, std::int32_t collisionMode,
                       std::int32_t collisionValue, std::int32_t shadowKind, std::int32_t kind) {
    Universe* world = UniversePointer();
    if (!world || !ConfirmObjectAndLimbInstance(object, limb) || !world->created) return;
    ObjectRecord* record = g_Object3D.objects[object];
    if (!RoomForLimbs(*world, 1)) return;
    QueueLimb(*world, FramesOf(record)->frames[limb], record, object, collisionMode, collisionValue,
              shadowKind, kind);
    AddQueuedLimbs(*world);
}

std::int32_t AddStaticObjectToUniverse(std::int32_t object) {
    if (!ConfirmObjectInstance(object)) return 0;
    Universe* world = UniversePointer();
    if (!world) return 1;
    const auto add = [&] { world->AddStaticObject(g_Object3D.objects[object]); };
    return NoThrow(kStringNoMemory, add) ? 1 : 0;
}

std::int32_t RemoveStaticObjectFromUniverse(std::int32_t object) {
    if (!ConfirmObjectInstance(object)) return 0;
    if (Universe* world = UniversePointer()) world->RemoveStaticObject(g_Object3D.objects[object]);
    return 1;
}

void BuildUniverse() {
    Universe* world = UniversePointer();
    if (world && !world->Build()) RaiseRuntimeError(kStringNoMemory);
}

void SetUniverseDebugOn() {
    if (Universe* world = UniversePointer()) world->debugDraw[0] = world->debugDraw[1] = 1;
}

void SetUniverseDebugOff() {
    if (Universe* world = UniversePointer()) world->debugDraw[0] = world->debugDraw[1] = 0;
}

void SetUniverseOptionOn() {
    if (Universe* world = UniversePointer()) world->option = 1;
}

void SetUniverseOptionOff() {
    if (Universe* world = UniversePointer()) world->option = 0;
}

void SetUniverseDecalImage(std::int32_t image, std::int32_t across, std::int32_t down) {
    if (Universe* world = UniversePointer())
        NoThrow(kStringNoMemory, [&] { world->SetDecalImage(image, across, down); });
}

void AddUniverseDecal(float size, std::int32_t frame) {
    if (Universe* world = UniversePointer()) world->AddDecalQuad(size, frame);
}

void SetUniverseLight(std::int32_t n, float x, float y, float z, float w) {
    if (Universe* world = UniversePointer())
        NoThrow(kStringNoMemory, [&] { world->SetLight(n, x, y, z, w, true); });
}

void UniverseNoOperation(std::int32_t) {}
// Reserved places in the entry set: they hold their slots and do nothing.
void UniverseReservedCommand1() {}
void UniverseReservedCommand2() {}
void UniverseReservedCommand3() {}

void CreateUniverseExport(float x, float y, float z) {
    CreateUniverse(x, y, z);
}
void DeleteUniverseExport() {
    DeleteUniverse();
}
std::int32_t LoadUniverseExport(const char* fileName, std::int32_t lightmapValue) {
    return LoadUniverse(fileName, lightmapValue);
}
void SaveUniverseExport(const char* fileName) {
    SaveUniverse(fileName);
}
void AddObjectToUniverseExport(std::int32_t object, std::int32_t collisionMode,
                               std::int32_t collisionValue, std::int32_t shadowKind,
                               std::int32_t kind) {
    AddObjectToUniverse(object, collisionMode, collisionValue, shadowKind, kind);
}
void AddLimbToUniverseExport(std::int32_t object, std::int32_t limb, std::int32_t collisionMode,
                             std::int32_t collisionValue, std::int32_t shadowKind,
                             std::int32_t kind) {
    AddLimbToUniverse(object, limb, collisionMode, collisionValue, shadowKind, kind);
}
std::int32_t AddStaticObjectToUniverseExport(std::int32_t object) {
    return AddStaticObjectToUniverse(object);
}
std::int32_t RemoveStaticObjectFromUniverseExport(std::int32_t object) {
    return RemoveStaticObjectFromUniverse(object);
}
void BuildUniverseExport() {
    BuildUniverse();
}
void SetUniverseDebugOnExport() {
    SetUniverseDebugOn();
}
void SetUniverseDebugOffExport() {
    SetUniverseDebugOff();
}
void SetUniverseOptionOnExport() {
    SetUniverseOptionOn();
}
void SetUniverseOptionOffExport() {
    SetUniverseOptionOff();
}
void SetUniverseDecalImageExport(std::int32_t image, std::int32_t across, std::int32_t down) {
    SetUniverseDecalImage(image, across, down);
}
void AddUniverseDecalExport(float size, std::int32_t frame) {
    AddUniverseDecal(size, frame);
}
void SetUniverseLightExport(std::int32_t n, float x, float y, float z, float w) {
    SetUniverseLight(n, x, y, z, w);
}
void UniverseNoOperationExport(std::int32_t value) {
    UniverseNoOperation(value);
}
// Reserved places in the second entry set, empty like the first set's.
void UniverseReservedCommand1Export() {}
void UniverseReservedCommand2Export() {}
void UniverseReservedCommand3Export() {}
std::int32_t UniverseRayCommandExport(float x1, float y1, float z1, float x2, float y2, float z2) {
    return UniverseRayCommand(x1, y1, z1, x2, y2, z2);
}
std::int32_t UniverseVolumeCommandExport(float ox, float oy, float oz, float nx, float ny, float nz,
                                         float mode) {
    return UniverseVolumeCommand(ox, oy, oz, nx, ny, nz, mode);
}
std::int32_t MakeStaticCollisionBoxExport(float x1, float y1, float z1, float x2, float y2,
                                          float z2) {
    return MakeStaticCollisionBox(x1, y1, z1, x2, y2, z2);
}
