#include "core/win32.h"

#include "support/object_scene.h"
#include "core/frame_loop.h"
#include "display/display.h"
#include "draw2d/draw2d.h"
#include "image/image.h"
#include "object3d/positioning.h"
#include "object3d/vertex_layout.h"
#include "support/recording_device.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>
#include <utility>

namespace {

constexpr std::uint32_t kClear = 0xFF204060;

// Light 0 (white, along (0.1, -0.7, 0.2)) on a face that looks at the camera: 0.272 x 255; with
// the light module's ambient light (a quarter of white: 63) on top.
constexpr int kLightZero = 69;
constexpr int kLitFront = kLightZero + 63;

using Recording = DeviceRecording;

// Numbers of the live objects in the manager's sorted order.
std::vector<ObjectRecord*> SortedObjects() {
    std::vector<ObjectRecord*> sorted;
    for (std::int32_t i = 0; i < g_Object3D.manager.SortedCount(); ++i)
        sorted.push_back(g_Object3D.manager.SortedObject(i));
    return sorted;
}

ObjectRecord* Object(std::int32_t n) {
    return g_Object3D.objects[n];
}

} // namespace

TEST_F(ObjectScene, ABoxInFrontOfTheCameraIsLitByLightZero) {
    EXPECT_TRUE(DeviceSupportsStencil()); // the display's depth buffer has stencil bits
    EXPECT_TRUE(DeviceSupportsClipPlanes());
    BuildBox(1, 2.0f);
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));
    const std::uint32_t centre = SyncAndReadCentre(kClear);
    EXPECT_NEAR(Red(centre), kLitFront, 3);
    EXPECT_NEAR(Green(centre), kLitFront, 3);
    EXPECT_NEAR(Blue(centre), kLitFront, 3);
    EXPECT_EQ(g_CoreData->drawCalls, 1);
    EXPECT_EQ(g_CoreData->drawnPolygons, 12);
    EXPECT_EQ(GetPixelColour(20, 20) & 0xFFFFFF, kClear & 0xFFFFFF); // around it, the clear colour

    // The light alone, once the application turns its ambient light off.
    g_Object3D.device->SetRenderState(D3DRS_AMBIENT, 0);
    EXPECT_NEAR(Green(SyncAndReadCentre(kClear)), kLightZero, 3);
    g_Object3D.device->SetRenderState(D3DRS_AMBIENT, 0xFF3F3F3F);

    // The same box as a plain list draws the same.
    ASSERT_TRUE(DeleteObject(1));
    BuildBox(2, 2.0f, false);
    ASSERT_TRUE(PositionObject(2, 0, 0, 10));
    EXPECT_NEAR(Red(SyncAndReadCentre(kClear)), kLitFront, 3);
    EXPECT_EQ(g_CoreData->drawnPolygons, 12);
}

TEST_F(ObjectScene, EditedVerticesReachTheDeviceBuffer) {
    BuildBox(1, 2.0f);
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));
    ASSERT_NEAR(Red(SyncAndReadCentre(kClear)), kLitFront, 3);
    // The front face (its first four vertices) shrunk to a point: the box is seen through.
    MeshRecord* mesh = FirstMesh(1);
    auto* words = reinterpret_cast<float*>(mesh->vertices);
    for (int v = 0; v < 4; ++v)
        words[v * 8] = words[v * 8 + 1] = 0;
    EXPECT_FALSE(CopyMeshVertexRangeToBuffer(mesh, 0, mesh->vertexCount + 1));
    EXPECT_FALSE(CopyMeshVertexRangeToBuffer(mesh, 3, 3));
    ASSERT_TRUE(CopyMeshVertexRangeToBuffer(mesh, 0, 4));
    EXPECT_EQ(SyncAndReadCentre(kClear) & 0xFFFFFF, kClear & 0xFFFFFF);
    // Whole uploads go through the changed flag: the face comes back.
    for (int v = 0; v < 4; ++v) {
        words[v * 8] = v == 0 || v == 3 ? -2.0f : 2.0f;
        words[v * 8 + 1] = v < 2 ? 2.0f : -2.0f;
    }
    mesh->verticesChanged = 1;
    EXPECT_NEAR(Red(SyncAndReadCentre(kClear)), kLitFront, 3);
}

