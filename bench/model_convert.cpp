// Cost of loading model files into the engine's own objects, and where it goes; driven by
// bench/model_convert.sh, which sets the rounds beside a native importer's, one of each in turn.
// Reads commands from its input, one a line, and answers each with one line:
//   "load <format> <file>"   one round of LoadObjectFile (the load a LoadObject does: conversion,
//                            block copied and read back into the object, positions checked), the
//                            object freed outside the clock: "<ms>" a load, or "failed";
//   "steps <format> <file>"  the load again and its steps, each timed alone, best of five
//                            rounds, one round of each in turn:
//                            "steps <load> <convert> <read back> <block> <normals> <made>
//                            <computed> <read> <released> <textures> <text> <parser> <meshes>"
//                            (0 for a step the format does not take), or "failed".
// A load reads its file itself, as the importer does; the file's extension picks its converter.
#include "core/win32.h"

#include "clock.h"

#include "core/com_ptr.h"
#include "core/core.h"
#include "core/engine.h"
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
// A round repeats the work until this long has passed and counts its mean: one pass over a small
// file is too short a span to stand for itself on a busy machine.
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

// One round of timed() in milliseconds a call: calls repeated until kShortestRound has passed,
// each clocked alone and after() (freeing what it made) left outside the clock; -1 when one fails.
template <typename Timed, typename After> double RoundTime(Timed timed, After after) {
    int calls = 0;
    std::int64_t took = 0;
    const double start = Now();
    do {
        const std::int64_t before = Ticks();
        const bool done = timed();
        took += Ticks() - before;
        after();
        if (!done) return -1;
        ++calls;
    } while (Now() - start < kShortestRound);
    return Milliseconds(static_cast<double>(took) / calls);
}

double LoadRound(const char* path) {
    ObjectRecord* object = nullptr;
    return RoundTime([&] { return LoadObjectFile(path, &object); },
                     [&] { delete std::exchange(object, nullptr); });
}

