#include "core/win32.h"

#include "support/object_scene.h"
#include "object3d/object_world.h"
#include "object3d/positioning.h"
#include "object3d/vertex_editing.h"
#include "object3d/vertex_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

// count vertices of the format, vertex i at (i, 2i, 3i).
MeshRecord* Mesh(std::uint32_t fvf, std::int32_t count, std::int32_t indices = 0) {
    auto* mesh = new MeshRecord;
    EXPECT_TRUE(SetupMeshFVFData(mesh, fvf, count, indices));
    std::memset(mesh->vertices, 0, static_cast<std::size_t>(count) * mesh->vertexSize);
    for (std::int32_t i = 0; i < count; ++i) {
        const float f = static_cast<float>(i);
        SetVertexPosition(mesh, i, f, 2 * f, 3 * f);
    }
    for (std::int32_t i = 0; i < indices; ++i)
        mesh->indices[i] = static_cast<std::uint16_t>(i % count);
    mesh->drawVertexCount = count;
    mesh->drawPrimitiveCount = (indices > 0 ? indices : count) / 3;
    mesh->verticesChanged = 0;
    return mesh;
}

MeshRecord* Box(const D3DXVECTOR3& low, const D3DXVECTOR3& high) {
    auto* mesh = new MeshRecord;
    EXPECT_TRUE(FillBoxMesh(mesh, low, high));
    CalculateMeshBounds(mesh);
    return mesh;
}

} // namespace

TEST(VertexEditing, ComponentsOnlyWhereTheFormatHasThem) {
    const std::uint32_t twoSets = D3DFVF_XYZ | D3DFVF_TEX2;
    std::unique_ptr<MeshRecord> mesh(Mesh(twoSets, 3));
    SetVertexUV(mesh.get(), 1, 0.5f, 0.25f);
    EXPECT_EQ(GetVertexU(mesh.get(), 1), 0); // two sets: not written...
    EXPECT_TRUE(mesh->verticesChanged);      // ...but marked
    EXPECT_EQ(GetVertexDiffuse(mesh.get(), 1), 0u);
    EXPECT_EQ(GetVertexNormalY(mesh.get(), 1), 0);
    EXPECT_EQ(GetVertexPositionY(mesh.get(), 2), 4);
    // Vertex numbers outside the mesh read 0 and write nothing.
    SetVertexPosition(mesh.get(), 3, 9, 9, 9);
    SetVertexPosition(mesh.get(), -1, 9, 9, 9);
    EXPECT_EQ(GetVertexPositionX(mesh.get(), 3), 0);
    EXPECT_EQ(GetVertexPositionX(mesh.get(), 2), 2);
    EXPECT_EQ(GetVertexUOfSet(mesh.get(), 0, 9), 0);

    // Scrolling moves only the sets the mesh has; set 1 of a one-set mesh stays.
    std::unique_ptr<MeshRecord> oneSet(Mesh(D3DFVF_XYZ | D3DFVF_TEX1, 2));
    SetVertexUV(oneSet.get(), 0, 0.5f, 0.5f);
    ScrollMeshUV(oneSet.get(), 1, 1, 1);
    EXPECT_EQ(GetVertexU(oneSet.get(), 0), 0.5f);
    ScrollMeshTextureUV(oneSet.get(), 0.25f, -0.5f);
    ScaleMeshTextureUV(oneSet.get(), 2, 2);
    EXPECT_EQ(GetVertexU(oneSet.get(), 0), 1.5f);
    EXPECT_EQ(GetVertexV(oneSet.get(), 0), 0.0f);
    ScrollMeshUV(mesh.get(), 1, 1, 1); // set 1 of two
    EXPECT_EQ(GetVertexUOfSet(mesh.get(), 2, 1), 1);

    std::unique_ptr<MeshRecord> coloured(Mesh(D3DFVF_XYZ | D3DFVF_DIFFUSE, 2));
    SetMeshColour(coloured.get(), 0.5f);
    EXPECT_EQ(GetVertexDiffuse(coloured.get(), 1), 0x7F7F7F7Fu);
    SetMeshColour(coloured.get(), 3.0f); // held to a byte
    EXPECT_EQ(GetVertexDiffuse(coloured.get(), 0), 0xFFFFFFFFu);
    SetMeshColour(mesh.get(), 0.25f); // no vertex colour: the material
    EXPECT_TRUE(mesh->materialOn);
    EXPECT_EQ(mesh->material.Diffuse.g, 0.25f);
    EXPECT_EQ(mesh->material.Ambient.a, 1.0f);
}

