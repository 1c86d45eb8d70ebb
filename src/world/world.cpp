#include "core/win32.h"

#include "world/world.h"
#include "camera/camera.h"
#include "core/core.h"
#include "display/display.h"
#include "object3d/positioning.h"
#include "world/pk3_archive.h"
#include "world/shader_table.h"
#include "world/world_collision.h"
#include "world/world_level.h"
#include "world/world_render.h"
#include "world/world_state.h"
#include "world/world_textures.h"

WorldState g_World;

namespace {

void StoreBridges() {
    WorldBridges& b = g_World.bridges;
    b.getDevice = GetDirect3DDevice;
    b.positionCamera = PositionCameraExport;
    b.cameraX = GetCameraPositionX;
    b.cameraY = GetCameraPositionY;
    b.cameraZ = GetCameraPositionZ;
    b.positionObject = PositionObjectExport;
    b.objectX = GetObjectWorldPositionX;
    b.objectY = GetObjectWorldPositionY;
    b.objectZ = GetObjectWorldPositionZ;
    b.cameraData = GetCameraInternalData;
}

IDirect3DDevice9* TakeDevice() {
    return g_World.bridges.getDevice ? g_World.bridges.getDevice() : nullptr;
}

// The level's lightmaps again, from the brightened lump the level keeps.
void RemakeLevelLightmaps() {
    const WorldLevel& level = WorldLevelData();
    for (std::size_t i = 0; i < level.lightmapTextures.size(); ++i) {
        if (level.lightmapTextures[i] < 0) continue;
        RemakeLightmapTexture(level.lightmapTextures[i], kLightmapSide, kLightmapSide, 24,
                              level.file.lightmaps.data() + i * kLightmapBytes, kLightmapBytes);
    }
}

} // namespace

ArchiveFileList& WorldLevelFiles() {
    return g_World.levelFiles;
}

WorldProvider& WorldProviderOf(std::int32_t kind) {
    return g_World.providers[kind == kWorldKind2 ? 1 : 0];
}

void WorldConstructor(HMODULE, HMODULE, HMODULE, HMODULE) {
    StoreBridges();
    g_World.device = TakeDevice();
    ResetWorldCollisionSlots();
}

void WorldDestructor() {
    FreeWorld();
    // The archives stay open between levels; a stopped module lets them go.
    CloseZipArchives();
    FreeWorldFileTable();
}

void WorldSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}

void WorldPassCoreData(CoreData* core) {
    g_World.core = core;
    StoreBridges();
    if (!g_World.device) g_World.device = TakeDevice();
    g_World.camera = 0;
}

void WorldRefreshD3D(std::int32_t mode) {
    if (mode == 0) {
        ReleaseWorldTextureObjects();
        g_World.device = nullptr;
    } else if (mode == 1) {
        // Each mode change brings a new device: what the old one held is made again on it.
        g_World.device = TakeDevice();
        RemakeWorldTextureObjects();
        RemakeLevelLightmaps();
    }
}

void WorldUpdate() {
    UpdateWorld();
}

void UpdateWorld() {
    g_World.device = TakeDevice();
    if (!g_World.device) return;
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    g_World.device->SetTransform(D3DTS_WORLD, &identity);
    BeginWorldRenderStates();
    RenderWorld();
    EndWorldRenderStates();
}

void FreeWorld() {
    for (std::int32_t kind : {kWorldKind1, kWorldKind2})
        if (WorldProviderOf(kind).release) WorldProviderOf(kind).release();
    ClearArchiveFileList(g_World.levelFiles);
    FreeWorldTable();
    ClearWorldTextures();
    FreeLevelData();
    g_World.kind = kWorldNone;
    g_World.flags &= ~kLevelLoaded;
}

std::int32_t GetWorldKind() {
    return g_World.kind;
}

bool WorldLevelLoaded() {
    return (g_World.flags & kLevelLoaded) != 0;
}
