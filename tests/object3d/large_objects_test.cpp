#include "core/win32.h"

#include "support/object_scene.h"
#include "core/error_numbers.h"
#include "core/frame_loop.h"
#include "modelfile/object_block.h"
#include "object3d/appearance.h"
#include "object3d/limb_commands.h"
#include "object3d/object_commands.h"
#include "object3d/object_manager.h"
#include "object3d/positioning.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

// The object written as a native file in the folder; its path.
std::string WriteObject(const TempFolder& folder, const std::string& name,
                        const ObjectRecord& object) {
    TLOBlock block;
    if (!WriteObjectToBlock(&object, block.Out(), block.OutSize())) return {};
    return folder.Write(name,
                        std::string(reinterpret_cast<const char*>(block.Data()), block.Size()));
}

FrameRecord* NamedFrame(const char* prefix, int i) {
    auto* frame = new FrameRecord;
    std::snprintf(frame->name, sizeof frame->name, "%s%d", prefix, i);
    return frame;
}

// A plain list of the corners (x, y, 0), facing the camera, one triangle after another.
MeshRecord* Triangles(const std::vector<std::array<float, 2>>& corners) {
    auto* mesh = new MeshRecord;
    mesh->fvf = mesh->savedFVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
    mesh->vertexSize = 32;
    mesh->vertexCount = static_cast<std::int32_t>(corners.size());
    mesh->vertices = new std::uint8_t[32 * corners.size()]();
    auto* words = reinterpret_cast<float*>(mesh->vertices);
    for (std::size_t v = 0; v < corners.size(); ++v) {
        words[8 * v] = corners[v][0], words[8 * v + 1] = corners[v][1];
        words[8 * v + 5] = -1;
    }
    mesh->drawVertexCount = mesh->vertexCount;
    mesh->drawPrimitiveCount = mesh->vertexCount / 3;
    return mesh;
}

MeshRecord* SmallTriangle(int i) {
    const float x = 0.001f * static_cast<float>(i % 1000);
    return Triangles({{x, 0}, {x, 0.01f}, {x + 0.01f, 0}});
}

// count frames, each with a small triangle: all children of the root, or each the child of the
// one before it (a chain as deep as it is long) with an animation each, listed from the last.
std::string MeshesFile(const TempFolder& folder, int count, bool chain) {
    ObjectRecord object;
    object.rootFrame = NamedFrame("root", 0);
    if (chain) object.animationSet = new AnimationSetRecord;
    FrameRecord* last = object.rootFrame;
    for (int i = 0; i < count; ++i) {
        FrameRecord* frame = NamedFrame("limb", i);
        frame->mesh = SmallTriangle(i);
        frame->parent = chain ? last : object.rootFrame;
        (chain || last == object.rootFrame ? last->child : last->sibling) = frame;
        last = frame;
        if (!chain) continue;
        auto* animation = new AnimationRecord;
        std::memcpy(animation->name, frame->name, sizeof animation->name);
        animation->next = std::exchange(object.animationSet->animation, animation);
    }
    return WriteObject(folder, chain ? "chain.tlo" : "meshes.tlo", object);
}

bool NoBuffersLeft() {
    return g_Object3D.manager.VertexBuffers() == nullptr &&
           g_Object3D.manager.IndexBuffers() == nullptr;
}

int VertexBufferCount() {
    int count = 0;
    for (const VertexBufferEntry* e = g_Object3D.manager.VertexBuffers(); e; e = e->next)
        ++count;
    return count;
}

} // namespace

// Objects of thousands of meshes and limbs are drawn, lose limbs and are deleted in time that
// grows with what they hold, while a scene of 14,000 drawn meshes stays loaded. Six rounds take a
// few seconds; removal that walked every live mesh again for each mesh it took out would take
// some four minutes here (40 s a round), placement that walked every buffer for each one it made
// a further few seconds.
constexpr int kRounds = 6;

