// The 3D object module's state, shared by its source files (and read by its tests).
#pragma once

#include "camera/camera_record.h"
#include "core/core_data.h"
#include "image/image_bridge.h"
#include "object3d/object_manager.h"
#include "object3d/object_records.h"

#include <cstdint>
#include <cstring>
#include <map>

class EffectBase;
class Universe;
struct EffectHolder;

constexpr std::int32_t kLargestItemNumber = 22000000;
constexpr std::int32_t kEffectSlots = 65536; // slot 0 is not reachable by number
constexpr std::int32_t kShaderSlots = 31;

// A numbered vertex shader with the input declaration programs build for it element by element.
struct VertexShaderSlot {
    IDirect3DVertexShader9* shader = nullptr;           // owned
    IDirect3DVertexDeclaration9* declaration = nullptr; // owned
    std::int32_t elementCount = 0;
    D3DVERTEXELEMENT9* elements = nullptr; // owned: elementCount entries and the end marker
};

// Where the static world's collision leaves its result; the universe owns the meaning of the
// fields after the end position.
struct CollisionResult {
    std::uint8_t valid;
    D3DXVECTOR3 endPosition;
    float further1[3];
    D3DXVECTOR3 movement;
    float further2[2];
    std::int32_t count;
    std::int32_t index;
    std::uint8_t ground;
    std::uint32_t spare[2];
};
static_assert(sizeof(CollisionResult) == 17 * 4);

// Written only by the object module, on the main thread. The tables live from PassCoreData to the
// Destructor, so a device reset (RefreshD3D 0, then 1) leaves the module empty; the capacities and
// the settings survive it.
struct Object3DState {
    // The tables: objects by number, their numbers in creation order, meshes by number.
    ObjectRecord** objects = nullptr;
    std::int32_t objectCapacity = 0;
    std::int32_t* usedNumbers = nullptr;
    std::int32_t usedCount = 0;
    MeshRecord** meshes = nullptr;
    std::int32_t meshCapacity = 0;
    EffectHolder* effects[kEffectSlots] = {}; // the effect slots; each holder owns its effect
    // The shader slots; freed with the objects, as they belong to the device.
    VertexShaderSlot vertexShaders[kShaderSlots] = {};
    IDirect3DPixelShader9* pixelShaders[kShaderSlots] = {}; // owned
    // Kept from the entries.
    CoreData* core = nullptr;
    ResizeStringFn resizeString = nullptr;
    IDirect3DDevice9* device = nullptr;
    D3DCAPS9 caps{};
    HMODULE handles[4] = {};
    ImageBridge images{};
    CameraBridge cameras{};
    // The maths module's getters of vector and matrix items, for effect and shader constants.
    D3DXVECTOR4 (*getVector4)(std::int32_t id) = nullptr;
    D3DXMATRIX (*getMatrix)(std::int32_t id) = nullptr;
    // The static world: made by the Constructor, destroyed by the Destructor and replaced or
    // deleted by the universe commands; null when there is none. Owned.
    Universe* universe = nullptr;
    CollisionResult universeCollision{};
    // Settings.
    std::uint8_t newObjectOwnBuffers = 1; // given to objects as they are set up
    std::uint8_t meshesSurvive = 0;       // a device reset keeps the mesh table
    std::uint8_t kindOneDrawn = 0;        // meshes of kind 1 are drawn even when hidden
    std::int32_t shadowLightIndex = -1;   // -1: the shadow light is at shadowLightPosition
    D3DXVECTOR3 shadowLightPosition{0, 0, 0};
    ObjectManager manager;
    // Uses of each image the image module made for meshes (negative numbers) by the texture slots
    // holding it; the image is deleted when its last use goes (mesh_textures.cpp).
    std::map<std::int32_t, std::int32_t> moduleImageUses;
};

extern Object3DState g_Object3D;

// The one world pointer; the universe code reaches the world only through it.
inline Universe*& UniversePointer() {
    return g_Object3D.universe;
}

// A float's bits, as the device takes float render states.
inline DWORD FloatBits(float f) {
    DWORD bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// The live object of a number already checked to lie in the table, or null.
inline ObjectRecord* ObjectAt(std::int32_t n) {
    return n > 0 && n < g_Object3D.objectCapacity && g_Object3D.objects ? g_Object3D.objects[n]
                                                                        : nullptr;
}
// An object has data when it has a root frame; an instance draws its source's.
inline bool HasData(const ObjectRecord* object) {
    return object && object->rootFrame;
}
inline bool IsInstance(const ObjectRecord* object) {
    return object && object->instanceSource;
}

// The entries of the object's mesh list. A negative count marks a list already built; its size
// is the same either way.
inline std::int32_t ListedMeshCount(const ObjectRecord* object) {
    return !object || !object->meshes ? 0
           : object->meshCount < 0    ? -object->meshCount
                                      : object->meshCount;
}
// Calls fn on every mesh of the object's mesh list, in list order.
template <typename Fn> void ForEachObjectMesh(ObjectRecord* object, Fn&& fn) {
    const std::int32_t count = ListedMeshCount(object);
    for (std::int32_t i = 0; i < count; ++i)
        if (object->meshes[i]) fn(object->meshes[i]);
}
