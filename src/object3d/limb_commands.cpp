#include "core/win32.h"

#include "object3d/limb_commands.h"
#include "core/checklist.h"
#include "core/core.h"
#include "object3d/frame_hierarchy.h"
#include "object3d/geometry.h"
#include "object3d/mesh_properties.h"
#include "object3d/mesh_shape_changes.h"
#include "object3d/mesh_textures.h"
#include "object3d/object3d.h"
#include "object3d/object_guard.h"
#include "object3d/object_lists.h"
#include "object3d/object_state.h"
#include "object3d/object_world.h"
#include "object3d/positioning.h"
#include "object3d/vertex_data_commands.h"
#include "object3d/vertex_editing.h"
#include "core/error_numbers.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace {

constexpr char kNewLimbName[] = "new limb";
// An instance's limb as InstanceObject shows it.
constexpr std::uint8_t kLimbShown = 255;
constexpr float kPercent = 0.01f;
constexpr float kHundred = 100.0f;

enum Axis { kX, kY, kZ };

float Component(const D3DXVECTOR3& v, Axis axis) {
    return axis == kX ? v.x : axis == kY ? v.y : v.z;
}

// The entries of the object's frame list; a negative count marks a list already built.
std::int32_t FrameCount(const ObjectRecord* object) {
    if (!object || !object->frames) return 0;
    return object->frameCount < 0 ? -object->frameCount : object->frameCount;
}

// A record name up to its terminator, never past the field.
std::size_t NameLength(const char* name) {
    return static_cast<std::size_t>(std::find(name, name + kRecordNameLength, '\0') - name);
}

// Frame `limb` of object n once ConfirmObjectAndLimb passes, else null.
FrameRecord* CheckedLimb(std::int32_t n, std::int32_t limb) {
    return ConfirmObjectAndLimb(n, limb) ? ObjectAt(n)->frames[limb] : nullptr;
}

MeshRecord* CheckedLimbMesh(std::int32_t n, std::int32_t limb) {
    FrameRecord* frame = CheckedLimb(n, limb);
    return frame ? frame->mesh : nullptr;
}

// The renderer uploads changed meshes and sorts its lists again.
void Refresh(std::int32_t n) {
    ObjectRecord* object = ObjectAt(n);
    g_Object3D.manager.RefreshIfMeshChanged(object);
    g_Object3D.manager.MarkListDirty();
}

// Combined matrices down the whole tree from the transformations, and world data due again, so
// that bounds and limb queries before the next draw see the change.
void RefreshFrameMatrices(ObjectRecord* object) {
    UpdateFrameMatrices(object->rootFrame, &kIdentityMatrix);
    WalkFrameTree(object->rootFrame, [](FrameRecord* f) { f->computed = 0; });
}

// The object's lists after frames came, went or moved; the bounds are due again.
void FinishStructureChange(ObjectRecord* object) {
    BuildFrameAndMeshLists(object);
    RefreshFrameMatrices(object);
    object->recalculate = 1;
}

// Instances.

// Whether the instance shows limb (already known to be one of its source's). Limbs beyond the
// bytes it keeps were added to the source later: they are shown.
bool InstanceShowsLimb(const ObjectRecord* instance, std::int32_t limb) {
    return !instance->instanceData || limb >= instance->instanceDataLength ||
           instance->instanceData[limb] != 0;
}

// The instance's visibility bytes for count limbs, the new ones shown; null when they cannot be
// had or the ones it has cover them.
std::unique_ptr<std::uint8_t[]> InstanceBytesFor(const ObjectRecord* instance, std::int32_t count) {
    if (instance->instanceData && instance->instanceDataLength >= count) return nullptr;
    std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow) std::uint8_t[count]);
    if (!bytes) return nullptr;
    const std::int32_t kept =
        instance->instanceData ? std::clamp(instance->instanceDataLength, 0, count) : 0;
    if (kept > 0) std::copy_n(instance->instanceData, kept, bytes.get());
    std::fill(bytes.get() + kept, bytes.get() + count, kLimbShown);
    return bytes;
}

