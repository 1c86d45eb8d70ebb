#include "core/win32.h"

#include "image/image.h"
#include "music/music.h"
#include "support/jpeg_files.h"
#include "core/error_numbers.h"
#include "support/engine_fixture.h"
#include "support/failing_rows.h"
#include "support/media_files.h"
#include "support/temp_folder.h"
#include "support/wave_files.h"
#include "display/display.h"
#include "video/graph_deadline.h"
#include "video/texture_renderer.h"
#include "video/video.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kWidth = 64, kHeight = 48, kFrames = 5, kRate = 10;

// Frame k's colour (0xRRGGBB) in each quadrant: 0 top-left, 1 top-right, 2 bottom-left, 3
// bottom-right.
std::uint32_t QuadrantColour(int k, int quadrant) {
    const std::uint32_t r = 30 + 40 * k, g = 200 - 30 * quadrant, b = 17 + 50 * quadrant;
    return r << 16 | g << 8 | b;
}

std::uint32_t SourceColour(int k, int x, int y) {
    return QuadrantColour(k, (y >= kHeight / 2 ? 2 : 0) + (x >= kWidth / 2 ? 1 : 0));
}

std::string List(const std::string& type, const std::string& body) {
    return Chunk("LIST", type + body);
}

// An AVI of one video stream: its codec (the format's), the size each frame takes and the frames
// (data chunks), with an index listing them unless another index is given.
std::string VideoAvi(const std::string& codec, std::uint32_t frameBytes,
                     const std::vector<std::string>& frames, const std::string& chunkId = "00dc",
                     const std::string* index = nullptr) {
    const std::uint32_t frameCount = static_cast<std::uint32_t>(frames.size());
    std::string avih = U32(1000000 / kRate) + U32(frameBytes * kRate) + U32(0) + U32(0x10) +
                       U32(frameCount) + U32(0) + U32(1) + U32(frameBytes) + U32(kWidth) +
                       U32(kHeight) + std::string(16, '\0');
    std::string strh = std::string("vids") + codec + U32(0) + U16(0) + U16(0) + U32(0) + U32(1) +
                       U32(kRate) + U32(0) + U32(frameCount) + U32(frameBytes) + U32(0xffffffff) +
                       U32(0) + U16(0) + U16(0) + U16(kWidth) + U16(kHeight);
    std::string strf = U32(40) + U32(kWidth) + U32(kHeight) + U16(1) + U16(24) + codec +
                       U32(frameBytes) + U32(0) + U32(0) + U32(0) + U32(0);
    std::string movi, idx1;
    for (const std::string& frame : frames) {
        idx1 += AviIndexEntry(chunkId, static_cast<std::uint32_t>(4 + movi.size()),
                              static_cast<std::uint32_t>(frame.size()));
        movi += Chunk(chunkId, frame);
    }
    const std::string body =
        List("hdrl",
             Chunk("avih", avih) + List("strl", Chunk("strh", strh) + Chunk("strf", strf))) +
        List("movi", movi) + Chunk("idx1", index ? *index : idx1);
    return "RIFF" + U32(static_cast<std::uint32_t>(4 + body.size())) + "AVI " + body;
}

// An uncompressed RGB24 AVI of quadrant frames, stored bottom-up as bitmaps are.
std::string RawAvi() {
    const std::uint32_t frameBytes = kWidth * 3 * kHeight;
    std::vector<std::string> frames;
    for (int k = 0; k < kFrames; ++k) {
        std::string pixels;
        for (int row = 0; row < kHeight; ++row) {
            const int y = kHeight - 1 - row;
            for (int x = 0; x < kWidth; ++x) {
                const std::uint32_t c = SourceColour(k, x, y);
                pixels += static_cast<char>(c & 0xff);
                pixels += static_cast<char>(c >> 8 & 0xff);
                pixels += static_cast<char>(c >> 16 & 0xff);
            }
        }
        frames.push_back(pixels);
    }
    return VideoAvi(std::string(4, '\0'), frameBytes, frames, "00db");
}

