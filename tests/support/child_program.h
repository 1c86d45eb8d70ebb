// The test program run again in a second process, for the other side of a case that needs two
// processes (a disabled case that only that run selects).
#pragma once

#include <functional>

// Runs this program's cases that the filter names, disabled ones included, and waits for it to
// end; meanwhile, when given, is called over and over while it runs. False when it could not be
// started or did not end within 30 s.
bool RunThisProgram(const char* filter, const std::function<void()>& meanwhile = {});
