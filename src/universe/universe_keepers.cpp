// The world as a keeper of the images and effects its meshes use: told by their owners when one
// goes or is made again under its number, it lets go of it or takes the new one, as the objects'
// meshes do.
#include "core/win32.h"

#include "universe/universe.h"
#include "core/item_keepers.h"
#include "object3d/mesh_properties.h"
#include "object3d/mesh_textures.h"
#include "object3d/object_state.h"

namespace {

// Every mesh the world keeps, some of them more than once (a batch mesh is also listed in
// textureMeshes); fn must not mind.
template <typename Fn> void ForEachWorldMesh(Universe& world, Fn&& fn) {
    const auto visit = [&fn](MeshRecord* mesh) {
        if (mesh) fn(mesh);
    };
    for (auto* list : {&world.levelMeshes, &world.collisionMeshes, &world.textureMeshes})
        for (MeshRecord* mesh : *list)
            visit(mesh);
    for (const std::unique_ptr<UniverseArea>& area : world.areas) {
        if (!area) continue;
        for (auto* list : {&area->batches, &area->secondBatches, &area->loadedShared})
            for (const std::unique_ptr<UniverseBatch>& holder : *list)
                if (holder) visit(holder->mesh);
    }
    visit(world.decalMesh);
    for (const UniverseLight& light : world.lights)
        for (MeshRecord* mesh : light.shadowMeshes)
            visit(mesh);
}

// The image's texture as the slots hold it; null for a cube, which no slot's texture is.
IDirect3DTexture9* PlainTexture(void* texture) {
    auto* base = static_cast<IDirect3DBaseTexture9*>(texture);
    return base && base->GetType() == D3DRTYPE_TEXTURE ? static_cast<IDirect3DTexture9*>(base)
                                                       : nullptr;
}

bool Names(const IDirect3DTexture9* held, const void* texture) {
    return held && static_cast<const IDirect3DBaseTexture9*>(held) == texture;
}

// The slots and material entries that showed the image show what its number names now. A slot
// that lost the texture when the image went keeps the number it was given.
void TakeRemadeImage(MeshRecord* mesh, const ItemNotice& notice, IDirect3DTexture9* now) {
    for (std::int32_t i = 0; mesh->textures && i < mesh->textureCount; ++i) {
        TextureRecord& slot = mesh->textures[i];
        if (Names(slot.texture, notice.before) ||
            (notice.number > 0 && !slot.texture && slot.imageNumber == notice.number))
            slot.texture = now;
    }
    for (std::int32_t i = 0; mesh->multiMaterials && i < mesh->multiMaterialCount; ++i)
        if (Names(mesh->multiMaterials[i].texture, notice.before))
            mesh->multiMaterials[i].texture = now;
}

void KeepImage(const ItemNotice& notice) {
    Universe* world = UniversePointer();
    if (!world) return;
    if (notice.change == ItemChange::Deleted) {
        // Still alive while the keepers are told.
        IDirect3DTexture9* texture = PlainTexture(notice.before);
        if (texture)
            ForEachWorldMesh(*world,
                             [texture](MeshRecord* mesh) { ClearTextureReference(mesh, texture); });
        return;
    }
    // The old texture may be gone already: only its address is compared.
    IDirect3DTexture9* now = PlainTexture(notice.after);
    ForEachWorldMesh(*world, [&](MeshRecord* mesh) { TakeRemadeImage(mesh, notice, now); });
}

// A level mesh shares a slot's effect; when the slot's effect goes, the mesh draws without it.
void KeepEffect(const ItemNotice& notice) {
    Universe* world = UniversePointer();
    if (!world || notice.change != ItemChange::Deleted || !notice.before) return;
    ForEachWorldMesh(*world, [&notice](MeshRecord* mesh) {
        if (mesh->effect != notice.before) return;
        const std::uint32_t format = mesh->fvf, size = mesh->vertexSize;
        mesh->sharedEffect = 1; // its owner destroys it, not the mesh
        FreeMeshEffect(mesh);
        // Its vertices back in their own format no longer fit the place they were given.
        if (mesh->drawItem && (mesh->fvf != format || mesh->vertexSize != size)) {
            g_Object3D.manager.RemoveMeshFromBuffers(mesh);
            g_Object3D.manager.AddMeshToBuffers(mesh, true);
        }
    });
}

} // namespace

void AddWorldKeepers() {
    AddItemKeeper(ItemOwner::Image, KeepImage);
    AddItemKeeper(ItemOwner::Effect, KeepEffect);
}

void RemoveWorldKeepers() {
    RemoveItemKeeper(ItemOwner::Image, KeepImage);
    RemoveItemKeeper(ItemOwner::Effect, KeepEffect);
}
