#include "support/jpeg_files.h"

#include "support/media_files.h"

#include <algorithm>

namespace {

std::string Segment(std::uint8_t marker, const std::string& body) {
    return std::string{'\xFF', static_cast<char>(marker)} +
           Be16(static_cast<std::uint32_t>(body.size() + 2)) + body;
}

// DC table 0 codes the difference 0 as the bit 0. AC table 0 codes a run of 2^14 to 32,767 empty
// blocks as the bit 0, and runs of 2^r blocks for r 0-13 as the five bits 1 0000 + r; the run of
// one (symbol 0) also ends a sequential block.
std::string HuffmanTables() {
    std::string dc = std::string(1, '\x00') + '\x01' + std::string(15, '\0') + '\0';
    std::string ac = std::string(1, '\x10') + '\x01' + std::string(3, '\0') + '\x0E' +
                     std::string(11, '\0') + '\xE0';
    for (int r = 0; r < 14; ++r)
        ac += static_cast<char>(r << 4);
    return Segment(0xC4, dc + ac);
}

int Ceil(int a, int b) {
    return (a + b - 1) / b;
}

// The blocks a scan covers: a component's own when it is alone, else whole units of the
// largest sampling.
int ScanBlocks(const JpegPicture& p, const JpegScan& scan) {
    int hMax = 1, vMax = 1;
    for (std::uint8_t s : p.sampling) {
        hMax = std::max(hMax, s >> 4);
        vMax = std::max(vMax, s & 15);
    }
    if (scan.components.size() == 1) {
        const std::uint8_t s = p.sampling[scan.components[0]];
        return Ceil(Ceil(p.width * (s >> 4), hMax), 8) * Ceil(Ceil(p.height * (s & 15), vMax), 8);
    }
    int perUnit = 0;
    for (int c : scan.components)
        perUnit += (p.sampling[c] >> 4) * (p.sampling[c] & 15);
    return Ceil(p.width, 8 * hMax) * Ceil(p.height, 8 * vMax) * perUnit;
}

std::string ScanBytes(const JpegPicture& p, const JpegScan& scan) {
    std::string header(1, static_cast<char>(scan.components.size()));
    for (int c : scan.components)
        header += {static_cast<char>(c + 1), '\0'};
    const bool ac = p.progressive && !scan.dc;
    // The spectral band: 1-63 alone, the DC alone, or all 64 (baseline).
    header += {ac ? '\x01' : '\0', p.progressive && !ac ? '\0' : '\x3F', '\0'};
    // Entropy-coded bits, most significant first, every 0xFF byte followed by a stuffed zero.
    std::string out;
    std::uint32_t byte = 0;
    int used = 0;
    const auto put = [&](std::uint32_t bits, int count) {
        for (int i = count - 1; i >= 0; --i) {
            byte = byte << 1 | (bits >> i & 1);
            if (++used < 8) continue;
            out += static_cast<char>(byte);
            if (byte == 0xFF) out += '\0';
            byte = used = 0;
        }
    };
    int blocks = ScanBlocks(p, scan);
    for (; ac && blocks >= 32767; blocks -= 32767)
        put(0x3FFF, 15); // the bit 0, then 14 bits of run
    int r = 0;
    while (ac && blocks >> (r + 1))
        ++r;
    if (ac && blocks) put((0x10 | r) << r | (blocks - (1 << r)), 5 + r);
    for (int b = 0; !ac && b < blocks; ++b)
        put(p.progressive ? 0 : 0x10, p.progressive ? 1 : 6);
    while (used)
        put(1, 1);
    return Segment(0xDA, header) + out;
}

} // namespace

std::string JpegBytes(const JpegPicture& p) {
    std::string frame = static_cast<char>(p.precision) + Be16(p.height) + Be16(p.width) +
                        static_cast<char>(p.sampling.size());
    for (std::size_t c = 0; c < p.sampling.size(); ++c)
        frame += {static_cast<char>(c + 1), static_cast<char>(p.sampling[c]), '\0'};
    const std::uint8_t marker = p.frameMarker ? p.frameMarker : p.progressive ? 0xC2 : 0xC0;
    std::string out = "\xFF\xD8" + Segment(0xDB, std::string(1, '\0') + std::string(64, '\x01')) +
                      Segment(marker, frame) + HuffmanTables();
    for (const JpegScan& scan : p.scans)
        out += ScanBytes(p, scan);
    return p.end ? out + "\xFF\xD9" : out;
}

std::string ProgressiveJpegBytes(int width, int height, int acScans) {
    JpegPicture p{.width = width, .height = height, .progressive = true};
    p.scans.assign(static_cast<std::size_t>(acScans) + 1, JpegScan{{0}, false});
    p.scans[0].dc = true;
    return JpegBytes(p);
}
