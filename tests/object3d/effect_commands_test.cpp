#include "core/win32.h"

#include "fake_effect_scene.h"
#include "maths/maths.h"
#include "object3d/effect_commands.h"
#include "object3d/effect_slots.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

MeshRecord* MeshOf(std::int32_t n, std::int32_t i) {
    return g_Object3D.objects[n]->meshes[i];
}

std::int32_t ProgressWord() {
    return g_Object3D.core->loadProgress;
}

// An effect that notes the progress word each time a mesh is prepared for it.
class ProgressEffect : public EffectBase {
public:
    bool PrepareMesh(MeshRecord* mesh) override {
        seen.push_back(ProgressWord());
        return EffectBase::PrepareMesh(mesh);
    }
    std::vector<std::int32_t> seen;
};

HRESULT WINAPI FailWithMessages(IDirect3DDevice9*, const char*, const D3DXMACRO*, ID3DXInclude*,
                                DWORD, ID3DXEffectPool*, ID3DXEffect** effect,
                                ID3DXBuffer** errors) {
    *effect = nullptr;
    const char text[] = "file(12) : error X3000: msg\nno colons here\r\n"
                        "C:\\fx\\a.fx(3): error X1: two\n";
    if (errors && SUCCEEDED(D3DXCreateBuffer(sizeof text, errors)))
        std::memcpy((*errors)->GetBufferPointer(), text, sizeof text);
    return E_FAIL;
}

struct RowValues {
    std::string text;
    std::int32_t a, b, c, d;
    bool operator==(const RowValues&) const = default;
};

std::vector<RowValues> ChecklistRows() {
    const CoreData* core = g_Object3D.core;
    std::vector<RowValues> rows;
    for (std::int32_t i = 0; i < core->checklistRowsInUse; ++i) {
        const ChecklistEntry& e = core->checklistRows[i];
        rows.push_back({e.string, e.values[0], e.values[1], e.values[2], e.values[3]});
    }
    return rows;
}

} // namespace

TEST_F(FakeEffectScene, ObjectEffectsComeAndGoWithTheirProgressWords) {
    BuildBoxChain(1, 3);
    NextEffect();
    LoadEffect(EffectFile().c_str(), 2, 0);
    SetObjectEffect(1, 2);
    EXPECT_EQ(ProgressWord(), 13002);
    for (std::int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(MeshOf(1, i)->effect, EffectInSlot(2));
        EXPECT_EQ(MeshOf(1, i)->sharedEffect, 1);
    }

    // Taking the effects off also puts the backed-up vertices back.
    MeshRecord* mesh = MeshOf(1, 0);
    ASSERT_NE(mesh->backupVertices, nullptr);
    reinterpret_cast<float*>(mesh->vertices)[0] = 99;
    SetObjectEffect(1, 0);
    EXPECT_EQ(ProgressWord(), 13002);
    EXPECT_EQ(std::memcmp(mesh->vertices, mesh->backupVertices,
                          static_cast<std::size_t>(mesh->vertexCount) * mesh->vertexSize),
              0);
    for (std::int32_t i = 0; i < 3; ++i)
        EXPECT_EQ(MeshOf(1, i)->effect, nullptr);
    EXPECT_NE(EffectInSlot(2), nullptr); // the slot keeps it

    SetObjectEffect(1, 9);
    EXPECT_EQ(cell.number, 7722);
    EXPECT_EQ(ProgressWord(), 10001);

    // An effect the meshes refuse (more textures to take than a mesh offers) is reported.
    std::vector<FakeParameter> nine;
    for (int i = 0; i < 9; ++i)
        nine.push_back(TextureParameter("t" + std::to_string(i)));
    NextEffect(nine);
    LoadEffect(EffectFile().c_str(), 3, 0);
    cell.number = 0;
    SetObjectEffect(1, 3);
    EXPECT_EQ(cell.number, 7703);
    EXPECT_EQ(ProgressWord(), 13002);
    EXPECT_EQ(MeshOf(1, 0)->effect, nullptr);
}

TEST_F(FakeEffectScene, EachMeshTakingTheEffectLeavesItsProgressWord) {
    BuildBoxChain(1, 3);
    auto* effect = new ProgressEffect;
    g_Object3D.effects[4] = new EffectHolder(effect);
    SetObjectEffect(1, 4);
    EXPECT_EQ(effect->seen, (std::vector<std::int32_t>{11001, 11002, 11003}));
    DeleteEffect(4);
}

TEST_F(FakeEffectScene, ALimbTakesAnEffectAlone) {
    BuildBoxChain(1, 2);
    NextEffect();
    LoadEffect(EffectFile().c_str(), 2, 0);
    SetLimbEffect(1, 1, 2);
    const ObjectRecord* object = g_Object3D.objects[1];
    EXPECT_EQ(object->frames[1]->mesh->effect, EffectInSlot(2));
    EXPECT_EQ(object->frames[0]->mesh->effect, nullptr);
    SetLimbEffect(1, 1, 0);
    EXPECT_EQ(object->frames[1]->mesh->effect, nullptr);
    SetLimbEffect(1, 5, 2);
    EXPECT_EQ(cell.number, 7023);
    SetLimbEffect(1, 0, 3);
    EXPECT_EQ(cell.number, 7722);
}

