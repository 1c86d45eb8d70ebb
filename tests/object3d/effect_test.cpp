#include "core/win32.h"

#include "support/fake_effect.h"
#include "support/image_files.h"
#include "support/object_scene.h"
#include "support/temp_folder.h"
#include "object3d/effect.h"
#include "object3d/effect_slots.h"
#include "object3d/mesh_convert.h"
#include "object3d/positioning.h"
#include "object3d/vertex_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

namespace {

FakeParameter Param(const std::string& name, const std::string& semantic,
                    std::vector<FakeParameter> annotations = {}) {
    FakeParameter p;
    p.name = name;
    p.semantic = semantic;
    p.annotations = std::move(annotations);
    return p;
}

FakeParameter Annotation(const std::string& name, const std::string& text) {
    FakeParameter a;
    a.name = name;
    a.type = D3DXPT_STRING;
    a.parameterClass = D3DXPC_OBJECT;
    a.text = text;
    return a;
}

// An effect loaded from a stand-in with these parameters and two passes.
struct LoadedEffect {
    FakeEffect* fake = new FakeEffect;
    std::unique_ptr<EffectBase> effect = std::make_unique<EffectBase>();

    explicit LoadedEffect(std::vector<FakeParameter> parameters, bool loadTextures = true,
                          int passes = 2) {
        fake->parameters = std::move(parameters);
        fake->techniques = {FakeTechnique{std::vector<std::vector<DWORD>>(passes)}};
        fake->AddRef(); // kept for reading after the effect lets go
        HandOutFakeEffect(fake);
        SetEffectCreator(CreateFakeEffect);
        loaded = effect->Load("test.fx", false, loadTextures);
        SetEffectCreator(nullptr);
    }
    ~LoadedEffect() {
        effect.reset();
        fake->Release();
    }
    bool loaded = false;
};

std::string ReadBack(const std::string& path) {
    return TempFolder::Read(path);
}

} // namespace

TEST(EffectShaderText, DeclarationsAreAddedOnlyWhereNoneExist) {
    TempFolder folder;
    const std::string out = folder.File("out.fx");
    const std::string declared = "vs.1.1\ndcl_position v0\nTarget[0] = x;\nmov oPos, v0\n";
    ASSERT_TRUE(ScanShaderInputDeclaration(folder.Write("a.fx", declared).c_str(), out.c_str()));
    EXPECT_EQ(ReadBack(out), "vs.1.1\ndcl_position v0\n//rget[0] = x;\nmov oPos, v0\n");

    const std::string bare = "VS.1.1 mov oPos, v0\nvs.2.0 mov oPos, v1";
    ASSERT_TRUE(ScanShaderInputDeclaration(folder.Write("b.fx", bare).c_str(), out.c_str()));
    const std::string declarations = " dcl_position v0 dcl_normal v3 dcl_color v6 dcl_texcoord v7";
    EXPECT_EQ(ReadBack(out),
              "VS.1.1" + declarations + " mov oPos, v0\nvs.2.0" + declarations + " mov oPos, v1");
    // A version token cut off by the end of the text takes what there is.
    ASSERT_TRUE(ScanShaderInputDeclaration(folder.Write("c.fx", "mov vs.").c_str(), out.c_str()));
    EXPECT_EQ(ReadBack(out), "mov vs." + declarations);
    EXPECT_FALSE(ScanShaderInputDeclaration(folder.File("missing.fx").c_str(), out.c_str()));
}

