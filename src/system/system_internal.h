// The system module's parts below its commands: the call of a user function and the memory
// arithmetic, reached by its tests.
#pragma once

#include "core/win32.h"

#include <cstdint>

// Calls function with count 32-bit arguments, arguments[0] first, and returns its 32-bit result.
// The stack pointer is restored from the thunk's own frame after the call, so a callee that
// removes its arguments (stdcall) and one that leaves them (cdecl) both return cleanly.
extern "C" std::uint32_t CallUserFunction(FARPROC function, const std::int32_t* arguments,
                                          std::uint32_t count);

// Whole megabytes, rounded up: any byte past a megabyte counts as one more.
std::int32_t MegabytesRoundedUp(std::uint32_t bytes);
