#include "core/win32.h"

#include "object3d/object_records.h"
#include "object3d/effect.h"

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

namespace {

template <typename T> void FreeArray(T*& p) {
    delete[] std::exchange(p, nullptr);
}

template <typename T> void FreeOne(T*& p) {
    delete std::exchange(p, nullptr);
}

template <typename T> void ReleaseInterface(T*& p) {
    if (T* old = std::exchange(p, nullptr)) old->Release();
}

} // namespace

std::uint64_t NextObjectSerial() {
    static std::uint64_t last = 0;
    return ++last;
}

void ClearRecord56(DrawItem* item) {
    if (item) *item = DrawItem{};
}

void ShareMatrixKeys(AnimationRecord* borrower, AnimationRecord* source) {
    if (!borrower || !source) return;
    while (source->keySource)
        source = source->keySource;
    if (source == borrower) return;
    if (borrower->keySource) std::erase(borrower->keySource->keyBorrowers, borrower);
    FreeArray(borrower->matrixKeys);
    borrower->matrixKeyCount = 0;
    borrower->keySource = source;
    source->keyBorrowers.push_back(borrower);
}

AnimationRecord::~AnimationRecord() {
    if (keySource) std::erase(keySource->keyBorrowers, this);
    if (!keyBorrowers.empty()) {
        // The first borrower inherits the keys; the others borrow from it.
        AnimationRecord* heir = keyBorrowers.front();
        heir->keySource = nullptr;
        FreeArray(heir->matrixKeys);
        heir->matrixKeys = std::exchange(matrixKeys, nullptr);
        heir->matrixKeyCount = std::exchange(matrixKeyCount, 0u);
        keyBorrowers.erase(keyBorrowers.begin());
        for (AnimationRecord* borrower : keyBorrowers)
            borrower->keySource = heir;
        // A teardown takes no memory: the list moves whole where the heir lends to none yet.
        if (heir->keyBorrowers.empty()) {
            heir->keyBorrowers = std::move(keyBorrowers);
        } else {
            try {
                heir->keyBorrowers.insert(heir->keyBorrowers.end(), keyBorrowers.begin(),
                                          keyBorrowers.end());
            } catch (...) {
                // Unlisted, they could not be told when the heir goes: they keep no keys.
                for (AnimationRecord* borrower : keyBorrowers)
                    borrower->keySource = nullptr;
            }
        }
        keyBorrowers.clear();
    }
    if (bakedFrames) {
        for (std::uint32_t i = 0; i < bakedFrameCount; ++i)
            delete[] bakedFrames[i];
        FreeArray(bakedFrames);
    }
    FreeArray(bakedIndices);
    FreeArray(positionKeys);
    FreeArray(rotationKeys);
    FreeArray(scaleKeys);
    FreeArray(matrixKeys);
    // A long chain would recurse as deep as it is long: unlink and free it link by link.
    while (AnimationRecord* n = std::exchange(next, nullptr)) {
        next = std::exchange(n->next, nullptr);
        delete n;
    }
}

AnimationSetRecord::~AnimationSetRecord() {
    FreeArray(boundsMinimum);
    FreeArray(boundsMaximum);
    FreeArray(boundsCentre);
    FreeArray(boundsRadius);
    FreeOne(animation);
    while (AnimationSetRecord* n = std::exchange(next, nullptr)) {
        next = std::exchange(n->next, nullptr);
        delete n;
    }
}

void TextureRecord::ReleaseTexture() {
    ReleaseInterface(overrideTexture);
}

TextureRecord::~TextureRecord() {
    ReleaseTexture();
    texture = nullptr; // the image module's
}

BoneRecord::~BoneRecord() {
    FreeArray(vertices);
    FreeArray(weights);
}

MeshRecord::MeshRecord() {
    // A mesh's bounds start all zero, unlike an object's.
    bounds = CollisionBlock{};
    bounds.enabled = 0;
    bounds.type = 0;
    bounds.responseFlag = 0;
}

