#include "core/win32.h"

#include "object3d/appearance.h"
#include "core/com_ptr.h"
#include "core/core.h"
#include "object3d/builtin_effects.h"
#include "object3d/geometry.h"
#include "object3d/mesh_convert.h"
#include "object3d/mesh_properties.h"
#include "object3d/mesh_looks.h"
#include "object3d/mesh_shape_changes.h"
#include "object3d/mesh_textures.h"
#include "object3d/object3d.h"
#include "object3d/object_guard.h"
#include "object3d/object_state.h"
#include "object3d/object_values.h"
#include "object3d/vertex_editing.h"
#include "core/error_numbers.h"
#include "core/no_throw.h"

#include <cstring>
#include <initializer_list>
#include <new>
#include <utility>
#include <vector>

namespace {

// Alpha reference of transparency modes 4 and 6; the others pass any alpha above 0.
constexpr std::uint32_t kTestedAlphaReference = 207;

// Load-status words written while textures are put on.
constexpr std::int32_t kProgressTexturing = 12001;
constexpr std::int32_t kProgressTextured = 12002;
constexpr std::int32_t kProgressStageStart = 11001;
constexpr std::int32_t kProgressStageChecked = 11011;
constexpr std::int32_t kProgressStageSet = 11021;
constexpr std::int32_t kProgressStageShadow = 11022;
constexpr std::int32_t kProgressStageDone = 11023;

// The stage the mapping commands use by default, and their texture-coordinate modes.
constexpr std::int32_t kMappingStage = 1;
constexpr std::int32_t kOwnCoordinates = 0;
constexpr std::int32_t kSphereCoordinates = 1;
constexpr std::int32_t kSetZeroCoordinates = 3;

constexpr float kPercent = 0.01f;

void Progress(std::int32_t code) {
    if (g_Object3D.core) g_Object3D.core->loadProgress = code;
}

std::uint8_t Flag(bool on) {
    return on ? 1 : 0;
}

ObjectRecord* CheckedInstance(std::int32_t n) {
    return ConfirmObjectInstance(n) ? ObjectAt(n) : nullptr;
}

// Runs fn on every mesh of object n when ConfirmObject passes; the object, or null.
template <typename Fn> ObjectRecord* ForEachMeshOf(std::int32_t n, Fn&& fn) {
    ObjectRecord* object = GetObjectPointer(n);
    ForEachObjectMesh(object, fn);
    return object;
}

// The renderer picks up changed meshes and sorts its lists again.
void Refresh(ObjectRecord* object) {
    if (!object) return;
    g_Object3D.manager.RefreshIfMeshChanged(object);
    g_Object3D.manager.MarkListDirty();
}

// A shadow volume built for the old look would no longer match it.
void DropShadowAndRefresh(ObjectRecord* object) {
    if (!object) return;
    g_Object3D.manager.DeleteObjectShadow(object);
    Refresh(object);
}

// The meshes take their new places; where one cannot be placed (out of memory), they keep their
// old places, the old shapes come back to them and error 7002 is raised.
template <typename Changes> bool RebufferOrUndo(ObjectRecord* object, Changes& changes) {
    bool placed = false;
    NoThrow(kObjectNotMade, [&] { placed = g_Object3D.manager.ReplaceObjectMeshes(object); });
    if (!placed) {
        RaiseRuntimeError(kObjectNotMade);
        changes.Undo();
    }
    Refresh(object);
    return placed;
}

// What ChangeMeshShapes walks: every mesh of the object's list.
auto MeshesOf(ObjectRecord* object) {
    return [object](auto&& fn) { ForEachObjectMesh(object, fn); };
}

// The vertices as they are now become the ones a later restore puts back, so that restoring
// after vertex editing keeps this change.
void RenewVertexBackups(ObjectRecord* object) {
    ForEachObjectMesh(object, [](MeshRecord* mesh) {
        delete[] std::exchange(mesh->backupVertices, nullptr);
        BackupMeshVertices(mesh);
    });
}

// Sets one of an object's sort flags (instances too) and derives its pass again.
void SetSortFlag(std::int32_t n, std::uint8_t ObjectRecord::*flag, std::uint8_t value) {
    ObjectRecord* object = CheckedInstance(n);
    if (!object) return;
    object->*flag = value;
    RefreshObjectSortFlag(object);
}

void SetVisible(std::int32_t n, std::uint8_t value) {
    if (ObjectRecord* object = CheckedInstance(n)) object->visible = value;
}

// SetObject's arguments in order: solid, transparency, cull, then the optional filter, light,
// fog and ambient, as many as given.
void ApplyObjectStates(std::int32_t n, std::initializer_list<std::int32_t> values) {
    const std::int32_t* a = values.begin();
    const std::size_t given = values.size();
    ObjectRecord* object = ForEachMeshOf(n, [a, given](MeshRecord* mesh) {
        SetMeshWireframe(mesh, Flag(a[0] == 0));
        SetMeshTransparency(mesh, Flag(a[1] != 0));
        SetMeshCull(mesh, Flag(a[2] == 1));
        if (given > 3) SetMeshTextureFilter(mesh, static_cast<std::uint32_t>(a[3]));
        if (given > 4) SetMeshLight(mesh, Flag(a[4] == 1));
        if (given > 5) SetMeshFog(mesh, Flag(a[5] == 1));
        if (given > 6) SetMeshAmbient(mesh, Flag(a[6] == 1));
    });
    SetObjectTransparencyFlags(object, a[1]);
}

// Custom data read from a file may be shorter than a colour: it is replaced, never overrun.
void KeepInstanceColour(ObjectRecord* object, D3DCOLOR colour) {
    if (!object->customBufferB || object->customSize < sizeof colour) {
        auto* block = new (std::nothrow) std::uint8_t[sizeof colour];
        if (!block) return;
        delete[] std::exchange(object->customBufferB, block);
        object->customSize = sizeof colour;
    }
    std::memcpy(object->customBufferB, &colour, sizeof colour);
}

// An opacity percentage as the alpha of the top byte, held to 0..100 so that nothing spills out
// of that byte; 100 or more (or not a number) is opaque.
D3DCOLOR AlphaOfPercent(float percent) {
    if (!(percent < 100.0f)) return 0xFF000000u;
    const float share = (percent > 0.0f ? percent : 0.0f) * kPercent * 255.0f;
    return static_cast<D3DCOLOR>(share) << 24;
}

void MapStage(std::int32_t n, std::int32_t stage, std::int32_t colourOperation,
              std::int32_t coordinateMode, std::int32_t image) {
    Refresh(ForEachMeshOf(n, [=](MeshRecord* mesh) {
        SetMeshStageImage(mesh, stage, colourOperation, coordinateMode, image);
    }));
}

void ChangeUV(std::int32_t n, std::int32_t set, float u, float v,
              void (*change)(MeshRecord*, std::int32_t, float, float)) {
    ObjectRecord* object = ForEachMeshOf(n, [=](MeshRecord* mesh) { change(mesh, set, u, v); });
    RenewVertexBackups(object);
    Refresh(object);
}

} // namespace

