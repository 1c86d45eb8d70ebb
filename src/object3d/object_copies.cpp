#include "core/win32.h"

#include "object3d/object_copies.h"
#include "core/core.h"
#include "object3d/appearance.h"
#include "object3d/geometry.h"
#include "object3d/mesh_convert.h"
#include "object3d/mesh_textures.h"
#include "object3d/object3d.h"
#include "object3d/object_guard.h"
#include "object3d/object_lists.h"
#include "object3d/object_state.h"
#include "object3d/object_world.h"
#include "core/error_numbers.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

constexpr std::int32_t kDeleteCallbackCapacity = 25;
constexpr std::int32_t kDetailSlots = 2;

// A copied mesh and the mesh it was copied from.
struct MeshCopy {
    MeshRecord* copy;
    const MeshRecord* source;
};

bool HasVertices(const MeshRecord* mesh) {
    return mesh && mesh->vertices && mesh->vertexCount > 0;
}

// A frame name in lower case, as names that differ only in case compare equal.
std::string FoldedName(const char* name) {
    std::string folded(name, strnlen(name, kRecordNameLength));
    for (char& c : folded)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

// A copy of the mesh's geometry in its own format; null when it cannot be made.
MeshRecord* CopyGeometry(const MeshRecord* source, const D3DXMATRIX& matrix) {
    std::unique_ptr<MeshRecord> copy(new (std::nothrow) MeshRecord);
    if (!copy || !MakeMeshFromFormat(copy.get(), source, &matrix)) return nullptr;
    return copy.release();
}

bool CopyBone(BoneRecord& to, const BoneRecord& from) {
    std::memcpy(to.name, from.name, sizeof to.name);
    to.offsetMatrix = from.offsetMatrix;
    const std::uint32_t count = from.vertices && from.weights ? from.influenceCount : 0;
    if (count == 0) return true;
    to.vertices = new (std::nothrow) std::uint32_t[count];
    to.weights = new (std::nothrow) float[count];
    if (!to.vertices || !to.weights) return false;
    std::copy_n(from.vertices, count, to.vertices);
    std::copy_n(from.weights, count, to.weights);
    to.influenceCount = count;
    return true;
}

// The source's bones that keep (all when keep is null), with their influences.
template <typename Keep> bool CopyBones(MeshRecord* copy, const MeshRecord* source, Keep&& keep) {
    if (!source->bones || source->boneCount <= 0) return true;
    std::vector<const BoneRecord*> kept;
    for (std::int32_t b = 0; b < source->boneCount; ++b)
        if (keep(source->bones[b])) kept.push_back(&source->bones[b]);
    if (kept.empty()) return true;
    auto* bones = new (std::nothrow) BoneRecord[kept.size()];
    if (!bones) return false;
    delete[] std::exchange(copy->bones, bones);
    copy->boneCount = static_cast<std::int32_t>(kept.size());
    for (std::size_t b = 0; b < kept.size(); ++b)
        if (!CopyBone(bones[b], *kept[b])) return false;
    return true;
}

// The frame's name, local matrices, offset, rotation and scale, and a copy of its mesh.
FrameRecord* CopyFrame(const FrameRecord* source, std::vector<MeshCopy>& meshes) {
    std::unique_ptr<FrameRecord> frame(new (std::nothrow) FrameRecord);
    if (!frame) return nullptr;
    std::memcpy(frame->name, source->name, sizeof frame->name);
    frame->initialMatrix = source->initialMatrix;
    frame->transformMatrix = source->transformMatrix;
    frame->userMatrix = source->userMatrix;
    frame->offset = source->offset;
    frame->rotation = source->rotation;
    frame->scale = source->scale;
    if (HasVertices(source->mesh)) {
        frame->mesh = CopyGeometry(source->mesh, kIdentityMatrix);
        if (!frame->mesh) return nullptr;
        meshes.push_back({frame->mesh, source->mesh});
    }
    return frame.release();
}

// The limb and every frame below it (not its siblings), in their order; null when a frame or mesh
// cannot be made. Walked without recursion, as frame trees are.
FrameRecord* CopySubtree(const FrameRecord* limb, std::vector<MeshCopy>& meshes) {
    std::unique_ptr<FrameRecord> root(CopyFrame(limb, meshes));
    if (!root) return nullptr;
    std::vector<std::pair<const FrameRecord*, FrameRecord*>> pending{{limb, root.get()}};
    while (!pending.empty()) {
        const auto [source, copy] = pending.back();
        pending.pop_back();
        FrameRecord* last = nullptr;
        for (const FrameRecord* child = source->child; child; child = child->sibling) {
            FrameRecord* made = CopyFrame(child, meshes);
            if (!made) return nullptr;
            made->parent = copy;
            (last ? last->sibling : copy->child) = made;
            last = made;
            pending.push_back({child, made});
        }
    }
    return root.release();
}

const MeshRecord* LargestMesh(ObjectRecord* object) {
    const MeshRecord* largest = nullptr;
    ForEachObjectMesh(object, [&largest](const MeshRecord* mesh) {
        if (HasVertices(mesh) && (!largest || mesh->vertexCount > largest->vertexCount))
            largest = mesh;
    });
    return largest;
}

// A record name as a key, up to its first zero or the end of its field.
std::string_view NameKey(const char* name) {
    return std::string_view(name, strnlen(name, kRecordNameLength));
}

// The names of the tree's frames: a walk of the tree for every animation or bone would grow with
// the square of a long chain of limbs.
std::unordered_set<std::string_view> FrameNames(FrameRecord* root) {
    std::unordered_set<std::string_view> names;
    WalkFrameTree(root, [&names](FrameRecord* f) { names.insert(NameKey(f->name)); });
    return names;
}

// The source's animation set with only the animations of frames in the object's tree.
void CopyAnimations(ObjectRecord* object, const ObjectRecord* source) {
    const AnimationSetRecord* set = source->animationSet;
    if (!set) return;
    const std::unordered_set<std::string_view> frames = FrameNames(object->rootFrame);
    auto* copy = new (std::nothrow) AnimationSetRecord;
    if (!copy) return;
    std::memcpy(copy->name, set->name, sizeof copy->name);
    copy->length = set->length;
    AnimationRecord** tail = &copy->animation;
    for (AnimationRecord* a = set->animation; a; a = a->next) {
        if (!frames.count(NameKey(a->name))) continue;
        AnimationRecord* made = DuplicateAnimation(a, a->name);
        if (!made) continue;
        // Keys this animation borrows are borrowed by the copy as well.
        if (a->keySource) ShareMatrixKeys(made, a);
        *tail = made;
        tail = &made->next;
    }
    object->animationSet = copy;
}

// Mode 1: the limb's subtree becomes the object's frame tree.
bool CopyHierarchy(ObjectRecord* object, ObjectRecord* source, const FrameRecord* limb,
                   std::vector<MeshCopy>& meshes) {
    FrameRecord* root = CopySubtree(limb, meshes);
    if (!root) return false;
    delete std::exchange(object->rootFrame, root);
    if (!root->mesh) {
        const MeshRecord* largest = LargestMesh(source);
        root->mesh = largest ? CopyGeometry(largest, kIdentityMatrix) : nullptr;
        if (!root->mesh) return false;
        meshes.push_back({root->mesh, largest});
    }
    // Only bones that follow a frame of the copy can move its vertices.
    const std::unordered_set<std::string_view> frames = FrameNames(root);
    for (const MeshCopy& m : meshes)
        if (!CopyBones(m.copy, m.source, [&frames](const BoneRecord& bone) {
                return frames.count(NameKey(bone.name)) != 0;
            }))
            return false;
    CopyAnimations(object, source);
    return true;
}

// Other modes: the mesh as the source shows it, turned and scaled but not moved.
bool CopyPosedMesh(ObjectRecord* object, ObjectRecord* source, const FrameRecord* limb,
                   const MeshRecord* mesh, std::vector<MeshCopy>& meshes) {
    UpdateObjectWorld(source);
    const D3DXMATRIX matrix = Multiply(limb->combinedMatrix, source->position.matRotationScale);
    MeshRecord* target = object->rootFrame->mesh;
    if (!MakeMeshFromFormat(target, mesh, &matrix)) return false;
    meshes.push_back({target, mesh});
    return true;
}

// The detail level's copy of the source mesh, with the textures of the frame's own mesh.
MeshRecord* MakeDetailMesh(ObjectRecord* object, const MeshRecord* own, const MeshRecord* source) {
    std::unique_ptr<MeshRecord> copy(CopyGeometry(source, kIdentityMatrix));
    if (!copy) return nullptr;
    BackupMeshVertices(copy.get());
    CopyMeshMaterials(copy.get(), source);
    if (!CopyBones(copy.get(), source, [](const BoneRecord&) { return true; })) return nullptr;
    // The copy's bones follow the object's own frames.
    AllocateMeshBoneArrays(copy.get());
    LinkMeshBonesToFrames(copy.get(), object->rootFrame);
    if (own->textureCount > 0 && EnsureMeshTextureCount(copy.get(), own->textureCount - 1))
        CopyMeshTextures(copy.get(), own);
    return copy.release();
}

} // namespace

