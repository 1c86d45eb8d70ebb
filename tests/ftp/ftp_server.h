// Runs the tests' FTP servers (Debian's python3: pyftpdlib in tests/ftp/ftp_server.py, and the
// misbehaving one in unruly_ftp_server.py) on 127.0.0.1 port 21 for one test, with the FTP module
// started over a fresh CoreData.
#pragma once

#include "core/win32.h"

#include <winsock2.h>

#include "ftp/ftp_worker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// One of the tests' FTP server scripts (beside the test program, run by /usr/bin/python3),
// serving 127.0.0.1 port 21 until Stop.
class TestFtpServer {
public:
    TestFtpServer() = default;
    ~TestFtpServer() { Stop(); }
    TestFtpServer(const TestFtpServer&) = delete;
    TestFtpServer& operator=(const TestFtpServer&) = delete;

    // Starts the script with its arguments: "" once it serves, else why it could not.
    std::string Start(const std::string& script, const std::string& arguments = "");
    // Closing the control connection ends the server, which then removes its folder.
    void Stop();
    // The folder it serves, as a Windows path.
    const std::string& Root() const { return root_; }

private:
    SOCKET listener_ = INVALID_SOCKET;
    SOCKET control_ = INVALID_SOCKET; // the server lives while this stays open
    std::string root_;
};

// The FTP module started over a fresh CoreData, and winsock for the server's control connection.
void StartFtpModule();
void StopFtpModule();

// The FTP module's calls against a server that behaves, under deadlines four times the module's
// own: under Wine every byte of a reply or a listing is a round trip to the Wine server, which a
// loaded machine stretches past those deadlines (what they do is checked by the tests of them).
class FtpServerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The folder served to user tester (password secret), as a Windows path.
    std::string Home(const std::string& name = "") const;
    // The folder of user other (password pw2).
    std::string OtherHome(const std::string& name = "") const;
    // Connects as tester; fails the test when that does not work.
    void ConnectAsTester();

    TestFtpServer server_;
    FtpDeadlines deadlines_;
};

// Writes a file into a served folder, making the folders on its way.
void WriteServedFile(const std::string& path, const std::string& bytes);
// The names of the files (not folders) in a local folder, sorted.
std::vector<std::string> LocalFilesIn(const std::string& folder);
// Bytes that tell every position of a file apart.
std::string PatternBytes(std::size_t size, unsigned seed);
// A string the FTP module handed out, as text; the string is freed.
std::string TakeString(char* text);
