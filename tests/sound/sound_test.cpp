#include "core/win32.h"

#include "core/load_budget.h"
#include "sound/sound.h"
#include "sound/sound_state.h"
#include "core/error_numbers.h"
#include "memblock/memblock.h"
#include "support/engine_fixture.h"
#include "support/failing_rows.h"
#include "support/failing_saves.h"
#include "support/temp_folder.h"
#include "support/wave_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <utility>

namespace {

std::string AdpcmWave(int blocks) {
    std::string data;
    for (int b = 0; b < blocks; ++b) {
        data += U16(0) + std::string(1, '\x10') + std::string(1, '\0');
        for (int i = 0; i < 252; ++i)
            data += static_cast<char>((i * 37 + b) & 0xFF);
    }
    const std::string format =
        U16(0x11) + U16(1) + U32(22050) + U32(11100) + U16(256) + U16(4) + U16(2) + U16(505);
    return "RIFF" + U32(static_cast<std::uint32_t>(4 + 8 + format.size() + 8 + data.size())) +
           "WAVEfmt " + U32(static_cast<std::uint32_t>(format.size())) + format + "data" +
           U32(static_cast<std::uint32_t>(data.size())) + data;
}

class Sound : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        if (SoundReady()) return;
        ASSERT_FALSE(AudioDevicePromised())
            << "DirectSound found no device, yet the runner set one up: " << WhyNoDevice();
        GTEST_SKIP() << "DirectSound has no device here";
    }
    // The step of the module's start-up that fails, tried again here, for the failure message.
    static std::string WhyNoDevice() {
        IDirectSound8* ds = nullptr;
        HRESULT hr = DirectSoundCreate8(nullptr, &ds, nullptr);
        char text[96];
        std::snprintf(text, sizeof text, "DirectSoundCreate8 %08lx",
                      static_cast<unsigned long>(hr));
        std::string why = text;
        if (FAILED(hr)) return why;
        hr = ds->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY);
        std::snprintf(text, sizeof text, ", SetCooperativeLevel %08lx",
                      static_cast<unsigned long>(hr));
        why += text;
        DSBUFFERDESC d{};
        d.dwSize = sizeof d;
        d.dwFlags = DSBCAPS_PRIMARYBUFFER;
        IDirectSoundBuffer* primary = nullptr;
        hr = ds->CreateSoundBuffer(&d, &primary, nullptr);
        std::snprintf(text, sizeof text, ", primary buffer %08lx", static_cast<unsigned long>(hr));
        if (primary) primary->Release();
        ds->Release();
        return why + text;
    }
    std::string Wave(const std::string& name, const std::string& bytes) {
        return folder.Write(name, bytes);
    }
    static IDirectSoundBuffer* Buffer(std::int32_t n) {
        auto* r = static_cast<SoundRecord*>(g_Sound.sounds.Find(n));
        return r && r->sound ? r->sound->BufferAt(0) : nullptr;
    }
    static bool BufferPlaying(std::int32_t n) {
        DWORD status = 0;
        return Buffer(n) && SUCCEEDED(Buffer(n)->GetStatus(&status)) &&
               (status & DSBSTATUS_PLAYING);
    }
    TempFolder folder;
};

} // namespace

TEST_F(Sound, MangledWavesFailCleanly) {
    const std::string good = PcmWave(2000);
    const std::string cases[] = {
        "not a riff file at all",
        "RIFF" + U32(100) + "AVI LIST",
        "RIFF" + U32(28) + "WAVEfmt " + U32(12) + std::string(12, '\1'), // short fmt chunk
        good.substr(0, 30),                                              // cut inside fmt
        good.substr(0, 36),                                              // no data chunk
        good.substr(0, 40) + U32(0xFFFFFFF0) + good.substr(44, 100),     // absurd data size
        good.substr(0, 40) + U32(0),                                     // no data
        std::string(),
    };
    int i = 0;
    for (const std::string& bytes : cases) {
        cell.number = 0;
        LoadSound(Wave("bad" + std::to_string(i++) + ".wav", bytes).c_str(), 1);
        EXPECT_EQ(cell.number, 3002) << "case " << i - 1;
        EXPECT_EQ(SoundExist(1), 0);
    }
    // A file cut short of what its data chunk claims plays what it holds.
    LoadSound(Wave("short.wav", good.substr(0, good.size() - 1000)).c_str(), 2);
    EXPECT_EQ(SoundExist(2), 1);
    EXPECT_EQ(g_Sound.current->sound->Size(), good.size() - 1000 - 44);
    // A plain wave whose bytes per second disagree with its rate and block, as some writers make
    // them, plays.
    LoadSound(Wave("rate.wav", good.substr(0, 28) + U32(12345) + good.substr(32)).c_str(), 5);
    EXPECT_EQ(SoundExist(5), 1);
}

