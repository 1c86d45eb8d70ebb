// Shaders read from the ".shader" scripts of a level's archives: a face whose texture name is a
// shader's name is drawn through the shader's stages. The table keeps every shader in the order
// first read; a name read again later keeps its first definition.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct ShaderScript;

// How many frame names a stage keeps ("animmap" names past these are passed over).
constexpr int kShaderStageFrames = 32;
// A stage's texture-coordinate modifiers (their count is a byte).
constexpr int kMostShaderTexMods = 255;
// Stages of one shader, and shaders in the table: further ones are read and dropped, so that a
// hostile script cannot take all memory.
constexpr int kMostShaderStages = 16;
constexpr int kMostShaders = 65536;

// One texture-coordinate modifier; a new one is all zeros.
struct ShaderTexMod {
    float rotation = 0.0f; // degrees per second
    float scaleS = 0.0f;
    float scaleT = 0.0f;
    float scrollS = 0.0f; // cycles per second, within -100 to 100
    float scrollT = 0.0f;
};

// Values are Direct3D 9's: blends are D3DBLEND, functions D3DCMPFUNC.
struct ShaderStage {
    float animationFrequency = 0.0f;
    std::uint8_t frameCount = 0;
    std::vector<std::string> frameNames; // frameCount of them: textures, "$lightmap", "$whiteimage"
    std::array<std::int32_t, kShaderStageFrames> frameTextures = MissingFrameTextures();
    std::int32_t sourceBlend = 2;      // one
    std::int32_t destinationBlend = 1; // zero
    std::int32_t depthFunction = 4;    // less or equal
    std::int32_t depthWrite = 1;
    std::uint8_t textureCoordinates = 0; // 0 base, 1 lightmap, 2 environment
    std::uint8_t modifierCount = 0;
    std::vector<ShaderTexMod> modifiers;
    std::int32_t alphaTest = 0;
    std::uint8_t alphaReference = 0;
    std::int32_t alphaFunction = 8; // always

    // Every frame texture not loaded (-1).
    static std::array<std::int32_t, kShaderStageFrames> MissingFrameTextures() {
        std::array<std::int32_t, kShaderStageFrames> handles{};
        handles.fill(-1);
        return handles;
    }
};

struct ShaderRecord {
    std::string archive; // the archive the script came from
    std::string script;  // the script's member path in it
    std::string name;    // matched against face texture names without regard to case
    std::int32_t stageCount = 0;
    std::vector<ShaderStage> stages;
    std::int32_t sky = 0;
    std::int32_t nonsolid = 0;
    std::int32_t playerclip = 0;
    std::int32_t cullMode = 3; // D3DCULL: 1 none, 2 clockwise, 3 counter-clockwise
    std::int32_t texturesLoaded = 0;
};

// Grows as the world's other tables do: one more record past the capacity makes it count + 101;
// a capacity more than 100 above the count shrinks to it.
struct ShaderTable {
    std::int32_t count = 0;
    std::int32_t capacity = 0;
    std::vector<ShaderRecord> records; // capacity of them, the first count in use
};

// The module's table, alive for the run until FreeWorldTable.
ShaderTable& WorldShaderTable();
// The index of the first shader named name without regard to case; -1 when there is none.
std::int32_t FindShader(const char* name);

// Appends the shaders of one script (length bytes, not zero-terminated) to the table: names
// already there are skipped with their blocks. Malformed text is read as well as it goes and
// never reported. Returns 1.
int ParseShaderHeader(const std::uint8_t* text, std::size_t length, const char* archivePath,
                      const char* scriptPath);
// Applies one stage line's keyword (its values follow at the script's position) to stage.
void ParseShaderStage(ShaderScript& script, ShaderStage& stage, const std::string& keyword);

// Parses every member of the archive whose name holds ".shader", in directory order. 1, or 0 when
// the archive cannot be read. An archive whose scripts the table already holds is not read again
// (until FreeWorldTable): each is read once per level load.
int LoadShaderFile(const char* archivePath);
// Frees the table, then loads the scripts of every archive of the world's archive list, in its
// order. Returns 1.
int ReloadAllShaders();
// LoadShaderFile for every archive of the world's archive list, in its order: only those not read
// since the table was freed are read. Returns 1.
int LoadNewShaderFiles();
// Frees every shader; count and capacity become 0.
void FreeWorldTable();
// Forgets the stage textures of every shader (for a new level): handles -1, none loaded.
void ResetShaderTextures();