void GiveInstanceBytes(ObjectRecord* instance, std::unique_ptr<std::uint8_t[]> bytes,
                       std::int32_t count) {
    delete[] std::exchange(instance->instanceData, bytes.release());
    instance->instanceDataLength = count;
}

// Grows the instance's visibility bytes to count limbs; false when they cannot be had (the old
// bytes are kept then).
bool CoverInstanceLimbs(ObjectRecord* instance, std::int32_t count) {
    if (instance->instanceData && instance->instanceDataLength >= count) return true;
    std::unique_ptr<std::uint8_t[]> bytes = InstanceBytesFor(instance, count);
    if (!bytes) return false;
    GiveInstanceBytes(instance, std::move(bytes), count);
    return true;
}

// The renderer reads an instance's byte for every limb of its source: the bytes each instance of
// the object needs for count limbs, had before the source grows (std::bad_alloc when not), and
// handed over once it has.
class InstanceCover {
public:
    InstanceCover(const ObjectRecord* source, std::int32_t count) : count_(count) {
        const Object3DState& s = g_Object3D;
        for (std::int32_t i = 0; i < s.usedCount; ++i) {
            ObjectRecord* o = ObjectAt(s.usedNumbers[i]);
            if (!o || o->instanceSource != source ||
                (o->instanceData && o->instanceDataLength >= count))
                continue;
            std::unique_ptr<std::uint8_t[]> bytes = InstanceBytesFor(o, count);
            if (!bytes) throw std::bad_alloc();
            made_.emplace_back(o, std::move(bytes));
        }
    }
    void HandOver() {
        for (auto& [instance, bytes] : made_)
            GiveInstanceBytes(instance, std::move(bytes), count_);
        made_.clear();
    }

private:
    std::int32_t count_;
    std::vector<std::pair<ObjectRecord*, std::unique_ptr<std::uint8_t[]>>> made_;
};

void SetLimbShown(std::int32_t n, std::int32_t limb, std::uint8_t shown) {
    if (!ConfirmObjectAndLimbInstance(n, limb)) return;
    ObjectRecord* object = ObjectAt(n);
    if (!IsInstance(object)) {
        MeshRecord* mesh = object->frames[limb]->mesh;
        shown ? ShowMesh(mesh) : HideMesh(mesh);
        return;
    }
    // Only the instance's own byte: the source and its other instances keep showing the limb.
    const std::int32_t limbs = FrameCount(object->instanceSource);
    if (limb < limbs && CoverInstanceLimbs(object, limbs)) object->instanceData[limb] = shown;
}

// Shape.

using FrameSetter = void (*)(FrameRecord*, float, float, float);

// Stores one vector of the limb's user transformation; the object, or null when a check failed
// or the bounds asked for could not be measured (101: the limb is then as it was).
ObjectRecord* ReshapeLimb(std::int32_t n, std::int32_t limb, FrameSetter set, float x, float y,
                          float z, std::int32_t boundsFlag) {
    FrameRecord* frame = CheckedLimb(n, limb);
    if (!frame) return nullptr;
    ObjectRecord* object = ObjectAt(n);
    const D3DXVECTOR3 offset = frame->offset, rotation = frame->rotation, scale = frame->scale;
    auto reshape = [&] {
        // The animation sampler starts from the same product each frame.
        frame->transformMatrix = Multiply(frame->userMatrix, frame->initialMatrix);
        RefreshFrameMatrices(object);
        object->frameChanged = 1;
    };
    if (GuardChange(kStringNoMemory, [&] {
            set(frame, x, y, z);
            reshape();
            return boundsFlag == 0 || CalculateObjectBounds(object);
        }))
        return object;
    frame->offset = offset, frame->rotation = rotation, frame->scale = scale;
    BuildFrameUserMatrix(frame);
    try {
        reshape();
    } catch (...) {
    }
    return nullptr;
}

