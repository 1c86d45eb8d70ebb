// FTP module: its entries, connecting and disconnecting (with the dial-up steps), the failure
// record, the connection check and the queries.
#include "core/win32.h"

#include "ftp/ftp.h"
#include "ftp/ftp_state.h"
#include "ftp/ftp_worker.h"
#include "core/core.h"
#include "core/error_numbers.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <type_traits>

FtpState g_Ftp;

namespace {

FtpState& s = g_Ftp;

constexpr INTERNET_PORT kFtpPort = 21;
constexpr std::int32_t kDialWindowMode = 3;
constexpr DWORD kHangUpWaitMs = 3000;
// The failure reason of a call that missed its deadline: the server sent no final answer.
constexpr char kNoAnswer[] = "No answer from the server in time.";

// Copies text into a kept buffer; texts that do not fit with their terminator are refused.
bool KeepText(char (&kept)[kFtpTextSize], const char* text) {
    if (!text) text = "";
    const std::size_t length = strnlen(text, kFtpTextSize);
    if (length >= kFtpTextSize) return false;
    std::memcpy(kept, text, length + 1);
    return true;
}

// While dialling in window mode 3 with the window flag set, the window gets out of the way of
// the dial-up dialogue.
bool DialWindowSteps() {
    return s.core && s.core->windowMode == kDialWindowMode && s.windowFlag == 1;
}

void MinimiseForDialling() {
    if (DialWindowSteps()) ShowWindow(s.core->window, SW_MINIMIZE);
}

void RestoreAfterDialling() {
    if (DialWindowSteps()) ShowWindow(s.core->window, SW_MAXIMIZE);
}

// Closes the connection and the internet handle with whatever hangs on them.
void CloseEverything() {
    DiscardLocalDownload();
    CloseFtpHandles({&s.remoteFile, &s.search, &s.connection, &s.internet});
}

// Everything back to disconnected, once CloseEverything has closed the handles.
void ResetState() {
    s.bytesWritten = 0;
    s.fileName[0] = 0;
    s.fileType = -1;
    s.fileSize = 0;
    s.progress = s.progressNoted = -1;
    s.stepped = false;
    s.connected = 0;
    s.failed = 0;
    s.response[0] = 0;
    s.windowFlag = 0;
    s.lastMove = timeGetTime();
}

// Dials when no connection to the internet exists; true when it showed the cursor.
bool DialIfOffline() {
    DWORD state = 0;
    if (s.internet || InternetGetConnectedState(&state, 0)) return false;
    bool cursorShown = false;
    if (DialWindowSteps()) {
        MinimiseForDialling();
        ShowCursor(TRUE);
        cursorShown = true;
    }
    InternetAutodial(INTERNET_AUTODIAL_FORCE_UNATTENDED, s.core ? s.core->window : nullptr);
    s.dialled = true;
    return cursorShown;
}

// The platform's own timeouts, where it keeps them (Wine's FTP connections keep none); the
// worker's deadlines hold either way.
void SetPlatformTimeouts(HINTERNET internet) {
    const struct {
        DWORD option, ms;
    } timeouts[] = {{INTERNET_OPTION_CONNECT_TIMEOUT, g_FtpDeadlines.connectMs},
                    {INTERNET_OPTION_SEND_TIMEOUT, g_FtpDeadlines.commandMs},
                    {INTERNET_OPTION_RECEIVE_TIMEOUT, g_FtpDeadlines.commandMs},
                    {INTERNET_OPTION_DATA_SEND_TIMEOUT, g_FtpDeadlines.dataMs},
                    {INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, g_FtpDeadlines.dataMs}};
    for (auto timeout : timeouts)
        InternetSetOptionA(internet, timeout.option, &timeout.ms, sizeof timeout.ms);
}

BOOL ConnectCall(FtpJob& job) {
    job.made = InternetConnectA(job.handle, job.text[0], kFtpPort, job.text[1], job.text[2],
                                INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
    return job.made != nullptr;
}

std::int32_t OpenSession() {
    if (InternetAttemptConnect(0) != ERROR_SUCCESS) {
        RecordFtpFailure();
        return 0;
    }
    if (!s.internet) {
        s.internet =
            InternetOpenA("InternetConnection", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
        if (s.internet) SetPlatformTimeouts(s.internet);
    }
    if (!s.internet) {
        RecordFtpFailure();
        return 0;
    }
    FtpCall call(ConnectCall);
    if (call.SetText(0, s.server) && call.SetText(1, s.user) && call.SetText(2, s.password)) {
        call->handle = s.internet;
        // Closing the internet handle at the deadline ends a connect that waits on the server.
        if (call.Run(g_FtpDeadlines.connectMs) == FtpCallEnd::kTimedOut) {
            CloseFtpHandles({&s.internet});
            RecordFtpFailure(kNoAnswer);
            return 0;
        }
        if (call->ok) {
            s.connection = call->made;
            s.connected = 1;
            return 1;
        }
    }
    RecordFtpFailure(call.Ok() ? call->response : nullptr);
    CloseFtpHandles({&s.internet});
    return 0;
}

BOOL CloseCall(FtpJob& job) {
    // The response before, to tell a final reply that the closing brought from an old one.
    FetchLastFtpResponse(job.text[0], kFtpTextSize);
    for (HINTERNET handle : job.closing)
        if (handle) InternetCloseHandle(handle);
    return TRUE;
}

// A new string from the core's callback holding text, in place of the caller's previous one,
// which it keeps when the new one cannot be made (101).
char* MakeString(char* oldString, const char* text, std::size_t capacity) {
    const CoreData* core = s.core ? s.core : g_CoreData;
    return ReplaceModuleString(core, oldString, text, strnlen(text, capacity));
}

} // namespace

bool CloseFtpHandles(std::initializer_list<HINTERNET*> handles, char* reply) {
    if (reply) reply[0] = 0;
    HINTERNET open[std::extent_v<decltype(FtpJob::closing)>] = {};
    std::size_t count = 0;
    for (HINTERNET* handle : handles) {
        if (*handle && count < std::size(open)) open[count++] = *handle;
        *handle = nullptr;
    }
    if (count == 0) return true;
    FtpCall call(CloseCall);
    if (!call.Ok()) {
        // Without a job the handles are forgotten: closing one here could wait on the server.
        RaiseRuntimeError(kStringNoMemory);
        return true;
    }
    std::copy(open, open + count, call->closing);
    // Even a command that has spent its budget gets a moment to let go of its handles.
    if (call.Run(g_FtpDeadlines.commandMs, g_FtpDeadlines.closeFloorMs) == FtpCallEnd::kTimedOut)
        return false;
    if (reply && std::strcmp(call->response, call->text[0]) != 0)
        std::memcpy(reply, call->response, kFtpTextSize);
    return true;
}

void RecordFtpFailure(const char* response) {
    if (s.failed) return;
    if (response) {
        const std::size_t kept = strnlen(response, kFtpTextSize - 1);
        std::memcpy(s.response, response, kept);
        s.response[kept] = 0;
    } else {
        FetchLastFtpResponse(s.response, sizeof s.response);
    }
    s.failed = 1;
    s.fileType = -1;
}

void CheckFtpConnection() {
    if (s.connection) {
        FtpCall call([](FtpJob& job) { return FtpSetCurrentDirectoryA(job.handle, "."); });
        // A connection that cannot be checked for want of memory is kept.
        if (!call.Ok()) return RaiseRuntimeError(kStringNoMemory);
        call->handle = s.connection;
        if (call.Run(g_FtpDeadlines.commandMs) == FtpCallEnd::kTimedOut) return DropFtpConnection();
        if (call->ok) return;
    }
    CloseEverything();
    ResetState();
}

void DropFtpConnection() {
    CloseEverything();
    ResetState();
    RecordFtpFailure(kNoAnswer);
}

void FTPConstructor(HINSTANCE) {}

void FTPDestructor() {
    StartFtpCommand();
    CloseEverything();
    ResetState();
    StopFtpWorker();
}

void FTPSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}

void FTPPassCoreData(CoreData* core) {
    s.core = core;
}

std::int32_t FTPConnect(const char* server, const char* user, const char* password,
                        std::int32_t windowFlag) {
    char keptServer[kFtpTextSize], keptUser[kFtpTextSize], keptPassword[kFtpTextSize];
    if (!server || !KeepText(keptServer, server) || !KeepText(keptUser, user) ||
        !KeepText(keptPassword, password)) {
        RaiseRuntimeWarning(kFtpConnectFailed);
        return 0;
    }
    std::memcpy(s.server, keptServer, sizeof keptServer);
    std::memcpy(s.user, keptUser, sizeof keptUser);
    std::memcpy(s.password, keptPassword, sizeof keptPassword);
    if (s.connection) return 0;
    // The login's job, and the one that closes the internet handle when the login fails.
    FtpJobReserve jobs(2);
    if (!jobs.Ok()) return 0;

    StartFtpCommand();
    s.windowFlag = windowFlag;
    s.connected = 0;
    s.dialled = false;
    const bool cursorShown = DialIfOffline();
    const std::int32_t result = OpenSession();
    RestoreAfterDialling();
    if (cursorShown) ShowCursor(FALSE);
    if (!result) RaiseRuntimeWarning(kFtpConnectFailed);
    return result;
}

std::int32_t FTPConnect(const char* server, const char* user, const char* password) {
    return FTPConnect(server, user, password, 0);
}

std::int32_t FTPConnectAgain() {
    // Copies: FTPConnect writes the kept texts it reads.
    char server[kFtpTextSize], user[kFtpTextSize], password[kFtpTextSize];
    std::memcpy(server, s.server, sizeof server);
    std::memcpy(user, s.user, sizeof user);
    std::memcpy(password, s.password, sizeof password);
    return FTPConnect(server, user, password, 0);
}

std::int32_t FTPDisconnect(std::int32_t hangUp) {
    // Out of memory for the job that closes the handles disconnects nothing.
    FtpJobReserve jobs(s.internet || s.connection || s.search || s.remoteFile ? 1 : 0);
    if (!jobs.Ok()) return 0;
    StartFtpCommand();
    CloseEverything();
    if (hangUp == 1 && s.dialled) {
        MinimiseForDialling();
        InternetAutodialHangup(0);
        s.dialled = false;
        Sleep(kHangUpWaitMs);
        RestoreAfterDialling();
    }
    ResetState();
    return 1;
}

std::int32_t FTPDisconnect() {
    return FTPDisconnect(0);
}

std::int32_t FTPDisconnectAndHangUp() {
    return FTPDisconnect(1);
}

std::int32_t FTPGetStatus() {
    return s.connected;
}

std::int32_t FTPGetFailureState() {
    const std::int32_t failed = s.failed;
    s.failed = 0;
    return failed;
}

char* FTPGetFailureReason(char* oldString) {
    return MakeString(oldString, s.response, sizeof s.response);
}

char* FTPGetFileName(char* oldString) {
    return MakeString(oldString, s.fileName, sizeof s.fileName);
}

std::int32_t FTPGetFileType() {
    return s.fileType;
}

std::int32_t FTPGetFileSize() {
    return s.fileSize;
}

std::int32_t FTPGetProgress() {
    return s.progress;
}
