#include "core/win32.h"

#include "terrain_fixture.h"
#include "core/frame_loop.h"
#include "draw2d/draw2d.h"
#include "image/image.h"
#include "support/image_files.h"

#include <cstring>

void TerrainScene::TearDown() {
    DeleteAllTerrainMatrices();
    ObjectScene::TearDown();
}

std::vector<TerrainVertex> TerrainScene::Vertices(std::int32_t n) {
    std::vector<TerrainVertex> out;
    const TerrainMatrixRecord* r = Record(n);
    D3DVERTEXBUFFER_DESC desc{};
    void* data = nullptr;
    if (!r || FAILED(r->vertexBuffer->GetDesc(&desc)) ||
        FAILED(r->vertexBuffer->Lock(0, 0, &data, D3DLOCK_READONLY)))
        return out;
    out.resize(desc.Size / sizeof(TerrainVertex));
    std::memcpy(out.data(), data, out.size() * sizeof(TerrainVertex));
    r->vertexBuffer->Unlock();
    return out;
}

void TerrainScene::LoadQuadrants(std::int32_t image) {
    const std::string png = PngBytes(4, 4, [](int x, int y) {
        const std::uint32_t colour =
            y < 2 ? (x < 2 ? kTopLeft : kTopRight) : (x < 2 ? kBottomLeft : kBottomRight);
        return 0xFF000000u | colour;
    });
    LoadImage(folder.Write("quadrants.png", png).c_str(), image);
}

void TerrainScene::FacingTile(std::int32_t n, float size) {
    CreateTerrainMatrix(n, size, size, 1, 1);
    TerrainMatrixPlacement::RotateItem(n, 0, 0, 0);
    PositionTerrainMatrix(n, -size / 2, -size / 2, 6);
    SetTerrainMatrixProperties(n, 0, 0, 1, D3DTEXF_POINT, 0, 0, 1);
}

std::vector<std::uint32_t> TerrainScene::SyncAndReadScreen() {
    ClearScreen(kClear);
    Sync();
    std::vector<std::uint32_t> pixels;
    Basic2DLockBackBuffer();
    for (std::int32_t y = 0; y < 480; ++y)
        for (std::int32_t x = 0; x < 640; ++x)
            pixels.push_back(GetPixelColour(x, y) & 0xFFFFFF);
    Basic2DUnlockBackBuffer();
    return pixels;
}

TerrainRecording::TerrainRecording() : device(g_Terrain.device) {
    Point(&device);
}

TerrainRecording::~TerrainRecording() {
    Point(real_);
}

void TerrainRecording::Point(IDirect3DDevice9* to) {
    g_Terrain.device = to;
    for (IdListNode* node = g_Terrain.matrices.first; node; node = node->next)
        static_cast<TerrainMatrixRecord*>(node->data)->device = to;
}
