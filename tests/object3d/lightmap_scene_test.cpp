#include "core/win32.h"

#include "draw2d/draw2d.h"
#include "image/image.h"
#include "object3d/lightmap_commands.h"
#include "object3d/lightmapper.h"
#include "object3d/mesh_convert.h"
#include "object3d/mesh_textures.h"
#include "object3d/positioning.h"
#include "object3d/vertex_layout.h"
#include "support/failing_saves.h"
#include "support/image_files.h"
#include "support/object_scene.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t kClear = 0xFF204060;

struct SheetVertex {
    float x, y, z, nx, ny, nz, u, v;
};

// Object n made of the triangles through the corners, three a triangle.
void BuildSheet(std::int32_t n, const std::vector<D3DXVECTOR3>& corners) {
    ASSERT_TRUE(CreateNewObject(n, "sheet"));
    std::vector<SheetVertex> vertices;
    for (const D3DXVECTOR3& p : corners)
        vertices.push_back({p.x, p.y, p.z, 0, 0, -1, 0, 0});
    ASSERT_TRUE(SetMeshFromRawVertices(
        FirstMesh(n), D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, sizeof(SheetVertex),
        vertices.data(), static_cast<std::int32_t>(vertices.size()), D3DPT_TRIANGLELIST));
    ASSERT_TRUE(SetupNewObject(n, -1.0f));
}

// A square of half-size h at depth z facing the camera, as two triangles.
std::vector<D3DXVECTOR3> Square(float h, float z) {
    return {{-h, h, z}, {h, h, z}, {h, -h, z}, {h, -h, z}, {-h, -h, z}, {-h, h, z}};
}

// Small triangles facing the origin, the first at depth first, each next a unit further.
std::vector<D3DXVECTOR3> Steps(int count, float first) {
    std::vector<D3DXVECTOR3> corners;
    for (float z = first; z < first + static_cast<float>(count); z += 1)
        corners.insert(corners.end(), {{-1, 1, z}, {1, 1, z}, {1, -1, z}});
    return corners;
}

const LightmapVertex* Vertices(std::int32_t n) {
    return reinterpret_cast<const LightmapVertex*>(FirstMesh(n)->vertices);
}

IDirect3DBaseTexture9* PageOf(std::int32_t n) {
    const MeshRecord* mesh = FirstMesh(n);
    return mesh->textures && mesh->textureCount > 0 ? mesh->textures[0].overrideTexture : nullptr;
}

std::uint32_t Expand565(std::uint16_t c) {
    const std::uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    return 0xFF000000u | (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
}

std::uint32_t Mix(std::uint32_t a, std::uint32_t b, int wa, int wb) {
    std::uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8)
        out |= (((a >> shift & 0xFF) * wa + (b >> shift & 0xFF) * wb) / (wa + wb)) << shift;
    return out;
}

// Texel (x, y) of a DXT1 texture, decoded by hand.
std::uint32_t Dxt1Texel(IDirect3DBaseTexture9* base, int x, int y) {
    auto* texture = static_cast<IDirect3DTexture9*>(base);
    D3DLOCKED_RECT locked{};
    if (FAILED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) return 0;
    const auto* block =
        static_cast<const std::uint8_t*>(locked.pBits) + (y / 4) * locked.Pitch + (x / 4) * 8;
    std::uint16_t c0, c1;
    std::uint32_t bits;
    std::memcpy(&c0, block, 2);
    std::memcpy(&c1, block + 2, 2);
    std::memcpy(&bits, block + 4, 4);
    texture->UnlockRect(0);
    const std::uint32_t a = Expand565(c0), b = Expand565(c1);
    const std::uint32_t palette[4] = {a, b, c0 > c1 ? Mix(a, b, 2, 1) : Mix(a, b, 1, 1),
                                      c0 > c1 ? Mix(a, b, 1, 2) : 0xFF000000u};
    return palette[bits >> (2 * ((y % 4) * 4 + x % 4)) & 3];
}

