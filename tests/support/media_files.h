// Media files built byte by byte for the header-check and damaged-media tests: compressed waves,
// Ogg, AVI, MPEG audio, MIDI, FLAC and JPEG headers, each valid as made, with the fields the checks
// read open to change.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

std::string Be16(std::uint32_t v);
std::string Be24(std::uint32_t v);
std::string Be32(std::uint32_t v);
// A RIFF-style chunk: id, little-endian size, body, pad byte when odd.
std::string Chunk(const std::string& id, const std::string& body);

// Mono MS-ADPCM and IMA ADPCM waves of 256-byte blocks at 22050 Hz.
std::string MsAdpcmWave(std::uint16_t samplesPerBlock = 500, int blocks = 8);
std::string ImaAdpcmWave(std::uint16_t samplesPerBlock = 505, int blocks = 8);
// A stereo MPEG layer III wave at 44.1 kHz claiming bytesPerSecond, its data bytes not frames.
std::string Mp3Wave(std::uint32_t bytesPerSecond, std::uint32_t dataBytes);

std::string VorbisIdHeader(std::uint8_t channels = 2, std::uint32_t rate = 44100);
std::string OpusIdHeader(std::uint8_t channels = 2, std::uint8_t family = 0);
std::string TheoraIdHeader(std::uint16_t mbWidth = 4, std::uint16_t mbHeight = 3);
std::string OggFlacIdHeader(std::uint32_t rate = 44100, int channels = 2);
// One Ogg page holding one packet; flags 2 begins a stream.
std::string OggPage(std::uint32_t serial, std::uint32_t sequence, std::uint8_t flags,
                    const std::string& packet);

// A baseline JPEG's header segments and a few bytes of scan.
std::string JpegHeaders(std::uint16_t width = 8, std::uint16_t height = 8);
// A JPEG with `before` just ahead of its frame header; one without that header; comments.
std::string BeforeFrameHeader(const std::string& before, std::string jpeg);
std::string WithoutFrameHeader(std::string jpeg);
std::string JpegComments(int count);

struct AviLayout {
    std::string type = "vids";
    std::uint32_t scale = 1, rate = 10, streams = 1;
    std::int32_t width = 16, height = 16;
    // The stream header's codec and the format's (the format's wins unless it is 0).
    std::string handler = "MJPG", compression = "MJPG";
    bool movi = true;
    std::string frame = JpegHeaders(16, 16); // the one video chunk's data
    std::string chunkId = "00dc";
    std::string data{};       // when not empty, the data list's chunks instead of the one frame
    std::string tail{};       // chunks after the data list, such as an index
    std::string streamList{}; // chunks appended to the stream's header list, such as an indx
    std::string headerList{}; // chunks appended to the header list, such as another stream's
};
std::string AviFile(const AviLayout& layout = {});
// An idx1 entry naming a chunk.
std::string AviIndexEntry(const std::string& id, std::uint32_t offset, std::uint32_t size);

// Two MPEG-1 layer III frames at 128 kbit/s, 44.1 kHz.
std::string Mp3Frames();
std::string MidiFile(std::uint16_t division = 96);
std::string FlacFile(std::uint32_t rate = 44100);

// Seeded damage of a good file: a few random bytes overwritten, or the file cut short.
std::string Damage(const std::string& good, std::uint32_t seed);
