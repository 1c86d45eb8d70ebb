#include "core/win32.h"

#include "support/object_scene.h"
#include "core/error_numbers.h"
#include "core/frame_loop.h"
#include "core/load_budget.h"
#include "modelfile/object_block.h"
#include "object3d/appearance.h"
#include "object3d/limb_commands.h"
#include "object3d/object_commands.h"
#include "object3d/object_manager.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>

namespace {

FrameRecord* NamedFrame(const char* prefix, int i) {
    auto* frame = new FrameRecord;
    std::snprintf(frame->name, sizeof frame->name, "%s%d", prefix, i);
    return frame;
}

// n triangles of the given size facing the camera, the first at x and each next one step along
// x, as a plain list of vertices `stride` bytes apart (past 32: padding the format leaves out).
MeshRecord* Triangles(int n, float x, float size, float step, std::uint32_t stride = 32) {
    auto* mesh = new MeshRecord;
    mesh->fvf = mesh->savedFVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
    mesh->vertexSize = stride;
    mesh->vertexCount = mesh->drawVertexCount = 3 * n;
    mesh->drawPrimitiveCount = n;
    mesh->vertices = new std::uint8_t[stride * 3 * n]();
    for (int v = 0; v < 3 * n; ++v) {
        auto* words = reinterpret_cast<float*>(mesh->vertices + stride * v);
        words[0] = x + step * static_cast<float>(v / 3) + (v % 3 == 2 ? size : 0);
        words[1] = v % 3 == 1 ? size : 0;
        words[5] = -1;
    }
    return mesh;
}

// The native file of count frames showing mesh(i) each: all children of the root, or each the
// child of the one before it (a chain as deep as it is long) with an animation each, listed from
// the last.
std::string ObjectFile(const TempFolder& folder, const std::string& name, int count, bool chain,
                       const std::function<MeshRecord*(int)>& mesh) {
    ObjectRecord object;
    object.rootFrame = NamedFrame("root", 0);
    if (chain) object.animationSet = new AnimationSetRecord;
    FrameRecord* last = object.rootFrame;
    for (int i = 0; i < count; ++i) {
        FrameRecord* frame = NamedFrame("limb", i);
        frame->mesh = mesh(i);
        frame->parent = chain ? last : object.rootFrame;
        (chain || last == object.rootFrame ? last->child : last->sibling) = frame;
        last = frame;
        if (!chain) continue;
        auto* animation = new AnimationRecord;
        std::memcpy(animation->name, frame->name, sizeof animation->name);
        animation->next = std::exchange(object.animationSet->animation, animation);
    }
    TLOBlock block;
    if (!WriteObjectToBlock(&object, block.Out(), block.OutSize())) return {};
    return folder.Write(name,
                        std::string(reinterpret_cast<const char*>(block.Data()), block.Size()));
}

// n unit triangles facing the camera, the i-th at depth step * i: stacked on one spot when step is
// 0, filling the view n times over where the view frames them.
MeshRecord* Layers(int n, float step) {
    MeshRecord* mesh = Triangles(n, 0, 1, 0);
    for (int v = 0; v < 3 * n; ++v)
        reinterpret_cast<float*>(mesh->vertices + 32 * v)[2] = step * static_cast<float>(v / 3);
    return mesh;
}

FrameRecord* AddFrame(ObjectRecord& object, const char* name, MeshRecord* mesh,
                      const D3DXMATRIX& matrix = kIdentityMatrix) {
    auto* frame = new FrameRecord;
    std::snprintf(frame->name, sizeof frame->name, "%s", name);
    frame->mesh = mesh;
    frame->initialMatrix = matrix;
    frame->parent = object.rootFrame;
    frame->sibling = std::exchange(object.rootFrame->child, frame);
    return frame;
}

AnimationRecord* AddAnimation(ObjectRecord& object, const char* name) {
    if (!object.animationSet) object.animationSet = new AnimationSetRecord;
    auto* animation = new AnimationRecord;
    std::snprintf(animation->name, sizeof animation->name, "%s", name);
    animation->next = std::exchange(object.animationSet->animation, animation);
    return animation;
}

// Two vector keys, at frames 0 and 10.
PositionKey* VectorKeys(const D3DXVECTOR3& first, const D3DXVECTOR3& last) {
    return new PositionKey[2]{{0, first, (last - first) / 10}, {10, last, {0, 0, 0}}};
}

D3DXMATRIX Scaling(float s) {
    D3DXMATRIX m;
    return *D3DXMatrixScaling(&m, s, s, s);
}

D3DXMATRIX Scaling(const D3DXVECTOR3& s) {
    D3DXMATRIX m;
    return *D3DXMatrixScaling(&m, s.x, s.y, s.z);
}

D3DXMATRIX Translation(float z) {
    D3DXMATRIX m;
    return *D3DXMatrixTranslation(&m, 0, 0, z);
}

// 2,000 triangles that fill the view some 640 times over once stacked, which no budget pays
// for, and which the load's pose spreads out or shrinks beside a unit triangle; each animation
// kind brings them together (or, for the ones that load, keeps them apart) by frame 10.
constexpr int kLayers = 2000;

void GrowingLayers(ObjectRecord& object, float step, bool matrixKeys) {
    AddFrame(object, "wall", Layers(1, 0));
    AddFrame(object, "grows", Layers(kLayers, step), Scaling(1e-4f));
    AnimationRecord* grows = AddAnimation(object, "grows");
    if (matrixKeys) {
        const D3DXMATRIX small = Scaling(1e-4f);
        grows->matrixKeys = new MatrixKey[2]{{0, small, (kIdentityMatrix - small) / 10},
                                             {10, kIdentityMatrix, kZeroMatrix}};
        grows->matrixKeyCount = 2;
    } else {
        grows->scaleKeys = VectorKeys({1e-4f, 1e-4f, 1e-4f}, {1, 1, 1});
        grows->scaleKeyCount = 2;
    }
}

// One triangle a limb, limb i at depth i at the load, each moved by its keys to depth
// last(i) by frame 10.
void GatheredLimbs(ObjectRecord& object, float (*last)(int)) {
    for (int i = 0; i < kLayers; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "limb%d", i);
        const float z = static_cast<float>(i);
        AddFrame(object, name, Layers(1, 0), Translation(z));
        AnimationRecord* moves = AddAnimation(object, name);
        moves->positionKeys = VectorKeys({0, 0, z}, {0, 0, last(i)});
        moves->positionKeyCount = 2;
    }
}

