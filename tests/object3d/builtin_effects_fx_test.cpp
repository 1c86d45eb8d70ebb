// The built-in shadings' effect files as the build installs them beside the game, compiled by the
// platform's effect compiler. Wine 8 has none, so these run on Windows only.
#include "core/win32.h"

#include "object3d/builtin_effects.h"
#include "object3d/effect.h"
#include "object3d/mesh_convert.h"
#include "object3d/object_records.h"
#include "support/object_scene.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class BuiltinEffectFiles : public ObjectScene {
protected:
    void SetUp() override {
        ObjectScene::SetUp();
        if (RunningUnderWine())
            GTEST_SKIP() << "Wine 8 has no effect compiler: the .fx files compile on Windows only";
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        game_ = path;
        game_.resize(game_.find_last_of("\\/") + 1);
        game_ += "game\\";
    }
    void TearDown() override {
        SetCurrentDirectoryA(kept_.c_str());
        ObjectScene::TearDown();
    }
    std::string Installed(const char* name) const { return game_ + name; }
    // The effect search then finds the files by their bare names, as the game would.
    void EnterGameFolder() {
        char here[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH, here);
        kept_ = here;
        ASSERT_TRUE(SetCurrentDirectoryA(game_.c_str())) << game_;
    }

private:
    std::string game_, kept_ = ".";
};

} // namespace

TEST_F(BuiltinEffectFiles, EveryFileCompilesWithAValidTechnique) {
    for (const char* name :
         {"bump.fx", "cartoon.fx", "rainbow.fx", "stencilshadow.fx", "stencilshadowbone.fx"}) {
        ID3DXEffect* effect = nullptr;
        ID3DXBuffer* errors = nullptr;
        const HRESULT hr =
            D3DXCreateEffectFromFileA(g_Object3D.device, Installed(name).c_str(), nullptr, nullptr,
                                      0, nullptr, &effect, &errors);
        const std::string text =
            errors ? static_cast<const char*>(errors->GetBufferPointer()) : std::string();
        if (errors) errors->Release();
        ASSERT_EQ(hr, S_OK) << name << ": " << text;
        D3DXHANDLE technique = nullptr;
        EXPECT_EQ(effect->FindNextValidTechnique(nullptr, &technique), S_OK) << name;
        EXPECT_NE(technique, nullptr) << name;
        effect->Release();
    }
}

TEST_F(BuiltinEffectFiles, TheEngineBindsWhatEachFileReads) {
    EffectBase bump, cartoon, rainbow, shadow, bone;
    ASSERT_TRUE(bump.Load(Installed("bump.fx").c_str(), false, false));
    EXPECT_EQ(bump.deferredCount, 2u); // the mesh's texture and the bump map
    EXPECT_EQ(bump.needsTangent, 1u);
    for (int slot : {kSemanticWorldViewProjection, kSemanticWorldInverse, kSemanticLightPosition,
                     kSemanticEyePosition})
        EXPECT_NE(bump.semantics[slot], nullptr) << slot;

    ASSERT_TRUE(cartoon.Load(Installed("cartoon.fx").c_str(), false, false));
    EXPECT_EQ(cartoon.deferredCount, 2u);
    EXPECT_EQ(cartoon.needsColour, 1u);

    ASSERT_TRUE(rainbow.Load(Installed("rainbow.fx").c_str(), false, false));
    EXPECT_EQ(rainbow.deferredCount, 2u);
    EXPECT_NE(rainbow.semantics[kSemanticTime], nullptr);

    ASSERT_TRUE(shadow.Load(Installed("stencilshadow.fx").c_str(), false, false));
    ASSERT_TRUE(bone.Load(Installed("stencilshadowbone.fx").c_str(), false, false));
    for (EffectBase* e : {&shadow, &bone}) {
        EXPECT_EQ(e->deferredCount, 0u);
        for (int slot :
             {kSemanticWorld, kSemanticViewProjection, kSemanticLightPosition, kSemanticMeshRadius})
            EXPECT_NE(e->semantics[slot], nullptr) << e->fileName << " " << slot;
        D3DXTECHNIQUE_DESC technique{};
        ASSERT_EQ(e->effect->GetTechniqueDesc(e->effect->GetCurrentTechnique(), &technique), S_OK);
        EXPECT_EQ(technique.Passes, 2u); // front faces counted up, back faces down
    }
    EXPECT_EQ(shadow.usesPalette, 0u);
    EXPECT_EQ(bone.usesPalette, 1u);
}

TEST_F(BuiltinEffectFiles, ShadingsAndShaderShadowsFindTheirFilesFromTheGameFolder) {
    EnterGameFolder();
    MeshRecord cube;
    ASSERT_TRUE(FillBoxMesh(&cube, D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1)));
    SetCartoonShading(&cube, 0, 0);
    ASSERT_NE(cube.effect, nullptr);
    ASSERT_NE(cube.effect->effect, nullptr);
    EXPECT_GE(cube.effect->Apply(&cube), 1u);
    cube.effect->End();

    MeshRecord* shadow = nullptr;
    ASSERT_TRUE(SetShadowShading(&cube, &shadow, 1));
    EXPECT_NE(shadow->effect, nullptr);
    EXPECT_NE(shadow->shadowRange, -1.0f);
    delete shadow;
}
