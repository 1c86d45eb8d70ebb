// Cost of loading model files into the engine's own objects, and where it goes; driven by
// bench/model_convert.sh, which sets the rounds beside a native importer's, one of each in turn.
// Reads commands from its input, one a line, and answers each with one line:
//   "load <format> <file>"   one round of LoadObjectFile (the load a LoadObject does: conversion,
//                            block copied and read back into the object, its values checked, its
//                            first frame charged), the object freed outside the clock: "<ms>" a
//                            load, or "failed";
//   "steps <format> <file>"  the load again, made as LoadObjectFile makes it with each of its
//                            parts clocked in the same pass (its laps, which add up to it), each
//                            pass followed by the steps of its conversion, each timed alone; every
//                            figure the fastest of its passes over five rounds:
//                            "steps <load> <looked up> <convert> <copied> <read back> <checked>
//                            <first frame> <freed> <block> <normals> <made> <computed> <read>
//                            <released> <textures> <text> <parser> <meshes>" (0 for a step the
//                            format does not take), or "failed".
// A load reads its file itself, as the importer does; the file's extension picks its converter.
#include "core/win32.h"

#include "clock.h"

#include "core/com_ptr.h"
#include "core/core.h"
#include "core/engine.h"
#include "core/load_budget.h"
#include "core/media.h"
#include "core/window.h"
#include "modelfile/conv_3ds.h"
#include "modelfile/conv_mdl.h"
#include "modelfile/conv_x_internal.h"
#include "modelfile/converter_common.h"
#include "modelfile/converters.h"
#include "modelfile/object_block.h"
#include "object3d/mesh_convert.h"
#include "object3d/model_files.h"
#include "object3d/object_lists.h"
#include "object3d/object_manager.h"
#include "object3d/object_records.h"
#include "object3d/object_state.h"
#include "object3d/object_values.h"
#include "object3d/vertex_editing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kRounds = 5;
// A round repeats the work until this long has passed: one pass over a small file is too short a
// span to stand for itself on a busy machine.
constexpr double kShortestRound = 0.05;

// Counts of the performance counter: their differences stay whole numbers where a device has left
// the FPU at single precision.
std::int64_t Ticks() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

double Milliseconds(double ticks) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return ticks * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Clocks one pass in laps: lap(i) adds the ticks since the last lap to laps[i], so that the parts
// of a pass add up to the pass.
class LapClock {
public:
    explicit LapClock(std::int64_t* laps) : laps_(laps), at_(Ticks()) {}
    void operator()(std::size_t part) {
        const std::int64_t now = Ticks();
        laps_[part] += now - at_;
        at_ = now;
    }

private:
    std::int64_t* laps_;
    std::int64_t at_;
};

// One round of LoadObjectFile, as the importer's side times its imports: passes repeated until
// kShortestRound has passed, their mean in milliseconds, each object freed outside the clock; -1
// when a load fails.
double LoadRound(const char* path) {
    std::int64_t ticks = 0;
    int passes = 0;
    const double start = Now();
    do {
        ObjectRecord* object = nullptr;
        const std::int64_t before = Ticks();
        const bool loaded = LoadObjectFile(path, &object);
        ticks += Ticks() - before;
        delete object;
        if (!loaded) return -1;
        ++passes;
    } while (Now() - start < kShortestRound);
    return Milliseconds(static_cast<double>(ticks) / passes);
}

// What a format's conversion does besides decoding the file and writing the native block.
struct Format {
    const char* name;
    bool normals;  // the platform's normals of every mesh and key frame
    bool textures; // skins saved as pictures in the temporary folder
    bool xText;    // the file written as X text to a temporary file
    bool xParsed;  // the platform's X parser
};

const Format kFormats[] = {
    {"x", false, false, false, true},   {"3ds", false, false, true, true},
    {"md2", true, false, false, false}, {"md3", true, false, false, false},
    {"mdl", true, true, false, false},
};

const Format* FindFormat(const char* name) {
    for (const Format& format : kFormats)
        if (_stricmp(format.name, name) == 0) return &format;
    return nullptr;
}

