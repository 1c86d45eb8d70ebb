#include "core/win32.h"

#include "support/object_scene.h"
#include "object3d/effect.h"
#include "object3d/effect_slots.h"
#include "object3d/object_world.h"
#include "object3d/positioning.h"
#include "object3d/vertex_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

namespace {

std::int32_t Used(std::int32_t n) {
    const Object3DState& s = g_Object3D;
    return static_cast<std::int32_t>(std::count(s.usedNumbers, s.usedNumbers + s.usedCount, n));
}

int destroyed = 0;
class CountedEffect : public EffectBase {
public:
    ~CountedEffect() override { ++destroyed; }
};

} // namespace

TEST_F(ObjectTables, NumberChecksRaiseTheirErrors) {
    EXPECT_TRUE(ConfirmNewObject(22000000)); // the highest number is legal
    EXPECT_FALSE(ConfirmObject(22000000));
    EXPECT_EQ(errors.Last(), 7008);
    for (std::int32_t bad : {0, -1, 22000001}) {
        errors.Clear();
        EXPECT_FALSE(ConfirmObject(bad));
        EXPECT_EQ(errors.Last(), 7006) << bad;
    }
    errors.Clear();
    EXPECT_FALSE(ObjectExists(22000001));
    EXPECT_EQ(errors.Last(), 0); // never raises

    ASSERT_TRUE(CreateNewObject(4, "root"));
    ASSERT_TRUE(SetupNewObject(4, -1.0f));
    EXPECT_FALSE(CreateNewObject(4, "again"));
    EXPECT_EQ(errors.Last(), 7007);
    errors.Clear();
    EXPECT_TRUE(ConfirmObjectAndLimb(4, 0));
    EXPECT_FALSE(ConfirmObjectAndLimb(4, -1));
    EXPECT_EQ(errors.Last(), 7021);
    EXPECT_FALSE(ConfirmObjectAndLimb(4, 1));
    EXPECT_EQ(errors.Last(), 7023);

    errors.Clear();
    EXPECT_FALSE(ConfirmMesh(0));
    EXPECT_EQ(errors.Last(), 7001);
    EXPECT_FALSE(ConfirmMesh(9));
    EXPECT_EQ(errors.Last(), 7003);

    EXPECT_FALSE(ConfirmEffect(0));
    EXPECT_EQ(errors.Last(), 7721);
    EXPECT_FALSE(ConfirmNewEffect(65536));
    EXPECT_EQ(errors.Last(), 7721);
    EXPECT_FALSE(ConfirmEffect(65535));
    EXPECT_EQ(errors.Last(), 7722);
    g_Object3D.effects[65535] = new EffectHolder;
    EXPECT_TRUE(ConfirmEffect(65535));
    EXPECT_FALSE(ConfirmNewEffect(65535));
    EXPECT_EQ(errors.Last(), 7723);
    delete g_Object3D.effects[65535];
    g_Object3D.effects[65535] = nullptr;
}