std::string ClipPath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string program(path);
    return program.substr(0, program.rfind('\\')) + "\\test-data\\quads-mjpeg.avi";
}

// The Motion-JPEG clip's frames: a real encoder's pictures, one per data chunk.
std::vector<std::string> ClipFrames() {
    const std::string clip = TempFolder::Read(ClipPath());
    std::vector<std::string> frames;
    for (std::size_t at = clip.find("movi") + 4;
         at + 8 <= clip.size() && clip.compare(at, 4, "00dc") == 0;) {
        std::uint32_t size = 0;
        std::memcpy(&size, clip.data() + at + 4, 4);
        frames.push_back(clip.substr(at + 8, size));
        at += 8 + size + (size & 1);
    }
    return frames;
}

// The frame with its header claiming a square of `size`.
std::string Claiming(std::string jpeg, std::uint16_t size) {
    return jpeg.replace(jpeg.find("\xFF\xC0") + 5, 4, Be16(size) + Be16(size));
}

// Texels (0xRRGGBB) of a 32-bit texture's level 0, row by row; empty when it cannot be read.
std::vector<std::uint32_t> ReadTexture(IDirect3DTexture9* texture, int width, int height) {
    std::vector<std::uint32_t> out;
    D3DLOCKED_RECT locked{};
    if (!texture || FAILED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) return out;
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(
            static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch);
        for (int x = 0; x < width; ++x)
            out.push_back(row[x] & 0xffffff);
    }
    texture->UnlockRect(0);
    return out;
}

// A sample of chosen bytes, as an upstream allocator would hand it over.
class BytesSample final : public IMediaSample {
public:
    BytesSample(std::vector<BYTE> bytes, long actual) : bytes_(std::move(bytes)), actual_(actual) {}
    STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetPointer(BYTE** out) override {
        *out = bytes_.data();
        return S_OK;
    }
    STDMETHODIMP_(long) GetSize() override { return static_cast<long>(bytes_.size()); }
    STDMETHODIMP GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override {
        return VFW_E_SAMPLE_TIME_NOT_SET;
    }
    STDMETHODIMP SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
    STDMETHODIMP IsSyncPoint() override { return S_OK; }
    STDMETHODIMP SetSyncPoint(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP IsPreroll() override { return S_FALSE; }
    STDMETHODIMP SetPreroll(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP_(long) GetActualDataLength() override { return actual_; }
    STDMETHODIMP SetActualDataLength(long) override { return E_NOTIMPL; }
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE**) override { return S_FALSE; }
    STDMETHODIMP SetMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP IsDiscontinuity() override { return S_FALSE; }
    STDMETHODIMP SetDiscontinuity(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetMediaTime(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }
    STDMETHODIMP SetMediaTime(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }

private:
    std::vector<BYTE> bytes_;
    long actual_;
};

// A video type whose format block is a VIDEOINFOHEADER of this size, cut to formatBytes.
struct VideoType {
    VideoType(int width, int height, GUID subtype = MEDIASUBTYPE_RGB24,
              ULONG formatBytes = sizeof(VIDEOINFOHEADER)) {
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = height;
        info.bmiHeader.biBitCount = 24;
        type.majortype = MEDIATYPE_Video;
        type.subtype = subtype;
        type.formattype = FORMAT_VideoInfo;
        type.cbFormat = formatBytes;
        type.pbFormat = reinterpret_cast<BYTE*>(&info);
    }
    VIDEOINFOHEADER info{};
    AM_MEDIA_TYPE type{};
};

class Video : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        file = folder.Write("quads.avi", RawAvi());
    }
    void TearDown() override {
        AnimationDestructor();
        EngineFixture::TearDown();
    }
    // Runs the per-frame update until done() holds or a while has passed.
    template <typename Done> bool UpdateUntil(Done done, unsigned ms = 8000) {
        return PumpUntil(
            [&] {
                AnimationUpdate();
                return done();
            },
            ms);
    }
    // Loads the clip into n and requires it to have come through the texture renderer.
    void LoadClip(std::int32_t n) {
        LoadAnimation(file.c_str(), n);
        ASSERT_EQ(cell.number, 0);
        ASSERT_NE(GetAnimationTexture(n), nullptr) << "the video did not reach the renderer";
    }
    TempFolder folder;
    std::string file;
};

} // namespace