// The multimedia reader skips chunks by the sizes they claim, in 32 bits: a size that wraps sent
// it back into the file for ever, and the load never returned. Every way a wave is read walks its
// chunks first, as the music route does, and refuses such a file with the load's error.
TEST_F(Sound, ChunkSizesThatWrapAreRefusedByEveryWayAWaveIsRead) {
    const std::string good = PcmWave(50); // 144 bytes
    const auto riff = [](const std::string& body) {
        return "RIFF" + U32(static_cast<std::uint32_t>(body.size())) + body;
    };
    const std::string files[] = {
        Wave("first.wav", riff("WAVE" + ("junk" + U32(0xFFFFFFF8)) + good.substr(12))),
        Wave("between.wav", riff(good.substr(8, 28) + "LIST" + U32(0xFFFFFFF0) + good.substr(36))),
        Wave("format.wav", riff("WAVEfmt " + U32(0xFFFFFFF0) + good.substr(20))),
    };
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    for (const std::string& file : files) {
        for (const auto load : {LoadSound, Load3DSound}) {
            cell.number = 0;
            load(file.c_str(), 1);
            EXPECT_EQ(cell.number, 3002) << file;
        }
        EXPECT_EQ(SoundExist(1), 0);
        WaveFile wave;
        EXPECT_EQ(wave.Open(file.c_str(), nullptr, 1), E_FAIL) << file;
        StreamingSound* stream = nullptr;
        EXPECT_EQ(g_Sound.manager->CreateStreamingSound(&stream, file.c_str(), 0, GUID_NULL, 4,
                                                        1024, event),
                  E_FAIL)
            << file;
        delete stream;
    }
    CloseHandle(event);
}

// A plain wave charges its buffer and the set's copy of the samples, nothing more; loaded inside
// another load, it adds its file's share to that load's budget.
TEST_F(Sound, APlainWaveChargesItsBuffersAndJoinsARunningLoad) {
    const std::string wave = PcmWave(1000); // 2,000 bytes of samples
    const std::string file = Wave("plain.wav", wave);
    LoadSound(file.c_str(), 1);
    EXPECT_EQ(LastLoadCharged(), 2u * 2000);
    Load3DSound(file.c_str(), 2);
    EXPECT_EQ(LastLoadCharged(), 2u * 2000);
    LoadScope outer(1000);
    LoadSound(file.c_str(), 3);
    ASSERT_EQ(cell.number, 0);
    EXPECT_EQ(LoadLimit(), LoadBudgetFor(1000 + wave.size()));
    EXPECT_EQ(LoadCharged(), 2u * 2000);
}

TEST_F(Sound, RandomDamageNeverCrashes) {
    const std::string good = PcmWave(500);
    std::mt19937 rng(99);
    for (int round = 0; round < 150; ++round) {
        std::string bytes = good;
        for (int hits = 1 + rng() % 6; hits > 0; --hits)
            bytes[rng() % 60] = static_cast<char>(rng());
        if (rng() % 4 == 0) bytes.resize(rng() % bytes.size());
        LoadSound(Wave("fuzz.wav", bytes).c_str(), 3);
        if (SoundExist(3)) {
            PlaySound(3);
            DeleteSound(3);
        }
    }
    SUCCEED();
}