// The laps of a load: the file looked up (its presence, its size for the budget); the
// conversion; its block copied (and charged) and the converter's block and object freed; the copy
// read back into an object; the object's values checked; its pose's copy and first frame charged
// (its frame lists set up); the copy freed.
enum LoadLap {
    kLookUpLap,
    kConvertLap,
    kCopyLap,
    kReadBackLap,
    kCheckLap,
    kFirstFrameLap,
    kFreeLap,
    kLoadLaps
};

// The bytes of the frames' meshes' vertices, the copy of its pose a loaded object keeps.
std::uint64_t PoseCopyBytes(const FrameRecord* frame) {
    std::uint64_t bytes = 0;
    for (; frame; frame = frame->sibling) {
        if (frame->mesh && frame->mesh->vertexCount > 0)
            bytes += std::uint64_t{frame->mesh->vertexSize} * frame->mesh->vertexCount;
        bytes += PoseCopyBytes(frame->child);
    }
    return bytes;
}

// The body of a load within its scope, each part a lap; the converted block's copy in copy.
bool LoadBodyInLaps(const ModelConverter& converter, const char* path, ObjectRecord** object,
                    std::unique_ptr<std::uint8_t[]>& copy, LapClock& lap) {
    if (converter.passCoreData) converter.passCoreData(g_CoreData);
    std::uint8_t* converted = nullptr;
    std::uint32_t size = 0;
    bool ok = converter.convert(path, &converted, &size) && converted;
    lap(kConvertLap);
    if (ok && ChargeLoad(size)) {
        copy.reset(new (std::nothrow) std::uint8_t[size > 0 ? size : 1]);
        if (copy) std::memcpy(copy.get(), converted, size);
    }
    converter.free(converted);
    lap(kCopyLap);
    ok = ok && copy && ReadObjectFromBlock(copy.get(), size, object);
    lap(kReadBackLap);
    ok = ok && ObjectValuesInRange(*object);
    lap(kCheckLap);
    ok = ok && ChargeLoad(PoseCopyBytes((*object)->rootFrame)) &&
         (!(*object)->rootFrame || SetupObjectLists(*object)) &&
         ChargeLoad(FirstFrameBytes(*object, g_Object3D.newObjectOwnBuffers != 0));
    lap(kFirstFrameLap);
    return ok;
}

// One load as LoadObjectFile makes it (the file looked up, ConvertModelFile's conversion and copy,
// the block read back, checked and its first frame charged, within a budget whose scope learns the
// outcome), each part a lap; the object in *object, freed by the caller. An MD3 model is named by
// its folder: no file of that name is looked for.
bool LoadInLaps(const ModelConverter& converter, const Format& format, const char* path,
                ObjectRecord** object, std::int64_t* laps) {
    LapClock lap(laps);
    const bool found = std::strcmp(format.name, "md3") == 0 || ObjectFileExists(path);
    LoadScope load(MediaFileSize(path));
    lap(kLookUpLap);
    std::unique_ptr<std::uint8_t[]> copy;
    const bool loaded =
        found && load.Guard([&] { return LoadBodyInLaps(converter, path, object, copy, lap); });
    copy.reset();
    lap(kFreeLap);
    return loaded && !LoadOverBudget();
}

// Every mesh hung on the frames, with its key frames' meshes.
void CollectMeshes(FrameRecord* frame, std::vector<MeshRecord*>& meshes) {
    for (; frame; frame = frame->sibling) {
        if (MeshRecord* mesh = frame->mesh) {
            meshes.push_back(mesh);
            for (std::int32_t k = 0; k < mesh->keyFrameCount; ++k)
                if (mesh->keyFrames[k].mesh) meshes.push_back(mesh->keyFrames[k].mesh);
        }
        CollectMeshes(frame->child, meshes);
    }
}

// As the converters make them: a mesh made without indices is left without.
void RecomputeNormals(MeshRecord* mesh) {
    if (mesh->indexCount == 0)
        RecomputeUnindexedNormals(mesh);
    else
        RecomputeMeshNormals(mesh);
}

// The parts of RecomputeNormals: the D3DX mesh made (its device buffers created and filled), the
// normals computed in it, the mesh read back from it, and the D3DX mesh released.
constexpr std::size_t kNormalParts = 4;