TEST_F(ObjectScene, HiddenAndCulledObjectsDrawNothing) {
    BuildBox(1, 2.0f);
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));
    Object(1)->hidden = 1;
    EXPECT_EQ(SyncAndReadCentre(kClear) & 0xFFFFFF, kClear & 0xFFFFFF);
    EXPECT_EQ(g_CoreData->drawCalls, 0);

    // Behind the camera: with a culling radius the frustum test drops it.
    Object(1)->hidden = 0;
    Object(1)->collision.cullingRadius = Object(1)->collision.radius;
    ASSERT_TRUE(PositionObject(1, 0, 0, -10));
    EXPECT_EQ(SyncAndReadCentre(kClear) & 0xFFFFFF, kClear & 0xFFFFFF);
    EXPECT_EQ(g_CoreData->drawCalls, 0);
    EXPECT_EQ(g_Object3D.manager.VisibleCount(), 0);
    Object(1)->noCulling = 1; // never culled
    Sync();
    EXPECT_EQ(g_Object3D.manager.VisibleCount(), 1);

    // Not visible or not shown: listed, but nothing drawn.
    Object(1)->noCulling = 0;
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));
    Object(1)->visible = 0;
    EXPECT_EQ(SyncAndReadCentre(kClear) & 0xFFFFFF, kClear & 0xFFFFFF);
    EXPECT_EQ(g_CoreData->drawCalls, 0);
}

TEST_F(ObjectScene, ObjectsAreDrawnGroupedByTextureInCreationOrder) {
    BuildBox(1, 1.0f);
    BuildBox(2, 1.0f);
    BuildBox(3, 1.0f);
    BuildBox(4, 1.0f);
    SetSortKey(1, 7); // A
    SetSortKey(2, 3); // B
    SetSortKey(3, 7); // C: same key as A, made after it
    SetSortKey(4, 0);
    MakeInstance(5, 2); // keyed by its source's texture
    Sync();
    const std::vector<ObjectRecord*> expected = {Object(4), Object(2), Object(5), Object(1),
                                                 Object(3)};
    EXPECT_EQ(SortedObjects(), expected);
}

TEST_F(ObjectScene, RemovingAMeshReplacesItsBufferMates) {
    g_Object3D.newObjectOwnBuffers = 0;
    BuildBox(1, 1.0f);
    BuildBox(2, 1.0f);
    BuildBox(3, 1.0f);
    for (std::int32_t n = 1; n <= 3; ++n)
        ASSERT_TRUE(PositionObject(n, 3.0f * (n - 2), 0, 10));
    Sync();
    const VertexBufferEntry* shared = FirstMesh(1)->drawItem->vertexEntry;
    ASSERT_EQ(FirstMesh(2)->drawItem->vertexEntry, shared);
    ASSERT_EQ(FirstMesh(3)->drawItem->vertexEntry, shared);
    EXPECT_EQ(g_CoreData->drawCalls, 3);

    ASSERT_TRUE(DeleteObject(2));
    ASSERT_NE(FirstMesh(1)->drawItem, nullptr);
    ASSERT_NE(FirstMesh(3)->drawItem, nullptr);
    EXPECT_EQ(FirstMesh(1)->drawItem->vertexEntry, FirstMesh(3)->drawItem->vertexEntry);
    EXPECT_EQ(FirstMesh(1)->drawItem->startVertex + FirstMesh(1)->drawItem->baseVertex, 0u);
    std::uint32_t entries = 0;
    for (const VertexBufferEntry* e = g_Object3D.manager.VertexBuffers(); e; e = e->next) {
        ++entries;
        EXPECT_LE(e->capacity, 65535u);
        EXPECT_EQ(e->usedVertices, 48u); // the two boxes left, re-placed side by side
    }
    EXPECT_EQ(entries, 1u);
    const std::uint32_t centre = SyncAndReadCentre(kClear);
    EXPECT_EQ(centre & 0xFFFFFF, kClear & 0xFFFFFF); // the middle box is gone
    EXPECT_EQ(g_CoreData->drawCalls, 2);
    EXPECT_NEAR(Red(GetPixelColour(320 + 130, 240)), kLitFront, 3); // the right one still draws
}

