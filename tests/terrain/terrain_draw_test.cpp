#include "core/win32.h"

#include "terrain_fixture.h"
#include "core/com_ptr.h"
#include "core/frame_loop.h"
#include "display/display.h"
#include "draw2d/draw2d.h"
#include "image/image.h"
#include "light/light.h"
#include "object3d/limb_commands.h"
#include "object3d/positioning.h"
#include "support/image_files.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

DWORD State(D3DRENDERSTATETYPE state) {
    DWORD value = 0;
    GetDirect3DDevice()->GetRenderState(state, &value);
    return value;
}

D3DSURFACE_DESC TopLevel(std::int32_t image) {
    D3DSURFACE_DESC desc{};
    if (IDirect3DTexture9* texture = GetImagePointer(image)) texture->GetLevelDesc(0, &desc);
    return desc;
}

IDirect3DBaseTexture9* BoundTexture() {
    ComPtr<IDirect3DBaseTexture9> bound;
    GetDirect3DDevice()->GetTexture(0, bound.PutAddress());
    return bound.Get();
}

// A 32-bit index buffer of the whole grid, as if its indices needed no splitting.
ComPtr<IDirect3DIndexBuffer9> UnsplitIndices(const TerrainMatrixRecord& r) {
    const UINT tiles = static_cast<UINT>(r.xSegments * r.zSegments);
    ComPtr<IDirect3DIndexBuffer9> buffer;
    void* data = nullptr;
    if (FAILED(GetDirect3DDevice()->CreateIndexBuffer(tiles * 6 * 4, D3DUSAGE_WRITEONLY,
                                                      D3DFMT_INDEX32, D3DPOOL_DEFAULT,
                                                      buffer.PutAddress(), nullptr)) ||
        FAILED(buffer->Lock(0, 0, &data, 0)))
        return {};
    auto* index = static_cast<std::uint32_t*>(data);
    for (UINT k = 0; k < tiles; ++k)
        for (UINT corner : {0u, 1u, 2u, 0u, 2u, 3u})
            *index++ = 4 * k + corner;
    buffer->Unlock();
    return buffer;
}

} // namespace

TEST_F(TerrainScene, TilesShowTheirQuarterOfTheImage) {
    LoadQuadrants(1);
    FacingTile(1, 2);
    SetTerrainMatrixTexture(1, 1, 2, 2);
    ASSERT_EQ(cell.number, 0);
    EXPECT_EQ(TerrainMatrixTilesExist(1), 1);
    EXPECT_EQ(TerrainMatrixWireframeState(1), 0);
    EXPECT_EQ(GetTerrainMatrixTileCount(1), 4);
    EXPECT_EQ(SyncAndReadCentre(kClear) & 0xFFFFFF, kTopLeft); // every cell starts at tile 1
    const std::pair<std::int32_t, std::uint32_t> tiles[] = {{3, kBottomLeft}, {2, kTopRight}};
    for (auto [tile, colour] : tiles) {
        SetTerrainMatrixTile(1, 0, 0, tile);
        UpdateTerrainMatrixVertices(1);
        ClearScreen(kClear);
        Sync();
        for (std::int32_t dx : {-30, 0, 30})
            for (std::int32_t dy : {-30, 0, 30})
                EXPECT_EQ(GetPixelColour(320 + dx, 240 + dy) & 0xFFFFFF, colour) << tile;
    }
    // The matrix keeps the texture alive when its image goes (and the device lets go of it).
    DeleteImage(1);
    GetDirect3DDevice()->SetTexture(0, nullptr);
    EXPECT_EQ(SyncAndReadCentre(kClear) & 0xFFFFFF, kTopRight);
}

TEST_F(TerrainScene, TileImagesAreCheckedAndMadePowersOfTwo) {
    CreateTerrainMatrix(1, 10, 10, 2, 2);
    SetTerrainMatrixTexture(1, 0, 1, 1);
    EXPECT_EQ(cell.number, 501);
    SetTerrainMatrixTexture(1, 77, 1, 1);
    EXPECT_EQ(cell.number, 502);
    cell.number = 0;
    const std::string odd = PngBytes(100, 60, [](int, int) { return 0xFF808080u; });
    LoadImage(folder.Write("odd.png", odd).c_str(), 2, 1);
    ASSERT_EQ(TopLevel(2).Width, 100u);
    SetTerrainMatrixTexture(1, 2, 0, 1); // across 0: nothing at all
    EXPECT_EQ(TopLevel(2).Width, 100u);
    EXPECT_EQ(TerrainMatrixTilesExist(1), 0);
    EXPECT_EQ(TerrainMatrixWireframeState(1), 1);
    SetTerrainMatrixTexture(1, 2, 1, 1);
    EXPECT_EQ(TopLevel(2).Width, 128u);
    EXPECT_EQ(TopLevel(2).Height, 64u);
    EXPECT_EQ(Record(1)->textures[0], GetImagePointer(2));
    EXPECT_EQ(cell.number, 0);
}

