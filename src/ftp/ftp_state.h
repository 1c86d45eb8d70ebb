// The FTP module's state and the steps its source files share.
#pragma once

#include "core/win32.h"

#include "core/core_data.h"
#include "core/replacing_file.h"

#include <wininet.h>

#include <cstdint>
#include <initializer_list>
#include <memory>

constexpr std::size_t kFtpTextSize = 256; // server, user, password and response buffers

// Lives from program start to the end; only this module writes it. The handles are owned here
// and closed by FTPDisconnect, the connection check and the Destructor, or handed to the worker
// of a call that missed its deadline.
struct FtpState {
    CoreData* core = nullptr;
    HINTERNET internet = nullptr;
    HINTERNET connection = nullptr;
    HINTERNET search = nullptr;
    HINTERNET remoteFile = nullptr; // a stepped download's source
    // A stepped download's local file: written beside its target, moved over it once whole.
    std::unique_ptr<ReplacingFile> localFile;
    HANDLE localWriter = INVALID_HANDLE_VALUE;

    // The last login asked for, kept for FTPConnectAgain.
    char server[kFtpTextSize] = {};
    char user[kFtpTextSize] = {};
    char password[kFtpTextSize] = {};

    std::int32_t connected = 0;
    std::int32_t failed = 0;
    bool dialled = false; // this module started the dial-up connection
    std::int32_t windowFlag = 0;

    // A stepped download.
    std::uint32_t bytesWritten = 0;      // to the local file
    std::uint32_t bytesWrittenMoved = 0; // when it was last seen to move
    std::uint64_t bytesReceived = 0;
    std::int64_t totalSize = 0;
    bool totalListed = false; // the total is the listing's size, not the caller's hint
    bool stepped = false;
    std::int32_t progress = -1;
    std::int32_t progressNoted = -1;
    DWORD lastMove = 0; // timeGetTime of the last movement

    // The current listing entry.
    WIN32_FIND_DATAA findData{};
    char fileName[MAX_PATH] = {};
    std::int32_t fileType = -1;
    std::int32_t fileSize = 0;

    // The server's response to the first failure since the flag was cleared.
    char response[kFtpTextSize] = {};
};

extern FtpState g_Ftp;

// The first failure since the flag was cleared keeps the server's last response: the one a
// worker's call brought back, or without one, this thread's.
void RecordFtpFailure(const char* response = nullptr);
// Run after a failed directory change, listing or open: when the server no longer answers,
// drops the connection and starts afresh.
void CheckFtpConnection();
// After a call missed its deadline: closes everything, starts afresh and records the failure.
void DropFtpConnection();
// Lets go of a running download's local file (its partial bytes deleted, an older file under
// its name left as it was) and sets the progress to -1.
void DiscardLocalDownload();
// DiscardLocalDownload, then closes the remote file. False when the closing missed its deadline.
bool AbortFtpDownload();
// Whether a listed size tells that a put of sent bytes did not arrive whole. Listed sizes are
// int32, and a file of 2 GiB or more lists as 0 (Wine's parser: 2 GiB - 1 byte), so only a put
// below that can be contradicted.
bool ListedSizeContradicts(std::uint64_t sent, std::int64_t listed);
// Makes the search's find data the current entry.
void TakeFtpEntry();
// Closes and clears WinInet handles, in order, on the worker within the command deadline: a
// download's handle waits there for the server's final reply, which goes to reply (kFtpTextSize
// bytes; "" when the closing brought none).
// False when the closing missed its deadline; the handles are cleared all the same.
bool CloseFtpHandles(std::initializer_list<HINTERNET*> handles, char* reply = nullptr);
