// Points the engine's shared error pointer at a cell of the test's own for the scope's lifetime.
#pragma once

#include "core/core.h"

class ErrorCellScope {
public:
    ErrorCellScope() { SetModuleErrorPointer(&cell_); }
    ~ErrorCellScope() { SetModuleErrorPointer(nullptr); }
    ErrorCellScope(const ErrorCellScope&) = delete;
    ErrorCellScope& operator=(const ErrorCellScope&) = delete;

    std::int32_t Last() const { return cell_.number; }
    void Clear() { cell_.number = 0; }

private:
    RuntimeErrorRecord cell_;
};
