#include "core/win32.h"

#include "object3d/object3d.h"
#include "core/core.h"
#include "object3d/effect.h"
#include "object3d/object_state.h"
#include "object3d/vertex_data_commands.h"
#include "core/error_numbers.h"

namespace {

bool InItemRange(std::int32_t n) {
    return n >= 1 && n <= kLargestItemNumber;
}

bool InEffectRange(std::int32_t n) {
    return n >= 1 && n < kEffectSlots;
}

// The object checks; an instance passes only when instances are accepted, and fails silently
// otherwise.
bool CheckObject(std::int32_t n, bool acceptInstance) {
    if (!InItemRange(n)) {
        RaiseRuntimeError(kObjectNumberIllegal);
        return false;
    }
    const ObjectRecord* object = ObjectAt(n);
    if (IsInstance(object)) return acceptInstance;
    if (!HasData(object)) {
        RaiseRuntimeError(kObjectMissing);
        return false;
    }
    return true;
}

bool CheckLimb(std::int32_t n, std::int32_t limb, bool acceptInstance) {
    if (!CheckObject(n, acceptInstance)) return false;
    const ObjectRecord* object = ObjectAt(n);
    if (limb < 0 || limb > kLargestItemNumber) {
        RaiseRuntimeError(kLimbNumberIllegal);
        return false;
    }
    // An instance's limbs are its source's: the commands reach them through its frames.
    const ObjectRecord* frames = object->instanceSource ? object->instanceSource : object;
    if (limb >= frames->frameCount || !frames->frames || !frames->frames[limb]) {
        RaiseRuntimeError(kLimbMissing);
        return false;
    }
    return true;
}

} // namespace

bool ConfirmObject(std::int32_t n) {
    return CheckObject(n, false);
}

bool ConfirmObjectInstance(std::int32_t n) {
    return CheckObject(n, true);
}

bool ObjectExists(std::int32_t n) {
    if (!InItemRange(n)) return false;
    const ObjectRecord* object = ObjectAt(n);
    return HasData(object) || IsInstance(object);
}

bool ConfirmNewObject(std::int32_t n) {
    if (!InItemRange(n)) {
        RaiseRuntimeError(kObjectNumberIllegal);
        return false;
    }
    if (HasData(ObjectAt(n))) {
        RaiseRuntimeError(kObjectExists);
        return false;
    }
    return true;
}

bool ConfirmObjectAndLimb(std::int32_t n, std::int32_t limb) {
    return CheckLimb(n, limb, false);
}

bool ConfirmObjectAndLimbInstance(std::int32_t n, std::int32_t limb) {
    return CheckLimb(n, limb, true);
}

bool ConfirmMesh(std::int32_t n) {
    const Object3DState& s = g_Object3D;
    if (!InItemRange(n)) {
        RaiseRuntimeError(kMeshNumberIllegal);
        return false;
    }
    if (n >= s.meshCapacity || !s.meshes || !s.meshes[n]) {
        RaiseRuntimeError(kMeshMissing);
        return false;
    }
    return true;
}

bool ConfirmNewMesh(std::int32_t n) {
    Object3DState& s = g_Object3D;
    if (!InItemRange(n)) {
        RaiseRuntimeError(kMeshNumberIllegal);
        return false;
    }
    if (n < s.meshCapacity && s.meshes && s.meshes[n]) {
        ForgetVertexDataLock(nullptr, s.meshes[n]);
        delete s.meshes[n];
        s.meshes[n] = nullptr;
    }
    return true;
}

bool ConfirmEffect(std::int32_t n) {
    if (!InEffectRange(n)) {
        RaiseRuntimeError(kEffectNumberIllegal);
        return false;
    }
    if (!g_Object3D.effects[n]) {
        RaiseRuntimeError(kEffectMissing);
        return false;
    }
    return true;
}

bool ConfirmNewEffect(std::int32_t n) {
    if (!InEffectRange(n)) {
        RaiseRuntimeError(kEffectNumberIllegal);
        return false;
    }
    if (g_Object3D.effects[n]) {
        RaiseRuntimeError(kEffectExists);
        return false;
    }
    return true;
}
