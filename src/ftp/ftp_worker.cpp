// FTP module: the worker that runs the calls waiting on a server, and their deadlines.
#include "core/win32.h"

#include "ftp/ftp_worker.h"
#include "core/core.h"
#include "core/error_numbers.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <new>

FtpDeadlines g_FtpDeadlines;

namespace {

enum JobState : long { kRunning, kDone, kGivenUp };

// The one worker the module calls on. The module and the thread each hold a reference; a worker
// given up on is the thread's alone and ends after its call.
struct FtpWorker {
    std::atomic<long> refs{2};
    HANDLE wake = nullptr; // auto-reset: a job was handed over, or (no job) the worker is to end
    HANDLE done = nullptr; // auto-reset: the job finished
    FtpJob* job = nullptr; // written before wake is set, read after
};

constexpr SIZE_T kWorkerStack = 256 * 1024;

FtpWorker* g_worker = nullptr; // the script thread's; null until the first call
std::atomic<long> g_lost{0};
DWORD g_commandStart = 0;

void DropJob(FtpJob* job) {
    if (job->refs.fetch_sub(1) == 1) delete job;
}

void DropWorker(FtpWorker* worker) {
    if (worker->refs.fetch_sub(1) != 1) return;
    if (worker->wake) CloseHandle(worker->wake);
    if (worker->done) CloseHandle(worker->done);
    delete worker;
}

// What a call given up on leaves: the handle it made and the file it wrote.
void CleanUpGivenUp(FtpJob& job) {
    if (job.made) InternetCloseHandle(job.made);
    if (job.localName[0]) DeleteFileA(job.localName);
}

// Runs one job; false when the caller had given up on it, which makes this worker a lost one.
bool RunJob(FtpJob* job) {
    job->ok = job->run(*job);
    FetchLastFtpResponse(job->response, sizeof job->response);
    long running = kRunning;
    const bool kept = job->state.compare_exchange_strong(running, kDone);
    if (!kept) {
        CleanUpGivenUp(*job);
        g_lost.fetch_sub(1);
    }
    return kept;
}

DWORD WINAPI WorkerLoop(void* parameter) {
    auto* worker = static_cast<FtpWorker*>(parameter);
    for (;;) {
        WaitForSingleObject(worker->wake, INFINITE);
        FtpJob* job = worker->job;
        if (!job) break;
        const bool kept = RunJob(job);
        if (kept) SetEvent(worker->done);
        DropJob(job);
        if (!kept) break;
    }
    DropWorker(worker);
    return 0;
}

FtpWorker* StartWorker() {
    auto* worker = new (std::nothrow) FtpWorker;
    if (!worker) return nullptr;
    worker->wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    worker->done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = worker->wake && worker->done
                        ? CreateThread(nullptr, kWorkerStack, WorkerLoop, worker,
                                       STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr)
                        : nullptr;
    if (!thread) {
        worker->refs = 1;
        DropWorker(worker);
        return nullptr;
    }
    CloseHandle(thread); // never joined: a lost worker must hold up neither calls nor the exit
    return worker;
}

// The wait left to a call: its own deadline, cut to what remains of the command's budget.
DWORD WaitLeft(DWORD deadlineMs, DWORD floorMs) {
    const DWORD spent = timeGetTime() - g_commandStart;
    const DWORD budget = g_FtpDeadlines.budgetMs;
    const DWORD left = std::min(deadlineMs, spent < budget ? budget - spent : 0);
    return std::max(left, std::min(floorMs, deadlineMs));
}

} // namespace

long LostFtpWorkers() {
    return g_lost.load();
}

void StartFtpCommand() {
    g_commandStart = timeGetTime();
}

void StopFtpWorker() {
    if (!g_worker) return;
    g_worker->job = nullptr;
    SetEvent(g_worker->wake);
    DropWorker(g_worker);
    g_worker = nullptr;
}

