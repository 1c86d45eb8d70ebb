#include "core/win32.h"

#include "object3d/keyframes.h"
#include "core/load_budget.h"
#include "core/media.h"
#include "object3d/frame_hierarchy.h"
#include "object3d/model_files.h"
#include "object3d/object_lists.h"
#include "object3d/object_records.h"
#include "object3d/object_world.h"

#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace {

float KeyTime(std::uint32_t time) {
    return static_cast<float>(time);
}

// The last key at or before time, scanning from start; 0 when even the first key is later.
template <typename Key>
std::uint32_t FindKey(const Key* keys, std::uint32_t count, float time, std::uint32_t start = 0) {
    std::uint32_t i = start;
    while (i + 1 < count && KeyTime(keys[i + 1].time) <= time)
        ++i;
    return i;
}

// Fraction of the way from key a to key b; two keys at one time are a step, not a division by 0.
float KeyFraction(std::uint32_t a, std::uint32_t b, float time) {
    const float span = KeyTime(b) - KeyTime(a);
    return span != 0 ? (time - KeyTime(a)) / span : 0.0f;
}

void InterpolateVectorKeys(D3DXVECTOR3* out, const PositionKey* keys, std::uint32_t count,
                           float time) {
    if (!out || !keys || count == 0) return;
    const std::uint32_t i = FindKey(keys, count, time);
    const PositionKey& k = keys[i];
    *out = i + 1 == count ? k.value : k.value + (time - KeyTime(k.time)) * k.delta;
}

bool HasPositionKeys(const AnimationRecord* a) {
    return a && a->positionKeys && a->positionKeyCount > 0;
}
bool HasRotationKeys(const AnimationRecord* a) {
    return a && a->rotationKeys && a->rotationKeyCount > 0;
}
bool HasScaleKeys(const AnimationRecord* a) {
    return a && a->scaleKeys && a->scaleKeyCount > 0;
}
const AnimationRecord* MatrixKeySource(const AnimationRecord* a) {
    if (!a) return nullptr;
    const AnimationRecord* source = a->keySource ? a->keySource : a;
    return source->matrixKeys && source->matrixKeyCount > 0 ? source : nullptr;
}

D3DXVECTOR3 Lerp(const D3DXVECTOR3& a, const D3DXVECTOR3& b, float f) {
    return a + (b - a) * f;
}

// The frame's transformation starts again from its user matrix: animated frames ignore the
// matrix they were loaded with.
FrameRecord* ResetAnimatedFrame(AnimationRecord* animation) {
    if (!animation || !animation->frame) return nullptr;
    FrameRecord* frame = animation->frame;
    frame->transformMatrix = frame->userMatrix;
    frame->computed = 0;
    return frame;
}

// keys := keys followed by extra; a null array when both are empty.
template <typename Key>
bool AppendKeys(Key*& keys, std::uint32_t& count, const Key* extra, std::uint32_t extraCount) {
    if (!extra) extraCount = 0;
    if (extraCount > std::numeric_limits<std::uint32_t>::max() - count) return false;
    const std::uint32_t total = count + extraCount;
    Key* merged = nullptr;
    if (total > 0) {
        merged = new (std::nothrow) Key[total];
        if (!merged) return false;
        if (count > 0) std::memcpy(merged, keys, count * sizeof(Key));
        if (extraCount > 0) std::memcpy(merged + count, extra, extraCount * sizeof(Key));
    }
    delete[] keys;
    keys = merged;
    count = total;
    return true;
}

template <typename Key> void ShiftKeyTimes(Key* keys, std::uint32_t count, std::uint32_t offset) {
    for (std::uint32_t i = 0; keys && i < count; ++i)
        keys[i].time += offset;
}

bool MergeAnimation(AnimationRecord* into, AnimationRecord* from, std::uint32_t offset) {
    ShiftKeyTimes(from->positionKeys, from->positionKeyCount, offset);
    ShiftKeyTimes(from->rotationKeys, from->rotationKeyCount, offset);
    ShiftKeyTimes(from->scaleKeys, from->scaleKeyCount, offset);
    ShiftKeyTimes(from->matrixKeys, from->matrixKeyCount, offset);
    const bool merged =
        AppendKeys(into->positionKeys, into->positionKeyCount, from->positionKeys,
                   from->positionKeyCount) &&
        AppendKeys(into->rotationKeys, into->rotationKeyCount, from->rotationKeys,
                   from->rotationKeyCount) &&
        AppendKeys(into->scaleKeys, into->scaleKeyCount, from->scaleKeys, from->scaleKeyCount) &&
        AppendKeys(into->matrixKeys, into->matrixKeyCount, from->matrixKeys, from->matrixKeyCount);
    // The last of the object's own keys now leads on to the first appended one.
    UpdateVectorKeyDeltas(into->positionKeys, into->positionKeyCount);
    UpdateVectorKeyDeltas(into->scaleKeys, into->scaleKeyCount);
    return merged;
}

