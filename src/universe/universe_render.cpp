// The world's draw: the area holding camera 0, the walk through the portals with a frustum that
// narrows at each one, the static objects' visibility, the decal ring and its quads, and the
// lights' shadow volumes.
#include "core/win32.h"

#include "universe/universe.h"
#include "universe/universe_frustum.h"
#include "camera/camera_record.h"
#include "object3d/frustum.h"
#include "object3d/object3d.h"
#include "object3d/object_state.h"
#include "object3d/vertex_layout.h"

#include <algorithm>

namespace {

// The frame stamp counts up to 65535, then starts again at 0.
constexpr std::int32_t kLastFrameStamp = 65535;
// Static objects are placed by a point this far above their origin.
constexpr float kStaticObjectLift = 5.0f;
// Areas one frame's walk may enter: a dense portal graph has more paths than any level needs,
// and each path costs a frustum.
constexpr std::int32_t kMostDrawSteps = 4096;
// Portals and cells one frame's walk may look at: an area of many portals or cells costs its
// count at every entry, so the entries alone bound nothing.
constexpr std::int32_t kMostDrawLooks = 1 << 17;
// A decal's corners are tested this far either side of the surface.
constexpr float kDecalProbe = 0.2f;
constexpr float kDegreesToRadians = 0.01745329f;
// The ring's corner order: the quads' texture corners (0, 0), (1, 0), (0, 1), (1, 1), placed so
// that each quad's triangles wind clockwise seen from the side its normal faces.
const float kDecalCornerSigns[4][2] = {{1, 1}, {-1, 1}, {1, -1}, {-1, -1}};

bool PointInBox(const D3DXVECTOR3& p, const D3DXVECTOR3& low, const D3DXVECTOR3& high) {
    return BoxesOverlap(p, p, low, high);
}

// Calls fn on every mesh the area draws from its batches, second batches and shared holders.
template <typename Fn> void ForEachBatchMesh(UniverseArea& area, Fn&& fn) {
    for (auto* list : {&area.batches, &area.secondBatches})
        for (const std::unique_ptr<UniverseBatch>& holder : *list)
            if (holder && holder->mesh) fn(holder->mesh);
    for (UniverseBatch* holder : area.sharedMeshes)
        if (holder && holder->mesh) fn(holder->mesh);
}

// After the stamp starts again at 0, a mesh stamped 0 a cycle ago (or never drawn) would be
// taken for one drawn this frame.
void ForgetMeshStamps(Universe& world) {
    for (const std::unique_ptr<UniverseArea>& area : world.areas) {
        if (!area) continue;
        ForEachBatchMesh(*area, [](MeshRecord* mesh) { mesh->frameStamp = -1; });
        for (UniverseNode* cell : area->cells)
            if (cell)
                for (MeshRecord* mesh : cell->meshes)
                    if (mesh) mesh->frameStamp = -1;
    }
}

// The 1-based area holding the point, 0 when none does.
std::int32_t FindAreaHolding(const Universe& world, const D3DXVECTOR3& point) {
    for (std::size_t i = 0; i < world.areas.size(); ++i) {
        const UniverseArea* area = world.areas[i].get();
        if (area && PointInBox(point, area->minimum, area->maximum))
            return static_cast<std::int32_t>(i) + 1;
    }
    return 0;
}

// The camera's area stays current while it holds the camera; else the first that does, else the
// last one found.
void UpdateCurrentArea(const Universe& world, const D3DXVECTOR3& eye) {
    std::int32_t& current = g_Universe.currentArea;
    const std::int32_t count = static_cast<std::int32_t>(world.areas.size());
    if (current > 0 && current <= count && world.areas[current - 1] &&
        PointInBox(eye, world.areas[current - 1]->minimum, world.areas[current - 1]->maximum))
        return;
    if (const std::int32_t found = FindAreaHolding(world, eye)) current = found;
}

// Static objects are drawn where their area was seen this frame, and always while animated.
void UpdateStaticObjects(const Universe& world) {
    const std::int32_t count = static_cast<std::int32_t>(world.areas.size());
    for (ObjectRecord* object : world.staticObjects) {
        if (!object) continue;
        D3DXVECTOR3 point = object->position.position;
        point.y += kStaticObjectLift;
        std::int32_t& index = object->universeArea;
        const bool cached =
            index >= 0 && index < count && world.areas[index] &&
            PointInBox(point, world.areas[index]->minimum, world.areas[index]->maximum);
        if (!cached) index = FindAreaHolding(world, point) - 1;
        if (index < 0) continue;
        object->universeVisible =
            object->startFrame <= 0 && object->currentFrame > 0 ? 1 : world.areas[index]->drawn;
    }
}

} // namespace