void FetchLastFtpResponse(char* text, std::size_t size) {
    // The response may be longer than the kept text: fetch it whole, keep what fits.
    char first[1024] = {};
    DWORD length = sizeof first - 1;
    DWORD error = 0;
    const char* response = first;
    std::unique_ptr<char[]> longer;
    if (!InternetGetLastResponseInfoA(&error, first, &length)) {
        first[0] = 0;
        if (GetLastError() == ERROR_INSUFFICIENT_BUFFER && length < 0x100000) {
            longer.reset(new (std::nothrow) char[length + 1]());
            if (longer && InternetGetLastResponseInfoA(&error, longer.get(), &length))
                response = longer.get();
        }
    }
    const std::size_t kept = strnlen(response, size - 1);
    std::memcpy(text, response, kept);
    text[kept] = 0;
}

int FtpReplyCode(const char* response) {
    if (!response) return 0;
    for (int i = 0; i < 3; ++i)
        if (!std::isdigit(static_cast<unsigned char>(response[i]))) return 0;
    return (response[0] - '0') * 100 + (response[1] - '0') * 10 + (response[2] - '0');
}

namespace {

// The running command's jobs: written on the script thread only.
constexpr int kMostReservedJobs = 10;
struct ReservedJobs {
    FtpJob* jobs[kMostReservedJobs] = {};
    int count = 0;
    FtpJobReserve* owner = nullptr;
} g_reserved;

FtpJob* TakeJob() {
    if (g_reserved.count > 0) return g_reserved.jobs[--g_reserved.count];
    return new (std::nothrow) FtpJob;
}

} // namespace

FtpJobReserve::FtpJobReserve(int count) : outer_(g_reserved.owner) {
    // A command inside another (FTPConnectAgain) uses the outer command's reserve.
    if (outer_) return;
    g_reserved.owner = this;
    while (ok_ && g_reserved.count < std::min(count, kMostReservedJobs)) {
        FtpJob* job = new (std::nothrow) FtpJob;
        if (job) g_reserved.jobs[g_reserved.count++] = job;
        ok_ = job != nullptr;
    }
    // The worker the jobs run on, too: one that cannot be started is no deadline passed.
    if (ok_ && count > 0 && !g_worker && g_lost.load() < kMaxLostFtpWorkers)
        ok_ = (g_worker = StartWorker()) != nullptr;
    if (!ok_) RaiseRuntimeError(kStringNoMemory);
}

FtpJobReserve::~FtpJobReserve() {
    if (outer_) return;
    while (g_reserved.count > 0)
        delete g_reserved.jobs[--g_reserved.count];
    g_reserved.owner = nullptr;
}

FtpCall::FtpCall(FtpCallFn run) : job_(TakeJob()) {
    if (job_) job_->run = run;
}

FtpCall::~FtpCall() {
    if (job_) DropJob(job_);
}

bool FtpCall::SetText(int index, const char* text) {
    if (!job_ || !text) return false;
    const std::size_t length = strnlen(text, kFtpNameSize);
    if (length >= kFtpNameSize) return false;
    std::memcpy(job_->text[index], text, length + 1);
    return true;
}

FtpCallEnd FtpCall::Run(DWORD deadlineMs, DWORD floorMs) {
    const DWORD wait = WaitLeft(deadlineMs, floorMs);
    if (!job_ || wait == 0 || g_lost.load() >= kMaxLostFtpWorkers) return FtpCallEnd::kTimedOut;
    if (!g_worker) g_worker = StartWorker();
    if (!g_worker) return FtpCallEnd::kTimedOut;
    job_->refs.fetch_add(1);
    g_worker->job = job_;
    SetEvent(g_worker->wake);
    if (WaitForSingleObject(g_worker->done, wait) == WAIT_OBJECT_0) return FtpCallEnd::kFinished;
    long running = kRunning;
    if (!job_->state.compare_exchange_strong(running, kGivenUp)) {
        // It finished just now; its signal is still to be taken.
        WaitForSingleObject(g_worker->done, INFINITE);
        return FtpCallEnd::kFinished;
    }
    g_lost.fetch_add(1);
    DropWorker(g_worker);
    g_worker = nullptr;
    return FtpCallEnd::kTimedOut;
}
