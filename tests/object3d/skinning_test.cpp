#include "core/win32.h"

#include "support/object_scene.h"
#include "object3d/skinning.h"
#include "object3d/vertex_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct PointNormal {
    float x, y, z, nx, ny, nz;
};

MeshRecord* PointMesh(const std::vector<PointNormal>& points) {
    auto* mesh = new MeshRecord;
    EXPECT_TRUE(SetupMeshFVFData(mesh, D3DFVF_XYZ | D3DFVF_NORMAL,
                                 static_cast<std::int32_t>(points.size()), 0));
    std::memcpy(mesh->vertices, points.data(), points.size() * sizeof(PointNormal));
    return mesh;
}

const PointNormal& VertexOf(const MeshRecord* mesh, int v) {
    return reinterpret_cast<const PointNormal*>(mesh->vertices)[v];
}

// One bone per entry of influences, each (vertex, weight) pair an influence.
void GiveBones(MeshRecord* mesh, const std::vector<std::vector<std::pair<int, float>>>& bones) {
    mesh->boneCount = static_cast<std::int32_t>(bones.size());
    mesh->bones = new BoneRecord[bones.size()];
    for (std::size_t b = 0; b < bones.size(); ++b) {
        BoneRecord& bone = mesh->bones[b];
        bone.offsetMatrix = kIdentityMatrix;
        bone.influenceCount = static_cast<std::uint32_t>(bones[b].size());
        bone.vertices = new std::uint32_t[bones[b].size()];
        bone.weights = new float[bones[b].size()];
        for (std::size_t j = 0; j < bones[b].size(); ++j) {
            bone.vertices[j] = static_cast<std::uint32_t>(bones[b][j].first);
            bone.weights[j] = bones[b][j].second;
        }
    }
    mesh->boneMatrices = new D3DXMATRIX*[bones.size()]();
    mesh->boneFrames = new FrameRecord*[bones.size()]();
}

} // namespace

TEST(Skinning, BonesMoveTheirVerticesOnlyWhenTheFrameChanges) {
    ObjectRecord object;
    FrameRecord frame, bone;
    frame.mesh = PointMesh({{1, 0, 0, 0, 0, 1}, {0, 1, 0, 0, 1, 0}});
    // The bone names vertex 0 and a vertex the mesh does not have.
    GiveBones(frame.mesh, {{{0, 1.0f}, {99, 1.0f}}});
    D3DXMATRIX turn;
    D3DXMatrixRotationY(&turn, D3DX_PI / 2);
    bone.combinedMatrix = turn;
    bone.combinedMatrix._41 = 5;
    frame.mesh->boneMatrices[0] = &bone.combinedMatrix;

    object.currentFrame = 1;
    ASSERT_TRUE(UpdateFrameMesh(&object, &frame));
    EXPECT_NEAR(VertexOf(frame.mesh, 0).x, 5, 1e-5);
    EXPECT_NEAR(VertexOf(frame.mesh, 0).z, -1, 1e-5);
    EXPECT_NEAR(VertexOf(frame.mesh, 0).nx, 1, 1e-5); // the normal turns, without the move
    EXPECT_NEAR(VertexOf(frame.mesh, 1).y, 1, 1e-6);  // no bone: left as it was
    EXPECT_TRUE(frame.mesh->verticesChanged);

    // The same frame again: nothing is rewritten, even though the bone has moved since.
    object.lastUpdatedFrame = object.currentFrame;
    bone.combinedMatrix._41 = 50;
    frame.mesh->verticesChanged = 0;
    UpdateFrameMesh(&object, &frame);
    EXPECT_NEAR(VertexOf(frame.mesh, 0).x, 5, 1e-5);
    EXPECT_FALSE(frame.mesh->verticesChanged);
    object.forceVertexUpdate = 1;
    UpdateFrameMesh(&object, &frame);
    EXPECT_NEAR(VertexOf(frame.mesh, 0).x, 50, 1e-4);
    // Skinning starts from the backup every time, not from the last pose.
    EXPECT_NEAR(VertexOf(frame.mesh, 0).z, -1, 1e-5);

    // The bone's offset comes first, the frame's matrix after it: the offset's quarter turn about
    // x and its move along x are themselves turned about y by the frame.
    D3DXMATRIX offsetTurn, offsetMove;
    D3DXMatrixRotationX(&offsetTurn, D3DX_PI / 2);
    D3DXMatrixTranslation(&offsetMove, 3, 0, 0);
    frame.mesh->bones[0].offsetMatrix = offsetTurn * offsetMove;
    bone.combinedMatrix._41 = 5;
    UpdateFrameMesh(&object, &frame);
    EXPECT_NEAR(VertexOf(frame.mesh, 0).x, 5, 1e-5);
    EXPECT_NEAR(VertexOf(frame.mesh, 0).y, 0, 1e-5);
    EXPECT_NEAR(VertexOf(frame.mesh, 0).z, -4, 1e-5);
    EXPECT_NEAR(VertexOf(frame.mesh, 0).ny, -1, 1e-5);
}

