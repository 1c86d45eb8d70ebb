// A file mapped read-only for the header checks: the whole file up to a cap, else its first part.
#pragma once

#include "core/byte_span.h"

#include <cstdint>

class MappedFile {
public:
    explicit MappedFile(const char* fileName);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool Ok() const { return view_ != nullptr; }
    // What is mapped: the whole file, or its first part when the file is larger than the cap.
    ByteSpan Bytes() const { return ByteSpan{static_cast<const std::uint8_t*>(view_), size_}; }
    std::uint64_t FileSize() const { return fileSize_; }

private:
    void* view_ = nullptr;
    std::size_t size_ = 0;
    std::uint64_t fileSize_ = 0;
};
