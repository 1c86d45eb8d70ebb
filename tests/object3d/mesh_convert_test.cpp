#include "core/win32.h"

#include "core/com_ptr.h"
#include "core/frame_loop.h"
#include "object3d/frustum.h"
#include "object3d/mesh_convert.h"
#include "object3d/positioning.h"
#include "object3d/vertex_layout.h"
#include "support/object_scene.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

std::vector<std::uint16_t> Indices(const MeshRecord& mesh) {
    return std::vector<std::uint16_t>(mesh.indices, mesh.indices + mesh.indexCount);
}

D3DXVECTOR3 Position(const MeshRecord& mesh, std::int32_t v) {
    D3DXVECTOR3 p;
    std::memcpy(&p, mesh.vertices + static_cast<std::size_t>(v) * mesh.vertexSize, sizeof p);
    return p;
}

// A mesh of count vertices of FVF XYZ | NORMAL | TEX1, vertex i at (i, 0, 0).
std::unique_ptr<MeshRecord> Line(std::int32_t count, std::int32_t primitiveType) {
    auto mesh = std::make_unique<MeshRecord>();
    std::vector<float> words(static_cast<std::size_t>(count) * 8, 0.0f);
    for (std::int32_t i = 0; i < count; ++i)
        words[i * 8] = static_cast<float>(i);
    SetMeshFromRawVertices(mesh.get(), D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, 32, words.data(),
                           count, primitiveType);
    return mesh;
}

// A square in the plane z = 0, facing -z, as two triangles over four vertices.
std::unique_ptr<MeshRecord> Quad() {
    auto mesh = std::make_unique<MeshRecord>();
    const float v[4][8] = {{-1, 1, 0}, {1, 1, 0}, {1, -1, 0}, {-1, -1, 0}};
    SetMeshFromRawVertices(mesh.get(), D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, 32, v, 4,
                           D3DPT_TRIANGLELIST);
    mesh->indices = new std::uint16_t[6]{0, 1, 2, 2, 3, 0};
    mesh->indexCount = 6;
    mesh->drawPrimitiveCount = 2;
    return mesh;
}

} // namespace

TEST(MeshLayouts, StripsAndFansBecomeLists) {
    auto strip = Line(4, D3DPT_TRIANGLESTRIP);
    ASSERT_TRUE(ConvertStripToList(strip.get()));
    EXPECT_EQ(Indices(*strip), (std::vector<std::uint16_t>{0, 1, 2, 2, 1, 3}));
    EXPECT_EQ(strip->primitiveType, D3DPT_TRIANGLELIST);
    EXPECT_FALSE(ConvertStripToList(strip.get())); // a list already
    auto fan = Line(5, D3DPT_TRIANGLEFAN);
    ASSERT_TRUE(ConvertStripToList(fan.get()));
    EXPECT_EQ(Indices(*fan), (std::vector<std::uint16_t>{0, 1, 2, 0, 2, 3, 0, 3, 4}));
}

TEST(MeshLayouts, ExpandingWeldingAndSplicing) {
    auto quad = Quad();
    ExpandMeshIndices(quad.get());
    EXPECT_EQ(quad->vertexCount, 6);
    EXPECT_EQ(quad->indexCount, 0);
    EXPECT_EQ(quad->drawPrimitiveCount, 2);
    ASSERT_EQ(ExpandedVertexRemap.size(), 4u);
    EXPECT_EQ(ExpandedVertexRemap[0], 5u); // the last corner that used vertex 0
    EXPECT_EQ(Position(*quad, 4), D3DXVECTOR3(-1, -1, 0));

    // An index that names no vertex leaves its corner empty instead of reading past the array.
    auto bad = Quad();
    bad->indices[4] = 4000;
    ExpandMeshIndices(bad.get());
    EXPECT_EQ(Position(*bad, 4), D3DXVECTOR3(0, 0, 0));

    auto welded = Line(6, D3DPT_TRIANGLELIST);
    welded->indices = new std::uint16_t[6]{0, 1, 2, 3, 4, 5};
    welded->indexCount = 6;
    WeldMeshVertices(welded.get(), 1.5f); // corners within 1.5 of an earlier triangle's vertex
    EXPECT_EQ(Indices(*welded), (std::vector<std::uint16_t>{0, 1, 2, 2, 4, 5}));

    auto target = Quad();
    CopyMeshIndicesAt(target.get(), Line(2, 4).get(), 0, 2); // a source without indices: nothing
    OffsetMeshIndices(target.get(), 3, 3, 10);
    EXPECT_EQ(Indices(*target), (std::vector<std::uint16_t>{0, 1, 2, 12, 13, 10}));
    OffsetMeshIndices(target.get(), 5, 3, 10); // past the end: nothing
    EXPECT_EQ(target->indices[5], 10);

    std::vector<PairRecord> pairs(3);
    for (PairRecord& p : pairs)
        InitPairRecord(&p);
    EXPECT_EQ(FindMeshPairIndex(1, 2, pairs.data(), 0), -1);
    pairs[0].words[0] = 7, pairs[0].words[1] = 8;
    pairs[2].words[0] = 2, pairs[2].words[1] = 1;
    EXPECT_EQ(FindMeshPairIndex(1, 2, pairs.data(), 3), 2); // keyed (b, a)
    EXPECT_EQ(FindMeshPairIndex(5, 6, pairs.data(), 3), 1); // else the first free
}