// A copy of mesh item `mesh`, or null when it cannot be made.
MeshRecord* CopyOfMeshItem(std::int32_t mesh) {
    auto* copy = new (std::nothrow) MeshRecord;
    if (copy && MakeMeshFromFormat(copy, g_Object3D.meshes[mesh], &kIdentityMatrix)) return copy;
    delete copy;
    return nullptr;
}

// Queries.

// A vector of the limb, read after its world data is brought up to date.
float LimbVector(std::int32_t n, std::int32_t limb, D3DXVECTOR3 FrameRecord::*field, Axis axis,
                 float factor = 1.0f) {
    FrameRecord* frame = CheckedLimb(n, limb);
    if (!frame) return 0.0f;
    CalculateFrameWorldData(ObjectAt(n), frame);
    return Component(frame->*field, axis) * factor;
}

float LimbPosition(std::int32_t n, std::int32_t limb, Axis axis) {
    if (!ConfirmObjectAndLimbInstance(n, limb)) return 0.0f;
    ObjectRecord* object = ObjectAt(n);
    if (!IsInstance(object)) return LimbVector(n, limb, &FrameRecord::worldPosition, axis);
    const ObjectRecord* source = object->instanceSource;
    if (limb >= FrameCount(source) || !source->frames[limb]) return 0.0f;
    // The source's frame placed by the instance's world matrix.
    FrameRecord* frame = source->frames[limb];
    frame->computed = 0;
    CalculateFrameWorldData(object, frame);
    const float value = Component(frame->worldPosition, axis);
    // Not kept as the source's own world data, which the source's queries would then read.
    frame->computed = 0;
    return value;
}

// A text result through the core's string allocator in place of the previous string, which the
// caller keeps when the new one cannot be made (101).
char* TextResult(char* previous, const char* text, std::size_t length) {
    return ReplaceModuleString(g_Object3D.core, previous, text, length);
}

char* NameResult(char* previous, const char* name) {
    return TextResult(previous, name, NameLength(name));
}

std::int32_t IndexOf(const FrameRecord* frame) {
    return frame ? frame->index : -1;
}

} // namespace

// Appearance.

void HideLimb(std::int32_t n, std::int32_t limb) {
    SetLimbShown(n, limb, 0);
}

void ShowLimb(std::int32_t n, std::int32_t limb) {
    SetLimbShown(n, limb, 1);
}

void TextureLimb(std::int32_t n, std::int32_t limb, std::int32_t image) {
    MeshRecord* mesh = CheckedLimbMesh(n, limb);
    if (!mesh) return;
    SetMeshTexture(mesh, -1, image);
    Refresh(n);
}

void TextureLimbStage(std::int32_t n, std::int32_t limb, std::int32_t stage, std::int32_t image) {
    MeshRecord* mesh = CheckedLimbMesh(n, limb);
    if (!mesh) return;
    SetMeshTextureStage(mesh, stage, image);
    Refresh(n);
}

void ColorLimb(std::int32_t n, std::int32_t limb, std::uint32_t colour) {
    MeshRecord* mesh = CheckedLimbMesh(n, limb);
    if (!mesh) return;
    SetMeshPlainColour(mesh, colour);
    Refresh(n);
}

void ScrollLimbTexture(std::int32_t n, std::int32_t limb, std::int32_t stage, float u, float v) {
    if (MeshRecord* mesh = CheckedLimbMesh(n, limb)) ScrollMeshUV(mesh, stage, u, v);
}

void ScrollLimbTexture(std::int32_t n, std::int32_t limb, float u, float v) {
    ScrollLimbTexture(n, limb, 0, u, v);
}

void ScaleLimbTexture(std::int32_t n, std::int32_t limb, std::int32_t stage, float u, float v) {
    if (MeshRecord* mesh = CheckedLimbMesh(n, limb)) ScaleMeshUV(mesh, stage, u, v);
}

void ScaleLimbTexture(std::int32_t n, std::int32_t limb, float u, float v) {
    ScaleLimbTexture(n, limb, 0, u, v);
}