TEST_F(Video, PlaysIntoTheTextureTopRowFirst) {
    LoadClip(1);
    // Before any play: the natural size.
    EXPECT_EQ(GetAnimationWidth(1), kWidth);
    EXPECT_EQ(GetAnimationHeight(1), kHeight);
    float u = 0, v = 0;
    IDirect3DTexture9* texture = GetAnimationTexture(1, &u, &v);
    D3DSURFACE_DESC desc{};
    ASSERT_TRUE(SUCCEEDED(texture->GetLevelDesc(0, &desc)));
    EXPECT_FLOAT_EQ(u, static_cast<float>(kWidth) / desc.Width);
    EXPECT_FLOAT_EQ(v, static_cast<float>(kHeight) / desc.Height);

    const DWORD start = timeGetTime();
    PlayAnimation(1, 10, 20);
    EXPECT_EQ(GetAnimationWidth(1), kWidth); // a place without a size keeps the natural one
    ASSERT_TRUE(UpdateUntil([] { return AnimationPlaying(1) == 0; })) << "no end of play";
    // The clip lasts 500 ms: an unpaced renderer would take every frame at once.
    EXPECT_GE(timeGetTime() - start, 250u);

    // The last frame stays in the buffer; one more update copies it.
    AnimationUpdate();
    const std::vector<std::uint32_t> texels = ReadTexture(texture, kWidth, kHeight);
    ASSERT_EQ(texels.size(), static_cast<size_t>(kWidth * kHeight));
    for (int y : {0, 23, 24, 47})
        for (int x : {0, 31, 32, 63})
            EXPECT_EQ(texels[y * kWidth + x], SourceColour(kFrames - 1, x, y))
                << "at " << x << "," << y;
    EXPECT_EQ(cell.number, 0);
}

TEST_F(Video, CopiesIntoATargetImageAndClipsTheRectangle) {
    LoadClip(1);
    PlayAnimationToImage(1, 5, 0, 0, kWidth, kHeight);
    ASSERT_EQ(cell.number, 0);
    ASSERT_EQ(GetImageWidth(5), kWidth) << "the target image was not made";
    ASSERT_TRUE(UpdateUntil([] { return AnimationPlaying(1) == 0; }));
    AnimationUpdate();
    std::vector<std::uint32_t> texels = ReadTexture(GetImagePointer(5), kWidth, kHeight);
    ASSERT_EQ(texels.size(), static_cast<size_t>(kWidth * kHeight));
    for (int y : {0, 47})
        for (int x : {0, 63})
            EXPECT_EQ(texels[y * kWidth + x], SourceColour(kFrames - 1, x, y));

    // A rectangle reaching past the image's corner is cut at its edges.
    PlayAnimationToImage(1, 5, 32, 24, 32 + kWidth, 24 + kHeight);
    ASSERT_EQ(GetImageWidth(5), kWidth);
    ASSERT_TRUE(UpdateUntil([] { return AnimationPlaying(1) == 0; }));
    AnimationUpdate();
    texels = ReadTexture(GetImagePointer(5), kWidth, kHeight);
    ASSERT_FALSE(texels.empty());
    EXPECT_EQ(texels[47 * kWidth + 63], QuadrantColour(kFrames - 1, 0));
    EXPECT_EQ(texels[0], SourceColour(kFrames - 1, 0, 0)); // outside: untouched
    // An empty rectangle copies nothing and does no harm.
    PlaceAnimation(1, 10, 10, 10, 30);
    AnimationUpdate();
    EXPECT_EQ(cell.number, 0);
}