class LightmapScene : public ObjectScene {
protected:
    void SetUp() override {
        ObjectScene::SetUp();
        ModuleLightMapper().Reset();
    }
    void TearDown() override {
        ModuleLightMapper().Reset();
        ObjectScene::TearDown();
    }
    // Mesh n's first slot names a red picture, loaded as an image made for the module.
    std::int32_t GiveRedTexture(std::int32_t n) {
        folder.Write("red.bmp", BmpBytes(4, 4, [](int, int) { return 0xFFFF0000u; }));
        EnsureMeshTextureCount(FirstMesh(n), 0);
        std::strcpy(FirstMesh(n)->textures[0].fileName, "red.bmp");
        LoadMeshTexturesDefault(FirstMesh(n), (folder.Path() + "\\").c_str(), 0);
        return FirstMesh(n)->textures[0].imageNumber;
    }
    void Light(std::int32_t quality, const char* folderName = nullptr) {
        AddLightMapLight(0, 0, 0, 30, 255, 255, 255, 100, 0);
        CreateLightMaps(folderName, quality, 0);
    }
    // Pages saved where they must fail: an older page file stays as it was and 8212 is raised.
    void CheckFailingPageSaves(std::initializer_list<SaveFault> faults) {
        if (RunningUnderWine())
            GTEST_SKIP() << "Wine's D3DX cannot save DDS files (E_NOTIMPL): no page is written";
        BuildSheet(1, Square(1, 5));
        CheckFailingSaves(
            "a lightmap page", faults, 8212,
            [this](const std::string& target) {
                ModuleLightMapper().Reset();
                AddLightMapObject(1);
                Light(4, target.substr(0, target.rfind('\\')).c_str());
            },
            "0.dds", SeededBytes(100000, 61));
    }
    TempFolder folder;
};

class LightmapSavesOnTestDisks : public LightmapScene {};

} // namespace

TEST_F(LightmapSavesOnTestDisks, FailedPageSavesKeepTheOldPage) {
    CheckFailingPageSaves({SaveFault::FullDisk, SaveFault::ReadOnlyFolder});
}

TEST_F(LightmapScene, FailedPageSavesKeepTheOldPage) {
    CheckFailingPageSaves({SaveFault::ReadOnlyFile, SaveFault::FolderInPlace, SaveFault::HeldOpen});
}

TEST_F(LightmapScene, APageThatCannotBeMadeOrNamedRaisesTheWriteError) {
    BuildSheet(1, Square(1, 5));
    // "<folder>\0.dds" does not fit a page's name.
    const std::string deep = folder.Path() + "\\" + std::string(256 - folder.Path().size(), 'd');
    const struct {
        const char* folder;
        bool texturesMade;
        std::int32_t error;
    } rows[] = {{nullptr, true, 0},
                {nullptr, false, 8212},
                {folder.Path().c_str(), false, 8212},
                {deep.c_str(), true, 8212}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.folder ? row.folder : "no folder") +
                     (row.texturesMade ? "" : ", no texture made"));
        DeviceRecording recording;
        if (!row.texturesMade) recording.device.failSurfacesAbove = kLightmapPageSize - 1;
        ModuleLightMapper().Reset();
        AddLightMapObject(1);
        cell.number = 0;
        Light(4, row.folder);
        EXPECT_EQ(cell.number, row.error);
        EXPECT_TRUE(TempFolder::Tree(folder.Path()).empty());
    }
}

TEST_F(LightmapScene, APlaneLitFromAboveDrawsBrighterAtItsCentre) {
    BuildSheet(1, Square(10, 20));
    MeshRecord* mesh = FirstMesh(1);
    // Only the page colours it: no light or ambient colour of its own.
    SetMeshDiffuseMaterial(mesh, 0xFF000000);
    SetMeshAmbienceMaterial(mesh, 0xFF000000);
    AddLightMapObject(1);
    AddLightMapLight(0, 0, 10, 30, 255, 255, 255, 50, 0);
    CreateLightMaps(nullptr, 16, 0);
    EXPECT_EQ(mesh->fvf, kLightmapFVF);
    ASSERT_EQ(mesh->textureCount, 2);
    const TextureRecord& page = mesh->textures[0];
    EXPECT_EQ(page.imageNumber, 0);
    ASSERT_NE(page.overrideTexture, nullptr);
    EXPECT_EQ(page.fileName[0], '\0'); // no folder: nothing written, the page is still bound
    EXPECT_EQ(page.colourOperation, static_cast<std::uint32_t>(D3DTOP_ADD));
    EXPECT_EQ(page.coordinateMode, 11u);
    EXPECT_EQ(mesh->textures[1].colourOperation, static_cast<std::uint32_t>(D3DTOP_MODULATE));
    EXPECT_EQ(mesh->textures[1].coordinateMode, 10u);
    // Both halves got equal blocks: their shared corners share page coordinates.
    EXPECT_EQ(Vertices(1)[2].lightU, Vertices(1)[3].lightU);
    EXPECT_EQ(Vertices(1)[0].lightV, Vertices(1)[5].lightV);

    const std::uint32_t centre = SyncAndReadCentre(kClear);
    const std::uint32_t corner = GetPixelColour(135, 55);
    EXPECT_NEAR(Red(centre), 170, 12); // 127.5 x (1 + 1/3)
    EXPECT_GT(Red(centre), Red(corner) + 40);
    EXPECT_GT(Red(corner), 40);
}

