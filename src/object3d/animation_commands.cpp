#include "core/win32.h"

#include "object3d/animation_commands.h"
#include "core/core.h"
#include "core/media.h"
#include "object3d/keyframes.h"
#include "object3d/object3d.h"
#include "object3d/object_state.h"
#include "object3d/object_world.h"
#include "object3d/positioning.h"
#include "core/error_numbers.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

// Percentages read back through this factor, not 100.
constexpr float kPercentReadBack = 100.00001f;

ObjectRecord* Checked(std::int32_t n) {
    return ConfirmObject(n) ? g_Object3D.objects[n] : nullptr;
}

ObjectRecord* CheckedInstance(std::int32_t n) {
    return ConfirmObjectInstance(n) ? g_Object3D.objects[n] : nullptr;
}

// The value as a float, without the extra precision the x87 unit may still carry.
float Stored(float value) {
    volatile float stored = value;
    return stored;
}

float Percent(std::int32_t percent) {
    return Stored(static_cast<float>(percent) * 0.01f);
}

// The limb's frame, or null when the object's list has no such limb.
FrameRecord* LimbFrame(const ObjectRecord* object, std::int32_t limb) {
    if (!object || !object->frames || limb < 0) return nullptr;
    const std::int32_t count = object->frameCount < 0 ? -object->frameCount : object->frameCount;
    return limb < count ? object->frames[limb] : nullptr;
}

// An orientation changes the world matrix and where the bounds centre lies about the position:
// both are found again at once, so that world values read right after are current.
void Reoriented(ObjectRecord* object) {
    object->collision.centreFixed = 0;
    UpdateObjectWorld(object);
}

// A rotation with any translation and scale taken out: used as the object's own rotation, a
// translation would move the object off its position and a scale would size it and its moves.
D3DXMATRIX RotationPart(D3DXMATRIX m) {
    m._41 = m._42 = m._43 = 0;
    for (int row = 0; row < 3; ++row) {
        const float length = std::sqrt(m.m[row][0] * m.m[row][0] + m.m[row][1] * m.m[row][1] +
                                       m.m[row][2] * m.m[row][2]);
        if (length > 0)
            for (int column = 0; column < 3; ++column)
                m.m[row][column] /= length;
    }
    return m;
}

void Play(ObjectRecord* object, std::uint8_t looping) {
    object->animationPlaying = 1;
    object->animationLooping = looping;
}

void PlayFrom(ObjectRecord* object, std::uint8_t looping, float frame) {
    Play(object, looping);
    object->currentFrame = frame;
}

// The glued object takes its glue fields and is placed again.
void Glue(ObjectRecord* object, std::int32_t target, std::int32_t limb) {
    ObjectPosition& p = object->position;
    p.glued = 1;
    p.glueObject = target;
    p.glueLimb = limb;
    Reoriented(object);
}

void ClearGlue(ObjectRecord* object) {
    ObjectPosition& p = object->position;
    p.glued = 0;
    p.glueObject = 0;
    p.glueLimb = 0;
}

void CopyObjectOrientation(ObjectRecord* to, const ObjectRecord* from, std::int32_t mode) {
    ObjectPosition& d = to->position;
    const ObjectPosition& s = from->position;
    d.matrixMode = s.matrixMode;
    d.matFreeFlight = s.matFreeFlight;
    d.rotationOrder = s.rotationOrder;
    d.angle = s.angle;
    d.matRotation = s.matRotation;
    d.matRotateX = s.matRotateX;
    d.matRotateY = s.matRotateY;
    d.matRotateZ = s.matRotateZ;
    if (mode == 1) {
        d.pivot = s.pivot;
        d.matPivot = s.matPivot;
    }
    d.look = s.look;
    d.up = s.up;
    d.right = s.right;
}

// The limb's orientation within its object as the object's free-flight rotation.
void CopyLimbOrientation(ObjectRecord* to, const FrameRecord* frame) {
    ObjectPosition& d = to->position;
    d.matFreeFlight = RotationPart(frame->combinedMatrix);
    d.matrixMode = 1;
    // The angles and look vectors follow, as after a free-flight turn.
    MatrixToEulerAngles(&d.matFreeFlight, &d.angle);
    UpdateObjectLookVectors(to);
}

void SetRotationOrder(std::int32_t n, std::int32_t order) {
    ObjectRecord* object = CheckedInstance(n);
    if (!object) return;
    object->position.rotationOrder = order;
    UpdateObjectLookVectors(object);
    Reoriented(object);
}

} // namespace

void PlayObject(std::int32_t n) {
    if (ObjectRecord* object = Checked(n)) PlayFrom(object, 0, 0);
}

