#include "codecs/inflate.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

namespace {

constexpr int kMaxBits = 15;
constexpr int kLiteralCodes = 288;
constexpr int kDistanceCodes = 32; // 30 and 31 exist in the fixed code only, and are errors
constexpr std::size_t kWindow = 32768;
constexpr int kLiteralRoot = 10;
constexpr int kDistanceRoot = 8;
constexpr int kLengthCodeRoot = 7;
// Room for any code: the root table plus a subtable of the widest kind under every longer code.
constexpr std::size_t kLiteralTable =
    (1u << kLiteralRoot) + kLiteralCodes * (1u << (kMaxBits - kLiteralRoot));
constexpr std::size_t kDistanceTable =
    (1u << kDistanceRoot) + kDistanceCodes * (1u << (kMaxBits - kDistanceRoot));
// The fast loop runs while this much input and room are left: one symbol pair reads at most
// 6 bytes plus the 4 of a refill, and a copy is at most 258 bytes written 8 at a time.
constexpr std::size_t kFastInput = 16;
constexpr std::size_t kFastRoom = 258 + 8;

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

// A table entry: bits 0-7 the bits it consumes, 8-15 its kind, 16-31 its value (the byte of a
// literal, the base of a length or distance, the first entry of a subtable).
enum : std::uint32_t {
    kLiteral = 0x00,
    kBase = 0x10, // | extra bit count (0-13)
    kEndBlock = 0x20,
    kLink = 0x40,   // | subtable index bits; the entry consumes the root's bits
    kInvalid = 0x80 // a code the stream may not use
};

constexpr std::uint32_t Entry(std::uint32_t kind, std::uint32_t value) {
    return value << 16 | kind << 8;
}
inline std::uint32_t KindOf(std::uint32_t e) {
    return (e >> 8) & 0xFF;
}
inline std::uint32_t ValueOf(std::uint32_t e) {
    return e >> 16;
}
inline unsigned BitsOf(std::uint32_t e) {
    return e & 0xFF;
}

// What each symbol of the three alphabets decodes to, before its code length is added.
struct Meanings {
    std::uint32_t literal[kLiteralCodes];
    std::uint32_t distance[kDistanceCodes];
    std::uint32_t codeLength[19];
};

constexpr Meanings MakeMeanings() {
    Meanings m{};
    for (int s = 0; s < kLiteralCodes; ++s)
        m.literal[s] = s < 256    ? Entry(kLiteral, s)
                       : s == 256 ? Entry(kEndBlock, 0)
                       : s < 286  ? Entry(kBase | kLengthExtra[s - 257], kLengthBase[s - 257])
                                  : Entry(kInvalid, 0);
    for (int s = 0; s < kDistanceCodes; ++s)
        m.distance[s] =
            s < 30 ? Entry(kBase | kDistanceExtra[s], kDistanceBase[s]) : Entry(kInvalid, 0);
    for (int s = 0; s < 19; ++s)
        m.codeLength[s] = Entry(kLiteral, s);
    return m;
}

constexpr Meanings kMeanings = MakeMeanings();

unsigned Reverse(unsigned code, int length) {
    unsigned r = 0;
    for (int k = 0; k < length; ++k, code >>= 1)
        r = (r << 1) | (code & 1);
    return r;
}

// Builds the lookup table of a canonical code from its code lengths: a root table indexed by the
// next root bits, and under each prefix of longer codes a subtable for the bits after it. False
// for lengths that claim more codes than exist; codes left unassigned decode as errors.
bool BuildTable(const std::uint8_t* lengths, int count, const std::uint32_t* meaning, int root,
                std::uint32_t* table, std::size_t capacity) {
    int counts[kMaxBits + 1] = {};
    for (int s = 0; s < count; ++s)
        ++counts[lengths[s]];
    int left = 1, longest = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
        left = 2 * left - counts[len];
        if (left < 0) return false;
        if (counts[len]) longest = len;
    }
    const int sub = longest > root ? longest - root : 0;
    std::fill(table, table + (1u << root), Entry(kInvalid, 0));
    unsigned next[kMaxBits + 2] = {};
    counts[0] = 0;
    for (int len = 1, code = 0; len <= kMaxBits; ++len) {
        code = (code + counts[len - 1]) << 1;
        next[len] = static_cast<unsigned>(code);
    }
    std::size_t used = 1u << root;
    for (int s = 0; s < count; ++s) {
        const int len = lengths[s];
        if (!len) continue;
        const unsigned code = Reverse(next[len]++, len);
        if (len <= root) {
            for (unsigned i = code; i < (1u << root); i += 1u << len)
                table[i] = meaning[s] | len;
            continue;
        }
        std::uint32_t& link = table[code & ((1u << root) - 1)];
        if (KindOf(link) != (kLink | sub)) {
            if (capacity - used < (1u << sub)) return false;
            link = Entry(kLink | sub, static_cast<std::uint32_t>(used)) | root;
            std::fill(table + used, table + used + (1u << sub), Entry(kInvalid, 0));
            used += 1u << sub;
        }
        std::uint32_t* subtable = table + ValueOf(link);
        for (unsigned i = code >> root; i < (1u << sub); i += 1u << (len - root))
            subtable[i] = meaning[s] | (len - root);
    }
    return true;
}

