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

#include <algorithm>
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

std::string Letters(std::size_t count) {
    return std::string(count, 'n');
}

// The text with a NUL byte where it had a space.
std::string NulFor(std::string text, std::size_t space) {
    text[space] = '\0';
    return text;
}

// A binary object whose name runs on over the parser's record into the object's type, there
// spelling the skin weights': the converter takes the object's first DWORD for the address of the
// bone's name.
std::string NamedIntoSkinWeights() {
    std::string name(56, 'a');
    name.append(reinterpret_cast<const char*>(&ConvX::kSkinWeights), sizeof(GUID));
    XForms x;
    x.Template("T", 1).Member("a").Member("n").Member("m", false, {"16"}).Close();
    std::vector<std::uint32_t> data(18, 0);
    data[0] = kAddress;
    x.binary.Name("Mesh").Open().Triangle().Name("T").Name(name).Open().Dwords(data);
    return x.binary.Close().Close().bytes;
}

// A mesh whose material names a texture file of `length` characters, all 'A': where the parser
// writes past its token's buffer, it writes to an address made of them, never mapped.
std::string TextureNamedBinary(std::size_t length) {
    BinaryX x;
    x.Name("Mesh").Open().Triangle().Name("MeshMaterialList").Open().Dwords({1, 1, 0});
    x.Name("Material").Open().Floats({1, 1, 1, 1, 8, 0, 0, 0, 0, 0, 0}).Name("TextureFilename");
    const std::string name(length, 'A');
    x.Open().Token(2).Count(static_cast<std::uint32_t>(length)).Raw(name.data(), length);
    return x.Token(20).Close().Close().Close().Close().bytes;
}

// A frame holding a reference to itself, and a mesh.
XForms SelfReference() {
    XForms x;
    x.Name("Frame").Name("F").Open().Open().Name("F").Close().Close();
    return x.Mesh();
}

XForms OwnTemplates(std::size_t count) {
    XForms x;
    for (std::size_t i = 0; i < count; ++i)
        x.Template("T" + std::to_string(i), static_cast<std::uint32_t>(100 + i))
            .Member("a")
            .Close();
    return x.Mesh();
}

// A template of one member named `name`, and an object of it.
XForms MemberNamed(const std::string& name) {
    XForms x;
    x.Template("T", 1).Member(name).Close().Name("T").Open().Dwords({5}).Close();
    return x.Mesh();
}

XForms StringObject(std::size_t length) {
    XForms x;
    x.Template("S", 1).Member("s", true).Close().Name("S").Open().String(Letters(length));
    return x.Close().Mesh();
}

// `count` frames, in frames of at most a hundred and one.
void PutFrames(XForms& x, std::size_t count) {
    while (count > 0) {
        const std::size_t inside = std::min<std::size_t>(count - 1, 100);
        x.Name("Frame").Open();
        for (std::size_t i = 0; i < inside; ++i)
            x.Name("Frame").Open().Close();
        x.Close();
        count -= inside + 1;
    }
}

// A top-level frame holding `objects` objects in all, itself and a mesh included.
XForms Tree(std::size_t objects) {
    XForms x;
    PutFrames(x.Name("Frame").Open(), objects - 2);
    return x.Mesh().Close();
}

// An animation of 180 (the converter reads none outside a set), and a frame whose references to
// it, frames and a mesh reach `reached` objects in all.
XForms Reaching(std::size_t reached) {
    constexpr std::size_t kAnimation = 180;
    XForms x;
    x.Name("Animation").Name("A").Open();
    for (std::size_t i = 1; i < kAnimation; ++i)
        x.Name("Animation").Open().Close();
    x.Close().Name("Frame").Open();
    std::size_t left = reached - kAnimation - 2;
    while (left > kAnimation + 1) {
        const std::size_t references = std::min<std::size_t>(100, (left - 1) / (kAnimation + 1));
        x.Name("Frame").Open();
        for (std::size_t i = 0; i < references; ++i)
            x.Open().Name("A").Close();
        x.Close();
        left -= 1 + references * (kAnimation + 1);
    }
    PutFrames(x, left);
    return x.Mesh().Close();
}

// A top-level frame holding strings of `bytes` bytes in all, each counted with its terminator.
XForms TreeStrings(std::size_t bytes) {
    XForms x;
    x.Template("Names", 1).Member("n").Member("s", true, {"n"}).Close();
    const std::size_t whole = bytes / 100, part = bytes % 100;
    x.Name("Frame").Open().Name("Names").Open();
    x.Dwords({static_cast<std::uint32_t>(whole + (part ? 1 : 0))});
    for (std::size_t i = 0; i < whole; ++i)
        x.String(std::string(99, 's'));
    if (part) x.String(std::string(part - 1, 's'));
    return x.Close().Mesh().Close();
}

