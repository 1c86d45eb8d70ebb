#include "support/media_files.h"
#include "support/wave_files.h"

#include <algorithm>
#include <random>

std::string Be16(std::uint32_t v) {
    return std::string{static_cast<char>(v >> 8), static_cast<char>(v)};
}
std::string Be24(std::uint32_t v) {
    return std::string{static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}
std::string Be32(std::uint32_t v) {
    return Be16(v >> 16) + Be16(v & 0xFFFF);
}

std::string Chunk(const std::string& id, const std::string& body) {
    return id + U32(static_cast<std::uint32_t>(body.size())) + body +
           (body.size() % 2 ? std::string(1, '\0') : "");
}

namespace {

std::string CompressedWave(std::uint16_t tag, const std::string& extension,
                           std::uint16_t samplesPerBlock, int blocks) {
    const std::uint32_t rate = 22050, align = 256;
    const std::uint32_t average = samplesPerBlock ? rate * align / samplesPerBlock : rate;
    const std::string format = U16(tag) + U16(1) + U32(rate) + U32(average) + U16(align) + U16(4) +
                               U16(static_cast<std::uint16_t>(extension.size())) + extension;
    const std::string data(static_cast<std::size_t>(blocks) * align, '\0');
    return "RIFF" + U32(static_cast<std::uint32_t>(4 + 8 + format.size() + 8 + data.size())) +
           "WAVE" + Chunk("fmt ", format) + Chunk("data", data);
}

} // namespace

std::string MsAdpcmWave(std::uint16_t samplesPerBlock, int blocks) {
    static const std::int16_t kCoefficients[7][2] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                                     {240, 0}, {460, -208}, {392, -232}};
    std::string extension = U16(samplesPerBlock) + U16(7);
    for (const auto& pair : kCoefficients)
        extension +=
            U16(static_cast<std::uint16_t>(pair[0])) + U16(static_cast<std::uint16_t>(pair[1]));
    return CompressedWave(2, extension, samplesPerBlock, blocks);
}

std::string ImaAdpcmWave(std::uint16_t samplesPerBlock, int blocks) {
    return CompressedWave(0x11, U16(samplesPerBlock), samplesPerBlock, blocks);
}

std::string Mp3Wave(std::uint32_t bytesPerSecond, std::uint32_t dataBytes) {
    const std::uint32_t rate = 44100;
    // The extension: id, flags, block size, frames per block, codec delay.
    const std::string extension = U16(1) + U32(2) + U16(417) + U16(1) + U16(0);
    const std::string format = U16(0x55) + U16(2) + U32(rate) + U32(bytesPerSecond) + U16(1) +
                               U16(0) + U16(static_cast<std::uint16_t>(extension.size())) +
                               extension;
    const std::string data(dataBytes, '\x55');
    return "RIFF" + U32(static_cast<std::uint32_t>(4 + 8 + format.size() + 8 + data.size())) +
           "WAVE" + Chunk("fmt ", format) + Chunk("data", data);
}

std::string VorbisIdHeader(std::uint8_t channels, std::uint32_t rate) {
    return std::string("\x01vorbis") + U32(0) + std::string(1, static_cast<char>(channels)) +
           U32(rate) + U32(0) + U32(128000) + U32(0) + "\xB8\x01";
}

std::string OpusIdHeader(std::uint8_t channels, std::uint8_t family) {
    std::string h = "OpusHead\x01" + std::string(1, static_cast<char>(channels)) + U16(312) +
                    U32(48000) + U16(0) + std::string(1, static_cast<char>(family));
    if (family != 0) {
        h += std::string(1, static_cast<char>(channels)) + std::string(1, '\0');
        for (std::uint8_t c = 0; c < channels; ++c)
            h += std::string(1, static_cast<char>(c));
    }
    return h;
}

std::string TheoraIdHeader(std::uint16_t mbWidth, std::uint16_t mbHeight) {
    return std::string("\x80theora\x03\x02\x01") + Be16(mbWidth) + Be16(mbHeight) +
           Be24(mbWidth * 16u) + Be24(mbHeight * 16u) + std::string(2, '\0') + Be32(25) + Be32(1) +
           Be24(1) + Be24(1) + std::string(1, '\0') + Be24(0) + std::string(2, '\0');
}

namespace {

std::string FlacStreamInfo(std::uint32_t rate, int channels) {
    const std::uint64_t packed = static_cast<std::uint64_t>(rate) << 44 |
                                 static_cast<std::uint64_t>(channels - 1) << 41 |
                                 static_cast<std::uint64_t>(15) << 36 | 44100u;
    return "\x80" + Be24(34) + Be16(4096) + Be16(4096) + Be24(0) + Be24(0) +
           Be32(static_cast<std::uint32_t>(packed >> 32)) +
           Be32(static_cast<std::uint32_t>(packed)) + std::string(16, '\0');
}

} // namespace

std::string OggFlacIdHeader(std::uint32_t rate, int channels) {
    return std::string("\x7F") + "FLAC\x01" + std::string(1, '\0') + Be16(1) + "fLaC" +
           FlacStreamInfo(rate, channels);
}