// The fixed code's tables, built once.
struct FixedTables {
    std::uint32_t literal[1u << kLiteralRoot];
    std::uint32_t distance[1u << kDistanceRoot];
    FixedTables() {
        std::uint8_t lengths[kLiteralCodes];
        std::fill(lengths, lengths + 144, 8);
        std::fill(lengths + 144, lengths + 256, 9);
        std::fill(lengths + 256, lengths + 280, 7);
        std::fill(lengths + 280, lengths + kLiteralCodes, 8);
        BuildTable(lengths, kLiteralCodes, kMeanings.literal, kLiteralRoot, literal,
                   std::size(literal));
        std::fill(lengths, lengths + kDistanceCodes, 5);
        BuildTable(lengths, kDistanceCodes, kMeanings.distance, kDistanceRoot, distance,
                   std::size(distance));
    }
};

const FixedTables& Fixed() {
    static const FixedTables tables;
    return tables;
}

inline std::uint32_t Load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4); // the target is little-endian, as the stream is
    return v;
}

class Decoder {
public:
    Decoder(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t capacity,
            std::size_t history, InflateBefore before)
        : in_(in), inSize_(inSize), out_(out), capacity_(capacity), at_(history),
          zerosBefore_(before == InflateBefore::Zeros) {}

    bool Run() {
        for (unsigned last = 0; !last;) {
            unsigned type = 0;
            if (!Bits(1, &last) || !Bits(2, &type)) return false;
            const bool ok = type == 0   ? Stored()
                            : type == 1 ? Codes(Fixed().literal, Fixed().distance)
                                        : type == 2 && Dynamic();
            if (!ok) return false;
        }
        return true;
    }
    std::size_t End() const { return at_; }

private:
    // Bit buffer. Holds bits_ bits of the stream; the bits above them, when there are any, are
    // the stream's own next bits (a refill reads whole words), so or-ing bytes in stays right.
    void Refill() {
        hold_ |= Load32(in_ + inAt_) << bits_;
        inAt_ += (31 - bits_) >> 3;
        bits_ |= 24;
    }
    void Fill() {
        while (bits_ < 24 && inAt_ < inSize_) {
            hold_ |= static_cast<std::uint32_t>(in_[inAt_++]) << bits_;
            bits_ += 8;
        }
    }
    void Drop(unsigned n) {
        hold_ >>= n;
        bits_ -= n;
    }
    template <typename T> bool Bits(unsigned n, T* value) {
        Fill();
        if (bits_ < n) return false;
        *value = static_cast<T>(hold_ & ((1u << n) - 1));
        Drop(n);
        return true;
    }

