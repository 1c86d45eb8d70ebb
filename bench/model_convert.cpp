// Cost of converting model files to the engine's own objects: each file converted in five rounds,
// the best round's time a conversion printed in milliseconds as "<format> <ms> <file>"
// (bench/model_convert.sh sets them beside a native importer's times).
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
// A round converts the file again until this long has passed: the clock's steps may be as coarse
// as a millisecond, longer than a small file takes.
constexpr double kShortestRound = 0.05;

// The best of five rounds of conversions of one file through the converter its format picks.
double BestConversion(const ModelConverter& converter, const std::string& path) {
    double best = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        if (converter.passCoreData) converter.passCoreData(g_CoreData);
        int conversions = 0;
        const double start = Now();
        double took = 0;
        do {
            std::uint8_t* block = nullptr;
            std::uint32_t size = 0;
            const bool converted = converter.convert(path.c_str(), &block, &size);
            converter.free(block);
            if (!converted) return -1;
            ++conversions;
            took = Now() - start;
        } while (took < kShortestRound);
        best = std::min(best, took / conversions);
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
        std::printf("%s %.3f %s\n", argv[i], ms, argv[i + 1]);
    }
    return 0;
}