TEST_F(ObjectScene, VerticesOfPartWordsShareNoBuffer) {
    // Six bytes a vertex: three of them end half way through the fifth word.
    const D3DVERTEXELEMENT9 colour[] = {{0, 0, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                        D3DDECL_END()};
    MeshRecord first, second;
    for (MeshRecord* mesh : {&first, &second}) {
        ASSERT_TRUE(SetupMeshDeclarationData(mesh, colour, 6, 3, 0));
        std::memset(mesh->vertices, 0, 18);
        mesh->primitiveType = D3DPT_TRIANGLELIST;
        mesh->drawVertexCount = 3;
        mesh->drawPrimitiveCount = 1;
        ASSERT_TRUE(g_Object3D.manager.AddMeshToBuffers(mesh, false));
    }
    EXPECT_NE(first.drawItem->vertexEntry, second.drawItem->vertexEntry);
    EXPECT_EQ(second.drawItem->startVertex, 0u);
}

TEST_F(ObjectScene, LargeUnindexedMeshesGetTheirOwnSizeNotTheDevicesLargest) {
    g_Object3D.newObjectOwnBuffers = 0;
    BuildTriangles(1, 30000); // 90,000 vertices
    BuildBox(2, 1.0f, false);
    Sync();
    for (const VertexBufferEntry* e = g_Object3D.manager.VertexBuffers(); e; e = e->next)
        EXPECT_LE(e->capacity, 90000u);
}

TEST_F(ObjectScene, AFailingLargeDrawIsRetriedInChunks) {
    BuildTriangles(1, 50000);
    Sync(); // placed in the buffers
    Recording recording;
    recording.device.failDrawsAbove = 21845;
    g_Object3D.manager.PrepareFrame();
    recording.device.Clear();
    ASSERT_TRUE(g_Object3D.manager.DrawObject(Object(1)));
    const auto& draws = recording.device.draws;
    ASSERT_EQ(draws.size(), 4u);
    EXPECT_TRUE(draws[0].failed);
    EXPECT_EQ(draws[0].primitives, 50000u);
    const std::uint32_t start = draws[0].start;
    EXPECT_EQ(draws[1].primitives, 21845u);
    EXPECT_EQ(draws[1].start, start);
    EXPECT_EQ(draws[2].primitives, 21845u);
    EXPECT_EQ(draws[2].start, start + 3 * 21845);
    EXPECT_EQ(draws[3].primitives, 6310u);
    EXPECT_EQ(draws[3].start, start + 6 * 21845);
}

TEST_F(ObjectScene, EqualMeshesSendEachStateOnce) {
    BuildBox(1, 1.0f);
    BuildBox(2, 1.0f);
    SetSortKey(1, 0);
    SetSortKey(2, 0);
    Sync();
    Recording recording;
    g_Object3D.manager.PrepareFrame();
    recording.device.Clear();
    ASSERT_TRUE(g_Object3D.manager.DrawObject(Object(1)));
    std::map<std::pair<DWORD, DWORD>, int> sent;
    for (const RecordedState& r : recording.device.renderStates)
        ++sent[{0, r.type}];
    for (const RecordedState& r : recording.device.stageStates)
        ++sent[{1 + r.stage, r.type}];
    for (const auto& [state, count] : sent)
        EXPECT_EQ(count, 1) << state.first << ":" << state.second;
    EXPECT_FALSE(recording.device.renderStates.empty());

    recording.device.Clear();
    ASSERT_TRUE(g_Object3D.manager.DrawObject(Object(2)));
    EXPECT_TRUE(recording.device.renderStates.empty());
    EXPECT_TRUE(recording.device.stageStates.empty());
    EXPECT_TRUE(recording.device.samplerStates.empty());
    EXPECT_EQ(recording.device.textures, 0);
    EXPECT_EQ(recording.device.formats, 0);
    EXPECT_EQ(recording.device.materials, 0);
    EXPECT_EQ(recording.device.draws.size(), 1u);
}

TEST_F(ObjectScene, StatesChangedBetweenFramesAreSentAgain) {
    BuildBox(1, 2.0f);
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));
    Sync();
    // 2D drawing between frames turns lighting and the depth test off behind the manager's back.
    g_Object3D.device->SetRenderState(D3DRS_LIGHTING, FALSE);
    g_Object3D.device->SetRenderState(D3DRS_ZENABLE, FALSE);
    EXPECT_NEAR(Red(SyncAndReadCentre(kClear)), kLitFront, 3);
}

TEST_F(ObjectScene, TransparentObjectsUnderTheWaterAreDrawnBeforeIt) {
    BuildBox(1, 1.0f); // the water: far, but level with y 0
    BuildBox(2, 1.0f); // under the water, near the camera
    BuildBox(3, 1.0f); // above the water, between the two
    ASSERT_TRUE(PositionObject(1, 0, 0, 50));
    ASSERT_TRUE(PositionObject(2, 0, -5, 5));
    ASSERT_TRUE(PositionObject(3, 0, 5, 20));
    SetObjectTransparencyFlags(Object(1), 5);
    SetObjectTransparencyFlags(Object(2), 2);
    SetObjectTransparencyFlags(Object(3), 2);
    Sync();
    Recording recording;
    g_Object3D.manager.PrepareFrame();
    recording.device.Clear();
    g_Object3D.manager.RenderLayerThree();
    // Each object is drawn under its own world matrix: its place tells which one it is.
    std::vector<float> order;
    for (const D3DXMATRIX& world : recording.device.worlds)
        if (order.empty() || order.back() != world._43) order.push_back(world._43);
    EXPECT_EQ(order, (std::vector<float>{5, 50, 20}));
    EXPECT_EQ(recording.device.draws.size(), 3u);

    // None of them is drawn in the solid layer.
    recording.device.Clear();
    g_Object3D.manager.RenderLayer(0);
    EXPECT_TRUE(recording.device.draws.empty());
}