// Target image 5 goes while the video plays, and a new image is made under its number (as the
// program does, or made again by a create over it): the frames go into the new one only.
TEST_F(Video, FramesGoIntoTheImageTheNumberNamesAtEachFrame) {
    LoadClip(1);
    for (const bool deleted : {true, false}) {
        PlayAnimationToImage(1, 5, 0, 0, kWidth, kHeight);
        IDirect3DTexture9* old = GetImagePointer(5);
        ASSERT_NE(old, nullptr);
        old->AddRef(); // the case's own: the texture stays readable, its memory never reused
        const std::vector<std::uint32_t> untouched = ReadTexture(old, kWidth, kHeight);
        if (deleted) DeleteImage(5);
        ASSERT_NE(CreateManagedImage(5, 2 * kWidth, kHeight), nullptr);
        ASSERT_TRUE(UpdateUntil([] { return AnimationPlaying(1) == 0; }));
        AnimationUpdate();
        EXPECT_EQ(ReadTexture(old, kWidth, kHeight), untouched) << deleted;
        EXPECT_EQ(old->Release(), 0u);
        const std::vector<std::uint32_t> now = ReadTexture(GetImagePointer(5), kWidth, kHeight);
        ASSERT_FALSE(now.empty());
        EXPECT_EQ(now[47 * kWidth + 63], SourceColour(kFrames - 1, 63, 47)) << deleted;
        DeleteImage(5);
    }
    EXPECT_EQ(cell.number, 0);
}

TEST_F(Video, RectanglesWhoseSidesWrapAreRefusedBeforeAnyCopy) {
    LoadClip(1);
    ASSERT_NE(CreateManagedImage(5, kWidth, 128), nullptr); // tall enough to be kept
    LockImage(5);
    WriteImageData(5, 0, 0, 0xFF, 1, 2, 3);
    UnlockImage(5);
    // x2 - x1 is 4,000,000,000: in 32 bits a negative width and a negative step each update.
    PlayAnimationToImage(1, 5, -2000000000, 0, 2000000000, 100);
    EXPECT_EQ(cell.number, 504);
    cell.number = 0;
    PlayAnimationToImage(1, 5, 0, 2000000000, kWidth, -2000000000);
    EXPECT_EQ(cell.number, 504) << "a negative height";
    cell.number = 0;
    PlayAnimationToImage(1, 5, 10, 10, 10, 20);
    EXPECT_EQ(cell.number, 504) << "an empty rectangle sizes no image";
    cell.number = 0;
    PlayAnimationToImage(1, 5, 0, 0, 1 << 20, 8);
    EXPECT_EQ(cell.number, 504) << "wider than any texture";
    cell.number = 0;
    EXPECT_EQ(AnimationPlaying(1), 0);
    for (int i = 0; i < 5; ++i)
        AnimationUpdate();
    EXPECT_EQ(ReadTexture(GetImagePointer(5), 1, 1), std::vector<std::uint32_t>{0x010203u});
    // The screen forms: a corner plus the natural size, or sides, past the int32 range.
    PlayAnimation(1, 0x7FFFFFF0, 0);
    EXPECT_EQ(cell.number, 2007);
    cell.number = 0;
    LoopAnimation(1, -2000000000, 0, 2000000000, 10);
    EXPECT_EQ(cell.number, 2007);
    cell.number = 0;
    PlaceAnimation(1, 0, -2000000000, 10, 2000000000);
    EXPECT_EQ(cell.number, 2007);
    EXPECT_EQ(GetAnimationHeight(1), kHeight) << "the refused placement changed nothing";
    EXPECT_EQ(AnimationPlaying(1), 0);
}

TEST_F(Video, LoopsAndReloadsReplaceAPlayingAnimation) {
    LoadClip(2);
    LoopAnimation(2);
    // The last frame shows, then the first again: it rewound at its end.
    IDirect3DTexture9* texture = GetAnimationTexture(2);
    auto topLeftIs = [&](int k) {
        const std::vector<std::uint32_t> texels = ReadTexture(texture, 1, 1);
        return !texels.empty() && texels[0] == QuadrantColour(k, 0);
    };
    ASSERT_TRUE(UpdateUntil([&] { return topLeftIs(kFrames - 1); }, 4000));
    EXPECT_TRUE(UpdateUntil([&] { return topLeftIs(0); }, 4000)) << "no rewind";
    UpdateUntil([] { return false; }, 700);
    EXPECT_EQ(AnimationPlaying(2), 1);
    EXPECT_EQ(AnimationLooping(2), 1);

    SetAnimationVolume(2, 150);
    // Loading onto the playing number stops and replaces it.
    LoadAnimation(file.c_str(), 2);
    ASSERT_EQ(cell.number, 0);
    EXPECT_EQ(AnimationPlaying(2), 0);
    EXPECT_EQ(AnimationLooping(2), 0);
    EXPECT_EQ(GetAnimationVolume(2), 100);
    DeleteAnimation(2);
    EXPECT_EQ(AnimationExist(2), 0);
    EXPECT_EQ(cell.number, 0);
}

