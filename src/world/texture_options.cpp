#include "core/win32.h"

#include "world/world_textures.h"
#include "world/world_texture_state.h"

#include <cstdio>
#include <cstring>

namespace {

// Where the options file is looked for: empty for the root of the current drive. Kept for the run.
std::string optionsFolder;

// One line of at most kLongestOptionsLine bytes, the rest of a longer line passed over; false at
// the end of the file.
bool ReadBoundedLine(std::FILE* file, std::string& line) {
    line.clear();
    int c = std::getc(file);
    if (c == EOF) return false;
    for (; c != EOF && c != '\n'; c = std::getc(file))
        if (line.size() < kLongestOptionsLine) line.push_back(static_cast<char>(c));
    return true;
}

// A line naming a texture in double quotes, then a blank, "=" and a blank, then "ColorKey" in any
// letter case for the magenta key, or any other text for none.
void ReadOptionLine(const std::string& line) {
    if (line.empty() || line[0] != '"') return;
    const std::size_t close = line.find('"', 1);
    if (close == std::string::npos) return;
    const std::size_t word = close + 4;
    const bool keyed =
        line.size() >= word + 8 && _strnicmp(line.c_str() + word, "ColorKey", 8) == 0;
    TextureOption& option = AppendWorldEntry(WorldTextures().options);
    option.name = line.substr(1, close - 1);
    option.colorKey = keyed ? kOptionsColorKey : 0;
}

std::string Backslashed(const std::string& name) {
    std::string text(name);
    for (char& c : text)
        if (c == '/') c = '\\';
    return text;
}

} // namespace

void SetTextureOptionsFolder(const char* folder) {
    optionsFolder = folder ? folder : "";
    ClearWorldArray(WorldTextures().options);
}

int ReadTextureColorKey() {
    WorldTextureArray<TextureOption>& options = WorldTextures().options;
    ClearWorldArray(options);
    const std::string path = optionsFolder + "\\Textures\\options.ini";
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return 0;
    std::string line;
    while (options.count < kMostTextureOptions && ReadBoundedLine(file, line))
        ReadOptionLine(line);
    std::fclose(file);
    return 1;
}

std::uint32_t GetTextureColorKey(const char* name) {
    if (!name) return 0;
    const WorldTextureArray<TextureOption>& options = WorldTextures().options;
    if (options.count == 0) ReadTextureColorKey();
    const std::string asked = Backslashed(name);
    std::uint32_t key = 0;
    for (std::int32_t i = 0; i < options.count; ++i) {
        const TextureOption& option = options.entries[static_cast<std::size_t>(i)];
        if (Backslashed(option.name) == asked) key = option.colorKey;
    }
    return key;
}
