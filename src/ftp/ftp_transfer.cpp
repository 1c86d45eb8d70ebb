// FTP module: the remote directory and its listing, uploads, deletions and downloads.
#include "core/win32.h"

#include "ftp/ftp.h"
#include "ftp/ftp_state.h"
#include "core/core.h"
#include "core/media.h"
#include "core/error_numbers.h"

#include <algorithm>
#include <cstring>

namespace {

FtpState& s = g_Ftp;

constexpr DWORD kStepBytes = 3072;
constexpr DWORD kReadPiece = 1024;
constexpr DWORD kStallMs = 10000;

// The sizes scripts see are int32: a file of 2 GiB or more reports 0, not a negative size.
std::int32_t EntrySize(const WIN32_FIND_DATAA& entry) {
    if (entry.nFileSizeHigh != 0 || entry.nFileSizeLow > 0x7FFFFFFFu) return 0;
    return static_cast<std::int32_t>(entry.nFileSizeLow);
}

std::int32_t PutAs(const char* name) {
    if (name && s.connection && FtpPutFileA(s.connection, name, name, 0, 0)) return 1;
    RecordFtpFailure();
    RaiseRuntimeWarning(kFtpPutFailed);
    return 0;
}

std::int32_t GetAtOnce(const char* remoteName, const char* localName) {
    if (s.connection && FtpGetFileA(s.connection, remoteName, localName, FALSE,
                                    FILE_FLAG_WRITE_THROUGH, FTP_TRANSFER_TYPE_BINARY, 0))
        return 1;
    RecordFtpFailure();
    return 0;
}

// The size the listing gives remoteName, or the caller's hint when it lists no such entry.
void FindTotalSize(const char* remoteName, std::int32_t sizeHint) {
    s.totalSize = sizeHint;
    s.totalListed = false;
    if (FTPFindFirst()) {
        do {
            if (std::strcmp(s.findData.cFileName, remoteName) == 0) {
                s.totalSize = EntrySize(s.findData);
                s.totalListed = true;
                break;
            }
        } while (InternetFindNextFileA(s.search, &s.findData));
    }
    CloseInternetHandle(s.search);
    CheckFtpConnection();
}

std::int32_t OpenStepped(const char* remoteName, const char* localName, std::int32_t sizeHint) {
    FindTotalSize(remoteName, sizeHint);
    s.remoteFile = s.connection
                       ? FtpOpenFileA(s.connection, remoteName, GENERIC_READ,
                                      FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RESYNCHRONIZE, 0)
                       : nullptr;
    if (!s.remoteFile) {
        RecordFtpFailure();
        CheckFtpConnection();
        return 0;
    }
    s.localFile = CreateFileA(localName, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (s.localFile == INVALID_HANDLE_VALUE) {
        // An open remote file would keep the connection busy for every later command.
        CloseInternetHandle(s.remoteFile);
        return 0;
    }
    std::strcpy(s.localName, localName);
    s.bytesWritten = s.bytesWrittenMoved = 0;
    s.bytesReceived = 0;
    s.stepped = true;
    s.progress = s.progressNoted = 0;
    s.lastMove = timeGetTime();
    return 1;
}

// The end of a stepped download: the local file is kept, and no later abort deletes it.
void FinishDownload() {
    CloseInternetHandle(s.remoteFile);
    CloseHandle(s.localFile);
    s.localFile = INVALID_HANDLE_VALUE;
    s.localName[0] = 0;
    s.bytesWritten = 0;
    s.progress = -1;
    s.stepped = false;
}

void FailDownload() {
    RecordFtpFailure();
    AbortFtpDownload();
}

// Up to one step's bytes in pieces; false when a read fails.
bool ReadStep(char* chunk, DWORD& got) {
    got = 0;
    for (DWORD piece = 0; piece < kStepBytes / kReadPiece; ++piece) {
        DWORD read = 0;
        if (!InternetReadFile(s.remoteFile, chunk + got, kReadPiece, &read)) return false;
        got += read;
        if (read < kReadPiece) break;
    }
    return true;
}

} // namespace

void TakeFtpEntry() {
    const WIN32_FIND_DATAA& entry = s.findData;
    if (entry.dwFileAttributes == 0xFFFFFFFFu)
        s.fileType = -1;
    else
        s.fileType = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
    const std::size_t length = strnlen(entry.cFileName, sizeof entry.cFileName - 1);
    std::memcpy(s.fileName, entry.cFileName, length);
    s.fileName[length] = 0;
    s.fileSize = EntrySize(entry);
}

void AbortFtpDownload() {
    // Only a download still being written owns its local file; a finished one is the user's.
    const bool running = s.localFile != INVALID_HANDLE_VALUE;
    if (running) CloseHandle(s.localFile);
    s.localFile = INVALID_HANDLE_VALUE;
    s.bytesWritten = 0;
    if (running && s.localName[0]) DeleteFileA(s.localName);
    s.localName[0] = 0;
    CloseInternetHandle(s.remoteFile);
    s.progress = -1;
    s.stepped = false;
}

std::int32_t FTPSetDir(const char* directory) {
    if (directory && s.connection && FtpSetCurrentDirectoryA(s.connection, directory)) return 1;
    RecordFtpFailure();
    CheckFtpConnection();
    RaiseRuntimeWarning(kFtpSetDirFailed);
    return 0;
}

std::int32_t FTPFindFirst() {
    CloseInternetHandle(s.search);
    if (s.connection)
        s.search =
            FtpFindFirstFileA(s.connection, nullptr, &s.findData, INTERNET_FLAG_RESYNCHRONIZE, 0);
    if (!s.search) {
        RecordFtpFailure();
        CheckFtpConnection();
        return 0;
    }
    TakeFtpEntry();
    return 1;
}

std::int32_t FTPFindNext() {
    if (!s.search) return 0;
    if (InternetFindNextFileA(s.search, &s.findData)) {
        TakeFtpEntry();
        return 1;
    }
    CloseInternetHandle(s.search);
    s.fileType = -1;
    CheckFtpConnection();
    return 0;
}

std::int32_t FTPPutFile(const char* fileName) {
    return PutAs(fileName);
}

std::int32_t FTPPutFileExport(const char* fileName) {
    ScopedMediaName name(s.core, fileName);
    if (!name.Ok()) {
        RaiseRuntimeWarning(kFtpPutFailed);
        return 0;
    }
    return PutAs(name.Text());
}

std::int32_t FTPDeleteFile(const char* remoteName) {
    if (remoteName && s.connection && FtpDeleteFileA(s.connection, remoteName)) return 1;
    RaiseRuntimeWarning(kFtpDeleteFailed);
    return 0;
}

std::int32_t FTPGetFile(const char* remoteName, const char* localName, std::int32_t sizeHint) {
    // A new download replaces a running one, whose partial file goes.
    AbortFtpDownload();
    std::int32_t result = 0;
    if (remoteName && localName && strnlen(localName, MAX_PATH) < MAX_PATH)
        result = sizeHint == 0 ? GetAtOnce(remoteName, localName)
                               : OpenStepped(remoteName, localName, sizeHint);
    if (!result) RaiseRuntimeWarning(kFtpGetFailed);
    return result;
}

std::int32_t FTPGetFile(const char* remoteName, const char* localName) {
    return FTPGetFile(remoteName, localName, 0);
}

void FTPDownloadStep() {
    if (!s.remoteFile || s.localFile == INVALID_HANDLE_VALUE) return;
    char chunk[kStepBytes];
    DWORD got = 0;
    if (!ReadStep(chunk, got)) return FailDownload();
    if (got == 0) {
        // A transfer cut short looks like an end to the reader; the listed size tells.
        if (s.totalListed && s.bytesReceived < static_cast<std::uint64_t>(s.totalSize))
            return FailDownload();
        return FinishDownload();
    }
    DWORD written = 0;
    if (!WriteFile(s.localFile, chunk, got, &written, nullptr) || written != got)
        return FailDownload();
    s.bytesWritten += written;
    s.bytesReceived += got;
    s.progress = s.totalSize > 0 ? static_cast<std::int32_t>(std::min<std::uint64_t>(
                                       100, s.bytesReceived * 100 / s.totalSize))
                                 : 1;
    if (s.bytesWritten != s.bytesWrittenMoved) {
        s.bytesWrittenMoved = s.bytesWritten;
        s.progressNoted = s.progress;
        s.lastMove = timeGetTime();
    } else if (timeGetTime() - s.lastMove > kStallMs) {
        FailDownload();
    }
}

void FTPTerminateDownload() {
    AbortFtpDownload();
}
