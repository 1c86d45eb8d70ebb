// A level as two files, the object file of its merged meshes and the structure file beside it;
// and the limbs the add commands hand in, turned into level meshes with their companions.
#include "core/win32.h"

#include "universe/universe.h"
#include "core/core.h"
#include "core/load_budget.h"
#include "core/media.h"
#include "core/replacing_file.h"
#include "object3d/geometry.h"
#include "object3d/model_files.h"
#include "object3d/mesh_textures.h"
#include "object3d/object3d.h"
#include "object3d/object_state.h"
#include "object3d/object_world.h"
#include "universe/universe_build.h"
#include "universe/universe_file.h"
#include "core/error_numbers.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

constexpr std::int32_t kLevelTextureMode = 2;
constexpr const char* kLightmapFolder = "levelbank\\testlevel\\lightmaps";
// The companion's box approximation: a 20 x 1 x 20 grid.
constexpr std::int32_t kCompanionGridXZ = 20;
constexpr std::int32_t kCompanionGridY = 1;
constexpr std::uint32_t kCompanionFormat = D3DFVF_XYZ;
// What one triangle test of a collision call is charged at load, in bytes of the budget: about
// 90 ns under the platform here, so that the longest call the ceiling allows takes some 70 ms.
// A real level's object file holds tens of bytes a triangle; a strip of bare indices holds 2.
constexpr std::uint64_t kTriangleTestBytes = 256;
// What one draw call of the debug drawing is charged at load: some 12 us here, so that a frame of
// it stays under a second at the ceiling. A level of a few thousand areas pays a few tens of MB.
constexpr std::uint64_t kDebugDrawBytes = 3072;

// Takes every frame mesh of the object, in frame order, leaving the object without them.
void TakeFrameMeshes(ObjectRecord* object, std::vector<MeshRecord*>& into) {
    WalkFrameTree(object->rootFrame, [&](FrameRecord* frame) {
        if (frame->mesh) into.push_back(std::exchange(frame->mesh, nullptr));
    });
    // The object's mesh list names the same meshes: they are no longer its to free.
    const std::int32_t listed = object->meshCount < 0 ? -object->meshCount : object->meshCount;
    for (std::int32_t i = 0; object->meshes && i < listed; ++i)
        if (std::find(into.begin(), into.end(), object->meshes[i]) != into.end())
            object->meshes[i] = nullptr;
}

void ReleaseLevelObject(std::unique_ptr<ObjectRecord> object) {
    if (!object) return;
    WalkFrameTree(object->rootFrame, [](FrameRecord* frame) { frame->mesh = nullptr; });
}

// A temporary object whose frames, a chain of siblings, show the meshes in list order; null when
// it cannot be made. The meshes stay the caller's: ReleaseLevelObject takes them off before the
// object goes.
std::unique_ptr<ObjectRecord> MakeLevelObject(const std::vector<MeshRecord*>& meshes) {
    auto object = std::unique_ptr<ObjectRecord>(new (std::nothrow) ObjectRecord);
    if (!object) return nullptr;
    FrameRecord** next = &object->rootFrame;
    for (MeshRecord* mesh : meshes) {
        *next = new (std::nothrow) FrameRecord;
        if (!*next) {
            ReleaseLevelObject(std::move(object)); // its frames free no world mesh
            return nullptr;
        }
        (*next)->mesh = mesh;
        next = &(*next)->sibling;
    }
    return object;
}

// Every mesh an area's batches, second batches or shared entries hold.
std::unordered_set<const MeshRecord*> HeldMeshes(const Universe& world) {
    std::unordered_set<const MeshRecord*> held;
    for (const std::unique_ptr<UniverseArea>& area : world.areas) {
        for (auto* list : {&area->batches, &area->secondBatches})
            for (const std::unique_ptr<UniverseBatch>& holder : *list)
                if (holder) held.insert(holder->mesh);
        for (const UniverseBatch* holder : area->sharedMeshes)
            if (holder) held.insert(holder->mesh);
    }
    return held;
}

// textureMeshes becomes the batches' meshes in area order, batches before second batches, a mesh
// held twice listed twice. Old entries that nothing holds any more are freed rather than dropped,
// each once. Everything it needs is had before the list changes: out of memory it throws with the
// list as it was.
void ListBatchMeshes(Universe& world) {
    std::vector<MeshRecord*> listed;
    for (const std::unique_ptr<UniverseArea>& area : world.areas)
        for (auto* list : {&area->batches, &area->secondBatches})
            for (const std::unique_ptr<UniverseBatch>& holder : *list)
                if (holder && holder->mesh) listed.push_back(holder->mesh);
    const auto held = HeldMeshes(world);
    std::vector<MeshRecord*> distinct(world.textureMeshes);
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    std::vector<std::uint8_t> freed(distinct.size(), 0);
    const std::vector<MeshRecord*> old = std::exchange(world.textureMeshes, std::move(listed));
    for (MeshRecord* mesh : old) {
        if (!mesh || held.count(mesh)) continue;
        const auto at = std::lower_bound(distinct.begin(), distinct.end(), mesh) - distinct.begin();
        if (std::exchange(freed[static_cast<std::size_t>(at)], 1)) continue;
        world.ReleaseMesh(mesh);
    }
}

