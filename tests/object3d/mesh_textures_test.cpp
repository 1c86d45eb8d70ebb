#include "core/win32.h"

#include "support/object_scene.h"
#include "image/image.h"
#include "object3d/mesh_textures.h"
#include "object3d/positioning.h"
#include "support/image_files.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kClear = 0xFF204060;
constexpr std::uint32_t kRed = 0xFFFF0000;

std::vector<std::string> tried;

std::int32_t RecordTry(const char* name, std::int32_t mode) {
    tried.push_back(std::string(name) + "|" + std::to_string(mode));
    return 0;
}

std::vector<std::uint8_t> BytesOf(const TextureRecord& slot) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&slot);
    return std::vector<std::uint8_t>(p, p + sizeof slot);
}

template <typename T> ULONG References(T* p) {
    p->AddRef();
    return p->Release();
}

void NameSlot(MeshRecord* mesh, std::int32_t slot, const char* name) {
    ASSERT_TRUE(EnsureMeshTextureCount(mesh, slot));
    std::strcpy(mesh->textures[slot].fileName, name);
}

class MeshTextures : public ObjectScene {
protected:
    std::string Folder() const { return folder.Path() + "\\"; }
    std::string Wood() const { return folder.Write("wood.bmp", BmpBytes(4, 4, AllRed)); }
    static std::uint32_t AllRed(int, int) { return kRed; }
    // The box at the centre drawn with the red texture, or untextured (white, lit).
    bool DrawnRed() {
        const std::uint32_t c = SyncAndReadCentre(kClear);
        return Red(c) > 100 && Green(c) < 20;
    }
    bool DrawnWhite() { return Green(SyncAndReadCentre(kClear)) > 100; }
    TempFolder folder;
};

} // namespace

TEST_F(ObjectTables, TextureNamesAreTriedInTheFolderAsDdsAsGivenAndBare) {
    // Every test starts the module again, which takes the image module's loader back.
    g_Object3D.images.loadForModuleWithMode = RecordTry;
    tried.clear();
    EXPECT_EQ(LoadTextureFile("C:\\models\\wood.bmp", "textures\\", 3), 0);
    EXPECT_EQ(tried, (std::vector<std::string>{"textures\\wood.bmp|3", "textures\\wood.dds|3",
                                               "C:\\models\\wood.bmp|3", "wood.bmp|3"}));
    tried.clear();
    LoadTextureFile("a.x", "textures\\", 0);
    EXPECT_EQ(tried, std::vector<std::string>{"textures\\a.x|0"});
    tried.clear();
    LoadTextureFile("", "textures\\", 0);
    LoadTextureFile(nullptr, "textures\\", 0);
    EXPECT_TRUE(tried.empty());

    // Slots named under the prefix load with mode 0, the others with the caller's flag.
    MeshRecord mesh;
    NameSlot(&mesh, 0, "LightMaps\\page1.dds");
    NameSlot(&mesh, 1, "wall.bmp");
    LoadMeshTextures(&mesh, "", 2, 5, "lightmaps");
    ASSERT_EQ(tried.size(), 8u);
    EXPECT_EQ(tried[2], "LightMaps\\page1.dds|0");
    EXPECT_EQ(tried[4], "wall.bmp|5");
}

TEST_F(ObjectTables, AlphaFactorAndMaterialColoursGoWhereTheMeshDrawsThem) {
    MeshRecord mesh;
    SetMeshAlphaFactor(&mesh, 50.0f);
    EXPECT_EQ(mesh.alphaFactorOn, 1);
    EXPECT_EQ(mesh.diffuseColour, 0x7F000000u);
    SetMeshAlphaFactor(&mesh, -20.0f); // not wrapped into the colour bytes
    EXPECT_EQ(mesh.diffuseColour, 0u);
    SetMeshAlphaFactor(&mesh, std::nanf(""));
    EXPECT_EQ(mesh.alphaFactorOn, 0);

    // With material entries the colour goes to each of them, not to the mesh's own material.
    mesh.multiMaterials = new MultiMaterialRecord[3]();
    mesh.multiMaterialCount = 3;
    const D3DMATERIAL9 own = mesh.material;
    SetMeshDiffuseMaterial(&mesh, 0x80336699);
    EXPECT_EQ(mesh.materialOn, 1);
    EXPECT_EQ(std::memcmp(&mesh.material, &own, sizeof own), 0);
    for (int i = 0; i < 3; ++i) {
        const D3DCOLORVALUE& d = mesh.multiMaterials[i].material.Diffuse;
        EXPECT_FLOAT_EQ(d.r, 0x33 / 255.0f) << i;
        EXPECT_FLOAT_EQ(d.a, 0x80 / 255.0f) << i;
    }

    // A copy never gives the target more entries than its array holds, nor the source's claim
    // on who owns the effect.
    MeshRecord target;
    target.multiMaterials = new MultiMaterialRecord[1]();
    target.multiMaterialCount = 1;
    mesh.sharedEffect = 1;
    CopyMeshMaterials(&target, &mesh);
    EXPECT_EQ(target.multiMaterialCount, 1);
    EXPECT_EQ(target.sharedEffect, 0);
    EXPECT_EQ(target.alphaFactorOn, 0);
}

