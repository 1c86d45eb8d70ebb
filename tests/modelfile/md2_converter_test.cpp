#include "core/win32.h"

#include "model_bytes.h"
#include "modelfile/conv_md2.h"
#include "modelfile/converters.h"
#include "object3d/object_commands.h"
#include "object3d/object_records.h"
#include "support/object_scene.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace {

const std::string kModels = "Z:\\usr\\share\\assimp\\models\\MD2\\";

struct MD2Layout {
    const char* magic = "IDP2";
    std::int32_t version = 8, frames = 1, skinWidth = 64;
    std::vector<std::string> skins;
    std::int16_t lastCorner = 2;
};

// One triangle, scale (1, 2, 3), translate (0, 0, 5), vertex 0 packed (10 + frame, 20, 30).
std::string MakeMD2(const MD2Layout& s) {
    const std::int32_t skins = static_cast<std::int32_t>(s.skins.size()), coords = 68 + 64 * skins;
    FileBytes f;
    f.Raw(s.magic, 4).I32(s.version).I32(s.skinWidth).I32(32).I32(52).I32(skins).I32(3).I32(3);
    f.I32(1).I32(0).I32(s.frames).I32(68).I32(coords).I32(coords + 12).I32(coords + 24).I32(0);
    f.I32(coords + 24 + 52 * s.frames);
    for (const std::string& skin : s.skins)
        f.Field(skin, 64);
    f.I16(0).I16(0).I16(32).I16(0).I16(0).I16(16).I16(0).I16(1).I16(s.lastCorner).I16(0).I16(1);
    f.I16(2);
    for (std::int32_t k = 0; k < s.frames; ++k) {
        f.F32(1).F32(2).F32(3).F32(0).F32(0).F32(5).Field("frame", 16);
        f.I32(0x1E140A + k).I32(0x1E1428).I32(0x1E320A);
    }
    return f.data;
}

bool Decodes(const std::string& file, ConvMD2::MD2Data* data = nullptr) {
    ConvMD2::MD2Data local;
    return ConvMD2::Decode(SpanOf(file), data ? *data : local);
}

std::string SkinName(std::string name) {
    name.resize(64, '\0');
    return ConvMD2::SkinTextureName(reinterpret_cast<const std::uint8_t*>(name.data()));
}

} // namespace

TEST(MD2File, DecodesWithTheAxesSwappedAndRefusesWhatDoesNotFit) {
    ConvMD2::MD2Data data;
    MD2Layout skinned;
    skinned.skins = {"skins/red/base.pcx"};
    ASSERT_TRUE(Decodes(MakeMD2(skinned), &data));
    const ConvMD2::DecodedVertex& v = data.frames[0].vertices[0];
    EXPECT_EQ(D3DXVECTOR3(v.x, v.y, v.z), D3DXVECTOR3(10, 95, 40));
    EXPECT_EQ(data.texCoords[1].u, 0.5f);
    EXPECT_EQ(data.skins, std::vector<std::string>{"base.bmp"});
    EXPECT_EQ(SkinName("base.pcx"), "base.bmp");
    EXPECT_EQ(SkinName("ab"), "bmp");
    EXPECT_EQ(SkinName(std::string(64, 'k')), std::string(61, 'k') + "bmp"); // no zero: whole

    for (auto change : std::vector<void (*)(MD2Layout&)>{
             [](MD2Layout& s) { s.version = 7; }, [](MD2Layout& s) { s.magic = "IDP3"; },
             [](MD2Layout& s) { s.lastCorner = 3; }, [](MD2Layout& s) { s.skinWidth = 0; },
             [](MD2Layout& s) { s.frames = 0; }}) {
        MD2Layout layout;
        change(layout);
        EXPECT_FALSE(Decodes(MakeMD2(layout)));
    }
    const std::string file = MakeMD2({});
    EXPECT_FALSE(Decodes(file.substr(0, file.size() - 1)));
    ForEachDamagedCopy(file, {20, 24, 28, 32, 40, 44, 48, 52, 56}, 8,
                       [](const std::string& copy) { Decodes(copy); });
}

