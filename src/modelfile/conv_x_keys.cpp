#include "core/win32.h"

#include "core/load_budget.h"
#include "modelfile/conv_x_internal.h"
#include "object3d/object_records.h"

#include <algorithm>
#include <new>
#include <vector>

namespace ConvX {

namespace {

enum KeyType : std::uint32_t {
    kRotation = 0,
    kScale = 1,
    kPosition = 2,
    kNothing = 3,
    kMatrix = 4
};

std::uint32_t ValuesOf(std::uint32_t type) {
    switch (type) {
    case kRotation:
        return 4;
    case kScale:
    case kPosition:
        return 3;
    case kMatrix:
        return 16;
    default:
        return 0;
    }
}

template <typename Key>
void Replace(Key*& keys, std::uint32_t& count, const std::vector<Key>& made) {
    RequireLoad(made.size(), sizeof(Key));
    Key* array = made.empty() ? nullptr : new (std::nothrow) Key[made.size()];
    if (!made.empty() && !array) return;
    std::copy(made.begin(), made.end(), array);
    delete[] keys;
    keys = array;
    count = array ? static_cast<std::uint32_t>(made.size()) : 0;
}

// Each matrix key but the last changes towards the next by this much per tick.
void SetMatrixDeltas(std::vector<MatrixKey>& keys) {
    for (std::size_t k = 0; k + 1 < keys.size(); ++k) {
        const std::uint32_t span = keys[k + 1].time - keys[k].time;
        keys[k].delta = (keys[k + 1].value - keys[k].value) / static_cast<float>(span ? span : 1);
    }
}

} // namespace

bool ReadAnimationKey(IDirectXFileData* key, AnimationSetRecord* set, AnimationRecord* animation) {
    const std::uint8_t* bytes = nullptr;
    DWORD size = 0;
    if (!GetObjectData(key, &bytes, &size)) return true;
    DataReader r(bytes, size);
    std::uint32_t type = 0, count = 0;
    if (!r.Dword(&type) || !r.Dword(&count)) return true;
    const std::uint32_t values = ValuesOf(type);
    // Every key holds at least its time, its value count and its values.
    if (values == 0 || !r.Holds(count, 8 + 4 * values)) return true;
    // The keys as read, before they replace the animation's own.
    RequireLoad(count, type == kRotation ? sizeof(RotationKey)
                       : type == kMatrix ? sizeof(MatrixKey)
                                         : sizeof(PositionKey));
    std::vector<PositionKey> vectors;
    std::vector<RotationKey> rotations;
    std::vector<MatrixKey> matrices;
    std::uint32_t latest = set->length;
    for (std::uint32_t k = 0; k < count; ++k) {
        std::uint32_t time = 0, n = 0;
        float v[16];
        // A key of another value count than its kind ends this object's reading, keeping the
        // animation's keys as they were.
        if (!r.Dword(&time) || !r.Dword(&n) || n != values || !r.Floats(v, values)) return true;
        latest = std::max(latest, time);
        if (type == kRotation) {
            rotations.push_back({time, D3DXQUATERNION(-v[1], -v[2], -v[3], v[0])});
        } else if (type == kMatrix) {
            MatrixKey m{};
            m.time = time;
            m.value = D3DXMATRIX(v);
            m.delta = kZeroMatrix;
            matrices.push_back(m);
        } else {
            vectors.push_back({time, D3DXVECTOR3(v[0], v[1], v[2]), D3DXVECTOR3(0, 0, 0)});
        }
    }
    set->length = latest;
    switch (type) {
    case kRotation:
        Replace(animation->rotationKeys, animation->rotationKeyCount, rotations);
        break;
    case kScale:
        Replace(animation->scaleKeys, animation->scaleKeyCount, vectors);
        break;
    case kPosition:
        Replace(animation->positionKeys, animation->positionKeyCount, vectors);
        break;
    case kMatrix:
        SetMatrixDeltas(matrices);
        Replace(animation->matrixKeys, animation->matrixKeyCount, matrices);
        break;
    default:
        break;
    }
    return true;
}

} // namespace ConvX
