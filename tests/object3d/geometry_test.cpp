#include "core/win32.h"

#include "object3d/geometry.h"
#include "object3d/vertex_layout.h"
#include "support/object_scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr std::uint32_t kFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

const float* VertexWords(const MeshRecord& mesh, std::int32_t v, VertexOffsetMap& map) {
    GetMeshOffsetMap(&mesh, &map);
    return reinterpret_cast<const float*>(mesh.vertices) +
           static_cast<std::size_t>(v) * map.StrideDwords;
}

D3DXVECTOR3 Position(const MeshRecord& mesh, std::int32_t v) {
    VertexOffsetMap map;
    const float* w = VertexWords(mesh, v, map);
    return D3DXVECTOR3(w[map.X], w[map.Y], w[map.Z]);
}

D3DXVECTOR3 Normal(const MeshRecord& mesh, std::int32_t v) {
    VertexOffsetMap map;
    const float* w = VertexWords(mesh, v, map);
    return D3DXVECTOR3(w[map.NX], w[map.NY], w[map.NZ]);
}

void SetNormal(MeshRecord& mesh, std::int32_t v, const D3DXVECTOR3& n) {
    VertexOffsetMap map;
    auto* w = const_cast<float*>(VertexWords(mesh, v, map));
    w[map.NX] = n.x, w[map.NY] = n.y, w[map.NZ] = n.z;
}

std::int32_t Corner(const MeshRecord& mesh, std::int32_t k) {
    return mesh.indexCount > 0 ? mesh.indices[k] : k;
}

// Every triangle of a list that has an area is wound clockwise seen from the side its vertex
// normals point to: the side the device draws.
void ExpectFacingItsNormals(const MeshRecord& mesh) {
    const std::int32_t corners = mesh.indexCount > 0 ? mesh.indexCount : mesh.vertexCount;
    for (std::int32_t k = 0; k + 2 < corners; k += 3) {
        const D3DXVECTOR3 a = Position(mesh, Corner(mesh, k)),
                          b = Position(mesh, Corner(mesh, k + 1)),
                          c = Position(mesh, Corner(mesh, k + 2));
        const D3DXVECTOR3 e1 = b - a, e2 = c - a, normal = Normal(mesh, Corner(mesh, k));
        D3DXVECTOR3 facing;
        D3DXVec3Cross(&facing, &e1, &e2);
        if (D3DXVec3Length(&facing) < 1e-6f) continue;
        EXPECT_GT(D3DXVec3Dot(&facing, &normal), 0) << "triangle " << k / 3;
    }
}

bool Within(const D3DXVECTOR3& p, float low, float high) {
    return p.x >= low && p.x <= high && p.y >= low && p.y <= high && p.z >= low && p.z <= high;
}

} // namespace

TEST_F(ObjectTables, SpheresNeedARingAndThreeSegments) {
    MeshRecord mesh;
    ASSERT_TRUE(MakeMeshSphere(1, &mesh, 1, 2, 3, 4, 1, 3, kFormat, 0));
    EXPECT_EQ(mesh.vertexCount, 8);
    EXPECT_EQ(mesh.indexCount, 8);
    EXPECT_EQ(mesh.primitiveType, D3DPT_TRIANGLESTRIP);
    EXPECT_EQ(mesh.drawPrimitiveCount, 6);
    for (std::int32_t v = 0; v < mesh.vertexCount; ++v) {
        D3DXVECTOR3 out = Position(mesh, v) - D3DXVECTOR3(1, 2, 3);
        EXPECT_NEAR(D3DXVec3Length(&out), 4, 1e-5);
    }
    for (auto [rings, segments] : {std::pair{0, 12}, {12, 2}, {-3, 12}, {12, -1}, {300, 300}}) {
        errors.Clear();
        EXPECT_FALSE(MakeMeshSphere(1, &mesh, 0, 0, 0, 1, rings, segments, kFormat, 0));
        EXPECT_EQ(errors.Last(), 7029) << rings << " x " << segments;
    }
}