TEST_F(Sound, CompressedWavesAreConvertedAndPlay) {
    LoadSound(Wave("ima.wav", AdpcmWave(8)).c_str(), 4);
    ASSERT_EQ(cell.number, 0);
    const SoundRecord* r = g_Sound.current;
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->sound->Format()->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(r->sound->Size(), 8u * 505 * 2); // 16-bit samples
    // The load charged the samples it made: the buffer and its copy at least.
    EXPECT_GE(LastLoadCharged(), 2u * r->sound->Size());
    EXPECT_LE(LastLoadCharged(), LastLoadLimit());
    PlaySound(4);
    EXPECT_EQ(SoundPlaying(4), 1);
    EXPECT_TRUE(BufferPlaying(4));
}

TEST_F(Sound, LoadingRulesAndRangeErrors) {
    const std::string mono = Wave("mono.wav", PcmWave(1000));
    const std::string other = Wave("other.wav", PcmWave(3000));
    const std::string stereo = Wave("stereo.wav", PcmWave(1000, 2));
    const std::string ogg = Wave("tune.OgG", PcmWave(100));
    const std::string saved = folder.File("saved.wav");
    LoadSound(mono.c_str(), 5);
    const SoundRecord* first = g_Sound.current;
    const std::pair<std::function<void()>, std::int32_t> cases[] = {
        {[&] { LoadSound(other.c_str(), 5); }, 3003},    // the number is taken
        {[&] { Load3DSound(stereo.c_str(), 6); }, 3002}, // a 3D sound is mono
        {[&] { LoadSound(ogg.c_str(), 7); }, 3002},      // known by its name, whatever its bytes
        {[&] { LoadSound(mono.c_str(), 0); }, 3001},
        {[] { LoadSound("", 8); }, 3002},
        {[] { PlaySound(9); }, 3004},
        {[] { CloneSound(5, 5); }, 3003},
        {[] { PlaySoundEx(5, -1); }, 3000},
        {[] { SetSoundVolume(5, 101); }, 3005},
        {[] { SetSoundSpeed(5, 99); }, 3006},
        {[] { SetSoundPan(5, 10001); }, 3007},
        {[&] { SaveSound(saved.c_str(), 5); }, 3008}, // only a recording can be saved
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        cell.number = 0;
        cases[i].first();
        EXPECT_EQ(cell.number, cases[i].second) << "case " << i;
    }
    EXPECT_EQ(g_Sound.sounds.Find(5), first);
    for (std::int32_t n : {6, 7, 8})
        EXPECT_EQ(SoundExist(n), 0) << n;
}

TEST_F(Sound, VolumePanAndSpeedReachTheBuffer) {
    LoadSound(Wave("v.wav", PcmWave(1000)).c_str(), 1);
    LONG volume = 1;
    SetSoundVolume(1, 50);
    Buffer(1)->GetVolume(&volume);
    EXPECT_EQ(volume, -4800);
    SetSoundVolume(1, 0);
    Buffer(1)->GetVolume(&volume);
    EXPECT_EQ(volume, -9600);
    SetSoundPan(1, -2500);
    EXPECT_EQ(SoundPan(1), -2500);
    SetSoundSpeed(1, 44100);
    EXPECT_EQ(SoundSpeed(1), 44100);
}

