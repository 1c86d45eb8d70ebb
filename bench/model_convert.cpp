// Cost of converting model files to the engine's own objects: each file converted five times,
// the best time printed in milliseconds as "<format> <file> <ms>" (bench/model_convert.sh sets
// them beside a native importer's times).
#include "core/win32.h"

#include "clock.h"

#include "core/core.h"
#include "core/engine.h"
#include "core/window.h"
#include "modelfile/conv_3ds.h"
#include "modelfile/converters.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr int kRounds = 5;

// The best of five conversions of one file through the converter its extension picks.
double BestConversion(const ModelConverter& converter, const std::string& path) {
    double best = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        std::uint8_t* block = nullptr;
        std::uint32_t size = 0;
        if (converter.passCoreData) converter.passCoreData(g_CoreData);
        const double start = Now();
        const bool converted = converter.convert(path.c_str(), &block, &size);
        const double took = Now() - start;
        converter.free(block);
        if (!converted) return -1;
        best = std::min(best, took);
    }
    return best * 1000.0;
}

} // namespace

// Arguments: pairs of format and file (Windows paths).
int main(int argc, char** argv) {
    RuntimeErrorRecord cell;
    LinkModules();
    SetCoreErrorHandler(&cell);
    if (CreateEngineWindow(1, 640, 480, 32, GetModuleHandleA(nullptr), "") != 0) return 1;
    // The 3DS reader's trace lines would mix with the figures (and cost time of their own).
    Conv3DS::SetTraceSink(nullptr);
    for (int i = 1; i + 1 < argc; i += 2) {
        const ModelConverter* converter = FindModelConverter(argv[i]);
        const double ms = converter ? BestConversion(*converter, argv[i + 1]) : -1;
        std::printf("%s %s %.3f\n", argv[i], argv[i + 1], ms);
    }
    return 0;
}