TEST_F(LightmapScene, AUniformBlockSurvivesCompressionWithinEightPerChannel) {
    BuildSheet(1, Square(10, 20));
    AddLightMapObject(1);
    AddLightMapLight(0, 0, -1000, 3000, 60, 120, 180, 100, 0);
    CreateLightMaps(nullptr, 8, 0);
    ASSERT_NE(PageOf(1), nullptr);
    // About 1020 away with the light straight ahead: 2a = 1.32 of the colour everywhere.
    const float twoA = 2 * (1 - 1020.0f / 3000.0f);
    for (int k = 0; k < 64; ++k) {
        const std::uint32_t texel = Dxt1Texel(PageOf(1), k % 8, k / 8);
        EXPECT_NEAR(Red(texel), 60 * twoA, 8) << k;
        EXPECT_NEAR(Green(texel), 120 * twoA, 8) << k;
        EXPECT_NEAR(Blue(texel), 180 * twoA, 8) << k;
    }
}

TEST_F(LightmapScene, AFullPageStartsANewOneAndTheMeshIsPlacedAgain) {
    BuildSheet(1, Steps(16, 5));   // sixteen different blocks fill a page at quality 128
    BuildSheet(2, Steps(1, 5.5f)); // a seventeenth
    BuildSheet(3, Steps(17, 5));   // fits no page
    BuildSheet(4, Steps(2, 6.5f));
    for (std::int32_t n : {1, 2, 3, 4})
        AddLightMapObject(n);
    AddLightMapLight(0, 0, 0, 40, 100, 100, 100, 100, 0); // no lumel reaches 255
    CreateLightMaps(nullptr, 128, 0);
    ASSERT_NE(PageOf(1), nullptr);
    ASSERT_NE(PageOf(2), nullptr);
    EXPECT_NE(PageOf(1), PageOf(2));
    EXPECT_FLOAT_EQ(Vertices(2)[0].lightU, 1.0f / 512); // the new page's first slot
    EXPECT_EQ(FirstMesh(3)->textureCount, 0);           // lit, but on no page
    ASSERT_NE(PageOf(4), nullptr);
    EXPECT_NE(PageOf(4), PageOf(2));
}

TEST_F(LightmapScene, AnInstanceLendsItsPlaceOnlyWhileLit) {
    BuildSheet(1, Square(1, 0));
    ASSERT_TRUE(PositionObject(1, 1000, 0, 0)); // far beyond the light's reach
    MakeInstance(2, 1);
    ASSERT_TRUE(PositionObject(2, 0, 0, 10));
    AddLightMapObject(2);
    Light(8);
    ASSERT_NE(PageOf(1), nullptr);
    EXPECT_GT(Red(Dxt1Texel(PageOf(1), 4, 4)), 100); // lit where the instance stands
    const ObjectRecord* source = g_Object3D.objects[1];
    EXPECT_EQ(source->position.position, D3DXVECTOR3(1000, 0, 0));
    EXPECT_FLOAT_EQ(source->rootFrame->worldMatrix._41, 1000.0f);
    EXPECT_EQ(Vertices(1)[0].position, D3DXVECTOR3(-1, 1, 0)); // back in its own space
}