std::string OggPage(std::uint32_t serial, std::uint32_t sequence, std::uint8_t flags,
                    const std::string& packet) {
    std::string lacing(packet.size() / 255, '\xFF');
    lacing += static_cast<char>(packet.size() % 255);
    return "OggS" + std::string(1, '\0') + std::string(1, static_cast<char>(flags)) +
           std::string(8, '\0') + U32(serial) + U32(sequence) + U32(0) +
           std::string(1, static_cast<char>(lacing.size())) + lacing + packet;
}

std::string AviFile(const AviLayout& layout) {
    std::string avih = U32(100000) + U32(0) + U32(0) + U32(0x10) + U32(1) + U32(0) +
                       U32(layout.streams) + U32(4096) +
                       U32(static_cast<std::uint32_t>(layout.width)) +
                       U32(static_cast<std::uint32_t>(layout.height)) + std::string(16, '\0');
    std::string strh = layout.type + layout.handler + U32(0) + U16(0) + U16(0) + U32(0) +
                       U32(layout.scale) + U32(layout.rate) + U32(0) + U32(1) + U32(4096) +
                       U32(0xFFFFFFFF) + U32(0) + std::string(8, '\0');
    std::string strf = layout.type == "vids"
                           ? U32(40) + U32(static_cast<std::uint32_t>(layout.width)) +
                                 U32(static_cast<std::uint32_t>(layout.height)) + U16(1) + U16(24) +
                                 layout.compression + U32(0) + std::string(16, '\0')
                           : PcmWave(0).substr(20, 16);
    std::string hdrl =
        "hdrl" + Chunk("avih", avih) +
        Chunk("LIST", "strl" + Chunk("strh", strh) + Chunk("strf", strf) + layout.streamList) +
        layout.headerList;
    std::string body = Chunk("LIST", hdrl);
    const std::string data =
        layout.data.empty() ? Chunk(layout.chunkId, layout.frame) : layout.data;
    if (layout.movi) body += Chunk("LIST", "movi" + data);
    body += layout.tail;
    return "RIFF" + U32(static_cast<std::uint32_t>(4 + body.size())) + "AVI " + body;
}

std::string AviIndexEntry(const std::string& id, std::uint32_t offset, std::uint32_t size) {
    return id + U32(0x10) + U32(offset) + U32(size);
}

std::string Mp3Frames() {
    const std::string frame = "\xFF\xFB\x90\x64" + std::string(413, '\0');
    return frame + frame;
}

std::string MidiFile(std::uint16_t division) {
    return "MThd" + Be32(6) + Be16(0) + Be16(1) + Be16(division) + "MTrk" + Be32(4) +
           std::string("\x00\xFF\x2F\x00", 4);
}

std::string FlacFile(std::uint32_t rate) {
    return "fLaC" + FlacStreamInfo(rate, 2) + std::string("\xFF\xF8\x69\x08", 4) +
           std::string(32, '\0');
}

std::string JpegHeaders(std::uint16_t width, std::uint16_t height) {
    const std::string app0 = "JFIF" + std::string(1, '\0') + "\x01\x01" + std::string(1, '\0') +
                             Be16(1) + Be16(1) + std::string(2, '\0');
    const std::string dqt = std::string(1, '\0') + std::string(64, '\x01');
    const std::string sof =
        "\x08" + Be16(height) + Be16(width) + "\x01\x01\x11" + std::string(1, '\0');
    const std::string dht =
        std::string(1, '\0') + "\x01" + std::string(15, '\0') + std::string(1, '\0');
    const std::string sos =
        "\x01\x01" + std::string(1, '\0') + std::string(1, '\0') + "\x3F" + std::string(1, '\0');
    auto segment = [](char marker, const std::string& body) {
        return std::string("\xFF") + marker + Be16(static_cast<std::uint32_t>(body.size() + 2)) +
               body;
    };
    return "\xFF\xD8" + segment('\xE0', app0) + segment('\xDB', dqt) + segment('\xC0', sof) +
           segment('\xC4', dht) + segment('\xDA', sos) + std::string(8, '\0') + "\xFF\xD9";
}

std::string BeforeFrameHeader(const std::string& before, std::string jpeg) {
    return jpeg.insert(jpeg.find("\xFF\xC0"), before);
}

std::string WithoutFrameHeader(std::string jpeg) {
    const std::size_t at = jpeg.find("\xFF\xC0");
    return jpeg.erase(at, 2 + (static_cast<std::uint8_t>(jpeg[at + 2]) << 8 |
                               static_cast<std::uint8_t>(jpeg[at + 3])));
}

std::string JpegComments(int count) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += "\xFF\xFE" + Be16(5) + "abc";
    return out;
}

std::string Damage(const std::string& good, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::string bad = good;
    if (bad.empty()) return bad;
    if (random() % 4 == 0) return bad.substr(0, random() % bad.size()); // cut short
    const int changes = 1 + static_cast<int>(random() % 4);
    // Most damage lands in the first bytes, where the headers are.
    const std::size_t reach = std::min<std::size_t>(bad.size(), random() % 2 ? 256 : bad.size());
    for (int i = 0; i < changes; ++i)
        bad[random() % reach] = static_cast<char>(random());
    return bad;
}
