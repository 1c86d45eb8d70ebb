#include "core/win32.h"

#include "core/com_ptr.h"
#include "core/frame_loop.h"
#include "draw2d/draw2d.h"
#include "image/image.h"
#include "object3d/builtin_effects.h"
#include "object3d/effect.h"
#include "object3d/mesh_convert.h"
#include "object3d/object_records.h"
#include "object3d/positioning.h"
#include "object3d/vertex_layout.h"
#include "support/fake_effect.h"
#include "support/object_scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

namespace {

struct PlainVertex {
    float x, y, z, nx, ny, nz, u, v;
};
constexpr std::uint32_t kPlainFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

// An n x n grid of quads in the plane z = 0, facing -z, its corners shared.
void FillGrid(MeshRecord* mesh, int n) {
    std::vector<PlainVertex> vertices;
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x)
            vertices.push_back({static_cast<float>(x), static_cast<float>(y), 0, 0, 0, -1, 0, 0});
    ASSERT_TRUE(SetMeshFromRawVertices(mesh, kPlainFormat, sizeof(PlainVertex), vertices.data(),
                                       static_cast<std::int32_t>(vertices.size()),
                                       D3DPT_TRIANGLELIST));
    std::vector<std::uint16_t> indices;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const auto a = static_cast<std::uint16_t>(y * (n + 1) + x);
            const auto b = static_cast<std::uint16_t>(a + 1),
                       c = static_cast<std::uint16_t>(a + n + 1),
                       d = static_cast<std::uint16_t>(c + 1);
            indices.insert(indices.end(), {c, d, b, c, b, a}); // clockwise seen from -z
        }
    mesh->indices = new std::uint16_t[indices.size()];
    std::copy(indices.begin(), indices.end(), mesh->indices);
    mesh->indexCount = static_cast<std::int32_t>(indices.size());
    mesh->drawPrimitiveCount = mesh->indexCount / 3;
}

// The volume's triangles as index triples.
std::vector<std::uint32_t> VolumeIndices(ID3DXMesh* volume) {
    const std::size_t count = static_cast<std::size_t>(volume->GetNumFaces()) * 3;
    const bool wide = volume->GetOptions() & D3DXMESH_32BIT;
    void* data = nullptr;
    std::vector<std::uint32_t> indices;
    if (FAILED(volume->LockIndexBuffer(D3DLOCK_READONLY, &data))) return indices;
    for (std::size_t i = 0; i < count; ++i)
        indices.push_back(wide ? static_cast<const std::uint32_t*>(data)[i]
                               : static_cast<const std::uint16_t*>(data)[i]);
    volume->UnlockIndexBuffer();
    return indices;
}

struct VolumeVertex {
    D3DXVECTOR3 position, normal;
};

std::vector<VolumeVertex> VolumeVertices(ID3DXMesh* volume) {
    void* data = nullptr;
    std::vector<VolumeVertex> vertices;
    if (volume->GetNumBytesPerVertex() != sizeof(VolumeVertex) ||
        FAILED(volume->LockVertexBuffer(D3DLOCK_READONLY, &data)))
        return vertices;
    const auto* first = static_cast<const VolumeVertex*>(data);
    vertices.assign(first, first + volume->GetNumVertices());
    volume->UnlockVertexBuffer();
    return vertices;
}

// How many edges (pairs of vertices, either way round) lie in other than two triangles, and how
// many triangles repeat a vertex.
std::pair<int, int> OpenEdgesAndBadTriangles(const std::vector<std::uint32_t>& indices) {
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> uses;
    int bad = 0;
    for (std::size_t t = 0; t + 2 < indices.size(); t += 3) {
        const std::uint32_t* c = &indices[t];
        if (c[0] == c[1] || c[1] == c[2] || c[2] == c[0]) ++bad;
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t a = c[k], b = c[(k + 1) % 3];
            ++uses[{std::min(a, b), std::max(a, b)}];
        }
    }
    int open = 0;
    for (const auto& [edge, count] : uses)
        open += count != 2;
    return {open, bad};
}

