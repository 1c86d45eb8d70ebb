#include "core/win32.h"

#include "universe/universe_scene.h"
#include "camera/camera.h"
#include "core/frame_loop.h"
#include "display/display.h"
#include "object3d/positioning.h"
#include "object3d/vertex_layout.h"
#include "universe/universe_collision.h"
#include "universe/universe_file.h"

#include <cmath>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t kClear = 0xFF204060;

enum class Doorway { kOpen, kClosed, kTwin };

// Two rooms either side of the plane z = 50 (room A beyond it, room B holding the camera), and a
// long box across room A straight ahead of the camera. The plane's wall panels (one a 100-unit cell
// face) leave the middle face open, close it too, or, five faces wide, leave the second and
// fourth open.
MeshRecord* BuildRooms(Doorway doorway) {
    CreateUniverse(1050, 1050, 1050);
    std::vector<float> panels = {-100, 100};
    if (doorway == Doorway::kClosed) panels.push_back(0);
    if (doorway == Doorway::kTwin) panels = {-200, 0, 200};
    for (float x : panels)
        for (float y : {0.0f, 100.0f})
            AddLevelMesh(BoxMesh({x - 50, y - 50, 49.5f}, {x + 50, y + 50, 50.5f}), 2, 7);
    MeshRecord* target = AddLevelMesh(BoxMesh({-140, 30, 110}, {140, 70, 130}), 0);
    World().Build();
    for (MeshRecord* mesh : World().levelMeshes)
        EXPECT_TRUE(g_Object3D.manager.AddMeshToBuffers(mesh, true));
    PositionCamera(0, 0, 50, -100);
    return target;
}

// The index of the area holding the point, -1 for none.
std::int32_t AreaAt(const D3DXVECTOR3& p) {
    for (std::size_t i = 0; i < World().areas.size(); ++i) {
        const UniverseArea& area = *World().areas[i];
        if (BoxesOverlap(p, p, area.minimum, area.maximum)) return static_cast<std::int32_t>(i);
    }
    return -1;
}

const D3DXVECTOR3 kRoomA(0, 50, 100), kRoomB(0, 50, -100);

// How many of the items pass the test.
template <typename List, typename Test> int Count(const List& items, Test&& test) {
    int n = 0;
    for (const auto& item : items)
        n += test(item) ? 1 : 0;
    return n;
}

// Draws of whole box meshes (12 triangles) recorded.
int BoxDraws(const RecordingDevice& device) {
    return Count(device.draws,
                 [](const RecordedDraw& d) { return d.indexed && d.primitives == 12; });
}

// Lines or wireframe quads drawn from memory.
int UserDraws(const RecordingDevice& device, D3DPRIMITIVETYPE type) {
    return Count(device.userDraws, [&](const RecordedUserDraw& d) { return d.type == type; });
}

} // namespace

TEST_F(UniverseScene, PortalsShowTheNextRoomUnlessADoorClosesIt) {
    MeshRecord* target = BuildRooms(Doorway::kOpen);
    const std::int32_t a = AreaAt(kRoomA), b = AreaAt(kRoomB);
    ASSERT_TRUE(World().areas.size() == 2 && a >= 0 && b >= 0);
    EXPECT_NE(SyncAndReadCentre(kClear) & 0xFFFFFF, kClear & 0xFFFFFF);
    EXPECT_EQ(g_Universe.currentArea, b + 1);
    EXPECT_EQ(World().areas[a]->drawn, 1);
    EXPECT_EQ(target->frameStamp, World().frame);
    // The camera's own room drew its four wall panels; the box beyond is not counted.
    EXPECT_EQ(World().statistics[0], 48);
    EXPECT_EQ(World().statistics[1], 4);
    // A camera that leaves every area keeps the last one.
    PositionCamera(0, 0, 50, 5000);
    SyncAndReadCentre(kClear);
    EXPECT_EQ(g_Universe.currentArea, b + 1);
    EXPECT_EQ(World().areas[b]->drawn, 1);

    // Static objects: one lifted into room B, one in the hidden room A, one animated there.
    target = BuildRooms(Doorway::kClosed);
    const D3DXVECTOR3 places[3] = {{0, -54, -100}, kRoomA, kRoomA};
    for (std::int32_t n = 1; n <= 3; ++n) {
        ASSERT_TRUE(CreateNewObject(n, "static"));
        ASSERT_TRUE(PositionObject(n, places[n - 1].x, places[n - 1].y, places[n - 1].z));
        g_Object3D.objects[n]->universeVisible = n == 2;
        World().AddStaticObject(g_Object3D.objects[n]);
    }
    g_Object3D.objects[3]->currentFrame = 2;
    SyncAndReadCentre(kClear);
    EXPECT_EQ(World().areas[a]->drawn, 0);
    EXPECT_NE(target->frameStamp, World().frame);
    EXPECT_EQ(g_Object3D.objects[1]->universeArea, b);
    for (std::int32_t n = 1; n <= 3; ++n)
        EXPECT_EQ(g_Object3D.objects[n]->universeVisible, n != 2) << n;
}

TEST_F(UniverseScene, AMeshSeenThroughTwoPortalsIsDrawnOnceAFrame) {
    MeshRecord* target = BuildRooms(Doorway::kTwin);
    ASSERT_EQ(World().areas[AreaAt(kRoomB)]->portals.size(), 2u);
    DeviceRecording recording;
    SyncAndReadCentre(kClear);
    EXPECT_EQ(target->frameStamp, World().frame);
    const int drawn = Count(World().levelMeshes,
                            [](const MeshRecord* m) { return m->frameStamp == World().frame; });
    EXPECT_EQ(BoxDraws(recording.device), drawn);
    // The stamp starts again at 0, and a mesh stamped 0 long ago is still drawn.
    World().frame = 65535;
    target->frameStamp = 0;
    for (std::int32_t expected : {0, 1}) {
        recording.device.Clear();
        SyncAndReadCentre(kClear);
        EXPECT_EQ(World().frame, expected);
        EXPECT_EQ(BoxDraws(recording.device), drawn);
    }
}

