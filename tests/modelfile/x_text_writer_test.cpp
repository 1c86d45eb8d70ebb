#include "core/win32.h"

#include "modelfile/conv_3ds.h"

#include <gtest/gtest.h>

using namespace Conv3DS;

namespace {

XTextBuffer Started() {
    XTextBuffer x;
    WriteXHeader(x);
    x.text.clear();
    return x;
}

TrackKey Key(std::uint16_t frame, float x, float y, float z, float w = 0) {
    TrackKey k;
    k.frame = frame, k.x = x, k.y = y, k.z = z, k.w = w;
    return k;
}

} // namespace

TEST(XTextWriter, NothingBeforeTheHeaderButLinesAndText) {
    XTextBuffer x;
    float values[16] = {};
    const std::uint32_t face[3] = {0, 1, 2};
    std::vector<std::uint16_t> materials;
    std::vector<std::string> names{"a"};
    XMaterial material;
    WriteXFrame(x, "A"), WriteXFrameTransformMatrix(x, values), WriteXMesh(x, "M");
    WriteXVectors(x, 1, values), WriteXFaces(x, 1, face), WriteXMeshNormals(x);
    WriteXMeshTextureCoords(x), WriteXTextureCoords(x, 1, values);
    WriteXMeshMaterialList(x, 1, 1, 0, materials, names), WriteXMaterial(x, material);
    CloseXMeshTextureCoords(x), CloseXMeshNormals(x), CloseXMesh(x), CloseXFrame(x);
    WriteXLine(x, "line");
    AppendXText(x, "text");
    EXPECT_EQ(x.text, "line\ntext");

    // The header starts the text over; disabling stops the writing operations again.
    WriteXHeader(x);
    WriteXFrame(x, "A");
    DisableXText(x);
    CloseXFrame(x);
    EXPECT_EQ(x.text, "xof 0302txt 0032\nHeader {\n1;\n0;\n1;\n}\nFrame A {\n");
    EXPECT_EQ(GetXTextLength(x), x.text.size());
}

TEST(XTextWriter, MatrixVectorsFacesAndCoordinates) {
    XTextBuffer x = Started();
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    WriteXFrameTransformMatrix(x, identity);
    const float vectors[6] = {1, -2, 0.5f, 0, 0, 3};
    const std::uint32_t faces[6] = {0, 2, 1, 3, 4, 5};
    WriteXVectors(x, 2, vectors);
    WriteXFaces(x, 2, faces);
    // v is negated in the text and in the caller's array; the last pair ends the list.
    float pairs[4] = {0.25f, 0.5f, 1, -0.75f};
    WriteXTextureCoords(x, 2, pairs);
    EXPECT_EQ(x.text, "FrameTransformMatrix {\n1.000000,0.000000,0.000000,0.000000,\n"
                      "0.000000,1.000000,0.000000,0.000000,\n"
                      "0.000000,0.000000,1.000000,0.000000,\n"
                      "0.000000,0.000000,0.000000,1.000000;;\n}\n"
                      "2;\n1.000000;-2.000000;0.500000;,\n0.000000;0.000000;3.000000;;\n"
                      "\n2;\n3;0,2,1;,\n3;3,4,5;;\n"
                      "2;\n0.250000;-0.500000;,\n1.000000;0.750000;;\n");
    EXPECT_EQ(pairs[1], -0.5f);
}

TEST(XTextWriter, MaterialsAndTheirReferencesShareTheNameRule) {
    XTextBuffer x = Started();
    XMaterial wood;
    wood.name = "Wood-2";
    wood.face[0] = 0.5f, wood.power = 10, wood.specular[2] = 1;
    wood.texture = std::string(300, 't');
    WriteXMaterial(x, wood);
    std::vector<std::uint16_t> materials{0, 1, 1};
    std::vector<std::string> names{"Wood-2", "#9"};
    WriteXMeshMaterialList(x, 2, 3, 0, materials, names);
    // Without indices every face takes the default; without names the list holds a white
    // material; an empty texture name keeps its block.
    WriteXMeshMaterialList(x, 1, 2, 4, materials, names);
    XMaterial plain;
    WriteXMaterial(x, plain);
    EXPECT_EQ(x.text, "Material Wood_c {\n0.500000,1.000000,1.000000,1.000000;;\n10.000000;\n"
                      "0.000000,0.000000,1.000000;;\n0.000000,0.000000,0.000000;;\n"
                      "TextureFilename {\n\"" +
                          std::string(255, 't') +
                          "\";\n}\n}\n"
                          "MeshMaterialList {\n2;\n3;\n0,\n1,\n1;;\n{Wood_c}\n{_j}\n}\n"
                          "MeshMaterialList {\n1;\n2;\n4,\n4;;\nMaterial {\n"
                          "1.000000,1.000000,1.000000,1.000000;;\n0.000000;\n"
                          "0.000000,0.000000,0.000000;;\n0.000000,0.000000,0.000000;;\n}\n}\n"
                          "Material  {\n1.000000,1.000000,1.000000,1.000000;;\n0.000000;\n"
                          "0.000000,0.000000,0.000000;;\n0.000000,0.000000,0.000000;;\n"
                          "TextureFilename {\n\"\";\n}\n}\n");
}

TEST(XTextWriter, AnimationSetKeysAndSkippedNodes) {
    XTextBuffer x = Started();
    WriteXAnimationSet(x, {});
    EXPECT_EQ(x.text, "");

    KeyframeNode unit, dummy, moving;
    unit.name = "Still";
    unit.scaleKeys = {Key(0, 1, 1, 1)};
    dummy.name = "$$$DUMMY";
    dummy.positionKeys = {Key(0, 1, 2, 3)};
    moving.name = "Box";
    moving.rotationKeys = {Key(65535, 0.5f, 0, 0, 0.5f)};
    moving.scaleKeys = {Key(3, 2, 1, 1)};
    WriteXAnimationSet(x, {unit, dummy, moving});
    EXPECT_EQ(x.text, "AnimationSet x3ds_animset_0 {\n"
                      "Animation x3ds_anim_0 {\n{Still}\n}\n"
                      "Animation x3ds_anim_1 {\n{Box}\n"
                      "AnimationKey {\n0;\n1;\n"
                      "-1; 4; 0.500000, 0.500000, 0.000000, 0.000000;;;\n}\n"
                      "AnimationKey {\n1;\n1;\n3; 3; 2.000000, 1.000000, 1.000000;;;\n}\n"
                      "}\n}\n");
}