TEST_F(ObjectScene, ObjectsOfThousandsOfMeshesDrawAndGoInLinearTime) {
    TempFolder folder;
    const std::string meshes = MeshesFile(folder, 14000, false);
    LoadObject(meshes.c_str(), 9);
    ASSERT_TRUE(ObjectExists(9)) << cell.number;
    HideObject(9);
    Sync();
    const std::string chain = MeshesFile(folder, 10000, true);
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"14,000 meshes deleted",
         [&] {
             LoadObject(meshes.c_str(), 1);
             ASSERT_TRUE(ObjectExists(1)) << cell.number;
             Sync();
             EXPECT_EQ(g_CoreData->drawCalls, 14000);
             DeleteObjectCmd(1);
         }},
        {"14,000 meshes placed in shared buffers and deleted",
         [&] {
             g_Object3D.newObjectOwnBuffers = 0;
             LoadObject(meshes.c_str(), 1);
             g_Object3D.newObjectOwnBuffers = 1;
             ASSERT_TRUE(ObjectExists(1)) << cell.number;
             Sync();
             EXPECT_EQ(g_CoreData->drawCalls, 14000);
             EXPECT_EQ(VertexBufferCount(), 14001); // the scene's, and one for all 42,000 corners
             DeleteObjectCmd(1);
         }},
        {"a chain of 10,000 limbs and its clone drawn and deleted",
         [&] {
             LoadObject(chain.c_str(), 1);
             ASSERT_TRUE(ObjectExists(1)) << cell.number;
             CloneObject(2, 1);
             Sync();
             EXPECT_EQ(g_CoreData->drawCalls, 20000);
             DeleteObjectCmd(2);
             Sync();
             EXPECT_EQ(g_CoreData->drawCalls, 10000);
             DeleteObjectCmd(1);
         }},
        {"a chain of 10,000 limbs cut at its first",
         [&] {
             LoadObject(chain.c_str(), 1);
             ASSERT_TRUE(ObjectExists(1)) << cell.number;
             Sync();
             RemoveLimb(1, 1);
             EXPECT_EQ(GetLimbCount(1), 1);
             EXPECT_EQ(ObjectAt(1)->animationSet->animation, nullptr);
             Sync();
             EXPECT_EQ(g_CoreData->drawCalls, 0); // the root has no mesh
             DeleteObjectCmd(1);
         }},
    };
    for (int round = 0; round < kRounds; ++round) {
        for (const auto& [what, run] : cases) {
            SCOPED_TRACE(what);
            cell.number = 0;
            run();
            EXPECT_FALSE(ObjectExists(1));
            EXPECT_FALSE(ObjectExists(2));
            EXPECT_EQ(VertexBufferCount(), 14000); // the scene's own, one a mesh
        }
    }
    DeleteObjectCmd(9);
    EXPECT_TRUE(NoBuffersLeft());
}

namespace {

// One mesh of a triangle list: n triangles all on one spot, or side by side along a band.
std::string TrianglesFile(const TempFolder& folder, int n, bool stacked) {
    std::vector<std::array<float, 2>> corners;
    for (int i = 0; i < n; ++i) {
        const float x = stacked ? 0.0f : static_cast<float>(i);
        corners.insert(corners.end(), {{x, 0}, {x, 1}, {x + 1, 0}});
    }
    ObjectRecord object;
    object.rootFrame = NamedFrame("triangles", 0);
    object.rootFrame->mesh = Triangles(corners);
    return WriteObject(folder, stacked ? "stacked.tlo" : "band.tlo", object);
}

// count meshes of one triangle, each with vertices of a size of its own (their format padded
// by a further word each time).
std::string LayoutsFile(const TempFolder& folder, int count) {
    ObjectRecord object;
    object.rootFrame = NamedFrame("layouts", 0);
    FrameRecord* last = nullptr;
    for (int i = 0; i < count; ++i) {
        FrameRecord* frame = NamedFrame("layout", i);
        MeshRecord* mesh = frame->mesh = Triangles({{0, 0}, {0, 1}, {1, 0}});
        const std::uint32_t size = 32 + 4 * static_cast<std::uint32_t>(i);
        auto* padded = new std::uint8_t[3 * size]();
        for (int v = 0; v < 3; ++v)
            std::memcpy(padded + v * size, mesh->vertices + 32 * v, 32);
        delete[] std::exchange(mesh->vertices, padded);
        mesh->vertexSize = size;
        frame->parent = object.rootFrame;
        (last ? last->sibling : object.rootFrame->child) = frame;
        last = frame;
    }
    return WriteObject(folder, "layouts.tlo", object);
}

} // namespace

// What an object's first frame makes and draws is charged when it loads: triangles stacked on
// one spot fill the view thousands of times a frame where it frames them, and a mesh of a vertex
// size of its own opens a shared buffer of 65,535 vertices. Each such file is refused, leaving
// nothing; the same triangles side by side, or the same meshes in buffers of their own, load and
// draw.
TEST_F(ObjectScene, LoadsPayForTheirFirstFramesBuffersAndFill) {
    TempFolder folder;
    const struct {
        const char* what;
        std::string file;
        std::uint8_t ownBuffers;
        std::int32_t draws; // 0: refused
    } cases[] = {
        {"6,500 triangles stacked on one spot", TrianglesFile(folder, 6500, true), 1, 0},
        {"6,500 triangles side by side", TrianglesFile(folder, 6500, false), 1, 1},
        {"50 vertex sizes in shared buffers", LayoutsFile(folder, 50), 0, 0},
        {"50 vertex sizes in buffers of their own", LayoutsFile(folder, 50), 1, 50},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        g_Object3D.newObjectOwnBuffers = c.ownBuffers;
        cell.number = 0;
        LoadObject(c.file.c_str(), 1);
        EXPECT_EQ(ObjectExists(1), c.draws > 0);
        EXPECT_EQ(cell.number, c.draws > 0 ? 0 : kObjectNotLoaded);
        Sync();
        EXPECT_EQ(g_CoreData->drawCalls, c.draws);
        DeleteObjectCmd(1);
        EXPECT_TRUE(NoBuffersLeft());
    }
    g_Object3D.newObjectOwnBuffers = 1;
}
