#include "core/win32.h"

#include "object3d/shadow_commands.h"
#include "core/error_numbers.h"
#include "core/no_throw.h"
#include "object3d/builtin_effects.h"
#include "object3d/frame_hierarchy.h"
#include "object3d/object3d.h"
#include "object3d/object_lists.h"
#include "object3d/object_state.h"
#include "object3d/object_world.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace {

// A shader-extruded volume without a range of its own reaches this far.
constexpr float kDefaultShadowLightRange = 1000.0f;
// A caster's collision radius grows by this much, so that its shadow is not culled with it.
constexpr float kShadowRadiusGrowth = 3000.0f;
constexpr std::int32_t kMostShadowShades = 64;

ShadowColourSettings g_ShadowColours;

template <typename Fn> void ForEachFrame(ObjectRecord* object, Fn&& fn) {
    for (std::int32_t f = 0; object->frames && f < object->frameCount; ++f)
        if (object->frames[f]) fn(object->frames[f]);
}

// Drops the object's shadow and mirror. A paused shadow that is gone must not be resumed later.
void DropShadow(ObjectRecord* object) {
    g_Object3D.manager.DeleteObjectShadow(object);
    object->noShadowVolume = 0;
}

// The meshes take new places in the device buffers; false, each keeping its old place, when one
// could not be placed.
bool Rebuffer(ObjectRecord* object) {
    ObjectManager& manager = g_Object3D.manager;
    const bool placed = manager.ReplaceObjectMeshes(object);
    manager.RefreshIfMeshChanged(object);
    manager.MarkListDirty();
    return placed;
}

// One shadow mesh per frame, made aside so that the old shadow stays until they all exist.
using ShadowMeshes = std::vector<std::unique_ptr<MeshRecord>>;

// The volume of the mesh, or null when none can be made. Out of memory it throws, and what it
// made goes with the record it builds into.
std::unique_ptr<MeshRecord> MakeShadowMesh(MeshRecord* mesh, std::int32_t shaderFlag) {
    auto shadow = std::make_unique<MeshRecord>();
    MeshRecord* into = shadow.get();
    if (!mesh || !SetShadowShading(mesh, &into, shaderFlag)) shadow.reset();
    return shadow;
}

// The shadow meshes: of each frame's own mesh, or of the mesh item on the first frame.
ShadowMeshes MakeShadowMeshes(ObjectRecord* object, std::int32_t meshItem,
                              std::int32_t shaderFlag) {
    ShadowMeshes made(object->frames ? static_cast<std::size_t>(std::max(object->frameCount, 0))
                                     : 0);
    if (meshItem < 1) {
        for (std::size_t f = 0; f < made.size(); ++f)
            if (object->frames[f] && object->frames[f]->mesh)
                made[f] = MakeShadowMesh(object->frames[f]->mesh, shaderFlag);
    } else if (!made.empty() && object->frames[0]) {
        made[0] = MakeShadowMesh(g_Object3D.meshes[meshItem], shaderFlag);
    }
    return made;
}

// The ranges of a new shadow mesh, its bones bound to the object's frames, its buffer place.
void SetUpShadowMesh(ObjectRecord* object, MeshRecord* shadow, float range,
                     std::int32_t shaderFlag) {
    if (shaderFlag == 1) {
        if (shadow->boneCount > 0 && shadow->bones) {
            AllocateMeshBoneArrays(shadow);
            LinkMeshBonesToFrames(shadow, object->rootFrame);
        }
        shadow->shadowLightRange = range == -1.0f ? kDefaultShadowLightRange : range;
    } else if (shaderFlag == 0) {
        shadow->shadowRange = range;
        shadow->shadowLightRange = -1.0f;
    }
    g_Object3D.manager.AddMeshToBuffers(shadow, object->ownBuffers != 0);
}

// A new shadow: its meshes made and counted, and the stencil set for shadows. The meshes are made
// before the old shadow goes.
void StartShadow(ObjectRecord* object, std::int32_t meshItem, float range,
                 std::int32_t shaderFlag) {
    CoreData* core = g_Object3D.core;
    ShadowMeshes made = MakeShadowMeshes(object, meshItem, shaderFlag);
    DropShadow(object);
    if (!object->castsShadow) {
        for (std::size_t f = 0; f < made.size(); ++f) {
            FrameRecord* frame = object->frames[f];
            if (!frame || !made[f]) continue;
            g_Object3D.manager.RemoveMeshFromBuffers(frame->shadowMesh);
            delete std::exchange(frame->shadowMesh, made[f].release());
            SetUpShadowMesh(object, frame->shadowMesh, range, shaderFlag);
        }
        object->castsShadow = 1;
        object->largeRadius = 1;
        object->noShadowVolume = 0;
        CollisionBlock& c = object->collision;
        if (c.cullingRadius > 0) c.cullingRadius = c.poseRadius + kShadowRadiusGrowth;
        if (core) ++core->shadowCount;
    }
    if (core) {
        core->renderPassCount = 1;
        core->stencilMode = 1;
    }
}

// The volumes pushed away from the shadow light as the object stands now.
void RebuildVolumes(ObjectRecord* object) {
    const Object3DState& s = g_Object3D;
    UpdateObjectWorld(object);
    const D3DXVECTOR3& light = s.shadowLightPosition;
    ForEachFrame(object, [&](FrameRecord* frame) {
        UpdateFrameShadow(frame, object->shadowArgument, s.shadowLightIndex, light.x, light.y,
                          light.z);
    });
}

