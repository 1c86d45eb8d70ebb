// The CSG commands on objects and meshes of the object engine: checks, placement in the world,
// the vertex-data mesh, and results drawn on the device.
#include "core/win32.h"

#include "csg/csg.h"
#include "csg/csg_meshes.h"
#include "csg/csg_node.h"
#include "core/frame_loop.h"
#include "draw2d/draw2d.h"
#include "object3d/appearance.h"
#include "object3d/mesh_item_box.h"
#include "object3d/mesh_convert.h"
#include "object3d/positioning.h"
#include "object3d/primitive_makers.h"
#include "object3d/vertex_data_commands.h"
#include "support/object_scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr std::uint32_t kClear = 0xFF204060;

// The volume a mesh of any triangle layout encloses, read as the CSG operations read it.
double MeshVolume(const MeshRecord* mesh) {
    const auto set = LoadCsgPolygonSet(mesh);
    double volume = 0;
    for (int i = 0; set && i < set->count; ++i) {
        const BspVector a = set->polygons[i]->vertices[0].position;
        const BspVector b = set->polygons[i]->vertices[1].position;
        const BspVector c = set->polygons[i]->vertices[2].position;
        volume += a.Dot(b.Cross(c));
    }
    return volume / 6;
}

} // namespace

TEST_F(ObjectTables, CsgCommandsCheckTheirNumbersFirst) {
    BuildBox(1, 1.0f);
    BuildBox(2, 1.0f);
    PositionObject(2, 1, 0, 0);
    const auto before = VertexBytes(*FirstMesh(1));
    PerformCsgUnion(0, 2);
    EXPECT_EQ(errors.Last(), 7006);
    errors.Clear();
    PerformCsgDifferenceExport(1, 9); // missing: the first object is not touched either
    EXPECT_EQ(errors.Last(), 7008);
    errors.Clear();
    PerformCsgClipExport(1, 22000001);
    EXPECT_EQ(errors.Last(), 7006);
    errors.Clear();
    PerformCsgUnionOnMesh(0);
    EXPECT_EQ(errors.Last(), 7001);
    errors.Clear();
    PerformCsgClipOnMeshExport(4);
    EXPECT_EQ(errors.Last(), 7003);
    errors.Clear();

    // An instance on either side is passed over without an error.
    MakeInstance(3, 2);
    g_Object3D.objects[1]->rebuild = 0;
    PerformCsgDifference(1, 3);
    PerformCsgBoxRemovalExport(3, 1);
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_EQ(g_Object3D.objects[1]->rebuild, 0);
    EXPECT_EQ(VertexBytes(*FirstMesh(1)), before);
}

TEST_F(ObjectTables, CsgWithoutDrawnMeshesOnlyMarksTheObject) {
    BuildBox(1, 1.0f);
    BuildBox(2, 1.0f);
    PositionObject(2, 1, 0, 0);
    FirstMesh(2)->visible = 0;
    const auto before = VertexBytes(*FirstMesh(1));
    g_Object3D.objects[1]->rebuild = 0;
    PerformCsgDifference(1, 2);
    EXPECT_EQ(VertexBytes(*FirstMesh(1)), before);
    EXPECT_EQ(FirstMesh(1)->indexCount, 36);
    EXPECT_EQ(g_Object3D.objects[1]->rebuild, 1);
    // A mode no command has: only the mark as well.
    FirstMesh(2)->visible = 1;
    PerformCsgOperation(1, 2, 7);
    EXPECT_EQ(VertexBytes(*FirstMesh(1)), before);
}

