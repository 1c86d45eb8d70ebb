// Files the build makes beside the test programs, in test-data.
#pragma once

#include <string>

// The full path of test-data\name beside the running program.
std::string TestDataFile(const std::string& name);