// Image 2 textures limb 0 of object 1, then a matrix makes its sides powers of two; then a load
// goes over it. Both users show what image 2 names, and the matrix lets go of the old texture.
TEST_F(TerrainScene, AnImageMadeAgainIsDrawnAnewByItsMatricesAndLimbs) {
    const std::string odd = PngBytes(100, 60, [](int, int) { return 0xFF808080u; });
    LoadImage(folder.Write("odd.png", odd).c_str(), 2, 1);
    BuildBox(1, 1.0f);
    TextureLimb(1, 0, 2);
    FacingTile(1, 2);
    SetTerrainMatrixTexture(1, 2, 2, 2);
    ASSERT_EQ(TopLevel(2).Width, 128u);
    EXPECT_EQ(LimbTexture(1, 0), 2);
    EXPECT_EQ(FirstMesh(1)->textures[0].texture, GetImagePointer(2));
    IDirect3DTexture9* old = GetImagePointer(2);
    old->AddRef(); // the case's own
    LoadQuadrants(2);
    EXPECT_EQ(FirstMesh(1)->textures[0].texture, GetImagePointer(2));
    EXPECT_EQ(Record(1)->textures[0], GetImagePointer(2));
    EXPECT_EQ(old->Release(), 0u);
    PositionObject(1, 100, 0, 10); // out of sight
    EXPECT_EQ(SyncAndReadCentre(kClear) & 0xFFFFFF, kTopLeft);
}

TEST_F(TerrainScene, LargeGridsSplitTheirIndicesAndDrawTheSame) {
    CreateTerrainMatrix(1, 100, 100, 100, 100);
    EXPECT_NE(Record(1)->indexBuffer, nullptr);
    EXPECT_EQ(Record(1)->splitBuffers, nullptr);
    DeleteTerrainMatrix(1);

    CreateTerrainMatrix(2, 110, 100, 110, 100);
    TerrainMatrixRecord* r = Record(2);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->indexBuffer, nullptr);
    ASSERT_EQ(r->splitCount, 1u);
    D3DINDEXBUFFER_DESC first{}, second{};
    r->splitBuffers[0]->GetDesc(&first);
    r->splitBuffers[1]->GetDesc(&second);
    EXPECT_EQ(first.Size, 21844u * 6);
    EXPECT_EQ(second.Size, 156u * 6);

    // Upright in front of the camera, every tile its own colour and height.
    LoadQuadrants(3);
    SetTerrainMatrixTexture(2, 3, 2, 2);
    TerrainMatrixPlacement::RotateItem(2, 0, 0, 0);
    TerrainMatrixPlacement::PositionItem(2, -55, -50, 130);
    SetTerrainMatrixProperties(2, 0, 0, 1, D3DTEXF_POINT, 0, 0, 1);
    for (std::int32_t z = 0; z < 100; ++z)
        for (std::int32_t x = 0; x < 110; ++x) {
            SetTerrainMatrixTile(2, x, z, (x + 2 * z) % 4 + 1);
            SetTerrainMatrixHeight(2, x, z, static_cast<float>((x * 3 + z * 5) % 4));
        }
    UpdateTerrainMatrixVertices(2);
    {
        TerrainRecording recording;
        const std::int32_t polygons = g_CoreData->drawnPolygons;
        TerrainMatrixRenderPass0();
        const std::vector<RecordedDraw>& draws = recording.device.draws;
        ASSERT_EQ(draws.size(), 2u);
        EXPECT_EQ(draws[0].baseVertex, 0);
        EXPECT_EQ(draws[0].primitives, 21844u);
        EXPECT_EQ(draws[1].baseVertex, 2 * 21844);
        EXPECT_EQ(draws[1].primitives, 156u);
        EXPECT_EQ(g_CoreData->drawnPolygons - polygons, 22000);
    }
    const std::vector<std::uint32_t> split = SyncAndReadScreen();
    // The last chunk lies along the grid's far (top) row, right of its middle: on the screen.
    EXPECT_NE(split[89 * 640 + 450], kClear & 0xFFFFFF);

    ComPtr<IDirect3DIndexBuffer9> whole = UnsplitIndices(*r);
    ASSERT_TRUE(whole.Get());
    IDirect3DIndexBuffer9** chunks = r->splitBuffers;
    r->splitBuffers = nullptr;
    r->indexBuffer = whole.Get();
    const std::vector<std::uint32_t> unsplit = SyncAndReadScreen();
    r->indexBuffer = nullptr;
    r->splitBuffers = chunks;
    EXPECT_TRUE(split == unsplit);
}

