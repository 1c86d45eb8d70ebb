#include "core/win32.h"

#include "object3d/object_records.h"
#include "object3d/vertex_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <vector>

TEST(VertexLayout, FvfMapsPlaceEachComponent) {
    VertexOffsetMap map;
    ASSERT_TRUE(GetFVFOffsetMap(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, &map));
    EXPECT_EQ(map.StrideDwords, 8u);
    EXPECT_EQ(map.StrideBytes, 32u);
    EXPECT_EQ(map.X, 0u);
    EXPECT_EQ(map.NX, 3u);
    EXPECT_EQ(map.TexU[0], 6u);
    EXPECT_EQ(map.TexV[0], 7u);
    ASSERT_TRUE(GetFVFOffsetMap(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, &map));
    EXPECT_EQ(map.Diffuse, 3u);
    EXPECT_EQ(map.TexU[0], 4u);
    EXPECT_EQ(map.StrideBytes, 24u);
    ASSERT_TRUE(GetFVFOffsetMap(
        D3DFVF_XYZ | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE1(0) | D3DFVF_TEXCOORDSIZE4(1), &map));
    EXPECT_EQ(map.TexU[0], 3u);
    EXPECT_EQ(map.TexV[0], 0u); // one coordinate takes one word
    EXPECT_EQ(map.TexU[1], 4u);
    EXPECT_EQ(map.TexW[1], 7u); // four take four
    EXPECT_EQ(map.StrideDwords, 8u);
    ASSERT_TRUE(GetFVFOffsetMap(D3DFVF_XYZB1 | D3DFVF_NORMAL, &map));
    EXPECT_EQ(map.Rhw, 3u); // the blend weight
    EXPECT_EQ(map.NX, 4u);
    EXPECT_FALSE(GetFVFOffsetMap(D3DFVF_XYZ, nullptr));
}

TEST(VertexLayout, EveryFormatsStrideIsThePlatformsSize) {
    const DWORD positions[] = {D3DFVF_XYZ,   D3DFVF_XYZRHW, D3DFVF_XYZW,  D3DFVF_XYZB1,
                               D3DFVF_XYZB2, D3DFVF_XYZB3,  D3DFVF_XYZB4, D3DFVF_XYZB5};
    const DWORD extras[] = {
        0, D3DFVF_NORMAL | D3DFVF_DIFFUSE, D3DFVF_PSIZE | D3DFVF_SPECULAR, D3DFVF_TEX1,
        D3DFVF_NORMAL | D3DFVF_TEX3 | D3DFVF_TEXCOORDSIZE3(1) | D3DFVF_TEXCOORDSIZE1(2)};
    int tried = 0;
    for (DWORD position : positions) {
        for (DWORD extra : extras) {
            const DWORD fvf = position | extra;
            if (position == D3DFVF_XYZRHW && (extra & D3DFVF_NORMAL)) continue; // not a format
            VertexOffsetMap map;
            EXPECT_TRUE(GetFVFOffsetMap(fvf, &map)) << std::hex << fvf;
            EXPECT_EQ(map.StrideBytes, D3DXGetFVFVertexSize(fvf)) << std::hex << fvf;
            ++tried;
        }
    }
    EXPECT_GE(tried, 30);
    // Eight texture sets of every size.
    for (int size = 0; size < 4; ++size) {
        DWORD fvf = D3DFVF_XYZ | D3DFVF_TEX8;
        for (int set = 0; set < 8; ++set)
            fvf |= static_cast<DWORD>(size) << (16 + 2 * set);
        VertexOffsetMap map;
        EXPECT_TRUE(GetFVFOffsetMap(fvf, &map));
        EXPECT_EQ(map.StrideBytes, D3DXGetFVFVertexSize(fvf));
    }
}

