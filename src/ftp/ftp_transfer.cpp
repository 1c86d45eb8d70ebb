// FTP module: the remote directory and its listing, uploads, deletions and downloads.
#include "core/win32.h"

#include "ftp/ftp.h"
#include "ftp/ftp_state.h"
#include "ftp/ftp_worker.h"
#include "core/core.h"
#include "core/media.h"
#include "core/error_numbers.h"
#include "core/no_throw.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

FtpState& s = g_Ftp;

constexpr DWORD kReadPiece = 1024;

enum class CallResult { kOk, kFailed, kDropped };

// The sizes scripts see are int32: a file of 2 GiB or more reports 0, not a negative size.
std::int32_t EntrySize(const WIN32_FIND_DATAA& entry) {
    if (entry.nFileSizeHigh != 0 || entry.nFileSizeLow > 0x7FFFFFFFu) return 0;
    return static_cast<std::int32_t>(entry.nFileSizeLow);
}

// Runs a call on the connection that takes one name. A failure keeps the server's reply when
// record is set; a call that misses its deadline drops the connection.
CallResult RunNamedCall(FtpCall& call, const char* name, DWORD deadlineMs, bool record = true) {
    if (!s.connection || !call.SetText(0, name)) {
        if (record) RecordFtpFailure();
        return CallResult::kFailed;
    }
    call->handle = s.connection;
    if (call.Run(deadlineMs) == FtpCallEnd::kTimedOut) {
        DropFtpConnection();
        return CallResult::kDropped;
    }
    if (call->ok) return CallResult::kOk;
    if (record) RecordFtpFailure(call->response);
    return CallResult::kFailed;
}

BOOL FindFirstCall(FtpJob& job) {
    const char* pattern = job.text[0][0] ? job.text[0] : nullptr;
    job.made =
        FtpFindFirstFileA(job.handle, pattern, &job.findData, INTERNET_FLAG_RESYNCHRONIZE, 0);
    return job.made != nullptr;
}

// Up to one step's bytes in pieces; false when a read fails.
BOOL ReadStepCall(FtpJob& job) {
    job.got = 0;
    for (DWORD piece = 0; piece < kFtpStepBytes / kReadPiece; ++piece) {
        DWORD read = 0;
        if (!InternetReadFile(job.handle, job.data + job.got, kReadPiece, &read)) return FALSE;
        job.got += read;
        if (read < kReadPiece) break;
    }
    return TRUE;
}

// The last part of a remote path, the name its listing shows.
const char* LastPart(const char* path) {
    const char* last = path;
    for (const char* c = path; *c; ++c)
        if (*c == '/' || *c == '\\') last = c + 1;
    return last;
}

// Picks the listed file the name means: the one of exactly its last part, else the only file.
bool PickListedFile(HINTERNET search, WIN32_FIND_DATAA entry, const char* remoteName,
                    std::int64_t* size) {
    const char* name = LastPart(remoteName);
    int files = 0;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (std::strcmp(entry.cFileName, name) == 0) {
            *size = EntrySize(entry);
            return true;
        }
        if (++files == 1) *size = EntrySize(entry);
    } while (InternetFindNextFileA(search, &entry));
    return files == 1;
}

// The size the server lists for the remote name. The name itself is listed, so that the server
// resolves it as it does for the download, whatever its spelling ("./a", "b/../a"; Wine lists
// the folder and keeps the entries whose names match the last part, case aside).
bool FindListedSize(const char* remoteName, std::int64_t* size) {
    FtpCall call(FindFirstCall);
    if (!*remoteName ||
        RunNamedCall(call, remoteName, g_FtpDeadlines.listingMs, false) != CallResult::kOk)
        return false;
    HINTERNET search = call->made;
    const bool found = PickListedFile(search, call->findData, remoteName, size);
    CloseFtpHandles({&search});
    return found;
}

