#include "core/win32.h"

#include "object3d/mesh_textures.h"
#include "object3d/mesh_properties.h"
#include "object3d/object_records.h"
#include "object3d/object_state.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <new>
#include <string>
#include <utility>

namespace {

// Load-status words passed while a stage is set.
constexpr std::int32_t kProgressStage = 11012;
constexpr std::int32_t kProgressGrown = 11013;
constexpr std::int32_t kProgressImage = 11014;
constexpr std::int32_t kProgressStored = 11015;
constexpr std::int32_t kProgressDone = 11016;

// The most samplers a pixel shader can read: no mesh needs more slots.
constexpr std::int32_t kMostTextureSlots = 16;

constexpr D3DCOLORVALUE kWhite{1, 1, 1, 1};
constexpr D3DCOLORVALUE kBlack{0, 0, 0, 0};
constexpr float kByteToFloat = 1.0f / 255.0f;

void Progress(std::int32_t code) {
    if (g_Object3D.core) g_Object3D.core->loadProgress = code;
}

D3DCOLORVALUE ColourValue(D3DCOLOR colour) {
    return {static_cast<float>((colour >> 16) & 0xFF) * kByteToFloat,
            static_cast<float>((colour >> 8) & 0xFF) * kByteToFloat,
            static_cast<float>(colour & 0xFF) * kByteToFloat,
            static_cast<float>((colour >> 24) & 0xFF) * kByteToFloat};
}

IDirect3DTexture9* TextureOfImage(std::int32_t image) {
    const ImageBridge& images = g_Object3D.images;
    return image && images.getPointer ? images.getPointer(image) : nullptr;
}

// Module images are counted by the slots that hold them; the program's are not ours to count.
void HoldImage(std::int32_t image) {
    if (image < 0) ++g_Object3D.moduleImageUses[image];
}

// A number this module never counted (a slot filled by other code) is left alone: deleting it
// could take a texture from meshes that still draw it.
void ReleaseImage(std::int32_t image) {
    auto& uses = g_Object3D.moduleImageUses;
    const auto it = image < 0 ? uses.find(image) : uses.end();
    if (it == uses.end() || --it->second > 0) return;
    uses.erase(it);
    if (g_Object3D.images.deleteModuleImage) g_Object3D.images.deleteModuleImage(image);
}

// The slot takes the image and its texture in place of what it held. The old image is let go of
// last, so that a slot keeping its image never drops it in between.
void SetSlotImage(TextureRecord& slot, std::int32_t image) {
    HoldImage(image);
    const std::int32_t old = std::exchange(slot.imageNumber, image);
    slot.texture = TextureOfImage(image);
    ReleaseImage(old);
}

// Everything but the image and the owned texture object.
void CopySlotSettings(TextureRecord& to, const TextureRecord& from) {
    std::memcpy(to.fileName, from.fileName, sizeof to.fileName);
    to.stage = from.stage;
    to.colourOperation = from.colourOperation;
    to.argument1 = from.argument1;
    to.argument2 = from.argument2;
    to.addressU = from.addressU;
    to.addressV = from.addressV;
    to.magFilter = from.magFilter;
    to.minFilter = from.minFilter;
    to.mipFilter = from.mipFilter;
    to.coordinateMode = from.coordinateMode;
    to.extra[0] = from.extra[0];
    to.extra[1] = from.extra[1];
}

// A fresh slot takes an old one whole: its image use and its owned texture object move along.
void MoveSlot(TextureRecord& to, TextureRecord& from) {
    CopySlotSettings(to, from);
    to.imageNumber = std::exchange(from.imageNumber, 0);
    to.texture = std::exchange(from.texture, nullptr);
    to.ReleaseTexture();
    to.overrideTexture = std::exchange(from.overrideTexture, nullptr);
}

// The slot becomes a copy of another that both share: one more use of the image and one more
// reference to the owned texture object.
void ShareSlot(TextureRecord& to, const TextureRecord& from) {
    if (&to == &from) return;
    if (from.overrideTexture) from.overrideTexture->AddRef();
    to.ReleaseTexture();
    to.overrideTexture = from.overrideTexture;
    CopySlotSettings(to, from);
    SetSlotImage(to, from.imageNumber);
    to.texture = from.texture;
}

// Lets go of every slot's image, then frees the array.
void FreeSlotArray(TextureRecord* slots, std::int32_t count) {
    for (std::int32_t i = 0; slots && i < count; ++i)
        SetSlotImage(slots[i], 0);
    delete[] slots;
}

// A stage of the stage setters: -1 is stage 0, anything outside -1..7 is refused (-1 returned).
std::int32_t AcceptedStage(std::int32_t stage) {
    if (stage < -1 || stage > kLastTextureStage) return -1;
    return stage < 0 ? 0 : stage;
}

// A record's name, terminated even when the record's 256 bytes are not.
std::string NameOf(const char (&name)[kRecordNameLength]) {
    return std::string(name, strnlen(name, sizeof name));
}

// The part of a name after its path: after the last separator or control character.
const char* FileNamePart(const char* name) {
    const char* part = name;
    for (const char* p = name; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '\\' || c == '/' || c < 32) part = p + 1;
    }
    return part;
}