    // One symbol when the input may run out within it.
    bool Decode(const std::uint32_t* table, unsigned root, std::uint32_t* entry) {
        Fill();
        std::uint32_t e = table[hold_ & ((1u << root) - 1)];
        if (KindOf(e) & kLink) {
            if (bits_ < root) return false;
            Drop(root);
            e = table[ValueOf(e) + (hold_ & ((1u << (KindOf(e) & 0x0F)) - 1))];
        }
        if (BitsOf(e) > bits_) return false;
        Drop(BitsOf(e));
        *entry = e;
        return true;
    }

    bool Stored() {
        Drop(bits_ & 7);
        inAt_ -= bits_ >> 3; // whole bytes already in the buffer go back to the input
        hold_ = 0;
        bits_ = 0;
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

    // Appends a copy of length bytes from distance back.
    bool Copy(std::size_t distance, std::size_t length) {
        if (distance > kWindow || capacity_ - at_ < length) return false;
        if (distance > at_) {
            if (!zerosBefore_) return false;
            const std::size_t zeros = std::min(length, distance - at_);
            std::memset(out_ + at_, 0, zeros);
            at_ += zeros;
            length -= zeros;
        }
        std::uint8_t* to = out_ + at_;
        const std::uint8_t* from = to - distance;
        at_ += length;
        if (distance == 1) {
            std::memset(to, *from, length);
        } else if (distance >= 8 && capacity_ - at_ >= 8) {
            // Eight bytes at a time, up to seven past the end, which later output overwrites.
            for (std::uint8_t* end = to + length; to < end; to += 8, from += 8)
                std::memcpy(to, from, 8);
        } else {
            while (length--)
                *to++ = *from++;
        }
        return true;
    }

    enum class Step { More, EndBlock, Fail };

    // Symbols while there is input and room enough that no check of either is needed.
    Step Fast(const std::uint32_t* literals, const std::uint32_t* distances) {
        while (inSize_ - inAt_ >= kFastInput && capacity_ - at_ >= kFastRoom) {
            Refill();
            std::uint32_t e = literals[hold_ & ((1u << kLiteralRoot) - 1)];
            if (KindOf(e) & kLink) {
                Drop(kLiteralRoot);
                e = literals[ValueOf(e) + (hold_ & ((1u << (KindOf(e) & 0x0F)) - 1))];
            }
            Drop(BitsOf(e));
            std::uint32_t kind = KindOf(e);
            if (kind == kLiteral) {
                out_[at_++] = static_cast<std::uint8_t>(ValueOf(e));
                continue;
            }
            if (!(kind & kBase)) return kind == kEndBlock ? Step::EndBlock : Step::Fail;
            std::size_t length = ValueOf(e) + (hold_ & ((1u << (kind & 0x0F)) - 1));
            Drop(kind & 0x0F);
            Refill();
            e = distances[hold_ & ((1u << kDistanceRoot) - 1)];
            if (KindOf(e) & kLink) {
                Drop(kDistanceRoot);
                e = distances[ValueOf(e) + (hold_ & ((1u << (KindOf(e) & 0x0F)) - 1))];
            }
            Drop(BitsOf(e));
            kind = KindOf(e);
            if (!(kind & kBase)) return Step::Fail;
            const unsigned extra = kind & 0x0F;
            if (bits_ < extra) Refill();
            const std::size_t distance = ValueOf(e) + (hold_ & ((1u << extra) - 1));
            Drop(extra);
            if (!Copy(distance, length)) return Step::Fail;
        }
        return Step::More;
    }

    // One symbol with every read checked.
    Step Careful(const std::uint32_t* literals, const std::uint32_t* distances) {
        std::uint32_t e = 0;
        if (!Decode(literals, kLiteralRoot, &e)) return Step::Fail;
        std::uint32_t kind = KindOf(e);
        if (kind == kLiteral) {
            if (at_ >= capacity_) return Step::Fail;
            out_[at_++] = static_cast<std::uint8_t>(ValueOf(e));
            return Step::More;
        }
        if (!(kind & kBase)) return kind == kEndBlock ? Step::EndBlock : Step::Fail;
        std::size_t extra = 0, length = ValueOf(e);
        if (!Bits(kind & 0x0F, &extra)) return Step::Fail;
        length += extra;
        if (!Decode(distances, kDistanceRoot, &e)) return Step::Fail;
        kind = KindOf(e);
        if (!(kind & kBase) || !Bits(kind & 0x0F, &extra)) return Step::Fail;
        return Copy(ValueOf(e) + extra, length) ? Step::More : Step::Fail;
    }

    bool Codes(const std::uint32_t* literals, const std::uint32_t* distances) {
        for (;;) {
            Step step = Fast(literals, distances);
            if (step == Step::More) step = Careful(literals, distances);
            if (step != Step::More) return step == Step::EndBlock;
        }
    }

    bool ReadLengths(std::uint8_t* lengths, int total) {
        std::uint8_t codeLengths[19] = {};
        unsigned codeCount = 0;
        if (!Bits(4, &codeCount)) return false;
        for (unsigned i = 0; i < codeCount + 4; ++i)
            if (!Bits(3, &codeLengths[kCodeLengthOrder[i]])) return false;
        std::uint32_t table[1u << kLengthCodeRoot];
        if (!BuildTable(codeLengths, 19, kMeanings.codeLength, kLengthCodeRoot, table,
                        std::size(table)))
            return false;
        for (int i = 0; i < total;) {
            std::uint32_t e = 0;
            if (!Decode(table, kLengthCodeRoot, &e) || KindOf(e) != kLiteral) return false;
            const unsigned symbol = ValueOf(e);
            if (symbol < 16) {
                lengths[i++] = static_cast<std::uint8_t>(symbol);
                continue;
            }
            unsigned repeat = 0;
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
            if (repeat > static_cast<unsigned>(total - i)) return false;
            std::fill(lengths + i, lengths + i + repeat, value);
            i += static_cast<int>(repeat);
        }
        return true;
    }

    bool Dynamic() {
        unsigned literalCount = 0, distanceCount = 0;
        if (!Bits(5, &literalCount) || !Bits(5, &distanceCount)) return false;
        literalCount += 257;
        distanceCount += 1;
        if (literalCount > 286 || distanceCount > 30) return false;
        std::uint8_t lengths[286 + 30] = {};
        if (!ReadLengths(lengths, static_cast<int>(literalCount + distanceCount))) return false;
        if (lengths[256] == 0) return false; // no end-of-block code
        if (!tables_) {
            tables_.reset(new (std::nothrow) Tables);
            if (!tables_) return false;
        }
        return BuildTable(lengths, static_cast<int>(literalCount), kMeanings.literal, kLiteralRoot,
                          tables_->literal, kLiteralTable) &&
               BuildTable(lengths + literalCount, static_cast<int>(distanceCount),
                          kMeanings.distance, kDistanceRoot, tables_->distance, kDistanceTable) &&
               Codes(tables_->literal, tables_->distance);
    }

    struct Tables {
        std::uint32_t literal[kLiteralTable];
        std::uint32_t distance[kDistanceTable];
    };

    const std::uint8_t* in_;
    std::size_t inSize_;
    std::size_t inAt_ = 0;
    std::uint32_t hold_ = 0;
    unsigned bits_ = 0;
    std::uint8_t* out_;
    std::size_t capacity_;
    std::size_t at_;
    bool zerosBefore_;
    std::unique_ptr<Tables> tables_; // for dynamic blocks, made at the first one
};

} // namespace

bool InflateRaw(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t capacity,
                std::size_t history, std::size_t* produced, InflateBefore before) {
    if (produced) *produced = 0;
    if (!in || !out || history > capacity) return false;
    Decoder decoder(in, inSize, out, capacity, history, before);
    const bool ok = decoder.Run();
    if (produced) *produced = decoder.End() - history;
    return ok;
}