TEST_F(Video, BrokenFilesGiveTheLoadErrorWithoutHanging) {
    const std::string good = RawAvi();
    // A cut file may still hold whole frames: then it may load, and plays what it has.
    const std::pair<std::string, bool> files[] = {
        {folder.File("missing.avi"), true},
        {folder.Write("cut.avi", good.substr(0, 300)), false},
        {folder.Write("half.avi", good.substr(0, good.size() / 2 - 7)), false},
        {folder.Write("noise.avi", std::string(6000, '\x5a')), true},
        {std::string(400, 'a'), true},
    };
    for (const auto& [f, mustFail] : files) {
        cell.number = 0;
        LoadAnimation(f.c_str(), 3);
        if (cell.number == 0 && !mustFail) {
            PlayAnimation(3);
            UpdateUntil([] { return AnimationPlaying(3) == 0; }, 4000);
            DeleteAnimation(3);
        } else {
            EXPECT_EQ(cell.number, 2002) << f.substr(0, 60);
            EXPECT_EQ(AnimationExist(3), 0);
        }
    }
}

// The clip's real frames behind headers the check once read past (a fill byte, 70 markers, an
// unknown chunk name) made frames of the claimed size: 16,000 square ended the process. Files with
// no frame to start from kept the graph waiting its whole deadline. A frame of 100,000 scans kept a
// worker busy for a minute; one of 12-bit samples, which the decoder never decodes, left it waiting
// for ever, and past eight such every later music or video load failed at once. All give the load
// error, and no worker is left behind.
TEST_F(Video, CraftedMotionJpegFilesGiveTheLoadError) {
    const std::vector<std::string> frames = ClipFrames();
    ASSERT_EQ(frames.size(), static_cast<std::size_t>(kFrames)) << ClipPath();
    const std::uint32_t frameBytes = kWidth * kHeight * 3;
    // The clip with each frame changed, its chunks named chunkId.
    const auto changed = [&](auto change, const std::string& chunkId = "00dc") {
        std::vector<std::string> out;
        for (const std::string& f : frames)
            out.push_back(change(f));
        return VideoAvi("MJPG", frameBytes, out, chunkId);
    };
    std::string pastTheEnd;
    for (int k = 0; k < kFrames; ++k)
        pastTheEnd += AviIndexEntry("00dc", 0x7FFF0000u + 977u * k, 0x12345);
    const std::string good = VideoAvi("MJPG", frameBytes, frames);
    const std::pair<const char*, std::string> files[] = {
        {"fill.avi", changed([](auto f) { return BeforeFrameHeader("\xFF", Claiming(f, 16000)); })},
        {"comments.avi",
         changed([](auto f) { return BeforeFrameHeader(JpegComments(70), Claiming(f, 8000)); })},
        {"name.avi", changed([](auto f) { return Claiming(f, 8000); }, "00zz")},
        {"no-frame-header.avi", changed(WithoutFrameHeader)},
        {"cut.avi", good.substr(0, 400)},
        {"index.avi", VideoAvi("MJPG", frameBytes, frames, "00dc", &pastTheEnd)},
        {"twelve-bit.avi",
         changed([](std::string f) { return f.replace(f.find("\xFF\xC0") + 4, 1, "\x0C"); })},
        {"scans.avi",
         AviFile(
             {.width = 2048, .height = 2048, .frame = ProgressiveJpegBytes(2048, 2048, 100000)})},
    };
    const long stuck = StuckGraphWorkers();
    for (const auto& [name, bytes] : files) {
        cell.number = 0;
        LoadAnimation(folder.Write(name, bytes).c_str(), 4);
        EXPECT_EQ(cell.number, 2002) << name;
        EXPECT_EQ(AnimationExist(4), 0) << name;
    }
    for (int i = 0; i < 8; ++i)
        LoadAnimation(folder.File("twelve-bit.avi").c_str(), 4);
    EXPECT_LE(StuckGraphWorkers(), stuck) << "a refused file's worker is still running";
    cell.number = 0;
    LoadMusicFile(folder.Write("tone.wav", PcmWave(2205)).c_str(), 1);
    EXPECT_EQ(cell.number, 0) << "music after the refused files";
    DeleteMusic(1);
    cell.number = 0;
    LoadAnimation(folder.Write("good.avi", good).c_str(), 4);
    EXPECT_EQ(cell.number, 0) << "the clip's own frames rebuilt";
    EXPECT_EQ(GetAnimationWidth(4), kWidth);
    LoadClip(5);
}

