#include "core/win32.h"

#include "object3d/object_commands.h"
#include "core/core.h"
#include "core/media.h"
#include "object3d/mesh_convert.h"
#include "object3d/mesh_textures.h"
#include "object3d/model_files.h"
#include "object3d/object3d.h"
#include "object3d/object_guard.h"
#include "object3d/object_lists.h"
#include "object3d/object_state.h"
#include "object3d/object_world.h"
#include "universe/universe.h"
#include "core/error_numbers.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>

namespace {

// Object file names pass through the media redirect in a buffer of this size.
constexpr std::size_t kObjectNameBuffer = 256;

std::int32_t Listed(std::int32_t count) {
    return count < 0 ? -count : count;
}

template <typename Fn> void ForEachMesh(ObjectRecord* object, Fn&& fn) {
    for (std::int32_t i = 0; object && object->meshes && i < Listed(object->meshCount); ++i)
        if (object->meshes[i]) fn(object->meshes[i]);
}

// Where a loaded object's textures are looked for: the converter's skins folder for .mdl models,
// else the folder part of the name (up to and with its last slash), else the current folder.
std::string TextureFolderOf(const char* fileName) {
    const std::string name = fileName;
    if (name.size() >= 4 && _stricmp(name.c_str() + name.size() - 4, ".mdl") == 0) {
        GetObjectTempDataFolder();
        return ObjectTempDataFolder;
    }
    const std::size_t slash = name.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

void RefreshDrawing() {
    ObjectManager& manager = g_Object3D.manager;
    manager.RefreshChangedMeshBuffers();
    manager.MarkListDirty();
}

// The callbacks, then the object; the drawing is refreshed by the caller.
void DeleteWithCallbacks(std::int32_t n) {
    ObjectRecord* object = ObjectAt(n);
    if (!object) return;
    // A callback may add callbacks or delete other objects; the count is read each time.
    for (std::int32_t i = 0; i < object->deleteCallbackCount; ++i) {
        const ObjectDeleteCallback entry = object->deleteCallbacks[i];
        if (entry.callback) entry.callback(n, entry.value);
        if (ObjectAt(n) != object) return; // the callback deleted it
    }
    DeleteObject(n);
}

// Slot n made ready for a new object: an instance under the number goes, the table grows.
bool PrepareSlot(std::int32_t n) {
    if (IsInstance(ObjectAt(n))) DeleteObject(n);
    return n < g_Object3D.objectCapacity || ResizeObjectArrays(n);
}

// The clone's animations borrow the source's matrix keys, pair by pair in chain order.
void ShareAnimation(ObjectRecord* copy, ObjectRecord* source) {
    if (!copy->animationSet || !source->animationSet) return;
    AnimationRecord* a = copy->animationSet->animation;
    AnimationRecord* b = source->animationSet->animation;
    for (; a && b; a = a->next, b = b->next)
        ShareMatrixKeys(a, b);
}

// Multi-material entries and texture slots of one mesh pair.
void CopyMeshLook(MeshRecord* copy, const MeshRecord* source) {
    copy->multiMaterialOn = source->multiMaterialOn;
    if (copy->multiMaterialOn == 1 && copy->multiMaterials && source->multiMaterials) {
        const std::int32_t count = std::min(copy->multiMaterialCount, source->multiMaterialCount);
        std::copy_n(source->multiMaterials, std::max(count, 0), copy->multiMaterials);
    }
    CopyMeshTextures(copy, source);
}

} // namespace

void LoadObject(const char* fileName, std::int32_t n, std::int32_t textureMode,
                std::int32_t textureFlag) {
    Object3DState& s = g_Object3D;
    // The redirect may lengthen the name in place: a name that fills the buffer is refused.
    if (!fileName || std::strlen(fileName) >= kObjectNameBuffer) {
        RaiseRuntimeError(kFileMissing);
        return;
    }
    ScopedMediaName name(s.core, fileName);
    if (!ConfirmNewObject(n)) return;
    if (!PrepareSlot(n)) return RaiseRuntimeError(kObjectNotLoaded); // no room for the number
    if (!name.Ok() || !LoadObjectFile(name.Text(), &s.objects[n])) return;
    if (!SetupNewObject(n, -1.0f)) return;
    ObjectRecord* object = s.objects[n];
    if (!object || object->meshCount <= 0) return;
    AddObjectToDrawList(n);
    const std::string folder = TextureFolderOf(name.Text());
    ForEachMesh(object, [&](MeshRecord* mesh) {
        LoadMeshTexturesStage(mesh, folder.c_str(), textureMode, textureFlag);
    });
    ForEachMesh(object, [](MeshRecord* mesh) {
        if (mesh->effectInUse) LoadOrShareEffect(mesh, true);
    });
}

void SaveObject(const char* fileName, std::int32_t n) {
    if (!ConfirmObject(n)) return;
    if (!fileName || !*fileName) return RaiseRuntimeError(kFileWriteFailed); // nowhere to write
    const std::size_t length = std::strlen(fileName);
    if (length < 4 || _stricmp(fileName + length - 4, ".tlo") != 0) {
        RaiseRuntimeError(kObjectFileNameIllegal);
        return;
    }
    SaveObjectFile(fileName, ObjectAt(n));
}

void DeleteObjectCmd(std::int32_t n) {
    if (!ObjectExists(n)) return;
    DeleteWithCallbacks(n);
    RefreshDrawing();
}

void DeleteObjectsCmd(std::int32_t first, std::int32_t last) {
    if (first == 0 || last == 0 || first > last) return;
    first = std::max(first, 1);
    last = std::min(last, g_Object3D.objectCapacity - 1);
    for (std::int32_t n = first; n <= last; ++n)
        if (ObjectExists(n)) DeleteWithCallbacks(n);
    RefreshDrawing();
}

void CloneObject(std::int32_t n, std::int32_t sourceNumber, std::int32_t shareAnimation) {
    Object3DState& s = g_Object3D;
    if (!ConfirmNewObject(n) || !ConfirmObjectInstance(sourceNumber)) return;
    ObjectRecord* source = ObjectAt(sourceNumber);
    if (source->instanceSource) source = source->instanceSource;
    // An instance in the new slot goes first; it may have been the very source named.
    if (n == sourceNumber || !PrepareSlot(n)) return;
    GuardObjectMake(n, kObjectNotMade, [&] {
        RestoreAllMeshVertices(source);
        if (!CopyObjectViaBlock(&s.objects[n], source)) return false;
        ObjectRecord* copy = s.objects[n];
        if (shareAnimation) ShareAnimation(copy, source);
        source->lastUpdatedFrame = -1.0f;
        UpdateObjectAnimationFrame(source);
        if (!SetupNewObject(n, -1.0f)) return false;
        copy->collision = source->collision;
        const std::int32_t pairs = std::min(Listed(copy->meshCount), Listed(source->meshCount));
        for (std::int32_t i = 0; copy->meshes && source->meshes && i < pairs; ++i) {
            if (!copy->meshes[i] || !source->meshes[i]) continue;
            CopyMeshMaterialStateMarkSource(copy->meshes[i], source->meshes[i]);
            RestoreMeshVertices(copy->meshes[i]);
            CopyMeshLook(copy->meshes[i], source->meshes[i]);
        }
        if (!AddObjectToDrawList(n)) return false;
        copy->position = source->position;
        return true;
    });
}

void InstanceObject(std::int32_t n, std::int32_t sourceNumber) {
    Object3DState& s = g_Object3D;
    if (!ConfirmNewObject(n) || !ConfirmObject(sourceNumber) || !PrepareSlot(n)) return;
    ObjectRecord* source = ObjectAt(sourceNumber);
    GuardObjectMake(n, kObjectNotMade, [&] {
        const std::int32_t limbs = std::max(Listed(source->frameCount), 1);
        std::unique_ptr<ObjectRecord> instance(new (std::nothrow) ObjectRecord);
        if (!instance) return false;
        instance->instanceData = new (std::nothrow) std::uint8_t[limbs];
        if (!instance->instanceData) return false;
        std::fill_n(instance->instanceData, limbs, std::uint8_t{255});
        instance->instanceSource = source;
        instance->instanceDataLength = limbs;
        instance->collision = source->collision;
        instance->detailOn = source->detailOn;
        std::copy_n(source->detailDistances, 2, instance->detailDistances);
        instance->position.pivot = source->position.pivot;
        instance->position.matPivot = source->position.matPivot;
        s.objects[n] = instance.release();
        return AddObjectToDrawList(n);
    });
}

bool ObjectExist(std::int32_t n) {
    if (n < 1 || n > kLargestItemNumber) {
        RaiseRuntimeError(kObjectNumberIllegal);
        return false;
    }
    const ObjectRecord* object = ObjectAt(n);
    return object && (object->rootFrame || object->instanceSource);
}

void ExcludeObjectOn(std::int32_t n) {
    if (!ObjectExists(n)) return;
    ObjectRecord* object = ObjectAt(n);
    object->hidden = 1;
    object->collision.excluded = 1;
}

void ExcludeObjectOff(std::int32_t n) {
    if (!ObjectExists(n)) return;
    for (ObjectRecord* object = ObjectAt(n); object; object = object->instanceSource) {
        object->hidden = 0;
        object->collision.excluded = 0;
    }
}

void SetObjectNeverCulled(std::int32_t n, std::uint8_t flag) {
    if (ConfirmObject(n)) ObjectAt(n)->noCulling = flag;
}

ObjectRecord* GetObjectPointerInstance(std::int32_t n) {
    return ConfirmObjectInstance(n) ? ObjectAt(n) : nullptr;
}

CoreData* GetObjectModuleCoreData() {
    return g_Object3D.core;
}

void GetObjectPositionBlock(std::int32_t n, ObjectPosition** block) {
    ObjectRecord* object = ObjectAt(n);
    if (!object || !block) return;
    UpdateObjectWorld(object);
    *block = &object->position;
}

void GetRootMeshData(std::int32_t n, std::uint8_t** vertices, std::int32_t* vertexCount,
                     std::int32_t** drawCount) {
    ObjectRecord* object = ObjectAt(n);
    MeshRecord* mesh = object && object->rootFrame ? object->rootFrame->mesh : nullptr;
    if (!mesh) return;
    if (vertices) *vertices = mesh->vertices;
    if (vertexCount) *vertexCount = mesh->vertexCount;
    if (drawCount) *drawCount = &mesh->drawPrimitiveCount;
}

void MarkRootMeshChanged(std::int32_t n) {
    ObjectRecord* object = ObjectAt(n);
    if (object && object->rootFrame && object->rootFrame->mesh)
        object->rootFrame->mesh->verticesChanged = 1;
}

void ApplyToAllObjectMeshes(void (*operation)(MeshRecord*, IDirect3DTexture9*),
                            IDirect3DTexture9* argument) {
    if (!operation) return;
    const Object3DState& s = g_Object3D;
    for (std::int32_t i = 0; i < s.usedCount; ++i) {
        ObjectRecord* object = ObjectAt(s.usedNumbers[i]);
        if (HasData(object))
            WalkFrameTree(object->rootFrame, [&](FrameRecord* f) { operation(f->mesh, argument); });
    }
}

void CalculateObjectBoundsCmd(std::int32_t n) {
    if (ConfirmObject(n) && !CalculateObjectBounds(ObjectAt(n))) RaiseRuntimeError(kStringNoMemory);
}

void SetNewObjectRenderGroup(std::int32_t flag) {
    if (flag == 0) g_Object3D.newObjectOwnBuffers = 1;
    if (flag == 1) g_Object3D.newObjectOwnBuffers = 0;
}

void GatherUniverseAreaEntries(std::vector<MeshRecord*>* list) {
    if (g_Object3D.universe && list) g_Object3D.universe->GatherAreaBatchMeshes(*list);
}

void CalculateWorldForPositionBlock(const ObjectPosition* block) {
    if (!block) return;
    ObjectRecord scratch;
    scratch.position = *block;
    CalculateObjectWorld(&scratch, nullptr);
}

// Not offered here: the entries keep their places and say so with 116.
void NotAvailableStubA() {
    RaiseRuntimeError(kCommandNotAvailable);
}
void NotAvailableStubB() {
    RaiseRuntimeError(kCommandNotAvailable);
}
void NotAvailableStubC() {
    RaiseRuntimeError(kCommandNotAvailable);
}
// Places kept in the command set; there is nothing for them to do.
void EmptyCommandA() {}
void EmptyCommandB() {}
void EmptyCommandC() {}
void EmptyCommandD() {}
void EmptyCommandE() {}
void EmptyCommandF() {}