TEST_F(ObjectTables, BoxFacesAreWrittenOnlyWhereEnabledAndWhereTheyFit) {
    MeshRecord mesh;
    ASSERT_TRUE(SetupMeshFVFData(&mesh, kFormat, 8, 12));
    std::fill(mesh.indices, mesh.indices + 12, std::uint16_t(99));
    std::int32_t vertex = 2, index = 3;
    ASSERT_TRUE(BuildBoxFaces(&mesh, &vertex, &index, -1, -2, -3, 1, 2, 3, 0, false, false, false,
                              true, false, false));
    EXPECT_EQ(vertex, 6);
    EXPECT_EQ(index, 9);
    EXPECT_EQ(std::vector<std::uint16_t>(mesh.indices, mesh.indices + 12),
              (std::vector<std::uint16_t>{99, 99, 99, 2, 3, 4, 4, 5, 2, 99, 99, 99}));
    for (std::int32_t v = 2; v < 6; ++v) {
        EXPECT_EQ(Position(mesh, v).y, 2.0f);
        EXPECT_EQ(Normal(mesh, v), D3DXVECTOR3(0, 1, 0));
    }
    // Two faces need 8 more vertices: nothing is written, the cursors stay.
    EXPECT_FALSE(BuildBoxFaces(&mesh, &vertex, &index, 0, 0, 0, 1, 1, 1, 0, true, true, false,
                               false, false, false));
    EXPECT_EQ(vertex, 6);
}

TEST_F(ObjectTables, BoxesPyramidsAndPlanesFaceTheirNormals) {
    MeshRecord box;
    ASSERT_TRUE(MakeMeshBox(1, &box, -1, -1, -1, 1, 1, 1, kFormat, 0));
    EXPECT_EQ(box.vertexCount, 24);
    EXPECT_EQ(box.indexCount, 36);
    EXPECT_EQ(box.drawPrimitiveCount, 12);
    const D3DXVECTOR3 normals[6] = {{0, 0, -1}, {0, 0, 1}, {0, 1, 0},
                                    {0, -1, 0}, {1, 0, 0}, {-1, 0, 0}};
    for (std::int32_t v = 0; v < 24; ++v) {
        EXPECT_EQ(Normal(box, v), normals[v / 4]) << v;
        const D3DXVECTOR3 p = Position(box, v);
        EXPECT_EQ(D3DXVec3Dot(&p, &normals[v / 4]), 1.0f) << v; // on its face
    }
    ExpectFacingItsNormals(box);

    MeshRecord pyramid;
    ASSERT_TRUE(
        MakeMeshPyramid(1, &pyramid, 2, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE, 0xFF00FF00));
    for (std::int32_t v = 0; v < 24; ++v) {
        const D3DXVECTOR3 p = Position(pyramid, v);
        EXPECT_TRUE(p == D3DXVECTOR3(0, 2, 0) || p.y == -2.0f) << v; // apex or base
    }
    EXPECT_EQ(Position(pyramid, 12), D3DXVECTOR3(-2, -2, 2)); // the base's first corner
    ExpectFacingItsNormals(pyramid);

    MeshRecord plane;
    ASSERT_TRUE(MakeMeshPlaneFacingPositiveZ(&plane, 3, 2));
    EXPECT_EQ(plane.fvf, kFormat);
    EXPECT_EQ(plane.drawPrimitiveCount, 2);
    EXPECT_EQ(Normal(plane, 0), D3DXVECTOR3(0, 0, 1));
    ExpectFacingItsNormals(plane);
    ASSERT_TRUE(MakeMeshPlaneFacingNegativeZ(&plane, 3, 2));
    EXPECT_EQ(Position(plane, 2), D3DXVECTOR3(3, -2, 0));
    ExpectFacingItsNormals(plane);
}

