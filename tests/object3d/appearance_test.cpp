#include "core/win32.h"

#include "object3d/appearance.h"
#include "image/image.h"
#include "object3d/mesh_convert.h"
#include "object3d/positioning.h"
#include "object3d/primitive_makers.h"
#include "object3d/vertex_editing.h"
#include "object3d/vertex_layout.h"
#include "support/object_scene.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kBlue = 0xFF0000FF;
constexpr std::uint32_t kBlack = 0xFF000000;

ObjectRecord* Object(std::int32_t n) {
    return g_Object3D.objects[n];
}

D3DXVECTOR3 Normal(MeshRecord* mesh, std::int32_t v) {
    return {GetVertexNormalX(mesh, v), GetVertexNormalY(mesh, v), GetVertexNormalZ(mesh, v)};
}

void ExpectNormal(MeshRecord* mesh, std::int32_t v, float x, float y, float z) {
    EXPECT_NEAR(GetVertexNormalX(mesh, v), x, 1e-5) << "vertex " << v;
    EXPECT_NEAR(GetVertexNormalY(mesh, v), y, 1e-5) << "vertex " << v;
    EXPECT_NEAR(GetVertexNormalZ(mesh, v), z, 1e-5) << "vertex " << v;
}

// Object n with two limbs, each carrying a box mesh.
void BuildTwoMeshes(std::int32_t n) {
    ASSERT_TRUE(CreateNewObjectWithLimbs(n, "pair", 2));
    FrameRecord* root = Object(n)->rootFrame;
    ASSERT_TRUE(FillBoxMesh(root->mesh, D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1)));
    ASSERT_TRUE(FillBoxMesh(root->child->mesh, D3DXVECTOR3(1, 1, 1), D3DXVECTOR3(2, 2, 2)));
    ASSERT_TRUE(SetupNewObject(n, -1.0f));
}

// Whether a draw since the last Clear was made in wireframe.
bool DrewWireframe(const RecordingDevice& device) {
    for (const RecordedState& s : device.renderStates)
        if (s.type == D3DRS_FILLMODE && s.value == D3DFILL_WIREFRAME) return true;
    return false;
}

// Image n: 4 x 4 pixels of one colour.
void SolidImage(std::int32_t n, std::uint32_t colour) {
    std::vector<std::uint32_t> pixels(16, colour);
    ASSERT_TRUE(MakeImageFromMemblock(n, 4, 4, 32,
                                      reinterpret_cast<const std::uint8_t*>(pixels.data()),
                                      static_cast<std::uint32_t>(pixels.size() * 4)));
}

} // namespace

TEST_F(ObjectTables, SetObjectReadsItsFirstFlagAsSolid) {
    BuildBox(1, 1.0f);
    MeshRecord* mesh = FirstMesh(1);
    SetObject(1, 0, 0, 0);
    EXPECT_EQ(mesh->wireframe, 1);
    EXPECT_EQ(mesh->culling, 0);
    SetObjectWireframe(1, 0);
    EXPECT_EQ(mesh->wireframe, 0);
    SetObjectWireframe(1, 1);
    EXPECT_EQ(mesh->wireframe, 1);
    SetObject(1, 1, 1, 1);
    EXPECT_EQ(mesh->wireframe, 0);
    EXPECT_EQ(mesh->transparency, 1);
    EXPECT_EQ(mesh->culling, 1);

    // The longer forms: light, fog and ambient are on only when 1; the shorter leave them be.
    TextureObject(1, 0);
    SetObject(1, 1, 0, 1, 2, 0, 1, 2);
    EXPECT_EQ(mesh->textures[0].magFilter, static_cast<std::uint32_t>(D3DTEXF_ANISOTROPIC));
    EXPECT_EQ(mesh->lighting, 0);
    EXPECT_EQ(mesh->fog, 1);
    EXPECT_EQ(mesh->ambient, 0);
    SetObject(1, 1, 0, 1, 0, 1);
    EXPECT_EQ(mesh->textures[0].magFilter, static_cast<std::uint32_t>(D3DTEXF_POINT));
    EXPECT_EQ(mesh->lighting, 1);
    EXPECT_EQ(mesh->fog, 1);
    EXPECT_EQ(errors.Last(), 0);
}

