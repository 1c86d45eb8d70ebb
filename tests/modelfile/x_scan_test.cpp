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
#include <tuple>
#include <vector>

namespace {

using ConvX::XScan;
using enum ConvX::XScan;

const std::string kHeaderText = "xof 0302txt 0032\n";
const std::string kTriangle = "3;0.0;0.0;0.0;,1.0;0.0;0.0;,0.0;1.0;0.0;;1;3;0,1,2;;\n";
const std::string kMaterialData = "1.0;1.0;1.0;1.0;;8.0;0.0;0.0;0.0;;0.0;0.0;0.0;;\n";
// A number the converter once took for the address of a text.
constexpr std::uint32_t kAddress = 0x12345678;

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

// Standard templates declared again under their GUIDs with a DWORD where a text goes, and used
// in a mesh: the skin weights', and the texture file name's in a material.
std::string RedefinedText(const std::string& declared, const std::string& use) {
    return kHeaderText + "template " + declared + " }\nMesh M {" + kTriangle + use + "}\n";
}
const std::string kSkinText = RedefinedText(
    "MySkin { <6F0D123B-BAD2-4167-A0D0-80224F25FABB> DWORD name; DWORD n; array DWORD "
    "vertices[n]; array FLOAT weights[n]; Matrix4x4 offset;",
    "XSkinMeshHeader { 1; 1; 1; }\nMySkin { " + std::to_string(kAddress) +
        "; 1; 0; 1.0; 1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0;; }\n");
const std::string kTextureText =
    RedefinedText("MyTexture { <A42790E1-7810-11CF-8F52-0040333594A3> DWORD filename;",
                  "MeshMaterialList { 1; 1; 0;;\nMaterial {" + kMaterialData + "MyTexture { " +
                      std::to_string(kAddress) + "; }\n}\n}\n");

std::string SkinBinary() {
    BinaryX x;
    x.Token(31).Name("MySkin").Open().Token(5).Raw(&ConvX::kSkinWeights, sizeof(GUID));
    x.Member(41, "name").Member(41, "n").Member(41, "vertices", "n").Member(42, "weights", "n");
    x.Name("Matrix4x4").Name("offset").Token(20).Close();
    x.Name("Mesh").Name("M").Open().Triangle().Name("XSkinMeshHeader").Open().Dwords({1, 1, 1});
    x.Close().Name("MySkin").Open().Dwords({kAddress, 1, 0}).Floats({1});
    x.Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}).Close().Close();
    return x.bytes;
}

std::string TextureBinary() {
    BinaryX x;
    x.Token(31).Name("MyTexture").Open().Token(5).Raw(&ConvX::kTextureFilename, sizeof(GUID));
    x.Member(41, "filename").Close().Name("Mesh").Open().Triangle().Name("MeshMaterialList");
    x.Open().Dwords({1, 1, 0}).Name("Material").Open().Floats({1, 1, 1, 1, 8, 0, 0, 0, 0, 0, 0});
    x.Name("MyTexture").Open().Dwords({kAddress}).Close().Close().Close().Close();
    return x.bytes;
}

// `depth` objects each inside the one before, the innermost a mesh holding a triangle: meshes
// that each hold one too, or frames.
std::string NestedBinary(const std::string& outer, int depth) {
    BinaryX x;
    for (int i = 1; i <= depth; ++i) {
        x.Name(i == depth ? "Mesh" : outer).Open();
        if (i == depth || outer == "Mesh") x.Triangle();
    }
    for (int i = 0; i < depth; ++i)
        x.Close();
    return x.bytes;
}

// A real file (it nests 5 deep) inside frames.
std::string RealFileInFrames(int frames) {
    const std::string file = TempFolder::Read("/usr/share/assimp/models/X/test.x");
    return kHeaderText + Repeat("Frame W {\n", frames) + file.substr(16) + Repeat("}\n", frames);
}

