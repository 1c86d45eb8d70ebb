#include "core/win32.h"

#include "world/shader_table.h"
#include "world/growable_table.h"
#include "world/pk3_archive.h"
#include "world/shader_script.h"
#include "core/load_budget.h"

#include <climits>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

namespace {

constexpr std::int32_t kSpareShaders = 100;

// The table lives for the run: rebuilt at every level load, freed by FreeWorldTable. byName
// holds each lowercased name's first shader, so that a script of thousands of names is not
// compared name by name against all before it. read holds the archives whose scripts the table
// has taken in, so that a level load reads each archive's scripts once.
struct State {
    ShaderTable table;
    std::unordered_map<std::string, std::int32_t> byName;
    std::unordered_set<std::string> read;
};
State s;

bool Same(const std::string& a, const char* b) {
    return _stricmp(a.c_str(), b) == 0;
}

std::string Lowered(const char* text) {
    std::string lowered(text);
    for (char& c : lowered)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lowered;
}

// One script's parse: lines apply to the shader that this script is defining, never to one
// defined earlier (stray braces after a skipped block would otherwise reach it).
struct ShaderParse {
    ShaderScript script;
    const char* archive = nullptr;
    const char* scriptPath = nullptr;
    std::int32_t current = -1;
    ShaderStage scratch; // takes the stage lines that belong to no shader of this script
};

std::int32_t AppendShader(const std::string& name, const char* archive, const char* scriptPath) {
    ShaderTable& t = s.table;
    if (t.count >= kMostShaders) return -1;
    // The record, its three texts and the name's entry in byName.
    RequireLoad(sizeof(ShaderRecord) + 2 * name.size() + 64 + std::strlen(archive ? archive : "") +
                std::strlen(scriptPath ? scriptPath : ""));
    ResizeGrowableTable(t.records, t.count, t.count + 1, kSpareShaders);
    t.capacity = static_cast<std::int32_t>(t.records.size());
    ShaderRecord& record = t.records[static_cast<std::size_t>(t.count)];
    record = ShaderRecord{};
    record.archive = archive ? archive : "";
    record.script = scriptPath ? scriptPath : "";
    record.name = name;
    s.byName.emplace(Lowered(name.c_str()), t.count);
    return t.count++;
}

ShaderRecord* Current(ShaderParse& p) {
    return p.current >= 0 ? &s.table.records[static_cast<std::size_t>(p.current)] : nullptr;
}

// The rest of the line, blanks and comments after it, and the braces that follow.
void LineEndStep(ShaderScript& script) {
    if (SkipToLineEnd(script)) return;
    if (SkipBlanksAndComments(script)) return;
    const char c = ScriptChar(script);
    if (c == '{' || c == '}') ConsumeShaderBraces(script);
}

void ReadShaderName(ShaderParse& p) {
    const std::string name = ReadShaderToken(p.script);
    if (FindShader(name.c_str()) >= 0) {
        p.current = -1;
        ConsumeShaderBraces(p.script);
        SkipShaderBlock(p.script);
        return;
    }
    p.current = AppendShader(name, p.archive, p.scriptPath);
    LineEndStep(p.script);
}

void ApplySurfaceParm(ShaderRecord& shader, const std::string& value) {
    if (Same(value, "sky")) shader.sky = 1;
    if (Same(value, "nonsolid")) shader.nonsolid = 1;
    if (Same(value, "playerclip")) shader.playerclip = 1;
}

void ApplyCull(ShaderRecord& shader, const std::string& value) {
    if (Same(value, "front")) shader.cullMode = D3DCULL_CW;
    if (Same(value, "back")) shader.cullMode = D3DCULL_CCW;
    if (Same(value, "disable") || Same(value, "none")) shader.cullMode = D3DCULL_NONE;
}

// A line of the shader's own block (depth 1).
void ReadShaderLine(ShaderParse& p) {
    const std::string keyword = ReadShaderToken(p.script);
    std::string value;
    const bool surfaceParm = Same(keyword, "surfaceparm"), cull = Same(keyword, "cull");
    if ((surfaceParm || cull) && ReadShaderValue(p.script, value)) {
        if (ShaderRecord* shader = Current(p)) {
            if (surfaceParm) ApplySurfaceParm(*shader, value);
            if (cull) ApplyCull(*shader, value);
        }
    }
    LineEndStep(p.script);
}

ShaderStage& AppendStage(ShaderParse& p) {
    ShaderRecord* shader = Current(p);
    if (!shader || shader->stageCount >= kMostShaderStages) {
        p.scratch = ShaderStage{};
        return p.scratch;
    }
    RequireLoad(sizeof(ShaderStage));
    shader->stages.emplace_back();
    ++shader->stageCount;
    return shader->stages.back();
}

// A stage block (depth 2): its lines up to the braces that end it.
void ReadStageBlock(ShaderParse& p) {
    ShaderScript& script = p.script;
    ShaderStage& stage = AppendStage(p);
    while (!SkipBlanksAndComments(script)) {
        const char c = ScriptChar(script);
        if (c == '{' || c == '}') {
            ConsumeShaderBraces(script);
            return;
        }
        ParseShaderStage(script, stage, ReadShaderToken(script));
        SkipToLineEnd(script);
    }
}

} // namespace