TEST_F(ObjectTables, TransparencyModesSetTheAlphaTestAndThePass) {
    BuildBox(1, 1.0f);
    MeshRecord* mesh = FirstMesh(1);
    for (std::int32_t mode : {4, 1, 6, 2, 3, 5, 0}) {
        SetObjectTransparency(1, mode);
        EXPECT_EQ(mesh->alphaReference, mode == 4 || mode == 6 ? 207 : 0) << "mode " << mode;
        EXPECT_EQ(mesh->transparency, mode != 0) << "mode " << mode;
        const bool pass = mode == 2 || mode == 3 || mode == 5 || mode == 6;
        EXPECT_EQ(Object(1)->transparent, pass) << "mode " << mode;
        EXPECT_EQ(Object(1)->specialPass, pass) << "mode " << mode;
    }
    SetObject(1, 1, 5, 0);
    EXPECT_EQ(Object(1)->waterLevel, 1);
}

TEST_F(ObjectTables, InstancesTakeOnlyTheirOwnSettings) {
    BuildBox(1, 1.0f);
    MakeInstance(2, 1);
    MeshRecord* mesh = FirstMesh(1);

    GhostObjectOn(2, 3);
    EXPECT_EQ(Object(2)->ghost, 1);
    EXPECT_EQ(Object(2)->specialPass, 1);
    EXPECT_EQ(mesh->ghost, 0) << "the source's meshes are the source's";
    GhostObjectOff(2); // not for instances: nothing changes, no error
    EXPECT_EQ(Object(2)->ghost, 1);
    EXPECT_EQ(errors.Last(), 0);
    GhostObjectOn(1, 4);
    EXPECT_EQ(mesh->ghost, 1);
    EXPECT_EQ(mesh->ghostMode, 4);
    GhostObjectOn(1);
    EXPECT_EQ(mesh->ghostMode, 4) << "the short form keeps the mode";
    GhostObjectOff(1);
    EXPECT_EQ(mesh->ghost, 0);
    EXPECT_EQ(Object(1)->ghost, 0);

    SetAlphaMappingOn(2, 50);
    EXPECT_EQ(Object(2)->instanceAlpha, 1);
    EXPECT_EQ(Object(2)->instanceColour, 0x7F000000u);
    EXPECT_EQ(Object(2)->transparent, 1);
    EXPECT_EQ(mesh->alphaFactorOn, 0);
    // Beyond 0..100 the alpha stays within its byte.
    SetAlphaMappingOn(2, 250.0f);
    EXPECT_EQ(Object(2)->instanceColour, 0xFF000000u);
    SetAlphaMappingOn(2, -40);
    EXPECT_EQ(Object(2)->instanceColour, 0u);
    SetAlphaMappingOn(1, 50.0f);
    EXPECT_EQ(mesh->alphaFactorOn, 1);
    EXPECT_EQ(mesh->diffuseColour, 0x7F000000u);
    EXPECT_EQ(mesh->transparency, 1);
}

TEST_F(ObjectTables, InstanceDiffuseBecomesItsCustomColour) {
    BuildBox(1, 1.0f);
    MakeInstance(2, 1);
    SetObjectDiffuse(2, 0x80112233);
    ASSERT_NE(Object(2)->customBufferB, nullptr);
    EXPECT_EQ(Object(2)->customSize, 4u);
    std::uint32_t kept = 0;
    std::memcpy(&kept, Object(2)->customBufferB, 4);
    EXPECT_EQ(kept, 0x80112233u);
    EXPECT_EQ(FirstMesh(1)->material.Diffuse.r, 1.0f) << "the source keeps its material";

    // Custom data too short for a colour is replaced, not written past.
    delete[] Object(2)->customBufferB;
    Object(2)->customBufferB = new std::uint8_t[2]{7, 7};
    Object(2)->customSize = 2;
    SetObjectDiffuse(2, 0x01020304);
    EXPECT_EQ(Object(2)->customSize, 4u);
    std::memcpy(&kept, Object(2)->customBufferB, 4);
    EXPECT_EQ(kept, 0x01020304u);

    SetObjectDiffuse(1, 0xFF336699);
    EXPECT_NEAR(FirstMesh(1)->material.Diffuse.g, 0x66 / 255.0f, 1e-6);
    EXPECT_EQ(FirstMesh(1)->materialOn, 1);
}