// RecomputeNormals done as ComputeMeshNormals and RecomputeUnindexedNormals do it, each part a
// lap.
void RecomputeNormalsInParts(MeshRecord* mesh, std::int64_t* parts) {
    const bool unindexed = mesh->indexCount == 0;
    const std::int32_t type = mesh->primitiveType;
    LapClock lap(parts);
    ComPtr<ID3DXMesh> dx(MakeDXMeshFromMesh(mesh, nullptr, 0));
    lap(0);
    if (!dx) return;
    D3DXComputeNormals(dx, nullptr);
    lap(1);
    UpdateMeshFromDXMesh(mesh, dx);
    lap(2);
    dx.Reset();
    lap(3);
    if (unindexed) {
        delete[] std::exchange(mesh->indices, nullptr);
        mesh->indexCount = 0;
        mesh->primitiveType = type;
    }
}

// A data object and what lies below it, read as the X converter reads them (type, name, data,
// children, references resolved; a referenced frame by its name alone), nothing built from them.
bool WalkX(IDirectXFileData* data, int depth, bool reference) {
    const GUID* type = nullptr;
    if (depth > 256 || FAILED(data->GetType(&type)) || !type) return false;
    DWORD length = 0;
    data->GetName(nullptr, &length);
    std::string name(length, '\0');
    if (length > 0) data->GetName(name.data(), &length);
    if (reference && std::memcmp(type, &ConvX::kFrame, sizeof(GUID)) == 0) return true;
    DWORD size = 0;
    void* bytes = nullptr;
    data->GetData(nullptr, &size, &bytes);
    for (;;) {
        ComPtr<IDirectXFileObject> child;
        if (FAILED(data->GetNextObject(child.PutAddress())) || !child) return true;
        ComPtr<IDirectXFileData> inner;
        ComPtr<IDirectXFileDataReference> link;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, inner.PutVoid()))) {
            if (!WalkX(inner, depth + 1, false)) return false;
        } else if (SUCCEEDED(
                       child->QueryInterface(IID_IDirectXFileDataReference, link.PutVoid()))) {
            ComPtr<IDirectXFileData> resolved;
            if (SUCCEEDED(link->Resolve(resolved.PutAddress())) && resolved &&
                !WalkX(resolved, depth + 1, true))
                return false;
        }
    }
}

// The file read by name (a compressed one unpacked by the platform, where the converter unpacks
// it itself).
bool ParseX(const char* path) {
    ComPtr<IDirectXFile> file;
    const char* templates = ConvX::TemplateText();
    if (FAILED(DirectXFileCreate(file.PutAddress())) || !file ||
        FAILED(file->RegisterTemplates(const_cast<char*>(templates),
                                       static_cast<DWORD>(std::strlen(templates)))))
        return false;
    ComPtr<IDirectXFileEnumObject> objects;
    if (FAILED(file->CreateEnumObject(const_cast<char*>(path), DXFILELOAD_FROMFILE,
                                      objects.PutAddress())) ||
        !objects)
        return false;
    for (;;) {
        ComPtr<IDirectXFileData> data;
        const HRESULT next = objects->GetNextDataObject(data.PutAddress());
        if (next == DXFILEERR_NOMOREOBJECTS) return true;
        if (FAILED(next) || !data || !WalkX(data, 0, false)) return false;
    }
}

// The load's laps add up to the load; the other steps are parts of its conversion timed alone.
struct Steps {
    double load = 0;                 // the load in laps: the sum of its laps
    double laps[kLoadLaps] = {};     // LoadLap
    double block = 0;                // the native block written from the object
    double normals = 0;              // the platform's normals, as converters make them
    double partsSum = 0;             // the same in parts: the sum of its parts
    double parts[kNormalParts] = {}; // RecomputeNormalsInParts
    double textures = 0;             // skins made as textures and saved
    double text = 0;                 // the X text written to a temporary file, deleted
    double parser = 0;               // the platform's X parser reading the X file
    std::size_t meshes = 0;
};

// A piece of work timed in passes: pass(laps) does it once, adding each of its `parts` parts'
// ticks to laps[part], false when it fails; after() frees what it made, outside the clock. Its
// fastest pass (the least sum, which a busy machine's preemptions only ever raise) goes to *ms,
// its parts to partsMs when there is more than one.
struct TimedWork {
    std::size_t parts;
    std::function<bool(std::int64_t*)> pass;
    std::function<void()> after;
    double* ms;
    double* partsMs = nullptr;
    std::vector<std::int64_t> fastest{};
    std::int64_t fastestSum = -1;
};

