#include "support/image_files.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

void Put16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void Put32BigEndian(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((v >> shift) & 0xFF);
}

std::uint32_t Crc32(const std::string& bytes) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : bytes)
        c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void PngChunk(std::string& out, const char* type, const std::string& data) {
    Put32BigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::string typed = std::string(type, 4) + data;
    out += typed;
    Put32BigEndian(out, Crc32(typed));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::string Zlib(const std::string& raw) {
    std::string out("\x78\x01", 2);
    std::size_t at = 0;
    do {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        out += static_cast<char>(at + n == raw.size() ? 1 : 0);
        Put16(out, static_cast<std::uint32_t>(n));
        Put16(out, static_cast<std::uint32_t>(~n & 0xFFFF));
        out.append(raw, at, n);
        at += n;
    } while (at < raw.size());
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    Put32BigEndian(out, b << 16 | a);
    return out;
}

// Deflate's bits: fields go least significant bit first, Huffman codes most significant first.
struct BitWriter {
    std::string out;
    std::uint32_t byte = 0;
    int used = 0;

    void Bit(std::uint32_t b) {
        byte |= (b & 1) << used;
        if (++used == 8) {
            out += static_cast<char>(byte);
            byte = 0;
            used = 0;
        }
    }
    void Field(std::uint32_t v, int bits) {
        for (int i = 0; i < bits; ++i)
            Bit(v >> i);
    }
    void Code(std::uint32_t c, int bits) {
        for (int i = bits - 1; i >= 0; --i)
            Bit(c >> i);
    }
};

// A zlib stream of size zero bytes (size >= 1) in one fixed-code block: a literal 0, then copies
// of 258 bytes from one back (length code 285, distance code 0), then literals for the rest.
std::string ZlibZeros(std::size_t size) {
    BitWriter w;
    w.Field(1, 1); // the last block
    w.Field(1, 2); // fixed codes
    constexpr std::uint32_t kLiteralZero = 0x30, kLength258 = 0xC5;
    w.Code(kLiteralZero, 8);
    std::size_t left = size - 1;
    for (; left >= 258; left -= 258) {
        w.Code(kLength258, 8);
        w.Code(0, 5);
    }
    for (; left > 0; --left)
        w.Code(kLiteralZero, 8);
    w.Code(0, 7); // end of block
    std::string out("\x78\x01", 2);
    out += w.out;
    if (w.used) out += static_cast<char>(w.byte);
    // Adler-32 of zeros: a stays 1, b gains 1 a byte.
    Put32BigEndian(out, static_cast<std::uint32_t>(size % 65521) << 16 | 1);
    return out;
}

} // namespace

std::string BlankPngBytes(int width, int height) {
    std::string out("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    Put32BigEndian(header, width);
    Put32BigEndian(header, height);
    header += std::string("\x01\x03\0\0\0", 5); // 1 bit, palette, deflate, no interlace
    PngChunk(out, "IHDR", header);
    PngChunk(out, "PLTE", std::string("\0\0\0\xFF\xFF\xFF", 6));
    const std::size_t row = 1 + (static_cast<std::size_t>(width) + 7) / 8;
    PngChunk(out, "IDAT", ZlibZeros(row * static_cast<std::size_t>(height)));
    PngChunk(out, "IEND", "");
    return out;
}

std::string BmpBytes(int width, int height, const PixelFn& pixel, bool topDown) {
    const int rowBytes = (width * 3 + 3) & ~3;
    std::string out = "BM";
    Put32(out, 54 + rowBytes * height);
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, width);
    Put32(out, static_cast<std::uint32_t>(topDown ? -height : height));
    Put16(out, 1);
    Put16(out, 24);
    for (int i = 0; i < 6; ++i)
        Put32(out, 0);
    for (int line = 0; line < height; ++line) {
        const int y = topDown ? line : height - 1 - line;
        std::string row;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = pixel(x, y);
            row += static_cast<char>(c & 0xFF);
            row += static_cast<char>((c >> 8) & 0xFF);
            row += static_cast<char>((c >> 16) & 0xFF);
        }
        row.resize(rowBytes, '\0');
        out += row;
    }
    return out;
}

