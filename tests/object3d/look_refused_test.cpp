// A normals, format, shading or light-map command whose k-th allocation is refused raises 7002 and
// leaves every mesh of the object as it was: its vertices, format and count, and its effect and
// slots; and every mesh, its own and those sharing its buffers, in the place it had.
#include "core/win32.h"

#include "object3d/appearance.h"
#include "object3d/lightmap_commands.h"
#include "object3d/lightmapper.h"
#include "object3d/vertex_editing.h"
#include "support/failing_heap.h"
#include "support/object_scene.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <new>
#include <string>
#include <vector>

namespace {

struct MeshLook {
    std::vector<std::uint8_t> vertices;
    std::uint32_t fvf, vertexSize;
    std::int32_t vertexCount, indexCount, textureCount;
    EffectBase* effect;
    IDirect3DBaseTexture9* firstStage; // a light-map page goes there
    bool operator==(const MeshLook&) const = default;
};

std::vector<MeshLook> LooksOf(std::int32_t n) {
    std::vector<MeshLook> looks;
    ForEachObjectMesh(g_Object3D.objects[n], [&](MeshRecord* m) {
        const std::size_t bytes = static_cast<std::size_t>(m->vertexCount) * m->vertexSize;
        looks.push_back({std::vector<std::uint8_t>(m->vertices, m->vertices + bytes), m->fvf,
                         m->vertexSize, m->vertexCount, m->indexCount, m->textureCount, m->effect,
                         m->textures ? m->textures[0].overrideTexture : nullptr});
    });
    return looks;
}

// The vertex buffer each mesh of the objects is placed in (null: none), each held here once more,
// so that one the manager lets go cannot come back at the same address.
class HeldPlaces {
public:
    explicit HeldPlaces(std::initializer_list<std::int32_t> objects) {
        for (std::int32_t n : objects)
            ForEachObjectMesh(g_Object3D.objects[n], [&](MeshRecord* m) {
                IDirect3DVertexBuffer9* b = m->drawItem ? m->drawItem->vertexBuffer : nullptr;
                if (b) b->AddRef();
                buffers_.push_back(b);
            });
    }
    ~HeldPlaces() {
        for (IDirect3DVertexBuffer9* b : buffers_)
            if (b) b->Release();
    }
    HeldPlaces(const HeldPlaces&) = delete;
    HeldPlaces& operator=(const HeldPlaces&) = delete;
    bool operator==(const HeldPlaces& o) const { return buffers_ == o.buffers_; }

private:
    std::vector<IDirect3DVertexBuffer9*> buffers_;
};

std::int32_t VertexEntries() {
    std::int32_t count = 0;
    for (const VertexBufferEntry* e = g_Object3D.manager.VertexBuffers(); e; e = e->next)
        ++count;
    return count;
}

bool SharesABuffer(std::int32_t a, std::int32_t b) {
    std::vector<const VertexBufferEntry*> entries;
    ForEachObjectMesh(g_Object3D.objects[a], [&](MeshRecord* m) {
        if (m->drawItem) entries.push_back(m->drawItem->vertexEntry);
    });
    bool shares = false;
    ForEachObjectMesh(g_Object3D.objects[b], [&](MeshRecord* m) {
        for (const VertexBufferEntry* e : entries)
            shares = shares || (m->drawItem && m->drawItem->vertexEntry == e);
    });
    return shares;
}

struct LookRow {
    const char* name;
    std::function<void()> call;
    std::function<void()> before = [] {}; // not refused
};

// The object listed and lit by one light; the list stays for the call.
void ListForLightMaps() {
    AddLightMapObject(1);
    AddLightMapLight(0, 5, 0, 50, 255, 255, 255, 100, 0);
}

// Two limbs, each its own box, both with rainbow shading, so that a refused call has an old
// effect to keep, and normals all turned up, so that recomputed ones differ.
void BuildShadedPair(std::int32_t n) {
    ASSERT_TRUE(CreateNewObjectWithLimbs(n, "pair", 2));
    FrameRecord* root = g_Object3D.objects[n]->rootFrame;
    ASSERT_TRUE(FillBoxMesh(root->mesh, D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1)));
    ASSERT_TRUE(FillBoxMesh(root->child->mesh, D3DXVECTOR3(1, 1, 1), D3DXVECTOR3(2, 2, 2)));
    ASSERT_TRUE(SetupNewObject(n, -1.0f));
    g_Object3D.objects[n]->ownBuffers = 0; // placed in shared buffers, with other objects' meshes
    SetRainbowShadingOn(n, 0);
    ForEachObjectMesh(g_Object3D.objects[n], [](MeshRecord* mesh) {
        for (std::int32_t v = 0; v < mesh->vertexCount; ++v)
            SetVertexNormal(mesh, v, 0, 1, 0);
    });
}

} // namespace

TEST_F(ObjectScene, RefusedLookChangesKeepEveryMeshAsItWas) {
    const std::vector<LookRow> rows = {
        {"SetObjectNormals", [] { SetObjectNormals(1); }},
        {"ConvertObjectFVF", [] { ConvertObjectFVF(1, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX2); }},
        {"SetCartoonShadingOn", [] { SetCartoonShadingOn(1, 0, 0); }},
        {"CreateLightMaps", [] { CreateLightMaps(nullptr, 8, 0); }, ListForLightMaps},
    };
    // The runtime keeps what its first exception's unwinding allocates: that one is thrown here.
    try {
        throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
    }
    for (const LookRow& row : rows) {
        int refused = 0;
        for (int k = 1; k < 4096; ++k) {
            const std::string what = std::string(row.name) + ", allocation " + std::to_string(k);
            // Object 2 shares object 1's buffers: a mate that a re-place must not unseat.
            BuildShadedPair(2);
            BuildShadedPair(1);
            const std::vector<MeshLook> before = LooksOf(1);
            const HeldPlaces placesBefore{1, 2};
            const std::int32_t entriesBefore = VertexEntries();
            ASSERT_TRUE(SharesABuffer(1, 2)) << what;
            ASSERT_EQ(before.size(), 2u);
            ASSERT_NE(before[0].effect, nullptr);
            row.before();
            const std::size_t lights = ModuleLightMapper().Lights().size();
            const std::size_t listed = ModuleLightMapper().Meshes().size();
            cell.number = 0;
            const std::int64_t held = failing_heap::Outstanding();
            const bool failed = failing_heap::CallFailing(k, row.call, what);
            if (failed) {
                ++refused;
                EXPECT_EQ(cell.number, 7002) << what;
                // Less is sound: what an earlier case left may go meanwhile.
                EXPECT_LE(failing_heap::Outstanding(), held) << what << ": it holds what it made";
                EXPECT_TRUE(LooksOf(1) == before) << what << ": a mesh changed";
                EXPECT_EQ(ModuleLightMapper().Lights().size(), lights) << what;
                EXPECT_EQ(ModuleLightMapper().Meshes().size(), listed) << what;
                EXPECT_TRUE(HeldPlaces({1, 2}) == placesBefore) << what << ": a mesh moved";
                EXPECT_EQ(VertexEntries(), entriesBefore) << what << ": new buffers are held";
            }
            cell.number = 0;
            DeleteObject(1);
            DeleteObject(2);
            DeleteLightMapLights();
            if (!failed) break;
        }
        EXPECT_GT(refused, 2) << row.name;
    }
}
