// The native importer's side of bench/model_convert.sh, built for the host (not under Wine): each
// file imported by Debian's libassimp with aiImportFile and no post-processing, timed as the
// engine's side times its conversions (bench/model_convert.cpp): the call alone, the file read
// from the disk cache by the call itself, the scene released outside the clock; repeated for a
// round of at least 50 ms, best of five rounds, printed in milliseconds as "<format> <ms> <file>".
// Arguments: pairs of format and file.
#include <assimp/cimport.h>
#include <assimp/scene.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

constexpr int kRounds = 5;
constexpr double kShortestRound = 0.05;

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The best of five rounds of imports of one file, in milliseconds; -1 when it cannot be read.
double BestImport(const char* path) {
    double best = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        int imports = 0;
        double importing = 0;
        const double start = Now();
        do {
            const double before = Now();
            const aiScene* scene = aiImportFile(path, 0);
            importing += Now() - before;
            if (!scene) return -1;
            aiReleaseImport(scene);
            ++imports;
        } while (Now() - start < kShortestRound);
        best = std::min(best, importing / imports);
    }
    return best * 1000.0;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; i += 2)
        std::printf("%s %.3f %s\n", argv[i], BestImport(argv[i + 1]), argv[i + 1]);
    return 0;
}