TEST_F(ObjectTables, StagesOutsideTheEightChangeNothing) {
    MeshRecord mesh;
    ASSERT_TRUE(EnsureMeshTextureCount(&mesh, 0));
    const std::vector<std::uint8_t> before = BytesOf(mesh.textures[0]);
    for (std::int32_t stage : {-2, 8, 100000}) {
        SetMeshTexture(&mesh, stage, 3);
        SetMeshTextureStage(&mesh, stage, 3);
        SetMeshStageImage(&mesh, stage, D3DTOP_ADD, 3, 3);
        SetMeshStageTextureObject(&mesh, stage, nullptr);
    }
    EXPECT_EQ(mesh.textureCount, 1);
    EXPECT_EQ(BytesOf(mesh.textures[0]), before);
    // Growing gives each new slot its own stage.
    SetMeshTextureStage(&mesh, 7, 0);
    ASSERT_EQ(mesh.textureCount, 8);
    EXPECT_EQ(mesh.textures[6].stage, 6u);
}

TEST_F(MeshTextures, TheFirstVariantFoundIsLoadedOnceForEveryMesh) {
    const std::string dds = folder.Write("textures\\wood.dds", DdsBytes(2, 2, AllRed));
    const std::string png = folder.Write("models\\wood.png", PngBytes(2, 2, AllRed));
    const std::string textures = folder.Path() + "\\textures\\";
    const std::int32_t image = LoadTextureFileDefault(png.c_str(), textures.c_str());
    ASSERT_LT(image, 0);
    EXPECT_STREQ(GetImageName(image), dds.c_str());
    EXPECT_STREQ(GetImageName(LoadTextureFileDefault(png.c_str(), Folder().c_str())), png.c_str());
    EXPECT_EQ(LoadTextureFileDefault(png.c_str(), textures.c_str()), image);
}

TEST_F(MeshTextures, SlotsGrownOrCopiedKeepTheirCubeTextureAlive) {
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_TRUE(SUCCEEDED(D3DXCreateCubeTexture(g_Object3D.device, 4, 1, 0, D3DFMT_A8R8G8B8,
                                                D3DPOOL_MANAGED, &cube)));
    auto* mesh = new MeshRecord;
    SetMeshStageTextureObject(mesh, 1, cube);
    EXPECT_EQ(References(cube), 2u);
    EXPECT_EQ(mesh->textures[1].coordinateMode, 2u);
    SetMeshTextureStage(mesh, 5, 0);
    ASSERT_EQ(mesh->textureCount, 6);
    EXPECT_EQ(mesh->textures[1].overrideTexture, cube);
    EXPECT_EQ(References(cube), 2u);
    {
        MeshRecord copy;
        ASSERT_TRUE(EnsureMeshTextureCount(&copy, 0));
        CopyMeshTextures(&copy, mesh);
        ASSERT_EQ(copy.textureCount, 6);
        EXPECT_EQ(copy.textures[1].overrideTexture, cube);
        EXPECT_EQ(References(cube), 3u);
        delete mesh;
        EXPECT_EQ(References(cube), 2u);
    }
    EXPECT_EQ(cube->Release(), 0u);
}

