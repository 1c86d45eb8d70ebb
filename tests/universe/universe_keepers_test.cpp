#include "core/win32.h"

#include "universe/universe_scene.h"
#include "core/item_keepers.h"
#include "image/image.h"
#include "object3d/appearance.h"
#include "object3d/effect.h"
#include "object3d/effect_slots.h"
#include "object3d/model_files.h"
#include "support/fake_effect.h"
#include "support/image_files.h"
#include "support/temp_folder.h"
#include "universe/universe_collision.h"
#include "universe/universe_commands.h"

#include <functional>
#include <string>
#include <vector>

namespace {

// The slots and material entries of the meshes that hold the texture.
int Holding(const std::vector<MeshRecord*>& meshes, const IDirect3DTexture9* texture) {
    int n = 0;
    for (const MeshRecord* mesh : meshes) {
        for (std::int32_t i = 0; mesh && mesh->textures && i < mesh->textureCount; ++i)
            n += mesh->textures[i].texture == texture;
        for (std::int32_t i = 0; mesh && mesh->multiMaterials && i < mesh->multiMaterialCount; ++i)
            n += mesh->multiMaterials[i].texture == texture;
    }
    return n;
}

std::int32_t Uses(std::int32_t image) {
    const auto found = g_Object3D.moduleImageUses.find(image);
    return found == g_Object3D.moduleImageUses.end() ? 0 : found->second;
}

class UniverseEffects : public UniverseScene {
protected:
    void SetUp() override {
        UniverseScene::SetUp();
        SetEffectCreator(CreateFakeEffect);
    }
    void TearDown() override {
        HandOutFakeEffect(nullptr);
        SetEffectCreator(nullptr);
        UniverseScene::TearDown();
    }
};

} // namespace

TEST_F(UniverseScene, TheWorldsMeshesAndDecalLetGoOfADeletedImageAndTakeOneMadeAgain) {
    TempFolder folder;
    ASSERT_NE(CreateManagedImage(1, 8, 8), nullptr);
    IDirect3DTexture9* old = GetImagePointer(1);
    old->AddRef(); // ours: the memory cannot be reused while the test looks
    CreateUniverse(1000, 1000, 1000);
    BuildBox(1, 10);
    TextureObject(1, 1);
    AddObjectToUniverse(1, 2, 0, 0, 0); // a box approximation as the companion
    BuildUniverse();
    ASSERT_TRUE(World().SaveLevel(folder.File("level.tlo").c_str()));
    SetUniverseDecalImage(1, 2, 2);
    const std::pair<const char*, std::function<std::vector<MeshRecord*>()>> kLists[] = {
        {"level meshes", [] { return World().levelMeshes; }},
        {"collision meshes", [] { return World().collisionMeshes; }},
        {"batches", [] { return World().textureMeshes; }},
        {"decal ring", [] { return std::vector<MeshRecord*>{World().decalMesh}; }}};
    for (const auto& [name, meshes] : kLists)
        ASSERT_GT(Holding(meshes(), old), 0) << name;
    DeleteImage(1);
    for (const auto& [name, meshes] : kLists)
        EXPECT_EQ(Holding(meshes(), old), 0) << name;
    SyncAndReadCentre(0xFF000000);

    // Made again under its number, as a remove and a create make it: each slot that showed it
    // shows the new texture; and one shown still, by its old texture alone.
    IDirect3DTexture9* made = CreateManagedImage(1, 8, 8);
    TellItemKeepers(ItemOwner::Image, {ItemChange::Remade, 1, old, made});
    for (const auto& [name, meshes] : kLists)
        EXPECT_GT(Holding(meshes(), made), 0) << name;
    IDirect3DTexture9* other = CreateManagedImage(2, 8, 8);
    TellItemKeepers(ItemOwner::Image, {ItemChange::Remade, 7, made, other});
    EXPECT_EQ(Holding(kLists[3].second(), made), 0);
    EXPECT_EQ(Holding(kLists[3].second(), other), 1);
    SyncAndReadCentre(0xFF000000);
    EXPECT_EQ(old->Release(), 0u); // no one else held it
}

TEST_F(UniverseEffects, ALevelsMeshesLetGoOfADeletedSlotEffect) {
    TempFolder folder;
    auto* fake = new FakeEffect;
    fake->AddRef(); // ours, so that its count can be read after the slot lets go
    HandOutFakeEffect(fake);
    const std::string fx = folder.Write("level.fx", "// stand-in\n");
    LoadEffect(fx.c_str(), 2, 0);
    ASSERT_NE(EffectInSlot(2), nullptr);
    ObjectRecord object;
    object.rootFrame = new FrameRecord;
    object.rootFrame->mesh = new MeshRecord;
    ASSERT_TRUE(FillBoxMesh(object.rootFrame->mesh, {-5, -5, -5}, {5, 5, 5}));
    object.rootFrame->mesh->effectInUse = 1;
    std::strcpy(object.rootFrame->mesh->effectFileName, fx.c_str());
    const std::string level = folder.File("level.tlo");
    ASSERT_TRUE(SaveObjectFile(level.c_str(), &object));
    ASSERT_EQ(LoadUniverse(level.c_str(), 0), 1);
    ASSERT_EQ(World().textureMeshes.size(), 1u);
    MeshRecord* mesh = World().textureMeshes[0];
    ASSERT_EQ(mesh->effect, EffectInSlot(2)); // shared with the slot, not loaded again
    DeleteEffect(2);
    EXPECT_EQ(fake->references, 1u);
    EXPECT_EQ(mesh->effect, nullptr);
    EXPECT_EQ(mesh->effectInUse, 0);
    SyncAndReadCentre(0xFF000000);
    fake->Release();
}