TEST_F(ObjectTables, CsgOnObjectsWorksInWorldSpace) {
    // Two boxes of side 2, B moved one unit along x and turned a quarter about y: A loses a
    // 1 x 2 x 2 slab and keeps its own space.
    BuildBox(1, 1.0f);
    BuildBox(2, 1.0f);
    PositionObject(1, 5, 0, 0);
    PositionObject(2, 6, 0, 0);
    YRotateObject(2, 90);
    const auto cutter = VertexBytes(*FirstMesh(2));
    PerformCsgDifference(1, 2);
    EXPECT_NEAR(MeshVolume(FirstMesh(1)), 4.0, 1e-3);
    EXPECT_LE(FirstMesh(1)->bounds.maximum.x, 0.0f + 1e-4f);
    EXPECT_EQ(VertexBytes(*FirstMesh(2)), cutter);
    EXPECT_EQ(g_Object3D.objects[1]->rebuild, 1);

    PerformCsgUnion(1, 2); // the slab and the cutter joined: x from 4 to 7
    EXPECT_NEAR(MeshVolume(FirstMesh(1)), 12.0, 1e-3);
    EXPECT_NEAR(FirstMesh(1)->bounds.maximum.x, 2.0f, 1e-4f);
    // The box removal takes what lies in B's box (grown by 0.1): all that B gave.
    const std::int32_t united = FirstMesh(1)->indexCount;
    PerformCsgBoxRemoval(1, 2);
    EXPECT_LT(FirstMesh(1)->indexCount, united);
    for (const Triangle& t : Triangles(*FirstMesh(1)))
        EXPECT_LT(std::min({t[0].x, t[1].x, t[2].x}), -0.1f + 1e-4f);
}

TEST_F(ObjectTables, CsgOnTheVertexDataMesh) {
    BoxMeshItem(1, {0, 0, 0}, {10, 10, 10});
    BoxMeshItem(2, {5, 5, 5}, {15, 15, 15});
    UnlockVertexData();
    const auto before = VertexBytes(*g_Object3D.meshes[1]);
    PerformCsgDifferenceOnMesh(2); // nothing selected: nothing happens
    EXPECT_EQ(VertexBytes(*g_Object3D.meshes[1]), before);

    LockVertexDataForMesh(1);
    PerformCsgDifferenceOnMesh(2);
    EXPECT_NEAR(MeshVolume(g_Object3D.meshes[1]), 875.0, 1e-2);
    EXPECT_EQ(GetVertexDataIndexCount(), g_Object3D.meshes[1]->indexCount);
    UnlockVertexData();

    // On a limb: the object is marked for its buffers to be rebuilt.
    BuildBox(3, 5.0f);
    BoxMeshItem(4, {0, 0, 0}, {10, 10, 10});
    LockVertexDataForLimb(3, 0);
    g_Object3D.objects[3]->rebuild = 0;
    PerformCsgUnionOnMesh(4);
    EXPECT_EQ(g_Object3D.objects[3]->rebuild, 1);
    EXPECT_NEAR(MeshVolume(FirstMesh(3)), 2000.0 - 125.0, 1e-2);
    UnlockVertexData();
}

TEST_F(ObjectScene, DifferenceOfDisjointBoxesRecomputesNormals) {
    BuildBox(1, 1.0f);
    BuildBox(2, 1.0f);
    PositionObject(2, 5, 0, 0);
    MeshRecord* mesh = FirstMesh(1);
    auto* words = reinterpret_cast<float*>(mesh->vertices);
    for (std::int32_t v = 0; v < mesh->vertexCount; ++v)
        words[8 * v + 3] = words[8 * v + 4] = words[8 * v + 5] = 0.25f;
    PerformCsgDifference(1, 2);
    EXPECT_EQ(mesh->indexCount, 36);
    words = reinterpret_cast<float*>(mesh->vertices);
    for (std::int32_t v = 0; v < mesh->vertexCount; ++v) {
        const float nx = words[8 * v + 3], ny = words[8 * v + 4], nz = words[8 * v + 5];
        EXPECT_NEAR(nx * nx + ny * ny + nz * nz, 1.0f, 1e-4f);
        EXPECT_NEAR(std::fabs(nx) + std::fabs(ny) + std::fabs(nz), 1.0f, 1e-4f); // along an axis
    }
}

