// Curved patches turned into grids, without a device: levels, grid sizes, where subdivided points
// land, what is refused, and the bound on a grid's size.
#include "core/win32.h"

#include "world/bsp_patch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <tuple>

namespace {

using Position = std::function<D3DXVECTOR3(int i, int j)>;

// A patch face of w x h control points placed by position(i, j), after `before` other vertices.
struct TestPatch {
    BspFace face{};
    std::vector<BspVertex> vertices;

    TestPatch(int w, int h, const Position& position, int before = 0) {
        vertices.resize(static_cast<std::size_t>(before));
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) {
                BspVertex v{};
                const D3DXVECTOR3 p = position(i, j);
                v.position[0] = p.x, v.position[1] = p.y, v.position[2] = p.z;
                v.texture[0] = float(i), v.texture[1] = float(j);
                v.normal[2] = 1.0f;
                v.colour[0] = static_cast<std::uint8_t>(100 * j), v.colour[3] = 255;
                vertices.push_back(v);
            }
        face.type = kFacePatch;
        face.firstVertex = before;
        face.vertexCount = w * h;
        face.patchSize[0] = w;
        face.patchSize[1] = h;
    }
    BspVertex& Control(int i, int j) {
        return vertices[static_cast<std::size_t>(face.firstVertex + j * face.patchSize[0] + i)];
    }
    bool Build(PatchRecord& patch) const { return BuildPatchGrid(face, vertices, patch); }
};

// Rows straight along x, the middle row raised by bulge in z: curved down the columns only.
Position Bulging(float bulge) {
    return [bulge](int i, int j) {
        return D3DXVECTOR3(100.0f * i, 100.0f * j, j % 2 == 1 ? bulge : 0.0f);
    };
}

std::int32_t Across(const PatchRecord& patch, int down) {
    return patch.vertexCount / down;
}

void ExpectNear(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    EXPECT_NEAR(a.x, b.x, 1e-4f);
    EXPECT_NEAR(a.y, b.y, 1e-4f);
    EXPECT_NEAR(a.z, b.z, 1e-4f);
}

TEST(PatchLevels, CurvatureDecidesTheLevel) {
    const D3DXVECTOR3 a(0, 0, 0), c(200, 0, 0);
    // Midpoint (100, 50) lies 50 units from the middle point (100, 100): within 200.
    EXPECT_EQ(TessellatePatchLevel(a, D3DXVECTOR3(100, 100, 0), c), 0);
    EXPECT_EQ(TessellatePatchLevel(a, D3DXVECTOR3(100, 0, 0), c), 0); // a straight line
    // 500 units off, then the curve's midpoint a quarter of the way back is within 200 of a.
    EXPECT_EQ(TessellatePatchLevel(a, D3DXVECTOR3(100, 1000, 0), c), 1);
    // 8000, then 2000, 500 and 125 units from a: the fourth pass is within 200.
    EXPECT_EQ(TessellatePatchLevel(a, D3DXVECTOR3(100, 16000, 0), c), 3);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(TessellatePatchLevel(a, D3DXVECTOR3(nan, 0, 0), c), kMostPatchLevel);
}

TEST(PatchGrids, SizesFollowTheLevels) {
    PatchRecord patch;
    // Bulging 100 units: level 0 both ways, a 3 x 3 grid of 24 indices.
    ASSERT_TRUE(TestPatch(3, 3, Bulging(100)).Build(patch));
    EXPECT_EQ(patch.vertexCount, 9);
    EXPECT_EQ(patch.indexCount, 24);
    // 2000 units: the columns take level 2, 2^3 x 1 + 1 = 9 vertices down; rows stay 3 across.
    ASSERT_TRUE(TestPatch(3, 3, Bulging(2000)).Build(patch));
    EXPECT_EQ(patch.vertexCount, 27);
    EXPECT_EQ(Across(patch, 9), 3);
    // 5 x 3 at level 0 both ways: 5 x 3 vertices, 2 x 4 cells of two triangles.
    ASSERT_TRUE(TestPatch(5, 3, Bulging(100)).Build(patch));
    EXPECT_EQ(patch.vertexCount, 15);
    EXPECT_EQ(patch.indexCount, 48);
    ASSERT_EQ(patch.indices.size(), 48u);
    // The first cell: (0, 5, 1) and (1, 5, 6).
    const std::uint16_t first[] = {0, 5, 1, 1, 5, 6};
    EXPECT_TRUE(std::equal(std::begin(first), std::end(first), patch.indices.begin()));
    for (std::uint16_t index : patch.indices)
        EXPECT_LT(index, patch.vertexCount);
}