D3DXVECTOR3 PositionOf(const MeshRecord* mesh, std::uint32_t v) {
    D3DXVECTOR3 p;
    std::memcpy(&p, mesh->vertices + static_cast<std::size_t>(v) * mesh->vertexSize, sizeof p);
    return p;
}

constexpr D3DCOLOR kTint = 0xFF123456;

// The diffuse colour of a vertex of a mesh in FVF 0x52 or another FVF with it after the normal.
D3DCOLOR DiffuseOf(const MeshRecord* mesh, std::int32_t v) {
    D3DCOLOR c;
    std::memcpy(&c, mesh->vertices + static_cast<std::size_t>(v) * mesh->vertexSize + 24, 4);
    return c;
}

bool HasNormal(const MeshRecord* mesh) {
    if (mesh->fvf) return mesh->fvf & D3DFVF_NORMAL;
    for (const D3DVERTEXELEMENT9& e : mesh->declaration) {
        if (e.Stream == 0xFF) break;
        if (e.Usage == D3DDECLUSAGE_NORMAL) return true;
    }
    return false;
}

// A box mesh of 24 vertices with two bones: the first moves the front, back and top faces' 12
// vertices, the second the rest at half weight.
void AddTwoBones(MeshRecord* mesh) {
    mesh->boneCount = 2;
    mesh->bones = new BoneRecord[2];
    for (int b = 0; b < 2; ++b) {
        BoneRecord& bone = mesh->bones[b];
        bone.name[0] = static_cast<char>('a' + b);
        bone.influenceCount = 12;
        bone.vertices = new std::uint32_t[12];
        bone.weights = new float[12];
        for (std::uint32_t j = 0; j < 12; ++j) {
            bone.vertices[j] = 12 * b + j;
            bone.weights[j] = b == 0 ? 1.0f : 0.5f;
        }
        bone.offsetMatrix = kIdentityMatrix;
    }
}

FakeEffect* ShadowFake(bool palette) {
    auto* fake = new FakeEffect;
    fake->parameters.push_back({"Range", "meshradius", D3DXPC_SCALAR, D3DXPT_FLOAT, "", 0, {}});
    if (palette)
        fake->parameters.push_back(
            {"Bones", "bonematrixpalette", D3DXPC_MATRIX_ROWS, D3DXPT_FLOAT, "", 0, {}});
    return fake;
}

// A shading's effect with two texture parameters taking the mesh's slots; its one pass reads
// the inputs given in assembly.
FakeEffect* ShadingFake(const char* vertexShader) {
    auto* fake = new FakeEffect;
    for (const char* name : {"First", "Second"})
        fake->parameters.push_back(
            {name,
             "",
             D3DXPC_OBJECT,
             D3DXPT_TEXTURE,
             "",
             0,
             {{"ResourceName", "", D3DXPC_OBJECT, D3DXPT_STRING, "t.dds", 0, {}}}});
    fake->techniques = {FakeTechnique{{FakeEffect::Assemble(vertexShader)}}};
    return fake;
}

class BuiltinEffects : public ObjectScene {
protected:
    void SetUp() override {
        ObjectScene::SetUp();
        SetEffectCreator(CreateFakeEffect);
        HandOutFakeEffect(nullptr);
        g_FakeEffectPaths.clear();
    }
    void TearDown() override {
        HandOutFakeEffect(nullptr);
        SetEffectCreator(nullptr);
        g_CoreData->stencilMode = g_CoreData->shadowCount = 0;
        ObjectScene::TearDown();
    }
    // The D3DX mesh of a mesh record, checked.
    static ComPtr<ID3DXMesh> DXMeshOf(MeshRecord* mesh) {
        ComPtr<ID3DXMesh> dx(MakeDXMeshFromMesh(mesh, nullptr, mesh->fvf));
        EXPECT_TRUE(dx);
        return dx;
    }
};

} // namespace