// The load and its steps, one pass of each in turn within each round, so that the moods of the
// machine and of the platform (another program's build, the device's own thread spinning or
// asleep, each lasting far longer than a pass) land on all of them alike and each gets as many
// passes; five rounds; false when a pass fails.
bool TimeInTurn(std::vector<TimedWork>& works) {
    for (int round = 0; round < kRounds; ++round) {
        const double start = Now();
        do {
            for (TimedWork& work : works) {
                std::vector<std::int64_t> laps(work.parts);
                const bool done = work.pass(laps.data());
                work.after();
                if (!done) return false;
                std::int64_t sum = 0;
                for (std::int64_t lap : laps)
                    sum += lap;
                if (work.fastestSum < 0 || sum < work.fastestSum) {
                    work.fastest = std::move(laps);
                    work.fastestSum = sum;
                }
            }
        } while (Now() - start < kShortestRound);
    }
    for (TimedWork& work : works) {
        *work.ms = Milliseconds(static_cast<double>(work.fastestSum));
        for (std::size_t i = 0; work.partsMs && i < work.parts; ++i)
            work.partsMs[i] = Milliseconds(static_cast<double>(work.fastest[i]));
    }
    return true;
}

// What the steps work on, made once: the converter's block and an object of the bench's own read
// back from it (the converter's own object goes with its next conversion), the decoded studio
// model, the X text the parser reads.
struct StepInputs {
    std::uint64_t fileBytes = 0; // what the load's budget is set by
    std::vector<std::uint8_t> block;
    std::unique_ptr<ObjectRecord> object;
    std::vector<MeshRecord*> meshes;
    std::vector<std::uint8_t> file; // the studio model's bytes, which its decoded data points into
    ConvMDL::MDLData mdl;
    std::string parsed; // the X file the parser reads
};

bool PrepareSteps(const ModelConverter& converter, const Format& format, const std::string& path,
                  StepInputs& in) {
    in.fileBytes = MediaFileSize(path.c_str());
    if (converter.passCoreData) converter.passCoreData(g_CoreData);
    std::uint8_t* converted = nullptr;
    std::uint32_t size = 0;
    const bool ok = converter.convert(path.c_str(), &converted, &size) && converted;
    if (ok) in.block.assign(converted, converted + size);
    converter.free(converted);
    ObjectRecord* object = nullptr;
    if (!ok || !ReadObjectFromBlock(in.block.data(), size, &object)) return false;
    in.object.reset(object);
    if (format.normals) CollectMeshes(object->rootFrame, in.meshes);
    GetObjectTempDataFolder();
    if (format.textures && !(ReadModelFile(path.c_str(), in.file) &&
                             ConvMDL::Decode(ByteSpan{in.file.data(), in.file.size()}, in.mdl)))
        return false;
    // The skins the converter saves are those NameTextures lists.
    if (format.textures) ConvMDL::NameTextures(in.mdl);
    in.parsed = format.xText ? std::string(ObjectTempDataFolder) + "bench_model.x" : path;
    return !format.xText || Conv3DS::Write3DSAsXFile(path.c_str(), in.parsed.c_str()) == 0;
}

// A step of the conversion as the load takes it: within a load of the file's budget (its charges
// made, the files it writes noted), the scope made and ended outside the clock; call(laps) clocks
// its own parts.
TimedWork InLoad(const StepInputs& in, double* ms, std::function<bool()> call) {
    return {1,
            [&in, call](std::int64_t* laps) {
                LoadScope load(in.fileBytes);
                LapClock lap(laps);
                const bool done = load.Guard(call);
                lap(0);
                return done;
            },
            [] {}, ms};
}