std::int32_t TryTexture(const char* path, std::int32_t mode) {
    const ImageBridge& images = g_Object3D.images;
    return path[0] && images.loadForModuleWithMode ? images.loadForModuleWithMode(path, mode) : 0;
}

std::int32_t TryInFolder(const char* folder, const char* file, std::int32_t mode) {
    char path[MAX_PATH];
    std::snprintf(path, sizeof path, "%s%s", folder, file);
    return TryTexture(path, mode);
}

bool IsMode(std::int32_t mode, std::initializer_list<std::int32_t> modes) {
    return std::find(modes.begin(), modes.end(), mode) != modes.end();
}

// The mesh's slots become one slot showing the image; the old slots let go of theirs.
void UseOneSlot(MeshRecord* mesh, std::int32_t image) {
    auto* slot = new (std::nothrow) TextureRecord[1];
    if (!slot) return;
    SetSlotImage(slot[0], image);
    slot[0].texture = nullptr; // each material range binds its own
    slot[0].colourOperation = D3DTOP_MODULATE;
    slot[0].argument1 = D3DTA_TEXTURE;
    FreeSlotArray(std::exchange(mesh->textures, slot), std::exchange(mesh->textureCount, 1));
}

void LoadMaterialTextures(MeshRecord* mesh, const char* folder, std::int32_t mode,
                          std::int32_t flag) {
    bool slotSet = false;
    for (std::int32_t i = 0; mesh->multiMaterials && i < mesh->multiMaterialCount; ++i) {
        MultiMaterialRecord& entry = mesh->multiMaterials[i];
        const std::int32_t image = LoadTextureFile(NameOf(entry.name).c_str(), folder, flag);
        entry.texture = TextureOfImage(image);
        if (image && mode == 0) entry.material.Diffuse = kWhite;
        if (!IsMode(mode, {2, 3, 5})) entry.material.Ambient = entry.material.Diffuse;
        if (image && !slotSet) {
            UseOneSlot(mesh, image);
            slotSet = true;
        }
    }
    if (mode == 5) mesh->materialOn = 1;
}

