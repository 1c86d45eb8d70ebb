#include "core/win32.h"

#include "world/zip_methods.h"

#include <algorithm>

namespace {

constexpr unsigned kLongestCode = 16;
constexpr unsigned kLongCopy = 63; // a length code that takes 8 more bits

// A Shannon-Fano code as the zip note builds it: values sorted by code length (then value),
// codes handed out from the longest length down, starting at 0. The codes of one length are
// then consecutive, so decoding keeps per length its first code and its values in code order.
class ShannonFano {
public:
    // The compressed form: a byte holding the count of bytes after it less one, then bytes of
    // (values in the run less one) << 4 | (code length less one), covering every value in order.
    bool Read(ZipBits& in, unsigned values) {
        std::uint8_t lengths[256] = {};
        unsigned bytes = 0, filled = 0;
        if (!in.Read(8, bytes)) return false;
        for (unsigned i = 0; i <= bytes; ++i) {
            unsigned b = 0;
            if (!in.Read(8, b)) return false;
            const unsigned run = (b >> 4) + 1, length = (b & 0x0F) + 1;
            if (run > values - filled) return false;
            std::fill(lengths + filled, lengths + filled + run, static_cast<std::uint8_t>(length));
            filled += run;
        }
        return filled == values && Assign(lengths, values);
    }

    bool Decode(ZipBits& in, unsigned& value) const {
        unsigned code = 0;
        for (unsigned length = 1; length <= kLongestCode; ++length) {
            unsigned bit = 0;
            if (!in.Read(1, bit)) return false;
            code = (code << 1) | bit;
            if (code - first_[length] < count_[length]) {
                value = byCode_[start_[length] + code - first_[length]];
                return true;
            }
        }
        return false;
    }

private:
    bool Assign(const std::uint8_t* lengths, unsigned values) {
        std::uint8_t order[256];
        for (unsigned v = 0; v < values; ++v)
            order[v] = static_cast<std::uint8_t>(v);
        std::stable_sort(order, order + values,
                         [&](std::uint8_t a, std::uint8_t b) { return lengths[a] < lengths[b]; });
        std::fill(count_, count_ + kLongestCode + 1, 0u);
        std::uint32_t code = 0, step = 0;
        unsigned length = 0;
        for (unsigned i = values, n = 0; i-- > 0; ++n) {
            code += step;
            if (lengths[order[i]] != length) {
                length = lengths[order[i]];
                step = 1u << (kLongestCode - length);
                first_[length] = code >> (kLongestCode - length);
                start_[length] = n;
            }
            byCode_[n] = order[i];
            ++count_[length];
        }
        return code + step <= (1u << kLongestCode); // more codes than 16 bits hold
    }

    unsigned first_[kLongestCode + 1] = {};
    unsigned count_[kLongestCode + 1] = {};
    unsigned start_[kLongestCode + 1] = {};
    std::uint8_t byCode_[256] = {};
};

} // namespace

bool Explode(ZipBits& in, ZipOutput& out, bool bigDictionary, bool literalTree) {
    ShannonFano literals, lengths, distances;
    if ((literalTree && !literals.Read(in, 256)) || !lengths.Read(in, 64) ||
        !distances.Read(in, 64))
        return false;
    const unsigned lowBits = bigDictionary ? 7 : 6, shortest = literalTree ? 3 : 2;
    while (!out.Full()) {
        unsigned literal = 0, v = 0;
        if (!in.Read(1, literal)) return false;
        if (literal) {
            const bool ok = literalTree ? literals.Decode(in, v) : in.Read(8, v);
            if (!ok || !out.Put(static_cast<std::uint8_t>(v))) return false;
            continue;
        }
        unsigned low = 0, high = 0, length = 0, extra = 0;
        if (!in.Read(lowBits, low) || !distances.Decode(in, high) || !lengths.Decode(in, length))
            return false;
        if (length == kLongCopy && !in.Read(8, extra)) return false;
        if (!out.Copy(((high << lowBits) | low) + 1, length + extra + shortest)) return false;
    }
    return true;
}
