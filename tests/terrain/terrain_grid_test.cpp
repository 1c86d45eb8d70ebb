#include "core/win32.h"

#include "terrain_fixture.h"
#include "camera/camera.h"
#include "display/display.h"
#include "maths/maths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>

namespace {

// Every point's height (heights) or every cell's tile, row by row.
std::vector<float> Heights(std::int32_t n) {
    const TerrainMatrixRecord* r = FindTerrainMatrix(n);
    std::vector<float> out;
    for (std::int32_t i = 0; i < r->xPoints * r->zPoints; ++i)
        out.push_back(r->points[i].height);
    return out;
}
std::vector<std::int32_t> Tiles(std::int32_t n) {
    const TerrainMatrixRecord* r = FindTerrainMatrix(n);
    std::vector<std::int32_t> out;
    for (std::int32_t z = 0; z < r->zSegments; ++z)
        for (std::int32_t x = 0; x < r->xSegments; ++x)
            out.push_back(r->points[z * r->xPoints + x].tile);
    return out;
}

float Height(std::int32_t x, std::int32_t z) {
    return static_cast<float>((x * 7 + z * 13) % 5) + 0.5f * static_cast<float>(x * z);
}

// The plane through the corners of the cell's triangle that holds the cell fraction (u, v).
float TrianglePlane(std::int32_t n, std::int32_t gx, std::int32_t gz, float u, float v) {
    const float h00 = GetTerrainMatrixHeight(n, gx, gz),
                h10 = GetTerrainMatrixHeight(n, gx + 1, gz);
    const float h01 = GetTerrainMatrixHeight(n, gx, gz + 1);
    const float h11 = GetTerrainMatrixHeight(n, gx + 1, gz + 1);
    return u <= v ? h00 + v * (h01 - h00) + u * (h11 - h01)
                  : h00 + u * (h10 - h00) + v * (h11 - h10);
}

} // namespace

TEST_F(TerrainScene, CreationChecksInOrderAndBoundsItsSize) {
    CreateTerrainMatrix(1, 10, 10, 2, 2);
    EXPECT_EQ(ErrorOf([] { CreateTerrainMatrix(0, 0, 0, 0, 0); }), 7010);
    EXPECT_EQ(ErrorOf([] { CreateTerrainMatrix(1, 0, 0, 0, 0); }), 7009);
    EXPECT_EQ(ErrorOf([] { CreateTerrainMatrix(2, 10, 0, 0, 0); }), 7011);
    EXPECT_EQ(ErrorOf([] { CreateTerrainMatrix(2, std::nanf(""), 10, 1, 1); }), 7011);
    EXPECT_EQ(ErrorOf([] { CreateTerrainMatrix(2, 10, 10, 1, 0); }), 7012);
    // Too small once truncated, too many tiles (65536 x 65536 is 0 in 32 bits), too wide.
    const float sizes[][3] = {
        {0.5f, 1, 1}, {10, 1365, 1366}, {10, 100000, 100000}, {10, 65536, 65536}, {3e9f, 1, 1}};
    for (const auto& s : sizes) {
        EXPECT_EQ(ErrorOf([&] {
                      CreateTerrainMatrix(2, s[0], 10, static_cast<std::int32_t>(s[1]),
                                          static_cast<std::int32_t>(s[2]));
                  }),
                  7015)
            << s[0] << " x " << s[1];
        EXPECT_EQ(TerrainMatrixExist(2), 0);
    }
    EXPECT_EQ(ErrorOf([] { CreateTerrainMatrix(2, 1.9f, 1, 1, 1); }), 0); // the number is free
    EXPECT_EQ(Record(2)->width, 1);
}

TEST_F(TerrainScene, AFailedCreationLeavesNothingBehind) {
    {
        TerrainRecording recording;
        recording.device.indexBuffersLeft = 1; // the second of two chunks fails
        EXPECT_EQ(ErrorOf([] { CreateTerrainMatrix(1, 110, 100, 110, 100); }), 7015);
        EXPECT_EQ(recording.device.vertexBuffersMade, 1);
        recording.device.indexBuffersLeft = 0;
        CreateTerrainMatrix(1, 10, 10, 1, 1);
    }
    EXPECT_EQ(TerrainMatrixExist(1), 0);
    // Every buffer holds the device: once the display lets go of it, ours is the last reference.
    IDirect3DDevice9* old = GetDirect3DDevice();
    old->AddRef();
    SetDisplayMode(640, 480, 32);
    ASSERT_NE(GetDirect3DDevice(), old);
    EXPECT_EQ(old->Release(), 0u);
}