TEST_F(ObjectTables, CopiesTurnAndScaleButNeverMove) {
    MeshRecord box, copy;
    ASSERT_TRUE(MakeMeshBox(1, &box, -1, -1, -1, 1, 1, 1, kFormat, 0));
    D3DXMATRIX scale, turn, move, m;
    D3DXMatrixScaling(&scale, 2, 2, 2);
    D3DXMatrixRotationY(&turn, D3DX_PI / 2);
    D3DXMatrixTranslation(&move, 10, 20, 30);
    m = scale * turn * move;
    ASSERT_TRUE(MakeMeshFromData(&copy, &box, &m, 40, 30));
    EXPECT_EQ(copy.vertexCount, 30);
    EXPECT_EQ(copy.drawVertexCount, 24);
    EXPECT_EQ(copy.bounds.centre, D3DXVECTOR3(0, 0, 0));
    EXPECT_NEAR(copy.bounds.maximum.x, 2, 1e-5);
    EXPECT_EQ(Position(copy, 29), D3DXVECTOR3(0, 0, 0)); // room beyond the copy starts cleared
    EXPECT_EQ(copy.indices[39], 0);
    // The front face's normal, turned a quarter about y, stays a unit vector.
    const D3DXVECTOR3 front = Normal(copy, 0);
    EXPECT_NEAR(front.x, -1, 1e-5);
    EXPECT_NEAR(D3DXVec3Length(&front), 1, 1e-5);
    // Without a matrix: the template's bytes; fewer vertices than the template: refused.
    ASSERT_TRUE(MakeMeshFromFormat(&copy, &box, nullptr));
    EXPECT_TRUE(std::equal(box.vertices, box.vertices + 24 * box.vertexSize, copy.vertices));
    EXPECT_FALSE(MakeMeshFromData(&copy, &box, nullptr, 36, 23));
    EXPECT_FALSE(MakeMeshFromFormat(&copy, &copy, nullptr));
}

TEST_F(ObjectTables, SmoothingAveragesOnlyCloseNormalsAtOnePosition) {
    MeshRecord mesh;
    ASSERT_TRUE(SetupMeshFVFData(&mesh, kFormat, 4, 0));
    std::fill_n(reinterpret_cast<float*>(mesh.vertices), 4 * 8, 0.0f);
    reinterpret_cast<float*>(mesh.vertices)[8] = -0.0f; // still the same place as 0
    reinterpret_cast<float*>(mesh.vertices)[3 * 8] = 5; // somewhere else
    const D3DXVECTOR3 up(0, 0, 1), side(1, 0, 0);
    auto reset = [&] {
        SetNormal(mesh, 0, up), SetNormal(mesh, 1, up), SetNormal(mesh, 2, side);
        SetNormal(mesh, 3, side);
    };
    reset();
    // Threshold 0: only equal normals are averaged, so none changes.
    ASSERT_TRUE(SmoothMeshNormals(&mesh, 0));
    EXPECT_EQ(Normal(mesh, 0), up);
    EXPECT_EQ(Normal(mesh, 2), side);
    EXPECT_EQ(mesh.verticesChanged, 1);
    // Up and side differ by 2/3 on average.
    ASSERT_TRUE(SmoothMeshNormals(&mesh, 0.6f));
    EXPECT_EQ(Normal(mesh, 2), side);
    ASSERT_TRUE(SmoothMeshNormals(&mesh, 0.7f));
    EXPECT_EQ(Normal(mesh, 0), D3DXVECTOR3(1.0f / 3, 0, 2.0f / 3));
    EXPECT_EQ(Normal(mesh, 1), Normal(mesh, 0));
    EXPECT_EQ(Normal(mesh, 3), side); // alone at its place
    MeshRecord bare;
    ASSERT_TRUE(SetupMeshFVFData(&bare, D3DFVF_XYZ, 3, 0));
    EXPECT_FALSE(SmoothMeshNormals(&bare, 1));
}