TEST(PatchGrids, DegenerateAndMalformedPatchesAreRefused) {
    std::vector<PatchRecord> table;
    // Every row ends where it starts: nothing to subdivide across.
    const TestPatch closedRows(
        3, 3, [](int i, int j) { return D3DXVECTOR3(i == 1 ? 50.0f : 0.0f, 100.0f * j, 0.0f); });
    EXPECT_EQ(BuildPatch(closedRows.face, closedRows.vertices, table), -1);
    const TestPatch closedColumns(
        3, 3, [](int i, int j) { return D3DXVECTOR3(100.0f * i, j == 1 ? 50.0f : 0.0f, 0.0f); });
    EXPECT_EQ(BuildPatch(closedColumns.face, closedColumns.vertices, table), -1);
    // Sizes must be odd, at least 3, and account for every vertex of the face.
    EXPECT_EQ(BuildPatch(TestPatch(2, 3, Bulging(100)).face, TestPatch(2, 3, Bulging(100)).vertices,
                         table),
              -1);
    TestPatch wrong(3, 3, Bulging(100));
    const std::tuple<int, int, int> sizes[] = {{1, 9, 9}, {3, 3, 8}, {3, 5, 9}, {-3, -3, 9}};
    for (const auto& [w, h, count] : sizes) {
        wrong.face.patchSize[0] = w;
        wrong.face.patchSize[1] = h;
        wrong.face.vertexCount = count;
        EXPECT_EQ(BuildPatch(wrong.face, wrong.vertices, table), -1) << w << " x " << h;
    }
    TestPatch past(3, 3, Bulging(100));
    past.face.firstVertex = 1;
    EXPECT_EQ(BuildPatch(past.face, past.vertices, table), -1);
    EXPECT_TRUE(table.empty());
    const TestPatch good(3, 3, Bulging(100), 4);
    EXPECT_EQ(BuildPatch(good.face, good.vertices, table), 0);
    EXPECT_EQ(BuildPatch(good.face, good.vertices, table), 1);
}

TEST(PatchGrids, SubdividedPointsLieOnTheCurve) {
    TestPatch test(3, 3, Bulging(100));
    // Colours differ by row; normals turn from up at the edge rows to along y in the middle.
    test.Control(0, 1).normal[2] = 0.0f;
    test.Control(0, 1).normal[1] = 1.0f;
    PatchRecord patch;
    ASSERT_TRUE(test.Build(patch));
    const WorldVertex a = ToWorldVertex(test.Control(0, 0));
    const WorldVertex b = ToWorldVertex(test.Control(0, 1));
    const WorldVertex c = ToWorldVertex(test.Control(0, 2));
    // The grid vertex that replaced the middle control point B is (A + 2B + C) / 4.
    const WorldVertex& middle = patch.vertices[3];
    ExpectNear(middle.position, (a.position + 2.0f * b.position + c.position) * 0.25f);
    EXPECT_NEAR(middle.v, 1.0f, 1e-6f);
    // Its colour is A's and C's averaged byte by byte: red (0 + 200) / 2.
    EXPECT_EQ(middle.colour, 0xFF640000u);
    // Its normal is interpolated like the position, then made unit length again.
    EXPECT_NEAR(D3DXVec3Length(&middle.normal), 1.0f, 1e-5f);
    EXPECT_GT(middle.normal.y, 0.5f); // level z, the edge rows' normal, is engine y
    EXPECT_GT(middle.normal.z, 0.1f);
    // Controls at the corners stay where they were.
    ExpectNear(patch.vertices[0].position, a.position);
    ExpectNear(patch.vertices[6].position, c.position);

    // At a finer level the in-between vertices are the halves' control points, subdivided again:
    // every vertex down a column lies on the quadratic curve at t = row / (rows - 1).
    ASSERT_TRUE(TestPatch(3, 3, Bulging(2000)).Build(patch));
    const D3DXVECTOR3 p0(0, 0, 0), p1 = LevelToEnginePoint(0, 100, 2000),
                                   p2 = LevelToEnginePoint(0, 200, 0);
    for (int row = 0; row < 9; ++row) {
        const float t = row / 8.0f;
        const D3DXVECTOR3 curve = (1 - t) * (1 - t) * p0 + 2 * (1 - t) * t * p1 + t * t * p2;
        ExpectNear(patch.vertices[static_cast<std::size_t>(row * 3)].position, curve);
    }
}

TEST(PatchGrids, FinestLevelsAreLoweredToFit) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // A middle row at NaN asks for level 199 down the columns.
    PatchRecord patch;
    ASSERT_TRUE(TestPatch(3, 3, Bulging(nan)).Build(patch));
    EXPECT_LE(patch.vertexCount, kMostPatchVertices);
    EXPECT_EQ(Across(patch, patch.vertexCount / 3), 3);
    EXPECT_EQ(patch.vertexCount, 3 * (16384 + 1)); // the finest level that fits: 2^14 + 1 rows
    EXPECT_EQ(patch.indexCount, 6 * 2 * 16384);
    for (std::uint16_t index : patch.indices)
        ASSERT_LT(index, patch.vertexCount);
    // Curved both ways at the finest level: both are lowered.
    ASSERT_TRUE(TestPatch(3, 3, [nan](int i, int j) {
                    return D3DXVECTOR3(100.0f * i, 100.0f * j, i == 1 || j == 1 ? nan : 0.0f);
                }).Build(patch));
    EXPECT_LE(patch.vertexCount, kMostPatchVertices);
    EXPECT_GT(patch.vertexCount, kMostPatchVertices / 4);
    // So many controls that even level 0 cannot fit: refused.
    EXPECT_FALSE(TestPatch(301, 301, Bulging(100)).Build(patch));
}

} // namespace
