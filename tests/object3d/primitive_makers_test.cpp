#include "core/win32.h"

#include "object3d/mesh_properties.h"
#include "object3d/positioning.h"
#include "object3d/primitive_makers.h"
#include "object3d/vertex_layout.h"
#include "support/object_scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr std::uint32_t kClear = 0xFF204060;
constexpr int kLitFront = 132; // light 0 and the ambient light on a face looking at the camera

// Records the radius each new object reports to the camera's automatic focus.
class MakerTables : public ObjectTables {
protected:
    void SetUp() override {
        ObjectTables::SetUp();
        saved = g_Object3D.cameras.autoFocus;
        g_Object3D.cameras.autoFocus = [](float, float, float, float size) { focused = size; };
        focused = -99;
    }
    void TearDown() override {
        g_Object3D.cameras.autoFocus = saved;
        ObjectTables::TearDown();
    }
    static inline float focused = 0;
    void (*saved)(float, float, float, float) = nullptr;
};

D3DXVECTOR3 Triple(const MeshRecord* mesh, std::int32_t v, bool normal) {
    VertexOffsetMap map;
    GetMeshOffsetMap(mesh, &map);
    const float* w = reinterpret_cast<const float*>(mesh->vertices) + v * map.StrideDwords;
    return normal ? D3DXVECTOR3(w[map.NX], w[map.NY], w[map.NZ])
                  : D3DXVECTOR3(w[map.X], w[map.Y], w[map.Z]);
}

ObjectRecord* Object(std::int32_t n) {
    return g_Object3D.objects[n];
}

} // namespace

TEST_F(MakerTables, SpheresHaveTheirRadiusAndRefuseTooFewRings) {
    MakeObjectSphere(1, 10, 12, 12);
    ASSERT_TRUE(ObjectExists(1));
    EXPECT_EQ(FirstMesh(1)->vertexCount, 169);
    EXPECT_NEAR(Object(1)->collision.radius, 5, 1e-4);
    EXPECT_EQ(focused, 5.0f);
    EXPECT_EQ(FirstMesh(1)->textures[0].imageNumber, 0); // untextured
    MakeObjectSphere(2, 4);
    EXPECT_EQ(FirstMesh(2)->vertexCount, 169); // the short form's 12 x 12
    for (auto [rings, segments] : {std::pair{0, 12}, {12, 2}}) {
        errors.Clear();
        MakeObjectSphere(3, 10, rings, segments);
        EXPECT_EQ(errors.Last(), 7029);
        EXPECT_FALSE(ObjectExists(3)); // nothing half-made is left
    }
}

TEST_F(MakerTables, CylindersAndConesFollowTheirRecipes) {
    MakeObjectCylinder(1, 2);
    const MeshRecord* tube = FirstMesh(1);
    ASSERT_EQ(tube->vertexCount, 62);
    EXPECT_EQ(tube->primitiveType, D3DPT_TRIANGLESTRIP);
    EXPECT_EQ(tube->drawPrimitiveCount, 60);
    EXPECT_EQ(focused, 2.0f);
    EXPECT_EQ(Object(1)->collision.type, 2);
    for (std::int32_t v = 0; v < 62; ++v) {
        EXPECT_EQ(Triple(tube, v, false).y, v % 2 ? -1.0f : 1.0f);
        EXPECT_EQ(Triple(tube, v, true).y, 0.0f);
    }

    // Cones of any size have the same slope: 0.2951673 up for 1 out.
    for (float size : {2.0f, 10.0f}) {
        DeleteObject(2);
        MakeObjectCone(2, size);
        const MeshRecord* cone = FirstMesh(2);
        ASSERT_EQ(cone->vertexCount, 23);
        ASSERT_EQ(cone->indexCount, 33);
        EXPECT_EQ(cone->drawPrimitiveCount, 11);
        EXPECT_EQ(*std::max_element(cone->indices, cone->indices + 33), 22);
        EXPECT_EQ(focused, size * 0.5f);
        for (std::int32_t v = 0; v < 23; ++v) {
            const D3DXVECTOR3 n = Triple(cone, v, true);
            EXPECT_NEAR(n.y / std::sqrt(n.x * n.x + n.z * n.z), 0.2951673f, 1e-5) << v;
        }
        const D3DXVECTOR3 first = Triple(cone, 1, false), last = Triple(cone, 22, false);
        EXPECT_NEAR(last.x, first.x, 1e-5);
        EXPECT_NEAR(last.z, first.z, 1e-5);
        EXPECT_EQ(Object(2)->collision.type, 1); // the default
    }
}

TEST_F(MakerTables, TrianglesAndPlanesAreSeenFromBothSides) {
    MakeObjectTriangle(1, 2, 0, 0, 2, 1, 0, 3, 1, 0);
    EXPECT_EQ(focused, 0.0f); // x2 - x1
    EXPECT_EQ(Triple(FirstMesh(1), 0, true), D3DXVECTOR3(0, 0, -1));
    EXPECT_EQ(FirstMesh(1)->culling, 0);
    EXPECT_EQ(Object(1)->collision.type, 2);
    MakeObjectTriangle(2, 3, 0, 0, 1, 1, 0, 3, 1, 0);
    EXPECT_EQ(focused, 2.0f); // a size, whichever way the corners run

    MakeObjectPlane(3, 10, 6);
    EXPECT_EQ(focused, 4.0f);
    EXPECT_EQ(Object(3)->position.angle.y, 180.0f);
    EXPECT_EQ(FirstMesh(3)->culling, 0);
    EXPECT_EQ(Triple(FirstMesh(3), 1, false).y, -3.0f);
    MakeObjectPlane(4, 8);
    EXPECT_EQ(focused, 4.0f);
    MakeObjectPlaneFacingNegativeZ(5, 10, 6);
    EXPECT_EQ(Object(5)->position.angle.y, 0.0f);
    EXPECT_EQ(Triple(FirstMesh(5), 0, true), D3DXVECTOR3(0, 0, -1));
}

