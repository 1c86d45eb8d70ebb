// The static level world that object collision queries and the object manager draws before its
// layers. The object module keeps the one pointer to it, null until a world is built, and deletes
// it at its Destructor.
// Stand-in until the universe is built: an empty world that draws and holds nothing, and whose
// queries find nothing. Its data members are what the object module reads, so callers stay put
// when the world fills them.
#pragma once

#include "core/win32.h"

#include <cstdint>
#include <vector>

struct CollisionRayResult;
struct MeshRecord;
struct ObjectRecord;

// One area of the world; lights are placed by the first area whose box holds them.
struct UniverseArea {
    D3DXVECTOR3 boxMin{0, 0, 0};
    D3DXVECTOR3 boxMax{0, 0, 0};
};

// A world mesh found in a box; the lightmapper takes type 3 as an occluder.
struct UniverseMeshEntry {
    MeshRecord* mesh = nullptr;
    std::int32_t type = 0;
};

class Universe {
public:
    Universe() = default;
    ~Universe() = default;
    Universe(const Universe&) = delete;
    Universe& operator=(const Universe&) = delete;

    // The world's own draw, before the object layers.
    void Render() {}
    // Takes the object out of the world's static-object list.
    void RemoveStaticObject(ObjectRecord*) {}
    // Adds the world's area entries to the list.
    void GatherAreaEntries(void*) {}

    // Tests a box from an area through the portals, leaving the plane sets reached in
    // reachedPlaneSets; true when the box touches the world.
    bool CollideBox(std::int32_t /*startArea*/, const D3DXVECTOR3& /*centre*/,
                    const D3DXVECTOR3& /*halfExtents*/) {
        reachedPlaneSets.clear();
        return false;
    }
    // Replaces the list with the world meshes inside the box.
    void GatherMeshesInBox(const D3DXVECTOR3& /*boxMin*/, const D3DXVECTOR3& /*boxMax*/,
                           std::vector<UniverseMeshEntry>& found) {
        found.clear();
    }
    // Fills the ray result block when the segment hits the world; the block is left alone on a
    // miss.
    bool IntersectRay(const D3DXVECTOR3& /*from*/, const D3DXVECTOR3& /*to*/,
                      CollisionRayResult& /*result*/) {
        return false;
    }

    // The number of floats in collisionFloats, as the collision block reports it.
    std::int32_t CollisionFloatCount() const {
        return static_cast<std::int32_t>(collisionFloats.size());
    }

    // The collision triangles for the sliding solver: nine floats each (corners A, B, C as x, y,
    // z), and each triangle's tag, which a slide reports for the triangle it touched.
    std::vector<float> collisionFloats;
    std::vector<std::int32_t> collisionTags;
    // Read by GetStatistic codes 6 to 9; the last two are reset as they are read.
    std::int32_t statistics[4] = {};
    std::vector<UniverseArea> areas;
    // The world's meshes, owned by the world; the lightmapper takes them all.
    std::vector<MeshRecord*> meshes;
    // The portal plane set numbers that the last CollideBox reached.
    std::vector<std::int32_t> reachedPlaneSets;
};
