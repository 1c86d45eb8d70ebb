#include "core/win32.h"

#include "object3d/effect_slots.h"
#include "core/core.h"
#include "core/item_keepers.h"
#include "core/media.h"
#include "object3d/effect.h"
#include "object3d/mesh_convert.h"
#include "object3d/mesh_properties.h"
#include "object3d/object3d.h"
#include "object3d/object_state.h"
#include "object3d/primitive_makers.h"
#include "core/error_numbers.h"

#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace {

constexpr float kPyramidSize = 1.0f;

// The slot's holder and its effect go; the slot is empty again.
void EmptySlot(std::int32_t n) {
    EffectHolder*& holder = g_Object3D.effects[n];
    delete std::exchange(holder, nullptr);
}

// Every mesh slot of every frame of the object, and the meshes of its list that no frame holds.
template <typename Fn> void ForEachMeshAnywhere(ObjectRecord* object, Fn&& fn) {
    ForEachObjectMesh(object, fn);
    WalkFrameTree(object->rootFrame, [&fn](FrameRecord* frame) {
        for (int slot = 0; slot < kFrameMeshSlots; ++slot)
            if (MeshRecord* mesh = frame->MeshSlot(slot)) fn(mesh);
    });
}

// Meshes that share the effect let go of it, so that none is drawn with it once it is destroyed.
void DetachEverywhere(EffectBase* effect) {
    Object3DState& s = g_Object3D;
    auto detach = [effect](MeshRecord* mesh) {
        if (mesh->effect != effect) return false;
        mesh->sharedEffect = 1; // the slot destroys it, not the mesh
        FreeMeshEffect(mesh);
        return true;
    };
    for (std::int32_t n = 0; s.objects && n < s.objectCapacity; ++n) {
        ObjectRecord* object = s.objects[n];
        if (!HasData(object)) continue;
        bool changed = false;
        ForEachMeshAnywhere(object, [&](MeshRecord* mesh) { changed = detach(mesh) || changed; });
        if (changed) s.manager.MarkObjectChanged(object);
    }
    for (std::int32_t n = 0; s.meshes && n < s.meshCapacity; ++n)
        if (s.meshes[n]) detach(s.meshes[n]);
}

// The effect of slot n goes: its keepers, and every object mesh and table mesh drawn with it, let
// go of it first. A slot's effect is never made again in place (a load needs a free slot).
void ForgetSlotEffect(std::int32_t n) {
    if (EffectBase* effect = g_Object3D.effects[n]->effect) {
        TellItemKeepers(ItemOwner::Effect, {ItemChange::Deleted, n, effect, nullptr});
        DetachEverywhere(effect);
    }
    EmptySlot(n);
}

// Puts the effect on every mesh, each an owner; the number of meshes that took it, or -1 when one
// refused it (those before it keep it).
std::int32_t GiveEffectToMeshes(ObjectRecord* object, EffectBase* effect) {
    std::int32_t taken = 0;
    const std::int32_t count = ListedMeshCount(object);
    for (std::int32_t i = 0; i < count; ++i) {
        MeshRecord* mesh = object->meshes[i];
        if (!mesh) continue;
        if (!SetMeshEffectPrepared(mesh, effect)) return -1;
        mesh->sharedEffect = 0;
        effect->owners = static_cast<std::uint32_t>(++taken);
    }
    return taken;
}

} // namespace

EffectHolder::EffectHolder() : effect(new (std::nothrow) EffectBase) {}

EffectHolder::~EffectHolder() {
    ReleaseEffectHolder(this);
}

void ReleaseEffectHolder(EffectHolder* holder) {
    if (holder) delete std::exchange(holder->effect, nullptr);
}

EffectBase* EffectInSlot(std::int32_t n) {
    if (n < 1 || n >= kEffectSlots) return nullptr;
    const EffectHolder* holder = g_Object3D.effects[n];
    return holder ? holder->effect : nullptr;
}

bool LoadOrShareEffect(MeshRecord* mesh, bool prepare) {
    if (!mesh || !mesh->effectFileName[0]) return false;
    for (std::int32_t slot = 1; slot < kEffectSlots - 1; ++slot) {
        EffectBase* effect = EffectInSlot(slot);
        if (!effect || _stricmp(effect->fileName, mesh->effectFileName) != 0) continue;
        if (!SetMeshEffect(mesh, effect, prepare)) return false;
        mesh->sharedEffect = 1;
        return true;
    }
    std::unique_ptr<EffectBase> effect(new (std::nothrow) EffectBase);
    if (!effect || !effect->Load(mesh->effectFileName, false, prepare)) return false;
    if (!SetMeshEffectPrepared(mesh, effect.get())) return false;
    effect.release(); // the mesh owns it now
    return true;
}

void LoadEffect(const char* fileName, std::int32_t n, std::int32_t flag) {
    if (!ConfirmNewEffect(n)) return;
    if (!fileName || !CoreFileExists(fileName)) return RaiseRuntimeError(kFileMissing);
    auto* holder = new (std::nothrow) EffectHolder;
    // No slot keeps a holder without an effect.
    if (!holder || !holder->effect) {
        delete holder;
        return RaiseRuntimeError(kShaderOrEffectFailed);
    }
    g_Object3D.effects[n] = holder;
    // A file that does not make an effect leaves the slot empty, with the load's error.
    if (!holder->effect->Load(fileName, false, flag == 1)) {
        EmptySlot(n);
        RaiseRuntimeError(kShaderOrEffectFailed);
    }
}

void DeleteEffect(std::int32_t n) {
    if (ConfirmEffect(n)) ForgetSlotEffect(n);
}

void SetObjectEffectFromFile(std::int32_t n, const char* fileName, std::int32_t flag) {
    const bool madeHere = !ObjectExists(n);
    if (madeHere) MakeObjectPyramid(n, kPyramidSize);
    ObjectRecord* object = ObjectAt(n);
    if (!HasData(object)) return; // an illegal number, or an instance, which owns no meshes
    std::unique_ptr<EffectBase> effect(new (std::nothrow) EffectBase);
    const bool loaded = effect && effect->Load(fileName, madeHere, flag == 1);
    RestoreAllMeshVertices(object);
    const std::int32_t taken = loaded ? GiveEffectToMeshes(object, effect.get()) : -1;
    // The meshes that took it own it, even when a later one refused; one no mesh took goes here.
    if (effect && effect->owners > 0) effect.release();
    if (taken < 0 && madeHere) {
        DeleteObject(n);
        return RaiseRuntimeError(kShaderOrEffectFailed);
    }
    if (madeHere) {
        SetupNewObject(n, -1.0f);
        return;
    }
    RebufferObject(object);
    if (taken < 0) RaiseRuntimeError(kShaderOrEffectFailed);
}

void RebufferObject(ObjectRecord* object) {
    if (!object) return;
    ObjectManager& manager = g_Object3D.manager;
    manager.RemoveObject(object);
    manager.AddObjectMeshesToBuffers(object);
}

void FreeEffectSlots() {
    for (std::int32_t n = 0; n < kEffectSlots; ++n) {
        // Mesh items may outlive the objects across a device reset.
        if (g_Object3D.effects[n]) ForgetSlotEffect(n);
    }
}
