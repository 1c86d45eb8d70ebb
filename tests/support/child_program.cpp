#include "core/win32.h"

#include "support/child_program.h"

#include <string>

bool RunThisProgram(const char* filter, const std::function<void()>& meanwhile) {
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string command = std::string("\"") + program + "\" --gtest_filter=" + filter +
                          " --gtest_also_run_disabled_tests";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    const DWORD start = timeGetTime();
    DWORD waited = WAIT_TIMEOUT;
    while (waited == WAIT_TIMEOUT && timeGetTime() - start < 30000) {
        waited = WaitForSingleObject(process.hProcess, meanwhile ? 0 : 30000);
        if (waited == WAIT_TIMEOUT && meanwhile) meanwhile();
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return waited == WAIT_OBJECT_0;
}
