#include "core/win32.h"

#include "object3d/object_manager.h"
#include "core/load_budget.h"
#include "object3d/frame_hierarchy.h"
#include "object3d/keyframes.h"
#include "object3d/mesh_convert.h"
#include "object3d/object_lists.h"
#include "object3d/object_records.h"
#include "object3d/skinning.h"
#include "object3d/vertex_layout.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <unordered_map>
#include <vector>

// What an object's first frame makes and does is known when it is loaded: the load is charged for
// it (see FirstFrameBytes), so that a small file can neither make the device's memory grow
// without end nor ask for frames that take seconds. Figures measured under Wine with its software
// renderer, the platform the tests and the budget's ceiling are set on.

namespace {

// A device buffer costs the platform some 5 KB beyond its bytes once a frame drew from it
// (28,000 buffers of 14,000 meshes raised a process by 145 MB), and its bytes are held twice: by
// the buffer and by the renderer's own copy.
constexpr std::uint64_t kBufferRecordBytes = 5 * 1024;
constexpr std::uint64_t kBufferCopies = 2;
// Each primitive a frame draws: the renderer keeps some 200 to 400 bytes of it while the frame is
// built, and sets every one up.
constexpr std::uint64_t kPrimitiveBytes = 512;
// Filling the view once over: a third of a millisecond of the software renderer at 640x480, near
// one at 1024x768 (6,500 triangles stacked on one spot, filling it 2,070 times where the view
// frames them, drew in 0.7 s at 640x480). The ceiling of a load's budget lets an object fill the
// view some 380 times a frame where the view frames the whole object, as a load's camera places
// it; real models fill it 0.3 to 13 times.
constexpr double kScreenBytes = 512 * 1024;
constexpr double kPi = 3.14159265358979;
// More than any budget: charges past it are refused anyway.
constexpr double kMostBytes = 1e18;

std::uint64_t BufferBytes(std::uint64_t entries, std::uint64_t each) {
    return kBufferRecordBytes + kBufferCopies * entries * each;
}

bool Indexed(const MeshRecord* mesh) {
    return mesh->indices && mesh->indexCount > 0;
}

// The buffers the meshes take when each has its own, as objects' meshes are placed by default.
std::uint64_t OwnBufferBytes(const MeshRecord* mesh) {
    std::uint64_t bytes =
        BufferBytes(static_cast<std::uint32_t>(mesh->vertexCount), mesh->vertexSize);
    if (Indexed(mesh)) bytes += BufferBytes(static_cast<std::uint32_t>(mesh->indexCount), 2);
    return bytes;
}

// The shared buffers a load's meshes open, each format's filled one after another: never fewer
// than the manager's first fit makes of them.
class SharedPlan {
public:
    std::uint64_t Bytes(const MeshRecord* mesh) {
        // Vertices of part words get a buffer of their own even here.
        if (mesh->vertexSize % 4 != 0) return OwnBufferBytes(mesh);
        const auto vertices = static_cast<std::uint32_t>(mesh->vertexCount);
        const std::uint32_t indices =
            Indexed(mesh) ? static_cast<std::uint32_t>(mesh->indexCount) : 0;
        std::uint64_t bytes =
            Take(vertices_[FormatKey(mesh)], vertices,
                 NewVertexBufferEntries(vertices, indices, false), mesh->vertexSize);
        if (indices) bytes += Take(indices_, indices, NewIndexBufferEntries(indices, false), 2);
        return bytes;
    }

private:
    struct Open {
        std::uint64_t used = 0;
        std::uint64_t capacity = 0;
    };

    static std::uint64_t Take(Open& open, std::uint32_t count, std::uint32_t entries,
                              std::uint64_t each) {
        if (open.capacity != 0 && open.used + count < open.capacity) {
            open.used += count;
            return 0;
        }
        open = Open{count, entries};
        return BufferBytes(entries, each);
    }

