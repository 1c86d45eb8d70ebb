// What each load of real files charges to its budget, against the bytes it was given: the
// figures the budget's floor, ratio and ceiling are chosen from. Loads each model file through
// LoadObject, and each level of an archive through LoadWorld, on the device, and prints one line
// each: "<kind> <bytes given> <charged> <limit> <error> <peak> <name>", the peak being the
// process's largest commit so far (run one file alone to see what its load took) and the error
// the command's.
//     bench_load_charges model FILE ... world ARCHIVE MEMBER ...
#include "core/win32.h"

#include "core/core.h"
#include "core/load_budget.h"
#include "core/media.h"
#include "core/window.h"
#include "core/frame_loop.h"
#include "object3d/model_files.h"
#include "object3d/object_commands.h"
#include "object3d/object_records.h"
#include "world/world.h"

#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::uint64_t FileBytes(const std::string& name) {
    return MediaFileSize(name.c_str());
}

// An MD3 model is named by its folder: its three parts are what it was given.
std::uint64_t ModelBytes(const std::string& name) {
    if (name.size() < 4 || _stricmp(name.c_str() + name.size() - 4, ".md3") != 0)
        return FileBytes(name);
    const std::string folder = name.substr(0, name.size() - 4) + "\\";
    return FileBytes(folder + "lower.md3") + FileBytes(folder + "upper.md3") +
           FileBytes(folder + "head.md3");
}

// A level is given every archive of its folder.
std::uint64_t FolderArchiveBytes(const std::string& archive) {
    const std::string folder = archive.substr(0, archive.find_last_of('\\') + 1);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*.pk3").c_str(), &found);
    std::uint64_t bytes = 0;
    if (search == INVALID_HANDLE_VALUE) return 0;
    do
        bytes += std::uint64_t{found.nFileSizeHigh} << 32 | found.nFileSizeLow;
    while (FindNextFileA(search, &found));
    FindClose(search);
    return bytes;
}

// What one load charged against its budget, and the command's error.
struct Charge {
    std::uint64_t charged = 0;
    std::uint64_t limit = 0;
    int error = 0;
};

Charge LastCharge(int error) {
    return {LastLoadCharged(), LastLoadLimit(), error};
}

unsigned long PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS memory{};
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    return static_cast<unsigned long>(memory.PeakWorkingSetSize);
}

void Print(const char* kind, std::uint64_t given, const Charge& charge, unsigned long peak,
           const std::string& name) {
    std::printf("%s %llu %llu %llu %d %lu %s\n", kind, static_cast<unsigned long long>(given),
                static_cast<unsigned long long>(charge.charged),
                static_cast<unsigned long long>(charge.limit), charge.error, peak, name.c_str());
    std::fflush(stdout);
}

// The object's own load: LoadObject's LoadObjectFile on the name as LoadObject prepares it. After
// LoadObject the last load is not the object's but the last picture its meshes name (or the disk
// probe for a missing one), each a load of its own.
Charge ObjectCharge(const std::string& fileName, RuntimeErrorRecord& cell) {
    ScopedMediaName name(g_CoreData, fileName.c_str());
    ObjectRecord* object = nullptr;
    cell.number = 0;
    if (name.Ok()) LoadObjectFile(name.Text(), &object);
    delete object;
    return LastCharge(cell.number);
}

// The command first, so that the peak is what it and its first two frames took; its object loaded
// again alone for the charge.
void MeasureModel(const std::string& name, RuntimeErrorRecord& cell) {
    LoadObject(name.c_str(), 1);
    const int error = cell.number;
    Sync();
    Sync();
    const unsigned long peak = PeakWorkingSet();
    Charge charge = ObjectCharge(name, cell);
    charge.error = error;
    DeleteObjectCmd(1);
    Print("model", ModelBytes(name), charge, peak, name);
}

// A level's textures are part of its load: the last load is the level's.
void MeasureWorld(const std::string& archive, const std::string& member, RuntimeErrorRecord& cell) {
    LoadWorld(archive.c_str(), member.c_str());
    const Charge charge = LastCharge(cell.number);
    Sync();
    Sync();
    Print("world", FolderArchiveBytes(archive), charge, PeakWorkingSet(), member);
    FreeWorld();
}

} // namespace

int main(int argc, char** argv) {
    RuntimeErrorRecord cell;
    LinkModules();
    SetCoreErrorHandler(&cell);
    if (CreateEngineWindow(1, 640, 480, 32, GetModuleHandleA(nullptr), "") != 0) return 1;
    SyncOn();
    SetSyncRate(0);
    for (int i = 1; i < argc; ++i) {
        cell.number = 0;
        if (std::strcmp(argv[i], "model") == 0 && i + 1 < argc) {
            MeasureModel(argv[++i], cell);
        } else if (std::strcmp(argv[i], "world") == 0 && i + 2 < argc) {
            const std::string archive = argv[++i];
            MeasureWorld(archive, argv[++i], cell);
        }
    }
    return 0;
}
