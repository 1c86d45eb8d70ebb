#include "core/win32.h"

#include "music/music.h"
#include "core/error_numbers.h"
#include "support/engine_fixture.h"
#include "support/failing_rows.h"
#include "support/media_files.h"
#include "support/temp_folder.h"
#include "support/wave_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

class Music : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
    }
    void TearDown() override {
        MusicDestructor();
        SetMciSender(nullptr);
        EngineFixture::TearDown();
    }
    // Runs the per-frame update until done() holds or a while has passed.
    template <typename Done> bool UpdateUntil(Done done, unsigned ms = 8000) {
        return PumpUntil(
            [&] {
                MusicUpdate();
                return done();
            },
            ms);
    }
    TempFolder folder;
};

// What the CD paths send, with replies of our choosing.
std::vector<std::string> sent;
std::string trackCount = "5";
std::string mode = "playing";

MCIERROR FakeMci(const char* command, char* reply, UINT replySize, HWND) {
    sent.emplace_back(command);
    std::string answer;
    if (std::strcmp(command, "status cdaudio number of tracks") == 0) answer = trackCount;
    if (std::strcmp(command, "status cdaudio mode") == 0) answer = mode;
    if (reply && replySize) {
        std::strncpy(reply, answer.c_str(), replySize - 1);
        reply[replySize - 1] = '\0';
    }
    return 0;
}

} // namespace

TEST_F(Music, AWaveFilePlaysToItsEndAndLoops) {
    const std::string file = folder.Write("tone.wav", PcmWave(4410));
    LoadMusicFile(file.c_str(), 1);
    ASSERT_EQ(cell.number, 0);
    EXPECT_EQ(MusicExist(1), 1);
    EXPECT_EQ(GetMusicVolume(1), 100);
    EXPECT_EQ(GetMusicSpeed(1), 100);
    EXPECT_EQ(MusicPlaying(1), 0); // nothing plays yet
    PlayMusic(1);
    EXPECT_EQ(MusicPlaying(1), 1);
    EXPECT_TRUE(UpdateUntil([] { return MusicPlaying(1) == 0; })) << "no end of play";
    EXPECT_EQ(MusicLooping(1), 0);

    StopMusic(1); // rewinds
    LoopMusic(1);
    EXPECT_EQ(MusicLooping(1), 1);
    // Several ends later it still plays.
    PumpFor(1500);
    for (int i = 0; i < 50; ++i)
        MusicUpdate();
    EXPECT_EQ(MusicPlaying(1), 1);
    EXPECT_EQ(MusicLooping(1), 1);
    SetMusicVolume(1, 0);
    EXPECT_EQ(GetMusicVolume(1), 0);
    SetMusicSpeed(1, 150);
    EXPECT_EQ(GetMusicSpeed(1), 150);
    EXPECT_EQ(cell.number, 0);
    DeleteMusic(1);
    EXPECT_EQ(MusicExist(1), 0);
}

TEST_F(Music, StopOnAPausedPieceLeavesItPausedAndSkipped) {
    const std::string file = folder.Write("tone.wav", PcmWave(2205));
    LoadMusicFile(file.c_str(), 1);
    LoadMusicFile(file.c_str(), 2);
    PlayMusic(1);
    PauseMusic(1);
    EXPECT_EQ(MusicPaused(1), 1);
    EXPECT_EQ(MusicPlaying(1), 0);
    StopMusic(1);
    EXPECT_EQ(MusicPaused(1), 1);
    // The paused piece does not hold up the pieces after it.
    PlayMusic(2);
    EXPECT_TRUE(UpdateUntil([] { return MusicPlaying(2) == 0; }));
    ResumeMusic(1);
    EXPECT_EQ(MusicPaused(1), 0);
    EXPECT_EQ(MusicPlaying(1), 1);
    EXPECT_EQ(cell.number, 0);
}

