#include "core/win32.h"

#include "object3d/effect.h"
#include "object3d/object_records.h"

#include <gtest/gtest.h>

namespace {

// An effect whose destruction is counted: a mesh that owns one frees it with itself, so the
// count is the number of meshes freed.
int destroyed = 0;
class CountedEffect : public EffectBase {
public:
    ~CountedEffect() override { ++destroyed; }
};

MeshRecord* CountedMesh() {
    auto* mesh = new MeshRecord;
    mesh->effect = new CountedEffect;
    return mesh;
}

} // namespace

TEST(ObjectRecords, NewMeshesAndTextureSlotsHaveTheirDefaults) {
    const MeshRecord mesh;
    EXPECT_EQ(mesh.primitiveType, D3DPT_TRIANGLELIST);
    EXPECT_TRUE(mesh.lighting && mesh.culling && mesh.fog && mesh.ambient && mesh.visible);
    EXPECT_TRUE(mesh.depthRead && mesh.depthWrite);
    EXPECT_EQ(mesh.ghostMode, 2);
    EXPECT_FALSE(mesh.wireframe || mesh.transparency || mesh.ghost || mesh.materialOn);
    EXPECT_EQ(mesh.material.Diffuse.r, 1.0f);
    EXPECT_EQ(mesh.material.Ambient.b, 1.0f);
    EXPECT_EQ(mesh.material.Specular.r, 0.0f);
    EXPECT_EQ(mesh.material.Power, 0.0f);
    // A mesh's bounds start all zero, unlike an object's collision block.
    EXPECT_EQ(mesh.bounds.enabled, 0);
    EXPECT_EQ(mesh.bounds.type, 0);
    const ObjectRecord object;
    EXPECT_EQ(object.collision.enabled, 1);
    EXPECT_EQ(object.collision.type, 2);
    EXPECT_EQ(object.position.scale, D3DXVECTOR3(1, 1, 1));
    EXPECT_EQ(object.position.look, D3DXVECTOR3(0, 0, 1));
    EXPECT_EQ(object.position.matWorld, kIdentityMatrix);
    EXPECT_EQ(object.speed, 1.0f);
    EXPECT_EQ(object.commandWord, -1);

    const TextureRecord slot;
    EXPECT_EQ(slot.colourOperation, 2u);
    EXPECT_EQ(slot.argument1, 0u);
    EXPECT_EQ(slot.argument2, 0u);
    EXPECT_EQ(slot.addressU, 1u);
    EXPECT_EQ(slot.addressV, 1u);
    EXPECT_EQ(slot.magFilter, 2u);
    EXPECT_EQ(slot.minFilter, 2u);
    EXPECT_EQ(slot.mipFilter, 2u);
    EXPECT_EQ(slot.coordinateMode, 0u);
}

TEST(ObjectRecords, AnObjectListingItsFramesMeshesFreesEachOnce) {
    destroyed = 0;
    auto* object = new ObjectRecord;
    object->rootFrame = new FrameRecord;
    object->rootFrame->mesh = CountedMesh();
    object->rootFrame->child = new FrameRecord;
    object->rootFrame->child->mesh = CountedMesh();
    object->rootFrame->child->shadowMesh = CountedMesh();
    // The list holds both frame meshes and one mesh that no frame owns.
    object->meshCount = 3;
    object->meshes = new MeshRecord* [3] {
        object->rootFrame->mesh, object->rootFrame->child->mesh, CountedMesh()
    };
    delete object;
    EXPECT_EQ(destroyed, 4);
}

TEST(ObjectRecords, SharedEffectsStayWithTheirOwner) {
    destroyed = 0;
    auto* owner = CountedMesh();
    auto* sharer = new MeshRecord;
    sharer->effect = owner->effect;
    sharer->sharedEffect = 1;
    delete sharer;
    EXPECT_EQ(destroyed, 0);
    delete owner;
    EXPECT_EQ(destroyed, 1);
}

TEST(ObjectRecords, DeepAndLongFrameTreesTearDownWithoutExhaustingTheStack) {
    destroyed = 0;
    auto* root = new FrameRecord;
    FrameRecord* f = root;
    for (int i = 0; i < 200000; ++i) { // a chain of children far deeper than any stack
        f->child = new FrameRecord;
        f->child->parent = f;
        f = f->child;
    }
    f->mesh = CountedMesh();
    for (int i = 0; i < 200000; ++i) { // and as many siblings below its last child
        f->sibling = new FrameRecord;
        f = f->sibling;
    }
    f->mesh = CountedMesh();
    delete root;
    EXPECT_EQ(destroyed, 2);

    auto* chain = new AnimationSetRecord;
    AnimationRecord** next = &chain->animation;
    for (int i = 0; i < 200000; ++i) {
        *next = new AnimationRecord;
        (*next)->positionKeys = new PositionKey[2];
        next = &(*next)->next;
    }
    delete chain;
}

TEST(ObjectRecords, TeardownsClearWhatTheyFree) {
    TextureRecord slot;
    IDirect3DTexture9* borrowed = reinterpret_cast<IDirect3DTexture9*>(0x1234);
    slot.texture = borrowed; // the image module's: never released by the slot
    slot.ReleaseTexture();
    EXPECT_EQ(slot.texture, borrowed);
    EXPECT_EQ(slot.overrideTexture, nullptr);
    slot.texture = nullptr;

    DrawItem item;
    item.primitiveCount = 7;
    item.vertexBuffer = reinterpret_cast<IDirect3DVertexBuffer9*>(0x10);
    ClearRecord56(&item);
    EXPECT_EQ(item.primitiveCount, 0);
    EXPECT_EQ(item.vertexBuffer, nullptr);
}
