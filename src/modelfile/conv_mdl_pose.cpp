#include "core/win32.h"

#include "modelfile/conv_mdl.h"

#include <cmath>

namespace ConvMDL {

namespace {

constexpr float kSameAngle = 0.001f;
constexpr float kHalfPi = 1.57079632679489661923f;

float Dot(const D3DXQUATERNION& a, const D3DXQUATERNION& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}

} // namespace

PoseSampler::PoseSampler(const MDLData& data) : data_(data), cursors_(6 * data.bones.size()) {
    if (!data.animated) return;
    for (std::size_t b = 0; b < data.bones.size(); ++b) {
        const std::uint64_t record = data.animation + 12 * b;
        for (int j = 0; j < 6; ++j) {
            std::uint32_t offset = 0;
            // Decode checked that every bone's record lies in the file.
            data.file.U16(record + 2 * j, offset);
            Cursor& c = cursors_[6 * b + j];
            c.start = c.run = offset ? record + offset : 0;
        }
    }
}

// The two end values of a channel at frame k (apart: the second is a value of its own rather
// than the first again). Runs are {valid, total} and valid values, covering total frames, the
// frames past the valid ones repeating the last value.
bool PoseSampler::Sample(std::size_t bone, int channel, std::int32_t k, bool position, float& a1,
                         float& a2, bool& apart) {
    const ByteSpan& file = data_.file;
    Cursor& c = cursors_[6 * bone + channel];
    if (k < c.first) c.run = c.start, c.first = 0;
    std::uint32_t valid = 0, total = 0;
    for (;;) {
        // A run of no frames would never end the walk; one of no values has no value to repeat.
        if (!file.U8(c.run, valid) || !file.U8(c.run + 1, total) || valid == 0 || total == 0)
            return false;
        if (static_cast<std::int32_t>(total) > k - c.first) break;
        c.first += static_cast<std::int32_t>(total);
        c.run += 2 * (valid + 1);
    }
    const auto at = static_cast<std::uint32_t>(k - c.first);
    std::int32_t first = 0, second = 0;
    const bool inNextRun = total <= at + 1;
    const std::uint64_t nextValue = c.run + 2 * (valid + 1) + 2;
    bool ok = file.I16(c.run + 2 + 2 * (valid > at ? at : valid - 1), first);
    apart = true;
    if (valid > at + 1)
        ok = ok && file.I16(c.run + 2 + 2 * (at + 1), second);
    else if (inNextRun && (valid <= at || !position))
        ok = ok && file.I16(nextValue, second);
    else
        apart = false, second = first;
    a1 = static_cast<float>(first);
    a2 = static_cast<float>(second);
    return ok;
}

bool PoseSampler::MakeSkeleton(float frame, std::vector<BoneTransform>& transforms) {
    const auto k = static_cast<std::int32_t>(frame);
    const float s = frame - static_cast<float>(k);
    transforms.resize(data_.bones.size());
    for (std::size_t b = 0; b < data_.bones.size(); ++b) {
        const Bone& bone = data_.bones[b];
        float position[3], angle1[3], angle2[3];
        bool turning = false;
        for (int j = 0; j < 6; ++j) {
            float a1 = bone.value[j], a2 = bone.value[j];
            bool apart = false;
            // A channel without data keeps the base value; the others scale and offset theirs.
            if (cursors_[6 * b + j].start) {
                if (!Sample(b, j, k, j < 3, a1, a2, apart)) return false;
                a1 = a1 * bone.scale[j] + bone.value[j];
                a2 = a2 * bone.scale[j] + bone.value[j];
            }
            if (j < 3) {
                position[j] = apart ? a1 * (1 - s) + a2 * s : a1;
            } else {
                angle1[j - 3] = a1;
                angle2[j - 3] = a2;
                turning = turning || std::fabs(a1 - a2) > kSameAngle;
            }
        }
        const D3DXQUATERNION q =
            turning ? SlerpQuaternion(EulerToQuaternion(angle1), EulerToQuaternion(angle2), s)
                    : EulerToQuaternion(angle1);
        const BoneTransform local = QuaternionToMatrix(q, position);
        transforms[b] =
            bone.parent < 0 ? local : ConcatBoneTransforms(transforms[bone.parent], local);
    }
    return true;
}

D3DXQUATERNION EulerToQuaternion(const float angles[3]) {
    const float sr = std::sin(angles[0] / 2), cr = std::cos(angles[0] / 2);
    const float sp = std::sin(angles[1] / 2), cp = std::cos(angles[1] / 2);
    const float sy = std::sin(angles[2] / 2), cy = std::cos(angles[2] / 2);
    return {sr * cp * cy - cr * sp * sy, cr * sp * cy + sr * cp * sy, cr * cp * sy - sr * sp * cy,
            cr * cp * cy + sr * sp * sy};
}

D3DXQUATERNION SlerpQuaternion(const D3DXQUATERNION& p, D3DXQUATERNION q, float t) {
    // Of q and -q, the one nearer p: the shorter way round.
    const D3DXQUATERNION difference = p - q, sum = p + q;
    if (Dot(difference, difference) > Dot(sum, sum)) q = -q;
    const float c = Dot(p, q);
    if (1 + c > 1e-8f) {
        float sp = 1 - t, sq = t;
        if (1 - c > 1e-8f) {
            const float omega = std::acos(c), sine = std::sin(omega);
            sp = std::sin((1 - t) * omega) / sine;
            sq = std::sin(t * omega) / sine;
        }
        return p * sp + q * sq;
    }
    // Opposite ends: turn through a quarter of a turn about a perpendicular.
    const D3DXQUATERNION r(-p.y, p.x, -p.w, p.z);
    const float sp = std::sin((1 - t) * kHalfPi), sr = std::sin(t * kHalfPi);
    return {p.x * sp + r.x * sr, p.y * sp + r.y * sr, p.z * sp + r.z * sr, p.z};
}

BoneTransform QuaternionToMatrix(const D3DXQUATERNION& q, const float t[3]) {
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    return {{{1 - 2 * y * y - 2 * z * z, 2 * x * y - 2 * w * z, 2 * x * z + 2 * w * y, t[0]},
             {2 * x * y + 2 * w * z, 1 - 2 * x * x - 2 * z * z, 2 * y * z - 2 * w * x, t[1]},
             {2 * x * z - 2 * w * y, 2 * y * z + 2 * w * x, 1 - 2 * x * x - 2 * y * y, t[2]}}};
}

BoneTransform ConcatBoneTransforms(const BoneTransform& parent, const BoneTransform& child) {
    BoneTransform r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = parent.m[i][0] * child.m[0][j] + parent.m[i][1] * child.m[1][j] +
                        parent.m[i][2] * child.m[2][j];
        r.m[i][3] += parent.m[i][3];
    }
    return r;
}

D3DXMATRIX PoseMatrix(const BoneTransform& t) {
    const float(*m)[4] = t.m;
    return D3DXMATRIX(m[0][0], m[1][0], m[2][0], 0, m[0][1], m[1][1], m[2][1], 0, m[0][2], m[1][2],
                      m[2][2], 0, m[0][3], m[1][3], m[2][3], 1);
}

} // namespace ConvMDL
