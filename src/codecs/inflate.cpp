#include "codecs/inflate.h"

#include <cstring>

namespace {

constexpr int kMaxBits = 15;
constexpr int kLiteralCodes = 288;
constexpr int kDistanceCodes = 30;
constexpr std::size_t kWindow = 32768;

constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                           15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                           67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistanceBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                             6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                               11, 4,  12, 3, 13, 2, 14, 1, 15};

// A canonical Huffman code: how many codes of each length, and the symbols in code order.
struct Huffman {
    std::uint16_t count[kMaxBits + 1];
    std::uint16_t symbol[kLiteralCodes];
};

class Decoder {
public:
    Decoder(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t capacity,
            std::size_t history)
        : in_(in), inSize_(inSize), out_(out), capacity_(capacity), at_(history) {}

    bool Run() {
        for (bool last = false; !last;) {
            int type = 0;
            if (!Bits(1, &last) || !Bits(2, &type)) return false;
            const bool ok = type == 0 ? Stored() : type == 1 ? Fixed() : type == 2 && Dynamic();
            if (!ok) return false;
        }
        return true;
    }
    std::size_t End() const { return at_; }

private:
    template <typename T> bool Bits(int n, T* value) {
        std::uint32_t v = bitBuffer_;
        while (bitCount_ < n) {
            if (inAt_ >= inSize_) return false;
            v |= static_cast<std::uint32_t>(in_[inAt_++]) << bitCount_;
            bitCount_ += 8;
        }
        bitBuffer_ = v >> n;
        bitCount_ -= n;
        *value = static_cast<T>(v & ((1u << n) - 1));
        return true;
    }

    bool Put(std::uint8_t byte) {
        if (at_ >= capacity_) return false;
        out_[at_++] = byte;
        return true;
    }

    bool Stored() {
        bitBuffer_ = 0;
        bitCount_ = 0;
        if (inSize_ - inAt_ < 4) return false;
        const unsigned length = in_[inAt_] | (in_[inAt_ + 1] << 8);
        const unsigned check = in_[inAt_ + 2] | (in_[inAt_ + 3] << 8);
        inAt_ += 4;
        if ((length ^ 0xFFFFu) != check || inSize_ - inAt_ < length || capacity_ - at_ < length)
            return false;
        std::memcpy(out_ + at_, in_ + inAt_, length);
        inAt_ += length;
        at_ += length;
        return true;
    }

    // Fails for a code that claims more codes of some length than the lengths before allow.
    static bool Build(Huffman& h, const std::uint8_t* lengths, int n) {
        std::memset(h.count, 0, sizeof h.count);
        for (int s = 0; s < n; ++s)
            ++h.count[lengths[s]];
        if (h.count[0] == n) return true; // no codes: any use fails when decoding
        int left = 1;
        for (int len = 1; len <= kMaxBits; ++len) {
            left = 2 * left - h.count[len];
            if (left < 0) return false;
        }
        std::uint16_t offsets[kMaxBits + 1];
        offsets[1] = 0;
        for (int len = 1; len < kMaxBits; ++len)
            offsets[len + 1] = offsets[len] + h.count[len];
        for (int s = 0; s < n; ++s)
            if (lengths[s]) h.symbol[offsets[lengths[s]]++] = static_cast<std::uint16_t>(s);
        return true;
    }

