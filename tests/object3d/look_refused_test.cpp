// A normals, format or shading command whose k-th allocation is refused raises 7002 and leaves
// every mesh of the object as it was: its vertices, format and count, and its effect and slots.
#include "core/win32.h"

#include "object3d/appearance.h"
#include "object3d/vertex_editing.h"
#include "support/failing_heap.h"
#include "support/object_scene.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

struct MeshLook {
    std::vector<std::uint8_t> vertices;
    std::uint32_t fvf, vertexSize;
    std::int32_t vertexCount, textureCount;
    EffectBase* effect;
    bool operator==(const MeshLook&) const = default;
};

std::vector<MeshLook> LooksOf(std::int32_t n) {
    std::vector<MeshLook> looks;
    ForEachObjectMesh(g_Object3D.objects[n], [&](MeshRecord* m) {
        const std::size_t bytes = static_cast<std::size_t>(m->vertexCount) * m->vertexSize;
        looks.push_back({std::vector<std::uint8_t>(m->vertices, m->vertices + bytes), m->fvf,
                         m->vertexSize, m->vertexCount, m->textureCount, m->effect});
    });
    return looks;
}

struct LookRow {
    const char* name;
    std::function<void()> call;
};

// Two limbs, each its own box, both with rainbow shading, so that a refused call has an old
// effect to keep, and normals all turned up, so that recomputed ones differ.
void BuildShadedPair(std::int32_t n) {
    ASSERT_TRUE(CreateNewObjectWithLimbs(n, "pair", 2));
    FrameRecord* root = g_Object3D.objects[n]->rootFrame;
    ASSERT_TRUE(FillBoxMesh(root->mesh, D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1)));
    ASSERT_TRUE(FillBoxMesh(root->child->mesh, D3DXVECTOR3(1, 1, 1), D3DXVECTOR3(2, 2, 2)));
    ASSERT_TRUE(SetupNewObject(n, -1.0f));
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
    };
    for (const LookRow& row : rows) {
        int refused = 0;
        for (int k = 1; k < 4096; ++k) {
            const std::string what = std::string(row.name) + ", allocation " + std::to_string(k);
            BuildShadedPair(1);
            const std::vector<MeshLook> before = LooksOf(1);
            ASSERT_EQ(before.size(), 2u);
            ASSERT_NE(before[0].effect, nullptr);
            cell.number = 0;
            const bool failed = failing_heap::CallFailing(k, row.call, what);
            if (failed) {
                ++refused;
                EXPECT_EQ(cell.number, 7002) << what;
                EXPECT_TRUE(LooksOf(1) == before) << what << ": a mesh changed";
            }
            cell.number = 0;
            DeleteObject(1);
            if (!failed) break;
        }
        EXPECT_GT(refused, 2) << row.name;
    }
}
