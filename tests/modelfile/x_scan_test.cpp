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
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

using ConvX::XScan;
using enum ConvX::XScan;
using namespace std::string_literals;

const std::string kHeaderText = "xof 0302txt 0032\n";
const std::string kTriangle = "3;0.0;0.0;0.0;,1.0;0.0;0.0;,0.0;1.0;0.0;;1;3;0,1,2;;\n";
const std::string kMaterialData = "1.0;1.0;1.0;1.0;;8.0;0.0;0.0;0.0;;0.0;0.0;0.0;;\n";
const std::string kMesh = "Mesh M { " + kTriangle + "} ";
// A number the converter once took for the address of a text.
constexpr std::uint32_t kAddress = 0x12345678;

std::string Repeat(const std::string& text, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i)
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

// "template name { <guid>", the GUID made from the number: members follow, then "}".
std::string Template(const std::string& name, std::size_t id = 1) {
    const std::string number = std::to_string(id);
    return "template " + name + " { <" + std::string(8 - number.size(), '0') + number +
           "-5EED-4A11-8C00-000000000001> ";
}

// The same file in the binary form, from text as these tests write it: each token apart, numbers
// only as dimensions ("[ 16 ]") or DWORDs ("5;"), and the triangle. A GUID's first 16 characters
// are its bytes: as unique as the text's, and far from the standard ones.
std::string Binary(const std::string& text) {
    const std::map<std::string, std::uint16_t> tokens = {
        {"{", 10}, {"}", 11},        {"[", 14},     {"]", 15},      {",", 19},
        {";", 20}, {"template", 31}, {"DWORD", 41}, {"STRING", 49}, {"array", 52}};
    BinaryX x;
    std::istringstream words(text.substr(kHeaderText.size()));
    for (std::string word, before; words >> word; before = word) {
        if (tokens.count(word))
            x.Token(tokens.at(word));
        else if (word[0] == '"')
            x.Name(word.substr(1, word.size() - 2), 2);
        else if (word[0] == '<')
            x.Token(5).Raw(word.data() + 1, 16);
        else if (word + "\n" == kTriangle)
            x.Triangle();
        else if (word[0] >= '0' && word[0] <= '9')
            before == "[" ? x.Token(3).Count(std::stoul(word)) : x.Dwords({std::stoul(word)});
        else
            x.Name(word);
    }
    return x.bytes;
}