TEST_F(TerrainScene, ANewMatrixLiesFlatFacingUp) {
    CreateTerrainMatrix(1, 1, 1, 1, 1);
    const TerrainMatrixRecord* r = Record(1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->xPoints * r->zPoints, 4);
    EXPECT_EQ(Vertices(1).size(), 4u);
    D3DINDEXBUFFER_DESC indices{};
    ASSERT_NE(r->indexBuffer, nullptr);
    r->indexBuffer->GetDesc(&indices);
    EXPECT_EQ(indices.Size, 6 * sizeof(std::uint16_t));
    EXPECT_NEAR(r->placement.look[1], -1, 1e-6);
    EXPECT_NEAR(r->placement.up[2], 1, 1e-6);
    EXPECT_EQ(TerrainMatrixPlacement::GetItemAngleX(1), 90);
    EXPECT_EQ(TerrainMatrixWireframeState(1), 1);

    // Cells are float quotients: 100 units in 3 segments span 100.
    CreateTerrainMatrix(2, 100, 50, 3, 2);
    const std::vector<TerrainVertex> v = Vertices(2);
    ASSERT_EQ(v.size(), 24u);
    EXPECT_NEAR(v[4].x, 100.0f / 3, 1e-4);
    EXPECT_NEAR(v[4 * 5 + 2].x, 100, 1e-4);
    EXPECT_NEAR(v[4 * 5 + 2].y, 50, 1e-4);
    EXPECT_EQ(v[3].u, 1);
    EXPECT_EQ(v[3].v, 1);
    // The grid's local (x, y, -h) lands at world (x, h, y).
    D3DXVECTOR3 world;
    const D3DXVECTOR3 local(10, 20, -5);
    const D3DXMATRIX m(Record(2)->placement.world);
    D3DXVec3TransformCoord(&world, &local, &m);
    EXPECT_NEAR(world.y, 5, 1e-4);
    EXPECT_NEAR(world.z, 20, 1e-4);
}

TEST_F(TerrainScene, GridPointsAndCellsAreChecked) {
    CreateTerrainMatrix(1, 40, 40, 4, 4);
    EXPECT_EQ(ErrorOf([] { SetTerrainMatrixHeight(1, 4, 4, 7); }), 0); // the far edge is a point
    EXPECT_EQ(GetTerrainMatrixHeight(1, 4, 4), 7);
    EXPECT_EQ(ErrorOf([] { SetTerrainMatrixHeight(1, 5, 0, 1); }), 7017);
    EXPECT_EQ(ErrorOf([] { SetTerrainMatrixHeight(1, 0, -1, 1); }), 7017);
    EXPECT_EQ(ErrorOf([] { GetTerrainMatrixHeight(1, 0, 5); }), 7017);
    EXPECT_EQ(ErrorOf([] { SetTerrainMatrixTile(1, 4, 0, 1); }), 7017); // but not a cell
    EXPECT_EQ(ErrorOf([] { SetTerrainMatrixTile(1, 0, 4, 1); }), 7017);
    EXPECT_EQ(ErrorOf([] { SetTerrainMatrixTile(1, 0, 0, 0); }), 7016);
    EXPECT_EQ(ErrorOf([] { SetTerrainMatrixTile(1, 0, 0, 2); }), 7016); // one sub-picture
    EXPECT_EQ(Record(1)->points[0].tile, 0);

    SetTerrainMatrixNormal(1, 2, 2, 0, 1, 0);
    const float* normal = Record(1)->points[2 * 5 + 2].normal;
    EXPECT_EQ(std::vector<float>(normal, normal + 3), (std::vector<float>{0, 0, -1}));
    SetTerrainMatrixNormal(1, 2, 2, 1, 2, 3);
    EXPECT_EQ(std::vector<float>(normal, normal + 3), (std::vector<float>{1, 3, -2}));

    EXPECT_EQ(ErrorOf([] { FillTerrainMatrix(1, 3, 2); }), 7016);
    EXPECT_EQ(GetTerrainMatrixHeight(1, 4, 4), 7); // nothing changed
    FillTerrainMatrix(1, 3, 1);
    EXPECT_EQ(Heights(1), std::vector<float>(25, 3.0f));
    EXPECT_EQ(Tiles(1), std::vector<std::int32_t>(16, 1));
    RandomizeTerrainMatrix(1, 0);
    EXPECT_EQ(Heights(1), std::vector<float>(25, 0.0f));
    RandomizeTerrainMatrix(1, 5);
    for (float h : Heights(1))
        EXPECT_TRUE(h >= 0 && h < 5 && h == std::floor(h)) << h;

    EXPECT_EQ(ErrorOf([] { SetTerrainMatrixHeight(9, 0, 0, 1); }), 7013);
    EXPECT_EQ(ErrorOf([] { GetTerrainGroundHeight(0, 1, 1); }), 7010);
    EXPECT_EQ(ErrorOf([] { EXPECT_EQ(TerrainMatrixExist(9), 0); }), 0); // missing raises nothing
    EXPECT_EQ(ErrorOf([] { TerrainMatrixExist(22000001); }), 7010);
}