TEST_F(ObjectTables, TablesGrowPastTheNumberAsked) {
    Basic3DDestructor();
    g_Object3D.objectCapacity = 0;
    Basic3DPassCoreData(g_CoreData);
    ASSERT_TRUE(CreateNewObject(3, "a"));
    EXPECT_EQ(g_Object3D.objectCapacity, 50);
    ASSERT_TRUE(CreateNewObject(120, "b"));
    EXPECT_EQ(g_Object3D.objectCapacity, 125);
    EXPECT_EQ(g_Object3D.objects[3]->rootFrame->name, std::string("a")); // kept over the growth
    EXPECT_EQ(g_Object3D.usedCount, 2);

    delete[] g_Object3D.meshes;
    g_Object3D.meshes = new MeshRecord*[4]();
    g_Object3D.meshCapacity = 4;
    const float triangle[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    ASSERT_TRUE(MakeMeshFromMemblock(
        10, D3DFVF_XYZ, 3, reinterpret_cast<const std::uint8_t*>(triangle), sizeof triangle));
    EXPECT_EQ(g_Object3D.meshCapacity, 15);
    EXPECT_TRUE(ConfirmMesh(10));
}

TEST_F(ObjectTables, SetUpObjectsTakeTheirListsBoundsAndTransform) {
    ASSERT_TRUE(CreateNewObjectWithLimbs(7, "chain", 3));
    EXPECT_TRUE(SetupNewObject(7, -1.0f));
    ObjectRecord* o = g_Object3D.objects[7];
    EXPECT_EQ(o->frameCount, 3);
    EXPECT_EQ(o->meshCount, 3);
    EXPECT_EQ(o->frames[2]->index, 2);
    EXPECT_EQ(o->frames[2]->parent, o->frames[1]);
    EXPECT_EQ(o->position.scale, D3DXVECTOR3(1, 1, 1));
    EXPECT_EQ(o->collision.type, 1); // boxes
    EXPECT_EQ(o->rebuild, 1);
    EXPECT_TRUE(ConfirmObjectAndLimb(7, 2));

    // An object whose tree lost its frames fails its set-up and is gone, number and all.
    ASSERT_TRUE(CreateNewObject(8, "bare"));
    delete std::exchange(g_Object3D.objects[8]->rootFrame, nullptr);
    EXPECT_FALSE(SetupNewObject(8, -1.0f));
    EXPECT_EQ(errors.Last(), 7018);
    EXPECT_FALSE(ObjectExists(8));
    EXPECT_EQ(Used(8), 0);
}

TEST_F(ObjectTables, InstancesDieWithTheirSourceAndMakersReplaceThem) {
    ASSERT_TRUE(CreateNewObject(1, "source"));
    ASSERT_TRUE(SetupNewObject(1, -1.0f));
    MakeInstance(2, 1);
    MakeInstance(3, 1);
    EXPECT_TRUE(ObjectExists(2));
    EXPECT_FALSE(ConfirmObject(2)); // an instance fails quietly
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_TRUE(ConfirmObjectInstance(2));
    EXPECT_TRUE(ConfirmObjectAndLimbInstance(2, 0));
    EXPECT_TRUE(ConfirmNewObject(2)); // an instance's number may be made anew

    EXPECT_TRUE(DeleteObject(1));
    for (std::int32_t n : {1, 2, 3}) {
        EXPECT_FALSE(ObjectExists(n)) << n;
        EXPECT_EQ(Used(n), 0) << n;
    }
    EXPECT_EQ(g_Object3D.usedCount, 0);

    // A maker given an instance's number deletes the instance first: nothing of it is left.
    ASSERT_TRUE(CreateNewObject(1, "source"));
    ASSERT_TRUE(SetupNewObject(1, -1.0f));
    MakeInstance(5, 1);
    destroyed = 0;
    ObjectRecord* instance = g_Object3D.objects[5];
    instance->meshCount = 1; // a mesh of its own that no frame holds goes with the record
    instance->meshes = new MeshRecord* [1] { new MeshRecord };
    instance->meshes[0]->effect = new CountedEffect;
    ASSERT_TRUE(CreateNewObject(5, "maker"));
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(g_Object3D.objects[5]->instanceSource, nullptr);
    EXPECT_EQ(Used(5), 1);
}

TEST_F(ObjectTables, MemoryBlocksMustHoldTheVerticesTheyClaim) {
    const float vertices[3][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(vertices);
    EXPECT_FALSE(MakeMeshFromMemblock(3, D3DFVF_XYZ, 3, bytes, sizeof vertices - 1));
    EXPECT_FALSE(MakeMeshFromMemblock(3, D3DFVF_XYZ, 0x40000000, bytes, sizeof vertices));
    EXPECT_FALSE(MakeMeshFromMemblock(3, D3DFVF_XYZ, -1, bytes, sizeof vertices));
    EXPECT_FALSE(MakeMeshFromMemblock(3, 0, 3, bytes, sizeof vertices)); // no format
    EXPECT_FALSE(ConfirmMesh(3));
    errors.Clear();
    EXPECT_FALSE(MakeMeshFromMemblock(0, D3DFVF_XYZ, 3, bytes, sizeof vertices));
    EXPECT_EQ(errors.Last(), 7001);

    ASSERT_TRUE(MakeMeshFromMemblock(3, D3DFVF_XYZ, 3, bytes, sizeof vertices));
    MeshRecord* mesh = g_Object3D.meshes[3];
    EXPECT_EQ(mesh->drawPrimitiveCount, 1);
    // Indexed meshes come back as a plain list.
    mesh->indices = new std::uint16_t[6]{0, 1, 2, 2, 1, 0};
    mesh->indexCount = 6;
    std::uint32_t fvf = 0, stride = 0, size = 0;
    std::int32_t count = 0;
    std::uint8_t* data = nullptr;
    ASSERT_TRUE(MakeMemblockFromMesh(3, &fvf, &stride, &count, &data, &size, 1));
    EXPECT_EQ(fvf, static_cast<std::uint32_t>(D3DFVF_XYZ));
    EXPECT_EQ(stride, 12u);
    EXPECT_EQ(count, 6);
    EXPECT_EQ(size, 72u);
    const auto* out = reinterpret_cast<const float*>(data);
    EXPECT_EQ(out[3 * 3 + 0], 0.0f); // fourth corner: vertex 2
    EXPECT_EQ(out[3 * 3 + 1], 1.0f);
    EXPECT_TRUE(MakeMemblockFromMesh(3, &fvf, &stride, &count, &data, &size, 0));
    EXPECT_EQ(data, nullptr);
}

TEST(ObjectUtilities, AnglesWrapWithinAHundredSteps) {
    EXPECT_EQ(object3d::WrapAngle(-30), 330);
    EXPECT_EQ(object3d::WrapAngle(720), 0);
    EXPECT_EQ(object3d::WrapAngle(10 + 99 * 360.0f), 10);
    EXPECT_EQ(object3d::WrapAngle(10 + 100 * 360.0f), 0);
    EXPECT_EQ(object3d::WrapAngle(-10 - 98 * 360.0f), 350);

    D3DXVECTOR3 out;
    const D3DXVECTOR3 origin(0, 0, 0), right(10, 0, 0), above(0, 10, 10);
    GetAnglesToPoint(&origin, &right, &out);
    EXPECT_NEAR(out.y, 90, 1e-3);
    EXPECT_NEAR(out.x, 0, 1e-3);
    GetAnglesToPoint(&origin, &above, &out);
    EXPECT_NEAR(out.x, 315, 1e-3); // pitched up by 45 degrees
    EXPECT_EQ(out.z, 0);

    D3DXMATRIX m;
    D3DXMatrixRotationY(&m, D3DX_PI / 4);
    MatrixToEulerAngles(&m, &out);
    EXPECT_NEAR(out.y, 45, 1e-3);
}

TEST(ObjectUtilities, FormatsAndColours) {
    EXPECT_TRUE(IsStencilFormat(D3DFMT_D24S8));
    EXPECT_FALSE(IsStencilFormat(D3DFMT_D24X8));
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_R8G8B8), 24);
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_A8R8G8B8), 32);
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_R5G6B5), 16);
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_P8), 8);
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_D24S8), 0);
    const D3DXVECTOR3 up(0, 1, -1);
    EXPECT_EQ(VectorToColour(&up, 1.0f), 0xFF80FF01u);
}