void PlayObject(std::int32_t n, std::int32_t start) {
    ObjectRecord* object = Checked(n);
    if (!object) return;
    const float from = static_cast<float>(start);
    PlayFrom(object, 0, from);
    if (from > object->endFrame) object->endFrame = object->totalFrames;
}

void PlayObject(std::int32_t n, std::int32_t start, std::int32_t end) {
    ObjectRecord* object = Checked(n);
    if (!object) return;
    PlayFrom(object, 0, static_cast<float>(start));
    object->endFrame = static_cast<float>(end);
}

void LoopObject(std::int32_t n) {
    if (ObjectRecord* object = Checked(n)) PlayFrom(object, 1, 0);
}

void LoopObject(std::int32_t n, std::int32_t start) {
    ObjectRecord* object = Checked(n);
    if (!object) return;
    const float from = static_cast<float>(start);
    Play(object, 1);
    object->startFrame = from;
    if (from > object->currentFrame) object->currentFrame = from;
}

void LoopObject(std::int32_t n, std::int32_t start, std::int32_t end) {
    ObjectRecord* object = Checked(n);
    if (!object) return;
    const float from = static_cast<float>(start);
    Play(object, 1);
    object->startFrame = from;
    object->endFrame = static_cast<float>(end);
    if (object->currentFrame < from) object->currentFrame = from;
    if (object->currentFrame > object->endFrame) object->currentFrame = from;
}

void StopObject(std::int32_t n) {
    ObjectRecord* object = Checked(n);
    if (!object) return;
    object->animationPlaying = 0;
    object->animationLooping = 0;
}

void SetObjectSpeed(std::int32_t n, std::int32_t percent) {
    if (ObjectRecord* object = Checked(n)) object->speed = Percent(percent);
}

void SetObjectFrame(std::int32_t n, float frame, std::int32_t boundsMode) {
    ObjectRecord* object = Checked(n);
    if (!object) return;
    if (object->blendStep != 1.0f && !object->animationPlaying) {
        // The frame itself is left where it is: the render manager blends it to the target.
        object->blendFrom = object->currentFrame;
        object->blending = 1;
        object->blendTarget = frame;
        object->blendProgress = 0;
    } else {
        object->currentFrame = frame;
    }
    object->frameChanged = 1;
    if (boundsMode == 1) {
        object->boundsFollow = 1;
        object->recalculate = 1;
    } else if (boundsMode == 2 && object->boundsFollow == 1) {
        object->boundsFollow = 0;
        object->recalculate = 1;
    }
}

void SetObjectFrame(std::int32_t n, std::int32_t frame) {
    SetObjectFrame(n, static_cast<float>(frame));
}

void SetObjectInterpolation(std::int32_t n, std::int32_t percent) {
    ObjectRecord* object = Checked(n);
    if (!object) return;
    object->blendStep = Percent(percent);
    if (percent == 100) object->blending = 0;
}

std::int32_t AppendObject(const char* fileName, std::int32_t n, std::int32_t start) {
    ObjectRecord* object = Checked(n);
    if (!object) return 0;
    AnimationSetRecord* set = object->animationSet;
    if (!set) {
        RaiseRuntimeError(kAppendBeyondEnd);
        return 0;
    }
    // Appended keys must come after the object's own: the samplers expect ascending times.
    const std::int64_t length = set->length;
    if (start < length) {
        RaiseRuntimeError(kAppendBeforeEnd);
        return 0;
    }
    if (start > length + 1) {
        RaiseRuntimeError(kAppendBeyondEnd);
        return 0;
    }
    ScopedMediaName name(g_Object3D.core, fileName);
    if (!name.Ok() ||
        !AppendAnimationFromFile(object, name.Text(), static_cast<std::uint32_t>(start))) {
        RaiseRuntimeError(kAppendFailed);
        return 0;
    }
    object->totalFrames = static_cast<float>(object->animationSet->length);
    return 1;
}

bool ObjectPlaying(std::int32_t n) {
    const ObjectRecord* object = Checked(n);
    return object && object->animationPlaying != 0;
}

bool ObjectLooping(std::int32_t n) {
    const ObjectRecord* object = Checked(n);
    return object && object->animationLooping != 0;
}

float ObjectFrame(std::int32_t n) {
    const ObjectRecord* object = Checked(n);
    return object ? object->currentFrame : 0.0f;
}

float ObjectSpeed(std::int32_t n) {
    const ObjectRecord* object = Checked(n);
    return object ? Stored(object->speed * kPercentReadBack) : 0.0f;
}

float ObjectInterpolation(std::int32_t n) {
    const ObjectRecord* object = Checked(n);
    return object ? Stored(object->blendStep * kPercentReadBack) : 0.0f;
}