void LoadSlotTextures(MeshRecord* mesh, const char* folder, std::int32_t mode, std::int32_t flag,
                      const char* prefix) {
    const std::size_t prefixLength = prefix ? std::strlen(prefix) : 0;
    for (std::int32_t i = 0; mesh->textures && i < mesh->textureCount; ++i) {
        TextureRecord& slot = mesh->textures[i];
        const std::string name = NameOf(slot.fileName);
        const bool prefixed = prefixLength && _strnicmp(name.c_str(), prefix, prefixLength) == 0;
        const std::int32_t image = LoadTextureFile(name.c_str(), folder, prefixed ? 0 : flag);
        SetSlotImage(slot, image);
        if (!image) {
            if (!IsMode(mode, {2, 3, 4})) mesh->material.Ambient = mesh->material.Diffuse;
            continue;
        }
        if (mode == 4) {
            if (i == 0) {
                slot.colourOperation = D3DTOP_MODULATE;
                slot.argument1 = D3DTA_TEXTURE;
                slot.argument2 = D3DTA_DIFFUSE;
            }
        } else if (mode == 3) {
            slot.argument1 = D3DTA_TEXTURE;
        } else if (mode != 2) {
            slot.colourOperation = D3DTOP_MODULATE;
            slot.argument1 = D3DTA_TEXTURE;
            mesh->material.Diffuse = kWhite;
            mesh->material.Ambient = mesh->material.Diffuse;
        }
    }
}

// Writes a colour into the multi-material entries when there are any, else into the mesh's own
// material; the material is on from then.
template <typename Write> void WriteMaterial(MeshRecord* mesh, Write write) {
    if (!mesh) return;
    mesh->materialOn = 1;
    if (mesh->multiMaterials && mesh->multiMaterialCount > 0) {
        for (std::int32_t i = 0; i < mesh->multiMaterialCount; ++i)
            write(mesh->multiMaterials[i].material);
    } else {
        write(mesh->material);
    }
}

} // namespace

std::int32_t LoadTextureFile(const char* name, const char* folder, std::int32_t mode) {
    if (!name || !name[0]) return 0;
    if (!folder) folder = "";
    const char* file = FileNamePart(name);
    if (std::int32_t image = TryInFolder(folder, file, mode)) return image;
    const std::size_t length = std::strlen(file);
    if (length < 5) return 0;
    const std::string dds = std::string(file, length - 4) + ".dds";
    if (std::int32_t image = TryInFolder(folder, dds.c_str(), mode)) return image;
    if (std::int32_t image = TryTexture(name, mode)) return image;
    return TryTexture(file, mode);
}

std::int32_t LoadTextureFileDefault(const char* name, const char* folder) {
    return LoadTextureFile(name, folder, 0);
}

void LoadMeshTextures(MeshRecord* mesh, const char* folder, std::int32_t mode, std::int32_t flag,
                      const char* prefix) {
    if (!mesh) return;
    if (mesh->multiMaterialOn)
        LoadMaterialTextures(mesh, folder, mode, flag);
    else
        LoadSlotTextures(mesh, folder, mode, flag, prefix);
}

void LoadMeshTexturesStage(MeshRecord* mesh, const char* folder, std::int32_t mode,
                           std::int32_t flag) {
    LoadMeshTextures(mesh, folder, mode, flag, nullptr);
}

void LoadMeshTexturesDefault(MeshRecord* mesh, const char* folder, std::int32_t mode) {
    LoadMeshTextures(mesh, folder, mode, 0, nullptr);
}

bool EnsureMeshTextureCount(MeshRecord* mesh, std::int32_t n) {
    if (!mesh) return false;
    const std::int32_t have = mesh->textures ? std::max(mesh->textureCount, 0) : 0;
    if (n < have) return true;
    if (n >= kMostTextureSlots) return false;
    auto* slots = new (std::nothrow) TextureRecord[n + 1];
    if (!slots) return false;
    Progress(kProgressGrown);
    for (std::int32_t i = 0; i < have; ++i)
        MoveSlot(slots[i], mesh->textures[i]);
    // Slot i is drawn on stage i: a new slot claiming stage 0 would unbind slot 0's texture.
    for (std::int32_t i = have; i <= n; ++i)
        slots[i].stage = static_cast<std::uint32_t>(i);
    delete[] std::exchange(mesh->textures, slots);
    mesh->textureCount = n + 1;
    return true;
}

bool ShareMeshTextureSlot(MeshRecord* mesh, std::int32_t from, std::int32_t to) {
    if (!mesh || !mesh->textures || from < 0 || to < 0 || from >= mesh->textureCount ||
        to >= mesh->textureCount)
        return false;
    ShareSlot(mesh->textures[to], mesh->textures[from]);
    return true;
}