TEST_F(MakerTables, MakersOnAUsedOrIllegalNumberChangeNothing) {
    BuildBox(1, 1.0f);
    MeshRecord* box = FirstMesh(1);
    MakeObjectSphere(1, 10);
    EXPECT_EQ(errors.Last(), 7007);
    MakeObjectCone(1, 10);
    MakeObjectPyramid(1, 10);
    EXPECT_EQ(FirstMesh(1), box);
    EXPECT_EQ(box->vertexCount, 24);
    MakeObjectBox(0, 1);
    EXPECT_EQ(errors.Last(), 7006);

    // A mesh item: checked first, then the object number, which fails with 7002.
    ASSERT_TRUE(ResizeMeshArray(4));
    g_Object3D.meshes[4] = new MeshRecord;
    ASSERT_TRUE(FillBoxMesh(g_Object3D.meshes[4], D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1)));
    MakeObjectFromMesh(1, 4, 0);
    EXPECT_EQ(errors.Last(), 7002);
    MakeObjectFromMesh(2, 3, 0);
    EXPECT_EQ(errors.Last(), 7003);
    EXPECT_FALSE(ObjectExists(2));
    MakeObjectFromMesh(2, 4, 0);
    const MeshRecord* copy = FirstMesh(2);
    ASSERT_NE(copy, g_Object3D.meshes[4]);
    EXPECT_TRUE(
        std::equal(copy->vertices, copy->vertices + 24 * 32, g_Object3D.meshes[4]->vertices));
    EXPECT_EQ(copy->indexCount, 36);
}

TEST_F(MakerTables, ObjectsTradeTheirFramesForOneEmptyMesh) {
    ASSERT_TRUE(CreateNewObjectWithLimbs(1, "three", 3));
    ASSERT_TRUE(SetupNewObject(1, -1.0f));
    ASSERT_EQ(Object(1)->frameCount, 3);
    ReplaceObjectWithEmptyMesh(1, D3DFVF_XYZ | D3DFVF_DIFFUSE, 30, 60);
    ASSERT_EQ(Object(1)->frameCount, 1);
    ASSERT_EQ(Object(1)->meshCount, 1);
    const MeshRecord* mesh = FirstMesh(1);
    EXPECT_EQ(mesh->vertexCount, 30);
    EXPECT_EQ(mesh->drawPrimitiveCount, 20);
    EXPECT_TRUE(std::all_of(mesh->indices, mesh->indices + 60, [](auto i) { return i == 0; }));
    EXPECT_TRUE(
        std::all_of(mesh->vertices, mesh->vertices + 30 * 16, [](auto b) { return b == 0; }));
    EXPECT_EQ(focused, 100.0f);
    EXPECT_EQ(Object(1)->collision.type, 2);
    ReplaceObjectWithEmptyMesh(1, D3DFVF_XYZ, 30, 0);
    EXPECT_EQ(FirstMesh(1)->drawPrimitiveCount, 10); // the vertices are the list

    // Refused formats and counts leave the object as it was.
    mesh = FirstMesh(1);
    for (auto [fvf, vertices, indices] : {std::tuple{0u, 3, 3},
                                          {D3DFVF_XYZ, -1, 3},
                                          {D3DFVF_XYZ, 3, -3},
                                          {D3DFVF_XYZ, 0x10000, 0},
                                          {D3DFVF_XYZ, 0x7FFFFFFF, 0}}) {
        errors.Clear();
        ReplaceObjectWithEmptyMesh(1, fvf, vertices, indices);
        EXPECT_EQ(errors.Last(), 7002);
        EXPECT_EQ(FirstMesh(1), mesh);
    }
    errors.Clear();
    ReplaceObjectWithEmptyMesh(1, D3DFVF_XYZ, 0xFFFF, 0); // as many as 16-bit indices name
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_EQ(FirstMesh(1)->vertexCount, 0xFFFF);
    ReplaceObjectWithEmptyMesh(2, D3DFVF_XYZ, 3, 0);
    EXPECT_EQ(errors.Last(), 7008);
}

TEST_F(ObjectScene, MadeBoxesAndPlanesFaceTheCameraLit) {
    MakeObjectBox(1, 10, 10, 10);
    ASSERT_TRUE(PositionObject(1, 0, 0, 30));
    std::uint32_t centre = SyncAndReadCentre(kClear);
    EXPECT_NEAR(Red(centre), kLitFront, 3);
    EXPECT_NEAR(Blue(centre), kLitFront, 3);
    ASSERT_TRUE(DeleteObject(1));

    // Turned to face the camera, the plane is lit, and still drawn with culling back on.
    MakeObjectPlane(2, 10, 10);
    ASSERT_TRUE(PositionObject(2, 0, 0, 30));
    EXPECT_NEAR(Green(SyncAndReadCentre(kClear)), kLitFront, 3);
    SetMeshCull(FirstMesh(2), 1);
    EXPECT_NEAR(Green(SyncAndReadCentre(kClear)), kLitFront, 3);
    ASSERT_TRUE(DeleteObject(2));

    MakeObjectPlaneFacingNegativeZ(3, 10, 10);
    ASSERT_TRUE(PositionObject(3, 0, 0, 30));
    SetMeshCull(FirstMesh(3), 1);
    EXPECT_NEAR(Green(SyncAndReadCentre(kClear)), kLitFront, 3);
}