TEST_F(BuiltinEffects, ACubesVolumeIsClosedWithSixteenBitIndices) {
    for (bool indexed : {true, false}) {
        MeshRecord cube;
        ASSERT_TRUE(FillBoxMesh(&cube, D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1), indexed));
        ComPtr<ID3DXMesh> dx = DXMeshOf(&cube);
        ComPtr<ID3DXMesh> volume;
        ASSERT_EQ(BuildShadowVolumeMesh(dx, volume.PutAddress()), S_OK);
        EXPECT_FALSE(volume->GetOptions() & D3DXMESH_32BIT);
        // Every face keeps three vertices of its own; a closed cube needs no caps.
        ASSERT_EQ(volume->GetNumVertices(), 36u);
        ASSERT_EQ(ShadowMeshRemapTable.size(), 36u);
        const auto [open, bad] = OpenEdgesAndBadTriangles(VolumeIndices(volume));
        EXPECT_EQ(open, 0) << (indexed ? "indexed" : "plain list");
        EXPECT_EQ(bad, 0);
        const std::vector<VolumeVertex> vertices = VolumeVertices(volume);
        ASSERT_EQ(vertices.size(), 36u);
        for (std::uint32_t v = 0; v < 36; ++v)
            EXPECT_EQ(vertices[v].position, PositionOf(&cube, ShadowMeshRemapTable[v]));
        // The front face's vertices carry its normal, whatever the source's normals say.
        EXPECT_EQ(vertices[0].normal, D3DXVECTOR3(0, 0, -1));
        EXPECT_EQ(vertices[5].normal, D3DXVECTOR3(0, 0, -1));
    }
}

TEST_F(BuiltinEffects, AnOpenMeshIsCappedWithARemapEntryForEveryVertex) {
    MeshRecord plane;
    FillGrid(&plane, 1); // two triangles, four boundary edges
    ComPtr<ID3DXMesh> volume;
    ASSERT_EQ(BuildShadowVolumeMesh(DXMeshOf(&plane), volume.PutAddress()), S_OK);
    // (faces + open edges) x 3 vertices, each with a source vertex; nothing beyond the table.
    ASSERT_EQ(volume->GetNumVertices(), 18u);
    ASSERT_EQ(ShadowMeshRemapTable.size(), 18u);
    const std::vector<VolumeVertex> vertices = VolumeVertices(volume);
    int atCentre = 0;
    for (std::uint32_t v = 0; v < 18; ++v) {
        ASSERT_LT(ShadowMeshRemapTable[v], 4u);
        if (vertices[v].position == D3DXVECTOR3(0.5f, 0.5f, 0)) {
            ++atCentre; // the cap's apex
            continue;
        }
        EXPECT_EQ(vertices[v].position, PositionOf(&plane, ShadowMeshRemapTable[v]));
    }
    EXPECT_EQ(atCentre, 4);
    // The cap faces the other way from the plane.
    EXPECT_EQ(vertices[0].normal, D3DXVECTOR3(0, 0, -1));
    EXPECT_EQ(vertices[17].normal, D3DXVECTOR3(0, 0, 1));
    const auto [open, bad] = OpenEdgesAndBadTriangles(VolumeIndices(volume));
    EXPECT_EQ(open, 0);
    EXPECT_EQ(bad, 0);

    // Two holes apart (a grid with its middle quad cut out has an outer and an inner rim) get a
    // cap each, and still close.
    MeshRecord ring;
    FillGrid(&ring, 3);
    std::copy(ring.indices + 30, ring.indices + 54, ring.indices + 24); // drop quad 4
    ring.indexCount -= 6;
    ring.drawPrimitiveCount -= 2;
    ASSERT_EQ(BuildShadowVolumeMesh(DXMeshOf(&ring), volume.PutAddress()), S_OK);
    EXPECT_EQ(volume->GetNumVertices(), (16u + 16u) * 3u); // 12 outer and 4 inner rim edges
    EXPECT_EQ(OpenEdgesAndBadTriangles(VolumeIndices(volume)), std::make_pair(0, 0));
}