    // Meshes share a buffer only when their vertices are alike: format, size, points and, without
    // a format, the declaration up to its end.
    static std::string FormatKey(const MeshRecord* mesh) {
        std::string key;
        auto add = [&key](const void* p, std::size_t n) {
            key.append(static_cast<const char*>(p), n);
        };
        const std::uint8_t points = mesh->primitiveType == D3DPT_POINTLIST;
        add(&mesh->fvf, sizeof mesh->fvf);
        add(&mesh->vertexSize, sizeof mesh->vertexSize);
        add(&points, 1);
        for (int i = 0; mesh->fvf == 0 && i < MAX_FVF_DECL_SIZE; ++i) {
            add(&mesh->declaration[i], sizeof(D3DVERTEXELEMENT9));
            if (mesh->declaration[i].Stream == 0xFF) break;
        }
        return key;
    }

    std::unordered_map<std::string, Open> vertices_;
    Open indices_;
};

// The primitives a frame draws of the mesh: its ranges when it draws by materials.
std::uint64_t DrawnPrimitives(const MeshRecord* mesh) {
    if (!mesh->multiMaterialOn || !mesh->multiMaterials || mesh->multiMaterialCount <= 0 ||
        !Indexed(mesh))
        return static_cast<std::uint64_t>(DrawablePrimitives(mesh));
    std::uint64_t drawn = 0;
    for (std::int32_t m = 0; m < mesh->multiMaterialCount; ++m) {
        const MultiMaterialRecord& range = mesh->multiMaterials[m];
        const std::uint64_t end =
            std::uint64_t{range.startIndex} + std::uint64_t{range.primitiveCount} * 3;
        if (end <= static_cast<std::uint64_t>(mesh->indexCount)) drawn += range.primitiveCount;
    }
    return drawn;
}

// The area of the triangles the object draws and the box round the vertices they are made of.
struct Coverage {
    double area = 0;
    D3DXVECTOR3 low{0, 0, 0}, high{0, 0, 0};
    bool any = false;
    std::vector<D3DXVECTOR3> placed;          // each mesh's positions in turn
    std::vector<D3DXVECTOR3>* kept = nullptr; // when set, every mesh's positions appended

    void Add(const D3DXVECTOR3& p) {
        low =
            any ? D3DXVECTOR3(std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)) : p;
        high =
            any ? D3DXVECTOR3(std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z))
                : p;
        any = true;
    }
    // How many times over the triangles fill the disc of the box's sphere.
    double Screens() const {
        const D3DXVECTOR3 half = (high - low) * 0.5f;
        const double radiusSquared =
            double{half.x} * half.x + double{half.y} * half.y + double{half.z} * half.z;
        return any && radiusSquared > 0 ? area / (kPi * radiusSquared) : 0;
    }
};

// The mesh's positions placed by the matrix into placed; empty when it has none. Worked out
// here, not by the platform's call a vertex: an animated object is measured in every pose.
void PlacePositions(const MeshRecord* mesh, const D3DXMATRIX& m, std::vector<D3DXVECTOR3>& placed) {
    placed.clear();
    VertexOffsetMap map{};
    if (!mesh->vertices || mesh->vertexCount <= 0 || !GetMeshOffsetMap(mesh, &map) || !map.Z ||
        4 * std::uint64_t{map.Z} + 4 > mesh->vertexSize)
        return;
    placed.resize(static_cast<std::size_t>(mesh->vertexCount));
    for (std::size_t v = 0; v < placed.size(); ++v) {
        const auto* words = reinterpret_cast<const float*>(mesh->vertices + v * mesh->vertexSize);
        const float x = words[map.X], y = words[map.Y], z = words[map.Z];
        const float w = x * m._14 + y * m._24 + z * m._34 + m._44;
        const float s = w != 0 ? 1 / w : 1;
        placed[v] = D3DXVECTOR3((x * m._11 + y * m._21 + z * m._31 + m._41) * s,
                                (x * m._12 + y * m._22 + z * m._32 + m._42) * s,
                                (x * m._13 + y * m._23 + z * m._33 + m._43) * s);
    }
}

double TriangleArea(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c) {
    const double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
    const double vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
    const double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
    return 0.5 * std::sqrt(nx * nx + ny * ny + nz * nz);
}