TEST_F(ObjectTables, SkirtsJoinEachSideToCopiesOnTheFloor) {
    // A 3 x 3 grid of vertices at y = 5: every outer vertex is on a side, the corners on two.
    MeshRecord grid;
    ASSERT_TRUE(SetupMeshFVFData(&grid, D3DFVF_XYZ, 9, 6));
    for (std::int32_t v = 0; v < 9; ++v)
        SetVertexData(D3DFVF_XYZ, reinterpret_cast<float*>(grid.vertices), v, float(v % 3), 5,
                      float(v / 3), 0, 0, 0, 0, 0, 0);
    const std::uint16_t triangles[6] = {0, 3, 1, 1, 3, 4};
    std::copy(triangles, triangles + 6, grid.indices);
    ASSERT_TRUE(AddMeshSkirts(&grid));
    EXPECT_EQ(grid.vertexCount, 9 + 12);
    EXPECT_EQ(grid.indexCount, 6 + 8 * 6);
    EXPECT_EQ(grid.drawPrimitiveCount, grid.indexCount / 3);
    // The maximum-z side runs from x = 2 down to x = 0; its copies lie on the floor.
    EXPECT_EQ(Position(grid, 9), D3DXVECTOR3(2, -1, 2));
    EXPECT_EQ(std::vector<std::uint16_t>(grid.indices + 6, grid.indices + 12),
              (std::vector<std::uint16_t>{9, 8, 7, 9, 7, 10}));

    // 250 vertices on one line: both long sides keep 199 and are joined by what they keep.
    MeshRecord line;
    ASSERT_TRUE(SetupMeshFVFData(&line, D3DFVF_XYZ, 250, 3));
    for (std::int32_t v = 0; v < 250; ++v)
        SetVertexData(D3DFVF_XYZ, reinterpret_cast<float*>(line.vertices), v, float(v), 0, 0, 0, 0,
                      0, 0, 0, 0);
    std::fill_n(line.indices, 3, std::uint16_t(0));
    ASSERT_TRUE(AddMeshSkirts(&line));
    EXPECT_EQ(line.vertexCount, 250 + 199 + 1 + 199 + 1);
    EXPECT_EQ(line.indexCount, 3 + 6 * (198 + 198));
    EXPECT_LT(*std::max_element(line.indices, line.indices + line.indexCount), line.vertexCount);
    MeshRecord strip;
    ASSERT_TRUE(MakeMeshSphere(1, &strip, 0, 0, 0, 1, 2, 3, D3DFVF_XYZ, 0));
    EXPECT_FALSE(AddMeshSkirts(&strip)); // only lists take skirts
}

TEST_F(ObjectTables, TheBoxApproximationOfACubeIsTheCube) {
    MeshRecord cube;
    ASSERT_TRUE(MakeMeshBox(1, &cube, -5, -5, -5, 5, 5, 5, kFormat, 0));
    EXPECT_FALSE(BuildBoxApproximationMesh(&cube, 51, 5, 5));
    EXPECT_EQ(cube.vertexCount, 24);
    ASSERT_TRUE(BuildBoxApproximationMesh(&cube, 5, 5, 5));
    EXPECT_EQ(cube.vertexCount, 24); // one box, every side open
    EXPECT_EQ(cube.indexCount, 36);
    EXPECT_EQ(cube.drawPrimitiveCount, 12);
    EXPECT_EQ(cube.needsRebuild, 1);
    for (std::int32_t v = 0; v < 24; ++v)
        EXPECT_TRUE(Within(Position(cube, v), -5, 5)) << v;
    ExpectFacingItsNormals(cube);
    MeshRecord empty;
    ASSERT_TRUE(SetupMeshFVFData(&empty, kFormat, 2, 0));
    EXPECT_FALSE(BuildBoxApproximationMesh(&empty, 5, 5, 5)); // no triangle
}