// Render states.

void SetObject(std::int32_t n, std::int32_t solid, std::int32_t transparency, std::int32_t cull) {
    ApplyObjectStates(n, {solid, transparency, cull});
}

void SetObject(std::int32_t n, std::int32_t solid, std::int32_t transparency, std::int32_t cull,
               std::int32_t filter) {
    ApplyObjectStates(n, {solid, transparency, cull, filter});
}

void SetObject(std::int32_t n, std::int32_t solid, std::int32_t transparency, std::int32_t cull,
               std::int32_t filter, std::int32_t light) {
    ApplyObjectStates(n, {solid, transparency, cull, filter, light});
}

void SetObject(std::int32_t n, std::int32_t solid, std::int32_t transparency, std::int32_t cull,
               std::int32_t filter, std::int32_t light, std::int32_t fog, std::int32_t ambient) {
    ApplyObjectStates(n, {solid, transparency, cull, filter, light, fog, ambient});
}

void SetObjectWireframe(std::int32_t n, std::int32_t flag) {
    ForEachMeshOf(n, [flag](MeshRecord* mesh) { SetMeshWireframe(mesh, Flag(flag == 1)); });
}

void SetObjectTransparency(std::int32_t n, std::int32_t mode) {
    ObjectRecord* object = ForEachMeshOf(n, [mode](MeshRecord* mesh) {
        SetMeshTransparency(mesh, Flag(mode != 0));
        SetMeshAlphaTestValue(mesh, mode == 4 || mode == 6 ? kTestedAlphaReference : 0);
    });
    SetObjectTransparencyFlags(object, mode);
}