TEST_F(ObjectScene, SemanticsBindByNameAndTheLaterParameterWins) {
    FakeParameter pointLight = Param("lamp", "", {Annotation("Object", "pointlight")});
    pointLight.parameterClass = D3DXPC_VECTOR;
    FakeParameter texture = Param("tex", "");
    texture.parameterClass = D3DXPC_OBJECT; // objects bind no semantic
    texture.semantic = "world";
    LoadedEffect loaded({Param("wvp", "WORLDVIEWPROJECTION"), Param("inverse", "WorldInverse"),
                         Param("it", "worldit"), pointLight, texture, Param("x", "xfile")});
    ASSERT_TRUE(loaded.loaded);
    EffectBase& e = *loaded.effect;
    const D3DXHANDLE later = loaded.fake->GetParameter(nullptr, 2);
    EXPECT_EQ(e.semantics[kSemanticWorldInverse], later);
    EXPECT_EQ(e.semantics[kSemanticWorld], nullptr);
    EXPECT_TRUE(e.BindSemanticsDefault("XFile", nullptr));
    EXPECT_TRUE(e.BindSemanticsDefault("pointlight", nullptr)); // a query: bound
    EXPECT_FALSE(e.BindSemanticsDefault("sintime", nullptr));
    EXPECT_TRUE(e.BindSemantics(nullptr, later, true));
    EXPECT_EQ(e.semantics[kSemanticWorldInverse], nullptr);

    D3DXMATRIX world, view, projection;
    D3DXMatrixTranslation(&world, 1, 2, 3);
    D3DXMatrixRotationY(&view, 0.5f);
    D3DXMatrixPerspectiveFovLH(&projection, 1.0f, 1.33f, 1, 100);
    g_Object3D.device->SetTransform(D3DTS_WORLD, &world);
    g_Object3D.device->SetTransform(D3DTS_VIEW, &view);
    g_Object3D.device->SetTransform(D3DTS_PROJECTION, &projection);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_POINT;
    light.Position = {10, 0, 0};
    g_Object3D.device->SetLight(0, &light);
    MeshRecord mesh;
    ASSERT_EQ(e.Apply(&mesh), 2u);
    e.End();
    const D3DXMATRIX expected = world * view * projection;
    EXPECT_EQ(loaded.fake->matrices["wvp"], expected);
    EXPECT_EQ(loaded.fake->vectors["lamp"], D3DXVECTOR4(10, 0, 0, 1));
}

TEST_F(ObjectScene, TransposedMatricesAndLightVectors) {
    FakeParameter position = Param("position", "UIPosition");
    FakeParameter direction = Param("direction", "UIDirectional");
    position.parameterClass = direction.parameterClass = D3DXPC_VECTOR;
    LoadedEffect loaded(
        {Param("world", "world"), Param("worldT", "WorldTranspose"), position, direction});
    ASSERT_TRUE(loaded.loaded);
    loaded.effect->transpose = 1;
    D3DXMATRIX world;
    D3DXMatrixTranslation(&world, 5, 6, 7);
    g_Object3D.device->SetTransform(D3DTS_WORLD, &world);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Direction = {0, -1, 0};
    g_Object3D.device->SetLight(0, &light);
    MeshRecord mesh;
    loaded.effect->Apply(&mesh);
    loaded.effect->End();
    D3DXMATRIX transposed;
    D3DXMatrixTranspose(&transposed, &world);
    EXPECT_EQ(loaded.fake->matrices["world"], transposed);
    EXPECT_EQ(loaded.fake->matrices["worldT"], world);
    EXPECT_EQ(loaded.fake->vectors["position"], D3DXVECTOR4(0, 1000, 0, 1));
    EXPECT_EQ(loaded.fake->vectors["direction"], D3DXVECTOR4(0, -1, 0, 0));

    // A point light's direction runs from the light to the object's origin.
    light.Type = D3DLIGHT_POINT;
    light.Position = {5, 6, 17};
    g_Object3D.device->SetLight(0, &light);
    loaded.effect->Apply(&mesh);
    loaded.effect->End();
    const D3DXVECTOR4 toObject = loaded.fake->vectors["direction"]; // (0, 0, -10, 1), normalised
    EXPECT_NEAR(toObject.z, -10 / std::sqrt(101.0f), 1e-5);
    EXPECT_NEAR(toObject.w, 1 / std::sqrt(101.0f), 1e-5);
}

TEST_F(ObjectScene, DeferredTexturesTakeTheMeshesSlots) {
    auto textureParam = [](const std::string& name) {
        FakeParameter p = Param(name, "");
        p.parameterClass = D3DXPC_OBJECT;
        p.type = D3DXPT_TEXTURE;
        p.annotations = {Annotation("ResourceName", name + ".bmp")};
        return p;
    };
    LoadedEffect two({textureParam("first"), textureParam("second")}, false);
    ASSERT_TRUE(two.loaded);
    EXPECT_EQ(two.effect->deferredCount, 2u);
    MeshRecord mesh;
    mesh.textureCount = 1;
    mesh.textures = new TextureRecord[1];
    mesh.textures[0].texture = reinterpret_cast<IDirect3DTexture9*>(0x1234);
    two.effect->Apply(&mesh);
    two.effect->End();
    EXPECT_EQ(two.fake->textures["first"], reinterpret_cast<IDirect3DBaseTexture9*>(0x1234));
    EXPECT_EQ(two.fake->textures.count("second"), 0u); // the mesh has no second slot
    mesh.textures[0].texture = nullptr;

    std::vector<FakeParameter> nine;
    for (int i = 0; i < 9; ++i)
        nine.push_back(textureParam("t" + std::to_string(i)));
    LoadedEffect many(std::move(nine), false);
    ASSERT_TRUE(many.loaded);
    BuildBox(1, 1);
    MeshRecord* box = FirstMesh(1);
    EXPECT_FALSE(SetMeshEffect(box, many.effect.get(), false));
    EXPECT_EQ(box->effect, nullptr);
    EXPECT_TRUE(SetMeshEffect(box, nullptr, false));
}