TEST_F(ObjectTables, SmoothingIsHeldBetweenNoneAndAll) {
    BuildBox(1, 1.0f);
    MeshRecord* mesh = FirstMesh(1);
    // Corner (-1, 1, -1) is vertices 0 (front), 11 (top) and 20 (left); 0 and 20 agree, 11
    // differs from them by 1.2, beyond the threshold of 100 percent.
    SetVertexNormal(mesh, 0, 0.6f, 0.6f, 0.6f);
    SetVertexNormal(mesh, 11, -0.6f, -0.6f, -0.6f);
    SetVertexNormal(mesh, 20, 0.6f, 0.6f, 0.6f);

    SetObjectSmoothing(1, -5); // as 0: differing normals stay apart
    ExpectNormal(mesh, 1, 0, 0, -1);
    ExpectNormal(mesh, 11, -0.6f, -0.6f, -0.6f);

    SetObjectSmoothing(1, 150); // as 100
    const float third = 1.0f / 3.0f;
    ExpectNormal(mesh, 1, third, third, -third); // front, top and right meet at (1, 1, -1)
    ExpectNormal(mesh, 0, 0.6f, 0.6f, 0.6f);
    ExpectNormal(mesh, 11, -0.6f, -0.6f, -0.6f);
    const D3DXVECTOR3 kept = Normal(mesh, 11);
    SetObjectSmoothing(1, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(Normal(mesh, 11), kept);
}

TEST_F(ObjectTables, LodBiasReachesOneMeshOrAll) {
    BuildTwoMeshes(1);
    ASSERT_EQ(ListedMeshCount(Object(1)), 2);
    MeshRecord* first = Object(1)->meshes[0];
    MeshRecord* second = Object(1)->meshes[1];
    SetObjectLodBiasForMesh(1, 2, 1.5f); // the mesh count: no such mesh
    SetObjectLodBiasForMesh(1, -2, 1.5f);
    EXPECT_EQ(first->mipmapBias, 0u);
    EXPECT_EQ(second->mipmapBias, 0u);
    SetObjectLodBiasForMesh(1, 1, 1.5f);
    EXPECT_EQ(first->mipmapBias, 0u);
    EXPECT_EQ(second->mipmapBias, FloatBits(1.5f));
    SetObjectLodBiasForMesh(1, -1, -0.5f);
    EXPECT_EQ(first->mipmapBias, FloatBits(-0.5f));
    EXPECT_EQ(second->mipmapBias, FloatBits(-0.5f));
}

TEST_F(ObjectTables, CommandsCheckTheObjectFirst) {
    BuildBox(1, 1.0f);
    MakeInstance(2, 1);
    EXPECT_FALSE(TextureObject(3, 0));
    EXPECT_EQ(errors.Last(), 7008);
    errors.Clear();
    FadeObject(0, 50);
    EXPECT_EQ(errors.Last(), 7006);
    errors.Clear();
    ColorObject(2, kRed); // an instance fails silently
    SetObjectTransparency(2, 4);
    SetObjectLodBiasForMesh(2, 0, 1.0f);
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_EQ(FirstMesh(1)->materialOn, 0);
    EXPECT_EQ(FirstMesh(1)->alphaReference, 0);
}

TEST_F(ObjectTables, TexturesAndMappingFillTheirStages) {
    MakeObjectBox(1, 2.0f); // made untextured through TextureObject
    EXPECT_EQ(g_Object3D.core->loadProgress, 12002);
    MeshRecord* mesh = FirstMesh(1);
    ASSERT_GE(mesh->textureCount, 1);
    EXPECT_EQ(mesh->textures[0].colourOperation, static_cast<std::uint32_t>(D3DTOP_SELECTARG1));

    struct Case {
        void (*apply)();
        std::int32_t stage;
        std::uint32_t operation, mode;
    };
    const Case cases[] = {
        {[] { SetDetailMappingOn(1, 5); }, 1, D3DTOP_MODULATE, 3},
        {[] { SetSphereMappingOn(1, 5); }, 1, D3DTOP_MODULATE, 1},
        {[] { SetAdditiveMappingOn(1, 5); }, 1, D3DTOP_ADD, 3},
        {[] { SetLightMappingOn(1, 2, 5); }, 2, D3DTOP_MODULATE, 0},
        {[] { SetBlendMappingOn(1, 5, D3DTOP_SUBTRACT); }, 1, D3DTOP_SUBTRACT, 3},
        {[] { SetBlendMappingOn(1, 3, 5, 11, D3DTOP_ADDSIGNED); }, 3, D3DTOP_ADDSIGNED, 11},
    };
    for (const Case& c : cases) {
        c.apply();
        ASSERT_GT(mesh->textureCount, c.stage);
        const TextureRecord& slot = mesh->textures[c.stage];
        EXPECT_EQ(slot.imageNumber, 5) << "stage " << c.stage;
        EXPECT_EQ(slot.stage, static_cast<std::uint32_t>(c.stage));
        EXPECT_EQ(slot.colourOperation, c.operation) << "stage " << c.stage;
        EXPECT_EQ(slot.coordinateMode, c.mode) << "stage " << c.stage;
    }

    TextureObjectStage(1, 2, 0, 1);
    EXPECT_EQ(g_Object3D.core->loadProgress, 11023);
    EXPECT_EQ(mesh->textures[2].imageNumber, 0);
    TextureObjectStage(7, 2, 0); // no object: stops after the first word
    EXPECT_EQ(g_Object3D.core->loadProgress, 11001);
    EXPECT_EQ(errors.Last(), 7008);
}

// The device reads its tables by the colour operation when it draws: an operation outside them
// (one past the last, 0, the int's ends) is refused and the stage keeps what it had.
TEST_F(ObjectTables, BlendMappingRefusesOperationsTheDeviceLacks) {
    MakeObjectBox(1, 2.0f);
    SetBlendMappingOn(1, 5, D3DTOP_LERP);
    MeshRecord* mesh = FirstMesh(1);
    ASSERT_GT(mesh->textureCount, 1);
    for (std::int32_t operation : {D3DTOP_LERP + 1, 0, -1, INT_MAX, INT_MIN}) {
        errors.Clear();
        SetBlendMappingOn(1, 6, operation);
        EXPECT_EQ(errors.Last(), 7801) << operation;
        SetBlendMappingOn(1, 1, 6, 3, operation);
        EXPECT_EQ(errors.Last(), 7801) << operation;
        EXPECT_EQ(mesh->textures[1].colourOperation, static_cast<std::uint32_t>(D3DTOP_LERP));
        EXPECT_EQ(mesh->textures[1].imageNumber, 5) << operation;
    }
    errors.Clear();
    SetBlendMappingOn(9, 6, INT_MAX); // the object's check comes first
    EXPECT_EQ(errors.Last(), 7008);
}

TEST_F(ObjectTables, ScrolledCoordinatesSurviveARestore) {
    BuildBox(1, 1.0f);
    MeshRecord* mesh = FirstMesh(1);
    BackupMeshVertices(mesh);
    ScrollObjectTexture(1, 0.25f, 0.5f);
    EXPECT_EQ(GetVertexU(mesh, 3), 0.25f);
    EXPECT_EQ(GetVertexV(mesh, 3), 0.5f);
    ScaleObjectTexture(1, 0, 2.0f, 4.0f);
    ScaleObjectTexture(1, 1, 9.0f, 9.0f); // the box has one texture set
    RestoreAllMeshVertices(Object(1));
    EXPECT_EQ(GetVertexU(mesh, 3), 0.5f);
    EXPECT_EQ(GetVertexV(mesh, 3), 2.0f);
}

TEST_F(ObjectScene, NormalsComputedAgainSurviveARestore) {
    BuildBox(1, 1.0f);
    MeshRecord* mesh = FirstMesh(1);
    SetVertexNormal(mesh, 0, 1, 0, 0);
    BackupMeshVertices(mesh);
    SetObjectNormals(1);
    ExpectNormal(mesh, 0, 0, 0, -1);
    SetVertexNormal(mesh, 0, 1, 0, 0);
    RestoreAllMeshVertices(Object(1));
    ExpectNormal(mesh, 0, 0, 0, -1);
}

TEST_F(ObjectScene, WireframeFromEitherCommand) {
    BuildBox(1, 2.0f);
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));
    DeviceRecording recording;
    SetObject(1, 0, 0, 0);
    Sync();
    EXPECT_TRUE(DrewWireframe(recording.device));
    SetObject(1, 1, 0, 0);
    recording.device.Clear();
    Sync();
    EXPECT_FALSE(DrewWireframe(recording.device));
    SetObjectWireframe(1, 1);
    recording.device.Clear();
    Sync();
    EXPECT_TRUE(DrewWireframe(recording.device));
}