// A binary object whose name runs on over the parser's record into the object's type, there
// spelling the skin weights': the converter takes its first DWORD for the address of a text.
std::string NamedIntoSkinWeights() {
    std::string name(56, 'a');
    name.append(reinterpret_cast<const char*>(&ConvX::kSkinWeights), sizeof(GUID));
    BinaryX x{Binary(kHeaderText + Template("T") + "DWORD a ; DWORD n ; array DWORD m [ 16 ] ; } " +
                     "Mesh { " + kTriangle + " T")};
    x.Name(name).Open().Dwords({kAddress, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    return x.Close().Close().bytes;
}

// A mesh whose material names a texture file of 560 characters, all 'A': where the parser
// writes past its token's buffer, it writes to an address made of them, never mapped.
std::string TextureNamedBinary() {
    BinaryX x;
    x.Name("Mesh").Open().Triangle().Name("MeshMaterialList").Open().Dwords({1, 1, 0});
    x.Name("Material").Open().Floats({1, 1, 1, 1, 8, 0, 0, 0, 0, 0, 0}).Name("TextureFilename");
    return x.Open().Name(std::string(560, 'A'), 2).Token(20).Close().Close().Close().Close().bytes;
}

// A template of the members, an object of it holding the value, and a mesh.
std::string Typed(const std::string& type, const std::string& members,
                  const std::string& value = "5;") {
    return kHeaderText + Template(type) + members + " } " + type + " { " + value + " } " + kMesh;
}

// `count` objects of the type, in ones holding up to `inside` empty ones each.
std::string Frames(std::size_t count, std::size_t inside = 100, const std::string& type = "Frame") {
    std::string out;
    for (std::size_t held = 0; count > 0; count -= held + 1) {
        held = std::min(count - 1, inside);
        out += type + " { " + Repeat(type + " { } ", held) + "} ";
    }
    return out;
}

// An animation of 1,799 objects (the converter reads none outside a set), a frame of references
// to it reaching 1,800 objects each, and a frame of frames and a mesh: `reached` objects in all.
std::string Reaching(std::size_t reached) {
    const std::size_t references = (reached - 1801) / 1800;
    return kHeaderText + "Animation A { " + Frames(1798, 100, "Animation") + "} Frame { " +
           Repeat("{ A } ", references) + "} Frame { " +
           Frames(reached - 1800 * (references + 1) - 2) + kMesh + "}";
}

// An object holding strings of `bytes` bytes in all, each counted with its terminator.
std::string TreeStrings(std::size_t bytes) {
    std::string strings;
    for (std::size_t at = 0; at < bytes; at += 100)
        strings += "\"" + std::string(std::min<std::size_t>(bytes - at, 100) - 1, 's') + "\" ; ";
    return Typed("Names", "array STRING s [ " + std::to_string((bytes + 99) / 100) + " ] ;",
                 strings);
}

// What a limit bounds, the most the walk passes, a value the parser ends the process on (0: none
// tried), and the text of a file of a value: an object and a mesh the platform loads at the most.
struct Limit {
    const char* what;
    std::size_t most, fatal;
    std::string (*make)(std::size_t);
    bool binary = true; // false: the binary form writes no such token
};

const Limit kLimits[] = {
    {"an object's name", ConvX::kLongestName, 560,
     [](std::size_t n) { return kHeaderText + std::string(kMesh).replace(5, 1, n, 'A'); }},
    {"a member's name", ConvX::kLongestName, 41,
     [](std::size_t n) { return Typed("T", "DWORD " + std::string(n, 'A') + " ;"); }},
    {"a template's name", ConvX::kLongestName, 0,
     [](std::size_t n) { return Typed(std::string(n, 'A'), "DWORD a ;"); }},
    {"a string", ConvX::kLongestString, 0,
     [](std::size_t n) { return Typed("S", "STRING s ;", '"' + std::string(n, 'A') + "\" ;"); }},
    // Zeros before the mesh's vertex count.
    {"a number", ConvX::kLongestString, 0,
     [](std::size_t n) { return kHeaderText + std::string(kMesh).insert(9, n - 1, '0'); }, false},
    {"templates", ConvX::kMostTemplates, 170,
     [](std::size_t n) {
         std::string text = kHeaderText;
         for (std::size_t i = 0; i < n; ++i)
             text += Template("T" + std::to_string(i), 100 + i) + "DWORD a ; } ";
         return text + kMesh;
     }},
    {"members", ConvX::kMostMembers, 0,
     [](std::size_t n) { return Typed("T", Repeat("DWORD m ; ", n), Repeat("5; ", n)); }},
    {"restrictions", ConvX::kMostRestrictions, 0,
     [](std::size_t n) {
         return Typed("T", "DWORD a ; [ Mesh" + Repeat(" , Mesh", n - 1) + " ]");
     }},
    {"dimensions", ConvX::kMostDimensions, 0,
     [](std::size_t n) { return Typed("T", "array DWORD v" + Repeat(" [ 1 ]", n) + " ;"); }},
    {"children", ConvX::kMostChildren, 0,
     [](std::size_t n) { return kHeaderText + "Frame { " + Frames(n - 1, 0) + kMesh + "}"; }},
    {"objects in a tree", ConvX::kMostTreeObjects, 0,
     [](std::size_t n) { return kHeaderText + "Frame { " + Frames(n - 2) + kMesh + "}"; }},
    {"objects reached", ConvX::kMostReached, 0, Reaching},
    {"string bytes in a tree", ConvX::kMostTreeStringBytes, 0, TreeStrings},
};

XScan Scan(const std::string& bytes) {
    return ConvX::ScanXImage(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

using Crafted = std::tuple<std::string, std::string, XScan>; // what, its bytes, the verdict

} // namespace

// Crafted files are refused; files at each limit of the parser's tables load (as an object and as a
// mesh, from each form), and past it (one past, and where the parser ends the process) are refused.
TEST_F(ObjectScene, CraftedXFilesAreRefusedBeforeTheParserAndThoseAtItsLimitsLoad) {
    TempFolder folder;
    const std::string meshes = NestedBinary("Mesh", 2000);
    const std::string nulTexture = std::string(kTextureText).replace(16, 1, 1, '\0');
    const std::string self = kHeaderText + "Frame F { { F } } " + kMesh;
    std::vector<Crafted> files = {
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
         std::string(kSkinText).replace(kSkinText.find("template ") + 8, 1, 1, '\0'), kRedefined},
        {"texture name a number, a NUL before template", nulTexture, kRedefined},
        {"texture name a number, the same compressed", CompressedX(nulTexture), kRedefined},
        {"binary string of 560 bytes", TextureNamedBinary(), kPastLimit},
        {"binary name running into the object's type", NamedIntoSkinWeights(), kPastLimit},
        {"a frame referring to itself, text", self, kEndless},
        {"a frame referring to itself, binary", Binary(self), kEndless},
        {"a frame referring to itself, compressed", CompressedX(self), kEndless},
        {"a frame referring to the one around", kHeaderText + "Frame F { Frame G { {F} } }",
         kEndless},
    };
    for (const auto& [what, most, fatal, make, binary] : kLimits)
        for (const std::size_t value : {most, most + 1, fatal}) {
            if (value == 0) continue;
            const std::string text = make(value);
            for (const std::string& form : {text, binary ? Binary(text) : text, CompressedX(text)})
                files.emplace_back(what + (" of " + std::to_string(value)), form,
                                   value > most ? kPastLimit : kReadable);
        }
    // Each load makes an object and a mesh of its own, all kept to the end: the parser registers
    // its templates anew for each load, so loads one after another do not add up.
    std::int32_t n = 0;
    for (const auto& [kind, bytes, verdict] : files) {
        SCOPED_TRACE(kind + ", " + bytes.substr(8, 4));
        const bool loads = verdict == kReadable;
        const std::string path = folder.Write("crafted.x", bytes);
        std::vector<std::uint8_t> image;
        EXPECT_EQ(ConvX::ReadXImage(path.c_str(), image), verdict);
        LoadObject(path.c_str(), ++n);
        EXPECT_EQ(cell.number, loads ? 0 : kObjectNotLoaded);
        EXPECT_EQ(ObjectExists(n), loads);
        EXPECT_EQ(ConvX::g_State.object, nullptr);
        // The platform's mesh loader is given only what the walk has read through too.
        cell.number = 0;
        LoadMesh(path.c_str(), n);
        EXPECT_EQ(cell.number, loads ? 0 : kMeshMissing);
        EXPECT_EQ(MeshExist(n), loads);
        cell.number = 0;
    }
    for (; n > 0; --n) {
        if (ObjectExists(n)) DeleteObjectCmd(n);
        if (MeshExist(n)) DeleteMeshCmd(n);
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

// Nesting, bytes and references as the parser reads them: a reference counts every object the
// one it names reaches; of two objects named alike, it names the first opened.
TEST(XScan, NestingBytesAndReferencesAreReadAsTheParserReadsThem) {
    // Frames named F, a large one (1,799 objects) first, holding a small one, or a small one
    // first; then 170 references to F.
    const auto referring = [](bool largeFirst) {
        const std::string small = "Frame F { } ";
        return kHeaderText +
               (largeFirst ? "Frame F { " + small + Frames(1797)
                           : small + "Frame F { " + Frames(1798)) +
               "} Frame { " + Repeat("{ F } ", 170) + "}";
    };
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
        {"NULs between the words of an object",
         kHeaderText + "Frame\0"s + std::string(ConvX::kLongestName, 'A') + "\0{\0}"s, kReadable},
        {"a NUL and a brace in a string", kHeaderText + "TextureFilename { \"a\0}\"; }"s,
         kReadable},
        {"a NUL and a brace in a comment", kHeaderText + "# a\0{\nFrame { }"s, kReadable},
        {"a long fraction",
         kHeaderText + "Vector { -0." + std::string(97, '0') + "1; 0.0; 0.0; }\n", kReadable},
        {"a name as long", kHeaderText + "Vector { a0." + std::string(97, '0') + "1; 0.0; 0.0; }\n",
         kPastLimit},
        {"a name of dashes", kHeaderText + "Frame " + std::string(40, '-') + " { }\n", kPastLimit},
        {"a binary name", BinaryX{}.Name("Frame").Name(std::string(40, 'A')).Open().Close().bytes,
         kPastLimit},
        {"references to the first of two, the large one", referring(true), kPastLimit},
        {"references to the first of two, a small one", referring(false), kReadable},
        {"a reference to an earlier sibling", kHeaderText + "Frame F { Frame G { } {G} }\n",
         kReadable},
        {"a reference inside objects of its name to an earlier one",
         kHeaderText + "Material M {" + kMaterialData + "}\nFrame M {\nMesh M {" + kTriangle +
             "MeshMaterialList { 1; 1; 0;; {M} }\n}\n}\n",
         kReadable},
    };
    for (const auto& [kind, bytes, verdict] : cases)
        EXPECT_EQ(Scan(bytes), verdict) << kind;
}