// The mesh's drawn triangles, walked as its list, strip or fan; other primitives fill nothing.
void AddMeshCoverage(const MeshRecord* mesh, const D3DXMATRIX& matrix, Coverage& coverage) {
    std::vector<D3DXVECTOR3>& placed = coverage.placed;
    PlacePositions(mesh, matrix, placed);
    if (placed.empty()) return;
    if (coverage.kept) coverage.kept->insert(coverage.kept->end(), placed.begin(), placed.end());
    for (const D3DXVECTOR3& p : placed)
        coverage.Add(p);
    const std::int64_t primitives = DrawablePrimitives(mesh);
    auto corner = [&](std::int64_t k) -> const D3DXVECTOR3* {
        const std::int64_t v = Indexed(mesh) ? mesh->indices[k] : k;
        return v < static_cast<std::int64_t>(placed.size()) ? &placed[v] : nullptr;
    };
    double area = 0;
    for (std::int64_t t = 0; t < primitives; ++t) {
        std::int64_t a = 3 * t, b = a + 1, c = a + 2;
        if (mesh->primitiveType == D3DPT_TRIANGLESTRIP)
            a = t, b = t + 1, c = t + 2;
        else if (mesh->primitiveType == D3DPT_TRIANGLEFAN)
            a = 0, b = t + 1, c = t + 2;
        else if (mesh->primitiveType != D3DPT_TRIANGLELIST)
            return;
        const D3DXVECTOR3 *p = corner(a), *q = corner(b), *r = corner(c);
        if (p && q && r) area += TriangleArea(*p, *q, *r);
    }
    // Ranges drawn by materials cover their share of the mesh each time they are drawn.
    if (primitives > 0) area *= static_cast<double>(DrawnPrimitives(mesh)) / primitives;
    coverage.area += area;
}

// The drawn meshes of every frame, each with its frame.
template <typename Fn> void ForEachDrawnMesh(FrameRecord* root, Fn&& fn) {
    WalkFrameTree(root, [&](FrameRecord* frame) {
        for (int slot = 0; slot < kFrameMeshSlots; ++slot) {
            const MeshRecord* mesh = frame->MeshSlot(slot);
            if (mesh && mesh->vertices && mesh->vertexCount > 0) fn(frame, mesh);
        }
    });
}

// How many times over the object's triangles fill the view in its pose as it stands; a pose
// whose size is no number fills it beyond any budget. The placed positions go into kept when
// it is given.
double PoseScreens(FrameRecord* root, std::vector<D3DXVECTOR3>* kept = nullptr) {
    Coverage coverage;
    coverage.kept = kept;
    ForEachDrawnMesh(root, [&](const FrameRecord* frame, const MeshRecord* mesh) {
        // A skinned mesh's vertices are moved by its bones, not by its frame.
        AddMeshCoverage(mesh, mesh->boneCount > 0 ? kIdentityMatrix : frame->combinedMatrix,
                        coverage);
    });
    const double screens = coverage.Screens();
    return std::isfinite(screens) ? screens : kMostBytes;
}

// Measuring one pose of an animated object: each frame placed, each key looked through, each
// vertex moved and placed, each triangle measured, each bone's matrix and influence is a unit of
// work; a mesh costs some more as a whole, and so does the pose. Measured under Wine in the
// release build on the real models that animate (sydney.md2, sorceress's and sarge's MD3 parts,
// chrome_sphere.mdl's 2,200 baked frames, BCN_Epileptic.X, anim_test.x): 11 to 35 ns a unit, so
// the ceiling of a budget pays for one to two seconds of measuring, within a load's three.
constexpr std::uint64_t kPoseWorkBytes = 4;
constexpr std::uint64_t kPoseUnits = 64;
constexpr std::uint64_t kMeshUnits = 16;

bool Skinned(const MeshRecord* mesh) {
    return mesh->boneCount > 0 && mesh->bones;
}
bool Morphed(const MeshRecord* mesh) {
    return mesh->keyFrames && mesh->keyFrameCount >= 2;
}
bool Baked(const ObjectRecord* object) {
    const AnimationSetRecord* set = object->animationSet;
    return set && set->animation && set->animation->keyed == 0;
}