void AddObjectDeleteCallback(std::int32_t n, ObjectDeleteFn callback, std::int32_t value) {
    if (!ConfirmObject(n)) return;
    ObjectRecord* object = ObjectAt(n);
    if (!object->deleteCallbacks) {
        object->deleteCallbacks =
            new (std::nothrow) ObjectDeleteCallback[kDeleteCallbackCapacity]();
        if (!object->deleteCallbacks) return;
        object->deleteCallbackCapacity = kDeleteCallbackCapacity;
        object->deleteCallbackCount = 0;
    }
    if (object->deleteCallbackCount >= object->deleteCallbackCapacity) return;
    object->deleteCallbacks[object->deleteCallbackCount++] = {callback, value};
}

void MakeObjectFromLimb(std::int32_t n, std::int32_t sourceNumber, std::int32_t limb,
                        std::int32_t mode) {
    if (!ConfirmObjectAndLimbInstance(sourceNumber, limb) || !ConfirmNewObject(n)) return;
    ObjectRecord* source = ObjectAt(sourceNumber);
    if (IsInstance(source)) source = source->instanceSource;
    // An instance's limb number is measured against its source's frames here.
    if (!HasData(source) || !source->frames || limb >= source->frameCount || !source->frames[limb])
        return RaiseRuntimeError(kLimbMissing);
    const FrameRecord* frame = source->frames[limb];
    RestoreAllMeshVertices(source);
    const MeshRecord* first = ListedMeshCount(source) > 0 ? source->meshes[0] : nullptr;
    const MeshRecord* mesh = HasVertices(frame->mesh) ? frame->mesh : first;
    if (!HasVertices(mesh)) return RaiseRuntimeError(kLimbMissing);
    // A copy that runs out of memory leaves nothing under n.
    GuardObjectMake(n, kObjectNotMade, [&] {
        if (!CreateNewObject(n, "limbmesh")) return false;
        ObjectRecord* object = ObjectAt(n);
        std::vector<MeshCopy> meshes;
        const bool made = mode == 1 ? CopyHierarchy(object, source, frame, meshes)
                                    : CopyPosedMesh(object, source, frame, mesh, meshes);
        if (!made || !SetupNewObject(n, -1.0f)) return false;
        TextureObject(n, 0);
        for (const MeshCopy& m : meshes)
            CopyMeshTextures(m.copy, m.source);
        return true;
    });
}