TEST_F(ObjectScene, VolumeAndCubeFilesAreCheckedAndChargedBeforeTheyLoad) {
    TempFolder folder;
    const auto tile = [](int x, int y) { return x == y ? 0xFF102030u : 0xFFA0B0C0u; };
    const std::string dds = DdsBytes(8, 8, tile);
    std::string mips = dds;
    mips[28] = '\xF0'; // a mip count no picture of its size has
    auto textureParam = [](const std::string& name, const std::string& file,
                           const std::string& type, INT width) {
        FakeParameter p = Param(name, "");
        p.parameterClass = D3DXPC_OBJECT;
        p.type = D3DXPT_TEXTURE;
        FakeParameter asked = Annotation("Width", "");
        asked.type = D3DXPT_INT;
        asked.number = width;
        p.annotations = {Annotation("ResourceName", file), Annotation("ResourceType", type), asked};
        return p;
    };
    // Six faces, and a volume two slices deep, of the 8 x 8 picture.
    const std::string header = dds.substr(0, 128), face = dds.substr(128);
    std::string cubeHeader = header, volumeHeader = header;
    cubeHeader.replace(112, 4, std::string("\0\xFE\0\0", 4));
    volumeHeader.replace(112, 4, std::string("\0\0\x20\0", 4));
    volumeHeader.replace(24, 4, std::string("\2\0\0\0", 4));
    volumeHeader[10] |= '\x80';
    std::string faces;
    for (int i = 0; i < 6; ++i)
        faces += face;
    const std::string good = folder.Write("good.dds", cubeHeader + faces);
    const std::string goodVolume = folder.Write("volume.dds", volumeHeader + face + face);
    LoadedEffect loaded(
        {textureParam("good", good, "cube", -1), textureParam("goodvol", goodVolume, "volume", -1),
         textureParam("mips", folder.Write("mips.dds", mips), "cube", -1),
         textureParam("claims", folder.Write("claims.png", BlankPngBytes(8192, 8192)), "volume",
                      -1),
         textureParam("asked", good, "cube", 16384)});
    ASSERT_TRUE(loaded.loaded);
    const std::map<std::string, IDirect3DBaseTexture9*>& made = loaded.fake->textures;
    EXPECT_EQ(made.count("mips"), 0u);
    EXPECT_EQ(made.count("claims"), 0u);
    EXPECT_EQ(made.count("asked"), 0u) << "six faces of 16384 x 16384 from a small file";
    EXPECT_EQ(made.count("good"), 1u);
    EXPECT_EQ(made.count("goodvol"), 1u);
}