std::string Dxt1Bytes(int width, int height, std::uint16_t colour) {
    std::string out = "DDS ";
    Put32(out, 124);
    Put32(out, 0x1 | 0x2 | 0x4 | 0x1000 | 0x80000); // caps, height, width, format, linear size
    Put32(out, height);
    Put32(out, width);
    const int blocks = ((width + 3) / 4) * ((height + 3) / 4);
    Put32(out, blocks * 8);
    for (int i = 0; i < 13; ++i)
        Put32(out, 0);
    Put32(out, 32); // pixel format size
    Put32(out, 0x4);
    out += "DXT1";
    for (int i = 0; i < 5; ++i)
        Put32(out, 0);
    Put32(out, 0x1000); // texture
    for (int i = 0; i < 4; ++i)
        Put32(out, 0);
    for (int b = 0; b < blocks; ++b) {
        Put16(out, colour); // both colours the same, every index the first
        Put16(out, colour);
        Put32(out, 0);
    }
    return out;
}

std::string TgaBytes(int width, int height, const PixelFn& pixel) {
    std::string out(12, '\0');
    out[2] = 2; // uncompressed true colour
    Put16(out, width);
    Put16(out, height);
    out += static_cast<char>(32);
    out += static_cast<char>(0x28); // 8 alpha bits, top row first
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            Put32(out, pixel(x, y)); // B, G, R, A
    return out;
}

std::string DdsBytes(int width, int height, const PixelFn& pixel) {
    std::string out = "DDS ";
    Put32(out, 124);
    Put32(out, 0x1 | 0x2 | 0x4 | 0x1000 | 0x8); // caps, height, width, pixel format, pitch
    Put32(out, height);
    Put32(out, width);
    Put32(out, width * 4);
    Put32(out, 0);
    Put32(out, 0);
    for (int i = 0; i < 11; ++i)
        Put32(out, 0);
    Put32(out, 32);   // pixel format size
    Put32(out, 0x41); // RGB with alpha
    Put32(out, 0);
    Put32(out, 32);
    Put32(out, 0x00FF0000);
    Put32(out, 0x0000FF00);
    Put32(out, 0x000000FF);
    Put32(out, 0xFF000000);
    Put32(out, 0x1000); // texture
    for (int i = 0; i < 4; ++i)
        Put32(out, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            Put32(out, pixel(x, y));
    return out;
}

std::string PngBytes(int width, int height, const PixelFn& pixel) {
    std::string out("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    Put32BigEndian(header, width);
    Put32BigEndian(header, height);
    header += std::string("\x08\x06\x00\x00\x00", 5); // 8 bits, RGBA
    PngChunk(out, "IHDR", header);
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw += '\0'; // no filter
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = pixel(x, y);
            raw += static_cast<char>((c >> 16) & 0xFF);
            raw += static_cast<char>((c >> 8) & 0xFF);
            raw += static_cast<char>(c & 0xFF);
            raw += static_cast<char>(c >> 24);
        }
    }
    PngChunk(out, "IDAT", Zlib(raw));
    PngChunk(out, "IEND", "");
    return out;
}

std::string PngRawBytes(int width, int height, int depth, int colourType, const std::string& rows,
                        const std::string& palette, const std::string& transparency) {
    std::string out("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    Put32BigEndian(header, width);
    Put32BigEndian(header, height);
    header += static_cast<char>(depth);
    header += static_cast<char>(colourType);
    header += std::string(3, '\0');
    PngChunk(out, "IHDR", header);
    if (!palette.empty()) PngChunk(out, "PLTE", palette);
    if (!transparency.empty()) PngChunk(out, "tRNS", transparency);
    const std::size_t rowBytes = height > 0 ? rows.size() / height : 0;
    std::string raw;
    for (int y = 0; y < height; ++y)
        raw += '\0' + rows.substr(y * rowBytes, rowBytes);
    PngChunk(out, "IDAT", Zlib(raw));
    PngChunk(out, "IEND", "");
    return out;
}