void SetObjectCull(std::int32_t n, std::int32_t mode) {
    ForEachMeshOf(n, [mode](MeshRecord* mesh) { SetMeshCullMode(mesh, mode); });
}

void SetObjectFilter(std::int32_t n, std::int32_t stage, std::int32_t filter) {
    ForEachMeshOf(n, [stage, filter](MeshRecord* mesh) {
        SetMeshTextureStageFilter(mesh, static_cast<std::uint32_t>(stage),
                                  static_cast<std::uint32_t>(filter));
    });
}

void SetObjectFilter(std::int32_t n, std::int32_t filter) {
    SetObjectFilter(n, 0, filter);
}

void SetObjectLight(std::int32_t n, std::int32_t flag) {
    ForEachMeshOf(n, [flag](MeshRecord* mesh) { SetMeshLight(mesh, Flag(flag == 1)); });
}

void SetObjectFog(std::int32_t n, std::int32_t flag) {
    ForEachMeshOf(n, [flag](MeshRecord* mesh) { SetMeshFog(mesh, Flag(flag == 1)); });
}

void SetObjectAmbient(std::int32_t n, std::int32_t flag) {
    ForEachMeshOf(n, [flag](MeshRecord* mesh) { SetMeshAmbient(mesh, Flag(flag == 1)); });
}

void DisableObjectZRead(std::int32_t n) {
    ForEachMeshOf(n, [](MeshRecord* mesh) { SetMeshZRead(mesh, 0); });
}

void EnableObjectZRead(std::int32_t n) {
    ForEachMeshOf(n, [](MeshRecord* mesh) { SetMeshZRead(mesh, 1); });
}

void DisableObjectZWrite(std::int32_t n) {
    ForEachMeshOf(n, [](MeshRecord* mesh) { SetMeshZWrite(mesh, 0); });
}

void EnableObjectZWrite(std::int32_t n) {
    ForEachMeshOf(n, [](MeshRecord* mesh) { SetMeshZWrite(mesh, 1); });
}

void DisableObjectZBias(std::int32_t n) {
    ForEachMeshOf(n, [](MeshRecord* mesh) { SetMeshZBias(mesh, 0, 0, 0); });
}

void EnableObjectZBias(std::int32_t n, float slopeScaleBias, float bias) {
    ForEachMeshOf(n, [=](MeshRecord* mesh) { SetMeshZBias(mesh, 1, slopeScaleBias, bias); });
}

void SetObjectLodBias(std::int32_t n, float bias) {
    ForEachMeshOf(n, [bias](MeshRecord* mesh) { mesh->mipmapBias = FloatBits(bias); });
}

void SetObjectLodBiasForMesh(std::int32_t n, std::int32_t mesh, float bias) {
    if (mesh == -1) return SetObjectLodBias(n, bias);
    ObjectRecord* object = GetObjectPointer(n);
    if (mesh < 0 || mesh >= ListedMeshCount(object) || !object->meshes[mesh]) return;
    object->meshes[mesh]->mipmapBias = FloatBits(bias);
}

void SetObjectTextureMode(std::int32_t n, std::int32_t stage, std::int32_t addressMode,
                          std::int32_t mipFilter) {
    ForEachMeshOf(n, [=](MeshRecord* mesh) {
        SetMeshTextureStageAddress(mesh, static_cast<std::uint32_t>(stage),
                                   static_cast<std::uint32_t>(addressMode),
                                   static_cast<std::uint32_t>(mipFilter));
    });
}

void SetObjectTextureMode(std::int32_t n, std::int32_t addressMode, std::int32_t mipFilter) {
    SetObjectTextureMode(n, 0, addressMode, mipFilter);
}

