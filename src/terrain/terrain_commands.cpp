#include "core/win32.h"

#include "terrain/terrain.h"
#include "core/core.h"
#include "terrain/terrain_state.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::int32_t kLargestImage = 22000000;
constexpr std::int32_t kLargestPowerOfTwo = 4096;

// 1 below 2; the smallest power of two up to 4096 not below the value; larger values as they are.
std::int32_t NextPowerOfTwo(std::int32_t value) {
    if (value < 2) return 1;
    if (value > kLargestPowerOfTwo) return value;
    std::int32_t p = 2;
    while (p < value)
        p *= 2;
    return p;
}

// The image's texture after its checks (501, 502); null after either.
IDirect3DTexture9* CheckedImage(std::int32_t image) {
    if (image < 1 || image > kLargestImage) {
        RaiseRuntimeError(kImageNumberIllegal);
        return nullptr;
    }
    IDirect3DTexture9* texture =
        g_Terrain.images.getPointer ? g_Terrain.images.getPointer(image) : nullptr;
    if (!texture) RaiseRuntimeError(kImageMissing);
    return texture;
}

// The image remade with power-of-two sides when either side is not one.
void MakeSidesPowersOfTwo(std::int32_t image) {
    const ImageBridge& i = g_Terrain.images;
    if (!i.getWidth || !i.getHeight || !i.makePowerOfTwo) return;
    const std::int32_t w = i.getWidth(image), h = i.getHeight(image);
    if (w != NextPowerOfTwo(w) || h != NextPowerOfTwo(h))
        i.makePowerOfTwo(image, NextPowerOfTwo(w), NextPowerOfTwo(h));
}

// The slot holds its own reference, so that a deleted image cannot leave it pointing at a freed
// texture.
void HoldTexture(IDirect3DTexture9*& slot, IDirect3DTexture9* texture) {
    if (texture) texture->AddRef();
    if (slot) slot->Release();
    slot = texture;
}

// Runs fn on matrix n after its checks.
template <typename Fn> void Change(std::int32_t n, Fn&& fn) {
    if (TerrainMatrixRecord* r = CheckedTerrainMatrix(n)) fn(*r);
}

// fn's value for matrix n after its checks; 0 after a failed one.
template <typename Fn> std::int32_t Query(std::int32_t n, Fn&& fn) {
    const TerrainMatrixRecord* r = CheckedTerrainMatrix(n);
    return r ? fn(*r) : 0;
}

std::uint8_t IsOne(std::int32_t flag) {
    return flag == 1 ? 1 : 0;
}

// True when the vector item exists; else raises 7801.
bool VectorExists(std::int32_t vector) {
    const VectorEntries& v = g_Terrain.vectors;
    if (v.exists && v.getVector3 && v.setVector3 && v.exists(vector)) return true;
    RaiseRuntimeError(kValueOutOfRange);
    return false;
}

} // namespace

void SetTerrainMatrixTexture(std::int32_t n, std::int32_t image, std::int32_t across,
                             std::int32_t down) {
    TerrainMatrixRecord* r = CheckedTerrainMatrix(n);
    if (!r || !CheckedImage(image) || across == 0 || down == 0) return;
    MakeSidesPowersOfTwo(image);
    IDirect3DTexture9* texture = g_Terrain.images.getPointer(image);
    HoldTexture(r->textures[0], texture);
    r->tilesAcross = across;
    r->tilesDown = down;
    if (!texture) ReportInternalError("Invalid image specified for matrix");
    if (across < 1 || down < 1) ReportInternalError("Invalid texture divide");
    r->wireframe = 0;
    ResetTerrainTiles(*r);
    WriteTerrainVertices(*r);
}

void SetTerrainMatrixTextureMode(std::int32_t n, std::int32_t addressMode, std::int32_t mipFilter) {
    Change(n, [=](TerrainMatrixRecord& r) {
        if (addressMode < 0 || addressMode > 2) return;
        r.addressMode = addressMode + 1;
        r.mipFilter = mipFilter;
    });
}

