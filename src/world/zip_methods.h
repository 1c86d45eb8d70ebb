// Inside the zip member decompressor: the bit reader and output of its own methods (shrink,
// reduce, implode), and the methods. Deflate is the codecs' inflater.
#pragma once

#include <cstddef>
#include <cstdint>

// The furthest back any method copies from.
constexpr std::size_t kZipWindow = 32768;

// Reads bits least significant first. Once a read finds too few bits left, it and every later
// read answer end-of-data: a decoder never waits on input that will not come.
class ZipBits {
public:
    ZipBits(const std::uint8_t* in, std::size_t size) : in_(in), size_(size) {}
    // n is 1 to 16.
    bool Read(unsigned n, unsigned& value) {
        while (bits_ < n) {
            if (ended_ || at_ >= size_) {
                ended_ = true;
                return false;
            }
            hold_ |= static_cast<std::uint32_t>(in_[at_++]) << bits_;
            bits_ += 8;
        }
        value = hold_ & ((1u << n) - 1);
        hold_ >>= n;
        bits_ -= n;
        return true;
    }

private:
    const std::uint8_t* in_;
    std::size_t size_;
    std::size_t at_ = 0;
    std::uint32_t hold_ = 0;
    unsigned bits_ = 0;
    bool ended_ = false;
};

// The member's output, written in order. The window that copies reach back into is the output's
// own last 32 KiB; before the first byte it reads zeros, as a dictionary cleared at the start.
class ZipOutput {
public:
    ZipOutput(std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Full() const { return at_ == size_; }
    bool Put(std::uint8_t byte) {
        if (at_ == size_) return false;
        data_[at_++] = byte;
        return true;
    }
    // False when the copy would pass the stated size.
    bool Copy(std::size_t distance, std::size_t length) {
        if (distance == 0 || distance > kZipWindow || length > size_ - at_) return false;
        for (; length; --length, ++at_)
            data_[at_] = distance > at_ ? 0 : data_[at_ - distance];
        return true;
    }

private:
    std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// Each decodes until the output is full; false for a damaged or short stream.
bool Unshrink(ZipBits& in, ZipOutput& out);
bool Unreduce(ZipBits& in, ZipOutput& out, int factor);
bool Explode(ZipBits& in, ZipOutput& out, bool bigDictionary, bool literalTree);
