#include "core/win32.h"

#include "fake_effect_scene.h"
#include "object3d/effect_commands.h"
#include "object3d/effect_slots.h"
#include "object3d/object_commands.h"
#include "object3d/positioning.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

MeshRecord* MeshOf(std::int32_t n, std::int32_t i) {
    return g_Object3D.objects[n]->meshes[i];
}

std::vector<FakeParameter> NineDeferredTextures() {
    std::vector<FakeParameter> nine;
    for (int i = 0; i < 9; ++i)
        nine.push_back(FakeEffectScene::TextureParameter("t" + std::to_string(i)));
    return nine;
}

} // namespace

TEST_F(FakeEffectScene, EffectsLoadIntoFreeSlotsOnly) {
    const std::string file = EffectFile();
    LoadEffect(file.c_str(), 0, 0);
    EXPECT_EQ(cell.number, 7721);
    LoadEffect(folder.File("missing.fx").c_str(), 3, 0);
    EXPECT_EQ(cell.number, 105);
    EXPECT_EQ(g_Object3D.effects[3], nullptr);

    NextEffect();
    LoadEffect(file.c_str(), 3, 1);
    EffectBase* first = EffectInSlot(3);
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first->effect, nullptr);
    EXPECT_EQ(first->texturesLoaded, 1); // flag 1: the annotations' textures load now
    FakeEffect* second = NextEffect();
    LoadEffect(file.c_str(), 3, 0);
    EXPECT_EQ(cell.number, 7723);
    EXPECT_EQ(EffectInSlot(3), first);
    EXPECT_EQ(second->references, 2u); // never handed out

    // A file that does not compile leaves its slot empty, with the load's error.
    HandOutFakeEffect(nullptr);
    cell.number = 0;
    LoadEffect(file.c_str(), 4, 0);
    EXPECT_EQ(g_Object3D.effects[4], nullptr);
    EXPECT_EQ(cell.number, 7703);
    DeleteEffect(4);
    EXPECT_EQ(cell.number, 7722);
    DeleteEffect(3);
    EXPECT_EQ(g_Object3D.effects[3], nullptr);
}

TEST_F(FakeEffectScene, DeletingAnEffectTakesItOffTheMeshesSharingIt) {
    NextEffect();
    LoadEffect(EffectFile().c_str(), 2, 0);
    BuildBoxChain(1, 2);
    PositionObject(1, 0, 0, 8);
    SetObjectEffect(1, 2);
    ASSERT_EQ(MeshOf(1, 1)->effect, EffectInSlot(2));
    DeleteEffect(2);
    for (std::int32_t i = 0; i < 2; ++i) {
        EXPECT_EQ(MeshOf(1, i)->effect, nullptr);
        EXPECT_EQ(MeshOf(1, i)->effectInUse, 0);
    }
    SyncAndReadCentre(0xFF000000); // drawn without the effect
}

TEST_F(FakeEffectScene, AFileEffectIsOwnedByAllTheObjectsMeshes) {
    BuildBoxChain(1, 3);
    PositionObject(1, 0, 0, 8);
    FakeEffect* fake = NextEffect();
    SetObjectEffectFromFile(1, EffectFile().c_str(), 1);
    EffectBase* effect = MeshOf(1, 0)->effect;
    ASSERT_NE(effect, nullptr);
    for (std::int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(MeshOf(1, i)->effect, effect);
        EXPECT_EQ(MeshOf(1, i)->sharedEffect, 0);
    }
    EXPECT_EQ(effect->owners, 3u);

    // The first mesh letting go leaves the effect alive for the others, which still draw with it.
    SetMeshEffect(MeshOf(1, 0), nullptr, true);
    EXPECT_EQ(effect->owners, 2u);
    EXPECT_EQ(fake->references, 2u);
    fake->calls.clear();
    SyncAndReadCentre(0xFF000000);
    EXPECT_NE(std::find(fake->calls.begin(), fake->calls.end(), "Begin"), fake->calls.end());
    DeleteObjectCmd(1);
    EXPECT_EQ(fake->references, 1u); // destroyed with its last owner
}

TEST_F(FakeEffectScene, AClonesEffectOutlivesItsSource) {
    BuildBoxChain(1, 1);
    FakeEffect* fake = NextEffect();
    SetObjectEffectFromFile(1, EffectFile().c_str(), 1);
    CloneObject(2, 1, 0);
    EffectBase* effect = MeshOf(2, 0)->effect;
    ASSERT_EQ(effect, MeshOf(1, 0)->effect);
    EXPECT_EQ(effect->owners, 2u);
    DeleteObjectCmd(1);
    EXPECT_EQ(effect->owners, 1u);
    EXPECT_EQ(fake->references, 2u); // still the clone's
    DeleteObjectCmd(2);
    EXPECT_EQ(fake->references, 1u);
}

TEST_F(FakeEffectScene, AFreeNumberGetsAPyramidUnlessTheEffectIsRefused) {
    const std::string file = EffectFile();
    NextEffect();
    SetObjectEffectFromFile(5, file.c_str(), 0);
    ASSERT_TRUE(ObjectExists(5));
    EXPECT_STREQ(g_Object3D.objects[5]->rootFrame->name, "pyramid");
    EXPECT_NE(MeshOf(5, 0)->effect, nullptr);

    // Nine textures to take from the meshes are more than a mesh offers.
    FakeEffect* refused = NextEffect(NineDeferredTextures());
    SetObjectEffectFromFile(6, file.c_str(), 0);
    EXPECT_EQ(cell.number, 7703);
    EXPECT_FALSE(ObjectExists(6));
    EXPECT_EQ(refused->references, 1u);

    cell.number = 0;
    HandOutFakeEffect(nullptr); // the file does not load
    SetObjectEffectFromFile(7, file.c_str(), 0);
    EXPECT_EQ(cell.number, 7703);
    EXPECT_FALSE(ObjectExists(7));

    // An object that was there stays, without the effect.
    BuildBox(8, 1);
    cell.number = 0;
    NextEffect(NineDeferredTextures());
    SetObjectEffectFromFile(8, file.c_str(), 0);
    EXPECT_EQ(cell.number, 7703);
    ASSERT_TRUE(ObjectExists(8));
    EXPECT_EQ(FirstMesh(8)->effect, nullptr);
}