// Each time a pose may be measured at is charged as it is listed.
template <typename Key>
void AddKeyTimes(std::vector<float>& times, std::uint64_t& keys, const Key* list,
                 std::uint32_t count) {
    if (list) RequireLoad(count, sizeof(float));
    for (std::uint32_t k = 0; list && k < count; ++k)
        times.push_back(static_cast<float>(list[k].time));
    if (list) keys += count;
}

// The times whose poses an animated object is measured in: its load's (0), every key's, every
// vertex key frame's and every frame of baked matrices (which hold from one whole frame to the
// next); and the keys a pose looks through. Between two keys each kind moves towards the next.
std::vector<float> PoseTimes(ObjectRecord* object, std::uint64_t& keys) {
    std::vector<float> times{0.0f};
    const AnimationSetRecord* set = object->animationSet;
    for (const AnimationRecord* a = set ? set->animation : nullptr; a; a = a->next) {
        AddKeyTimes(times, keys, a->positionKeys, a->positionKeyCount);
        AddKeyTimes(times, keys, a->rotationKeys, a->rotationKeyCount);
        AddKeyTimes(times, keys, a->scaleKeys, a->scaleKeyCount);
        const AnimationRecord* source = a->keySource ? a->keySource : a;
        AddKeyTimes(times, keys, source->matrixKeys, source->matrixKeyCount);
    }
    if (Baked(object)) {
        RequireLoad(set->animation->bakedFrameCount, sizeof(float));
        for (std::uint32_t f = 0; f < set->animation->bakedFrameCount; ++f)
            times.push_back(static_cast<float>(f));
    }
    // A mesh's last vertex key frame is only ever neared: the frame before it ends just short.
    WalkFrameTree(object->rootFrame, [&](const FrameRecord* frame) {
        const std::int32_t last =
            frame->mesh && Morphed(frame->mesh) ? frame->mesh->keyFrameCount - 1 : 0;
        RequireLoad(static_cast<std::uint64_t>(last), sizeof(float));
        for (std::int32_t k = 0; k < last; ++k)
            times.push_back(static_cast<float>(k));
        if (last > 0) times.push_back(std::nextafter(static_cast<float>(last), 0.0f));
    });
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    return times;
}

// The last key time of a kind with keys to move between: past the last key each kind holds its
// value. Before it, every pose is on its way between two measured times; baked matrices only
// step from one whole frame to the next and interpolate nothing.
template <typename Key> float LastMove(float until, const Key* list, std::uint32_t count) {
    for (std::uint32_t k = 0; list && count >= 2 && k < count; ++k)
        until = std::max(until, static_cast<float>(list[k].time));
    return until;
}

float InterpolatesUntil(ObjectRecord* object) {
    float until = 0;
    const AnimationSetRecord* set = object->animationSet;
    for (const AnimationRecord* a = set ? set->animation : nullptr; a; a = a->next) {
        until = LastMove(until, a->positionKeys, a->positionKeyCount);
        until = LastMove(until, a->rotationKeys, a->rotationKeyCount);
        until = LastMove(until, a->scaleKeys, a->scaleKeyCount);
        const AnimationRecord* source = a->keySource ? a->keySource : a;
        until = LastMove(until, source->matrixKeys, source->matrixKeyCount);
    }
    WalkFrameTree(object->rootFrame, [&](const FrameRecord* frame) {
        if (frame->mesh && Morphed(frame->mesh))
            until = std::max(until, static_cast<float>(frame->mesh->keyFrameCount - 1));
    });
    return until;
}

// The units of work one pose takes (see kPoseWorkBytes), and whether anything moves the
// object's geometry after its load at all: keys or baked matrices, vertex key frames, bones.
struct PoseWork {
    std::uint64_t units = 0;
    std::uint64_t vertices = 0; // placed in a pose
    bool moves = false;
};

