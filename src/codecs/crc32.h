// CRC-32 as zip, gzip and PNG use it (reflected polynomial 0xEDB88320).
#pragma once

#include <cstddef>
#include <cstdint>

// The CRC of bytes[0, size) continued from crc, the CRC of the bytes before them (0 to start).
std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t size, std::uint32_t crc = 0);