TEST_F(LightmapScene, DeletingALightmappedObjectKeepsOtherMeshesImages) {
    BuildBox(2, 2.0f);
    const std::int32_t image = GiveRedTexture(2);
    ASSERT_EQ(image, -1); // the first image made for the module
    BuildSheet(1, Square(1, 5));
    BuildSheet(3, Square(1, 5));
    for (std::int32_t n : {1, 3})
        AddLightMapObject(n);
    ASSERT_TRUE(DeleteObject(3)); // gone before the build: left out
    // A new object under the number, most likely in the freed record, was never listed.
    BuildSheet(3, Square(1, 5));
    Light(4);
    EXPECT_NE(FirstMesh(3)->fvf, kLightmapFVF); // untouched
    EXPECT_EQ(PageOf(3), nullptr);
    ASSERT_NE(PageOf(1), nullptr);
    EXPECT_EQ(FirstMesh(1)->textures[0].imageNumber, 0);
    // An entry left by a deleted instance keeps no mesh of its source from being listed.
    MakeInstance(4, 3);
    AddLightMapObject(4);
    ASSERT_TRUE(DeleteObject(4));
    AddLightMapObject(3);
    Light(4);
    EXPECT_NE(PageOf(3), nullptr);
    ASSERT_TRUE(DeleteObject(1));
    EXPECT_NE(GetImagePointer(image), nullptr);
    EXPECT_EQ(FirstMesh(2)->textures[0].texture, GetImagePointer(image));
}

namespace {

// When set, the next object record deleted is not freed but its block put there, for the test to
// make the next record in: a new object lands where a deleted one was, as an allocator may.
void** keepNextRecord = nullptr;

} // namespace

__attribute__((noinline)) void operator delete(void* block) noexcept {
    std::free(block);
}

__attribute__((noinline)) void operator delete(void* block, std::size_t size) noexcept {
    if (keepNextRecord && size == sizeof(ObjectRecord))
        *std::exchange(keepNextRecord, nullptr) = block;
    else
        std::free(block);
}

// A listed instance is deleted and a new one made under its number in its very record: the entry
// is not the new instance's, which was never listed, so its source's mesh stays unlit.
TEST_F(LightmapScene, AnObjectMadeAnewInADeletedOnesRecordIsNotLit) {
    BuildSheet(3, Square(1, 5));
    MakeInstance(4, 3);
    AddLightMapObject(4);
    const ObjectRecord* listed = ObjectAt(4);
    void* kept = nullptr;
    keepNextRecord = &kept;
    DeleteObject(4);
    keepNextRecord = nullptr;
    ASSERT_EQ(kept, listed);
    MakeInstance(4, 3, kept);
    Light(4);
    EXPECT_EQ(PageOf(3), nullptr);
}

TEST_F(LightmapScene, LightingAgainKeepsTheMeshesTextureAndAFittingBackup) {
    BuildBox(1, 2.0f); // indexed: 24 vertices become 36 corners
    const std::int32_t image = GiveRedTexture(1);
    ASSERT_LT(image, 0);
    for (int pass = 0; pass < 2; ++pass) {
        AddLightMapObject(1);
        Light(4);
    }
    MeshRecord* mesh = FirstMesh(1);
    ASSERT_EQ(mesh->textureCount, 2);
    EXPECT_EQ(mesh->textures[1].imageNumber, image);
    EXPECT_STREQ(mesh->textures[1].fileName, "red.bmp");
    ASSERT_EQ(mesh->vertexCount, 36);
    ASSERT_NE(mesh->backupVertices, nullptr);
    const std::vector<std::uint8_t> before(mesh->vertices, mesh->vertices + 36 * 40);
    RestoreMeshVertices(mesh);
    EXPECT_EQ(std::memcmp(mesh->vertices, before.data(), before.size()), 0);
}

TEST_F(LightmapScene, PagesAreNamedInTheFolderAndWritten) {
    BuildSheet(1, Square(1, 5));
    AddLightMapObject(1);
    Light(4, folder.Path().c_str());
    EXPECT_EQ(std::string(FirstMesh(1)->textures[0].fileName), folder.File("0.dds"));
    EXPECT_EQ(ModuleLightMapper().PageNumber(), 1);
    if (RunningUnderWine())
        GTEST_SKIP() << "Wine's D3DX cannot save DDS files (E_NOTIMPL): the page stays in memory";
    EXPECT_FALSE(TempFolder::Read(folder.File("0.dds")).empty());
}
