// The world's lifecycle: construction, the root node, destruction, and the commands that create
// and delete the one world.
#include "core/win32.h"

#include "universe/universe.h"
#include "core/core.h"
#include "core/error_numbers.h"
#include "object3d/mesh_textures.h"
#include "object3d/object_state.h"
#include "object3d/static_boxes.h"
#include "universe/universe_build.h"

#include <array>
#include <memory>
#include <new>
#include <unordered_set>
#include <utility>

UniverseGlobals g_Universe;

namespace {

constexpr float kDefaultHalfExtent = 3000.0f;

// Frees the world's meshes once each, whatever lists hold them (a mesh may be a level mesh and
// a collision mesh, or a texture mesh and a light's). Each place is cleared as it is freed. The
// meshes freed are kept in a set while memory allows; without it, every other place of a mesh is
// cleared as it goes, slower but never failing: a world's end needs no memory.
class MeshReleaser {
public:
    using List = std::vector<MeshRecord*>;
    MeshReleaser(const std::array<List*, 3>& lists, std::vector<UniverseLight>& lights,
                 MeshRecord*& single)
        : lists_(lists), lights_(lights), single_(single) {}

    void Free(MeshRecord*& place) {
        MeshRecord* mesh = std::exchange(place, nullptr);
        if (!mesh) return;
        if (hashed_) {
            try {
                if (freed_.insert(mesh).second) FreeWorldMesh(mesh);
                return;
            } catch (const std::bad_alloc&) {
                ForgetSet();
            }
        }
        ForEachPlace([mesh](MeshRecord*& other) {
            if (other == mesh) other = nullptr;
        });
        FreeWorldMesh(mesh);
    }
    void FreeAll(List& list) {
        for (MeshRecord*& place : list)
            Free(place);
        list.clear();
    }

private:
    template <typename Fn> void ForEachPlace(Fn&& fn) {
        for (List* list : lists_)
            for (MeshRecord*& place : *list)
                fn(place);
        for (UniverseLight& light : lights_)
            for (MeshRecord*& place : light.shadowMeshes)
                fn(place);
        fn(single_);
    }
    // From here on without the set: the places of what it holds are cleared.
    void ForgetSet() {
        ForEachPlace([this](MeshRecord*& place) {
            if (place && freed_.count(place)) place = nullptr;
        });
        freed_.clear();
        hashed_ = false;
    }

    std::array<List*, 3> lists_;
    std::vector<UniverseLight>& lights_;
    MeshRecord*& single_;
    std::unordered_set<MeshRecord*> freed_;
    bool hashed_ = true;
};

// The batch holders of a list of areas, and the distinct meshes they hold: through a set while
// memory allows, else by walking the holders.
class HeldBatchMeshes {
public:
    using Areas = std::vector<std::unique_ptr<UniverseArea>>;
    explicit HeldBatchMeshes(Areas& areas) : areas_(areas) {
        try {
            ForEachHolder([this](UniverseBatch& holder) {
                if (holder.mesh) held_.insert(holder.mesh);
            });
        } catch (const std::bad_alloc&) {
            held_.clear();
            hashed_ = false;
        }
    }
    bool Has(const MeshRecord* mesh) {
        if (!mesh) return false;
        if (hashed_) return held_.count(const_cast<MeshRecord*>(mesh)) != 0;
        bool found = false;
        ForEachHolder([&](UniverseBatch& holder) { found = found || holder.mesh == mesh; });
        return found;
    }
    // Frees each held mesh once, in the holders' order; the holders keep none of them.
    void FreeEach() {
        ForEachHolder([this](UniverseBatch& holder) {
            MeshRecord* mesh = std::exchange(holder.mesh, nullptr);
            if (!mesh) return;
            if (!hashed_)
                ForEachHolder([mesh](UniverseBatch& other) {
                    if (other.mesh == mesh) other.mesh = nullptr;
                });
            else if (!held_.erase(mesh))
                return;
            FreeWorldMesh(mesh);
        });
    }

private:
    template <typename Fn> void ForEachHolder(Fn&& fn) {
        for (const std::unique_ptr<UniverseArea>& area : areas_) {
            if (!area) continue;
            for (auto* list : {&area->batches, &area->secondBatches, &area->loadedShared})
                for (const std::unique_ptr<UniverseBatch>& holder : *list)
                    if (holder) fn(*holder);
        }
    }