// Layers step apart beside a unit triangle, placed by matrix keys from matrices[0] to matrices[1]
// and then scaled by keys from scales[0] to scales[1], each pair at frames 0 and 10; the load's
// pose is frame 0's.
void KeyedLayers(ObjectRecord& object, float step, const D3DXVECTOR3 (&scales)[2],
                 const D3DXMATRIX (&matrices)[2]) {
    AddFrame(object, "wall", Layers(1, 0));
    AddFrame(object, "keyed", Layers(kLayers, step), matrices[0] * Scaling(scales[0]));
    AnimationRecord* keyed = AddAnimation(object, "keyed");
    keyed->scaleKeys = VectorKeys(scales[0], scales[1]);
    keyed->scaleKeyCount = 2;
    keyed->matrixKeys = new MatrixKey[2]{{0, matrices[0], (matrices[1] - matrices[0]) / 10},
                                         {10, matrices[1], kZeroMatrix}};
    keyed->matrixKeyCount = 2;
}

// One triangle a limb, 100 from its frame's origin along x, limb i turned about the view's axis
// by angle(i, k) radians at its k-th key (keys spread over frames 0 to 10); the load's pose is
// the first key's.
void TurnedLimbs(ObjectRecord& object, int keys, float (*angle)(int, int)) {
    const D3DXVECTOR3 axis(0, 0, 1);
    for (int i = 0; i < kLayers; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "limb%d", i);
        auto* turns = new RotationKey[keys];
        for (int k = 0; k < keys; ++k) {
            turns[k].time = static_cast<std::uint32_t>(10 * k / (keys - 1));
            D3DXQuaternionRotationAxis(&turns[k].value, &axis, angle(i, k));
        }
        D3DXMATRIX first;
        D3DXMatrixRotationQuaternion(&first, &turns[0].value);
        AddFrame(object, name, Triangles(1, 100, 1, 0), first);
        AnimationRecord* turning = AddAnimation(object, name);
        turning->rotationKeys = turns;
        turning->rotationKeyCount = static_cast<std::uint32_t>(keys);
    }
}