TEST(MeshLayouts, SmallHelpers) {
    float rgba[4];
    EXPECT_EQ(ColourToFloat4(rgba, 0x80FF0000), 0x80u);
    EXPECT_FLOAT_EQ(rgba[0], 1.0f);
    EXPECT_FLOAT_EQ(rgba[3], 128 * 0.003921569f);
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, 1, 2, 3);
    m._44 = 5; // no division by w
    D3DXVECTOR3 out;
    TransformCoordByMatrix(1, 1, 1, &m, &out);
    EXPECT_EQ(out, D3DXVECTOR3(2, 3, 4));
    MultiplierBlock block;
    InitMultiplierBlock(&block);
    EXPECT_EQ(block.multipliers[7], 1.0f);
    EXPECT_EQ(block.last, 10.0f);
}

TEST_F(ObjectScene, DirectXMeshesRoundTrip) {
    // 65,536 vertices are too many for one mesh.
    auto large = Line(65536, D3DPT_TRIANGLELIST);
    EXPECT_EQ(MakeDXMeshFromMesh(large.get(), nullptr, 0), nullptr);
    EXPECT_EQ(cell.number, 7029);

    // Below 65,536 indices the mesh takes 16-bit indices, from there 32-bit ones.
    auto list = Line(65535, D3DPT_TRIANGLELIST);
    ComPtr<ID3DXMesh> narrow(MakeDXMeshFromMesh(list.get(), nullptr, 0));
    ASSERT_TRUE(narrow);
    EXPECT_EQ(narrow->GetOptions(), 0x220u);
    EXPECT_EQ(narrow->GetNumFaces(), 21845u);
    // An indexed list of 21,846 triangles (a converter's, past what 16 bits count) takes 32.
    auto indexed = Quad();
    delete[] indexed->indices;
    indexed->indexCount = 21846 * 3;
    indexed->indices = new std::uint16_t[indexed->indexCount];
    for (std::int32_t i = 0; i < indexed->indexCount; ++i)
        indexed->indices[i] = static_cast<std::uint16_t>(i % 4);
    indexed->drawPrimitiveCount = 21846;
    ComPtr<ID3DXMesh> wide(MakeDXMeshFromMesh(indexed.get(), nullptr, 0));
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->GetOptions(), 0x221u);
    // More triangles than a plain list has vertices: the list would name vertices that are not.
    auto overdrawn = Line(65535, D3DPT_TRIANGLELIST);
    overdrawn->drawPrimitiveCount = 21846;
    EXPECT_EQ(MakeDXMeshFromMesh(overdrawn.get(), nullptr, 0), nullptr);

    // A box keeps every position through D3DX and back.
    auto box = std::make_unique<MeshRecord>();
    ASSERT_TRUE(FillBoxMesh(box.get(), D3DXVECTOR3(-1, -2, -3), D3DXVECTOR3(1, 2, 3)));
    ComPtr<ID3DXMesh> dx(MakeDXMeshFromMesh(box.get(), nullptr, 0));
    ASSERT_TRUE(dx);
    MeshRecord back;
    UpdateMeshFromDXMesh(&back, dx);
    ASSERT_EQ(back.vertexCount, 24);
    ASSERT_EQ(back.indexCount, 36);
    for (std::int32_t v = 0; v < 24; ++v)
        EXPECT_EQ(Position(back, v), Position(*box, v)) << v;
    EXPECT_EQ(Indices(back), Indices(*box));

    // A clone into a format the platform refuses gives nothing and leaves the mesh as it was.
    const std::vector<std::uint16_t> before = Indices(*box);
    EXPECT_EQ(MakeDXMeshFromMesh(box.get(), nullptr, 0xFFFFFFFF), nullptr);
    EXPECT_EQ(Indices(*box), before);
}

