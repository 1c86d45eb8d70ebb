#include "core/win32.h"

#include "x_bytes.h"
#include "support/object_scene.h"
#include "support/temp_folder.h"
#include "core/error_numbers.h"
#include "core/load_budget.h"
#include "modelfile/conv_x_internal.h"
#include "modelfile/converters.h"
#include "modelfile/object_block.h"
#include "object3d/object_commands.h"
#include "object3d/positioning.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

const std::string kModels = "Z:\\usr\\share\\assimp\\models\\X\\";

std::string XFile(const std::string& body) {
    return "xof 0302txt 0032\n" + body;
}

// A mesh of the given vertices and faces, with children appended inside it.
std::string MeshText(const std::string& name, const std::vector<std::vector<float>>& vertices,
                     const std::vector<std::vector<int>>& faces, const std::string& children = "") {
    std::string text = "Mesh " + name + " {\n" + std::to_string(vertices.size()) + ";\n";
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        for (float c : vertices[i])
            text += std::to_string(c) + ";";
        text += i + 1 < vertices.size() ? ",\n" : ";\n";
    }
    text += std::to_string(faces.size()) + ";\n";
    for (std::size_t f = 0; f < faces.size(); ++f) {
        text += std::to_string(faces[f].size()) + ";";
        for (std::size_t k = 0; k < faces[f].size(); ++k)
            text += std::to_string(faces[f][k]) + (k + 1 < faces[f].size() ? "," : ";");
        text += f + 1 < faces.size() ? ",\n" : ";\n";
    }
    return text + children + "}\n";
}

// The identity matrix with x moved, as the format writes floats.
std::string Identity(float x = 0) {
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, 0, 0, 1};
    std::string text;
    for (int i = 0; i < 16; ++i)
        text += std::to_string(m[i]) + (i < 15 ? "," : "");
    return text;
}

const std::vector<std::vector<float>> kQuad = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};

std::string MaterialText(float red, const std::string& texture = "") {
    std::string text = "Material {\n" + std::to_string(red) +
                       ";0.5;0.25;1.0;;\n8.0;\n0.0;0.0;0.0;;\n0.0;0.0;0.0;;\n";
    if (!texture.empty()) text += "TextureFilename { \"" + texture + "\"; }\n";
    return text + "}\n";
}

std::string MaterialList(const std::vector<int>& faces, const std::string& materials, int count) {
    std::string text = "MeshMaterialList {\n" + std::to_string(count) + ";\n" +
                       std::to_string(faces.size()) + ";\n";
    for (std::size_t f = 0; f < faces.size(); ++f)
        text += std::to_string(faces[f]) + (f + 1 < faces.size() ? ",\n" : ";\n");
    return text + materials + "}\n";
}

// The converter's own object after loading the text; null when it failed.
ObjectRecord* Convert(const TempFolder& folder, const std::string& text) {
    const std::string path = folder.Write("model.x", XFile(text));
    const bool loaded = ConvX::LoadObject(path.c_str());
    if (!loaded)
        ADD_FAILURE() << "not converted; parser error " << std::hex << ConvX::LastFileError();
    return loaded ? ConvX::g_State.object : nullptr;
}

std::int32_t Vertices(const ObjectRecord* o) {
    std::int32_t n = 0;
    for (std::int32_t i = 0; i < o->meshCount; ++i)
        n += o->meshes[i]->vertexCount;
    return n;
}

std::int32_t Triangles(const ObjectRecord* o) {
    std::int32_t n = 0;
    for (std::int32_t i = 0; i < o->meshCount; ++i)
        n += o->meshes[i]->indexCount ? o->meshes[i]->indexCount / 3
                                      : o->meshes[i]->drawPrimitiveCount;
    return n;
}

} // namespace