void SetTerrainMatrixTextureInset(std::int32_t n, float u, float v) {
    Change(n, [=](TerrainMatrixRecord& r) { r.insetU = u, r.insetV = v; });
}

void SetTerrainMatrixProperties(std::int32_t n, std::int32_t wireframe, std::int32_t transparency,
                                std::int32_t cull, std::int32_t filter, std::int32_t light,
                                std::int32_t fog, std::int32_t ambient) {
    Change(n, [=](TerrainMatrixRecord& r) {
        r.wireframe = IsOne(wireframe);
        r.transparency = IsOne(transparency);
        r.culling = IsOne(cull);
        r.filter = filter;
        r.lighting = IsOne(light);
        r.fog = IsOne(fog);
        r.ambient = IsOne(ambient);
    });
}

void TerrainMatrixWireframeOn(std::int32_t n) {
    Change(n, [](TerrainMatrixRecord& r) { r.wireframe = 1; });
}
void TerrainMatrixWireframeOff(std::int32_t n) {
    Change(n, [](TerrainMatrixRecord& r) { r.wireframe = 0; });
}

void GhostTerrainMatrixOn(std::int32_t n) {
    GhostTerrainMatrixOn(n, 0);
}
void GhostTerrainMatrixOn(std::int32_t n, std::int32_t mode) {
    Change(n, [=](TerrainMatrixRecord& r) { r.ghost = 1, r.ghostMode = mode, r.latePass = 1; });
}
void GhostTerrainMatrixOff(std::int32_t n) {
    Change(n, [](TerrainMatrixRecord& r) { r.ghost = 0, r.latePass = 0; });
}
void SetTerrainMatrixLatePass(std::int32_t n, std::int32_t flag) {
    Change(n, [=](TerrainMatrixRecord& r) { r.latePass = IsOne(flag); });
}

void PositionTerrainMatrix(std::int32_t n, float x, float y, float z) {
    Change(n, [=](TerrainMatrixRecord& r) {
        TerrainMatrixPlacement::PositionItem(n, x, y, z);
        WriteTerrainVertices(r);
    });
}

void PositionTerrainMatrixToVector(std::int32_t n, std::int32_t vector) {
    TerrainMatrixRecord* r = CheckedTerrainMatrix(n);
    if (!r || !VectorExists(vector)) return;
    float xyz[3] = {};
    g_Terrain.vectors.getVector3(xyz, vector);
    TerrainMatrixPlacement::PositionItem(n, xyz[0], xyz[1], xyz[2]);
    WriteTerrainVertices(*r);
}

void SetVectorToTerrainMatrixPosition(std::int32_t vector, std::int32_t n) {
    const TerrainMatrixRecord* r = CheckedTerrainMatrix(n);
    if (!r || !VectorExists(vector)) return;
    const float* p = r->placement.position;
    g_Terrain.vectors.setVector3(vector, p[0], p[1], p[2]);
}

std::int32_t GetTerrainMatrixTileCount(std::int32_t n) {
    return Query(n, [](const TerrainMatrixRecord& r) {
        const std::int64_t tiles = std::int64_t{r.tilesAcross} * r.tilesDown;
        return static_cast<std::int32_t>(
            std::clamp<std::int64_t>(tiles, std::numeric_limits<std::int32_t>::min(),
                                     std::numeric_limits<std::int32_t>::max()));
    });
}

std::int32_t TerrainMatrixTilesExist(std::int32_t n) {
    return Query(n, [](const TerrainMatrixRecord& r) { return r.textures[0] ? 1 : 0; });
}

std::int32_t TerrainMatrixWireframeState(std::int32_t n) {
    return Query(n, [](const TerrainMatrixRecord& r) { return r.wireframe ? 1 : 0; });
}