MeshRecord::~MeshRecord() {
    if (effect && !sharedEffect) ReleaseOwnedEffect(effect);
    effect = nullptr;
    FreeArray(backupVertices);
    FreeArray(vertices);
    FreeArray(indices);
    FreeArray(bones);
    FreeArray(boneFrames);
    FreeArray(boneMatrices);
    FreeArray(multiMaterialBuffer);
    FreeArray(textures);
    FreeArray(multiMaterials);
    DeleteDrawItem(std::exchange(drawItem, nullptr));
    FreeArray(triangleMaterials);
    FreeArray(keyFrames);
    ReleaseInterface(vertexShader);
    ReleaseInterface(vertexDeclaration);
    ReleaseInterface(pixelShader);
}

namespace {

// The sibling chain of first, followed by rest.
FrameRecord* ChainAhead(FrameRecord* first, FrameRecord* rest) {
    if (!first) return rest;
    FrameRecord* last = first;
    while (last->sibling)
        last = last->sibling;
    last->sibling = rest;
    return first;
}

} // namespace

MeshRecord*& FrameRecord::MeshSlot(int slot) {
    switch (slot) {
    case 0:
        return mesh;
    case 1:
        return shadowMesh;
    case 2:
        return boundBoxMesh;
    case 3:
        return boundSphereMesh;
    case 4:
        return detailMeshes[0];
    default:
        return detailMeshes[1];
    }
}

FrameRecord::~FrameRecord() {
    for (int i = 0; i < kFrameMeshSlots; ++i)
        FreeOne(MeshSlot(i));
    // The frames below and beside this one are freed from one chain through their sibling links,
    // each frame's children spliced in where it stood: no stack and no memory, however deep or
    // long the tree, and each teardown in the chain ends at once.
    FrameRecord* next = ChainAhead(std::exchange(child, nullptr), std::exchange(sibling, nullptr));
    while (FrameRecord* f = next) {
        next = ChainAhead(std::exchange(f->child, nullptr), std::exchange(f->sibling, nullptr));
        delete f;
    }
}

namespace {

// Every mesh that some frame of the tree holds in one of its slots, sorted.
std::vector<const MeshRecord*> FrameOwnedMeshes(FrameRecord* root) {
    std::vector<const MeshRecord*> owned;
    WalkFrameTree(root, [&owned](FrameRecord* f) {
        for (int i = 0; i < kFrameMeshSlots; ++i)
            if (f->MeshSlot(i)) owned.push_back(f->MeshSlot(i));
    });
    std::sort(owned.begin(), owned.end());
    return owned;
}

// Clears the entries that some frame of the tree holds. A teardown must not throw: when the sorted
// list cannot be had, each frame's slots are looked for in the entries instead.
void ClearFrameOwned(FrameRecord* root, MeshRecord** meshes, std::int32_t listed) noexcept {
    try {
        const auto owned = FrameOwnedMeshes(root);
        for (std::int32_t i = 0; i < listed; ++i)
            if (std::binary_search(owned.begin(), owned.end(), meshes[i])) meshes[i] = nullptr;
        return;
    } catch (const std::bad_alloc&) {
    }
    WalkFrameTree(root, [&](FrameRecord* f) {
        for (int slot = 0; slot < kFrameMeshSlots; ++slot)
            for (std::int32_t i = 0; f->MeshSlot(slot) && i < listed; ++i)
                if (meshes[i] == f->MeshSlot(slot)) meshes[i] = nullptr;
    });
}

} // namespace

ObjectRecord::~ObjectRecord() {
    // A negative count marks a list already built; its size is the same either way.
    const std::int32_t listed = meshCount < 0 ? -meshCount : meshCount;
    if (meshes) {
        // Meshes that frames own go with their frames: clear those entries first, so that no
        // mesh is freed twice.
        ClearFrameOwned(rootFrame, meshes, listed);
    }
    FreeArray(instanceData);
    FreeOne(rootFrame);
    FreeOne(animationSet);
    FreeArray(frames);
    if (meshes) {
        for (std::int32_t i = 0; i < listed; ++i)
            FreeOne(meshes[i]);
    }
    FreeArray(meshes);
    FreeArray(customBufferA);
    FreeArray(customBufferB);
    FreeArray(deleteCallbacks);
}
