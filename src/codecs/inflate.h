// A decoder of raw deflate streams (no zlib or gzip wrapper), for the formats that carry them.
// It never reads past its input nor writes past its output: a damaged stream is refused.
#pragma once

#include <cstddef>
#include <cstdint>

// What a copy reaching back before the first byte of out reads: nothing (the stream is refused,
// as the deflate format itself says), or zeros, as from a window cleared before the stream began
// (the zip reader's view).
enum class InflateBefore { Refuse, Zeros };

// Decodes the stream in[0, inSize) to out[history, capacity): out[0, history) holds output of
// earlier streams that this one may refer back to (within the last 32 KiB). *produced is the
// number of bytes written. False for a damaged or truncated stream, or one whose output would not
// fit the capacity. Bytes of out past the ones produced may have been overwritten.
bool InflateRaw(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t capacity,
                std::size_t history, std::size_t* produced,
                InflateBefore before = InflateBefore::Refuse);
