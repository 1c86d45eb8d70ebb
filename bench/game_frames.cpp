// The game itself: start-up time to the first menu frame (the 150-frame loading picture left
// out), then the process's CPU time per frame on the menu and on a busy board full of particles,
// each over 600 frames at the game's rate of 60.
//
// Usage: bench_game_frames GAME_FOLDER [PROFILE_PATH]
// With a profile path, both are sampled too (see bench/profile_report.py).
#include "core/win32.h"

#include "clock.h"

#include "core/core.h"
#include "core/engine.h"
#include "core/frame_loop.h"
#include "core/window.h"
#include "draw2d/draw2d.h"
#include "file/file.h"
#include "game/effects.h"
#include "game/game.h"
#include "game/game_app.h"
#include "game/hiscores.h"
#include "game/menu.h"
#include "game/settings.h"
#include "input/input.h"
#include "sampler.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

void Frame(const std::function<void()>& before) {
    ClearScreen(0);
    if (before) before();
    App().Tick();
    Sync();
}

// With a profile path, the frames are sampled and the samples written to PATH-WHAT.txt.
void MeasureFrames(const char* what, int frames, const std::function<void()>& before,
                   const char* profile) {
    for (int f = 0; f < 30; ++f)
        Frame(before); // settle
    Sampler sampler;
    if (profile) sampler.Start();
    const double wall = Now(), cpu = ProcessCpu(), own = ThreadCpu();
    for (int f = 0; f < frames && EngineLoopActive(); ++f)
        Frame(before);
    const double ownMs = (ThreadCpu() - own) * 1000.0 / frames;
    const double cpuMs = (ProcessCpu() - cpu) * 1000.0 / frames;
    const double wallMs = (Now() - wall) * 1000.0 / frames;
    if (profile) {
        sampler.Stop();
        const std::string path = std::string(profile) + "-" + what + ".txt";
        if (!sampler.Write(path.c_str())) std::printf("cannot write %s\n", path.c_str());
    }
    std::printf("game, %s: %.2f ms of CPU a frame in the game's thread (%.0f%% of one core), "
                "%.2f ms in the whole process; frame interval %.2f ms\n",
                what, ownMs, 100.0 * ownMs / wallMs, cpuMs, wallMs);
}

// Keeps the board busy the way a run of big matches does: falling fragments all over it.
void BusyBoard() {
    for (int i = 0; i < 12; ++i)
        SpawnFallingFragment(68 + std::rand() % 640, 62 + std::rand() % 640,
                             static_cast<float>(std::rand() % 7 - 3), -2.0f, 0.0f, 0.3f, 117, 0, 1,
                             30 + std::rand() % 60, true);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: bench_game_frames GAME_FOLDER [PROFILE_PATH]\n");
        return 2;
    }
    const double start = Now();
    // The game moves between its folders: the profile path is fixed before it does.
    char profilePath[MAX_PATH] = {};
    if (argc > 2) GetFullPathNameA(argv[2], MAX_PATH, profilePath, nullptr);
    RuntimeErrorRecord cell;
    g_CoreData = GetCoreDataPointer();
    LinkModules();
    SetCoreErrorHandler(&cell);
    Sampler startSampler;
    if (argc > 2) startSampler.Start();
    const bool started = CreateEngineWindow(1, 640, 480, 32, GetModuleHandleA(nullptr), "") == 0;
    if (argc > 2) {
        startSampler.Stop();
        startSampler.Write((std::string(profilePath) + "-engine.txt").c_str());
    }
    if (!started || !SetCurrentDirectoryA(argv[1])) {
        std::printf("engine start-up failed (error %d)\n", cell.number);
        return 1;
    }
    // GameApp::Init and the first menu frame, with the loading picture's frames timed apart.
    const double loadingStart = Now();
    ShowLoadingPicture();
    const double loading = Now() - loadingStart;
    const double soundsStart = Now();
    LoadGameSounds();
    Sampler loadSampler;
    if (argc > 2) loadSampler.Start();
    const double imagesStart = Now();
    LoadGameImages();
    const double imagesEnd = Now();
    if (argc > 2) {
        loadSampler.Stop();
        const std::string path = std::string(profilePath) + "-pictures.txt";
        if (!loadSampler.Write(path.c_str())) std::printf("cannot write %s\n", path.c_str());
    }
    HideMouse();
    ChangeDirectory("..\\");
    SetUpGameFont();
    TheBackdrop().Reset();
    HiScores().Load();
    App().screen = 0;
    Menu().Open();
    Frame(nullptr);
    std::printf("game start-up to the first menu frame: %.0f ms (the loading picture's %.0f ms "
                "left out)\n",
                (Now() - start - loading) * 1000.0, loading * 1000.0);
    std::printf("  engine start-up %.0f ms, sounds %.0f ms, pictures %.0f ms\n",
                (loadingStart - start) * 1000.0, (imagesStart - soundsStart) * 1000.0,
                (imagesEnd - imagesStart) * 1000.0);
    if (cell.number != 0) std::printf("  (start-up reported error %d)\n", cell.number);

    constexpr int kFrames = 600;
    const char* profile = argc > 2 ? profilePath : nullptr;
    MeasureFrames("menu", kFrames, nullptr, profile);

    Settings().StartGame(2, 0, 5);
    g_CoreData->mouseX = 400;
    g_CoreData->mouseY = 380;
    MeasureFrames("board", kFrames, BusyBoard, profile);
    std::printf("  particles alive at the end: %d\n", Particles().ActiveCount());
    ShutdownEngine();
    return 0;
}