void SetObjectPointSize(std::int32_t n, float size) {
    if (ObjectRecord* object = GetObjectPointer(n)) object->pointSize = size;
}

// Visibility and sorting.

void HideObject(std::int32_t n) {
    SetVisible(n, 0);
}

void ShowObject(std::int32_t n) {
    SetVisible(n, 1);
}

void GhostObjectOn(std::int32_t n, std::int32_t mode) {
    ObjectRecord* object = CheckedInstance(n);
    if (!object) return;
    // An instance draws its source's meshes: their settings are the source's to change.
    if (!IsInstance(object))
        ForEachObjectMesh(object, [mode](MeshRecord* mesh) { SetMeshGhost(mesh, 1, mode); });
    object->ghost = 1;
    RefreshObjectSortFlag(object);
}

void GhostObjectOff(std::int32_t n) {
    ObjectRecord* object = ForEachMeshOf(n, [](MeshRecord* mesh) { SetMeshGhost(mesh, 0, -1); });
    if (!object) return;
    object->ghost = 0;
    RefreshObjectSortFlag(object);
}

void LockObjectOn(std::int32_t n) {
    SetSortFlag(n, &ObjectRecord::locked, 1);
}

void LockObjectOff(std::int32_t n) {
    SetSortFlag(n, &ObjectRecord::locked, 0);
}

void DisableObjectZDepth(std::int32_t n) {
    SetSortFlag(n, &ObjectRecord::noDepth, 1);
}

void EnableObjectZDepth(std::int32_t n) {
    SetSortFlag(n, &ObjectRecord::noDepth, 0);
}

// Colour and material.

void ColorObject(std::int32_t n, std::uint32_t colour) {
    DropShadowAndRefresh(ForEachMeshOf(n, [colour](MeshRecord* mesh) {
        SetMeshColour(mesh, 1.0f);
        SetMeshPlainColour(mesh, colour);
    }));
}

void SetObjectDiffuse(std::int32_t n, std::uint32_t colour, std::int32_t mode) {
    ObjectRecord* object = CheckedInstance(n);
    if (!object) return;
    if (IsInstance(object)) return KeepInstanceColour(object, colour);
    ForEachObjectMesh(object, [colour, mode](MeshRecord* mesh) {
        if (mode == 1)
            SetMeshDiffuse(mesh, colour);
        else
            SetMeshDiffuseMaterial(mesh, colour);
    });
}

void SetObjectAmbience(std::int32_t n, std::uint32_t colour) {
    ForEachMeshOf(n, [colour](MeshRecord* mesh) { SetMeshAmbienceMaterial(mesh, colour); });
}

void SetObjectSpecular(std::int32_t n, std::uint32_t colour) {
    ForEachMeshOf(n, [colour](MeshRecord* mesh) { SetMeshSpecularMaterial(mesh, colour); });
}

void SetObjectEmissive(std::int32_t n, std::uint32_t colour) {
    ForEachMeshOf(n, [colour](MeshRecord* mesh) { SetMeshEmissiveMaterial(mesh, colour); });
}

void SetObjectSpecularPower(std::int32_t n, float power) {
    ForEachMeshOf(n, [power](MeshRecord* mesh) { SetMeshSpecularPower(mesh, power); });
}

void FadeObject(std::int32_t n, float percent) {
    ForEachMeshOf(n, [percent](MeshRecord* mesh) { SetMeshColour(mesh, percent * kPercent); });
}

void FadeObject(std::int32_t n, std::int32_t percent) {
    FadeObject(n, static_cast<float>(percent));
}

std::int32_t ColourRed(std::uint32_t colour) {
    return static_cast<std::int32_t>((colour >> 16) & 0xFF);
}

std::int32_t ColourGreen(std::uint32_t colour) {
    return static_cast<std::int32_t>((colour >> 8) & 0xFF);
}

std::int32_t ColourBlue(std::uint32_t colour) {
    return static_cast<std::int32_t>(colour & 0xFF);
}