// Spread layers whose one bone's offset flattens them onto one another.
void FlattenedBySkin(ObjectRecord& object) {
    MeshRecord* mesh = AddFrame(object, "skin", Layers(kLayers, 1))->mesh;
    mesh->boneCount = 1;
    mesh->bones = new BoneRecord[1];
    BoneRecord& bone = mesh->bones[0];
    std::snprintf(bone.name, sizeof bone.name, "flat");
    bone.influenceCount = static_cast<std::uint32_t>(mesh->vertexCount);
    bone.vertices = new std::uint32_t[bone.influenceCount];
    bone.weights = new float[bone.influenceCount];
    for (std::uint32_t v = 0; v < bone.influenceCount; ++v)
        bone.vertices[v] = v, bone.weights[v] = 1;
    D3DXMatrixScaling(&bone.offsetMatrix, 1, 1, 0);
    AnimationRecord* still = AddAnimation(object, "skin");
    still->rotationKeys = new RotationKey[1]{{0, {0, 0, 0, 1}}};
    still->rotationKeyCount = 1;
}

// Spread layers whose second vertex key frame puts them step apart.
void MovedByKeyFrame(ObjectRecord& object, float step) {
    MeshRecord* mesh = AddFrame(object, "morph", Layers(kLayers, 1))->mesh;
    mesh->keyFrameCount = 2;
    mesh->keyFrames = new FrameRecord[2];
    mesh->keyFrames[0].mesh = Layers(kLayers, 1);
    mesh->keyFrames[1].mesh = Layers(kLayers, step);
}

// Spread layers that vertex key frames 1 and 2 bring to 1e-4 apart while their own frame matrix
// spreads them again: they stack only as frame 1 nears, still placed by key frame 0's matrix.
void SteppedKeyFrames(ObjectRecord& object) {
    MeshRecord* mesh = AddFrame(object, "morph", Layers(kLayers, 1))->mesh;
    mesh->keyFrameCount = 3;
    mesh->keyFrames = new FrameRecord[3];
    mesh->keyFrames[0].mesh = Layers(kLayers, 1);
    for (int k = 1; k < 3; ++k) {
        mesh->keyFrames[k].mesh = Layers(kLayers, 1e-4f);
        mesh->keyFrames[k].initialMatrix = Scaling({1, 1, 1e4f});
    }
}

std::string AnimatedFile(const TempFolder& folder, const std::string& name,
                         const std::function<void(ObjectRecord&)>& build) {
    ObjectRecord object;
    object.rootFrame = NamedFrame("root", 0);
    build(object);
    TLOBlock block;
    if (!WriteObjectToBlock(&object, block.Out(), block.OutSize())) return {};
    return folder.Write(name,
                        std::string(reinterpret_cast<const char*>(block.Data()), block.Size()));
}

bool NoBuffersLeft() {
    return g_Object3D.manager.VertexBuffers() == nullptr &&
           g_Object3D.manager.IndexBuffers() == nullptr;
}

int VertexBufferCount() {
    int count = 0;
    for (const VertexBufferEntry* e = g_Object3D.manager.VertexBuffers(); e; e = e->next)
        ++count;
    return count;
}

} // namespace

