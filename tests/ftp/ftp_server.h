// Runs the tests' FTP server (Debian's python3 with pyftpdlib, tests/ftp/ftp_server.py) on
// 127.0.0.1 port 21 for one test, with the FTP module started over a fresh CoreData.
#pragma once

#include "core/win32.h"

#include <winsock2.h>

#include <gtest/gtest.h>

#include <string>

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

    std::string root_; // the served folder, as a Windows path
    SOCKET listener_ = INVALID_SOCKET;
    SOCKET control_ = INVALID_SOCKET; // the server lives while this stays open
};

// Writes a file into a served folder, making the folders on its way.
void WriteServedFile(const std::string& path, const std::string& bytes);
// Bytes that tell every position of a file apart.
std::string PatternBytes(std::size_t size, unsigned seed);
// A string the FTP module handed out, as text; the string is freed.
std::string TakeString(char* text);
