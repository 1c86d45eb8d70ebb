#include "core/win32.h"

#include "support/object_scene.h"
#include "core/error_numbers.h"
#include "core/frame_loop.h"
#include "modelfile/object_block.h"
#include "object3d/appearance.h"
#include "object3d/limb_commands.h"
#include "object3d/object_commands.h"
#include "object3d/object_manager.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>

namespace {

FrameRecord* NamedFrame(const char* prefix, int i) {
    auto* frame = new FrameRecord;
    std::snprintf(frame->name, sizeof frame->name, "%s%d", prefix, i);
    return frame;
}

// n triangles of the given size facing the camera, the first at x and each next one step along
// x, as a plain list of vertices `stride` bytes apart (past 32: padding the format leaves out).
MeshRecord* Triangles(int n, float x, float size, float step, std::uint32_t stride = 32) {
    auto* mesh = new MeshRecord;
    mesh->fvf = mesh->savedFVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
    mesh->vertexSize = stride;
    mesh->vertexCount = mesh->drawVertexCount = 3 * n;
    mesh->drawPrimitiveCount = n;
    mesh->vertices = new std::uint8_t[stride * 3 * n]();
    for (int v = 0; v < 3 * n; ++v) {
        auto* words = reinterpret_cast<float*>(mesh->vertices + stride * v);
        words[0] = x + step * static_cast<float>(v / 3) + (v % 3 == 2 ? size : 0);
        words[1] = v % 3 == 1 ? size : 0;
        words[5] = -1;
    }
    return mesh;
}

// The native file of count frames showing mesh(i) each: all children of the root, or each the
// child of the one before it (a chain as deep as it is long) with an animation each, listed from
// the last.
std::string ObjectFile(const TempFolder& folder, const std::string& name, int count, bool chain,
                       const std::function<MeshRecord*(int)>& mesh) {
    ObjectRecord object;
    object.rootFrame = NamedFrame("root", 0);
    if (chain) object.animationSet = new AnimationSetRecord;
    FrameRecord* last = object.rootFrame;
    for (int i = 0; i < count; ++i) {
        FrameRecord* frame = NamedFrame("limb", i);
        frame->mesh = mesh(i);
        frame->parent = chain ? last : object.rootFrame;
        (chain || last == object.rootFrame ? last->child : last->sibling) = frame;
        last = frame;
        if (!chain) continue;
        auto* animation = new AnimationRecord;
        std::memcpy(animation->name, frame->name, sizeof animation->name);
        animation->next = std::exchange(object.animationSet->animation, animation);
    }
    TLOBlock block;
    if (!WriteObjectToBlock(&object, block.Out(), block.OutSize())) return {};
    return folder.Write(name,
                        std::string(reinterpret_cast<const char*>(block.Data()), block.Size()));
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

// Beside a loaded scene of 14,000 meshes: six rounds take seconds; removal that walked every live
// mesh again for each mesh it took out took 40 s a round, placement that walked every buffer for
// each one it made a few seconds more.
TEST_F(ObjectScene, ObjectsOfThousandsOfMeshesDrawAndGoInLinearTime) {
    TempFolder folder;
    const auto SmallTriangle = [](int i) {
        return Triangles(1, 0.001f * static_cast<float>(i % 1000), 0.01f, 0);
    };
    const std::string meshes = ObjectFile(folder, "meshes.tlo", 14000, false, SmallTriangle);
    LoadObject(meshes.c_str(), 9);
    ASSERT_TRUE(ObjectExists(9)) << cell.number;
    HideObject(9);
    Sync();
    const std::string chain = ObjectFile(folder, "chain.tlo", 10000, true, SmallTriangle);
    for (int round = 0; round < 6; ++round) {
        // 14,000 meshes in buffers of their own, then placed in shared ones (the scene's, and one
        // for all 42,000 corners).
        for (const std::uint8_t own : {1, 0}) {
            SCOPED_TRACE(own);
            g_Object3D.newObjectOwnBuffers = own;
            LoadObject(meshes.c_str(), 1);
            g_Object3D.newObjectOwnBuffers = 1;
            ASSERT_TRUE(ObjectExists(1)) << cell.number;
            Sync();
            EXPECT_EQ(g_CoreData->drawCalls, 14000);
            EXPECT_EQ(VertexBufferCount(), own ? 28000 : 14001);
            DeleteObjectCmd(1);
            EXPECT_FALSE(ObjectExists(1));
            EXPECT_EQ(VertexBufferCount(), 14000); // the scene's own, one a mesh
        }
        // A chain of 10,000 limbs: drawn with its clone, which is deleted, or cut at its first.
        for (const bool cut : {false, true}) {
            SCOPED_TRACE(cut);
            LoadObject(chain.c_str(), 1);
            ASSERT_TRUE(ObjectExists(1)) << cell.number;
            if (!cut) CloneObject(2, 1);
            Sync();
            EXPECT_EQ(g_CoreData->drawCalls, cut ? 10000 : 20000);
            if (cut) {
                RemoveLimb(1, 1);
                EXPECT_EQ(GetLimbCount(1), 1);
                EXPECT_EQ(ObjectAt(1)->animationSet->animation, nullptr);
            } else {
                DeleteObjectCmd(2);
                EXPECT_FALSE(ObjectExists(2));
            }
            Sync();
            EXPECT_EQ(g_CoreData->drawCalls, cut ? 0 : 10000); // the root has no mesh
            DeleteObjectCmd(1);
            EXPECT_FALSE(ObjectExists(1));
            EXPECT_EQ(VertexBufferCount(), 14000);
        }
    }
    DeleteObjectCmd(9);
    EXPECT_TRUE(NoBuffersLeft());
}

// A first frame's buffers and fill are charged at load: triangles stacked on one spot fill the
// view thousands of times a frame, and each vertex size of its own opens a shared buffer of 65,535
// vertices. Such files are refused, leaving nothing; side by side, or in own buffers, they draw.
TEST_F(ObjectScene, LoadsPayForTheirFirstFramesBuffersAndFill) {
    TempFolder folder;
    const std::string stacked =
        ObjectFile(folder, "stacked.tlo", 1, false, [](int) { return Triangles(6500, 0, 1, 0); });
    const std::string band =
        ObjectFile(folder, "band.tlo", 1, false, [](int) { return Triangles(6500, 0, 1, 1); });
    const std::string layouts = ObjectFile(folder, "layouts.tlo", 50, false,
                                           [](int i) { return Triangles(1, 0, 1, 0, 32 + 4 * i); });
    const struct {
        const std::string& file;
        std::uint8_t ownBuffers;
        std::int32_t draws; // 0: refused
    } cases[] = {{stacked, 1, 0}, {band, 1, 1}, {layouts, 0, 0}, {layouts, 1, 50}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file + (c.ownBuffers ? " in own buffers" : " in shared buffers"));
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