void SetMeshTextureStage(MeshRecord* mesh, std::int32_t stage, std::int32_t image) {
    stage = AcceptedStage(stage);
    if (!mesh || stage < 0) return;
    Progress(kProgressStage);
    if (!EnsureMeshTextureCount(mesh, stage)) return;
    Progress(kProgressImage);
    TextureRecord& slot = mesh->textures[stage];
    SetSlotImage(slot, image);
    slot.colourOperation = slot.texture ? D3DTOP_MODULATE : D3DTOP_SELECTARG1;
    slot.argument1 = slot.texture ? D3DTA_TEXTURE : D3DTA_DIFFUSE;
    if (slot.texture) slot.argument2 = D3DTA_DIFFUSE;
    slot.coordinateMode = 0;
    Progress(kProgressStored);
    const char* name =
        image > 0 && g_Object3D.images.getName ? g_Object3D.images.getName(image) : nullptr;
    if (name && std::strlen(name) < sizeof slot.fileName) std::strcpy(slot.fileName, name);
    mesh->materialOn = 0;
    Progress(kProgressDone);
}

void SetMeshTexture(MeshRecord* mesh, std::int32_t stage, std::int32_t image) {
    if (!mesh || AcceptedStage(stage) < 0) return;
    if (stage == -1) ClearMeshTextureStage(mesh);
    SetMeshTextureStage(mesh, stage, image);
}

void SetMeshStageImage(MeshRecord* mesh, std::int32_t stage, std::int32_t colourOperation,
                       std::int32_t coordinateMode, std::int32_t image) {
    stage = AcceptedStage(stage);
    if (!mesh || stage < 0 || !EnsureMeshTextureCount(mesh, stage)) return;
    TextureRecord& slot = mesh->textures[stage];
    slot.ReleaseTexture();
    slot.stage = static_cast<std::uint32_t>(stage);
    SetSlotImage(slot, image);
    slot.colourOperation = static_cast<std::uint32_t>(colourOperation);
    slot.argument1 = D3DTA_TEXTURE;
    slot.argument2 = D3DTA_CURRENT;
    slot.coordinateMode = static_cast<std::uint32_t>(coordinateMode);
}

void SetMeshStageTextureObject(MeshRecord* mesh, std::int32_t stage,
                               IDirect3DBaseTexture9* textureObject) {
    stage = AcceptedStage(stage);
    if (!mesh || stage < 0 || !EnsureMeshTextureCount(mesh, stage)) return;
    TextureRecord& slot = mesh->textures[stage];
    if (textureObject) textureObject->AddRef(); // before the old one goes: it may be the same
    slot.ReleaseTexture();
    slot.overrideTexture = textureObject;
    slot.stage = static_cast<std::uint32_t>(stage);
    SetSlotImage(slot, 0);
    slot.colourOperation = D3DTOP_MODULATE;
    slot.argument1 = D3DTA_TEXTURE;
    slot.argument2 = D3DTA_CURRENT;
    slot.coordinateMode = 2;
}

void SetMeshPlainColour(MeshRecord* mesh, D3DCOLOR colour) {
    if (!mesh) return;
    ClearMeshTextureStage(mesh);
    if (mesh->textures && mesh->textureCount > 0) {
        TextureRecord& slot = mesh->textures[0];
        SetSlotImage(slot, 0);
        slot.colourOperation = D3DTOP_SELECTARG1;
        slot.argument1 = D3DTA_DIFFUSE;
        slot.argument2 = D3DTA_DIFFUSE;
        slot.coordinateMode = 0;
    }
    mesh->materialOn = 1;
    mesh->material.Ambient = kWhite;
    mesh->material.Specular = kBlack;
    mesh->material.Emissive = kBlack;
    mesh->material.Power = 10.0f;
    mesh->material.Diffuse = ColourValue(colour);
}

