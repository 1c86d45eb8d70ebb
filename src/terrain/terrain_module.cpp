#include "core/win32.h"

#include "terrain/terrain.h"
#include "camera/camera.h"
#include "core/core.h"
#include "core/item_lookup.h"
#include "display/display.h"
#include "terrain/terrain_state.h"

#include <cstring>

TerrainState g_Terrain;

namespace {

template <typename T> void ReleaseOnce(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

DWORD FloatBits(float f) {
    DWORD bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// Linear fog, off, and a white directional light 0: what every matrix expects of the device.
void SetDeviceDefaults() {
    IDirect3DDevice9* d = g_Terrain.device;
    if (!d) return;
    d->SetRenderState(D3DRS_FOGENABLE, FALSE);
    d->SetRenderState(D3DRS_FOGCOLOR, 0);
    d->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    d->SetRenderState(D3DRS_FOGSTART, FloatBits(0.0f));
    d->SetRenderState(D3DRS_FOGEND, FloatBits(50000.0f));
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    light.Direction = {0.1f, -0.7f, 0.2f};
    light.Range = 5000.0f;
    light.Attenuation0 = 1.0f;
    d->SetLight(0, &light);
    d->LightEnable(0, TRUE);
}

void TakeOtherModules() {
    g_Terrain.autoFocus = GetCameraBridge().autoFocus;
    g_Terrain.vectors = GetVectorEntries();
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
    SetDeviceDefaults();
}

void TerrainMatrixDestructor() {
    DeleteAllTerrainMatrices();
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