TEST_F(BuiltinEffects, MissingMeshesAndOutputsAreRefused) {
    MeshRecord cube;
    ASSERT_TRUE(FillBoxMesh(&cube, D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1)));
    ComPtr<ID3DXMesh> volume;
    EXPECT_EQ(BuildShadowVolumeMesh(DXMeshOf(&cube), nullptr), E_INVALIDARG);
    EXPECT_EQ(BuildShadowVolumeMesh(nullptr, volume.PutAddress()), E_INVALIDARG);
    MeshRecord* shadow = nullptr;
    EXPECT_FALSE(SetShadowShading(nullptr, &shadow, 0));
    EXPECT_FALSE(SetShadowShading(&cube, nullptr, 0));
    MeshRecord empty;
    EXPECT_FALSE(SetShadowShading(&empty, &shadow, 0));
    EXPECT_EQ(shadow, nullptr);
}

TEST_F(BuiltinEffects, ModeZeroKeepsTheVolumeForTheProcessorBuiltFromTheBackup) {
    MeshRecord cube;
    ASSERT_TRUE(FillBoxMesh(&cube, D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1)));
    BackupMeshVertices(&cube);
    *reinterpret_cast<float*>(cube.vertices) = 50.0f; // an animated pose
    MeshRecord* shadow = nullptr;
    ASSERT_TRUE(SetShadowShading(&cube, &shadow, 0));
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(*reinterpret_cast<float*>(cube.vertices), -1.0f);
    EXPECT_EQ(shadow->shadowRange, -1.0f);
    EXPECT_EQ(shadow->primitiveType, D3DPT_TRIANGLELIST);
    EXPECT_EQ(shadow->drawVertexCount, shadow->vertexCount);
    EXPECT_EQ(shadow->drawPrimitiveCount, shadow->indexCount / 3);
    EXPECT_NE(shadow->backupVertices, nullptr);
    EXPECT_EQ(shadow->effect, nullptr);
    EXPECT_TRUE(ShadowMeshRemapTable.empty());
    for (std::int32_t v = 0; v < shadow->vertexCount; ++v)
        EXPECT_LE(std::fabs(PositionOf(shadow, v).x), 1.0f);

    // Another mode only builds the volume, into the shadow mesh already there.
    MeshRecord* kept = shadow;
    shadow->shadowRange = 0;
    ASSERT_TRUE(SetShadowShading(&cube, &shadow, 2));
    EXPECT_EQ(shadow, kept);
    EXPECT_EQ(shadow->shadowRange, 0.0f);
    delete shadow;
}

TEST_F(BuiltinEffects, ModeOneFallsBackToModeZeroWhenItsFileDoesNotLoad) {
    MeshRecord cube;
    ASSERT_TRUE(FillBoxMesh(&cube, D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1)));
    MeshRecord* shadow = nullptr;
    ASSERT_TRUE(SetShadowShading(&cube, &shadow, 1));
    ASSERT_FALSE(g_FakeEffectPaths.empty());
    EXPECT_EQ(g_FakeEffectPaths.front(), "stencilshadow.fx");
    EXPECT_EQ(shadow->shadowRange, -1.0f);
    EXPECT_EQ(shadow->effect, nullptr);
    delete std::exchange(shadow, nullptr);

    if (!RunningUnderWine()) GTEST_SKIP() << "the platform's effect compiler may find the file";
    SetEffectCreator(nullptr); // the platform's, which has no effect compiler here
    ASSERT_TRUE(SetShadowShading(&cube, &shadow, 1));
    EXPECT_EQ(shadow->shadowRange, -1.0f);
    EXPECT_EQ(shadow->effect, nullptr);
    delete shadow;
}

