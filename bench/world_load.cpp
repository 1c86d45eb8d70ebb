// LoadWorld of the largest map of openarena's pak1-maps.pk3 (maps/ctf_inyard.bsp, 7.6 MB) on the
// device, whole and phase by phase along the same road, against inflating the level's member
// alone. The archives' folder is the test levels' (the maps beside their pictures) unless given.
//     bench_world_load [FOLDER [MEMBER]]
#include "core/win32.h"

#include "clock.h"

#include "core/core.h"
#include "core/window.h"
#include "display/display.h"
#include "world/pk3_archive.h"
#include "world/shader_table.h"
#include "world/world.h"
#include "world/world_load.h"
#include "world/world_level.h"
#include "world/world_textures.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRounds = 5;

struct Phase {
    const char* name;
    double best = 1e9;
};

std::string DefaultFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string program(path);
    return program.substr(0, program.rfind('\\')) + "\\test-data\\levels\\openarena";
}

// One load along LoadWorld's road, each stage timed into its phase.
bool PhasedLoad(const std::string& archive, const char* member, std::vector<Phase>& phases) {
    std::size_t p = 0;
    double mark = Now();
    const auto lap = [&] {
        const double now = Now();
        phases[p].best = std::min(phases[p].best, now - mark);
        ++p;
        mark = now;
    };
    FreeWorld();
    ReloadAllShaders();
    lap();
    std::vector<std::uint8_t> image;
    std::uint32_t size = 0;
    if (!FindFileInZip(archive.c_str(), member, image, size)) return false;
    lap();
    LoadArchivesBeside(archive.c_str());
    lap();
    WorldLevel level;
    if (ReadBspFile(ByteSpan{image.data(), size}, level.file) != kBspFine) return false;
    lap();
    if (!MakeLevelPatches(level)) return false;
    lap();
    ResetShaderTextures();
    MakeLevelLightmaps(level);
    lap();
    MakeFaceRecords(level);
    lap();
    MakeLevelVertices(level);
    GroupLevelFaces(level);
    lap();
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : DefaultFolder();
    const char* member = argc > 2 ? argv[2] : "maps/ctf_inyard.bsp";
    const std::string archive = folder + "\\pak1-maps.pk3";
    RuntimeErrorRecord cell;
    LinkModules();
    SetCoreErrorHandler(&cell);
    if (CreateEngineWindow(1, 640, 480, 32, GetModuleHandleA(nullptr), "") != 0) return 1;

    // The member alone: read and inflated, its CRC checked (the archive's directory read before).
    std::vector<std::uint8_t> image;
    std::uint32_t size = 0;
    if (!FindFileInZip(archive.c_str(), member, image, size)) {
        std::printf("world load: %s not found in %s\n", member, archive.c_str());
        return 1;
    }
    double inflate = 1e9, whole = 1e9;
    for (int r = 0; r < kRounds; ++r) {
        const double start = Now();
        FindFileInZip(archive.c_str(), member, image, size);
        inflate = std::min(inflate, Now() - start);
    }
    for (int r = 0; r < kRounds; ++r) {
        const double start = Now();
        LoadWorld(archive.c_str(), member);
        whole = std::min(whole, Now() - start);
        if (cell.number != 0 || GetWorldKind() != 3) {
            std::printf("world load: LoadWorld failed (error %d)\n", cell.number);
            return 1;
        }
    }
    const WorldLevel& loaded = WorldLevelData();
    std::printf("world load: %s, %.1f MB: %zu faces, %zu vertices, %zu patches, %zu lightmaps "
                "(best of %d)\n",
                member, size / 1e6, loaded.faces.size(), loaded.vertices.size(),
                loaded.patches.size(), loaded.lightmapTextures.size(), kRounds);
    std::vector<Phase> phases = {{"shaders of the archives known"},
                                 {"level member read and inflated"},
                                 {"archives beside it found, their shaders read"},
                                 {"level file read and checked"},
                                 {"patches"},
                                 {"lightmaps brightened and made"},
                                 {"face records: shader look-ups, textures loaded"},
                                 {"vertices converted, faces grouped"}};
    for (int r = 0; r < kRounds; ++r)
        if (!PhasedLoad(archive, member, phases)) return 1;
    for (const Phase& phase : phases)
        std::printf("  %-50s %8.1f ms\n", phase.name, phase.best * 1e3);
    // How much of the face records is reading the pictures out of the archives.
    LoadWorld(archive.c_str(), member);
    const WorldTextureTable& textures = WorldTextures();
    const double read = Now();
    std::vector<std::uint8_t> bytes;
    for (std::int32_t i = 0; i < textures.textures.count; ++i)
        for (std::int32_t a = 0; a < WorldArchiveFiles().count; ++a)
            if (FindFileInZip(WorldArchiveFiles().entries[static_cast<std::size_t>(a)].path.c_str(),
                              GetTextureName(i), bytes, size))
                break;
    std::printf("  of the face records, reading the %d pictures out of the archives: %.1f ms; "
                "%d names missing\n",
                textures.textures.count, (Now() - read) * 1e3, textures.missing.count);
    std::printf("  LoadWorld %.1f ms against inflating the member alone %.1f ms: %.1f times\n",
                whole * 1e3, inflate * 1e3, whole / inflate);
    return 0;
}
