// Cost of loading model files into the engine's own objects, and where it goes; driven by
// bench/model_convert.sh, which sets the rounds beside a native importer's, one of each in turn.
// Reads commands from its input, one a line, and answers each with one line:
//   "load <format> <file>"   one round of LoadObjectFile (the load a LoadObject does: conversion,
//                            block copied and read back into the object, positions checked), the
//                            object freed outside the clock: "<ms>" a load, or "failed";
//   "steps <format> <file>"  the load again, made as LoadObjectFile makes it with each of its
//                            parts clocked in the same pass (its laps, which add up to it), and
//                            the conversion's steps, each timed alone; the fastest pass of five
//                            rounds, one round of each in turn:
//                            "steps <load> <looked up> <convert> <copied> <read back> <checked>
//                            <freed> <block> <normals> <made> <computed> <read> <released>
//                            <textures> <text> <parser> <meshes>" (0 for a step the format does
//                            not take), or "failed".
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
#include "object3d/object_records.h"
#include "object3d/object_values.h"
#include "object3d/vertex_editing.h"

#include <algorithm>
#include <array>
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

// The parts of a pass over a piece of work, in ticks.
template <std::size_t N> using Laps = std::array<std::int64_t, N>;

// Clocks one pass in laps: lap(i) adds the ticks since the last lap to part i, so that the parts
// of a pass add up to the pass.
template <std::size_t N> class LapClock {
public:
    explicit LapClock(Laps<N>& laps) : laps_(laps), at_(Ticks()) {}
    void operator()(std::size_t part) {
        const std::int64_t now = Ticks();
        laps_[part] += now - at_;
        at_ = now;
    }

private:
    Laps<N>& laps_;
    std::int64_t at_;
};

// What a round tells of its passes: their mean (a load's figure, counted as the importer's side
// counts its own), or the fastest pass (a step's floor, which a busy machine's preemptions only
// ever raise: the floors of a piece of work's parts add up to no more than the whole's floor).
enum class Count { kMean, kFastest };

// One round of pass(laps) in milliseconds a pass: passes repeated until kShortestRound has passed,
// after() (freeing what a pass made) left outside the clock; the laps that make up the figure are
// kept in best when it is below bestSum; -1 when a pass fails.
template <std::size_t N, typename Pass, typename After>
double LapsRound(Count count, Pass pass, After after, std::array<double, N>& best,
                 double& bestSum) {
    int passes = 0;
    Laps<N> kept{};
    std::int64_t keptSum = -1;
    const double start = Now();
    do {
        Laps<N> laps{};
        const bool done = pass(laps);
        after();
        if (!done) return -1;
        ++passes;
        std::int64_t sum = 0;
        for (std::size_t i = 0; i < N; ++i) {
            sum += laps[i];
            if (count == Count::kMean) kept[i] += laps[i];
        }
        if (count == Count::kFastest && (keptSum < 0 || sum < keptSum)) {
            kept = laps;
            keptSum = sum;
        }
    } while (Now() - start < kShortestRound);
    const int counted = count == Count::kMean ? passes : 1;
    std::array<double, N> ms{};
    double sum = 0;
    for (std::size_t i = 0; i < N; ++i)
        sum += ms[i] = Milliseconds(static_cast<double>(kept[i]) / counted);
    if (sum < bestSum) {
        bestSum = sum;
        best = ms;
    }
    return sum;
}

// One round of timed(), each call clocked alone.
template <typename Timed, typename After> double RoundTime(Count count, Timed timed, After after) {
    std::array<double, 1> best{};
    double bestSum = 1e30;
    return LapsRound(
        count,
        [&](Laps<1>& laps) {
            LapClock<1> lap(laps);
            const bool done = timed();
            lap(0);
            return done;
        },
        after, best, bestSum);
}

// A step's fastest call in a round.
template <typename Timed, typename After> double FastestCall(Timed timed, After after) {
    return RoundTime(Count::kFastest, timed, after);
}