TEST(VertexLayout, DeclarationMapsReadEachElement) {
    MeshRecord mesh;
    mesh.vertexSize = 48;
    mesh.declaration[0] = {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0};
    mesh.declaration[1] = {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0};
    mesh.declaration[2] = {0, 24, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0};
    mesh.declaration[3] = {0, 32, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_TANGENT, 0};
    mesh.declaration[4] = {0, 44, D3DDECLTYPE_FLOAT1, 0, D3DDECLUSAGE_TEXCOORD, 9}; // no slot
    mesh.declaration[5] = D3DDECL_END();
    VertexOffsetMap map;
    ASSERT_TRUE(GetMeshOffsetMap(&mesh, &map));
    EXPECT_EQ(map.NZ, 5u);
    EXPECT_EQ(map.TexV[0], 7u);
    EXPECT_EQ(map.TexU[1], 8u);
    EXPECT_EQ(map.TexV[1], 9u);
    EXPECT_EQ(map.TexZ[1], 10u);
    EXPECT_EQ(map.TexW[1], 11u);
    EXPECT_EQ(map.StrideDwords, 12u);

    mesh.declaration[0] = D3DDECL_END(); // empty: the strides only
    ASSERT_TRUE(GetMeshOffsetMap(&mesh, &map));
    EXPECT_EQ(map.Z, 0u);
    EXPECT_EQ(map.StrideBytes, 48u);

    // A full array without an end marker stops at its last element.
    mesh.vertexSize = 412;
    for (auto& e : mesh.declaration)
        e = {0, 400, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0};
    ASSERT_TRUE(GetMeshOffsetMap(&mesh, &map));
    EXPECT_EQ(map.NX, 100u);

    // A format's vertices padded to 32 bytes are walked 32 bytes apart.
    mesh.fvf = D3DFVF_XYZ | D3DFVF_NORMAL;
    mesh.vertexSize = 32;
    ASSERT_TRUE(GetMeshOffsetMap(&mesh, &map));
    EXPECT_EQ(map.NX, 3u);
    EXPECT_EQ(map.StrideDwords, 8u);
    EXPECT_EQ(map.StrideBytes, 32u);
}