// Beside a loaded scene of 14,000 meshes: six rounds take seconds; removal that walked every live
// mesh again for each mesh it took out took 40 s a round, placement that walked every buffer for
// each one it made a few seconds more.
TEST_F(ObjectScene, ObjectsOfThousandsOfMeshesDrawAndGoInLinearTime) {
    TempFolder folder;
    const auto SmallTriangle = [](int i) {
        return Triangles(1, 0.001f * static_cast<float>(i % 1000), 0.01f, 0);
    };
    const std::string meshes = ObjectFile(folder, "meshes.tlo", 14000, false, SmallTriangle);
    LoadObject(meshes.c_str(), 9);
    ASSERT_TRUE(ObjectExists(9)) << cell.number;
    HideObject(9);
    Sync();
    const std::string chain = ObjectFile(folder, "chain.tlo", 10000, true, SmallTriangle);
    for (int round = 0; round < 6; ++round) {
        // 14,000 meshes in buffers of their own, then placed in shared ones (the scene's, and one
        // for all 42,000 corners).
        for (const std::uint8_t own : {1, 0}) {
            SCOPED_TRACE(own);
            g_Object3D.newObjectOwnBuffers = own;
            LoadObject(meshes.c_str(), 1);
            g_Object3D.newObjectOwnBuffers = 1;
            ASSERT_TRUE(ObjectExists(1)) << cell.number;
            Sync();
            EXPECT_EQ(g_CoreData->drawCalls, 14000);
            EXPECT_EQ(VertexBufferCount(), own ? 28000 : 14001);
            DeleteObjectCmd(1);
            EXPECT_FALSE(ObjectExists(1));
            EXPECT_EQ(VertexBufferCount(), 14000); // the scene's own, one a mesh
        }
        // A chain of 10,000 limbs: drawn with its clone, which is deleted, or cut at its first.
        for (const bool cut : {false, true}) {
            SCOPED_TRACE(cut);
            LoadObject(chain.c_str(), 1);
            ASSERT_TRUE(ObjectExists(1)) << cell.number;
            if (!cut) CloneObject(2, 1);
            Sync();
            EXPECT_EQ(g_CoreData->drawCalls, cut ? 10000 : 20000);
            if (cut) {
                RemoveLimb(1, 1);
                EXPECT_EQ(GetLimbCount(1), 1);
                EXPECT_EQ(ObjectAt(1)->animationSet->animation, nullptr);
            } else {
                DeleteObjectCmd(2);
                EXPECT_FALSE(ObjectExists(2));
            }
            Sync();
            EXPECT_EQ(g_CoreData->drawCalls, cut ? 0 : 10000); // the root has no mesh
            DeleteObjectCmd(1);
            EXPECT_FALSE(ObjectExists(1));
            EXPECT_EQ(VertexBufferCount(), 14000);
        }
    }
    DeleteObjectCmd(9);
    EXPECT_TRUE(NoBuffersLeft());
}

// A first frame's buffers and fill are charged at load: triangles stacked on one spot fill the
// view thousands of times a frame, and each vertex size of its own opens a shared buffer of 65,535
// vertices. Such files are refused, leaving nothing; side by side, or in own buffers, they draw.
TEST_F(ObjectScene, LoadsPayForTheirFirstFramesBuffersAndFill) {
    TempFolder folder;
    const std::string stacked =
        ObjectFile(folder, "stacked.tlo", 1, false, [](int) { return Triangles(6500, 0, 1, 0); });
    const std::string band =
        ObjectFile(folder, "band.tlo", 1, false, [](int) { return Triangles(6500, 0, 1, 1); });
    const std::string layouts = ObjectFile(folder, "layouts.tlo", 50, false,
                                           [](int i) { return Triangles(1, 0, 1, 0, 32 + 4 * i); });
    const struct {
        const std::string& file;
        std::uint8_t ownBuffers;
        std::int32_t draws; // 0: refused
    } cases[] = {{stacked, 1, 0}, {band, 1, 1}, {layouts, 0, 0}, {layouts, 1, 50}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file + (c.ownBuffers ? " in own buffers" : " in shared buffers"));
        g_Object3D.newObjectOwnBuffers = c.ownBuffers;
        cell.number = 0;
        LoadObject(c.file.c_str(), 1);
        EXPECT_EQ(ObjectExists(1), c.draws > 0);
        EXPECT_EQ(cell.number, c.draws > 0 ? 0 : kObjectNotLoaded);
        Sync();
        EXPECT_EQ(g_CoreData->drawCalls, c.draws);
        DeleteObjectCmd(1);
        EXPECT_TRUE(NoBuffersLeft());
    }
    g_Object3D.newObjectOwnBuffers = 1;
}

