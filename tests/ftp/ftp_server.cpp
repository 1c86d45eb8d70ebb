#include "core/win32.h"

#include <winsock2.h>

#include "ftp/ftp_server.h"
#include "core/core.h"
#include "ftp/ftp.h"

#include <algorithm>
#include <fstream>

namespace {

constexpr int kStartSeconds = 20;  // for python3 to come up and call back
constexpr int kReadySeconds = 100; // another run may hold port 21 for a while

// The test program's folder as a host path: Wine maps drive Z: onto the host's root.
std::string HostFolderOfProgram() {
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string path(program);
    if (path.size() < 3 || (path[0] != 'Z' && path[0] != 'z') || path[1] != ':') return "";
    path = path.substr(2, path.rfind('\\') - 2);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

bool WaitReadable(SOCKET socket, int seconds) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval wait{seconds, 0};
    return select(0, &set, nullptr, nullptr, &wait) == 1;
}

// One line from the server, or "" when it closed or stayed silent.
std::string ReadLine(SOCKET socket, int seconds) {
    std::string line;
    char c = 0;
    while (WaitReadable(socket, seconds) && recv(socket, &c, 1, 0) == 1 && c != '\n')
        line += c;
    return c == '\n' ? line : "";
}

SOCKET ListenOnLoopback(unsigned short& port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(s, 1) != 0 || getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (s != INVALID_SOCKET) closesocket(s);
        return INVALID_SOCKET;
    }
    port = ntohs(address.sin_port);
    return s;
}

// Starts the server script; Wine reports neither the end nor the result of a host program.
bool StartServer(const std::string& script, unsigned short port) {
    std::string command = "Z:\\usr\\bin\\python3 \"" + script + "\" " + std::to_string(port);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

} // namespace

void WriteServedFile(const std::string& path, const std::string& bytes) {
    for (std::size_t slash = path.find('\\', 3); slash != std::string::npos;
         slash = path.find('\\', slash + 1))
        CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string PatternBytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (char& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<char>(x >> 16);
    }
    return bytes;
}

std::string TakeString(char* text) {
    std::string result = text ? text : "";
    if (text) CoreResizeString(&text, 0);
    return result;
}

void FtpServerTest::SetUp() {
    LinkModules();
    FTPConstructor(nullptr);
    FTPPassCoreData(g_CoreData);

    WSADATA wsa;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
    const std::string folder = HostFolderOfProgram();
    if (folder.empty()) GTEST_SKIP() << "the test program is not on drive Z:, so no host path";
    unsigned short port = 0;
    listener_ = ListenOnLoopback(port);
    ASSERT_NE(listener_, INVALID_SOCKET);
    if (!StartServer(folder + "/test-data/ftp_server.py", port))
        GTEST_SKIP() << "/usr/bin/python3 could not be started";
    if (!WaitReadable(listener_, kStartSeconds))
        GTEST_SKIP() << "the FTP test server did not start (is python3-pyftpdlib installed?)";
    control_ = accept(listener_, nullptr, nullptr);
    ASSERT_NE(control_, INVALID_SOCKET);
    const std::string line = ReadLine(control_, kReadySeconds);
    if (line.rfind("skip ", 0) == 0) GTEST_SKIP() << line.substr(5);
    if (line.rfind("ready /", 0) != 0)
        GTEST_SKIP() << "the FTP test server stopped before serving (python3-pyftpdlib missing?)";
    root_ = "Z:" + line.substr(6);
    std::replace(root_.begin(), root_.end(), '/', '\\');
}

void FtpServerTest::TearDown() {
    FTPDestructor();
    // Closing the control connection ends the server, which then removes its folder.
    if (control_ != INVALID_SOCKET) closesocket(control_);
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    WSACleanup();
}

std::string FtpServerTest::Home(const std::string& name) const {
    return root_ + "\\home" + (name.empty() ? "" : "\\" + name);
}

std::string FtpServerTest::OtherHome(const std::string& name) const {
    return root_ + "\\other" + (name.empty() ? "" : "\\" + name);
}

void FtpServerTest::ConnectAsTester() {
    ASSERT_EQ(FTPConnect("127.0.0.1", "tester", "secret"), 1);
    ASSERT_EQ(FTPGetStatus(), 1);
}
