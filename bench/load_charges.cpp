// What each load of real files charges to its budget, against the bytes it was given: the
// figures the budget's floor, ratio and ceiling are chosen from. Loads each model file through
// LoadObject, each level of an archive through LoadWorld, each picture through LoadImage and
// LoadBitmap and each wave through LoadSound, on the device, and prints one line each:
// "<kind> <bytes given> <charged> <limit> <error> <peak> <held> <ms> <name>", the peak being the
// process's largest working set so far, held the most this load (with its first two frames) held
// at once above the working set it started from, ms the command's own time and the error the
// command's. The first line, "start <working set>", is the process with its device before any load.
// "meshes N" writes an object file of N one-triangle meshes (a frame each) to the temporary
// folder and loads it in buffers of its own and in shared buffers.
//     bench_load_charges model FILE ... world ARCHIVE MEMBER ... picture FILE ... wave FILE ...
//                        meshes N
#include "core/win32.h"

#include "clock.h"

#include "core/core.h"
#include "core/load_budget.h"
#include "core/media.h"
#include "core/window.h"
#include "core/frame_loop.h"
#include "bitmap/bitmap.h"
#include "image/image.h"
#include "modelfile/object_block.h"
#include "object3d/model_files.h"
#include "object3d/object_commands.h"
#include "object3d/object_records.h"
#include "sound/sound.h"
#include "world/world.h"

#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

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
    double ms = 0; // the command's time
};

Charge LastCharge(int error, double ms = 0) {
    return {LastLoadCharged(), LastLoadLimit(), error, ms};
}

double MillisecondsSince(double start) {
    return (Now() - start) * 1000.0;
}

unsigned long PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS memory{};
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    return static_cast<unsigned long>(memory.PeakWorkingSetSize);
}

unsigned long WorkingSet() {
    PROCESS_MEMORY_COUNTERS memory{};
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    return static_cast<unsigned long>(memory.WorkingSetSize);
}

// What one load holds at once: the working set sampled every millisecond from the load's start,
// above where it started (the process's peak is never reset, so it cannot tell one load's).
class HeldSampler {
public:
    HeldSampler()
        : thread_([this] {
              while (!stop_) {
                  Note();
                  Sleep(1);
              }
          }) {}
    ~HeldSampler() {
        stop_ = true;
        thread_.join();
    }
    void Start() {
        start_ = WorkingSet();
        most_ = start_;
    }
    unsigned long Held() {
        Note();
        return most_ - start_;
    }

private:
    void Note() {
        const unsigned long now = WorkingSet();
        unsigned long most = most_;
        while (now > most && !most_.compare_exchange_weak(most, now)) {
        }
    }
    std::atomic<unsigned long> most_{0};
    std::atomic<bool> stop_{false};
    unsigned long start_ = 0;
    std::thread thread_;
};

HeldSampler* g_held = nullptr;

void Print(const char* kind, std::uint64_t given, const Charge& charge, unsigned long peak,
           const std::string& name, unsigned long held = g_held->Held()) {
    std::printf("%s %llu %llu %llu %d %lu %lu %.0f %s\n", kind,
                static_cast<unsigned long long>(given),
                static_cast<unsigned long long>(charge.charged),
                static_cast<unsigned long long>(charge.limit), charge.error, peak, held, charge.ms,
                name.c_str());
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
    const double start = Now();
    LoadObject(name.c_str(), 1);
    const double ms = MillisecondsSince(start);
    const int error = cell.number;
    Sync();
    Sync();
    const unsigned long peak = PeakWorkingSet();
    const unsigned long held = g_held->Held();
    Charge charge = ObjectCharge(name, cell);
    charge.error = error;
    charge.ms = ms;
    DeleteObjectCmd(1);
    Print("model", ModelBytes(name), charge, peak, name, held);
}

// A level's textures are part of its load: the last load is the level's.
void MeasureWorld(const std::string& archive, const std::string& member, RuntimeErrorRecord& cell) {
    const double start = Now();
    LoadWorld(archive.c_str(), member.c_str());
    const Charge charge = LastCharge(cell.number, MillisecondsSince(start));
    Sync();
    Sync();
    Print("world", FolderArchiveBytes(archive), charge, PeakWorkingSet(), member);
    FreeWorld();
}