std::int32_t TotalObjectFrames(std::int32_t n) {
    const ObjectRecord* object = Checked(n);
    if (!object) return 0;
    // A float beyond the int range has no int: it is held at the range's ends.
    const float total = object->totalFrames;
    using Limits = std::numeric_limits<std::int32_t>;
    if (total != total) return 0;
    if (total <= -2147483648.0f) return Limits::min();
    if (total >= 2147483648.0f) return Limits::max();
    return static_cast<std::int32_t>(total);
}

void GlueObjectToLimb(std::int32_t n, std::int32_t target, std::int32_t limb, std::int32_t mode) {
    ObjectRecord* object = Checked(n);
    if (!object || !ConfirmObjectAndLimb(target, limb)) return;
    if (mode == 2) object->position.position = D3DXVECTOR3(0, 0, 0);
    Glue(object, target, mode == 1 ? -limb : limb);
}

void UnglueObject(std::int32_t n) {
    ObjectRecord* object = Checked(n);
    if (!object) return;
    ObjectPosition& p = object->position;
    if (p.glueObject < 1 || p.glueObject > kLargestItemNumber) return;
    ObjectRecord* target = ObjectAt(p.glueObject);
    if (!HasData(target)) return;
    const std::int32_t limb = p.glueLimb < 0 ? -p.glueLimb : p.glueLimb;
    // A limb removed since the glue was made leaves the object where it was.
    if (const FrameRecord* frame = LimbFrame(target, limb)) {
        UpdateObjectWorld(target);
        const D3DXMATRIX world = Multiply(frame->combinedMatrix, target->position.matWorld);
        p.position = D3DXVECTOR3(world._41, world._42, world._43);
    }
    ClearGlue(object);
    Reoriented(object);
}

void SetObjectRotationXYZ(std::int32_t n) {
    SetRotationOrder(n, 0);
}

void SetObjectRotationZYX(std::int32_t n) {
    SetRotationOrder(n, 1);
}

void SetObjectToObjectOrientation(std::int32_t n, std::int32_t source) {
    SetObjectToObjectOrientation(n, source, -1, 0);
}

void SetObjectToObjectOrientation(std::int32_t n, std::int32_t source, std::int32_t mode) {
    SetObjectToObjectOrientation(n, source, -1, mode);
}

void SetObjectToObjectOrientation(std::int32_t n, std::int32_t source, std::int32_t limb,
                                  std::int32_t mode) {
    ObjectRecord* object = Checked(n);
    if (!object) return;
    if (limb != -1 && !ConfirmObjectAndLimb(source, limb)) return;
    const ObjectRecord* from = Checked(source);
    if (!from) return;
    if (limb == -1) {
        CopyObjectOrientation(object, from, mode);
    } else if (const FrameRecord* frame = LimbFrame(from, limb)) {
        CopyLimbOrientation(object, frame);
    }
    Reoriented(object);
}

void SetObjectToCameraOrientation(std::int32_t n) {
    ObjectRecord* object = CheckedInstance(n);
    if (!object) return;
    const Object3DState& s = g_Object3D;
    const std::int32_t current = s.core ? s.core->currentCamera : 0;
    const CameraRecord* camera =
        s.cameras.getInternalData ? s.cameras.getInternalData(current) : nullptr;
    if (!camera) return;
    ObjectPosition& p = object->position;
    p.look = camera->look;
    p.up = camera->up;
    p.right = camera->right;
    p.matrixMode = camera->matrixMode;
    D3DXMATRIX inverse;
    if (!D3DXMatrixInverse(&inverse, nullptr, &camera->view)) D3DXMatrixIdentity(&inverse);
    // The camera's place is in its inverse view; the object keeps its own.
    p.matFreeFlight = RotationPart(inverse);
    p.angle = camera->angle;
    p.rotationOrder = camera->rotationOrder == 0 ? 1 : 0;
    Reoriented(object);
}

void SetObjectWorldMatrix(std::int32_t n, const float* matrix) {
    ObjectRecord* object = Checked(n);
    if (!object || !matrix) return;
    object->position.matWorld = D3DXMATRIX(matrix);
    object->position.matrixLocked = 1;
}

void GetLimbWorldMatrix(std::int32_t n, std::int32_t limb, float* out) {
    if (!ConfirmObjectAndLimb(n, limb) || !out) return;
    ObjectRecord* object = g_Object3D.objects[n];
    const FrameRecord* frame = LimbFrame(object, limb);
    if (!frame) return;
    UpdateObjectWorld(object);
    const D3DXMATRIX world = Multiply(frame->combinedMatrix, object->position.matWorld);
    std::memcpy(out, &world, sizeof world);
}

float GetObjectAngleXFloat(std::int32_t n) {
    return ObjectAngleX(n);
}

float GetObjectAngleYFloat(std::int32_t n) {
    return ObjectAngleY(n);
}

float GetObjectAngleZFloat(std::int32_t n) {
    return ObjectAngleZ(n);
}
