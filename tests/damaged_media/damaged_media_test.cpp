// Damaged copies of real and generated media, loaded by the real commands in a child process (this
// program run again with --child): a crash or hang inside the platform's decoders fails the case
// instead of the test program, and every load must end in success or the command's load error.
#include "core/win32.h"

#include "bitmap/bitmap.h"
#include "core/core.h"
#include "core/engine.h"
#include "core/error_numbers.h"
#include "core/window.h"
#include "image/image.h"
#include "music/music.h"
#include "sound/sound.h"
#include "support/image_files.h"
#include "support/jpeg_files.h"
#include "support/media_files.h"
#include "video/graph_deadline.h"
#include "support/temp_folder.h"
#include "support/wave_files.h"
#include "video/video.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// How long a child may take before it counts as hung: its start, then each load. A graph that
// never answers costs its deadline, a few seconds; a picture or a wave far less.
constexpr DWORD kChildStartMs = 20000, kGraphLoadMs = kGraphDeadlineMs + 1000, kFileLoadMs = 300;
constexpr const char* kRealSounds = "Z:\\usr\\share\\sounds\\freedesktop\\stereo\\";
constexpr std::int32_t kNoResult = -1;

// ---- the child ----

// Loads one file with the command the kind names and lets it go again; the error number.
std::int32_t LoadOne(const std::string& kind, const char* file, RuntimeErrorRecord& cell) {
    cell.number = 0;
    if (kind == "image") {
        LoadImage(file, 1, 0, 0);
        if (!cell.number) DeleteImage(1);
    } else if (kind == "bitmap") {
        LoadBitmap(file, 1);
        if (!cell.number) DeleteBitmap(1);
    } else if (kind == "sound") {
        LoadSound(file, 1);
        if (!cell.number) DeleteSound(1);
    } else if (kind == "music") {
        LoadMusicFile(file, 1);
        if (!cell.number) DeleteMusic(1);
    } else if (kind == "animation") {
        LoadAnimation(file, 1);
        if (!cell.number) DeleteAnimation(1);
    }
    return cell.number;
}

int RunChild(const std::string& kind, const char* list, const char* results) {
    RuntimeErrorRecord cell;
    LinkModules();
    SetCoreErrorHandler(&cell);
    if (CreateEngineWindow(1, 640, 480, 32, GetModuleHandleA(nullptr), "") != 0) return 3;
    std::ifstream in(list);
    std::FILE* out = std::fopen(results, "w");
    if (!out) return 4;
    for (std::string file; std::getline(in, file);) {
        std::fprintf(out, "%d\n", static_cast<int>(LoadOne(kind, file.c_str(), cell)));
        std::fflush(out); // what was written survives a crash in the next load
    }
    std::fclose(out);
    ShutdownEngine();
    return 0;
}

// ---- the parent ----

std::string ProgramPath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

std::string ClipPath() {
    const std::string program = ProgramPath();
    return program.substr(0, program.rfind('\\')) + "\\test-data\\quads-mjpeg.avi";
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the child on the files; one error number per file, kNoResult where it never got to one.
std::vector<std::int32_t> LoadInChild(const std::string& kind,
                                      const std::vector<std::string>& files,
                                      const TempFolder& folder) {
    static int run = 0;
    const std::string name = kind + std::to_string(++run);
    std::string list;
    for (const std::string& f : files)
        list += f + "\n";
    const std::string listFile = folder.Write(name + "-list.txt", list);
    const std::string resultFile = folder.File(name + "-results.txt");
    std::string command = "\"" + ProgramPath() + "\" --child " + kind + " \"" + listFile + "\" \"" +
                          resultFile + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::vector<std::int32_t> errors(files.size(), kNoResult);
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        ADD_FAILURE() << "the child did not start: error " << GetLastError();
        return errors;
    }
    const bool graph = kind == "music" || kind == "animation";
    const DWORD limit =
        kChildStartMs + (graph ? kGraphLoadMs : kFileLoadMs) * static_cast<DWORD>(files.size());
    const bool ended = WaitForSingleObject(pi.hProcess, limit) == WAIT_OBJECT_0;
    DWORD code = 0;
    if (!ended) TerminateProcess(pi.hProcess, 99);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::ifstream in(resultFile);
    std::size_t i = 0;
    for (int e = 0; i < errors.size() && in >> e; ++i)
        errors[i] = e;
    const std::string at = i < files.size() ? files[i] : "the end";
    EXPECT_TRUE(ended) << kind << ": the child hung at " << at;
    EXPECT_EQ(code, 0u) << kind << ": the child died at " << at;
    return errors;
}

// Good files load; every damaged copy loads or gives the load error; the named cases give it.
struct Cases {
    std::vector<std::string> good, damaged, refused;
};

