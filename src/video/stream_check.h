// Header checks of the files that the music and animation loaders hand to the media graph: its
// decoders trust channel counts, stream headers and sizes that a damaged file gets wrong (the
// Vorbis decoder dies on more than 64 channels; the AVI path waits for ever on impossible stream
// headers, or on a video without one whole frame; a Motion-JPEG decoder makes frames of whatever
// size each frame claims). Each check reads the file's bytes as far as they are mapped, knowing
// the whole size.
#pragma once

#include "core/byte_span.h"

#include <cstdint>

// The largest side and frame a video's headers may claim: its decoder makes frames of that size
// from a few bytes, 8192 x 8192 at most.
constexpr std::uint32_t kLargestVideoSide = 16384;
constexpr std::uint64_t kLargestFramePixels = std::uint64_t{1} << 26;

// What a checked file holds.
struct StreamCheck {
    bool ok = false;
    bool video = false;
    bool audio = false;
    // A readable file of no kind checked here (ASF, MPEG, Matroska and the like): nothing tells
    // what its decoders would make, so neither loader takes it.
    bool unknownKind = false;
    // The video frames the decoders make, in pixels: the largest frame of each video stream that
    // its headers, or its frames' own headers, claim, added up; 0 without video.
    std::uint64_t framePixels = 0;
    // The blocks that the scans of Motion-JPEG frames pass over after each component's first
    // scan, all frames added up: work each play decodes, charged as a picture's.
    std::uint64_t repeatedBlocks = 0;
};

StreamCheck CheckAviStreams(const ByteSpan& bytes, std::uint64_t fileSize);
StreamCheck CheckOggStreams(const ByteSpan& bytes, std::uint64_t fileSize);
StreamCheck CheckMp3Stream(const ByteSpan& bytes, std::uint64_t fileSize);
StreamCheck CheckFlacStream(const ByteSpan& bytes, std::uint64_t fileSize);
StreamCheck CheckMidiFile(const ByteSpan& bytes, std::uint64_t fileSize);

// Chooses the check by the magic bytes (an MP3 without a tag also by the name); a container of no
// kind known here is not ok, and marked as unknown.
StreamCheck CheckMediaBytes(const char* fileName, const ByteSpan& bytes, std::uint64_t fileSize);
// Maps the file and checks it; not ok when it cannot be read.
StreamCheck CheckMediaFile(const char* fileName);
// A checked file with a stream of the kind the loader plays.
bool CheckedAudioFile(const char* fileName);
bool CheckedVideoFile(const char* fileName);
