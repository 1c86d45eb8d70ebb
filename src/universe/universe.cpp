// The world's lifecycle: construction, the root node, destruction, and the commands that create
// and delete the one world.
#include "core/win32.h"

#include "universe/universe.h"
#include "object3d/mesh_textures.h"
#include "object3d/object_state.h"
#include "object3d/static_boxes.h"
#include "universe/universe_build.h"

#include <new>
#include <unordered_set>
#include <utility>

UniverseGlobals g_Universe;

namespace {

constexpr float kDefaultHalfExtent = 3000.0f;

// Frees world meshes once each, whatever list they were reached through.
class MeshReleaser {
public:
    void Free(MeshRecord* mesh) {
        if (mesh && freed_.insert(mesh).second) FreeWorldMesh(mesh);
    }

private:
    std::unordered_set<MeshRecord*> freed_;
};

} // namespace

Universe* ReplaceUniverse(bool make) {
    delete std::exchange(UniversePointer(), nullptr);
    if (!make) return nullptr;
    UniversePointer() = new (std::nothrow) Universe;
    g_Universe = UniverseGlobals{};
    return UniversePointer();
}

Universe::Universe() = default;

Universe::~Universe() {
    Destroy();
}

void Universe::Destroy() {
    // Released as removing each one releases it: drawn again wherever it stands.
    for (ObjectRecord* object : staticObjects)
        if (object) object->staticReleased = object->universeVisible = 1;
    MeshReleaser meshes;
    for (MeshRecord* mesh : textureMeshes)
        if (mesh) FreeMeshTextures(mesh);
    root.reset();
    FreeCellsAndAreas();
    for (MeshRecord* mesh : levelMeshes)
        meshes.Free(mesh);
    for (MeshRecord* mesh : collisionMeshes)
        meshes.Free(mesh);
    levelMeshes.clear();
    collisionMeshes.clear();
    // The batch meshes went with their areas; loaded meshes that no batch holds remain.
    for (MeshRecord* mesh : textureMeshes)
        meshes.Free(mesh);
    textureMeshes.clear();
    meshes.Free(std::exchange(decalMesh, nullptr));
    triangleBuffer = {};
    triangleWords = {};
    triangleCapacity = triangleFloats = 0;
    for (UniverseLight& light : lights)
        for (MeshRecord* mesh : light.shadowMeshes)
            meshes.Free(mesh);
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
    // The batch meshes, and a loaded level's shared entries, leave every list before the first
    // goes: letting go of its images may delete one, and the world's keeper of images then walks
    // the lists. One may also be listed in textureMeshes (after a save or a load), or held by
    // several areas; a shared entry a save left out of textureMeshes is held here alone.
    std::vector<MeshRecord*> batchMeshes;
    std::unordered_set<MeshRecord*> held;
    for (const std::unique_ptr<UniverseArea>& area : areas) {
        if (!area) continue;
        for (auto* list : {&area->batches, &area->secondBatches, &area->loadedShared})
            for (const std::unique_ptr<UniverseBatch>& holder : *list)
                if (holder && holder->mesh && held.insert(holder->mesh).second)
                    batchMeshes.push_back(holder->mesh);
    }
    areas.clear();
    std::erase_if(textureMeshes, [&](MeshRecord* mesh) { return held.count(mesh) != 0; });
    if (held.count(rayContact.mesh)) rayContact.mesh = nullptr;
    for (MeshRecord* mesh : batchMeshes)
        FreeWorldMesh(mesh);
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
    Universe* world = ReplaceUniverse(true);
    DeleteStaticCollisionBoxes();
    if (world) world->CreateRootNode(x, y, z);
}

void DeleteUniverse() {
    ReplaceUniverse(false);
    DeleteStaticCollisionBoxes();
}

void CreateDefaultUniverse() {
    AddWorldKeepers();
    if (Universe* world = ReplaceUniverse(true))
        world->CreateRootNode(kDefaultHalfExtent, kDefaultHalfExtent, kDefaultHalfExtent);
}

void EndUniverseModule() {
    ReplaceUniverse(false);
    RemoveWorldKeepers();
}