PoseWork WorkOfPose(ObjectRecord* object, std::uint64_t keys) {
    PoseWork work;
    work.moves = keys > 0 || Baked(object);
    work.units = kPoseUnits + keys;
    WalkFrameTree(object->rootFrame, [&](const FrameRecord*) { ++work.units; });
    ForEachDrawnMesh(object->rootFrame, [&](const FrameRecord*, const MeshRecord* mesh) {
        work.vertices += static_cast<std::uint64_t>(mesh->vertexCount);
        work.units += kMeshUnits + static_cast<std::uint64_t>(mesh->vertexCount) +
                      static_cast<std::uint64_t>(DrawnPrimitives(mesh));
        // Bones move their vertices once the object's frame changes, keys or none.
        work.moves |= Morphed(mesh) || Skinned(mesh);
        for (std::int32_t b = 0; Skinned(mesh) && b < mesh->boneCount; ++b)
            work.units += 1 + std::uint64_t{mesh->bones[b].influenceCount};
    });
    return work;
}

// What posing an object changes, put back as it was when this ends: the first frame starts
// from the load's pose. Its vertices come back from the backup made before the first pose.
class KeptPose {
public:
    explicit KeptPose(ObjectRecord* object)
        : object_(object), frame_(object->currentFrame), lastFrame_(object->lastUpdatedFrame),
          animating_(object->animating), force_(object->forceVertexUpdate) {
        WalkFrameTree(object->rootFrame, [&](FrameRecord* frame) {
            frames_.push_back({frame, frame->initialMatrix,
                               frame->mesh ? frame->mesh->currentKeyFrame : 0,
                               frame->mesh ? frame->mesh->verticesChanged : std::uint8_t{0}});
            BackupMeshVertices(frame->mesh);
        });
    }
    ~KeptPose() {
        for (const Kept& kept : frames_) {
            kept.frame->initialMatrix = kept.initial;
            if (MeshRecord* mesh = kept.frame->mesh) {
                RestoreMeshVertices(mesh);
                mesh->currentKeyFrame = kept.keyFrame;
                mesh->verticesChanged = kept.changed;
            }
        }
        RebuildFrameTransforms(object_->rootFrame);
        UpdateFrameMatrices(object_->rootFrame, &kIdentityMatrix);
        object_->currentFrame = frame_;
        object_->lastUpdatedFrame = lastFrame_;
        object_->animating = animating_;
        object_->forceVertexUpdate = force_;
    }
    KeptPose(const KeptPose&) = delete;
    KeptPose& operator=(const KeptPose&) = delete;

private:
    struct Kept {
        FrameRecord* frame;
        D3DXMATRIX initial;
        std::int32_t keyFrame;
        std::uint8_t changed;
    };
    ObjectRecord* object_;
    float frame_, lastFrame_;
    std::uint8_t animating_, force_;
    std::vector<Kept> frames_;
};

// The keys as the file gave them, put back when this ends: linking the animations to their frames
// sorts their keys and works out their changes anew, as setting a loaded object up does, but a
// load that goes no further keeps what it read.
class KeptKeys {
public:
    explicit KeptKeys(const AnimationSetRecord* set) {
        for (AnimationRecord* a = set ? set->animation : nullptr; a; a = a->next)
            kept_.push_back({a, a->frame, Copy(a->positionKeys, a->positionKeyCount),
                             Copy(a->rotationKeys, a->rotationKeyCount),
                             Copy(a->scaleKeys, a->scaleKeyCount)});
    }
    ~KeptKeys() {
        for (const Kept& kept : kept_) {
            AnimationRecord* a = kept.animation;
            a->frame = kept.frame;
            std::copy(kept.positions.begin(), kept.positions.end(), a->positionKeys);
            std::copy(kept.rotations.begin(), kept.rotations.end(), a->rotationKeys);
            std::copy(kept.scales.begin(), kept.scales.end(), a->scaleKeys);
        }
    }
    KeptKeys(const KeptKeys&) = delete;
    KeptKeys& operator=(const KeptKeys&) = delete;

private:
    template <typename Key> static std::vector<Key> Copy(const Key* keys, std::uint32_t count) {
        return keys ? std::vector<Key>(keys, keys + count) : std::vector<Key>{};
    }
    struct Kept {
        AnimationRecord* animation;
        FrameRecord* frame;
        std::vector<PositionKey> positions;
        std::vector<RotationKey> rotations;
        std::vector<ScaleKey> scales;
    };
    std::vector<Kept> kept_;
};

