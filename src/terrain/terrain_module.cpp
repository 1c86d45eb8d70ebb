#include "core/win32.h"

#include "terrain/terrain.h"
#include "camera/camera.h"
#include "core/core.h"
#include "core/item_lookup.h"
#include "display/display.h"
#include "object3d/object3d.h"
#include "terrain/terrain_state.h"

TerrainState g_Terrain;

namespace {

template <typename T> void ReleaseOnce(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

void TakeOtherModules() {
    g_Terrain.autoFocus = GetCameraBridge().autoFocus;
    g_Terrain.vectors = GetVectorEntries();
}

// A tile image made again under its number is drawn anew by every matrix that shows it.
void TerrainKeepsImages(const ItemNotice& notice) {
    for (IdListNode* node = g_Terrain.matrices.first; node; node = node->next)
        TakeRemadeTexture(static_cast<TerrainMatrixRecord*>(node->data)->textures[0], notice);
}

} // namespace

TerrainMatrixRecord* FindTerrainMatrix(std::int32_t n) {
    g_Terrain.looked = static_cast<TerrainMatrixRecord*>(g_Terrain.matrices.Find(n));
    return g_Terrain.looked;
}

bool SelectTerrainMatrix(std::int32_t n) {
    TerrainMatrixRecord* r = FindTerrainMatrix(n);
    if (r) g_Terrain.current = r;
    return r != nullptr;
}

TerrainMatrixRecord* CheckedTerrainMatrix(std::int32_t n) {
    g_Terrain.looked = nullptr;
    TerrainMatrixRecord* r = CheckedItem(n, kTerrainNumbers, FindTerrainMatrix);
    if (r) g_Terrain.current = r;
    return r;
}

void AddTerrainMatrix(TerrainMatrixRecord* record, std::int32_t n) {
    if (TerrainMatrixRecord* old = FindTerrainMatrix(n)) {
        DeleteTerrainMatrixEntry(n);
        FreeTerrainMatrixRecord(old);
    }
    if (g_Terrain.matrices.Add(n, record, 1, 0) == 0) FreeTerrainMatrixRecord(record);
}

void DeleteTerrainMatrixEntry(std::int32_t n) {
    TerrainMatrixRecord* r = static_cast<TerrainMatrixRecord*>(g_Terrain.matrices.Find(n));
    g_Terrain.matrices.Delete(n);
    // No pointer may outlive the record it points to.
    if (g_Terrain.current == r) g_Terrain.current = nullptr;
    if (g_Terrain.looked == r) g_Terrain.looked = nullptr;
}

void FreeTerrainMatrixRecord(TerrainMatrixRecord* r) {
    if (!r) return;
    ReleaseOnce(r->indexBuffer);
    if (r->splitBuffers) {
        for (std::uint32_t k = 0; k <= r->splitCount; ++k)
            ReleaseOnce(r->splitBuffers[k]);
        delete[] r->splitBuffers;
    }
    ReleaseOnce(r->vertexBuffer);
    for (IDirect3DTexture9*& texture : r->textures)
        ReleaseOnce(texture);
    delete[] r->points;
    delete[] r->shiftScratch;
    delete[] r->shiftTiles;
    delete r;
}

void DeleteAllTerrainMatrices() {
    while (IdListNode* node = g_Terrain.matrices.first) {
        auto* r = static_cast<TerrainMatrixRecord*>(node->data);
        DeleteTerrainMatrixEntry(node->id);
        FreeTerrainMatrixRecord(r);
    }
    g_Terrain.current = g_Terrain.looked = nullptr;
}

void TerrainMatrixConstructor(HMODULE, HMODULE) {
    g_Terrain.images = GetImageBridge();
    g_Terrain.device = GetDirect3DDevice();
    SetSceneDeviceDefaults(g_Terrain.device);
    AddItemKeeper(ItemOwner::Image, TerrainKeepsImages);
}

void TerrainMatrixDestructor() {
    DeleteAllTerrainMatrices();
    RemoveItemKeeper(ItemOwner::Image, TerrainKeepsImages);
}

void TerrainMatrixSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}

void TerrainMatrixPassCoreData(CoreData* core) {
    g_Terrain.core = core;
    TakeOtherModules();
}

void TerrainMatrixRefreshD3D(std::int32_t mode) {
    if (mode == 0) {
        DeleteAllTerrainMatrices();
    } else if (mode == 1) {
        TerrainMatrixConstructor(nullptr, nullptr);
        TakeOtherModules();
    }
}

void TerrainMatrixRenderPass0() {
    RenderTerrainMatrices(0);
}

void TerrainMatrixRenderPass1() {
    RenderTerrainMatrices(1);
}

void DeleteTerrainMatrix(std::int32_t n) {
    TerrainMatrixRecord* r = CheckedTerrainMatrix(n);
    if (!r) return;
    DeleteTerrainMatrixEntry(n);
    FreeTerrainMatrixRecord(r);
}

std::int32_t TerrainMatrixExist(std::int32_t n) {
    g_Terrain.looked = nullptr;
    if (!CheckItemNumber(n, kTerrainNumbers)) return 0;
    return SelectTerrainMatrix(n) ? 1 : 0;
}

TransformRecord* SelectTerrainPlacement(std::int32_t n) {
    return SelectTerrainMatrix(n) ? &g_Terrain.current->placement : nullptr;
}

TransformRecord* CurrentTerrainPlacement() {
    return g_Terrain.current ? &g_Terrain.current->placement : nullptr;
}

void UpdateTerrainMatrixWorld(std::int32_t n) {
    placement::Rebuild(SelectTerrainPlacement(n));
}