TEST_F(TerrainScene, TheVertexBufferFollowsOnlyOnRewrite) {
    CreateTerrainMatrix(1, 20, 20, 2, 2);
    SetTerrainMatrixHeight(1, 1, 1, 5);
    SetTerrainMatrixNormal(1, 1, 1, 0, 0, 1);
    EXPECT_EQ(GetTerrainGroundHeight(1, 10, 10), 5); // the grid sees it at once
    for (const TerrainVertex& v : Vertices(1))
        EXPECT_EQ(v.z, 0); // the drawing does not
    UpdateTerrainMatrixVertices(1);
    const std::vector<TerrainVertex> v = Vertices(1);
    // Point (1, 1): vertex 2 of tile (0, 0), 1 of (1, 0), 3 of (0, 1), 0 of (1, 1).
    int raised = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const bool onPoint = i == 2 || i == 5 || i == 11 || i == 12;
        EXPECT_EQ(v[i].z, onPoint ? -5 : 0) << i;
        EXPECT_EQ(v[i].ny, onPoint ? 1 : 0) << i;
        raised += onPoint;
    }
    EXPECT_EQ(raised, 4);
}

TEST_F(TerrainScene, GroundHeightFollowsTheDrawnTriangles) {
    CreateTerrainMatrix(1, 40, 40, 4, 4); // cells 10 x 10
    CreateTerrainMatrix(2, 40, 4, 4, 4);  // cells 10 wide, 1 deep
    for (std::int32_t n : {1, 2})
        for (std::int32_t z = 0; z <= 4; ++z)
            for (std::int32_t x = 0; x <= 4; ++x)
                SetTerrainMatrixHeight(n, x, z, Height(x, z));
    for (std::int32_t z = 0; z <= 4; ++z)
        for (std::int32_t x = 0; x <= 4; ++x)
            EXPECT_FLOAT_EQ(GetTerrainGroundHeight(1, x * 10.0f, z * 10.0f), Height(x, z));

    // On the diagonal of cell (1, 2) both triangles meet; beside it each gives its own plane.
    const float t = 0.3f;
    const float diagonal = GetTerrainGroundHeight(1, 10 + 10 * t, 20 + 10 * t);
    EXPECT_NEAR(diagonal, Height(1, 2) + t * (Height(2, 3) - Height(1, 2)), 1e-4);
    EXPECT_NEAR(GetTerrainGroundHeight(1, 13.001f, 23), diagonal, 1e-2);
    EXPECT_NEAR(GetTerrainGroundHeight(1, 13, 23.001f), diagonal, 1e-2);
    const std::pair<float, float> fractions[] = {{0.2f, 0.7f}, {0.7f, 0.2f}};
    for (auto [u, v] : fractions) {
        EXPECT_NEAR(GetTerrainGroundHeight(1, 10 + 10 * u, 20 + 10 * v),
                    TrianglePlane(1, 1, 2, u, v), 1e-4);
        // In a cell ten times wider than deep the triangle is picked by the cell's fractions.
        EXPECT_NEAR(GetTerrainGroundHeight(2, 10 + 10 * u, 2 + v), TrianglePlane(2, 1, 2, u, v),
                    1e-4);
    }
    // Far outside the grid or not a number: an answer, not a fault.
    EXPECT_EQ(ErrorOf([] {
                  GetTerrainGroundHeight(1, -1e30f, 1e30f);
                  GetTerrainGroundHeight(1, std::nanf(""), 5);
              }),
              0);
}

