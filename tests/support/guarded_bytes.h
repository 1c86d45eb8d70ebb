// Bytes placed at the very end of readable memory: the page after them is inaccessible, so any
// read past their end crashes the test instead of passing unnoticed.
#pragma once

#include "core/win32.h"

#include <cstdint>
#include <cstring>
#include <string>

class GuardedBytes {
public:
    explicit GuardedBytes(const std::string& bytes) {
        const std::size_t page = 4096, pages = (bytes.size() + page - 1) / page + 1;
        base_ = static_cast<std::uint8_t*>(
            VirtualAlloc(nullptr, pages * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        VirtualProtect(base_ + (pages - 1) * page, page, PAGE_NOACCESS, &old);
        data_ = base_ + (pages - 1) * page - bytes.size();
        std::memcpy(data_, bytes.data(), bytes.size());
        size_ = bytes.size();
    }
    ~GuardedBytes() { VirtualFree(base_, 0, MEM_RELEASE); }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;
    const std::uint8_t* Data() const { return data_; }
    // The same bytes to write to: a write past their end crashes too.
    std::uint8_t* Writable() { return data_; }
    std::size_t Size() const { return size_; }

private:
    std::uint8_t* base_ = nullptr;
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};
