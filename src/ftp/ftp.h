// FTP module: one connection to one FTP server at a time over WinInet (port 21, passive,
// binary), its remote directory, a listing walked entry by entry, uploads, deletions and
// downloads, blocking or stepped by the script. Nothing raises a run-time error but running out
// of memory (101, the connection, listing and download kept): commands return 1 or 0, and the
// server's last response and a failure flag can be read back. Every wait on the server has a
// deadline (ftp_worker.h), and no command waits much more than 28 s: one that misses its
// deadline fails and drops the connection.
#pragma once

#include "core/core_data.h"

#include <cstdint>

// Start entry: the core's start sequence readies the module with it, once.
void FTPConstructor(HINSTANCE);
// Stop entry: closes every handle the module holds (no hang-up).
void FTPDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void FTPSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData.
void FTPPassCoreData(CoreData* core);

// Logs in to server on port 21. The texts are kept for FTPConnectAgain even when a connection
// exists already (then the result is 0 and the connection stays); texts of 256 characters or
// more are refused. windowFlag 1 minimises the window while dialling in window mode 3.
std::int32_t FTPConnect(const char* server, const char* user, const char* password);
std::int32_t FTPConnect(const char* server, const char* user, const char* password,
                        std::int32_t windowFlag);
// FTPConnect with the kept server, user and password.
std::int32_t FTPConnectAgain();
// Aborts any download and closes everything; hangUp 1 also ends a dial-up connection that
// FTPConnect made. Always 1. The form without an argument keeps the dial-up connection.
std::int32_t FTPDisconnect();
std::int32_t FTPDisconnect(std::int32_t hangUp);
// The further form without an argument: FTPDisconnect with hangUp 1. C++ cannot give two
// argument-free forms one name.
std::int32_t FTPDisconnectAndHangUp();

std::int32_t FTPSetDir(const char* directory);
// Starts a listing of the current remote directory and makes its first entry current.
std::int32_t FTPFindFirst();
// The next entry; 0 (type -1) after the last one, and 0 without a listing.
std::int32_t FTPFindNext();
// Uploads the local file under the same name, the name used as given. Fails when the server
// then lists the name at another size than the local file's (a file of 2 GiB or more is not
// compared, as listed sizes are int32); a name the server does not list is taken as uploaded.
std::int32_t FTPPutFile(const char* fileName);
// The command's form: the name goes through the media folder redirect and the media hooks, and
// the resolved name serves as the local and the remote name.
std::int32_t FTPPutFileExport(const char* fileName);
std::int32_t FTPDeleteFile(const char* remoteName);
// Without a size hint (or 0) downloads at once. With one, opens a stepped download whose total
// is the size the server lists for remoteName (else the hint); FTPDownloadStep then moves it on.
// Either way the bytes go to a new file beside localName, which replaces it only once whole: no
// shorter than the size the server lists for remoteName (or the hint), and ended with no error
// reply. A blocking download that comes short fails and leaves an older file as it was. No local
// name (or an empty one) fails at once, setting the failure flag.
std::int32_t FTPGetFile(const char* remoteName, const char* localName);
std::int32_t FTPGetFile(const char* remoteName, const char* localName, std::int32_t sizeHint);
// Up to 3,072 more bytes of a stepped download. The download finishes (progress -1, file
// kept) when the server has no more; it is aborted (its bytes deleted, failure flag set) on a
// read or write error, when it ends short of its total or with an error reply, or when a step
// has waited 10,000 ms for its bytes (which also drops the connection).
void FTPDownloadStep();
// Aborts a running download and deletes its partial file.
void FTPTerminateDownload();

// 1 while connected.
std::int32_t FTPGetStatus();
// 1 after a failure, cleared by reading it.
std::int32_t FTPGetFailureState();
// New strings from the core's string callback; the caller's previous string is freed first.
// The server's response to the first failure since the flag was last cleared.
char* FTPGetFailureReason(char* oldString);
// The current listing entry: its name, type (-1 none, 0 file, 1 directory) and size in bytes
// (0 for a size that does not fit an int32).
char* FTPGetFileName(char* oldString);
std::int32_t FTPGetFileType();
std::int32_t FTPGetFileSize();
// -1 when no download runs, else 0 to 100 (1 while the total is unknown).
std::int32_t FTPGetProgress();
