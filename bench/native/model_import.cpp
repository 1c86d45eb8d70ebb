// The native importer's side of bench/model_convert.sh, built for the host (not under Wine): a
// file imported by Debian's libassimp with aiImportFile and no post-processing, timed as the
// engine's side times its loads (bench/model_convert.cpp): the call alone, the file read from the
// disk cache by the call itself, the scene released outside the clock, repeated for a round of at
// least 50 ms. The script sets one round here beside one round of the engine's, in turn.
// Reads "<format> <file>" lines and answers each with one round's milliseconds an import, or
// "failed".
#include <assimp/cimport.h>
#include <assimp/scene.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

constexpr double kShortestRound = 0.05;

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// One round of imports of one file, in milliseconds an import; -1 when it cannot be read.
double ImportRound(const char* path) {
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
    return importing / imports * 1000.0;
}

// The file of a "<format> <file>" line: everything after the first space.
std::string FileOf(const char* line) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    const std::size_t space = text.find(' ');
    return space == std::string::npos ? std::string() : text.substr(space + 1);
}

} // namespace

int main() {
    char line[4096];
    while (std::fgets(line, sizeof line, stdin)) {
        const std::string path = FileOf(line);
        const double ms = path.empty() ? -1 : ImportRound(path.c_str());
        if (ms < 0)
            std::printf("failed\n");
        else
            std::printf("%.4f\n", ms);
        // The script waits for each answer before it asks the engine for its next round.
        std::fflush(stdout);
    }
    return 0;
}