TEST_F(Video, NumberErrors) {
    // Out of the range 1 to 32: 2001; in it but not loaded: 2004.
    void (*const commands[])(std::int32_t) = {
        DeleteAnimation,
        StopAnimation,
        PauseAnimation,
        ResumeAnimation,
        [](std::int32_t n) { AnimationPlaying(n); },
        [](std::int32_t n) { PlayAnimationToImage(n, 1, 0, 0, 8, 8); }};
    for (const auto command : commands)
        for (const auto& [n, error] : {std::pair{7, 2004}, {0, 2001}, {33, 2001}}) {
            cell.number = 0;
            command(n);
            EXPECT_EQ(cell.number, error) << n;
        }
    cell.number = 0;
    EXPECT_EQ(AnimationExist(7), 0);
    EXPECT_EQ(cell.number, 0); // only the range applies
    LoadAnimation(file.c_str(), 33);
    EXPECT_EQ(cell.number, 2001);
    cell.number = 0;
    LoadClip(7);
    PlayAnimationToImage(7, 22000001, 0, 0, 8, 8);
    EXPECT_EQ(cell.number, 501);
    cell.number = 0;
    // No DVD drive here: the DVD form fails with the load's error and leaves the number free.
    LoadDVDAnimation(8);
    EXPECT_EQ(cell.number, 2002);
    EXPECT_EQ(AnimationExist(8), 0);
}