TEST_F(BuiltinEffects, ModeOneDrawsThroughTheShadowEffect) {
    MeshRecord cube;
    ASSERT_TRUE(FillBoxMesh(&cube, D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1)));
    HandOutFakeEffect(ShadowFake(false));
    MeshRecord* shadow = nullptr;
    ASSERT_TRUE(SetShadowShading(&cube, &shadow, 1));
    ASSERT_NE(shadow->effect, nullptr);
    EXPECT_STREQ(shadow->effectFileName, "stencilshadow.fx");
    EXPECT_NE(shadow->shadowRange, -1.0f);
    EXPECT_EQ(shadow->boneCount, 0);
    EXPECT_TRUE(HasNormal(shadow));
    delete shadow;
}

TEST_F(BuiltinEffects, ASkinnedMeshGetsTheBoneEffectWithItsBonesOnTheVolume) {
    MeshRecord body;
    ASSERT_TRUE(FillBoxMesh(&body, D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1)));
    AddTwoBones(&body);
    HandOutFakeEffect(ShadowFake(true));
    MeshRecord* shadow = nullptr;
    ASSERT_TRUE(SetShadowShading(&body, &shadow, 1));
    ASSERT_FALSE(g_FakeEffectPaths.empty());
    EXPECT_EQ(g_FakeEffectPaths.front(), "stencilshadowbone.fx");
    ASSERT_NE(shadow->effect, nullptr);
    EXPECT_EQ(shadow->effect->usesPalette, 1u);
    EXPECT_EQ(shadow->effectSkinsMesh, 1); // the blend weights went into the vertices
    ASSERT_EQ(shadow->boneCount, 2);
    // Each volume vertex follows exactly the bone of the source vertex it was made from, once,
    // even where source vertices of several faces share its place.
    std::vector<int> uses(static_cast<std::size_t>(shadow->vertexCount), 0);
    for (int b = 0; b < 2; ++b) {
        const BoneRecord& bone = shadow->bones[b];
        EXPECT_STREQ(bone.name, body.bones[b].name);
        EXPECT_EQ(bone.influenceCount, 18u); // three faces of two triangles
        for (std::uint32_t j = 0; j < bone.influenceCount; ++j) {
            ASSERT_LT(bone.vertices[j], uses.size());
            ++uses[bone.vertices[j]];
            EXPECT_EQ(bone.weights[j], b == 0 ? 1.0f : 0.5f);
        }
    }
    EXPECT_EQ(std::count(uses.begin(), uses.end(), 1), shadow->vertexCount);
    delete shadow;
}

TEST_F(BuiltinEffects, AVolumeTooLargeForTheEffectPathIsMovedOnTheProcessor) {
    MeshRecord grid;
    FillGrid(&grid, 50); // 5,000 faces: a volume of some 30,000 triangles
    MeshRecord* shadow = nullptr;
    ASSERT_TRUE(SetShadowShading(&grid, &shadow, 1));
    EXPECT_GT(shadow->vertexCount, 65535);
    EXPECT_EQ(shadow->indexCount, 0);
    EXPECT_EQ(shadow->drawPrimitiveCount, shadow->vertexCount / 3);
    EXPECT_EQ(shadow->shadowRange, -1.0f);
    EXPECT_TRUE(g_FakeEffectPaths.empty());
    EXPECT_EQ(cell.number, 0);
    delete shadow;
}