Cases Damaged(const TempFolder& folder, const std::string& ext,
              const std::vector<std::string>& seeds, std::uint32_t copies) {
    Cases c;
    for (std::size_t s = 0; s < seeds.size(); ++s) {
        c.good.push_back(folder.Write("good" + std::to_string(s) + ext, seeds[s]));
        for (std::uint32_t k = 1; k <= copies; ++k)
            c.damaged.push_back(
                folder.Write("bad" + std::to_string(s) + "-" + std::to_string(k) + ext,
                             Damage(seeds[s], static_cast<std::uint32_t>(s) * 1000 + k)));
    }
    return c;
}

void Expect(const std::string& kind, const Cases& c, std::int32_t loadError,
            const TempFolder& folder) {
    // Each named case alone, so that a slow refusal shows as a hang.
    for (const std::string& file : c.refused)
        EXPECT_EQ(LoadInChild(kind, {file}, folder)[0], loadError) << file;
    std::vector<std::string> all = c.good;
    all.insert(all.end(), c.damaged.begin(), c.damaged.end());
    const std::vector<std::int32_t> errors = LoadInChild(kind, all, folder);
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (i < c.good.size()) {
            EXPECT_EQ(errors[i], 0) << all[i] << " does not load";
        } else if (errors[i] != 0) {
            EXPECT_EQ(errors[i], loadError) << all[i];
        }
    }
}

std::string Patch(std::string s, std::size_t at, const std::string& bytes) {
    return s.replace(at, bytes.size(), bytes);
}

std::uint32_t Tile(int x, int y) {
    return 0xFF000000u | static_cast<std::uint32_t>(x * 30) << 16 |
           static_cast<std::uint32_t>(y * 20);
}

// The first JPEG frame of the Motion-JPEG clip: a real encoder's output.
std::string ClipFrame(const std::string& clip) {
    const std::size_t start = clip.find("\xFF\xD8\xFF");
    const std::size_t end = clip.find("\xFF\xD9", start);
    return start == std::string::npos || end == std::string::npos
               ? std::string()
               : clip.substr(start, end + 2 - start);
}

// Run-length pictures of the largest side whose data ends at once: a kilobyte claiming 1 GB of
// pixels, refused before any decoder makes them.
std::string RunLengthBmp() {
    const std::uint32_t side = 16384, tables = 14 + 40 + 256 * 4;
    const std::string end("\0\1", 2); // end of the picture
    return "BM" + U32(tables + 2) + U32(0) + U32(tables) + U32(40) + U32(side) + U32(side) +
           U16(1) + U16(8) + U32(1) + U32(2) + U32(0) + U32(0) + U32(0) + U32(0) +
           std::string(256 * 4, '\0') + end;
}

std::string RunLengthTga() {
    const std::string header = std::string("\0\0\x0A", 3) + std::string(9, '\0') + U16(16384) +
                               U16(16384) + std::string("\x20\x28", 2);
    return header + "\xFF" + U32(0xFF204060); // one packet of 128 pixels
}

Cases PictureCases(const TempFolder& folder) {
    std::vector<std::string> seeds = {DdsBytes(16, 16, Tile), PngBytes(9, 7, Tile),
                                      BmpBytes(7, 5, Tile), TgaBytes(6, 4, Tile)};
    std::vector<std::string> exts = {".dds", ".png", ".bmp", ".tga"};
    const std::string jpeg = ClipFrame(ReadFile(ClipPath()));
    Cases all;
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        Cases c = Damaged(folder, exts[i], {seeds[i]}, 30);
        all.good.insert(all.good.end(), c.good.begin(), c.good.end());
        all.damaged.insert(all.damaged.end(), c.damaged.begin(), c.damaged.end());
    }
    if (!jpeg.empty()) {
        Cases c = Damaged(folder, ".jpg", {jpeg}, 30);
        all.good.push_back(c.good[0]);
        all.damaged.insert(all.damaged.end(), c.damaged.begin(), c.damaged.end());
    }
    // A mip count far past the picture's size kept the platform busy for minutes.
    const std::string mips = Patch(Patch(seeds[0], 8, U32(0x20000 | 0x1007)), 28, U32(0xFFFFFFF0));
    all.refused = {
        folder.Write("mips.dds", mips),
        folder.Write("short.png", seeds[1].substr(0, 40)),
        folder.Write("bmp.bmp", Patch(seeds[2], 18, U32(0x7FFFFFFF))),
        folder.Write("runs.bmp", RunLengthBmp()),
        folder.Write("runs.tga", RunLengthTga()),
        folder.Write("blank.png", BlankPngBytes(8192, 8192)),
        // 1,500 scans over 2,048 x 2,048 in 30 KB: seconds a decode, once a mip level.
        folder.Write("scans.jpg", ProgressiveJpegBytes(2048, 2048, 1500)),
    };
    return all;
}

} // namespace

