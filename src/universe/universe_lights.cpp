// The world's static objects, stencil-shadow casters, numbered shadow lights and decal ring.
#include "core/win32.h"

#include "universe/universe.h"
#include "universe/universe_build.h"
#include "object3d/builtin_effects.h"
#include "object3d/mesh_properties.h"
#include "object3d/mesh_textures.h"
#include "object3d/object_state.h"
#include "object3d/vertex_layout.h"

#include <algorithm>
#include <iterator>
#include <new>
#include <utility>
#include <vector>

namespace {

constexpr std::int32_t kMostLights = 256;
// The decal ring: 10922 quads, so that its 16-bit indices always reach.
constexpr std::int32_t kDecalQuads = kBatchVertexLimit / 4;
constexpr std::int32_t kDecalIndexSlots = 65535;
constexpr std::uint32_t kDecalFormat = D3DFVF_XYZ | D3DFVF_TEX1;
constexpr std::uint32_t kDecalAddressMode = D3DTADDRESS_CLAMP;
constexpr std::int32_t kDecalGhostMode = 5;
// Frames across and down are kept within this, so that their product stays a frame number.
constexpr std::int32_t kMostDecalFrames = 4096;

// The ring's quads: each four corners of a unit square, drawn as two triangles.
void LayOutDecalQuads(MeshRecord* mesh) {
    VertexOffsetMap map;
    GetMeshOffsetMap(mesh, &map);
    auto* words = reinterpret_cast<float*>(mesh->vertices);
    static const float kU[4] = {0, 1, 0, 1}, kV[4] = {0, 0, 1, 1};
    for (std::int32_t k = 0; k < kDecalQuads; ++k) {
        for (std::int32_t c = 0; c < 4; ++c) {
            float* v = words + static_cast<std::size_t>(4 * k + c) * map.StrideDwords;
            v[map.TexU[0]] = kU[c];
            v[map.TexV[0]] = kV[c];
        }
        static const std::int32_t kOrder[6] = {0, 1, 2, 2, 1, 3};
        for (std::int32_t i = 0; i < 6; ++i)
            mesh->indices[6 * k + i] = static_cast<std::uint16_t>(4 * k + kOrder[i]);
    }
}

} // namespace

bool Universe::AddStaticObject(ObjectRecord* object) {
    // Room in every list before any changes, so that they never fall out of step: out of memory
    // this throws with the lists as they were.
    MakeRoom(staticSlots_, 1);
    MakeRoom(staticObjects, 1);
    MakeRoom(staticObjectWords, 1);
    const auto found = staticPlaces_.try_emplace(object);
    std::vector<std::size_t>& places = found.first->second;
    try {
        MakeRoom(places, 1);
    } catch (...) {
        if (found.second) staticPlaces_.erase(found.first);
        throw;
    }
    staticSlots_.push_back(places.size());
    places.push_back(staticObjects.size());
    staticObjects.push_back(object);
    staticObjectWords.push_back(0);
    return true;
}

bool Universe::RemoveStaticObject(ObjectRecord* object) {
    // Every deleted object comes here: its place looked up, and the last entry moved into it, keep
    // each removal as short however many objects are static (their order means nothing).
    const auto places = staticPlaces_.find(object);
    if (places != staticPlaces_.end()) {
        const std::size_t at = places->second.back(), last = staticObjects.size() - 1;
        places->second.pop_back();
        if (places->second.empty()) staticPlaces_.erase(places);
        if (at != last) {
            staticPlaces_[staticObjects[last]][staticSlots_[last]] = at;
            staticSlots_[at] = staticSlots_[last];
            staticObjects[at] = staticObjects[last];
            staticObjectWords[at] = staticObjectWords[last];
        }
        staticSlots_.pop_back();
        staticObjects.pop_back();
        staticObjectWords.pop_back();
    }
    if (object) {
        object->staticReleased = 1;
        object->universeVisible = 1; // drawn again, wherever it stands
    }
    return true;
}

