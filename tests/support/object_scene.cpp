#include "core/win32.h"

#include "support/object_scene.h"
#include "camera/camera.h"
#include "core/frame_loop.h"
#include "draw2d/draw2d.h"
#include "object3d/positioning.h"
#include "object3d/vertex_layout.h"

#include <algorithm>
#include <new>
#include <vector>

namespace {

struct Vertex {
    float x, y, z, nx, ny, nz, u, v;
};
constexpr std::uint32_t kBoxFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

// The four corners of each face of the box from low to high, wound clockwise seen from outside,
// with the face's normal.
std::vector<Vertex> BoxCorners(const D3DXVECTOR3& low, const D3DXVECTOR3& high) {
    const float x1 = low.x, y1 = low.y, z1 = low.z, x2 = high.x, y2 = high.y, z2 = high.z;
    const float n[6][3] = {{0, 0, -1}, {0, 0, 1}, {0, 1, 0}, {0, -1, 0}, {1, 0, 0}, {-1, 0, 0}};
    const float c[6][4][3] = {
        {{x1, y2, z1}, {x2, y2, z1}, {x2, y1, z1}, {x1, y1, z1}}, // front
        {{x1, y2, z2}, {x1, y1, z2}, {x2, y1, z2}, {x2, y2, z2}}, // back
        {{x1, y2, z2}, {x2, y2, z2}, {x2, y2, z1}, {x1, y2, z1}}, // top
        {{x1, y1, z2}, {x1, y1, z1}, {x2, y1, z1}, {x2, y1, z2}}, // bottom
        {{x2, y2, z1}, {x2, y2, z2}, {x2, y1, z2}, {x2, y1, z1}}, // right
        {{x1, y2, z1}, {x1, y1, z1}, {x1, y1, z2}, {x1, y2, z2}}, // left
    };
    std::vector<Vertex> corners;
    for (int f = 0; f < 6; ++f)
        for (int k = 0; k < 4; ++k)
            corners.push_back(
                {c[f][k][0], c[f][k][1], c[f][k][2], n[f][0], n[f][1], n[f][2], 0, 0});
    return corners;
}

} // namespace

void ObjectTables::SetUp() {
    LinkModules();
    g_Object3D.newObjectOwnBuffers = 1;
    Basic3DConstructor(nullptr, nullptr, nullptr, nullptr);
    Basic3DPassCoreData(g_CoreData);
}

void ObjectTables::TearDown() {
    Basic3DDestructor();
}

void ObjectScene::SetUp() {
    EngineFixture::SetUp();
    ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
    ASSERT_NE(g_Object3D.device, nullptr);
    g_Object3D.newObjectOwnBuffers = 1;
    // Camera 0 stays at the origin looking along +z, clearing only depth.
    AutoCamOff();
    BackdropOff(0);
    SyncOn();
    SetSyncRate(0);
}

std::uint32_t ObjectScene::SyncAndReadCentre(std::uint32_t clearColour) {
    ClearScreen(clearColour);
    Sync();
    return GetPixelColour(320, 240);
}

std::vector<std::uint32_t> ObjectScene::SyncAndReadGrid(std::uint32_t clearColour) {
    ClearScreen(clearColour);
    Sync();
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < 480; y += 8)
        for (int x = 0; x < 640; x += 8)
            pixels.push_back(GetPixelColour(x, y) & 0xFFFFFF);
    return pixels;
}

bool FillBoxMesh(MeshRecord* mesh, const D3DXVECTOR3& low, const D3DXVECTOR3& high, bool indexed) {
    const std::vector<Vertex> corners = BoxCorners(low, high);
    std::vector<Vertex> vertices;
    std::vector<std::uint16_t> indices;
    for (std::uint16_t f = 0; f < 6; ++f) {
        const std::uint16_t b = 4 * f;
        for (std::uint16_t k : {b, std::uint16_t(b + 1), std::uint16_t(b + 2), std::uint16_t(b + 2),
                                std::uint16_t(b + 3), b})
            indexed ? indices.push_back(k) : vertices.push_back(corners[k]);
    }
    if (indexed) vertices = corners;
    if (!SetMeshFromRawVertices(mesh, kBoxFormat, sizeof(Vertex), vertices.data(),
                                static_cast<std::int32_t>(vertices.size()), D3DPT_TRIANGLELIST))
        return false;
    if (indexed) {
        mesh->indices = new std::uint16_t[indices.size()];
        std::copy(indices.begin(), indices.end(), mesh->indices);
        mesh->indexCount = static_cast<std::int32_t>(indices.size());
        mesh->drawPrimitiveCount = mesh->indexCount / 3;
    }
    return true;
}

void BuildBox(std::int32_t n, float h, bool indexed) {
    ASSERT_TRUE(CreateNewObject(n, "box"));
    ASSERT_TRUE(FillBoxMesh(g_Object3D.objects[n]->rootFrame->mesh, D3DXVECTOR3(-h, -h, -h),
                            D3DXVECTOR3(h, h, h), indexed));
    ASSERT_TRUE(SetupNewObject(n, -1.0f));
}

void BuildTriangles(std::int32_t n, std::int32_t triangles) {
    ASSERT_TRUE(CreateNewObject(n, "triangles"));
    std::vector<Vertex> vertices(static_cast<std::size_t>(triangles) * 3);
    for (std::size_t i = 0; i < vertices.size(); ++i)
        vertices[i] = {static_cast<float>(i % 3) * 0.001f,
                       static_cast<float>(i % 2) * 0.001f,
                       5,
                       0,
                       0,
                       -1,
                       0,
                       0};
    ASSERT_TRUE(SetMeshFromRawVertices(FirstMesh(n), kBoxFormat, sizeof(Vertex), vertices.data(),
                                       static_cast<std::int32_t>(vertices.size()),
                                       D3DPT_TRIANGLELIST));
    ASSERT_TRUE(SetupNewObject(n, -1.0f));
}

MeshRecord* FirstMesh(std::int32_t n) {
    return g_Object3D.objects[n]->rootFrame->mesh;
}

void SetSortKey(std::int32_t n, std::int32_t image) {
    MeshRecord* mesh = FirstMesh(n);
    delete[] mesh->textures;
    mesh->textures = new TextureRecord[1];
    mesh->textureCount = 1;
    mesh->textures[0].imageNumber = image;
    g_Object3D.manager.MarkListDirty();
}

void MakeInstance(std::int32_t n, std::int32_t source, void* block) {
    Object3DState& s = g_Object3D;
    if (n >= s.objectCapacity) {
        ASSERT_TRUE(ResizeObjectArrays(n));
    }
    auto* instance = block ? new (block) ObjectRecord : new ObjectRecord;
    instance->instanceSource = s.objects[source];
    const std::int32_t limbs = s.objects[source]->frameCount;
    instance->instanceData = new std::uint8_t[limbs > 0 ? limbs : 1];
    std::fill_n(instance->instanceData, limbs > 0 ? limbs : 1, 1);
    instance->instanceDataLength = limbs > 0 ? limbs : 1;
    s.objects[n] = instance;
    AddObjectToDrawList(n);
}