TEST_F(TerrainScene, PassesDrawLateAndReflectedMatricesApart) {
    CreateTerrainMatrix(1, 10, 10, 1, 1);
    CreateTerrainMatrix(2, 10, 10, 1, 1);
    SetTerrainMatrixLatePass(2, 1);
    TerrainRecording recording;
    RecordingDevice& d = recording.device;
    TerrainMatrixRenderPass0();
    ASSERT_EQ(d.draws.size(), 1u);
    EXPECT_EQ(d.streams.back(), Record(1)->vertexBuffer);
    EXPECT_EQ(d.RenderStateAtDraw(0, D3DRS_CULLMODE, 0), DWORD{D3DCULL_CCW});
    d.Clear();
    TerrainMatrixRenderPass1();
    ASSERT_EQ(d.draws.size(), 1u);
    EXPECT_EQ(d.streams.back(), Record(2)->vertexBuffer);

    // The reflection's second pass: the late pass draws nothing, the first culls the other way.
    g_CoreData->stencilMode = 2;
    g_CoreData->renderPassIndex = 1;
    d.Clear();
    TerrainMatrixRenderPass1();
    EXPECT_TRUE(d.draws.empty());
    TerrainMatrixRenderPass0();
    ASSERT_EQ(d.draws.size(), 1u);
    EXPECT_EQ(d.RenderStateAtDraw(0, D3DRS_CULLMODE, 0), DWORD{D3DCULL_CW});
    g_CoreData->stencilMode = 0;
    g_CoreData->renderPassIndex = 0;
    SetTerrainMatrixProperties(1, 0, 0, 0, 2, 1, 1, 1);
    d.Clear();
    TerrainMatrixRenderPass0();
    EXPECT_EQ(d.RenderStateAtDraw(0, D3DRS_CULLMODE, 0), DWORD{D3DCULL_NONE});
}

TEST_F(TerrainScene, GhostsSeeBlackFogAndTheirBlendPairs) {
    FogOn();
    FogColor(0x12, 0x34, 0x56);
    const DWORD ambient = State(D3DRS_AMBIENT);
    for (std::int32_t n : {1, 2, 3})
        CreateTerrainMatrix(n, 10, 10, 1, 1);
    GhostTerrainMatrixOn(1, 1);
    GhostTerrainMatrixOn(2, 7); // no such pair: the factors stay
    SetTerrainMatrixLatePass(3, 1);
    SetTerrainMatrixProperties(3, 0, 0, 1, 2, 1, 1, 0);
    TerrainRecording recording;
    RecordingDevice& d = recording.device;
    TerrainMatrixRenderPass1();
    ASSERT_EQ(d.draws.size(), 3u);
    for (std::size_t i : {0u, 1u}) {
        EXPECT_EQ(d.RenderStateAtDraw(i, D3DRS_FOGCOLOR, 1), 0u) << i;
        EXPECT_EQ(d.RenderStateAtDraw(i, D3DRS_ALPHABLENDENABLE, 0), DWORD{TRUE}) << i;
        EXPECT_EQ(d.RenderStateAtDraw(i, D3DRS_SRCBLEND, 0), DWORD{D3DBLEND_DESTCOLOR}) << i;
        EXPECT_EQ(d.RenderStateAtDraw(i, D3DRS_DESTBLEND, 0), DWORD{D3DBLEND_SRCCOLOR}) << i;
        EXPECT_EQ(d.RenderStateAtDraw(i, D3DRS_AMBIENT, 0), ambient) << i;
    }
    EXPECT_EQ(d.RenderStateAtDraw(2, D3DRS_FOGCOLOR, 0), 0x123456u);
    EXPECT_EQ(d.RenderStateAtDraw(2, D3DRS_ALPHABLENDENABLE, 1), DWORD{FALSE});
    EXPECT_EQ(d.RenderStateAtDraw(2, D3DRS_AMBIENT, 0), 0xFFFFFFFFu);
    EXPECT_EQ(d.RenderStateAtDraw(2, D3DRS_FOGENABLE, 0), DWORD{TRUE});
    EXPECT_EQ(State(D3DRS_FOGCOLOR), 0x123456u);
    EXPECT_EQ(State(D3DRS_AMBIENT), ambient);

    // The last matrix ghosted too: the colour comes back after the pass.
    GhostTerrainMatrixOn(3);
    d.Clear();
    TerrainMatrixRenderPass1();
    EXPECT_EQ(d.RenderStateAtDraw(2, D3DRS_FOGCOLOR, 1), 0u);
    EXPECT_EQ(State(D3DRS_FOGCOLOR), 0x123456u);
    // With the fog off the pass leaves the fog states alone.
    FogOff();
    d.Clear();
    TerrainMatrixRenderPass1();
    EXPECT_EQ(d.RenderStateCount(D3DRS_FOGENABLE), 0);
    GhostTerrainMatrixOff(1);
    EXPECT_EQ(Record(1)->latePass, 0);
}

