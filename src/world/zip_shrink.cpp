#include "core/win32.h"

#include "world/zip_methods.h"

#include <memory>
#include <new>

namespace {

constexpr unsigned kEscape = 256;
constexpr unsigned kFirstFree = 257;
constexpr unsigned kCodes = 8192; // 13-bit codes
constexpr unsigned kLongestCode = 13;
constexpr std::uint16_t kUnused = 0xFFFF; // the prefix of a code not (or no longer) in use

// The string table: each code above 256 is its prefix code plus one byte.
struct Table {
    std::uint16_t prefix[kCodes];
    std::uint8_t suffix[kCodes];
    std::uint8_t stack[kCodes + 1]; // one code's bytes, last first
    bool extended[kCodes] = {};     // marked by a clear as some code's prefix
    unsigned lastAssigned = kEscape;

    Table() {
        for (unsigned c = 0; c < kCodes; ++c) {
            prefix[c] = kUnused;
            suffix[c] = static_cast<std::uint8_t>(c);
        }
    }
    bool Unused(unsigned code) const { return code >= kFirstFree && prefix[code] == kUnused; }

    // A clear as the reference decoder makes it, which real archives follow: the codes up to the
    // last one assigned mark their prefixes as extended, and those of them left unmarked are
    // freed. Codes above are untouched, and keep a mark they get until a clear reaches them.
    // Freed codes are reused lowest first.
    void PartialClear() {
        for (unsigned c = kFirstFree; c <= lastAssigned; ++c)
            if (prefix[c] != kUnused && prefix[c] >= kFirstFree) extended[prefix[c]] = true;
        for (unsigned c = kFirstFree; c <= lastAssigned; ++c) {
            if (!extended[c]) prefix[c] = kUnused;
            extended[c] = false;
        }
        lastAssigned = kEscape;
    }

    void Add(unsigned previous, std::uint8_t first) {
        unsigned slot = lastAssigned + 1;
        while (slot < kCodes && prefix[slot] != kUnused)
            ++slot;
        if (slot == kCodes) return; // full until the encoder clears it
        prefix[slot] = static_cast<std::uint16_t>(previous);
        suffix[slot] = first;
        extended[slot] = false;
        lastAssigned = slot;
    }

    // Writes the string of code (of previous then its first byte again, for a code about to be
    // defined by this very string); false for a chain that loops or meets a freed code.
    bool Write(unsigned code, unsigned previous, ZipOutput& out, std::uint8_t* first) {
        const bool pending = Unused(code);
        unsigned c = pending ? previous : code;
        std::size_t n = 0;
        while (c >= kFirstFree) {
            if (n == kCodes || prefix[c] == kUnused) return false;
            stack[n++] = suffix[c];
            c = prefix[c];
        }
        if (c == kEscape) return false;
        stack[n++] = static_cast<std::uint8_t>(c);
        *first = static_cast<std::uint8_t>(c);
        while (n)
            if (!out.Put(stack[--n])) return false;
        return !pending || out.Put(*first);
    }
};

} // namespace

bool Unshrink(ZipBits& in, ZipOutput& out) {
    std::unique_ptr<Table> table(new (std::nothrow) Table);
    if (!table) return false;
    unsigned codeBits = 9, previous = kEscape; // no code read yet
    while (!out.Full()) {
        unsigned code = 0;
        if (!in.Read(codeBits, code)) return false;
        if (code == kEscape) {
            unsigned what = 0;
            if (!in.Read(codeBits, what)) return false;
            if (what == 1 && codeBits < kLongestCode)
                ++codeBits;
            else if (what == 2)
                table->PartialClear();
            else
                return false;
            continue;
        }
        if (previous == kEscape) { // the first code is a byte of its own
            if (code > 255 || !out.Put(static_cast<std::uint8_t>(code))) return false;
            previous = code;
            continue;
        }
        std::uint8_t first = 0;
        if (!table->Write(code, previous, out, &first)) return false;
        table->Add(previous, first);
        previous = code;
    }
    return true;
}