TEST(Skinning, VertexKeyframesInterpolateBetweenNeighbours) {
    ObjectRecord object;
    FrameRecord frame;
    frame.mesh = PointMesh({{0, 0, 0, 0, 0, 0}});
    frame.mesh->keyFrameCount = 4;
    frame.mesh->keyFrames = new FrameRecord[4];
    for (int k = 0; k < 4; ++k) {
        const float x = 10.0f * static_cast<float>(k);
        frame.mesh->keyFrames[k].mesh = PointMesh({{x, 0, 2 * x, 0, 0, 0}});
        D3DXMatrixTranslation(&frame.mesh->keyFrames[k].initialMatrix, 0, x, 0);
    }
    object.currentFrame = 2.25f;
    InterpolateMeshVertexFrames(&object, &frame);
    EXPECT_EQ(VertexOf(frame.mesh, 0).x, 0); // neither animating nor forced

    object.animating = 1;
    InterpolateMeshVertexFrames(&object, &frame);
    EXPECT_NEAR(VertexOf(frame.mesh, 0).x, 22.5f, 1e-5);
    EXPECT_NEAR(VertexOf(frame.mesh, 0).z, 45, 1e-5);
    EXPECT_EQ(frame.mesh->currentKeyFrame, 2);
    EXPECT_EQ(frame.initialMatrix._42, 20);

    // Past the last pair the first key is shown exactly, as for frames before the first.
    for (float at : {3.5f, -1.5f, 1e9f}) {
        object.currentFrame = at;
        InterpolateMeshVertexFrames(&object, &frame);
        EXPECT_EQ(VertexOf(frame.mesh, 0).x, 0) << at;
        EXPECT_EQ(frame.mesh->currentKeyFrame, 0);
    }
}

TEST(Skinning, ShadowVerticesMoveAwayFromTheLight) {
    MeshRecord source;
    MeshRecord* shadow = PointMesh({{0, 0, 0, 0, 0, 1}, {0, 0, 0, 0, 0, -1}, {0, 0, 0, 1, 0, 0}});
    const D3DXVECTOR3 light(0, 0, 10);
    ASSERT_TRUE(UpdateShadowVolume(&light, -1.0f, &source, shadow, nullptr));
    EXPECT_NEAR(VertexOf(shadow, 0).z, -2000, 1e-3); // faces the light: extruded
    EXPECT_NEAR(VertexOf(shadow, 1).z, -0.2f, 1e-6); // faces away: nudged
    EXPECT_NEAR(VertexOf(shadow, 2).z, -0.2f, 1e-6); // edge-on counts as away
    EXPECT_TRUE(shadow->verticesChanged);

    // Each update starts from the backup; the light is taken into the mesh's own space.
    D3DXMATRIX world;
    D3DXMatrixTranslation(&world, 0, 0, 20); // the mesh stands beyond the light
    ASSERT_TRUE(UpdateShadowVolume(&light, 100.0f, &source, shadow, &world));
    EXPECT_NEAR(VertexOf(shadow, 0).z, 0.2f, 1e-6);
    EXPECT_NEAR(VertexOf(shadow, 1).z, 100, 1e-4);
    EXPECT_TRUE(UpdateShadowVolume(&light, 1, nullptr, shadow, nullptr));
    delete shadow;
}