TEST_F(ObjectScene, EveryPublishedXFileConverts) {
    for (const char* name :
         {"test.x", "test_cube_text.x", "test_cube_binary.x", "test_cube_compressed.x",
          "TestFormatDetection", "kwxport_test_cubewithvcolors.x", "Testwuson.X", "BCN_Epileptic.X",
          "anim_test.x", "fromtruespace_bin32.x"}) {
        std::uint8_t* block = nullptr;
        std::uint32_t size = 0;
        // A name without an extension reaches the converter directly.
        ASSERT_TRUE(ConvX::Convert((kModels + name).c_str(), &block, &size)) << name;
        ObjectRecord* read = nullptr;
        EXPECT_TRUE(ReadObjectFromBlock(block, size, &read)) << name;
        delete read;
        ConvX::Free(block);
    }
    for (const char* cube : {"test_cube_text.x", "test_cube_binary.x", "test_cube_compressed.x"}) {
        ASSERT_TRUE(ConvX::LoadObject((kModels + cube).c_str()));
        EXPECT_EQ(Vertices(ConvX::g_State.object), 24) << cube;
        EXPECT_EQ(Triangles(ConvX::g_State.object), 12) << cube;
    }
    ASSERT_TRUE(ConvX::LoadObject((kModels + "anim_test.x").c_str()));
    EXPECT_NE(ConvX::g_State.object->animationSet, nullptr);
    EXPECT_FALSE(ConvX::LoadObject("Z:\\usr\\share\\assimp\\models\\invalid\\empty.x"));
    ConvX::Free(nullptr);

    // A damaged compressed file: it unpacks, and what it holds is refused as the parser would.
    EXPECT_FALSE(ConvX::LoadObject((kModels + "OV_GetNextToken").c_str()));
    EXPECT_EQ(ConvX::LastFileError(), DXFILEERR_PARSEERROR);
}

TEST_F(ObjectScene, FramesMeshesFacesAndNormals) {
    TempFolder folder;
    const std::string second = MeshText("Second", kQuad, {{0, 1, 2}});
    ObjectRecord* o = Convert(folder, "Frame Root {\n" + MeshText("First", kQuad, {{0, 1, 2}}) +
                                          second + MeshText("", kQuad, {{0, 1, 2}}) + "}\n");
    ASSERT_NE(o, nullptr);
    FrameRecord* root = o->rootFrame->child;
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->name, "Root");
    ASSERT_NE(root->mesh, nullptr);
    // Later meshes of a frame take child frames of their own, each put first.
    ASSERT_NE(root->child, nullptr);
    EXPECT_STREQ(root->child->name, "$NoName$");
    ASSERT_NE(root->child->sibling, nullptr);
    EXPECT_STREQ(root->child->sibling->name, "Second");

    // A quad is a fan from its first corner; both halves keep the quad's material. A normal list
    // cut into another number of triangles is ignored.
    o = Convert(folder, MeshText("Fan", kQuad, {{0, 1, 2}, {0, 1, 2, 3}},
                                 MaterialList({0, 1}, MaterialText(0.1f) + MaterialText(0.9f), 2) +
                                     "MeshNormals { 1; 0.0;0.0;1.0;; 1; 3;0,0,0;; }\n"));
    ASSERT_NE(o, nullptr);
    MeshRecord* mesh = o->rootFrame->mesh;
    ASSERT_EQ(mesh->multiMaterialCount, 2);
    const MultiMaterialRecord& quad = mesh->multiMaterials[1];
    ASSERT_EQ(quad.primitiveCount, 2u);
    EXPECT_EQ(std::vector<std::uint16_t>(mesh->indices + quad.startIndex,
                                         mesh->indices + quad.startIndex + 6),
              (std::vector<std::uint16_t>{0, 1, 2, 0, 2, 3}));
    EXPECT_NEAR(quad.material.Diffuse.r, 0.9f, 1e-6);
    const float* v = reinterpret_cast<const float*>(mesh->vertices);
    EXPECT_EQ(v[5], 0.0f); // normal z of vertex 0
}