void AddObjectLevelOfDetail(std::int32_t n, std::int32_t sourceNumber, std::int32_t slot,
                            float distance) {
    if (!ConfirmObject(n) || !ConfirmObject(sourceNumber)) return;
    if (slot < 0 || slot >= kDetailSlots) return RaiseRuntimeError(kValueOutOfRange);
    ObjectRecord* object = ObjectAt(n);
    ObjectRecord* source = ObjectAt(sourceNumber);
    RestoreAllMeshVertices(source);
    object->detailOn = 1;
    object->detailDistances[slot] = distance;
    object->detailLevel = 0;
    // The object's frames that still want a mesh of this level, by name in any letter case, in
    // their order: each source frame finds its own at once instead of walking them all.
    std::unordered_map<std::string, std::vector<FrameRecord*>> wanting;
    for (std::int32_t f = 0; object->frames && f < object->frameCount; ++f) {
        FrameRecord* to = object->frames[f];
        if (to && to->mesh && !to->detailMeshes[slot]) wanting[FoldedName(to->name)].push_back(to);
    }
    for (std::int32_t s = 0; source->frames && s < source->frameCount; ++s) {
        const FrameRecord* from = source->frames[s];
        if (!from || !HasVertices(from->mesh)) continue;
        const auto found = wanting.find(FoldedName(from->name));
        if (found == wanting.end()) continue;
        // A frame given its mesh wants no other; one whose copy failed waits for the next.
        std::erase_if(found->second, [&](FrameRecord* to) {
            to->detailMeshes[slot] = MakeDetailMesh(object, to->mesh, from->mesh);
            if (!to->detailMeshes[slot]) return false;
            g_Object3D.manager.AddMeshToBuffers(to->detailMeshes[slot], object->ownBuffers != 0);
            return true;
        });
    }
}

void BakeObjectRotationIntoPivot(std::int32_t n) {
    if (!ConfirmObject(n)) return;
    ObjectRecord* object = ObjectAt(n);
    ObjectPosition& p = object->position;
    UpdateObjectRotation(object);
    const D3DXMATRIX rotation = p.matrixMode ? p.matFreeFlight : p.matRotation;
    // The pivot turns the object before its rotation does: the old pivot stays first, so the
    // object keeps the orientation it shows.
    p.matPivot = p.pivot ? Multiply(p.matPivot, rotation) : rotation;
    p.pivot = 1;
    p.matrixMode = 0;
    p.angle = D3DXVECTOR3(0, 0, 0);
    p.matRotation = kIdentityMatrix;
    UpdateObjectLookVectors(object);
    object->collision.centreFixed = 0;
    object->collision.moved = 1;
    UpdateObjectWorld(object);
}