// The animation of chain with name, searched from start to the chain's end and then from its
// head up to start, so that repeated names pair off in order.
AnimationRecord* FindNameFrom(AnimationRecord* head, AnimationRecord* start, const char* name) {
    for (AnimationRecord* a = start; a; a = a->next)
        if (_strnicmp(a->name, name, kRecordNameLength) == 0) return a;
    for (AnimationRecord* a = head; a && a != start; a = a->next)
        if (_strnicmp(a->name, name, kRecordNameLength) == 0) return a;
    return nullptr;
}

} // namespace

void InterpolatePositionKeys(D3DXVECTOR3* out, const AnimationRecord* animation, float time) {
    if (HasPositionKeys(animation))
        InterpolateVectorKeys(out, animation->positionKeys, animation->positionKeyCount, time);
}

void InterpolateScaleKeys(D3DXVECTOR3* out, const AnimationRecord* animation, float time) {
    if (HasScaleKeys(animation))
        InterpolateVectorKeys(out, animation->scaleKeys, animation->scaleKeyCount, time);
}

void SmoothPositionKeys(D3DXVECTOR3* out, const AnimationRecord* animation, float time) {
    if (!out || !HasPositionKeys(animation)) return;
    const PositionKey* keys = animation->positionKeys;
    const std::uint32_t last = animation->positionKeyCount - 1;
    const std::uint32_t i = FindKey(keys, animation->positionKeyCount, time);
    if (i == last) {
        *out = keys[last].value;
        return;
    }
    const PositionKey& p0 = keys[i > 0 ? i - 1 : 0];
    const PositionKey& p1 = keys[i];
    const PositionKey& p2 = keys[i + 1];
    const PositionKey& p3 = keys[i + 2 <= last ? i + 2 : last];
    D3DXVec3CatmullRom(out, &p0.value, &p1.value, &p2.value, &p3.value,
                       KeyFraction(p1.time, p2.time, time));
}

void InterpolateRotationKeys(D3DXQUATERNION* out, const AnimationRecord* animation, float time) {
    if (!out || !HasRotationKeys(animation)) return;
    const RotationKey* keys = animation->rotationKeys;
    const std::uint32_t count = animation->rotationKeyCount;
    const std::uint32_t i = FindKey(keys, count, time);
    if (i + 1 == count) {
        *out = keys[i].value;
        return;
    }
    D3DXQuaternionSlerp(out, &keys[i].value, &keys[i + 1].value,
                        KeyFraction(keys[i].time, keys[i + 1].time, time));
}

void InterpolateMatrixKeys(D3DXMATRIX* out, const AnimationRecord* animation, float time) {
    if (!out || !animation || !animation->matrixKeys || animation->matrixKeyCount == 0) return;
    const MatrixKey* keys = animation->matrixKeys;
    const std::uint32_t count = animation->matrixKeyCount;
    std::uint32_t start = animation->matrixSearchStart;
    if (start >= count || KeyTime(keys[start].time) > time) start = 0;
    const std::uint32_t i = FindKey(keys, count, time, start);
    const MatrixKey& k = keys[i];
    *out = i + 1 == count ? k.value : k.value + k.delta * (time - KeyTime(k.time));
}

bool ApplyScaleKeys(AnimationRecord* animation, D3DXMATRIX* matrix, float time) {
    if (!matrix || !HasScaleKeys(animation)) return false;
    D3DXVECTOR3 s;
    InterpolateScaleKeys(&s, animation, time);
    D3DXMATRIX scale;
    *matrix = Multiply(*matrix, *D3DXMatrixScaling(&scale, s.x, s.y, s.z));
    return true;
}

bool ApplyRotationKeys(AnimationRecord* animation, D3DXMATRIX* matrix, float time) {
    if (!matrix || !HasRotationKeys(animation)) return false;
    D3DXQUATERNION q;
    InterpolateRotationKeys(&q, animation, time);
    D3DXMATRIX rotation;
    *matrix = Multiply(*matrix, *D3DXMatrixRotationQuaternion(&rotation, &q));
    return true;
}

bool ApplyPositionKeys(AnimationRecord* animation, D3DXMATRIX* matrix, float time) {
    if (!matrix || !HasPositionKeys(animation)) return false;
    D3DXVECTOR3 p;
    if (animation->linear != 1)
        SmoothPositionKeys(&p, animation, time);
    else
        InterpolatePositionKeys(&p, animation, time);
    D3DXMATRIX translation;
    *matrix = Multiply(*matrix, *D3DXMatrixTranslation(&translation, p.x, p.y, p.z));
    return true;
}

bool ApplyMatrixKeys(AnimationRecord* animation, D3DXMATRIX* matrix, float time) {
    const AnimationRecord* source = MatrixKeySource(animation);
    if (!matrix || !source) return false;
    D3DXMATRIX sample;
    InterpolateMatrixKeys(&sample, source, time);
    *matrix = Multiply(sample, *matrix);
    return true;
}