void SetLimbSmoothing(std::int32_t n, std::int32_t limb, float percent) {
    MeshRecord* mesh = CheckedLimbMesh(n, limb);
    if (!mesh) return;
    // Written so that a percentage that is not a number also gives 0.
    const float held = percent > kHundred ? kHundred : percent >= 0.0f ? percent : 0.0f;
    GuardChange(kStringNoMemory, [&] {
        SmoothMeshNormals(mesh, held * kPercent);
        Refresh(n);
        return true;
    });
}

void SetLimbSmoothing(std::int32_t n, std::int32_t limb, std::int32_t percent) {
    SetLimbSmoothing(n, limb, static_cast<float>(percent));
}

void SetLimbNormals(std::int32_t n, std::int32_t limb) {
    MeshRecord* mesh = CheckedLimbMesh(n, limb);
    if (!mesh) return;
    MeshShapeChanges changes;
    if (!ChangeMeshShapes(
            changes, [mesh](auto&& fn) { fn(mesh); }, RecomputeMeshNormals))
        return;
    changes.Keep();
    Refresh(n);
}

// Shape.

void OffsetLimb(std::int32_t n, std::int32_t limb, float x, float y, float z,
                std::int32_t boundsFlag) {
    ObjectRecord* object = ReshapeLimb(n, limb, SetFrameOffset, x, y, z, boundsFlag);
    if (!object) return;
    const D3DXVECTOR3 scale = object->position.scale;
    ScaleObject(n, scale.x * kHundred, scale.y * kHundred, scale.z * kHundred);
}

void RotateLimb(std::int32_t n, std::int32_t limb, float x, float y, float z,
                std::int32_t boundsFlag) {
    ReshapeLimb(n, limb, SetFrameRotation, x, y, z, boundsFlag);
}

void ScaleLimb(std::int32_t n, std::int32_t limb, float x, float y, float z,
               std::int32_t boundsFlag) {
    ReshapeLimb(n, limb, SetFrameScale, x * kPercent, y * kPercent, z * kPercent, boundsFlag);
}

// Structure.

void AddLimb(std::int32_t n, std::int32_t limb, std::int32_t mesh) {
    if (!ConfirmObject(n) || !ConfirmMesh(mesh)) return;
    ObjectRecord* object = ObjectAt(n);
    if (limb >= 0 && limb != FrameCount(object)) RaiseRuntimeError(kLimbNotNext);
    // Everything the new limb needs is had before the object changes.
    GuardChange(kLimbNotAdded, [&] {
        const std::int32_t limbs = FrameCount(object) + 1;
        ObjectListRoom room;
        InstanceCover cover(object, limbs);
        std::unique_ptr<MeshRecord> copy(CopyOfMeshItem(mesh));
        if (!copy || !ReserveObjectLists(room, object, 1) ||
            !AddFrameWithMesh(object, copy.get(), kNewLimbName))
            return false;
        copy.release();
        cover.HandOver();
        BuildFrameAndMeshLists(object, room);
        RefreshFrameMatrices(object);
        object->recalculate = 1;
        g_Object3D.manager.MarkObjectChanged(object);
        return true;
    });
}

void RemoveLimb(std::int32_t n, std::int32_t limb) {
    FrameRecord* frame = CheckedLimb(n, limb);
    if (!frame) return;
    if (limb == 0) return RaiseRuntimeError(kLimbNumberIllegal);
    ObjectRecord* object = ObjectAt(n);
    // Takes the meshes out of the shared buffers and builds the lists again; without the memory
    // for that the limb stays.
    GuardChange(kStringNoMemory, [&] {
        if (!RemoveFrame(object, frame)) {
            RaiseRuntimeError(kLimbMissing);
            return false;
        }
        RefreshFrameMatrices(object);
        object->recalculate = 1;
        g_Object3D.manager.MarkObjectChanged(object);
        return true;
    });
}