TEST_F(ObjectScene, ManyFacesComeBackAsAPlainList) {
    ComPtr<ID3DXMesh> dx;
    ASSERT_TRUE(SUCCEEDED(D3DXCreateMeshFVF(70000, 3, D3DXMESH_MANAGED | D3DXMESH_32BIT, D3DFVF_XYZ,
                                            g_Object3D.device, dx.PutAddress())));
    void* data = nullptr;
    ASSERT_TRUE(SUCCEEDED(dx->LockVertexBuffer(0, &data)));
    const float corners[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    std::memcpy(data, corners, sizeof corners);
    dx->UnlockVertexBuffer();
    ASSERT_TRUE(SUCCEEDED(dx->LockIndexBuffer(0, &data)));
    auto* indices = static_cast<std::uint32_t*>(data);
    for (std::uint32_t i = 0; i < 70000 * 3; ++i)
        indices[i] = i % 3;
    indices[5] = 99; // names no vertex: that corner stays empty
    dx->UnlockIndexBuffer();
    MeshRecord mesh;
    UpdateMeshFromDXMesh(&mesh, dx);
    EXPECT_EQ(mesh.vertexCount, 210000);
    EXPECT_EQ(mesh.indexCount, 0);
    EXPECT_EQ(Position(mesh, 4), D3DXVECTOR3(1, 0, 0));
    EXPECT_EQ(Position(mesh, 5), D3DXVECTOR3(0, 0, 0));
}

TEST_F(ObjectScene, NormalsAreComputedAndAddedWhereMissing) {
    auto quad = Quad();
    ComputeMeshNormals(quad.get());
    VertexOffsetMap map;
    ASSERT_TRUE(GetMeshOffsetMap(quad.get(), &map));
    const auto* v = reinterpret_cast<const float*>(quad->vertices);
    EXPECT_NEAR(v[map.NZ], -1.0f, 1e-5);
    EXPECT_NEAR(v[map.NX], 0.0f, 1e-5);

    // A mesh described by a declaration without a normal gets one.
    MeshRecord bare;
    const D3DVERTEXELEMENT9 declaration[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
    ASSERT_TRUE(SetupMeshDeclarationData(&bare, declaration, 12, 4, 6));
    const float corners[12] = {-1, 1, 0, 1, 1, 0, 1, -1, 0, -1, -1, 0};
    std::memcpy(bare.vertices, corners, sizeof corners);
    const std::uint16_t list[6] = {0, 1, 2, 2, 3, 0};
    std::memcpy(bare.indices, list, sizeof list);
    bare.drawPrimitiveCount = 2;
    ComputeMeshNormalsKeepFormat(&bare);
    EXPECT_EQ(bare.vertexSize, 24u); // the position and the normal D3DX added
    ASSERT_TRUE(GetMeshOffsetMap(&bare, &map));
    ASSERT_NE(map.NZ, 0u);
    EXPECT_NEAR(reinterpret_cast<const float*>(bare.vertices)[map.NZ], -1.0f, 1e-5);

    // Vertices wider than their declaration (a word of padding) go to D3DX one by one.
    MeshRecord padded;
    ASSERT_TRUE(SetupMeshDeclarationData(&padded, declaration, 16, 4, 6));
    std::memset(padded.vertices, 7, 64);
    for (int v = 0; v < 4; ++v)
        std::memcpy(padded.vertices + 16 * v, corners + 3 * v, 12);
    std::memcpy(padded.indices, list, sizeof list);
    padded.drawPrimitiveCount = 2;
    ComputeMeshNormalsKeepFormat(&padded);
    ASSERT_EQ(padded.vertexSize, 24u);
    EXPECT_EQ(Position(padded, 3), D3DXVECTOR3(-1, -1, 0));

    // A triangle two of whose corners meet (as in real models) has no direction: its corners get
    // no normal rather than one that is not a number; the triangle after it keeps its own, and a
    // vertex of no triangle gets none.
    MeshRecord flat;
    ASSERT_TRUE(SetupMeshDeclarationData(&flat, declaration, 12, 7, 6));
    const float points[21] = {-3.87f, 22.07f, 3.33f, -3.74f, 19.76f, 3.96f, -3.74f,
                              19.76f, 3.96f,  -1,    1,      0,      1,     1,
                              0,      1,      -1,    0,      5,      5,     5};
    std::memcpy(flat.vertices, points, sizeof points);
    const std::uint16_t corners2[6] = {0, 1, 2, 3, 4, 5};
    std::memcpy(flat.indices, corners2, sizeof corners2);
    flat.drawPrimitiveCount = 2;
    ComputeMeshNormalsKeepFormat(&flat);
    ASSERT_TRUE(GetMeshOffsetMap(&flat, &map));
    ASSERT_EQ(flat.vertexSize, 24u);
    for (int i = 0; i < 7; ++i) {
        const float* n = reinterpret_cast<const float*>(flat.vertices + 24 * i) + map.NX;
        EXPECT_EQ(D3DXVECTOR3(n[0], n[1], n[2]),
                  i < 3 || i == 6 ? D3DXVECTOR3(0, 0, 0) : D3DXVECTOR3(0, 0, -1))
            << i;
    }
}

TEST_F(ObjectScene, XMeshFilesLoadOrFailCleanly) {
    TempFolder folder;
    const std::string good = folder.Write("quad.x", R"(xof 0303txt 0032
Mesh quad {
 4;
 -1.0; 1.0; 0.0;,
 1.0; 1.0; 0.0;,
 1.0; -1.0; 0.0;,
 -1.0; -1.0; 0.0;;
 2;
 3; 0, 1, 2;,
 3; 2, 3, 0;;
 MeshNormals {
  1;
  0.0; 0.0; -1.0;;
  2;
  3; 0, 0, 0;,
  3; 0, 0, 0;;
 }
}
)");
    MeshRecord* mesh = nullptr;
    ASSERT_TRUE(LoadXMesh(good.c_str(), &mesh));
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->drawPrimitiveCount, 2);
    EXPECT_EQ(mesh->primitiveType, D3DPT_TRIANGLELIST);
    DeleteMesh(mesh);

    mesh = reinterpret_cast<MeshRecord*>(1);
    EXPECT_FALSE(LoadXMesh(folder.File("missing.x").c_str(), &mesh));
    EXPECT_EQ(mesh, nullptr);
    std::string garbled = "xof 0303txt 0032\nMesh m { 4000000000;";
    for (int i = 0; i < 200; ++i)
        garbled += static_cast<char>(33 + (i * 37) % 90);
    EXPECT_FALSE(LoadXMesh(folder.Write("garbled.x", garbled).c_str(), &mesh));
    EXPECT_FALSE(LoadXMesh(
        folder.Write("binary.x", std::string("xof 0303bin 0032\0\0\xff\xff", 24)).c_str(), &mesh));
    EXPECT_EQ(mesh, nullptr);
}

TEST_F(ObjectScene, XMeshFilesSaveAsText) {
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")) {
        EXPECT_FALSE(SaveXMesh("unused.x", Quad().get())); // refused before the platform is called
        GTEST_SKIP() << "Wine's D3DX has no X writer (its D3DXSaveMeshToXA ends the process)";
    }
    TempFolder folder;
    auto quad = Quad();
    MeshRecord* mesh = nullptr;
    ASSERT_TRUE(SaveXMesh(folder.File("saved.x").c_str(), quad.get()));
    ASSERT_TRUE(LoadXMesh(folder.File("saved.x").c_str(), &mesh));
    EXPECT_EQ(mesh->drawPrimitiveCount, 2);
    DeleteMesh(mesh);
}