TEST_F(BuiltinEffects, HardwareWithoutVertexShadersGetsNoShadingAndAProcessorShadow) {
    MeshRecord cube;
    ASSERT_TRUE(FillBoxMesh(&cube, D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1)));
    DeviceRecording recording;
    recording.device.vertexShaderVersion = D3DVS_VERSION(1, 0);
    FakeEffect* fake = ShadowFake(false);
    fake->AddRef(); // kept to see it let go
    HandOutFakeEffect(fake);
    MeshRecord* shadow = nullptr;
    ASSERT_TRUE(SetShadowShading(&cube, &shadow, 1));
    EXPECT_EQ(shadow->effect, nullptr);
    EXPECT_EQ(shadow->shadowRange, -1.0f);
    EXPECT_EQ(fake->references, 1u);
    fake->Release();
    delete shadow;

    SetCartoonShading(&cube, 0, 0);
    SetRainbowShading(&cube, 0);
    SetBumpMapping(&cube, 0, 1);
    EXPECT_EQ(cube.effect, nullptr);
    EXPECT_EQ(cube.fvf, kPlainFormat);
    EXPECT_TRUE(g_FakeEffectPaths.size() == 1); // only the shadow's file was asked for
}

TEST_F(BuiltinEffects, CartoonAndRainbowTakeTheirFormatsAndImages) {
    CreateManagedImage(3, 8, 8);
    CreateManagedImage(4, 8, 8);
    MeshRecord cartoon;
    ASSERT_TRUE(FillBoxMesh(&cartoon, D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1)));
    BackupMeshVertices(&cartoon);
    HandOutFakeEffect(ShadingFake("vs.1.1\ndcl_position v0\ndcl_normal v1\ndcl_color v2\n"
                                  "mov oPos, v0\nmov oD0, v2\n"));
    SetCartoonShading(&cartoon, 3, 4);
    ASSERT_NE(dynamic_cast<CartoonEffect*>(cartoon.effect), nullptr);
    EXPECT_EQ(g_FakeEffectPaths.front(), "cartoon.fx");
    EXPECT_EQ(cartoon.fvf, 0x52u); // texture coordinates gone, a colour gained: white
    EXPECT_EQ(DiffuseOf(&cartoon, 0), 0xFFFFFFFFu);
    EXPECT_EQ(DiffuseOf(&cartoon, cartoon.vertexCount - 1), 0xFFFFFFFFu);
    EXPECT_EQ(cartoon.effect->needsColour, 1u);
    EXPECT_EQ(cartoon.effect->deferredCount, 2u);
    ASSERT_GE(cartoon.textureCount, 2);
    EXPECT_EQ(cartoon.textures[0].imageNumber, 3);
    EXPECT_EQ(cartoon.textures[0].texture, GetImagePointer(3));
    EXPECT_EQ(cartoon.textures[1].imageNumber, 4);
    EXPECT_EQ(cartoon.textures[1].texture, GetImagePointer(4));
    // The backup was made again in the new layout.
    ASSERT_NE(cartoon.backupVertices, nullptr);
    EXPECT_EQ(std::memcmp(cartoon.backupVertices, cartoon.vertices,
                          static_cast<std::size_t>(cartoon.vertexCount) * cartoon.vertexSize),
              0);

    // Colours the mesh had stay.
    MeshRecord coloured;
    ASSERT_TRUE(FillBoxMesh(&coloured, D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1)));
    ConvertMeshToFVF(&coloured, kPlainFormat | D3DFVF_DIFFUSE);
    for (std::int32_t v = 0; v < coloured.vertexCount; ++v)
        std::memcpy(coloured.vertices + v * coloured.vertexSize + 24, &kTint, 4);
    SetCartoonShading(&coloured, 3, 4);
    EXPECT_EQ(coloured.fvf, 0x52u);
    EXPECT_EQ(DiffuseOf(&coloured, 5), kTint);

    MeshRecord rainbow;
    ASSERT_TRUE(FillBoxMesh(&rainbow, D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1)));
    g_FakeEffectPaths.clear();
    HandOutFakeEffect(ShadingFake("vs.1.1\ndcl_position v0\ndcl_normal v1\nmov oPos, v0\n"));
    SetRainbowShading(&rainbow, 4);
    ASSERT_NE(dynamic_cast<RainbowEffect*>(rainbow.effect), nullptr);
    EXPECT_EQ(g_FakeEffectPaths.front(), "rainbow.fx");
    EXPECT_EQ(rainbow.fvf, 0x12u);
    EXPECT_EQ(rainbow.textures[0].imageNumber, 4);
    EXPECT_EQ(rainbow.textures[1].imageNumber, 4);
    EXPECT_EQ(rainbow.textures[1].texture, GetImagePointer(4));
    DeleteImage(3);
    DeleteImage(4);
}