XScan Scan(const std::string& bytes) {
    return ConvX::ScanXImage(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

using Crafted = std::tuple<const char*, std::string, XScan>; // what, its bytes, the verdict

} // namespace

TEST_F(ObjectScene, CraftedXFilesAreRefusedBeforeTheParser) {
    TempFolder folder;
    const std::string meshes = NestedBinary("Mesh", 2000);
    const std::vector<Crafted> files = {
        {"skin weights' name a number, text", kSkinText, kRedefined},
        {"skin weights' name a number, binary", SkinBinary(), kRedefined},
        {"skin weights' name a number, compressed", CompressedX(SkinBinary()), kRedefined},
        {"texture name a number, text", kTextureText, kRedefined},
        {"texture name a number, binary", TextureBinary(), kRedefined},
        {"texture name a number, compressed", CompressedX(kTextureText), kRedefined},
        {"meshes 2,000 deep, text",
         kHeaderText + Repeat("Mesh {" + kTriangle, 2000) + Repeat("}", 2000) + "\n", kTooDeep},
        {"meshes 2,000 deep, binary", meshes, kTooDeep},
        {"meshes 2,000 deep, compressed", CompressedX(meshes), kTooDeep},
        {"materials 2,000 deep",
         kHeaderText + "Mesh {" + kTriangle + "MeshMaterialList { 1; 1; 0;;\n" +
             Repeat("Material {" + kMaterialData, 2000) + Repeat("}", 2000) + "}\n}\n",
         kTooDeep},
        {"frames and meshes 2,000 deep",
         kHeaderText + Repeat("Frame {\nMesh {" + kTriangle, 1000) + Repeat("}", 2000) + "\n",
         kTooDeep},
    };
    for (const auto& [kind, bytes, verdict] : files) {
        SCOPED_TRACE(kind);
        const std::string path = folder.Write("crafted.x", bytes);
        std::vector<std::uint8_t> image;
        EXPECT_EQ(ConvX::ReadXImage(path.c_str(), image), verdict);
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
    const std::string small = SpacesBombX(2), bomb = SpacesBombX(6400); // 200 MB of spaces
    LoadMesh(folder.Write("small.x", small).c_str(), 1);
    EXPECT_EQ(LastLoadLimit(), LoadBudgetFor(small.size()));
    EXPECT_GE(LastLoadCharged(), 2u * 32767);
    cell.number = 0;
    LoadMesh(folder.Write("bomb.x", bomb).c_str(), 1);
    EXPECT_EQ(cell.number, kMeshMissing);
    EXPECT_FALSE(MeshExist(1));
    EXPECT_EQ(LastLoadLimit(), LoadBudgetFor(bomb.size()));
    EXPECT_LE(LastLoadCharged(), LastLoadLimit() + 32767);
}

TEST_F(ObjectScene, XFilesNestedToTheLimitLoad) {
    TempFolder folder;
    const auto nested = [](int kind, int past) { // 0 beside the limit, 1 beyond it
        const int inside = ConvX::kDeepestNesting - 5 + past;
        if (kind == 2) return NestedBinary("Frame", ConvX::kDeepestNesting + past);
        return kind ? CompressedX(RealFileInFrames(inside)) : RealFileInFrames(inside);
    };
    for (int kind = 0; kind < 3; ++kind) {
        SCOPED_TRACE(kind); // a real file in frames; that compressed; binary frames
        LoadObject(folder.Write("edge.x", nested(kind, 0)).c_str(), 1);
        EXPECT_TRUE(ObjectExists(1)) << cell.number;
        LoadObject(folder.Write("past.x", nested(kind, 1)).c_str(), 2);
        EXPECT_EQ(cell.number, kObjectNotLoaded);
        EXPECT_FALSE(ObjectExists(2));
        DeleteObjectCmd(1);
        cell.number = 0;
    }
}

TEST(XScan, StandardTemplatesKeepTheirLayout) {
    const std::string text = ConvX::TemplateText();
    int count = 0;
    for (std::size_t at = text.find("template "); at != std::string::npos; ++count) {
        const std::size_t next = text.find("template ", at + 1);
        const std::string declared = text.substr(at, next == std::string::npos ? next : next - at);
        at = next;
        SCOPED_TRACE(declared);
        EXPECT_EQ(Scan(kHeaderText + declared), kReadable);
        // A member more, under the same GUID: another layout. Under another GUID: another
        // template, the file's own.
        std::string more = declared;
        more.insert(more.find('>') + 1, " DWORD extra;");
        EXPECT_EQ(Scan(kHeaderText + more), kRedefined);
        more.replace(more.find('<') + 1, 1, more[more.find('<') + 1] == '0' ? "1" : "0");
        EXPECT_EQ(Scan(kHeaderText + more), kReadable);
    }
    EXPECT_GE(count, 30);
    // Member names are the file's own; an array sized by another member, or a string of another
    // kind, is another layout.
    const std::string skin = "template SkinWeights { <6F0D123B-BAD2-4167-A0D0-80224F25FABB> ";
    const std::string rest = "DWORD n; array DWORD v[n]; array FLOAT w[n]; Matrix4x4 m; }";
    EXPECT_EQ(Scan(kHeaderText + skin + "STRING bone; " + rest), kReadable);
    EXPECT_EQ(Scan(kHeaderText + skin + "CSTRING bone; " + rest), kRedefined);
    EXPECT_EQ(Scan(kHeaderText + skin +
                   "STRING bone; DWORD n; array DWORD v[3]; array FLOAT w[n]; Matrix4x4 m; }"),
              kRedefined);
}

TEST(XScan, NestingIsCountedAsTheParserReadsIt) {
    const std::string opens = Repeat("{", ConvX::kDeepestNesting + 1);
    const std::vector<Crafted> cases = {
        {"at the limit", kHeaderText + opens.substr(1) + Repeat("}", ConvX::kDeepestNesting),
         kReadable},
        {"one past it", kHeaderText + opens, kTooDeep},
        {"braces in comments", kHeaderText + "# " + opens + "\n// " + opens + "\n", kReadable},
        {"braces in a string", kHeaderText + "TextureFilename { \"" + opens + "\"; }\n", kReadable},
        {"a closing brace too many", kHeaderText + "Frame { }\n}\n", kDamaged},
        {"a string never closed", kHeaderText + "TextureFilename { \"a; }\n", kDamaged},
        {"binary string ending in a brace",
         BinaryX{}.Name("TextureFilename").Open().Token(2).Count(1).Raw("a", 1).Token(10).bytes,
         kDamaged},
        {"binary name past the end", BinaryX{}.Name("Mesh").Token(1).Count(100).Token(10).bytes,
         kDamaged},
        {"binary token unknown", BinaryX{}.Name("Mesh").Open().Token(99).Close().bytes, kDamaged},
        {"binary braces too deep", NestedBinary("Frame", ConvX::kDeepestNesting + 1), kTooDeep},
    };
    for (const auto& [kind, bytes, verdict] : cases)
        EXPECT_EQ(Scan(bytes), verdict) << kind;
}
