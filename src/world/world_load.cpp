#include "core/win32.h"

#include "world/world.h"
#include "world/world_load.h"
#include "core/core.h"
#include "core/load_budget.h"
#include "core/media.h"
#include "world/archive_files.h"
#include "world/pk3_archive.h"
#include "world/shader_table.h"
#include "world/world_level.h"
#include "world/world_state.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

// Archive paths and level names, each as a whole: a longer one is refused, never cut.
constexpr std::size_t kLongestWorldName = 259;

bool Fits(const char* text) {
    return text && strnlen(text, kLongestWorldName + 1) <= kLongestWorldName;
}

bool EndsWithPk3(const char* path) {
    const std::size_t n = std::strlen(path);
    return n >= 4 && _stricmp(path + n - 4, ".pk3") == 0;
}

// The kind-2 provider, then the kind-1 provider: the first that reports the level present sets
// the kind.
bool OfferProviders(const char* archive, const char* level) {
    WorldProvider& second = WorldProviderOf(kWorldKind2);
    if (second.load && second.load(archive, level) == 1) {
        g_World.kind = kWorldKind2;
        return true;
    }
    WorldProvider& first = WorldProviderOf(kWorldKind1);
    if (first.load && first.load(nullptr, level) == 1) {
        g_World.kind = kWorldKind1;
        return true;
    }
    return false;
}

// The first attempt reads the world's shader scripts afresh; a second only those of archives the
// first has not read (a load reads each archive's scripts once).
bool Attempt(const std::string& archive, const std::string& level, bool first) {
    if (archive.size() > kLongestWorldName || level.size() > kLongestWorldName) return false;
    if (first)
        ReloadAllShaders();
    else
        LoadNewShaderFiles();
    if (LoadBSP(archive.c_str(), level.c_str()) == 1) {
        g_World.kind = kWorldBsp;
        return true;
    }
    return OfferProviders(archive.c_str(), level.c_str());
}

} // namespace

void LoadArchivesBeside(const char* archivePath) {
    std::string name, folder;
    SplitArchivePath(archivePath, name, folder);
    ArchiveFileList found;
    FindArchivesInFolder("*.pk3", folder.c_str(), found);
    for (std::int32_t i = 0; i < found.count; ++i)
        AddArchiveFile(found.entries[static_cast<std::size_t>(i)].path.c_str());
    for (std::int32_t i = 0; i < found.count; ++i)
        LoadShaderFile(found.entries[static_cast<std::size_t>(i)].path.c_str());
    ClearArchiveFileList(found);
}

void LoadWorld(const char* archivePath, const char* levelName) {
    FreeWorld();
    if (Fits(archivePath) && Fits(levelName) && LoadWorldWithinBudget(archivePath, levelName))
        return;
    FreeWorld();
    RaiseRuntimeError(kWorldLoadFailed);
}

bool LoadWorldWithinBudget(const char* archivePath, const char* levelName) {
    // The budget starts at the floor: every archive the load reads adds its size as it opens.
    LoadScope load(0);
    const ZipLoadMark mark = BeginZipLoad();
    const bool loaded =
        load.Guard([&] { return LoadWorldByName(archivePath, levelName); }) && !LoadOverBudget();
    if (loaded)
        KeepZipLoad();
    else
        ForgetZipLoad(mark);
    return loaded;
}

bool LoadWorldByName(const char* archivePath, const char* levelName) {
    // The redirect never lengthens the name past the buffer: a name that would not fit is kept.
    ScopedMediaName name(g_World.core, archivePath);
    if (!name.Ok()) return false;
    return LoadWorldTwice(name.Text(), levelName);
}

bool LoadWorldTwice(const char* archivePath, const char* levelName) {
    g_World.kind = kWorldNone;
    if (!archivePath || !levelName) return false;
    const std::string archive(archivePath), level(levelName);
    // The second attempt reads the level as a file beside the archive.
    std::string secondArchive = archive, secondLevel = level;
    const std::size_t cut = archive.find_last_of("\\/");
    if (cut != std::string::npos && cut >= 1) {
        secondArchive.clear();
        secondLevel = archive.substr(0, cut + 1) + level;
    }
    if (Attempt(archive, level, true) || Attempt(secondArchive, secondLevel, false)) return true;
    g_World.kind = kWorldNone;
    return false;
}

int LoadBSP(const char* archivePath, const char* levelName) {
    if (!archivePath || !levelName || !EndsWithPk3(archivePath)) return 0;
    std::vector<std::uint8_t> image;
    std::uint32_t size = 0;
    if (!FindFileInZip(archivePath, levelName, image, size)) return 0;
    AddArchiveListEntry(g_World.levelFiles, levelName, levelName, archivePath);
    LoadArchivesBeside(archivePath);
    const bool parsed = LoadBSPData(image.data(), size) == 1;
    if (parsed)
        g_World.flags |= kLevelLoaded;
    else
        g_World.flags &= ~kLevelLoaded;
    // A level file that was found but does not parse is no level.
    return parsed ? 1 : 0;
}