void FreeMeshTextures(MeshRecord* mesh) {
    if (!mesh || !mesh->textures) return;
    for (std::int32_t i = 0; i < mesh->textureCount; ++i)
        SetSlotImage(mesh->textures[i], 0);
    // The material ranges drew the images just let go of; the mesh may not be in any table that
    // the image module's clearer walks.
    for (std::int32_t i = 0; mesh->multiMaterials && i < mesh->multiMaterialCount; ++i)
        mesh->multiMaterials[i].texture = nullptr;
}

void CopyMeshTextures(MeshRecord* target, const MeshRecord* source) {
    if (!target || !source || target == source || !target->textures || !source->textures) return;
    const std::int32_t count = std::max(source->textureCount, 0);
    if (target->textureCount < count) {
        auto* slots = new (std::nothrow) TextureRecord[count];
        if (!slots) return;
        for (std::int32_t i = 0; i < count; ++i)
            ShareSlot(slots[i], source->textures[i]);
        FreeSlotArray(std::exchange(target->textures, slots),
                      std::exchange(target->textureCount, count));
        return;
    }
    for (std::int32_t i = 0; i < count; ++i)
        ShareSlot(target->textures[i], source->textures[i]);
}

bool CopyMeshTextureSlots(MeshRecord* target, const MeshRecord* source) {
    if (!target || !source || target == source) return false;
    const std::int32_t count = source->textures ? std::max(source->textureCount, 0) : 0;
    TextureRecord* slots = nullptr;
    if (source->textures) {
        slots = new (std::nothrow) TextureRecord[count > 0 ? count : 1];
        if (!slots) return false;
        for (std::int32_t i = 0; i < count; ++i)
            ShareSlot(slots[i], source->textures[i]);
    }
    FreeSlotArray(std::exchange(target->textures, slots),
                  std::exchange(target->textureCount, count));
    return true;
}

void ReplaceTextureReference(MeshRecord* mesh, IDirect3DTexture9* before,
                             IDirect3DTexture9* after) {
    if (!mesh || !before) return;
    for (std::int32_t i = 0; mesh->textures && i < mesh->textureCount; ++i) {
        TextureRecord& slot = mesh->textures[i];
        if (slot.texture != before) continue;
        slot.texture = after;
        // A module image's number is free again once it is gone; the slot must not keep it.
        if (!after && slot.imageNumber < 0) slot.imageNumber = 0;
    }
    for (std::int32_t i = 0; mesh->multiMaterials && i < mesh->multiMaterialCount; ++i)
        if (mesh->multiMaterials[i].texture == before) mesh->multiMaterials[i].texture = after;
}

void ClearTextureReference(MeshRecord* mesh, IDirect3DTexture9* texture) {
    ReplaceTextureReference(mesh, texture, nullptr);
}

void ReplaceObjectsTextureRef(IDirect3DTexture9* before, IDirect3DTexture9* after) {
    if (!before) return;
    Object3DState& s = g_Object3D;
    s.manager.ApplyToAllMeshes(before, after);
    // Meshes that no frame holds, and those of the mesh table.
    for (std::int32_t n = 0; s.objects && n < s.objectCapacity; ++n) {
        const ObjectRecord* object = s.objects[n];
        if (!object || !object->meshes) continue;
        const std::int32_t count = std::abs(object->meshCount);
        for (std::int32_t i = 0; i < count; ++i)
            ReplaceTextureReference(object->meshes[i], before, after);
    }
    for (std::int32_t n = 0; s.meshes && n < s.meshCapacity; ++n)
        ReplaceTextureReference(s.meshes[n], before, after);
}

void ClearObjectsOfTextureRef(IDirect3DTexture9* texture) {
    if (!texture) return;
    auto& uses = g_Object3D.moduleImageUses;
    for (auto it = uses.begin(); it != uses.end();)
        it = TextureOfImage(it->first) == texture ? uses.erase(it) : std::next(it);
    ReplaceObjectsTextureRef(texture, nullptr);
}