// What a limit bounds, its value, and a file made with a given value: one object or mesh the
// platform loads at the limit.
struct Limit {
    const char* what;
    std::size_t most;
    XForms (*make)(std::size_t);
    bool binaryToo = true; // false: the binary form writes no such token
};

const Limit kLimits[] = {
    {"an object's name", ConvX::kLongestName,
     [](std::size_t n) { return XForms{}.Mesh(Letters(n)); }},
    {"a member's name", ConvX::kLongestName, [](std::size_t n) { return MemberNamed(Letters(n)); }},
    {"a template's name", ConvX::kLongestName,
     [](std::size_t n) {
         XForms x;
         x.Template(Letters(n), 1).Member("a").Close().Name(Letters(n)).Open().Dwords({5});
         return x.Close().Mesh();
     }},
    {"a string", ConvX::kLongestString, StringObject},
    {"a number", ConvX::kLongestString,
     [](std::size_t n) {
         XForms x;
         x.text = kHeaderText + "Mesh {" + std::string(n - 1, '0') + kTriangle + "}\n";
         return x;
     },
     false},
    {"templates", ConvX::kMostTemplates, OwnTemplates},
    {"members", ConvX::kMostMembers,
     [](std::size_t n) {
         XForms x;
         x.Template("T", 1);
         for (std::size_t i = 0; i < n; ++i)
             x.Member("m" + std::to_string(i));
         return x.Close().Mesh();
     }},
    {"restrictions", ConvX::kMostRestrictions,
     [](std::size_t n) {
         XForms x;
         return x.Template("T", 1).Member("a").Restrictions("Mesh", n).Close().Mesh();
     }},
    {"dimensions", ConvX::kMostDimensions,
     [](std::size_t n) {
         XForms x;
         x.Template("T", 1).Member("v", false, std::vector<std::string>(n, "1")).Close();
         return x.Name("T").Open().Dwords({5}).Close().Mesh();
     }},
    {"children", ConvX::kMostChildren,
     [](std::size_t n) {
         XForms x;
         x.Name("Frame").Open();
         for (std::size_t i = 1; i < n; ++i)
             x.Name("Frame").Open().Close();
         return x.Mesh().Close();
     }},
    {"objects in a tree", ConvX::kMostTreeObjects, Tree},
    {"objects reached", ConvX::kMostReached, Reaching},
    {"string bytes in a tree", ConvX::kMostTreeStringBytes, TreeStrings},
};

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
        {"skin weights' name a number, a NUL after template",
         NulFor(kSkinText, kSkinText.find("template ") + 8), kRedefined},
        {"texture name a number, a NUL before template",
         NulFor(kTextureText, kHeaderText.size() - 1), kRedefined},
        {"texture name a number, a NUL before template, compressed",
         CompressedX(NulFor(kTextureText, kHeaderText.size() - 1)), kRedefined},
        {"binary name of 560 bytes", XForms{}.Mesh(std::string(560, 'A')).binary.bytes, kPastLimit},
        {"binary string of 560 bytes", TextureNamedBinary(560), kPastLimit},
        {"binary name running into the object's type", NamedIntoSkinWeights(), kPastLimit},
        {"170 templates, text", OwnTemplates(170).text, kPastLimit},
        {"170 templates, binary", OwnTemplates(170).binary.bytes, kPastLimit},
        {"170 templates, compressed", CompressedX(OwnTemplates(170).text), kPastLimit},
        {"member name of 41, text", MemberNamed(Letters(41)).text, kPastLimit},
        {"member name of 41, binary", MemberNamed(Letters(41)).binary.bytes, kPastLimit},
        {"a frame referring to itself, text", SelfReference().text, kEndless},
        {"a frame referring to itself, binary", SelfReference().binary.bytes, kEndless},
        {"a frame referring to itself, compressed", CompressedX(SelfReference().text), kEndless},
        {"a frame referring to the one around it", kHeaderText + "Frame F { Frame G { {F} } }\n",
         kEndless},
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