TEST_F(ObjectScene, FrustumPlanesAndTheirTests) {
    IDirect3DDevice9* device = g_Object3D.device;
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, D3DX_PI / 2, 1.0f, 1.0f, 100.0f);
    device->SetTransform(D3DTS_VIEW, &kIdentityMatrix);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    ASSERT_TRUE(BuildViewFrustum(0.0f));
    EXPECT_TRUE(CheckPointInFrustum(0, 0, 50));
    EXPECT_FALSE(CheckPointInFrustum(0, 0, 150));
    EXPECT_FALSE(CheckPointInFrustum(60, 0, 50)); // beyond the right plane
    ASSERT_TRUE(BuildViewFrustum(200.0f));
    EXPECT_TRUE(CheckPointInFrustum(0, 0, 150));

    // The left plane is x = -z: a sphere 2 units behind it.
    const float away = 2.0f * std::sqrt(2.0f);
    EXPECT_TRUE(CheckSphereInFrustum(-10 - away, 0, 10, 2.5f));
    EXPECT_FALSE(CheckSphereInFrustum(-10 - away, 0, 10, 1.5f));
    const float slack = 0.005f * std::sqrt(2.0f);
    EXPECT_TRUE(CheckBoxInMainFrustum(-12 - slack, 0, 10, 1, 1, 1)); // within 0.01 outside
    EXPECT_FALSE(CheckBoxInMainFrustum(-14, 0, 10, 1, 1, 1));
    EXPECT_TRUE(CheckCubeInFrustum(-12, 0, 10, 1));
    EXPECT_FALSE(CheckCubeInFrustum(-14, 0, 10, 1));
    EXPECT_TRUE(CheckSphereInFrustums(-1, 1e9f, 0, 0, 0));
    const D3DXVECTOR3 a(0, 0, 10), b(1, 0, 10), c(0, 1, 10);
    EXPECT_TRUE(CheckTriangleInFrustum(FrustumPlaneSets[0], &a, &b, &c));

    // A portal's set never widens beyond the one before it.
    const D3DXVECTOR3 eye(0, 0, 0);
    const D3DXVECTOR3 n1(-1, 1, 10), n2(1, 1, 10), n3(1, -1, 10), n4(-1, -1, 10);
    ASSERT_TRUE(BuildFrustumFromPoints(1, &eye, &n1, &n2, &n3, &n4, false));
    const D3DXVECTOR3 w1(-50, 50, 10), w2(50, 50, 10), w3(50, -50, 10), w4(-50, -50, 10);
    ASSERT_TRUE(BuildFrustumFromPoints(2, &eye, &w1, &w2, &w3, &w4, false));
    const D3DXVECTOR3 wide(15, 0, 20); // in the view, outside the narrow portal
    EXPECT_FALSE(CheckPointInFrustumSides(FrustumPlaneSets[1], &wide));
    EXPECT_FALSE(CheckPointInFrustumSides(FrustumPlaneSets[2], &wide));
    EXPECT_TRUE(CheckSphereInFrustums(0, 15, 0, 20, 0));
    EXPECT_FALSE(CheckSphereInFrustums(2, 15, 0, 20, 0));
    EXPECT_FALSE(BuildFrustumFromPoints(20, &eye, &n1, &n2, &n3, &n4, false));
}