// One round of the converter's part of a load alone.
double ConversionRound(const ModelConverter& converter, const std::string& path) {
    if (converter.passCoreData) converter.passCoreData(g_CoreData);
    std::uint8_t* block = nullptr;
    std::uint32_t size = 0;
    return RoundTime(
        [&] {
            block = nullptr;
            return converter.convert(path.c_str(), &block, &size);
        },
        [&] { converter.free(block); });
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

// The parts of RecomputeNormals, in ticks: the D3DX mesh made (its device buffers created and
// filled), the normals computed in it, the mesh read back from it, and the D3DX mesh released.
using NormalParts = std::array<std::int64_t, 4>;

// RecomputeNormals done as ComputeMeshNormals and RecomputeUnindexedNormals do it, each part
// clocked.
void RecomputeNormalsInParts(MeshRecord* mesh, NormalParts& parts) {
    const bool unindexed = mesh->indexCount == 0;
    const std::int32_t type = mesh->primitiveType;
    std::int64_t at = Ticks();
    auto lap = [&](int part) {
        const std::int64_t now = Ticks();
        parts[part] += now - at;
        at = now;
    };
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

// One round of normals in parts (as RoundTime times a step): its sum in milliseconds a pass over
// the meshes, its parts kept in best when the sum is below bestSum.
double NormalPartsRound(const std::vector<MeshRecord*>& meshes, std::array<double, 4>& best,
                        double& bestSum) {
    int passes = 0;
    NormalParts parts{};
    const double start = Now();
    do {
        for (MeshRecord* mesh : meshes)
            RecomputeNormalsInParts(mesh, parts);
        ++passes;
    } while (Now() - start < kShortestRound);
    double sum = 0;
    for (std::int64_t part : parts)
        sum += static_cast<double>(part);
    sum = Milliseconds(sum / passes);
    if (sum < bestSum) {
        bestSum = sum;
        for (std::size_t i = 0; i < parts.size(); ++i)
            best[i] = Milliseconds(static_cast<double>(parts[i]) / passes);
    }
    return sum;
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

struct Steps {
    double load = 0;               // the whole load
    double convert = 0;            // the converter's conversion alone
    double readBack = 0;           // the converter's block read back into an object
    double block = 0;              // writing the native block from the object
    double normals = 0;            // the platform's normals, as the converter makes them
    std::array<double, 4> parts{}; // the same in parts (NormalParts)
    double textures = 0;           // skins made as textures and saved
    double text = 0;               // the X text written to its temporary file and deleted
    double parser = 0;             // the platform's X parser reading the X file
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

// The steps that every load takes: the load itself, the conversion alone, the block read back,
// the native block written.
void AddLoadSteps(const ModelConverter& converter, const std::string& path, StepInputs& in,
                  Steps& steps, std::vector<StepClock>& clocks) {
    clocks.push_back({&steps.load, [&] { return LoadRound(path.c_str()); }});
    clocks.push_back({&steps.convert, [&] { return ConversionRound(converter, path); }});
    clocks.push_back({&steps.readBack, [&] {
                          ObjectRecord* copy = nullptr;
                          const auto size = static_cast<std::uint32_t>(in.block.size());
                          return RoundTime(
                              [&] { return ReadObjectFromBlock(in.block.data(), size, &copy); },
                              [&] { delete std::exchange(copy, nullptr); });
                      }});
    clocks.push_back({&steps.block, [&] {
                          std::uint8_t* block = nullptr;
                          std::uint32_t size = 0;
                          return RoundTime(
                              [&] { return WriteObjectToBlock(in.object.get(), &block, &size); },
                              [&] { FreeObjectBlock(std::exchange(block, nullptr)); });
                      }});
}

// The steps of the format's own.
void AddFormatSteps(const Format& format, const std::string& path, StepInputs& in, Steps& steps,
                    double& partsSum, std::vector<StepClock>& clocks) {
    if (format.normals) {
        clocks.push_back({&steps.normals, [&] {
                              return RoundTime(
                                  [&] {
                                      std::ranges::for_each(in.meshes, RecomputeNormals);
                                      return true;
                                  },
                                  [] {});
                          }});
        clocks.push_back(
            {&partsSum, [&] { return NormalPartsRound(in.meshes, steps.parts, partsSum); }});
    }
    if (format.textures)
        clocks.push_back(
            {&steps.textures, [&] {
                 return RoundTime(
                     [&] { return ConvMDL::SaveTextures(in.mdl, ObjectTempDataFolder); }, [] {});
             }});
    if (format.xText)
        clocks.push_back(
            {&steps.text, [&] {
                 const std::string text = std::string(ObjectTempDataFolder) + "bench_model_text.x";
                 return RoundTime(
                     [&] {
                         return Conv3DS::Write3DSAsXFile(path.c_str(), text.c_str()) == 0 &&
                                DeleteFileA(text.c_str());
                     },
                     [] {});
             }});
    if (format.xParsed)
        clocks.push_back({&steps.parser, [&] {
                              return RoundTime([&] { return ParseX(in.parsed.c_str()); }, [] {});
                          }});
}

// The steps of one file's load, each timed alone, their rounds in turn; false when the file does
// not load.
bool TimeSteps(const ModelConverter& converter, const Format& format, const std::string& path,
               Steps& steps) {
    StepInputs in;
    bool ok = PrepareSteps(converter, format, path, in);
    steps.meshes = in.meshes.size();
    std::vector<StepClock> clocks;
    double partsSum = 1e30;
    AddLoadSteps(converter, path, in, steps, clocks);
    AddFormatSteps(format, path, in, steps, partsSum, clocks);
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
    std::printf("steps %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %u\n",
                steps.load, steps.convert, steps.readBack, steps.block, steps.normals,
                steps.parts[0], steps.parts[1], steps.parts[2], steps.parts[3], steps.textures,
                steps.text, steps.parser, static_cast<unsigned>(steps.meshes));
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