// An animated object pays for the worst pose its keys reach, whichever kind moves its geometry,
// at its keys and between them: each of these loaded before, drawn in its load's pose only, and
// took seconds a frame once played to frame 10 (or, cheap at every key, to the frame where its
// triangles meet or its scales multiply). Those whose triangles stay apart still load.
TEST_F(ObjectScene, AnimatedLoadsPayForTheirWorstPose) {
    TempFolder folder;
    const struct {
        const char* name;
        std::function<void(ObjectRecord&)> build;
        bool loads;
    } cases[] = {
        {"scale keys", [](ObjectRecord& o) { GrowingLayers(o, 0, false); }, false},
        {"matrix keys", [](ObjectRecord& o) { GrowingLayers(o, 0, true); }, false},
        {"scale keys, layers apart", [](ObjectRecord& o) { GrowingLayers(o, 1, false); }, true},
        {"position keys", [](ObjectRecord& o) { GatheredLimbs(o, [](int) { return 0.0f; }); },
         false},
        {"position keys, limbs apart",
         [](ObjectRecord& o) { GatheredLimbs(o, [](int i) { return 2.0f * i; }); }, true},
        {"bones", FlattenedBySkin, false},
        {"vertex key frames", [](ObjectRecord& o) { MovedByKeyFrame(o, 0); }, false},
        {"vertex key frames, layers apart", [](ObjectRecord& o) { MovedByKeyFrame(o, 2); }, true},
        // Depth i at one key, -2i at the next: all meet a third of the way.
        {"position keys, limbs meet between keys",
         [](ObjectRecord& o) { GatheredLimbs(o, [](int i) { return -2.0f * i; }); }, false},
        {"vertex key frames, layers meet between keys",
         [](ObjectRecord& o) { MovedByKeyFrame(o, -2); }, false},
        // Where the way to a key ends is not that key's pose.
        {"vertex key frames, layers stacked as a key nears", SteppedKeyFrames, false},
        {"matrix keys, layers flattened as a key nears",
         [](ObjectRecord& o) {
             KeyedLayers(o, 1, {{1, 1, 1}, {1, 1, 1}}, {kIdentityMatrix, kIdentityMatrix});
             // The change a frame as the file gives it, not as its keys make it.
             o.animationSet->animation->matrixKeys[0].delta =
                 (Scaling({1, 1, 0}) - kIdentityMatrix) / 10;
         },
         false},
        // Along arcs, which straight lines from the keys only guess.
        {"rotation keys, limbs meet between keys",
         [](ObjectRecord& o) {
             TurnedLimbs(o, 2, [](int i, int k) { return (k ? 8e-4f : -4e-4f) * i; });
         },
         false},
        // Stacked layers of no size at either key, their scales' product 4t(1 - t).
        {"scale and matrix keys multiply",
         [](ObjectRecord& o) {
             KeyedLayers(o, 0, {{0, 0, 0}, {2, 2, 2}}, {Scaling(2), Scaling(0)});
         },
         false},
        // A fan turning 2.5 radians from each key to the next: straight lines would gather it.
        {"rotation keys, a fan turning",
         [](ObjectRecord& o) {
             TurnedLimbs(o, 11, [](int i, int k) { return 4e-4f * i + 2.5f * k; });
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = AnimatedFile(folder, "animated.tlo", c.build);
        ASSERT_FALSE(file.empty());
        cell.number = 0;
        LoadObject(file.c_str(), 1);
        EXPECT_EQ(ObjectExists(1), c.loads);
        EXPECT_EQ(cell.number, c.loads ? 0 : kObjectNotLoaded);
        EXPECT_LE(LastLoadCharged(), LastLoadLimit());
        if (c.loads) {
            // Measured in its other poses, it is left in its load's: frames where the file placed
            // them, the layers one apart.
            const ObjectRecord* object = ObjectAt(1);
            for (std::int32_t f = 0; f < object->frameCount; ++f) {
                const FrameRecord* frame = object->frames[f];
                EXPECT_TRUE(SameMatrix(frame->combinedMatrix, frame->initialMatrix)) << frame->name;
                const MeshRecord* mesh = frame->mesh;
                if (!mesh || mesh->vertexCount != 3 * kLayers) continue;
                const float* last =
                    reinterpret_cast<const float*>(mesh->vertices) + 8 * (3 * kLayers - 1);
                EXPECT_EQ(last[2], kLayers - 1.0f);
            }
        }
        Sync();
        DeleteObjectCmd(1);
        EXPECT_TRUE(NoBuffersLeft());
    }
}