// The size of a local file; false when it cannot be read.
bool LocalFileSize(const char* name, std::uint64_t* size) {
    HANDLE file = CreateFileA(name, FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER length{};
    const bool read = GetFileSizeEx(file, &length) && length.QuadPart >= 0;
    CloseHandle(file);
    if (read) *size = static_cast<std::uint64_t>(length.QuadPart);
    return read;
}

// After a put the platform reports done: false (the failure recorded) when the listing shows the
// name at another size than was sent, or missed its deadline. A name it does not list is trusted.
bool PutListedWhole(const char* name, std::uint64_t sent, const char* reply) {
    std::int64_t listed = 0;
    const bool found = FindListedSize(name, &listed);
    if (!s.connection) return false; // dropped at the listing's deadline, which recorded why
    if (!found || !ListedSizeContradicts(sent, listed)) return true;
    RecordFtpFailure(reply);
    return false;
}

std::int32_t PutAs(const char* name) {
    if (!name || !s.connection) {
        RecordFtpFailure();
        RaiseRuntimeWarning(kFtpPutFailed);
        return 0;
    }
    // The put, its listing, the listing's close and a dropped connection's.
    FtpJobReserve jobs(4);
    if (!jobs.Ok()) return 0;
    // Read before the put: the size of what it sends.
    std::uint64_t sent = 0;
    const bool sized = name && LocalFileSize(name, &sent);
    FtpCall call(
        [](FtpJob& job) { return FtpPutFileA(job.handle, job.text[0], job.text[0], 0, 0); });
    if (RunNamedCall(call, name, g_FtpDeadlines.budgetMs) == CallResult::kOk &&
        (!sized || PutListedWhole(name, sent, call->response)))
        return 1;
    RaiseRuntimeWarning(kFtpPutFailed);
    return 0;
}

// The download goes to a new file beside the local one, which it replaces only once whole: as
// long as the size the server lists for the name, when it lists one. The listing waits within
// its own deadline, the transfer what is left of the command's budget.
std::int32_t GetAtOnce(const char* remoteName, ReplacingFile& local) {
    FtpCall call([](FtpJob& job) {
        return FtpGetFileA(job.handle, job.text[0], job.localName, FALSE, FILE_FLAG_WRITE_THROUGH,
                           FTP_TRANSFER_TYPE_BINARY, 0);
    });
    if (!local.Ok() || !call.Ok()) {
        RecordFtpFailure();
        return 0;
    }
    std::strcpy(call->localName, local.TemporaryName()); // both MAX_PATH at most
    std::int64_t listed = 0;
    const bool found = FindListedSize(remoteName, &listed);
    // A listing that missed its deadline dropped the connection: the transfer fails at once.
    if (RunNamedCall(call, remoteName, g_FtpDeadlines.budgetMs) != CallResult::kOk) return 0;
    std::uint64_t got = 0;
    const bool whole =
        !found || listed <= 0 ||
        (LocalFileSize(local.TemporaryName(), &got) && got >= static_cast<std::uint64_t>(listed));
    if (whole && local.Commit()) return 1;
    RecordFtpFailure(whole ? nullptr : call->response);
    return 0;
}

BOOL OpenFileCall(FtpJob& job) {
    job.made = FtpOpenFileA(job.handle, job.text[0], GENERIC_READ,
                            FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RESYNCHRONIZE, 0);
    return job.made != nullptr;
}

// The local side of a stepped download: a new file beside the target, open for writing.
bool OpenLocalFile(std::unique_ptr<ReplacingFile>& local) {
    if (!local->Ok()) return false;
    s.localWriter = CreateFileA(local->TemporaryName(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (s.localWriter == INVALID_HANDLE_VALUE) return false;
    s.localFile = std::move(local);
    return true;
}

std::int32_t OpenStepped(const char* remoteName, std::unique_ptr<ReplacingFile>& local,
                         std::int32_t sizeHint) {
    CloseFtpHandles({&s.search}); // one listing at a time on a connection
    std::int64_t listed = 0;
    s.totalListed = FindListedSize(remoteName, &listed);
    s.totalSize = s.totalListed ? listed : sizeHint;
    if (!s.connection) {
        RecordFtpFailure(); // unless the listing recorded why it dropped the connection
        return 0;
    }
    CheckFtpConnection();
    FtpCall open(OpenFileCall);
    const CallResult opened = RunNamedCall(open, remoteName, g_FtpDeadlines.commandMs);
    if (opened != CallResult::kOk) {
        if (opened == CallResult::kFailed) CheckFtpConnection();
        return 0;
    }
    s.remoteFile = open->made;
    if (!OpenLocalFile(local)) {
        // An open remote file would keep the connection busy for every later command.
        if (!AbortFtpDownload()) DropFtpConnection();
        return 0;
    }
    s.bytesWritten = s.bytesWrittenMoved = 0;
    s.bytesReceived = 0;
    s.stepped = true;
    s.progress = s.progressNoted = 0;
    s.lastMove = timeGetTime();
    return 1;
}

// The server has no more bytes. The download is kept only when it is whole: as long as the
// listed size (or the hint), and closed with a reply that is no error.
void FinishDownload() {
    CloseHandle(s.localWriter);
    s.localWriter = INVALID_HANDLE_VALUE;
    char reply[kFtpTextSize] = {};
    if (!CloseFtpHandles({&s.remoteFile}, reply)) return DropFtpConnection();
    const bool whole =
        !(s.totalSize > 0 && s.bytesReceived < static_cast<std::uint64_t>(s.totalSize));
    if (!whole || FtpReplyCode(reply) >= 400 || !s.localFile->Commit()) RecordFtpFailure(reply);
    DiscardLocalDownload(); // committed, or its partial bytes deleted
}

void FailDownload(const char* response) {
    RecordFtpFailure(response);
    if (!AbortFtpDownload()) DropFtpConnection();
}

} // namespace

bool ListedSizeContradicts(std::uint64_t sent, std::int64_t listed) {
    return sent < 0x7FFFFFFFu && static_cast<std::int64_t>(sent) != listed;
}

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

void DiscardLocalDownload() {
    // Only a download still being written owns its local file; a finished one is the user's.
    if (s.localWriter != INVALID_HANDLE_VALUE) CloseHandle(s.localWriter);
    s.localWriter = INVALID_HANDLE_VALUE;
    s.localFile.reset();
    s.bytesWritten = 0;
    s.progress = -1;
    s.stepped = false;
}

bool AbortFtpDownload() {
    DiscardLocalDownload();
    return CloseFtpHandles({&s.remoteFile});
}

std::int32_t FTPSetDir(const char* directory) {
    StartFtpCommand();
    if (!directory || !s.connection) {
        RecordFtpFailure();
        CheckFtpConnection();
        RaiseRuntimeWarning(kFtpSetDirFailed);
        return 0;
    }
    // The change, the connection check, and the close of a connection found dead or dropped.
    FtpJobReserve jobs(3);
    if (!jobs.Ok()) return 0;
    FtpCall call([](FtpJob& job) { return FtpSetCurrentDirectoryA(job.handle, job.text[0]); });
    const CallResult result = RunNamedCall(call, directory, g_FtpDeadlines.commandMs);
    if (result == CallResult::kOk) return 1;
    if (result != CallResult::kDropped) CheckFtpConnection();
    RaiseRuntimeWarning(kFtpSetDirFailed);
    return 0;
}

std::int32_t FTPFindFirst() {
    StartFtpCommand();
    if (!s.connection) {
        RecordFtpFailure();
        CheckFtpConnection();
        return 0;
    }
    // The old listing's close, the new one, the connection check and a dead connection's close.
    FtpJobReserve jobs(4);
    if (!jobs.Ok()) return 0;
    CloseFtpHandles({&s.search});
    FtpCall call(FindFirstCall);
    const CallResult result = RunNamedCall(call, "", g_FtpDeadlines.listingMs);
    if (result != CallResult::kOk) {
        if (result == CallResult::kFailed) CheckFtpConnection();
        return 0;
    }
    s.search = call->made;
    s.findData = call->findData;
    TakeFtpEntry();
    return 1;
}

std::int32_t FTPFindNext() {
    if (!s.search) return 0;
    // The platform read the whole listing at the first entry: the next ones wait on nothing.
    if (InternetFindNextFileA(s.search, &s.findData)) {
        TakeFtpEntry();
        return 1;
    }
    StartFtpCommand();
    // Without the jobs the search is forgotten and the connection kept (101).
    const FtpJobReserve jobs(3);
    CloseFtpHandles({&s.search});
    s.fileType = -1;
    CheckFtpConnection();
    return 0;
}

std::int32_t FTPPutFile(const char* fileName) {
    StartFtpCommand();
    return PutAs(fileName);
}

std::int32_t FTPPutFileExport(const char* fileName) {
    StartFtpCommand();
    ScopedMediaName name(s.core, fileName);
    if (!name.Ok()) {
        RaiseRuntimeWarning(kFtpPutFailed);
        return 0;
    }
    return PutAs(name.Text());
}

std::int32_t FTPDeleteFile(const char* remoteName) {
    StartFtpCommand();
    if (!remoteName || !s.connection) {
        RaiseRuntimeWarning(kFtpDeleteFailed);
        return 0;
    }
    FtpJobReserve jobs(2);
    if (!jobs.Ok()) return 0;
    FtpCall call([](FtpJob& job) { return FtpDeleteFileA(job.handle, job.text[0]); });
    if (RunNamedCall(call, remoteName, g_FtpDeadlines.commandMs, false) == CallResult::kOk)
        return 1;
    RaiseRuntimeWarning(kFtpDeleteFailed);
    return 0;
}

namespace {

// What a download asks of the worker at most: the running one's abort, the listing and its
// close, the connection check and a dead connection's close, the open or the transfer, an
// abort and a dropped connection's close.
constexpr int kDownloadJobs = 9;

// The new download's local file and jobs are had before a running download is let go: out of
// memory (101) keeps it running.
std::int32_t StartDownload(const char* remoteName, const char* localName, std::int32_t sizeHint) {
    FtpJobReserve jobs(kDownloadJobs);
    std::unique_ptr<ReplacingFile> local;
    if (!jobs.Ok() ||
        !NoThrow(kStringNoMemory, [&] { local = std::make_unique<ReplacingFile>(localName); }))
        return 0;
    // A new download replaces a running one, whose partial file goes.
    if (!AbortFtpDownload()) DropFtpConnection();
    const std::int32_t result =
        sizeHint == 0 ? GetAtOnce(remoteName, *local) : OpenStepped(remoteName, local, sizeHint);
    if (!result) RaiseRuntimeWarning(kFtpGetFailed);
    return result;
}

} // namespace

std::int32_t FTPGetFile(const char* remoteName, const char* localName, std::int32_t sizeHint) {
    StartFtpCommand();
    const std::size_t length = localName ? strnlen(localName, MAX_PATH) : 0;
    if (remoteName && length > 0 && length < MAX_PATH && s.connection)
        return StartDownload(remoteName, localName, sizeHint);
    // A new download replaces a running one, whose partial file goes.
    if (!AbortFtpDownload()) DropFtpConnection();
    RecordFtpFailure(); // nothing asked of the server, the failure kept
    RaiseRuntimeWarning(kFtpGetFailed);
    return 0;
}

std::int32_t FTPGetFile(const char* remoteName, const char* localName) {
    return FTPGetFile(remoteName, localName, 0);
}

void FTPDownloadStep() {
    if (!s.remoteFile || s.localWriter == INVALID_HANDLE_VALUE) return;
    StartFtpCommand();
    // The read, and the close or abort after it and a dropped connection's close.
    FtpJobReserve jobs(3);
    if (!jobs.Ok()) return;
    // The reads wait at most the stall time: a step that brings nothing by then is a stall,
    // whether or not a byte ever came.
    FtpCall read(ReadStepCall);
    if (!read.Ok()) return FailDownload(nullptr);
    read->handle = s.remoteFile;
    if (read.Run(g_FtpDeadlines.dataMs) == FtpCallEnd::kTimedOut) return DropFtpConnection();
    if (!read->ok) return FailDownload(read->response);
    if (read->got == 0) return FinishDownload();
    DWORD written = 0;
    if (!WriteFile(s.localWriter, read->data, read->got, &written, nullptr) || written != read->got)
        return FailDownload(nullptr);
    s.bytesWritten += written;
    s.bytesReceived += read->got;
    s.progress = s.totalSize > 0 ? static_cast<std::int32_t>(std::min<std::uint64_t>(
                                       100, s.bytesReceived * 100 / s.totalSize))
                                 : 1;
    s.bytesWrittenMoved = s.bytesWritten;
    s.progressNoted = s.progress;
    s.lastMove = timeGetTime();
}

void FTPTerminateDownload() {
    StartFtpCommand();
    // Out of memory for the closing keeps the download running.
    FtpJobReserve jobs(s.remoteFile ? 2 : 0);
    if (!jobs.Ok()) return;
    if (!AbortFtpDownload()) DropFtpConnection();
}