// Writes both files whole beside their names, then moves them in: the object file first, the
// structure file after, whose failure takes the new object file away again, so that neither is
// left without the other. Neither replaces a file that appeared under its name meanwhile.
bool WriteLevelFiles(const Universe& world, ObjectRecord* object, const char* fileName,
                     const std::string& structureName) {
    ReplacingFile structure(structureName.c_str());
    ReplacingFile level(fileName);
    if (!world.Save(structure) || !WriteObjectFile(level, object) ||
        !level.Commit(false, /*replaceExisting=*/false))
        return false;
    if (structure.Commit(false, /*replaceExisting=*/false)) return true;
    DeleteFileA(level.Target().c_str());
    return false;
}

// A copy of the source mesh turned into the box approximation of its volume; null when the copy
// cannot be made.
MeshRecord* BoxApproximation(const MeshRecord* source) {
    MeshRecord* mesh = CopiedMesh(source);
    if (mesh) BuildBoxApproximationMesh(mesh, kCompanionGridXZ, kCompanionGridY, kCompanionGridXZ);
    return mesh;
}

// The collision companion of a pending limb: the box approximation for mode 2 or shadow kind 1,
// a box over the source's bounds for mode 1, else none.
MeshRecord* MakeCompanion(const UniversePendingLimb& limb, const MeshRecord* source,
                          const MeshRecord* copy) {
    if (limb.collisionMode == 2 || limb.shadowKind == 1) return BoxApproximation(copy);
    if (limb.collisionMode != 1) return nullptr;
    auto* box = new (std::nothrow) MeshRecord;
    const D3DXVECTOR3& a = source->bounds.minimum;
    const D3DXVECTOR3& b = source->bounds.maximum;
    if (!box || !MakeMeshBox(1, box, a.x, a.y, a.z, b.x, b.y, b.z, kCompanionFormat, 0)) {
        delete box;
        return nullptr;
    }
    return box;
}

// The object file's meshes and the structure file beside it, read as one load whose budget both
// files' sizes set; false, the load's error raised, when the object file does not load, the
// structure file is there but not whole, or the load goes past its budget. What was read is the
// world's either way: the caller discards it.
bool ReadLevelFiles(Universe& world, const char* fileName) {
    const std::string structure = UniverseFileName(fileName);
    LoadScope load(MediaFileSize(structure.c_str()));
    bool objectLoaded = false;
    const bool read = load.Guard([&] {
        // The object load's own scope joins this one, its file adding to the budget.
        AddLoadFile(MediaFileSize(fileName));
        ObjectRecord* loaded = nullptr;
        objectLoaded = LoadObjectFile(fileName, &loaded, ObjectFileUse::kReadFrom) && loaded;
        const std::unique_ptr<ObjectRecord> object(loaded);
        if (!objectLoaded) return false;
        world.textureMeshes.clear();
        TakeFrameMeshes(object.get(), world.textureMeshes);
        for (MeshRecord* mesh : world.textureMeshes)
            CalculateMeshBounds(mesh);
        // A level without a structure file is its meshes alone; one that is there, damaged or
        // cut short, would make a smaller world than was saved.
        if (GetFileAttributesA(structure.c_str()) != INVALID_FILE_ATTRIBUTES &&
            !world.Load(structure.c_str()))
            return false;
        // Each later ray, decal and volume query walks triangles the files hold, and a frame of
        // debug drawing draws every area.
        RequireLoad(world.LongestCallTriangleTests(), kTriangleTestBytes);
        RequireLoad(world.DebugFrameDraws(), kDebugDrawBytes);
        return true;
    });
    if (read && !LoadOverBudget()) return true;
    if (objectLoaded) RaiseRuntimeError(kObjectNotLoaded);
    return false;
}

} // namespace

bool Universe::LoadLevel(const char* fileName, std::int32_t lightmapValue) {
    g_Universe.currentArea = 0;
    g_Universe.areaCount = 0;
    if (!ReadLevelFiles(*this, fileName)) return false;
    // Pictures and effects are loads of their own, as they are for an object.
    for (MeshRecord* mesh : textureMeshes)
        LoadMeshTextures(mesh, "", kLevelTextureMode, lightmapValue, kLightmapFolder);
    for (MeshRecord* mesh : textureMeshes)
        if (mesh->effectFileName[0]) LoadOrShareEffect(mesh, false);
    ComputeCellTriangleBounds();
    AddAreaMeshesToBuffers();
    return true;
}