bool ApplyBlendedScaleKeys(AnimationRecord* animation, D3DXMATRIX* matrix, float time1, float time2,
                           float factor) {
    if (!matrix || !HasScaleKeys(animation)) return false;
    D3DXVECTOR3 a, b;
    InterpolateScaleKeys(&a, animation, time1);
    InterpolateScaleKeys(&b, animation, time2);
    const D3DXVECTOR3 s = Lerp(a, b, factor);
    D3DXMATRIX scale;
    *matrix = Multiply(*matrix, *D3DXMatrixScaling(&scale, s.x, s.y, s.z));
    return true;
}

bool ApplyBlendedRotationKeys(AnimationRecord* animation, D3DXMATRIX* matrix, float time1,
                              float time2, float factor) {
    if (!matrix || !HasRotationKeys(animation)) return false;
    D3DXQUATERNION a, b;
    InterpolateRotationKeys(&a, animation, time1);
    InterpolateRotationKeys(&b, animation, time2);
    // Component by component, not renormalised.
    const D3DXQUATERNION q = a + (b - a) * factor;
    D3DXMATRIX rotation;
    *matrix = Multiply(*matrix, *D3DXMatrixRotationQuaternion(&rotation, &q));
    return true;
}

bool ApplyBlendedPositionKeys(AnimationRecord* animation, D3DXMATRIX* matrix, float time1,
                              float time2, float factor) {
    if (!matrix || !HasPositionKeys(animation)) return false;
    D3DXVECTOR3 a, b;
    InterpolatePositionKeys(&a, animation, time1);
    InterpolatePositionKeys(&b, animation, time2);
    const D3DXVECTOR3 p = Lerp(a, b, factor);
    D3DXMATRIX translation;
    *matrix = Multiply(*matrix, *D3DXMatrixTranslation(&translation, p.x, p.y, p.z));
    return true;
}

bool ApplyBlendedMatrixKeys(AnimationRecord* animation, D3DXMATRIX* matrix, float time1,
                            float time2, float factor) {
    const AnimationRecord* source = MatrixKeySource(animation);
    if (!matrix || !source) return false;
    D3DXMATRIX a, b;
    InterpolateMatrixKeys(&a, source, time1);
    InterpolateMatrixKeys(&b, source, time2);
    *matrix = Multiply(a + (b - a) * factor, *matrix);
    return true;
}

bool SampleAnimation(AnimationRecord* animation, float time) {
    FrameRecord* frame = ResetAnimatedFrame(animation);
    if (!frame) return false;
    D3DXMATRIX* m = &frame->transformMatrix;
    ApplyScaleKeys(animation, m, time);
    ApplyRotationKeys(animation, m, time);
    ApplyPositionKeys(animation, m, time);
    ApplyMatrixKeys(animation, m, time);
    return true;
}

bool SampleBlendedAnimation(AnimationRecord* animation, float time1, float time2, float factor) {
    FrameRecord* frame = ResetAnimatedFrame(animation);
    if (!frame) return false;
    D3DXMATRIX* m = &frame->transformMatrix;
    ApplyBlendedScaleKeys(animation, m, time1, time2, factor);
    ApplyBlendedRotationKeys(animation, m, time1, time2, factor);
    ApplyBlendedPositionKeys(animation, m, time1, time2, factor);
    ApplyBlendedMatrixKeys(animation, m, time1, time2, factor);
    return true;
}

bool AnimateObject(ObjectRecord* object, float time) {
    if (!object) return false;
    RebuildFrameTransforms(object->rootFrame);
    if (!object->animationSet) return true;
    for (AnimationRecord* a = object->animationSet->animation; a; a = a->next) {
        if (object->blendFlag == 0)
            SampleAnimation(a, time);
        else
            SampleBlendedAnimation(a, object->blendTimes[0], object->blendTimes[1],
                                   object->blendFactor);
    }
    return true;
}

bool AppendAnimationOf(ObjectRecord* object, ObjectRecord* source, std::uint32_t offset) {
    if (!object || !source || !object->animationSet || !source->animationSet) return false;
    AnimationRecord* head = object->animationSet->animation;
    AnimationRecord* resume = head;
    bool matched = false;
    for (AnimationRecord* b = source->animationSet->animation; b && head; b = b->next) {
        AnimationRecord* a = FindNameFrom(head, resume, b->name);
        if (!a) continue;
        if (!MergeAnimation(a, b, offset)) return false;
        matched = true;
        resume = a->next ? a->next : head;
    }
    if (!matched) return false;
    AnimationSetRecord* set = object->animationSet;
    set->length += source->animationSet->length;
    LinkAnimationsToFrames(object);
    if (!CalculateObjectBounds(object)) return false;
    object->endFrame = static_cast<float>(set->length);
    return true;
}

bool AppendAnimationFromFile(ObjectRecord* object, const char* fileName, std::uint32_t offset) {
    if (!object) return false;
    // The file's load lasts until the append is known: a file the append refuses leaves nothing
    // its conversion wrote (a studio model's skins) in the temporary folder.
    LoadScope load(MediaFileSize(fileName));
    ObjectRecord* source = nullptr;
    const bool appended = load.Guard([&] {
        return LoadObjectFile(fileName, &source, ObjectFileUse::kReadFrom) && source;
    }) && AppendAnimationOf(object, source, offset);
    if (!appended) load.Fail();
    delete source;
    return appended;
}