TEST(DamagedMedia, PicturesLoadOrGiveTheLoadError) {
    TempFolder folder;
    const Cases c = PictureCases(folder);
    Expect("image", c, kImageLoadFailed, folder);
    Expect("bitmap", c, kBitmapLoadFailed, folder);
}

TEST(DamagedMedia, SoundsLoadOrGiveTheLoadError) {
    TempFolder folder;
    Cases c = Damaged(folder, ".wav", {PcmWave(3000), MsAdpcmWave(), ImaAdpcmWave()}, 40);
    // 0 samples per block made the compression manager divide by zero.
    // A rate too low to make a frame made the compression manager divide by zero; 600 KB at
    // 8 kbit/s claim 100 MB of samples, more than its budget.
    c.refused = {folder.Write("zero.wav", MsAdpcmWave(0)),
                 folder.Write("ima0.wav", ImaAdpcmWave(0)),
                 folder.Write("mp3rate.wav", Mp3Wave(38, 4096)),
                 folder.Write("mp3claims.wav", Mp3Wave(1000, 600000)),
                 // A chunk size that wraps sent the multimedia reader round the file for ever.
                 folder.Write("wraps.wav", "RIFF" + U32(144) + "WAVEjunk" + U32(0xFFFFFFF8) +
                                               PcmWave(50).substr(12))};
    const std::vector<std::int32_t> probe = LoadInChild("sound", {c.good[0]}, folder);
    if (probe[0] == kSoundNotLoadable) {
        ASSERT_FALSE(AudioDevicePromised()) << "DirectSound found no device, yet one was set up";
        GTEST_SKIP() << "DirectSound has no device here";
    }
    Expect("sound", c, kSoundNotLoadable, folder);
}

TEST(DamagedMedia, MusicLoadsOrGivesTheLoadError) {
    TempFolder folder;
    std::vector<std::string> seeds = {PcmWave(3000)};
    for (const char* name : {"bell.oga", "message.oga"})
        if (std::string real = ReadFile(std::string(kRealSounds) + name); !real.empty())
            seeds.push_back(real);
    if (seeds.size() == 1)
        std::printf(
            "no real Ogg Vorbis files here (sound-theme-freedesktop): generated ones only\n");
    Cases c = Damaged(folder, ".ogg", seeds, 25);
    AviLayout badScale;
    badScale.scale = 0;
    badScale.type = "auds";
    // More than 64 channels killed the Vorbis decoder.
    c.refused = {folder.Write("avi.avi", AviFile(badScale)), folder.Write("silent.avi", AviFile()),
                 folder.Write("chans.ogg", OggPage(1, 0, 2, VorbisIdHeader(100)))};
    if (seeds.size() > 1)
        c.refused.push_back(folder.Write("real.ogg", Patch(seeds[1], 39, "\x64")));
    Expect("music", c, kMusicNotLoadable, folder);
}

TEST(DamagedMedia, AnimationsLoadOrGiveTheLoadError) {
    TempFolder folder;
    const std::string clip = ReadFile(ClipPath());
    ASSERT_FALSE(clip.empty()) << "the build makes " << ClipPath();
    Cases c = Damaged(folder, ".avi", {clip}, 40);
    const std::size_t scale = clip.find("strh") + 8 + 20;
    // A video the platform cannot decode, and files with no video at all, are no animation.
    std::string undecodable = clip;
    for (std::size_t at = 0; (at = undecodable.find("MJPG", at)) != std::string::npos;)
        undecodable.replace(at, 4, "QQQQ");
    // Headers claiming frames of 8192 x 8192 around the clip's small ones.
    const std::size_t main = clip.find("avih") + 8, format = clip.find("strf") + 8;
    const std::string claims =
        Patch(Patch(Patch(Patch(clip, main + 32, U32(8192)), main + 36, U32(8192)), format + 4,
                    U32(8192)),
              format + 8, U32(8192));
    // Frames whose own headers claim 16000 x 16000 inside small stream headers.
    std::string frames = clip;
    for (std::size_t at = 0; (at = frames.find("\xFF\xC0", at)) != std::string::npos; at += 2)
        frames.replace(at + 5, 4, Be16(16000) + Be16(16000));
    c.refused = {folder.Write("scale.avi", Patch(clip, scale, U32(0))),
                 folder.Write("claims.avi", claims),
                 folder.Write("frames.avi", frames),
                 folder.Write("codec.avi", undecodable),
                 folder.Write("tone.wav", PcmWave(2000)),
                 folder.Write("ogg.ogg", OggPage(1, 0, 2, VorbisIdHeader()))};
    Expect("animation", c, kAnimationNotLoadable, folder);
}

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--child") == 0)
        return RunChild(argv[2], argv[3], argv[4]);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