    Areas& areas_;
    std::unordered_set<MeshRecord*> held_;
    bool hashed_ = true;
};

// Puts fresh (none when null) in place of the world, whose end comes first, and starts the
// module's globals afresh.
void PutUniverse(Universe* fresh) {
    delete std::exchange(UniversePointer(), nullptr);
    UniversePointer() = fresh;
    g_Universe = UniverseGlobals{};
}

// A new world with its root node; null when either cannot be had.
Universe* MakeUniverse(float x, float y, float z) {
    std::unique_ptr<Universe> world(new (std::nothrow) Universe);
    if (!world || !world->CreateRootNode(x, y, z)) return nullptr;
    return world.release();
}

} // namespace

Universe* ReplaceUniverse(bool make) {
    Universe* fresh = make ? new (std::nothrow) Universe : nullptr;
    if (make && !fresh) return nullptr; // the old world stays
    PutUniverse(fresh);
    return fresh;
}

Universe::Universe() = default;

Universe::~Universe() {
    Destroy();
}

void Universe::Destroy() {
    // Released as removing each one releases it: drawn again wherever it stands.
    for (ObjectRecord* object : staticObjects)
        if (object) object->staticReleased = object->universeVisible = 1;
    MeshReleaser meshes({&levelMeshes, &collisionMeshes, &textureMeshes}, lights, decalMesh);
    for (MeshRecord* mesh : textureMeshes)
        if (mesh) FreeMeshTextures(mesh);
    root.reset();
    FreeCellsAndAreas();
    meshes.FreeAll(levelMeshes);
    meshes.FreeAll(collisionMeshes);
    // The batch meshes went with their areas; loaded meshes that no batch holds remain.
    meshes.FreeAll(textureMeshes);
    meshes.Free(decalMesh);
    triangleBuffer = {};
    triangleWords = {};
    triangleCapacity = triangleFloats = 0;
    for (UniverseLight& light : lights)
        meshes.FreeAll(light.shadowMeshes);
    lights = {};
    shadowCasters = {};
    pendingLimbs = {};
    collisionModes = {};
    staticObjects = {};
    staticObjectWords = {};
    staticPlaces_ = {};
    staticSlots_ = {};
    visibleFrusta = {};
    queryMeshes = {};
}

void Universe::FreeCellsAndAreas() {
    cells = {};
    cellGrid = {};
    cellFlags = {};
    gridSlots = 0;
    cellCount = 0;
    ReleaseAreas(std::exchange(areas, {}));
}

void Universe::ReleaseAreas(std::vector<std::unique_ptr<UniverseArea>> gone) {
    // The batch meshes, and a loaded level's shared entries, leave every list before the first
    // goes: letting go of its images may delete one, and the world's keeper of images then walks
    // the lists. One may also be listed in textureMeshes (after a save or a load), or held by
    // several areas; a shared entry a save left out of textureMeshes is held here alone.
    HeldBatchMeshes held(gone);
    std::erase_if(textureMeshes, [&](MeshRecord* mesh) { return held.Has(mesh); });
    if (held.Has(rayContact.mesh)) rayContact.mesh = nullptr;
    held.FreeEach();
}

bool Universe::CreateRootNode(float x, float y, float z) {
    if (created) return false;
    root.reset(new (std::nothrow) UniverseNode);
    if (!root) return false;
    root->halfExtents = D3DXVECTOR3(x, y, z);
    created = 1;
    return true;
}

std::int32_t Universe::FindNodeIndex(const UniverseNode* node) const {
    if (!node || cells.empty()) return 0;
    const UniverseNode* first = cells.data();
    if (node < first || node >= first + cells.size()) return 0;
    return static_cast<std::int32_t>(node - first);
}

void GetNodeCorners(const UniverseNode& node, D3DXVECTOR3 corners[8]) {
    const D3DXVECTOR3& c = node.centre;
    const D3DXVECTOR3& h = node.halfExtents;
    for (int i = 0; i < 8; ++i)
        corners[i] = D3DXVECTOR3(c.x + (i & 1 ? h.x : -h.x), c.y + (i & 2 ? h.y : -h.y),
                                 c.z + (i & 4 ? h.z : -h.z));
}

void CreateUniverse(float x, float y, float z) {
    // Made whole before the old world and the static boxes go, which stay when it cannot be.
    Universe* world = MakeUniverse(x, y, z);
    if (!world) return RaiseRuntimeError(kStringNoMemory);
    PutUniverse(world);
    DeleteStaticCollisionBoxes();
}

void DeleteUniverse() {
    ReplaceUniverse(false);
    DeleteStaticCollisionBoxes();
}

void CreateDefaultUniverse() {
    AddWorldKeepers();
    if (Universe* world = MakeUniverse(kDefaultHalfExtent, kDefaultHalfExtent, kDefaultHalfExtent))
        PutUniverse(world);
    else
        PutUniverse(nullptr); // the module's start without memory: no world, as the text allows
}

void EndUniverseModule() {
    ReplaceUniverse(false);
    RemoveWorldKeepers();
}