// The steps of the format's own conversion.
void AddFormatSteps(const Format& format, const std::string& path, StepInputs& in, Steps& steps,
                    std::vector<TimedWork>& works) {
    if (format.normals) {
        works.push_back(InLoad(in, &steps.normals, [&in] {
            std::ranges::for_each(in.meshes, RecomputeNormals);
            return true;
        }));
        works.push_back({kNormalParts,
                         [&in](std::int64_t* parts) {
                             LoadScope load(in.fileBytes);
                             return load.Guard([&] {
                                 for (MeshRecord* mesh : in.meshes)
                                     RecomputeNormalsInParts(mesh, parts);
                                 return true;
                             });
                         },
                         [] {}, &steps.partsSum, steps.parts});
    }
    if (format.textures)
        works.push_back(InLoad(in, &steps.textures, [&in] {
            return ConvMDL::SaveTextures(in.mdl, ObjectTempDataFolder);
        }));
    if (format.xText) {
        const std::string text = std::string(ObjectTempDataFolder) + "bench_model_text.x";
        works.push_back(InLoad(in, &steps.text, [path, text] {
            return Conv3DS::Write3DSAsXFile(path.c_str(), text.c_str()) == 0 &&
                   DeleteFileA(text.c_str());
        }));
    }
    if (format.xParsed)
        works.push_back(InLoad(in, &steps.parser, [&in] { return ParseX(in.parsed.c_str()); }));
}

// The steps of one file's load, their passes in turn; false when the file does not load.
bool TimeSteps(const ModelConverter& converter, const Format& format, const std::string& path,
               Steps& steps) {
    StepInputs in;
    if (!PrepareSteps(converter, format, path, in)) return false;
    steps.meshes = in.meshes.size();
    ObjectRecord* object = nullptr;
    std::uint8_t* block = nullptr;
    std::vector<TimedWork> works;
    works.push_back({kLoadLaps,
                     [&](std::int64_t* laps) {
                         return LoadInLaps(converter, format, path.c_str(), &object, laps);
                     },
                     [&] { delete std::exchange(object, nullptr); }, &steps.load, steps.laps});
    // The block the converter hands out, written from the object.
    works.push_back({1,
                     [&](std::int64_t* laps) {
                         std::uint32_t size = 0;
                         LapClock lap(laps);
                         const bool done = WriteObjectToBlock(in.object.get(), &block, &size);
                         lap(0);
                         return done;
                     },
                     [&] { FreeObjectBlock(std::exchange(block, nullptr)); }, &steps.block});
    AddFormatSteps(format, path, in, steps, works);
    const bool ok = TimeInTurn(works);
    if (format.xText) DeleteFileA(in.parsed.c_str());
    return ok;
}

void AnswerSteps(const char* name, const std::string& path) {
    const ModelConverter* converter = FindModelConverter(name);
    const Format* format = FindFormat(name);
    Steps steps;
    if (!converter || !format || !TimeSteps(*converter, *format, path, steps)) {
        std::printf("failed\n");
        return;
    }
    std::printf("steps %.4f", steps.load);
    for (double lap : steps.laps)
        std::printf(" %.4f", lap);
    std::printf(" %.4f %.4f", steps.block, steps.normals);
    for (double part : steps.parts)
        std::printf(" %.4f", part);
    std::printf(" %.4f %.4f %.4f %u\n", steps.textures, steps.text, steps.parser,
                static_cast<unsigned>(steps.meshes));
}

// One command line: its word, the format, and the rest of the line as the file.
void Answer(const char* line) {
    char command[16] = {}, name[16] = {};
    int used = 0;
    if (std::sscanf(line, "%15s %15s %n", command, name, &used) != 2 || line[used] == 0) {
        std::printf("failed\n");
        return;
    }
    std::string path(line + used);
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r'))
        path.pop_back();
    if (std::strcmp(command, "load") == 0) {
        const double ms = LoadRound(path.c_str());
        if (ms < 0)
            std::printf("failed\n");
        else
            std::printf("%.4f\n", ms);
    } else if (std::strcmp(command, "steps") == 0) {
        AnswerSteps(name, path);
    } else {
        std::printf("failed\n");
    }
}

} // namespace

int main() {
    RuntimeErrorRecord cell;
    LinkModules();
    SetCoreErrorHandler(&cell);
    if (CreateEngineWindow(1, 640, 480, 32, GetModuleHandleA(nullptr), "") != 0) return 1;
    // The 3DS reader's trace lines would mix with the figures (and cost time of their own).
    Conv3DS::SetTraceSink(nullptr);
    char line[2048];
    while (std::fgets(line, sizeof line, stdin)) {
        Answer(line);
        // The script waits for each answer before it asks the importer for its round.
        std::fflush(stdout);
    }
    return 0;
}