ShaderTable& WorldShaderTable() {
    return s.table;
}

std::int32_t FindShader(const char* name) {
    if (!name) return -1;
    const auto found = s.byName.find(Lowered(name));
    return found == s.byName.end() ? -1 : found->second;
}

int ParseShaderHeader(const std::uint8_t* text, std::size_t length, const char* archivePath,
                      const char* scriptPath) {
    if (!text || length == 0 || length > static_cast<std::size_t>(INT_MAX)) return 1;
    ShaderParse p;
    p.script = ShaderScript{text, 0, static_cast<std::int32_t>(length), 0};
    p.archive = archivePath;
    p.scriptPath = scriptPath;
    ShaderScript& script = p.script;
    while (!SkipBlanksAndComments(script)) {
        if (script.depth == 0)
            ReadShaderName(p);
        else if (script.depth == 1)
            ReadShaderLine(p);
        else if (script.depth == 2)
            ReadStageBlock(p);
        else
            LineEndStep(script);
    }
    return 1;
}

int LoadShaderFile(const char* archivePath) {
    if (!archivePath) return 0;
    if (s.read.count(archivePath)) return 1;
    ArchiveFileList members;
    if (!ListZipMembers(archivePath, ".shader", members)) return 0;
    s.read.insert(archivePath);
    for (std::int32_t i = 0; i < members.count; ++i) {
        const std::string& member = members.entries[static_cast<std::size_t>(i)].path;
        std::vector<std::uint8_t> bytes;
        std::uint32_t size = 0;
        if (FindFileInZip(archivePath, member.c_str(), bytes, size))
            ParseShaderHeader(bytes.data(), size, archivePath, member.c_str());
    }
    return 1;
}

int ReloadAllShaders() {
    FreeWorldTable();
    return LoadNewShaderFiles();
}

int LoadNewShaderFiles() {
    // A copy: the list is the archive reader's, and loading must not depend on it staying put.
    const ArchiveFileList archives = WorldArchiveFiles();
    for (std::int32_t i = 0; i < archives.count; ++i)
        LoadShaderFile(archives.entries[static_cast<std::size_t>(i)].path.c_str());
    return 1;
}

void FreeWorldTable() {
    s.table = ShaderTable{};
    s.byName.clear();
    s.read.clear();
}

void ResetShaderTextures() {
    for (std::int32_t i = 0; i < s.table.count; ++i) {
        ShaderRecord& shader = s.table.records[static_cast<std::size_t>(i)];
        for (ShaderStage& stage : shader.stages)
            stage.frameTextures = ShaderStage::MissingFrameTextures();
        shader.texturesLoaded = 0;
    }
}