TEST_F(FakeEffectScene, ConstantsSetByNameKeepTheProgramsValue) {
    FakeEffect* fake =
        NextEffect({Parameter("world", "world"), Parameter("tint", "", D3DXPC_VECTOR),
                    Parameter("scale", "", D3DXPC_SCALAR)});
    LoadEffect(EffectFile().c_str(), 2, 0);
    EffectBase* effect = EffectInSlot(2);
    ASSERT_NE(effect->semantics[kSemanticWorld], nullptr);

    ASSERT_TRUE(MakeMatrix(50));
    TranslateMatrix(50, 1, 2, 3);
    SetEffectConstantMatrix(2, "world", 50);
    EXPECT_EQ(fake->matrices["world"]._42, 2.0f);
    EXPECT_EQ(effect->semantics[kSemanticWorld], nullptr); // the engine no longer sets it

    ASSERT_TRUE(MakeVector4(51));
    SetVector4(51, 1, 2, 3, 4);
    SetEffectConstantVector(2, "tint", 51);
    EXPECT_EQ(fake->vectors["tint"], D3DXVECTOR4(1, 2, 3, 4));
    SetEffectConstantFloat(2, "scale", 2.5f);
    EXPECT_EQ(fake->floats["scale"], 2.5f);
    SetEffectConstantFloat(2, "missing", 1);
    EXPECT_EQ(fake->floats.count("missing"), 0u);
    SetEffectConstantFloat(3, "scale", 1);
    EXPECT_EQ(cell.number, 7722);
}

TEST_F(FakeEffectScene, TheParameterChecklistSaysWhatEachParameterIs) {
    FakeParameter sun = Parameter("sun", "", D3DXPC_VECTOR);
    sun.annotations = {Annotation("UIDirectional", "")};
    FakeParameter lamp = Parameter("lamp", "", D3DXPC_VECTOR);
    lamp.annotations = {Annotation("UIObject", "PointLight")};
    NextEffect({Parameter("", "", D3DXPC_SCALAR), Parameter("mat"),
                Parameter("wvp", "WorldViewProjection"),
                Parameter("flag", "", D3DXPC_SCALAR, D3DXPT_BOOL),
                Parameter("count", "", D3DXPC_SCALAR, D3DXPT_INT),
                Parameter("tint", "", D3DXPC_VECTOR), sun, TextureParameter("skin"), lamp});
    LoadEffect(EffectFile().c_str(), 2, 0);
    EffectParameterChecklist(2);
    const CoreData* core = g_Object3D.core;
    EXPECT_EQ(core->checklistMade, 1);
    EXPECT_EQ(core->checklistHasValues, 1);
    EXPECT_EQ(core->checklistHasStrings, 1);
    const std::vector<RowValues> expected = {
        {"<noname>", 3, 0, D3DXPC_SCALAR, D3DXPT_FLOAT},
        {"mat", 5, 0, D3DXPC_MATRIX_ROWS, D3DXPT_FLOAT},
        {"wvp", 5, 1, D3DXPC_MATRIX_ROWS, D3DXPT_FLOAT},
        {"flag", 1, 0, D3DXPC_SCALAR, D3DXPT_BOOL},
        {"count", 2, 0, D3DXPC_SCALAR, D3DXPT_INT},
        {"tint", 4, 0, D3DXPC_VECTOR, D3DXPT_FLOAT},
        {"sun", 4, 1, D3DXPC_VECTOR, D3DXPT_FLOAT},
        {"skin", 0, 1, D3DXPC_OBJECT, D3DXPT_TEXTURE},
        {"lamp", 4, 1, D3DXPC_VECTOR, D3DXPT_FLOAT},
    };
    EXPECT_EQ(ChecklistRows(), expected);

    // An effect that never loaded has nothing to list; the checklist stays as it was.
    g_Object3D.effects[3] = new EffectHolder;
    EffectParameterChecklist(3);
    EXPECT_EQ(ChecklistRows().size(), expected.size());
    DeleteEffect(3);
}

TEST_F(FakeEffectScene, TheErrorChecklistListsEachMessageAlone) {
    SetEffectCreator(FailWithMessages);
    LoadEffect(EffectFile().c_str(), 2, 0);
    EXPECT_EQ(EffectInSlot(2), nullptr);
    EffectErrorChecklist();
    const CoreData* core = g_Object3D.core;
    EXPECT_EQ(core->checklistMade, 1);
    EXPECT_EQ(core->checklistHasValues, 0);
    EXPECT_EQ(core->checklistHasStrings, 1);
    ASSERT_EQ(core->checklistRowsInUse, 3);
    EXPECT_STREQ(core->checklistRows[0].string, "msg");
    EXPECT_STREQ(core->checklistRows[1].string, "no colons here");
    EXPECT_STREQ(core->checklistRows[2].string, "error X1: two"); // a drive letter's colon counts
}
