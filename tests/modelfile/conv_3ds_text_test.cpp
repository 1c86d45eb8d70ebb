#include "core/win32.h"

#include "scene_3ds.h"
#include "modelfile/conv_3ds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace scene3ds;

namespace {

std::string g_Traces;

bool Has(const std::string& text, const std::string& what) {
    return text.find(what) != std::string::npos;
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// A key's spline flags, then its floats.
std::string Key(const std::vector<float>& values, std::uint16_t spline = 0) {
    return U16(spline) + Floats(values);
}

class Conv3DSText : public ::testing::Test {
protected:
    void SetUp() override {
        g_Traces.clear();
        Conv3DS::SetTraceSink([](const char* line) { g_Traces += line; });
    }
    void TearDown() override { Conv3DS::SetTraceSink(nullptr); }
};

} // namespace

TEST_F(Conv3DSText, ObjectNamesUnknownChunksAndTracedParts) {
    // A master scale of 2.0 holds 00 00 00 40: taken two bytes at a time it would hold an object.
    const std::string unknown = Chunk(0x0100, Floats({2.0f})) + Chunk(0x7777, std::string(9, 'A'));
    const std::string text = XText(Scene(
        unknown + TriangleObject("") + TriangleObject("12box") + unknown + TriangleObject("0box") +
        TriangleObject("my box.1") + TriangleObject("ABCDEFGHIJKLMN")));
    EXPECT_EQ(text.rfind("xof 0302txt 0032\nHeader {\n1;\n0;\n1;\n}\nFrame Default name {\n", 0),
              0u);
    EXPECT_TRUE(Has(g_Traces, ">>>>* Dummy Object found\n"));
    EXPECT_TRUE(Has(text, "Frame 12box {\nMesh x12box {"));
    EXPECT_TRUE(Has(text, "Frame 0box {\nMesh 0box {"));
    EXPECT_TRUE(Has(text, "Frame my_box_1 {"));
    // A long name keeps 11 characters; the rest is not taken for chunks.
    EXPECT_TRUE(Has(text, "Frame ABCDEFGHIJK {\nMesh ABCDEFGHIJK {\n3;"));
    EXPECT_EQ(Count(text, "Mesh "), 5u);

    // Lights, cameras and viewports are read for their traces only.
    const std::string light = Chunk(0x4600, Floats({1, 2, 3}) + Chunk(0x0010, Floats({1, 1, 1})) +
                                                Chunk(0x4620, std::string(1, '\x01')));
    const std::string camera = Chunk(0x4700, Floats({0, 0, 0, 1, 1, 1, 0, 35}));
    const std::string layout = Chunk(0x7012, U16(5) + std::string(10, '\0') + U16(0) + Name(""));
    const std::string quiet =
        XText(Scene(Chunk(0x4000, Name("L") + light) + Chunk(0x4000, Name("C") + camera) +
                    Chunk(0x7001, layout) + TriangleObject("T")));
    EXPECT_EQ(Count(quiet, "Frame "), 1u);
    EXPECT_TRUE(Has(g_Traces, "      Light is on\n"));
    EXPECT_TRUE(Has(g_Traces, "     Lens in used camera is: 35.0000mm\n"));
    EXPECT_TRUE(Has(g_Traces, "<Grid> active in viewport\n>>>>* No Camera name found\n"
                              "Reading [Camera] information with id:0\n"));
}

TEST_F(Conv3DSText, KeyframerParentsNestFrames) {
    // A, its child B, then C at the top again; the dummy node counts for nothing.
    const std::string text =
        XText(Scene(TriangleObject("A") + TriangleObject("B") + TriangleObject("C"),
                    Node("A", -1) + Node("$$$DUMMY", -1) + Node("B", 0) + Node("C", -1)));
    const std::size_t a = text.find("Frame A {"), b = text.find("Frame B {"),
                      c = text.find("Frame C {");
    ASSERT_TRUE(a < b && b < c && c != std::string::npos) << text;
    EXPECT_EQ(Count(text.substr(a, b - a), "}\n"), 4u);    // A's mesh only: A stays open
    EXPECT_EQ(text.find("}\n}\n}\n}\nFrame C", b) + 8, c); // B's mesh, B, then A close
    EXPECT_EQ(Count(text, "Animation x3ds_anim_"), 3u);
    EXPECT_FALSE(Has(text, "DUMMY"));
    EXPECT_TRUE(Has(text, "Animation x3ds_anim_2 {\n{C}\n}\n}\n"));

    // Had the dummy counted, B's parent index would have named no earlier node.
    const std::string flat =
        XText(Scene(TriangleObject("A") + TriangleObject("B"), Node("A", -1) + Node("B", -1)));
    EXPECT_TRUE(Has(flat, "}\nFrame B {"));
}

TEST_F(Conv3DSText, MeshWithoutAxesMovesByThePivot) {
    const std::string text =
        XText(Scene(Object("P", Vertices({{10, 20, 30}, {11, 20, 30}, {10, 21, 30}}) +
                                    Faces({{0, 1, 2}, {2, 1, 0}})),
                    Node("P", -1, Chunk(0xB013, Floats({1, 2, 3})))));
    EXPECT_FALSE(Has(text, "FrameTransformMatrix"));
    // (x, z, y) less the pivot (1, 3, 2); faces (a, c, b).
    EXPECT_TRUE(Has(text, "3;\n9.000000;27.000000;18.000000;,\n10.000000;27.000000;18.000000;,\n"
                          "9.000000;27.000000;19.000000;;\n\n2;\n3;0,2,1;,\n3;2,0,1;;\n"));
    // The list names no material: it holds a white one of its own.
    EXPECT_TRUE(Has(text, "MeshMaterialList {\n1;\n2;\n0,\n0;;\nMaterial {\n"
                          "1.000000,1.000000,1.000000,1.000000;;\n0.000000;\n"));
    // A flat normal per corner: the file's +z is +y here.
    EXPECT_TRUE(Has(text, "MeshNormals  {\n6;\n0.000000;1.000000;0.000000;,"));
    EXPECT_TRUE(Has(text, "\n2;\n3;0,1,2;,\n3;3,4,5;;\n}\n"));
}

TEST_F(Conv3DSText, LocalAxesGiveTheFrameMatrix) {
    auto axes = [](float x) { return Chunk(0x4160, Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, x, 6, 7})); };
    const std::string text = XText(Scene(
        Object("A", Vertices({{5, 6, 7}, {6, 6, 7}, {5, 7, 7}}) + Faces({{0, 1, 2}}) + axes(5)) +
            Object("B", Vertices({{6, 6, 7}}) + axes(6)),
        Node("A", -1) + Node("B", 0)));
    EXPECT_TRUE(Has(text, "Frame A {\nFrameTransformMatrix {\n1.000000,0.000000,0.000000,0.000000,"
                          "\n0.000000,1.000000,0.000000,0.000000,\n"
                          "0.000000,0.000000,1.000000,0.000000,\n"
                          "5.000000,7.000000,6.000000,1.000000;;\n}\nMesh A {\n3;\n"
                          "0.000000;0.000000;0.000000;,\n1.000000;0.000000;0.000000;,\n"
                          "0.000000;0.000000;1.000000;;\n"));
    // The child's matrix is relative to its parent's; a mesh without faces says so.
    EXPECT_TRUE(Has(text, "0.000000,0.000000,1.000000,0.000000,\n1.000000,0.000000,0.000000,"
                          "1.000000;;\n}\nMesh B {\n1;\n0.000000;0.000000;0.000000;;\n\n0;\n}\n"));
}