// The object posed at time as a frame draws it: vertex key frames first, since they place their
// frame too, then the keys, the frame matrices, and the meshes the bones or baked matrices move.
void PoseAt(ObjectRecord* object, float time) {
    object->currentFrame = time;
    object->animating = 1;
    WalkFrameTree(object->rootFrame, [&](FrameRecord* frame) {
        if (frame->mesh && Morphed(frame->mesh)) InterpolateMeshVertexFrames(object, frame);
    });
    AnimateObject(object, time);
    UpdateFrameMatrices(object->rootFrame, &kIdentityMatrix);
    const bool baked = Baked(object);
    bool bakedDone = false;
    WalkFrameTree(object->rootFrame, [&](FrameRecord* frame) {
        if (!frame->mesh || !Skinned(frame->mesh) || bakedDone) return;
        bakedDone = baked;
        // Skinned whatever frame it was last skinned at.
        object->forceVertexUpdate = 1;
        UpdateFrameMesh(object, frame);
    });
}

// A measured pose: its time and its vertices as placed, each drawn mesh's in turn.
struct Pose {
    float time = 0;
    std::vector<D3DXVECTOR3> at;
};

// Where vertices moving on straight lines from one pose to another gather most: the fraction of
// the way there, and their spread about their mean (mean squared distance) there and at the ends.
struct Gathering {
    double t = 0;
    double least = 0, first = 0, last = 0;
};

// The mean of the first n positions.
std::array<double, 3> MeanOf(const std::vector<D3DXVECTOR3>& at, std::size_t n) {
    std::array<double, 3> mean{};
    for (std::size_t j = 0; j < n; ++j) {
        mean[0] += at[j].x;
        mean[1] += at[j].y;
        mean[2] += at[j].z;
    }
    for (double& m : mean)
        m /= static_cast<double>(n);
    return mean;
}

Gathering GatheringOf(const Pose& a, const Pose& b) {
    const std::size_t n = std::min(a.at.size(), b.at.size());
    Gathering g;
    if (n == 0) return g;
    const std::array<double, 3> meanA = MeanOf(a.at, n), meanB = MeanOf(b.at, n);
    double x = 0;
    for (std::size_t j = 0; j < n; ++j) {
        const double d[3] = {a.at[j].x - meanA[0], a.at[j].y - meanA[1], a.at[j].z - meanA[2]};
        const double e[3] = {b.at[j].x - meanB[0], b.at[j].y - meanB[1], b.at[j].z - meanB[2]};
        for (int c = 0; c < 3; ++c) {
            g.first += d[c] * d[c];
            g.last += e[c] * e[c];
            x += d[c] * e[c];
        }
    }
    g.first /= static_cast<double>(n);
    g.last /= static_cast<double>(n);
    x /= static_cast<double>(n);
    g.least = std::min(g.first, g.last);
    g.t = g.first <= g.last ? 0 : 1;
    // The mean squared change of the vertices' places: none when they move as one.
    const double across = g.first - 2 * x + g.last;
    const double t = (g.first - x) / across;
    if (!(across > 0) || !std::isfinite(t)) return g;
    g.t = std::clamp(t, 0.0, 1.0);
    g.least = (1 - g.t) * (1 - g.t) * g.first + 2 * g.t * (1 - g.t) * x + g.t * g.t * g.last;
    return g;
}

// The poses measured towards an object's worst fill, each placed as a frame places it.
class PoseSampler {
public:
    PoseSampler(ObjectRecord* object, std::uint64_t poseBytes)
        : object_(object), poseBytes_(poseBytes), worst_(PoseScreens(object->rootFrame)) {}

    // The object posed at time and measured; its placed vertices kept in pose.
    void Measure(float time, Pose& pose) {
        PoseAt(object_, time);
        pose.time = time;
        pose.at.clear();
        worst_ = std::max(worst_, PoseScreens(object_->rootFrame, &pose.at));
    }
    // Between start and the next measured time, whose poses interpolate: where it ends as
    // neared from within (a step at a time belongs to what follows it), its middle (where a
    // product of two changes peaks), and where its vertices gather most. False past the budget;
    // start's pose is used up.
    bool MeasureBetween(Pose& start, float end);
    double Worst() const { return worst_; }

private:
    ObjectRecord* object_;
    std::uint64_t poseBytes_;
    double worst_;
    Pose finish_, probe_;
};