void LinkLimb(std::int32_t n, std::int32_t parent, std::int32_t child) {
    FrameRecord* childFrame = CheckedLimb(n, child);
    if (!childFrame) return;
    FrameRecord* parentFrame = CheckedLimb(n, parent);
    if (!parentFrame) return;
    // Under itself or below itself the limb would leave the tree as a closed loop.
    const bool belowChild = FindFrame(
        childFrame->child, [parentFrame](const FrameRecord* f) { return f == parentFrame; });
    if (child == 0 || child == parent || belowChild) return RaiseRuntimeError(kLimbNumberIllegal);
    ObjectRecord* object = ObjectAt(n);
    if (!ReparentFrame(object, childFrame, parentFrame)) return RaiseRuntimeError(kLimbMissing);
    FinishStructureChange(object);
}

void ChangeLimbMesh(std::int32_t n, std::int32_t limb, std::int32_t mesh) {
    if (!ConfirmMesh(mesh)) return;
    FrameRecord* frame = CheckedLimb(n, limb);
    if (!frame) return;
    if (!frame->mesh) return RaiseRuntimeError(kLimbWithoutMesh);
    ObjectRecord* object = ObjectAt(n);
    MeshRecord* old = frame->mesh;
    // The copy is made whole, with the old mesh's textures and materials, and the lists' room is
    // had, before the old mesh goes.
    GuardChange(kLimbNotAdded, [&] {
        std::unique_ptr<MeshRecord> copy(CopyOfMeshItem(mesh));
        ObjectListRoom room;
        BoundsRoom bounds;
        if (!copy || !ReserveObjectLists(room, object, 0) || !ReserveObjectBounds(object, bounds))
            return false;
        if (old->textures && old->textureCount > 0 &&
            !EnsureMeshTextureCount(copy.get(), old->textureCount - 1))
            return false;
        CopyMeshTextures(copy.get(), old);
        CopyMeshMaterials(copy.get(), old);
        ForgetVertexDataLock(nullptr, old);
        // Takes the old mesh out of the shared buffers and destroys it.
        if (!RemoveFrameMesh(frame, copy.get())) return false;
        MeshRecord* placed = copy.release();
        BuildFrameAndMeshLists(object, room);
        CalculateObjectBounds(object, bounds);
        // The copy has no place in the buffers yet.
        placed->needsRebuild = 1;
        g_Object3D.manager.RefreshIfMeshChanged(object);
        return true;
    });
}

void PerformChecklistForObjectLimbs(std::int32_t n) {
    ObjectRecord* object = GetObjectPointer(n);
    CoreData* core = g_Object3D.core;
    if (!object || !core) return;
    core->checklistHasValues = core->checklistHasStrings = 1;
    const std::int32_t count = FrameCount(object);
    std::size_t longest = 0;
    for (std::int32_t i = 0; i < count; ++i)
        if (object->frames[i]) longest = std::max(longest, NameLength(object->frames[i]->name));
    core->checklistRowsInUse = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        const FrameRecord* frame = object->frames[i];
        if (!frame || !ReserveChecklistString(i, static_cast<std::int32_t>(longest))) break;
        ChecklistEntry& row = core->checklistRows[i];
        const std::size_t length = NameLength(frame->name);
        std::memcpy(row.string, frame->name, length);
        row.string[length] = 0;
        row.values[0] = i;
        row.values[1] = IndexOf(frame->parent);
        row.values[2] = IndexOf(frame->sibling);
        row.values[3] = IndexOf(frame->child);
        core->checklistRowsInUse = i + 1;
    }
    core->checklistMade = core->checklistRowsInUse > 0 ? 1 : 0;
}

// Queries.

bool LimbExist(std::int32_t n, std::int32_t limb) {
    if (!ConfirmObjectInstance(n)) return false;
    if (limb < 0 || limb > kLargestItemNumber) {
        RaiseRuntimeError(kLimbNumberIllegal);
        return false;
    }
    const ObjectRecord* object = ObjectAt(n);
    return limb < FrameCount(IsInstance(object) ? object->instanceSource : object);
}

bool ConfirmLimbCmd(std::int32_t n, std::int32_t limb) {
    return ConfirmObjectAndLimb(n, limb);
}

std::int32_t GetLimbCount(std::int32_t n) {
    return FrameCount(GetObjectPointer(n));
}