    bool Decode(const Huffman& h, int* symbol) {
        int code = 0, first = 0, index = 0;
        for (int len = 1; len <= kMaxBits; ++len) {
            int bit = 0;
            if (!Bits(1, &bit)) return false;
            code |= bit;
            const int count = h.count[len];
            if (code - first < count) {
                *symbol = h.symbol[index + code - first];
                return true;
            }
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return false; // a code the table does not have
    }

    bool Codes(const Huffman& literals, const Huffman& distances) {
        for (;;) {
            int symbol = 0;
            if (!Decode(literals, &symbol)) return false;
            if (symbol < 256) {
                if (!Put(static_cast<std::uint8_t>(symbol))) return false;
                continue;
            }
            if (symbol == 256) return true;
            symbol -= 257;
            if (symbol >= 29) return false;
            int extra = 0, distanceSymbol = 0, distanceExtra = 0;
            if (!Bits(kLengthExtra[symbol], &extra)) return false;
            const std::size_t length = kLengthBase[symbol] + static_cast<std::size_t>(extra);
            if (!Decode(distances, &distanceSymbol) || distanceSymbol >= kDistanceCodes ||
                !Bits(kDistanceExtra[distanceSymbol], &distanceExtra))
                return false;
            const std::size_t distance =
                kDistanceBase[distanceSymbol] + static_cast<std::size_t>(distanceExtra);
            if (distance > at_ || distance > kWindow || capacity_ - at_ < length) return false;
            for (std::size_t k = 0; k < length; ++k, ++at_)
                out_[at_] = out_[at_ - distance];
        }
    }

    bool Fixed() {
        std::uint8_t lengths[kLiteralCodes];
        int s = 0;
        for (; s < 144; ++s)
            lengths[s] = 8;
        for (; s < 256; ++s)
            lengths[s] = 9;
        for (; s < 280; ++s)
            lengths[s] = 7;
        for (; s < kLiteralCodes; ++s)
            lengths[s] = 8;
        Huffman literals, distances;
        Build(literals, lengths, kLiteralCodes);
        std::memset(lengths, 5, kDistanceCodes);
        Build(distances, lengths, kDistanceCodes);
        return Codes(literals, distances);
    }

    bool Dynamic() {
        int literalCount = 0, distanceCount = 0, codeCount = 0;
        if (!Bits(5, &literalCount) || !Bits(5, &distanceCount) || !Bits(4, &codeCount))
            return false;
        literalCount += 257;
        distanceCount += 1;
        codeCount += 4;
        if (literalCount > 286 || distanceCount > 30) return false;
        std::uint8_t lengths[320] = {};
        for (int i = 0; i < codeCount; ++i) {
            int length = 0;
            if (!Bits(3, &length)) return false;
            lengths[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(length);
        }
        Huffman lengthCode;
        if (!Build(lengthCode, lengths, 19)) return false;
        std::memset(lengths, 0, sizeof lengths);
        for (int i = 0; i < literalCount + distanceCount;) {
            int symbol = 0;
            if (!Decode(lengthCode, &symbol)) return false;
            if (symbol < 16) {
                lengths[i++] = static_cast<std::uint8_t>(symbol);
                continue;
            }
            int repeat = 0;
            std::uint8_t value = 0;
            if (symbol == 16) {
                if (i == 0 || !Bits(2, &repeat)) return false;
                value = lengths[i - 1];
                repeat += 3;
            } else if (symbol == 17) {
                if (!Bits(3, &repeat)) return false;
                repeat += 3;
            } else {
                if (!Bits(7, &repeat)) return false;
                repeat += 11;
            }
            if (i + repeat > literalCount + distanceCount) return false;
            while (repeat--)
                lengths[i++] = value;
        }
        if (lengths[256] == 0) return false; // no end-of-block code
        Huffman literals, distances;
        if (!Build(literals, lengths, literalCount) ||
            !Build(distances, lengths + literalCount, distanceCount))
            return false;
        return Codes(literals, distances);
    }

    const std::uint8_t* in_;
    std::size_t inSize_;
    std::size_t inAt_ = 0;
    std::uint32_t bitBuffer_ = 0;
    int bitCount_ = 0;
    std::uint8_t* out_;
    std::size_t capacity_;
    std::size_t at_;
};

} // namespace

bool InflateRaw(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t capacity,
                std::size_t history, std::size_t* produced) {
    if (produced) *produced = 0;
    if (!in || !out || history > capacity) return false;
    Decoder decoder(in, inSize, out, capacity, history);
    const bool ok = decoder.Run();
    if (produced) *produced = decoder.End() - history;
    return ok;
}
