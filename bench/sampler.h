// A sampling profiler for benchmarks: a thread that stops the measured thread about once a
// millisecond and counts where it stood, for bench/profile_report.py to name: the executable's
// samples by their address, the others by module and offset into it.
#pragma once

#include "core/win32.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <thread>

class Sampler {
public:
    // Samples the calling thread from now until Stop.
    void Start() {
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &target,
                        THREAD_ALL_ACCESS, FALSE, 0);
        running = true;
        worker = std::thread([this] { Run(); });
    }

    void Stop() {
        running = false;
        if (worker.joinable()) worker.join();
        if (target) CloseHandle(target);
        target = nullptr;
    }

    // One line a sampled place: count, module ("exe" for the executable) and the address, or the
    // offset into any other module.
    bool Write(const char* path) const {
        FILE* out = std::fopen(path, "w");
        if (!out) return false;
        char self[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        for (const auto& [address, count] : samples) {
            HMODULE module = nullptr;
            char name[MAX_PATH] = "(no module)";
            if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                       GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCSTR>(address), &module))
                GetModuleFileNameA(module, name, MAX_PATH);
            const bool own = std::string(name) == self;
            const std::uint32_t base = reinterpret_cast<std::uintptr_t>(module);
            std::fprintf(out, "%u %s 0x%08x\n", count, own ? "exe" : name,
                         own ? address : address - base);
        }
        std::fclose(out);
        return true;
    }

private:
    void Run() {
        while (running) {
            Sleep(1);
            if (SuspendThread(target) == static_cast<DWORD>(-1)) continue;
            CONTEXT context{};
            context.ContextFlags = CONTEXT_CONTROL;
            const bool got = GetThreadContext(target, &context);
            // Counted only once the thread runs again: it may hold the heap's lock.
            ResumeThread(target);
            if (got) ++samples[context.Eip];
        }
    }

    HANDLE target = nullptr;
    std::atomic<bool> running{false};
    std::thread worker;
    std::map<std::uint32_t, std::uint32_t> samples;
};
