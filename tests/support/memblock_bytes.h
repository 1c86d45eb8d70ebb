// Memory blocks made from and read back into byte strings, for the tests of the modules that turn
// media into blocks and back.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

// The words' little-endian bytes, one after the other.
std::string Words(std::initializer_list<std::uint32_t> words);
// Varied bytes; every fourth is 0xFF, so 32-bit pixels stay opaque whatever the screen keeps.
std::string BytePattern(std::size_t size, std::uint32_t seed);
// Block n made afresh (any block of that number is replaced) holding the bytes.
void FillBlock(std::int32_t n, const std::string& bytes);
// Block n's bytes, empty when it does not exist.
std::string BlockBytes(std::int32_t n);
