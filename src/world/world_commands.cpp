#include "core/win32.h"

#include "world/world.h"
#include "core/core.h"
#include "world/level_collision.h"
#include "world/world_collision.h"
#include "world/world_level.h"
#include "world/world_state.h"

namespace {

// The one check of a slot number: 1 to 24, else 7154.
bool CheckSlot(std::int32_t slot) {
    if (slot >= 1 && slot < kWorldSlots) return true;
    RaiseRuntimeError(kWorldBadSlot);
    return false;
}

// The provider that serves the commands while a level of its kind is loaded; null otherwise.
WorldProvider* ServingProvider() {
    const std::int32_t kind = g_World.kind;
    return kind == kWorldKind1 || kind == kWorldKind2 ? &WorldProviderOf(kind) : nullptr;
}

WorldCollisionSlot& Slot(std::int32_t slot) {
    return g_World.slots[static_cast<std::size_t>(slot)];
}

void SetSphere(std::int32_t slot, std::int32_t entityKind, std::int32_t entity, float radius,
               std::int32_t response) {
    if (!CheckSlot(slot)) return;
    WorldCollisionSlot& s = Slot(slot);
    s.entityKind = entityKind;
    s.entity = entity;
    s.radius = radius;
    s.response = response;
    s.hit = 0;
    g_World.active[static_cast<std::size_t>(slot)] = 1;
    ProcessWorldCollisionSlot(slot);
}

void SetEllipsoid(std::int32_t slot, std::int32_t entityKind, std::int32_t entity, float x, float y,
                  float z) {
    WorldCollisionSlot& s = Slot(slot);
    s.entityKind = entityKind;
    s.entity = entity;
    s.radius = -1.0f;
    s.radii[0] = x, s.radii[1] = y, s.radii[2] = z;
    g_World.active[static_cast<std::size_t>(slot)] = 1;
    ProcessWorldCollisionSlot(slot);
}

float Correction(std::int32_t slot, int axis) {
    if (!CheckSlot(slot)) return 0.0f;
    if (WorldProvider* p = ServingProvider()) {
        // Kind 2 has no corrections of its own.
        if (g_World.kind != kWorldKind1 || !p->correction[axis]) return 0.0f;
        return p->correction[axis](slot);
    }
    return Slot(slot).correction[axis];
}

// The entity's position through the camera or object entries the module keeps.
bool EntityPosition(const WorldCollisionSlot& s, float (&at)[3]) {
    const WorldBridges& b = g_World.bridges;
    float (*get[3])(std::int32_t) = {s.entityKind == 1 ? b.cameraX : b.objectX,
                                     s.entityKind == 1 ? b.cameraY : b.objectY,
                                     s.entityKind == 1 ? b.cameraZ : b.objectZ};
    for (int k = 0; k < 3; ++k) {
        if (!get[k]) return false;
        at[k] = get[k](s.entity);
    }
    at[1] -= s.heightOffset;
    return true;
}

// Puts the slot's entity at a swept position, the height offset added back.
void PlaceEntity(const WorldCollisionSlot& s, const float (&at)[3]) {
    const WorldBridges& b = g_World.bridges;
    const float y = at[1] + s.heightOffset;
    if (s.entityKind == 1) {
        if (b.positionCamera) b.positionCamera(s.entity, at[0], y, at[2]);
    } else if (b.positionObject) {
        b.positionObject(s.entity, at[0], y, at[2]);
    }
}

} // namespace

void ResetWorldCollisionSlots() {
    g_World.slots.fill(WorldCollisionSlot{});
    g_World.active.fill(0);
}

void ProcessWorldCollisionSlot(std::int32_t slot) {
    WorldCollisionSlot& s = Slot(slot);
    float at[3];
    if (!EntityPosition(s, at)) return;
    std::copy(at, at + 3, s.previous);
    // A recorded start is where the next step sweeps from: were the first step to take the
    // entity's new place as its start, a camera put into a wall right after its slot was set up
    // would be left there.
    s.started = 1;
}

