// Test levels of box meshes built in code, for the universe's tests.
#pragma once

#include "core/win32.h"

#include "object3d/mesh_textures.h"
#include "object3d/object_world.h"
#include "support/object_scene.h"
#include "universe/universe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

// The world the object module keeps.
inline Universe& World() {
    return *g_Object3D.universe;
}

// A box mesh with its bounds computed and one texture slot naming the texture.
inline MeshRecord* BoxMesh(const D3DXVECTOR3& low, const D3DXVECTOR3& high,
                           const char* texture = "stone.png") {
    auto* mesh = new MeshRecord;
    EXPECT_TRUE(FillBoxMesh(mesh, low, high));
    EXPECT_TRUE(EnsureMeshTextureCount(mesh, 0));
    std::strncpy(mesh->textures[0].fileName, texture, kRecordNameLength - 1);
    CalculateMeshBounds(mesh);
    return mesh;
}

// Hands the mesh to the world as a level mesh of the collision kind and value, colliding with
// its own triangles.
inline MeshRecord* AddLevelMesh(MeshRecord* mesh, std::int32_t kind, std::int32_t value = 0) {
    mesh->collisionKind = kind;
    mesh->collisionValue = value;
    World().levelMeshes.push_back(mesh);
    World().collisionModes.push_back(0);
    World().collisionMeshes.push_back(nullptr);
    return mesh;
}

// Two rooms of 3 x 2 cells (100-unit cells centred on multiples of 100) on either side of the
// plane z = 50: room A holds z = 100, room B z = -100 and 0. A wall closes the plane but for a
// doorway at x = 0, one solid panel a cell face.
inline void BuildDoorwayLevel() {
    CreateUniverse(1050, 1050, 1050);
    for (float x : {-100.0f, 100.0f})
        for (float y : {0.0f, 100.0f})
            AddLevelMesh(
                BoxMesh(D3DXVECTOR3(x - 50, y - 50, 49.5f), D3DXVECTOR3(x + 50, y + 50, 50.5f)), 2,
                7);
    World().Build();
}

// A portal into the neighbour through side 0 with a quad 2000 wide at z = 50 and a box larger
// still: every frustum and facing test from near the origin passes it.
inline std::unique_ptr<UniversePortal> WidePortal(std::int32_t neighbour) {
    auto portal = std::make_unique<UniversePortal>();
    portal->neighbour = neighbour;
    portal->side = kSideMinusZ;
    portal->centre = D3DXVECTOR3(0, 0, 50);
    portal->halfExtents = D3DXVECTOR3(1000, 1000, 1000);
    // The quad in the order of side 0's corners: X+Y+, X-Y+, X-Y-, X+Y-.
    const float xs[4] = {1000, -1000, -1000, 1000}, ys[4] = {1000, 1000, -1000, -1000};
    for (int k = 0; k < 4; ++k)
        portal->corners[k] = D3DXVECTOR3(xs[k], ys[k], 50);
    return portal;
}

class UniverseTables : public ObjectTables {};
class UniverseScene : public ObjectScene {};
