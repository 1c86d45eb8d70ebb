#include "core/win32.h"

#include "object3d/mesh_looks.h"
#include "object3d/effect.h"
#include "object3d/mesh_convert.h"
#include "object3d/mesh_textures.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace {

template <typename T> bool CopyArray(T*& to, const T* from, std::size_t count) {
    if (!from) return true;
    to = new (std::nothrow) T[count ? count : 1];
    if (!to) return false;
    std::memcpy(to, from, count * sizeof(T));
    return true;
}

bool CopyShape(const MeshRecord& from, MeshRecord& to) {
    const std::size_t bytes =
        static_cast<std::size_t>(std::max(from.vertexCount, 0)) * from.vertexSize;
    if (!CopyArray(to.vertices, from.vertices, bytes) ||
        !CopyArray(to.backupVertices, from.backupVertices, bytes) ||
        !CopyArray(to.indices, from.indices,
                   static_cast<std::size_t>(std::max(from.indexCount, 0))))
        return false;
    to.fvf = from.fvf;
    to.vertexSize = from.vertexSize;
    to.vertexCount = from.vertexCount;
    to.indexCount = from.indexCount;
    to.primitiveType = from.primitiveType;
    to.drawVertexCount = from.drawVertexCount;
    to.drawPrimitiveCount = from.drawPrimitiveCount;
    std::memcpy(to.declaration, from.declaration, sizeof to.declaration);
    to.vertexDeclaration = from.vertexDeclaration;
    if (to.vertexDeclaration) to.vertexDeclaration->AddRef();
    return true;
}

template <typename T> void Hold(T* object) {
    if (object) object->AddRef();
}

// The effect state a shading replaces, from one record to the other.
void MoveEffectState(MeshRecord& to, MeshRecord& from) {
    to.effect = std::exchange(from.effect, nullptr);
    to.sharedEffect = from.sharedEffect;
    to.vertexShader = std::exchange(from.vertexShader, nullptr);
    to.pixelShader = std::exchange(from.pixelShader, nullptr);
    to.savedFVF = from.savedFVF;
    to.effectInUse = from.effectInUse;
    to.effectPrepared = from.effectPrepared;
    to.effectSkinsMesh = from.effectSkinsMesh;
    to.effectData = from.effectData;
    to.vertexShaderOn = from.vertexShaderOn;
    to.pixelShaderOn = from.pixelShaderOn;
    to.materialOn = from.materialOn;
    to.alphaFactorOn = from.alphaFactorOn;
    to.diffuseColour = from.diffuseColour;
    std::memcpy(to.effectFileName, from.effectFileName, sizeof to.effectFileName);
}

// The copy's own hold on the mesh's effect and shaders, so that the change cannot free them.
void HoldEffectState(MeshRecord& copy, const MeshRecord& mesh) {
    copy.effect = mesh.effect;
    copy.sharedEffect = mesh.sharedEffect;
    if (copy.effect && !copy.sharedEffect)
        copy.effect->owners = std::max<std::uint32_t>(copy.effect->owners, 1) + 1;
    copy.vertexShader = mesh.vertexShader;
    copy.pixelShader = mesh.pixelShader;
    Hold(copy.vertexShader);
    Hold(copy.pixelShader);
    copy.savedFVF = mesh.savedFVF;
    copy.effectInUse = mesh.effectInUse;
    copy.effectPrepared = mesh.effectPrepared;
    copy.effectSkinsMesh = mesh.effectSkinsMesh;
    copy.effectData = mesh.effectData;
    copy.vertexShaderOn = mesh.vertexShaderOn;
    copy.pixelShaderOn = mesh.pixelShaderOn;
    copy.materialOn = mesh.materialOn;
    copy.alphaFactorOn = mesh.alphaFactorOn;
    copy.diffuseColour = mesh.diffuseColour;
    std::memcpy(copy.effectFileName, mesh.effectFileName, sizeof copy.effectFileName);
}

// A copy no mesh takes back lets go of its images; its record frees the rest.
void Discard(std::unique_ptr<MeshRecord>& old) {
    FreeMeshTextures(old.get());
    old.reset();
}

} // namespace

MeshLooks::~MeshLooks() {
    if (!kept_) Undo();
    for (Look& look : looks_)
        Discard(look.old);
}

bool MeshLooks::Aside(MeshRecord* mesh) {
    looks_.reserve(looks_.size() + 1);
    auto old = std::make_unique<MeshRecord>();
    if (!CopyShape(*mesh, *old)) return false;
    if (mesh->textures && !CopyMeshTextureSlots(old.get(), mesh)) {
        Discard(old);
        return false;
    }
    HoldEffectState(*old, *mesh);
    // The mesh changes the copies: its own arrays wait aside, to come back untouched.
    SwapMeshShape(*mesh, *old);
    std::swap(mesh->textures, old->textures);
    std::swap(mesh->textureCount, old->textureCount);
    looks_.push_back({mesh, std::move(old)});
    return true;
}

void MeshLooks::Undo() noexcept {
    for (auto it = looks_.rbegin(); it != looks_.rend(); ++it) {
        MeshRecord& mesh = *it->mesh;
        MeshRecord& old = *it->old;
        // What the change bound goes with the copy; the copy's holds become the mesh's.
        MeshRecord made;
        MoveEffectState(made, mesh);
        MoveEffectState(mesh, old);
        SwapMeshShape(mesh, old);
        std::swap(mesh.textures, old.textures);
        std::swap(mesh.textureCount, old.textureCount);
        MoveEffectState(old, made);
        mesh.verticesChanged = 1;
        mesh.indexLayoutChanged = 1;
        Discard(it->old);
    }
    looks_.clear();
}