TEST_F(ObjectScene, AHoleCutThroughABoxIsSeenThrough) {
    BuildBox(1, 2.0f);
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));
    MakeObjectBox(2, 1, 1, 10);
    ASSERT_TRUE(PositionObject(2, 0, 0, 10));
    HideObject(2);
    const std::uint32_t lit = SyncAndReadCentre(kClear);
    ASSERT_NE(lit & 0xFFFFFF, kClear & 0xFFFFFF);
    PerformCsgDifference(1, 2);
    const std::uint32_t centre = SyncAndReadCentre(kClear);
    EXPECT_EQ(centre & 0xFFFFFF, kClear & 0xFFFFFF);
    EXPECT_EQ(GetPixelColour(380, 240) & 0xFFFFFF, lit & 0xFFFFFF); // the front face beside it
    EXPECT_EQ(g_CoreData->drawnPolygons, FirstMesh(1)->indexCount / 3);
    EXPECT_NEAR(MeshVolume(FirstMesh(1)), 64.0 - 4.0, 1e-3);

    // Clipped by a box around it, nothing of it is left to draw.
    MakeObjectBox(3, 20);
    ASSERT_TRUE(PositionObject(3, 0, 0, 10));
    HideObject(3);
    PerformCsgClip(1, 3);
    EXPECT_EQ(FirstMesh(1)->vertexCount, 0);
    EXPECT_EQ(SyncAndReadCentre(kClear) & 0xFFFFFF, kClear & 0xFFFFFF);
    EXPECT_EQ(g_CoreData->drawnPolygons, 0);
}

TEST_F(ObjectScene, CuttersOfOtherFormatsAndLayoutsStayAsTheyAre) {
    // A coloured cutter is read through a converted copy.
    BuildBox(1, 1.0f);
    BuildBox(2, 1.0f);
    PositionObject(2, 1, 1, 1);
    MeshRecord* cutter = FirstMesh(2);
    ConvertMeshToFVF(cutter, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    ASSERT_EQ(cutter->fvf, static_cast<std::uint32_t>(0x152));
    const auto bytes = VertexBytes(*cutter);
    PerformCsgDifference(1, 2);
    EXPECT_NEAR(MeshVolume(FirstMesh(1)), 8.0 - 1.0, 1e-3);
    EXPECT_EQ(cutter->fvf, static_cast<std::uint32_t>(0x152));

    // A sphere (an indexed strip) cut in half by a box over z > 0.
    MakeObjectSphere(3, 4);
    MeshRecord* sphere = FirstMesh(3);
    ASSERT_EQ(sphere->primitiveType, D3DPT_TRIANGLESTRIP);
    const double whole = MeshVolume(sphere);
    ASSERT_GT(whole, 0.9 * 4.0 / 3.0 * D3DX_PI * 8);
    MakeObjectBox(4, 10, 10, 5);
    PositionObject(4, 0, 0, 2.5f);
    PerformCsgDifference(3, 4);
    EXPECT_EQ(sphere->primitiveType, D3DPT_TRIANGLELIST);
    EXPECT_NEAR(MeshVolume(sphere), whole / 2, 0.01 * whole);
    for (const Triangle& t : Triangles(*sphere))
        EXPECT_LE(std::max({t[0].z, t[1].z, t[2].z}), 0.011f);
}

TEST_F(ObjectTables, BoxRemovalRefusesACutterThatIsNotSolid) {
    // An L in the x-y plane, made by a union: more than 12 triangles, and a grid of rays along
    // z misses its open corner, where A lies.
    MakeObjectBox(6, 4, 1, 1);
    PositionObject(6, 2, 0.5f, 0.5f);
    MakeObjectBox(7, 1, 4, 1);
    PositionObject(7, 0.5f, 2, 0.5f);
    PerformCsgUnion(6, 7);
    ASSERT_GT(FirstMesh(6)->indexCount, 36);
    MakeObjectBox(5, 0.6f);
    PositionObject(5, 2.5f, 2.5f, 0.5f);
    PerformCsgBoxRemoval(5, 6);
    EXPECT_EQ(FirstMesh(5)->indexCount, 36);
    // A plain box of 12 triangles needs no rays.
    PositionObject(7, 2.5f, 2.5f, 0.5f);
    PerformCsgBoxRemoval(5, 7);
    EXPECT_EQ(FirstMesh(5)->indexCount, 0);
}