TEST_F(ObjectTables, TheBoxApproximationOfASphereStaysInsideItsBounds) {
    MeshRecord sphere;
    ASSERT_TRUE(MakeMeshSphere(1, &sphere, 0, 0, 0, 20, 40, 40, kFormat, 0));
    // Cells of 0.8 are held to 1: the grid reaches past the sphere, but is carved back.
    ASSERT_TRUE(BuildBoxApproximationMesh(&sphere, 50, 50, 50));
    ASSERT_GT(sphere.vertexCount, 24);
    EXPECT_EQ(sphere.indexCount, sphere.vertexCount / 4 * 6);
    for (std::int32_t v = 0; v < sphere.vertexCount; ++v)
        ASSERT_TRUE(Within(Position(sphere, v), -20, 20)) << v;
    ExpectFacingItsNormals(sphere);
}

TEST_F(ObjectTables, TooManyOpenSidesLeaveTheMeshAsItWas) {
    // Each column of a 50 x 50 grid is carved from both ends down to one cell, at alternating
    // depths: 2,500 boxes with six open sides each, more than 16-bit indices can name.
    constexpr std::int32_t kQuads = 50 * 50 * 2;
    MeshRecord cells;
    ASSERT_TRUE(SetupMeshFVFData(&cells, D3DFVF_XYZ, kQuads * 6 + 3, 0));
    auto* w = reinterpret_cast<float*>(cells.vertices);
    std::int32_t v = 0;
    auto corner = [&](float x, float y, float z) {
        SetVertexData(D3DFVF_XYZ, w, v++, x, y, z, 0, 0, 0, 0, 0, 0);
    };
    for (std::int32_t y = 0; y < 50; ++y)
        for (std::int32_t x = 0; x < 50; ++x) {
            const float keep = (x + y) % 2 ? 10.0f : 20.0f;
            for (float z : {keep - 1.0f, keep + 1.5f})
                for (const auto& c : {std::pair{0, 1}, {1, 1}, {1, 0}, {1, 0}, {0, 0}, {0, 1}})
                    corner(float(x + c.first), float(y + c.second), z);
        }
    // A speck no ray meets makes the grid 50 deep.
    corner(0, 0, 50), corner(0.1f, 0, 50), corner(0, 0.1f, 50);
    cells.drawPrimitiveCount = cells.vertexCount / 3;
    const std::uint8_t* before = cells.vertices;
    EXPECT_FALSE(BuildBoxApproximationMesh(&cells, 50, 50, 50));
    EXPECT_EQ(cells.vertices, before);
    EXPECT_EQ(cells.vertexCount, kQuads * 6 + 3);
    // On a grid half as deep the same mesh makes fewer open sides, which fit.
    ASSERT_TRUE(BuildBoxApproximationMesh(&cells, 50, 50, 25));
    EXPECT_GT(cells.vertexCount, 0);
    EXPECT_EQ(cells.indexCount, cells.vertexCount / 4 * 6);
}

TEST_F(ObjectScene, ReducedMeshesKeepTheSourceAndGainSkirts) {
    MeshRecord sphere;
    ASSERT_TRUE(MakeMeshSphere(1, &sphere, 0, 0, 0, 5, 12, 12, kFormat, 0));
    MeshRecord* reduced = &sphere;
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")) {
        EXPECT_FALSE(ReduceMesh(&sphere, &reduced, 40)); // refused before the platform is called
        EXPECT_EQ(reduced, nullptr);
        GTEST_SKIP()
            << "Wine's D3DX cannot simplify meshes (its D3DXGeneratePMesh ends the process)";
    }
    ASSERT_TRUE(ReduceMesh(&sphere, &reduced, 40));
    std::unique_ptr<MeshRecord> owned(reduced);
    EXPECT_EQ(sphere.vertexCount, 169);
    EXPECT_EQ(sphere.primitiveType, D3DPT_TRIANGLESTRIP);
    EXPECT_LT(reduced->vertexCount, 169);
    EXPECT_EQ(reduced->drawPrimitiveCount, reduced->indexCount / 3);
    EXPECT_EQ(Position(*reduced, reduced->vertexCount - 1).y, -1.0f); // a skirt's copy
}
