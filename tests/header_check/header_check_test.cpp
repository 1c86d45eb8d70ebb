// The header checks that run before the platform's decoders, on hostile byte spans. No engine and
// no device: every span sits at the very end of readable memory, so a read past it crashes.
#include "core/win32.h"

#include "image/picture_check.h"
#include "sound/wave_check.h"
#include "support/guarded_bytes.h"
#include "support/image_files.h"
#include "support/jpeg_files.h"
#include "support/media_files.h"
#include "support/temp_folder.h"
#include "support/wave_files.h"
#include "video/stream_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <tuple>

namespace {

ByteSpan SpanOf(const GuardedBytes& g) {
    return ByteSpan{g.Data(), g.Size()};
}

using Check = std::function<bool(const ByteSpan&, std::uint64_t)>;

bool Passes(const Check& check, const std::string& bytes) {
    const GuardedBytes guarded(bytes);
    return check(SpanOf(guarded), bytes.size());
}

std::string Put32(std::string s, std::size_t at, std::uint32_t v) {
    return s.replace(at, 4, reinterpret_cast<const char*>(&v), 4);
}
std::string Put16(std::string s, std::size_t at, std::uint16_t v) {
    return s.replace(at, 2, reinterpret_cast<const char*>(&v), 2);
}
std::string Put8(std::string s, std::size_t at, std::uint8_t v) {
    return s.replace(at, 1, 1, static_cast<char>(v));
}

// Every cut-short copy and a few hundred seeded damaged copies: no crash, no read past the end;
// copies cut inside the header are refused.
void Hostile(const Check& check, const std::string& good, std::size_t headerEnd) {
    ASSERT_TRUE(Passes(check, good)) << "the good file is refused";
    for (std::size_t n = 0; n < headerEnd && n < good.size(); ++n)
        EXPECT_FALSE(Passes(check, good.substr(0, n))) << "cut to " << n << " bytes";
    for (std::uint32_t seed = 1; seed <= 300; ++seed)
        Passes(check, Damage(good, seed));
    std::mt19937 random(7);
    for (int i = 0; i < 50; ++i) {
        std::string noise(random() % 600, '\0');
        for (char& c : noise)
            c = static_cast<char>(random());
        EXPECT_FALSE(Passes(check, noise)) << "random bytes " << i << " pass";
    }
}

Check Picture(const char* name) {
    return
        [name](const ByteSpan& b, std::uint64_t size) { return CheckPictureBytes(name, b, size); };
}
Check Media(const char* name) {
    return
        [name](const ByteSpan& b, std::uint64_t size) { return CheckMediaBytes(name, b, size).ok; };
}
const Check kWaveFormat = [](const ByteSpan& b, std::uint64_t) { return CheckWaveFormat(b); };

std::uint32_t Opaque(int x, int y) {
    return 0xFF000000u | static_cast<std::uint32_t>(x * 40) << 8 | static_cast<std::uint32_t>(y);
}

} // namespace

TEST(PictureHeaders, DdsSizesMipCountsAndFacesMustFitTheFile) {
    const std::string dds = DdsBytes(16, 8, Opaque);
    Hostile(Picture("a.dds"), dds, 128);
    const Check check = Picture("a.dds");
    const std::uint32_t withMips = 0x20000 | 0x1007;
    EXPECT_FALSE(Passes(check, Put32(Put32(dds, 8, withMips), 28, 0xFFFFFFF0u)))
        << "huge mip count";
    EXPECT_FALSE(Passes(check, Put32(dds, 28, 0xE8000000u))) << "a count without its flag counts";
    EXPECT_FALSE(Passes(check, Put32(Put32(dds, 8, withMips), 28, 6))) << "levels past 1x1";
    // Five levels of 16x8 fit the header's claim only when the file holds them.
    EXPECT_FALSE(Passes(check, Put32(Put32(dds, 8, withMips), 28, 5))) << "levels the file lacks";
    EXPECT_TRUE(
        Passes(check, Put32(Put32(dds, 8, withMips), 28, 5) + std::string(4 * 11 * 4, '\0')));
    EXPECT_FALSE(Passes(check, Put32(dds, 16, 0))) << "width 0";
    EXPECT_FALSE(Passes(check, Put32(dds, 12, 1u << 20))) << "height past the limit";
    EXPECT_FALSE(Passes(check, Put32(dds, 112, 0x200 | 0xFC00))) << "a cube that is not square";
    EXPECT_FALSE(Passes(check, Put32(Put32(dds, 112, 0x200000), 24, 4096)))
        << "slices the file lacks";
    EXPECT_FALSE(Passes(check, Put32(dds, 88, 12))) << "12 bits per pixel";
    EXPECT_FALSE(Passes(check, Put32(Put32(dds, 80, 4), 84, 0x31545844 + 0x100))) << "unknown code";
}