TEST_F(UniverseScene, DebugDrawingOfALoadedWorld) {
    BuildRooms(Doorway::kOpen);
    const std::vector<std::uint8_t> bytes = EncodeUniverse(World());
    CreateUniverse(1050, 1050, 1050);
    ASSERT_TRUE(DecodeUniverse(World(), ByteSpan{bytes.data(), bytes.size()}));
    World().debugDraw[0] = World().debugDraw[1] = 1;
    UniverseRayCommand(-100, 20, 0, -100, 20, 60);
    DeviceRecording recording;
    SyncAndReadCentre(kClear);
    // Room A's box lines and six faces, the six faces of room B's portal, the ray.
    EXPECT_EQ(UserDraws(recording.device, D3DPT_LINELIST), 2);
    EXPECT_EQ(UserDraws(recording.device, D3DPT_TRIANGLEFAN), 12);
    // Boxes a damaged world lacks are left out, not read.
    for (auto& area : World().areas) {
        area->box.reset();
        for (auto& portal : area->portals)
            portal->box.reset();
    }
    recording.device.Clear();
    SyncAndReadCentre(kClear);
    EXPECT_EQ(UserDraws(recording.device, D3DPT_TRIANGLEFAN), 0);
    EXPECT_EQ(UserDraws(recording.device, D3DPT_LINELIST), 1);
}

TEST_F(UniverseScene, DecalsSitOnTheSurfaceTheRayMet) {
    BuildDoorwayLevel();
    Universe& u = World();
    u.SetDecalImage(0, 4, 2);
    ASSERT_NE(u.decalMesh, nullptr);
    MeshRecord* ring = u.decalMesh;
    u.AddDecalQuad(10, 0); // no ray yet
    EXPECT_EQ(u.decalCursor, 0);
    ASSERT_EQ(UniverseRayCommand(-100, 20, 0, -100, 20, 60), 49);
    VertexOffsetMap map;
    ASSERT_TRUE(GetMeshOffsetMap(ring, &map));
    const auto vertex = [&](int v) {
        return reinterpret_cast<const float*>(ring->vertices) + v * map.StrideDwords;
    };
    const auto position = [&](int v) { return ReadTriple(vertex(v), map.X, map.Y, map.Z); };
    const auto uv = [&](int v) {
        return std::make_pair(vertex(v)[map.TexU[0]], vertex(v)[map.TexV[0]]);
    };
    u.AddDecalQuad(10, -3); // tile 0
    EXPECT_EQ(ring->drawPrimitiveCount, 2);
    EXPECT_EQ(uv(0), std::make_pair(0.0f, 0.0f));
    EXPECT_EQ(uv(3), std::make_pair(0.25f, 0.5f));
    for (int v = 0; v < 4; ++v) {
        EXPECT_NEAR(position(v).z, 49.5f, 1e-3f) << v;
        EXPECT_NEAR(std::fabs(position(v).x + 100) + std::fabs(position(v).y - 20), 10, 1e-3f);
    }
    // Each quad winds towards the side the ray came from.
    D3DXVECTOR3 facing;
    const D3DXVECTOR3 e1 = position(1) - position(0), e2 = position(2) - position(0);
    EXPECT_LT(D3DXVec3Cross(&facing, &e1, &e2)->z, 0);
    u.AddDecalQuad(10, 99); // the last frame
    EXPECT_EQ(uv(4), std::make_pair(0.75f, 0.5f));
    u.AddDecalQuad(300, 0); // wider than the wall: a corner misses it
    EXPECT_EQ(u.decalCursor, 8);
    // The ring's last quad sends it back to the start.
    u.decalCursor = 4 * 10921;
    u.AddDecalQuad(10, 0);
    EXPECT_EQ(u.decalCursor, 0);
    ASSERT_NE(ring->drawItem, nullptr);
    EXPECT_EQ(ring->drawItem->primitiveCount, 21844);
    EXPECT_NEAR(position(43687).z, 49.5f, 1e-3f);
}

TEST_F(UniverseScene, PortalWalksEndOnEveryGraph) {
    // Thirty areas at one place, each with a portal into every other and one into no area.
    CreateUniverse(1000, 1000, 1000);
    const std::int32_t count = 30;
    for (std::int32_t i = 0; i < count; ++i) {
        World().areas.push_back(std::make_unique<UniverseArea>());
        World().areas[i]->maximum = D3DXVECTOR3(100, 100, 100);
        for (std::int32_t j = 0; j <= count; ++j)
            if (j != i) World().areas[i]->portals.push_back(WidePortal(j == count ? 99 : j));
    }
    PositionCamera(0, 0, 0, 0);
    ASSERT_TRUE(World().Render());
    EXPECT_EQ(World().areas[count - 1]->drawn, 1);
    // A ring longer than the deepest walk stops at the last depth.
    for (std::int32_t i = 0; i < count; ++i) {
        World().areas[i]->portals.resize(1);
        World().areas[i]->portals[0]->neighbour = (i + 1) % count;
    }
    ASSERT_TRUE(World().Render());
    EXPECT_EQ(World().areas[kUniversePortalDepths - 1]->drawn, 1);
    EXPECT_EQ(World().areas[kUniversePortalDepths]->drawn, 0);
}