void ObjectsKeepImages(const ItemNotice& notice) {
    // The image module's textures are IDirect3DTexture9 wherever a slot can hold them; a cube
    // map's pointer matches no slot.
    auto* before =
        static_cast<IDirect3DTexture9*>(static_cast<IDirect3DBaseTexture9*>(notice.before));
    if (notice.change == ItemChange::Deleted) {
        // A module image's number is free again: no use of it is counted any more.
        if (notice.number < 0) g_Object3D.moduleImageUses.erase(notice.number);
        ReplaceObjectsTextureRef(before, nullptr);
    } else {
        ReplaceObjectsTextureRef(before, static_cast<IDirect3DTexture9*>(notice.after));
    }
}

void SetMeshDiffuseMaterial(MeshRecord* mesh, D3DCOLOR colour) {
    WriteMaterial(mesh, [&](D3DMATERIAL9& m) { m.Diffuse = ColourValue(colour); });
}

void SetMeshAmbienceMaterial(MeshRecord* mesh, D3DCOLOR colour) {
    WriteMaterial(mesh, [&](D3DMATERIAL9& m) { m.Ambient = ColourValue(colour); });
}

void SetMeshSpecularMaterial(MeshRecord* mesh, D3DCOLOR colour) {
    WriteMaterial(mesh, [&](D3DMATERIAL9& m) { m.Specular = ColourValue(colour); });
}

void SetMeshEmissiveMaterial(MeshRecord* mesh, D3DCOLOR colour) {
    WriteMaterial(mesh, [&](D3DMATERIAL9& m) { m.Emissive = ColourValue(colour); });
}

void SetMeshSpecularPower(MeshRecord* mesh, float power) {
    WriteMaterial(mesh, [&](D3DMATERIAL9& m) { m.Power = power; });
}

void SetMeshAlphaFactor(MeshRecord* mesh, float percent) {
    if (!mesh) return;
    if (!(percent < 100.0f)) { // not a number too
        mesh->alphaFactorOn = 0;
        return;
    }
    // Below 0 would wrap into the colour bytes.
    const float share = std::max(percent, 0.0f) * 0.01f * 255.0f;
    mesh->alphaFactorOn = 1;
    mesh->diffuseColour = static_cast<D3DCOLOR>(share) << 24;
    ApplyMaterialToAllMaterials(mesh);
}

void ApplyMaterialToAllMaterials(MeshRecord* mesh) {
    for (std::int32_t i = 0; mesh && mesh->multiMaterials && i < mesh->multiMaterialCount; ++i)
        mesh->multiMaterials[i].material = mesh->material;
}

void CopyMeshMaterials(MeshRecord* target, const MeshRecord* source) {
    if (!target || !source || target == source) return;
    target->alphaFactorOn = source->alphaFactorOn;
    target->diffuseColour = source->diffuseColour;
    target->wireframe = source->wireframe;
    target->lighting = source->lighting;
    target->culling = source->culling;
    target->fog = source->fog;
    target->ambient = source->ambient;
    target->transparency = source->transparency;
    target->ghost = source->ghost;
    target->depthRead = source->depthRead;
    target->depthWrite = source->depthWrite;
    target->depthBiasOn = source->depthBiasOn;
    target->slopeScaleDepthBias = source->slopeScaleDepthBias;
    target->depthBias = source->depthBias;
    target->alphaReference = source->alphaReference;
    // The shared-effect flag says who owns the target's own effect pointer: it stays the target's.
    target->effectInUse = source->effectInUse;
    target->effectPrepared = source->effectPrepared;
    target->multiMaterialOn = source->multiMaterialOn;
    // Only as many entries as the target's array holds.
    target->multiMaterialCount = target->multiMaterials
                                     ? std::min(std::max(source->multiMaterialCount, 0),
                                                std::max(target->multiMaterialCount, 0))
                                     : 0;
    target->materialOn = source->materialOn;
    target->material = source->material;
    std::memcpy(target->renderWords, source->renderWords, sizeof target->renderWords);
    ApplyMaterialToAllMaterials(target);
}