TEST_F(BuiltinEffects, BumpMappingAddsANormalOnlyWhenAskedTo) {
    CreateManagedImage(5, 8, 8);
    for (std::int32_t ensure : {0, 2, 1}) {
        MeshRecord mesh;
        ASSERT_TRUE(FillBoxMesh(&mesh, D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1)));
        ConvertMeshToFVF(&mesh, D3DFVF_XYZ | D3DFVF_TEX1);
        ASSERT_FALSE(HasNormal(&mesh));
        HandOutFakeEffect(ShadingFake("vs.1.1\ndcl_position v0\nmov oPos, v0\n"));
        SetBumpMapping(&mesh, 5, ensure);
        ASSERT_NE(dynamic_cast<BumpEffect*>(mesh.effect), nullptr);
        EXPECT_EQ(mesh.effect->ensureNormals, ensure == 1 ? 1u : 0u);
        EXPECT_EQ(HasNormal(&mesh), ensure == 1) << ensure;
        EXPECT_EQ(mesh.textures[1].imageNumber, 5);
        EXPECT_EQ(mesh.textures[1].texture, GetImagePointer(5));
        EXPECT_EQ(mesh.textures[0].imageNumber, 0); // the mesh's own texture slot stays
    }
    EXPECT_EQ(g_FakeEffectPaths.back(), "bump.fx");
    DeleteImage(5);
}

TEST_F(BuiltinEffects, AShadingWhoseFileDoesNotLoadDrawsNoPass) {
    MeshRecord mesh;
    ASSERT_TRUE(FillBoxMesh(&mesh, D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1)));
    SetRainbowShading(&mesh, 0);
    ASSERT_NE(mesh.effect, nullptr);
    EXPECT_EQ(mesh.effect->effect, nullptr);
    EXPECT_EQ(mesh.effect->Apply(&mesh), 0u);
    EXPECT_EQ(mesh.fvf, 0x12u);
    EXPECT_EQ(GetLastEffectError(), "no such effect");
}

TEST_F(BuiltinEffects, TheVolumeDarkensThePlaneLikeTheBoxItWasBuiltFrom) {
    BuildBox(2, 10.0f); // the plane: a face at z 20 across the view
    ASSERT_TRUE(PositionObject(2, 0, 0, 30));
    BuildBox(1, 0.5f); // the caster, around the camera, seen from inside: nothing of it shows
    MeshRecord shape;
    ASSERT_TRUE(FillBoxMesh(&shape, D3DXVECTOR3(-2, -2, 15), D3DXVECTOR3(2, 2, 25)));
    ObjectRecord* caster = g_Object3D.objects[1];
    ASSERT_TRUE(SetShadowShading(&shape, &caster->rootFrame->shadowMesh, 0));
    caster->castsShadow = 1;
    g_Object3D.manager.MarkObjectChanged(caster);
    g_CoreData->stencilMode = 1;
    g_CoreData->shadowCount = 1;
    const std::uint32_t shadowed = SyncAndReadCentre(0xFF204060);
    const int lit = Red(GetPixelColour(320, 240 + 60)); // beside the volume
    EXPECT_GT(lit, 60);
    EXPECT_NEAR(Red(shadowed), lit * 0.75, 3); // alpha 64 of black
    EXPECT_NEAR(Red(GetPixelColour(320 + 60, 240)), lit, 3);
}