TEST_F(ObjectScene, ColoursMaterialsAndGroups) {
    TempFolder folder;
    ObjectRecord* o = Convert(folder, MeshText("Coloured", kQuad, {{0, 1, 2}},
                                               "MeshVertexColors { 1; 0;1.2;0.5;-0.1;1.0;;; }\n"));
    ASSERT_NE(o, nullptr);
    MeshRecord* mesh = o->rootFrame->mesh;
    EXPECT_EQ(mesh->fvf, 0x152u);
    D3DCOLOR colour = 0;
    std::memcpy(&colour, mesh->vertices + 24, 4);
    EXPECT_EQ(colour, 0xFFFF8000u);
    EXPECT_EQ(mesh->materialOn, 0);

    // Without a material list the mesh is drawn in white.
    o = Convert(folder, MeshText("Plain", kQuad, {{0, 1, 2}}));
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->rootFrame->mesh->material.Diffuse.g, 1.0f);

    // One texture under two colours: one slot, no groups.
    o = Convert(
        folder,
        MeshText("Wood", kQuad, {{0, 1, 2}, {0, 2, 3}},
                 MaterialList({0, 1},
                              MaterialText(0.1f, "wood.bmp") + MaterialText(0.9f, "wood.bmp"), 2)));
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->rootFrame->mesh->textureCount, 1);
    EXPECT_EQ(o->rootFrame->mesh->multiMaterialCount, 0);

    // Two untextured materials: two groups; a material past the list keeps its triangle.
    o = Convert(folder,
                MeshText("Two", kQuad, {{0, 1, 2}, {0, 2, 3}, {1, 2, 3}},
                         MaterialList({0, 1, 7}, MaterialText(0.1f) + MaterialText(0.9f), 2)));
    ASSERT_NE(o, nullptr);
    mesh = o->rootFrame->mesh;
    ASSERT_EQ(mesh->multiMaterialCount, 2);
    EXPECT_EQ(mesh->multiMaterials[0].primitiveCount, 1u);
    EXPECT_EQ(mesh->multiMaterials[1].primitiveCount, 2u);
    EXPECT_EQ(mesh->indexCount, 9);
}

TEST_F(ObjectScene, AnimationKeysByType) {
    TempFolder folder;
    const std::string keys =
        "AnimationSet Walk {\n Animation {\n { Root }\n"
        " AnimationKey { 0; 1; 0;4;1.0,0.0,1.0,0.0;;; }\n"
        " AnimationKey { 0; 2; 0;4;1.0,0.5,0.0,0.0;;, 30;4;1.0,0.0,0.0,0.0;;; }\n"
        " AnimationKey { 3; 1; 5;3;1.0,1.0,1.0;;; }\n"
        " AnimationKey { 4; 2; 0;16;" +
        Identity() + ";;, 10;16;" + Identity(10) +
        ";;; }\n"
        " AnimationOptions { 1; 0; }\n }\n}\n";
    ObjectRecord* o =
        Convert(folder, "Frame Root {\n" + MeshText("Box", kQuad, {{0, 1, 2}}) + "}\n" + keys);
    ASSERT_NE(o, nullptr);
    ASSERT_NE(o->animationSet, nullptr);
    const AnimationRecord* a = o->animationSet->animation;
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a->name, "Root");
    EXPECT_EQ(o->animationSet->length, 30u);
    ASSERT_EQ(a->rotationKeyCount, 2u); // the second rotation object replaced the first
    EXPECT_EQ(a->rotationKeys[0].value, D3DXQUATERNION(-0.5f, 0, 0, 1));
    EXPECT_EQ(a->scaleKeyCount, 0u); // type 3 stores nothing
    ASSERT_EQ(a->matrixKeyCount, 2u);
    EXPECT_NEAR(a->matrixKeys[0].delta._41, 1.0f, 1e-6); // 10 units over 10 ticks
    EXPECT_EQ(a->linear, 0u);                            // spline positions
}

TEST_F(ObjectScene, MeshesPastSixteenBitIndices) {
    TempFolder folder;
    // Vertex 0 is a corner of every triangle; the rest are spread along x.
    auto big = [](int count) {
        std::vector<std::vector<float>> v;
        for (int i = 0; i < count; ++i)
            v.push_back({static_cast<float>(i), 0, 0});
        return v;
    };
    const std::vector<std::vector<int>> faces = {{0, 1, 2}, {0, 3, 4}, {0, 5, 6}};
    const std::string skin = "XSkinMeshHeader { 1; 1; 1; }\n"
                             "SkinWeights { \"Bone\"; 2; 0, 3; 1.0, 0.5; " +
                             Identity() + ";; }\n";
    ObjectRecord* o = Convert(folder, MeshText("Big", big(65536), faces, skin));
    ASSERT_NE(o, nullptr);
    MeshRecord* mesh = o->rootFrame->mesh;
    EXPECT_EQ(mesh->indexCount, 0); // expanded to a plain list of the corners
    EXPECT_EQ(mesh->vertexCount, 9);
    ASSERT_EQ(mesh->boneCount, 1);
    // Vertex 0 became three corners, vertex 3 one: the bone moves all four.
    EXPECT_EQ(mesh->bones[0].influenceCount, 4u);
    EXPECT_EQ(std::vector<std::uint32_t>(mesh->bones[0].vertices, mesh->bones[0].vertices + 4),
              (std::vector<std::uint32_t>{0, 3, 6, 4}));

    o = Convert(folder, MeshText("Large", big(65535), faces));
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->rootFrame->mesh->vertexCount, 65535);
    EXPECT_EQ(o->rootFrame->mesh->indices[5], 4);
}