TEST(VertexEditing, RangesComeOutAndTheRestCloseUp) {
    std::unique_ptr<MeshRecord> mesh(Mesh(D3DFVF_XYZ, 6, 9));
    const std::uint16_t indices[9] = {5, 4, 1, 3, 2, 0, 4, 5, 0};
    std::memcpy(mesh->indices, indices, sizeof indices);
    EXPECT_FALSE(RemoveMeshRange(mesh.get(), -1, 2, 0, 0));
    EXPECT_FALSE(RemoveMeshRange(mesh.get(), 0, 7, 0, 0));
    EXPECT_FALSE(RemoveMeshRange(mesh.get(), 3, 2, 0, 0));
    ASSERT_TRUE(RemoveMeshRange(mesh.get(), 1, 3, 0, 3));
    ASSERT_EQ(mesh->vertexCount, 4);
    EXPECT_EQ(GetVertexPositionX(mesh.get(), 1), 3);
    // Of the kept triangles 3, 2, 0 named a cut vertex and goes; in 4, 5, 0 the vertices past
    // the cut move down by the two vertices cut, and 0, below it, keeps its number.
    ASSERT_EQ(mesh->indexCount, 3);
    EXPECT_EQ(std::vector<std::uint16_t>(mesh->indices, mesh->indices + 3),
              (std::vector<std::uint16_t>{2, 3, 0}));
    EXPECT_EQ(mesh->drawPrimitiveCount, 1);
    EXPECT_TRUE(mesh->needsRebuild);

    // Every vertex cut: what is left of the indices names none of them.
    ASSERT_TRUE(RemoveMeshRange(mesh.get(), 0, 4, 0, 1));
    EXPECT_EQ(mesh->vertexCount, 0);
    EXPECT_EQ(mesh->indexCount, 0);
    EXPECT_EQ(mesh->drawPrimitiveCount, 0);
}

TEST(VertexEditing, RayGridsTellSolidFromOpen) {
    std::unique_ptr<MeshRecord> cube(Box({-1, -1, -1}, {1, 1, 1}));
    EXPECT_EQ(SampleMeshGrid(cube.get(), 10, 10, 10), 2);
    EXPECT_EQ(SampleMeshGrid(cube.get(), 1, 1, 1), SampleMeshGrid(cube.get(), 3, 3, 3));
    EXPECT_EQ(SampleMeshGrid(cube.get(), 51, 3, 3), 0);
    EXPECT_TRUE(IsPointInMeshBounds(cube.get(), -1, -1, -1, 1, 1, 1));
    EXPECT_FALSE(IsPointInMeshBounds(cube.get(), -2, 0, 0, 0, 0, 0));

    // One small triangle in a wide box of bounds: some rays hit, most do not.
    std::unique_ptr<MeshRecord> sparse(Mesh(D3DFVF_XYZ, 3));
    SetVertexPosition(sparse.get(), 0, -20, -20, 0);
    SetVertexPosition(sparse.get(), 1, -20, -6, 0);
    SetVertexPosition(sparse.get(), 2, -6, -20, 0);
    sparse->bounds.minimum = D3DXVECTOR3(-20, -20, -1);
    sparse->bounds.maximum = D3DXVECTOR3(20, 20, 1);
    EXPECT_EQ(SampleMeshGrid(sparse.get(), 10, 10, 10), 1);

    // Far from the origin a step below a float's resolution still ends.
    std::unique_ptr<MeshRecord> distant(Box({0, 1e8f, 0}, {10, 1e8f + 80, 10}));
    EXPECT_GE(SampleMeshGrid(distant.get(), 50, 50, 50), 0);
}

TEST_F(ObjectScene, AppendingJoinsInTheTargetsFormat) {
    std::unique_ptr<MeshRecord> target(Mesh(D3DFVF_XYZ | D3DFVF_NORMAL, 3, 3));
    std::unique_ptr<MeshRecord> plain(Mesh(D3DFVF_XYZ, 3)); // no index list
    ASSERT_TRUE(AppendMeshToMesh(target.get(), plain.get()));
    EXPECT_EQ(target->vertexCount, 6);
    ASSERT_EQ(target->indexCount, 6);
    EXPECT_EQ(target->indices[5], 5);
    EXPECT_EQ(target->drawPrimitiveCount, 2);
    EXPECT_EQ(GetVertexPositionZ(target.get(), 4), 3);

    // A declaration mesh takes the appended vertices in its own layout.
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
        D3DDECL_END()};
    MeshRecord declared;
    ASSERT_TRUE(SetupMeshDeclarationData(&declared, elements, 20, 3, 3));
    std::memset(declared.vertices, 0, 60);
    for (std::uint16_t i = 0; i < 3; ++i)
        declared.indices[i] = i;
    ASSERT_TRUE(AppendMeshToMesh(&declared, target.get()));
    EXPECT_EQ(declared.vertexSize, 20u);
    EXPECT_EQ(declared.vertexCount, 9);
    EXPECT_EQ(GetVertexPositionY(&declared, 8), 4);

    // Past 65,535 vertices nothing changes and the join is refused.
    std::unique_ptr<MeshRecord> big(Mesh(D3DFVF_XYZ, 65000));
    std::unique_ptr<MeshRecord> more(Mesh(D3DFVF_XYZ, 1000));
    EXPECT_FALSE(AppendMeshToMesh(big.get(), more.get()));
    EXPECT_EQ(big->vertexCount, 65000);
}

TEST_F(ObjectScene, HalfColourHalvesALitBox) {
    BuildBox(1, 1);
    PositionObject(1, 0, 0, 5);
    const int full = Red(SyncAndReadCentre(0xFF000000));
    SetMeshColour(FirstMesh(1), 0.5f);
    const int half = Red(SyncAndReadCentre(0xFF000000));
    EXPECT_GT(full, 100);
    EXPECT_NEAR(half, full / 2, 3);
}