void Universe::AddShadowCaster(MeshRecord* mesh, const D3DXMATRIX* world) {
    if (CoreData* core = g_Object3D.core) {
        core->shadowCount += 1;
        core->renderPassCount = 1;
        core->stencilMode = 1;
    }
    UniverseShadowCaster caster;
    caster.world = world ? *world : kIdentityMatrix;
    caster.mesh = mesh;
    shadowCasters.push_back(caster);
}

void Universe::MakeLightShadows(UniverseLight& light) {
    ObjectManager& manager = g_Object3D.manager;
    // Made aside and handed over whole: out of memory, the light is as it was.
    std::vector<std::int32_t> indices;
    std::vector<WorldMeshPointer> made;
    indices.reserve(shadowCasters.size());
    made.reserve(shadowCasters.size());
    for (std::size_t i = 0; i < shadowCasters.size(); ++i) {
        MeshRecord* shadow = nullptr;
        if (!SetShadowShading(shadowCasters[i].mesh, &shadow, 0) || !shadow) {
            delete shadow;
            continue;
        }
        made.emplace_back(shadow);
        // A buffer of its own: a shared one goes when an object in it is deleted, and only
        // objects' meshes are placed again then.
        manager.AddMeshToBuffers(shadow, true);
        indices.push_back(static_cast<std::int32_t>(i));
    }
    MakeRoom(light.shadowMeshes, made.size());
    light.casterIndices = std::move(indices);
    for (WorldMeshPointer& shadow : made)
        light.shadowMeshes.push_back(shadow.release());
}

void Universe::SetLight(std::int32_t n, float x, float y, float z, float w, bool makeShadows) {
    if (n < 1 || n > kMostLights) return;
    if (static_cast<std::int32_t>(lights.size()) <= n) lights.resize(n + 1);
    UniverseLight& light = lights[n];
    float was[4];
    std::copy(std::begin(light.values), std::end(light.values), was);
    light.values[0] = x, light.values[1] = y, light.values[2] = z, light.values[3] = w;
    ObjectManager& manager = g_Object3D.manager;
    if (makeShadows && light.shadowMeshes.empty()) {
        try {
            MakeLightShadows(light);
        } catch (...) {
            std::copy(std::begin(was), std::end(was), light.values);
            throw;
        }
    }
    for (MeshRecord* shadow : light.shadowMeshes)
        manager.UpdateMeshVertices(shadow);
    manager.UnlockVertexBuffers();
}

void Universe::SetDecalImage(std::int32_t image, std::int32_t across, std::int32_t down) {
    if (!decalMesh) {
        // Its format and sizes are fixed: only memory can refuse it.
        auto* mesh = new (std::nothrow) MeshRecord;
        // (The mesh's data comes without its indices when they cannot be had.)
        if (!mesh || !SetupMeshFVFData(mesh, kDecalFormat, kBatchVertexLimit, kDecalIndexSlots) ||
            mesh->indexCount != kDecalIndexSlots) {
            delete mesh;
            throw std::bad_alloc();
        }
        LayOutDecalQuads(mesh);
        mesh->primitiveType = D3DPT_TRIANGLELIST;
        mesh->drawVertexCount = kBatchVertexLimit;
        mesh->drawPrimitiveCount = 0;
        g_Object3D.manager.AddMeshToBuffers(mesh, true);
        decalMesh = mesh;
        // A frame count below one would divide by zero.
        across = std::clamp(across, 1, kMostDecalFrames);
        down = std::clamp(down, 1, kMostDecalFrames);
        decalCursor = 0;
        decalLastFrame = across * down - 1;
        decalAcross = across;
        decalTileWidth = 1.0f / static_cast<float>(across);
        decalTileHeight = 1.0f / static_cast<float>(down);
    }
    SetMeshTexture(decalMesh, 0, image);
    if (decalMesh->textures && decalMesh->textureCount > 0) {
        TextureRecord& slot = decalMesh->textures[0];
        SetMeshTextureStageAddress(decalMesh, 0, kDecalAddressMode, slot.mipFilter);
        slot.minFilter = slot.magFilter = D3DTEXF_LINEAR;
    }
    SetMeshGhost(decalMesh, 1, kDecalGhostMode);
}