void SetAlphaMappingOn(std::int32_t n, float percent) {
    ObjectRecord* object = CheckedInstance(n);
    if (!object) return;
    if (IsInstance(object)) {
        object->instanceAlpha = 1;
        object->instanceColour = AlphaOfPercent(percent);
        // Sorted with the transparent objects, and so out of the solid pass.
        object->transparent = 1;
        RefreshObjectSortFlag(object);
        return;
    }
    ForEachObjectMesh(object, [percent](MeshRecord* mesh) {
        SetMeshAlphaFactor(mesh, percent);
        SetMeshTransparency(mesh, 1);
    });
}

void SetAlphaMappingOn(std::int32_t n, std::int32_t percent) {
    SetAlphaMappingOn(n, static_cast<float>(percent));
}

// Textures and mapping.

bool TextureObject(std::int32_t n, std::int32_t image) {
    Progress(kProgressTexturing);
    ObjectRecord* object =
        ForEachMeshOf(n, [image](MeshRecord* mesh) { SetMeshTexture(mesh, -1, image); });
    if (!object) return false;
    DropShadowAndRefresh(object);
    Progress(kProgressTextured);
    return true;
}

void TextureObjectStage(std::int32_t n, std::int32_t stage, std::int32_t image,
                        std::int32_t keepLists) {
    Progress(kProgressStageStart);
    ObjectRecord* object = GetObjectPointer(n);
    if (!object) return;
    Progress(kProgressStageChecked);
    ForEachObjectMesh(
        object, [stage, image](MeshRecord* mesh) { SetMeshTextureStage(mesh, stage, image); });
    Progress(kProgressStageSet);
    g_Object3D.manager.DeleteObjectShadow(object);
    Progress(kProgressStageShadow);
    g_Object3D.manager.RefreshIfMeshChanged(object);
    if (keepLists == 0) g_Object3D.manager.MarkListDirty();
    Progress(kProgressStageDone);
}

void SetDetailMappingOn(std::int32_t n, std::int32_t image) {
    MapStage(n, kMappingStage, D3DTOP_MODULATE, kSetZeroCoordinates, image);
}

void SetSphereMappingOn(std::int32_t n, std::int32_t image) {
    MapStage(n, kMappingStage, D3DTOP_MODULATE, kSphereCoordinates, image);
}

void SetAdditiveMappingOn(std::int32_t n, std::int32_t image) {
    MapStage(n, kMappingStage, D3DTOP_ADD, kSetZeroCoordinates, image);
}

void SetLightMappingOn(std::int32_t n, std::int32_t stage, std::int32_t image) {
    MapStage(n, stage, D3DTOP_MODULATE, kOwnCoordinates, image);
}

void SetBlendMappingOn(std::int32_t n, std::int32_t stage, std::int32_t image,
                       std::int32_t coordinateMode, std::int32_t colourOperation) {
    // The device looks the operation up in its own tables when it draws: one outside them is
    // refused (after the object's check), never stored.
    if (!GetObjectPointer(n)) return;
    if (!ColourOperationInRange(colourOperation)) return RaiseRuntimeError(kValueOutOfRange);
    MapStage(n, stage, colourOperation, coordinateMode, image);
}

void SetBlendMappingOn(std::int32_t n, std::int32_t image, std::int32_t colourOperation) {
    SetBlendMappingOn(n, kMappingStage, image, kSetZeroCoordinates, colourOperation);
}

void SetCubeMappingOn(std::int32_t n, std::int32_t image1, std::int32_t image2, std::int32_t image3,
                      std::int32_t image4, std::int32_t image5, std::int32_t image6) {
    ObjectRecord* object = GetObjectPointer(n);
    if (!object) return;
    // The faces are filled as the cube is made; the slots take references of their own.
    const std::int32_t images[6] = {image1, image2, image3, image4, image5, image6};
    const ComPtr<IDirect3DCubeTexture9> cube(CreateCubeRenderTarget(images));
    if (!cube) return;
    ForEachObjectMesh(object, [&cube](MeshRecord* mesh) {
        SetMeshStageTextureObject(mesh, kMappingStage, cube.Get());
    });
    Refresh(object);
}