TEST_F(TerrainScene, EachMatrixSetsItsStatesAndPutsSomeBack) {
    LoadQuadrants(1);
    CreateTerrainMatrix(1, 10, 10, 1, 1);
    SetTerrainMatrixTexture(1, 1, 1, 1);
    SetTerrainMatrixTextureMode(1, 2, D3DTEXF_POINT);
    SetTerrainMatrixTextureMode(1, 3, D3DTEXF_NONE); // no such address mode: nothing changes
    SetTerrainMatrixProperties(1, 0, 1, 1, D3DTEXF_POINT, 0, 1, 1);
    TerrainRecording recording;
    RecordingDevice& d = recording.device;
    const std::int32_t polygons = g_CoreData->drawnPolygons;
    TerrainMatrixRenderPass0();
    ASSERT_EQ(d.draws.size(), 1u);
    EXPECT_EQ(g_CoreData->drawnPolygons - polygons, 2);
    EXPECT_EQ(d.RenderStateAtDraw(0, D3DRS_FILLMODE, 0), DWORD{D3DFILL_SOLID});
    EXPECT_EQ(d.RenderStateAtDraw(0, D3DRS_ALPHATESTENABLE, 0), DWORD{TRUE});
    EXPECT_EQ(d.RenderStateAtDraw(0, D3DRS_ALPHAFUNC, 0), DWORD{D3DCMP_GREATER});
    EXPECT_EQ(d.RenderStateAtDraw(0, D3DRS_DESTBLEND, 0), DWORD{D3DBLEND_INVSRCALPHA});
    EXPECT_EQ(d.RenderStateAtDraw(0, D3DRS_LIGHTING, 1), DWORD{FALSE});
    bool clamped = false;
    for (const RecordedState& s : d.samplerStates)
        clamped |= s.type == D3DSAMP_ADDRESSU && s.value == D3DTADDRESS_CLAMP;
    EXPECT_TRUE(clamped);
    // After the draw: linear sampling, no blending, depth on.
    EXPECT_EQ(d.samplerStates.back().type, DWORD{D3DSAMP_MIPFILTER});
    EXPECT_EQ(d.samplerStates.back().value, DWORD{D3DTEXF_LINEAR});
    EXPECT_EQ(State(D3DRS_ALPHABLENDENABLE), DWORD{FALSE});
    EXPECT_EQ(State(D3DRS_ZENABLE), DWORD{D3DZB_TRUE});
    EXPECT_EQ(BoundTexture(), Record(1)->textures[0]);

    // Wire frame draws without the texture; no depth test is sent as such.
    TerrainMatrixWireframeOn(1);
    Record(1)->depthTest = 0;
    d.Clear();
    TerrainMatrixRenderPass0();
    EXPECT_EQ(d.RenderStateAtDraw(0, D3DRS_FILLMODE, 0), DWORD{D3DFILL_WIREFRAME});
    EXPECT_EQ(d.RenderStateAtDraw(0, D3DRS_ZENABLE, 1), DWORD{D3DZB_FALSE});
    EXPECT_EQ(BoundTexture(), nullptr);
    TerrainMatrixWireframeOff(1);
    EXPECT_EQ(TerrainMatrixWireframeState(1), 0);
}

TEST_F(TerrainScene, ADeviceResetDeletesEveryMatrixAndSetsTheDefaultsAgain) {
    CreateTerrainMatrix(1, 10, 10, 2, 2);
    CreateTerrainMatrix(2, 110, 100, 110, 100);
    FogDistance(10, 500);
    ASSERT_EQ(State(D3DRS_FOGEND), FloatBits(500.0f));
    SetDisplayMode(640, 480, 32);
    ASSERT_EQ(cell.number, 0);
    EXPECT_EQ(TerrainMatrixExist(1), 0);
    EXPECT_EQ(TerrainMatrixExist(2), 0);
    EXPECT_EQ(g_Terrain.matrices.Count(), 0);
    EXPECT_EQ(g_Terrain.device, GetDirect3DDevice());
    EXPECT_EQ(State(D3DRS_FOGEND), FloatBits(50000.0f));
    EXPECT_EQ(State(D3DRS_FOGVERTEXMODE), DWORD{D3DFOG_LINEAR});
    D3DLIGHT9 light{};
    GetDirect3DDevice()->GetLight(0, &light);
    EXPECT_EQ(light.Type, D3DLIGHT_DIRECTIONAL);

    // Matrices made again draw on the new device.
    LoadQuadrants(1);
    FacingTile(3, 2);
    SetTerrainMatrixTexture(3, 1, 1, 1);
    EXPECT_NE(SyncAndReadCentre(kClear) & 0xFFFFFF, kClear & 0xFFFFFF);
}
