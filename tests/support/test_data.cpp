#include "core/win32.h"

#include "support/test_data.h"

std::string TestDataFile(const std::string& name) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string program(path);
    return program.substr(0, program.rfind('\\')) + "\\test-data\\" + name;
}