TEST(PictureHeaders, PngJpegBmpAndTgaFieldsMustBePossible) {
    const std::string png = PngBytes(4, 3, Opaque), jpeg = JpegHeaders(8, 8);
    const std::string bmp = BmpBytes(5, 4, Opaque), tga = TgaBytes(5, 4, Opaque);
    Hostile(Picture("a.png"), png, 41);
    Hostile(Picture("a.jpg"), jpeg, 120);
    Hostile(Picture("a.bmp"), bmp, 54);
    Hostile(Picture("a.tga"), tga, 18);
    Hostile(Picture("a.dib"), bmp.substr(14), 40);
    EXPECT_FALSE(Passes(Picture("a.png"), png.substr(0, 16) + Be32(0) + png.substr(20)))
        << "width 0";
    EXPECT_FALSE(Passes(Picture("a.png"), Put8(png, 24, 3))) << "3-bit samples";
    EXPECT_FALSE(
        Passes(Picture("a.png"), png.substr(0, 16) + Be32(16384) + Be32(16384) + png.substr(24)))
        << "a small file claiming a gigabyte of pixels";
    EXPECT_TRUE(
        Passes(Picture("a.png"), png.substr(0, 16) + Be32(8192) + Be32(8192) + png.substr(24)));
    EXPECT_FALSE(Passes(Picture("a.png"), png.substr(0, 33) + Be32(0x7FFFFFF0u) + png.substr(37)))
        << "a chunk longer than the file";
    EXPECT_FALSE(Passes(Picture("a.jpg"), Put8(jpeg, jpeg.find("\xFF\xC0") + 6, 0))) << "height 0";
    EXPECT_FALSE(Passes(Picture("a.jpg"), Put8(jpeg, jpeg.find("\xFF\xC0") + 9, 5))) << "5 parts";
    // The decoder skips a stuffed zero and reads on: a length read there would hide what it reads.
    EXPECT_FALSE(Passes(Picture("a.jpg"), jpeg.substr(0, 2) + "\xFF" + std::string(1, '\0') +
                                              Be16(2) + jpeg.substr(2)))
        << "a stuffed zero for a marker";
    EXPECT_FALSE(Passes(Picture("a.bmp"), Put16(bmp, 28, 7))) << "7 bits per pixel";
    EXPECT_FALSE(Passes(Picture("a.bmp"), Put32(bmp, 22, 0))) << "height 0";
    EXPECT_FALSE(Passes(Picture("a.bmp"), Put32(bmp, 18, 0x7FFFFFFF))) << "rows the file lacks";
    EXPECT_FALSE(Passes(Picture("a.bmp"), Put32(Put16(bmp, 28, 8), 46, 100000)))
        << "a huge palette";
    EXPECT_FALSE(Passes(Picture("a.tga"), Put8(tga, 2, 5))) << "image type 5";
    EXPECT_FALSE(Passes(Picture("a.tga"), Put16(tga, 12, 60000))) << "pixels the file lacks";
    EXPECT_FALSE(Passes(Picture("a.gif"), "GIF89a" + std::string(100, '\0'))) << "no known format";

    // What a load of each makes: 4 bytes a decoded pixel, then each surface, with a third more
    // for a mip chain. A TGA is one by its bytes as well as by its name (archive members may
    // carry another extension); a header no check passes makes nothing.
    const auto made = [](const char* name, const std::string& bytes, std::uint32_t surfaces,
                         bool chain) {
        const ByteSpan span{reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
        return PictureLoadBytes(name, span, bytes.size(), surfaces, chain);
    };
    const std::string wide = png.substr(0, 16) + Be32(3000) + Be32(1000) + png.substr(24);
    EXPECT_EQ(made("a.png", wide, 1, false), 24000000u);
    EXPECT_EQ(made("a.png", wide, 2, true), 12000000u + 2 * 16000000u);
    EXPECT_EQ(made("a.jpg", jpeg, 1, false), 8u * 8 * 8);
    EXPECT_EQ(made("a.bmp", bmp, 1, false), 5u * 4 * 8);
    EXPECT_EQ(made("a.tga", tga, 1, false), 5u * 4 * 8);
    EXPECT_EQ(made("textures/wall", tga, 1, false), 5u * 4 * 8);
    EXPECT_EQ(made("a.gif", "GIF89a" + std::string(100, '\0'), 1, false), 0u);
}

namespace {

// What a load of the bytes makes, as the loaders charge it.
std::uint64_t Made(const char* name, const std::string& bytes, const PictureUse& use) {
    return PictureLoadBytes(name, SpanOf(GuardedBytes(bytes)), bytes.size(), use);
}

// The position of the scan marker that starts the n-th scan (0 the first).
std::size_t ScanStart(const std::string& jpeg, int n) {
    std::size_t at = jpeg.find("\xFF\xDA");
    while (n-- > 0 && at != std::string::npos)
        at = jpeg.find("\xFF\xDA", at + 2);
    return at;
}

// A file whose OpenDML super index names a chunk index (last in the data list, after junk and a
// frame) naming 16 bytes of the frame's data, or of the junk's.
std::string OpenDmlAvi(bool atFrame) {
    const std::string junk = Chunk("JUNK", JpegHeaders(4000, 3000));
    const std::string frame = Chunk("00dc", JpegHeaders(16, 16));
    const auto file = [&](std::uint32_t index, std::uint32_t data) {
        return AviFile(
            {.data = junk + frame +
                     Chunk("ix00", U16(2) + std::string("\0\x01", 2) + U32(1) + "00dc" + U32(0) +
                                       U32(0) + U32(0) + U32(data) + U32(16)),
             .streamList = Chunk("indx", U16(4) + U16(0) + U32(1) + "00dc" + std::string(12, '\0') +
                                             U32(index) + U32(0) + U32(32) + U32(1))});
    };
    // The offsets change no size: a file with none of them says where the data list starts.
    const auto first = static_cast<std::uint32_t>(file(0, 0).find("movi") + 4);
    const auto frameAt = first + static_cast<std::uint32_t>(atFrame ? junk.size() : 0);
    return file(first + static_cast<std::uint32_t>(junk.size() + frame.size()), frameAt + 8);
}

} // namespace

// Every scan after a component's first passes over its blocks again, however few bytes it takes:
// the walk counts those passes, each charged 64 bytes, from the frame's size and sampling.
TEST(PictureHeaders, JpegScansAfterEachComponentsFirstAreChargedByTheBlocksTheyCover) {
    const JpegPicture base{.width = 64, .height = 64};
    EXPECT_EQ(Made("a.jpg", JpegBytes(base), {}), 64u * 64 * 8) << "one scan: pixels only";
    const std::string small = ProgressiveJpegBytes(61, 45, 3);
    Hostile(Picture("a.jpg"), small, ScanStart(small, 0) + 10); // past the first scan's header

    // 4:2:0 at a size no unit divides: a scan of all three covers whole 16 x 16 units (7 x 3 of
    // them: 84 luma blocks, 21 of each chroma), the luma alone only its own 13 x 5 blocks.
    JpegPicture sub{
        .width = 100,
        .height = 37,
        .progressive = true,
        .sampling = {0x22, 0x11, 0x11},
        .scans = {{{0, 1, 2}, true}, {{0, 1, 2}, true}, {{0}, false}, {{1}, false}, {{2}, false}}};
    const std::uint64_t subPixels = 100u * 37 * 8;
    EXPECT_EQ(Made("a.jpg", JpegBytes(sub), {}), subPixels + (126u + 65 + 21 + 21) * 64);
    // Each component's first scan of its AC band alone, then all three: the last is charged.
    sub.scans = {{{0}, false}, {{1}, false}, {{2}, false}, {{0, 1, 2}, true}};
    EXPECT_EQ(Made("a.jpg", JpegBytes(sub), {}), subPixels + 126u * 64);

    // Thousands of scans in 30 KB: 65,536 blocks each.
    const std::string scans = ProgressiveJpegBytes(2048, 2048, 1500);
    EXPECT_LT(scans.size(), 40000u);
    EXPECT_TRUE(Passes(Picture("a.jpg"), scans));
    const std::uint64_t pixels = 2048u * 2048 * 4, passes = std::uint64_t{1500} * 65536 * 64;
    EXPECT_EQ(Made("a.jpg", scans, {.chain = true}), pixels + pixels * 4 / 3 + passes);
    EXPECT_EQ(Made("a.bmp", scans, {.surfaces = 2}), 3 * pixels + passes) << "known by its bytes";
    // A file cut short counts the scans it holds; one mapped in part assumes a scan every ten
    // bytes of the rest, each over every block.
    EXPECT_EQ(Made("a.jpg", scans.substr(0, ScanStart(scans, 5) + 12), {}),
              2 * pixels + 5u * 65536 * 64);
    const std::string open = JpegBytes({.width = 64, .height = 64, .end = false});
    EXPECT_EQ(PictureLoadBytes("a.jpg", SpanOf(GuardedBytes(open)), open.size() + 1000, {}),
              64u * 64 * 8 + 100u * 64 * 64);

    JpegPicture stranger = sub;
    stranger.scans.push_back({{0}, false});
    std::string named = JpegBytes(stranger);
    named[ScanStart(named, 4) + 5] = 9; // the last scan names component 9
    EXPECT_FALSE(Passes(Picture("a.jpg"), named)) << "a component the frame lacks";
    const std::string frame = JpegBytes(base).substr(2, JpegBytes(base).find("\xFF\xC4") - 2);
    sub.end = false;
    EXPECT_FALSE(Passes(Picture("a.jpg"), JpegBytes(sub) + frame + "\xFF\xD9"))
        << "a second frame after scans";
}

// What a use makes of a picture: a bitmap's surfaces hold decoded pixels whatever the file stores;
// a cube made of a picture has six square faces as wide as it, each with its levels; rows stored
// top-down measure as bottom-up.
TEST(PictureHeaders, EachUseIsChargedForTheSurfacesItMakes) {
    const std::string dxt = Dxt1Bytes(64, 64, 0xF800); // 256 blocks of 8 bytes
    ASSERT_TRUE(Passes(Picture("a.dds"), dxt));
    const PictureUse bitmap{.surfaces = 2, .decodedSurfaces = true}, cube{.cube = true};
    EXPECT_EQ(Made("a.dds", dxt, {.chain = true}), 2u * 2048) << "a texture keeps the stored form";
    EXPECT_EQ(Made("a.dds", dxt, bitmap), 2048u + 3 * 64 * 64 * 4);
    EXPECT_EQ(Made("a.png", PngBytes(64, 16, Opaque), cube),
              64u * 16 * 4 + 6 * (64u * 64 * 4 + 64 * 64 * 4 / 3));
    EXPECT_EQ(Made("a.dds", dxt, cube), 2048u + 6 * 2048) << "six faces as stored";

    const std::string up = BmpBytes(5, 3, Opaque), down = BmpBytes(5, 3, Opaque, true);
    EXPECT_TRUE(Passes(Picture("a.bmp"), down));
    EXPECT_TRUE(Passes(Picture("a.dib"), down.substr(14)));
    EXPECT_EQ(Made("a.bmp", down, bitmap), 5u * 3 * 4 * 3);
    EXPECT_EQ(Made("a.dib", down.substr(14), bitmap), Made("a.dib", up.substr(14), bitmap));
}

TEST(PictureHeaders, MemoryBlockHeadersMustFitTheBlockIn64Bits) {
    EXPECT_TRUE(MemblockPixelsFit(4, 3, 32, 48));
    EXPECT_FALSE(MemblockPixelsFit(4, 3, 32, 47));
    EXPECT_FALSE(MemblockPixelsFit(1 << 30, 4, 32, 16)) << "a row that wraps 32 bits";
    EXPECT_FALSE(MemblockPixelsFit(65536, 65536, 8, 0xFFFFFFFFu)) << "a product that wraps";
    EXPECT_FALSE(MemblockPixelsFit(-4, -3, 32, 48));
    EXPECT_FALSE(MemblockPixelsFit(4, 3, 12, 48));
}

TEST(WaveHeaders, CompressedFormatsNeedTheirBlockFields) {
    const std::string adpcm = MsAdpcmWave(), ima = ImaAdpcmWave();
    const std::string msFormat = adpcm.substr(20, 50), imaFormat = ima.substr(20, 20);
    Hostile(kWaveFormat, msFormat, 50);
    Hostile(kWaveFormat, imaFormat, 20);
    Hostile(kWaveFormat, PcmWave(0).substr(20, 16), 16);
    EXPECT_FALSE(Passes(kWaveFormat, MsAdpcmWave(0).substr(20, 50))) << "0 samples per block";
    EXPECT_FALSE(Passes(kWaveFormat, ImaAdpcmWave(0).substr(20, 20))) << "0 samples per block";
    EXPECT_FALSE(Passes(kWaveFormat, Put16(msFormat, 16, 200))) << "an extension past the chunk";
    EXPECT_FALSE(Passes(kWaveFormat, Put16(msFormat, 20, 2000))) << "coefficients past the chunk";
    EXPECT_FALSE(Passes(kWaveFormat, Put16(msFormat, 12, 3))) << "blocks smaller than their header";
    EXPECT_FALSE(Passes(kWaveFormat, Put16(msFormat, 2, 0))) << "no channels";
    EXPECT_FALSE(Passes(kWaveFormat, Put32(msFormat, 8, 0xFFFFFFFF))) << "bytes per second";
    EXPECT_FALSE(Passes(kWaveFormat, Put16(PcmWave(0).substr(20, 16), 2, 65))) << "65 channels";
    // A plain format's bytes per second are repaired by the reader, not trusted.
    EXPECT_TRUE(Passes(kWaveFormat, Put32(PcmWave(0).substr(20, 16), 8, 7))) << "bytes per second";
    EXPECT_FALSE(Passes(kWaveFormat, Put16(msFormat, 0, 0x1234))) << "an unknown tag";
    // Below 8 kbit/s a frame's bytes come to 0, and the compression manager divides by them.
    EXPECT_TRUE(Passes(kWaveFormat, Mp3Wave(1000, 0).substr(20, 30)));
    EXPECT_FALSE(Passes(kWaveFormat, Mp3Wave(999, 0).substr(20, 30))) << "bytes per second";
    const GuardedBytes other(Put16(msFormat, 0, 0x2000));
    EXPECT_TRUE(CheckWaveFormat(SpanOf(other), true)) << "left to the graph's decoders";
    const GuardedBytes wide(Put16(Put16(msFormat, 0, 0x2000), 2, 65));
    EXPECT_FALSE(CheckWaveFormat(SpanOf(wide), true)) << "65 channels of any tag";
    Hostile([](const ByteSpan& b, std::uint64_t size) { return CheckWaveFile(b, size); }, adpcm,
            70);
}

TEST(StreamHeaders, OggStreamsNeedPossibleIdentificationHeaders) {
    const Check ogg = Media("a.ogg");
    const std::string vorbis = OggPage(1, 0, 2, VorbisIdHeader()) + OggPage(1, 1, 0, "comment");
    Hostile(ogg, vorbis, 58);
    Hostile(ogg, OggPage(1, 0, 2, OpusIdHeader(6, 1)), 49);
    Hostile(ogg, OggPage(1, 0, 2, OggFlacIdHeader()), 79);
    Hostile(ogg, OggPage(1, 0, 2, TheoraIdHeader()), 70);
    EXPECT_TRUE(CheckMediaBytes("a.ogg",
                                ByteSpan{reinterpret_cast<const std::uint8_t*>(
                                             OggPage(1, 0, 2, TheoraIdHeader()).data()),
                                         70},
                                70)
                    .video);
    EXPECT_FALSE(Passes(ogg, OggPage(1, 0, 2, VorbisIdHeader(65)))) << "65 channels";
    EXPECT_FALSE(Passes(ogg, OggPage(1, 0, 2, VorbisIdHeader(2, 0)))) << "rate 0";
    EXPECT_FALSE(Passes(ogg, OggPage(1, 0, 2, OpusIdHeader(3, 0)))) << "3 channels in family 0";
    EXPECT_FALSE(Passes(ogg, OggPage(1, 0, 2, OggFlacIdHeader(0)))) << "rate 0";
    EXPECT_FALSE(Passes(ogg, OggPage(1, 0, 2, TheoraIdHeader(0, 3)))) << "no macroblocks";
    EXPECT_FALSE(Passes(ogg, OggPage(1, 0, 2, TheoraIdHeader(1024, 1024)))) << "a huge frame";
    EXPECT_FALSE(Passes(ogg, OggPage(1, 0, 2, "\x01speex nobody knows"))) << "an unknown codec";
    // A chained stream behind broken bytes is found, as the demuxer would find it.
    EXPECT_FALSE(Passes(ogg, vorbis + "junkOgg" + OggPage(2, 0, 2, VorbisIdHeader(100))));
    EXPECT_TRUE(Passes(ogg, vorbis + "junkOgg" + OggPage(2, 0, 2, VorbisIdHeader(1))));
}

TEST(StreamHeaders, AviStreamHeadersMustBePossible) {
    const Check avi = Media("a.avi");
    Hostile(avi, AviFile(), 224);
    AviLayout layout;
    EXPECT_TRUE(CheckMediaBytes("a.avi", SpanOf(GuardedBytes(AviFile())), AviFile().size()).video);
    layout.type = "auds";
    const std::string audio = AviFile(layout);
    EXPECT_TRUE(Passes(avi, audio));
    EXPECT_FALSE(CheckMediaBytes("a.avi", SpanOf(GuardedBytes(audio)), audio.size()).video);
    for (auto [field, value, what] :
         {std::tuple<std::uint32_t AviLayout::*, std::uint32_t, const char*>{&AviLayout::scale, 0,
                                                                             "scale 0"},
          {&AviLayout::rate, 0, "rate 0"},
          {&AviLayout::rate, 0xFFFFFFFF, "a rate past any stream"},
          {&AviLayout::streams, 0, "no streams"},
          {&AviLayout::streams, 2, "streams it lacks"},
          {&AviLayout::streams, 100000, "a huge stream count"}}) {
        AviLayout bad;
        bad.*field = value;
        EXPECT_FALSE(Passes(avi, AviFile(bad))) << what;
    }
    AviLayout flat, wide, none, huge;
    huge.width = huge.height = 16384;
    EXPECT_FALSE(Passes(avi, AviFile(huge))) << "a frame the decoder would allocate";
    flat.height = 0;
    wide.width = 1 << 20;
    none.movi = false;
    EXPECT_FALSE(Passes(avi, AviFile(flat))) << "height 0";
    EXPECT_FALSE(Passes(avi, AviFile(wide))) << "width past the limit";
    EXPECT_FALSE(Passes(avi, AviFile(none))) << "no data list";
    const std::string good = AviFile();
    EXPECT_FALSE(Passes(avi, Put32(good, 16, 0x7FFFFFF0))) << "a header list longer than the file";
    // The largest frame claimed, by the headers or by a compressed picture among the data, is
    // what the loader charges before the decoder makes it.
    const auto claimed = [](const std::string& file) {
        return CheckMediaBytes("a.avi", SpanOf(GuardedBytes(file)), file.size()).framePixels;
    };
    EXPECT_EQ(claimed(good), 16u * 16u);
    AviLayout jpeg;
    jpeg.frame = JpegHeaders(4000, 3000);
    EXPECT_EQ(claimed(AviFile(jpeg)), 4000u * 3000u);
    jpeg.frame = JpegHeaders(2, 3);
    EXPECT_EQ(claimed(AviFile(jpeg)), 16u * 16u);
    // The stream format's claim when it is larger than the main header's.
    const std::string tall = AviFile({.width = 640, .height = 480, .frame = jpeg.frame});
    const std::size_t main = tall.find("avih") + 8;
    EXPECT_EQ(claimed(Put32(Put32(tall, main + 32, 16), main + 36, 16)), 640u * 480u);
}

// The frame size each Motion-JPEG frame claims is found as its decoder finds it, wherever the
// splitter would take the frame from; a frame whose size cannot be found, or an index naming
// bytes the walk did not check, is refused. 0 below: refused.
TEST(StreamHeaders, MotionJpegFramesAreMeasuredWhereverTheSplitterFindsThem) {
    const std::string small = JpegHeaders(16, 16), wide = JpegHeaders(4000, 3000);
    constexpr std::uint64_t kWide = 4000 * 3000;
    const auto framed = [](const std::string& frame) { return AviFile({.frame = frame}); };
    const auto indexed = [](const std::string& data, std::uint32_t at, std::uint32_t size) {
        return AviFile({.data = data, .tail = Chunk("idx1", AviIndexEntry("00dc", at, size))});
    };
    const auto frameBytes = static_cast<std::uint32_t>(small.size());
    const std::string one = Chunk("00dc", small), cut = framed(small);
    const auto first = static_cast<std::uint32_t>(AviFile({.data = one}).find("movi") + 4);
    const std::tuple<const char*, std::string, std::uint64_t> cases[] = {
        {"a fill byte before a 16,000-square frame",
         framed(BeforeFrameHeader("\xFF", JpegHeaders(16000, 16000))), 0},
        {"a fill byte before the frame", framed(BeforeFrameHeader("\xFF\xFF", wide)), kWide},
        {"70 comments before the frame",
         framed(BeforeFrameHeader(JpegComments(70), JpegHeaders(8000, 8000))), 64000000},
        {"markers without a length", framed(BeforeFrameHeader("\xFF\xD0\xFF\x01", wide)), kWide},
        {"a chunk of an unknown name", AviFile({.frame = wide, .chunkId = "00zz"}), kWide},
        {"a chunk named by no digits", AviFile({.frame = wide, .chunkId = "/:zz"}), kWide},
        {"a frame in a record list", AviFile({.data = Chunk("LIST", "rec " + Chunk("00dc", wide))}),
         kWide},
        {"an empty frame, then one", AviFile({.data = Chunk("00dc", "") + Chunk("00dc", wide)}),
         kWide},
        {"the largest frame first", AviFile({.data = Chunk("00dc", wide) + one}), kWide},
        {"no frame header", framed(WithoutFrameHeader(small)), 0},
        {"bytes before the picture", framed(std::string(2, '\0') + small), 0},
        {"a stuffed zero for a marker",
         framed(BeforeFrameHeader("\xFF" + std::string(1, '\0') + Be16(2), small)), 0},
        {"a codec nothing measures",
         AviFile({.handler = "QQQQ", .compression = "QQQQ", .frame = wide}), 0},
        {"the stream header's codec",
         AviFile({.compression = std::string(4, '\0'), .frame = "not a picture"}), 0},
        {"no whole frame", cut.substr(0, cut.size() - 10), 0},
        {"a chunk past its list's end",
         AviFile({.data = "LIST" + U32(12) + "rec " + Chunk("00dc", wide)}), 0},
        {"an index past the file", indexed(one, 0x7FFF0000, 9), 0},
        {"an index into junk", indexed(Chunk("JUNK", wide) + Chunk("00dc", small), 4, 9), 0},
        {"an index as the data list counts", indexed(one, 4, frameBytes), 256},
        {"an index as the file counts", indexed(one, first, frameBytes), 256},
        {"an OpenDML index into junk", OpenDmlAvi(false), 0},
        {"an OpenDML index", OpenDmlAvi(true), 256},
    };
    for (const auto& [what, file, pixels] : cases) {
        const StreamCheck check = CheckMediaBytes("a.avi", SpanOf(GuardedBytes(file)), file.size());
        EXPECT_EQ(check.ok, pixels != 0) << what;
        if (pixels) {
            EXPECT_EQ(check.framePixels, pixels) << what;
        }
    }
}

namespace {

std::string Segment(char marker, const std::string& body) {
    return std::string("\xFF") + marker + Be16(static_cast<std::uint32_t>(body.size() + 2)) + body;
}

// The JPEG with bytes put in just before the first of a marker.
std::string Before(std::string jpeg, const char* marker, const std::string& bytes) {
    return jpeg.insert(jpeg.find(marker), bytes);
}

// A 16-pixel square picture.
std::string Square(JpegPicture p) {
    p.width = p.height = 16;
    return JpegBytes(p);
}

} // namespace

// The media graph's decoder drops a frame of a kind it never decodes, and the graph then waits
// for ever for a first picture, so the clip is refused; each kind was probed with a clip of such
// frames. The same bytes as a picture are left to the picture decoder, which refuses at once.
TEST(StreamHeaders, MotionJpegFramesTheDecoderNeverDecodesAreRefused) {
    const std::string grey = Square({}), progressive = ProgressiveJpegBytes(16, 16, 3);
    const std::string arithmetic = Square({.frameMarker = 0xC9});
    // Three components, in one scan unless scans are given.
    const auto three = [](std::vector<std::uint8_t> sampling,
                          std::vector<JpegScan> scans = {{{0, 1, 2}}}, bool progressive = false) {
        return Square({.progressive = progressive, .sampling = sampling, .scans = scans});
    };
    const std::vector<std::uint8_t> plain{0x11, 0x11, 0x11};
    const std::vector<JpegScan> apart{{{0}}, {{1}}, {{2}}};
    // A Huffman table before the scan: class and number, codes' counts by length, symbols.
    const auto huffman = [&](char kind, std::vector<char> counts, const std::string& symbols) {
        counts.resize(16);
        return Before(grey, "\xFF\xDA",
                      Segment('\xC4', kind + std::string(counts.begin(), counts.end()) + symbols));
    };
    const std::tuple<const char*, std::string, bool> frames[] = {
        {"baseline", grey, true},
        {"4:2:0", three({0x22, 0x11, 0x11}), true},
        {"4:1:1", three({0x41, 0x11, 0x11}), true},
        {"units of 12 blocks in scans of one component", three({0x22, 0x22, 0x22}, apart), true},
        {"progressive", progressive, true},
        {"arithmetic", arithmetic, true},
        {"arithmetic progressive",
         Square({.progressive = true, .scans = {{{0}}, {{0}, false}}, .frameMarker = 0xCA}), true},
        {"a restart interval", Before(grey, "\xFF\xDA", Segment('\xDD', Be16(0))), true},
        {"a number of lines", Before(grey, "\xFF\xD9", Segment('\xDC', Be16(16))), true},
        {"no Huffman tables",
         grey.substr(0, grey.find("\xFF\xC4")) + grey.substr(ScanStart(grey, 0)), true},
        {"16-bit quantisation",
         "\xFF\xD8" + Segment('\xDB', '\x10' + std::string(128, 1)) + grey.substr(71), true},
        {"an unused broken table", huffman('\x13', {2}, std::string("\0\1", 2)), true},
        {"12-bit samples", Square({.precision = 12}), false},
        {"lossless", Square({.frameMarker = 0xC3}), false},
        {"differential", Square({.frameMarker = 0xC5}), false},
        {"a hierarchy",
         Before(grey, "\xFF\xC0",
                Segment('\xDE', "\x08" + Be16(16) + Be16(16) + "\x01\x01\x11" + '\0')),
         false},
        {"two components", Square({.sampling = {0x11, 0x11}, .scans = {{{0, 1}}}}), false},
        {"four components",
         Square({.sampling = {0x11, 0x11, 0x11, 0x11}, .scans = {{{0, 1, 2, 3}}}}), false},
        {"grey sampled twice vertically", Square({.sampling = {0x12}, .scans = {{{0}}}}), false},
        {"4x4", three({0x44, 0x11, 0x11}, apart), false},
        {"chroma wider than luma", three({0x11, 0x21, 0x11}), false},
        {"a third part taller than the first", three({0x21, 0x11, 0x12}), false},
        {"a unit of 12 blocks", three({0x22, 0x22, 0x22}), false},
        {"a second start", Before(grey, "\xFF\xC0", "\xFF\xD8"), false},
        {"a reserved marker", Before(grey, "\xFF\xD9", Segment('\x05', "zz")), false},
        {"no quantisation table", grey.substr(0, 2) + grey.substr(71), false},
        {"quantisation table 5", Put8(grey, 6, 5), false},
        {"a code of all ones", huffman('\0', {2}, std::string("\0\1", 2)), false},
        {"a DC symbol of 16 bits", huffman('\0', {1}, "\x10"), false},
        {"300 symbols", huffman('\x11', {0, 0, 0, 0, 0, 0, 0, 0, -56, 100}, std::string(300, 1)),
         false},
        {"Huffman table 2", Put8(grey, ScanStart(grey, 0) + 6, 0x20), false},
        {"a DC band into the AC band", Put8(progressive, ScanStart(progressive, 0) + 8, 5), false},
        {"an AC band of two components",
         three(plain, {{{0, 1, 2}}, {{0, 1}, false}, {{2}, false}}, true), false},
        {"a component in two sequential scans", three(plain, {{{0, 1, 2}}, {{0}}}), false},
        {"a component named twice in a scan", three(plain, {{{0, 0, 2}}, {{1}}}), false},
        {"a restart interval of six bytes",
         Before(grey, "\xFF\xDA", Segment('\xDD', Be16(1) + Be16(1))), false},
        {"arithmetic table 40", Before(arithmetic, "\xFF\xDA", Segment('\xCC', "\x28\x05")), false},
    };
    for (const auto& [what, frame, decodes] : frames) {
        EXPECT_EQ(Passes(Media("a.avi"), AviFile({.frame = frame})), decodes) << what;
        EXPECT_TRUE(Passes(Picture("a.jpg"), frame)) << what << " as a picture";
    }
}

// Every later pass of a frame's scans is work each play decodes: the check adds them up over the
// frames. Music keeps no budget, yet its graph decodes a clip's video too: a music load refuses
// passes past the budget a load of the file would have.
TEST(StreamHeaders, MotionJpegScansAreCountedOverEveryFrame) {
    const std::string few = ProgressiveJpegBytes(64, 48, 3); // 3 passes over 48 blocks
    const std::string two =
        AviFile({.data = Chunk("00dc", few) + Chunk("00dc", ProgressiveJpegBytes(64, 48, 5))});
    EXPECT_EQ(CheckMediaBytes("a.avi", SpanOf(GuardedBytes(two)), two.size()).repeatedBlocks,
              (3u + 5u) * 48);
    const std::string audio = AviFile({.type = "auds"});
    const std::size_t list = audio.find("strl") - 8, end = audio.find("LIST", list + 4);
    TempFolder folder;
    const auto withSound = [&](const std::string& frame) {
        return folder.Write(
            "clip.avi",
            AviFile({.streams = 2, .frame = frame, .headerList = audio.substr(list, end - list)}));
    };
    EXPECT_TRUE(CheckedAudioFile(withSound(few).c_str()));
    EXPECT_FALSE(CheckedAudioFile(withSound(ProgressiveJpegBytes(2048, 2048, 20)).c_str()));
}

// Containers whose frames the checks do not measure go to neither loader; Theora streams are
// charged the frame their header codes.
TEST(StreamHeaders, ContainersTheChecksCannotMeasureAreRefused) {
    TempFolder folder;
    for (const std::string& bytes :
         {std::string("\x00\x00\x01\xBA", 4) + std::string(64, '\0'),
          std::string("\x1A\x45\xDF\xA3", 4) + std::string(64, '\0'),
          std::string("\x30\x26\xB2\x75\x8E\x66\xCF\x11", 8) + std::string(64, '\0')}) {
        const std::string file = folder.Write("a.mkv", bytes);
        EXPECT_TRUE(CheckMediaFile(file.c_str()).unknownKind);
        EXPECT_FALSE(CheckedAudioFile(file.c_str()));
        EXPECT_FALSE(CheckedVideoFile(file.c_str()));
    }
    const std::string theora = OggPage(1, 0, 2, TheoraIdHeader(40, 30));
    EXPECT_EQ(CheckMediaBytes("a.ogv", SpanOf(GuardedBytes(theora)), theora.size()).framePixels,
              640u * 480u);
    EXPECT_TRUE(
        CheckedAudioFile(folder.Write("a.ogg", OggPage(1, 0, 2, VorbisIdHeader())).c_str()));
}

TEST(StreamHeaders, MpegAudioFlacMidiAndWaveHeadersMustBePossible) {
    Hostile(Media("a.mp3"), Mp3Frames(), 4);
    const std::string tag = "ID3\x03" + std::string(5, '\0') + "\x0A" + std::string(10, ' ');
    Hostile(Media("a.mp3"), tag + Mp3Frames(), 10);
    Hostile(Media("a.flac"), FlacFile(), 42);
    Hostile(Media("a.mid"), MidiFile(), 26);
    Hostile(Media("a.wav"), PcmWave(100), 44);
    EXPECT_FALSE(Passes(Media("a.mp3"), Put8(Put8(Mp3Frames(), 2, 0xF0), 419, 0xF0)))
        << "bitrate index 15";
    EXPECT_FALSE(
        Passes(Media("a.mp3"), "ID3\x03" + std::string(2, '\0') + "\x7F\x7F\x7F\x7F" + Mp3Frames()))
        << "a tag longer than the file";
    EXPECT_FALSE(Passes(Media("a.flac"), FlacFile(0))) << "rate 0";
    EXPECT_FALSE(Passes(Media("a.mid"), MidiFile(0))) << "division 0";
    EXPECT_FALSE(Passes(Media("a.mid"), Put8(MidiFile(), 21, 0x40))) << "a track past the end";
    EXPECT_FALSE(Passes(Media("a.wav"), MsAdpcmWave(0))) << "0 samples per block";
    EXPECT_FALSE(Passes(Media("a.mpg"), std::string("\x00\x00\x01\xBA", 4) + std::string(64, '\0')))
        << "a container nothing here checks";
    // Such a container goes to the graph unchecked; a known kind that fails its check never does.
    const std::string mpeg = std::string("\x00\x00\x01\xBA", 4) + std::string(64, '\0');
    EXPECT_TRUE(CheckMediaBytes("a.mpg", SpanOf(GuardedBytes(mpeg)), mpeg.size()).unknownKind);
    const std::string adpcm = MsAdpcmWave(0);
    EXPECT_FALSE(CheckMediaBytes("a.wav", SpanOf(GuardedBytes(adpcm)), adpcm.size()).unknownKind);
}

TEST(MappedFiles, FilesAreCheckedThroughTheirMappingAndUnreadableOnesRefused) {
    TempFolder folder;
    EXPECT_TRUE(CheckPictureFile(folder.Write("a.png", PngBytes(3, 2, Opaque)).c_str()));
    EXPECT_TRUE(CheckMediaFile(folder.Write("a.avi", AviFile()).c_str()).video);
    EXPECT_FALSE(CheckPictureFile(folder.Write("empty.png", "").c_str()));
    EXPECT_FALSE(CheckMediaFile(folder.File("missing.avi").c_str()).ok);
    EXPECT_FALSE(CheckPictureFile(nullptr));
    EXPECT_FALSE(CheckMediaFile("").ok);
}
