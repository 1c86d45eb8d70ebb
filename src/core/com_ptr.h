// ComPtr: the one owning holder of a COM interface. It holds one reference and releases it exactly
// once, on Reset and on destruction; it moves but never copies, so a reference cannot be released
// twice. It reads as the raw pointer it holds, so calls taking the interface need no change.
#pragma once

#include <utility>

template <typename T> class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* owned) : p_(owned) {}
    ~ComPtr() { Reset(); }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.p_, nullptr));
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    // Takes owned in place of the held reference, which is released.
    void Reset(T* owned = nullptr) {
        T* old = std::exchange(p_, owned);
        if (old) old->Release();
    }
    // Hands the reference to the caller, who releases it.
    T* Detach() { return std::exchange(p_, nullptr); }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    operator T*() const { return p_; }

    // For out-parameters: releases what is held, then gives the address to fill.
    T** PutAddress() {
        Reset();
        return &p_;
    }
    // The same for functions that take void** (QueryInterface and its kin).
    void** PutVoid() { return reinterpret_cast<void**>(PutAddress()); }

private:
    T* p_ = nullptr;
};