TEST_F(ObjectScene, ABoxJustOutsideTheLeftPlaneDrawsNothing) {
    BuildBox(1, 1.0f);
    ObjectRecord* box = g_Object3D.objects[1];
    box->collision.cullingRadius = box->collision.radius;
    // Camera 0: a field of view of 61.962135 degrees at an aspect of 4 / 3.
    const float halfWidth = std::tan(61.962135f / 2 * D3DX_PI / 180) * 4.0f / 3.0f;
    const float edge = -halfWidth * 20.0f; // the left plane's x at depth 20
    ASSERT_TRUE(PositionObject(1, edge - box->collision.radius * 1.5f, 0, 20));
    Sync();
    EXPECT_EQ(g_CoreData->drawCalls, 0);
    ASSERT_TRUE(PositionObject(1, edge + box->collision.radius * 0.2f, 0, 20));
    Sync();
    EXPECT_EQ(g_CoreData->drawCalls, 1);
}

TEST_F(ObjectScene, AWidenedMeshsBackupTakesItsNewLayout) {
    auto box = std::make_unique<MeshRecord>();
    ASSERT_TRUE(FillBoxMesh(box.get(), D3DXVECTOR3(-1, -2, -3), D3DXVECTOR3(1, 2, 3)));
    BackupMeshVertices(box.get());
    ASSERT_NE(box->backupVertices, nullptr);
    const std::int32_t oldSize = box->vertexSize;
    ConvertMeshToFVF(box.get(), D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX2);
    ASSERT_GT(box->vertexSize, oldSize);
    std::vector<D3DXVECTOR3> converted;
    for (std::int32_t v = 0; v < box->vertexCount; ++v)
        converted.push_back(Position(*box, v));
    // Restoring the old, narrower backup over the wider vertices would shift every vertex after
    // the first (and read past the backup's end).
    RestoreMeshVertices(box.get());
    for (std::int32_t v = 0; v < box->vertexCount; ++v)
        EXPECT_EQ(Position(*box, v), converted[static_cast<std::size_t>(v)]) << v;
}