// A picture as a texture with its mip levels, then as a bitmap: two loads of their own.
void MeasurePicture(const std::string& name, RuntimeErrorRecord& cell) {
    double start = Now();
    LoadImage(name.c_str(), 1);
    Charge charge = LastCharge(cell.number, MillisecondsSince(start));
    Sync();
    Sync();
    Print("image", FileBytes(name), charge, PeakWorkingSet(), name);
    if (charge.error == 0) DeleteImage(1);
    cell.number = 0;
    g_held->Start();
    start = Now();
    LoadBitmap(name.c_str(), 1);
    charge = LastCharge(cell.number, MillisecondsSince(start));
    Sync();
    Sync();
    Print("bitmap", FileBytes(name), charge, PeakWorkingSet(), name);
    if (charge.error == 0) DeleteBitmap(1);
}

void MeasureWave(const std::string& name, RuntimeErrorRecord& cell) {
    const double start = Now();
    LoadSound(name.c_str(), 1);
    const Charge charge = LastCharge(cell.number, MillisecondsSince(start));
    Sync();
    Sync();
    Print("wave", FileBytes(name), charge, PeakWorkingSet(), name);
    if (charge.error == 0) DeleteSound(1);
}

// An object of count frames under its root, each showing one small triangle of its own.
std::string MeshesFile(int count) {
    ObjectRecord object;
    object.rootFrame = new FrameRecord;
    std::strcpy(object.rootFrame->name, "root");
    FrameRecord** link = &object.rootFrame->child;
    for (int i = 0; i < count; ++i) {
        auto* frame = new FrameRecord;
        std::snprintf(frame->name, sizeof frame->name, "limb%d", i);
        auto* mesh = frame->mesh = new MeshRecord;
        mesh->fvf = mesh->savedFVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
        mesh->vertexSize = 32;
        mesh->vertexCount = mesh->drawVertexCount = 3;
        mesh->drawPrimitiveCount = 1;
        mesh->vertices = new std::uint8_t[3 * 32]();
        for (int v = 0; v < 3; ++v) {
            auto* words = reinterpret_cast<float*>(mesh->vertices + 32 * v);
            words[0] = 0.001f * static_cast<float>(i % 1000) + (v == 2 ? 0.01f : 0);
            words[1] = v == 1 ? 0.01f : 0;
            words[5] = -1;
        }
        frame->parent = object.rootFrame;
        *link = frame;
        link = &frame->sibling;
    }
    TLOBlock block;
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    const std::string name = std::string(folder) + "bench-meshes.tlo";
    if (!WriteObjectToBlock(&object, block.Out(), block.OutSize()) ||
        !CoreWriteWholeFile(name.c_str(), block.Data(), block.Size()))
        return {};
    return name;
}

void MeasureMeshes(int count, RuntimeErrorRecord& cell) {
    const std::string file = MeshesFile(count);
    for (const int shared : {0, 1}) {
        cell.number = 0;
        g_held->Start();
        SetNewObjectRenderGroup(shared);
        const double start = Now();
        LoadObject(file.c_str(), 1);
        const Charge charge = LastCharge(cell.number, MillisecondsSince(start));
        Sync();
        Sync();
        Print(shared ? "meshes-shared" : "meshes-own", MediaFileSize(file.c_str()), charge,
              PeakWorkingSet(), std::to_string(count) + " meshes");
        SetNewObjectRenderGroup(0);
        if (charge.error == 0) DeleteObjectCmd(1);
    }
    DeleteFileA(file.c_str());
}

} // namespace

int main(int argc, char** argv) {
    RuntimeErrorRecord cell;
    HeldSampler held;
    g_held = &held;
    LinkModules();
    SetCoreErrorHandler(&cell);
    if (CreateEngineWindow(1, 640, 480, 32, GetModuleHandleA(nullptr), "") != 0) return 1;
    SyncOn();
    SetSyncRate(0);
    Sync();
    Sync();
    std::printf("start %lu\n", WorkingSet());
    for (int i = 1; i < argc; ++i) {
        cell.number = 0;
        g_held->Start();
        if (std::strcmp(argv[i], "model") == 0 && i + 1 < argc) {
            MeasureModel(argv[++i], cell);
        } else if (std::strcmp(argv[i], "world") == 0 && i + 2 < argc) {
            const std::string archive = argv[++i];
            MeasureWorld(archive, argv[++i], cell);
        } else if (std::strcmp(argv[i], "picture") == 0 && i + 1 < argc) {
            MeasurePicture(argv[++i], cell);
        } else if (std::strcmp(argv[i], "meshes") == 0 && i + 1 < argc) {
            MeasureMeshes(std::atoi(argv[++i]), cell);
        } else if (std::strcmp(argv[i], "wave") == 0 && i + 1 < argc) {
            MeasureWave(argv[++i], cell);
        }
    }
    return 0;
}
