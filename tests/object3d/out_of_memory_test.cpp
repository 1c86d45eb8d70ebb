// Changes to an object that run out of memory: the command's error, and the object's limbs,
// meshes, normals and bounds as they were, with nothing held. The sweep sees an object only by
// its position and limb count; these look inside it.
#include "core/win32.h"

#include "core/core.h"
#include "object3d/appearance.h"
#include "object3d/limb_commands.h"
#include "object3d/mesh_item_commands.h"
#include "object3d/object3d.h"
#include "object3d/object_commands.h"
#include "object3d/object_state.h"
#include "object3d/object_world.h"
#include "support/failing_heap.h"
#include "support/object_scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

namespace {

using failing_heap::CallFailing;
using failing_heap::Outstanding;

ObjectRecord* Object(std::int32_t n) {
    return g_Object3D.objects[n];
}

// What a change must leave as it was: the limbs in order, each with its mesh and the mesh's
// vertex bytes, the mesh list, the bounds, and the bytes of instance 2.
struct Snapshot {
    std::vector<FrameRecord*> frames;
    std::vector<MeshRecord*> limbMeshes, meshes;
    std::vector<std::vector<std::uint8_t>> vertices;
    std::vector<FrameRecord*> bones;
    float radius = 0;
    std::int32_t instanceBytes = 0;

    bool operator==(const Snapshot&) const = default;
};

Snapshot Take() {
    Snapshot s;
    const ObjectRecord* o = Object(1);
    for (std::int32_t i = 0; i < o->frameCount; ++i) {
        const MeshRecord* m = o->frames[i]->mesh;
        s.frames.push_back(o->frames[i]);
        s.limbMeshes.push_back(o->frames[i]->mesh);
        s.vertices.emplace_back(m->vertices, m->vertices + m->vertexCount * m->vertexSize);
    }
    s.meshes.assign(o->meshes, o->meshes + o->meshCount);
    const MeshRecord* root = o->rootFrame->mesh;
    s.bones.assign(root->boneFrames, root->boneFrames + root->boneCount);
    s.radius = o->collision.radius;
    s.instanceBytes = Object(2)->instanceDataLength;
    return s;
}

// Object 1: a chain of three limbs "chain", "limb1", "hand", each a box of its own size (so that
// smoothing has corners to round), the root's mesh with bones following "hand" and "chain";
// object 2 an instance of it; mesh item 5 a box.
void BuildScene() {
    ASSERT_TRUE(CreateNewObjectWithLimbs(1, "chain", 3));
    FrameRecord* root = Object(1)->rootFrame;
    std::strcpy(root->child->name, "limb1");
    std::strcpy(root->child->child->name, "hand");
    float h = 1.0f;
    for (FrameRecord* f = root; f; f = f->child, h += 1.0f)
        ASSERT_TRUE(FillBoxMesh(f->mesh, D3DXVECTOR3(-h, -h, -h), D3DXVECTOR3(h, h, h)));
    root->mesh->boneCount = 2;
    root->mesh->bones = new BoneRecord[2];
    std::strcpy(root->mesh->bones[0].name, "hand");
    std::strcpy(root->mesh->bones[1].name, "chain");
    ASSERT_TRUE(SetupNewObject(1, -1.0f));
    InstanceObject(2, 1);
    ASSERT_TRUE(ResizeMeshArray(5));
    g_Object3D.meshes[5] = new MeshRecord;
    ASSERT_TRUE(FillBoxMesh(g_Object3D.meshes[5], D3DXVECTOR3(-9, -9, -9), D3DXVECTOR3(9, 9, 9)));
}

struct ChangeRow {
    const char* name;
    std::function<void()> call;
    std::int32_t error; // raised when a refusal was met
    std::function<void(const Snapshot& before)> done;
};

const ChangeRow kRows[] = {
    {"AddLimb", [] { AddLimb(1, -1, 5); }, 7028,
     [](const Snapshot&) {
         ASSERT_EQ(GetLimbCount(1), 4);
         EXPECT_EQ(Object(1)->frames[3]->mesh->vertexCount, g_Object3D.meshes[5]->vertexCount);
         EXPECT_GE(Object(2)->instanceDataLength, 4);
     }},
    {"RemoveLimb", [] { RemoveLimb(1, 2); }, 101,
     [](const Snapshot& before) {
         EXPECT_EQ(GetLimbCount(1), 2);
         EXPECT_EQ(Object(1)->rootFrame->mesh->boneFrames[0], nullptr); // "hand" went
         EXPECT_EQ(Object(1)->rootFrame->mesh->boneFrames[1], before.frames[0]);
     }},
    {"ChangeLimbMesh", [] { ChangeLimbMesh(1, 1, 5); }, 7028,
     [](const Snapshot& before) {
         EXPECT_NE(Object(1)->frames[1]->mesh, before.limbMeshes[1]);
         EXPECT_GT(Object(1)->collision.radius, before.radius);
     }},
    {"SetObjectSmoothing", [] { SetObjectSmoothing(1, 100.0f); }, 101,
     [](const Snapshot& before) {
         for (int i = 0; i < 3; ++i)
             EXPECT_NE(Take().vertices[i], before.vertices[i]) << "limb " << i << " unsmoothed";
     }},
};

class ObjectMemory : public ObjectTables {
protected:
    static void SetUpTestSuite() {
        try { // a thread's first exception sets up what later ones reuse
            throw std::bad_alloc();
        } catch (const std::bad_alloc&) {
        }
    }
};

} // namespace