TEST_F(ObjectScene, MD2FramesBecomeKeyFrameMeshes) {
    TempFolder folder;
    MD2Layout layout;
    layout.frames = 3;
    ASSERT_TRUE(ConvMD2::Load(folder.Write("three.md2", MakeMD2(layout)).c_str()));
    const MeshRecord* root = ConvMD2::LoadedObject()->rootFrame->mesh;
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->vertexCount, 3);
    EXPECT_EQ(root->indices, nullptr);
    EXPECT_EQ(root->savedFVF, 0x112u);
    ASSERT_EQ(root->keyFrameCount, 3);
    auto bytes = [](const MeshRecord* m) {
        return std::string(reinterpret_cast<const char*>(m->vertices), m->vertexCount * 32);
    };
    EXPECT_EQ(bytes(root), bytes(root->keyFrames[0].mesh));
    EXPECT_EQ(reinterpret_cast<const float*>(root->keyFrames[2].mesh->vertices)[0], 12.0f);
    const float* n = reinterpret_cast<const float*>(root->vertices) + 3;
    EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0f, 1e-4); // the platform's normal
    ASSERT_EQ(root->textureCount, 1);
    EXPECT_STREQ(root->textures[0].fileName, ""); // no skins: one slot naming nothing

    for (const char* name : {"faerie.md2", "sydney.md2"}) {
        std::uint8_t* block = nullptr;
        std::uint32_t size = 0;
        ASSERT_TRUE(ConvMD2::Convert((kModels + name).c_str(), &block, &size)) << name;
        EXPECT_EQ(ConvMD2::LoadedObject()->rootFrame->mesh->keyFrameCount, 198) << name;
        EXPECT_TRUE(SavedBlockReadsBackSame(block, size, folder.Path())) << name;
        ConvMD2::Free(block);
    }
    EXPECT_EQ(ConvMD2::LoadedObject(), nullptr);
    ConvertDamagedCopies(TempFolder::Read(kModels + "faerie.md2"),
                         {8, 12, 16, 20, 24, 28, 32, 36, 40, 44, 48, 52, 56, 60, 64},
                         folder.File("damaged.md2"), ConvMD2::Convert, ConvMD2::Free);
}

TEST_F(ObjectScene, MD2PositionsThatAreNotNumbersAreNoObject) {
    TempFolder folder;
    MD2Layout layout;
    layout.frames = 2;
    FileBytes file{MakeMD2(layout)};
    LoadObject(folder.Write("plain.md2", file.data).c_str(), 1);
    ASSERT_TRUE(ObjectExists(1)) << cell.number;
    // Frame 1's x scale: only the second key frame's mesh holds what is not a number.
    file.Patch(92 + 52, std::numeric_limits<float>::quiet_NaN());
    LoadObject(folder.Write("nan.md2", file.data).c_str(), 2);
    EXPECT_EQ(cell.number, 7018);
    EXPECT_FALSE(ObjectExists(2));
    EXPECT_EQ(ConvMD2::LoadedObject(), nullptr);

    // 21,845 triangles over 3 vertices in 64 key frames: 270 KB that would make 4 million
    // vertices (134 MB) are refused by the load's budget.
    constexpr std::int32_t kTriangles = 21845, kFrames = 64;
    FileBytes big;
    big.Raw("IDP2", 4).I32(8).I32(64).I32(32).I32(52).I32(0).I32(3).I32(3);
    big.I32(kTriangles).I32(0).I32(kFrames).I32(68).I32(68).I32(80).I32(80 + 12 * kTriangles);
    big.I32(0).I32(80 + 12 * kTriangles + 52 * kFrames);
    big.I16(0).I16(0).I16(32).I16(0).I16(0).I16(16);
    for (std::int32_t t = 0; t < kTriangles; ++t)
        big.I16(0).I16(1).I16(2).I16(0).I16(1).I16(2);
    for (std::int32_t k = 0; k < kFrames; ++k) {
        big.F32(1).F32(2).F32(3).F32(0).F32(0).F32(5).Field("frame", 16);
        big.I32(0x1E140A).I32(0x1E1428).I32(0x1E320A);
    }
    cell.number = 0;
    LoadObject(folder.Write("big.md2", big.data).c_str(), 3);
    EXPECT_EQ(cell.number, 7018);
    EXPECT_FALSE(ObjectExists(3));
    DeleteObjectCmd(1);
}