TEST_F(MeshTextures, AModuleImageIsDeletedWithTheLastMeshDrawingIt) {
    Wood();
    BuildBox(1, 2.0f);
    BuildBox(2, 2.0f);
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));
    ASSERT_TRUE(PositionObject(2, 100, 0, 10)); // out of sight
    for (std::int32_t n : {1, 2}) {
        NameSlot(FirstMesh(n), 0, "wood.bmp");
        LoadMeshTexturesDefault(FirstMesh(n), Folder().c_str(), 0);
    }
    const std::int32_t image = FirstMesh(1)->textures[0].imageNumber;
    ASSERT_LT(image, 0);
    EXPECT_EQ(FirstMesh(2)->textures[0].imageNumber, image);
    EXPECT_TRUE(DrawnRed());

    FreeMeshTextures(FirstMesh(2));
    EXPECT_NE(GetImagePointer(image), nullptr);
    EXPECT_TRUE(DrawnRed());

    FreeMeshTextures(FirstMesh(1));
    EXPECT_EQ(GetImagePointer(image), nullptr);
    EXPECT_EQ(FirstMesh(1)->textures[0].texture, nullptr);
    EXPECT_TRUE(DrawnWhite()); // an unbound stage reads white
}

TEST_F(MeshTextures, DeletedImagesLeaveNoMeshDrawingThem) {
    const std::string wood = Wood();
    BuildBox(1, 2.0f);
    ASSERT_TRUE(PositionObject(1, 0, 0, 10));
    LoadImage(wood.c_str(), 7);
    MeshRecord* mesh = FirstMesh(1);
    SetMeshTexture(mesh, -1, 7);
    FreeMeshTextures(mesh);
    DeleteModuleImage(7);
    EXPECT_TRUE(ImageExist(7)); // the program's image stays the program's

    // Stage -1 resets slot 0 for the image and leaves a later slot as it was.
    NameSlot(mesh, 1, "detail");
    mesh->textures[1].colourOperation = D3DTOP_DISABLE;
    mesh->alphaFactorOn = 1;
    SetMeshTexture(mesh, -1, 7);
    ASSERT_EQ(mesh->textureCount, 2);
    EXPECT_EQ(mesh->textures[0].colourOperation, D3DTOP_MODULATE);
    EXPECT_STREQ(mesh->textures[0].fileName, wood.c_str());
    EXPECT_EQ(mesh->textures[1].colourOperation, D3DTOP_DISABLE);
    EXPECT_EQ(mesh->alphaFactorOn, 0);

    // Deleting the image takes it from every slot and material entry that holds it.
    mesh->multiMaterials = new MultiMaterialRecord[1]();
    mesh->multiMaterialCount = 1;
    mesh->multiMaterials[0].texture = GetImagePointer(7);
    EXPECT_TRUE(DrawnRed());
    DeleteImage(7);
    EXPECT_EQ(mesh->textures[0].texture, nullptr);
    EXPECT_EQ(mesh->multiMaterials[0].texture, nullptr);
    EXPECT_TRUE(DrawnWhite());
}

TEST_F(MeshTextures, MaterialEntriesShareOneSlotForTheirFirstImage) {
    Wood();
    MeshRecord mesh;
    NameSlot(&mesh, 2, "old.bmp");
    mesh.multiMaterialOn = 1;
    mesh.multiMaterials = new MultiMaterialRecord[3]();
    mesh.multiMaterialCount = 3;
    std::strcpy(mesh.multiMaterials[0].name, "none.bmp");
    std::strcpy(mesh.multiMaterials[1].name, "C:\\art\\wood.bmp");
    std::strcpy(mesh.multiMaterials[2].name, "wood.bmp");
    mesh.multiMaterials[0].material.Diffuse = {0.5f, 0.5f, 0.5f, 1};
    LoadMeshTexturesDefault(&mesh, Folder().c_str(), 0);
    ASSERT_EQ(mesh.textureCount, 1);
    const std::int32_t image = mesh.textures[0].imageNumber;
    ASSERT_LT(image, 0);
    EXPECT_EQ(mesh.multiMaterials[0].texture, nullptr);
    EXPECT_FLOAT_EQ(mesh.multiMaterials[0].material.Ambient.r, 0.5f);
    EXPECT_EQ(mesh.multiMaterials[2].texture, GetImagePointer(image));
    EXPECT_FLOAT_EQ(mesh.multiMaterials[1].material.Diffuse.g, 1.0f);

    FreeMeshTextures(&mesh);
    EXPECT_EQ(GetImagePointer(image), nullptr);
    EXPECT_EQ(mesh.multiMaterials[1].texture, nullptr);
}
