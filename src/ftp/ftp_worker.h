// The FTP module's worker: every WinInet call that waits on the server runs on it, within a
// deadline. Wine's wininet ignores the connect, send, receive and data timeouts of an FTP
// connection, and closing a handle frees neither a command nor a data read stuck on a server
// that never finishes its answer; so a call that misses its deadline is left to its worker, which
// the module gives up, and the command fails at once.
#pragma once

#include "core/win32.h"

#include "ftp/ftp_state.h"

#include <wininet.h>

#include <atomic>
#include <cstdint>

// How long each kind of call may wait on the server, and all the calls of one command together,
// so that no command waits more than 30 s. Only the tests change them.
struct FtpDeadlines {
    DWORD connectMs = 15000;   // the connection, the greeting and the login
    DWORD commandMs = 15000;   // one command and its reply; closing a download (its final reply)
    DWORD listingMs = 20000;   // a listing: its data connection, every line and the final reply
    DWORD dataMs = 10000;      // one download step's reads: the step's stall rule
    DWORD budgetMs = 28000;    // everything one command waits, a blocking transfer included
    DWORD closeFloorMs = 1000; // what closing the handles may wait once the budget is spent
};
extern FtpDeadlines g_FtpDeadlines;

// Workers given up on and not finished yet; past this many, calls fail at once.
constexpr long kMaxLostFtpWorkers = 8;
long LostFtpWorkers();

constexpr std::size_t kFtpNameSize = 1024; // names and texts a call takes
constexpr DWORD kFtpStepBytes = 3072;      // the most one download step reads

struct FtpJob;
using FtpCallFn = BOOL (*)(FtpJob&);

// One call handed to the worker: what it takes, and, once it has finished, what it gave.
struct FtpJob {
    FtpCallFn run = nullptr;
    HINTERNET handle = nullptr;      // the handle the call works on
    char text[3][kFtpNameSize] = {}; // names, or server, user and password
    char localName[MAX_PATH] = {};   // a file the call writes; deleted when it was given up on
    HINTERNET closing[4] = {};       // the handles a closing call closes, in order

    BOOL ok = FALSE;
    HINTERNET made = nullptr; // the handle the call made; closed when it was given up on
    WIN32_FIND_DATAA findData{};
    char data[kFtpStepBytes] = {};
    DWORD got = 0;
    char response[kFtpTextSize] = {}; // the server's last response on the worker's thread

    std::atomic<long> refs{1};
    std::atomic<long> state{0};
};

enum class FtpCallEnd { kFinished, kTimedOut };

// A job of the caller's: taken from the command's reserve or made by the constructor (Ok() false
// when there is no memory for it) and let go by the destructor, even while a worker given up on
// still runs it.
class FtpCall {
public:
    explicit FtpCall(FtpCallFn run);
    ~FtpCall();
    FtpCall(const FtpCall&) = delete;
    FtpCall& operator=(const FtpCall&) = delete;

    bool Ok() const { return job_ != nullptr; }
    // Copies a text the call takes; false when it does not fit.
    bool SetText(int index, const char* text);
    // Runs the call within deadlineMs, cut to what is left of the command's budget but not below
    // floorMs. After kTimedOut the job is the worker's: read nothing from it, and drop the
    // connection.
    FtpCallEnd Run(DWORD deadlineMs, DWORD floorMs = 0);
    FtpJob* operator->() const { return job_; }

private:
    FtpJob* job_ = nullptr;
};

// The jobs a command may hand the worker, had before it changes anything: a command that cannot
// have them fails at once (101), the connection, listing and download as they were. FtpCall takes
// its job from the reserve of the running command while one is left; the rest go at its end.
class FtpJobReserve {
public:
    explicit FtpJobReserve(int count);
    ~FtpJobReserve();
    FtpJobReserve(const FtpJobReserve&) = delete;
    FtpJobReserve& operator=(const FtpJobReserve&) = delete;

    // False (101 raised) when the jobs could not all be had.
    bool Ok() const { return ok_; }

private:
    FtpJobReserve* outer_;
    bool ok_ = true;
};

// Starts the wait budget of a command the script called.
void StartFtpCommand();
// Ends the idle worker (module stop); one busy with a call is left to finish on its own.
void StopFtpWorker();
// Copies the calling thread's last WinInet response (the platform keeps it per thread).
void FetchLastFtpResponse(char* text, std::size_t size);
// The reply code a response starts with, or 0.
int FtpReplyCode(const char* response);