TEST_F(TerrainScene, ShiftsWrapSeamlessGrids) {
    CreateTerrainMatrix(1, 40, 40, 4, 4);
    Record(1)->tilesAcross = 16;
    for (bool rows : {true, false}) {
        // Lines (rows or columns) 0 and 4 alike; a point (a, b) is b along line a.
        auto at = [rows](std::int32_t a, std::int32_t b) {
            return rows ? std::pair{b, a} : std::pair{a, b};
        };
        for (std::int32_t a = 0; a <= 4; ++a)
            for (std::int32_t b = 0; b <= 4; ++b) {
                auto [x, z] = at(a, b);
                SetTerrainMatrixHeight(1, x, z, static_cast<float>(10 * (a % 4) + b));
                if (a < 4 && b < 4) SetTerrainMatrixTile(1, x, z, 4 * a + b + 1);
            }
        SetTerrainMatrixNormal(1, 0, 0, 1, 0, 0);
        const std::vector<float> heights = Heights(1);
        const std::vector<std::int32_t> tiles = Tiles(1);
        auto h = [&](std::int32_t a) {
            return GetTerrainMatrixHeight(1, at(a, 2).first, at(a, 2).second);
        };
        auto old = [&](std::int32_t a) { return heights[at(a, 2).second * 5 + at(a, 2).first]; };
        auto tile = [&](std::int32_t a) { return Tiles(1)[at(a, 2).second * 4 + at(a, 2).first]; };
        auto oldTile = [&](std::int32_t a) { return tiles[at(a, 2).second * 4 + at(a, 2).first]; };
        auto shiftBack = rows ? ShiftTerrainMatrixUp : ShiftTerrainMatrixRight;
        auto shiftOn = rows ? ShiftTerrainMatrixDown : ShiftTerrainMatrixLeft;

        shiftBack(1);
        EXPECT_EQ(h(1), old(0));
        EXPECT_EQ(h(0), old(3));
        EXPECT_EQ(h(4), h(0));
        EXPECT_EQ(tile(1), oldTile(0));
        EXPECT_EQ(tile(0), oldTile(3));
        EXPECT_EQ(Record(1)->points[rows ? 5 : 1].normal[0], 1); // the normal went along
        for (int i = 0; i < 3; ++i)
            shiftBack(1);
        EXPECT_EQ(Heights(1), heights);
        EXPECT_EQ(Tiles(1), tiles);

        shiftOn(1);
        EXPECT_EQ(h(0), old(1));
        EXPECT_EQ(h(4), old(1));
        EXPECT_EQ(tile(3), oldTile(0));
        for (int i = 0; i < 3; ++i)
            shiftOn(1);
        EXPECT_EQ(Heights(1), heights);
        EXPECT_EQ(Tiles(1), tiles);
    }
    EXPECT_EQ(cell.number, 0);
}

TEST_F(TerrainScene, VectorFormsAndTheCurrentMatrix) {
    CreateTerrainMatrix(1, 10, 10, 1, 1);
    EXPECT_EQ(ErrorOf([] { TerrainMatrixPlacement::ScaleItem(5, 50, 50, 50); }), 7008);
    EXPECT_EQ(ErrorOf([] { PositionTerrainMatrix(5, 1, 2, 3); }), 7013);
    EXPECT_EQ(ErrorOf([] { PositionTerrainMatrixToVector(1, 5); }), 7801);
    MakeVector3(5);
    SetVector3(5, 1, 2, 3);
    PositionTerrainMatrixToVector(1, 5);
    EXPECT_EQ(TerrainMatrixPlacement::GetItemPositionY(1), 2);
    MakeVector3(6);
    TerrainMatrixPlacement::PositionItem(1, 4, 5, 6);
    SetVectorToTerrainMatrixPosition(6, 1);
    EXPECT_EQ(GetZVector3(6), 6);
    EXPECT_EQ(ErrorOf([] { SetVectorToTerrainMatrixPosition(7, 1); }), 7801);

    // A deleted matrix is no longer anyone's current item.
    float out[3] = {9, 9, 9};
    DeleteTerrainMatrix(1);
    TerrainMatrixPlacement::CopyItemPosition(out);
    EXPECT_EQ(out[0], 9);
    EXPECT_EQ(ErrorOf([] { DeleteTerrainMatrix(1); }), 7013);

    // With automatic placement on, camera 0 frames a new matrix.
    AutoCamOn();
    CreateTerrainMatrix(2, 100, 50, 2, 2);
    EXPECT_NEAR(GetCameraPositionX(0), 50, 1e-4);
    EXPECT_NEAR(GetCameraPositionY(0), 7.5f, 1e-4);
    EXPECT_NEAR(GetCameraPositionZ(0), -20, 1e-4);
}