// A new shadow, or a paused one resumed.
void StartShadowShading(std::int32_t n, std::int32_t mesh, float range, std::int32_t shaderFlag) {
    ObjectRecord* object = GetObjectPointer(n);
    if (!object) return;
    if (object->noShadowVolume && object->castsShadow) {
        // Resumed as it was paused; only a shader-extruded volume takes the new range.
        object->noShadowVolume = 0;
        if (shaderFlag == 1 && range != -1.0f)
            ForEachFrame(object, [range](FrameRecord* frame) {
                if (frame->shadowMesh)
                    frame->shadowMesh->shadowRange = frame->shadowMesh->shadowLightRange = range;
            });
        return;
    }
    // The mesh item is checked before anything changes.
    if (mesh >= 1 && !ConfirmMesh(mesh)) return;
    if (DeviceSupportsStencil()) StartShadow(object, mesh, range, shaderFlag);
    const CoreData* core = g_Object3D.core;
    if (shaderFlag == 0 && object->castsShadow && core && core->renderPassCount == 1)
        RebuildVolumes(object);
    // Out of memory the meshes keep their places, and the shadow goes with its own.
    if (!Rebuffer(object)) {
        DropShadow(object);
        RaiseRuntimeError(kObjectNotMade);
    }
}

} // namespace

void SetShadowShadingOn(std::int32_t n) {
    SetShadowShadingOn(n, 0, -1.0f, 0);
}

void SetShadowShadingOn(std::int32_t n, std::int32_t mesh, float range, std::int32_t shaderFlag) {
    // Building the volumes takes memory as it goes: out of it, 7002 rather than an ended program.
    NoThrow(kObjectNotMade, [&] { StartShadowShading(n, mesh, range, shaderFlag); });
}

void PauseObjectShadow(std::int32_t n) {
    ObjectRecord* object = GetObjectPointer(n);
    if (object && object->castsShadow == 1) object->noShadowVolume = 1;
}

void SetReflectionShadingOn(std::int32_t n) {
    ObjectRecord* object = GetObjectPointer(n);
    if (!object || !DeviceSupportsStencil()) return;
    CoreData* core = g_Object3D.core;
    DropShadow(object);
    if (!core) return;
    core->stencilMode = 2;
    core->renderPassCount = 2;
    if (!object->reflective) {
        object->reflective = 1;
        object->reflectionMode = DeviceSupportsClipPlanes() ? 1 : 0;
        ++core->reflectionCount;
    }
    g_Object3D.manager.MarkListDirty();
}

void SetShadingOff(std::int32_t n) {
    ObjectRecord* object = GetObjectPointer(n);
    if (!object) return;
    DropShadow(object);
    g_Object3D.manager.MarkListDirty();
}

void SetShadowPosition(std::int32_t light, float x, float y, float z) {
    Object3DState& s = g_Object3D;
    s.shadowLightIndex = light;
    if (light == -1) s.shadowLightPosition = D3DXVECTOR3(x, y, z);
}

void SetShadowColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::int32_t value) {
    g_ShadowColours.colour = std::uint32_t{red} << 16 | std::uint32_t{green} << 8 | blue;
    g_ShadowColours.value = value;
}

void SetShadowShades(std::int32_t count) {
    g_ShadowColours.shades = std::clamp(count, 1, kMostShadowShades);
}

void SetShadowColorARGB(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                        std::uint8_t alpha) {
    g_ShadowColours.argb =
        std::uint32_t{alpha} << 24 | std::uint32_t{red} << 16 | std::uint32_t{green} << 8 | blue;
}

const ShadowColourSettings& GetShadowColourSettings() {
    return g_ShadowColours;
}

void SetGlobalShadowsOn() {
    g_Object3D.manager.EnableStencilShadows();
}

void SetGlobalShadowsOff() {
    g_Object3D.manager.DisableStencilShadows();
}

void ShowObjectBounds(std::int32_t n, std::int32_t boxesOnly) {
    ObjectRecord* object = GetObjectPointer(n);
    if (!object) return;
    ForEachFrame(object, [boxesOnly](FrameRecord* frame) {
        CreateFrameBoundsBox(frame);
        if (boxesOnly != 0) {
            g_Object3D.manager.RemoveMeshFromBuffers(frame->boundSphereMesh);
            delete std::exchange(frame->boundSphereMesh, nullptr);
        } else {
            CreateFrameBoundSphere(frame);
        }
    });
    object->showBounds = 1;
    g_Object3D.manager.MarkObjectChanged(object);
}

void ShowLimbBounds(std::int32_t n, std::int32_t limb) {
    ObjectRecord* object = GetObjectPointer(n);
    if (!object) return;
    ShowObjectBounds(n, 1);
    // Only a limb of the object can show its own: a negative number names none.
    if (limb < 0 || limb >= object->frameCount || !object->frames) return;
    if (FrameRecord* frame = object->frames[limb]; frame && frame->mesh)
        frame->mesh->showBounds = 1;
    object->showBounds = 0;
}

void HideObjectBounds(std::int32_t n) {
    ObjectRecord* object = GetObjectPointer(n);
    if (!object) return;
    object->showBounds = 0;
    ForEachFrame(object, [](FrameRecord* frame) {
        if (frame->mesh) frame->mesh->showBounds = 0;
    });
}