TEST_F(Video, RendererChecksTypesAndBoundsEachSampleCopy) {
    auto* renderer = new TextureRenderer(GetDirect3DDevice());
    VideoType odd(10, -3); // rows of 30 bytes padded to 32; top-down height counts as 3
    EXPECT_EQ(renderer->CheckMediaType(&odd.type), S_OK);
    VideoType rgb32(10, 3, MEDIASUBTYPE_RGB32);
    EXPECT_EQ(renderer->CheckMediaType(&rgb32.type), E_FAIL);
    VideoType wave(10, 3);
    wave.type.formattype = FORMAT_WaveFormatEx;
    EXPECT_EQ(renderer->CheckMediaType(&wave.type), E_INVALIDARG);
    // Format blocks that lie about their size or the frame's are refused.
    VideoType cut(10, 3, MEDIASUBTYPE_RGB24, 20);
    EXPECT_EQ(renderer->SetMediaType(&cut.type), VFW_E_TYPE_NOT_ACCEPTED);
    VideoType empty(0, 3);
    EXPECT_EQ(renderer->SetMediaType(&empty.type), VFW_E_TYPE_NOT_ACCEPTED);
    VideoType huge(1 << 20, 1 << 20);
    EXPECT_EQ(renderer->SetMediaType(&huge.type), VFW_E_TYPE_NOT_ACCEPTED);

    ASSERT_EQ(renderer->SetMediaType(&odd.type), S_OK);
    EXPECT_EQ(renderer->pitch, 32);
    EXPECT_EQ(renderer->videoHeight, 3);
    ASSERT_EQ(renderer->frameSize, 96u);
    // Connecting touches no device: the loader makes the texture on its own thread afterwards.
    EXPECT_EQ(renderer->texture, nullptr);
    ASSERT_EQ(renderer->CreateTexture(), S_OK);
    ASSERT_NE(renderer->texture, nullptr);
    EXPECT_EQ(renderer->textureFormat, D3DFMT_A8R8G8B8);
    D3DSURFACE_DESC desc{};
    renderer->texture->GetLevelDesc(0, &desc);
    EXPECT_FLOAT_EQ(renderer->uScale, 10.0f / desc.Width);

    // A sample longer than the frame fills it exactly; a short one only its own bytes.
    BytesSample longSample(std::vector<BYTE>(200, 0x11), 200);
    EXPECT_EQ(renderer->DoRenderSample(&longSample), S_OK);
    ASSERT_NE(renderer->frameBuffer, nullptr);
    EXPECT_EQ(renderer->frameBuffer[95], 0x11);
    BytesSample shortSample(std::vector<BYTE>(40, 0x22), 40);
    EXPECT_EQ(renderer->DoRenderSample(&shortSample), S_OK);
    EXPECT_EQ(renderer->frameBuffer[39], 0x22);
    EXPECT_EQ(renderer->frameBuffer[40], 0x11);
    // The buffer never moves, so a type of another frame size is refused from now on.
    VideoType other(20, 3);
    EXPECT_EQ(renderer->SetMediaType(&other.type), VFW_E_TYPE_NOT_ACCEPTED);
    renderer->Release();
}

// The build writes a Motion-JPEG version of the clip beside the test programs.
TEST_F(Video, CompressedFramesAreDecodedIntoTheTexture) {
    const std::string clip = ClipPath();
    LoadAnimation(clip.c_str(), 2);
    ASSERT_EQ(cell.number, 0) << clip;
    IDirect3DTexture9* texture = GetAnimationTexture(2);
    ASSERT_NE(texture, nullptr) << "the video did not reach the renderer";
    EXPECT_EQ(GetAnimationWidth(2), kWidth);
    EXPECT_EQ(GetAnimationHeight(2), kHeight);
    PlayAnimation(2);
    ASSERT_TRUE(UpdateUntil([] { return AnimationPlaying(2) == 0; })) << "no end of play";
    AnimationUpdate();
    const std::vector<std::uint32_t> texels = ReadTexture(texture, kWidth, kHeight);
    ASSERT_EQ(texels.size(), static_cast<size_t>(kWidth * kHeight));
    // JPEG is lossy: each quadrant's middle within a few steps of its colour.
    for (int y : {12, 36})
        for (int x : {16, 48}) {
            const std::uint32_t got = texels[y * kWidth + x];
            const std::uint32_t want = SourceColour(kFrames - 1, x, y);
            for (int shift : {0, 8, 16}) {
                const int a = static_cast<int>(got >> shift & 0xff);
                const int b = static_cast<int>(want >> shift & 0xff);
                EXPECT_NEAR(a, b, 12) << "at " << x << "," << y << " channel " << shift / 8;
            }
        }
}

// A load that runs out of memory leaves the animation its number held. Playing and stopping make
// the graph ask this filter for its pins, which the platform then walks without looking whether
// it got them: they are handed over without memory, and the clip plays.
TEST_F(Video, OutOfMemoryKeepsTheAnimationAndPlayingNeedsNone) {
    LoadClip(2);
    const auto animation = [] {
        return std::to_string(AnimationExist(2)) + ":" + std::to_string(GetAnimationWidth(2));
    };
    using failing_heap::FailingRow;
    failing_heap::CheckFailingRows({
        FailingRow{"LoadAnimation", [&] { LoadAnimation(file.c_str(), 2); }, animation,
                   kAnimationNotLoadable},
        FailingRow{"PlayAnimation", [] { PlayAnimation(2); }, animation, 0},
        FailingRow{"StopAnimation", [] { StopAnimation(2); }, animation, 0},
    });
}