TEST_F(Music, VolumesAndErrors) {
    EXPECT_EQ(MusicFileVolume(0), -10000);
    EXPECT_EQ(MusicFileVolume(-5), -10000);
    EXPECT_EQ(MusicFileVolume(1), -2475);
    EXPECT_EQ(MusicFileVolume(100), 0);
    // Volumes whose 32-bit product would wrap: positive (refused), never a loud -21.
    for (const std::int32_t volume : {171798791, 85899446, INT_MAX})
        EXPECT_GT(MusicFileVolume(volume), 0) << volume;
    // The speaker control gets a value inside its range for any volume.
    const struct {
        std::int32_t volume;
        DWORD value;
    } cd[] = {{-1, 0}, {INT_MIN, 0}, {0, 0}, {50, 32767}, {101, 65535}, {INT_MAX, 65535}};
    for (const auto& c : cd)
        EXPECT_EQ(MusicCdVolumeValue(0, 65535, c.volume), c.value) << c.volume;

    EXPECT_EQ(MusicExist(0), 0);
    EXPECT_EQ(cell.number, 3501);
    cell.number = 0;
    PlayMusic(22000001);
    EXPECT_EQ(cell.number, 3501);
    PlayMusic(7);
    EXPECT_EQ(cell.number, 3504);
    cell.number = 0;
    LoadMusicFile(folder.File("missing.wav").c_str(), 1);
    EXPECT_EQ(cell.number, 3502);
    EXPECT_EQ(MusicExist(1), 0);
    // A truncated wave and noise: the load error, no hang, the number stays free.
    const std::string good = PcmWave(2205);
    cell.number = 0;
    LoadMusicFile(folder.Write("cut.wav", good.substr(0, 30)).c_str(), 1);
    EXPECT_EQ(cell.number, 3502);
    cell.number = 0;
    LoadMusicFile(folder.Write("noise.wav", std::string(5000, '\x5a')).c_str(), 1);
    EXPECT_EQ(cell.number, 3502);
    cell.number = 0;
    LoadMusicFile(std::string(400, 'a').c_str(), 1);
    EXPECT_EQ(cell.number, 3502);
    EXPECT_EQ(MusicExist(1), 0);
    cell.number = 0;
    LoadMusicFile(folder.Write("ok.wav", good).c_str(), 1);
    ASSERT_EQ(cell.number, 0);
    LoadMusicFile(folder.File("ok.wav").c_str(), 1);
    EXPECT_EQ(cell.number, 3503);
    cell.number = 0;
    SetMusicSpeed(1, -1);
    EXPECT_EQ(cell.number, 3506);
    EXPECT_EQ(GetMusicSpeed(1), 100);
}

TEST_F(Music, CdTracksSendTheirMciStrings) {
    sent.clear();
    trackCount = "5";
    mode = "playing";
    SetMciSender(FakeMci);
    LoadCdMusic(0, 1);
    EXPECT_EQ(cell.number, 3508);
    cell.number = 0;
    LoadCdMusic(2, 1);
    LoadCdMusic(5, 2);
    ASSERT_EQ(cell.number, 0);
    EXPECT_EQ(GetMusicVolume(1), 0);
    EXPECT_EQ(sent[0], "open cdaudio");
    EXPECT_EQ(sent[1], "set cdaudio time format tmsf");
    sent.clear();
    PlayMusic(1);
    PlayMusic(2); // the last track: no "to"
    EXPECT_EQ(sent, (std::vector<std::string>{
                        "status cdaudio number of tracks", "play cdaudio from 2 to 3",
                        "status cdaudio number of tracks", "play cdaudio from 5"}));
    EXPECT_EQ(GetCdTrackCount(), 5);

    // A looping track starts again whenever the drive reports "stopped"; a plain one ends.
    LoopMusic(1);
    sent.clear();
    mode = "stopped";
    MusicUpdate();
    EXPECT_EQ(MusicLooping(1), 1);
    EXPECT_EQ(MusicPlaying(1), 1);
    EXPECT_EQ(MusicPlaying(2), 0);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "play cdaudio from 2 to 3"), 1);
    sent.clear();
    PauseMusic(1);
    ResumeMusic(1);
    StopMusic(1);
    EXPECT_EQ(sent, (std::vector<std::string>{"pause cdaudio", "resume cdaudio", "stop cdaudio"}));
    // Speed on a CD track does nothing, not even store the value.
    SetMusicSpeed(1, 50);
    EXPECT_EQ(GetMusicSpeed(1), 0);
    EXPECT_EQ(cell.number, 0);
    sent.clear();
    MusicDestructor();
    EXPECT_EQ(sent, (std::vector<std::string>{"stop cdaudio", "close cdaudio"}));
    EXPECT_EQ(MusicExist(1), 0);
}

// A load that runs out of memory (its record, or the walk of the file's streams) is the load's
// error, and the number stays free.
TEST_F(Music, OutOfMemoryLoadsNothing) {
    const std::string wave =
        folder.Write("tone-named-longer-than-a-short-string.wav", PcmWave(2205));
    const std::string avi = folder.Write("clip.avi", AviFile());
    using failing_heap::FailingRow;
    failing_heap::CheckFailingRows({
        FailingRow{"LoadMusicFile", [&] { LoadMusicFile(wave.c_str(), 1); },
                   [] { return std::to_string(MusicExist(1)); }, kMusicNotLoadable,
                   [] { DeleteMusic(1); }},
        FailingRow{"LoadMusicFile of a clip", [&] { LoadMusicFile(avi.c_str(), 2); },
                   [] { return std::to_string(MusicExist(2)); }, kMusicNotLoadable},
    });
}