TEST_F(ObjectTables, TurningAndScalingKeepTheWorldMatrixCurrent) {
    ASSERT_TRUE(CreateNewObject(9, "o"));
    ASSERT_TRUE(SetupNewObject(9, -1.0f));
    ASSERT_TRUE(ScaleObject(9, 200, 200, 200));
    ASSERT_TRUE(PositionObject(9, 10, 0, 0));
    D3DXVECTOR3 p(1, 0, 0);
    D3DXVec3TransformCoord(&p, &p, &g_Object3D.objects[9]->position.matWorld);
    EXPECT_NEAR(p.x, 12, 1e-5); // scaled, then moved

    ASSERT_TRUE(RotateObject(9, 0, 90, 0));
    const ObjectPosition& pos = g_Object3D.objects[9]->position;
    EXPECT_NEAR(pos.look.x, 1, 1e-5); // facing +x
    SetObjectMatrixMode(g_Object3D.objects[9], 1);
    EXPECT_EQ(pos.matrixMode, 1);
    EXPECT_NEAR(pos.angle.y, 90, 1e-3);
    EXPECT_FALSE(PositionObject(99, 0, 0, 0));
    EXPECT_EQ(errors.Last(), 7008);
}

TEST_F(ObjectTables, AnimationFramesPastTheEndTakeTheLastFramesBounds) {
    ASSERT_TRUE(CreateNewObject(1, "animated"));
    ASSERT_TRUE(SetupNewObject(1, -1.0f));
    ObjectRecord* o = g_Object3D.objects[1];
    auto* set = new AnimationSetRecord;
    set->frameCount = 3;
    set->boundsMinimum = new D3DXVECTOR3[3]{{0, 0, 0}, {1, 1, 1}, {2, 2, 2}};
    set->boundsMaximum = new D3DXVECTOR3[3]{{1, 1, 1}, {2, 2, 2}, {3, 3, 3}};
    set->boundsCentre = new D3DXVECTOR3[3]{};
    set->boundsRadius = new float[3]{1, 2, 3};
    o->animationSet = set;
    o->currentFrame = 10; // beyond the three frames the set has bounds for
    g_Object3D.manager.UpdateObjects();
    EXPECT_EQ(o->collision.radius, 3);
    EXPECT_EQ(o->collision.maximum, D3DXVECTOR3(3, 3, 3));
    o->currentFrame = -4;
    g_Object3D.manager.UpdateObjects();
    EXPECT_EQ(o->collision.radius, 1);
    o->collision.frozenBounds[1] = 1; // frozen: left as they are
    o->currentFrame = 1;
    g_Object3D.manager.UpdateObjects();
    EXPECT_EQ(o->collision.radius, 1);
}