TEST_F(ObjectMemory, ChangesThatRunOutOfMemoryLeaveTheObjectWhole) {
    for (const ChangeRow& row : kRows) {
        BuildScene();
        const Snapshot before = Take();
        bool finished = false;
        for (int k = 1; k < 200 && !finished; ++k) {
            const std::string what = std::string(row.name) + ", allocation " + std::to_string(k);
            errors.Clear();
            const std::int64_t held = Outstanding();
            if (CallFailing(k, row.call, what)) {
                EXPECT_EQ(errors.Last(), row.error) << what;
                EXPECT_TRUE(Take() == before) << what << ": the object changed";
                EXPECT_EQ(Outstanding(), held) << what << ": memory stays held";
            } else {
                EXPECT_EQ(errors.Last(), 0) << what;
                row.done(before);
                finished = true;
            }
        }
        EXPECT_TRUE(finished) << row.name;
        DeleteObject(2);
        DeleteObject(1);
        DeleteMeshCmd(5);
    }
}

TEST_F(ObjectMemory, BoundsThatCannotBeMeasuredKeepTheirFrames) {
    BuildScene();
    ObjectRecord* object = Object(1);
    object->animationSet = new AnimationSetRecord;
    object->animationSet->frameCount = 4;
    object->firstLastBoundsOnly = 1;
    ASSERT_TRUE(CalculateObjectBounds(object));
    const float* radii = object->animationSet->boundsRadius;
    const float radius = object->collision.radius;
    const std::int64_t held = Outstanding();
    // The per-frame arrays are made first: refusing any of them keeps the old ones and the count.
    for (int k = 1; k <= 4; ++k) {
        errors.Clear();
        ASSERT_TRUE(CallFailing(
            k, [] { CalculateObjectBoundsCmd(1); }, "bounds"));
        EXPECT_EQ(errors.Last(), 101) << k;
        EXPECT_EQ(object->animationSet->frameCount, 4) << k;
        EXPECT_EQ(object->animationSet->boundsRadius, radii) << k;
        EXPECT_EQ(object->collision.radius, radius) << k;
        EXPECT_EQ(Outstanding(), held) << k;
    }
}

TEST_F(ObjectMemory, ABoxApproximationOutOfMemoryKeepsTheMesh) {
    BuildScene();
    // The expansion's vertex map is kept from call to call: one made first is reused.
    ASSERT_TRUE(ResizeMeshArray(6));
    g_Object3D.meshes[6] = new MeshRecord;
    ASSERT_TRUE(FillBoxMesh(g_Object3D.meshes[6], D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1)));
    MakeMeshBoxApproximation(6, 0, 0, 3, 1, 3);
    MeshRecord* mesh = g_Object3D.meshes[5];
    bool finished = false;
    for (int k = 1; k < 200 && !finished; ++k) {
        const std::vector<std::uint8_t> before(
            mesh->vertices, mesh->vertices + mesh->vertexCount * mesh->vertexSize);
        const std::uint8_t* vertices = mesh->vertices;
        errors.Clear();
        const std::int64_t held = Outstanding();
        if (CallFailing(
                k, [] { MakeMeshBoxApproximation(5, 0, 0, 3, 1, 3); }, "boxes")) {
            EXPECT_EQ(errors.Last(), 101) << k;
            EXPECT_EQ(mesh->vertices, vertices) << k;
            EXPECT_TRUE(std::equal(before.begin(), before.end(), mesh->vertices)) << k;
            EXPECT_EQ(Outstanding(), held) << k;
        } else {
            EXPECT_EQ(errors.Last(), 0) << k;
            EXPECT_NE(mesh->vertices, vertices) << k; // replaced by the boxes
            finished = true;
        }
    }
    EXPECT_TRUE(finished);
}