float LimbOffsetX(std::int32_t n, std::int32_t limb) {
    return LimbVector(n, limb, &FrameRecord::offset, kX);
}
float LimbOffsetY(std::int32_t n, std::int32_t limb) {
    return LimbVector(n, limb, &FrameRecord::offset, kY);
}
float LimbOffsetZ(std::int32_t n, std::int32_t limb) {
    return LimbVector(n, limb, &FrameRecord::offset, kZ);
}
float LimbAngleX(std::int32_t n, std::int32_t limb) {
    return LimbVector(n, limb, &FrameRecord::rotation, kX);
}
float LimbAngleY(std::int32_t n, std::int32_t limb) {
    return LimbVector(n, limb, &FrameRecord::rotation, kY);
}
float LimbAngleZ(std::int32_t n, std::int32_t limb) {
    return LimbVector(n, limb, &FrameRecord::rotation, kZ);
}
float LimbPositionX(std::int32_t n, std::int32_t limb) {
    return LimbPosition(n, limb, kX);
}
float LimbPositionY(std::int32_t n, std::int32_t limb) {
    return LimbPosition(n, limb, kY);
}
float LimbPositionZ(std::int32_t n, std::int32_t limb) {
    return LimbPosition(n, limb, kZ);
}
float LimbDirectionX(std::int32_t n, std::int32_t limb) {
    return LimbVector(n, limb, &FrameRecord::worldAngle, kX);
}
float LimbDirectionY(std::int32_t n, std::int32_t limb) {
    return LimbVector(n, limb, &FrameRecord::worldAngle, kY);
}
float LimbDirectionZ(std::int32_t n, std::int32_t limb) {
    return LimbVector(n, limb, &FrameRecord::worldAngle, kZ);
}
float LimbScaleX(std::int32_t n, std::int32_t limb) {
    return LimbVector(n, limb, &FrameRecord::scale, kX, kHundred);
}
float LimbScaleY(std::int32_t n, std::int32_t limb) {
    return LimbVector(n, limb, &FrameRecord::scale, kY, kHundred);
}
float LimbScaleZ(std::int32_t n, std::int32_t limb) {
    return LimbVector(n, limb, &FrameRecord::scale, kZ, kHundred);
}

std::int32_t LimbTexture(std::int32_t n, std::int32_t limb, std::int32_t stage) {
    const MeshRecord* mesh = CheckedLimbMesh(n, limb);
    if (!mesh || !mesh->textures || stage < 0 || stage >= mesh->textureCount) return 0;
    return mesh->textures[stage].imageNumber;
}

char* LimbTextureName(char* previous, std::int32_t n, std::int32_t limb, std::int32_t stage) {
    const MeshRecord* mesh = CheckedLimbMesh(n, limb);
    if (mesh && stage >= 0 && mesh->multiMaterials && stage < mesh->multiMaterialCount)
        return NameResult(previous, mesh->multiMaterials[stage].name);
    if (mesh && stage >= 0 && mesh->textures && stage < mesh->textureCount)
        return NameResult(previous, mesh->textures[stage].fileName);
    return TextResult(previous, "", 0);
}

char* LimbTextureName(char* previous, std::int32_t n, std::int32_t limb) {
    return LimbTextureName(previous, n, limb, 0);
}

char* LimbTextureName(std::int32_t n, std::int32_t limb) {
    return LimbTextureName(nullptr, n, limb, 0);
}

char* LimbName(char* previous, std::int32_t n, std::int32_t limb) {
    const FrameRecord* frame = CheckedLimb(n, limb);
    return frame ? NameResult(previous, frame->name) : TextResult(previous, "", 0);
}

bool LimbVisible(std::int32_t n, std::int32_t limb) {
    if (!ConfirmObjectAndLimbInstance(n, limb)) return false;
    const ObjectRecord* object = ObjectAt(n);
    if (IsInstance(object))
        return limb < FrameCount(object->instanceSource) && InstanceShowsLimb(object, limb);
    const MeshRecord* mesh = object->frames[limb]->mesh;
    return mesh && mesh->visible != 0;
}
