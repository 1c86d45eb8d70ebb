// Mesh items for the tests of the mesh item and vertex-data commands.
#pragma once

#include "support/object_scene.h"

#include <gtest/gtest.h>

// Mesh item n: the box from low to high (FVF 0x112, 24 vertices, 36 indices).
inline void BoxMeshItem(std::int32_t n, const D3DXVECTOR3& low = {-1, -1, -1},
                        const D3DXVECTOR3& high = {1, 1, 1}) {
    ASSERT_TRUE(ResizeMeshArray(n));
    auto* mesh = new MeshRecord;
    ASSERT_TRUE(FillBoxMesh(mesh, low, high));
    delete g_Object3D.meshes[n];
    g_Object3D.meshes[n] = mesh;
}
