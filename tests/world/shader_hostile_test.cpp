#include "core/win32.h"

#include "support/guarded_bytes.h"
#include "world/archive_fixtures.h"
#include "world/pk3_archive.h"
#include "world/shader_fixtures.h"

#include <random>
#include <vector>
#include <string>

namespace {

// A script using every construct the reader knows, with line ends of three kinds.
const char* const kEverything = "// a comment\r\n"
                                "textures/every\r\n"
                                "{\r\n"
                                "\tsurfaceparm sky // why\n"
                                "\tcull none\n"
                                "\t{\r"
                                "\t\tanimmap 2.5 a.tga b.tga c.tga\r"
                                "\t\tblendfunc GL_SRC_ALPHA GL_ONE_MINUS_SRC_ALPHA\r"
                                "\t\ttcmod scroll 250 -130.5\r"
                                "\t\ttcmod scale 2 2\n"
                                "\t\tdepthwrite\n"
                                "\t}\n"
                                "\t{\n"
                                "\t\tmap $lightmap\n"
                                "\t\tdepthfunc equal\n"
                                "\t\ttcgen environment\n"
                                "\t\talphafunc GE128\n"
                                "\t}\n"
                                "}\n"
                                "second{\n"
                                "{ map x.tga }\n"
                                "}}}\n";

// Parses bytes that end where a no-access page begins: a read past them crashes the test.
void ParseGuarded(const std::string& bytes) {
    const GuardedBytes guarded(bytes);
    EXPECT_EQ(ParseShaderHeader(guarded.Data(), guarded.Size(), "hostile.pk3", "h.shader"), 1);
}

// The same text cut at every byte, each cut parsed into a fresh table.
void ParseEveryCut(const std::string& text) {
    for (std::size_t n = 0; n <= text.size(); ++n) {
        FreeWorldTable();
        ParseGuarded(text.substr(0, n));
    }
}

} // namespace

TEST_F(Shaders, ScriptsCutAtEveryByte) {
    ParseEveryCut(kEverything);
    FreeWorldTable();
    ParseGuarded(kEverything);
    EXPECT_EQ(Stage("textures/every", 0).frameCount, 3);
    EXPECT_EQ(Stage("textures/every", 1).depthFunction, 3);
    // A real script with lines ended by carriage returns alone, and a stray closing brace.
    std::vector<std::uint8_t> real;
    std::uint32_t size = 0;
    if (FindFileInZip(kPak0, "scripts/cf_models.shader", real, size))
        ParseEveryCut(std::string(real.begin(), real.begin() + size));
    CloseZipArchives();
}

TEST_F(Shaders, TokensAndRunsThatReachTheEnd) {
    const std::string huge(10000, 'x'), digits(10000, '9');
    for (const std::string& text : std::vector<std::string>{
             huge,
             "textures/" + huge,
             "a\n{\n" + huge,
             "a\n{\nsurfaceparm " + huge,
             "a\n{\n{\nmap " + huge,
             "a\n{\n{\ntcmod scroll " + digits,
             "a\n{\n{\ntcmod scroll 1 -" + digits,
             "a\n{\n{\nanimmap " + digits,
             "a\n{\n{\nanimmap 1 " + huge,
             "a\n{\n{\nanimmap 1" + std::string(5000, ' '),
             "a\n{\n{\nblendfunc GL_ONE " + huge,
             "a\n{\n{\n" + std::string(5000, '/'),
             "a // " + huge,
             std::string(10000, '\n'),
         }) {
        FreeWorldTable();
        ParseGuarded(text);
    }
    FreeWorldTable();
    ParseGuarded("a\n{\n{\nanimmap 1 " + huge);
    EXPECT_EQ(Stage("a", 0).frameNames.at(0).size(), 255u);
}

TEST_F(Shaders, UnbalancedBraces) {
    for (const std::string& text : std::vector<std::string>{
             std::string(3000, '{'),
             std::string(3000, '}'),
             "a\n" + std::string(3000, '{'),
             "a\n" + std::string(3000, '}') + "\nb\n{\n}",
             "a\n{\n{\n{\n{\nmap x\n",
             "{\n}\n{\n}\n{\n{\n}\n}\n}\n}\n}\n",
             "a\n}\n}\n}\n{\ncull none\n{\nmap x\n",
             "a\n{\n}\na\n{\n{\n{\n",
         }) {
        FreeWorldTable();
        ParseGuarded(text);
    }
    std::string alternating;
    for (int i = 0; i < 2000; ++i)
        alternating += i % 3 ? "{\n" : "}\nname" + std::to_string(i) + "\n";
    FreeWorldTable();
    ParseGuarded(alternating);
    EXPECT_GT(WorldShaderTable().count, 0);
}

TEST_F(Shaders, RandomBytes) {
    std::mt19937 random(45);
    // Mostly the characters the reader gives meaning to, so that the bytes reach every branch.
    const std::string alphabet = "{}{}//\n\r \t\t-.0123456789aemp$";
    const char* const words[] = {"map ",  "animmap ", "blendfunc ",   "tcmod ",    "scroll ",
                                 "cull ", "GL_ONE ",  "surfaceparm ", "clampmap ", "alphafunc "};
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const std::size_t length = 1 + random() % 3000;
        while (text.size() < length) {
            const unsigned pick = random() % 10;
            if (round % 3 == 0)
                text += static_cast<char>(random() & 0xFF);
            else if (pick < 2)
                text += words[random() % 10];
            else
                text += alphabet[random() % alphabet.size()];
        }
        FreeWorldTable();
        ParseGuarded(text);
        ASSERT_LE(WorldShaderTable().count, kMostShaders);
    }
}
