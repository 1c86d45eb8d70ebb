// Cost of loading model files into the engine's own objects, and where it goes; driven by
// bench/model_convert.sh, which sets the rounds beside a native importer's, one of each in turn.
// Reads commands from its input, one a line, and answers each with one line:
//   "load <format> <file>"   one round of LoadObjectFile (the load a LoadObject does: conversion,
//                            block copied and read back into the object, positions checked), the
//                            object freed outside the clock: "<ms>" a load, or "failed";
//   "steps <format> <file>"  the steps of that load timed apart, best of five rounds each:
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
#include "modelfile/conv_md2.h"
#include "modelfile/conv_md3.h"
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

// The best of five rounds of RoundTime; -1 when a call fails.
template <typename Timed, typename After> double BestTime(Timed timed, After after) {
    double best = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        const double ms = RoundTime(timed, after);
        if (ms < 0) return -1;
        best = std::min(best, ms);
    }
    return best;
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

// The converters hand their objects out read-only; the steps below redo on them what the
// converter did, once their block has been written.
ObjectRecord* Writable(const ObjectRecord* object) {
    return const_cast<ObjectRecord*>(object);
}

// What a format's conversion does besides decoding the file and writing the native block.
struct Format {
    const char* name;
    ObjectRecord* (*object)(); // the converter's object from its last conversion
    bool normals;              // the platform's normals of every mesh and key frame
    bool textures;             // skins saved as pictures in the temporary folder
    bool xText;                // the file written as X text to a temporary file
    bool xParsed;              // the platform's X parser
};

const Format kFormats[] = {
    {"x", [] { return ConvX::g_State.object; }, false, false, false, true},
    {"3ds", [] { return Conv3DS::LoadedObject(); }, false, false, true, true},
    {"md2", [] { return Writable(ConvMD2::LoadedObject()); }, true, false, false, false},
    {"md3", [] { return Writable(ConvMD3::LoadedObject()); }, true, false, false, false},
    {"mdl", [] { return Writable(ConvMDL::LoadedObject()); }, true, true, false, false},
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

// The parts of the best of five rounds of normals in parts (as BestTime times a step), in
// milliseconds a pass over the meshes.
std::array<double, 4> BestNormalParts(const std::vector<MeshRecord*>& meshes) {
    std::array<double, 4> best{};
    double bestSum = 1e30;
    for (int round = 0; round < kRounds; ++round) {
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
        if (sum >= bestSum) continue;
        bestSum = sum;
        for (std::size_t i = 0; i < parts.size(); ++i)
            best[i] = Milliseconds(static_cast<double>(parts[i]) / passes);
    }
    return best;
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
    double load = 0;               // the whole load, timed beside the conversion
    double convert = 0;            // the converter's conversion alone
    double readBack = 0;           // the converter's block read back into an object
    double block = 0;              // writing the native block from the converter's object
    double normals = 0;            // the platform's normals, as the converter makes them
    std::array<double, 4> parts{}; // the same in parts (NormalParts)
    double textures = 0;           // skins made as textures and saved
    double text = 0;               // the X text written to its temporary file and deleted
    double parser = 0;             // the platform's X parser reading the X file
    std::size_t meshes = 0;
};

// The load and the conversion alone, best of five rounds each, their rounds in turn so that the
// load's part beyond the conversion is not a swing of a busy machine; false when one fails.
bool TimeLoadAndConversion(const ModelConverter& converter, const std::string& path, Steps& steps) {
    steps.load = steps.convert = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        const double load = LoadRound(path.c_str());
        const double convert = ConversionRound(converter, path);
        if (load < 0 || convert < 0) return false;
        steps.load = std::min(steps.load, load);
        steps.convert = std::min(steps.convert, convert);
    }
    return true;
}

// The steps of one file's load, each timed alone; false when the file does not load.
bool TimeSteps(const ModelConverter& converter, const Format& format, const std::string& path,
               Steps& steps) {
    if (!TimeLoadAndConversion(converter, path, steps)) return false;
    if (converter.passCoreData) converter.passCoreData(g_CoreData);
    std::uint8_t* converted = nullptr;
    std::uint32_t convertedSize = 0;
    if (!converter.convert(path.c_str(), &converted, &convertedSize)) return false;
    ObjectRecord* copy = nullptr;
    steps.readBack = BestTime([&] { return ReadObjectFromBlock(converted, convertedSize, &copy); },
                              [&] { delete std::exchange(copy, nullptr); });
    ObjectRecord* object = format.object();
    bool ok = object != nullptr;
    std::uint8_t* block = nullptr;
    std::uint32_t size = 0;
    if (ok)
        steps.block = BestTime([&] { return WriteObjectToBlock(object, &block, &size); },
                               [&] { FreeObjectBlock(std::exchange(block, nullptr)); });
    if (ok && format.normals) {
        std::vector<MeshRecord*> meshes;
        CollectMeshes(object->rootFrame, meshes);
        steps.meshes = meshes.size();
        steps.normals = BestTime(
            [&] {
                std::for_each(meshes.begin(), meshes.end(), RecomputeNormals);
                return true;
            },
            [] {});
        steps.parts = BestNormalParts(meshes);
    }
    converter.free(converted);
    GetObjectTempDataFolder();
    if (ok && format.textures) {
        std::vector<std::uint8_t> bytes;
        ConvMDL::MDLData data;
        ok = ReadModelFile(path.c_str(), bytes) &&
             ConvMDL::Decode(ByteSpan{bytes.data(), bytes.size()}, data);
        if (ok)
            steps.textures =
                BestTime([&] { return ConvMDL::SaveTextures(data, ObjectTempDataFolder); }, [] {});
    }
    const std::string xFile = std::string(ObjectTempDataFolder) + "bench_model.x";
    if (ok && format.xText)
        steps.text = BestTime(
            [&] {
                return Conv3DS::Write3DSAsXFile(path.c_str(), xFile.c_str()) == 0 &&
                       DeleteFileA(xFile.c_str());
            },
            [] {});
    if (ok && format.xParsed) {
        const bool temporary = format.xText;
        if (temporary) Conv3DS::Write3DSAsXFile(path.c_str(), xFile.c_str());
        const std::string parsed = temporary ? xFile : path;
        steps.parser = BestTime([&] { return ParseX(parsed.c_str()); }, [] {});
        if (temporary) DeleteFileA(xFile.c_str());
    }
    return ok && steps.readBack >= 0 && steps.block >= 0 && steps.normals >= 0 &&
           steps.textures >= 0 && steps.text >= 0 && steps.parser >= 0;
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