void UpdateWorldCollisionSlot(std::int32_t slot) {
    if (WorldLevelData().vertices.empty() || !g_World.active[static_cast<std::size_t>(slot)])
        return;
    WorldCollisionSlot& s = Slot(slot);
    float wanted[3];
    if (!EntityPosition(s, wanted)) return;
    std::copy(wanted, wanted + 3, s.wanted);
    if (!s.started) {
        std::copy(wanted, wanted + 3, s.previous);
        s.started = 1;
    }
    const D3DXVECTOR3 radii = s.radius == -1.0f ? D3DXVECTOR3(s.radii[0], s.radii[1], s.radii[2])
                                                : D3DXVECTOR3(s.radius, s.radius, s.radius);
    D3DXVECTOR3 reached;
    const std::int32_t contact = CollideWithLevel(D3DXVECTOR3(s.previous), D3DXVECTOR3(wanted),
                                                  radii, &reached, kLevelSlideDepth, s.threshold);
    s.wanted[0] = reached.x, s.wanted[1] = reached.y, s.wanted[2] = reached.z;
    for (int k = 0; k < 3; ++k)
        s.correction[k] = s.wanted[k] - wanted[k];
    if (!contact) return;
    s.hit = 1;
    if (s.response == 0)
        PlaceEntity(s, s.wanted);
    else if (s.response == 1)
        PlaceEntity(s, s.previous);
}

void WorldCollisionUpdate() {
    for (std::int32_t slot = 0; slot < kWorldSlots; ++slot)
        UpdateWorldCollisionSlot(slot);
}

void WorldCollisionStart() {
    for (std::int32_t slot = 0; slot < kWorldSlots; ++slot)
        if (g_World.active[static_cast<std::size_t>(slot)]) ProcessWorldCollisionSlot(slot);
}

void SetWorldCamera(std::int32_t camera) {
    if (WorldProvider* p = ServingProvider()) {
        if (p->setCamera) p->setCamera(camera);
        return;
    }
    g_World.camera = camera;
}

void SetWorldCollisionSphere(std::int32_t slot, std::int32_t camera, float radius,
                             std::int32_t response) {
    SetSphere(slot, 1, camera, radius, response);
}

void SetWorldObjectCollisionSphere(std::int32_t slot, std::int32_t object, float radius,
                                   std::int32_t response) {
    SetSphere(slot, 0, object, radius, response);
}

void SetWorldCollisionEllipsoid(std::int32_t slot, std::int32_t camera, float x, float y, float z) {
    if (!CheckSlot(slot)) return;
    if (WorldProvider* p = ServingProvider()) {
        if (p->setEllipsoid) p->setEllipsoid(slot, camera, x, y, z);
        return;
    }
    SetEllipsoid(slot, 1, camera, x, y, z);
}

void SetWorldObjectCollisionEllipsoid(std::int32_t slot, std::int32_t object, float x, float y,
                                      float z) {
    if (!CheckSlot(slot)) return;
    if (WorldProvider* p = ServingProvider()) {
        if (p->setObjectEllipsoid) p->setObjectEllipsoid(slot, object, x, y, z);
        return;
    }
    SetEllipsoid(slot, 0, object, x, y, z);
}

void SetWorldCollisionOffset(std::int32_t slot, float offset) {
    if (!CheckSlot(slot)) return;
    if (WorldProvider* p = ServingProvider()) {
        if (p->setOffset) p->setOffset(slot, offset);
        return;
    }
    Slot(slot).heightOffset = offset;
    ProcessWorldCollisionSlot(slot);
}

void SetWorldCollisionThreshold(std::int32_t slot, float value) {
    if (!CheckSlot(slot)) return;
    if (WorldProvider* p = ServingProvider()) {
        if (p->setThreshold) p->setThreshold(slot, value);
        return;
    }
    Slot(slot).threshold = value;
}

void DisableWorldCollision(std::int32_t slot) {
    if (!CheckSlot(slot)) return;
    if (WorldProvider* p = ServingProvider()) {
        if (p->disable) p->disable(slot);
        return;
    }
    g_World.active[static_cast<std::size_t>(slot)] = 0;
}

void UpdateWorldCollision(std::int32_t slot) {
    if (!CheckSlot(slot)) return;
    if (WorldProvider* p = ServingProvider()) {
        // Kind 2's step does nothing.
        if (g_World.kind == kWorldKind1 && p->step) p->step(slot);
        return;
    }
    UpdateWorldCollisionSlot(slot);
}

std::int32_t WorldCollisionHit(std::int32_t slot) {
    if (!CheckSlot(slot)) return 0;
    if (WorldProvider* p = ServingProvider()) return p->hit ? p->hit(slot) : 0;
    WorldCollisionSlot& s = Slot(slot);
    if (!s.hit) return 0;
    s.hit = 0;
    return 1;
}

float WorldCollisionX(std::int32_t slot) {
    return Correction(slot, 0);
}
float WorldCollisionY(std::int32_t slot) {
    return Correction(slot, 1);
}
float WorldCollisionZ(std::int32_t slot) {
    return Correction(slot, 2);
}
