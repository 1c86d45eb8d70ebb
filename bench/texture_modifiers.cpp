// The frame of a level of one 256-vertex face whose shader has 16 stages of 255 "tcmod rotate 45":
// 1,044,480 texture-modifier passes a frame, each charged 32 bytes at the level's load. Prints the
// frame's wall time against the same level whose stages hold no modifier, the passes alone, and
// what the charge was set from (17-26 ns a pass, 18-27 ms for these passes, on coordinates that
// stay numbers). Rotations square the coordinates; those that leave the float range become 0.
#include "core/win32.h"

#include "clock.h"

#include "core/core.h"
#include "core/engine.h"
#include "core/frame_loop.h"
#include "core/load_budget.h"
#include "core/window.h"
#include "world/crafted_levels.h"
#include "world/level_fixtures.h"
#include "world/shader_table.h"
#include "world/world.h"
#include "world/world_clock.h"
#include "world/world_level.h"
#include "world/world_render.h"
#include "world/world_state.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>

namespace {

constexpr int kStages = 16, kRotations = 255, kVertices = 256;
constexpr double kPasses = double{kStages} * kRotations * kVertices;

// The crafted fan with texture coordinates spread over 0..1 (the wall's first vertex, which it
// repeats, has 0, 0, which every rotation keeps).
std::string SpreadFan() {
    std::string level = FacesLevel(1, kVertices);
    const BspLump vertices = LumpOf(level, kLumpVertices);
    const std::size_t first = vertices.length / sizeof(BspVertex) - kVertices;
    for (std::size_t k = 0; k < kVertices; ++k) {
        const std::size_t at = FieldAt(level, kLumpVertices, sizeof(BspVertex), first + k,
                                       offsetof(BspVertex, texture));
        const float st[2] = {static_cast<float>(k % 16) / 15.0f,
                             static_cast<float>(k / 16) / 15.0f};
        level.replace(at, sizeof st, reinterpret_cast<const char*>(st), sizeof st);
    }
    return level;
}

// Loads the fan of kVertices vertices drawn through kStages stages of the lines given; the
// load's charge in bytes, 0 when it failed.
std::uint64_t LoadFan(const std::string& stage) {
    FreeWorld();
    FreeWorldTable();
    const std::string script = WallShader(kStages, stage);
    ParseShaderHeader(reinterpret_cast<const std::uint8_t*>(script.data()), script.size(), "a.pk3",
                      "scripts/x.shader");
    const std::string level = SpreadFan();
    {
        LoadScope load(level.size());
        if (LoadBSPData(reinterpret_cast<const std::uint8_t*>(level.data()), level.size()) != 1)
            return 0;
    }
    g_World.flags |= kLevelLoaded;
    return LastLoadCharged();
}

// Wall milliseconds a frame, best of five rounds of frames Syncs.
double FrameMs(int frames) {
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        const double start = Now();
        for (int f = 0; f < frames; ++f)
            Sync();
        best = std::min(best, (Now() - start) * 1e3 / frames);
    }
    return best;
}

// The loaded face's stages run as the pass runs them, without drawing: milliseconds, best of five.
double PassesMs() {
    const ShaderRecord& shader = WorldShaderTable().records[0];
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        const double start = Now();
        for (const ShaderStage& stage : shader.stages) {
            UpdateShaderStages(0, shader, stage);
            RestoreFaceTexCoords(0);
        }
        best = std::min(best, (Now() - start) * 1e3);
    }
    return best;
}

} // namespace

int main() {
    RuntimeErrorRecord cell;
    LinkModules();
    SetCoreErrorHandler(&cell);
    if (CreateEngineWindow(1, 640, 480, 32, GetModuleHandleA(nullptr), "") != 0) return 1;
    SyncOn();
    SetSyncRate(0);
    HoldWorldClock(12345); // a rotation of 555 degrees: never 0
    if (!LoadFan("")) return 1;
    const double plain = FrameMs(20);
    std::string rotations;
    for (int k = 0; k < kRotations; ++k)
        rotations += "  tcmod rotate 45\n";
    const std::uint64_t charged = LoadFan(rotations);
    if (!charged) return 1;
    const double rotated = FrameMs(20), passes = PassesMs();
    std::printf("texture modifiers: one %d-vertex face, %d stages of %d rotations: %.0f passes a "
                "frame, charged %.1f MB at the load (32 B a pass: %.1f MB)\n",
                kVertices, kStages, kRotations, kPasses, charged / 1e6, kPasses * 32 / 1e6);
    std::printf("  frame %.1f ms against %.1f ms with no modifier: %.1f ms, %.1f ns a pass\n",
                rotated, plain, rotated - plain, (rotated - plain) * 1e6 / kPasses);
    std::printf("  the passes alone %.1f ms, %.1f ns a pass; the charge was set at 17-26 ns a "
                "pass, 18-27 ms for these passes\n",
                passes, passes * 1e6 / kPasses);
    ReleaseWorldClock();
    FreeWorld();
    ShutdownEngine();
    return 0;
}