void ScrollObjectTexture(std::int32_t n, std::int32_t stage, float u, float v) {
    ChangeUV(n, stage, u, v, ScrollMeshUV);
}

void ScrollObjectTexture(std::int32_t n, float u, float v) {
    ChangeUV(n, 0, u, v, ScrollMeshUV);
}

void ScaleObjectTexture(std::int32_t n, std::int32_t stage, float u, float v) {
    ChangeUV(n, stage, u, v, ScaleMeshUV);
}

void ScaleObjectTexture(std::int32_t n, float u, float v) {
    ChangeUV(n, 0, u, v, ScaleMeshUV);
}

void SetObjectSmoothing(std::int32_t n, float percent) {
    // Written so that a percentage that is not a number also gives 0.
    const float held = percent > 100.0f ? 100.0f : percent >= 0.0f ? percent : 0.0f;
    const float threshold = held * kPercent;
    ObjectRecord* object = GetObjectPointer(n);
    if (!object) return;
    // Every mesh's normals are had before any is written: the object changes whole or not at all.
    GuardChange(kStringNoMemory, [&] {
        std::vector<std::pair<MeshRecord*, std::vector<D3DXVECTOR3>>> smoothed;
        ForEachObjectMesh(object, [&](MeshRecord* mesh) {
            std::vector<D3DXVECTOR3> normals;
            if (SmoothedNormals(mesh, threshold, normals))
                smoothed.emplace_back(mesh, std::move(normals));
        });
        for (const auto& [mesh, normals] : smoothed)
            WriteMeshNormals(mesh, normals);
        Refresh(object);
        return true;
    });
}

void SetObjectSmoothing(std::int32_t n, std::int32_t percent) {
    SetObjectSmoothing(n, static_cast<float>(percent));
}

void SetObjectNormals(std::int32_t n) {
    ObjectRecord* object = GetObjectPointer(n);
    if (!object) return;
    MeshShapeChanges changes;
    if (!ChangeMeshShapes(changes, MeshesOf(object), [](MeshRecord* mesh, MeshRecord* old) {
            return RecomputeMeshNormals(mesh, old) && RenewMeshBackup(mesh, old);
        }))
        return;
    changes.Keep();
    Refresh(object);
}

// A shading on every mesh of object n, or on none: out of memory (error 7002), each mesh gets
// back its old effect, slots and shape, and what the shading made goes.
template <typename Shade> void ShadeObject(std::int32_t n, Shade&& shade) {
    ObjectRecord* object = GetObjectPointer(n);
    if (!object) return;
    MeshLooks looks;
    bool made = true;
    const bool ran = NoThrow(kObjectNotMade, [&] {
        ForEachObjectMesh(object, [&](MeshRecord* mesh) {
            if (made) made = looks.Aside(mesh) && shade(mesh);
        });
    });
    if (!ran || !made) {
        if (ran) RaiseRuntimeError(kObjectNotMade);
        looks.Undo();
        Refresh(object);
        return;
    }
    if (RebufferOrUndo(object, looks)) looks.Keep();
}

void SetBumpMappingOn(std::int32_t n, std::int32_t image) {
    ShadeObject(n, [image](MeshRecord* mesh) { return SetBumpMapping(mesh, image, 1); });
}

void SetCartoonShadingOn(std::int32_t n, std::int32_t image, std::int32_t edgeImage) {
    ShadeObject(n, [image, edgeImage](MeshRecord* mesh) {
        return SetCartoonShading(mesh, image, edgeImage);
    });
}

void SetRainbowShadingOn(std::int32_t n, std::int32_t image) {
    ShadeObject(n, [image](MeshRecord* mesh) { return SetRainbowShading(mesh, image); });
}

void ConvertObjectFVF(std::int32_t n, std::uint32_t fvf) {
    ObjectRecord* object = GetObjectPointer(n);
    if (!object) return;
    MeshShapeChanges changes;
    if (!ChangeMeshShapes(changes, MeshesOf(object), [fvf](MeshRecord* mesh, MeshRecord* old) {
            return FreeMeshOriginalData(mesh, fvf, old);
        }))
        return;
    if (RebufferOrUndo(object, changes)) changes.Keep();
}
