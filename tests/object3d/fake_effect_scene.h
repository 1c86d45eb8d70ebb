// A scene whose effect files are made by the stand-in effect: the tests of the effect slots and
// of the effect commands hand out the effect each load is to give.
#pragma once

#include "core/win32.h"

#include "object3d/effect.h"
#include "support/fake_effect.h"
#include "support/object_scene.h"
#include "support/temp_folder.h"

#include <string>
#include <utility>
#include <vector>

class FakeEffectScene : public ObjectScene {
public:
    static FakeParameter Parameter(const std::string& name, const std::string& semantic = "",
                                   D3DXPARAMETER_CLASS parameterClass = D3DXPC_MATRIX_ROWS,
                                   D3DXPARAMETER_TYPE type = D3DXPT_FLOAT) {
        FakeParameter p;
        p.name = name;
        p.semantic = semantic;
        p.parameterClass = parameterClass;
        p.type = type;
        return p;
    }
    static FakeParameter Annotation(const std::string& name, const std::string& text) {
        FakeParameter a = Parameter(name, "", D3DXPC_OBJECT, D3DXPT_STRING);
        a.text = text;
        return a;
    }
    // A texture parameter naming a file, which loads now or takes a mesh's texture later.
    static FakeParameter TextureParameter(const std::string& name) {
        FakeParameter p = Parameter(name, "", D3DXPC_OBJECT, D3DXPT_TEXTURE);
        p.annotations = {Annotation("ResourceName", name + ".bmp")};
        return p;
    }

protected:
    void SetUp() override {
        ObjectScene::SetUp();
        SetEffectCreator(CreateFakeEffect);
    }
    void TearDown() override {
        HandOutFakeEffect(nullptr);
        SetEffectCreator(nullptr);
        ObjectScene::TearDown();
        for (FakeEffect* fake : kept_)
            fake->Release();
    }
    // The next effect made from a file: a stand-in with these parameters, kept readable to the end.
    FakeEffect* NextEffect(std::vector<FakeParameter> parameters = {}) {
        auto* fake = new FakeEffect;
        fake->parameters = std::move(parameters);
        fake->AddRef();
        kept_.push_back(fake);
        HandOutFakeEffect(fake);
        return fake;
    }
    // A file that exists, for the loaders that look before they load.
    std::string EffectFile(const std::string& name = "test.fx") {
        return folder.Write(name, "// stand-in\n");
    }
    TempFolder folder;

private:
    std::vector<FakeEffect*> kept_;
};

// Object n: `meshes` frames in a chain, each with a box mesh; set up.
inline void BuildBoxChain(std::int32_t n, std::int32_t meshes) {
    ASSERT_TRUE(CreateNewObjectWithLimbs(n, "chain", meshes));
    for (FrameRecord* f = g_Object3D.objects[n]->rootFrame; f; f = f->child)
        ASSERT_TRUE(FillBoxMesh(f->mesh, {-1, -1, -1}, {1, 1, 1}));
    ASSERT_TRUE(SetupNewObject(n, -1.0f));
}