// Straight lines only guess the paths of curves and turns. Where the guess has gathered the
// vertices to a small part of the ends' spread, the half of the way that gathers more is guessed
// again from its own ends (a secant's steps) while that guess gathers them closer still. Each
// pose a guess asks for is charged as it is made.
constexpr int kGatherPoses = 5;
constexpr double kGathered = 0.25;

bool PoseSampler::MeasureBetween(Pose& start, float end) {
    Measure(std::nextafter(end, start.time), finish_);
    Measure(start.time + (end - start.time) / 2, probe_);
    Pose *low = &start, *high = &finish_, *probe = &probe_;
    Gathering g = GatheringOf(*low, *high);
    const double ends = std::min(g.first, g.last);
    for (int pose = 0; pose < kGatherPoses && g.t > 0 && g.t < 1; ++pose) {
        const double nearest = std::min(g.first, g.last);
        if (pose > 0 && !(nearest < kGathered * ends && g.least < nearest)) break;
        const auto time = static_cast<float>(low->time + g.t * (high->time - low->time));
        if (!(time > low->time && time < high->time)) break;
        if (!ChargeLoad(poseBytes_)) return false;
        Measure(time, *probe);
        const Gathering before = GatheringOf(*low, *probe), after = GatheringOf(*probe, *high);
        if (before.least < after.least) {
            std::swap(high, probe);
            g = before;
        } else {
            std::swap(low, probe);
            g = after;
        }
    }
    return true;
}

// The most times over the object fills the view in any pose its animation reaches; every
// kind of animation moves geometry through its own code, so each pose is made as a frame makes
// it: at every listed time, and between two whose poses interpolate (see MeasureBetween). The
// measuring is charged first (the poses a gathering asks for as they come), with the positions
// three poses keep: past the budget nothing more is measured and the fill is beyond any budget
// (kMostBytes screens).
double WorstScreens(ObjectRecord* object) {
    std::uint64_t keys = 0;
    const std::vector<float> times = PoseTimes(object, keys);
    const PoseWork work = WorkOfPose(object, keys);
    if (!work.moves) return PoseScreens(object->rootFrame);
    const float until = InterpolatesUntil(object);
    const auto between = static_cast<std::uint64_t>(std::count_if(
        times.begin(), times.end() - 1, [until](float time) { return time < until; }));
    if (!ChargeLoad(times.size() + 2 * between, work.units * kPoseWorkBytes) ||
        !ChargeLoad(keys, sizeof(PositionKey)) ||
        !ChargeLoad(3 * work.vertices, sizeof(D3DXVECTOR3)))
        return kMostBytes;
    // The bones follow their frames and the keys drive theirs as once the object is set up.
    if (!Baked(object)) {
        AllocateBoneArrays(object->meshes, object->meshCount);
        MatchBonesToFrames(object->meshes, object->rootFrame, object->meshCount);
    }
    const KeptKeys keptKeys(object->animationSet);
    LinkAnimationsToFrames(object);
    PoseSampler sampler(object, work.units * kPoseWorkBytes);
    const KeptPose kept(object);
    Pose start;
    for (std::size_t i = 0; i < times.size(); ++i) {
        if (i > 0 && times[i - 1] < until && !sampler.MeasureBetween(start, times[i]))
            return kMostBytes;
        sampler.Measure(times[i], start);
    }
    return sampler.Worst();
}

} // namespace

std::uint64_t FirstFrameBytes(ObjectRecord* object, bool ownBuffers) {
    if (!object) return 0;
    SharedPlan shared;
    std::uint64_t bytes = 0;
    ForEachDrawnMesh(object->rootFrame, [&](const FrameRecord*, const MeshRecord* mesh) {
        bytes += ownBuffers ? OwnBufferBytes(mesh) : shared.Bytes(mesh);
        bytes += kPrimitiveBytes * DrawnPrimitives(mesh);
    });
    const double fill = std::min(WorstScreens(object) * kScreenBytes, kMostBytes);
    return bytes + static_cast<std::uint64_t>(fill);
}