TEST(ObjectMeshes, RawVerticesLargerThanTheFormatAreRefused) {
    const float source[2][4] = {{1, 2, 3, 99}, {4, 5, 6, 99}}; // a word more than XYZ each
    MeshRecord mesh;
    EXPECT_FALSE(
        SetMeshFromRawVertices(&mesh, D3DFVF_XYZ, sizeof source[0], source, 2, D3DPT_POINTLIST));
    EXPECT_EQ(mesh.vertices, nullptr);
    ASSERT_TRUE(SetMeshFromRawVertices(&mesh, D3DFVF_XYZ, 12, source, 2, D3DPT_POINTLIST));
    EXPECT_EQ(mesh.vertexSize, 12u);
    EXPECT_EQ(mesh.drawPrimitiveCount, 0);
    EXPECT_EQ(mesh.indexCount, 0);
}

TEST_F(ObjectTables, GluedObjectsFollowWithoutChangingWhatTheyFollow) {
    ASSERT_TRUE(CreateNewObjectWithLimbs(1, "arm", 2));
    ASSERT_TRUE(SetupNewObject(1, -1.0f));
    ObjectRecord* arm = g_Object3D.objects[1];
    D3DXMatrixRotationY(&arm->frames[1]->combinedMatrix, D3DX_PI / 2);
    arm->frames[1]->combinedMatrix._41 = 5; // the hand: turned, and 5 along x
    const D3DXMATRIX hand = arm->frames[1]->combinedMatrix;
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));

    ASSERT_TRUE(CreateNewObject(2, "ring"));
    ASSERT_TRUE(SetupNewObject(2, -1.0f));
    ObjectRecord* ring = g_Object3D.objects[2];
    ring->position.glued = 1;
    ring->position.glueObject = 1;
    ring->position.glueLimb = -1; // the limb's position only
    ASSERT_TRUE(UpdateObjectWorld(ring));
    EXPECT_NEAR(ring->position.matWorld._41, 5, 1e-5);
    EXPECT_NEAR(ring->position.matWorld._43, 10, 1e-5);
    EXPECT_NEAR(ring->position.matWorld._11, 1, 1e-5); // not turned
    EXPECT_EQ(arm->frames[1]->combinedMatrix, hand);   // the hand keeps its own turn

    // A loop of glues ends; a glue to an object that is gone counts as none.
    arm->position.glued = 1;
    arm->position.glueObject = 2;
    EXPECT_TRUE(UpdateObjectWorld(ring));
    ASSERT_TRUE(DeleteObject(1));
    ASSERT_TRUE(PositionObject(2, 1, 2, 3));
    EXPECT_NEAR(ring->position.matWorld._42, 2, 1e-5);
}