// One round of LoadObjectFile, as the importer's side times its imports.
double LoadRound(const char* path) {
    ObjectRecord* object = nullptr;
    return RoundTime(
        Count::kMean, [&] { return LoadObjectFile(path, &object); },
        [&] { delete std::exchange(object, nullptr); });
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
// read back into an object; the object's values checked; the copy freed.
enum LoadLap { kLookUpLap, kConvertLap, kCopyLap, kReadBackLap, kCheckLap, kFreeLap, kLoadLaps };

// One load as LoadObjectFile makes it (the file looked up, ConvertModelFile's conversion and copy,
// the block read back and checked, within a budget), each part a lap; the object in *object,
// freed by the caller. An MD3 model is named by its folder: no file of that name is looked for.
bool LoadInLaps(const ModelConverter& converter, const Format& format, const char* path,
                ObjectRecord** object, Laps<kLoadLaps>& laps) {
    LapClock<kLoadLaps> lap(laps);
    bool ok = std::strcmp(format.name, "md3") == 0 || ObjectFileExists(path);
    LoadScope load(MediaFileSize(path));
    lap(kLookUpLap);
    if (converter.passCoreData) converter.passCoreData(g_CoreData);
    std::uint8_t* converted = nullptr;
    std::uint32_t size = 0;
    ok = ok && converter.convert(path, &converted, &size) && converted;
    lap(kConvertLap);
    std::unique_ptr<std::uint8_t[]> copy;
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
    copy.reset();
    lap(kFreeLap);
    return ok && !LoadOverBudget();
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
void RecomputeNormalsInParts(MeshRecord* mesh, Laps<kNormalParts>& parts) {
    const bool unindexed = mesh->indexCount == 0;
    const std::int32_t type = mesh->primitiveType;
    LapClock<kNormalParts> lap(parts);
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
    double load = 0;                          // the load in laps: the sum of its laps
    std::array<double, kLoadLaps> laps{};     // LoadLap
    double block = 0;                         // the native block written from the object
    double normals = 0;                       // the platform's normals, as converters make them
    double partsSum = 0;                      // the same in parts: the sum of its parts
    std::array<double, kNormalParts> parts{}; // RecomputeNormalsInParts
    double textures = 0;                      // skins made as textures and saved
    double text = 0;                          // the X text written to a temporary file, deleted
    double parser = 0;                        // the platform's X parser reading the X file
    std::size_t meshes = 0;
};

// A step: where its best round goes, and one round of it in milliseconds (-1 when it fails).
struct StepClock {
    double* best;
    std::function<double()> round;
};

// The best of five rounds of every step, one round of each in turn, so that a busy machine's
// swings land on them all alike; false when one fails.
bool BestOfSteps(const std::vector<StepClock>& clocks) {
    for (const StepClock& clock : clocks)
        *clock.best = 1e30;
    for (int round = 0; round < kRounds; ++round)
        for (const StepClock& clock : clocks) {
            const double ms = clock.round();
            if (ms < 0) return false;
            *clock.best = std::min(*clock.best, ms);
        }
    return true;
}

// What the steps work on, made once: the converter's block and an object of the bench's own read
// back from it (the converter's own object goes with its next conversion), the decoded studio
// model, the X text the parser reads.
struct StepInputs {
    std::vector<std::uint8_t> block;
    std::unique_ptr<ObjectRecord> object;
    std::vector<MeshRecord*> meshes;
    std::vector<std::uint8_t> file; // the studio model's bytes, which its decoded data points into
    ConvMDL::MDLData mdl;
    std::string parsed; // the X file the parser reads
};

bool PrepareSteps(const ModelConverter& converter, const Format& format, const std::string& path,
                  StepInputs& in) {
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

// The steps that every load takes: the load in laps, the native block written.
void AddLoadSteps(const ModelConverter& converter, const Format& format, const std::string& path,
                  StepInputs& in, Steps& steps, std::vector<StepClock>& clocks) {
    clocks.push_back({&steps.load, [&] {
                          ObjectRecord* object = nullptr;
                          return LapsRound(
                              Count::kFastest,
                              [&](Laps<kLoadLaps>& laps) {
                                  return LoadInLaps(converter, format, path.c_str(), &object, laps);
                              },
                              [&] { delete std::exchange(object, nullptr); }, steps.laps,
                              steps.load);
                      }});
    clocks.push_back({&steps.block, [&] {
                          std::uint8_t* block = nullptr;
                          std::uint32_t size = 0;
                          return FastestCall(
                              [&] { return WriteObjectToBlock(in.object.get(), &block, &size); },
                              [&] { FreeObjectBlock(std::exchange(block, nullptr)); });
                      }});
}

// The steps of the format's own.
void AddFormatSteps(const Format& format, const std::string& path, StepInputs& in, Steps& steps,
                    std::vector<StepClock>& clocks) {
    if (format.normals) {
        clocks.push_back({&steps.normals, [&] {
                              return FastestCall(
                                  [&] {
                                      std::ranges::for_each(in.meshes, RecomputeNormals);
                                      return true;
                                  },
                                  [] {});
                          }});
        clocks.push_back({&steps.partsSum, [&] {
                              return LapsRound(
                                  Count::kFastest,
                                  [&](Laps<kNormalParts>& parts) {
                                      for (MeshRecord* mesh : in.meshes)
                                          RecomputeNormalsInParts(mesh, parts);
                                      return true;
                                  },
                                  [] {}, steps.parts, steps.partsSum);
                          }});
    }
    if (format.textures)
        clocks.push_back(
            {&steps.textures, [&] {
                 return FastestCall(
                     [&] { return ConvMDL::SaveTextures(in.mdl, ObjectTempDataFolder); }, [] {});
             }});
    if (format.xText)
        clocks.push_back(
            {&steps.text, [&] {
                 const std::string text = std::string(ObjectTempDataFolder) + "bench_model_text.x";
                 return FastestCall(
                     [&] {
                         return Conv3DS::Write3DSAsXFile(path.c_str(), text.c_str()) == 0 &&
                                DeleteFileA(text.c_str());
                     },
                     [] {});
             }});
    if (format.xParsed)
        clocks.push_back({&steps.parser, [&] {
                              return FastestCall([&] { return ParseX(in.parsed.c_str()); }, [] {});
                          }});
}

// The steps of one file's load, their rounds in turn; false when the file does not load.
bool TimeSteps(const ModelConverter& converter, const Format& format, const std::string& path,
               Steps& steps) {
    StepInputs in;
    bool ok = PrepareSteps(converter, format, path, in);
    steps.meshes = in.meshes.size();
    std::vector<StepClock> clocks;
    AddLoadSteps(converter, format, path, in, steps, clocks);
    AddFormatSteps(format, path, in, steps, clocks);
    ok = ok && BestOfSteps(clocks);
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