TEST_F(Sound, LoopsJumpBackAndPlayStateFollowsTheBuffer) {
    LoadSound(Wave("loop.wav", PcmWave(22050)).c_str(), 1);
    LoopSound(1, 1000, 8000);
    EXPECT_EQ(SoundLooping(1), 1);
    Buffer(1)->SetCurrentPosition(20000); // past the end of the range
    SoundUpdate();
    DWORD cursor = 0;
    Buffer(1)->GetCurrentPosition(&cursor, nullptr);
    EXPECT_GE(cursor, 1000u);
    EXPECT_LT(cursor, 12000u);

    PauseSound(1);
    EXPECT_EQ(SoundPaused(1), 1);
    EXPECT_FALSE(BufferPlaying(1));
    ResumeSound(1);
    EXPECT_TRUE(BufferPlaying(1));
    StopSound(1);
    EXPECT_EQ(SoundPlaying(1), 0);
    EXPECT_EQ(SoundLooping(1), 0);

    LoadSound(Wave("blip.wav", PcmWave(500)).c_str(), 2);
    PlaySound(2);
    PauseSound(2);
    EXPECT_EQ(SoundPlaying(2), 1); // until the update sees the buffer stopped
    SoundUpdate();
    EXPECT_EQ(SoundPlaying(2), 0);
    PlaySound(2);
    EXPECT_TRUE(PumpUntil([] {
        SoundUpdate();
        return SoundPlaying(2) == 0;
    })) << "a 23 ms sound should end";
}

TEST_F(Sound, ThreeDimensionalSoundsAndTheListener) {
    Load3DSound(Wave("m.wav", PcmWave(2000)).c_str(), 1);
    ASSERT_EQ(cell.number, 0);
    EXPECT_EQ(SoundPan(1), 0); // a 3D buffer has no pan
    PositionSound(1, 100, 0, -50);
    SoundUpdate();
    SoundUpdate(); // deferred settings take effect every second update
    D3DVECTOR p{};
    g_Sound.current = static_cast<SoundRecord*>(g_Sound.sounds.Find(1));
    g_Sound.current->buffer3D->GetPosition(&p);
    EXPECT_NEAR(p.x, 1.0f, 1e-4);
    EXPECT_NEAR(p.z, -0.5f, 1e-4);
    PositionSound(1, 105, 0, -50); // a move of 0.05: not sent
    EXPECT_FLOAT_EQ(g_Sound.current->sentPosition[0], 1.0f);

    RotateListener(0, 90, 0);
    SoundUpdate();
    SoundUpdate();
    D3DVECTOR front{}, top{};
    ASSERT_NE(g_Sound.listener, nullptr);
    g_Sound.listener->GetOrientation(&front, &top);
    EXPECT_NEAR(front.x, 1.0f, 1e-3);
    EXPECT_NEAR(front.z, 0.0f, 1e-3);
    EXPECT_NEAR(top.y, 1.0f, 1e-3);
}

TEST_F(Sound, ValuesThatAreNotNumbersNeverReachTheThreeDimensionalMix) {
    Load3DSound(Wave("m.wav", PcmWave(2000)).c_str(), 1);
    ASSERT_NE(g_Sound.listener, nullptr);
    IDirectSound3DBuffer* buffer = static_cast<SoundRecord*>(g_Sound.sounds.Find(1))->buffer3D;
    ASSERT_NE(buffer, nullptr);
    PositionSound(1, 100, 0, -50);
    PositionListener(10, 20, 30);
    ScaleListener(2);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // Each: a position of the sound, one of the listener, an angle and a scale.
    for (const float bad : {nan, inf, -inf, 1e37f}) {
        const float position = bad == 1e37f ? nan : bad; // 1e37 places, but scales past a float
        PositionSound(1, position, 0, 0);
        PositionListener(0, position, 0);
        RotateListener(position, 0, 0);
        ScaleListener(bad);
        SoundUpdate();
        SoundUpdate();
        D3DVECTOR sound{}, listener{}, front{}, top{};
        D3DVALUE nearest = 0;
        buffer->GetPosition(&sound);
        g_Sound.listener->GetPosition(&listener);
        g_Sound.listener->GetOrientation(&front, &top);
        buffer->GetMinDistance(&nearest);
        EXPECT_FLOAT_EQ(sound.x, 1.0f) << bad;
        EXPECT_FLOAT_EQ(listener.y, 0.2f) << bad;
        EXPECT_TRUE(std::isfinite(front.x) && std::isfinite(top.y)) << bad;
        EXPECT_EQ(nearest, 2.0f) << bad;
    }
    EXPECT_TRUE(std::isnan(SoundPositionX(1))); // stored as given
}