TEST_F(Conv3DSText, MaterialsAndGroups) {
    const std::string red = Chunk(0xA020, Chunk(0x0011, std::string("\xFF\x00\x80", 3))) +
                            Chunk(0xA040, Chunk(0x0030, U16(40))) +
                            Chunk(0xA200, Chunk(0x0030, U16(100)) + Chunk(0xA300, Name("W.JPG")));
    auto material = [](const std::string& name, const std::string& chunks) {
        return Chunk(0xAFFF, Chunk(0xA000, Name(name)) + chunks);
    };
    const std::string groups =
        Group("Red-1", {0, 2, 99}) + Group("Blue #2", {1}) + Group("Missing", {3});
    const std::string text = XText(Scene(
        material("Red-1", red) + material("Blue #2", "") +
        Object("G", Vertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}) +
                        Faces({{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {0, 1, 2}, {0, 1, 7}}, groups))));
    EXPECT_TRUE(Has(text, "Material Red_b {\n1.000000,0.000000,0.501961,1.000000;;\n40.000000;\n"
                          "0.000000,0.000000,0.000000;;\n0.000000,0.000000,0.000000;;\n"
                          "TextureFilename {\n\"W.JPG\";\n}\n}\n"));
    // Without colours a material is white; a space and a '#' are '_' in both places.
    EXPECT_TRUE(Has(text, "Material Blue__c {\n1.000000,1.000000,1.000000,1.000000;;\n"));
    // The face naming vertex 7 is left out, and group face 99 names none; the group whose
    // material the file lacks loses its reference and its face takes material 0.
    EXPECT_TRUE(Has(text, "\n4;\n3;0,2,1;,"));
    EXPECT_TRUE(Has(text, "MeshMaterialList {\n2;\n4;\n0,\n1,\n0,\n0;;\n{Red_b}\n{Blue__c}\n}\n"));
    EXPECT_FALSE(Has(text, "Missing"));
}

