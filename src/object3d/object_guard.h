// The boundary of the object commands that make or change items when memory runs out: no
// exception leaves them, a make that fails leaves nothing under its number, and the command's
// error is raised unless a check of its own already raised a more precise one.
#pragma once

#include "core/core.h"
#include "object3d/object3d.h"
#include "object3d/object_state.h"

#include <cstdint>

// Watches the error cell while it lives: whether the calls it watched raised an error. The cell's
// previous number comes back when none did.
class ErrorWatch {
public:
    ErrorWatch() : cell_(GetModuleErrorPointer()), before_(cell_ ? cell_->number : 0) {
        if (cell_) cell_->number = 0;
    }
    ~ErrorWatch() {
        if (cell_ && cell_->number == 0) cell_->number = before_;
    }
    ErrorWatch(const ErrorWatch&) = delete;
    ErrorWatch& operator=(const ErrorWatch&) = delete;

    bool Raised() const { return cell_ && cell_->number != 0; }
    void RaiseUnlessRaised(std::int32_t error) {
        if (!Raised()) RaiseRuntimeError(error);
    }

private:
    RuntimeErrorRecord* cell_;
    std::int32_t before_;
};

// Runs body (false or an exception: it failed) and raises error on failure unless the body
// raised one; whether it succeeded.
template <class Body> bool GuardChange(std::int32_t error, Body&& body) noexcept {
    ErrorWatch watch;
    bool done = false;
    try {
        done = body();
    } catch (...) {
        done = false;
    }
    if (!done) watch.RaiseUnlessRaised(error);
    return done;
}

// The same for the make of object n: when it fails, whatever it left under the number goes (what
// was there before the make, told by its serial, stays).
template <class Body> bool GuardObjectMake(std::int32_t n, std::int32_t error, Body&& body) noexcept {
    const ObjectRecord* was = ObjectAt(n);
    const std::uint64_t serial = was ? was->serial : 0;
    if (GuardChange(error, static_cast<Body&&>(body))) return true;
    if (const ObjectRecord* now = ObjectAt(n); now && now->serial != serial) DiscardObject(n);
    return false;
}