TEST_F(Sound, ClonesShareTheData) {
    LoadSound(Wave("c.wav", PcmWave(1000)).c_str(), 1);
    CloneSound(2, 1);
    EXPECT_EQ(cell.number, 0);
    EXPECT_EQ(SoundExist(2), 1);
    PlaySound(2);
    EXPECT_TRUE(BufferPlaying(2));
    DeleteSound(1);
    PlaySound(2); // the clone outlives its source
    EXPECT_TRUE(BufferPlaying(2));
}

TEST_F(Sound, WriterAndDataRoundTrips) {
    WAVEFORMATEX f{WAVE_FORMAT_PCM, 1, 11025, 11025, 1, 8, 0}; // 8-bit mono
    std::string samples(3000, '\0');
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<char>(i * 7);
    const std::string name = folder.File("written.wav");
    ASSERT_TRUE(WriteWaveFile(name.c_str(), reinterpret_cast<const std::uint8_t*>(samples.data()),
                              3000, &f));
    const std::string bytes = TempFolder::Read(name);
    ASSERT_EQ(bytes.size(), 44u + 3000u);
    EXPECT_EQ(bytes.substr(44), samples);
    WaveFile wave;
    ASSERT_EQ(wave.Open(name.c_str(), nullptr, 1), S_OK);
    EXPECT_EQ(wave.DataSize(), 3000u);
    EXPECT_EQ(wave.Format()->nSamplesPerSec, 11025u);

    ASSERT_TRUE(
        MakeSoundFromData(3, reinterpret_cast<const std::uint8_t*>(samples.data()), 3000, &f));
    std::uint32_t bits = 0, perSecond = 0, seconds = 9, size = 0;
    std::uint8_t* data = nullptr;
    WAVEFORMATEX back{};
    MakeMemblockFromSound(3, &bits, &perSecond, &seconds, &data, &size, 1, &back);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(size, 3000u);
    EXPECT_EQ(std::memcmp(data, samples.data(), 3000), 0);
    EXPECT_EQ(back.nSamplesPerSec, 11025u);
    EXPECT_EQ(bits, 11025u * 8);
    EXPECT_EQ(seconds, 0u);
    MakeMemblockFromSound(3, nullptr, nullptr, nullptr, &data, nullptr, 0, nullptr);
    EXPECT_EQ(data, nullptr);

    WAVEFORMATEX broken = f;
    broken.nChannels = 0;
    EXPECT_FALSE(
        MakeSoundFromData(4, reinterpret_cast<const std::uint8_t*>(samples.data()), 3000, &broken));
    EXPECT_EQ(SoundExist(4), 0); // a failed make leaves the number free
    seconds = 9;
    MakeMemblockFromSound(4, &bits, &perSecond, &seconds, &data, &size, 1, &back);
    EXPECT_EQ(seconds, 9u); // nothing for a missing sound
}

TEST_F(Sound, RecordingMakesASoundThatCanBeSaved) {
    RecordSound(5, 2000);
    if (!g_Sound.recordDevice) GTEST_SKIP() << "no wave input device here";
    RecordSound(6, 2000); // drops the recording of 5
    Sleep(300);
    StopRecordingSound();
    ASSERT_EQ(SoundExist(6), 1);
    EXPECT_EQ(SoundExist(5), 0);
    const std::string saved = folder.File("recorded.wav");
    SaveSound(saved.c_str(), 6);
    EXPECT_EQ(cell.number, 0);
    EXPECT_EQ(TempFolder::Read(saved).substr(0, 4), "RIFF");
    // A recording of no time at all is the shortest one: the next recording's stop of it returns.
    RecordSound(7, 0);
    RecordSound(7, -5);
    // The driver's thread must have taken its millisecond before the stop, or there is no wave:
    // a loaded machine can keep it waiting.
    Sleep(300);
    StopRecordingSound();
    EXPECT_EQ(SoundExist(7), 1);
}

