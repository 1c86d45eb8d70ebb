// The boundary of a command: no exception leaves it. A command whose body allocates through the
// standard containers (or calls code that does) runs that body through NoThrow: a std::bad_alloc,
// or a std::length_error from a container asked for more than it can hold, becomes the command's
// run-time error, and the command returns its failure value. The body keeps the caller's items
// as they were until nothing can throw any more: it builds the new array, text or item aside and
// swaps it in last.
#pragma once

#include "core/core.h"

#include <cstdint>
#include <type_traits>

// Returns body(), or failed with the error raised when the body throws.
template <class Body>
std::invoke_result_t<Body&> NoThrow(std::int32_t error, std::invoke_result_t<Body&> failed,
                                    Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        // Any other exception would be a fault of the command; its error still beats an ended
        // program.
    }
    RaiseRuntimeError(error);
    return failed;
}

// The same for a command that returns nothing; false when the body threw.
template <class Body> bool NoThrow(std::int32_t error, Body&& body) noexcept {
    try {
        body();
        return true;
    } catch (...) {
    }
    RaiseRuntimeError(error);
    return false;
}
