#include "core/win32.h"

#include "x_bytes.h"
#include "support/object_scene.h"
#include "support/temp_folder.h"
#include "core/error_numbers.h"
#include "core/load_budget.h"
#include "modelfile/conv_x_internal.h"
#include "object3d/mesh_item_commands.h"
#include "object3d/object_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ConvX::XScan;

const std::string kHeaderText = "xof 0302txt 0032\n";
const std::string kTriangle = "3;0.0;0.0;0.0;,1.0;0.0;0.0;,0.0;1.0;0.0;;1;3;0,1,2;;\n";
const std::string kMaterialData = "1.0;1.0;1.0;1.0;;8.0;0.0;0.0;0.0;;0.0;0.0;0.0;;\n";
const std::string kIdentity = "1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0;;";
// A number the converter once took for the address of a text.
constexpr std::uint32_t kAddress = 0x12345678;

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

// A template under the skin weights' GUID whose bone name is a DWORD, and a mesh using it.
std::string SkinText() {
    return kHeaderText +
           "template MySkin { <6F0D123B-BAD2-4167-A0D0-80224F25FABB> DWORD name; DWORD n; "
           "array DWORD vertices[n]; array FLOAT weights[n]; Matrix4x4 offset; }\n"
           "Mesh M {" +
           kTriangle + "XSkinMeshHeader { 1; 1; 1; }\nMySkin { " + std::to_string(kAddress) +
           "; 1; 0; 1.0; " + kIdentity + " }\n}\n";
}

std::string SkinBinary() {
    BinaryX x;
    x.Token(31).Name("MySkin").Open().Guid(ConvX::kSkinWeights).Member(41, "name");
    x.Member(41, "n").Member(41, "vertices", "", "n").Member(42, "weights", "", "n");
    x.Member(0, "offset", "Matrix4x4").Close();
    x.Name("Mesh").Name("M").Open().Dwords({3}).Floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
    x.Dwords({1, 3, 0, 1, 2}).Name("XSkinMeshHeader").Open().Dwords({1, 1, 1}).Close();
    x.Name("MySkin").Open().Dwords({kAddress, 1, 0}).Floats({1});
    x.Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}).Close().Close();
    return x.bytes;
}

// A template under the texture file name's GUID holding a DWORD, in a mesh's material.
std::string TextureText() {
    return kHeaderText +
           "template MyTexture { <A42790E1-7810-11CF-8F52-0040333594A3> DWORD filename; }\n"
           "Mesh M {" +
           kTriangle + "MeshMaterialList { 1; 1; 0;;\nMaterial {" + kMaterialData + "MyTexture { " +
           std::to_string(kAddress) + "; }\n}\n}\n}\n";
}

std::string TextureBinary() {
    BinaryX x;
    x.Token(31).Name("MyTexture").Open().Guid(ConvX::kTextureFilename);
    x.Member(41, "filename").Close();
    x.Name("Mesh").Open().Dwords({3}).Floats({0, 0, 0, 1, 0, 0, 0, 1, 0}).Dwords({1, 3, 0, 1, 2});
    x.Name("MeshMaterialList").Open().Dwords({1, 1, 0}).Name("Material").Open();
    x.Floats({1, 1, 1, 1, 8, 0, 0, 0, 0, 0, 0}).Name("MyTexture").Open().Dwords({kAddress});
    x.Close().Close().Close().Close();
    return x.bytes;
}

std::string NestedMeshesText(int depth) {
    return kHeaderText + Repeat("Mesh {" + kTriangle, depth) + Repeat("}", depth) + "\n";
}

std::string NestedMeshesBinary(int depth) {
    BinaryX x;
    for (int i = 0; i < depth; ++i)
        x.Name("Mesh")
            .Open()
            .Dwords({3})
            .Floats({0, 0, 0, 1, 0, 0, 0, 1, 0})
            .Dwords({1, 3, 0, 1, 2});
    for (int i = 0; i < depth; ++i)
        x.Close();
    return x.bytes;
}

// Materials inside materials, in one mesh's material list.
std::string NestedMaterialsText(int depth) {
    return kHeaderText + "Mesh {" + kTriangle + "MeshMaterialList { 1; 1; 0;;\n" +
           Repeat("Material {" + kMaterialData, depth) + Repeat("}", depth) + "}\n}\n";
}

// A chain of frames, each holding a mesh that holds the next frame.
std::string FramesAndMeshesText(int depth) {
    return kHeaderText + Repeat("Frame {\nMesh {" + kTriangle, depth / 2) + Repeat("}", depth) +
           "\n";
}