TEST_F(ObjectScene, MeshesGainTheElementsTheirEffectReads) {
    auto* mesh = new MeshRecord;
    // A flat quad facing -z, u growing along +x.
    ASSERT_TRUE(SetupMeshFVFData(mesh, D3DFVF_XYZ | D3DFVF_TEX1, 4, 6));
    const float quad[4][5] = {{0, 0, 0, 0, 1}, {0, 1, 0, 0, 0}, {1, 1, 0, 1, 0}, {1, 0, 0, 1, 1}};
    std::memcpy(mesh->vertices, quad, sizeof quad);
    const std::uint16_t indices[6] = {0, 1, 2, 0, 2, 3};
    std::memcpy(mesh->indices, indices, sizeof indices);
    mesh->drawVertexCount = 4;
    mesh->drawPrimitiveCount = 2;
    mesh->boneCount = 1;
    mesh->bones = new BoneRecord[1];
    ExtendMeshDeclaration(mesh, true, true, true, true);
    std::unique_ptr<MeshRecord> owned(mesh);
    ASSERT_EQ(mesh->fvf, 0u);
    const D3DVERTEXELEMENT9 expected[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                          {0, 12, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                          {0, 20, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
                                          {0, 32, D3DDECLTYPE_FLOAT1, 0, D3DDECLUSAGE_COLOR, 0},
                                          {0, 36, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_TANGENT, 0},
                                          {0, 48, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_BINORMAL, 0},
                                          {0, 60, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_TEXCOORD, 1},
                                          {0, 76, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_TEXCOORD, 2},
                                          D3DDECL_END()};
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(mesh->declaration[i].Offset, expected[i].Offset) << i;
        EXPECT_EQ(mesh->declaration[i].Usage, expected[i].Usage) << i;
        EXPECT_EQ(mesh->declaration[i].UsageIndex, expected[i].UsageIndex) << i;
    }
    EXPECT_EQ(mesh->vertexSize, 92u);
    EXPECT_TRUE(mesh->effectSkinsMesh);
    const float* tangent = reinterpret_cast<const float*>(mesh->vertices + 36);
    EXPECT_NEAR(tangent[0], 1.0f, 1e-5);
    EXPECT_NEAR(tangent[1], 0.0f, 1e-5);
}

TEST_F(ObjectScene, AnEffectDrawsEachPassWithoutFog) {
    BuildBox(1, 1);
    PositionObject(1, 0, 0, 5);
    MeshRecord* mesh = FirstMesh(1);
    for (int passes : {2, 0}) {
        LoadedEffect loaded({Param("wvp", "worldviewprojection")}, true, passes);
        ASSERT_TRUE(loaded.loaded);
        ASSERT_TRUE(SetMeshEffect(mesh, loaded.effect.get(), false));
        mesh->sharedEffect = 1; // the test's effect, not the mesh's
        g_Object3D.device->SetRenderState(D3DRS_FOGENABLE, TRUE);
        g_CoreData->fogEnabled = 1;
        Sync();
        DeviceRecording recording;
        g_Object3D.manager.PrepareFrame();
        recording.device.Clear();
        loaded.fake->calls.clear();
        g_Object3D.manager.DrawObject(g_Object3D.objects[1]);
        g_CoreData->fogEnabled = 0;
        const std::vector<std::string> expected =
            passes ? std::vector<std::string>{"Begin",       "BeginPass 0", "EndPass",
                                              "BeginPass 1", "EndPass",     "End"}
                   : std::vector<std::string>{"Begin", "End"};
        EXPECT_EQ(loaded.fake->calls, expected) << passes;
        EXPECT_EQ(recording.device.draws.size(), static_cast<std::size_t>(passes));
        if (passes) {
            // Off for the passes, on again after them.
            const auto& states = recording.device.renderStates;
            EXPECT_TRUE(std::any_of(states.begin(), states.end(), [](const RecordedState& r) {
                return r.type == D3DRS_FOGENABLE && r.value == FALSE;
            }));
            EXPECT_EQ(recording.device.LastRenderState(D3DRS_FOGENABLE, 0), TRUE);
        }
        mesh->effect = nullptr;
        mesh->sharedEffect = 0;
        mesh->effectInUse = 0;
    }
}

TEST_F(ObjectScene, FileEffectsFailCleanlyWithoutACompiler) {
    TempFolder folder;
    const std::string fx = folder.Write(
        "plain.fx", "float4x4 wvp : WorldViewProjection;\n"
                    "float4 Main(float4 p : POSITION) : POSITION { return mul(p, wvp); }\n"
                    "technique T { pass P { VertexShader = compile vs_2_0 Main(); } }\n");
    EffectBase effect;
    const bool compiled = effect.Load(fx.c_str(), false, false);
    if (!RunningUnderWine()) {
        EXPECT_TRUE(compiled);
        EXPECT_NE(effect.semantics[kSemanticWorldViewProjection], nullptr);
    } else {
        EXPECT_FALSE(compiled);
        EXPECT_EQ(effect.effect, nullptr);
    }
    EXPECT_FALSE(effect.Load(std::string(300, 'a').c_str(), false, false));

    // The stand-in's refusal leaves its text as the last compile error; a shared effect is found
    // under its name in any letter case.
    SetEffectCreator(CreateFakeEffect);
    HandOutFakeEffect(nullptr);
    EXPECT_FALSE(effect.Load("missing.fx", false, false));
    SetEffectCreator(nullptr);
    EXPECT_EQ(GetLastEffectError(), "no such effect");

    LoadedEffect shared({});
    ASSERT_TRUE(shared.loaded);
    EffectHolder holder(shared.effect.get());
    g_Object3D.effects[5] = &holder;
    BuildBox(1, 1);
    MeshRecord* mesh = FirstMesh(1);
    std::strcpy(mesh->effectFileName, "TEST.FX");
    EXPECT_TRUE(LoadOrShareEffect(mesh, false));
    EXPECT_EQ(mesh->effect, shared.effect.get());
    EXPECT_TRUE(mesh->sharedEffect);
    g_Object3D.effects[5] = nullptr;
    holder.effect = nullptr; // the test's own
}