TEST(Skinning, PerVertexMatricesStayWithinTheirTables) {
    ObjectRecord object;
    object.animationSet = new AnimationSetRecord;
    AnimationRecord* a = object.animationSet->animation = new AnimationRecord;
    a->keyed = 0;
    a->bakedFrameCount = 1;
    a->bakedMatricesPerFrame = 1;
    a->bakedFrames = new D3DXMATRIX*[1];
    a->bakedFrames[0] = new D3DXMATRIX[1];
    D3DXMatrixTranslation(&a->bakedFrames[0][0], 0, 7, 0);
    a->bakedIndexCount = 2;
    a->bakedIndices = new std::uint32_t[2]{0, 5}; // the second names a matrix that is not there
    MeshRecord* mesh = PointMesh({{1, 0, 0, 0, 0, 0}, {2, 0, 0, 0, 0, 0}, {3, 0, 0, 0, 0, 0}});
    object.meshCount = 1;
    object.meshes = new MeshRecord* [1] { mesh };
    UpdateVertexMatrixAnimation(&object);
    EXPECT_EQ(VertexOf(mesh, 0).y, 7);
    EXPECT_EQ(VertexOf(mesh, 1).y, 0);
    EXPECT_EQ(VertexOf(mesh, 2).y, 0); // beyond the index table
    object.currentFrame = 1;           // beyond the frame tables
    D3DXMatrixTranslation(&a->bakedFrames[0][0], 0, 9, 0);
    UpdateVertexMatrixAnimation(&object);
    EXPECT_EQ(VertexOf(mesh, 0).y, 7);
}

TEST_F(ObjectScene, BlendWeightsKeepTheFourHeaviestBones) {
    // Position, then four weights and four indices as two four-float texture coordinates.
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE4(0) | D3DFVF_TEXCOORDSIZE4(1);
    ID3DXMesh* dx = nullptr;
    ASSERT_TRUE(
        SUCCEEDED(D3DXCreateMeshFVF(1, 3, D3DXMESH_SYSTEMMEM, fvf, g_Object3D.device, &dx)));
    ASSERT_EQ(dx->GetNumBytesPerVertex(), 44u);
    float* data = nullptr;
    ASSERT_TRUE(SUCCEEDED(dx->LockVertexBuffer(0, reinterpret_cast<void**>(&data))));
    std::fill(data, data + 3 * 11, 7.0f);
    dx->UnlockVertexBuffer();

    MeshRecord mesh;
    GiveBones(
        &mesh,
        {{{0, 0.1f}}, {{0, 0.5f}, {1, 1.0f}}, {{0, 0.05f}, {9, 1.0f}}, {{0, 0.3f}}, {{0, 0.2f}}});
    BuildVertexBlendWeights(&mesh, dx, 12, 28);
    ASSERT_TRUE(SUCCEEDED(dx->LockVertexBuffer(0, reinterpret_cast<void**>(&data))));
    const std::vector<float> first(data, data + 11), second(data + 11, data + 22),
        third(data + 22, data + 33);
    dx->UnlockVertexBuffer();
    dx->Release();
    EXPECT_EQ(first, (std::vector<float>{7, 7, 7, 0.5f, 0.3f, 0.2f, 0.1f, 1, 3, 4, 0}));
    EXPECT_EQ(second, (std::vector<float>{7, 7, 7, 1, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(third, (std::vector<float>{7, 7, 7, 0, 0, 0, 0, 0, 0, 0, 0}));
}