// A recording of sound 7 as StopRecordingSound leaves one: its wave in the temporary data
// folder, the sound loaded from it and marked recorded. The wave's path, or empty.
namespace {
std::string MakeRecording() {
    char folder[MAX_PATH] = {};
    GetTempDataFolder(folder, sizeof folder);
    const std::string recording = std::string(folder) + "\\tempfile7.wav";
    std::ofstream(recording, std::ios::binary) << PcmWave(60000);
    LoadSound(recording.c_str(), 7);
    auto* r = static_cast<SoundRecord*>(g_Sound.sounds.Find(7));
    if (!r) return {};
    r->recorded = 1;
    return recording;
}
} // namespace

// A recording saved with no name or an empty one: nothing is written, and 3008 says so.
TEST_F(Sound, SavesWithoutANameSaySo) {
    const std::string recording = MakeRecording();
    ASSERT_NE(recording, "");
    CheckUnnamedSaves("SaveSound", 3008, [](const char* name) { SaveSound(name, 7); });
    DeleteSound(7);
    DeleteFileA(recording.c_str());
}

// A recording saved where the save must fail: the file it would replace stays as it was and 3008
// is raised.
class SoundSavesOnTestDisks : public Sound {};

TEST_F(SoundSavesOnTestDisks, FailedSavesKeepTheOldFile) {
    const std::string recording = MakeRecording();
    ASSERT_NE(recording, "");
    CheckFailingSaves(
        "SaveSound", kEverySaveFault, 3008,
        [](const std::string& target) { SaveSound(target.c_str(), 7); }, "saved.wav",
        SeededBytes(100000, 21));
    DeleteSound(7);
    DeleteFileA(recording.c_str());
}

TEST(SoundNotReady, EveryCommandIsSilent) {
    RuntimeErrorRecord cell;
    SetModuleErrorPointer(&cell);
    SoundDestructor();
    LoadSound("x.wav", 1);
    PlaySound(0);
    LoopSound(1, 0, 10);
    SetSoundVolume(1, 500);
    EXPECT_EQ(SoundPlaying(1), 0);
    EXPECT_EQ(SoundExist(0), 0);
    EXPECT_EQ(MakeSoundFromData(1, nullptr, 0, nullptr), false);
    RecordSound(1);
    StopRecordingSound();
    PositionListener(1, 2, 3);
    EXPECT_EQ(cell.number, 0);
    SetModuleErrorPointer(nullptr);
}

// Running out of memory loads nothing under a free number and leaves a sound in use as it was:
// a sound made from a block, or a clone, replaces nothing until it is whole.
TEST_F(Sound, OutOfMemoryKeepsTheSoundsThereWere) {
    const std::string wave = folder.Write("tone-with-a-name-longer-than-short.wav", PcmWave(2205));
    LoadSound(wave.c_str(), 3);
    ASSERT_EQ(SoundExist(3), 1);
    ASSERT_EQ(CreateMemblockFromSound(1, 3), 1);
    LoadSound(folder.Write("short.wav", PcmWave(100)).c_str(), 5);
    const auto sounds = [] {
        std::string print;
        for (std::int32_t n : {3, 4, 5, 6}) {
            const auto* r = static_cast<const SoundRecord*>(g_Sound.sounds.Find(n));
            print += r && r->sound ? std::to_string(r->sound->Size()) + ";" : "-;";
        }
        return print;
    };
    char folderName[MAX_PATH];
    using failing_heap::FailingRow;
    failing_heap::CheckFailingRows({
        FailingRow{"LoadSound", [&] { LoadSound(wave.c_str(), 6); }, sounds, kSoundNotLoadable,
                   [] { DeleteSound(6); }},
        FailingRow{"CreateSoundFromMemblock", [] { CreateSoundFromMemblock(5, 1); }, sounds,
                   kSoundNotLoadable},
        FailingRow{"CloneSound", [] { CloneSound(4, 3); }, sounds, kSoundNotCloned},
        FailingRow{"GetTempDataFolder", [&] { GetTempDataFolder(folderName, sizeof folderName); },
                   [] { return std::string(); }, 0},
    });
    EXPECT_NE(std::string(folderName).find("tuldata"), std::string::npos);
}
