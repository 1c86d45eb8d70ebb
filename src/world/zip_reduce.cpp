#include "core/win32.h"

#include "world/zip_methods.h"

namespace {

constexpr std::uint8_t kRunMark = 144; // DLE: starts a copy, or stands for itself before a 0
constexpr unsigned kMostFollowers = 32;

// Bits of a follower index in a set of n: those of n - 1, and at least one.
unsigned IndexBits(unsigned n) {
    unsigned bits = 1;
    while ((1u << bits) < n)
        ++bits;
    return bits;
}

struct FollowerSets {
    std::uint8_t count[256] = {};
    std::uint8_t byte[256][kMostFollowers] = {};

    // Stored from byte 255 down to byte 0: a 6-bit count, then that many bytes.
    bool Read(ZipBits& in) {
        for (int j = 255; j >= 0; --j) {
            unsigned n = 0;
            if (!in.Read(6, n) || n > kMostFollowers) return false;
            count[j] = static_cast<std::uint8_t>(n);
            for (unsigned i = 0; i < n; ++i) {
                unsigned b = 0;
                if (!in.Read(8, b)) return false;
                byte[j][i] = static_cast<std::uint8_t>(b);
            }
        }
        return true;
    }

    // The next byte of the run-coded stream, predicted from the one before it.
    bool Next(ZipBits& in, std::uint8_t last, std::uint8_t* next) const {
        unsigned v = 0, literal = 1;
        if (count[last] && !in.Read(1, literal)) return false;
        if (literal) {
            if (!in.Read(8, v)) return false;
        } else {
            if (!in.Read(IndexBits(count[last]), v) || v >= count[last]) return false;
            v = byte[last][v];
        }
        *next = static_cast<std::uint8_t>(v);
        return true;
    }
};

} // namespace

bool Unreduce(ZipBits& in, ZipOutput& out, int factor) {
    FollowerSets sets;
    if (factor < 1 || factor > 4 || !sets.Read(in)) return false;
    const unsigned lengthMask = 0x7Fu >> (factor - 1);
    std::uint8_t last = 0;
    unsigned state = 0, mark = 0, length = 0;
    while (!out.Full()) {
        std::uint8_t c = 0;
        if (!sets.Next(in, last, &c)) return false;
        last = c;
        bool ok = true;
        if (state == 0) {
            if (c == kRunMark)
                state = 1;
            else
                ok = out.Put(c);
        } else if (state == 1) {
            if (c == 0) {
                ok = out.Put(kRunMark);
                state = 0;
            } else {
                mark = c;
                length = c & lengthMask;
                state = length == lengthMask ? 2 : 3;
            }
        } else if (state == 2) {
            length += c;
            state = 3;
        } else {
            const std::size_t distance = ((mark >> (8 - factor)) << 8) + c + 1;
            ok = out.Copy(distance, length + 3);
            state = 0;
        }
        if (!ok) return false;
    }
    return true;
}