bool Universe::Render() {
    if (!created || !root) return false;
    ResetWorldTransform();
    const CameraBridge& cameras = g_Object3D.cameras;
    view = cameras.getInternalData ? cameras.getInternalData(0) : nullptr;
    if (view) UpdateCurrentArea(*this, view->position);
    for (const std::unique_ptr<UniverseArea>& area : areas)
        if (area) area->drawn = 0;
    const std::int32_t current = g_Universe.currentArea;
    if (view && current > 0 && current <= static_cast<std::int32_t>(areas.size())) {
        if (++frame > kLastFrameStamp) {
            frame = 0;
            ForgetMeshStamps(*this);
        }
        std::fill(cellFlags.begin(), cellFlags.end(), std::uint8_t{0});
        BuildViewFrustum(0.0f);
        g_Object3D.manager.ResetRenderStates();
        visitedAreas[0] = current - 1;
        drawSteps_ = drawLooks_ = 0;
        RenderPortals(-1, 0, current - 1);
    }
    UpdateStaticObjects(*this);
    if (decalMesh) g_Object3D.manager.DrawMesh(decalMesh);
    if (debugDraw[0]) {
        DrawNodeBounds();
        if (rayTested) DrawRecordSegmentLine(raySegment[0], raySegment[1]);
    }
    // The debug drawing went round the manager's state cache, and the layers draw next.
    g_Object3D.manager.ResetStateCache();
    view = nullptr; // the camera's record is not the world's to keep
    return true;
}

bool Universe::RenderPortals(std::int32_t previous, std::int32_t depth, std::int32_t index) {
    if (index < 0 || index >= static_cast<std::int32_t>(areas.size()) || !areas[index]) return true;
    if (++drawSteps_ > kMostDrawSteps || drawLooks_ > kMostDrawLooks) return true;
    UniverseArea& area = *areas[index];
    DrawArea(depth, area);
    // The walk stops at the last depth and never enters an area already on its path, so it ends
    // on every portal graph.
    if (depth + 1 >= kUniversePortalDepths || !view) return true;
    const D3DXVECTOR3& eye = view->position;
    for (const std::unique_ptr<UniversePortal>& portal : area.portals) {
        if (++drawLooks_ > kMostDrawLooks) break;
        if (!portal) continue;
        const std::int32_t target = portal->neighbour;
        if (depth > 0 && !PortalFacing(*portal, &eye)) continue;
        if (target == previous) continue;
        const D3DXVECTOR3& c = portal->centre;
        const D3DXVECTOR3& h = portal->halfExtents;
        if (!CheckBoxInFrustum(depth, c.x, c.y, c.z, h.x, h.y, h.z)) continue;
        if (std::find(visitedAreas, visitedAreas + depth + 1, target) != visitedAreas + depth + 1)
            continue;
        SavedFrustum saved(depth);
        BuildFrustumFromPoints(depth + 1, &eye, &portal->corners[0], &portal->corners[1],
                               &portal->corners[2], &portal->corners[3], false);
        visitedAreas[depth + 1] = target;
        RenderPortals(index, depth + 1, target);
    }
    return true;
}