TEST_F(ObjectScene, LoadedXModelsFindTexturesAndPlay) {
    LoadObject((kModels + "kwxport_test_cubewithvcolors.x").c_str(), 1);
    ASSERT_TRUE(ObjectExists(1)) << cell.number;
    std::vector<std::string> found;
    const MeshRecord* mesh = g_Object3D.objects[1]->meshes[0];
    for (std::int32_t m = 0; m < mesh->multiMaterialCount; ++m)
        if (mesh->multiMaterials[m].texture) found.push_back(mesh->multiMaterials[m].name);
    for (std::int32_t t = 0; t < mesh->textureCount; ++t)
        if (mesh->textures[t].imageNumber) found.push_back(mesh->textures[t].fileName);
    EXPECT_GE(found.size(), 3u);

    LoadObject((kModels + "anim_test.x").c_str(), 2);
    ASSERT_TRUE(ObjectExists(2));
    DeleteObjectCmd(1);
    PositionObject(2, 0, 0, 25);
    ObjectRecord* o = g_Object3D.objects[2];
    // A grid of the drawn pixels at a frame of the animation.
    auto frame = [&](float at) {
        o->currentFrame = at;
        return SyncAndReadGrid(0xFF808080);
    };
    const std::vector<std::uint32_t> first = frame(1);
    EXPECT_GT(std::count_if(first.begin(), first.end(),
                            [](std::uint32_t p) { return (p & 0xFFFFFF) != 0x808080; }),
              20);
    EXPECT_NE(frame(20), first);
}

TEST_F(ObjectScene, DamagedXFilesFailCleanly) {
    TempFolder folder;
    std::mt19937 random(27);
    for (const char* name : {"test_cube_text.x", "test_cube_binary.x", "test_cube_compressed.x",
                             "OV_GetNextToken", "anim_test.x"}) {
        const std::string bytes =
            TempFolder::Read("/usr/share/assimp/models/X/" + std::string(name));
        for (int cut = 1; cut <= 10; ++cut) {
            const std::string path =
                folder.Write("cut.x", bytes.substr(0, bytes.size() * cut / 11));
            ConvX::LoadObject(path.c_str());
        }
        std::string huge = bytes;
        for (std::size_t at = huge.find("24;"); at != std::string::npos;
             at = huge.find("24;", at + 10))
            huge.replace(at, 2, "999999999");
        ConvX::LoadObject(folder.Write("huge.x", huge).c_str());
    }
    for (int i = 0; i < 20; ++i) {
        std::string noise = "xof 0302txt 0032\n";
        for (int k = 0; k < 400; ++k)
            noise += static_cast<char>(random() % 96 + 32);
        EXPECT_FALSE(ConvX::LoadObject(folder.Write("noise.x", noise).c_str()));
    }
    ConvX::Free(nullptr);
    EXPECT_EQ(ConvX::g_State.object, nullptr);
}

TEST_F(ObjectScene, XPositionsPastAFloatAreNoObject) {
    TempFolder folder;
    std::string text = XFile(MeshText("m", kQuad, {{0, 1, 2, 3}}));
    LoadObject(folder.Write("quad.x", text).c_str(), 1);
    ASSERT_TRUE(ObjectExists(1)) << cell.number;
    // 1e40 is read as an infinite float.
    const std::string first = "0.000000;0.000000;0.000000;";
    text.replace(text.find(first), first.size(), "1" + std::string(40, '0') + first.substr(1));
    LoadObject(folder.Write("far.x", text).c_str(), 2);
    EXPECT_EQ(cell.number, 7018);
    EXPECT_FALSE(ObjectExists(2));
    EXPECT_EQ(ConvX::g_State.object, nullptr);
}

