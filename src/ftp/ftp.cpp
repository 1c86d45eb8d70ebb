// FTP module: its entries, connecting and disconnecting (with the dial-up steps), the failure
// record, the connection check and the queries.
#include "core/win32.h"

#include "ftp/ftp.h"
#include "ftp/ftp_state.h"
#include "core/core.h"
#include "core/error_numbers.h"

#include <cstring>
#include <memory>
#include <new>

FtpState g_Ftp;

namespace {

FtpState& s = g_Ftp;

constexpr INTERNET_PORT kFtpPort = 21;
constexpr std::int32_t kDialWindowMode = 3;
constexpr DWORD kHangUpWaitMs = 3000;

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
    AbortFtpDownload();
    CloseInternetHandle(s.search);
    CloseInternetHandle(s.connection);
    CloseInternetHandle(s.internet);
}

// Everything back to disconnected; the internet handle is the caller's to close.
void ResetState() {
    CloseInternetHandle(s.connection);
    CloseInternetHandle(s.search);
    CloseInternetHandle(s.remoteFile);
    if (s.localFile != INVALID_HANDLE_VALUE) CloseHandle(s.localFile);
    s.localFile = INVALID_HANDLE_VALUE;
    s.bytesWritten = 0;
    s.fileName[0] = 0;
    s.localName[0] = 0;
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

std::int32_t OpenSession() {
    if (InternetAttemptConnect(0) != ERROR_SUCCESS) {
        RecordFtpFailure();
        return 0;
    }
    if (!s.internet)
        s.internet =
            InternetOpenA("InternetConnection", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!s.internet) {
        RecordFtpFailure();
        return 0;
    }
    s.connection = InternetConnectA(s.internet, s.server, kFtpPort, s.user, s.password,
                                    INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
    if (s.connection) {
        s.connected = 1;
        return 1;
    }
    RecordFtpFailure();
    CloseInternetHandle(s.internet);
    return 0;
}

// A new string from the core's callback holding text; the caller's previous one is freed.
char* MakeString(char* oldString, const char* text, std::size_t capacity) {
    const CoreData* core = s.core ? s.core : g_CoreData;
    if (oldString) ResizeModuleString(core, &oldString, 0);
    const std::size_t length = strnlen(text, capacity);
    char* result = nullptr;
    ResizeModuleString(core, &result, static_cast<std::int32_t>(length + 1));
    if (!result) return nullptr;
    std::memcpy(result, text, length);
    result[length] = 0;
    return result;
}

} // namespace

void CloseInternetHandle(HINTERNET& handle) {
    if (handle) InternetCloseHandle(handle);
    handle = nullptr;
}

void RecordFtpFailure() {
    if (s.failed) return;
    // The response may be longer than the kept text: fetch it whole, keep what fits.
    char text[1024] = {};
    DWORD length = sizeof text - 1;
    s.responseError = 0;
    const char* response = text;
    std::unique_ptr<char[]> longer;
    if (!InternetGetLastResponseInfoA(&s.responseError, text, &length)) {
        text[0] = 0;
        if (GetLastError() == ERROR_INSUFFICIENT_BUFFER && length < 0x100000) {
            longer.reset(new (std::nothrow) char[length + 1]());
            if (longer && InternetGetLastResponseInfoA(&s.responseError, longer.get(), &length))
                response = longer.get();
        }
    }
    const std::size_t kept = strnlen(response, kFtpTextSize - 1);
    std::memcpy(s.response, response, kept);
    s.response[kept] = 0;
    s.failed = 1;
    s.fileType = -1;
}

void CheckFtpConnection() {
    if (s.connection && FtpSetCurrentDirectoryA(s.connection, ".")) return;
    CloseEverything();
    ResetState();
}

void FTPConstructor(HINSTANCE) {}

void FTPDestructor() {
    CloseEverything();
    ResetState();
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