TEST_F(UniverseTables, AWorldsEndGivesItsStaticObjectsBackTheirVisibility) {
    const std::pair<const char*, std::function<void()>> kEnds[] = {
        {"DeleteUniverse", [] { DeleteUniverse(); }},
        {"CreateUniverse", [] { CreateUniverse(500, 500, 500); }},
        {"LoadUniverse", [] { LoadUniverse("no such level.tlo", 0); }}};
    for (const auto& [name, end] : kEnds) {
        CreateUniverse(1000, 1000, 1000);
        ASSERT_TRUE(CreateNewObject(1, "static"));
        ASSERT_EQ(AddStaticObjectToUniverse(1), 1);
        g_Object3D.objects[1]->universeVisible = 0; // in an area the camera does not see
        end();
        EXPECT_EQ(g_Object3D.objects[1]->universeVisible, 1) << name;
        EXPECT_EQ(g_Object3D.objects[1]->staticReleased, 1) << name;
        ASSERT_TRUE(DeleteObject(1));
    }
}

TEST_F(UniverseScene, ARebuiltWorldKeepsNoContactOnAFreedMesh) {
    struct Row {
        const char* name;
        bool saved;                                     // the ray meets a batch mesh
        std::function<void(const TempFolder&)> rebuild; // frees the batches, if any
        bool kept;                                      // the contact's mesh lives on
    } const kRows[] = {
        {"built, built again", false, [](const TempFolder&) { BuildUniverse(); }, true},
        {"saved, built again", true, [](const TempFolder&) { BuildUniverse(); }, false},
        {"saved, saved again", true,
         [](const TempFolder& f) { SaveUniverse(f.File("again.tlo").c_str()); }, false},
    };
    for (const Row& row : kRows) {
        TempFolder folder;
        BuildDoorwayLevel();
        SetUniverseDecalImage(0, 1, 1);
        if (row.saved) SaveUniverse(folder.File("level.tlo").c_str());
        ASSERT_EQ(UniverseRayCommand(-100, 20, 0, -100, 20, 60), 49) << row.name;
        MeshRecord* met = World().rayContact.mesh;
        const auto& listed = row.saved ? World().textureMeshes : World().levelMeshes;
        ASSERT_NE(std::find(listed.begin(), listed.end(), met), listed.end()) << row.name;
        row.rebuild(folder);
        EXPECT_EQ(World().rayContact.mesh, row.kept ? met : nullptr) << row.name;
        AddUniverseDecal(10, 0);
        EXPECT_EQ(World().decalCursor, row.kept ? 4 : 0) << row.name;
        // A new ray finds the rebuilt world's surface.
        ASSERT_EQ(UniverseRayCommand(-100, 20, 0, -100, 20, 60), 49) << row.name;
        AddUniverseDecal(10, 0);
        EXPECT_EQ(World().decalCursor, row.kept ? 8 : 4) << row.name;
    }
}

TEST_F(UniverseScene, TheWorldGivesBackTheImagesItsMeshesUse) {
    TempFolder folder;
    const std::string wood = folder.Write("wood.bmp", BmpBytes(4, 4, [](int, int) { return 0u; }));
    const std::int32_t image = LoadTextureForModule(wood.c_str()); // counted by the slots
    ASSERT_LT(image, 0);
    BuildBox(1, 10);
    SetMeshTexture(FirstMesh(1), 0, image);
    ASSERT_EQ(Uses(image), 1);
    CreateUniverse(1000, 1000, 1000);
    AddObjectToUniverse(1, 2, 0, 0, 0);
    ASSERT_EQ(Uses(image), 3); // and the level mesh's and its companion's
    BuildUniverse();
    ASSERT_TRUE(World().SaveLevel(folder.File("level.tlo").c_str()));
    EXPECT_GT(Uses(image), 3);
    BuildUniverse(); // the batches go
    EXPECT_EQ(Uses(image), 3);
    DeleteUniverse();
    EXPECT_EQ(Uses(image), 1);

    // A loaded level's shared entry that no batch holds, which a save leaves out of the mesh list.
    ReplaceUniverse(true);
    MeshRecord* shared = BoxMesh({0, 0, 0}, {1, 1, 1});
    SetMeshTexture(shared, 0, image);
    World().textureMeshes = {shared};
    World().areas.push_back(std::make_unique<UniverseArea>());
    World().areas[0]->loadedShared.push_back(std::make_unique<UniverseBatch>());
    World().areas[0]->loadedShared[0]->mesh = shared;
    World().areas[0]->sharedMeshes.push_back(World().areas[0]->loadedShared[0].get());
    World().SaveLevel(folder.File("shared.tlo").c_str());
    ASSERT_EQ(Uses(image), 2);
    DeleteUniverse();
    EXPECT_EQ(Uses(image), 1);
}