TEST(VertexLayout, DeclaredElementsOutsideTheVertexHaveNoSlots) {
    MeshRecord mesh;
    mesh.vertexSize = 48;
    auto mapOf = [&mesh](std::initializer_list<D3DVERTEXELEMENT9> elements) {
        std::copy(elements.begin(), elements.end(), mesh.declaration);
        mesh.declaration[elements.size()] = D3DDECL_END();
        VertexOffsetMap map;
        EXPECT_TRUE(GetMeshOffsetMap(&mesh, &map));
        return map;
    };
    // Only stream 0 is the mesh's array.
    VertexOffsetMap map = mapOf({{1, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                 {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0}});
    EXPECT_EQ(map.Z, 0u);
    EXPECT_EQ(map.NZ, 5u);
    // By the type's size: a pair ending on the last byte fits, one a word later does not.
    EXPECT_EQ(mapOf({{0, 40, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0}}).TexV[0], 11u);
    map = mapOf({{0, 44, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0}});
    EXPECT_EQ(map.TexU[0] + map.TexV[0], 0u);
    // One float read as a position: whole only while its third word is still in the vertex.
    EXPECT_EQ(mapOf({{0, 36, D3DDECLTYPE_FLOAT1, 0, D3DDECLUSAGE_POSITION, 0}}).Z, 11u);
    EXPECT_EQ(mapOf({{0, 40, D3DDECLTYPE_FLOAT1, 0, D3DDECLUSAGE_POSITION, 0}}).Z, 0u);
    map = mapOf({{0, 36, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_TANGENT, 0}});
    EXPECT_EQ(map.TexZ[1], 11u);
    EXPECT_EQ(map.TexW[1], 0u);
    // Types of no size and types the platform lacks describe nothing.
    EXPECT_EQ(mapOf({{0, 8, D3DDECLTYPE_UNUSED, 0, D3DDECLUSAGE_COLOR, 0}}).Diffuse, 0u);
    EXPECT_EQ(mapOf({{0, 12, 40, 0, D3DDECLUSAGE_NORMAL, 0}}).NZ, 0u);

    mesh.vertexSize = 4;
    EXPECT_EQ(mapOf({{0, 0, D3DDECLTYPE_FLOAT1, 0, D3DDECLUSAGE_POSITION, 0}}).Z, 0u);
    EXPECT_EQ(mapOf({{1, 1020, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0}}).Z, 0u);
}

TEST(VertexLayout, ArraysAndRawVertices) {
    MeshRecord mesh;
    mesh.vertexSize = 12;
    EXPECT_TRUE(AllocateMeshData(&mesh, 4, 65535));
    EXPECT_EQ(mesh.indexCount, 65535);
    std::uint16_t* kept = mesh.indices;
    EXPECT_FALSE(AllocateMeshData(&mesh, 4, 65536));
    EXPECT_EQ(mesh.indices, kept); // unchanged
    EXPECT_TRUE(AllocateMeshData(&mesh, 4, 0));
    EXPECT_EQ(mesh.indices, nullptr);
    EXPECT_EQ(mesh.indexCount, 0);

    std::vector<float> source(10 * 4);
    for (int i = 0; i < 10; ++i)
        source[i * 4] = static_cast<float>(i); // 16-byte vertices
    ASSERT_TRUE(SetMeshFromRawVertices(&mesh, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, 16,
                                       source.data(), 10, D3DPT_TRIANGLELIST));
    EXPECT_EQ(mesh.drawPrimitiveCount, 3);
    EXPECT_EQ(mesh.vertexSize, 32u);
    const auto* words = reinterpret_cast<const float*>(mesh.vertices);
    EXPECT_EQ(words[9 * 8], 9.0f); // each lands at the start of its own 32-byte vertex
    EXPECT_EQ(words[9 * 8 + 4], 0.0f);
    std::uint8_t* before = mesh.vertices;
    EXPECT_FALSE(SetMeshFromRawVertices(&mesh, D3DFVF_XYZ, 16, source.data(), 10,
                                        D3DPT_TRIANGLELIST)); // 16 bytes do not fit 12
    EXPECT_EQ(mesh.vertices, before);

    MeshRecord copy;
    EXPECT_FALSE(SetupMeshFromFormat(&copy, &mesh, 0, 5)); // fewer vertices than the template
    ASSERT_TRUE(SetupMeshFromTemplate(&copy, &mesh));
    EXPECT_EQ(reinterpret_cast<const float*>(copy.vertices)[9 * 8], 9.0f);
    EXPECT_EQ(copy.drawPrimitiveCount, 3);
}

TEST(VertexLayout, WritersAndSorting) {
    std::vector<float> vertices(3 * 9, -1.0f);
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;
    ASSERT_TRUE(SetVertexData(fvf, vertices.data(), 1, 1, 2, 3, 0, 0, 1, 0xFF112233, 0.5f, 0.25f));
    EXPECT_EQ(vertices[9 + 2], 3.0f);
    EXPECT_EQ(vertices[9 + 5], 1.0f);
    std::uint32_t colour;
    std::memcpy(&colour, &vertices[9 + 6], 4);
    EXPECT_EQ(colour, 0xFF112233u);
    EXPECT_EQ(vertices[9 + 8], 0.25f);
    EXPECT_EQ(vertices[0], -1.0f); // the other vertices untouched
    EXPECT_FALSE(SetVertexData(fvf, nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));

    std::vector<std::int32_t> numbers = {5, -3, 9, 9, 0, 12, -7, 5, 1};
    std::vector<std::int32_t> sorted = numbers;
    std::sort(sorted.begin(), sorted.end());
    ASSERT_TRUE(SortIndexRange(numbers.data(), 0, static_cast<std::int32_t>(numbers.size()) - 1));
    EXPECT_EQ(numbers, sorted);
    std::vector<std::int32_t> ascending(100000);
    for (std::int32_t i = 0; i < 100000; ++i)
        ascending[i] = i; // no deep recursion when sorted
    ASSERT_TRUE(SortIndexRange(ascending.data(), 0, 99999));
    EXPECT_TRUE(std::is_sorted(ascending.begin(), ascending.end()));
}