// Frame F with a matrix moved along x by `place` and a triangle, then an animation of F with a
// position key at `key`.
std::string BinaryFrame(float place, float key) {
    BinaryX x;
    x.Name("Frame").Name("F").Open().Name("FrameTransformMatrix").Open();
    x.Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, place, 0, 0, 1}).Close();
    x.Name("Mesh").Name("M").Open().Dwords({3}).Floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
    x.Dwords({1, 3, 0, 1, 2}).Close().Close();
    x.Name("AnimationSet").Name("S").Open().Name("Animation").Name("A").Open();
    x.Open().Name("F").Close();
    x.Name("AnimationKey").Open().Dwords({2, 1, 0, 3}).Floats({key, 0, 0}).Close();
    x.Close().Close();
    return x.bytes;
}

// Frame k holds two references to frame k - 1, and frame 0 a mesh: a few hundred bytes whose
// frames, each reference read as a copy of what it names, number four times 2^levels.
std::string ReferenceTree(int levels) {
    std::string text = "Frame F0 {\n" + MeshText("M", kQuad, {{0, 1, 2}}) + "}\n";
    for (int k = 1; k <= levels; ++k) {
        const std::string below = "{F" + std::to_string(k - 1) + "}\n";
        text += "Frame F" + std::to_string(k) + " {\n" + below + below + "}\n";
    }
    return text;
}

TEST_F(ObjectScene, ReferenceTreesPastTheBudgetAreRefused) {
    TempFolder folder;
    // Frame k is read once at the top and 2^(3 - k) times through references: 15 meshes.
    ObjectRecord* o = Convert(folder, ReferenceTree(3));
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->meshCount, 15);
    EXPECT_EQ(o->frameCount, 27);

    // 2^28 copies: refused by the converter alone, and by the loader, long before memory or
    // time run out.
    const std::string tree = folder.Write("tree.x", XFile(ReferenceTree(26)));
    EXPECT_FALSE(ConvX::LoadObject(tree.c_str()));
    EXPECT_EQ(ConvX::g_State.object, nullptr);
    EXPECT_GT(LastLoadCharged(), 0u);
    LoadObject(tree.c_str(), 1);
    EXPECT_EQ(cell.number, kObjectNotLoaded);
    EXPECT_FALSE(ObjectExists(1));
    EXPECT_EQ(ConvX::g_State.object, nullptr);
}

TEST_F(ObjectScene, XMatricesAndKeysPastAFloatAreNoObject) {
    TempFolder folder;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    LoadObject(folder.Write("near.x", BinaryFrame(5, 5)).c_str(), 1);
    ASSERT_TRUE(ObjectExists(1)) << cell.number;
    EXPECT_EQ(g_Object3D.objects[1]->rootFrame->child->initialMatrix._41, 5.0f);
    // In text, 1e30 is a float past the largest a file may give and 1e40 none at all.
    const std::string mesh = MeshText("M", kQuad, {{0, 1, 2}});
    auto text = [&](const std::string& place, const std::string& key) {
        const std::string matrix =
            "1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0," + place + ",0.0,0.0,1.0";
        return XFile("Frame F {\nFrameTransformMatrix { " + matrix + ";; }\n" + mesh +
                     "}\nAnimationSet S {\nAnimation A {\n{ F }\nAnimationKey { 2; 1; 0;3;" + key +
                     ",0.0,0.0;;; }\n}\n}\n");
    };
    const std::string huge = "1" + std::string(30, '0') + ".0";
    const std::string infinite = "1" + std::string(40, '0') + ".0";
    LoadObject(folder.Write("near.x", text("5.0", "5.0")).c_str(), 2);
    ASSERT_TRUE(ObjectExists(2)) << cell.number;
    const std::vector<std::string> files = {BinaryFrame(nan, 5),   BinaryFrame(5, nan),
                                            text(huge, "5.0"),     text(infinite, "5.0"),
                                            text("5.0", infinite), text("5.0", huge)};
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(i);
        LoadObject(folder.Write("far.x", files[i]).c_str(), 3);
        EXPECT_EQ(cell.number, kObjectNotLoaded);
        EXPECT_FALSE(ObjectExists(3));
        cell.number = 0;
    }
}