TEST_F(ObjectScene, MirrorsMarkTheStencilWithoutDrawingColour) {
    BuildBox(1, 2.0f);
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));
    Object(1)->reflective = 1;
    g_CoreData->stencilMode = 2;
    EXPECT_EQ(SyncAndReadCentre(kClear) & 0xFFFFFF, kClear & 0xFFFFFF);
    EXPECT_EQ(g_CoreData->drawCalls, 1); // drawn once, into the stencil buffer only
    const D3DXPLANE& plane = g_Object3D.manager.mirrorPlane;
    EXPECT_NEAR(plane.c, 1, 1e-5); // through the mirror's position, along its look vector
    EXPECT_NEAR(plane.d, -10, 1e-5);
    // A mirror is never drawn as a solid; once it is none, the box shows again.
    g_CoreData->stencilMode = 0;
    EXPECT_EQ(SyncAndReadCentre(kClear) & 0xFFFFFF, kClear & 0xFFFFFF);
    Object(1)->reflective = 0;
    EXPECT_NEAR(Red(SyncAndReadCentre(kClear)), kLitFront, 3);
}

TEST_F(ObjectScene, PointListsWithoutARadiusUseSize50) {
    BuildTriangles(1, 1);
    FirstMesh(1)->primitiveType = D3DPT_POINTLIST;
    FirstMesh(1)->drawPrimitiveCount = 3;
    FirstMesh(1)->bounds.radius = 0;
    Sync();
    Recording recording;
    g_Object3D.manager.PrepareFrame();
    recording.device.Clear();
    ASSERT_TRUE(g_Object3D.manager.DrawObject(Object(1)));
    const RecordingDevice& d = recording.device;
    EXPECT_EQ(d.LastRenderState(D3DRS_POINTSIZE_MAX, 0), FloatBits(50.0f));
    EXPECT_EQ(d.LastRenderState(D3DRS_POINTSIZE, 0), FloatBits(0.5f));
    EXPECT_EQ(d.LastRenderState(D3DRS_POINTSCALEENABLE, 1), 0u); // off again after the draw
    ASSERT_EQ(d.draws.size(), 1u);
    EXPECT_EQ(d.draws[0].type, D3DPT_POINTLIST);
}

TEST_F(ObjectScene, ADeviceResetLeavesAnEmptyModuleThatStillDraws) {
    BuildBox(1, 2.0f);
    Sync();
    Basic3DRefreshD3D(0);
    EXPECT_EQ(g_Object3D.objects, nullptr);
    EXPECT_EQ(g_Object3D.manager.VertexBuffers(), nullptr);
    Basic3DRefreshD3D(1);
    EXPECT_FALSE(ObjectExists(1));
    EXPECT_EQ(g_Object3D.usedCount, 0);
    Sync();
    EXPECT_EQ(g_CoreData->drawCalls, 0);
    BuildBox(1, 2.0f);
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));
    EXPECT_NEAR(Red(SyncAndReadCentre(kClear)), kLitFront, 3);
    EXPECT_EQ(g_CoreData->drawCalls, 1);
}

TEST_F(ObjectScene, TwoDimensionalDrawingAfterTheObjectsIsUnchanged) {
    BuildBox(1, 2.0f);
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));
    SetSortKey(1, 0);
    FirstMesh(1)->textures[0].coordinateMode = 1; // a sphere map leaves a texture transform
    FirstMesh(1)->wireframe = 1;
    std::vector<std::uint32_t> green(8 * 8, 0xFF00FF00);
    ASSERT_TRUE(MakeImageFromMemblock(1, 8, 8, 32,
                                      reinterpret_cast<const std::uint8_t*>(green.data()),
                                      static_cast<std::uint32_t>(green.size() * 4)));
    Sync();
    PasteImage(1, 316, 236);
    EXPECT_EQ(GetPixelColour(320, 240), 0xFF00FF00u);
    EXPECT_EQ(GetPixelColour(316, 236), 0xFF00FF00u);
    SetInk(0xFFFF0000, 0);
    FillBox(100, 100, 140, 140);
    EXPECT_EQ(GetPixelColour(120, 120), 0xFFFF0000u);
}