TEST_F(Conv3DSText, TracksRotationProductsAndSplineKeys) {
    const float half = 1.5707964f;
    // The second key carries tension and continuity (flags 3): two floats before its angle.
    const std::string keys =
        Track(0xB021, {{0, Key({half, 0, 0, 1})}, {10, Key({0.5f, 0.5f, half, 0, 0, 1}, 3)}}) +
        Track(0xB020, {{0, Key({1, 2, 3})}, {10, Key({4, 5, 6})}}) +
        Track(0xB022, {{0, Key({1, 1, 1})}});
    const std::string text = XText(Scene(TriangleObject("R"), Node("R", -1, keys)));
    const std::size_t at = text.find("AnimationKey {\n0;\n2;\n");
    ASSERT_NE(at, std::string::npos) << text;
    float f[10];
    ASSERT_EQ(std::sscanf(text.c_str() + at + 21, "%f; 4; %f, %f, %f, %f;;,\n%f; 4; %f, %f, %f, %f",
                          &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7], &f[8], &f[9]),
              10);
    // Turns about the file's z, which is -y here; the second key adds a quarter turn.
    const float s = std::sqrt(0.5f);
    const float expected[10] = {0, s, 0, -s, 0, 10, 0, 0, -1, 0};
    for (int i = 0; i < 10; ++i)
        EXPECT_NEAR(f[i], expected[i], 1e-5) << i;
    EXPECT_TRUE(Has(text, "AnimationKey {\n2;\n2;\n0; 3; 1.000000, 3.000000, 2.000000;;,\n"
                          "10; 3; 4.000000, 6.000000, 5.000000;;;\n}\n"));
    EXPECT_FALSE(Has(text, "AnimationKey {\n1;"));

    // A node naming no written frame is left out; a long name drives its object's cut frame.
    EXPECT_FALSE(Has(XText(Scene(TriangleObject("R"), Node("Gone", -1, keys))), "Gone"));
    const std::string cut =
        XText(Scene(TriangleObject("ABCDEFGHIJKLMN"), Node("ABCDEFGHIJKLMN", -1, keys)));
    EXPECT_TRUE(Has(cut, "{ABCDEFGHIJK}\nAnimationKey"));
}

TEST_F(Conv3DSText, ListsAreHeldToWhatTheFileHolds) {
    const std::string mapping = Chunk(0x4140, U16(2) + Floats({0.25f, 0.5f, 1, 1}));
    const std::string claims = Chunk(0x4110, U16(65535) + Floats({1, 2, 3, 4, 5, 6}));
    std::string longer = Object("L", Vertices({{0, 0, 0}}));
    longer.replace(2, 4, U32(0xFFFFFFFF));
    const std::string text =
        XText(Scene(Object("M", Vertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}) + mapping) +
                    Object("H", claims + Faces({{0, 1, 5}})) +
                    Chunk(0xAFFF, Chunk(0xA000, Name(std::string(400, 'n')))) + longer) +
              TriangleObject("After"));
    // Two coordinates for three vertices; two vertices where 65,535 were claimed.
    EXPECT_TRUE(Has(text, "MeshTextureCoords {\n2;\n0.250000;-0.500000;,\n1.000000;-1.000000;;"));
    EXPECT_TRUE(Has(text, "Mesh H {\n2;\n1.000000;3.000000;2.000000;,\n"
                          "4.000000;6.000000;5.000000;;\n\n0;\n"));
    // Names keep 259 characters; a chunk longer than its parent ends with it.
    EXPECT_TRUE(Has(text, "Material " + std::string(259, 'n') + " {"));
    EXPECT_TRUE(Has(text, "Frame L {"));
    EXPECT_FALSE(Has(text, "After"));
    EXPECT_EQ(XText("MZ" + std::string(40, '\0')), "xof 0302txt 0032\nHeader {\n1;\n0;\n1;\n}\n");

    // Each object the child of the one before: the frames nest as deep as the tables reach.
    std::string objects, nodes;
    for (int i = 0; i < 5003; ++i)
        objects += TriangleObject("O"), nodes += Node("O", i - 1);
    const std::string deep = XText(Scene(objects, nodes));
    EXPECT_EQ(Count(deep, "Frame O {"), 5003u);
    int depth = 0, deepest = 0;
    for (char ch : deep)
        deepest = std::max(deepest, depth += ch == '{' ? 1 : ch == '}' ? -1 : 0);
    EXPECT_EQ(depth, 0);
    // 5,000 frames, then a mesh's material list holding its material.
    EXPECT_EQ(deepest, 5003);
}
