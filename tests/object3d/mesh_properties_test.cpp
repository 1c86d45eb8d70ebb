#include "core/win32.h"

#include "support/object_scene.h"
#include "object3d/effect.h"
#include "object3d/mesh_convert.h"
#include "object3d/mesh_properties.h"
#include "object3d/mesh_textures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

int destroyed = 0;
class CountedEffect : public EffectBase {
public:
    ~CountedEffect() override { ++destroyed; }
};

template <typename T> ULONG References(T* p) {
    p->AddRef();
    return p->Release();
}

std::vector<std::uint8_t> BytesOf(const TextureRecord& slot) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&slot);
    return std::vector<std::uint8_t>(p, p + sizeof slot);
}

// A shader of the device from assembly text; null when it cannot be made.
template <typename Shader, typename Create> Shader* MakeShader(const char* text, Create create) {
    ID3DXBuffer* code = nullptr;
    Shader* shader = nullptr;
    if (SUCCEEDED(D3DXAssembleShader(text, static_cast<UINT>(std::strlen(text)), nullptr, nullptr,
                                     0, &code, nullptr))) {
        (g_Object3D.device->*create)(static_cast<DWORD*>(code->GetBufferPointer()), &shader);
        code->Release();
    }
    return shader;
}

} // namespace

TEST_F(ObjectTables, CullModeAndGhostBlendKeepTheirOldValuesWhenTurnedOff) {
    MeshRecord mesh;
    SetMeshCullMode(&mesh, 2);
    EXPECT_EQ(mesh.culling, 1);
    for (std::int32_t off : {0, -5}) {
        SetMeshCullMode(&mesh, off);
        EXPECT_EQ(mesh.culling, 0) << off;
        EXPECT_EQ(mesh.cullMode, 2) << off;
    }
    SetMeshCull(&mesh, 1); // the old mode is back in force
    EXPECT_EQ(mesh.cullMode, 2);

    SetMeshGhost(&mesh, 1, 4);
    SetMeshGhost(&mesh, 1, -1);
    EXPECT_EQ(mesh.ghost, 1);
    EXPECT_EQ(mesh.ghostMode, 4);
    SetMeshGhost(&mesh, 0, 0);
    EXPECT_EQ(mesh.ghostMode, 0);
}

TEST_F(ObjectTables, SamplerSettersStoreFiltersPlusOneAndNeverGrowTheSlots) {
    MeshRecord mesh;
    SetMeshTextureFilter(&mesh, 1);
    SetMeshTextureAddress(&mesh, 3, 1);
    EXPECT_EQ(mesh.textures, nullptr);
    ASSERT_TRUE(EnsureMeshTextureCount(&mesh, 0));
    SetMeshTextureFilter(&mesh, 0);
    EXPECT_EQ(mesh.textures[0].magFilter, D3DTEXF_POINT);
    SetMeshTextureStageFilter(&mesh, 0, 2);
    EXPECT_EQ(mesh.textures[0].minFilter, D3DTEXF_ANISOTROPIC);

    const std::vector<std::uint8_t> before = BytesOf(mesh.textures[0]);
    SetMeshTextureStageFilter(&mesh, 3, 1);
    SetMeshTextureStageAddress(&mesh, 3, D3DTADDRESS_MIRROR, D3DTEXF_POINT);
    SetMeshTextureStageFilter(&mesh, 0xFFFFFFFF, 1); // a -1 from a program
    EXPECT_EQ(mesh.textureCount, 1);
    EXPECT_EQ(BytesOf(mesh.textures[0]), before);
}

TEST_F(ObjectTables, ASharedEffectOutlivesFreeMeshEffectAndAnOwnedOneDoesNot) {
    destroyed = 0;
    auto* effect = new CountedEffect;
    MeshRecord owner, sharer;
    owner.effect = sharer.effect = effect;
    owner.effectInUse = sharer.effectInUse = 1;
    owner.effectPrepared = sharer.effectPrepared = 1;
    sharer.sharedEffect = 1;
    sharer.effectData = 7;

    FreeMeshEffect(&sharer);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(sharer.effect, nullptr);
    // No flag may claim an effect that is gone.
    EXPECT_EQ(sharer.effectInUse + sharer.effectPrepared + sharer.sharedEffect, 0);
    EXPECT_EQ(sharer.effectData, 0u);

    FreeMeshEffect(&owner);
    FreeMeshEffect(&owner);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(owner.effect, nullptr);
}

TEST_F(ObjectScene, MeshesHoldTheirOwnShaderReferencesAndLetGoOfThem) {
    if (g_Object3D.caps.VertexShaderVersion < D3DVS_VERSION(1, 1))
        GTEST_SKIP() << "the device has no vertex shader 1.1";
    auto* vertex = MakeShader<IDirect3DVertexShader9>("vs_1_1\ndcl_position v0\nmov oPos, v0\n",
                                                      &IDirect3DDevice9::CreateVertexShader);
    auto* pixel = MakeShader<IDirect3DPixelShader9>("ps_1_1\nmov r0, v0\n",
                                                    &IDirect3DDevice9::CreatePixelShader);
    ASSERT_NE(vertex, nullptr);
    ASSERT_NE(pixel, nullptr);
    MeshRecord mesh;
    ASSERT_TRUE(FillBoxMesh(&mesh, D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1)));
    SetMeshShaders(&mesh, vertex, pixel, 2);
    EXPECT_EQ(References(vertex), 2u);
    EXPECT_EQ(References(pixel), 2u);
    EXPECT_EQ(mesh.effectInUse, 1);
    EXPECT_EQ(mesh.savedFVF, mesh.fvf);
    ASSERT_EQ(mesh.textureCount, 2);
    EXPECT_EQ(mesh.textures[0].argument2, D3DTA_DIFFUSE);
    EXPECT_EQ(mesh.textures[1].argument2, D3DTA_CURRENT);

    // Shaders without an effect are let go of too.
    FreeMeshEffect(&mesh);
    EXPECT_EQ(References(vertex), 1u);
    EXPECT_EQ(References(pixel), 1u);
    EXPECT_EQ(mesh.effectInUse, 0);
    vertex->Release();
    pixel->Release();

    // Binding an effect puts backed-up vertices back; the mesh owns the effect.
    EXPECT_FALSE(BindEffectToMesh(&mesh, 1, nullptr));
    BackupMeshVertices(&mesh);
    mesh.vertices[0] ^= 0xFF;
    mesh.verticesChanged = 0;
    destroyed = 0;
    ASSERT_TRUE(BindEffectToMesh(&mesh, 1, new CountedEffect));
    EXPECT_EQ(mesh.effectPrepared, 1);
    EXPECT_EQ(mesh.verticesChanged, 1);
    EXPECT_EQ(std::memcmp(mesh.vertices, mesh.backupVertices, mesh.vertexSize), 0);
    ClearMeshTextureStage(&mesh); // detaches the effect as well
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(mesh.textures[0].colourOperation, D3DTOP_SELECTARG1);
}