struct Crafted {
    const char* kind;
    std::string bytes;
    XScan verdict;
};

// A real file (it nests 5 deep) inside frames.
std::string RealFileInFrames(int frames) {
    const std::string file = TempFolder::Read("/usr/share/assimp/models/X/test.x");
    return kHeaderText + Repeat("Frame W {\n", frames) + file.substr(16) + Repeat("}\n", frames);
}

// Frames nested `depth` deep, the innermost holding a triangle.
std::string FramesBinary(int depth) {
    BinaryX x;
    for (int i = 1; i < depth; ++i)
        x.Name("Frame").Open();
    x.Name("Mesh").Open().Dwords({3}).Floats({0, 0, 0, 1, 0, 0, 0, 1, 0}).Dwords({1, 3, 0, 1, 2});
    for (int i = 0; i < depth; ++i)
        x.Close();
    return x.bytes;
}

XScan Scan(const std::string& bytes) {
    return ConvX::ScanXImage(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

// Each template the converter registers, as its own declaration.
std::vector<std::string> StandardTemplates() {
    const std::string text = ConvX::TemplateText();
    std::vector<std::string> templates;
    for (std::size_t at = text.find("template "); at != std::string::npos;) {
        const std::size_t next = text.find("template ", at + 1);
        templates.push_back(text.substr(at, next == std::string::npos ? next : next - at));
        at = next;
    }
    return templates;
}

} // namespace

TEST_F(ObjectScene, CraftedXFilesAreRefusedBeforeTheParser) {
    TempFolder folder;
    const std::vector<Crafted> files = {
        {"skin weights' name a number, text", SkinText(), XScan::kRedefined},
        {"skin weights' name a number, binary", SkinBinary(), XScan::kRedefined},
        {"skin weights' name a number, compressed", CompressedX(SkinBinary()), XScan::kRedefined},
        {"texture name a number, text", TextureText(), XScan::kRedefined},
        {"texture name a number, binary", TextureBinary(), XScan::kRedefined},
        {"texture name a number, compressed", CompressedX(TextureText()), XScan::kRedefined},
        {"meshes 2,000 deep, text", NestedMeshesText(2000), XScan::kTooDeep},
        {"meshes 2,000 deep, binary", NestedMeshesBinary(2000), XScan::kTooDeep},
        {"meshes 2,000 deep, compressed", CompressedX(NestedMeshesBinary(2000)), XScan::kTooDeep},
        {"materials 2,000 deep", NestedMaterialsText(2000), XScan::kTooDeep},
        {"frames and meshes 2,000 deep", FramesAndMeshesText(2000), XScan::kTooDeep},
    };
    for (const Crafted& file : files) {
        SCOPED_TRACE(file.kind);
        const std::string path = folder.Write("crafted.x", file.bytes);
        std::vector<std::uint8_t> image;
        EXPECT_EQ(ConvX::ReadXImage(path.c_str(), image), file.verdict);
        LoadObject(path.c_str(), 1);
        EXPECT_EQ(cell.number, kObjectNotLoaded);
        EXPECT_FALSE(ObjectExists(1));
        EXPECT_EQ(ConvX::g_State.object, nullptr);
        // The platform's mesh loader is given only what the walk has read through too.
        cell.number = 0;
        LoadMesh(path.c_str(), 1);
        EXPECT_EQ(cell.number, kMeshMissing);
        EXPECT_FALSE(MeshExist(1));
        cell.number = 0;
    }
}

// The mesh command is a load of its own: what a small compressed file unpacks to is charged to the
// budget its size sets, before the platform's parser is given it.
TEST_F(ObjectScene, AMeshLoadWorksWithinItsFilesBudget) {
    TempFolder folder;
    const std::string small = folder.Write("small.x", SpacesBombX(2));
    const std::string bomb = folder.Write("bomb.x", SpacesBombX(6400)); // 200 MB of spaces
    LoadMesh(small.c_str(), 1);
    EXPECT_EQ(LastLoadLimit(), LoadBudgetFor(SpacesBombX(2).size()));
    EXPECT_GE(LastLoadCharged(), 2u * 32767);
    cell.number = 0;
    LoadMesh(bomb.c_str(), 1);
    EXPECT_EQ(cell.number, kMeshMissing);
    EXPECT_FALSE(MeshExist(1));
    EXPECT_EQ(LastLoadLimit(), LoadBudgetFor(SpacesBombX(6400).size()));
    EXPECT_LE(LastLoadCharged(), LastLoadLimit() + 32767);
    cell.number = 0;
}

TEST_F(ObjectScene, XFilesNestedToTheLimitLoad) {
    TempFolder folder;
    const int inside = ConvX::kDeepestNesting - 5;
    struct Edge {
        const char* kind;
        std::string atLimit, pastLimit;
    };
    const std::vector<Edge> edges = {
        {"a real file in frames", RealFileInFrames(inside), RealFileInFrames(inside + 1)},
        {"compressed", CompressedX(RealFileInFrames(inside)),
         CompressedX(RealFileInFrames(inside + 1))},
        {"binary", FramesBinary(ConvX::kDeepestNesting), FramesBinary(ConvX::kDeepestNesting + 1)},
    };
    for (const Edge& edge : edges) {
        SCOPED_TRACE(edge.kind);
        LoadObject(folder.Write("edge.x", edge.atLimit).c_str(), 1);
        EXPECT_TRUE(ObjectExists(1)) << cell.number;
        LoadObject(folder.Write("past.x", edge.pastLimit).c_str(), 2);
        EXPECT_EQ(cell.number, kObjectNotLoaded);
        EXPECT_FALSE(ObjectExists(2));
        DeleteObjectCmd(1);
        cell.number = 0;
    }
}

TEST(XScan, StandardTemplatesKeepTheirLayout) {
    const std::vector<std::string> templates = StandardTemplates();
    ASSERT_GE(templates.size(), 30u);
    for (const std::string& declared : templates) {
        SCOPED_TRACE(declared);
        EXPECT_EQ(Scan(kHeaderText + declared), XScan::kReadable);
        // A member more, under the same GUID: another layout. Under another GUID: another
        // template, the file's own.
        std::string more = declared;
        more.insert(more.find('>') + 1, " DWORD extra;");
        EXPECT_EQ(Scan(kHeaderText + more), XScan::kRedefined);
        more.replace(more.find('<') + 1, 1, more[more.find('<') + 1] == '0' ? "1" : "0");
        EXPECT_EQ(Scan(kHeaderText + more), XScan::kReadable);
    }
    // Member names are the file's own; an array sized by another member, or a string of another
    // kind, is another layout.
    const std::string skin = "template SkinWeights { <6F0D123B-BAD2-4167-A0D0-80224F25FABB> ";
    const std::string rest = "DWORD n; array DWORD v[n]; array FLOAT w[n]; Matrix4x4 m; }";
    EXPECT_EQ(Scan(kHeaderText + skin + "STRING bone; " + rest), XScan::kReadable);
    EXPECT_EQ(Scan(kHeaderText + skin + "CSTRING bone; " + rest), XScan::kRedefined);
    EXPECT_EQ(Scan(kHeaderText + skin +
                   "STRING bone; DWORD n; array DWORD v[3]; array FLOAT w[n]; Matrix4x4 m; }"),
              XScan::kRedefined);
}

TEST(XScan, NestingIsCountedAsTheParserReadsIt) {
    const std::string opens = Repeat("{", ConvX::kDeepestNesting + 1);
    struct Case {
        const char* kind;
        std::string bytes;
        XScan verdict;
    };
    BinaryX badTerminator, longName, unknown;
    badTerminator.Name("TextureFilename").Open().Token(2).Count(1);
    badTerminator.bytes += "a";
    badTerminator.Token(10);
    longName.Name("Mesh").Token(1).Count(100).Token(10);
    unknown.Name("Mesh").Open().Token(99).Close();
    const std::vector<Case> cases = {
        {"at the limit", kHeaderText + opens.substr(1) + Repeat("}", ConvX::kDeepestNesting),
         XScan::kReadable},
        {"one past it", kHeaderText + opens, XScan::kTooDeep},
        {"braces in comments", kHeaderText + "# " + opens + "\n// " + opens + "\n",
         XScan::kReadable},
        {"braces in a string", kHeaderText + "TextureFilename { \"" + opens + "\"; }\n",
         XScan::kReadable},
        {"a closing brace too many", kHeaderText + "Frame { }\n}\n", XScan::kDamaged},
        {"a string never closed", kHeaderText + "TextureFilename { \"a; }\n", XScan::kDamaged},
        {"binary string ending in a brace", badTerminator.bytes, XScan::kDamaged},
        {"binary name past the end", longName.bytes, XScan::kDamaged},
        {"binary token unknown", unknown.bytes, XScan::kDamaged},
        {"binary braces too deep", FramesBinary(ConvX::kDeepestNesting + 1), XScan::kTooDeep},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Scan(c.bytes), c.verdict) << c.kind;
}