TEST_F(ObjectScene, ColouredFadedAndGhostedBoxes) {
    BuildBox(1, 2.0f);
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));
    ColorObject(1, kRed);
    const std::uint32_t red = SyncAndReadCentre(kBlack);
    EXPECT_GT(Red(red), 100);
    EXPECT_LT(Green(red), Red(red) / 2);
    EXPECT_LT(Blue(red), Red(red) / 2);

    FadeObject(1, 50);
    EXPECT_NEAR(Red(SyncAndReadCentre(kBlack)), Red(red) / 2, 3);

    // Blend mode 2 adds the colour, times itself, to what is behind.
    ColorObject(1, kRed);
    GhostObjectOn(1, 2);
    const std::uint32_t ghost = SyncAndReadCentre(kBlue);
    EXPECT_EQ(Blue(ghost), 255);
    EXPECT_NEAR(Red(ghost), Red(red) * Red(red) / 255, 4);
    GhostObjectOff(1);
    EXPECT_NEAR(Red(SyncAndReadCentre(kBlue)), Red(red), 3);
}

TEST_F(ObjectScene, CubeMappingReflectsTheFaceImages) {
    const std::uint32_t faces[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF,
                                    0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
    for (std::int32_t i = 0; i < 6; ++i)
        SolidImage(i + 1, faces[i]);
    MakeObjectPlane(1, 10, 10);
    ASSERT_TRUE(PositionObject(1, 0, 0, 30));
    SetObjectLight(1, 0); // white, so that the reflection shows as it is
    SetCubeMappingOn(1, 1, 2, 3, 4, 5, 6);
    ASSERT_GE(FirstMesh(1)->textureCount, 2);
    ASSERT_NE(FirstMesh(1)->textures[1].overrideTexture, nullptr);
    EXPECT_EQ(SyncAndReadCentre(kBlack), faces[5]); // straight back: -z
    // Turned 45 degrees further, the plane sends the view off along -x.
    ASSERT_TRUE(YRotateObject(1, 225));
    EXPECT_EQ(SyncAndReadCentre(kBlack), faces[1]);

    // Images that make no cube change nothing.
    BuildBox(2, 1.0f);
    SetCubeMappingOn(2, 40, 41, 42, 43, 44, 45);
    EXPECT_TRUE(FirstMesh(2)->textureCount < 2 || !FirstMesh(2)->textures[1].overrideTexture);
}

TEST_F(ObjectScene, NewFormatsAndShadingsArePlacedInTheBuffersAgain) {
    BuildBox(1, 1.0f);
    BuildBox(2, 1.0f);
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));
    ASSERT_TRUE(PositionObject(2, 3, 0, 10));
    Sync();
    MeshRecord* plain = FirstMesh(1);
    BackupMeshVertices(plain);
    ConvertObjectFVF(1, D3DFVF_XYZ | D3DFVF_DIFFUSE);
    EXPECT_EQ(plain->fvf, static_cast<std::uint32_t>(D3DFVF_XYZ | D3DFVF_DIFFUSE));
    EXPECT_EQ(plain->backupVertices, nullptr);
    ASSERT_NE(plain->drawItem, nullptr);
    EXPECT_EQ(plain->drawItem->stride, 16u);

    MeshRecord* shaded = FirstMesh(2);
    SetRainbowShadingOn(2, 0);
    EXPECT_NE(shaded->effect, nullptr);
    ASSERT_NE(shaded->drawItem, nullptr);
    EXPECT_EQ(shaded->drawItem->stride, shaded->vertexSize);
    EXPECT_NE(shaded->vertexSize, 32u) << "the shading has its own vertex format";
    Sync();
}