// Each limit of the parser's tables through each reader: at the limit the file loads as an object
// and as a mesh; one past it the walk refuses it, and neither command keeps anything.
TEST_F(ObjectScene, XFilesAtTheParsersLimitsLoadAndPastThemAreRefused) {
    TempFolder folder;
    const char* readers[] = {"text", "binary", "compressed"};
    for (const Limit& limit : kLimits) {
        for (std::size_t past = 0; past < 2; ++past) {
            const XForms x = limit.make(limit.most + past);
            const std::string forms[] = {x.text, x.binary.bytes, CompressedX(x.text)};
            for (int reader = 0; reader < 3; ++reader) {
                if (reader == 1 && !limit.binaryToo) continue;
                SCOPED_TRACE(std::string(limit.what) + (past ? ", past it, " : ", at it, ") +
                             readers[reader]);
                const std::string path = folder.Write("limit.x", forms[reader]);
                std::vector<std::uint8_t> image;
                EXPECT_EQ(ConvX::ReadXImage(path.c_str(), image), past ? kPastLimit : kReadable);
                LoadObject(path.c_str(), 1);
                EXPECT_EQ(ObjectExists(1), !past) << cell.number;
                LoadMesh(path.c_str(), 1);
                EXPECT_EQ(MeshExist(1), !past) << cell.number;
                EXPECT_EQ(cell.number, past ? kMeshMissing : 0);
                if (ObjectExists(1)) DeleteObjectCmd(1);
                if (MeshExist(1)) DeleteMeshCmd(1);
                cell.number = 0;
            }
        }
    }
    // Each load registers its templates anew: loads one after another do not add up.
    const std::string most =
        folder.Write("most.x", OwnTemplates(ConvX::kMostTemplates).binary.bytes);
    for (std::int32_t n = 1; n <= 3; ++n) {
        LoadObject(most.c_str(), n);
        EXPECT_TRUE(ObjectExists(n)) << n;
    }
    for (std::int32_t n = 1; n <= 3; ++n)
        DeleteObjectCmd(n);
}

TEST(XScan, BytesAreReadAsTheParserReadsThem) {
    const std::vector<Crafted> cases = {
        {"NULs between the words of an object",
         kHeaderText + "Frame" + '\0' + Letters(ConvX::kLongestName) + '\0' + "{" + '\0' + "}\n",
         kReadable},
        {"a NUL and a brace in a string", kHeaderText + "TextureFilename { \"a" + '\0' + "}\"; }\n",
         kReadable},
        {"a NUL and a brace in a comment", kHeaderText + "# a" + '\0' + "{\nFrame { }\n",
         kReadable},
        {"a long fraction",
         kHeaderText + "Vector { -0." + std::string(97, '0') + "1; 0.0; 0.0; }\n", kReadable},
        {"a name as long", kHeaderText + "Vector { a0." + std::string(97, '0') + "1; 0.0; 0.0; }\n",
         kPastLimit},
        {"a name of dashes", kHeaderText + "Frame " + std::string(40, '-') + " { }\n", kPastLimit},
        {"a binary name", BinaryX{}.Name("Frame").Name(Letters(40)).Open().Close().bytes,
         kPastLimit},
    };
    for (const auto& [kind, bytes, verdict] : cases)
        EXPECT_EQ(Scan(bytes), verdict) << kind;
}

// A reference counts every object the one it names reaches; of two objects named alike, it names
// the first opened.
TEST(XScan, ReferencesReachWhatTheyName) {
    // Frames named F, a large one (1,799 objects) first, holding a small one, or a small one
    // first; then 170 references to F.
    const auto referring = [](bool largeFirst) {
        XForms x;
        if (!largeFirst) x.Name("Frame").Name("F").Open().Close();
        x.Name("Frame").Name("F").Open();
        if (largeFirst) x.Name("Frame").Name("F").Open().Close();
        PutFrames(x, largeFirst ? 1797 : 1798);
        x.Close().Name("Frame").Open();
        for (int i = 0; i < 170; ++i)
            x.Open().Name("F").Close();
        return x.Close().text;
    };
    const std::vector<Crafted> cases = {
        {"references to the first of two, the large one", referring(true), kPastLimit},
        {"references to the first of two, a small one", referring(false), kReadable},
        {"a reference to an earlier sibling", kHeaderText + "Frame F { Frame G { } {G} }\n",
         kReadable},
        {"a reference inside objects of its name to an earlier one",
         kHeaderText +
             "Material M { 1.0;1.0;1.0;1.0;;8.0;0.0;0.0;0.0;;0.0;0.0;0.0;; }\nFrame M {\n" +
             "Mesh M {" + kTriangle + "MeshMaterialList { 1; 1; 0;; {M} }\n}\n}\n",
         kReadable},
    };
    for (const auto& [kind, bytes, verdict] : cases)
        EXPECT_EQ(Scan(bytes), verdict) << kind;
}