bool Universe::SaveLevel(const char* fileName) {
    if (!fileName) return false;
    const std::string structureName = UniverseFileName(fileName);
    // A name that is its own structure file cannot hold both files.
    if (_stricmp(structureName.c_str(), fileName) == 0) {
        RaiseRuntimeError(kFileWriteFailed);
        return false;
    }
    // Either file already there: neither is written, and the save says so as the object file's
    // would.
    if (CoreFileExists(structureName.c_str()) || CoreFileExists(fileName)) {
        RaiseRuntimeError(kFileExists);
        return false;
    }
    // A loaded world has no cells in its areas to assemble from: its loaded batches stand.
    if (built) BuildAreaMeshLists();
    ListBatchMeshes(*this);
    std::unique_ptr<ObjectRecord> object = MakeLevelObject(textureMeshes);
    AddAreaMeshesToBuffers();
    // Out of memory for the files' names or bytes is a save that failed: the object lets go of
    // the world's meshes below whatever happened.
    const auto write = [&] {
        return WriteLevelFiles(*this, object.get(), fileName, structureName);
    };
    const bool saved = object && GuardLoad(write);
    for (MeshRecord* mesh : textureMeshes)
        CalculateMeshBounds(mesh);
    ReleaseLevelObject(std::move(object));
    if (!saved) RaiseRuntimeError(kFileWriteFailed);
    return saved;
}

// A pending limb turned into a level mesh (and its companion), not yet the world's.
struct Universe::MadeLimb {
    WorldMeshPointer mesh, companion;
    const UniversePendingLimb* limb = nullptr;
};

bool Universe::AddPendingLimbs() {
    if (!created) return false;
    // Every mesh is made before the world takes any, and the world's lists have room for them
    // first: out of memory, the world stays as it was (the meshes made go again) and this throws.
    std::vector<MadeLimb> made;
    made.reserve(pendingLimbs.size());
    std::vector<ObjectRecord*> entered;
    entered.reserve(pendingLimbs.size());
    const bool inside = MakePendingMeshes(made, entered);
    std::size_t casters = 0;
    for (const MadeLimb& m : made)
        casters += m.limb->shadowKind == 2 || (m.limb->shadowKind == 1 && m.companion) ? 1 : 0;
    MakeRoom(levelMeshes, made.size());
    MakeRoom(collisionModes, made.size());
    MakeRoom(collisionMeshes, made.size());
    MakeRoom(shadowCasters, casters);
    for (ObjectRecord* object : entered)
        object->inUniverse = 1;
    for (MadeLimb& m : made) {
        // A caster only once the mesh is kept, so that no caster outlives its mesh.
        if (m.limb->shadowKind == 1 && m.companion) AddShadowCaster(m.companion.get(), nullptr);
        if (m.limb->shadowKind == 2) AddShadowCaster(m.mesh.get(), nullptr);
        levelMeshes.push_back(m.mesh.release());
        collisionModes.push_back(m.limb->collisionMode);
        collisionMeshes.push_back(m.companion.release());
    }
    return inside;
}

bool Universe::MakePendingMeshes(std::vector<MadeLimb>& made, std::vector<ObjectRecord*>& entered) {
    for (const UniversePendingLimb& limb : pendingLimbs) {
        MeshRecord* source = limb.frame ? limb.frame->mesh : nullptr;
        if (!source || !limb.object) continue;
        entered.push_back(limb.object);
        // A drawn mesh copies in its own format: only memory can refuse the copy, its indices
        // included.
        WorldMeshPointer mesh(new (std::nothrow) MeshRecord);
        if (!mesh || !MakeMeshFromFormat(mesh.get(), source, nullptr) ||
            mesh->indexCount != source->indexCount)
            throw std::bad_alloc();
        if (!CopyMeshRenderSettings(source, mesh.get())) throw std::bad_alloc(); // the slots
        mesh->owner = limb.objectNumber;
        UpdateObjectWorld(limb.object);
        WorldMeshPointer companion(MakeCompanion(limb, source, mesh.get()));
        const bool wanted =
            limb.collisionMode == 1 || limb.collisionMode == 2 || limb.shadowKind == 1;
        if (wanted && !companion) throw std::bad_alloc(); // the copy it is made of was made
        if (!source->worldSpace) {
            CopyGlueMatrices(limb.object, limb.frame, source);
            TransformMeshVertices(mesh.get(), limb.frame->worldMatrix);
            if (companion) TransformMeshVertices(companion.get(), limb.frame->worldMatrix);
            mesh->worldSpace = 1;
        }
        // Bounds for the companion also when it was made in world space already.
        if (companion) CalculateMeshBounds(companion.get());
        CalculateMeshBounds(mesh.get());
        if (!MeshInsideNodeBox(root.get(), mesh.get())) return false;
        mesh->shadowKind = limb.shadowKind;
        // Its own buffers: a shared one goes when any object using it is removed. With a device,
        // buffers it cannot have are memory (its own or the device's) run out.
        if (!g_Object3D.manager.AddMeshToBuffers(mesh.get(), true)) {
            if (g_Object3D.device) throw std::bad_alloc();
            continue;
        }
        made.push_back({std::move(mesh), std::move(companion), &limb});
    }
    return true;
}