bool Universe::DrawArea(std::int32_t depth, UniverseArea& area) {
    CoreData* core = g_Object3D.core;
    const std::int32_t polygons = core ? core->drawnPolygons : 0;
    const std::int32_t calls = core ? core->drawCalls : 0;
    ObjectManager& manager = g_Object3D.manager;
    const auto draw = [&](MeshRecord* mesh) {
        if (!mesh || mesh->frameStamp == frame) return;
        mesh->frameStamp = frame;
        mesh->wireframe = debugDraw[1] ? 1 : 0;
        manager.DrawMesh(mesh);
    };
    if (!textureMeshes.empty()) {
        // Every batch mesh was drawn at the area's first entry this frame: another entry through
        // another portal has nothing left to draw.
        if (!area.drawn) ForEachBatchMesh(area, draw);
    } else {
        drawLooks_ +=
            static_cast<std::int32_t>(std::min<std::size_t>(area.cells.size(), kMostDrawLooks));
        for (UniverseNode* cell : area.cells) {
            if (!cell) continue;
            // A loaded world has no grid, so its cells have no visited byte.
            const bool flagged = cell->gridIndex >= 0 &&
                                 static_cast<std::size_t>(cell->gridIndex) < cellFlags.size();
            if (flagged && cellFlags[cell->gridIndex]) continue;
            const D3DXVECTOR3& c = cell->centre;
            const D3DXVECTOR3& h = cell->halfExtents;
            if (!CheckBoxInFrustum(depth, c.x, c.y, c.z, h.x, h.y, h.z)) continue;
            for (MeshRecord* mesh : cell->meshes)
                draw(mesh);
            if (flagged) cellFlags[cell->gridIndex] = 1;
        }
    }
    if (depth == 0 && core) {
        statistics[0] = core->drawnPolygons - polygons;
        statistics[1] = core->drawCalls - calls;
    }
    area.drawn = 1;
    return true;
}

void Universe::DrawLightShadows() {
    // Without volumes the object passes' states are left alone.
    if (std::all_of(lights.begin(), lights.end(),
                    [](const UniverseLight& light) { return light.shadowMeshes.empty(); }))
        return;
    ObjectManager& manager = g_Object3D.manager;
    ResetWorldTransform();
    manager.ResetStateCache();
    manager.SetShadowVolumeStates();
    for (const UniverseLight& light : lights)
        for (MeshRecord* shadow : light.shadowMeshes)
            if (shadow) manager.DrawShadowVolumes(0, nullptr, shadow);
    manager.EndShadowStates();
}

void Universe::AddDecalQuad(float size, std::int32_t frameNumber) {
    MeshRecord* mesh = decalMesh;
    MeshRecord* surface = rayContact.mesh;
    if (!mesh || !mesh->vertices || !surface) return;
    const std::int32_t tile = std::clamp(frameNumber, 0, std::max(decalLastFrame, 0));
    const std::int32_t across = std::max(decalAcross, 1);
    const float u0 = static_cast<float>(tile % across) * decalTileWidth;
    const float v0 = static_cast<float>(tile / across) * decalTileHeight;

    const D3DXVECTOR3 origin(0, 0, 0), normal = rayContact.normal;
    D3DXVECTOR3 angles;
    GetAnglesToPoint(&origin, &normal, &angles);
    D3DXMATRIX turn;
    D3DXMatrixRotationYawPitchRoll(&turn, angles.y * kDegreesToRadians,
                                   angles.x * kDegreesToRadians, angles.z * kDegreesToRadians);
    D3DXVECTOR3 corners[4];
    const float half = size * 0.5f;
    for (int k = 0; k < 4; ++k) {
        const D3DXVECTOR3 local(kDecalCornerSigns[k][0] * half, kDecalCornerSigns[k][1] * half, 0);
        D3DXVec3TransformCoord(&corners[k], &local, &turn);
        corners[k] += rayContact.point;
        const D3DXVECTOR3 probe = normal * kDecalProbe;
        if (!MeshRayHit(surface, corners[k] + probe, corners[k] - probe)) return;
    }
    // The ring starts again where a quad would pass its last vertex.
    const std::int32_t limit = std::min(mesh->vertexCount, kBatchVertexLimit);
    if (decalCursor < 0 || (decalCursor & ~3) + 4 > limit) decalCursor = 0;
    if (limit < 4) return;
    const std::int32_t first = decalCursor;
    auto* words = reinterpret_cast<float*>(mesh->vertices);
    for (int k = 0; k < 4; ++k)
        SetVertexPositionNormal(mesh->fvf, words, first + k, corners[k].x, corners[k].y,
                                corners[k].z, u0 + (k & 1 ? decalTileWidth : 0),
                                v0 + (k & 2 ? decalTileHeight : 0));
    decalCursor = first + 4;
    if ((decalCursor & ~3) + 4 > limit) decalCursor = 0;
    mesh->drawPrimitiveCount = std::max(mesh->drawPrimitiveCount, (first + 4) / 2);
    // The draw item keeps its own count, within the ring's index list.
    if (mesh->drawItem)
        mesh->drawItem->primitiveCount = std::min(mesh->drawPrimitiveCount, mesh->indexCount / 3);
    CopyMeshVertexRangeToBuffer(mesh, first, first + 4);
}
